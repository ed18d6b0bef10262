// The scanner driver binding against the stand-in driver: loading, the scan window and the geometry
// the driver answers, reading lines into chunks, and the bitmap header.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ProductConfig.h"
#include "Scanner.h"
#include "support/scan_machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using scantest::ScanMachine;

DWORD readDword(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24; }

TEST(ScannerBinding, TheDriverPathAndTheSecondDriverKind) {
    struct Case {
        std::u16string prefix;
        BOOL platformC;
    };
    const Case cases[] = {{u"vrx4410", FALSE}, {u"vrx3310", TRUE}, {u"VRX3310", FALSE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.prefix));
        ScanMachine scan(c.prefix);
        WCHAR path[MAX_PATH];
        EXPECT_TRUE(GetDriverDllPath(path));
        EXPECT_EQ(std::u16string(path), scan.driverPath());
        EXPECT_EQ(g_bIsPlatformC, c.platformC);
    }
}

TEST(ScannerBinding, ALibraryLackingAnyExportIsRefused) {
    struct Case {
        const char* what;
        bool incomplete;
        bool present;
    };
    const Case cases[] = {
        {"complete", false, true},
        {"without ScanDrv_GetCurTransferSize", true, true},
        {"missing", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan(u"vrx4410", c.incomplete);
        if (!c.present) DeleteFileW(scan.driverPath().c_str());
        CScanner scanner;
        const bool complete = !c.incomplete && c.present;
        EXPECT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), complete ? 0 : SCAN_ERROR_NO_DRIVER);
        EXPECT_EQ(scanner.m_hVQM != nullptr, complete);
        EXPECT_EQ(scanner.m_pfnGetCurScanLineNum != nullptr, complete);
        if (complete) {
            // Loading again closes nothing (not open) and frees the first load.
            EXPECT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), 0);
            EXPECT_TRUE(FreeLibrary(scanner.m_hVQM));
        }
        EXPECT_EQ(GetModuleHandleW(scan.driverPath().c_str()), nullptr);
    }
}

// A window set on the stand-in, then read: the geometry and the chunk's rows.
struct Geometry {
    const char* what;
    int source, colorMode, resolution, width, height;
    int pixelDelta;  // the driver's pixels per line against what was asked
    DWORD pixels, stride, lines, raw;
};

TEST(ScannerBinding, GeometryFromTheWindowAndTheDriversAnswer) {
    const Geometry cases[] = {
        {"full bed, 300 dpi colour", 0, 2, 300, 10205, 14031, 0, 2551, 7656, 3507, 7653},
        {"driver reports more pixels", 0, 2, 300, 10205, 14031, 5, 2551, 7656, 3507, 7668},
        {"driver reports fewer pixels", 0, 2, 300, 10205, 14031, -3, 2548, 7644, 3507, 7644},
        {"flatbed window capped to the glass", 0, 1, 300, 12000, 16800, 0, 2551, 2552, 3507, 2551},
        {"feeder not capped", 1, 1, 300, 12000, 16800, 0, 3000, 3000, 4200, 3000},
        {"line art", 0, 0, 600, 4252, 2598, 0, 2126, 268, 1299, 266},
    };
    for (const Geometry& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan;
        scan.script("pixels " + std::to_string(c.pixelDelta) + "\n");
        CScanner scanner;
        ASSERT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), 0);
        ASSERT_EQ(OpenScanner(scantest::kDevicePath, &scanner, TRUE), 0);
        ScanJobRecord job = scantest::makeJob(c.source, c.colorMode, c.resolution, c.width, c.height, false);
        ASSERT_EQ(SetScanParameters(&job.params, &scanner), 0);
        EXPECT_EQ(scanner.m_page.nPixelsPerLine, c.pixels);
        EXPECT_EQ(scanner.m_page.nStride, c.stride);
        EXPECT_EQ(scanner.m_page.nTotalLines, c.lines);
        EXPECT_EQ(scanner.m_page.nRawLineBytes, c.raw);
        EXPECT_EQ(job.params.nPixelsPerLine, static_cast<int>(c.pixels) + (c.pixelDelta > 0 ? c.pixelDelta : 0));
        CloseScanner(&scanner);
        FreeLibrary(scanner.m_hVQM);
    }
}

