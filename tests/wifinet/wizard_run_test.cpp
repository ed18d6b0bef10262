// The set-up wizard whole, as the program runs it (CCaspenApp with "wifi.ini" and the English
// language library beside the program), scripted as a user would: a network picked, a key typed,
// Next twice; the simulated printer on the USB cable, its snmpd and SLP responder on the veth pair,
// and the installer's window in a process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CaspenApp.h"
#include "CompletionPage.h"
#include "MyWizard.h"
#include "NetworkListPage.h"
#include "SetupWorker.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "slp_responder.h"
#include "support/dialog_script.h"
#include "wifinet/support/network_namespace.h"
#include "wifisetup/support/printer_on_cable.h"
#include "wifisetup/wlan_radios.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/user.h"

namespace {

namespace dlg = platform::dialogs;
namespace fs = std::filesystem;
using standin::SlpReply;
using standin::SlpResponder;
using standin::UsbPrinterScript;
using wifinet::SnmpAgent;

constexpr char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\Caspen.exe";
constexpr char16_t kInstaller[] = u"C:\\Program Files\\Qelmar\\Setup.exe";
constexpr int kBack = 1018, kCancel = 1019, kNext = 1020, kFinish = 1021, kPrint = 1022, kRefresh = 1023,
              kHeading = 1024;
constexpr int kList = 1000, kSecurity = 1009, kKey = 1003, kProgressBar = 1008, kText = 1010, kPicture = 1021;
const char kNoMacView[] = "view nomac included .1\nview nomac excluded .1.3.6.1.2.1.2.2.1.6\n";
const std::string kSecondAddress = "fe80::11:22ff:fe33:4455";
const char kFinished[] = "installer window got message 1051 wParam 0 lParam 0";

const std::u16string kSucceeded = u"Wireless connection succeeded", kFailed = u"Wireless connection failed";
const std::u16string kJoined = u"The printer joined the wireless network with these settings.";
const std::u16string kUnreachable =
    u"The printer joined the wireless network with these settings, but this computer cannot reach it.";
const std::u16string kNotJoined =
    u"The printer could not join the wireless network with these settings.\n\rTo enter them again, click Back.";
const std::u16string kConnectCable = u"Connect the printer to this computer with the USB cable supplied.";

// Polls in real time until `done` holds, at most `seconds`.
bool waitUntil(const std::function<bool()>& done, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

size_t countLines(const std::string& line) {
    const auto log = platform::debugLog();
    return static_cast<size_t>(std::count(log.begin(), log.end(), line));
}

bool shown(HWND d, int id) { return IsWindowVisible(GetDlgItem(d, id)) != FALSE; }
bool enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; }

// The buttons of the wizard's row as a page left them: shown ones, and which of those are enabled.
struct Row {
    std::vector<int> shown, enabled;
};
void expectRow(HWND d, const Row& row, const std::string& what) {
    for (int id : {kBack, kNext, kFinish, kPrint, kCancel, kRefresh}) {
        const bool wantShown = std::find(row.shown.begin(), row.shown.end(), id) != row.shown.end();
        EXPECT_EQ(shown(d, id), wantShown) << what << ": button " << id;
        if (wantShown) {
            const bool wantEnabled = std::find(row.enabled.begin(), row.enabled.end(), id) != row.enabled.end();
            EXPECT_EQ(enabled(d, id), wantEnabled) << what << ": button " << id << " enabled";
        }
    }
}

class WizardRun : public ::testing::Test {
protected:
    wifitest::PrinterOnCable cable;
    std::optional<test_support::UnscriptedDialogs> unscripted;
    PROCESS_INFORMATION installer{};
    std::u16string previousProgram, previousCommandLine;

    void SetUp() override {
        WIFINET_REQUIRE_NETWORK();
        previousProgram = platform::programPath();
        previousCommandLine = GetCommandLineW();
        platform::setProgramPath(kProgram);
        platform::setCommandLine(u"\"" + std::u16string(kProgram) + u"\" \"Printer Wi-Fi\" English");
        cable.machine.writeFile(u"C:\\Program Files\\Qelmar\\wifi.ini", "USB\\VID_1A2B&PID_3C4D Model\r\n");
        fs::copy_file(fs::path(MFP_LIB_DIR) / "Velrinenus.dll",
                      cable.machine.host(u"C:\\Program Files\\Qelmar\\Velrinenus.dll"));
        platform::radio::setRadio(wlantest::wzcRadio(
            {wlantest::adapter(wlantest::kGuidA, u"Radio A", {wlantest::network("HomeNet", -40, 1)})}));
        GetWizardData() = WizardData{};
        GetIniTable().clear();
        RtlLanguageFlags = {};
        LanguageDllPath.clear();
        NetworkListSort = {};
        platform::clearAdmittedMessages();
        platform::clearDebugLog();
        unscripted.emplace();
    }
    void TearDown() override {
        if (installer.hProcess) {
            DWORD code = STILL_ACTIVE;
            if (GetExitCodeProcess(installer.hProcess, &code) && code == STILL_ACTIVE)
                TerminateProcess(installer.hProcess, 1);
            CloseHandle(installer.hThread);
            CloseHandle(installer.hProcess);
        }
        GetIniTable().clear();
        if (!previousProgram.empty()) {
            platform::setProgramPath(previousProgram);
            platform::setCommandLine(previousCommandLine);
        }
        if (unscripted) {
            EXPECT_TRUE(unscripted->empty()) << "a dialog was left open";
        }
    }

