// Text: fonts under Windows names, where ExtTextOutW puts the ink (alignment, escapement, clipping,
// background), the CJK fallback, extents, metrics, enumeration and the fonts API behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/fonts.h"
#include "platform/testing/machine.h"
#include "support/gdi_canvas.h"
#include "win/gdi.h"

namespace {

using gdi_test::Canvas;
using gdi_test::logfont;
using platform::testing::Machine;

constexpr double kPi = 3.14159265358979;

class Text : public ::testing::Test {
protected:
    Machine machine;

    // Draws text on the canvas in a font, at (x, y) with the alignment, and releases the font again.
    static void draw(Canvas& canvas, const LOGFONTW& lf, int x, int y, const std::u16string& text,
                     UINT align = TA_LEFT | TA_TOP, UINT options = 0, const RECT* rect = nullptr) {
        HFONT font = CreateFontIndirectW(&lf);
        ASSERT_NE(font, nullptr);
        HGDIOBJ old = SelectObject(canvas.dc, font);
        SetTextColor(canvas.dc, RGB(100, 100, 100));
        SetBkMode(canvas.dc, TRANSPARENT);
        SetTextAlign(canvas.dc, align);
        EXPECT_TRUE(ExtTextOutW(canvas.dc, x, y, options, rect, text.c_str(), static_cast<UINT>(text.size()), nullptr));
        SelectObject(canvas.dc, old);
        DeleteObject(font);
    }
    static SIZE extent(const LOGFONTW& lf, const std::u16string& text, TEXTMETRICW* tm = nullptr) {
        HDC dc = CreateCompatibleDC(nullptr);
        HFONT font = CreateFontIndirectW(&lf);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size{-1, -1};
        EXPECT_TRUE(GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size));
        if (tm) {
            EXPECT_TRUE(GetTextMetricsW(dc, tm));
        }
        SelectObject(dc, old);
        DeleteObject(font);
        DeleteDC(dc);
        return size;
    }
};

TEST_F(Text, HelloLandsInTheBoxItsMetricsSay) {
    LOGFONTW lf = logfont(u"Arial", -40);
    TEXTMETRICW tm{};
    SIZE size = extent(lf, u"Hello", &tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 40);
    EXPECT_EQ(size.cy, tm.tmHeight);
    EXPECT_GT(size.cx, 80);
    EXPECT_LT(size.cx, 130);

    Canvas canvas(300, 120);
    draw(canvas, lf, 20, 30, u"Hello");
    auto ink = canvas.ink();
    ASSERT_GT(ink.count, 200);
    // One-bit glyphs in the text colour matched to the grey table: every inked byte is 100.
    for (BYTE v : canvas.picture()) EXPECT_TRUE(v == 255 || v == 100) << int(v);
    LONG baseline = 30 + tm.tmAscent;
    EXPECT_GE(ink.box.bottom, baseline);      // "e" and "o" may dip a pixel below it
    EXPECT_LE(ink.box.bottom, baseline + 1);
    EXPECT_NEAR(ink.box.top, baseline - 0.76 * 40, 1.5);  // the ascender of "l"
    EXPECT_GE(ink.box.left, 20 + 1);  // H's left side bearing
    EXPECT_LE(ink.box.left, 20 + 6);
    EXPECT_LE(ink.box.right, 20 + size.cx);
    EXPECT_GE(ink.box.right, 20 + size.cx - 6);
}

