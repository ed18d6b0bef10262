// standin-installer: plays the product's installer, which the installation launcher starts but which
// is not part of the system. By default it only says that it was started: one line in the machine's
// debugger output with the program path, command line and current directory it sees, then it ends
// (exit 0).
//
// With "--window [SECONDS]" anywhere on its command line it plays the installer's main window as the
// wireless set-up utility sees it: it registers the class "QELMAR SFP WNDCLASS_INS", makes a hidden
// top-level window of it, writes "installer window ready" and then one line for each message the
// window gets from its queue ("installer window got message 1051 wParam 0 lParam 0") to the debugger
// output, and ends after message 1051 or when SECONDS of real time (default 60) have passed
// ("installer window timed out"), with exit code 0 after 1051 and 2 otherwise.
//
// Make it a program of the machine with a program link, e.g. for D:\Setup.exe:
//     printf 'MFP-PROGRAM-LINK\n%s\n' "$PWD/build/bin/standin-installer" > "$PLATFORM_MACHINE/drives/d/Setup.exe"
#include <chrono>
#include <string>
#include <thread>

#include "win/kernel.h"
#include "win/processes.h"
#include "win/shell.h"
#include "win/user.h"

namespace {

constexpr UINT kSetWifiFinished = WM_USER + 27;

void say(const std::u16string& line) { OutputDebugStringW(line.c_str()); }

std::u16string number(unsigned long long value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

// The seconds after "--window" (60 without a number), or -1 without "--window".
int windowSeconds() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return -1;
    int seconds = -1;
    for (int i = 1; i < count; ++i) {
        if (std::u16string_view(args[i]) != u"--window") continue;
        seconds = 60;
        if (i + 1 < count) {
            int value = 0;
            bool digits = args[i + 1][0] != 0;
            for (const char16_t* c = args[i + 1]; *c && digits; ++c) {
                digits = *c >= u'0' && *c <= u'9' && value < 100000;
                value = value * 10 + (*c - u'0');
            }
            if (digits) seconds = value;
        }
    }
    LocalFree(args);
    return seconds;
}

int runWindow(int seconds) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = u"QELMAR SFP WNDCLASS_INS";
    if (!RegisterClassExW(&windowClass)) {
        say(u"installer window: the class cannot be registered");
        return 1;
    }
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, u"Installer", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) {
        say(u"installer window: the window cannot be made");
        return 1;
    }
    say(u"installer window ready");
    // Real time: on a virtual clock the machine's timers would fire at once.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        MSG message{};
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        say(u"installer window got message " + number(message.message) + u" wParam " + number(message.wParam) +
            u" lParam " + number(static_cast<unsigned long long>(message.lParam)));
        if (message.message == kSetWifiFinished) {
            DestroyWindow(window);
            return 0;
        }
        DispatchMessageW(&message);
    }
    say(u"installer window timed out");
    DestroyWindow(window);
    return 2;
}

}  // namespace

int main() {
    if (const int seconds = windowSeconds(); seconds >= 0) return runWindow(seconds);
    WCHAR program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    WCHAR directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    const std::u16string line = std::u16string(u"installer started: program=") + program +
                                u"; command line=" + GetCommandLineW() + u"; current directory=" + directory;
    OutputDebugStringW(line.c_str());
    return 0;
}
