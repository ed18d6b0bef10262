// The scan thread against the stand-in driver: the transfer messages of whole jobs compared with
// tables, the page streams read back by an independent BMP reader, and the driver's journal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ProductConfig.h"
#include "ScanUtility.h"
#include "platform/control.h"
#include "support/scan_machine.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using scantest::Message;
using scantest::Recorder;
using scantest::ScanMachine;

const Message kNewPage = {5, 0, 0, 0};
const Message kEndOfStream = {1, 0, 0, 0};
const Message kEndOfTransfer = {2, 0, 0, 0};
const Message kExit = {3, 0, 0, 0};
Message error(int code) { return {0, 0, 0, code}; }

// Card size (4252 x 2598 / 1200 in) in grey at 300 dpi: 1063 pixels, stride 1064, 649 lines; chunks
// of 0x40000 bytes take 246 rows.
const std::vector<Message> kCardGrey300 = {
    kNewPage, {0, 37, 261744, 0}, {0, 75, 523488, 0}, {0, 100, 690536, 0}, kEndOfStream,
};

std::vector<Message> pages(int count, const std::vector<Message>& page) {
    std::vector<Message> all;
    for (int i = 0; i < count; ++i) all.insert(all.end(), page.begin(), page.end());
    return all;
}
std::vector<Message> operator+(std::vector<Message> a, const std::vector<Message>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string device() { return std::string("\"") + scantest::kDevicePath + "\""; }

TEST(ScanThread, OnePageInColour) {
    ScanMachine scan;
    Recorder receiver;
    // Card size in colour at 150 dpi: 531 pixels, stride 1596, 324 lines; chunks of 0x20000 bytes
    // take 82 rows.
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FLATBED, SCAN_COLOR_RGB, 150, 4252, 2598, false);
    job.pCallback = &receiver;
    CScanUtility utility;
    ASSERT_EQ(scantest::runJob(utility, job), 0);
    const std::vector<Message> expected = {
        kNewPage,     {0, 25, 130872, 0}, {0, 50, 261744, 0}, {0, 75, 392616, 0}, {0, 100, 517104, 0},
        kEndOfStream, kEndOfTransfer,     kExit,
    };
    EXPECT_EQ(receiver.messages(), expected);
    ASSERT_EQ(receiver.pages().size(), 1u);
    EXPECT_EQ(receiver.pages()[0].size(), 54u + 517104u);
    scantest::expectPageShows(receiver.pages()[0], 1, 531, 324, SCAN_COLOR_RGB);
    const std::vector<std::string> journal = {
        "ScanDrv_Open " + device() + " -> 0",
        "ScanDrv_SetScanParameterAdj 23713 zeroed zeroed zeroed 18 72 0 0 -> 0",
        "ScanDrv_SetScanParameter 23713 150 150 2 0 0 4252 2598 127 0 -> 0",
        "ScanDrv_GetScanParameter 23713 531 324 -> 0",
        "ScanDrv_StartScan 23713 -> 0",
        "ScanDrv_ReadScanData page 1 lines 1-324 length 1593 -> 0",
        "ScanDrv_GetNextPushStatus 23713 after page 1 -> 2",
        "ScanDrv_Close 23713 -> 0",
    };
    EXPECT_EQ(scan.journal(), journal);
    EXPECT_GE(receiver.stackSize, static_cast<size_t>(SCAN_THREAD_STACK));
    EXPECT_EQ(platform::threadStackSize(utility.m_hThread), static_cast<SIZE_T>(SCAN_THREAD_STACK));
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeThread(utility.m_hThread, &code));
    EXPECT_EQ(code, 0u);
}

TEST(ScanThread, AThreePageFeederJobInGreyAndLineArt) {
    struct Case {
        int colorMode;
        std::vector<Message> page;
        int pixels, lines;
    };
    // Line art: stride 136 for 1063 pixels, 0x40000 / 136 = 1927 rows, the page in one chunk.
    const Case cases[] = {
        {SCAN_COLOR_GRAY, kCardGrey300, 1063, 649},
        {SCAN_COLOR_LINEART, {kNewPage, {0, 100, 88264, 0}, kEndOfStream}, 1063, 649},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.colorMode);
        ScanMachine scan;
        scan.script("pages 3\n");
        Recorder receiver;
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, c.colorMode, 300, 4252, 2598, true);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        EXPECT_EQ(receiver.messages(), (pages(3, c.page) + std::vector<Message>{kEndOfTransfer, kExit}));
        ASSERT_EQ(receiver.pages().size(), 3u);
        for (int page = 1; page <= 3; ++page)
            scantest::expectPageShows(receiver.pages()[page - 1], page, c.pixels, c.lines, c.colorMode);
        const auto journal = scan.journal();
        ASSERT_GE(journal.size(), 2u);
        const std::vector<std::string> tail(journal.end() - 2, journal.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"ScanDrv_GetNextPushStatus 23713 after page 3 -> 2",
                                                  "ScanDrv_Close 23713 -> 0"}));
    }
}

