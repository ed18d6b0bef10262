// The job's receiver: output names reserved within one second, the errors shown for each code, and
// whole jobs through the push command and the scan thread against the stand-in driver, with their
// files read back by independent tools, the after-scan actions in the shell's journal, cancelling,
// and failed saves and joins that must lose no page.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "DialogResources.h"
#include "JpegPdf.h"
#include "PictureWriter.h"
#include "ScanManagerApp.h"
#include "Scanner.h"
#include "platform/control.h"
#include "support/job_machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

namespace dlg = platform::dialogs;
using scantest::ErrorBoxes;
using scantest::HookedApp;
using scantest::JobMachine;
using scantest::kJobFolder;

const std::u16string kFolder = std::u16string(kJobFolder) + u"\\";
// The stand-in's card page at 150 dpi: 531 x 324 driver pixels.
constexpr int kCardPixels = 531, kCardLines = 324;

// A debug line that begins with the text.
bool logged(const std::string& text) {
    const auto log = platform::debugLog();
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(text, 0) == 0; });
}

std::vector<std::string> matching(const std::vector<std::string>& names, const std::string& pattern) {
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (std::regex_match(name, std::regex(pattern))) found.push_back(name);
    return found;
}

std::vector<std::string> temporaryPages(const JobMachine& m) { return matching(m.temporary(), "Jpg[0-9A-F]+\\.TMP"); }

std::filesystem::path hostOf(const JobMachine& m, const std::string& name) {
    return m.machine.host(kFolder + platform::fromUtf8(name));
}

struct Opened {
    std::string call;
    std::u16string verb, file;
    int show;
    bool operator==(const Opened&) const = default;
};
std::vector<Opened> opened() {
    std::vector<Opened> all;
    for (const platform::ShellAction& a : platform::shellActions()) all.push_back({a.call, a.verb, a.file, a.show});
    return all;
}
const Opened kOpenFolder = {"ShellExecuteW", u"open", kFolder, SW_SHOW};

// ---- Output names ---------------------------------------------------------------------------------

TEST(OutputNames, JobsInOneSecondTakeTheNextCounterAndNeverShareAFile) {
    struct Row {
        int saveType;
        const char* extension;
    };
    for (const Row row : {Row{SAVE_TYPE_TIF, "tif"}, Row{SAVE_TYPE_JPG, "jpg"}, Row{SAVE_TYPE_PDF, "pdf"}}) {
        SCOPED_TRACE(row.extension);
        JobMachine m;
        platform::setLocalTime({2026, 12, 10, 19, 40, 5});
        const std::string stem = std::string("img-261210194005-");
        // A user's file of the same second is passed over and left as it was.
        m.machine.writeFile(kFolder + platform::fromUtf8(stem + "002." + row.extension), "mine");
        CScanManagerApp first, second;
        for (CScanManagerApp* app : {&first, &second}) {
            lstrcpynW(app->m_szSaveFolder, kJobFolder, MAX_PATH);
            app->m_nSaveType = row.saveType;
        }
        WCHAR path[MAX_PATH];
        std::vector<std::u16string> names;
        for (CScanManagerApp* app : {&first, &second, &first}) {
            ASSERT_EQ(app->GetFilePathForPushScan(path), 1);
            names.push_back(path);
        }
        const std::vector<std::u16string> expected = {
            kFolder + platform::fromUtf8(stem + "001." + row.extension),
            kFolder + platform::fromUtf8(stem + "003." + row.extension),
            kFolder + platform::fromUtf8(stem + "004." + row.extension),
        };
        EXPECT_EQ(names, expected);
        // Each name is held by an empty file from the moment it is handed out; no probe is left.
        for (const std::u16string& name : names) EXPECT_EQ(m.machine.readFile(name), std::string());
        EXPECT_EQ(m.machine.readFile(kFolder + platform::fromUtf8(stem + "002." + row.extension)), "mine");
        EXPECT_EQ(m.saved().size(), 4u);
        EXPECT_EQ(std::u16string(first.m_szSaveFolder), kFolder);  // the folder gained its backslash
    }
}