TEST_F(Text, AlignmentMovesTheReferencePointOnly) {
    LOGFONTW lf = logfont(u"Times New Roman", -33);
    TEXTMETRICW tm{};
    SIZE size = extent(lf, u"Aligned", &tm);
    Canvas reference(300, 100);
    draw(reference, lf, 40, 20, u"Aligned");
    struct Case {
        const char* name;
        UINT align;
        int x, y;
    };
    const Case cases[] = {
        {"baseline", TA_LEFT | TA_BASELINE, 40, 20 + tm.tmAscent},
        {"bottom", TA_LEFT | TA_BOTTOM, 40, 20 + tm.tmHeight},
        {"right", TA_RIGHT | TA_TOP, 40 + size.cx, 20},
        {"right baseline", TA_RIGHT | TA_BASELINE, 40 + size.cx, 20 + tm.tmAscent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(300, 100);
        draw(canvas, lf, c.x, c.y, u"Aligned", c.align);
        EXPECT_EQ(canvas.picture(), reference.picture());
    }
    if (size.cx % 2 == 0) {
        Canvas canvas(300, 100);
        draw(canvas, lf, 40 + size.cx / 2, 20, u"Aligned", TA_CENTER | TA_TOP);
        EXPECT_EQ(canvas.picture(), reference.picture());
    }
}

TEST_F(Text, EscapementTurnsTheTextAroundItsStartPoint) {
    const std::u16string text = u"MMMMMMMMMMMM";
    for (int tenths : {0, 300, 450, 900, 1350, 1800, 2700, 3150}) {
        SCOPED_TRACE(tenths);
        LOGFONTW lf = logfont(u"Arial", -20, tenths);
        SIZE size = extent(lf, text);
        // Placed as the watermark places it: the text's box centred on the page.
        Canvas canvas(400, 400);
        double t = tenths * kPi / 1800;
        int x = static_cast<int>(200 - (size.cx * std::cos(t) + size.cy * std::sin(t)) / 2);
        int y = static_cast<int>(200 + (size.cx * std::sin(t) - size.cy * std::cos(t)) / 2);
        draw(canvas, lf, x, y, text);
        auto ink = canvas.ink();
        ASSERT_GT(ink.count, 500);
        EXPECT_NEAR(ink.cx, 200, 3);
        EXPECT_NEAR(ink.cy, 200, 3);
        double want = std::fmod(tenths / 10.0, 180.0);
        double off = std::fabs(ink.angle - want);
        EXPECT_LT(std::min(off, 180 - off), 2.0) << "long axis at " << ink.angle;
        // The first glyph is next to the start point: the ink begins there and runs away from it.
        double along = (ink.cx - x) * std::cos(t) - (ink.cy - y) * std::sin(t);
        EXPECT_NEAR(along, size.cx / 2.0, 0.15 * size.cx);
    }
}

TEST_F(Text, ClippedTextKeepsToItsRectangleAndOpaqueFillsIt) {
    LOGFONTW lf = logfont(u"Verdana", -30);
    Canvas full(300, 80);
    draw(full, lf, 10, 10, u"Clipped text");
    RECT clip{60, 20, 150, 35};
    Canvas clipped(300, 80);
    draw(clipped, lf, 10, 10, u"Clipped text", 0, ETO_CLIPPED, &clip);
    long inside = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 300; ++x) {
            bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
            if (in) {
                EXPECT_EQ(clipped.at(x, y), full.at(x, y)) << x << "," << y;
                inside += clipped.at(x, y) != 255;
            } else {
                EXPECT_EQ(clipped.at(x, y), 255) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 20);
    EXPECT_LT(clipped.ink().count, full.ink().count);

    // ETO_OPAQUE fills the rectangle with the background colour under the text.
    Canvas opaque(300, 80);
    SetBkColor(opaque.dc, RGB(200, 200, 200));
    draw(opaque, lf, 10, 10, u"Clipped text", 0, ETO_OPAQUE | ETO_CLIPPED, &clip);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 300; ++x) {
            bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
            BYTE want = in ? (full.at(x, y) == 100 ? 100 : 200) : 255;
            ASSERT_EQ(opaque.at(x, y), want) << x << "," << y;
        }
    // An empty string with ETO_OPAQUE only fills.
    opaque.clear();
    EXPECT_TRUE(ExtTextOutW(opaque.dc, 0, 0, ETO_OPAQUE, &clip, nullptr, 0, nullptr));
    EXPECT_EQ(opaque.at(60, 20), 200);
    EXPECT_EQ(opaque.at(59, 20), 255);
}

