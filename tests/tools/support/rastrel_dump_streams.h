// Test-side writer of job streams for the rastrel-dump tests: builds chunks byte by byte and
// encodes sheets with the JBIG-KIT encoder, independently of the reader under test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rastrel_dump_test {

using Bytes = std::vector<uint8_t>;

// "1B 25 2D" -> bytes; spaces and line breaks are ignored.
Bytes from_hex(const std::string& text);

void put16(Bytes& out, uint16_t v);
void put32(Bytes& out, uint32_t v);
void set32(Bytes& out, std::size_t at, uint32_t v);
void append(Bytes& out, const Bytes& more);

// A 16-byte chunk header, the items and the payload.
Bytes chunk(uint32_t type, const std::vector<std::pair<uint16_t, uint32_t>>& items,
            const Bytes& payload = {});

// Encoder output of a W x H bit-image (W = width in bits) with the options of the driver
// (one layer, order 3, options 0x5C, L0 128, MX 0, MY 0), its 20-byte BIH removed.
Bytes jbig_stripes(const Bytes& bits, uint32_t width_bits, uint32_t height);

// The 20-byte BIH of the stream.
Bytes bih(uint32_t xd, uint32_t yd);

// Data parts of the BID chunks: 65536-byte pieces, the rest padded with zero bytes up to the next
// multiple of 32 above it.
std::vector<Bytes> bid_pieces(const Bytes& jbig);

struct TestSheet {
  uint32_t width_pixels = 64;
  uint32_t height = 128;
  uint32_t bits_per_pixel = 1;
  uint32_t paper = 9;  // 0 = custom paper (17 items)
  Bytes bits;          // packed image, (width bits + 7) / 8 bytes a row
  Bytes jbig;          // encoded data; jbig_stripes(bits) when empty
};

// Start page, BIH, BIDs, end JBIG, end page of one sheet.
Bytes sheet_chunks(const TestSheet& sheet);

// A whole job: UEL, magic, job start, start doc, the sheets (a pause before sheet pause_before,
// counted from 1, when not 0), end doc, UEL.
Bytes job(const std::vector<TestSheet>& sheets, int pause_before = 0);

// Deterministic noise: each bit is 1 with about the given probability (percent).
Bytes noise(std::size_t bytes, unsigned salt, int percent = 50);

// A 1-bit sheet of the given width whose encoded data is exactly `target` bytes long, found by
// filling more or fewer lines with noise.
TestSheet sheet_with_jbig_size(std::size_t target, uint32_t width_pixels);

// A fresh empty folder under the temporary folder.
std::string temp_folder(const std::string& name);

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& data);

}  // namespace rastrel_dump_test