// The second driver kind: busy answers are polled every 500 ms of the machine clock, and "no more
// pages" (2) ends the job as a code of its own, sent as an error message.
TEST(ScanThread, SecondDriverKindPollsItsBusyAnswersAndEndsOnNoMorePages) {
    ScanMachine scan(u"vrx3310");
    scan.script("pages 3\nbusy 2\nend 2\n");
    Recorder receiver;
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_PLATFORM_C_MULTI, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
    job.pCallback = &receiver;
    platform::clearSleepLog();
    CScanUtility utility;
    ASSERT_EQ(scantest::runJob(utility, job), 0);
    EXPECT_TRUE(g_bIsPlatformC);
    EXPECT_EQ(receiver.messages(), (pages(3, kCardGrey300) + std::vector<Message>{error(2), kEndOfTransfer, kExit}));
    EXPECT_EQ(platform::sleepLog(), (std::vector<DWORD>{500, 500, 500, 500}));
    std::vector<std::string> calls;
    for (const std::string& line : scan.journal())
        if (line.rfind("ScanDrv_Open", 0) == 0 || line.rfind("ScanDrv_GetNext", 0) == 0 ||
            line.rfind("ScanDrv_Abort", 0) == 0 || line.rfind("ScanDrv_Close", 0) == 0 ||
            line.rfind("ScanDrv_Start", 0) == 0)
            calls.push_back(line);
    const std::vector<std::string> expected = {
        "ScanDrv_Open_C " + device() + " -> 0",
        "ScanDrv_StartScan 23713 -> 0",
        "ScanDrv_GetNextPushStatus 23713 after page 1 -> 13",
        "ScanDrv_GetNextPushStatus 23713 after page 1 -> 13",
        "ScanDrv_GetNextPushStatus 23713 after page 1 -> 0",
        "ScanDrv_GetNextPushStatus 23713 after page 2 -> 13",
        "ScanDrv_GetNextPushStatus 23713 after page 2 -> 13",
        "ScanDrv_GetNextPushStatus 23713 after page 2 -> 0",
        "ScanDrv_GetNextPushStatus 23713 after page 3 -> 2",
        "ScanDrv_AbortScan 23713 -> 0",
        "ScanDrv_Close 23713 -> 0",
    };
    EXPECT_EQ(calls, expected);
    for (int page = 1; page <= 3; ++page)
        scantest::expectPageShows(receiver.pages()[page - 1], page, 1063, 649, SCAN_COLOR_GRAY);
}

TEST(ScanThread, ChunkSizesFollowTheResolution) {
    struct Case {
        int resolution;
        int firstChunk;  // A6 in grey: rows of the page's stride that fill the chunk
    };
    const Case cases[] = {
        {75, 420 * 312},     // 310 pixels, stride 312, 0x20000 bytes
        {150, 211 * 620},    // 620 pixels, 0x20000
        {300, 211 * 1240},   // 1240 pixels, 0x40000
        {600, 422 * 2480},   // 2480 pixels, 0x100000
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resolution);
        ScanMachine scan;
        Recorder receiver;
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FLATBED, SCAN_COLOR_GRAY, c.resolution, 4961, 6992, false);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        const auto messages = receiver.messages();
        ASSERT_GE(messages.size(), 2u);
        EXPECT_EQ(messages[1][2], c.firstChunk);
    }
}

