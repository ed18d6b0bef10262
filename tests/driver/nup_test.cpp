// N-up sheets: the page store, the layout grids of the six orders and the framing of each page.
#include "support/job_fixture.h"

namespace {

class NupTest : public JobTest {
protected:
    // A device for N-up settings with its page buffer (one cell) and its own white sheet buffer.
    DriverPdev* NupDevice(DevmodeBuilder dm) {
        DriverPdev* pdev = Device(std::move(dm));
        HeapFree(GetProcessHeap(), 0, pdev->pageBuffer);
        SIZE_T page = SIZE_T(pdev->printableWidth) * pdev->printableHeight;
        SIZE_T sheet = SIZE_T(pdev->sheetWidth) * pdev->sheetHeight;
        pdev->pageBuffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, page));
        pdev->pageBufferSize = static_cast<DWORD>(page);
        pdev->sheetBuffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, sheet));
        std::memset(pdev->sheetBuffer, 255, sheet);
        EXPECT_TRUE(OpenNupTempFile(pdev));
        return pdev;
    }

    // Stores page n as a page of grey 10 x n.
    static void StorePage(DriverPdev* pdev, int n) {
        std::memset(pdev->pageBuffer, 10 * n, pdev->pageBufferSize);
        ASSERT_TRUE(StoreNupPage(pdev));
    }

    // The page whose grey is at a point of the sheet (0 for white).
    static int PageAt(const DriverPdev* pdev, LONG x, LONG y) {
        BYTE v = pdev->sheetBuffer[SIZE_T(y) * pdev->sheetWidth + x];
        return v == 255 ? 0 : v / 10;
    }

    // The page in the middle of each cell, row by row, for cells of the given size laid out from the
    // given corner.
    static std::vector<std::vector<int>> Cells(const DriverPdev* pdev, int rows, int columns, LONG left, LONG top,
                                               LONG width, LONG height) {
        std::vector<std::vector<int>> cells(rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                cells[r].push_back(PageAt(pdev, left + c * width + width / 2, top + r * height + height / 2));
        return cells;
    }
};

using Layout = std::vector<std::vector<int>>;

TEST_F(NupTest, SixOrdersAtFourAndNinePagesASheet) {
    // A4 cells: 4-up 2360 x 3384 from (8, 8); 9-up 1568 x 2256 from (16, 8); landscape pages are
    // turned upright first, so their cells are the same.
    struct Case {
        int16_t pages, order;  // order as the DEVMODE gives it, 0..5
        bool landscape;
        Layout layout;
    } cases[] = {
        {4, 2, false, {{1, 2}, {3, 4}}},          {4, 2, true, {{2, 4}, {1, 3}}},
        {4, 3, false, {{1, 3}, {2, 4}}},          {4, 3, true, {{3, 4}, {1, 2}}},
        {4, 4, false, {{2, 1}, {4, 3}}},          {4, 4, true, {{1, 3}, {2, 4}}},
        {4, 5, false, {{3, 1}, {4, 2}}},          {4, 5, true, {{1, 2}, {3, 4}}},
        {9, 2, false, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}, {9, 2, true, {{3, 6, 9}, {2, 5, 8}, {1, 4, 7}}},
        {9, 3, false, {{1, 4, 7}, {2, 5, 8}, {3, 6, 9}}}, {9, 3, true, {{7, 8, 9}, {4, 5, 6}, {1, 2, 3}}},
        {9, 4, false, {{3, 2, 1}, {6, 5, 4}, {9, 8, 7}}}, {9, 4, true, {{1, 4, 7}, {2, 5, 8}, {3, 6, 9}}},
        {9, 5, false, {{7, 4, 1}, {8, 5, 2}, {9, 6, 3}}}, {9, 5, true, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}},
        // The two-page orders fall back to order 3 on a sheet of more pages: no page is left out.
        {4, 0, false, {{1, 2}, {3, 4}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, order " << c.order << (c.landscape ? " landscape" : ""));
        Restart();
        DevmodeBuilder dm;
        dm.pagesPerSheet(c.pages).nupOrder(c.order);
        if (c.landscape) dm.landscape();
        DriverPdev* pdev = NupDevice(dm);
        for (int n = 1; n <= c.pages; ++n) StorePage(pdev, n);
        BOOL composed = FALSE;
        ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfPage, &composed));
        ASSERT_TRUE(composed);
        EXPECT_EQ(pdev->nupStored, 0);
        int side = c.pages == 4 ? 2 : 3;
        EXPECT_EQ(Cells(pdev, side, side, c.pages == 4 ? 8 : 16, 8, c.pages == 4 ? 2360 : 1568,
                        c.pages == 4 ? 3384 : 2256),
                  c.layout);
        // Margins stay white.
        EXPECT_EQ(PageAt(pdev, 2, 2), 0);
        EXPECT_EQ(PageAt(pdev, pdev->sheetWidth - 3, pdev->sheetHeight - 3), 0);
    }
}