TEST_F(Text, OpaqueBackgroundModeFillsTheTextCell) {
    LOGFONTW lf = logfont(u"Tahoma", -24);
    TEXTMETRICW tm{};
    SIZE size = extent(lf, u"cell", &tm);
    Canvas canvas(200, 60);
    HFONT font = CreateFontIndirectW(&lf);
    SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, OPAQUE);
    SetBkColor(canvas.dc, RGB(180, 180, 180));
    ASSERT_TRUE(TextOutW(canvas.dc, 15, 9, u"cell", 4));
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) {
            bool in = x >= 15 && x < 15 + size.cx && y >= 9 && y < 9 + tm.tmHeight;
            ASSERT_EQ(canvas.at(x, y) != 255, in) << x << "," << y;
        }
    SelectObject(canvas.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST_F(Text, ChineseComesFromTheCjkFaceWhateverFaceIsAsked) {
    const std::u16string chinese = u"\u4E2D\u6587\u6C34\u5370";  // 中文水印
    Canvas simsun(300, 80);
    draw(simsun, logfont(u"SimSun", -40), 10, 10, chinese);
    auto ink = simsun.ink();
    ASSERT_GT(ink.count, 400);
    // Each of the four characters has ink in its own cell.
    SIZE size = extent(logfont(u"SimSun", -40), chinese);
    EXPECT_NEAR(size.cx, 4 * 40, 8);  // full-width characters
    for (int i = 0; i < 4; ++i) {
        long cellInk = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 10 + i * size.cx / 4; x < 10 + (i + 1) * size.cx / 4; ++x) cellInk += simsun.at(x, y) != 255;
        EXPECT_GT(cellInk, 50) << "character " << i;
    }
    // A Latin face falls back to the same glyphs; other Chinese names are the same face.
    for (const std::u16string& face : {std::u16string(u"Arial"), std::u16string(u"\u5B8B\u4F53"),
                                       std::u16string(u"Microsoft YaHei"), std::u16string(u"\u5FAE\u8F6F\u96C5\u9ED1")}) {
        Canvas other(300, 80);
        LOGFONTW lf = logfont(face, -40);
        draw(other, lf, 10, 10, chinese);
        EXPECT_EQ(other.picture(), simsun.picture()) << platform::toUtf8(face);
    }
    // Latin text in a Chinese face is drawn by that face, not by the Latin one.
    Canvas latinCjk(300, 80), latin(300, 80);
    draw(latinCjk, logfont(u"SimHei", -30), 5, 5, u"Draft 42");
    draw(latin, logfont(u"Arial", -30), 5, 5, u"Draft 42");
    EXPECT_GT(latinCjk.ink().count, 100);
    EXPECT_NE(latinCjk.picture(), latin.picture());
}

TEST_F(Text, ExtentGrowsWithTheStringAndAddsUpWithoutKerning) {
    LOGFONTW lf = logfont(u"Arial", -25);
    TEXTMETRICW tm{};
    SIZE empty = extent(lf, u"", &tm);
    EXPECT_EQ(empty.cx, 0);
    EXPECT_EQ(empty.cy, tm.tmHeight);
    const std::u16string text = u"Watermark \u6C34\u5370 AV";
    LONG previous = 0;
    for (size_t n = 1; n <= text.size(); ++n) {
        SIZE size = extent(lf, text.substr(0, n));
        EXPECT_GT(size.cx, previous) << n;
        EXPECT_EQ(size.cy, tm.tmHeight);
        previous = size.cx;
    }
    EXPECT_EQ(extent(lf, u"AV").cx, extent(lf, u"A").cx + extent(lf, u"V").cx);
    // A surrogate pair is one character; a lone surrogate still measures.
    EXPECT_GT(extent(lf, u"\U0001F600").cx, 0);
    EXPECT_GT(extent(lf, u"a\xD800" u"b").cx, extent(lf, u"ab").cx);
    // Rotation does not change the extent.
    EXPECT_EQ(extent(logfont(u"Arial", -25, 450), text).cx, previous);
}

