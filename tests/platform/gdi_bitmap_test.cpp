// Bitmaps and DIB sections, and moving pixels into them: BitBlt, StretchDIBits, SetPixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/fonts.h"
#include "platform/testing/machine.h"
#include "support/gdi_canvas.h"
#include "win/gdi.h"

namespace {

using gdi_test::Canvas;
using platform::testing::Machine;

class Bitmaps : public ::testing::Test {
protected:
    Machine machine;
};

BITMAPINFOHEADER header(LONG width, LONG height, WORD bits) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    return h;
}

TEST_F(Bitmaps, EightBitDibFromAHeaderOnlyGetsTheGreyTable) {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFOHEADER h = header(300, -2, 8);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(bits, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* bytes = static_cast<BYTE*>(bits);
    EXPECT_EQ(bytes[0], 0);  // zero-filled
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<BYTE>(i);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(GetPixel(dc, i, 0), RGB(i, i, i)) << i;
    // Colours are matched to the nearest grey.
    EXPECT_EQ(SetPixel(dc, 0, 1, RGB(100, 110, 90)), RGB(100, 100, 100));
    EXPECT_EQ(bytes[300 + 0], 100);  // row 1 of a top-down DIB, rows of 300 bytes
    EXPECT_EQ(SetPixel(dc, 1, 1, DIBINDEX(7)), RGB(7, 7, 7));

    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 300);
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 300);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 8);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biHeight, -2);
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(GetObjectW(bitmap, 4, &bm), 0);

    // A bitmap is in one DC at a time, and cannot be deleted while it is.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    SelectObject(dc, old);
    EXPECT_NE(SelectObject(other, GetCurrentObject(other, OBJ_BITMAP)), nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    DeleteDC(other);
    DeleteDC(dc);
    EXPECT_EQ(platform::fonts::liveGdiObjects(), 0u);
}

TEST_F(Bitmaps, DibSectionsOfEachDepthAndAGivenColourTable) {
    struct Case {
        WORD bits;
        LONG stride;  // for a width of 5
    };
    for (const Case& c : {Case{1, 4}, Case{4, 4}, Case{8, 8}, Case{16, 12}, Case{24, 16}, Case{32, 20}}) {
        SCOPED_TRACE(c.bits);
        BITMAPINFOHEADER h = header(5, 3, c.bits);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        BITMAP bm{};
        GetObjectW(bitmap, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidthBytes, c.stride);
        HDC dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, bitmap);
        EXPECT_EQ(SetPixel(dc, 4, 2, RGB(255, 255, 255)), RGB(255, 255, 255));
        EXPECT_EQ(GetPixel(dc, 4, 2), RGB(255, 255, 255));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, 5, 0), CLR_INVALID);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    // With biClrUsed the table given is used.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } info{header(4, 1, 8), {{0, 0, 255, 0}, {255, 0, 0, 0}}};
    info.h.biClrUsed = 2;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bitmap);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(SetPixel(dc, 1, 0, RGB(0, 0, 200)), RGB(0, 0, 255));
    DeleteDC(dc);
    DeleteObject(bitmap);
}

TEST_F(Bitmaps, BadDibHeadersAreRefused) {
    struct Case {
        const char* name;
        BITMAPINFOHEADER h;
        UINT usage;
    };
    auto with = [](BITMAPINFOHEADER h, auto change) {
        change(h);
        return h;
    };
    BITMAPINFOHEADER good = header(10, 10, 8);
    const Case cases[] = {
        {"zero width", header(0, 10, 8), DIB_RGB_COLORS},
        {"negative width", header(-5, 10, 8), DIB_RGB_COLORS},
        {"zero height", header(10, 0, 8), DIB_RGB_COLORS},
        {"odd depth", header(10, 10, 7), DIB_RGB_COLORS},
        {"two planes", with(good, [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }), DIB_RGB_COLORS},
        {"small header", with(good, [](BITMAPINFOHEADER& h) { h.biSize = 20; }), DIB_RGB_COLORS},
        {"RLE", with(good, [](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE8; }), DIB_RGB_COLORS},
        {"bit fields of 8 bits", with(good, [](BITMAPINFOHEADER& h) { h.biCompression = BI_BITFIELDS; }),
         DIB_RGB_COLORS},
        {"palette colours", good, DIB_PAL_COLORS},
        {"huge", header(1 << 17, 1 << 17, 32), DIB_RGB_COLORS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct {
            BITMAPINFOHEADER h;
            DWORD rest[256];
        } info{c.h, {}};
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), c.usage, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        BYTE pixels[64] = {};
        EXPECT_EQ(StretchDIBits(dc, 0, 0, 1, 1, 0, 0, 1, 1, pixels, reinterpret_cast<BITMAPINFO*>(&info), c.usage,
                                SRCCOPY),
                  static_cast<int>(GDI_ERROR));
        DeleteDC(dc);
    }
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
    platform::setFault("CreateDIBSection", platform::Fault());
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&good), DIB_RGB_COLORS, nullptr, nullptr, 0),
              nullptr);
}

