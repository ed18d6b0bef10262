#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <utility>

#include "jbig_decoder.h"
#include "rastrel_dump/stream.h"

namespace rastrel_dump {
namespace {

constexpr std::array<uint8_t, kUelSize> kUel = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr std::array<uint8_t, 4> kMagic = {'J', 'Z', 'J', 'Z'};
constexpr uint16_t kSignature = 0x5A5A;

constexpr std::array<uint16_t, 36> kJobTable = {
    0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
    100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100};
constexpr std::size_t kJobStartSize = kChunkHeaderSize + 2 * kJobTable.size();  // 88
constexpr std::size_t kBihChunkSize = kChunkHeaderSize + kBihSize;              // 36

constexpr uint32_t kResolution = 600;
constexpr uint8_t kBihOrder = 3;       // JBG_ILEAVE | JBG_SMID
constexpr uint8_t kBihOptions = 0x5C;  // JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON

// Start-page items in stream order; custom paper adds 24, 25, 26 before the density.
constexpr std::array<uint16_t, 13> kPageItemsHead = {
    kItemCopies,     kItemMediaType,    kItemPaper,      kItemSeven,      kItemWidthBits,
    kItemHeight,     kItemXResolution,  kItemYResolution, kItemTwentyTwo, kItemMediaSource,
    kItemWidthPixels, kItemHeightPixels, kItemBitsPerPixel};
constexpr std::array<uint16_t, 3> kPageItemsCustom = {kItemPhysicalWidth, kItemPhysicalHeight,
                                                      kItemTwentySix};
constexpr std::size_t kPageItems = kPageItemsHead.size() + 1;                 // 14
constexpr std::size_t kCustomPageItems = kPageItems + kPageItemsCustom.size();  // 17

struct Fault {
  std::size_t offset;
  std::string reason;
};

// Thrown when the sheet sink asks to stop.
struct Stop {};

template <typename... Parts>
std::string cat(const Parts&... parts) {
  std::ostringstream out;
  (out << ... << parts);
  return out.str();
}

std::string hex(uint32_t value, int digits = 2) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool known_type(uint32_t type) {
  switch (type) {
    case kStartDoc: case kEndDoc: case kStartPage: case kEndPage: case kJbigBih:
    case kJbigBid: case kEndJbig: case kPause: case kJobStart:
      return true;
    default:
      return false;
  }
}

std::string label(uint32_t type) { return cat(chunk_name(type), " (", hex(type), ")"); }

std::string item_label(uint16_t id) { return cat("item ", id, " (", item_name(id), ")"); }

class Reader {
 public:
  Reader(std::span<const uint8_t> data, const Options& options, Result& result)
      : data_(data), options_(options), result_(result) {}

  void run() {
    expect_uel(0, "opening UEL");
    expect_bytes(kUelSize, kMagic, "magic \"JZJZ\"");
    pos_ = kUelSize + kMagic.size();
    while (!end_doc_seen_) read_chunk();
    chunk_ = 0;
    ctx_sheet_ = 0;
    if (pos_ == data_.size())
      throw Fault{pos_, "stream ends after the end-doc chunk: the closing UEL is missing"};
    expect_uel(pos_, "closing UEL");
    pos_ += kUelSize;
    if (pos_ != data_.size())
      throw Fault{pos_, cat(data_.size() - pos_, data_.size() - pos_ == 1 ? " byte" : " bytes",
                            " after the closing UEL")};
  }

  std::size_t chunk() const { return chunk_; }
  int sheet() const { return ctx_sheet_; }

 private:
  enum class State { kJobStart, kStartDoc, kBetweenSheets, kAfterPause, kBih, kFirstBid, kBid,
                     kEndPage };

  std::size_t left(std::size_t at) const { return at < data_.size() ? data_.size() - at : 0; }