TEST_F(NupTest, TwoPagesASheetAreTurnedAndFramedInHalves) {
    // Portrait A4 2-up (layout kind 1): each page turned a quarter and centred in a half sheet of
    // 4720 x 3392, 8 pixels in from the left.
    struct Case {
        int16_t order;
        Layout layout;
    } cases[] = {{0, {{2}, {1}}}, {1, {{1}, {2}}}};
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "order " << c.order);
        Restart();
        DriverPdev* pdev = NupDevice(DevmodeBuilder().pagesPerSheet(2).nupOrder(c.order));
        ASSERT_EQ(pdev->nupLayoutKind, 1);
        StorePage(pdev, 1);
        StorePage(pdev, 2);
        EXPECT_EQ(pdev->nupSlots[0].width, 4720);
        EXPECT_EQ(pdev->nupSlots[0].height, 3392);
        BOOL composed = FALSE;
        ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfPage, &composed));
        EXPECT_EQ(Cells(pdev, 2, 1, 8, 0, 4720, 3392), c.layout);
        // The page (3288 high once turned) is centred in its 3392-row half: 52 white rows above it.
        EXPECT_EQ(PageAt(pdev, 2368, 50), 0);
        EXPECT_NE(PageAt(pdev, 2368, 53), 0);
    }
}

TEST_F(NupTest, TwoPagesASheetInEveryOrderAndOrientation) {
    // Two pages lie in one column: the orders that start at the left (3, 4) compose as order 1, those
    // that start at the right (5, 6) as order 2.
    struct Case {
        int16_t order;  // as the DEVMODE gives it, 0..5
        bool landscape;
        int top, bottom;
    } cases[] = {
        {0, false, 2, 1}, {1, false, 1, 2}, {2, false, 2, 1}, {3, false, 2, 1}, {4, false, 1, 2}, {5, false, 1, 2},
        {0, true, 1, 2},  {1, true, 2, 1},  {2, true, 1, 2},  {3, true, 1, 2},  {4, true, 2, 1},  {5, true, 2, 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "order " << c.order + 1 << (c.landscape ? " landscape" : " portrait"));
        Restart();
        DevmodeBuilder dm;
        dm.pagesPerSheet(2).nupOrder(c.order);
        if (c.landscape) dm.landscape();
        DriverPdev* pdev = NupDevice(dm);
        StorePage(pdev, 1);
        StorePage(pdev, 2);
        BOOL composed = FALSE;
        ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfPage, &composed));
        ASSERT_TRUE(composed);
        const LONG w = pdev->sheetWidth, h = pdev->sheetHeight;
        EXPECT_EQ(PageAt(pdev, w / 2, h / 4), c.top);
        EXPECT_EQ(PageAt(pdev, w / 2, 3 * h / 4), c.bottom);
        // Each page whole in its half: every pixel of a half is its page or white.
        size_t counts[2][3] = {};
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                int page = PageAt(pdev, x, y);
                ASSERT_LE(page, 2) << x << ", " << y;
                ++counts[y < h / 2 ? 0 : 1][page];
            }
        EXPECT_EQ(counts[0][c.bottom], 0u);
        EXPECT_EQ(counts[1][c.top], 0u);
        EXPECT_EQ(counts[0][c.top], counts[1][c.bottom]);
        EXPECT_GT(counts[0][c.top], size_t(w) * h / 2 * 6 / 10);
    }
}

