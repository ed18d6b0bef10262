// Watermarks: text drawn with the printer's own font metrics and pictures from BMP files, merged into
// the page; placed, turned and darkened as the settings say.
#include <cmath>

#include "platform/fonts.h"
#include "platform/printing.h"
#include "support/job_fixture.h"

namespace {

constexpr LONG kW = 4736, kH = 6784;  // A4 page

class WatermarkTest : public JobTest {
protected:
    // A device whose page is white, with the given watermark settings.
    DriverPdev* Page(DevmodeBuilder dm) {
        DriverPdev* pdev = Device(std::move(dm));
        std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
        return pdev;
    }

    struct Ink {
        double cx = 0, cy = 0;  // centre of the marked pixels
        double angle = 0;       // direction of their long axis, degrees counter-clockwise
        size_t count = 0;
    };
    static Ink InkOf(const DriverPdev* pdev) {
        Ink ink;
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (LONG y = 0; y < pdev->bandHeight; ++y)
            for (LONG x = 0; x < pdev->bandWidth; ++x)
                if (pdev->pageBuffer[SIZE_T(y) * pdev->bandWidth + x] != 255) {
                    ++ink.count;
                    sx += x;
                    sy += y;
                    sxx += double(x) * x;
                    syy += double(y) * y;
                    sxy += double(x) * y;
                }
        if (!ink.count) return ink;
        double n = double(ink.count);
        ink.cx = sx / n;
        ink.cy = sy / n;
        double vxx = sxx / n - ink.cx * ink.cx, vyy = syy / n - ink.cy * ink.cy, vxy = sxy / n - ink.cx * ink.cy;
        // Rows run downwards: turn the principal axis back into counter-clockwise degrees.
        ink.angle = -0.5 * std::atan2(2 * vxy, vxx - vyy) * 180.0 / 3.14159265358979;
        return ink;
    }

