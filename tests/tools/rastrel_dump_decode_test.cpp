// Decoding sheets encoded by JBIG-KIT's encoder, and the padding of the last BID chunk.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rastrel_dump/images.h"
#include "rastrel_dump/stream.h"
#include "tools/support/rastrel_dump_streams.h"

namespace {

using rastrel_dump::parse;
using rastrel_dump::Result;
using namespace rastrel_dump_test;

std::string error_of(const Result& r) { return r.error ? rastrel_dump::describe(*r.error) : ""; }

// Sheets of 1 and 2 bits a pixel, the 2-bit one with every level in every position of a byte,
// and a sheet whose data needs several BID chunks: each decodes to its input, bit for bit.
TEST(RastrelDumpDecode, SheetsDecodeBitForBit) {
  TestSheet one_bit{224, 300, 1, 9, noise(224 / 8 * 300, 1, 30), {}};
  TestSheet two_bit{96, 200, 2, 0, noise(96 / 4 * 200, 2, 50), {}};
  // Noise barely compresses: 2048 x 600 bits is 153600 bytes, > 2 x 65536 of JBIG data.
  TestSheet large{2048, 600, 1, 9, noise(2048 / 8 * 600, 3, 50), {}};
  const Bytes stream = job({one_bit, two_bit, large});

  const Result r = parse(stream);
  ASSERT_TRUE(r.ok()) << error_of(r);
  ASSERT_EQ(r.sheets.size(), 3u);
  EXPECT_EQ(r.sheets[0].bits, one_bit.bits);
  EXPECT_EQ(r.sheets[1].bits, two_bit.bits);
  EXPECT_EQ(r.sheets[1].width_bits(), 192u);
  EXPECT_EQ(r.sheets[1].bih.xd, 192u);
  EXPECT_EQ(r.sheets[1].items.size(), 17u);
  EXPECT_EQ(r.sheets[2].bits, large.bits);
  EXPECT_GE(r.sheets[2].bid_chunks, 3u);
  EXPECT_EQ(r.sheets[2].jbig_bytes, jbig_stripes(large.bits, 2048, 600).size());

  std::size_t full = 0;
  for (const auto& c : r.chunks)
    if (c.type == rastrel_dump::kJbigBid && c.sheet == 3 && c.data_bytes == 65536) ++full;
  EXPECT_EQ(full, r.sheets[2].bid_chunks - 1);
}

// The writer pads the rest R to the next multiple of 32 above it; R = 0 gives no short chunk.
// The sizes come from real encoder output of the given length.
TEST(RastrelDumpDecode, LastBidPaddingFollowsTheEncodedLength) {
  struct Case {
    std::size_t n;        // encoded bytes
    uint32_t width;
    std::vector<std::size_t> bid_sizes;  // data bytes of each BID chunk
  };
  const Case cases[] = {
      {100, 64, {128}},             // 100 + 28
      {96, 64, {128}},              // a multiple of 32 still gets 32 zero bytes
      {65536, 2048, {65536}},       // exactly one full chunk, no short one
      {65530, 2048, {65536}},       // padded up to a chunk of full size
      {131080, 2048, {65536, 65536, 32}},  // two full chunks, 8 bytes + 24 zeros
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    const TestSheet sheet = sheet_with_jbig_size(c.n, c.width);
    ASSERT_EQ(sheet.jbig.size(), c.n);
    const Result r = parse(job({sheet}));
    ASSERT_TRUE(r.ok()) << error_of(r);
    std::vector<std::size_t> sizes;
    for (const auto& chunk : r.chunks)
      if (chunk.type == rastrel_dump::kJbigBid) sizes.push_back(chunk.data_bytes);
    EXPECT_EQ(sizes, c.bid_sizes);
    EXPECT_EQ(r.sheets[0].jbig_bytes, c.n);
    EXPECT_EQ(r.sheets[0].bits, sheet.bits);
  }
}

// The same encoded data cut into BID chunks other than by the rule is refused.
TEST(RastrelDumpDecode, WrongCutsAreRefused) {
  const TestSheet sheet = sheet_with_jbig_size(96, 64);
  ASSERT_EQ(sheet.jbig.size(), 96u);
  const TestSheet exact = sheet_with_jbig_size(65536, 2048);
  ASSERT_EQ(exact.jbig.size(), 65536u);
  const TestSheet longer = sheet_with_jbig_size(65600, 2048);
  ASSERT_EQ(longer.jbig.size(), 65600u);

  // Replaces the BID chunks of a one-sheet job by chunks with the given data parts.
  auto with_bids = [](const TestSheet& s, const std::vector<Bytes>& pieces) {
    Bytes stream = job({s});
    const Bytes good = job({s});
    const Result r = parse(good);
    EXPECT_TRUE(r.ok()) << error_of(r);
    std::size_t first = 0, end = 0;
    for (const auto& c : r.chunks)
      if (c.type == rastrel_dump::kJbigBid) {
        if (!first) first = c.offset;
        end = c.offset + c.size;
      }
    Bytes bids;
    for (const Bytes& p : pieces) append(bids, chunk(5, {}, p));
    stream.erase(stream.begin() + first, stream.begin() + end);
    stream.insert(stream.begin() + first, bids.begin(), bids.end());
    return stream;
  };
  auto padded = [](const Bytes& data, std::size_t from, std::size_t to, std::size_t size) {
    Bytes out(data.begin() + from, data.begin() + to);
    out.resize(size, 0);
    return out;
  };
  struct Case {
    const char* what;
    Bytes stream;
    const char* reason;
  };
  const Case cases[] = {
      {"96 bytes unpadded", with_bids(sheet, {sheet.jbig}), "so it must hold 128"},
      {"96 bytes padded to 160", with_bids(sheet, {padded(sheet.jbig, 0, 96, 160)}),
       "so it must hold 128"},
      {"a full chunk and 32 zeros", with_bids(exact, {exact.jbig, Bytes(32, 0)}),
       "BID chunk after the end of the sheet's image data"},
      {"a short chunk first", with_bids(longer, {padded(longer.jbig, 0, 65504, 65504),
                                                  padded(longer.jbig, 65504, 65600, 128)}),
       "only the last BID of a sheet may hold fewer than 65536"},
      {"data missing", with_bids(longer, {padded(longer.jbig, 0, 65536, 65536)}),
       "end-JBIG chunk before the image is complete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = parse(c.stream);
    ASSERT_TRUE(r.error);
    EXPECT_NE(r.error->reason.find(c.reason), std::string::npos) << r.error->reason;
    EXPECT_EQ(r.error->sheet, 1);
  }
}

// Damaged image data is reported in its BID chunk, whatever the damage; it never crashes.
TEST(RastrelDumpDecode, DamagedImageDataIsAFault) {
  const TestSheet sheet{128, 256, 1, 9, noise(16 * 256, 5, 20), {}};
  const Bytes good = job({sheet});
  const Result r = parse(good);
  ASSERT_TRUE(r.ok()) << error_of(r);
  const auto& bid = r.chunks[4];
  ASSERT_EQ(bid.type, rastrel_dump::kJbigBid);
  const std::size_t data = bid.offset + 16, data_end = bid.offset + bid.size;

  int faults = 0;
  for (std::size_t at = data; at < data_end; ++at) {
    Bytes bad = good;
    bad[at] = 0xFF;  // an escape where none belongs
    const Result damaged = parse(bad);
    if (!damaged.error) continue;  // a marker that happens to fit, or a different but sound image
    ++faults;
    EXPECT_EQ(damaged.error->sheet, 1);
    EXPECT_GE(damaged.error->offset, bid.offset);
    EXPECT_LT(damaged.error->offset, data_end);
  }
  EXPECT_GT(faults, 0);
}

TEST(RastrelDumpDecode, SinkGetsEverySheetAndCanStop) {
  const TestSheet a{64, 128, 1, 9, noise(8 * 128, 8), {}};
  const TestSheet b{32, 128, 2, 9, noise(8 * 128, 9), {}};
  const Bytes stream = job({a, b, a}, 2);

  std::vector<Bytes> seen;
  rastrel_dump::Options options;
  options.keep_images = false;
  options.on_sheet = [&](const rastrel_dump::Sheet& s, std::span<const uint8_t> bits) {
    EXPECT_EQ(s.number, int(seen.size()) + 1);
    seen.emplace_back(bits.begin(), bits.end());
    return true;
  };
  const Result all = parse(stream, options);
  ASSERT_TRUE(all.ok()) << error_of(all);
  EXPECT_EQ(seen, (std::vector<Bytes>{a.bits, b.bits, a.bits}));
  EXPECT_TRUE(all.sheets[0].bits.empty());
  EXPECT_TRUE(all.sheets[1].after_pause);

  seen.clear();
  options.on_sheet = [&](const rastrel_dump::Sheet&, std::span<const uint8_t> bits) {
    seen.emplace_back(bits.begin(), bits.end());
    return false;
  };
  const Result stopped = parse(stream, options);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_FALSE(stopped.error);
  EXPECT_EQ(seen.size(), 1u);
}

TEST(RastrelDumpDecode, TwoBitLevelsBecomeGrey) {
  // Levels 0 1 2 3 | 3 2 1 0, first pixel in bits 7-6.
  const Bytes row = {0b00011011, 0b11100100};
  EXPECT_EQ(rastrel_dump::grey_row(row, 8), (Bytes{255, 170, 85, 0, 0, 85, 170, 255}));
  EXPECT_EQ(rastrel_dump::grey_row(row, 6), (Bytes{255, 170, 85, 0, 0, 85}));
}

}  // namespace