// A 24-bit BMP file of a picture with distinct pixels, rows stored bottom-up or top-down.
std::vector<BYTE> bmpFile(int w, int h, bool topDown) {
    int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info = header(w, topDown ? -h : h, 24);
    std::vector<BYTE> bytes(sizeof file + sizeof info + static_cast<size_t>(stride) * h);
    file.bfType = 0x4D42;
    file.bfSize = static_cast<DWORD>(bytes.size());
    file.bfOffBits = sizeof file + sizeof info;
    std::memcpy(bytes.data(), &file, sizeof file);
    std::memcpy(bytes.data() + sizeof file, &info, sizeof info);
    for (int y = 0; y < h; ++y) {
        int stored = topDown ? y : h - 1 - y;
        BYTE* row = bytes.data() + file.bfOffBits + static_cast<size_t>(stored) * stride;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<BYTE>(x * 20);       // blue
            row[3 * x + 1] = static_cast<BYTE>(y * 30);   // green
            row[3 * x + 2] = static_cast<BYTE>(x + y);    // red
        }
    }
    return bytes;
}

// A 24-bit top-down target of w x h, as the image watermark makes it.
struct Target24 {
    HDC dc;
    HBITMAP bitmap;
    BYTE* bits;
    int stride;
    Target24(int w, int h) : dc(CreateCompatibleDC(nullptr)), stride((w * 3 + 3) & ~3) {
        BITMAPINFOHEADER hd = header(w, -h, 24);
        void* p = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&hd), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<BYTE*>(p);
        SelectObject(dc, bitmap);
    }
    ~Target24() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF at(int x, int y) const {
        const BYTE* p = bits + static_cast<size_t>(y) * stride + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
};

TEST_F(Bitmaps, StretchDibitsPlacesTopDownAndBottomUpBmpsAlike) {
    const int w = 7, h = 5;
    for (auto [tw, th] : {std::pair{7, 5}, std::pair{14, 15}, std::pair{3, 2}}) {
        SCOPED_TRACE(std::to_string(tw) + "x" + std::to_string(th));
        std::vector<std::vector<COLORREF>> pictures;
        for (bool topDown : {false, true}) {
            std::vector<BYTE> file = bmpFile(w, h, topDown);
            Target24 target(tw, th);
            DWORD offset;
            std::memcpy(&offset, file.data() + 10, 4);
            int rows = StretchDIBits(target.dc, 0, 0, tw, th, 0, 0, w, h, file.data() + offset,
                                     reinterpret_cast<BITMAPINFO*>(file.data() + 14), DIB_RGB_COLORS, SRCCOPY);
            EXPECT_EQ(rows, h);
            std::vector<COLORREF> picture;
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x) picture.push_back(target.at(x, y));
            pictures.push_back(picture);
        }
        EXPECT_EQ(pictures[0], pictures[1]);
        // Nearest pixel: upright, and when enlarging the target's corners are the source's corners.
        // Shrinking samples pixel centres: 7 -> 3 columns takes 1, 3, 5; 5 -> 2 rows takes 1, 3.
        EXPECT_EQ(pictures[0].front(), tw >= w ? RGB(0, 0, 0) : RGB(2, 30, 20));
        if (tw >= w) {
            EXPECT_EQ(pictures[0].back(), RGB((w - 1) + (h - 1), (h - 1) * 30, (w - 1) * 20));
        }
        if (tw == 14) {
            EXPECT_EQ(pictures[0][1], pictures[0][0]);  // doubled columns
        }
    }
}