TEST(OutputNames, AFolderThatTakesNoFileAndAnUnknownTypeGiveCannotCreate) {
    JobMachine m;
    platform::setLocalTime({2026, 12, 10, 19, 40, 5});
    // Another job's probe of the same second is not touched; the probe takes the next name.
    m.machine.writeFile(kFolder + u"261210194005temp.dat", "probe");
    CScanManagerApp app;
    lstrcpynW(app.m_szSaveFolder, kJobFolder, MAX_PATH);
    WCHAR path[MAX_PATH];
    app.m_nSaveType = 10;
    EXPECT_EQ(app.GetFilePathForPushScan(path), SCAN_ERROR_CANNOT_CREATE);
    app.m_nSaveType = SAVE_TYPE_JPG;
    platform::setFault("CreateFile", platform::Fault()
                                         .onlyFor(platform::toUtf8(kFolder) + "261210194005temp1.dat")
                                         .withError(ERROR_ACCESS_DENIED));
    platform::clearDebugLog();
    EXPECT_EQ(app.GetFilePathForPushScan(path), SCAN_ERROR_CANNOT_CREATE);
    EXPECT_TRUE(logged("Could not open file (error 5)"));
    EXPECT_EQ(app.GetFilePathForPushScan(path), 1);
    EXPECT_EQ(m.machine.readFile(kFolder + u"261210194005temp.dat"), "probe");
    EXPECT_EQ(m.saved(), (std::vector<std::string>{"261210194005temp.dat", "img-261210194005-001.jpg"}));
    ASSERT_TRUE(DeleteFileW((kFolder + u"261210194005temp.dat").c_str()) && DeleteFileW(path));
    ASSERT_TRUE(RemoveDirectoryW(kJobFolder));
    EXPECT_EQ(app.GetFilePathForPushScan(path), SCAN_ERROR_CANNOT_CREATE);
}

// ---- Errors ---------------------------------------------------------------------------------------

TEST(ScanErrors, EachCodeShowsItsTextAfterTheProgressDialogGoes) {
    struct Row {
        int code;
        UINT text;  // 0: nothing is shown
    };
    const Row rows[] = {
        {3, IDS_SCANNER_STATUS_3},  {6, IDS_SCANNER_STATUS_6},    {7, IDS_SCANNER_STATUS_7},
        {8, IDS_SCANNER_STATUS_8},  {12, IDS_SCAN_FAILED},        {-55, IDS_CANNOT_WRITE},
        {-54, IDS_PDF_FAILED},      {-51, IDS_BAD_FOLDER},        {-1, IDS_SCAN_FAILED},
        {-40, IDS_SCAN_FAILED},     {87, IDS_SCAN_FAILED},        {2, 0},
    };
    scantest::DialogMachine m;
    ErrorBoxes boxes;
    std::vector<std::u16string> expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        platform::clearDebugLog();
        CTransferCallbackEx receiver;
        IStream* stream = nullptr;
        ASSERT_EQ(receiver.NewStream(0, &stream), 0);  // the first stream brings the progress dialog
        ASSERT_TRUE(receiver.HasProgressDialog());
        ShowScanError(&receiver, row.code);
        EXPECT_FALSE(receiver.HasProgressDialog());
        EXPECT_TRUE(dlg::findDialogs({}, IDD_PROGRESS_DIALOG).empty());
        EXPECT_TRUE(logged("ErrorCode:" + std::to_string(row.code)));
        if (row.text) expected.push_back(m.text(row.text));
        EXPECT_EQ(boxes.texts(), expected);
        stream->Release();
    }
}

