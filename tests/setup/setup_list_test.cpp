// The uninstaller's printer list: the product's printers by driver-name prefix in reverse order, the
// delete-one button, and the refusals while a printer prints or the scan software runs.
#include <gtest/gtest.h>

#include <optional>

#include "MainManage.h"
#include "SetupTexts.h"
#include "UninstallListPage.h"
#include "support/setup_machine.h"
#include "win/processes.h"
#include "win/spooler.h"

namespace {

using namespace setup_test;

TEST_F(SetupMachine, TheListShowsTheProductsPrintersNewestFirstWithTheirPorts) {
    Product product;
    product.models = {"Zandrel M2100", "Zandrel M21", ""};
    writeConfig(product);
    installPrinter(u"A office", u"Zandrel M2100 PCL", u"USB001");
    installPrinter(u"B lobby", u"Zandrel M2200", u"USB002");         // no model is its prefix
    installPrinter(u"C desk", u"zandrel m2100", u"USB003");          // letter case differs
    installPrinter(u"D hall", u"Zandrel M2105", u"USB004");          // the shorter model only
    std::vector<std::u16string> names, ports, headings;
    bool deleteOneEnabled = true;
    runSetup({}, [&](HWND page) {
        HWND list = GetDlgItem(page, IDC_LIST_PRINTERS);
        names = listRows(list, 0);
        ports = listRows(list, 1);
        deleteOneEnabled = IsWindowEnabled(GetDlgItem(page, IDC_LIST_DELETE_ONE));
        platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDOK}});
        PostMessageW(GetParent(page), WM_CLOSE, 0, 0);
    });
    // Enumerated A (two models), D; shown in reverse.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"D hall", u"A office", u"A office"}));
    EXPECT_EQ(ports, (std::vector<std::u16string>{u"USB004", u"USB001", u"USB001"}));
    EXPECT_FALSE(deleteOneEnabled);
    EXPECT_TRUE(unanswered.empty());
}

TEST_F(SetupMachine, DeleteOneIsEnabledForOneRowOfSeveralAndChoosesItsDriver) {
    installPrinter(u"A office", u"Zandrel M2100 PCL");
    installPrinter(u"B lobby", u"Zandrel M2100 PCL");
    installPrinter(u"C desk", u"Zandrel M2100 XL");
    RegisterSetupWindowClass();
    CDlg_UnistallMainManage window;
    bool enabledAfterClick = false;
    auto scripting = std::make_unique<platform::dialogs::Script>();
    std::thread user([&] {
        HWND page = waitForPage(IDC_LIST_PRINTERS);
        ASSERT_NE(page, nullptr);
        platform::dialogs::clickListItem(page, IDC_LIST_PRINTERS, 1);  // B (rows: C, B, A)
        enabledAfterClick = IsWindowEnabled(GetDlgItem(page, IDC_LIST_DELETE_ONE));
        platform::dialogs::clickButton(page, IDC_LIST_DELETE_ONE);
        scripting.reset();
        PostMessageW(GetParent(page), WM_COMMAND, IDCANCEL, 0);
    });
    window.DoModal();
    user.join();
    EXPECT_TRUE(enabledAfterClick);
    EXPECT_EQ(window.m_nRemovalMode, kRemoveOne);
    EXPECT_EQ(window.m_ChosenPrinter, u"B lobby");
    EXPECT_EQ(window.m_ChosenDriver, u"Zandrel M2100 PCL");
    EXPECT_EQ(window.m_nSameDriverCount, 2);
    EXPECT_EQ(window.m_nPageState, kPageRemoving);
}

TEST_F(SetupMachine, OnePrinterNeverEnablesDeleteOneAndDeleteAllStartsTheRemoval) {
    installPrinter(u"A office", u"Zandrel M2100 PCL");
    RegisterSetupWindowClass();
    CDlg_UnistallMainManage window;
    bool enabledAfterClick = true;
    UINT closeState = 0;
    auto scripting = std::make_unique<platform::dialogs::Script>();
    std::thread user([&] {
        HWND page = waitForPage(IDC_LIST_PRINTERS);
        ASSERT_NE(page, nullptr);
        platform::dialogs::clickListItem(page, IDC_LIST_PRINTERS, 0);
        enabledAfterClick = IsWindowEnabled(GetDlgItem(page, IDC_LIST_DELETE_ONE));
        platform::dialogs::clickButton(page, IDOK);
        closeState = GetMenuState(GetSystemMenu(GetParent(page), FALSE), SC_CLOSE, MF_BYCOMMAND);
        scripting.reset();
        PostMessageW(GetParent(page), WM_COMMAND, IDCANCEL, 0);
    });
    window.DoModal();
    user.join();
    EXPECT_FALSE(enabledAfterClick);
    EXPECT_EQ(window.m_nRemovalMode, kRemoveAll);
    EXPECT_EQ(window.m_nPageState, kPageRemoving);
    EXPECT_TRUE(closeState & MF_GRAYED) << "Close is greyed while the removal runs";
}

