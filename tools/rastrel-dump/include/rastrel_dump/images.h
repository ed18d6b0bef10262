// Writing a decoded sheet to a file: PBM/PGM, PNG or the raw packed bits.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rastrel_dump/stream.h"

namespace rastrel_dump {

enum class ImageFormat {
  kPbm,  // 1-bit sheets: PBM (P4); 2-bit sheets: PGM (P5)
  kPng,  // 1-bit sheets: 1-bit grey PNG; 2-bit sheets: 8-bit grey PNG
  kRaw,  // the decoded rows as they are
};

// "<prefix>-001.pbm": three digits at least, the extension by format and bits per pixel
// (.pbm, .pgm, .png, .raw).
std::string image_file_name(const std::string& prefix, const Sheet& sheet, ImageFormat format);

// One row of a 2-bit sheet as 8-bit grey, one byte a pixel: 255 - 85 x level.
std::vector<uint8_t> grey_row(std::span<const uint8_t> row, uint32_t width_pixels);

// Writes the sheet's bit-image (sheet.height rows of sheet.row_bytes() bytes). On failure returns
// false and says why in *why.
bool write_image(const std::string& path, const Sheet& sheet, std::span<const uint8_t> bits,
                 ImageFormat format, std::string* why);

}  // namespace rastrel_dump