  template <std::size_t N>
  void expect_bytes(std::size_t at, const std::array<uint8_t, N>& want, const char* what) {
    for (std::size_t i = 0; i < N; ++i) {
      if (at + i >= data_.size()) throw Fault{data_.size(), cat("stream ends inside the ", what)};
      if (data_[at + i] != want[i])
        throw Fault{at + i, cat("not the ", what, ": byte ", i, " is ", hex(data_[at + i]),
                                ", expected ", hex(want[i]))};
    }
  }

  void expect_uel(std::size_t at, const char* what) {
    expect_bytes(at, kUel, cat(what, " ESC \"%-12345X\"").c_str());
  }

  bool uel_at(std::size_t at) const {
    return left(at) >= kUelSize && std::equal(kUel.begin(), kUel.end(), data_.begin() + at);
  }

  std::string expected() const {
    switch (state_) {
      case State::kJobStart: return label(kJobStart);
      case State::kStartDoc: return label(kStartDoc);
      case State::kBetweenSheets:
        if (sheets_done_ > 0 && !pause_seen_)
          return cat(label(kStartPage), ", ", label(kPause), " or ", label(kEndDoc));
        return cat(label(kStartPage), " or ", label(kEndDoc));
      case State::kAfterPause: return label(kStartPage);
      case State::kBih: return label(kJbigBih);
      case State::kFirstBid: return label(kJbigBid);
      case State::kBid:
        return complete_ ? label(kEndJbig) : cat(label(kJbigBid), " or ", label(kEndJbig));
      case State::kEndPage: return label(kEndPage);
    }
    return {};
  }

  bool in_sheet() const { return state_ >= State::kBih; }

  void check_order(uint32_t type, std::size_t at) {
    bool fits = false;
    switch (state_) {
      case State::kJobStart: fits = type == kJobStart; break;
      case State::kStartDoc: fits = type == kStartDoc; break;
      case State::kBetweenSheets:
        if (type == kPause && sheets_done_ == 0)
          throw Fault{at, "pause chunk before the first sheet"};
        if (type == kPause && pause_seen_)
          throw Fault{at, "second pause chunk: a job has at most one"};
        fits = type == kStartPage || type == kPause || type == kEndDoc;
        break;
      case State::kAfterPause:
        if (type == kEndDoc) throw Fault{at, "end-doc chunk right after the pause: no sheet follows it"};
        fits = type == kStartPage;
        break;
      case State::kBih: fits = type == kJbigBih; break;
      case State::kFirstBid:
        if (type == kEndJbig)
          throw Fault{at, "end-JBIG chunk right after the BIH: a sheet needs at least one BID chunk"};
        fits = type == kJbigBid;
        break;
      case State::kBid:
        if (type == kJbigBid && complete_)
          throw Fault{at, cat("BID chunk after the end of the sheet's image data (complete after ",
                              sheet_jbig_, " bytes); expected ", label(kEndJbig))};
        fits = type == kJbigBid || type == kEndJbig;
        break;
      case State::kEndPage: fits = type == kEndPage; break;
    }
    if (!fits) throw Fault{at, cat(label(type), " chunk out of order: expected ", expected())};
  }

  // Checks one 12-byte item at `at` and returns its value.
  uint32_t read_item(std::size_t at, uint16_t want_id) {
    const uint8_t* p = data_.data() + at;
    if (be32(p) != kItemSize) throw Fault{at, cat("item size is ", be32(p), ", expected 12")};
    if (be16(p + 4) != want_id)
      throw Fault{at + 4, cat("item id ", be16(p + 4), " where item ", want_id, " was expected")};
    if (p[6] != 1) throw Fault{at + 6, cat(item_label(want_id), ": type ", int(p[6]), ", expected 1")};
    if (p[7] != 0)
      throw Fault{at + 7, cat(item_label(want_id), ": reserved byte is ", hex(p[7]), ", expected 0")};
    return be32(p + 8);
  }

