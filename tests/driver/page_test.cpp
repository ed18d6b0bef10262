// Whole pages through the driver as the graphics engine drives it: the surface, the drawing hooks,
// the page and job calls, checked on the sheets the printer receives.
#include <cstring>

#include "platform/engine.h"
#include "platform/printing.h"
#include "rastrel.h"
#include "rastrel_dump/stream.h"
#include "support/driver_fixture.h"

namespace {

using platform::printing::PrinterDevice;

struct Box {
    LONG left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive; all 0: nothing
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "(" << b.left << ", " << b.top << ") - (" << b.right << ", " << b.bottom << ")";
}

// The pixels of a decoded sheet that carry toner (1 bit, or a level other than 0).
bool Inked(const rastrel_dump::Sheet& sheet, LONG x, LONG y) {
    const uint8_t* row = sheet.bits.data() + size_t(y) * sheet.row_bytes();
    if (sheet.bits_per_pixel == 2) return (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

// Bounding box of the inked (or, with `white`, the uninked) pixels.
Box BoxOf(const rastrel_dump::Sheet& sheet, bool white = false) {
    Box box{LONG(sheet.width_pixels), LONG(sheet.height), 0, 0};
    for (LONG y = 0; y < LONG(sheet.height); ++y)
        for (LONG x = 0; x < LONG(sheet.width_pixels); ++x)
            if (Inked(sheet, x, y) != white) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box.right ? box : Box{};
}

class PageTest : public ::testing::Test {
protected:
    void SetUp() override { InstallTestPrinter(); }

    rastrel_dump::Result Job() {
        auto jobs = platform::printJobs();
        bytes_ = jobs.empty() ? std::string() : jobs.back().bytes;
        return rastrel_dump::parse(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size()));
    }

    // Prints pages, each drawn by `draw(device, pageNumber)`.
    rastrel_dump::Result Print(DevmodeBuilder settings, int pages,
                               const std::function<void(PrinterDevice&, int)>& draw) {
        PrinterDevice device(kTestPrinter, settings.devmode());
        EXPECT_TRUE(device.startDoc(u"test")) << device.lastError();
        for (int page = 1; page <= pages; ++page) {
            EXPECT_TRUE(device.startPage()) << device.lastError();
            draw(device, page);
            EXPECT_TRUE(device.endPage()) << device.lastError();
        }
        EXPECT_TRUE(device.endDoc()) << device.lastError();
        return Job();
    }

    std::vector<std::string> TempFiles() { return DriverTempFiles(machine_); }

    platform::testing::Machine machine_;
    std::string bytes_;
};

// A 300 x 60 bar near the top left corner: where it lands shows every turn and flip.
void Bar(PrinterDevice& device, int) { device.fillRect({100, 100, 400, 160}, 0); }

TEST_F(PageTest, AnAsymmetricMarkLandsWhereTheSettingsPutIt) {
    const LONG W = 4736, H = 6784;  // A4 raster
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        Box expected;
        bool negative = false;
    } cases[] = {
        {"portrait", DevmodeBuilder(), {100, 100, 400, 160}},
        {"portrait at 1200 dpi", DevmodeBuilder().quality(1200), {100, 100, 400, 160}},
        {"landscape, turned a quarter counter-clockwise", DevmodeBuilder().landscape(), {100, H - 400, 160, H - 100}},
        {"rotated 180 degrees", DevmodeBuilder().rotate180(true), {W - 400, H - 160, W - 100, H - 100}},
        {"mirrored", DevmodeBuilder().mirror(true), {W - 400, 100, W - 100, 160}},
        {"zoom 50 on a canvas of the paper less 236 pixels", DevmodeBuilder().zoom(50), {100, 100, 400, 160}},
        {"negative", DevmodeBuilder().negative(true), {100, 100, 400, 160}, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        rastrel_dump::Result result = Print(c.settings, 1, Bar);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), 1u);
        const auto& sheet = result.sheets[0];
        EXPECT_EQ(sheet.width_pixels, uint32_t(W));
        EXPECT_EQ(sheet.height, uint32_t(H));
        EXPECT_EQ(BoxOf(sheet, c.negative), c.expected);
    }
}