TEST_F(Bitmaps, StretchDibitsReadsEachSourceDepthAndHeader) {
    // The same 4 x 2 picture: top row black, white, grey 128, white; bottom row white, black, black, grey 128.
    const COLORREF want[2][4] = {{RGB(0, 0, 0), RGB(255, 255, 255), RGB(128, 128, 128), RGB(255, 255, 255)},
                                 {RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 0, 0), RGB(128, 128, 128)}};
    struct Source {
        const char* name;
        std::vector<BYTE> info;  // header and colour table
        std::vector<BYTE> bits;  // bottom-up rows unless the header says otherwise
    };
    auto infoOf = [](BITMAPINFOHEADER h, std::vector<RGBQUAD> table) {
        const BYTE* head = reinterpret_cast<const BYTE*>(&h);
        std::vector<BYTE> out(head, head + sizeof h);
        for (const RGBQUAD& q : table) out.insert(out.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, q.rgbReserved});
        return out;
    };
    std::vector<RGBQUAD> bw = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::vector<RGBQUAD> grey16(16), grey256(256);
    grey16[0] = {0, 0, 0, 0};
    grey16[1] = {255, 255, 255, 0};
    grey16[2] = {128, 128, 128, 0};
    for (int i = 0; i < 256; ++i) grey256[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    BITMAPCOREHEADER core{sizeof(BITMAPCOREHEADER), 4, 2, 1, 8};
    std::vector<BYTE> coreInfo(sizeof core + 256 * 3);
    std::memcpy(coreInfo.data(), &core, sizeof core);
    for (int i = 0; i < 256; ++i) std::memset(coreInfo.data() + sizeof core + 3 * i, i, 3);
    auto h4 = header(4, 2, 4);
    h4.biClrUsed = 3;
    auto h32top = header(4, -2, 32);
    auto px32 = [](BYTE v) { return std::vector<BYTE>{v, v, v, 0}; };
    std::vector<BYTE> bits32;
    for (BYTE v : {0, 255, 128, 255, 255, 0, 0, 128})
        for (BYTE b : px32(v)) bits32.push_back(b);
    const Source sources[] = {
        // 1 bit: grey 128 is not there, so those pixels are given as white (1) and checked below.
        {"1 bit", infoOf(header(4, 2, 1), bw), {0b10010000, 0, 0, 0, 0b01110000, 0, 0, 0}},
        {"4 bits, 3 colours", infoOf(h4, {grey16[0], grey16[1], grey16[2]}), {0x10, 0x02, 0, 0, 0x01, 0x21, 0, 0}},
        {"8 bits", infoOf(header(4, 2, 8), grey256), {255, 0, 0, 128, 0, 255, 128, 255}},
        {"8 bits, core header", coreInfo, {255, 0, 0, 128, 0, 255, 128, 255}},
        {"32 bits, top-down", infoOf(h32top, {}), bits32},
    };
    for (const Source& s : sources) {
        SCOPED_TRACE(s.name);
        Target24 target(4, 2);
        ASSERT_EQ(StretchDIBits(target.dc, 0, 0, 4, 2, 0, 0, 4, 2, s.bits.data(),
                                reinterpret_cast<const BITMAPINFO*>(s.info.data()), DIB_RGB_COLORS, SRCCOPY),
                  2);
        bool oneBit = std::string(s.name) == "1 bit";
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                COLORREF expect = want[y][x];
                if (oneBit && expect == RGB(128, 128, 128)) expect = RGB(255, 255, 255);
                EXPECT_EQ(target.at(x, y), expect) << x << "," << y;
            }
    }
    // A source rectangle counts from the lower-left corner of a bottom-up DIB: row 0 is the bottom row.
    Target24 target(4, 1);
    const Source& eight = sources[2];
    EXPECT_EQ(StretchDIBits(target.dc, 0, 0, 4, 1, 0, 0, 4, 1, eight.bits.data(),
                            reinterpret_cast<const BITMAPINFO*>(eight.info.data()), DIB_RGB_COLORS, SRCCOPY),
              1);
    EXPECT_EQ(target.at(1, 0), RGB(0, 0, 0));
    EXPECT_EQ(target.at(0, 0), RGB(255, 255, 255));
    // No bits, no DC, a DC without a bitmap of its own to draw on.
    EXPECT_EQ(StretchDIBits(target.dc, 0, 0, 4, 1, 0, 0, 4, 1, nullptr,
                            reinterpret_cast<const BITMAPINFO*>(eight.info.data()), DIB_RGB_COLORS, SRCCOPY),
              static_cast<int>(GDI_ERROR));
    EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 4, 1, 0, 0, 4, 1, eight.bits.data(),
                            reinterpret_cast<const BITMAPINFO*>(eight.info.data()), DIB_RGB_COLORS, SRCCOPY),
              static_cast<int>(GDI_ERROR));
    // biSizeImage smaller than the rows it describes.
    std::vector<BYTE> lying = eight.info;
    reinterpret_cast<BITMAPINFOHEADER*>(lying.data())->biSizeImage = 4;
    EXPECT_EQ(StretchDIBits(target.dc, 0, 0, 4, 1, 0, 0, 4, 1, eight.bits.data(),
                            reinterpret_cast<const BITMAPINFO*>(lying.data()), DIB_RGB_COLORS, SRCCOPY),
              static_cast<int>(GDI_ERROR));
}