// The general receiver: progress on the dialog, errors from 2 to 199 shown, everything else not, and
// the reply 202 once the user cancelled.
TEST(ScanErrors, TheGeneralReceiverShowsOnlyRealErrorsAndRepliesCancelOnceCancelled) {
    scantest::DialogMachine m;
    ErrorBoxes boxes;
    CTransferCallbackEx receiver;
    struct Step {
        TransferMessage message;
        int reply;
        bool dialogAfter;
    };
    const Step steps[] = {
        {{TRANSFER_MSG_NEW_PAGE, 0, 0, 0}, 0, true},
        {{TRANSFER_MSG_PROGRESS, 40, 1000, 0}, 0, true},
        {{TRANSFER_MSG_PROGRESS, 0, 0, 1}, 1, true},  // 1 is no error
        {{TRANSFER_MSG_PROGRESS, 0, 0, SCAN_CANCELLED}, SCAN_CANCELLED, true},
        {{TRANSFER_MSG_EXIT, 0, 0, 0}, 0, true},
        {{TRANSFER_MSG_END_OF_STREAM, 0, 0, 0}, 0, false},
        {{TRANSFER_MSG_NEW_PAGE, 0, 0, 0}, 0, true},
        {{TRANSFER_MSG_PROGRESS, 0, 0, 3}, 3, false},
        {{TRANSFER_MSG_NEW_PAGE, 0, 0, 0}, 0, true},
        {{TRANSFER_MSG_END_OF_TRANSFER, 0, 0, 0}, 0, false},
    };
    for (const Step& s : steps) {
        TransferMessage message = s.message;
        EXPECT_EQ(receiver.TransferCallback(0, &message), s.reply) << message.nType << " " << message.nError;
        EXPECT_EQ(receiver.HasProgressDialog() != FALSE, s.dialogAfter) << message.nType;
        if (message.nType == TRANSFER_MSG_PROGRESS && message.nPercent == 40) {
            HWND d = dlg::findDialogs({}, IDD_PROGRESS_DIALOG).front();
            EXPECT_EQ(dlg::controlText(d, IDC_PROGRESS_TEXT), u"Scanning... 40%");
            EXPECT_EQ(dlg::controlText(d, IDC_PAGE_COUNT), u"1");
        }
    }
    EXPECT_EQ(boxes.texts(), std::vector<std::u16string>{m.text(IDS_SCANNER_STATUS_3)});
    EXPECT_EQ(receiver.TransferCallback(0, nullptr), -1);
    // Cancelled in the dialog: every reply is 202 until the dialog goes.
    TransferMessage newPage = {TRANSFER_MSG_NEW_PAGE, 0, 0, 0};
    receiver.TransferCallback(0, &newPage);
    ASSERT_TRUE(dlg::clickButton(dlg::findDialogs({}, IDD_PROGRESS_DIALOG).front(), IDCANCEL));
    TransferMessage progress = {TRANSFER_MSG_PROGRESS, 50, 10, 0};
    EXPECT_EQ(receiver.TransferCallback(0, &progress), SCAN_CANCELLED);
    EXPECT_TRUE(receiver.IsCancelled());
}

// ---- Whole jobs -----------------------------------------------------------------------------------

TEST(ScanJobs, OnePageIsSavedCheckedAndOpenedWithItsFolder) {
    struct Row {
        BYTE fileType;
        std::string pattern;
        std::string check;  // a command that must accept the file
        int status;         // with this exit status
    };
    const Row rows[] = {
        {0, "img-[0-9]{12}-001\\.tif", "tiffinfo", 0},
        {1, "img-[0-9]{12}-001\\.jpg", "djpeg -pnm >/dev/null", 0},
        // The one-page writer leaves objects 1, 3 and 4 empty, which qpdf warns of (and of nothing else).
        {2, "img-[0-9]{12}-001\\.pdf", "qpdf --check", 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        JobMachine m({1, 1});
        ErrorBoxes boxes;
        platform::clearShellActions();
        CScanManagerApp app;
        ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 2, 6, row.fileType, 0, 0}));
        const auto saved = m.saved();
        ASSERT_EQ(matching(saved, row.pattern), saved);
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(pages::Shell(row.check + " " + pages::Quoted(hostOf(m, saved[0]))).status, row.status);
        if (row.fileType == 1) {
            EXPECT_EQ(scantest::closestPage(scantest::decodeJpeg(hostOf(m, saved[0])), 1, kCardPixels, kCardLines), 1);
        }
        const std::vector<Opened> expected = {
            {"ShellExecuteExW", u"", kFolder + platform::fromUtf8(saved[0]), SW_SHOW},
            kOpenFolder,
        };
        EXPECT_EQ(opened(), expected);
        EXPECT_TRUE(boxes.texts().empty());
        EXPECT_TRUE(dlg::findDialogs({}, IDD_MSG_DIALOG).empty());  // the note went with the opening
        EXPECT_EQ(app.m_lstScanFile.GetSize(), 1);
    }
}