TEST_F(PageTest, BackSidesOfLongEdgeDuplexAreTurnedAndTheOddPageGetsABlankBack) {
    rastrel_dump::Result result = Print(DevmodeBuilder().duplex(DMDUP_VERTICAL), 3, Bar);
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    ASSERT_EQ(result.sheets.size(), 4u);
    const LONG W = 4736, H = 6784;
    // Front sides 1 and 3, the pause, then the back sides from the last: the blank pad, then page 2.
    EXPECT_FALSE(result.sheets[0].after_pause);
    EXPECT_FALSE(result.sheets[1].after_pause);
    EXPECT_TRUE(result.sheets[2].after_pause);
    EXPECT_EQ(BoxOf(result.sheets[0]), (Box{100, 100, 400, 160}));
    EXPECT_EQ(BoxOf(result.sheets[1]), (Box{100, 100, 400, 160}));
    EXPECT_EQ(BoxOf(result.sheets[2]), Box{});
    EXPECT_EQ(BoxOf(result.sheets[3]), (Box{W - 400, H - 160, W - 100, H - 100}));
    EXPECT_EQ(TempFiles(), std::vector<std::string>());
}

// Page n carries n full-width bars.
void Numbered(PrinterDevice& device, int page) {
    for (int i = 0; i < page; ++i) device.fillRect({0, 64 + 64 * i, device.caps().printable.cx, 96 + 64 * i}, 0);
}

TEST_F(PageTest, PageOrderOfCopiesReverseAndDuplex) {
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        int pages;
        std::vector<int> order;
    } cases[] = {
        {"3 collated copies", DevmodeBuilder().copies(3).collate(true), 2, {1, 2, 1, 2, 1, 2}},
        {"reverse order", DevmodeBuilder().reverse(true), 3, {3, 2, 1}},
        {"short-edge duplex of 3 pages and its pad sheet", DevmodeBuilder().duplex(DMDUP_HORIZONTAL), 3, {1, 3, 0, 2}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        rastrel_dump::Result result = Print(c.settings, c.pages, Numbered);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        EXPECT_EQ(BlackRowRuns(result), c.order);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
    }
}

TEST_F(PageTest, PosterPageGoesOutAsFourBands) {
    PrinterDevice device(kTestPrinter, DevmodeBuilder().pagesPerSheet(22).devmode());
    ASSERT_TRUE(device.caps().banded);
    const SIZEL page = device.caps().printable;  // twice the paper each way
    ASSERT_TRUE(device.startDoc(u"poster"));
    ASSERT_TRUE(device.startPage());
    device.fillRect({100, 100, 400, 160}, 0);                                          // top left
    device.fillRect({page.cx - 400, page.cy - 160, page.cx - 100, page.cy - 100}, 0);  // bottom right
    ASSERT_TRUE(device.endPage()) << device.lastError();
    EXPECT_EQ(device.lastPageBands(), 4);
    ASSERT_TRUE(device.endDoc());
    rastrel_dump::Result result = Job();
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    ASSERT_EQ(result.sheets.size(), 4u);
    const LONG W = page.cx / 2, H = page.cy / 2;
    EXPECT_EQ(BoxOf(result.sheets[0]), (Box{100, 100, 400, 160}));
    EXPECT_EQ(BoxOf(result.sheets[1]), Box{});
    EXPECT_EQ(BoxOf(result.sheets[2]), Box{});
    EXPECT_EQ(BoxOf(result.sheets[3]), (Box{W - 400, H - 160, W - 100, H - 100}));
}