TEST_F(NupTest, LastSheetOfAJobHoldsWhatIsLeftInTheFirstPlaces) {
    DriverPdev* pdev = NupDevice(DevmodeBuilder().pagesPerSheet(4).nupOrder(2));
    BOOL composed = FALSE;
    for (int n = 1; n <= 5; ++n) {
        StorePage(pdev, n);
        ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfPage, &composed));
        EXPECT_EQ(composed, n == 4) << "after page " << n;
        if (composed) std::memset(pdev->sheetBuffer, 255, SIZE_T(pdev->sheetWidth) * pdev->sheetHeight);
    }
    ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfJob, &composed));
    ASSERT_TRUE(composed);
    EXPECT_EQ(Cells(pdev, 2, 2, 8, 8, 2360, 3384), (Layout{{5, 0}, {0, 0}}));
    // Nothing left: a second end of job composes nothing.
    ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfJob, &composed));
    EXPECT_FALSE(composed);
}

TEST_F(NupTest, BorderIsAFrameFivePixelsThickEightPixelsInside) {
    DriverPdev* pdev = NupDevice(DevmodeBuilder().pagesPerSheet(4).nupOrder(2).border(true));
    StorePage(pdev, 20);  // grey 200
    BOOL composed = FALSE;
    ASSERT_TRUE(FlushNupSheet(pdev, kFlushEndOfJob, &composed));
    auto at = [&](LONG x, LONG y) { return pdev->sheetBuffer[SIZE_T(8 + y) * pdev->sheetWidth + 8 + x]; };
    const LONG mid = 1000;
    for (LONG i = 0; i < 8; ++i) EXPECT_EQ(at(i, mid), 200) << i;          // the margin inside the cell
    for (LONG i = 8; i < 13; ++i) EXPECT_EQ(at(i, mid), 0) << i;           // the frame
    EXPECT_EQ(at(13, mid), 200);
    for (LONG i = 8; i < 13; ++i) EXPECT_EQ(at(mid, i), 0) << i;
    EXPECT_EQ(at(2360 - 14, mid), 200);
    for (LONG i = 2360 - 13; i < 2360 - 8; ++i) EXPECT_EQ(at(i, mid), 0) << i;
    EXPECT_EQ(at(2360 - 8, mid), 200);
}

TEST_F(NupTest, WholeJobsOfNupSheets) {
    // Through the page pipeline: 5 pages at 4 a sheet make two sheets; 3 pages at 2 a sheet too.
    struct Case {
        int16_t pages;
        int printed;
        size_t sheets;
    } cases[] = {{4, 5, 2}, {2, 3, 2}, {9, 9, 1}};
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " a sheet, " << c.printed << " pages");
        Restart();
        DriverPdev* pdev = NupDevice(SmallPaper().pagesPerSheet(c.pages));
        ASSERT_TRUE(BeginJob(pdev));
        for (int n = 1; n <= c.printed; ++n) {
            std::memset(pdev->pageBuffer, 0, pdev->pageBufferSize);
            ASSERT_TRUE(StoreNupPage(pdev));
            ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
        }
        ASSERT_TRUE(FinishJob(pdev));
        rastrel_dump::Result result = Read(JobBytes());
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        EXPECT_EQ(result.sheets.size(), c.sheets);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
    }
}

TEST_F(NupTest, SettingsChangeBetweenPagesFlushesTheSheetSoFar) {
    DriverPdev* old = NupDevice(SmallPaper().pagesPerSheet(4));
    ASSERT_TRUE(BeginJob(old));
    old->jobStarted = 1;
    for (int n = 1; n <= 2; ++n) {
        std::memset(old->pageBuffer, 0, old->pageBufferSize);
        ASSERT_TRUE(StoreNupPage(old));
        ASSERT_TRUE(FlushPage(old, kFlushEndOfPage));
    }
    EXPECT_EQ(Read(JobBytes()).sheets.size(), 0u);  // no sheet yet
    DriverPdev* neu = NupDevice(SmallPaper().pagesPerSheet(2));
    ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(old), reinterpret_cast<DHPDEV>(neu)));
    ASSERT_TRUE(FinishJob(neu));
    rastrel_dump::Result result = Read(JobBytes());
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    EXPECT_EQ(result.sheets.size(), 1u);
    EXPECT_EQ(TempFiles(), std::vector<std::string>());
}

}  // namespace
