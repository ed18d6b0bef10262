// The wizard in process: its frame (pages, Next and Back, the buttons' masks, the close item and box,
// its message boxes and banner) and its first two pages on a scripted radio.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MyWizard.h"
#include "NetworkDetailsPage.h"
#include "NetworkListPage.h"
#include "framework/support/scripted.h"
#include "platform/control.h"
#include "startup.h"
#include "support/dialog_script.h"
#include "support/wizard_resources.h"
#include "usb_printer.h"
#include "wifisetup/wlan_radios.h"
#include "win/spooler.h"

namespace {

namespace dlg = platform::dialogs;
using namespace wlantest;
using platform::testing::Machine;

constexpr int kNext = 1020, kBack = 1018, kCancel = 1019, kFinish = 1021, kPrint = 1022, kRefresh = 1023;
constexpr int kList = 1000, kManual = 1026, kManualName = 1002, kName = 1002, kKey = 1003, kSecurity = 1009;

Radio threeNetworks() {
    return wzcRadio({adapter(kGuidA, u"Radio A",
                             {network("Home", -40, 1), network("Cafe", -75, 0), network("Office", -60, 2)})});
}

bool enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; }
bool shown(HWND d, int id) { return IsWindowVisible(GetDlgItem(d, id)) != FALSE; }

// The page window with that template among the wizard's children.
HWND pageWindow(CMyWizard& wizard, int id) { return wizard.PageOf(id)->GetSafeHwnd(); }

// Answers the next message box with `button`, keeping its text and type.
struct BoxAnswer {
    std::u16string text;
    UINT type = 0;
    bool seen = false;
};
void answerBox(BoxAnswer& answer, int button) {
    HWND box = nullptr;
    for (int i = 0; i < 2000 && !box; ++i) {
        for (HWND d : dlg::findDialogs())
            if (dlg::isMessageBox(d)) box = d;
        if (!box) Sleep(10);
    }
    if (!box) return;
    answer.seen = true;
    answer.type = dlg::messageBoxType(box);
    answer.text = dlg::controlText(box, 0xFFFF);
    dlg::clickButton(box, button);
}

class Wizard : public ::testing::Test {
protected:
    std::unique_ptr<Machine> machine;
    std::unique_ptr<test_support::UnscriptedDialogs> unscripted;

    void SetUp() override { start({}); }
    void start(const platform::MachineSettings& settings) {
        unscripted.reset();
        machine.reset();
        machine = std::make_unique<Machine>(settings);
        unscripted = std::make_unique<test_support::UnscriptedDialogs>();
        NetworkListSort = {};
        GetWizardData() = WizardData{};
        RtlLanguageFlags = {};
        LanguageDllPath.clear();
        platform::resources::setProgramResources(rescomp::writeResourceFile(caspentest::programBanners()));
        ASSERT_NE(framework_test::useResources(*machine, caspentest::wizardLibrary()), nullptr);
        platform::radio::setRadio(threeNetworks());
    }
    void TearDown() override {
        if (HINSTANCE resources = AfxGetResourceHandle(); resources != AfxGetInstanceHandle()) FreeLibrary(resources);
        AfxSetResourceHandle(nullptr);
        platform::resources::setProgramResources({});
        RtlLanguageFlags = {};
        EXPECT_TRUE(unscripted->empty()) << "a dialog was left open";
    }
    // Runs the wizard while `script` acts on it; the script ends it unless it already has.
    void run(const std::function<void(HWND, CMyWizard&)>& script, CMyWizard* given = nullptr) {
        CMyWizard own;
        CMyWizard& wizard = given ? *given : own;
        test_support::runScripted(140, [&] { return wizard.DoModal(); }, [&](HWND d) {
            script(d, wizard);
            if (IsWindow(d)) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        });
    }
};