TEST_F(PageTest, LinesPathsPicturesAndGlyphsAppearWhereDrawn) {
    auto picture = std::make_shared<platform::printing::Picture>(platform::printing::Picture::blank(64, 32, BMF_24BPP));
    for (LONG y = 0; y < 32; ++y) std::memset(picture->row(y), 0, 64 * 3);  // black
    rastrel_dump::Result result = Print(DevmodeBuilder(), 1, [&](PrinterDevice& device, int) {
        device.line({100, 500}, {1000, 500}, platform::printing::Pen{});
        platform::printing::Path circle;
        circle.ellipse(2000, 1000, 2400, 1400);
        device.fillPath(circle, 0);
        device.picture({3000, 3000, 3064, 3032}, picture);
        platform::engine::Glyph glyph{{1000, 4000}, {0, -16}, {16, 16}, std::vector<BYTE>(32, 0xFF)};
        device.text({glyph}, 0);
    });
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    const auto& sheet = result.sheets[0];
    auto inkedIn = [&](LONG l, LONG t, LONG r, LONG b) {
        for (LONG y = t; y < b; ++y)
            for (LONG x = l; x < r; ++x)
                if (!Inked(sheet, x, y)) return false;
        return true;
    };
    EXPECT_TRUE(inkedIn(100, 500, 1000, 501));
    EXPECT_FALSE(Inked(sheet, 1000, 500));  // a line leaves out its last pixel
    EXPECT_FALSE(Inked(sheet, 500, 499));
    EXPECT_TRUE(inkedIn(2150, 1150, 2250, 1250));
    EXPECT_FALSE(Inked(sheet, 2010, 1010));  // outside the circle, inside its box
    EXPECT_TRUE(inkedIn(3000, 3000, 3064, 3032));
    EXPECT_FALSE(Inked(sheet, 3064, 3000));
    EXPECT_TRUE(inkedIn(1000, 3984, 1016, 4000));
    EXPECT_FALSE(Inked(sheet, 1000, 4000));
}

// Ink everywhere but the top left pixel: as a one-bit pattern bitmap, only bit 7 of row 0 is set.
platform::printing::Pattern OneDot() {
    platform::printing::Pattern pattern;
    pattern.rows = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    pattern.ink = 0;
    pattern.paper = 255;
    return pattern;
}

TEST_F(PageTest, PatternFastPathEnlargesTheTileFourTimes) {
    rastrel_dump::Result result = Print(DevmodeBuilder(), 1, [](PrinterDevice& device, int) {
        device.patternRect({320, 320, 640, 640}, OneDot());
    });
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    const auto& sheet = result.sheets[0];
    // A white 4 x 4 square at every 32-pixel step from the rectangle's corner, black around it.
    for (LONG y = 320; y < 640; ++y)
        for (LONG x = 320; x < 640; ++x) {
            bool white = (x - 320) % 32 < 4 && (y - 320) % 32 < 4;
            ASSERT_EQ(Inked(sheet, x, y), !white) << x << ", " << y;
        }
    EXPECT_FALSE(Inked(sheet, 640, 320));
    EXPECT_FALSE(Inked(sheet, 319, 320));
}

TEST_F(PageTest, PatternsInOtherColoursAreDrawnByTheEngine) {
    // The fast path writes the tile's colours as black and white; a grey pattern goes to the engine.
    rastrel_dump::Result result = Print(DevmodeBuilder(), 1, [](PrinterDevice& device, int) {
        platform::printing::Pattern grey = OneDot();
        grey.ink = 160;
        device.patternRect({320, 320, 640, 640}, grey);
    });
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    int inked = 0;
    const auto& sheet = result.sheets[0];
    for (LONG y = 320; y < 640; ++y)
        for (LONG x = 320; x < 640; ++x) inked += Inked(sheet, x, y);
    EXPECT_GT(inked, 320 * 320 / 5);  // screened grey, not black and not white
    EXPECT_LT(inked, 320 * 320 / 2);
}

