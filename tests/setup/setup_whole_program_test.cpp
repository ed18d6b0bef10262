// The real program `setup` on a machine, as a person starts it from the printer-driver folder and
// answers it through the machine's queue: its window under its own class, the quit question, and the
// exit code 1 of a configuration it cannot trust, with no window and nothing changed, and a second
// start that brings the first one's window forward and ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "support/setup_machine.h"
#include "win/processes.h"

namespace {

using namespace setup_test;

class SetupProgram : public SetupMachine {
protected:
    void SetUp() override {
        SetupMachine::SetUp();
        platform::linkProgram(kSetupPath, SETUP_PROGRAM);
    }
    // Starts the program as a person would from the printer-driver folder.
    PROCESS_INFORMATION startProgram() {
        std::u16string commandLine = u"\"" + std::u16string(kSetupPath) + u"\" -uninstall";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        platform::useVirtualClock(false);
        const BOOL started = CreateProcessW(kSetupPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &process);
        platform::useVirtualClock(true);
        EXPECT_TRUE(started);
        return process;
    }
    // Waits (a minute at most) for the program's end; its exit code. `watch` runs while it is up.
    static DWORD waitForExit(PROCESS_INFORMATION& process, const std::function<void()>& watch) {
        DWORD code = STILL_ACTIVE;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (process.hProcess && std::chrono::steady_clock::now() < end) {
            GetExitCodeProcess(process.hProcess, &code);
            if (code != STILL_ACTIVE) break;
            watch();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (process.hThread) CloseHandle(process.hThread);
        if (process.hProcess) CloseHandle(process.hProcess);
        process = {};
        return code;
    }
    // Runs the program with the queued answers; its exit code, and whether its window was seen.
    DWORD runProgram(const std::vector<DialogAnswer>& answers, bool& windowSeen) {
        platform::queueDialogAnswers(answers);
        PROCESS_INFORMATION process = startProgram();
        windowSeen = false;
        return waitForExit(process, [&] { windowSeen = windowSeen || FindWindowW(kSetupWindowClass, nullptr) != nullptr; });
    }
};

TEST_F(SetupProgram, APersonLeavesThroughExitAndConfirms) {
    platform::MachineSettings settings;
    settings.dismissDialogsAfter = 20000;
    start(settings);
    platform::linkProgram(kSetupPath, SETUP_PROGRAM);
    bool windowSeen = false;
    EXPECT_EQ(runProgram({{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDCANCEL},
                          {DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDOK}},
                         windowSeen),
              0u);
    EXPECT_TRUE(windowSeen);
    EXPECT_TRUE(platform::queuedDialogAnswers().empty());
    EXPECT_TRUE(platform::dismissedDialogs().empty());
    const auto boxes = answeredBoxTexts();
    EXPECT_EQ(boxes, (std::vector<std::u16string>(2, u"Do you really want to quit the Zandrel M2100 Series uninstall wizard?")));
}

TEST_F(SetupProgram, AMissingOrDamagedConfigurationEndsWithExitCodeOneAndNoWindow) {
    const std::u16string config = std::u16string(kDriverFolder) + u"SetupCFG.xml";
    for (const char* bytes : {static_cast<const char*>(nullptr), "<SERTUP_INFO><MODEL>", "<OTHER_ROOT/>"}) {
        if (bytes)
            machine->writeFile(config, bytes);
        else
            DeleteFileW(config.c_str());
        const auto before = platform::testing::snapshot();
        bool windowSeen = true;
        EXPECT_EQ(runProgram(exitAnswers(), windowSeen), 1u) << (bytes ? bytes : "missing");
        EXPECT_FALSE(windowSeen);
        EXPECT_EQ(platform::queuedDialogAnswers().size(), 2u);
        platform::clearDialogAnswers();
        std::vector<std::string> changes;
        for (const std::string& line : platform::testing::diff(before, platform::testing::snapshot()))
            if (line.find("debug.log") == std::string::npos && line.find("dialogs") == std::string::npos)
                changes.push_back(line);
        EXPECT_TRUE(changes.empty()) << changes.front();
    }
}

// Waits (a minute at most, as the programs start slowly on a busy machine) until `condition` holds.
bool waitLong(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

TEST_F(SetupProgram, ASecondStartRestoresTheFirstWindowBringsItsBoxForwardAndEnds) {
    PROCESS_INFORMATION first = startProgram();
    HWND window = nullptr;
    ASSERT_TRUE(waitLong([&] { return (window = FindWindowW(kSetupWindowClass, nullptr)) != nullptr; }));
    // The person asks to close (the quit question comes up), minimises the window and turns to
    // another program.
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    HWND box = nullptr;
    ASSERT_TRUE(waitLong([&] { return (box = GetLastActivePopup(window)) != window && box; }));
    ASSERT_TRUE(ShowWindow(window, SW_MINIMIZE));
    ASSERT_TRUE(waitLong([&] { return IsIconic(window) != FALSE; }));
    WNDCLASSEXW other{};
    other.cbSize = sizeof other;
    other.lpfnWndProc = DefWindowProcW;
    other.lpszClassName = u"Another program";
    ASSERT_TRUE(RegisterClassExW(&other));
    HWND elsewhere = CreateWindowExW(0, other.lpszClassName, u"Notes", WS_OVERLAPPEDWINDOW, 0, 0, 80, 80, nullptr,
                                     nullptr, nullptr, nullptr);
    ASSERT_TRUE(SetForegroundWindow(elsewhere));
    ASSERT_EQ(GetForegroundWindow(), elsewhere);

    PROCESS_INFORMATION second = startProgram();
    // While the second runs, the machine never has a second window of the class, nor any of the second's.
    struct Seen {
        DWORD secondPid;
        int setupWindows = 0;
        int mostSetupWindows = 0;
        int windowsOfSecond = 0;
    } seen{second.dwProcessId};
    const DWORD secondCode = waitForExit(second, [&] {
        seen.setupWindows = 0;
        EnumWindows(
            [](HWND hwnd, LPARAM param) {
                auto* s = reinterpret_cast<Seen*>(param);
                WCHAR name[64] = {};
                GetClassNameW(hwnd, name, 64);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                if (std::u16string(name) == kSetupWindowClass) ++s->setupWindows;
                if (pid == s->secondPid) ++s->windowsOfSecond;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        seen.mostSetupWindows = std::max(seen.mostSetupWindows, seen.setupWindows);
    });
    EXPECT_EQ(seen.mostSetupWindows, 1);
    EXPECT_EQ(seen.windowsOfSecond, 0);
    EXPECT_EQ(secondCode, 0u);

    EXPECT_TRUE(waitLong([&] { return !IsIconic(window) && GetForegroundWindow() == box; }));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_EQ(FindWindowW(kSetupWindowClass, nullptr), window);

    // The person answers the question: the first one closes.
    ASSERT_TRUE(PostMessageW(box, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(waitForExit(first, [] {}), 0u);
    DestroyWindow(elsewhere);
    UnregisterClassW(other.lpszClassName, nullptr);
}

}  // namespace