// A geometry past the glass (or past a longer feeder window) by more than half an inch at the job's
// resolution is the driver's failure: the scan is aborted and never started. At 150 dpi the glass with
// its margin is (10205 + 600) x 150 / 1200 = 1350 pixels by (14031 + 600) x 150 / 1200 = 1828 lines;
// Legal from the feeder at 300 dpi may have (16800 + 600) x 300 / 1200 = 4350 lines.
TEST(ScannerBinding, AGeometryFarBeyondTheGlassIsRefused) {
    struct Case {
        const char* what;
        int source, resolution, width, height;
        std::string script;
        const char* reported;  // the driver's answer in its journal
        int status;
    };
    const Case cases[] = {
        {"a billion pixels a line", 0, 150, 4252, 2598, "pixels 999999469\n", "1000000000 324", SCAN_ERROR_FAILED},
        {"pixels near 2^31", 0, 150, 4252, 2598, "pixels 2147483647\n", "2147483647 324", SCAN_ERROR_FAILED},
        {"lines near 2^31", 0, 150, 4252, 2598, "lines 2147483647\n", "531 2147483647", SCAN_ERROR_FAILED},
        {"no pixels at all", 0, 150, 4252, 2598, "pixels -600\n", "-69 324", SCAN_ERROR_FAILED},
        {"the glass and its margin", 0, 150, 4252, 2598, "pixels 819\nlines 1504\n", "1350 1828", 0},
        {"one pixel more", 0, 150, 4252, 2598, "pixels 820\n", "1351 324", SCAN_ERROR_FAILED},
        {"one line more", 0, 150, 4252, 2598, "lines 1505\n", "531 1829", SCAN_ERROR_FAILED},
        {"Legal from the feeder and its margin", 1, 300, 10200, 16800, "lines 150\n", "2550 4350", 0},
        {"Legal from the feeder, one line more", 1, 300, 10200, 16800, "lines 151\n", "2550 4351", SCAN_ERROR_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan;
        scan.script(c.script);
        CScanner scanner;
        ASSERT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), 0);
        ASSERT_EQ(OpenScanner(scantest::kDevicePath, &scanner, TRUE), 0);
        ScanJobRecord job = scantest::makeJob(c.source, SCAN_COLOR_GRAY, c.resolution, c.width, c.height, false);
        EXPECT_EQ(SetScanParameters(&job.params, &scanner), c.status);
        const auto journal = scan.journal();
        ASSERT_EQ(journal.size(), 5u);
        EXPECT_EQ(journal[3], std::string("ScanDrv_GetScanParameter 23713 ") + c.reported + " -> 0");
        EXPECT_EQ(journal[4], c.status == 0 ? "ScanDrv_StartScan 23713 -> 0" : "ScanDrv_AbortScan 23713 -> 0");
        CloseScanner(&scanner);
        FreeLibrary(scanner.m_hVQM);
    }
}

// The full bed at 300 dpi in colour, with a driver whose lines are longer than the rows: every chunk
// of 0x40000 bytes takes 34 rows (260304 bytes) and the last one the rest; the page reads back as
// the driver's page cut to the window.
TEST(ScannerBinding, ReadsWholeRowsIntoChunksAndCutsOverLongLines) {
    ScanMachine scan;
    scan.script("pixels 5\n");
    CScanner scanner;
    ASSERT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), 0);
    ASSERT_EQ(OpenScanner(scantest::kDevicePath, &scanner, TRUE), 0);
    ScanJobRecord job = scantest::makeJob(0, SCAN_COLOR_RGB, 300, 10205, 14031, false);
    ASSERT_EQ(SetScanParameters(&job.params, &scanner), 0);
    BYTE header[BITMAP_HEADER_MAX];
    DWORD headerLength = 0;
    ASSERT_TRUE(BuildBitmapHeader(&scanner, header, &headerLength));
    std::string page(reinterpret_cast<char*>(header), headerLength);
    std::vector<BYTE> chunk(0x40000 + 16, 0xEE);  // a guard after the chunk
    DWORD bytes = 0, percent = 0;
    std::vector<DWORD> sizes, percents;
    int result;
    while ((result = ReadScanLines(&scanner, chunk.data(), 0x40000, &bytes, &percent)) == 0) {
        sizes.push_back(bytes);
        percents.push_back(percent);
        page.append(reinterpret_cast<char*>(chunk.data()), bytes);
    }
    EXPECT_EQ(result, SCAN_END_OF_PAGE);
    ASSERT_EQ(sizes.size(), 104u);  // 103 x 34 rows + 5
    EXPECT_EQ(sizes.front(), 260304u);
    EXPECT_EQ(sizes.back(), 5u * 7656);
    EXPECT_EQ(percents.front(), 0u);  // 34 of 3507 lines
    EXPECT_EQ(percents[50], 49u);     // 1734 lines
    EXPECT_EQ(percents.back(), 100u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(chunk[0x40000 + i], 0xEE);
    EXPECT_EQ(page.size(), 54u + 7656u * 3507u);
    scantest::expectPageShows(page, 1, 2556, 3507, SCAN_COLOR_RGB);
    CloseScanner(&scanner);
    FreeLibrary(scanner.m_hVQM);
}