    // A 24-bit BMP of a dark left half and a light right half, stored bottom-up or top-down.
    static std::string Bitmap(LONG w, LONG h, bool topDown) {
        LONG stride = (w * 3 + 3) & ~3;
        std::string file(54 + stride * h, '\0');
        auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
        auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, static_cast<uint32_t>(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, static_cast<uint32_t>(w));
        put32(22, static_cast<uint32_t>(topDown ? -h : h));
        put16(26, 1);
        put16(28, 24);
        for (LONG y = 0; y < h; ++y) {
            LONG stored = topDown ? y : h - 1 - y;  // row y of the picture, from the top
            for (LONG x = 0; x < w; ++x) {
                char* px = &file[54 + stored * stride + x * 3];
                bool dark = x < w / 2 || y < h / 4;
                px[0] = static_cast<char>(dark ? 40 : 200);   // blue
                px[1] = static_cast<char>(dark ? 60 : 220);   // green
                px[2] = static_cast<char>(dark ? 80 : 240);   // red
            }
        }
        return file;
    }
};

TEST_F(WatermarkTest, TextMarkTakesTheDarknessAndTintsWhatIsDrawn) {
    DriverPdev* pdev = Page(DevmodeBuilder().textWatermark(u"CONFIDENTIAL", u"Arial", 72, 0, 2));  // darkness 50
    // A band of grey 100 across the middle of the page, where the text goes.
    for (LONG y = kH / 2; y < kH / 2 + 40; ++y) std::memset(pdev->pageBuffer + SIZE_T(y) * kW, 100, kW);
    std::vector<BYTE> before(pdev->pageBuffer, pdev->pageBuffer + pdev->pageBufferSize);
    ASSERT_TRUE(ApplyWatermark(pdev));
    size_t onWhite = 0, onGrey = 0;
    for (SIZE_T i = 0; i < before.size(); ++i) {
        BYTE now = pdev->pageBuffer[i];
        if (now == before[i]) continue;
        if (before[i] == 255) {
            ASSERT_EQ(now, 127) << i;  // (100 - 50) x 255 / 100
            ++onWhite;
        } else {
            ASSERT_EQ(now, 126) << i;  // 100 + 40 x (383 - 127) / 383
            ++onGrey;
        }
    }
    EXPECT_GT(onWhite, 10000u);
    EXPECT_GT(onGrey, 100u);
    EXPECT_EQ(platform::fonts::liveGdiObjects(), 0u);
}

TEST_F(WatermarkTest, TextMarkIsPlacedAndTurnedAsSet) {
    struct Case {
        const char* what;
        int16_t angle, mode, x, y;
        double cx, cy;
    } cases[] = {
        {"centred", 0, 5, 0, 0, kW / 2.0, kH / 2.0},
        {"centred, 45 degrees", 45, 5, 0, 0, kW / 2.0, kH / 2.0},
        {"centred, 90 degrees", 90, 5, 0, 0, kW / 2.0, kH / 2.0},
        {"at 30 % across, 70 % down, 30 degrees", 30, 1, 30, 70, kW * 0.3, kH * 0.7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DriverPdev* pdev = Page(DevmodeBuilder()
                                    .textWatermark(u"MARK", u"Times New Roman", 60, c.angle, 4)
                                    .watermarkPosition(c.mode, c.x, c.y));
        ASSERT_TRUE(ApplyWatermark(pdev));
        Ink ink = InkOf(pdev);
        ASSERT_GT(ink.count, 1000u);
        EXPECT_NEAR(ink.cx, c.cx, 60);
        EXPECT_NEAR(ink.cy, c.cy, 60);
        double angle = ink.angle < -45 ? ink.angle + 180 : ink.angle;
        EXPECT_NEAR(angle, c.angle, 3);
    }
}

TEST_F(WatermarkTest, ChineseTextIsMarkedToo) {
    DriverPdev* pdev = Page(DevmodeBuilder().textWatermark(u"\u673a\u5bc6\u6587\u4ef6", u"SimSun", 48, 0, 2));
    ASSERT_TRUE(ApplyWatermark(pdev));
    EXPECT_GT(InkOf(pdev).count, 5000u);
}

TEST_F(WatermarkTest, PictureMarkWithAndWithoutBlending) {
    machine_.writeFile(u"C:\\ProgramData\\mark.bmp", Bitmap(64, 32, false));
    for (bool blend : {false, true}) {
        SCOPED_TRACE(blend ? "blending" : "on white only");
        DriverPdev* pdev = Page(DevmodeBuilder().imageWatermark(u"C:\\ProgramData\\mark.bmp", blend));
        // A dark and a mid-grey block on the page, the rest white.
        for (LONG y = 0; y < 200; ++y) {
            std::memset(pdev->pageBuffer + SIZE_T(y) * kW, 30, 200);
            std::memset(pdev->pageBuffer + SIZE_T(y) * kW + 3000, 128, 200);
        }
        ASSERT_TRUE(ApplyWatermark(pdev));
        // The picture is stretched over the page: its dark quarter (grey of 40, 60, 80) at the top left.
        const BYTE darkGrey = (117 * 40 + 601 * 60 + 306 * 80) >> 10;
        const BYTE lightGrey = (117 * 200 + 601 * 220 + 306 * 240) >> 10;
        EXPECT_EQ(pdev->pageBuffer[SIZE_T(1000) * kW + 500], darkGrey);
        EXPECT_EQ(pdev->pageBuffer[SIZE_T(5000) * kW + 4000], lightGrey);
        BYTE dark = pdev->pageBuffer[SIZE_T(100) * kW + 100];
        BYTE mid = pdev->pageBuffer[SIZE_T(100) * kW + 3100];
        if (blend) {
            EXPECT_EQ(dark, 30 + 200 * (383 - darkGrey) / 383);
            EXPECT_EQ(mid, (255 - 128) * (383 - darkGrey) / 383 + 128);  // the picture's dark top
        } else {
            EXPECT_EQ(dark, 30);  // only white page pixels take the mark
            EXPECT_EQ(mid, 128);
        }
    }
}

TEST_F(WatermarkTest, TopDownPictureGivesTheSamePageAsBottomUp) {
    std::vector<std::vector<BYTE>> pages;
    for (bool topDown : {false, true}) {
        machine_.writeFile(u"C:\\ProgramData\\mark.bmp", Bitmap(50, 30, topDown));
        DriverPdev* pdev = Page(DevmodeBuilder().imageWatermark(u"C:\\ProgramData\\mark.bmp", false));
        ASSERT_TRUE(ApplyWatermark(pdev));
        pages.emplace_back(pdev->pageBuffer, pdev->pageBuffer + pdev->pageBufferSize);
    }
    EXPECT_TRUE(pages[0] == pages[1]);
}

// A 24-bit BMP of four greys, one a quarter: top left, top right, bottom left, bottom right.
std::string Quadrants(LONG side, const BYTE (&greys)[4]) {
    LONG stride = (side * 3 + 3) & ~3;
    std::string file(54 + stride * side, '\0');
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(side));
    put32(22, static_cast<uint32_t>(side));
    file[26] = 1;
    file[28] = 24;
    for (LONG y = 0; y < side; ++y)
        for (LONG x = 0; x < side; ++x) {
            BYTE grey = greys[(y < side / 2 ? 0 : 2) + (x < side / 2 ? 0 : 1)];
            std::memset(&file[54 + (side - 1 - y) * stride + x * 3], grey, 3);  // rows stored bottom-up
        }
    return file;
}

TEST_F(WatermarkTest, EachPosterBandShowsItsOwnQuarterOfThePicture) {
    const BYTE greys[4] = {40, 100, 160, 220};
    machine_.writeFile(u"C:\\ProgramData\\quarters.bmp", Quadrants(64, greys));
    DriverPdev* pdev = Page(DevmodeBuilder().pagesPerSheet(22).imageWatermark(u"C:\\ProgramData\\quarters.bmp", false));
    const LONG w = pdev->bandWidth, h = pdev->bandHeight;
    for (BYTE band = 0; band < 4; ++band) {
        SCOPED_TRACE(testing::Message() << "band " << int(band));
        pdev->bandCounter = band;  // top left, top right, bottom left, bottom right
        std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
        ASSERT_TRUE(ApplyWatermark(pdev));
        for (auto [x, y] : {std::pair<LONG, LONG>{10, 10}, {w / 2, h / 2}, {w - 10, h - 10}})
            EXPECT_EQ(pdev->pageBuffer[SIZE_T(y) * w + x], greys[band]) << x << ", " << y;
    }
}

TEST_F(WatermarkTest, BadPictureFilesGiveNoMark) {
    const std::string good = Bitmap(16, 8, false);
    auto with = [&](size_t at, std::string bytes) {
        std::string file = good;
        file.replace(at, bytes.size(), bytes);
        return file;
    };
    auto le32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    // Every file but the first three keeps a size field that matches it, so that the fault shown is
    // the one named.
    struct Case {
        const char* what;
        std::string file;
        bool fixSize;
    } cases[] = {
        {"file size field wrong", with(2, le32(uint32_t(good.size() + 1))), false},
        {"cut short", good.substr(0, good.size() - 10), false},
        {"only the file header", good.substr(0, 14), false},
        {"empty", "", false},
        {"not BM", with(0, "XM"), true},
        {"header size 20", with(14, le32(20)), true},
        {"7 bits a pixel", with(28, std::string("\x07\x00", 2)), true},
        {"run-length compressed", with(30, le32(1)), true},
        {"no width", with(18, le32(0)), true},
        {"huge height", with(22, le32(100000)), true},
        {"pixels past the end", with(10, le32(uint32_t(good.size() - 4))), true},
        {"colour table past the pixels", with(28, std::string("\x08\x00", 2)), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = c.file;
        if (c.fixSize) {
            uint32_t size = static_cast<uint32_t>(file.size());
            std::memcpy(&file[2], &size, 4);
        }
        machine_.writeFile(u"C:\\ProgramData\\bad.bmp", file);
        DriverPdev* pdev = Page(DevmodeBuilder().imageWatermark(u"C:\\ProgramData\\bad.bmp", false));
        platform::clearDebugLog();
        EXPECT_FALSE(ApplyWatermark(pdev));
        EXPECT_TRUE(std::all_of(pdev->pageBuffer, pdev->pageBuffer + pdev->pageBufferSize, [](BYTE b) { return b == 255; }));
        EXPECT_FALSE(platform::debugLog().empty());
    }
    DriverPdev* pdev = Page(DevmodeBuilder().imageWatermark(u"C:\\ProgramData\\missing.bmp", false));
    EXPECT_FALSE(ApplyWatermark(pdev));
}

// Through whole jobs, on the sheets the printer receives.
class WatermarkJobTest : public ::testing::Test {
protected:
    void SetUp() override { InstallTestPrinter(); }
    rastrel_dump::Result Print(DevmodeBuilder settings, int pages) {
        platform::printing::PrinterDevice device(kTestPrinter, settings.devmode());
        EXPECT_TRUE(device.startDoc(u"marked"));
        for (int i = 0; i < pages; ++i) {
            EXPECT_TRUE(device.startPage());
            EXPECT_TRUE(device.endPage()) << device.lastError();
        }
        EXPECT_TRUE(device.endDoc());
        bytes_ = platform::printJobs().back().bytes;
        return rastrel_dump::parse(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size()));
    }
    static size_t InkOn(const rastrel_dump::Sheet& sheet, LONG left = 0, LONG top = 0, LONG right = -1, LONG bottom = -1) {
        if (right < 0) right = LONG(sheet.width_pixels);
        if (bottom < 0) bottom = LONG(sheet.height);
        size_t count = 0;
        for (LONG y = top; y < bottom; ++y)
            for (LONG x = left; x < right; ++x) count += (sheet.bits[size_t(y) * sheet.row_bytes() + x / 8] >> (7 - x % 8)) & 1;
        return count;
    }
    platform::testing::Machine machine_;
    std::string bytes_;
};

TEST_F(WatermarkJobTest, FirstPageOnlyMarksOnlyTheFirstPage) {
    for (bool firstOnly : {true, false}) {
        SCOPED_TRACE(firstOnly ? "first page only" : "every page");
        auto result = Print(DevmodeBuilder().textWatermark(u"DRAFT", u"Arial", 96, 30, 4).watermarkFirstPageOnly(firstOnly), 2);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), 2u);
        EXPECT_GT(InkOn(result.sheets[0]), 10000u);
        EXPECT_EQ(InkOn(result.sheets[1]) > 10000u, !firstOnly);
    }
}