  void read_chunk() {
    const std::size_t at = pos_;
    chunk_ = result_.chunks.size() + 1;
    ctx_sheet_ = in_sheet() ? sheet_number_ : 0;
    if (at == data_.size())
      throw Fault{at, cat("stream ends after ", chunk_ == 1 ? std::string("the magic")
                                                             : cat("chunk ", chunk_ - 1),
                          "; expected ", expected())};
    if (uel_at(at)) throw Fault{at, cat("UEL where a chunk was expected: expected ", expected())};
    if (left(at) < kChunkHeaderSize)
      throw Fault{at, cat("truncated chunk header: ", left(at), " bytes left, 16 needed")};

    const uint8_t* p = data_.data() + at;
    Chunk chunk;
    chunk.offset = at;
    chunk.number = chunk_;
    chunk.size = be32(p);
    chunk.type = be32(p + 4);
    const uint32_t count = be32(p + 8);
    const uint16_t item_bytes = be16(p + 12);
    const uint16_t signature = be16(p + 14);

    if (!known_type(chunk.type)) throw Fault{at + 4, cat("unknown chunk type ", hex(chunk.type, 8))};
    if (!in_sheet() && chunk.type == kStartPage) ctx_sheet_ = sheets_done_ + 1;
    check_order(chunk.type, at + 4);
    if (signature != kSignature)
      throw Fault{at + 14, cat("chunk signature is ", hex(signature, 4), ", expected 0x5a5a")};

    const std::string name = label(chunk.type);
    uint32_t want_count = 0;
    if (chunk.type == kStartDoc) want_count = 2;
    if (chunk.type == kStartPage) {
      if (count != kPageItems && count != kCustomPageItems)
        throw Fault{at + 8, cat(name, " has ", count, " items, expected 14 or 17 (custom paper)")};
      want_count = count;
    }
    if (count != want_count)
      throw Fault{at + 8, cat(name, " has ", count, " items, expected ", want_count)};
    if (item_bytes != kItemSize * count)
      throw Fault{at + 12, cat("item bytes field is ", item_bytes, ", expected 12 x ", count, " = ",
                               kItemSize * count)};

    const std::size_t header_and_items = kChunkHeaderSize + kItemSize * count;
    if (chunk.type == kJbigBid) {
      if (chunk.size <= kChunkHeaderSize || chunk.size - kChunkHeaderSize > kFullBidData)
        throw Fault{at, cat("BID chunk size ", chunk.size, ": its data must be 1 to 65536 bytes")};
    } else {
      std::size_t want_size = header_and_items;
      if (chunk.type == kJobStart) want_size = kJobStartSize;
      if (chunk.type == kJbigBih) want_size = kBihChunkSize;
      if (chunk.size != want_size)
        throw Fault{at, cat(name, " size is ", chunk.size, ", expected ", want_size)};
    }
    if (chunk.size > left(at))
      throw Fault{at, cat("chunk of ", chunk.size, " bytes runs past the end of the stream (",
                          left(at), " bytes left)")};

    const std::size_t body = at + kChunkHeaderSize;
    switch (chunk.type) {
      case kJobStart: read_job_table(body); state_ = State::kStartDoc; break;
      case kStartDoc: read_start_doc(body, chunk); state_ = State::kBetweenSheets; break;
      case kStartPage: read_start_page(at, count, chunk); state_ = State::kBih; break;
      case kJbigBih: read_bih(body, at + chunk.size, chunk); state_ = State::kFirstBid; break;
      case kJbigBid: read_bid(at, chunk); state_ = State::kBid; break;
      case kEndJbig:
        if (!complete_)
          throw Fault{at + 4, cat("end-JBIG chunk before the image is complete: ", sheet_jbig_,
                                  " bytes of image data in ", cur_.bid_chunks,
                                  cur_.bid_chunks == 1 ? " BID chunk" : " BID chunks")};
        state_ = State::kEndPage;
        break;
      case kEndPage: finish_sheet(); break;
      case kPause:
        pause_seen_ = result_.has_pause = true;
        state_ = State::kAfterPause;
        break;
      case kEndDoc: end_doc_seen_ = true; break;
    }
    chunk.sheet = ctx_sheet_;
    pos_ = at + chunk.size;
    result_.chunks.push_back(std::move(chunk));
    if (stopped_) throw Stop{};
  }

