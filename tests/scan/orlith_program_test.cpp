// The scan-button program itself, started on a simulated machine as the still-image service, the
// installer or a person starts it: what each command line does, the settings dialog's single
// instance, a missing language library, the button's launch through the still-image interface, and
// (in-process) the restart registration and the session-end filter.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DialogResources.h"
#include "ProductConfig.h"
#include "ScanManagerApp.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "support/orlith_machine.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
using scantest::OrlithMachine;
using scantest::OrlithRun;

// ---- Registration of the button's handler ----------------------------------------------------------

TEST(OrlithProgram, InsAndUniReachTheRegistrationLibrary) {
    struct Case {
        const char* what;
        const char16_t* arguments;
        const char* expected;  // the journal's line, or nullptr
    };
    const Case cases[] = {
        {"-INS", u"-INS", "DllRegisterServer"},
        {"-ins, upper-cased first", u"-ins", "DllRegisterServer"},
        {"-UNI", u"-UNI", "DllUnregisterServer"},
        {"-Uni", u"-Uni", "DllUnregisterServer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OrlithMachine machine;
        machine.installRegistrationLibrary(SIVMAR_STANDIN);
        const OrlithRun run = machine.run(c.arguments);
        EXPECT_EQ(run.exitCode, 0u);
        const std::string journal = machine.registrationJournal();
        EXPECT_EQ(journal, std::string(c.expected) + " \"" + scantest::kOrlithProgramUtf8 + "\" " +
                               platform::toUtf8(c.arguments) + "\n");
        EXPECT_TRUE(platform::dismissedDialogs().empty()) << "no dialog";
    }
}

TEST(OrlithProgram, ARegistrationLibraryWithoutItsExportsOrNoneAtAllIsSilent) {
    for (bool library : {true, false}) {
        SCOPED_TRACE(library ? "without the exports" : "no library");
        OrlithMachine machine;
        if (library) machine.installRegistrationLibrary(SIVMAR_STANDIN_BARE);
        for (const char16_t* arguments : {u"-INS", u"-UNI"}) {
            const OrlithRun run = machine.run(arguments);
            EXPECT_EQ(run.exitCode, 0u);
        }
        EXPECT_EQ(machine.registrationJournal(), "");
        EXPECT_TRUE(platform::dismissedDialogs().empty());
    }
}

// ---- The settings dialog ------------------------------------------------------------------------------

TEST(OrlithProgram, CommandLinesWithoutAJobShowTheSettingsDialogOnce) {
    const char16_t* lines[] = {
        u"",
        u"-PUSH_PARAM \\\\?\\usb#vid_3a1f",                    // three arguments in all
        u"-PUSH_PARAM \\\\?\\usb#vid_3a1f 320200 extra",       // five
        u"/RESTART",                                          // no handler of its own
        u"-push_paramx \\\\?\\usb#vid_3a1f 320200",            // not the switch
    };
    for (const char16_t* line : lines) {
        SCOPED_TRACE(platform::toUtf8(line));
        OrlithMachine machine;
        const OrlithRun run = machine.run(line);
        EXPECT_EQ(run.exitCode, 0u);
        const auto dismissed = platform::dismissedDialogs();
        ASSERT_EQ(dismissed.size(), 1u);
        EXPECT_EQ(dismissed[0].templateId, static_cast<UINT>(IDD_SCANMANAGER_DIALOG));
        EXPECT_EQ(dismissed[0].title, u"Push Scan");
        EXPECT_EQ(dismissed[0].program, scantest::kOrlithProgram);
        EXPECT_EQ(machine.driverJournal(), std::vector<std::string>{}) << "no scan";
    }
}

TEST(OrlithProgram, ASecondStartBringsTheFirstDialogForwardRestoringIt) {
    OrlithMachine machine(OrlithMachine::Options{.realClock = true, .dismissAfterMs = 60000});
    OrlithRun first = machine.start(u"");
    HWND dialog = nullptr;
    for (int i = 0; i < 1000 && !dialog; ++i) {
        dialog = FindWindowW(nullptr, u"Push Scan");
        if (!dialog) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_MINIMIZE);  // the first instance's thread does it
    for (int i = 0; i < 1000 && !IsIconic(dialog); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(IsIconic(dialog));

    const OrlithRun second = machine.run(u"");
    EXPECT_EQ(second.exitCode, 0u);
    for (int i = 0; i < 1000 && IsIconic(dialog); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(IsIconic(dialog)) << "restored by the second start";
    EXPECT_TRUE(IsWindow(dialog));
    // The second start showed nothing of its own: the only window of the title is the first one's.
    std::vector<HWND> titled;
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            WCHAR text[64] = {};
            GetWindowTextW(h, text, 64);
            if (std::u16string(text) == u"Push Scan") reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&titled));
    EXPECT_EQ(titled, std::vector<HWND>{dialog});

    // A scan start while the dialog shows runs regardless of it (no job here: no driver answers).
    ASSERT_TRUE(PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0));
    EXPECT_EQ(machine.wait(first), 0u);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(platform::dismissedDialogs().empty());
}