TEST_F(PageTest, PassThroughEscapeWritesStraightToThePrinter) {
    PrinterDevice device(kTestPrinter, DevmodeBuilder().devmode());
    ASSERT_TRUE(device.startDoc(u"raw"));
    ASSERT_TRUE(device.startPage());
    DWORD query = 17;
    EXPECT_EQ(device.escape(8, &query, 4), 1u);
    query = 18;
    EXPECT_EQ(device.escape(8, &query, 4), 0u);
    EXPECT_EQ(device.escape(17, nullptr, 0), 0u);
    const BYTE three[] = {3, 0, 'a', 'b', 'c'};
    EXPECT_EQ(device.escape(19, three, 5), 3u);
    const BYTE four[] = {4, 0, 'a', 'b', 'c'};
    EXPECT_EQ(device.escape(19, four, 5), 0u);
    EXPECT_EQ(device.escape(19, three, 2), 0u);
    EXPECT_EQ(device.escape(99, three, 5), 0u);
    ASSERT_TRUE(device.endPage());
    ASSERT_TRUE(device.endDoc());
    Job();
    EXPECT_NE(bytes_.find("abc"), std::string::npos);
    EXPECT_EQ(bytes_.find("abca"), std::string::npos);
}

TEST_F(PageTest, AnAbortedJobSendsNothingMoreAndLeavesNoFiles) {
    PrinterDevice device(kTestPrinter, DevmodeBuilder().reverse(true).devmode());
    ASSERT_TRUE(device.startDoc(u"aborted"));
    ASSERT_TRUE(device.startPage());
    device.fillRect({0, 0, 100, 100}, 0);
    ASSERT_TRUE(device.endPage());
    EXPECT_EQ(TempFiles().size(), 2u);
    ASSERT_TRUE(device.startPage());
    device.fillRect({0, 0, 100, 100}, 0);
    platform::setFault("EngCheckAbort", platform::Fault().failing(-1));
    EXPECT_FALSE(device.endPage());
    platform::clearFaults();
    device.endDoc(true);
    EXPECT_EQ(TempFiles(), std::vector<std::string>());
    Job();
    EXPECT_EQ(bytes_, "");  // reverse order: nothing had gone out yet
}

TEST_F(PageTest, SurfaceFollowsTheSettings) {
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        SIZEL surface;
        bool banded;
    } cases[] = {
        {"A4", DevmodeBuilder(), {4736, 6784}, false},
        {"poster", DevmodeBuilder().pagesPerSheet(22), {4736, 6784}, true},
        {"zoom 150", DevmodeBuilder().zoom(150), {4736, 6784}, true},
        {"4 pages a sheet", DevmodeBuilder().pagesPerSheet(4), {2360, 3384}, false},
    };
    size_t surfaces = platform::engine::liveSurfaceCount();
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            PrinterDevice device(kTestPrinter, c.settings.devmode());
            EXPECT_EQ(device.caps().surface.cx, c.surface.cx);
            EXPECT_EQ(device.caps().surface.cy, c.surface.cy);
            EXPECT_EQ(device.caps().banded, c.banded);
            EXPECT_EQ(device.caps().hooks, static_cast<FLONG>(0x385FF));
        }
        EXPECT_EQ(platform::engine::liveSurfaceCount(), surfaces);
    }
}

TEST_F(PageTest, ShrunkPagesSitWhereAFullPageHasItsCorner) {
    // Below zoom 100 the page lies on a canvas of the paper less 236 pixels (4736 x 6784 on A4), and
    // the back side's half turn turns that canvas: the page keeps the corner a full-size page has.
    const LONG W = 4736, H = 6784;
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        std::vector<Box> sheets;  // in stream order: the front sides, then the back sides
    } cases[] = {
        {"portrait, zoom 100, long-edge duplex", DevmodeBuilder().duplex(DMDUP_VERTICAL),
         {{100, 100, 400, 160}, {W - 400, H - 160, W - 100, H - 100}}},
        {"portrait, zoom 50, long-edge duplex", DevmodeBuilder().zoom(50).duplex(DMDUP_VERTICAL),
         {{100, 100, 400, 160}, {W - 400, H - 160, W - 100, H - 100}}},
        {"landscape, zoom 100, long-edge duplex", DevmodeBuilder().landscape().duplex(DMDUP_VERTICAL),
         {{100, H - 400, 160, H - 100}, {W - 160, 100, W - 100, 400}}},
        {"landscape, zoom 50, long-edge duplex", DevmodeBuilder().landscape().zoom(50).duplex(DMDUP_VERTICAL),
         {{100, H - 400, 160, H - 100}, {W - 160, 100, W - 100, 400}}},
        {"portrait, zoom 50, short-edge duplex", DevmodeBuilder().zoom(50).duplex(DMDUP_HORIZONTAL),
         {{100, 100, 400, 160}, {100, 100, 400, 160}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        rastrel_dump::Result result = Print(c.settings, 2, Bar);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), c.sheets.size());
        for (size_t i = 0; i < c.sheets.size(); ++i) {
            EXPECT_EQ(result.sheets[i].width_pixels, uint32_t(W));
            EXPECT_EQ(result.sheets[i].height, uint32_t(H));
            EXPECT_EQ(BoxOf(result.sheets[i]), c.sheets[i]) << "sheet " << i + 1;
        }
    }
}