TEST_F(Bitmaps, StretchDibitsClipsToTheTargetAndMirrorsNegativeExtents) {
    std::vector<BYTE> file = bmpFile(4, 4, false);
    const BYTE* bits = file.data() + 54;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + 14);
    Target24 target(4, 4);
    // Far outside: nothing is written, no harm done.
    EXPECT_GE(StretchDIBits(target.dc, -100000, 50000, 4, 4, 0, 0, 4, 4, bits, info, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(target.at(0, 0), RGB(0, 0, 0));
    // Partly off the left edge.
    ASSERT_EQ(StretchDIBits(target.dc, -2, 0, 4, 4, 0, 0, 4, 4, bits, info, DIB_RGB_COLORS, SRCCOPY), 4);
    EXPECT_EQ(target.at(0, 0), RGB(2, 0, 40));
    EXPECT_EQ(target.at(1, 3), RGB(6, 90, 60));
    // Mirrored left to right: the target is the columns from 4 + (-4) up to 4.
    ASSERT_EQ(StretchDIBits(target.dc, 4, 0, -4, 4, 0, 0, 4, 4, bits, info, DIB_RGB_COLORS, SRCCOPY), 4);
    EXPECT_EQ(target.at(0, 0), RGB(3, 0, 60));
    EXPECT_EQ(target.at(3, 0), RGB(0, 0, 0));
}

TEST_F(Bitmaps, BitBltFillsAndCopiesBetweenMemoryDcs) {
    Canvas grey(8, 4);
    EXPECT_EQ(grey.at(0, 0), 255);  // WHITENESS
    ASSERT_TRUE(BitBlt(grey.dc, 2, 1, 3, 2, nullptr, 0, 0, BLACKNESS));
    EXPECT_EQ(grey.at(2, 1), 0);
    EXPECT_EQ(grey.at(4, 2), 0);
    EXPECT_EQ(grey.at(5, 2), 255);
    EXPECT_EQ(grey.at(2, 3), 255);
    grey.bits[0] = 77;

    // Into a bottom-up 8-bit DIB: byte for byte, rows where they belong.
    Canvas other(8, 4, false);
    ASSERT_TRUE(BitBlt(other.dc, 0, 0, 8, 4, grey.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(other.picture(), grey.picture());
    // Offset source, partly outside the target.
    other.clear();
    ASSERT_TRUE(BitBlt(other.dc, 6, 0, 8, 4, grey.dc, 2, 1, SRCCOPY));
    EXPECT_EQ(other.at(6, 0), 0);
    EXPECT_EQ(other.at(7, 1), 0);
    EXPECT_EQ(other.at(7, 2), 255);
    // Into 24 bits and back through colours; into the 1-bit stock bitmap of a plain memory DC.
    Target24 colour(8, 4);
    ASSERT_TRUE(BitBlt(colour.dc, 0, 0, 8, 4, grey.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(colour.at(0, 0), RGB(77, 77, 77));
    EXPECT_EQ(colour.at(2, 1), RGB(0, 0, 0));
    other.clear();
    ASSERT_TRUE(BitBlt(other.dc, 0, 0, 8, 4, colour.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(other.picture(), grey.picture());
    ASSERT_TRUE(BitBlt(other.dc, 0, 0, 8, 4, other.dc, 0, 0, DSTINVERT));
    EXPECT_EQ(other.at(0, 0), 255 - 77);
    // Brushes: PATCOPY with a solid grey.
    HBRUSH brush = CreateSolidBrush(RGB(200, 200, 200));
    HGDIOBJ oldBrush = SelectObject(other.dc, brush);
    ASSERT_TRUE(PatBlt(other.dc, 0, 0, 2, 2, PATCOPY));
    EXPECT_EQ(other.at(1, 1), 200);
    SelectObject(other.dc, oldBrush);
    DeleteObject(brush);
    // A source ROP needs a source DC; a printer-less DC without a bitmap to draw on fails.
    EXPECT_FALSE(BitBlt(other.dc, 0, 0, 8, 4, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(nullptr, 0, 0, 8, 4, nullptr, 0, 0, WHITENESS));
    platform::setFault("BitBlt", platform::Fault());
    EXPECT_FALSE(BitBlt(other.dc, 0, 0, 8, 4, nullptr, 0, 0, WHITENESS));
}

TEST_F(Bitmaps, MonochromeBitmapsTakeTheDcColours) {
    BYTE bits[4] = {0xA0, 0, 0x50, 0};  // 1010 / 0101 in WORD-aligned rows, most significant bit first
    HBITMAP mono = CreateBitmap(4, 2, 1, 1, bits);
    ASSERT_NE(mono, nullptr);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, mono);
    Target24 target(4, 2);
    SetTextColor(target.dc, RGB(10, 20, 30));  // for 0 bits
    SetBkColor(target.dc, RGB(200, 210, 220));  // for 1 bits
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 4, 2, source, 0, 0, SRCCOPY));
    EXPECT_EQ(target.at(0, 0), RGB(200, 210, 220));
    EXPECT_EQ(target.at(1, 0), RGB(10, 20, 30));
    EXPECT_EQ(target.at(1, 1), RGB(200, 210, 220));
    // Colour to monochrome: the source's background colour becomes 1 (white), all else 0.
    SetBkColor(target.dc, RGB(10, 20, 30));
    ASSERT_TRUE(BitBlt(source, 0, 0, 4, 2, target.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(source, 1, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(source, 0, 0), RGB(0, 0, 0));
    SelectObject(source, old);
    DeleteObject(mono);
    DeleteDC(source);
}

}  // namespace

namespace {

TEST_F(Bitmaps, MaskBltTakesTheForegroundRopWhereTheMaskIsSetAndTheBackgroundOneElsewhere) {
    Canvas target(4, 1), source(4, 1);
    const BYTE maskBits[2] = {0xA0, 0};  // 1 0 1 0
    HBITMAP mask = CreateBitmap(4, 1, 1, 1, maskBits);
    ASSERT_NE(mask, nullptr);
    struct Case {
        DWORD rop4;
        bool withMask;
        std::vector<BYTE> picture;
    };
    const Case cases[] = {
        {0xAACC0020, true, {0x80, 0x40, 0x80, 0x40}},   // copy where set, keep elsewhere
        {0xCCAA0020, true, {0x40, 0x80, 0x40, 0x80}},   // keep where set, copy elsewhere
        {0xAACC0020, false, {0x80, 0x80, 0x80, 0x80}},  // no mask: the foreground ROP alone
    };
    for (const Case& c : cases) {
        std::memset(target.bits, 0x40, 4);
        std::memset(source.bits, 0x80, 4);
        EXPECT_TRUE(MaskBlt(target.dc, 0, 0, 4, 1, source.dc, 0, 0, c.withMask ? mask : nullptr, 0, 0, c.rop4));
        EXPECT_EQ(target.picture(), c.picture) << std::hex << c.rop4 << " " << c.withMask;
    }
    // A mask of more than one bit, and the fault switch.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(MaskBlt(target.dc, 0, 0, 4, 1, source.dc, 0, 0, source.bitmap, 0, 0, 0xCCAA0020));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    platform::setFault("MaskBlt", {});
    std::memset(target.bits, 0x40, 4);
    EXPECT_FALSE(MaskBlt(target.dc, 0, 0, 4, 1, source.dc, 0, 0, mask, 0, 0, 0xCCAA0020));
    EXPECT_EQ(target.picture(), (std::vector<BYTE>{0x40, 0x40, 0x40, 0x40})) << "nothing drawn";
    DeleteObject(mask);
}

}  // namespace
