// The job stream reader on hand-typed bytes: a sound job, and every kind of fault in it.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "rastrel_dump/stream.h"
#include "tools/support/rastrel_dump_streams.h"

namespace {

using rastrel_dump::parse;
using rastrel_dump::Result;
using rastrel_dump_test::Bytes;
using rastrel_dump_test::from_hex;

// One blank 64 x 256 sheet at 600 dpi, typed byte by byte. Layout (offsets):
//   0 UEL, 9 magic, 13 job start (table at 29), 101 start doc, 141 start page (items at 157),
//   325 BIH chunk (BIH at 341), 361 BID (data at 377), 409 end JBIG, 425 end page, 441 end doc,
//   457 UEL, 466 end.
const Bytes kJob = from_hex(R"(
  1B 25 2D 31 32 33 34 35 58  4A 5A 4A 5A
  00 00 00 58 00 00 00 11 00 00 00 00 00 00 5A 5A
  00 00 00 51 00 73 00 6E 00 96 00 7A 00 64 00 96 00 C8 00 64 00 51
  00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64
  00 78 00 87 00 96 00 B4 00 C8 00 78 00 96 00 BE 01 5E 01 90 00 64 00 64
  00 00 00 28 00 00 00 00 00 00 00 02 00 18 5A 5A
  00 00 00 0C 00 01 01 00 00 00 00 00
  00 00 00 0C 00 02 01 00 00 00 00 01
  00 00 00 B8 00 00 00 02 00 00 00 0E 00 A8 5A 5A
  00 00 00 0C 00 04 01 00 00 00 00 01
  00 00 00 0C 00 06 01 00 00 00 00 00
  00 00 00 0C 00 03 01 00 00 00 00 09
  00 00 00 0C 00 07 01 00 00 00 00 01
  00 00 00 0C 00 0C 01 00 00 00 00 40
  00 00 00 0C 00 0D 01 00 00 00 01 00
  00 00 00 0C 00 08 01 00 00 00 02 58
  00 00 00 0C 00 09 01 00 00 00 02 58
  00 00 00 0C 00 16 01 00 00 00 00 01
  00 00 00 0C 00 05 01 00 00 00 00 00
  00 00 00 0C 00 11 01 00 00 00 00 40
  00 00 00 0C 00 12 01 00 00 00 01 00
  00 00 00 0C 00 10 01 00 00 00 00 01
  00 00 00 0C FF 00 01 00 00 00 00 04
  00 00 00 24 00 00 00 04 00 00 00 00 00 00 5A 5A
  00 00 01 00 00 00 00 40 00 00 01 00 00 00 00 80 00 00 03 5C
  00 00 00 30 00 00 00 05 00 00 00 00 00 00 5A 5A
  FF 02 FF 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
  00 00 00 10 00 00 00 06 00 00 00 00 00 00 5A 5A
  00 00 00 10 00 00 00 03 00 00 00 00 00 00 5A 5A
  00 00 00 10 00 00 00 01 00 00 00 00 00 00 5A 5A
  1B 25 2D 31 32 33 34 35 58
)");

Bytes splice(Bytes bytes, std::size_t at, std::size_t erase, const Bytes& insert = {}) {
  bytes.erase(bytes.begin() + at, bytes.begin() + at + erase);
  bytes.insert(bytes.begin() + at, insert.begin(), insert.end());
  return bytes;
}

Bytes range(std::size_t from, std::size_t to) { return Bytes(kJob.begin() + from, kJob.begin() + to); }

Bytes u32(uint32_t v) {
  Bytes out;
  rastrel_dump_test::put32(out, v);
  return out;
}

const Bytes kSheet = range(141, 441);
const Bytes kPause = from_hex("00 00 00 10 00 00 00 0B 00 00 00 00 00 00 5A 5A");

TEST(RastrelDumpStream, HandTypedJobParses) {
  ASSERT_EQ(kJob.size(), 466u);
  const Result r = parse(kJob);
  ASSERT_FALSE(r.error) << rastrel_dump::describe(*r.error);
  ASSERT_TRUE(r.ok());

  std::vector<uint32_t> types;
  std::vector<std::size_t> offsets;
  for (const auto& c : r.chunks) {
    types.push_back(c.type);
    offsets.push_back(c.offset);
  }
  EXPECT_EQ(types, (std::vector<uint32_t>{0x11, 0, 2, 4, 5, 6, 3, 1}));
  EXPECT_EQ(offsets, (std::vector<std::size_t>{13, 101, 141, 325, 361, 409, 425, 441}));
  EXPECT_EQ(r.chunks[4].padding, 28u);

  ASSERT_EQ(r.sheets.size(), 1u);
  const auto& s = r.sheets[0];
  EXPECT_EQ(s.width_pixels, 64u);
  EXPECT_EQ(s.height, 256u);
  EXPECT_EQ(s.bits_per_pixel, 1u);
  EXPECT_EQ(s.jbig_bytes, 4u);
  EXPECT_EQ(s.items.size(), 14u);
  EXPECT_EQ(s.item(0xFF00), 4u);
  EXPECT_EQ(s.item(3), 9u);
  EXPECT_EQ(s.bits, Bytes(8 * 256, 0));
  EXPECT_FALSE(r.has_pause);
}

struct Fault {
  const char* what;
  Bytes stream;
  std::size_t offset;
  std::size_t chunk;
  int sheet;
  const char* reason;  // part of the message
};

Bytes poke(std::size_t at, const Bytes& bytes) { return splice(kJob, at, bytes.size(), bytes); }

Bytes pokes(std::initializer_list<std::pair<std::size_t, Bytes>> edits) {
  Bytes out = kJob;
  for (const auto& [at, bytes] : edits) out = splice(out, at, bytes.size(), bytes);
  return out;
}

void expect_fault(const Fault& f) {
  SCOPED_TRACE(f.what);
  const Result r = parse(f.stream);
  ASSERT_TRUE(r.error) << "accepted";
  EXPECT_EQ(r.error->offset, f.offset) << r.error->reason;
  EXPECT_EQ(r.error->chunk, f.chunk) << r.error->reason;
  EXPECT_EQ(r.error->sheet, f.sheet) << r.error->reason;
  EXPECT_NE(r.error->reason.find(f.reason), std::string::npos) << r.error->reason;
}

TEST(RastrelDumpStream, SingleFieldFaultsAreNamedWhereTheyAre) {
  const Fault faults[] = {
      {"opening UEL", poke(0, {0x1A}), 0, 0, 0, "opening UEL"},
      {"UEL digit", poke(5, {'9'}), 5, 0, 0, "opening UEL"},
      {"magic", poke(12, {'X'}), 12, 0, 0, "magic"},
      {"job start size", poke(13, u32(89)), 13, 1, 0, "size is 89, expected 88"},
      {"unknown type", poke(17, u32(0x12)), 17, 1, 0, "unknown chunk type 0x00000012"},
      {"start doc first", poke(17, u32(0)), 17, 1, 0, "out of order: expected job start (0x11)"},
      {"job start items", poke(21, u32(1)), 21, 1, 0, "has 1 items, expected 0"},
      {"job start item bytes", poke(25, {0x00, 0x0C}), 25, 1, 0, "item bytes field is 12"},
      {"signature", poke(28, {0x5B}), 27, 1, 0, "signature is 0x5a5b"},
      {"job table entry 2", poke(34, {0x74}), 33, 1, 0, "job table entry 2 is 116, expected 115"},
      {"job table entry 35", poke(100, {0x65}), 99, 1, 0, "entry 35 is 101, expected 100"},
      {"start doc item 1", poke(128, {1}), 125, 2, 0, "start-doc item 1 is 1, expected 0"},
      {"start doc item 2", poke(140, {0}), 137, 2, 0, "start-doc item 2 is 0, expected 1"},
      {"item size", poke(120, {0x0D}), 117, 2, 0, "item size is 13, expected 12"},
      {"item id", poke(122, {3}), 121, 2, 0, "item id 3 where item 1 was expected"},
      {"item type", poke(123, {2}), 123, 2, 0, "type 2, expected 1"},
      {"item reserved", poke(124, {1}), 124, 2, 0, "reserved byte is 0x01"},
      {"page item count", poke(149, u32(15)), 149, 3, 1, "15 items, expected 14 or 17"},
      {"page 17 items, 14 item bytes", poke(149, u32(17)), 153, 3, 1, "expected 12 x 17 = 204"},
      {"page size", poke(141, u32(185)), 141, 3, 1, "size is 185, expected 184"},
      {"custom paper in 14 items", poke(189, u32(0)), 189, 3, 1, "custom paper"},
      {"item order", poke(198, {8}), 197, 3, 1, "item id 8 where item 7 was expected"},
      {"item 7", poke(201, u32(2)), 201, 3, 1, "item 7 (always 1) is 2, expected 1"},
      {"width bits", poke(309, u32(2)), 213, 3, 1, "expected item 17 x item 16 = 64 x 2 = 128"},
      {"x resolution", poke(237, u32(1200)), 237, 3, 1, "is 1200, expected 600"},
      {"media source", poke(273, u32(3)), 273, 3, 1, "media source) is 3"},
      {"zero width", poke(285, u32(0)), 285, 3, 1, "at least 1"},
      {"heights differ", poke(297, u32(255)), 297, 3, 1, "expected item 13 = 256"},
      {"bits per pixel", poke(309, u32(3)), 309, 3, 1, "is 3, expected 1 or 2"},
      {"density", poke(321, u32(256)), 321, 3, 1, "print density) is 256"},
      {"BIH DL", poke(341, {1}), 341, 4, 1, "BIH DL is 1, expected 0"},
      {"BIH P", poke(343, {0}), 343, 4, 1, "BIH P is 0, expected 1"},
      {"BIH XD", poke(345, u32(65)), 345, 4, 1, "XD is 65, expected item 12 = 64"},
      {"BIH XD upper bytes", poke(345, {1}), 345, 4, 1, "upper two bytes must be 0"},
      {"BIH YD", poke(349, u32(255)), 349, 4, 1, "YD is 255, expected item 13 = 256"},
      // A height the rest of the stream cannot hold: 512 stripes of 2 bytes or more.
      {"BIH YD beyond the data", pokes({{225, u32(65535)}, {297, u32(65535)}, {349, u32(65535)}}),
       349, 4, 1, "YD of 65535 lines needs 512 stripes of at least 2 bytes, but only 105 bytes follow"},
      {"BIH L0", poke(353, u32(64)), 353, 4, 1, "L0 is 64, expected 128"},
      {"BIH MX", poke(357, {1}), 357, 4, 1, "MX is 1"},
      {"BIH order", poke(359, {2}), 359, 4, 1, "order byte is 2, expected 3"},
      {"BIH options", poke(360, {0x5D}), 360, 4, 1, "options byte is 0x5d"},
      {"BID for BIH", poke(332, {5}), 329, 4, 1, "BID (0x05) chunk out of order: expected BIH (0x04)"},
      {"BID without data", poke(361, u32(16)), 361, 5, 1, "data must be 1 to 65536 bytes"},
      {"BID short of padding", poke(361, u32(47)), 361, 5, 1,
       "holds 31 data bytes; the image data ends after 4, so it must hold 32"},
      {"padding not zero", poke(400, {1}), 400, 5, 1, "padding byte 19 after the image data is 0x01"},
      {"end page for end JBIG", poke(416, {3}), 413, 6, 1, "expected end JBIG (0x06)"},
      {"end doc for end page", poke(432, {1}), 429, 7, 1, "expected end page (0x03)"},
      {"end doc size", poke(441, u32(17)), 441, 8, 0, "end doc (0x01) size is 17, expected 16"},
      {"end doc signature", poke(455, {0}), 455, 8, 0, "signature is 0x005a"},
      {"pause after the last sheet", poke(448, {0x0B}), 457, 9, 0,
       "UEL where a chunk was expected: expected start page (0x02)"},
      {"closing UEL", poke(465, {'Y'}), 465, 0, 0, "closing UEL"},
  };
  for (const Fault& f : faults) expect_fault(f);
}

TEST(RastrelDumpStream, TruncationsAndTrailingBytes) {
  const Fault faults[] = {
      {"empty", range(0, 0), 0, 0, 0, "stream ends inside the opening UEL"},
      {"in the UEL", range(0, 4), 4, 0, 0, "stream ends inside the opening UEL"},
      {"in the magic", range(0, 11), 11, 0, 0, "stream ends inside the magic"},
      {"after the magic", range(0, 13), 13, 1, 0, "stream ends after the magic; expected job start"},
      {"in a header", range(0, 20), 13, 1, 0, "truncated chunk header: 7 bytes left, 16 needed"},
      {"in the job table", range(0, 100), 13, 1, 0, "chunk of 88 bytes runs past the end of the stream (87 bytes left)"},
      {"after start doc", range(0, 141), 141, 3, 0,
       "stream ends after chunk 2; expected start page (0x02) or end doc (0x01)"},
      {"in a BID", range(0, 400), 361, 5, 1, "runs past the end"},
      {"after a sheet", range(0, 441), 441, 8, 0,
       "expected start page (0x02), pause (0x0b) or end doc (0x01)"},
      {"no closing UEL", range(0, 457), 457, 0, 0, "the closing UEL is missing"},
      {"in the closing UEL", range(0, 460), 460, 0, 0, "stream ends inside the closing UEL"},
      {"one byte more", splice(kJob, 466, 0, {0}), 466, 0, 0, "1 byte after the closing UEL"},
  };
  for (const Fault& f : faults) expect_fault(f);
}

TEST(RastrelDumpStream, ChunkOrder) {
  const Bytes two_sheets = splice(kJob, 441, 0, kSheet);  // sheet 2 at 441, end doc at 741
  const Fault faults[] = {
      {"no end doc", splice(kJob, 441, 16), 441, 8, 0, "UEL where a chunk was expected"},
      {"no BID", splice(kJob, 361, 48), 365, 5, 1, "needs at least one BID chunk"},
      {"BID after the image", splice(kJob, 409, 0, range(361, 409)), 413, 6, 1,
       "BID chunk after the end of the sheet's image data"},
      {"start doc twice", splice(kJob, 141, 0, range(101, 141)), 145, 3, 0,
       "start doc (0x00) chunk out of order"},
      {"pause before the first sheet", splice(kJob, 141, 0, kPause), 145, 3, 0,
       "pause chunk before the first sheet"},
      {"pause then end doc", splice(kJob, 441, 0, kPause), 461, 9, 0,
       "end-doc chunk right after the pause"},
      {"two pauses", splice(splice(two_sheets, 741, 0, kPause), 441, 0, kPause), 761, 14, 0,
       "second pause chunk"},
      {"pause inside a sheet", splice(kJob, 409, 0, kPause), 413, 6, 1,
       "pause (0x0b) chunk out of order"},
  };
  for (const Fault& f : faults) expect_fault(f);

  const Result paused = parse(splice(two_sheets, 441, 0, kPause));
  ASSERT_TRUE(paused.ok()) << rastrel_dump::describe(*paused.error);
  ASSERT_EQ(paused.sheets.size(), 2u);
  EXPECT_TRUE(paused.has_pause);
  EXPECT_FALSE(paused.sheets[0].after_pause);
  EXPECT_TRUE(paused.sheets[1].after_pause);
  EXPECT_EQ(paused.sheets[1].number, 2);

  const Result empty = parse(splice(kJob, 141, 300));
  EXPECT_TRUE(empty.ok());
  EXPECT_TRUE(empty.sheets.empty());
}

TEST(RastrelDumpStream, CustomPaperHasSeventeenItems) {
  // 17 items: size 220, item bytes 204; 24, 25 and 26 come before the density.
  Bytes page = from_hex("00 00 00 DC 00 00 00 02 00 00 00 11 00 CC 5A 5A");
  page.insert(page.end(), kJob.begin() + 157, kJob.begin() + 313);  // items 4 to 16
  rastrel_dump_test::set32(page, 16 + 2 * 12 + 8, 0);                // item 3: custom paper
  rastrel_dump_test::append(page, from_hex(R"(
    00 00 00 0C 00 18 01 00 00 00 00 B6
    00 00 00 0C 00 19 01 00 00 00 01 76
    00 00 00 0C 00 1A 01 00 00 00 00 00)"));
  page.insert(page.end(), kJob.begin() + 313, kJob.begin() + 325);  // density
  ASSERT_EQ(page.size(), 220u);
  const Bytes custom = splice(kJob, 141, 184, page);

  const Result r = parse(custom);
  ASSERT_TRUE(r.ok()) << rastrel_dump::describe(*r.error);
  EXPECT_EQ(r.sheets[0].items.size(), 17u);
  EXPECT_EQ(r.sheets[0].item(25), 374u);
  EXPECT_EQ(r.sheets[0].items.back().id, 0xFF00);

  // Items at 157 + 12 i; item 24's value at 321, 25's at 333, 26's at 345.
  const Fault faults[] = {
      {"custom paper with a paper code", splice(custom, 189, 4, u32(9)), 189, 3, 1,
       "the 17 items of custom paper"},
      {"physical width below the raster", splice(custom, 321, 4, u32(63)), 321, 3, 1,
       "less than the raster width of 64 pixels"},
      {"physical height below the raster", splice(custom, 333, 4, u32(255)), 333, 3, 1,
       "less than the raster height of 256 lines"},
      {"item 26", splice(custom, 345, 4, u32(1)), 345, 3, 1, "item 26 (always 0) is 1, expected 0"},
  };
  for (const Fault& f : faults) expect_fault(f);
}

// Whatever a single byte or a cut does, the reader answers with a fault inside the stream and
// never crashes; and every byte whose value is fixed by the format is checked.
TEST(RastrelDumpStream, EveryCutAndEveryFixedByteIsCaught) {
  for (std::size_t n = 0; n < kJob.size(); ++n) {
    const Result r = parse(range(0, n));
    ASSERT_TRUE(r.error) << "cut at " << n << " accepted";
    EXPECT_LE(r.error->offset, n);
  }
  // Free values: items 4 (copies), 6 (media type), 3 (paper), the low bytes of the media source
  // and the density, and the image data itself, which is the decoder's to judge (FF 03 ends a
  // stripe as well as FF 02).
  auto free_byte = [](std::size_t at) {
    return (at >= 165 && at < 169) || (at >= 177 && at < 181) || (at >= 189 && at < 193) ||
           at == 276 || at == 324 || (at >= 377 && at < 381);
  };
  for (std::size_t at = 0; at < kJob.size(); ++at)
    for (uint8_t flip : {0x01, 0x80, 0xFF}) {
      Bytes bad = kJob;
      bad[at] ^= flip;
      const Result r = parse(bad);
      if (r.error) EXPECT_LT(r.error->offset, bad.size()) << "byte " << at;
      else EXPECT_TRUE(free_byte(at)) << "change of byte " << at << " by " << int(flip) << " accepted";
    }
}

}  // namespace