// Replies and answers of the receiver that end a job early.
TEST(ScanThread, CancelAndRefusalsOfTheReceiver) {
    struct Case {
        const char* what;
        std::function<int(const TransferMessage&, int)> reply;
        bool cancelBetweenPages;  // the progress dialog's cancel flag, set once page 1 is complete
        bool noProgressDialog;
        int newStreamStatus;
        std::vector<Message> expected;
        bool aborted;
    };
    auto onSecondProgress = [](int answer) {
        return [answer, n = 0](const TransferMessage& m, int) mutable {
            return m.nType == TRANSFER_MSG_PROGRESS && m.nError == 0 && ++n == 2 ? answer : -1000;
        };
    };
    auto onType = [](int type, int answer) {
        return [type, answer](const TransferMessage& m, int) { return m.nType == type ? answer : -1000; };
    };
    const Case cases[] = {
        {"cancel mid-page", onSecondProgress(SCAN_CANCELLED), false, false, 0,
         {kNewPage, {0, 37, 261744, 0}, {0, 75, 523488, 0}, error(202), kEndOfTransfer, kExit}, true},
        {"progress refused", onSecondProgress(-7), false, false, 0,
         {kNewPage, {0, 37, 261744, 0}, {0, 75, 523488, 0}, error(-7), kEndOfTransfer, kExit}, true},
        {"new page refused", onType(TRANSFER_MSG_NEW_PAGE, 9), false, false, 0,
         {kNewPage, error(9), kEndOfTransfer, kExit}, true},
        {"no stream", nullptr, false, false, -40, {kNewPage, error(-40), kEndOfTransfer, kExit}, true},
        {"end of stream refused", onType(TRANSFER_MSG_END_OF_STREAM, -55), false, false, 0,
         kCardGrey300 + std::vector<Message>{error(-55), kEndOfTransfer, kExit}, true},
        {"cancelled between pages", nullptr, true, false, 0,
         kCardGrey300 + std::vector<Message>{kEndOfTransfer, kExit}, true},
        {"no progress dialog", nullptr, false, true, 0, kCardGrey300 + std::vector<Message>{kEndOfTransfer, kExit},
         true},
        {"end of transfer refused", onType(TRANSFER_MSG_END_OF_TRANSFER, 4), false, false, 0,
         pages(3, kCardGrey300) + std::vector<Message>{kEndOfTransfer, error(4), kExit}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan;
        scan.script("pages 3\n");
        Recorder receiver;
        receiver.reply = c.reply;
        receiver.newStreamStatus = c.newStreamStatus;
        receiver.progressDialog = !c.noProgressDialog;
        if (c.cancelBetweenPages) {
            receiver.reply = [&receiver](const TransferMessage& m, int) {
                if (m.nType == TRANSFER_MSG_END_OF_STREAM) receiver.cancelled = true;  // as the dialog's thread would
                // The program's receiver has let its dialog go by then and answers the end with 0.
                return m.nType == TRANSFER_MSG_END_OF_STREAM || m.nType == TRANSFER_MSG_END_OF_TRANSFER ? 0 : -1000;
            };
        }
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        EXPECT_EQ(receiver.messages(), c.expected);
        const auto journal = scan.journal();
        ASSERT_GE(journal.size(), 2u);
        EXPECT_EQ(journal.back(), "ScanDrv_Close 23713 -> 0");
        EXPECT_EQ(journal[journal.size() - 2] == "ScanDrv_AbortScan 23713 -> 0", c.aborted);
    }
}

// Loads the driver and starts the job on the utility's thread; true once its first page has begun.
bool startUntilFirstPage(CScanUtility& utility, ScanJobRecord& job, Recorder& receiver) {
    WCHAR path[MAX_PATH];
    GetDriverDllPath(path);
    return LoadScannerDriver(path, &utility.m_scanner) == 0 && StartScanThread(&utility, &job) &&
           WaitForSingleObject(receiver.pageBegun, INFINITE) == WAIT_OBJECT_0;
}

// The destructor stops a running job: the thread sees its stop flag after the chunk it is reading.
TEST(ScanThread, DestroyingTheUtilityStopsTheJobMidPage) {
    ScanMachine scan;
    // The first chunk's tenth line waits until the destructor has asked the thread to stop.
    scan.script("pages 3\nhold 1 10\n");
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, u"Local\\vqm-standin-hold");
    ASSERT_NE(release, nullptr);
    Recorder receiver;
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
    job.pCallback = &receiver;
    std::thread releaser;
    {
        CScanUtility utility;
        ASSERT_TRUE(startUntilFirstPage(utility, job, receiver));
        // The destructor waits for the scan thread, which is held mid-page until the stop is asked.
        releaser = std::thread([&utility, release] {
            // Bounded, so a destructor that never asks shows as a whole job, not as a hang.
            for (int waited = 0; waited < 30000 && !utility.m_bStop; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            SetEvent(release);
        });
    }
    releaser.join();
    CloseHandle(release);
    EXPECT_EQ(receiver.messages(), (std::vector<Message>{kNewPage, error(202), kEndOfTransfer, kExit}));
    const auto journal = scan.journal();
    EXPECT_EQ(journal.back(), "ScanDrv_Close 23713 -> 0");
    EXPECT_EQ(journal[journal.size() - 2], "ScanDrv_AbortScan 23713 -> 0");
}

// A wait for the thread that fails is no end of it: the destructor closes and frees the driver only
// once the thread is out of it, and the utility goes only then.
TEST(ScanThread, DestroyingTheUtilityWaitsForTheThreadEvenWhenAWaitFails) {
    ScanMachine scan;
    scan.script("pages 3\ndelay 3\n");  // each line takes real time, so the page is read while the wait fails
    Recorder receiver;
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
    job.pCallback = &receiver;
    {
        CScanUtility utility;
        ASSERT_TRUE(startUntilFirstPage(utility, job, receiver));
        platform::setFault("WaitForSingleObject", platform::Fault());
        platform::clearDebugLog();
    }
    platform::clearFaults();
    EXPECT_EQ(receiver.messages(), (std::vector<Message>{kNewPage, error(202), kEndOfTransfer, kExit}));
    const auto log = platform::debugLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Wait for scan thread fail:6"), log.end());
    const auto journal = scan.journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "ScanDrv_Close 23713 -> 0"), 1);
    EXPECT_EQ(journal.back(), "ScanDrv_Close 23713 -> 0");
}

