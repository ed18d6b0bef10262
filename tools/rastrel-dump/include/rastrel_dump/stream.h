// Strict reader of the printer job stream: UEL, "JZJZ", the chunks of the job and of each sheet,
// and the closing UEL. Every header field, item and fixed value is checked; each sheet's JBIG
// image is decoded with JBIG-KIT and its padding checked against the decoder's end of data.
//
// Nothing here trusts the stream: all reads are bounds-checked, and no allocation is sized by a
// field before that field has been checked against what the rest of the stream can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rastrel_dump {

// Chunk types of the stream.
enum ChunkType : uint32_t {
  kStartDoc = 0x00,
  kEndDoc = 0x01,
  kStartPage = 0x02,
  kEndPage = 0x03,
  kJbigBih = 0x04,
  kJbigBid = 0x05,
  kEndJbig = 0x06,
  kPause = 0x0B,
  kJobStart = 0x11,
};

// Fixed sizes.
inline constexpr std::size_t kUelSize = 9;            // ESC "%-12345X"
inline constexpr std::size_t kChunkHeaderSize = 16;
inline constexpr std::size_t kItemSize = 12;
inline constexpr std::size_t kBihSize = 20;
inline constexpr std::size_t kFullBidData = 65536;     // data bytes of every BID but the last
inline constexpr uint32_t kStripeLines = 128;          // L0

// Start-page item ids.
enum ItemId : uint16_t {
  kItemPaper = 3,
  kItemCopies = 4,
  kItemMediaSource = 5,
  kItemMediaType = 6,
  kItemSeven = 7,            // always 1
  kItemXResolution = 8,
  kItemYResolution = 9,
  kItemWidthBits = 12,
  kItemHeight = 13,
  kItemBitsPerPixel = 16,
  kItemWidthPixels = 17,
  kItemHeightPixels = 18,
  kItemTwentyTwo = 22,       // always 1
  kItemPhysicalWidth = 24,   // custom paper only
  kItemPhysicalHeight = 25,  // custom paper only
  kItemTwentySix = 26,       // custom paper only, always 0
  kItemDensity = 0xFF00,
};

struct Item {
  uint16_t id = 0;
  uint32_t value = 0;
};

// The 20-byte BIH as read from the BIH chunk.
struct Bih {
  uint8_t dl = 0, d = 0, planes = 0, reserved = 0;
  uint32_t xd = 0, yd = 0, l0 = 0;
  uint8_t mx = 0, my = 0, order = 0, options = 0;
};

// One chunk as read, in stream order.
struct Chunk {
  std::size_t offset = 0;      // of the 16-byte header
  std::size_t number = 0;      // 1-based, in stream order
  uint32_t type = 0;
  uint32_t size = 0;           // header included
  int sheet = 0;               // 1-based sheet the chunk belongs to; 0 between sheets
  std::vector<Item> items;     // start doc and start page
  std::size_t data_bytes = 0;  // BID: bytes after the header
  std::size_t padding = 0;     // BID: zero bytes after the end of the image data (last BID only)
  std::optional<Bih> bih;      // BIH chunk
};

struct Sheet {
  int number = 0;               // 1-based, in stream order
  std::size_t offset = 0;       // of its start-page chunk
  bool after_pause = false;     // sent after the pause chunk (second duplex pass)
  std::vector<Item> items;      // start-page items in stream order
  Bih bih;
  uint32_t width_pixels = 0;    // item 17
  uint32_t height = 0;          // item 13
  uint32_t bits_per_pixel = 0;  // item 16: 1 or 2
  std::size_t bid_chunks = 0;
  std::size_t jbig_bytes = 0;   // encoded image data without padding
  // Decoded bit-image: height rows of row_bytes() bytes, most significant bit first, 1 = toner.
  // A 2-bit sheet holds four pixels a byte, the first in bits 7-6, level 3 = full toner.
  // Empty unless Options::keep_images.
  std::vector<uint8_t> bits;

  uint32_t width_bits() const { return width_pixels * bits_per_pixel; }
  std::size_t row_bytes() const { return (std::size_t(width_bits()) + 7) / 8; }
  std::optional<uint32_t> item(uint16_t id) const;
};

// Where and why reading stopped. chunk is 0 outside any chunk (the UELs and the magic); sheet is
// 0 outside any sheet.
struct Error {
  std::size_t offset = 0;
  std::size_t chunk = 0;
  int sheet = 0;
  std::string reason;
};

// Called once per sheet after its end-page chunk, with the decoded bit-image (valid for the call
// only). Returning false stops the parse (Result::stopped).
using SheetSink = std::function<bool(const Sheet& sheet, std::span<const uint8_t> bits)>;

struct Options {
  bool keep_images = true;  // keep each sheet's bit-image in Sheet::bits
  SheetSink on_sheet;
};

struct Result {
  std::vector<Chunk> chunks;   // every chunk read in full and found sound
  std::vector<Sheet> sheets;   // every sheet read in full and found sound
  std::size_t stream_size = 0;
  bool has_pause = false;
  bool stopped = false;        // the sheet sink asked to stop
  std::optional<Error> error;  // the first fault; nothing after it was read

  bool ok() const { return !error && !stopped; }
};

Result parse(std::span<const uint8_t> stream, const Options& options = {});

// "offset 341 (0x155), chunk 5, sheet 1: <reason>".
std::string describe(const Error& error);

// Name of a chunk type ("start page"), or "unknown".
std::string chunk_name(uint32_t type);

// Meaning of a start-page item id ("bits per pixel"), or "unknown".
std::string item_name(uint16_t id);

// The readable listing: one line per chunk, the items of each start-page chunk, a summary.
std::string listing(const Result& result);

}  // namespace rastrel_dump