TEST(OrlithProgram, AMissingLanguageLibraryEndsWithNoWindow) {
    for (const char16_t* line : {u"", u"-INS", u"-PUSH_PARAM \\\\?\\usb#vid_3a1f 320200"}) {
        SCOPED_TRACE(platform::toUtf8(line));
        OrlithMachine machine(OrlithMachine::Options{.languageLibrary = false});
        machine.installRegistrationLibrary(SIVMAR_STANDIN);
        const OrlithRun run = machine.run(line);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(platform::dismissedDialogs().empty());
        EXPECT_EQ(machine.registrationJournal(), "") << "nothing else started";
        const auto lines = machine.debugLines(run);
        const auto said = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("m_hResourceHandle =0 ;GetLastError:", 0) == 0;
        });
        EXPECT_NE(said, lines.end());
    }
}

// ---- The button ----------------------------------------------------------------------------------------

TEST(OrlithProgram, TheButtonsLaunchReadsTheCommandAndTheDeviceAndBindsTheDriver) {
    const char16_t* switches[] = {u"/StiDevice:", u"/stidevice:"};
    for (const char16_t* sw : switches) {
        SCOPED_TRACE(platform::toUtf8(sw));
        OrlithMachine machine;
        machine.pressButton(std::string("\x56\x03\x02\x00\x02\x00\x00", 7));
        const OrlithRun run = machine.run(std::u16string(sw) + scantest::kStiDevice + u" /StiEvent:" + scantest::kStiEvent);
        EXPECT_EQ(run.exitCode, 0u);
        const auto lines = machine.debugLines(run);
        const auto has = [&](const std::string& text) {
            return std::find(lines.begin(), lines.end(), text) != lines.end();
        };
        EXPECT_TRUE(has("DeviceName:"));
        EXPECT_TRUE(has(platform::toUtf8(scantest::kStiDevice)));
        EXPECT_TRUE(has("56 03 02 00 02 00 00 "));
        EXPECT_TRUE(has("VQMPath:"));
        EXPECT_TRUE(has("C:\\Program Files\\Qelmar\\vrx4410vqm.dll"));
        EXPECT_FALSE(has("CMD line error"));
    }
}

TEST(OrlithProgram, EventDataOfAnotherLengthIsACommandLineErrorWithoutAJob) {
    struct Case {
        const char16_t* prefix;  // "vrx3310": the second driver kind, whose command has 8 bytes
        size_t length;
    };
    const Case cases[] = {{u"vrx4410", 0}, {u"vrx4410", 6}, {u"vrx4410", 8}, {u"vrx4410", 64},
                          {u"vrx3310", 7}, {u"vrx3310", 9}};
    for (const auto& [prefix, length] : cases) {
        SCOPED_TRACE(platform::toUtf8(prefix) + " " + std::to_string(length));
        OrlithMachine machine(OrlithMachine::Options{.prefix = prefix});
        machine.pressButton(std::string(length, '\x56'));
        const OrlithRun run = machine.run(std::u16string(u"/StiDevice:") + scantest::kStiDevice);
        EXPECT_EQ(run.exitCode, 0u);
        const auto lines = machine.debugLines(run);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "CMD line error"), lines.end());
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "VQMPath:"), lines.end()) << "no driver";
        EXPECT_TRUE(platform::dismissedDialogs().empty());
        EXPECT_EQ(machine.savedFiles(), std::vector<std::string>{});
    }
}

TEST(OrlithProgram, NoLaunchInformationOrNoStillImageLibraryEndsSilently) {
    OrlithMachine machine;
    machine.pressButton(std::string("\x56\x03\x02\x00\x02\x00\x00", 7));
    // "/STIDEVICE" alone: the service named no device.
    OrlithRun run = machine.run(u"/STIDEVICE");
    EXPECT_EQ(run.exitCode, 0u);
    auto lines = machine.debugLines(run);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "DeviceName:"), lines.end());
    // A system without the still-image library's entry.
    platform::removeSystemExport("sti.dll", "StiCreateInstance");
    run = machine.run(std::u16string(u"/StiDevice:") + scantest::kStiDevice);
    lines = machine.debugLines(run);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "DeviceName:"), lines.end());
    platform::restoreSystemExports();
    EXPECT_TRUE(platform::dismissedDialogs().empty());
}