TEST_F(PageTest, A5WithPaperOptionTwoGoesThroughAQuarterTurn) {
    // A5 with paper option 2 is fed short edge first: every sheet is turned a quarter, 4736 x 3264,
    // and the page header names paper 61. A portrait page is turned counter-clockwise (its corner at
    // the bottom left), a landscape one clockwise (upright); the back side of a short-edge duplex
    // job the other way. Shrunk pages keep the corner of the full page.
    const LONG W = 4736, H = 3264;
    const Box portrait{100, H - 400, 160, H - 100}, upright{100, 100, 400, 160}, clockwise{W - 160, 100, W - 100, 400};
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        std::vector<Box> sheets;
    } cases[] = {
        {"portrait", DevmodeBuilder(), {portrait}},
        {"portrait, zoom 50", DevmodeBuilder().zoom(50), {portrait}},
        {"landscape", DevmodeBuilder().landscape(), {upright}},
        {"landscape, zoom 50", DevmodeBuilder().landscape().zoom(50), {upright}},
        {"portrait, short-edge duplex", DevmodeBuilder().duplex(DMDUP_HORIZONTAL), {portrait, clockwise}},
        {"portrait, zoom 50, short-edge duplex", DevmodeBuilder().zoom(50).duplex(DMDUP_HORIZONTAL),
         {portrait, clockwise}},
        {"portrait, long-edge duplex", DevmodeBuilder().duplex(DMDUP_VERTICAL), {portrait, portrait}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        rastrel_dump::Result result =
            Print(c.settings.paper(DMPAPER_A5).paperOption(2), LONG(c.sheets.size()), Bar);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), c.sheets.size());
        for (size_t i = 0; i < c.sheets.size(); ++i) {
            const auto& sheet = result.sheets[i];
            EXPECT_EQ(sheet.item(3), 61u);
            EXPECT_EQ(sheet.width_pixels, uint32_t(W));
            EXPECT_EQ(sheet.height, uint32_t(H));
            EXPECT_EQ(BoxOf(sheet), c.sheets[i]) << "sheet " << i + 1;
        }
    }
}

TEST_F(PageTest, TwoPagesOnPaperWiderThanLongLieSideBySide) {
    // 216 x 148 mm: a raster of 4896 x 3264. Page n carries a centred black square n fifths of its
    // shorter side: both pages, each in a half of its own.
    for (bool landscape : {false, true}) {
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        DevmodeBuilder settings;
        settings.paper(300).customSize(2160, 1480).pagesPerSheet(2);
        if (landscape) settings.landscape();
        rastrel_dump::Result result = Print(settings, 2, [](PrinterDevice& device, int page) {
            const SIZEL cell = device.caps().printable;
            LONG side = std::min(cell.cx, cell.cy) * page / 5;
            device.fillRect({(cell.cx - side) / 2, (cell.cy - side) / 2, (cell.cx + side) / 2, (cell.cy + side) / 2}, 0);
        });
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), 1u);
        const auto& sheet = result.sheets[0];
        ASSERT_EQ(sheet.width_pixels, 4896u);
        ASSERT_EQ(sheet.height, 3264u);
        size_t ink[2] = {};
        for (LONG y = 0; y < LONG(sheet.height); ++y)
            for (LONG x = 0; x < LONG(sheet.width_pixels); ++x) ink[x < 2448 ? 0 : 1] += Inked(sheet, x, y);
        // The second page's square has four times the first one's area: it lies in the left half.
        ASSERT_GT(ink[1], 100000u);
        EXPECT_NEAR(double(ink[0]) / ink[1], 4.0, 0.1);
        Box box = BoxOf(sheet);
        EXPECT_GT(box.top, 0);
        EXPECT_LT(box.bottom, LONG(sheet.height));
    }
}

