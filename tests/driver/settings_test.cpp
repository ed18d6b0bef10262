// Print settings: the paper table, the DEVMODE repair rules and the page geometry.
#include <cmath>
#include <cstring>
#include <vector>

#include "rastrel.h"
#include "support/driver_fixture.h"

namespace {

// Fills a zeroed record from a DEVMODE as the device does, after the repair.
DriverPdev Settings(DevmodeBuilder dm, bool fullSize = true) {
    std::vector<unsigned char> bytes = dm.bytes();
    bytes.resize(kPrivateDevmodeSize);
    ValidateDevmode(bytes.data());
    DriverPdev pdev{};
    InitPdevFromDevmode(&pdev, bytes.data(), fullSize);
    return pdev;
}

LONG Up32(LONG v) { return (v + 31) / 32 * 32; }

TEST(SettingsTest, EveryPaperOfTheTableHasItsGeometry) {
    // Pixels at 600 dpi from the sizes in 0.1 mm, margins 5 mm a side, computed exactly.
    struct Row {
        int16_t id;
        LONG physW, physH, printW, printH;
        int16_t code;
        bool envelope;
    } rows[] = {
        {9, 4960, 7015, 4724, 6779, 1, false},    {1, 5100, 6600, 4863, 6363, 2, false},
        {41, 5100, 7800, 4863, 7563, 3, false},   {5, 5100, 8400, 4863, 8163, 4, false},
        {13, 4299, 6070, 4062, 5834, 5, false},   {37, 2324, 4500, 2088, 4263, 6, true},
        {27, 2598, 5196, 2362, 4960, 7, true},    {28, 3826, 5409, 3590, 5173, 8, true},
        {20, 2475, 5700, 2239, 5463, 9, true},    {91, 2480, 5527, 2244, 5291, 10, false},
        {11, 3496, 4960, 3259, 4724, 11, false},  {43, 2362, 3496, 2125, 3259, 12, true},
        {73, 2834, 5551, 2598, 5314, 13, false},  {263, 4370, 6141, 4133, 5905, 14, false},
        {264, 4606, 6377, 4370, 6141, 15, false}, {266, 3070, 4370, 2834, 4133, 16, false},
        {260, 3188, 4606, 2952, 4370, 17, false}, {70, 2480, 3496, 2244, 3259, 19, false},
        {34, 4157, 5905, 3921, 5669, 20, false},  {7, 4351, 6300, 4114, 6063, 21, false},
        {14, 5100, 7800, 4863, 7563, 22, false},  {269, 5102, 8102, 4866, 7866, 23, false},
        {6, 3300, 5100, 3063, 4863, 24, false},   {31, 2692, 3826, 2456, 3590, 25, true},
        {270, 2834, 5433, 2598, 5196, 26, true},  {271, 2952, 4157, 2716, 3921, 28, false},
    };
    ASSERT_EQ(std::size(rows), static_cast<size_t>(kPaperTableRows));
    for (int i = 0; i < kPaperTableRows; ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(testing::Message() << "paper " << row.id);
        EXPECT_EQ(FindPaperEntry(row.id), i);
        for (bool landscape : {false, true}) {
            DevmodeBuilder dm;
            dm.paper(row.id).source(DMBIN_UPPER);
            if (landscape) dm.landscape();
            DriverPdev pdev = Settings(dm);
            LONG physW = landscape ? row.physH : row.physW, physH = landscape ? row.physW : row.physH;
            LONG printW = landscape ? row.printH : row.printW, printH = landscape ? row.printW : row.printH;
            EXPECT_EQ(pdev.paperId, row.id);
            EXPECT_EQ(pdev.physicalWidth, physW);
            EXPECT_EQ(pdev.physicalHeight, physH);
            EXPECT_EQ(pdev.printableWidth, Up32(printW));
            EXPECT_EQ(pdev.printableHeight, Up32(printH));
            EXPECT_EQ(pdev.bandWidth, Up32(printW));
            EXPECT_EQ(pdev.sheetHeight, Up32(printH));
            EXPECT_EQ(pdev.printerPaperCode, row.code);
            // Envelopes always come from the manual feed.
            EXPECT_EQ(pdev.mediaSource, row.envelope ? 1 : 2);
        }
    }
    EXPECT_EQ(FindPaperEntry(300), -1);
    EXPECT_EQ(FindPaperEntry(-1), -1);
    EXPECT_EQ(FindPaperEntry(0x10009), 0);  // the id is taken as 16 bits
}

TEST(SettingsTest, RepairRulesOfThePrivatePart) {
    struct Rule {
        size_t offset;
        bool wide;  // 32-bit field
        int32_t given, kept;
    } rules[] = {
        {226, false, 0, 1},     {226, false, 5, 5},    {226, false, 3, 1},   {496, true, 24, 100},
        {496, true, 400, 400},  {496, true, 401, 100}, {500, false, 3, 1},   {500, false, 22, 22},
        {500, false, 9, 9},     {500, false, -2, 1},   {2172, false, 5, 2},  {2172, false, -1, 2},
        {2172, false, 4, 4},    {2176, false, 24, 100}, {2176, false, 401, 100}, {2176, false, 25, 25},
        // Custom paper (an id outside the table): width 750..2160, length 1480..3560.
        {82, false, 700, 2100}, {82, false, 2161, 2100}, {82, false, 750, 750}, {80, false, 1479, 2970},
        {80, false, 3560, 3560},
        // The watermark's centre, percent of the page: 0..100.
        {2990, false, 5000, 100}, {2990, false, -1, 0}, {2990, false, 100, 100}, {2992, false, 101, 100},
        {2992, false, -32768, 0}, {2992, false, 0, 0},
    };
    for (const auto& rule : rules) {
        SCOPED_TRACE(testing::Message() << "offset " << rule.offset << " value " << rule.given);
        DevmodeBuilder dm;
        dm.paper(300).put32(220, 0).put16(224, 7);
        if (rule.wide)
            dm.put32(rule.offset, static_cast<uint32_t>(rule.given));
        else
            dm.put16(rule.offset, static_cast<int16_t>(rule.given));
        std::vector<unsigned char> bytes = dm.bytes();
        ValidateDevmode(bytes.data());
        DevmodeBuilder after;
        std::memcpy(after.devmode(), bytes.data(), bytes.size());
        EXPECT_EQ(rule.wide ? static_cast<int32_t>(after.get32(rule.offset)) : after.get16(rule.offset), rule.kept);
        EXPECT_EQ(after.get32(220), 0x56495250u);  // "PRIV"
        EXPECT_EQ(after.get16(224), 1);
    }
    // Papers of the table keep their custom fields as they are.
    DevmodeBuilder a4;
    a4.customSize(10, 10);
    std::vector<unsigned char> bytes = a4.bytes();
    ValidateDevmode(bytes.data());
    EXPECT_EQ(std::memcmp(bytes.data() + 80, a4.bytes().data() + 80, 4), 0);
}

TEST(SettingsTest, PagesPerSheetOrderAndPoster) {
    EXPECT_EQ(Settings(DevmodeBuilder().pagesPerSheet(3)).pagesPerSheet, 1);

    DriverPdev poster = Settings(DevmodeBuilder().pagesPerSheet(22).zoom(80));
    EXPECT_EQ(poster.pagesPerSheet, 1);
    EXPECT_EQ(poster.bandingKind, 2);
    EXPECT_EQ(poster.zoom, 200.0);
    EXPECT_TRUE(poster.banding);
    EXPECT_EQ(poster.printableWidth, Up32(4724 * 2));
    EXPECT_EQ(poster.bandWidth, Up32(4724));

    struct Order {
        int16_t pages, raw;
        LONG order;
    } orders[] = {{2, 0, 1}, {2, 5, 6}, {2, 7, 1}, {4, 7, 3}, {9, -1, 3}, {4, 3, 4}};
    for (const auto& o : orders) {
        SCOPED_TRACE(testing::Message() << o.pages << " pages, order " << o.raw);
        EXPECT_EQ(Settings(DevmodeBuilder().pagesPerSheet(o.pages).nupOrder(o.raw)).nupOrder, o.order);
    }
}

TEST(SettingsTest, DensityEffectsAndJobSettings) {
    struct Density {
        int16_t level;
        bool off;
        BYTE expected;
    } densities[] = {{0, false, 0}, {1, false, 2}, {2, false, 4}, {3, false, 1}, {4, false, 1},
                     {0, true, 0},  {1, true, 0},  {2, true, 0},  {9, false, 4}};  // 9 is repaired to 2
    for (const auto& d : densities) {
        SCOPED_TRACE(testing::Message() << "level " << d.level << (d.off ? " off" : ""));
        EXPECT_EQ(Settings(DevmodeBuilder().density(d.level).densityOff(d.off)).density, d.expected);
    }
    DriverPdev all = Settings(DevmodeBuilder().mirror(true).rotate180(true).negative(true));
    EXPECT_EQ(all.pageEffects, kEffectMirror | kEffectRotate180 | kEffectNegative);
    EXPECT_EQ(Settings(DevmodeBuilder().mirror(true).put16(2168, 2)).pageEffects, kEffectMirror);

    DriverPdev job = Settings(DevmodeBuilder()
                                  .copies(3)
                                  .collate(true)
                                  .reverse(true)
                                  .duplex(DMDUP_HORIZONTAL)
                                  .quality(1200)
                                  .mediaType(0x12345)
                                  .scale(5)
                                  .source(DMBIN_MANUAL));
    EXPECT_EQ(job.copies, 3);
    EXPECT_EQ(job.collate, 1u);
    EXPECT_EQ(job.reverseOrder, 1u);
    EXPECT_EQ(job.duplexKind, 1);
    EXPECT_EQ(job.outputResolution, 1200);
    EXPECT_EQ(job.mediaType, 0x2345);
    EXPECT_EQ(job.scale, 100);  // outside 10..400
    EXPECT_EQ(job.mediaSource, 1);
    EXPECT_EQ(job.xResolution, 600u);
    EXPECT_EQ(Settings(DevmodeBuilder().duplex(DMDUP_VERTICAL)).duplexKind, 2);
    EXPECT_EQ(Settings(DevmodeBuilder().duplex(DMDUP_SIMPLEX)).duplexKind, 0);
    EXPECT_EQ(Settings(DevmodeBuilder().quality(300)).outputResolution, 600);
    // A copy count below 1 prints one copy.
    EXPECT_EQ(Settings(DevmodeBuilder().copies(-4)).copies, 1);
}

TEST(SettingsTest, A5PaperOptionAndCustomPaper) {
    EXPECT_EQ(Settings(DevmodeBuilder().paper(DMPAPER_A5).paperOption(2)).printerPaperCode, 18);
    EXPECT_EQ(Settings(DevmodeBuilder().paper(DMPAPER_A5).paperOption(1)).printerPaperCode, 11);
    EXPECT_EQ(Settings(DevmodeBuilder().paper(DMPAPER_A4).paperOption(2)).printerPaperCode, 1);

    DriverPdev custom = Settings(DevmodeBuilder().paper(300).customSize(700, 2970));
    EXPECT_EQ(custom.paperId, 300);
    EXPECT_EQ(custom.printerPaperCode, 0);
    EXPECT_EQ(custom.customPaperWidth, 2100);
    EXPECT_EQ(custom.physicalWidth, 4960);
    EXPECT_EQ(custom.physicalHeight, 7015);
    EXPECT_EQ(custom.printableWidth, 4736);
    EXPECT_EQ(custom.printableHeight, 6784);
}

TEST(SettingsTest, NupScaleAndZoom) {
    DriverPdev twoUp = Settings(DevmodeBuilder().pagesPerSheet(2));
    EXPECT_EQ(twoUp.nupLayoutKind, 1);
    EXPECT_NEAR(twoUp.zoom, 3291.0 / 4724 * 100, 1e-9);
    EXPECT_FALSE(twoUp.banding);
    EXPECT_EQ(twoUp.printableWidth % 8, 0);
    EXPECT_EQ(twoUp.printableWidth, 3288);  // 4724 x 69.67 % = 3291, down to a multiple of 8
    EXPECT_EQ(twoUp.bandWidth, 4736);       // the sheet stays the whole printable area

    DriverPdev twoUpLandscape = Settings(DevmodeBuilder().pagesPerSheet(2).landscape());
    EXPECT_EQ(twoUpLandscape.nupLayoutKind, 4);
    EXPECT_NEAR(twoUpLandscape.zoom, 4724.0 / 6779 * 100, 1e-9);

    EXPECT_EQ(Settings(DevmodeBuilder().pagesPerSheet(4).zoom(300)).zoom, 50.0);
    EXPECT_EQ(Settings(DevmodeBuilder().pagesPerSheet(9)).zoom, 33.3333);

    // A zoom below 100 shrinks the band; above 100 it turns banding on.
    DriverPdev half = Settings(DevmodeBuilder().zoom(50));
    EXPECT_EQ(half.bandWidth, Up32(4724 / 2));
    EXPECT_EQ(half.printableHeight, Up32(6779 / 2));
    EXPECT_FALSE(half.banding);
    DriverPdev big = Settings(DevmodeBuilder().zoom(150));
    EXPECT_TRUE(big.banding);
    EXPECT_EQ(big.bandWidth, 4736);
    EXPECT_EQ(big.printableWidth, Up32(4724 * 3 / 2));
}

TEST(SettingsTest, WatermarkSettingsAreCutAndTerminated) {
    std::u16string longText(80, u'W');
    DriverPdev text = Settings(DevmodeBuilder()
                                   .textWatermark(longText, u"DejaVu Sans", 48, 45, 3)
                                   .put16(2966, 1)
                                   .put16(2968, 1)
                                   .watermarkPosition(1, 20, 80)
                                   .watermarkFirstPageOnly(true));
    EXPECT_EQ(text.watermark.kind, 1);
    EXPECT_EQ(std::u16string(text.watermark.text), std::u16string(63, u'W'));
    EXPECT_EQ(std::u16string(text.watermark.faceName), u"DejaVu Sans");
    EXPECT_EQ(text.watermark.fontSize, 48);
    EXPECT_EQ(text.watermark.angle, 45);
    EXPECT_EQ(text.watermark.darkness, 70);
    EXPECT_EQ(text.watermark.style, 3u);
    EXPECT_TRUE(text.watermark.placed);
    EXPECT_EQ(text.watermark.xPercent, 20);
    EXPECT_EQ(text.watermark.yPercent, 80);
    EXPECT_TRUE(text.watermark.firstPageOnly);

    struct Darkness {
        int16_t level;
        LONG percent;
    } levels[] = {{0, 10}, {1, 30}, {2, 50}, {3, 70}, {4, 90}, {5, 50}, {-1, 50}};
    for (const auto& d : levels)
        EXPECT_EQ(Settings(DevmodeBuilder().textWatermark(u"x", u"f", 10, 0, d.level)).watermark.darkness, d.percent);
    EXPECT_FALSE(Settings(DevmodeBuilder().textWatermark(u"x", u"f", 10, 0, 0).watermarkPosition(5, 1, 1))
                     .watermark.placed);

    DriverPdev image = Settings(DevmodeBuilder().imageWatermark(u"C:\\mark.bmp", true));
    EXPECT_EQ(image.watermark.kind, 2);
    EXPECT_EQ(std::u16string(image.watermark.imagePath), u"C:\\mark.bmp");
    EXPECT_TRUE(image.watermark.imageBlend);
    EXPECT_EQ(Settings(DevmodeBuilder().put16(2182, 3)).watermark.kind, 0);
}

TEST(SettingsTest, DevmodeCopyOnlyOfFullSizeDevmodes) {
    DevmodeBuilder dm;
    dm.landscape();
    DriverPdev full = Settings(dm, true);
    EXPECT_EQ(std::memcmp(full.devmodeCopy + 76, dm.bytes().data() + 76, 2), 0);
    EXPECT_EQ(full.headSignature, kPdevHeadSignature);
    EXPECT_EQ(full.tailSignature, kPdevTailSignature);
    EXPECT_EQ(full.size, sizeof(DriverPdev));
    DriverPdev shorter = Settings(dm, false);
    for (BYTE b : shorter.devmodeCopy) ASSERT_EQ(b, 0);
}

}  // namespace