  void read_job_table(std::size_t at) {
    for (std::size_t i = 0; i < kJobTable.size(); ++i) {
      const uint16_t v = be16(data_.data() + at + 2 * i);
      if (v != kJobTable[i])
        throw Fault{at + 2 * i, cat("job table entry ", i, " is ", v, ", expected ", kJobTable[i])};
    }
  }

  void read_start_doc(std::size_t at, Chunk& chunk) {
    constexpr std::array<std::pair<uint16_t, uint32_t>, 2> kWant = {{{1, 0}, {2, 1}}};
    for (std::size_t i = 0; i < kWant.size(); ++i) {
      const std::size_t item_at = at + i * kItemSize;
      const uint32_t v = read_item(item_at, kWant[i].first);
      if (v != kWant[i].second)
        throw Fault{item_at + 8, cat("start-doc item ", kWant[i].first, " is ", v, ", expected ",
                                     kWant[i].second)};
      chunk.items.push_back({kWant[i].first, v});
    }
  }

  void read_start_page(std::size_t at, uint32_t count, Chunk& chunk) {
    const bool custom = count == kCustomPageItems;
    std::vector<uint16_t> ids(kPageItemsHead.begin(), kPageItemsHead.end());
    if (custom) ids.insert(ids.end(), kPageItemsCustom.begin(), kPageItemsCustom.end());
    ids.push_back(kItemDensity);

    cur_ = Sheet{};
    cur_.number = sheet_number_ = sheets_done_ + 1;
    cur_.offset = at;
    cur_.after_pause = pause_seen_;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const std::size_t item_at = at + kChunkHeaderSize + i * kItemSize;
      const uint32_t v = read_item(item_at, ids[i]);
      cur_.items.push_back({ids[i], v});
      check_page_value(ids[i], v, item_at + 8, custom);
    }
    // Offset of an item's value, for the checks across items.
    auto where = [&](uint16_t id) {
      const auto i = std::find(ids.begin(), ids.end(), id) - ids.begin();
      return at + kChunkHeaderSize + std::size_t(i) * kItemSize + 8;
    };
    chunk.items = cur_.items;

    const uint32_t bpp = *cur_.item(kItemBitsPerPixel);
    const uint32_t width = *cur_.item(kItemWidthPixels);
    const uint32_t height = *cur_.item(kItemHeight);
    const uint32_t width_bits = *cur_.item(kItemWidthBits);
    if (uint64_t(width) * bpp != width_bits)
      throw Fault{where(kItemWidthBits),
                  cat(item_label(kItemWidthBits), " is ", width_bits, ", expected item 17 x item 16 = ",
                      width, " x ", bpp, " = ", uint64_t(width) * bpp)};
    if (*cur_.item(kItemHeightPixels) != height)
      throw Fault{where(kItemHeightPixels), cat(item_label(kItemHeightPixels), " is ",
                                                *cur_.item(kItemHeightPixels),
                                                ", expected item 13 = ", height)};
    // The physical size of custom paper is never below the raster: the writer puts the raster
    // size + 118 there when the paper is smaller. (It compares the width with item 12, which is in
    // bits, so at 2 bits a pixel only the pixel width is a safe lower bound.)
    if (custom) {
      if (*cur_.item(kItemPhysicalWidth) < width)
        throw Fault{where(kItemPhysicalWidth),
                    cat(item_label(kItemPhysicalWidth), " is ", *cur_.item(kItemPhysicalWidth),
                        ", less than the raster width of ", width, " pixels")};
      if (*cur_.item(kItemPhysicalHeight) < height)
        throw Fault{where(kItemPhysicalHeight),
                    cat(item_label(kItemPhysicalHeight), " is ", *cur_.item(kItemPhysicalHeight),
                        ", less than the raster height of ", height, " lines")};
    }
    cur_.width_pixels = width;
    cur_.height = height;
    cur_.bits_per_pixel = bpp;
    complete_ = false;
    sheet_jbig_ = 0;
  }

