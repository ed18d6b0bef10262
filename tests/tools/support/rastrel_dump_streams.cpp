#include "rastrel_dump_streams.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <unistd.h>

extern "C" {
#include <jbig.h>
}

namespace rastrel_dump_test {

Bytes from_hex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  if (digits.size() % 2) throw std::invalid_argument("odd number of hex digits");
  for (std::size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

void put16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void put32(Bytes& out, uint32_t v) {
  put16(out, static_cast<uint16_t>(v >> 16));
  put16(out, static_cast<uint16_t>(v));
}

void set32(Bytes& out, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes chunk(uint32_t type, const std::vector<std::pair<uint16_t, uint32_t>>& items,
            const Bytes& payload) {
  Bytes out;
  put32(out, static_cast<uint32_t>(16 + 12 * items.size() + payload.size()));
  put32(out, type);
  put32(out, static_cast<uint32_t>(items.size()));
  put16(out, static_cast<uint16_t>(12 * items.size()));
  put16(out, 0x5A5A);
  for (const auto& [id, value] : items) {
    put32(out, 12);
    put16(out, id);
    out.push_back(1);
    out.push_back(0);
    put32(out, value);
  }
  append(out, payload);
  return out;
}

namespace {
void collect(unsigned char* data, size_t n, void* sink) {
  static_cast<Bytes*>(sink)->insert(static_cast<Bytes*>(sink)->end(), data, data + n);
}
}  // namespace

Bytes jbig_stripes(const Bytes& bits, uint32_t width_bits, uint32_t height) {
  Bytes image = bits;  // the encoder wants a writable plane
  image.resize(std::size_t(width_bits + 7) / 8 * height);
  unsigned char* planes[1] = {image.data()};
  Bytes out;
  jbg_enc_state state;
  jbg_enc_init(&state, width_bits, height, 1, planes, collect, &out);
  jbg_enc_layers(&state, 0);
  jbg_enc_lrange(&state, 0, -1);
  jbg_enc_options(&state, JBG_ILEAVE | JBG_SMID, JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON,
                  128, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  // The encoder's own BIH must be the one the stream carries; it is not part of the data.
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), bih(width_bits, height));
  return Bytes(out.begin() + 20, out.end());
}

Bytes bih(uint32_t xd, uint32_t yd) {
  Bytes out = {0, 0, 1, 0};
  put32(out, xd);
  put32(out, yd);
  put32(out, 128);
  append(out, {0, 0, 3, 0x5C});
  return out;
}

std::vector<Bytes> bid_pieces(const Bytes& jbig) {
  std::vector<Bytes> pieces;
  std::size_t at = 0;
  for (; jbig.size() - at >= 65536; at += 65536)
    pieces.emplace_back(jbig.begin() + at, jbig.begin() + at + 65536);
  const std::size_t rest = jbig.size() - at;
  if (rest) {
    Bytes last(jbig.begin() + at, jbig.end());
    last.resize(rest - rest % 32 + 32, 0);
    pieces.push_back(std::move(last));
  }
  return pieces;
}

Bytes sheet_chunks(const TestSheet& s) {
  const uint32_t width_bits = s.width_pixels * s.bits_per_pixel;
  std::vector<std::pair<uint16_t, uint32_t>> items = {
      {4, 1},   {6, 0},  {3, s.paper}, {7, 1}, {12, width_bits}, {13, s.height}, {8, 600}, {9, 600},
      {22, 1},  {5, 0},  {17, s.width_pixels}, {18, s.height}, {16, s.bits_per_pixel}};
  if (s.paper == 0) {
    items.push_back({24, width_bits + 118});
    items.push_back({25, s.height + 118});
    items.push_back({26, 0});
  }
  items.push_back({0xFF00, 4});
  Bytes out = chunk(2, items);
  append(out, chunk(4, {}, bih(width_bits, s.height)));
  const Bytes jbig = s.jbig.empty() ? jbig_stripes(s.bits, width_bits, s.height) : s.jbig;
  for (const Bytes& piece : bid_pieces(jbig)) append(out, chunk(5, {}, piece));
  append(out, chunk(6, {}));
  append(out, chunk(3, {}));
  return out;
}

Bytes job(const std::vector<TestSheet>& sheets, int pause_before) {
  const Bytes uel = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
  Bytes out = uel;
  append(out, {'J', 'Z', 'J', 'Z'});
  Bytes table;
  for (uint16_t v : {0, 81, 115, 110, 150, 122, 100, 150, 200, 100, 81, 100, 100, 100, 100, 100,
                     100, 100, 100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150,
                     190, 350, 400, 100, 100})
    put16(table, v);
  append(out, chunk(0x11, {}, table));
  append(out, chunk(0, {{1, 0}, {2, 1}}));
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (pause_before == int(i) + 1) append(out, chunk(0x0B, {}));
    append(out, sheet_chunks(sheets[i]));
  }
  append(out, chunk(1, {}));
  append(out, uel);
  return out;
}

Bytes noise(std::size_t bytes, unsigned salt, int percent) {
  std::mt19937 random(salt);
  std::uniform_int_distribution<int> hundred(0, 99);
  Bytes out(bytes, 0);
  for (uint8_t& b : out)
    for (int bit = 0; bit < 8; ++bit)
      if (hundred(random) < percent) b = static_cast<uint8_t>(b | 1u << bit);
  return out;
}

TestSheet sheet_with_jbig_size(std::size_t target, uint32_t width_pixels) {
  const std::size_t row = width_pixels / 8;
  // Noise at 50% costs about one byte of output per byte of image: the first k bytes are noise,
  // the rest blank. Search k, then try the k around it; where the length jumps over the target,
  // try other noise.
  const uint32_t height = static_cast<uint32_t>((target + target / 2) / row + 128);
  const std::size_t size = row * height;
  for (unsigned salt = 1; salt < 50; ++salt) {
    const Bytes source = noise(size, salt);
    auto image = [&](std::size_t k) {
      Bytes bits(size, 0);
      std::copy(source.begin(), source.begin() + std::ptrdiff_t(k), bits.begin());
      return bits;
    };
    std::size_t lo = 0, hi = size;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (jbig_stripes(image(mid), width_pixels, height).size() < target) lo = mid + 1; else hi = mid;
    }
    for (std::size_t k = lo > 8 ? lo - 8 : 0; k <= lo + 8 && k < size; ++k) {
      Bytes bits = image(k);
      Bytes jbig = jbig_stripes(bits, width_pixels, height);
      if (jbig.size() == target) return TestSheet{width_pixels, height, 1, 9, bits, jbig};
    }
  }
  ADD_FAILURE() << "no image found whose encoded size is " << target;
  return {};
}

std::string temp_folder(const std::string& name) {
  const auto info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("rastrel-dump-" + name + "-" + std::to_string(::getpid()));
  if (info) path += std::string("-") + info->name();
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path.string();
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

}  // namespace rastrel_dump_test