TEST_F(Wizard, NextAndBackFollowThePagesAnswers) {
    run([](HWND d, CMyWizard& wizard) {
        EXPECT_EQ(wizard.CurrentPageId(), 1);
        EXPECT_FALSE(enabled(d, kNext)) << "no network picked yet";
        EXPECT_TRUE(shown(d, kRefresh));
        EXPECT_FALSE(shown(d, kBack));
        ASSERT_TRUE(dlg::clickListItem(pageWindow(wizard, 1), kList, 0, /*twice=*/true));
        EXPECT_EQ(wizard.CurrentPageId(), 2) << "a double click goes on";
        EXPECT_EQ(GetWizardData().ssid, u"Cafe");
        EXPECT_EQ(GetWizardData().securityMode, 1);
        EXPECT_TRUE(shown(d, kBack));
        EXPECT_FALSE(shown(d, kRefresh));
        ASSERT_TRUE(dlg::clickButton(d, kBack));
        EXPECT_EQ(wizard.CurrentPageId(), 1);
        // Every page lies on the placeholder's rectangle, under the banner.
        RECT area{}, placed{};
        GetWindowRect(GetDlgItem(d, 1017), &area);
        for (int id = 1; id <= 4; ++id) {
            GetWindowRect(pageWindow(wizard, id), &placed);
            EXPECT_EQ(placed.left, area.left) << id;
            EXPECT_EQ(placed.top, area.top) << id;
            EXPECT_EQ(placed.right, area.right) << id;
            EXPECT_EQ(placed.bottom, area.bottom) << id;
        }
        // Refresh acts on the list page only: from page 2 the list keeps its rows though the radio changed.
        wizard.ShowPage(2);
        platform::radio::setRadio(wzcRadio({adapter(kGuidA, u"Radio A", {network("Barn", -50, 1)})}));
        wizard.OnBtnRefresh();
        EXPECT_EQ(SendDlgItemMessageW(pageWindow(wizard, 1), kList, LVM_GETITEMCOUNT, 0, 0), 3);
        platform::radio::setRadio(threeNetworks());
        // Page 3 greys the close item; the others do not. A printer that never answers keeps the
        // set-up on page 3 until the watchdog gives up and shows page 4.
        platform::UsbPrinterSetup cable;
        cable.readTimeout = std::nullopt;
        standin::UsbPrinterScript silent;
        silent.set = standin::UsbPrinterScript::SetAnswer::Silence;
        auto printer = std::make_unique<standin::UsbPrinter>(platform::attachUsbPrinter(cable).endpoint, silent);
        GetIniTable() = {{u"USB\\VID_1A2B&PID_3C4D", u"Model"}};
        wizard.ShowPage(3);
        EXPECT_EQ(GetMenuState(GetSystemMenu(d, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, UINT(MF_GRAYED));
        EXPECT_FALSE(dlg::pressCloseBox(d));
        auto waitUntil = [](const std::function<bool()>& done) {
            for (int i = 0; i < 30000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
        waitUntil([&] { return wizard.CurrentPageId() == 4 && enabled(d, kCancel); });
        EXPECT_EQ(GetWizardData().result, 2);
        // The abandoned worker ends when the printer goes.
        printer.reset();
        waitUntil([] {
            const auto log = platform::debugLog();
            return std::find(log.begin(), log.end(), "===== SETWIFI_ERR_FAIL ===== ") != log.end();
        });
        GetIniTable().clear();
        wizard.ShowPage(4);
        EXPECT_EQ(GetMenuState(GetSystemMenu(d, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
        // An unknown id hides every page and keeps the current one.
        wizard.ShowPage(9);
        EXPECT_EQ(wizard.CurrentPageId(), 4);
        for (int id = 1; id <= 4; ++id) EXPECT_FALSE(IsWindowVisible(pageWindow(wizard, id))) << id;
        // Masks: each bit its button; 16 enables none; Cancel is never touched.
        wizard.EnableWizardButtons(16);
        for (int id : {kBack, kNext, kFinish, kPrint, kRefresh}) EXPECT_FALSE(enabled(d, id)) << id;
        EXPECT_TRUE(enabled(d, kCancel));
        wizard.EnableWizardButtons(1 | 8);
        EXPECT_TRUE(enabled(d, kBack));
        EXPECT_TRUE(enabled(d, kPrint));
        EXPECT_FALSE(enabled(d, kNext));
    });
}

TEST_F(Wizard, EnterEscAndHelpDoNothing) {
    run([](HWND d, CMyWizard& wizard) {
        ASSERT_TRUE(dlg::clickListItem(pageWindow(wizard, 1), kList, 1));
        for (UINT key : {VK_RETURN, VK_ESCAPE}) {
            dlg::pressKey(d, key);
            EXPECT_TRUE(IsWindow(d));
            EXPECT_EQ(wizard.CurrentPageId(), 1);
        }
        EXPECT_EQ(SendMessageW(d, WM_HELP, 0, 0), FALSE);
    });
}

TEST_F(Wizard, TheCloseBoxAndCancelAskFirst) {
    BoxAnswer kept, ended;
    run([&](HWND d, CMyWizard&) {
        std::thread answering([&] { answerBox(kept, IDCANCEL); });
        dlg::pressCloseBox(d);
        answering.join();
        EXPECT_TRUE(IsWindow(d)) << "Cancel keeps the wizard";
        std::thread ending([&] { answerBox(ended, IDOK); });
        dlg::clickButton(d, kCancel);
        ending.join();
    });
    ASSERT_TRUE(kept.seen);
    EXPECT_EQ(kept.text, u"Do you want to cancel?");
    EXPECT_EQ(kept.type, UINT(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_TRUE(ended.seen);
}

// A fifth page whose answers a test sets, added after the wizard's own four (it gets id 5).
struct AnsweringPage : CPropertyPage {
    AnsweringPage() : CPropertyPage(130) {}
    LRESULT next = 0, back = 0;
    BOOL finish = TRUE;
    LRESULT OnWizardNext() override { return next; }
    LRESULT OnWizardBack() override { return back; }
    BOOL OnWizardFinish() override { return finish; }
};
struct WizardWithAnsweringPage : CMyWizard {
    AnsweringPage* answering = nullptr;
    BOOL OnInitDialog() override {
        CMyWizard::OnInitDialog();
        AddPage(answering = new AnsweringPage, 130);
        return TRUE;
    }
};
void press(HWND d, int id) { SendMessageW(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
// Whether the wizard's modal loop ends (it notes an end when its thread next wakes, after a box's loop).
bool wizardEnds() {
    for (int i = 0; i < 500 && !dlg::findDialogs({}, 140).empty(); ++i) Sleep(10);
    return dlg::findDialogs({}, 140).empty();
}

TEST_F(Wizard, NextAndBackGoWhereThePageAnswers) {
    struct Case {
        int button;
        LRESULT answer;
        int page;  // the current page afterwards
    };
    const Case cases[] = {
        {kNext, 0, 5},  // to page 6, which does not exist: every page hidden, the current one kept
        {kNext, -1, 5}, {kNext, 2, 2}, {kBack, 0, 4}, {kBack, -1, 5}, {kBack, 1, 1},
    };
    WizardWithAnsweringPage wizard;
    run(
        [&](HWND d, CMyWizard&) {
            for (const Case& c : cases) {
                wizard.ShowPage(5);
                (c.button == kNext ? wizard.answering->next : wizard.answering->back) = c.answer;
                press(d, c.button);
                EXPECT_EQ(wizard.CurrentPageId(), c.page) << (c.button == kNext ? "Next " : "Back ") << c.answer;
                EXPECT_EQ(IsWindowVisible(pageWindow(wizard, 5)) != FALSE, c.page == 5 && c.answer == -1);
            }
        },
        &wizard);
}

TEST_F(Wizard, TheCloseBoxAsksBeforeASetUpAndActsAsFinishAfterOne) {
    struct Case {
        int page;
        int result;         // WizardData's outcome
        BOOL finish;        // the page's OnWizardFinish
        int answer;         // the button pressed in the box, 0 when none may come
        bool ends;
    };
    const Case cases[] = {
        {1, 2, TRUE, IDCANCEL, false}, {2, 2, TRUE, IDOK, true}, {5, 3, TRUE, IDCANCEL, false},
        {5, 0, TRUE, 0, true},         {5, 1, FALSE, 0, false},  {5, 1, TRUE, 0, true},
    };
    for (const Case& c : cases) {
        GetWizardData().result = c.result;
        WizardWithAnsweringPage wizard;
        BoxAnswer box;
        bool ended = false;
        run(
            [&](HWND d, CMyWizard&) {
                wizard.ShowPage(c.page);
                wizard.answering->finish = c.finish;
                std::thread answering([&] {
                    if (c.answer) answerBox(box, c.answer);
                });
                dlg::pressCloseBox(d);
                answering.join();
                ended = c.ends ? wizardEnds() : dlg::findDialogs({}, 140).empty();
            },
            &wizard);
        const std::string label = "page " + std::to_string(c.page) + ", result " + std::to_string(c.result);
        EXPECT_EQ(box.seen, c.answer != 0) << label;
        EXPECT_EQ(ended, c.ends) << label;
        EXPECT_TRUE(dlg::findDialogs().empty()) << label << ": no box left";
    }
    // The Finish button ends the wizard only when the page agrees.
    for (BOOL finish : {FALSE, TRUE}) {
        WizardWithAnsweringPage wizard;
        bool ended = false;
        run(
            [&](HWND d, CMyWizard&) {
                wizard.ShowPage(5);
                wizard.answering->finish = finish;
                press(d, kFinish);
                ended = finish ? wizardEnds() : dlg::findDialogs({}, 140).empty();
            },
            &wizard);
        EXPECT_EQ(ended, finish != FALSE);
    }
    GetWizardData().result = 2;
}

TEST_F(Wizard, BoxesReadRightToLeftByTheSystemLocaleAndTheBannerByTheLanguage) {
    struct Case {
        LCID lcid;
        bool arabicLanguage;
        UINT extra;
        uint32_t banner;
    };
    const Case cases[] = {
        {0x0409, false, 0, caspentest::kBannerColour},
        {3073, false, MB_RTLREADING | MB_RIGHT, caspentest::kBannerColour},  // Arabic (Egypt)
        {1037, false, MB_RTLREADING | MB_RIGHT, caspentest::kBannerColour},  // Hebrew
        {1041, true, 0, caspentest::kRightToLeftBannerColour},
    };
    for (const Case& c : cases) {
        platform::MachineSettings settings;
        settings.lcid = c.lcid;
        start(settings);
        RtlLanguageFlags.arabic = c.arabicLanguage;
        BoxAnswer box;
        uint32_t banner = 0;
        run([&](HWND d, CMyWizard&) {
            // The banner as painted. Its bitmap is read through the window's own painting: the wizard's
            // thread may be painting the control, with the bitmap selected into its memory DC, and a
            // bitmap is selected into one DC at a time.
            if (auto picture = dlg::windowPicture(GetDlgItem(d, 1013))) banner = picture->at(2, 2);
            EXPECT_EQ(GetWindowLongW(GetDlgItem(d, 1013), GWL_STYLE) & 0x20F, SS_BITMAP | SS_CENTERIMAGE);
            std::thread answering([&] { answerBox(box, IDOK); });
            dlg::clickButton(d, kCancel);
            answering.join();
        });
        EXPECT_EQ(box.type, UINT(MB_OKCANCEL | MB_ICONQUESTION) | c.extra) << c.lcid;
        EXPECT_EQ(banner, c.banner) << c.lcid;
    }
}

TEST_F(Wizard, RefreshEmptiesTheSelectionAndManualModeFollowsTheCheckBox) {
    run([](HWND d, CMyWizard& wizard) {
        HWND list = pageWindow(wizard, 1);
        ASSERT_TRUE(dlg::clickListItem(list, kList, 0));
        EXPECT_TRUE(enabled(d, kNext));
        ASSERT_TRUE(dlg::clickButton(d, kRefresh));
        EXPECT_FALSE(enabled(d, kNext));
        EXPECT_EQ(SendDlgItemMessageW(list, kList, LVM_GETSELECTEDCOUNT, 0, 0), 0);
        EXPECT_EQ(SendDlgItemMessageW(list, kList, LVM_GETITEMCOUNT, 0, 0), 3);

        // A WEP network chosen, then the name typed: the mode stays 1 for page 2.
        ASSERT_TRUE(dlg::clickListItem(list, kList, 0, true));
        ASSERT_TRUE(dlg::clickButton(d, kBack));
        ASSERT_TRUE(dlg::clickButton(list, kManual));
        EXPECT_TRUE(shown(list, kManualName));
        EXPECT_FALSE(shown(list, kList));
        EXPECT_TRUE(shown(d, kPrint));
        EXPECT_FALSE(shown(d, kRefresh));
        EXPECT_FALSE(enabled(d, kNext));
        ASSERT_TRUE(dlg::typeText(list, kManualName, u"Attic"));
        EXPECT_TRUE(enabled(d, kNext));
        ASSERT_TRUE(dlg::clickButton(d, kNext));
        EXPECT_EQ(wizard.CurrentPageId(), 2);
        EXPECT_EQ(GetWizardData().ssid, u"Attic");
        EXPECT_EQ(GetWizardData().securityMode, 1);
        EXPECT_EQ(SendDlgItemMessageW(pageWindow(wizard, 2), kSecurity, CB_GETCURSEL, 0, 0), 1);
    });
}

TEST_F(Wizard, WithNoAdapterThePageOpensForATypedName) {
    platform::radio::setRadio(nativeRadio({}));
    run([](HWND d, CMyWizard& wizard) {
        HWND list = pageWindow(wizard, 1);
        EXPECT_EQ(dlg::checkState(list, kManual), UINT(BST_CHECKED));
        EXPECT_TRUE(shown(list, kManualName));
        EXPECT_FALSE(enabled(d, kNext));
    });
}

TEST_F(Wizard, NextAfterAClickOnEmptyListSpaceStays) {
    run([](HWND d, CMyWizard& wizard) {
        HWND page = pageWindow(wizard, 1);
        ASSERT_TRUE(dlg::clickListItem(page, kList, 2));
        HWND list = GetDlgItem(page, kList);
        RECT client{};
        GetClientRect(list, &client);
        ASSERT_TRUE(dlg::clickMouse(list, client.right / 2, client.bottom - 4));
        EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
        ASSERT_TRUE(dlg::clickButton(d, kNext) || !enabled(d, kNext));
        EXPECT_EQ(wizard.CurrentPageId(), 1);
        EXPECT_FALSE(enabled(d, kNext));
    });
}

TEST_F(Wizard, PageTwoEnablesNextByModeAndKey) {
    struct Case {
        int entry;
        std::u16string key;
        bool next;
    };
    const Case cases[] = {
        {0, u"", true},
        {1, u"", false},
        {1, u"k", true},
        {1, std::u16string(26, u'k'), true},
        {2, u"1234567", false},
        {2, u"12345678", true},
        {2, std::u16string(63, u'z'), true},
        {2, std::u16string(64, u'a') , true},
        {2, std::u16string(63, u'a') + u"g", false},
    };
    GetWizardData().SetSsid(u"Home");
    run([&](HWND d, CMyWizard& wizard) {
        wizard.ShowPage(2);
        HWND page = pageWindow(wizard, 2);
        for (const Case& c : cases) {
            ASSERT_TRUE(dlg::chooseComboItem(page, kSecurity, c.entry));
            EXPECT_EQ(dlg::controlText(page, kKey), u"") << "a mode change empties the key";
            if (c.entry != 0) {
                ASSERT_TRUE(dlg::typeText(page, kKey, c.key));
            }
            EXPECT_EQ(enabled(d, kNext), c.next) << c.entry << " " << c.key.size();
        }
        // The limits: 26 for WEP, 64 for WPA/WPA2, entry 0 keeping the last.
        for (auto [entry, limit] : {std::pair{1, 26}, {2, 64}, {0, 64}, {1, 26}, {0, 26}}) {
            ASSERT_TRUE(dlg::chooseComboItem(page, kSecurity, entry));
            EXPECT_EQ(SendDlgItemMessageW(page, kKey, EM_GETLIMITTEXT, 0, 0), limit) << entry;
        }
        EXPECT_FALSE(shown(page, kKey)) << "no key for no security";

        // Back with WPA/WPA2 stores 3, which shows as WPA/WPA2 again.
        ASSERT_TRUE(dlg::chooseComboItem(page, kSecurity, 2));
        ASSERT_TRUE(dlg::clickButton(d, kBack));
        EXPECT_EQ(GetWizardData().securityMode, 3);
        wizard.ShowPage(2);
        EXPECT_EQ(SendDlgItemMessageW(page, kSecurity, CB_GETCURSEL, 0, 0), 2);

        // The key stays for the same name in another case and goes for another name.
        ASSERT_TRUE(dlg::typeText(page, kKey, u"secret99"));
        GetWizardData().SetSsid(u"HOME");
        wizard.ShowPage(2);
        EXPECT_EQ(dlg::controlText(page, kKey), u"secret99");
        GetWizardData().SetSsid(u"Cafe");
        wizard.ShowPage(2);
        EXPECT_EQ(dlg::controlText(page, kKey), u"");
        EXPECT_EQ(dlg::controlText(page, kName), u"Cafe");

        // The show-password box shows the key plainly and masks it again, the text kept.
        ASSERT_TRUE(dlg::typeText(page, kKey, u"secret99"));
        const LRESULT mask = SendDlgItemMessageW(page, kKey, EM_GETPASSWORDCHAR, 0, 0);
        EXPECT_NE(mask, 0);
        for (LRESULT shownAs : {LRESULT(0), mask}) {
            ASSERT_TRUE(dlg::clickButton(page, 1001));
            EXPECT_EQ(SendDlgItemMessageW(page, kKey, EM_GETPASSWORDCHAR, 0, 0), shownAs);
            EXPECT_EQ(dlg::controlText(page, kKey), u"secret99");
        }
    });
}

// The printer on the cable (served by the stand-in) with its queue on USB001, found through "wifi.ini".
std::unique_ptr<standin::UsbPrinter> printerOnUsb001() {
    platform::UsbPrinterSetup cable;
    cable.instanceId = u"USB\\VID_1A2B&PID_3C4D\\SN0001";
    cable.portNumber = 1;
    auto printer = std::make_unique<standin::UsbPrinter>(platform::attachUsbPrinter(cable).endpoint,
                                                         standin::UsbPrinterScript{});
    platform::PrinterSetup queue;
    queue.name = u"Torvane";
    queue.port = u"USB001";
    queue.driverName = u"Torvane driver";
    platform::installPrinter(queue);
    GetIniTable() = {{u"USB\\VID_1A2B&PID_3C4D", u"Model"}};
    return printer;
}

TEST_F(Wizard, AnIdlePrintPortGetsTheInformationPageInItsThreeWrites) {
    auto printer = printerOnUsb001();
    run([&](HWND d, CMyWizard& wizard) {
        ASSERT_TRUE(dlg::clickButton(pageWindow(wizard, 1), kManual));
        ASSERT_TRUE(enabled(d, kPrint));
        ASSERT_TRUE(dlg::clickButton(d, kPrint));
    });
    GetIniTable().clear();
    ASSERT_TRUE(printer->waitForPackets(3));
    std::vector<std::string> kinds;
    for (const standin::UsbPacket& packet : printer->packets()) kinds.push_back(packet.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"print-prefix", "print-header", "print-trailer"}));
    EXPECT_EQ(printer->connections(), 1);
}

TEST_F(Wizard, ABusyPrintPortKeepsPageTwoAndRefusesTheInformationPage) {
    auto printer = printerOnUsb001();
    HANDLE job = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Torvane"), &job, nullptr));
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"page"), nullptr, nullptr};
    ASSERT_NE(StartDocPrinterW(job, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);

    BoxAnswer setupBox, infoBox;
    run([&](HWND d, CMyWizard& wizard) {
        ASSERT_TRUE(dlg::clickButton(pageWindow(wizard, 1), kManual));
        std::thread answeringInfo([&] { answerBox(infoBox, IDOK); });
        dlg::clickButton(d, kPrint);
        answeringInfo.join();
        EXPECT_EQ(printer->connections(), 0) << "nothing goes to a busy port";

        ASSERT_TRUE(dlg::typeText(pageWindow(wizard, 1), kManualName, u"Attic"));
        ASSERT_TRUE(dlg::clickButton(d, kNext));
        HWND page = pageWindow(wizard, 2);
        ASSERT_TRUE(dlg::chooseComboItem(page, kSecurity, 2));
        ASSERT_TRUE(dlg::typeText(page, kKey, u"secret99"));
        std::thread answering([&] { answerBox(setupBox, IDOK); });
        dlg::clickButton(d, kNext);
        answering.join();
        EXPECT_EQ(wizard.CurrentPageId(), 2);
        EXPECT_EQ(GetWizardData().password, u"secret99") << "what page 2 stored stays";
        EXPECT_EQ(GetWizardData().securityMode, 2);

        EndDocPrinter(job);
        ClosePrinter(job);
        job = nullptr;
        ASSERT_TRUE(dlg::clickButton(d, kNext));
        // Page 3, whose set-up (no printer answers on the cable) may already have moved on to page 4.
        EXPECT_GE(wizard.CurrentPageId(), 3);
    });
    if (job) ClosePrinter(job);
    GetIniTable().clear();
    EXPECT_EQ(infoBox.text, u"The print port is busy: no information page");
    EXPECT_EQ(infoBox.type, UINT(MB_OK));
    EXPECT_EQ(setupBox.text, u"The print port is busy: no set-up");
}

}  // namespace