    // What the installer wrote to the machine's debugger output ("<process id> <text>" lines).
    size_t installerSaid(const std::string& text) const {
        std::ifstream in(cable.machine.root() / "debug.log");
        const std::string wanted = std::to_string(installer.dwProcessId) + " " + text;
        size_t count = 0;
        for (std::string line; std::getline(in, line);) count += line == wanted;
        return count;
    }
    // Starts the installer's window and waits until it is there.
    void startInstaller() {
        platform::linkProgram(kInstaller, STANDIN_INSTALLER);
        std::u16string line = u"\"" + std::u16string(kInstaller) + u"\" --window 120";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(kInstaller, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &installer));
        ASSERT_TRUE(waitUntil([&] { return installerSaid("installer window ready") == 1; }));
        ASSERT_NE(FindWindowW(kSetupWindowClass, nullptr), nullptr);
    }
    bool installerEnded() {
        return waitUntil([&] {
            DWORD code = STILL_ACTIVE;
            return GetExitCodeProcess(installer.hProcess, &code) && code != STILL_ACTIVE;
        });
    }

    // Runs the program's application object while `script` acts on its wizard; the script ends it,
    // else it is cancelled after it.
    void run(const std::function<void(HWND, CMyWizard&)>& script) {
        CCaspenApp app;
        test_support::runScripted(140, [&] { return app.InitInstance(); }, [&](HWND d) {
            script(d, *static_cast<CMyWizard*>(app.m_pMainWnd));
            if (IsWindow(d)) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        });
        app.ExitInstance();
    }
    // `run` with what the program prints (the SNMP check's lines) held back; when the test has failed,
    // that output is shown, with the failures the script reported into it.
    void runQuietly(const std::function<void(HWND, CMyWizard&)>& script) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        run(script);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        if (HasFailure()) std::cout << out << err;
    }
};