TEST(ScanThread, FolderDeletedBetweenPagesEndsTheJobBeforeTheNextStream) {
    ScanMachine scan;
    scan.script("pages 3\n");
    Recorder receiver;
    receiver.reply = [](const TransferMessage& m, int) {
        if (m.nType == TRANSFER_MSG_END_OF_STREAM) {
            EXPECT_TRUE(RemoveDirectoryW(scantest::kSaveFolder));
        }
        return -1000;
    };
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
    job.pCallback = &receiver;
    CScanUtility utility;
    ASSERT_EQ(scantest::runJob(utility, job), 0);
    EXPECT_EQ(receiver.messages(), (kCardGrey300 + std::vector<Message>{kNewPage, error(-51), kEndOfTransfer, kExit}));
    EXPECT_EQ(receiver.streamsMade(), 1);
}

// Room for twice the raw page of the window (in 1/1200 inch) and 300 MiB: card size in colour needs
// ((24 x 4252 + 7) / 8) x 2598 x 2 + 0x12C00000 = 380852976 bytes.
TEST(ScanThread, TooLittleFreeSpaceRefusesTheJobThroughBothCalls) {
    const uint64_t needed = 380852976;
    const uint64_t cluster = 4096;
    struct Case {
        const char* what;
        uint64_t freeBytes;
        bool olderCall;    // GetDiskFreeSpaceExW removed from kernel32.dll
        bool queryFails;
        bool refused;
    };
    const Case cases[] = {
        {"one byte short", needed - 1, false, false, true},
        {"just enough", needed, false, false, false},
        {"older call, one cluster short", needed / cluster * cluster, true, false, true},
        {"older call, enough", (needed / cluster + 1) * cluster, true, false, false},
        {"older call above 4 GiB", (4ull << 30) + (100ull << 20), true, false, false},
        {"query fails", 0, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan;
        platform::setDiskSpace(u'C', {c.freeBytes, 1ull << 40});
        if (c.olderCall) platform::removeSystemExport("kernel32.dll", "GetDiskFreeSpaceExW");
        if (c.queryFails) platform::setFault("GetDiskFreeSpaceExW", platform::Fault().failing(-1));
        Recorder receiver;
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FLATBED, SCAN_COLOR_RGB, 75, 4252, 2598, false);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        const auto messages = receiver.messages();
        if (c.refused) {
            EXPECT_EQ(messages, (std::vector<Message>{error(-54), kEndOfTransfer, kExit}));
        } else {
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.front(), kNewPage);
            EXPECT_EQ(receiver.pages().size(), 1u);
        }
        EXPECT_EQ(platform::callCount("GetDiskFreeSpaceW") > 0, c.olderCall);
        platform::restoreSystemExports();
    }
}

