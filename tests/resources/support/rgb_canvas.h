// A memory DC drawing into a top-down 32-bit DIB section, with its pixels read as 0xRRGGBB.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "win/gdi.h"

namespace resources_test {

struct RgbCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    uint32_t* bits = nullptr;
    int width = 0, height = 0;

    // Filled with `fill(x, y)`.
    RgbCanvas(int w, int h, const std::function<uint32_t(int, int)>& fill) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        EXPECT_NE(bitmap, nullptr);
        bits = static_cast<uint32_t*>(p);
        dc = CreateCompatibleDC(nullptr);
        oldBitmap = SelectObject(dc, bitmap);
        for (int i = 0; bits && i < w * h; ++i) bits[i] = fill(i % w, i / w);
    }
    ~RgbCanvas() {
        SelectObject(dc, oldBitmap);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    RgbCanvas(const RgbCanvas&) = delete;
    RgbCanvas& operator=(const RgbCanvas&) = delete;

    uint32_t at(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
    std::vector<uint32_t> pixels() const { return std::vector<uint32_t>(bits, bits + width * height); }
};

}  // namespace resources_test
