// Small Windows bitmap files for the GDI+ tests, and streams that hold them.
#pragma once

#include <cstdint>
#include <string>

#include "win/com.h"

namespace bitmap_files {

// A BMP file of the size and depth (1, 8, 24 or 32 bits; grey palette below 24), top-down unless
// `bottomUp`, with the pixels per metre given; pixel (x, y) has the value (x * 3 + y * 5) & 0xFF in
// every channel (bit 0 of it for 1 bit).
inline std::string Make(int width, int height, int bits, int32_t pixelsPerMetre = 11811, bool bottomUp = false) {
    auto put = [](std::string& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const int entries = bits <= 8 ? 1 << bits : 0;
    const uint32_t stride = ((bits * width + 31) / 32) * 4;
    const uint32_t offBits = 54 + 4 * entries;
    std::string out = "BM";
    put(out, offBits + stride * height, 4);
    put(out, 0, 4);
    put(out, offBits, 4);
    put(out, 40, 4);
    put(out, static_cast<uint32_t>(width), 4);
    put(out, static_cast<uint32_t>(bottomUp ? height : -height), 4);
    put(out, 1, 2);
    put(out, static_cast<uint32_t>(bits), 2);
    put(out, 0, 4);
    put(out, stride * height, 4);
    put(out, static_cast<uint32_t>(pixelsPerMetre), 4);
    put(out, static_cast<uint32_t>(pixelsPerMetre), 4);
    put(out, static_cast<uint32_t>(entries), 4);
    put(out, 0, 4);
    for (int i = 0; i < entries; ++i) {
        uint32_t v = static_cast<uint32_t>(i * 255 / (entries - 1));
        put(out, v | v << 8 | v << 16, 4);
    }
    for (int row = 0; row < height; ++row) {
        int y = bottomUp ? height - 1 - row : row;
        std::string line(stride, '\0');
        for (int x = 0; x < width; ++x) {
            uint8_t v = static_cast<uint8_t>((x * 3 + y * 5) & 0xFF);
            if (bits == 1) {
                if (v & 1) line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
            } else {
                for (int c = 0; c < bits / 8; ++c) line[x * (bits / 8) + c] = static_cast<char>(v);
            }
        }
        out += line;
    }
    return out;
}

// A stream over a copy of the bytes; the caller releases it.
inline IStream* Stream(const std::string& bytes) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    return stream;
}

}  // namespace bitmap_files