// Picks the network, types the key and goes on to page 3, where the set-up starts.
void startSetup(HWND d, CMyWizard& wizard) {
    ASSERT_TRUE(waitUntil([&] { return SendDlgItemMessageW(wizard.PageOf(1)->GetSafeHwnd(), kList, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    ASSERT_TRUE(dlg::clickListItem(wizard.PageOf(1)->GetSafeHwnd(), kList, 0));
    ASSERT_TRUE(dlg::clickButton(d, kNext));
    HWND details = wizard.PageOf(2)->GetSafeHwnd();
    ASSERT_TRUE(dlg::chooseComboItem(details, kSecurity, 2));
    ASSERT_TRUE(dlg::typeText(details, kKey, u"secret99"));
    ASSERT_TRUE(dlg::clickButton(d, kNext));
    // A printer that answers at once may have let the worker show page 4 already.
    const int page = wizard.CurrentPageId();
    EXPECT_TRUE(page == 3 || page == 4) << page;
}

// Waits until the watchdog has shown page 4 and enabled Cancel again.
bool waitForOutcome(HWND d, CMyWizard& wizard, int seconds = 120) {
    return waitUntil([&] { return wizard.CurrentPageId() == 4 && enabled(d, kCancel); }, seconds);
}

TEST_F(WizardRun, EachOutcomeShowsItsHeadingTextAndButtons) {
    using Set = UsbPrinterScript::SetAnswer;
    using Query = UsbPrinterScript::QueryAnswer;
    const std::vector<SlpReply> match{{SlpReply::Kind::AttributeReply, "(x-ip-addr=" + kSecondAddress + ")"}};
    struct Case {
        const char* what;
        Set set;
        std::string setRaw;
        Query query;
        const char* view;  // the agent's view: "" all, else one without the MAC address
        std::vector<SlpReply> slp;
        int outcome;
        std::u16string heading, text;
        Row row;
    };
    const Row finishOnly{{kFinish}, {kFinish}};
    const Row backOnly{{kBack, kNext, kCancel}, {kBack, kCancel}};
    const Case cases[] = {
        {"SNMP answers", Set::Accept, "", Query::Addresses, "", match, 0, kSucceeded, kJoined, finishOnly},
        {"SLP answers", Set::Accept, "", Query::Addresses, kNoMacView, match, 0, kSucceeded, kJoined, finishOnly},
        {"neither answers", Set::Accept, "", Query::Addresses, kNoMacView, {}, 1, kSucceeded, kUnreachable,
         finishOnly},
        {"refused", Set::Refuse, "", Query::Addresses, "", match, 2, kFailed, kNotJoined, backOnly},
        // The garbled answers: a short set reply, a query body without NUL, a full-size SLP datagram.
        {"short set reply", Set::Raw, std::string("\x00", 1), Query::Addresses, "", match, 2, kFailed, kNotJoined,
         backOnly},
        {"query body without NUL", Set::Accept, "", Query::Raw, kNoMacView, match, 1, kSucceeded, kUnreachable,
         finishOnly},
        {"1024-byte SLP datagram", Set::Accept, "", Query::Addresses, kNoMacView,
         {{SlpReply::Kind::Raw, std::string(1024, 'x')}}, 1, kSucceeded, kUnreachable, finishOnly},
    };
    UsbPrinterScript script;
    script.ipv4 = wifinet::kPrinterIpv4;
    script.secondAddress = kSecondAddress;
    cable.attach({}, script);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        script.set = c.set;
        script.setRaw = c.setRaw;
        script.query = c.query;
        script.queryRaw = std::string(240, 'x');
        cable.printer->setScript(script);
        SnmpAgent agent(c.view, c.view[0] ? "nomac" : "");
        ASSERT_TRUE(agent.ready()) << agent.log();
        SlpResponder responder("printer", c.slp);
        GetWizardData() = WizardData{};
        runQuietly([&](HWND d, CMyWizard& wizard) {
            startSetup(d, wizard);
            ASSERT_TRUE(waitForOutcome(d, wizard));
            EXPECT_EQ(GetWizardData().result, c.outcome);
            EXPECT_EQ(dlg::controlText(d, kHeading), c.heading);
            HWND page = wizard.PageOf(4)->GetSafeHwnd();
            EXPECT_EQ(dlg::controlText(page, kText), c.text);
            EXPECT_FALSE(shown(page, kPicture));
            expectRow(d, c.row, c.what);
            if (c.outcome == 2) {
                // Back goes to the details page and empties the heading.
                ASSERT_TRUE(dlg::clickButton(d, kBack));
                EXPECT_EQ(wizard.CurrentPageId(), 2);
                EXPECT_EQ(dlg::controlText(d, kHeading), u"");
            }
        });
    }
}

TEST_F(WizardRun, WithoutAPrinterNextRunsTheSetUpAgainOnceOneIsAttached) {
    SnmpAgent agent;
    ASSERT_TRUE(agent.ready()) << agent.log();
    runQuietly([&](HWND d, CMyWizard& wizard) {
        startSetup(d, wizard);
        ASSERT_TRUE(waitForOutcome(d, wizard));
        EXPECT_EQ(GetWizardData().result, 3);
        EXPECT_EQ(dlg::controlText(d, kHeading), kFailed);
        HWND page = wizard.PageOf(4)->GetSafeHwnd();
        EXPECT_EQ(dlg::controlText(page, kText), kConnectCable);
        EXPECT_TRUE(shown(page, kPicture)) << "the cable picture";
        expectRow(d, {{kBack, kNext, kCancel}, {kNext, kCancel}}, "no printer");

        UsbPrinterScript script;
        script.ipv4 = wifinet::kPrinterIpv4;
        cable.attach({}, script);
        ASSERT_TRUE(dlg::clickButton(d, kNext));
        EXPECT_EQ(dlg::controlText(d, kHeading), u"") << "Next empties the heading";
        ASSERT_TRUE(waitUntil([&] { return wizard.CurrentPageId() == 3 || GetWizardData().result == 0; }));
        ASSERT_TRUE(waitForOutcome(d, wizard));
        EXPECT_EQ(GetWizardData().result, 0);
        EXPECT_FALSE(shown(page, kPicture));
        EXPECT_EQ(cable.printer->received("set").size(), 1u) << "the second run's one set frame";
    });
}

TEST_F(WizardRun, APrinterHoldingItsReadEndsInAFailureAfterTwoMinutes) {
    UsbPrinterScript script;
    script.set = UsbPrinterScript::SetAnswer::Silence;
    platform::UsbPrinterSetup setup;
    setup.readTimeout = std::nullopt;
    cable.attach(setup, script);
    run([&](HWND d, CMyWizard& wizard) {
        startSetup(d, wizard);
        // While it runs the page cannot be left: Cancel is disabled, the close box and Alt+F4 do nothing.
        EXPECT_FALSE(enabled(d, kCancel));
        EXPECT_FALSE(dlg::pressCloseBox(d));
        SendMessageW(d, WM_SYSKEYDOWN, VK_F4, 1 << 29);
        EXPECT_TRUE(IsWindow(d));
        ASSERT_TRUE(waitForOutcome(d, wizard));
        EXPECT_EQ(GetWizardData().result, 2);
        EXPECT_EQ(dlg::controlText(d, kHeading), kFailed);
        // 120 steps of 2: past 100 twice, the bar started over each time.
        EXPECT_EQ(SendDlgItemMessageW(wizard.PageOf(3)->GetSafeHwnd(), kProgressBar, PBM_GETPOS, 0, 0), 40);
    });
    // The abandoned worker ends when the printer goes.
    cable.printer.reset();
    EXPECT_TRUE(waitUntil([] { return countLines("===== SETWIFI_ERR_FAIL ===== ") == 1; }));
}

TEST_F(WizardRun, FinishAndTheCloseBoxTellTheInstallerOnceAndCancelNever) {
    SnmpAgent agent;
    ASSERT_TRUE(agent.ready()) << agent.log();
    UsbPrinterScript script;
    script.ipv4 = wifinet::kPrinterIpv4;
    cable.attach({}, script);
    constexpr auto Accept = UsbPrinterScript::SetAnswer::Accept, Refuse = UsbPrinterScript::SetAnswer::Refuse;
    struct Case {
        const char* what;
        DWORD major, minor;
        bool removeExport;
        int end;  // kFinish, kCancel, or 0 for the close box
        UsbPrinterScript::SetAnswer set;
        bool installerWindow, told;
        std::vector<UINT> admitted;
    };
    const Case cases[] = {
        {"Finish", 10, 0, false, kFinish, Accept, true, true, {1051}},
        {"close box", 10, 0, false, 0, Accept, true, true, {1051}},
        {"Cancel after a refusal", 10, 0, false, kCancel, Refuse, true, false, {}},
        {"version 5.1", 5, 1, false, kFinish, Accept, true, true, {}},
        {"no ChangeWindowMessageFilter", 10, 0, true, kFinish, Accept, true, true, {}},
        // Started on its own, the wizard still admits the message and ends normally.
        {"no installer window", 10, 0, false, kFinish, Accept, false, false, {1051}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::MachineSettings settings = platform::machineSettings();
        settings.osMajor = c.major;
        settings.osMinor = c.minor;
        platform::setMachineSettings(settings);
        platform::restoreSystemExports();
        if (c.removeExport) platform::removeSystemExport("user32.dll", "ChangeWindowMessageFilter");
        platform::clearAdmittedMessages();
        platform::clearDebugLog();
        GetWizardData() = WizardData{};
        script.set = c.set;
        cable.printer->setScript(script);
        if (c.installerWindow) startInstaller();
        runQuietly([&](HWND d, CMyWizard& wizard) {
            startSetup(d, wizard);
            ASSERT_TRUE(waitForOutcome(d, wizard));
            ASSERT_EQ(GetWizardData().result, c.set == Accept ? 0 : 2);
            if (c.end == kCancel) {
                std::thread answering([] {
                    for (int i = 0; i < 2000; ++i) {
                        for (HWND box : dlg::findDialogs())
                            if (dlg::isMessageBox(box)) {
                                dlg::clickButton(box, IDOK);
                                return;
                            }
                        Sleep(10);
                    }
                });
                dlg::clickButton(d, kCancel);
                answering.join();
            } else if (c.end == kFinish) {
                ASSERT_TRUE(dlg::clickButton(d, kFinish));
            } else {
                ASSERT_TRUE(dlg::pressCloseBox(d));
            }
            EXPECT_TRUE(waitUntil([&] { return !IsWindow(d); }));
        });
        EXPECT_EQ(platform::admittedMessages(), c.admitted);
        if (!c.installerWindow) continue;
        if (c.told) {
            EXPECT_TRUE(installerEnded());
            EXPECT_EQ(installerSaid(kFinished), 1u);
        } else {
            EXPECT_EQ(installerSaid(kFinished), 0u);
        }
        TerminateProcess(installer.hProcess, 1);
        CloseHandle(installer.hThread);
        CloseHandle(installer.hProcess);
        installer = {};
    }
    platform::restoreSystemExports();
}

}  // namespace
