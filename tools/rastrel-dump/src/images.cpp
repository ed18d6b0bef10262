#include "rastrel_dump/images.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace rastrel_dump {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool fail(std::string* why, const std::string& path, const std::string& what) {
  if (why) *why = path + ": " + what;
  return false;
}

bool write_all(std::FILE* f, const void* data, std::size_t n) {
  return n == 0 || std::fwrite(data, 1, n, f) == n;
}

bool write_netpbm(std::FILE* f, const Sheet& sheet, std::span<const uint8_t> bits) {
  const std::size_t row = sheet.row_bytes();
  if (sheet.bits_per_pixel == 1) {
    // PBM and JBIG agree: 1 = black, rows padded to whole bytes, first pixel in bit 7.
    if (std::fprintf(f, "P4\n%u %u\n", unsigned(sheet.width_pixels), unsigned(sheet.height)) < 0)
      return false;
    return write_all(f, bits.data(), row * sheet.height);
  }
  if (std::fprintf(f, "P5\n%u %u\n255\n", unsigned(sheet.width_pixels), unsigned(sheet.height)) < 0)
    return false;
  for (uint32_t y = 0; y < sheet.height; ++y) {
    const std::vector<uint8_t> grey = grey_row(bits.subspan(y * row, row), sheet.width_pixels);
    if (!write_all(f, grey.data(), grey.size())) return false;
  }
  return true;
}

struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t> row;  // lives here, in memory, across the setjmp
  ~PngWriter() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

void png_error_fn(png_structp png, png_const_charp message) {
  auto* why = static_cast<std::string*>(png_get_error_ptr(png));
  if (why) *why = message;
  png_longjmp(png, 1);
}

void png_warning_fn(png_structp, png_const_charp) {}

// libpng reports errors by longjmp back to here; no object with a destructor is made between the
// setjmp and the libpng calls.
bool write_png(std::FILE* f, const Sheet& sheet, std::span<const uint8_t> bits,
               std::string* message) {
  PngWriter w;
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, png_error_fn, png_warning_fn);
  if (!w.png) return false;
  w.info = png_create_info_struct(w.png);
  if (!w.info) return false;
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_init_io(w.png, f);
  const bool one_bit = sheet.bits_per_pixel == 1;
  png_set_IHDR(w.png, w.info, sheet.width_pixels, sheet.height, one_bit ? 1 : 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w.png, w.info);
  const std::size_t row = sheet.row_bytes();
  for (uint32_t y = 0; y < sheet.height; ++y) {
    const std::span<const uint8_t> in = bits.subspan(y * row, row);
    if (one_bit) {
      // Grey PNG has 0 = black: the toner bits are inverted.
      w.row.assign(in.begin(), in.end());
      for (uint8_t& b : w.row) b = static_cast<uint8_t>(~b);
    } else {
      w.row = grey_row(in, sheet.width_pixels);
    }
    png_write_row(w.png, w.row.data());
  }
  png_write_end(w.png, nullptr);
  return true;
}

}  // namespace

std::string image_file_name(const std::string& prefix, const Sheet& sheet, ImageFormat format) {
  char number[16];
  std::snprintf(number, sizeof number, "-%03d", sheet.number);
  const char* extension = ".raw";
  if (format == ImageFormat::kPng) extension = ".png";
  if (format == ImageFormat::kPbm) extension = sheet.bits_per_pixel == 1 ? ".pbm" : ".pgm";
  return prefix + number + extension;
}

std::vector<uint8_t> grey_row(std::span<const uint8_t> row, uint32_t width_pixels) {
  std::vector<uint8_t> grey(width_pixels);
  for (uint32_t x = 0; x < width_pixels && x / 4 < row.size(); ++x) {
    const unsigned level = (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    grey[x] = static_cast<uint8_t>(255 - 85 * level);
  }
  return grey;
}

bool write_image(const std::string& path, const Sheet& sheet, std::span<const uint8_t> bits,
                 ImageFormat format, std::string* why) {
  if (bits.size() < sheet.row_bytes() * sheet.height)
    return fail(why, path, "image data shorter than the sheet");
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return fail(why, path, std::strerror(errno));
  bool ok = false;
  std::string message = "write failed";
  switch (format) {
    case ImageFormat::kRaw: ok = write_all(f.get(), bits.data(), sheet.row_bytes() * sheet.height); break;
    case ImageFormat::kPbm: ok = write_netpbm(f.get(), sheet, bits); break;
    case ImageFormat::kPng: ok = write_png(f.get(), sheet, bits, &message); break;
  }
  if (std::fflush(f.get()) != 0) ok = false;
  if (std::fclose(f.release()) != 0) ok = false;
  if (!ok) return fail(why, path, message);
  return true;
}

}  // namespace rastrel_dump