TEST(ScanJobs, AMultiPageJpegJobSavesEveryPageAndOpensOnlyTheFolder) {
    JobMachine m({1, 1});
    m.script("pages 3\n");
    ErrorBoxes boxes;
    platform::clearShellActions();
    CScanManagerApp app;
    ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 1, 6, 1, 1, 0}));  // 150 dpi grey card, feeder
    const auto saved = m.saved();
    ASSERT_EQ(matching(saved, "img-[0-9]{12}-00[1-3]\\.jpg"), saved);
    ASSERT_EQ(saved.size(), 3u);
    for (int page = 1; page <= 3; ++page)
        EXPECT_EQ(scantest::closestPage(scantest::decodeJpeg(hostOf(m, saved[page - 1])), 3, kCardPixels, kCardLines),
                  page);
    EXPECT_EQ(opened(), std::vector<Opened>{kOpenFolder});
    EXPECT_TRUE(boxes.texts().empty());
}

TEST(ScanJobs, AMultiPagePdfJobLeavesOnePdfOfThePagesInOrderAndNoTemporaryPage) {
    JobMachine m({0, 1});
    m.script("pages 3\n");
    ErrorBoxes boxes;
    platform::clearShellActions();
    CScanManagerApp app;
    ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 2, 6, 2, 1, 0}));  // 150 dpi colour card, feeder
    const auto saved = m.saved();
    ASSERT_EQ(matching(saved, "img-[0-9]{12}-001\\.pdf"), saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(pages::Shell("qpdf --check " + pages::Quoted(hostOf(m, saved[0]))).status, 0);
    const auto images = scantest::pdfImages(hostOf(m, saved[0]));
    ASSERT_EQ(images.size(), 3u);
    for (int page = 1; page <= 3; ++page)
        EXPECT_EQ(scantest::closestPage(images[page - 1], 3, kCardPixels, kCardLines), page);
    EXPECT_TRUE(temporaryPages(m).empty());
    EXPECT_EQ(opened(), std::vector<Opened>{kOpenFolder});
    EXPECT_TRUE(boxes.texts().empty());
    ASSERT_EQ(app.m_lstScanFile.GetSize(), 1);
    EXPECT_EQ(std::u16string(app.m_lstScanFile[0]), kFolder + platform::fromUtf8(saved[0]));
}