TEST_F(Text, MetricsFollowHeightWidthAndWeight) {
    struct Case {
        const char* name;
        LONG height, width, weight;
        BYTE italic;
    };
    const Case cases[] = {
        {"character height", -40, 0, 0, 0}, {"cell height", 40, 0, 0, 0},   {"default height", 0, 0, 0, 0},
        {"narrow", -40, 10, 0, 0},          {"wide", -40, 40, 0, 0},         {"bold", -40, 0, FW_BOLD, 0},
        {"italic", -40, 0, 0, 1},           {"semibold is bold", -40, 0, 600, 0},
    };
    TEXTMETRICW regular{};
    SIZE regularSize = extent(logfont(u"Arial", -40), u"watermark", &regular);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LOGFONTW lf = logfont(u"Arial", c.height, 0, c.weight);
        lf.lfWidth = c.width;
        lf.lfItalic = c.italic;
        TEXTMETRICW tm{};
        SIZE size = extent(lf, u"watermark", &tm);
        EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
        if (c.height < 0) {
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -c.height);
        }
        if (c.height > 0) {
            EXPECT_EQ(tm.tmHeight, c.height);
        }
        if (c.height == 0) {
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 16);  // 12 points at 96 dpi
        }
        if (c.width) {
            EXPECT_NEAR(tm.tmAveCharWidth, c.width, 1);
            EXPECT_NEAR(static_cast<double>(size.cx) / regularSize.cx,
                        static_cast<double>(c.width) / regular.tmAveCharWidth, 0.08);
        }
        EXPECT_EQ(tm.tmWeight, c.weight >= 600 ? std::max<LONG>(c.weight, FW_BOLD) : FW_NORMAL);
        if (c.weight >= 600) {
            EXPECT_GT(size.cx, regularSize.cx);
        }
        EXPECT_EQ(tm.tmItalic, c.italic);
        EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
        EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
    }
    // At a printer's resolution the default height is 12 points of its pixels.
    auto tm = platform::fonts::metrics(logfont(u"Arial", 0), {600, 600});
    ASSERT_TRUE(tm);
    EXPECT_EQ(tm->tmHeight - tm->tmInternalLeading, 100);
    EXPECT_EQ(tm->tmDigitizedAspectX, 600);
    // The bold and italic faces draw differently from the regular one.
    Canvas a(200, 60), b(200, 60), c(200, 60);
    draw(a, logfont(u"Arial", -30), 5, 5, u"Style");
    draw(b, logfont(u"Arial", -30, 0, FW_BOLD), 5, 5, u"Style");
    LOGFONTW italic = logfont(u"Arial", -30);
    italic.lfItalic = 1;
    draw(c, italic, 5, 5, u"Style");
    EXPECT_GT(b.ink().count, a.ink().count);
    EXPECT_NE(c.picture(), a.picture());
}

TEST_F(Text, UnderlineAndStrikeOutAreBarsAcrossTheText) {
    auto longestRun = [](const Canvas& canvas, int y) {
        int best = 0, run = 0;
        for (int x = 0; x < canvas.width; ++x) {
            run = canvas.at(x, y) != 255 ? run + 1 : 0;
            best = std::max(best, run);
        }
        return best;
    };
    LOGFONTW lf = logfont(u"Arial", -40);
    TEXTMETRICW tm{};
    SIZE size = extent(lf, u"nnnn", &tm);
    int baseline = 10 + tm.tmAscent;
    for (bool strike : {false, true}) {
        SCOPED_TRACE(strike ? "strike-out" : "underline");
        LOGFONTW styled = lf;
        (strike ? styled.lfStrikeOut : styled.lfUnderline) = 1;
        Canvas plain(300, 80), barred(300, 80);
        draw(plain, lf, 10, 10, u"nnnn");
        draw(barred, styled, 10, 10, u"nnnn");
        int from = strike ? baseline - tm.tmAscent / 2 : baseline + 1, to = strike ? baseline : baseline + tm.tmDescent;
        int best = 0;
        for (int y = from; y < to; ++y) best = std::max(best, longestRun(barred, y));
        EXPECT_GE(best, size.cx - 1);
        int plainBest = 0;
        for (int y = from; y < to; ++y) plainBest = std::max(plainBest, longestRun(plain, y));
        EXPECT_LT(plainBest, size.cx / 2);
    }
}