TEST(ScannerBinding, BadCallsAndStates) {
    ScanMachine scan;
    CScanner scanner;
    BYTE chunk[64];
    DWORD bytes = 0, percent = 0;
    EXPECT_EQ(OpenScanner(scantest::kDevicePath, &scanner, TRUE), SCAN_ERROR_FAILED);  // nothing loaded
    ScanJobRecord job = scantest::makeJob(0, SCAN_COLOR_GRAY, 300, 4252, 2598, false);
    EXPECT_EQ(SetScanParameters(&job.params, &scanner), SCAN_ERROR_NO_DRIVER);
    ASSERT_EQ(LoadScannerDriver(scan.driverPath().c_str(), &scanner), 0);
    EXPECT_EQ(OpenScanner(scantest::kDevicePath, &scanner, FALSE), SCAN_ERROR_FAILED);  // not requested
    EXPECT_EQ(ReadScanLines(&scanner, chunk, sizeof chunk, &bytes, &percent), SCAN_ERROR_FAILED);  // not open
    ASSERT_EQ(OpenScanner(scantest::kDevicePath, &scanner, TRUE), 0);
    job.params.nColorMode = 3;
    EXPECT_EQ(SetScanParameters(&job.params, &scanner), SCAN_ERROR_FAILED);
    job.params.nColorMode = SCAN_COLOR_GRAY;
    ASSERT_EQ(SetScanParameters(&job.params, &scanner), 0);
    EXPECT_EQ(ReadScanLines(&scanner, nullptr, sizeof chunk, &bytes, &percent), SCAN_ERROR_FAILED);
    EXPECT_EQ(ReadScanLines(&scanner, chunk, 0, &bytes, &percent), SCAN_ERROR_FAILED);
    // A chunk smaller than one row aborts the page.
    EXPECT_EQ(ReadScanLines(&scanner, chunk, sizeof chunk, &bytes, &percent), SCAN_ERROR_FAILED);
    EXPECT_EQ(scanner.m_page.nStride, 0u);
    EXPECT_FALSE(SwapRedBlue(0, chunk, 3, 1));
    EXPECT_FALSE(SwapRedBlue(1, chunk, 3, 0));
    CloseScanner(&scanner);
    FreeLibrary(scanner.m_hVQM);
    const std::vector<std::string> expected = {
        std::string("ScanDrv_Open \"") + scantest::kDevicePath + "\" -> 0",
        "ScanDrv_SetScanParameterAdj 23713 zeroed zeroed zeroed 18 72 0 0 -> 0",
        "ScanDrv_SetScanParameter 23713 300 300 3 0 0 4252 2598 127 0 -> 0",
        "ScanDrv_GetScanParameter 23713 1063 649 -> 0",
        "ScanDrv_AbortScan 23713 -> 0",
        "ScanDrv_SetScanParameterAdj 23713 zeroed zeroed zeroed 18 72 0 0 -> 0",
        "ScanDrv_SetScanParameter 23713 300 300 1 0 0 4252 2598 127 0 -> 0",
        "ScanDrv_GetScanParameter 23713 1063 649 -> 0",
        "ScanDrv_StartScan 23713 -> 0",
        "ScanDrv_AbortScan 23713 -> 0",
        "ScanDrv_Close 23713 -> 0",
    };
    EXPECT_EQ(scan.journal(), expected);
}

TEST(BitmapHeader, FieldsPaletteAndPixelsPerMetre) {
    struct Case {
        DWORD bits, resolution;
        DWORD entries;
        LONG perMetre;
    };
    const Case cases[] = {
        {1, 75, 2, 2952}, {8, 150, 256, 5905}, {24, 300, 0, 11811}, {24, 600, 0, 23622},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resolution);
        CScanner scanner;
        scanner.m_page = ScanPageState{0, 3507, 3507, 7656, 2551, c.bits, c.resolution, 7653};
        BYTE header[BITMAP_HEADER_MAX];
        DWORD length = 0;
        ASSERT_TRUE(BuildBitmapHeader(&scanner, header, &length));
        const DWORD offset = 54 + 4 * c.entries;
        EXPECT_EQ(length, offset);
        EXPECT_EQ(header[0], 'B');
        EXPECT_EQ(header[1], 'M');
        EXPECT_EQ(readDword(header + 2), offset + 7656u * 3507u);
        EXPECT_EQ(readDword(header + 6), 0u);
        EXPECT_EQ(readDword(header + 10), offset);
        EXPECT_EQ(readDword(header + 14), 40u);
        EXPECT_EQ(readDword(header + 18), 2551u);
        EXPECT_EQ(static_cast<LONG>(readDword(header + 22)), -3507);
        EXPECT_EQ(header[26] | header[27] << 8, 1);
        EXPECT_EQ(static_cast<DWORD>(header[28] | header[29] << 8), c.bits);
        EXPECT_EQ(readDword(header + 30), 0u);
        EXPECT_EQ(readDword(header + 34), 7656u * 3507u);
        EXPECT_EQ(static_cast<LONG>(readDword(header + 38)), c.perMetre);
        EXPECT_EQ(static_cast<LONG>(readDword(header + 42)), c.perMetre);
        EXPECT_EQ(readDword(header + 46), c.entries);
        EXPECT_EQ(readDword(header + 50), 0u);
        for (DWORD i = 0; i < c.entries; ++i) {
            const BYTE grey = static_cast<BYTE>(i * 255 / (c.entries - 1));
            EXPECT_EQ(readDword(header + 54 + 4 * i), static_cast<DWORD>(grey | grey << 8 | grey << 16)) << i;
        }
    }
}

}  // namespace