// Cancel during the second page: the first page stays, the second is dropped, and the folder is
// still opened for what was saved; a cancel is no error.
TEST(ScanJobs, CancellingMidJobKeepsTheSavedPagesAndStillOpensTheFolder) {
    JobMachine m({0, 1});
    m.script("pages 3\nhold 2 10\n");  // the second page's reads wait while the user cancels
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, u"Local\\vqm-standin-hold");
    HANDLE secondPage = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ErrorBoxes boxes;
    platform::clearShellActions();
    platform::clearDebugLog();
    HookedApp app;
    int streams = 0;
    app.afterNewStream = [&] {
        if (++streams == 2) SetEvent(secondPage);
    };
    bool started = false;
    std::thread job([&] { started = scantest::runPushCommand(app, {0x56, 1, 1, 6, 1, 1, 0}); });
    ASSERT_EQ(WaitForSingleObject(secondPage, INFINITE), WAIT_OBJECT_0);
    const auto progress = dlg::findDialogs({}, IDD_PROGRESS_DIALOG);
    EXPECT_EQ(progress.size(), 1u);
    for (HWND d : progress) {
        EXPECT_EQ(dlg::controlText(d, IDC_PAGE_COUNT), u"2");
        EXPECT_TRUE(dlg::clickButton(d, IDCANCEL));
    }
    SetEvent(hold);
    job.join();
    CloseHandle(hold);
    CloseHandle(secondPage);
    EXPECT_TRUE(started);
    const auto saved = m.saved();
    ASSERT_EQ(matching(saved, "img-[0-9]{12}-001\\.jpg"), saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(scantest::closestPage(scantest::decodeJpeg(hostOf(m, saved[0])), 3, kCardPixels, kCardLines), 1);
    EXPECT_EQ(opened(), std::vector<Opened>{kOpenFolder});
    EXPECT_TRUE(boxes.texts().empty());
    const auto journal = m.journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "ScanDrv_AbortScan 23713 -> 0"), journal.end());
    EXPECT_TRUE(logged("Scan thread is cancel"));
}

// The application object going while its job runs (the process ending under it): the job is
// stopped, the thread joined before any member goes, the device closed and nothing left on screen.
TEST(ScanJobs, TheApplicationGoingStopsItsRunningJob) {
    JobMachine m({0, 1});
    m.script("pages 3\nhold 1 10\n");
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, u"Local\\vqm-standin-hold");
    ErrorBoxes boxes;
    platform::clearDebugLog();
    auto* app = new CScanManagerApp;
    WCHAR driver[MAX_PATH];
    GetDriverDllPath(driver);
    ASSERT_EQ(LoadScannerDriver(driver, &app->m_scanUtility.m_scanner), 0);
    const BYTE command[] = {0x56, 1, 1, 6, 1, 1, 0};
    ASSERT_TRUE(DecodePushCommand(u"\\\\?\\usb#vid_3a1f", app, command, sizeof command));
    std::thread end([&] { delete app; });
    while (!app->m_scanUtility.m_bStop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetEvent(hold);
    end.join();
    CloseHandle(hold);
    const auto log = platform::debugLog();
    const auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    EXPECT_TRUE(logged("Scan thread is terminate"));  // before the page's stream, or during the page
    EXPECT_LT(at("ScanThreadProc end"), at("~CScanUtility"));
    const auto journal = m.journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "ScanDrv_Close 23713 -> 0"), 1);
    EXPECT_TRUE(dlg::findDialogs({}, IDD_PROGRESS_DIALOG).empty());
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_TRUE(m.saved().empty());
}

// A launch whose wait for the scan thread fails goes on only once the thread has ended: start-up
// would otherwise end and free the driver under it.
TEST(ScanJobs, ALaunchWhoseWaitFailsReturnsOnlyOnceTheJobHasEnded) {
    // No dialog and no page kept, so that nothing but the launch waits for anything.
    class QuietApp : public CScanManagerApp {
    public:
        int NewStream(int, IStream** ppStream) override {
            return SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, ppStream)) ? 0 : SCAN_ERROR_NO_MEMORY;
        }
        int TransferCallback(int, TransferMessage*) override { return 0; }
    };
    JobMachine m;
    m.script("delay 3\n");  // 162 lines of a 75 dpi card, each taking real time
    platform::clearDebugLog();
    QuietApp app;
    platform::setFault("WaitForSingleObject", platform::Fault());
    app.PushParamLaunch(u"\\\\?\\usb#vid_3a1f", u"016100");
    platform::clearFaults();
    EXPECT_EQ(WaitForSingleObject(app.m_scanUtility.m_hThread, 0), WAIT_OBJECT_0) << "the thread has ended";
    const auto log = platform::debugLog();
    const auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    EXPECT_LT(at("Wait for scan thread fail:6"), at("ScanThreadProc end"));
    EXPECT_LT(at("ScanThreadProc end"), at("Exit application"));
    EXPECT_LT(at("Exit application"), static_cast<std::ptrdiff_t>(log.size()));
    const auto journal = m.journal();
    EXPECT_EQ(journal.empty() ? "" : journal.back(), "ScanDrv_Close 23713 -> 0");
}