  void check_page_value(uint16_t id, uint32_t v, std::size_t at, bool custom) {
    auto must = [&](bool ok, const std::string& want) {
      if (!ok) throw Fault{at, cat(item_label(id), " is ", v, ", expected ", want)};
    };
    switch (id) {
      case kItemPaper:
        if (v == 0 && !custom)
          throw Fault{at, "item 3 (paper) is 0, custom paper, but the chunk has 14 items, not 17"};
        if (v != 0 && custom)
          throw Fault{at, cat("item 3 (paper) is ", v, ", but the chunk has the 17 items of custom "
                              "paper (paper 0)")};
        break;
      case kItemSeven: case kItemTwentyTwo: must(v == 1, "1"); break;
      case kItemTwentySix: must(v == 0, "0"); break;
      case kItemXResolution: case kItemYResolution: must(v == kResolution, "600"); break;
      case kItemMediaSource: must(v <= 2, "0, 1 or 2"); break;
      case kItemBitsPerPixel: must(v == 1 || v == 2, "1 or 2"); break;
      case kItemWidthPixels: case kItemHeight: must(v != 0, "at least 1"); break;
      case kItemDensity: must(v <= 0xFF, "a byte (0 to 255)"); break;
      default: break;
    }
  }

  void read_bih(std::size_t at, std::size_t chunk_end, Chunk& chunk) {
    const uint8_t* p = data_.data() + at;
    Bih& b = cur_.bih;
    b = Bih{p[0], p[1], p[2], p[3], be32(p + 4), be32(p + 8), be32(p + 12), p[16], p[17], p[18], p[19]};
    auto byte = [&](std::size_t off, uint8_t v, uint8_t want, const char* field) {
      if (v != want)
        throw Fault{at + off, cat("BIH ", field, " is ", int(v), ", expected ", int(want))};
    };
    byte(0, b.dl, 0, "DL");
    byte(1, b.d, 0, "D");
    byte(2, b.planes, 1, "P");
    byte(3, b.reserved, 0, "reserved byte");
    auto dimension = [&](std::size_t off, uint32_t v, uint32_t item, const char* field, int id) {
      if (v > 0xFFFF)
        throw Fault{at + off, cat("BIH ", field, " is ", v, ": its upper two bytes must be 0")};
      if (v != item)
        throw Fault{at + off, cat("BIH ", field, " is ", v, ", expected item ", id, " = ", item)};
    };
    dimension(4, b.xd, cur_.width_bits(), "XD", kItemWidthBits);
    dimension(8, b.yd, cur_.height, "YD", kItemHeight);
    if (b.l0 != kStripeLines)
      throw Fault{at + 12, cat("BIH L0 is ", b.l0, ", expected 128")};
    byte(16, b.mx, 0, "MX");
    byte(17, b.my, 0, "MY");
    byte(18, b.order, kBihOrder, "order byte");
    if (b.options != kBihOptions)
      throw Fault{at + 19, cat("BIH options byte is ", hex(b.options), ", expected 0x5c")};

    // Every stripe of 128 lines ends in a two-byte marker, so the rest of the stream bounds the
    // height; checked before the decoder sets up an image of that size.
    const std::size_t stripes = (std::size_t(b.yd) + kStripeLines - 1) / kStripeLines;
    if (2 * stripes > left(chunk_end))
      throw Fault{at + 8, cat("BIH YD of ", b.yd, " lines needs ", stripes,
                              " stripes of at least 2 bytes, but only ", left(chunk_end),
                              " bytes follow")};

    const JbigDecoder::Step step = decoder_.start(data_.subspan(at, kBihSize), b.xd, b.yd);
    if (step.outcome != JbigDecoder::Outcome::kNeedMore)
      throw Fault{at, cat("JBIG decoder refused the BIH: ", step.message)};
    chunk.bih = b;
  }

