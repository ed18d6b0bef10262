// The completion page's picture drawn with white as the transparent colour, through MaskBlt and
// through the plain blits it falls back to.
#include <gtest/gtest.h>

#include <cstdint>

#include "TransparentImage.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/gdi.h"

namespace {

constexpr int kWidth = 8, kHeight = 4;

// A top-down 32-bit DIB section in a memory DC of its own, its pixels reachable as 0x00RRGGBB.
struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* pixels = nullptr;
    explicit Surface(uint32_t (*colour)(int x, int y)) {
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = kWidth;
        header.biHeight = -kHeight;
        header.biPlanes = 1;
        header.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        old = SelectObject(dc, bitmap);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) pixels[y * kWidth + x] = colour(x, y);
    }
    ~Surface() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint32_t at(int x, int y) const { return pixels[y * kWidth + x] & 0xFFFFFF; }
};

uint32_t stripes(int x, int) { return x % 2 ? 0x0000FF : 0xFF0000; }
uint32_t whiteThenBlack(int x, int) { return x < kWidth / 2 ? 0xFFFFFF : 0x000000; }

TEST(TransparentImage, WhiteShowsTheBackgroundAndBlackIsCopiedOnBothPaths) {
    platform::testing::Machine machine;
    for (bool maskBltFails : {false, true}) {
        SCOPED_TRACE(maskBltFails ? "composed by hand" : "MaskBlt");
        Surface screen(stripes), picture(whiteThenBlack);
        // The picture's bitmap may not stay selected elsewhere while it is drawn.
        SelectObject(picture.dc, picture.old);
        if (maskBltFails) platform::setFault("MaskBlt", {});
        ASSERT_TRUE(DrawTransparentBitmap(screen.dc, picture.bitmap, kWidth, kHeight));
        EXPECT_EQ(platform::callCount("MaskBlt"), 1);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                EXPECT_EQ(screen.at(x, y), x < kWidth / 2 ? stripes(x, y) : 0u) << x << "," << y;
        picture.old = SelectObject(picture.dc, picture.bitmap);
        platform::clearFaults();
    }
}

}  // namespace
