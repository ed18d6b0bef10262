// A memory DC drawing into a white 8-bit grey DIB section, and what the GDI tests read off it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "win/gdi.h"

namespace gdi_test {

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    BYTE* bits = nullptr;
    int width = 0, height = 0, stride = 0;

    // A top-down (or bottom-up) 8-bit DIB with the grey table, filled white.
    Canvas(int w, int h, bool topDown = true) : width(w), height(h), stride((w + 3) & ~3) {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = w;
        header.biHeight = topDown ? -h : h;
        header.biPlanes = 1;
        header.biBitCount = 8;
        void* p = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<BYTE*>(p);
        oldBitmap = SelectObject(dc, bitmap);
        BitBlt(dc, 0, 0, w, h, nullptr, 0, 0, WHITENESS);
        topDown_ = topDown;
    }
    ~Canvas() {
        if (dc) {
            SelectObject(dc, oldBitmap);
            DeleteDC(dc);
        }
        if (bitmap) DeleteObject(bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    BYTE at(int x, int y) const { return bits[static_cast<size_t>(topDown_ ? y : height - 1 - y) * stride + x]; }
    void clear() { BitBlt(dc, 0, 0, width, height, nullptr, 0, 0, WHITENESS); }
    // Top-down rows of the picture.
    std::vector<BYTE> picture() const {
        std::vector<BYTE> out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.push_back(at(x, y));
        return out;
    }

    struct Ink {
        long count = 0;
        RECT box{0, 0, 0, 0};  // right and bottom exclusive
        double cx = 0, cy = 0;  // centroid
        double angle = 0;       // of the long axis, degrees counter-clockwise on the page, [0, 180)
    };
    // Pixels other than white.
    Ink ink() const {
        Ink r;
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if (at(x, y) == 255) continue;
                if (r.count == 0) r.box = RECT{x, y, x + 1, y + 1};
                r.box.left = std::min<LONG>(r.box.left, x);
                r.box.top = std::min<LONG>(r.box.top, y);
                r.box.right = std::max<LONG>(r.box.right, x + 1);
                r.box.bottom = std::max<LONG>(r.box.bottom, y + 1);
                ++r.count;
                sx += x;
                sy += y;
                sxx += double(x) * x;
                syy += double(y) * y;
                sxy += double(x) * y;
            }
        if (r.count == 0) return r;
        r.cx = sx / r.count;
        r.cy = sy / r.count;
        double vxx = sxx / r.count - r.cx * r.cx, vyy = syy / r.count - r.cy * r.cy;
        double vxy = sxy / r.count - r.cx * r.cy;
        // The y axis points down: negate it to get counter-clockwise angles.
        double a = 0.5 * std::atan2(-2 * vxy, vxx - vyy) * 180 / 3.14159265358979;
        r.angle = a < 0 ? a + 180 : a;
        return r;
    }

private:
    bool topDown_ = true;
};

inline LOGFONTW logfont(const std::u16string& face, LONG height, LONG escapement = 0, LONG weight = 0) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfEscapement = lf.lfOrientation = escapement;
    lf.lfWeight = weight;
    std::memcpy(lf.lfFaceName, face.c_str(), std::min<size_t>(face.size(), 31) * sizeof(WCHAR));
    return lf;
}

}  // namespace gdi_test