TEST_F(Text, BadInputFailsCleanly) {
    LOGFONTW unterminated = logfont(u"Arial", -20);
    std::fill(std::begin(unterminated.lfFaceName), std::end(unterminated.lfFaceName), u'A');
    LOGFONTW huge = logfont(u"Arial", -20000);
    LOGFONTW wide = logfont(u"Arial", -20);
    wide.lfWidth = 1 << 20;
    for (const LOGFONTW* lf : std::vector<const LOGFONTW*>{&unterminated, &huge, &wide, nullptr}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateFontIndirectW(lf), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(CreateFontW(-20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, u"A face name far longer than thirty-one units"),
              nullptr);
    // An unknown face is the default face.
    Canvas unknown(200, 50), sans(200, 50);
    draw(unknown, logfont(u"No Such Face", -20), 5, 5, u"fallback");
    draw(sans, logfont(u"DejaVu Sans", -20), 5, 5, u"fallback");
    EXPECT_EQ(unknown.picture(), sans.picture());

    Canvas canvas(100, 40);
    SIZE size{};
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, ETO_GLYPH_INDEX, nullptr, u"ab", 2, nullptr));
    EXPECT_FALSE(ExtTextOutW(nullptr, 0, 0, 0, nullptr, u"ab", 2, nullptr));
    EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc, u"ab", -1, &size));
    EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc, u"ab", 2, nullptr));
    EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc, nullptr, 2, &size));
    // Far off the bitmap, inverted and huge rectangles: nothing is written outside it.
    RECT inverted{90, 30, 10, 5};
    RECT hugeRect{-2000000000, -2000000000, 2000000000, 2000000000};
    EXPECT_TRUE(ExtTextOutW(canvas.dc, -100000, 100000, 0, nullptr, u"ab", 2, nullptr));
    EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_CLIPPED | ETO_OPAQUE, &inverted, u"ab", 2, nullptr));
    EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_CLIPPED | ETO_OPAQUE, &hugeRect, u"ab", 2, nullptr));
    // Each call can be made to fail.
    for (const char* name : {"CreateFontIndirectW", "ExtTextOutW", "GetTextExtentPoint32W"}) {
        SCOPED_TRACE(name);
        platform::clearFaults();
        platform::setFault(name, platform::Fault());
        LOGFONTW lf = logfont(u"Arial", -20);
        HFONT font = CreateFontIndirectW(&lf);
        bool drawn = ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, u"ab", 2, nullptr);
        bool measured = GetTextExtentPoint32W(canvas.dc, u"ab", 2, &size);
        EXPECT_EQ(font == nullptr, std::string(name) == "CreateFontIndirectW");
        EXPECT_EQ(!drawn, std::string(name) == "ExtTextOutW");
        EXPECT_EQ(!measured, std::string(name) == "GetTextExtentPoint32W");
        if (font) DeleteObject(font);
    }
    platform::clearFaults();
}

TEST_F(Text, AFontDeletedWhileSelectedLastsUntilTheDcLetsGo) {
    size_t before = platform::fonts::liveGdiObjects();
    Canvas canvas(100, 40);
    LOGFONTW lf = logfont(u"Arial", -20);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(canvas.dc, font);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, u"still", 5, nullptr));
    EXPECT_GT(canvas.ink().count, 0);
    SelectObject(canvas.dc, old);
    EXPECT_EQ(platform::fonts::liveGdiObjects(), before + 2);  // the canvas' DC and bitmap
}

struct Enumerated {
    int calls = 0;
    BYTE lastCharSet = 0xFF;
    std::u16string lastFace;
    int stopAfter = 0;
};
int CALLBACK record(const LOGFONTW* font, const TEXTMETRICW* tm, DWORD type, LPARAM context) {
    auto* e = reinterpret_cast<Enumerated*>(context);
    ++e->calls;
    e->lastCharSet = font->lfCharSet;
    e->lastFace = font->lfFaceName;
    EXPECT_EQ(type, static_cast<DWORD>(TRUETYPE_FONTTYPE));
    EXPECT_GT(tm->tmHeight, 0);
    return e->stopAfter && e->calls >= e->stopAfter ? 0 : 1;
}

