// The output sink: WritePrinter retries, spooling and the replay orders of copies, collation, reverse
// order and two-pass duplex, checked on the job streams the printer receives.
#include "support/job_fixture.h"

namespace {

using rastrel_dump::kPause;

TEST(WritePrinterRetryTest, RetriesOnlyWhatNothingWasWrittenFor) {
    struct Case {
        const char* what;
        platform::Fault fault;
        BOOL ok;
        DWORD written;
        int calls;
        std::vector<DWORD> sleeps;
    } cases[] = {
        {"no fault", platform::Fault().failing(0), TRUE, 100, 1, {}},
        {"fails once", platform::Fault(), TRUE, 100, 2, {150}},
        {"fails three times", platform::Fault().failing(3), TRUE, 100, 4, {150, 150, 150}},
        {"fails four times", platform::Fault().failing(4), FALSE, 0, 4, {150, 150, 150}},
        {"writes part, succeeds", platform::Fault().moving(30, true), TRUE, 100, 2, {}},
        {"writes part, fails", platform::Fault().moving(30, false), FALSE, 30, 1, {}},
        {"succeeds with nothing", platform::Fault().moving(0, true).failing(-1), FALSE, 0, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::testing::Machine machine;
        InstallTestPrinter();
        platform::testing::PrinterHandle printer(kTestPrinter);
        DOC_INFO_1W doc{const_cast<LPWSTR>(u"doc"), nullptr, nullptr};
        ASSERT_NE(StartDocPrinterW(printer.get(), 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
        platform::setFault("WritePrinter", c.fault);
        std::string bytes(100, 'x');
        for (int i = 0; i < 100; ++i) bytes[i] = static_cast<char>(i);
        DWORD written = 0;
        EXPECT_EQ(WritePrinterRetry(printer.get(), reinterpret_cast<const BYTE*>(bytes.data()), 100, &written), c.ok);
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(platform::callCount("WritePrinter"), c.calls);
        EXPECT_EQ(platform::sleepLog(), c.sleeps);
        EndDocPrinter(printer.get());
        EXPECT_EQ(platform::printJobs().back().bytes, bytes.substr(0, c.written));  // nothing twice
    }
}

class ReplayTest : public JobTest {};

TEST_F(ReplayTest, SheetOrderOfCopiesCollationReverseAndDuplex) {
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        int sheets;
        std::vector<int> front;  // sheets before the pause (all of them without duplex)
        std::vector<int> back;   // sheets after the pause
        uint32_t copiesItem;
    } cases[] = {
        {"plain", SmallPaper(), 3, {1, 2, 3}, {}, 1},
        {"3 copies, the printer makes them", SmallPaper().copies(3), 3, {1, 2, 3}, {}, 3},
        {"3 collated copies", SmallPaper().copies(3).collate(true), 3, {1, 2, 3, 1, 2, 3, 1, 2, 3}, {}, 1},
        {"reverse order", SmallPaper().reverse(true), 3, {3, 2, 1}, {}, 1},
        {"reverse, 2 collated copies", SmallPaper().reverse(true).copies(2).collate(true), 3, {3, 2, 1, 3, 2, 1}, {}, 1},
        {"short-edge duplex, 4 sheets", SmallPaper().duplex(DMDUP_HORIZONTAL), 4, {1, 3}, {4, 2}, 1},
        {"long-edge duplex, 3 sheets and a blank", SmallPaper().duplex(DMDUP_VERTICAL), 3, {1, 3}, {0, 2}, 1},
        {"duplex, 2 collated copies", SmallPaper().duplex(DMDUP_HORIZONTAL).copies(2).collate(true), 4,
         {1, 3, 1, 3}, {4, 2, 4, 2}, 1},
        {"reverse with duplex, 5 sheets", SmallPaper().reverse(true).duplex(DMDUP_HORIZONTAL), 5, {1, 3, 5},
         {0, 4, 2}, 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        DriverPdev* pdev = Device(c.settings);
        ASSERT_TRUE(PrintSheets(pdev, c.sheets));
        rastrel_dump::Result result = Read(JobBytes());
        ASSERT_TRUE(result.ok()) << (result.error ? rastrel_dump::describe(*result.error) : "stopped");
        std::vector<int> front, back;
        for (size_t i = 0; i < result.sheets.size(); ++i)
            (result.sheets[i].after_pause ? back : front).push_back(Marks(result)[i]);
        EXPECT_EQ(front, c.front);
        EXPECT_EQ(back, c.back);
        EXPECT_EQ(result.has_pause, !c.back.empty());
        for (const auto& sheet : result.sheets) EXPECT_EQ(sheet.item(4), c.copiesItem);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
        EXPECT_EQ(pdev->spooledPages, 0);
        EXPECT_EQ(pdev->sheetsSent, 0u);
    }
}

TEST_F(ReplayTest, CollatedCopiesGoStraightOutWhileTheJobRuns) {
    DriverPdev* pdev = Device(SmallPaper().copies(3).collate(true));
    ASSERT_TRUE(BeginJob(pdev));
    Mark(pdev, 1);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    Mark(pdev, 2);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    // Before the end: header and both sheets are at the printer once, and spooled for the copies.
    std::string during = JobBytes();
    EXPECT_EQ(TempFiles().size(), 2u);
    ASSERT_TRUE(FinishJob(pdev));
    std::string all = JobBytes();
    ASSERT_EQ(all.compare(0, during.size(), during), 0);
    EXPECT_EQ(Marks(Read(all)), (std::vector<int>{1, 2, 1, 2, 1, 2}));
}

TEST_F(ReplayTest, ReverseOrderSendsNothingUntilTheEnd) {
    DriverPdev* pdev = Device(SmallPaper().reverse(true));
    ASSERT_TRUE(BeginJob(pdev));
    for (int i = 1; i <= 2; ++i) {
        Mark(pdev, i);
        ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    }
    EXPECT_EQ(JobBytes(), "");
    ASSERT_TRUE(FinishJob(pdev));
    EXPECT_EQ(Marks(Read(JobBytes())), (std::vector<int>{2, 1}));
}

TEST_F(ReplayTest, FailuresLeaveNoTemporaryFiles) {
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        const char* function;
        platform::Fault fault;
        bool endWritten;  // the job is still closed with its end chunk
    } cases[] = {
        {"printer gone at the replay", SmallPaper().reverse(true), "WritePrinter", platform::Fault().failing(-1), false},
        {"replay cannot read the spool", SmallPaper().reverse(true), "ReadFile", platform::Fault().failing(-1), true},
        {"collated job loses the printer", SmallPaper().copies(2).collate(true), "WritePrinter",
         platform::Fault().skipping(3).failing(-1), false},
        {"spool cannot be written", SmallPaper().reverse(true), "WriteFile", platform::Fault().skipping(2).failing(-1),
         true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        DriverPdev* pdev = Device(c.settings);
        platform::setFault(c.function, c.fault);
        EXPECT_FALSE(PrintSheets(pdev, 3));
        FinishJob(pdev);  // the engine ends the document whatever failed
        platform::clearFaults();
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
        std::string bytes = JobBytes();
        const std::string end("\x00\x00\x00\x10\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x5A\x5A\x1B%-12345X", 25);
        if (c.endWritten) {
            EXPECT_EQ(bytes.substr(bytes.size() - std::min(bytes.size(), end.size())), end);
        }
    }
}

TEST_F(ReplayTest, SheetFailingHalfWayLeavesNoTraceInTheSpool) {
    DriverPdev* pdev = Device(SmallPaper().reverse(true));
    ASSERT_TRUE(BeginJob(pdev));
    Mark(pdev, 1);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    // The second sheet's page header is spooled, its image is not.
    platform::setFault("WriteFile", platform::Fault().skipping(1));
    Mark(pdev, 2);
    EXPECT_FALSE(FlushPage(pdev, kFlushEndOfPage));
    platform::clearFaults();
    EXPECT_EQ(pdev->spooledPages, 1);
    EXPECT_EQ(pdev->pageTable[1], 0u);
    Mark(pdev, 3);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    ASSERT_TRUE(FinishJob(pdev));
    rastrel_dump::Result result = Read(JobBytes());
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    EXPECT_EQ(Marks(result), (std::vector<int>{3, 1}));
}

TEST_F(ReplayTest, JobHeaderGoesOutOnceAcrossAReplayInTheMiddle) {
    // Reverse order for two sheets, then the application turns reverse order off.
    DriverPdev* old = Device(SmallPaper().reverse(true));
    ASSERT_TRUE(BeginJob(old));
    old->jobStarted = 1;
    for (int i = 1; i <= 2; ++i) {
        Mark(old, i);
        ASSERT_TRUE(FlushPage(old, kFlushEndOfPage));
    }
    DriverPdev* neu = Device(SmallPaper());
    ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(old), reinterpret_cast<DHPDEV>(neu)));
    Mark(neu, 3);
    ASSERT_TRUE(FlushPage(neu, kFlushEndOfPage));
    ASSERT_TRUE(FinishJob(neu));
    rastrel_dump::Result result = Read(JobBytes());
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    EXPECT_EQ(Marks(result), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(TempFiles(), std::vector<std::string>());
}

// The sheets of a job as text, in stream order: each sheet's mark (0 for a blank sheet), "~" after a
// sheet turned a half turn (its stripes at the bottom), "|" at the pause between duplex passes.
std::string Sequence(const rastrel_dump::Result& result) {
    std::string text;
    std::vector<int> marks = BlackRowRuns(result);
    bool paused = false;
    for (size_t i = 0; i < result.sheets.size(); ++i) {
        const auto& sheet = result.sheets[i];
        if (sheet.after_pause && !paused) {
            text += "| ";
            paused = true;
        }
        uint32_t firstBlack = sheet.height;
        for (uint32_t y = 0; y < sheet.height && firstBlack == sheet.height; ++y) {
            const uint8_t* row = sheet.bits.data() + size_t(y) * sheet.row_bytes();
            if (std::all_of(row, row + sheet.row_bytes(), [](uint8_t b) { return b == 0xFF; })) firstBlack = y;
        }
        text += std::to_string(marks[i]) + (marks[i] && firstBlack > sheet.height / 2 ? "~" : "") + " ";
    }
    if (!text.empty()) text.pop_back();
    return text;
}

TEST_F(ReplayTest, ASettingsChangeInTheMiddleOfAJobLosesNoSheet) {
    // Sheets 1..n are printed with the first settings, the rest with the second.
    struct Case {
        const char* what;
        DevmodeBuilder before;
        int sheetsBefore;
        DevmodeBuilder after;
        int sheetsAfter;
        std::string sequence;
    } cases[] = {
        {"long-edge duplex to simplex", SmallPaper().duplex(DMDUP_VERTICAL), 2, SmallPaper(), 1, "1 | 2~ 3"},
        {"long-edge duplex of an odd count to simplex", SmallPaper().duplex(DMDUP_VERTICAL), 3, SmallPaper(), 1,
         "1 3 | 0 2~ 4"},
        {"simplex to long-edge duplex", SmallPaper(), 1, SmallPaper().duplex(DMDUP_VERTICAL), 2, "1 2 | 3~"},
        // Both duplex kinds go out in the same two passes: the spool runs on.
        {"short-edge to long-edge duplex", SmallPaper().duplex(DMDUP_HORIZONTAL), 2,
         SmallPaper().duplex(DMDUP_VERTICAL), 2, "1 3 | 4~ 2"},
        {"collated copies 2 to 1", SmallPaper().copies(2).collate(true), 2, SmallPaper(), 1, "1 2 1 2 3"},
        {"collated copies 1 to 2", SmallPaper().collate(true), 2, SmallPaper().copies(2).collate(true), 2,
         "1 2 3 4 3 4"},
        {"collated copies 3 to 2", SmallPaper().copies(3).collate(true), 1, SmallPaper().copies(2).collate(true), 1,
         "1 1 1 2 2"},
        {"reverse to plain", SmallPaper().reverse(true), 2, SmallPaper(), 1, "2 1 3"},
        {"plain to reverse", SmallPaper(), 1, SmallPaper().reverse(true), 2, "1 3 2"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        DriverPdev* old = Device(c.before);
        ASSERT_TRUE(BeginJob(old));
        old->jobStarted = 1;
        for (int i = 1; i <= c.sheetsBefore; ++i) {
            Mark(old, i);
            ASSERT_TRUE(FlushPage(old, kFlushEndOfPage));
        }
        DriverPdev* neu = Device(c.after);
        ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(old), reinterpret_cast<DHPDEV>(neu)));
        for (int i = c.sheetsBefore + 1; i <= c.sheetsBefore + c.sheetsAfter; ++i) {
            Mark(neu, i);
            ASSERT_TRUE(FlushPage(neu, kFlushEndOfPage));
        }
        ASSERT_TRUE(FinishJob(neu));
        rastrel_dump::Result result = Read(JobBytes());
        ASSERT_TRUE(result.ok()) << (result.error ? rastrel_dump::describe(*result.error) : "stopped");
        EXPECT_EQ(Sequence(result), c.sequence);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
    }
}

TEST_F(ReplayTest, ADocumentWithoutSheetsIsItsHeaderAndItsEnd) {
    // As an empty document printed straight out: the job header, then the job's end, nothing between.
    DriverPdev* plain = Device(SmallPaper());
    ASSERT_TRUE(BeginJob(plain));
    ASSERT_TRUE(FinishJob(plain));
    const std::string expected = JobBytes();
    ASSERT_EQ(expected.size(), 9u + 4 + 88 + 40 + 16 + 9);
    struct Case {
        const char* what;
        DevmodeBuilder settings;
    } cases[] = {
        {"reverse order", SmallPaper().reverse(true)},
        {"long-edge duplex", SmallPaper().duplex(DMDUP_VERTICAL)},
        {"short-edge duplex, 2 collated copies", SmallPaper().duplex(DMDUP_HORIZONTAL).copies(2).collate(true)},
        {"3 collated copies", SmallPaper().copies(3).collate(true)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        DriverPdev* pdev = Device(c.settings);
        ASSERT_TRUE(BeginJob(pdev));
        EXPECT_TRUE(FinishJob(pdev));
        EXPECT_EQ(JobBytes(), expected);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
    }
}

TEST_F(ReplayTest, ASheetPastTheSpoolsLimitFailsAndSaysWhy) {
    DriverPdev* pdev = Device(SmallPaper().reverse(true));
    ASSERT_TRUE(BeginJob(pdev));
    pdev->spooledPages = kSpoolPageLimit - 1;  // the last place
    Mark(pdev, 1);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    platform::clearDebugLog();
    Mark(pdev, 2);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FlushPage(pdev, kFlushEndOfPage));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    auto log = platform::debugLog();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.find("3000 sheets at most") != std::string::npos;
    }));
    AbandonJob(pdev);
}

TEST_F(ReplayTest, SpoolFolderFallsBackToCommonApplicationData) {
    platform::setFault("SHGetFolderPath", platform::Fault().onlyFor("21").failing(-1));
    DriverPdev* pdev = Device(SmallPaper().reverse(true));
    ASSERT_TRUE(BeginJob(pdev));
    EXPECT_EQ(std::string(pdev->pageSpoolPath).rfind("C:\\ProgramData\\ps", 0), 0u) << pdev->pageSpoolPath;
    EXPECT_EQ(std::string(pdev->headerSpoolPath).rfind("C:\\ProgramData\\hea", 0), 0u) << pdev->headerSpoolPath;
    EXPECT_EQ(TempFiles().size(), 2u);
    Mark(pdev, 1);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    ASSERT_TRUE(FinishJob(pdev));
    EXPECT_EQ(TempFiles(), std::vector<std::string>());
}

}  // namespace
