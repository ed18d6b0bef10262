// The printing front (platform/printing.h) with the real driver: enabling and tearing down, the job
// calls in and out of order, what the drawing calls hand the driver, and the replay per band.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include "devmode_builder.h"
#include "platform/control.h"
#include "platform/printing.h"
#include "platform/testing/machine.h"
#include "rastrel_dump/stream.h"

namespace {

using platform::printing::Pattern;
using platform::printing::Picture;
using platform::printing::PrinterDevice;

const std::u16string kPrinter = u"Rastrel Printer";

class RastrelPrintFront : public ::testing::Test {
protected:
    void SetUp() override {
        platform::PrinterSetup setup;
        setup.name = kPrinter;
        setup.driverName = u"Rastrel Monochrome Laser";
        setup.driverModule = std::string(MFP_LIB_DIR) + "/Rastrel.so";
        setup.driverModuleName = u"Rastrel.dll";
        setup.defaultDevmode = DevmodeBuilder().str();
        platform::installPrinter(setup);
    }

    // The sheets of the device's job, decoded.
    static rastrel_dump::Result sheets(const PrinterDevice& device) {
        for (const platform::JobRecord& job : platform::printJobs())
            if (job.id == device.jobId()) {
                auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size());
                return rastrel_dump::parse(bytes);
            }
        ADD_FAILURE() << "no job " << device.jobId();
        return {};
    }

    static bool toner(const rastrel_dump::Sheet& s, uint32_t x, uint32_t y) {
        return (s.bits[y * s.row_bytes() + x / 8] >> (7 - x % 8)) & 1;
    }

    // The smallest rectangle holding all toner of a sheet (empty when there is none).
    static RECTL inked(const rastrel_dump::Sheet& s) {
        RECTL box{LONG(s.width_pixels), LONG(s.height), 0, 0};
        for (uint32_t y = 0; y < s.height; ++y)
            for (uint32_t x = 0; x < s.width_pixels; ++x)
                if (toner(s, x, y)) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box.right == 0 ? RECTL{0, 0, 0, 0} : box;
    }

    // One page with the given drawing, printed and read back.
    template <class Draw>
    rastrel_dump::Result printPage(PrinterDevice& device, Draw draw) {
        EXPECT_TRUE(device.startDoc(u"test")) << device.lastError();
        EXPECT_TRUE(device.startPage()) << device.lastError();
        draw(device);
        EXPECT_TRUE(device.endPage()) << device.lastError();
        EXPECT_TRUE(device.endDoc()) << device.lastError();
        return sheets(device);
    }

    platform::testing::Machine machine_;
};