TEST_F(SetupMachine, ARemovalIsRefusedWhileAPrinterPrintsOrTheScanSoftwareRuns) {
    const std::u16string busy = u"A %Text% printer is printing. Please uninstall the driver after printing has finished.";
    const std::u16string inUse = u"The scan program is in use; the software cannot be uninstalled now.";
    const struct {
        const char* what;
        std::string type;
        bool printing, scanApplication, scanButton;
        std::string twainMutex;
        std::u16string refusal;  // empty: the removal starts
        std::optional<platform::Fault> enumJobs = {};
    } cases[] = {
        {"a printer with a job", "1", true, false, false, "Local\\vrx4410_SCANAPPFLAG", busy},
        // The record counts the job, the enumeration decides.
        {"a job that ended after cJobs counted it", "1", true, false, false, "Local\\vrx4410_SCANAPPFLAG", u"",
         platform::Fault{}.moving(0, true)},
        {"EnumJobsW failing", "1", true, false, false, "Local\\vrx4410_SCANAPPFLAG", u"", platform::Fault{}},
        {"the scan application's mutex", "1", false, true, false, "Local\\vrx4410_SCANAPPFLAG", inUse},
        {"the scan-button program runs", "1", false, false, true, "Local\\vrx4410_SCANAPPFLAG", inUse},
        {"a printer-only product", "0", false, true, true, "Local\\vrx4410_SCANAPPFLAG", u""},
        {"an empty TwainMutex", "1", false, true, false, "", u""},
    };
    for (const auto& c : cases) {
        start({});
        Product product;
        product.type = c.type;
        product.twainMutex = c.twainMutex;
        writeConfig(product);
        installPrinter(u"A office", u"Zandrel M2100 PCL");
        HANDLE job = nullptr;
        if (c.printing) {
            std::u16string name = u"A office";
            ASSERT_TRUE(OpenPrinterW(name.data(), &job, nullptr));
            DOC_INFO_1W doc{const_cast<LPWSTR>(u"page"), nullptr, nullptr};
            ASSERT_TRUE(StartDocPrinterW(job, 1, reinterpret_cast<LPBYTE>(&doc)));
        }
        HANDLE scanApplication = c.scanApplication ? CreateMutexW(nullptr, FALSE, u"Local\\vrx4410_SCANAPPFLAG") : nullptr;
        if (c.scanButton) platform::placeProcess(u"C:\\Program Files\\Zandrel\\M2100\\vrx4410PushScan.exe");
        if (c.enumJobs) platform::setFault("EnumJobsW", *c.enumJobs);
        std::vector<DialogAnswer> answers = {{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDOK}};
        if (!c.refusal.empty()) answers.push_back({DialogAnswer::Box, 0, 0, 0, IDOK});
        int state = -1;
        runSetup(answers, [&](HWND page) {
            // Refused: once the box was answered and has gone; started: once the page is hidden.
            if (!c.refusal.empty()) {
                waitUntil([] { return platform::answeredDialogs().size() >= 2; });
                waitUntil([] { return !messageBoxOpen(); });
            } else {
                waitUntil([&] { return !IsWindowVisible(page); });
            }
            state = IsWindowVisible(page) ? kPageList : kPageRemoving;
            platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDOK}});
            PostMessageW(GetParent(page), WM_CLOSE, 0, 0);
            if (state == kPageRemoving) PostMessageW(GetParent(page), WM_COMMAND, IDCANCEL, 0);
        });
        const auto boxes = answeredBoxTexts();
        if (c.enumJobs) {
            EXPECT_GE(platform::callCount("EnumJobsW"), 1) << c.what;
        }
        if (c.refusal.empty()) {
            EXPECT_EQ(state, kPageRemoving) << c.what;
        } else {
            EXPECT_EQ(state, kPageList) << c.what;
            ASSERT_FALSE(boxes.empty()) << c.what;
            EXPECT_EQ(boxes.front(), uninstall::ReplaceHeading(c.refusal, kHeading)) << c.what;
        }
        if (job) {
            EndDocPrinter(job);
            ClosePrinter(job);
        }
        if (scanApplication) CloseHandle(scanApplication);
    }
}

TEST(MatchProductPrinters, PrefixesAreCaseSensitiveAndTheAccessDecides) {
    PRINTER_INFO_2W a{}, b{}, c{};
    a.pPrinterName = const_cast<LPWSTR>(u"A");
    a.pDriverName = const_cast<LPWSTR>(u"Zandrel M2100 PCL");
    b.pPrinterName = const_cast<LPWSTR>(u"B");
    b.pDriverName = const_cast<LPWSTR>(u"ZANDREL M2100");
    c.pPrinterName = const_cast<LPWSTR>(u"C");
    c.pDriverName = nullptr;
    const std::vector<ModelEntry> models = {{u"MFP", u"Zandrel M2100"}, {u"MFP", u"Zandrel"}, {u"MFP", u""}};
    auto all = MatchProductPrinters({&a, &b, &c}, models, [](const std::u16string&) { return true; });
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].printerName, u"A");
    EXPECT_EQ(all[1].driverName, u"Zandrel M2100 PCL");
    EXPECT_TRUE(MatchProductPrinters({&a}, models, [](const std::u16string&) { return false; }).empty());
}

}  // namespace