TEST(ScanThread, DriverFailuresAtOpenParametersAndRead) {
    struct Case {
        const char* what;
        std::string script;
        std::vector<Message> expected;
    };
    const Case cases[] = {
        {"open fails", "open 5\n", {error(5), kExit}},
        // A refused window or geometry is shown as an open failure is, never ends in silence.
        {"window refused", "set 4\n", {error(4), kExit}},
        {"geometry refused", "get 4\n", {error(4), kExit}},
        {"a line far beyond the glass", "pixels 999998937\n", {error(-1), kExit}},
        {"read fails in the first chunk", "read 1 10 9\n", {kNewPage, error(9), kEndOfTransfer, kExit}},
        {"read fails on page 2", "pages 2\nread 2 300 3\n",
         kCardGrey300 + std::vector<Message>{kNewPage, {0, 37, 261744, 0}, error(3), kEndOfTransfer, kExit}},
        {"a bad script line", "pages three\n", {error(-1), kExit}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanMachine scan;
        scan.script(c.script);
        Recorder receiver;
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        EXPECT_EQ(receiver.messages(), c.expected);
    }
}

TEST(ScanThread, ErrorsBetweenPagesByDriverKind) {
    struct Case {
        const char16_t* prefix;
        int source;
        std::vector<Message> tail;  // after page 1
    };
    const Case cases[] = {
        {u"vrx3310", SCAN_SOURCE_PLATFORM_C_MULTI, {error(7), kEndOfTransfer, kExit}},
        {u"vrx4410", SCAN_SOURCE_FEEDER, {kEndOfTransfer, kExit}},  // any answer but 0 means no more pages
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.prefix));
        ScanMachine scan(c.prefix);
        scan.script("pages 3\nnext 1 7\n");
        Recorder receiver;
        ScanJobRecord job = scantest::makeJob(c.source, SCAN_COLOR_GRAY, 300, 4252, 2598, true);
        job.pCallback = &receiver;
        CScanUtility utility;
        ASSERT_EQ(scantest::runJob(utility, job), 0);
        EXPECT_EQ(receiver.messages(), kCardGrey300 + c.tail);
    }
}

TEST(ScanThread, SecondDriverKindSinglePageAsksForNoNextPage) {
    ScanMachine scan(u"vrx3310");
    scan.script("pages 3\n");
    Recorder receiver;
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_PLATFORM_C_SINGLE, SCAN_COLOR_GRAY, 300, 4252, 2598, false);
    job.pCallback = &receiver;
    CScanUtility utility;
    ASSERT_EQ(scantest::runJob(utility, job), 0);
    EXPECT_EQ(receiver.messages(), (kCardGrey300 + std::vector<Message>{kEndOfTransfer, kExit}));
    for (const std::string& line : scan.journal()) EXPECT_EQ(line.find("GetNextPushStatus"), std::string::npos);
}

// A stream that cannot hold the page ends the job with -40, before a row is read, instead of a page
// whose header promises rows the stream does not hold.
TEST(ScanThread, AStreamThatCannotGrowEndsTheJob) {
    ScanMachine scan;
    Recorder receiver;
    platform::setFault("GlobalReAlloc", platform::Fault().atLeast(300000));
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FLATBED, SCAN_COLOR_GRAY, 300, 4252, 2598, false);
    job.pCallback = &receiver;
    CScanUtility utility;
    ASSERT_EQ(scantest::runJob(utility, job), 0);
    EXPECT_EQ(receiver.messages(),
              (std::vector<Message>{kNewPage, error(-40), kEndOfTransfer, kExit}));
    EXPECT_TRUE(receiver.pages().empty());
}