  void read_bid(std::size_t at, Chunk& chunk) {
    const std::size_t data_at = at + kChunkHeaderSize;
    const std::size_t n = chunk.size - kChunkHeaderSize;
    chunk.data_bytes = n;
    ++cur_.bid_chunks;
    const JbigDecoder::Step step = decoder_.feed(data_.subspan(data_at, n));
    switch (step.outcome) {
      case JbigDecoder::Outcome::kFailed:
        throw Fault{data_at + step.consumed, cat("JBIG decoding failed: ", step.message)};
      case JbigDecoder::Outcome::kNeedMore:
        if (n < kFullBidData)
          throw Fault{at, cat("BID chunk of ", n, " data bytes ends before the image is complete; "
                              "only the last BID of a sheet may hold fewer than 65536")};
        sheet_jbig_ += n;
        return;
      case JbigDecoder::Outcome::kComplete:
        break;
    }
    // The last BID carries the rest R of the image data padded with zero bytes up to the next
    // multiple of 32 above R (a whole 32 more when R already is one); R = 65536 is not padded.
    const std::size_t r = step.consumed;
    const std::size_t want = r == kFullBidData ? r : r - r % 32 + 32;
    if (n != want)
      throw Fault{at, cat("last BID chunk holds ", n, " data bytes; the image data ends after ", r,
                          ", so it must hold ", want, " (", want - r, " zero bytes of padding)")};
    for (std::size_t i = r; i < n; ++i)
      if (data_[data_at + i] != 0)
        throw Fault{data_at + i, cat("padding byte ", i - r, " after the image data is ",
                                     hex(data_[data_at + i]), ", expected 0")};
    chunk.padding = n - r;
    sheet_jbig_ += r;
    complete_ = true;
  }

  void finish_sheet() {
    cur_.jbig_bytes = sheet_jbig_;
    const std::span<const uint8_t> bits = decoder_.image();
    if (bits.size() != cur_.row_bytes() * cur_.height)
      throw Fault{pos_, cat("decoded image holds ", bits.size(), " bytes, expected ",
                            cur_.row_bytes() * cur_.height)};
    if (options_.keep_images) cur_.bits.assign(bits.begin(), bits.end());
    ++sheets_done_;
    state_ = State::kBetweenSheets;
    result_.sheets.push_back(cur_);
    if (options_.on_sheet && !options_.on_sheet(result_.sheets.back(), bits)) stopped_ = true;
  }

 private:
  std::span<const uint8_t> data_;
  const Options& options_;
  Result& result_;
  std::size_t pos_ = 0;
  std::size_t chunk_ = 0;    // number of the chunk being read, 0 outside the chunks
  int ctx_sheet_ = 0;        // sheet of the chunk being read, 0 between sheets
  int sheet_number_ = 0;
  State state_ = State::kJobStart;
  int sheets_done_ = 0;
  bool pause_seen_ = false;
  bool end_doc_seen_ = false;
  bool stopped_ = false;
  Sheet cur_;
  bool complete_ = false;
  std::size_t sheet_jbig_ = 0;
  JbigDecoder decoder_;
};

}  // namespace

std::optional<uint32_t> Sheet::item(uint16_t id) const {
  for (const Item& i : items)
    if (i.id == id) return i.value;
  return std::nullopt;
}

Result parse(std::span<const uint8_t> stream, const Options& options) {
  Result result;
  result.stream_size = stream.size();
  Reader reader(stream, options, result);
  try {
    reader.run();
  } catch (const Fault& fault) {
    result.error = Error{fault.offset, reader.chunk(), reader.sheet(), fault.reason};
  } catch (const Stop&) {
    result.stopped = true;
  }
  return result;
}

}  // namespace rastrel_dump
