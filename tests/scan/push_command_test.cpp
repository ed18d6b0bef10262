// The push command's bytes: each byte's values and fallbacks, the rejections with their debug lines,
// the order of the checks, the second driver kind's mode byte and commands cut short. Every command
// that decodes runs as far as the stand-in driver's scan window, which must show what was asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DialogResources.h"
#include "ProductConfig.h"
#include "ScanManagerApp.h"
#include "platform/control.h"
#include "support/job_machine.h"
#include "win/files.h"

namespace {

namespace dlg = platform::dialogs;
using scantest::JobMachine;

// Records nothing and shows nothing: a job that starts is ended at its first page, once the driver
// has its scan window.
class DecodingApp : public CScanManagerApp {
public:
    int TransferCallback(int, TransferMessage* pMessage) override {
        return pMessage->nType == TRANSFER_MSG_NEW_PAGE ? SCAN_CANCELLED : 0;
    }
};

bool logged(const std::string& line) {
    const auto log = platform::debugLog();
    return std::find(log.begin(), log.end(), line) != log.end();
}

struct PlatformC {
    explicit PlatformC(bool on) { g_bIsPlatformC = on; }
    ~PlatformC() { g_bIsPlatformC = FALSE; }
};

TEST(PushCommand, EachByteDecodesOrRejects) {
    struct Row {
        std::vector<BYTE> command;
        bool platformC;
        bool starts;
        int dpi, colour, width, height, saveType, source, multiPage;
        std::string debug;  // a line the decoding wrote ("" for none to look for)
    };
    const Row rows[] = {
        // 600 dpi colour A4 PDF from the flatbed, one page (the digits 320200).
        {{0x56, 3, 2, 0, 2, 0, 0}, false, true, 600, 2, 9921, 14031, SAVE_TYPE_PDF, 0, 0, "single scan mode"},
        {{0x56, 0, 0, 1, 0, 0, 0}, false, true, 75, 0, 6992, 9921, SAVE_TYPE_TIF, 0, 0, "single scan mode"},
        // The feeder always makes a multi-page job; byte 6 makes one from the flatbed.
        {{0x56, 1, 1, 6, 1, 1, 0}, false, true, 150, 1, 4252, 2598, SAVE_TYPE_JPG, 1, 1, "multi scan mode"},
        {{0x56, 2, 1, 10, 0, 0, 1}, false, true, 300, 1, 4961, 6992, SAVE_TYPE_TIF, 0, 1, "multi scan mode"},
        // Unknown paper, file type and source fall back to the full bed, PDF and the flatbed.
        {{0x56, 2, 1, 11, 1, 0, 0}, false, true, 300, 1, 10205, 14031, SAVE_TYPE_JPG, 0, 0, "scan size error, default full"},
        {{0x56, 2, 1, 9, 9, 0, 0}, false, true, 300, 1, 8315, 11811, SAVE_TYPE_PDF, 0, 0, "save type error, save default PDF"},
        {{0x56, 2, 1, 3, 0, 7, 0}, false, true, 300, 1, 8598, 12142, SAVE_TYPE_TIF, 0, 0, "ScanSource error, default flatbed"},
        // Bytes past the command are not looked at.
        {{0x56, 1, 2, 5, 1, 0, 0, 1, 1}, false, true, 150, 2, 10200, 13200, SAVE_TYPE_JPG, 0, 0, "single scan mode"},
        // Rejections.
        {{0x55, 1, 2, 0, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, 0, "Push CMD Head error!"},
        {{0x56, 4, 2, 0, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, 0, "Scan Resolution error"},
        {{0x56, 0xFF, 2, 0, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, 0, "Scan Resolution error"},
        {{0x56, 1, 3, 0, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, 0, "color error"},
        {{0x56, 1, 2, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, 0, "Push CMD length error: 6"},
        {{}, false, false, 0, 0, 0, 0, 0, 0, 0, "Push CMD length error: 0"},
        // The second driver kind: byte 7 alone says single (source 8) or multi-page (source 4, always
        // PDF); bytes 5 and 6 mean nothing; another mode leaves both at zero.
        {{0x56, 2, 1, 0, 0, 1, 1, 1}, true, true, 300, 1, 9921, 14031, SAVE_TYPE_PDF, 4, 1, ""},
        {{0x56, 2, 1, 0, 0, 1, 1, 0}, true, true, 300, 1, 9921, 14031, SAVE_TYPE_TIF, 8, 0, ""},
        {{0x56, 2, 1, 0, 1, 1, 1, 5}, true, true, 300, 1, 9921, 14031, SAVE_TYPE_JPG, 0, 0, ""},
        {{0x56, 2, 1, 0, 0, 1, 1}, true, false, 0, 0, 0, 0, 0, 0, 0, "Push CMD length error: 7"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>(row.command.begin(), row.command.end())));
        JobMachine m;
        PlatformC platformC(row.platformC);
        platform::clearDebugLog();
        DecodingApp app;
        EXPECT_EQ(scantest::runPushCommand(app, row.command), row.starts);
        if (!row.debug.empty()) {
            EXPECT_TRUE(logged(row.debug)) << row.debug;
        }
        if (!row.starts) {
            EXPECT_EQ(app.m_scanUtility.m_hThread, nullptr);
            continue;
        }
        EXPECT_EQ(app.m_nResolution, row.dpi);
        EXPECT_EQ(app.m_nColorMode, row.colour);
        EXPECT_EQ(app.m_nSaveType, row.saveType);
        EXPECT_EQ(app.m_bMultiPage, row.multiPage);
        EXPECT_EQ(app.m_nPageWidth, row.width * row.dpi / 1200);
        EXPECT_EQ(app.m_nPageHeight, row.height * row.dpi / 1200);
        EXPECT_EQ(std::u16string(app.m_szSaveFolder), scantest::kJobFolder);
        const ScanJobRecord& job = g_ScanJob;
        EXPECT_EQ(job.nOpenRequest, 1);
        EXPECT_EQ(job.nReserved, 1);
        EXPECT_STREQ(job.szDevicePath, "\\\\?\\usb#vid_3a1f&pid_4410#5&1c0#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
        EXPECT_EQ(std::u16string(job.szSaveFolder), scantest::kJobFolder);
        EXPECT_EQ(job.bMultiPage, row.multiPage);
        EXPECT_EQ(job.params.nSource, row.source);
        EXPECT_EQ(job.params.nScanOption, SCAN_OPTION_DEFAULT);
        EXPECT_EQ(job.pCallback, static_cast<CTransferCallback*>(&app));
        // What the driver was asked for.
        const std::string window = "ScanDrv_SetScanParameter 23713 " + std::to_string(row.dpi) + " " +
                                   std::to_string(row.dpi) + " " + std::to_string(row.colour) + " 0 0 " +
                                   std::to_string(row.width) + " " + std::to_string(row.height) + " 127 " +
                                   std::to_string(row.source) + " -> 0";
        const auto journal = m.journal();
        EXPECT_NE(std::find(journal.begin(), journal.end(), window), journal.end()) << window;
    }
}

// Digits after "-PUSH_PARAM": one byte each after the head, only a character's low byte counting;
// bytes without a digit are 0xFF (refused as a resolution or colour, the default for the others), and
// digits past the command's length are not read.
TEST(PushCommand, DigitStringsShortLongAndWide) {
    struct Row {
        const char16_t* digits;
        bool platformC;
        const char* bytes;  // as written to the debugger output
        bool starts;
        int dpi, width, height, saveType, source, multiPage;
    };
    const Row rows[] = {
        {u"32", false, "56 3 2 ff ff ff ff ", true, 600, 10205, 14031, SAVE_TYPE_PDF, 0, 0},
        {u"\u0133\u0132\uFF30", false, "56 3 2 0 ff ff ff ", true, 600, 9921, 14031, SAVE_TYPE_PDF, 0, 0},
        {u"3202001", false, "56 3 2 0 2 0 0 ", true, 600, 9921, 14031, SAVE_TYPE_PDF, 0, 0},
        {u"1261109", false, "56 1 2 6 1 1 0 ", true, 150, 4252, 2598, SAVE_TYPE_JPG, 1, 1},
        {u"32020019", true, "56 3 2 0 2 0 0 1 ", true, 600, 9921, 14031, SAVE_TYPE_PDF, 4, 1},
        {u"3202", true, "56 3 2 0 2 ff ff ff ", true, 600, 9921, 14031, SAVE_TYPE_PDF, 0, 0},
        {u"", false, "56 ff ff ff ff ff ff ", false, 0, 0, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        JobMachine m;
        PlatformC platformC(row.platformC);
        platform::clearDebugLog();
        DecodingApp app;
        app.PushParamLaunch(u"\\\\?\\usb#vid_3a1f", row.digits);
        EXPECT_TRUE(logged(row.bytes));
        if (!row.starts) {
            EXPECT_TRUE(logged("Scan Resolution error"));
            EXPECT_EQ(app.m_scanUtility.m_hThread, nullptr);
            continue;
        }
        EXPECT_EQ(app.m_nResolution, row.dpi);
        EXPECT_EQ(app.m_nSaveType, row.saveType);
        EXPECT_EQ(app.m_bMultiPage, row.multiPage);
        EXPECT_EQ(g_ScanJob.params.nSource, row.source);
        EXPECT_EQ(g_ScanJob.params.nWidth, row.width);
        EXPECT_EQ(g_ScanJob.params.nHeight, row.height);
    }
}

// The folder is checked first: a missing one is reported even for a command that would be refused.
TEST(PushCommand, AMissingFolderIsReportedBeforeAWrongHeadByte) {
    JobMachine m;
    ASSERT_TRUE(RemoveDirectoryW(scantest::kJobFolder));
    platform::clearDebugLog();
    DecodingApp app;
    bool started = true;
    std::u16string shown;
    test_support::runScripted(
        IDD_ERROR_DIALOG,
        [&] {
            started = scantest::runPushCommand(app, {0x00, 1, 2, 0, 0, 0, 0});
            return INT_PTR{0};
        },
        [&](HWND box) {
            shown = dlg::controlText(box, IDC_ERROR_MESSAGE);
            RECT r{};
            GetClientRect(GetDlgItem(box, IDOK), &r);
            dlg::clickMouse(GetDlgItem(box, IDOK), r.right / 2, r.bottom / 2);
        });
    EXPECT_FALSE(started);
    EXPECT_EQ(shown, m.text(IDS_BAD_FOLDER));
    EXPECT_TRUE(logged(platform::toUtf8(scantest::kJobFolder)));
    EXPECT_FALSE(logged("Push CMD Head error!"));
}

TEST(PushCommand, NoDevicePathIsRefusedSilently) {
    JobMachine m;
    platform::clearDebugLog();
    DecodingApp app;
    const BYTE command[] = {0x56, 1, 2, 0, 0, 0, 0};
    EXPECT_FALSE(DecodePushCommand(nullptr, &app, command, sizeof command));
    EXPECT_TRUE(logged("Invalid device path."));
    EXPECT_EQ(app.m_scanUtility.m_hThread, nullptr);
}

}  // namespace
