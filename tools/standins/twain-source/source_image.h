// The images of the stand-in TWAIN data source, also used by tests to know every pixel: rows of
// `BytesPerRow` (whole 32-bit words), top row first. Grey (8 bits): (4 x row + column + 8 x image)
// mod 256, or one grey for the whole image; colour (24 bits, R G B): that value, 255 less it, 40 x
// image; line art (1 bit, most significant first, 1 white): squares of 8 pixels, black where
// (row / 8 + column / 8 + image) is odd.
#pragma once

#include <cstdint>
#include <vector>

namespace twainstandin {

struct ImageShape {
    int width = 64, height = 48, bitsPerPixel = 8;
    int grey = -1;  // one grey for every pixel, when 0 to 255
    uint32_t bytesPerRow() const { return ((static_cast<uint32_t>(bitsPerPixel) * width + 31) / 32) * 4; }
};

inline uint8_t patternValue(int row, int column, int image) { return static_cast<uint8_t>(4 * row + column + 8 * image); }

// One row of image `image` (from 0).
inline std::vector<uint8_t> imageRow(const ImageShape& shape, int image, int row) {
    std::vector<uint8_t> bytes(shape.bytesPerRow(), 0);
    for (int x = 0; x < shape.width; ++x) {
        const uint8_t v = shape.grey >= 0 ? static_cast<uint8_t>(shape.grey) : patternValue(row, x, image);
        if (shape.bitsPerPixel == 8) {
            bytes[x] = v;
        } else if (shape.bitsPerPixel == 24) {
            bytes[3 * x] = v;
            bytes[3 * x + 1] = static_cast<uint8_t>(255 - v);
            bytes[3 * x + 2] = static_cast<uint8_t>(40 * image);
        } else if (shape.bitsPerPixel == 1) {
            const bool black = shape.grey >= 0 ? shape.grey < 128 : ((row / 8 + x / 8 + image) & 1) != 0;
            if (!black) bytes[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return bytes;
}

}  // namespace twainstandin