TEST_F(Text, EnumFontFamiliesGivesEachStyleWithTheFamilysCharacterSet) {
    HDC dc = CreateCompatibleDC(nullptr);
    struct Case {
        std::u16string face;
        int calls;
        BYTE charSet;
        std::u16string seen;
    };
    const Case cases[] = {
        {u"Arial", 4, ANSI_CHARSET, u"Arial"},
        {u"times new roman", 4, ANSI_CHARSET, u"Times New Roman"},
        {u"Courier New", 4, ANSI_CHARSET, u"Courier New"},
        {u"SimSun", 4, GB2312_CHARSET, u"SimSun"},
        {u"\u5B8B\u4F53", 4, GB2312_CHARSET, u"\u5B8B\u4F53"},
        {u"\u9ED1\u4F53", 4, GB2312_CHARSET, u"\u9ED1\u4F53"},
        {u"\u5FAE\u8F6F\u96C5\u9ED1", 4, GB2312_CHARSET, u"\u5FAE\u8F6F\u96C5\u9ED1"},
        {u"WenQuanYi Micro Hei", 4, GB2312_CHARSET, u"WenQuanYi Micro Hei"},
        {u"MingLiU", 4, CHINESEBIG5_CHARSET, u"MingLiU"},
        {u"MS Gothic", 4, SHIFTJIS_CHARSET, u"MS Gothic"},
        {u"No Such Face", 0, 0xFF, u""},
        {u"", 0, 0xFF, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.face));
        Enumerated e;
        EXPECT_EQ(EnumFontFamiliesW(dc, c.face.c_str(), record, reinterpret_cast<LPARAM>(&e)), 1);
        EXPECT_EQ(e.calls, c.calls);
        EXPECT_EQ(e.lastCharSet, c.charSet);
        EXPECT_EQ(e.lastFace, c.seen);
    }
    Enumerated all;
    EnumFontFamiliesW(dc, nullptr, record, reinterpret_cast<LPARAM>(&all));
    EXPECT_GT(all.calls, 20);
    Enumerated first;
    first.stopAfter = 1;
    EXPECT_EQ(EnumFontFamiliesW(dc, u"Arial", record, reinterpret_cast<LPARAM>(&first)), 0);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(EnumFontFamiliesW(nullptr, u"Arial", record, 0), 0);
    DeleteDC(dc);
}

TEST_F(Text, TheFontsApiGivesTheGlyphPicturesExtTextOutDraws) {
    for (LONG tenths : {0, 450, 900}) {
        SCOPED_TRACE(tenths);
        LOGFONTW lf = logfont(u"Arial", -28, tenths);
        lf.lfUnderline = 1;
        Canvas canvas(300, 300);
        draw(canvas, lf, 60, 200, u"Glyphs \u5B57");
        platform::fonts::Placement at;
        at.at = {60, 200};
        auto rendered = platform::fonts::render(lf, u"Glyphs \u5B57", at);
        ASSERT_TRUE(rendered);
        EXPECT_EQ(rendered->glyphs.size(), 8u);
        EXPECT_EQ(rendered->bars.size(), 1u);
        std::vector<BYTE> picture(300 * 300, 255);
        auto put = [&](const platform::engine::Glyph& g) {
            LONG rowBytes = (g.size.cx + 7) / 8;
            for (LONG y = 0; y < g.size.cy; ++y)
                for (LONG x = 0; x < g.size.cx; ++x) {
                    if (!(g.bits[static_cast<size_t>(y * rowBytes + x / 8)] & (0x80 >> (x % 8)))) continue;
                    LONG px = g.position.x + g.origin.x + x, py = g.position.y + g.origin.y + y;
                    if (px >= 0 && py >= 0 && px < 300 && py < 300) picture[static_cast<size_t>(py * 300 + px)] = 100;
                }
        };
        for (const auto& g : rendered->glyphs) put(g);
        for (const auto& g : rendered->bars) put(g);
        EXPECT_EQ(picture, canvas.picture());
        auto ink = canvas.ink();
        EXPECT_EQ(rendered->bounds.left, ink.box.left);
        EXPECT_EQ(rendered->bounds.top, ink.box.top);
        EXPECT_EQ(rendered->bounds.right, ink.box.right);
        EXPECT_EQ(rendered->bounds.bottom, ink.box.bottom);
        EXPECT_EQ(rendered->extent.cx, extent(lf, u"Glyphs \u5B57").cx);
    }
    EXPECT_TRUE(platform::fonts::findFamily(u"arial"));
    EXPECT_EQ(platform::fonts::findFamily(u"Arial")->face, u"DejaVu Sans");
    EXPECT_EQ(platform::fonts::findFamily(u"\u5B8B\u4F53")->face, u"WenQuanYi Micro Hei");
    EXPECT_FALSE(platform::fonts::findFamily(u"Wingdings"));
}

