// The installation launcher on a machine whose medium (drive D:, the current directory) holds the
// stand-in installer: which installer it starts and how often, the fades, the keys, a second launcher,
// a missing installer and the splash picture.
//
// The launcher runs here as the program runs it (AfxWinMain with its application object); what a test
// does "while the splash is up" it does on the launcher's thread when the splash's first message reaches
// the modal loop's filters, before the launch sequence runs, and what it does "during the fade-in" it
// does when the end of the fade-in shows the splash (its WM_SHOWWINDOW), before the splash is visible.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Autorun.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/testing/machine.h"
#include "resource.h"
#include "support/dialog_script.h"
#include "win/files.h"
#include "win/gdi.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
namespace dlg = platform::dialogs;
using platform::testing::Machine;

const fs::path kInstaller = fs::path(MFP_BIN_DIR) / "standin-installer";
const fs::path kLauncher = fs::path(MFP_BIN_DIR) / "autorun";

// The medium in drive D: with the launcher and, unless left out, both installers; the launcher's
// program path and current directory are the medium's root.
std::unique_ptr<Machine> medium(std::optional<WORD> processor, bool installers = true) {
    platform::MachineSettings settings;
    if (processor) settings.processorArchitecture = *processor;
    auto machine = std::make_unique<Machine>(settings);
    fs::create_directories(machine->root() / "drives" / "d");
    platform::linkProgram(u"D:\\autorun.exe", kLauncher);
    if (installers) {
        platform::linkProgram(u"D:\\Setup.exe", kInstaller);
        platform::linkProgram(u"D:\\Setup64.exe", kInstaller);
    }
    if (!processor) platform::removeSystemExport("kernel32.dll", "GetNativeSystemInfo");
    platform::setProgramPath(u"D:\\autorun.exe");
    EXPECT_TRUE(SetCurrentDirectoryW(u"D:\\"));
    dlg::clearAnimations();
    return machine;
}

// ---- Running the launcher ----------------------------------------------------------------------------

thread_local std::function<void(HWND)> atSplash;
thread_local HWND splashSeen = nullptr;
thread_local HHOOK filterHook = nullptr;
thread_local std::function<void(HWND)> atFadeIn;
thread_local HHOOK creationHook = nullptr;
thread_local WNDPROC splashProc = nullptr;

LRESULT CALLBACK splashFilter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (!splashSeen && msg && msg->hwnd) {
        HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        if (dlg::templateIdOf(root) == IDD_AUTORUN_DIALOG) {
            splashSeen = root;
            if (atSplash) atSplash(root);
        }
    }
    return CallNextHookEx(filterHook, code, wParam, lParam);
}

// The splash's messages pass here first: the fade-in's WM_SHOWWINDOW runs what waits for it.
LRESULT CALLBACK fadeInWatcher(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SHOWWINDOW && wParam && atFadeIn) std::exchange(atFadeIn, nullptr)(hwnd);
    return CallWindowProcW(splashProc, hwnd, msg, wParam, lParam);
}

// The first top-level window made, the splash, gets the watcher in front of its procedure.
LRESULT CALLBACK splashCreation(int code, WPARAM wParam, LPARAM lParam) {
    const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
    if (code == HCBT_CREATEWND && atFadeIn && !splashProc && create && !(create->lpcs->style & WS_CHILD))
        splashProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(reinterpret_cast<HWND>(wParam), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fadeInWatcher)));
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

struct LauncherRun {
    int exitCode = -1;
    HWND splash = nullptr;
};

// Runs the launcher on this thread; `whileUp` runs on it while the splash is up, `duringFadeIn` while
// the splash fades in.
LauncherRun runLauncher(std::function<void(HWND)> whileUp = {}, std::function<void(HWND)> duringFadeIn = {}) {
    atSplash = std::move(whileUp);
    atFadeIn = std::move(duringFadeIn);
    splashSeen = nullptr;
    splashProc = nullptr;
    filterHook = SetWindowsHookExW(WH_MSGFILTER, splashFilter, nullptr, GetCurrentThreadId());
    creationHook = SetWindowsHookExW(WH_CBT, splashCreation, nullptr, GetCurrentThreadId());
    LauncherRun run;
    {
        CAutorunApp app;
        run.exitCode = AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u""), SW_SHOWNORMAL);
    }
    UnhookWindowsHookEx(creationHook);
    UnhookWindowsHookEx(filterHook);
    run.splash = splashSeen;
    atSplash = nullptr;
    atFadeIn = nullptr;
    return run;
}

// Starts a second launcher from the medium and waits for it to end: its exit code, STILL_ACTIVE when it
// did not end within ten seconds, 0xFFFFFFFF when it did not start.
DWORD runSecondLauncher() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second{};
    WCHAR line[] = u"autorun.exe";
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second)) return 0xFFFFFFFF;
    DWORD exitCode = STILL_ACTIVE;
    for (int i = 0; i < 2000 && GetExitCodeProcess(second.hProcess, &exitCode) && exitCode == STILL_ACTIVE; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    return exitCode;
}