TEST_F(WatermarkJobTest, PosterPageIsMarkedAsAWhole) {
    // Centred on the poster page, the mark meets the inner corner of each of the four sheets.
    auto result = Print(DevmodeBuilder().pagesPerSheet(22).textWatermark(u"POSTER", u"Arial", 40, 0, 4), 1);
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    ASSERT_EQ(result.sheets.size(), 4u);
    const LONG w = LONG(result.sheets[0].width_pixels), h = LONG(result.sheets[0].height), r = 600;
    EXPECT_GT(InkOn(result.sheets[0], w - r, h - r, w, h), 1000u);  // top left sheet: its bottom right
    EXPECT_GT(InkOn(result.sheets[1], 0, h - r, r, h), 1000u);      // top right: bottom left
    EXPECT_GT(InkOn(result.sheets[2], w - r, 0, w, r), 1000u);      // bottom left: top right
    EXPECT_GT(InkOn(result.sheets[3], 0, 0, r, r), 1000u);          // bottom right: top left
    for (const auto& sheet : result.sheets) EXPECT_EQ(InkOn(sheet, w / 2 - 500, h / 2 - 500, w / 2 + 500, h / 2 + 500), 0u);
}

TEST_F(WatermarkJobTest, TextMarkKeepsItsShareOfThePageAtAnyZoom) {
    // "CONFIDENTIAL" across the middle of the page: its width against the page's is the same on a
    // page at zoom 100, a page shrunk to 50, a 4-up cell and a poster page over four sheets.
    auto mark = [] { return DevmodeBuilder().textWatermark(u"CONFIDENTIAL", u"Arial", 72, 0, 4); };
    // Leftmost and rightmost inked column in a part of a sheet.
    auto span = [](const rastrel_dump::Sheet& sheet, LONG left, LONG top, LONG right, LONG bottom) {
        std::pair<LONG, LONG> s{right, left - 1};
        for (LONG y = top; y < bottom; ++y)
            for (LONG x = left; x < right; ++x)
                if ((sheet.bits[size_t(y) * sheet.row_bytes() + x / 8] >> (7 - x % 8)) & 1) {
                    s.first = std::min(s.first, x);
                    s.second = std::max(s.second, x);
                }
        return s;
    };
    struct Measure {
        double width;  // of the mark, pixels
        double page;   // of the page it is on
    };
    auto full = Print(mark(), 1);
    ASSERT_TRUE(full.ok());
    const auto& a4 = full.sheets[0];
    auto [l, r] = span(a4, 0, 0, LONG(a4.width_pixels), LONG(a4.height));
    const Measure reference{double(r - l + 1), 4736};
    ASSERT_GT(reference.width, 3000);

    std::vector<std::pair<const char*, Measure>> measures;
    {
        auto result = Print(mark().zoom(50), 1);  // the page, 2368 wide, at the canvas's top left
        ASSERT_TRUE(result.ok());
        auto [left, right] = span(result.sheets[0], 0, 0, 2368, 3392);
        measures.push_back({"zoom 50", {double(right - left + 1), 2368}});
    }
    {
        auto result = Print(mark().pagesPerSheet(4).nupOrder(2), 1);  // page 1 in the cell at (8, 8)
        ASSERT_TRUE(result.ok());
        auto [left, right] = span(result.sheets[0], 8, 8, 8 + 2360, 8 + 3384);
        measures.push_back({"4-up cell", {double(right - left + 1), 2360}});
    }
    {
        auto result = Print(mark().pagesPerSheet(22), 1);  // a page of 9472 over 2 x 2 sheets of 4736
        ASSERT_TRUE(result.ok());
        ASSERT_EQ(result.sheets.size(), 4u);
        const LONG w = LONG(result.sheets[0].width_pixels), h = LONG(result.sheets[0].height);
        LONG left = std::min(span(result.sheets[0], 0, 0, w, h).first, span(result.sheets[2], 0, 0, w, h).first);
        LONG right = std::max(span(result.sheets[1], 0, 0, w, h).second, span(result.sheets[3], 0, 0, w, h).second);
        measures.push_back({"poster", {double(w + right - left + 1), 2.0 * w}});
    }
    for (const auto& [what, m] : measures) {
        SCOPED_TRACE(what);
        EXPECT_NEAR(m.width, reference.width / reference.page * m.page, 0.004 * m.page);
    }
}

TEST_F(WatermarkJobTest, NupCellsAreMarkedOneByOne) {
    auto result = Print(DevmodeBuilder().pagesPerSheet(4).nupOrder(2).textWatermark(u"COPY", u"Arial", 60, 0, 4), 4);
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    ASSERT_EQ(result.sheets.size(), 1u);
    const auto& sheet = result.sheets[0];
    // One mark in the middle of each of the four cells (2360 x 3384 from (8, 8)).
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            LONG cx = 8 + c * 2360 + 1180, cy = 8 + r * 3384 + 1692;
            EXPECT_GT(InkOn(sheet, cx - 300, cy - 100, cx + 300, cy + 100), 500u) << r << ", " << c;
        }
}

}  // namespace