// A stream of the receiver's own, not one over global memory: the rows go through its Write.
class ForwardingStream final : public IStream {
public:
    explicit ForwardingStream(IStream* pInner) : m_pInner(pInner) {}
    HRESULT QueryInterface(REFIID, void** ppObject) override {
        *ppObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override {
        const ULONG left = --m_cRef;
        if (left == 0) {
            m_pInner->Release();
            delete this;
        }
        return left;
    }
    HRESULT Read(void* p, ULONG n, ULONG* pRead) override { return m_pInner->Read(p, n, pRead); }
    HRESULT Write(const void* p, ULONG n, ULONG* pWritten) override {
        ++writes;
        return m_pInner->Write(p, n, pWritten);
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* pAt) override {
        return m_pInner->Seek(move, origin, pAt);
    }
    HRESULT SetSize(ULARGE_INTEGER size) override { return m_pInner->SetSize(size); }
    HRESULT CopyTo(IStream* p, ULARGE_INTEGER n, ULARGE_INTEGER* r, ULARGE_INTEGER* w) override {
        return m_pInner->CopyTo(p, n, r, w);
    }
    HRESULT Commit(DWORD flags) override { return m_pInner->Commit(flags); }
    HRESULT Revert() override { return m_pInner->Revert(); }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* pStat, DWORD flags) override { return m_pInner->Stat(pStat, flags); }
    HRESULT Clone(IStream** pp) override { return m_pInner->Clone(pp); }
    static inline std::atomic<int> writes{0};

private:
    ~ForwardingStream() = default;
    std::atomic<ULONG> m_cRef{1};
    IStream* m_pInner;
};

// Rows are read straight into a stream over global memory, and written through any other stream:
// the pages are the same bytes either way, and a page left mid-way keeps only the rows read.
TEST(ScanThread, PagesAreTheSameThroughAnyStreamAndACancelledPageKeepsItsRows) {
    class PlainRecorder : public Recorder {
    public:
        int NewStream(int nReserved, IStream** ppStream) override {
            IStream* pInner = nullptr;
            const int status = Recorder::NewStream(nReserved, &pInner);
            if (status != 0) return status;
            if (last) last->Release();
            last = new ForwardingStream(pInner);
            last->AddRef();  // kept to be looked at once the job is over
            *ppStream = last;
            return 0;
        }
        ~PlainRecorder() override {
            if (last) last->Release();
        }
        IStream* last = nullptr;
    };
    auto scanPages = [](Recorder& receiver) {
        ScanMachine scan;
        scan.script("pages 2\n");
        ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FEEDER, SCAN_COLOR_RGB, 150, 4252, 2598, true);
        job.pCallback = &receiver;
        CScanUtility utility;
        EXPECT_EQ(scantest::runJob(utility, job), 0);
        return receiver.pages();
    };
    Recorder direct;
    PlainRecorder plain;
    ForwardingStream::writes = 0;
    const auto pagesDirect = scanPages(direct);
    const auto pagesPlain = scanPages(plain);
    ASSERT_EQ(pagesDirect.size(), 2u);
    EXPECT_EQ(pagesDirect[0].size(), 54u + 517104u);
    EXPECT_TRUE(pagesDirect == pagesPlain);
    EXPECT_EQ(ForwardingStream::writes, 2 * 5) << "a header and four chunks a page";
    EXPECT_EQ(plain.messages(), direct.messages());

    // Cancelled at the second chunk's message: the stream holds the header and the rows of the two
    // chunks read, not the whole page's size.
    PlainRecorder cancelled;
    cancelled.reply = [](const TransferMessage& m, int) {
        return m.nType == TRANSFER_MSG_PROGRESS && m.nPercent == 50 ? SCAN_CANCELLED : -1000;
    };
    scanPages(cancelled);
    ASSERT_NE(cancelled.last, nullptr);
    STATSTG stat{};
    ASSERT_EQ(cancelled.last->Stat(&stat, 0), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 54u + 261744u);
    EXPECT_TRUE(cancelled.pages().empty());
}

TEST(ScanThread, MissingDriverAndMissingJob) {
    ScanMachine scan(u"vrx4410", true);  // the driver lacks an export
    Recorder receiver;
    ScanJobRecord job = scantest::makeJob(SCAN_SOURCE_FLATBED, SCAN_COLOR_GRAY, 300, 4252, 2598, false);
    job.pCallback = &receiver;
    {
        CScanUtility utility;
        EXPECT_EQ(scantest::runJob(utility, job), SCAN_ERROR_NO_DRIVER);
    }
    EXPECT_EQ(receiver.messages(), (std::vector<Message>{error(-1), kExit}));
    CScanUtility utility;
    EXPECT_EQ(utility.Scan(nullptr), SCAN_ERROR_NO_JOB);
    platform::setFault("CreateThread", platform::Fault());
    platform::clearDebugLog();
    EXPECT_FALSE(StartScanThread(&utility, &job));
    EXPECT_EQ(utility.m_bRunning, 0);
    EXPECT_EQ(platform::debugLog(), (std::vector<std::string>{"Create Scan thread fail"}));
}

}  // namespace