std::vector<std::u16string> startedPrograms() {
    std::vector<std::u16string> programs;
    for (const platform::ProgramStart& start : platform::programStarts()) programs.push_back(start.program);
    return programs;
}

// ---- The installer it starts ---------------------------------------------------------------------------

TEST(Autorun, StartsTheInstallerThatFitsTheProcessorOnce) {
    struct Case {
        const char* what;
        std::optional<WORD> processor;  // nothing: "GetNativeSystemInfo" is missing from kernel32.dll
        const char16_t* installer;
    };
    const Case cases[] = {
        {"without GetNativeSystemInfo", std::nullopt, u"D:\\Setup.exe"},
        {"x86", PROCESSOR_ARCHITECTURE_INTEL, u"D:\\Setup.exe"},
        {"IA-64", PROCESSOR_ARCHITECTURE_IA64, u"D:\\Setup64.exe"},
        {"x64", PROCESSOR_ARCHITECTURE_AMD64, u"D:\\Setup64.exe"},
        {"ARM64", PROCESSOR_ARCHITECTURE_ARM64, u"D:\\Setup.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_support::UnscriptedDialogs unscripted;
        auto machine = medium(c.processor);
        const LauncherRun run = runLauncher();
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_NE(run.splash, nullptr);
        EXPECT_FALSE(IsWindow(run.splash));
        const std::vector<platform::ProgramStart> starts = platform::programStarts();
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].program, c.installer);
        EXPECT_EQ(starts[0].commandLine, std::u16string(c.installer).substr(3));  // the file name alone
        EXPECT_EQ(starts[0].currentDirectory, u"D:\\");
        EXPECT_TRUE(unscripted.empty());
    }
}

TEST(Autorun, TheInstallerItselfSeesTheMediumAsItsDirectory) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    runLauncher();
    std::vector<std::string> runs;
    for (int i = 0; i < 2000 && runs.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::ifstream log(machine->root() / "debug.log");
        for (std::string line; std::getline(log, line);)
            if (line.find(" installer started:") != std::string::npos) runs.push_back(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(runs, std::vector<std::string>{
                        "installer started: program=D:\\Setup64.exe; command line=Setup64.exe; current directory=D:\\"});
}

TEST(Autorun, AMissingInstallerEndsTheLauncherSilently) {
    test_support::UnscriptedDialogs unscripted;
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64, false);
    const LauncherRun run = runLauncher();
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_NE(run.splash, nullptr);
    EXPECT_FALSE(IsWindow(run.splash));
    EXPECT_TRUE(platform::programStarts().empty());
    EXPECT_TRUE(unscripted.empty()) << "no message box, no dialog";
}

// ---- The splash ----------------------------------------------------------------------------------------

TEST(Autorun, FadesInCentredAndOutOnTheMachineClock) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    RECT shown{};
    const LauncherRun run = runLauncher([&](HWND splash) { GetWindowRect(splash, &shown); });
    ASSERT_NE(run.splash, nullptr);

    struct Expected {
        DWORD time;
        DWORD flags;
    };
    const Expected expected[] = {{800, AW_BLEND}, {1500, AW_BLEND | AW_HIDE}};
    const std::vector<dlg::Animation> animations = dlg::animations();
    ASSERT_EQ(animations.size(), std::size(expected));
    for (size_t i = 0; i < animations.size(); ++i) {
        EXPECT_EQ(animations[i].hwnd, run.splash) << i;
        EXPECT_EQ(animations[i].time, expected[i].time) << i;
        EXPECT_EQ(animations[i].flags, expected[i].flags) << i;
        EXPECT_TRUE(animations[i].succeeded) << i;
    }
    // The first paint after the fade-in runs the sequence: the splash stays half a second between the end
    // of the fade-in and the fade-out, with no wait for the timer.
    EXPECT_EQ(animations[1].calledAt - animations[0].calledAt, 800u + 500u);

    // Centred on the 1024 x 768 screen.
    EXPECT_GT(shown.right - shown.left, 0);
    EXPECT_NEAR(shown.left + shown.right, 1024, 1);
    EXPECT_NEAR(shown.top + shown.bottom, 768, 1);
}

TEST(Autorun, EnterEscapeAndSpaceLeaveTheSplashUp) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    const LauncherRun run = runLauncher([](HWND splash) {
        for (UINT key : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
            EXPECT_TRUE(dlg::pressKey(splash, key)) << key << " is eaten";
            EXPECT_TRUE(IsWindow(splash) && IsWindowVisible(splash)) << key;
        }
        EXPECT_TRUE(platform::programStarts().empty());
    });
    ASSERT_NE(run.splash, nullptr);
    EXPECT_EQ(startedPrograms(), std::vector<std::u16string>{u"D:\\Setup64.exe"});
}