// A font file taken in draws under the name it is given, as the family it holds does, and is found
// and enumerated like our own families; files that hold no font are refused with the reason.
TEST_F(Text, AFontFileDrawsUnderTheNameItIsTakenInUnder) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(::testing::TempDir()) / "gdi_text_font_files";
    fs::create_directories(folder / "folder.ttf");
    std::ofstream(folder / "text.ttf") << "this is text, not a font";
    const fs::path serif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
    for (const char* copy : {"one.ttf", "two.ttf"})
        fs::copy_file(serif, folder / copy, fs::copy_options::overwrite_existing);

    struct Refused {
        fs::path file;
        const char* reason;
    };
    for (const Refused& r : {Refused{folder / "none.ttf", "cannot open the font file"},
                             Refused{folder / "text.ttf", "not a scalable font file"},
                             Refused{folder / "folder.ttf", "is a folder"}, Refused{"", "cannot open"}}) {
        SCOPED_TRACE(r.file.string());
        std::string why;
        EXPECT_FALSE(platform::fonts::addFontFile(r.file.string(), &why));
        EXPECT_NE(why.find(r.reason), std::string::npos) << why;
    }

    std::string why;
    auto one = platform::fonts::addFontFile((folder / "one.ttf").string(), &why);
    ASSERT_TRUE(one) << why;
    // The file's family name is ours already: the name takes the style, then a number, to be its own.
    EXPECT_NE(one->name, u"DejaVu Serif");
    EXPECT_EQ(one->name.rfind(u"DejaVu Serif", 0), 0u);
    EXPECT_LT(one->name.size(), static_cast<size_t>(LF_FACESIZE));
    EXPECT_EQ(one->face, one->name);
    auto again = platform::fonts::addFontFile((folder / "sub/../one.ttf").string());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->name, one->name) << "the same file";
    auto two = platform::fonts::addFontFile((folder / "two.ttf").string());
    ASSERT_TRUE(two);
    EXPECT_NE(two->name, one->name) << "another file of the same family";
    auto found = platform::fonts::findFamily(one->name);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, one->name);
    EXPECT_EQ(found->pitchAndFamily & 0x03, VARIABLE_PITCH);

    // Drawn as DejaVu Serif, in the regular style and with bold simulated.
    for (LONG weight : {FW_NORMAL, FW_BOLD}) {
        SCOPED_TRACE(weight);
        Canvas fromFile(300, 80), fromFamily(300, 80);
        draw(fromFile, logfont(one->name, -30, 0, weight), 5, 5, u"Serif 42");
        draw(fromFamily, logfont(u"DejaVu Serif", -30), 5, 5, u"Serif 42");
        EXPECT_GT(fromFile.ink().count, 100);
        if (weight == FW_NORMAL) {
            EXPECT_EQ(fromFile.picture(), fromFamily.picture());
        } else {
            EXPECT_GT(fromFile.ink().count, fromFamily.ink().count);
        }
    }
    // Characters the file lacks come from the fallback faces, as for our families.
    Canvas fileChinese(200, 60), serifChinese(200, 60);
    draw(fileChinese, logfont(two->name, -30), 5, 5, u"\u4E2D\u6587");
    draw(serifChinese, logfont(u"DejaVu Serif", -30), 5, 5, u"\u4E2D\u6587");
    EXPECT_GT(fileChinese.ink().count, 100);
    EXPECT_EQ(fileChinese.picture(), serifChinese.picture());

    HDC dc = CreateCompatibleDC(nullptr);
    Enumerated e;
    EXPECT_EQ(EnumFontFamiliesW(dc, one->name.c_str(), record, reinterpret_cast<LPARAM>(&e)), 1);
    EXPECT_EQ(e.calls, 4);
    EXPECT_EQ(e.lastFace, one->name);
    DeleteDC(dc);
}

}  // namespace