// A status of the driver mid-page ends the job with its message; "no more pages" (2) with none. A
// refused scan window or geometry is told as well.
TEST(ScanJobs, ADriverStatusEndsTheJobWithItsMessageAndTwoWithNone) {
    struct Row {
        const char* script;
        int status;
        UINT text;  // 0: none
    };
    const Row rows[] = {
        {"read 1 5 2\n", 2, 0},
        {"read 1 5 3\n", 3, IDS_SCANNER_STATUS_3},
        {"read 1 5 7\n", 7, IDS_SCANNER_STATUS_7},
        {"set 3\n", 3, IDS_SCANNER_STATUS_3},
        {"get 6\n", 6, IDS_SCANNER_STATUS_6},
        {"pixels 999999469\n", SCAN_ERROR_FAILED, IDS_SCAN_FAILED},  // a line far beyond the glass
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        JobMachine m({1, 1});
        m.script(row.script);
        ErrorBoxes boxes;
        platform::clearShellActions();
        platform::clearDebugLog();
        {
            CScanManagerApp app;
            ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 2, 6, 1, 0, 0}));
        }
        EXPECT_TRUE(logged("ErrorCode:" + std::to_string(row.status)));
        EXPECT_EQ(boxes.texts(), row.text ? std::vector<std::u16string>{m.text(row.text)} : std::vector<std::u16string>{});
        EXPECT_TRUE(m.saved().empty());
        EXPECT_TRUE(opened().empty());
        EXPECT_TRUE(dlg::findDialogs({}, IDD_PROGRESS_DIALOG).empty());
    }
}

// A page whose file cannot be written is not left half-written, the user is told, and the job ends
// with the pages saved before it kept.
TEST(ScanJobs, AFailedSaveDeletesThePartialFileAndShowsCannotWrite) {
    for (const BYTE fileType : {BYTE{0}, BYTE{1}}) {
        SCOPED_TRACE(fileType);
        JobMachine m({0, 1});
        m.script("pages 3\n");
        ErrorBoxes boxes;
        platform::clearShellActions();
        HookedApp app;
        int pagesEnded = 0;
        app.before = [&](const TransferMessage& message) {
            if (message.nType == TRANSFER_MSG_END_OF_STREAM && ++pagesEnded == 2)
                platform::setFault("WriteFile", platform::Fault().moving(100, false).failing(-1));
        };
        ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 1, 6, fileType, 1, 0}));
        platform::clearFaults();
        const auto saved = m.saved();
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_TRUE(std::regex_match(saved[0], std::regex(fileType ? "img-[0-9]{12}-001\\.jpg" : "img-[0-9]{12}-001\\.tif")));
        EXPECT_EQ(boxes.texts(), std::vector<std::u16string>{m.text(IDS_CANNOT_WRITE)});
        EXPECT_EQ(pagesEnded, 2);  // no third page was scanned
        EXPECT_EQ(opened(), std::vector<Opened>{kOpenFolder});  // for the page that was saved
    }
}