bool sameRect(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string show(const RECTL& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

TEST_F(RastrelPrintFront, EnablesTheDeviceAndLeavesNothingBehind) {
    const size_t surfaces = platform::engine::liveSurfaceCount();
    const size_t palettes = platform::livePaletteCount();
    {
        PrinterDevice device(kPrinter);
        const auto& caps = device.caps();
        EXPECT_EQ(caps.printable.cx, 4736);
        EXPECT_EQ(caps.printable.cy, 6784);
        EXPECT_EQ(caps.physical.cx, 4960);
        EXPECT_EQ(caps.printableOffset.x, 112);
        EXPECT_EQ(caps.dpiX, 600u);
        EXPECT_EQ(caps.surface.cx, 4736);
        EXPECT_FALSE(caps.banded);
        EXPECT_EQ(caps.hooks, 0x385FFu) << "the 13 drawing calls the driver hooks";
        EXPECT_GT(platform::engine::liveSurfaceCount(), surfaces);
        // Drop the device in the middle of a page: the job is cancelled on the way out.
        ASSERT_TRUE(device.startDoc(u"dropped"));
        ASSERT_TRUE(device.startPage());
        ASSERT_TRUE(device.fillRect(RECTL{0, 0, 10, 10}, 0));
    }
    EXPECT_EQ(platform::engine::liveSurfaceCount(), surfaces);
    EXPECT_EQ(platform::livePaletteCount(), palettes);
    ASSERT_FALSE(platform::printJobs().empty());
    EXPECT_TRUE(platform::printJobs().back().complete);

    try {
        PrinterDevice missing(u"No Such Printer");
        FAIL() << "a missing printer was opened";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("OpenPrinterW"), std::string::npos) << e.what();
    }
}

TEST_F(RastrelPrintFront, TheCallersDevmodeIsLeftAsItWas) {
    DevmodeBuilder dm;
    dm.zoom(999).pagesPerSheet(3);  // out of range: the driver repairs its own copy
    const auto before = dm.bytes();
    PrinterDevice device(kPrinter, dm.devmode());
    EXPECT_EQ(dm.bytes(), before);
    EXPECT_EQ(device.caps().dpiX, 600u) << "zoom repaired to 100";
}

TEST_F(RastrelPrintFront, CallsOutOfOrderAreRefused) {
    PrinterDevice device(kPrinter);
    EXPECT_FALSE(device.startPage());
    EXPECT_EQ(device.lastError(), "no document is started");
    EXPECT_FALSE(device.endDoc());
    EXPECT_FALSE(device.fillRect(RECTL{0, 0, 5, 5}, 0));
    EXPECT_EQ(device.lastError(), "no page is started");
    ASSERT_TRUE(device.startDoc(u"order"));
    EXPECT_FALSE(device.startDoc(u"again"));
    EXPECT_FALSE(device.endPage());
    EXPECT_FALSE(device.text({}, 0)) << "no page yet";
    ASSERT_TRUE(device.startPage());
    EXPECT_FALSE(device.startPage());
    EXPECT_TRUE(device.fillRect(RECTL{5, 5, 5, 9}, 0)) << "an empty rectangle draws nothing";
    EXPECT_FALSE(device.polyline({{1, 1}}, {}));
    EXPECT_FALSE(device.picture(RECTL{0, 0, 5, 5}, std::make_shared<Picture>()));
    EXPECT_TRUE(device.endPage());
    EXPECT_TRUE(device.endDoc());
    EXPECT_EQ(device.pagesSent(), 1);
}

TEST_F(RastrelPrintFront, ACancelledDocumentSendsNoSheet) {
    PrinterDevice device(kPrinter);
    ASSERT_TRUE(device.startDoc(u"aborted"));
    ASSERT_TRUE(device.startPage());
    ASSERT_TRUE(device.fillRect(RECTL{0, 0, 100, 100}, 0));
    EXPECT_TRUE(device.endDoc(true)) << device.lastError();
    EXPECT_EQ(device.pagesSent(), 0);
    EXPECT_FALSE(device.inDocument());
    // The driver drops the job: whatever it wrote holds no sheet.
    EXPECT_TRUE(sheets(device).sheets.empty());
}

TEST_F(RastrelPrintFront, SolidFillsKeepToTheirClip) {
    PrinterDevice device(kPrinter);
    auto result = printPage(device, [](PrinterDevice& d) {
        ASSERT_TRUE(d.fillRect(RECTL{100, 200, 300, 260}, 0));
        // Of this one only the part inside the clip rectangles is drawn.
        ASSERT_TRUE(d.fillRect(RECTL{1000, 1000, 2000, 2000}, 0, {RECTL{1500, 1500, 1600, 1550}}));
    });
    ASSERT_EQ(result.sheets.size(), 1u);
    const auto& s = result.sheets[0];
    EXPECT_TRUE(toner(s, 100, 200));
    EXPECT_TRUE(toner(s, 299, 259));
    EXPECT_FALSE(toner(s, 300, 259));
    EXPECT_FALSE(toner(s, 99, 200));
    EXPECT_FALSE(toner(s, 1499, 1500));
    EXPECT_TRUE(toner(s, 1500, 1500));
    EXPECT_TRUE(toner(s, 1599, 1549));
    EXPECT_FALSE(toner(s, 1600, 1549));
    EXPECT_FALSE(toner(s, 1000, 1000));
}

// A pattern rectangle comes with a trivial clip whose bounds are the rectangle, which the driver
// fills itself: each pattern pixel becomes a 4 x 4 cell, the pattern repeating every 32 pixels.
TEST_F(RastrelPrintFront, PatternRectanglesTakeTheDriversOwnFill) {
    PrinterDevice device(kPrinter);
    Pattern pattern;
    pattern.rows = {0x80, 0, 0, 0, 0, 0, 0, 0};  // one ink pixel, top left
    auto result = printPage(device, [&](PrinterDevice& d) { ASSERT_TRUE(d.patternRect(RECTL{320, 640, 416, 704}, pattern)); });
    ASSERT_EQ(result.sheets.size(), 1u);
    const auto& s = result.sheets[0];
    for (LONG y = 640; y < 704; ++y)
        for (LONG x = 320; x < 416; ++x) {
            bool cell = (x - 320) % 32 < 4 && (y - 640) % 32 < 4;
            ASSERT_EQ(toner(s, x, y), cell) << x << "," << y;
        }
    EXPECT_TRUE(sameRect(inked(s), RECTL{320, 640, 388, 676})) << show(inked(s));
}

TEST_F(RastrelPrintFront, LinesPathsTextAndPicturesReachThePage) {
    PrinterDevice device(kPrinter);
    auto result = printPage(device, [](PrinterDevice& d) {
        ASSERT_TRUE(d.line({100, 100}, {400, 100}, {}));                      // DrvLineTo
        ASSERT_TRUE(d.line({100, 200}, {400, 200}, {0, 20}));                 // geometric DrvStrokePath
        platform::printing::Path ellipse;
        ellipse.ellipse(600, 100, 800, 300);
        ASSERT_TRUE(d.fillPath(ellipse, 0));                                  // DrvFillPath with curves
        platform::engine::Glyph g;
        g.position = {1000, 300};
        g.origin = {0, -16};
        g.size = {16, 16};
        g.bits.assign(32, 0xFF);
        ASSERT_TRUE(d.text({g}, 0));                                          // DrvTextOut
        auto picture = std::make_shared<Picture>(Picture::blank(10, 10, BMF_24BPP));
        std::memset(picture->bits.data(), 0, picture->bits.size());
        ASSERT_TRUE(d.picture(RECTL{1200, 100, 1210, 110}, picture));         // DrvCopyBits
        ASSERT_TRUE(d.picture(RECTL{1300, 100, 1400, 200}, picture));         // DrvStretchBlt
    });
    ASSERT_EQ(result.sheets.size(), 1u);
    const auto& s = result.sheets[0];
    EXPECT_TRUE(toner(s, 250, 100));
    EXPECT_TRUE(toner(s, 250, 192) && toner(s, 250, 207));
    EXPECT_FALSE(toner(s, 250, 185) || toner(s, 250, 215));
    EXPECT_TRUE(toner(s, 700, 200));
    EXPECT_FALSE(toner(s, 605, 105)) << "outside the ellipse, inside its box";
    EXPECT_TRUE(toner(s, 1000, 284) && toner(s, 1015, 299));
    EXPECT_FALSE(toner(s, 1000, 300) || toner(s, 1016, 290));
    EXPECT_TRUE(toner(s, 1200, 100) && toner(s, 1209, 109));
    EXPECT_FALSE(toner(s, 1210, 105));
    EXPECT_TRUE(toner(s, 1350, 150) && toner(s, 1399, 199));
    EXPECT_FALSE(toner(s, 1400, 150));
}

TEST_F(RastrelPrintFront, EscapesGoToTheDriver) {
    PrinterDevice device(kPrinter);
    ULONG asked = 17;  // SETCOPYCOUNT
    EXPECT_EQ(device.escape(8, &asked, sizeof asked), 1u);
    asked = 4242;
    EXPECT_EQ(device.escape(8, &asked, sizeof asked), 0u);
    EXPECT_EQ(device.escape(12345, nullptr, 0), 0u);
    EXPECT_NE(device.lastError().find("DrvEscape"), std::string::npos) << device.lastError();
}

// A poster page is drawn once a band, moved by the band's origin: a mark across the middle shows
// on the sheets on both sides, and a picture made on demand is asked only for what each band shows.
TEST_F(RastrelPrintFront, BandedPagesArePlayedOncePerBand) {
    DevmodeBuilder dm;
    dm.pagesPerSheet(22);
    PrinterDevice device(kPrinter, dm.devmode());
    const auto caps = device.caps();
    ASSERT_TRUE(caps.banded);
    ASSERT_EQ(caps.printable.cx, 2 * caps.surface.cx);
    ASSERT_EQ(caps.printable.cy, 2 * caps.surface.cy);
    const LONG midX = caps.surface.cx, midY = caps.surface.cy;

    std::vector<RECTL> asked;
    const RECTL dest{midX - 300, midY - 200, midX + 100, midY + 600};
    auto source = [&](const RECTL& part, std::string*) -> std::optional<Picture> {
        asked.push_back(part);
        Picture p = Picture::blank(part.right - part.left, part.bottom - part.top, BMF_32BPP);
        std::memset(p.bits.data(), 0, p.bits.size());
        return p;
    };
    auto result = printPage(device, [&](PrinterDevice& d) {
        ASSERT_TRUE(d.fillRect(RECTL{midX - 50, 100, midX + 50, 200}, 0));
        ASSERT_TRUE(d.renderedPicture(dest, source, 256));
    });
    EXPECT_EQ(device.lastPageBands(), 4);
    ASSERT_EQ(result.sheets.size(), 4u);
    // The fill: its left half ends the first sheet, its right half begins the second.
    EXPECT_TRUE(sameRect(inked(result.sheets[0]), RECTL{midX - 300, 100, midX, midY}))
        << show(inked(result.sheets[0]));
    RECTL second = inked(result.sheets[1]);
    EXPECT_TRUE(sameRect(second, RECTL{0, 100, 100, midY})) << show(second);
    EXPECT_TRUE(sameRect(inked(result.sheets[2]), RECTL{midX - 300, 0, midX, 600})) << show(inked(result.sheets[2]));
    EXPECT_TRUE(sameRect(inked(result.sheets[3]), RECTL{0, 0, 100, 600})) << show(inked(result.sheets[3]));

    // Every part asked for lies inside the picture and inside one band; together they cover each
    // band's share of the picture once, in strips of at most 256 rows.
    long long area = 0;
    for (const RECTL& p : asked) {
        EXPECT_GE(p.left, 0);
        EXPECT_GE(p.top, 0);
        EXPECT_LE(p.right, dest.right - dest.left);
        EXPECT_LE(p.bottom, dest.bottom - dest.top);
        EXPECT_LE(p.bottom - p.top, 256);
        LONG x0 = p.left + dest.left, x1 = p.right + dest.left - 1;
        LONG y0 = p.top + dest.top, y1 = p.bottom + dest.top - 1;
        EXPECT_EQ(x0 < midX, x1 < midX) << show(p);
        EXPECT_EQ(y0 < midY, y1 < midY) << show(p);
        area += static_cast<long long>(p.right - p.left) * (p.bottom - p.top);
    }
    EXPECT_EQ(area, static_cast<long long>(dest.right - dest.left) * (dest.bottom - dest.top));
}

}  // namespace