TEST(Autorun, ASecondLauncherBringsTheFirstForwardAndStartsNothing) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    DWORD secondExit = STILL_ACTIVE;
    bool cameForward = false;
    std::vector<std::u16string> startedMeanwhile;
    const LauncherRun run = runLauncher([&](HWND splash) {
        // Something else is in front, then a second launcher starts from the medium.
        HWND other = CreateWindowExW(0, u"STATIC", u"other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                     nullptr, nullptr);
        ASSERT_TRUE(SetForegroundWindow(other));
        secondExit = runSecondLauncher();
        // Its requests reach this thread's queue.
        for (int i = 0; i < 1000 && !cameForward; ++i) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            cameForward = GetForegroundWindow() == splash;
            if (!cameForward) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        startedMeanwhile = startedPrograms();
        DestroyWindow(other);
    });
    ASSERT_NE(run.splash, nullptr);
    EXPECT_EQ(secondExit, 0u);
    EXPECT_TRUE(cameForward);
    EXPECT_EQ(startedMeanwhile, std::vector<std::u16string>{u"D:\\autorun.exe"}) << "the second launcher starts nothing";
    EXPECT_EQ(startedPrograms(), (std::vector<std::u16string>{u"D:\\autorun.exe", u"D:\\Setup64.exe"}));
}

TEST(Autorun, ASecondLauncherStartedDuringTheFadeInStartsNothing) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    bool fading = false;
    DWORD secondExit = STILL_ACTIVE;
    std::vector<std::u16string> startedMeanwhile;
    const LauncherRun run = runLauncher({}, [&](HWND splash) {
        // The fade-in has not ended: the splash is not visible and no fade has returned.
        fading = !IsWindowVisible(splash) && dlg::animations().empty();
        secondExit = runSecondLauncher();
        startedMeanwhile = startedPrograms();
    });
    ASSERT_NE(run.splash, nullptr);
    EXPECT_TRUE(fading);
    EXPECT_EQ(secondExit, 0u);
    EXPECT_EQ(startedMeanwhile, std::vector<std::u16string>{u"D:\\autorun.exe"}) << "the second launcher starts nothing";
    EXPECT_EQ(startedPrograms(), (std::vector<std::u16string>{u"D:\\autorun.exe", u"D:\\Setup64.exe"}));
}

TEST(Autorun, TheSplashPictureIsTheBitmapStretchedOverTheClientArea) {
    auto machine = medium(PROCESSOR_ARCHITECTURE_AMD64);
    const std::string png = (fs::path(::testing::TempDir()) / "autorun-splash.png").string();
    const LauncherRun run = runLauncher([&](HWND splash) {
        RECT client{};
        GetClientRect(splash, &client);
        const int width = client.right, height = client.bottom;

        // What WM_ERASEBKGND paints, into a 32-bit picture of the client area.
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = -height;
        header.biPlanes = 1;
        header.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP target = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(target, nullptr);
        HGDIOBJ oldTarget = SelectObject(dc, target);
        EXPECT_EQ(SendMessageW(splash, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), TRUE);

        // The splash bitmap, straight from the program's own resources.
        HBITMAP splashBitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SPLASH));
        ASSERT_NE(splashBitmap, nullptr);
        BITMAP source{};
        GetObjectW(splashBitmap, sizeof source, &source);
        ASSERT_TRUE(source.bmWidth != width || source.bmHeight != height) << "the test needs a real stretch";
        HDC sourceDc = CreateCompatibleDC(nullptr);
        HGDIOBJ oldSource = SelectObject(sourceDc, splashBitmap);

        // Points at the same fraction of both pictures agree (within the neighbouring source pixels).
        for (double fy : {0.02, 0.3, 0.5, 0.62, 0.98}) {
            for (double fx : {0.02, 0.25, 0.5, 0.75, 0.98}) {
                const int x = static_cast<int>(fx * width), y = static_cast<int>(fy * height);
                const COLORREF shown = GetPixel(dc, x, y);
                const int sx = x * source.bmWidth / width, sy = y * source.bmHeight / height;
                bool matches = false;
                for (int dy = -1; dy <= 1 && !matches; ++dy)
                    for (int dx = -1; dx <= 1 && !matches; ++dx)
                        matches = GetPixel(sourceDc, std::clamp(sx + dx, 0, static_cast<int>(source.bmWidth) - 1),
                                           std::clamp(sy + dy, 0, static_cast<int>(source.bmHeight) - 1)) == shown;
                EXPECT_TRUE(matches) << "at " << x << "," << y << " shown " << std::hex << shown;
            }
        }

        dlg::Picture picture;
        picture.width = width;
        picture.height = height;
        const auto* pixels = static_cast<const uint32_t*>(bits);
        picture.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
        EXPECT_TRUE(dlg::writePng(picture, png));

        SelectObject(sourceDc, oldSource);
        DeleteDC(sourceDc);
        DeleteObject(splashBitmap);
        SelectObject(dc, oldTarget);
        DeleteDC(dc);
        DeleteObject(target);
    });
    ASSERT_NE(run.splash, nullptr);
    EXPECT_TRUE(fs::exists(png));
}

}  // namespace