// Pages that cannot be joined into the PDF are kept: in the save folder as JPEG files in their order,
// or, with the save folder gone, where they were. The user is told either way.
TEST(ScanJobs, AFailedJoinKeepsEveryPage) {
    for (const bool folderGone : {false, true}) {
        SCOPED_TRACE(folderGone);
        JobMachine m({0, 1});
        m.script("pages 3\n");
        ErrorBoxes boxes;
        platform::clearShellActions();
        HookedApp app;
        app.before = [&](const TransferMessage& message) {
            if (message.nType != TRANSFER_MSG_END_OF_TRANSFER) return;
            if (folderGone) {
                EXPECT_TRUE(RemoveDirectoryW(kJobFolder));
            } else {
                platform::setFault("WriteFile", platform::Fault().failing(-1));
            }
        };
        ASSERT_TRUE(scantest::runPushCommand(app, {0x56, 1, 2, 6, 2, 1, 0}));
        platform::clearFaults();
        EXPECT_EQ(boxes.texts(), std::vector<std::u16string>{m.text(IDS_PDF_FAILED)});
        EXPECT_TRUE(opened().empty());
        std::vector<std::filesystem::path> kept;
        if (folderGone) {
            EXPECT_EQ(temporaryPages(m).size(), 3u);
            for (INT_PTR i = 0; i < app.m_lstScanFile.GetSize(); ++i)
                kept.push_back(m.machine.host(static_cast<LPCWSTR>(app.m_lstScanFile[i])));
        } else {
            const auto saved = m.saved();
            EXPECT_EQ(matching(saved, "img-[0-9]{12}-00[1-3]\\.jpg"), saved);
            EXPECT_TRUE(temporaryPages(m).empty());
            for (const std::string& name : saved) kept.push_back(hostOf(m, name));
        }
        ASSERT_EQ(kept.size(), 3u);
        for (int page = 1; page <= 3; ++page)
            EXPECT_EQ(scantest::closestPage(scantest::decodeJpeg(kept[page - 1]), 3, kCardPixels, kCardLines), page);
    }
}

// A join of more than a thousand pages is refused, and every page is kept all the same: past the
// 998 names of one second the pages take the names of the next.
TEST(ScanJobs, AJoinOfMoreThanAThousandPagesKeepsEveryPageUnderLaterSeconds) {
    JobMachine m;
    platform::setLocalTime({2026, 12, 10, 23, 59, 59}, true);  // the next second is another day
    CScanManagerApp app;
    lstrcpynW(app.m_szSaveFolder, kJobFolder, MAX_PATH);
    app.m_nSaveType = SAVE_TYPE_PDF;
    app.m_bMultiPage = 1;
    app.m_nResolution = 75;
    app.m_nPageWidth = app.m_nPageHeight = 16;
    const std::u16string first = m.tempFolder() + u"Jpg0.TMP";
    IStream* stream = pages::StreamOf(pages::Bitmap(pages::Page{16, 16, 24, 75}));
    ASSERT_EQ(SavePageStream(stream, first.c_str(), SAVE_TYPE_JPG), 0);
    stream->Release();
    const std::string jpeg = m.machine.readFile(first).value_or("");
    constexpr int kPages = PDF_MAX_PAGES + 1;
    for (int i = 0; i < kPages; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Jpg%X.TMP", i);
        const std::u16string page = m.tempFolder() + platform::fromUtf8(name);
        m.machine.writeFile(page, jpeg);
        app.m_lstScanFile.Add(CString(page.c_str()));
    }
    EXPECT_EQ(app.CreatePdfFromJpg(), -1);
    EXPECT_TRUE(temporaryPages(m).empty()) << "no page stays behind";
    const auto saved = m.saved();
    EXPECT_EQ(matching(saved, "img-261210235959-[0-9]{3}\\.jpg").size(), 998u);
    EXPECT_EQ(matching(saved, "img-261211000000-00[1-3]\\.jpg").size(), 3u);
    EXPECT_EQ(saved.size(), static_cast<size_t>(kPages));
    ASSERT_EQ(app.m_lstScanFile.GetSize(), kPages);
    EXPECT_EQ(std::u16string(app.m_lstScanFile[997]), kFolder + u"img-261210235959-998.jpg");
    EXPECT_EQ(std::u16string(app.m_lstScanFile[998]), kFolder + u"img-261211000000-001.jpg");
    EXPECT_EQ(std::u16string(app.m_lstScanFile[kPages - 1]), kFolder + u"img-261211000000-003.jpg");
    EXPECT_EQ(m.machine.readFile(kFolder + u"img-261211000000-003.jpg"), jpeg);
    platform::useHostLocalTime();
}

}  // namespace