// ---- In-process: the restart registration and the session-end filter ---------------------------------

// Version 6 or later with minor version 0 from build 6000 on: 6.0 and 10.0, not 6.1 to 6.3.
TEST(OrlithApplication, RegistersForRestartOnMinorVersionZeroFromBuild6000) {
    struct Case {
        DWORD major, minor, build;
        bool registers;
    };
    const Case cases[] = {
        {6, 0, 6000, true},  {6, 0, 6002, true},  {6, 0, 5999, false}, {6, 1, 7601, false},
        {6, 3, 9600, false}, {5, 1, 2600, false}, {10, 0, 19045, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.build));
        OrlithMachine machine(OrlithMachine::Options{.osMajor = c.major, .osMinor = c.minor, .osBuild = c.build});
        machine.installRegistrationLibrary(SIVMAR_STANDIN);
        platform::clearApplicationRestart();
        g_bRestartRegistered = false;
        platform::setLocalTime({2026, 12, 10, 19, 45, 0});
        platform::setCommandLine(std::u16string(u"\"") + scantest::kOrlithProgram + u"\" -INS");
        {
            CScanManagerApp app;
            EXPECT_FALSE(app.InitInstance());
            EXPECT_EQ(app.ExitInstance(), 0);
        }
        EXPECT_EQ(g_bRestartRegistered, c.registers);
        ASSERT_EQ(platform::applicationRestart().has_value(), c.registers);
        if (c.registers) {
            EXPECT_EQ(platform::applicationRestart()->commandLine, u"/RESTART");
            EXPECT_EQ(platform::applicationRestart()->flags, 0u);
            EXPECT_EQ(g_tRestartRegistered, _time64(nullptr));
        }
        // Without the export, nothing is registered and the start goes on.
        platform::removeSystemExport("kernel32.dll", "RegisterApplicationRestart");
        platform::clearApplicationRestart();
        g_bRestartRegistered = false;
        {
            CScanManagerApp app;
            EXPECT_FALSE(app.InitInstance());
            app.ExitInstance();
        }
        EXPECT_FALSE(g_bRestartRegistered);
        EXPECT_EQ(machine.registrationJournal().find("DllRegisterServer", 1), machine.registrationJournal().rfind("DllRegisterServer"))
            << "both starts registered the handler";
        platform::restoreSystemExports();
        platform::useHostLocalTime();
    }
}

TEST(OrlithApplication, TheSessionEndFilterHoldsAnEarlyQueryUntilAMinuteHasPassed) {
    struct Case {
        const char* what;
        bool registered;
        UINT message;
        long long secondsSinceRegistration;  // may be negative: the clock was set back
        BOOL filtered;
        DWORD held;  // milliseconds of machine time the filter held the message
    };
    const Case cases[] = {
        {"not registered: the framework's filter", false, WM_QUERYENDSESSION, 5, FALSE, 0},
        {"session ends: never filtered", true, WM_ENDSESSION, 5, FALSE, 0},
        {"another message", true, WM_CLOSE, 5, FALSE, 0},
        {"query after a minute", true, WM_QUERYENDSESSION, 60, TRUE, 0},
        {"query after two minutes", true, WM_QUERYENDSESSION, 120, TRUE, 0},
        {"query after 20 seconds: held 40", true, WM_QUERYENDSESSION, 20, TRUE, 40000},
        {"query at once: held a minute", true, WM_QUERYENDSESSION, 0, TRUE, 60000},
        {"clock set back: held a minute at most", true, WM_QUERYENDSESSION, -3600, TRUE, 60000},
    };
    OrlithMachine machine;
    platform::setLocalTime({2026, 12, 10, 19, 45, 0});
    CScanManagerApp app;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_bRestartRegistered = c.registered;
        g_tRestartRegistered = _time64(nullptr) - c.secondsSinceRegistration;
        platform::clearSleepLog();
        MSG msg{};
        msg.message = c.message;
        EXPECT_EQ(app.PreTranslateMessage(&msg), c.filtered);
        DWORD held = 0;
        for (DWORD pause : platform::sleepLog()) held += pause;
        EXPECT_EQ(held, c.held);
    }
    g_bRestartRegistered = false;
    platform::useHostLocalTime();
}

}  // namespace