// Whether sheet b is sheet a seen through `same`: b's pixel (x, y) is inked exactly when `same`
// says so of a's pixel it comes from.
bool SheetsAgree(const rastrel_dump::Sheet& a, const rastrel_dump::Sheet& b,
                 const std::function<bool(const rastrel_dump::Sheet&, LONG, LONG)>& inkedAt) {
    if (a.width_pixels != b.width_pixels || a.height != b.height) return false;
    for (LONG y = 0; y < LONG(b.height); ++y)
        for (LONG x = 0; x < LONG(b.width_pixels); ++x)
            if (Inked(b, x, y) != inkedAt(a, x, y)) return false;
    return true;
}

TEST_F(PageTest, MirrorAndNegativeWithNupAndLandscape) {
    // Mirrored, the sheet is the mirror image of the plain one as the reader holds it: rows reversed
    // ("across") when the pages stand upright on the sheet, the order of the rows reversed ("down")
    // when they lie turned a quarter (landscape pages, 2-up portrait pages, N-up landscape pages).
    // In negative every pixel of the sheet is inverted.
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        int pages;
        bool across;
    } cases[] = {
        {"portrait", DevmodeBuilder(), 1, true},
        {"landscape", DevmodeBuilder().landscape(), 1, false},
        {"2-up portrait", DevmodeBuilder().pagesPerSheet(2), 2, false},
        {"2-up landscape", DevmodeBuilder().pagesPerSheet(2).landscape(), 2, true},
        {"4-up portrait", DevmodeBuilder().pagesPerSheet(4), 3, true},
        {"4-up landscape", DevmodeBuilder().pagesPerSheet(4).landscape(), 3, false},
    };
    // Page n: the bar near the page's top left, and n small squares below it.
    auto draw = [](PrinterDevice& device, int page) {
        Bar(device, page);
        for (int i = 0; i < page; ++i) device.fillRect({100 + 100 * i, 300, 160 + 100 * i, 360}, 0);
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        DevmodeBuilder mirrored = c.settings, negative = c.settings;
        rastrel_dump::Result plain = Print(c.settings, c.pages, draw);
        rastrel_dump::Result mirror = Print(mirrored.mirror(true), c.pages, draw);
        rastrel_dump::Result inverse = Print(negative.negative(true), c.pages, draw);
        ASSERT_TRUE(plain.ok() && mirror.ok() && inverse.ok());
        ASSERT_EQ(plain.sheets.size(), 1u);
        ASSERT_EQ(mirror.sheets.size(), 1u);
        ASSERT_EQ(inverse.sheets.size(), 1u);
        ASSERT_NE(BoxOf(plain.sheets[0]), Box{});
        const LONG w = LONG(plain.sheets[0].width_pixels), h = LONG(plain.sheets[0].height);
        bool across = c.across;
        EXPECT_TRUE(SheetsAgree(plain.sheets[0], mirror.sheets[0], [=](const rastrel_dump::Sheet& s, LONG x, LONG y) {
            return across ? Inked(s, w - 1 - x, y) : Inked(s, x, h - 1 - y);
        }));
        EXPECT_TRUE(SheetsAgree(plain.sheets[0], inverse.sheets[0],
                                [](const rastrel_dump::Sheet& s, LONG x, LONG y) { return !Inked(s, x, y); }));
    }
}

// A driver function of the device's table.
template <typename Fn>
Fn DriverFunction(const PrinterDevice& device, ULONG index) {
    const DRVENABLEDATA& data = device.driverData();
    for (ULONG i = 0; i < data.c; ++i)
        if (data.pdrvfn[i].iFunc == index) return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(data.pdrvfn[i].pfn));
    return nullptr;
}

TEST_F(PageTest, StrokesAlongTheRightOrBottomEdgeOfTheirClipKeepThatEdge) {
    // A one-pixel rectangle stroked from (l, t) to (r, b) with one rectangular clip: the clip grows
    // by a pixel to the right and down where the stroke runs along that edge, so that the stroke's
    // last column and row are drawn; never past the page.
    PrinterDevice device(kTestPrinter, DevmodeBuilder().devmode());
    const LONG pageW = device.caps().surface.cx, pageH = device.caps().surface.cy;
    auto* pdev = reinterpret_cast<DriverPdev*>(device.pdev());
    using StrokePath = BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
    auto stroke = DriverFunction<StrokePath>(device, INDEX_DrvStrokePath);
    ASSERT_NE(stroke, nullptr);
    struct Case {
        const char* what;
        RECTL path;  // corners of the stroked rectangle (pixels)
        RECTL clip;
        bool rightColumn, bottomRow;  // the stroke's right column and bottom row drawn
    } cases[] = {
        {"clip equal to the path's bounds", {100, 100, 200, 150}, {100, 100, 200, 150}, true, true},
        {"clip one wider: only the bottom grows", {100, 100, 200, 150}, {100, 100, 201, 150}, true, true},
        {"clip one taller: only the right grows", {100, 100, 200, 150}, {100, 100, 200, 151}, true, true},
        {"clip starting left of the path: no growth", {100, 100, 200, 150}, {99, 100, 200, 150}, false, false},
        {"clip starting above the path: no growth", {100, 100, 200, 150}, {100, 99, 200, 150}, false, false},
        {"clip short of the path on both edges: no growth", {100, 100, 200, 150}, {100, 100, 199, 149}, false, false},
        {"path reaching past the top left", {-10, -10, 200, 150}, {0, 0, 200, 150}, true, true},
        {"clip at the page's right edge", {pageW - 100, 100, pageW, 150}, {pageW - 100, 100, pageW, 150}, false, true},
        {"clip at the page's bottom edge", {100, pageH - 50, 200, pageH}, {100, pageH - 50, 200, pageH}, true, false},
    };
    SURFOBJ* surface = platform::engine::lockForDriver(device.surface());
    ASSERT_NE(surface, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
        PATHOBJ* path = EngCreatePath();
        auto fix = [](LONG x, LONG y) { return POINTFIX{x * 16, y * 16}; };
        POINTFIX corners[3] = {fix(c.path.right, c.path.top), fix(c.path.right, c.path.bottom),
                               fix(c.path.left, c.path.bottom)};
        ASSERT_TRUE(PATHOBJ_bMoveTo(path, fix(c.path.left, c.path.top)));
        ASSERT_TRUE(PATHOBJ_bPolyLineTo(path, corners, 3));
        ASSERT_TRUE(PATHOBJ_bCloseFigure(path));
        CLIPOBJ* clip = platform::engine::createClip({c.clip}, RECTL{0, 0, pageW, pageH});
        ASSERT_EQ(clip->iDComplexity, DC_RECT);
        BRUSHOBJ* brush = platform::engine::createSolidBrush(0);
        LINEATTRS line{};
        line.elWidth.l = 1;
        POINTL origin{0, 0};
        EXPECT_TRUE(stroke(surface, path, clip, nullptr, brush, &origin, &line, R2_COPYPEN | (R2_COPYPEN << 8)));
        auto inked = [&](LONG x, LONG y) {
            return x >= 0 && y >= 0 && x < pageW && y < pageH && pdev->pageBuffer[SIZE_T(y) * pageW + x] == 0;
        };
        const LONG midX = (std::max<LONG>(c.path.left, 0) + c.path.right) / 2;
        const LONG midY = (std::max<LONG>(c.path.top, 0) + c.path.bottom) / 2;
        EXPECT_EQ(inked(c.path.right, midY), c.rightColumn);
        EXPECT_EQ(inked(midX, c.path.bottom), c.bottomRow);
        // The clip as given is kept everywhere else.
        EXPECT_FALSE(inked(c.clip.left - 1, midY));
        EXPECT_FALSE(inked(c.path.right + 1, midY));
        EXPECT_FALSE(inked(midX, c.path.bottom + 1));
        platform::engine::deleteBrush(brush);
        EngDeleteClip(clip);
        EngDeletePath(path);
    }
    EngUnlockSurface(surface);
}

TEST_F(PageTest, TextLosesItsSimulatedBoldOnTheWayToThePage) {
    PrinterDevice device(kTestPrinter, DevmodeBuilder().devmode());
    const LONG pageW = device.caps().surface.cx, pageH = device.caps().surface.cy;
    auto* pdev = reinterpret_cast<DriverPdev*>(device.pdev());
    using TextOut = BOOL(APIENTRY*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                    POINTL*, MIX);
    auto textOut = DriverFunction<TextOut>(device, INDEX_DrvTextOut);
    ASSERT_NE(textOut, nullptr);
    struct Case {
        FLONG given, passed;
    } cases[] = {
        {FO_TYPE_TRUETYPE | FO_SIM_BOLD, FO_TYPE_TRUETYPE},
        {FO_TYPE_TRUETYPE | 0x01000000, FO_TYPE_TRUETYPE},
        {FO_TYPE_RASTER | FO_SIM_BOLD | FO_SIM_ITALIC | FO_GRAY16 | 0x01000000, FO_TYPE_RASTER | FO_SIM_ITALIC | FO_GRAY16},
        {FO_TYPE_DEVICE | FO_SIM_ITALIC, FO_TYPE_DEVICE | FO_SIM_ITALIC},
    };
    SURFOBJ* surface = platform::engine::lockForDriver(device.surface());
    ASSERT_NE(surface, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "flags " << c.given);
        std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
        platform::engine::Glyph glyph{{1000, 1000}, {0, -16}, {16, 16}, std::vector<BYTE>(32, 0xFF)};
        auto objects = platform::engine::createText({glyph}, c.given, RECTL{1000, 984, 1016, 1000});
        CLIPOBJ* clip = platform::engine::createClip({}, RECTL{0, 0, pageW, pageH});
        BRUSHOBJ* brush = platform::engine::createSolidBrush(0);
        POINTL origin{0, 0};
        EXPECT_TRUE(textOut(surface, objects.text, objects.font, clip, nullptr, nullptr, brush, nullptr, &origin,
                            R2_COPYPEN | (R2_COPYPEN << 8)));
        EXPECT_EQ(objects.font->flFontType, c.passed);
        EXPECT_EQ(pdev->pageBuffer[SIZE_T(990) * pageW + 1008], 0);  // the glyph reached the page
        platform::engine::deleteBrush(brush);
        EngDeleteClip(clip);
        platform::engine::deleteText(objects);
    }
    EngUnlockSurface(surface);
}

TEST_F(PageTest, PageBufferIsRetriedWhileMemoryIsShort) {
    platform::setFault("HeapAlloc", platform::Fault().failing(29).atLeast(4736 * 6784));
    {
        PrinterDevice device(kTestPrinter, DevmodeBuilder().devmode());
        EXPECT_EQ(platform::sleepLog(), std::vector<DWORD>(29, 100));
    }
    platform::clearFaults();
    platform::setFault("HeapAlloc", platform::Fault().failing(30).atLeast(4736 * 6784));
    EXPECT_THROW(PrinterDevice(kTestPrinter, DevmodeBuilder().devmode()), std::runtime_error);
}

}  // namespace
