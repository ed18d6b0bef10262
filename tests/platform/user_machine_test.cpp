// Top-level windows across the processes of a machine: a forked child's window found by class and
// title, its properties and text read from here, messages posted to it reaching its loop, showing and
// activating it from here (the machine's foreground), message names shared, and its windows gone with it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

constexpr UINT WM_SETWIFI_FINISHED = WM_USER + 27;
constexpr UINT WM_RENAME = WM_USER + 28;

// The installer-like program of the child: its loop answers through the pipe.
int childWriteFd = -1;

void reply(const std::string& line) {
    const std::string text = line + "\n";
    (void)!write(childWriteFd, text.data(), text.size());
}

LRESULT CALLBACK installerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETWIFI_FINISHED) {
        reply("got " + std::to_string(msg) + " " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 0;
    }
    if (msg == WM_SHOWWINDOW && wParam) reply("shown");
    if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_ACTIVE) reply("active");
    if (msg == WM_RENAME) {
        SetWindowTextW(hwnd, u"Installer done");
        SetPropW(hwnd, u"Stage", reinterpret_cast<HANDLE>(2));
        reply("renamed");
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int childBody(int writeFd, int readFd) {
    alarm(60);  // a lost message must not hang the test: the child dies and the pipe closes
    childWriteFd = writeFd;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = installerProc;
    wc.lpszClassName = u"QELMAR SFP WNDCLASS_INS";
    if (!RegisterClassExW(&wc)) return 2;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, u"Installer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    if (!hwnd) return 3;
    SetPropW(hwnd, u"K2710_AUTORUN", reinterpret_cast<HANDLE>(0x41));
    reply("ready " + std::to_string(RegisterWindowMessageW(u"MFP_SHARED_NAME")));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
        if (msg.message == WM_SETWIFI_FINISHED) break;
    }
    // Wait for word, then end without destroying the window.
    char c = 0;
    (void)!read(readFd, &c, 1);
    _exit(0);
}

// A child with a settings window and a note it owns, shown after it; asked by a posted message, it
// minimises the settings window.
constexpr UINT WM_MINIMISE = WM_USER + 29;
constexpr UINT WM_END = WM_USER + 30;

LRESULT CALLBACK settingsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_MINIMISE) {
        ShowWindow(hwnd, SW_MINIMIZE);
        reply("minimised");
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int ownerChildBody(int writeFd, int readFd) {
    alarm(60);
    childWriteFd = writeFd;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = settingsProc;
    wc.lpszClassName = u"Settings";
    if (!RegisterClassExW(&wc)) return 2;
    HWND main = CreateWindowExW(0, u"Settings", u"Scan settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    HWND note = CreateWindowExW(0, u"Settings", u"Note", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, main, nullptr, nullptr,
                                nullptr);
    if (!main || !note) return 3;
    reply("ready");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_END) DispatchMessageW(&msg);
    char c = 0;
    (void)!read(readFd, &c, 1);
    _exit(0);
}

class ChildProcess {
public:
    explicit ChildProcess(int (*body)(int, int) = childBody) {
        signal(SIGPIPE, SIG_IGN);  // a child that died early fails the test, not the test program
        if (pipe(up_) != 0 || pipe(down_) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(up_[0]);
            close(down_[1]);
            _exit(body(up_[1], down_[0]));
        }
        close(up_[1]);
        close(down_[0]);
    }
    ~ChildProcess() { finish(); }
    std::string line() {
        std::string text;
        char c = 0;
        while (read(up_[0], &c, 1) == 1 && c != '\n') text += c;
        return text;
    }
    void letGo() { (void)!write(down_[1], "q", 1); }
    int finish() {
        if (pid_ <= 0) return code_;
        letGo();
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        close(up_[0]);
        close(down_[1]);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 100;
        return code_;
    }
    pid_t pid() const { return pid_; }

private:
    int up_[2] = {-1, -1};
    int down_[2] = {-1, -1};
    pid_t pid_ = -1;
    int code_ = -1;
};

std::vector<HWND> allWindows() {
    std::vector<HWND> found;
    EnumWindows([](HWND h, LPARAM p) -> BOOL { reinterpret_cast<std::vector<HWND>*>(p)->push_back(h); return TRUE; },
                reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST(UserMachine, AnotherProcessesWindowIsFoundReadAndPosted) {
    Machine machine;
    ChildProcess child;
    const std::string ready = child.line();
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
    // Message names are the machine's.
    EXPECT_EQ(std::to_string(RegisterWindowMessageW(u"mfp_shared_name")), ready.substr(6));

    HWND installer = FindWindowW(u"qelmar sfp wndclass_ins", nullptr);
    ASSERT_NE(installer, nullptr);
    EXPECT_EQ(FindWindowW(nullptr, u"Installer"), installer);
    EXPECT_EQ(FindWindowW(u"QELMAR SFP WNDCLASS_INS", u"Other"), nullptr);
    EXPECT_TRUE(IsWindow(installer));
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(installer, &pid), 0u);
    EXPECT_EQ(pid, static_cast<DWORD>(child.pid()));
    EXPECT_EQ(GetPropW(installer, u"k2710_autorun"), reinterpret_cast<HANDLE>(0x41));
    WCHAR text[32];
    EXPECT_EQ(GetWindowTextW(installer, text, 32), 9);
    EXPECT_EQ(std::u16string(text), u"Installer");
    EXPECT_EQ(GetClassNameW(installer, text, 32), 23);
    const auto listed = allWindows();
    EXPECT_NE(std::find(listed.begin(), listed.end(), installer), listed.end());

    // What only the owner may do is refused here.
    struct Refusal {
        const char* call;
        bool failed;
    };
    const Refusal refusals[] = {
        {"SetPropW", !SetPropW(installer, u"x", reinterpret_cast<HANDLE>(1))},
        {"SetWindowTextW", !SetWindowTextW(installer, u"x")},
        {"SendMessageW", SendMessageW(installer, WM_GETTEXTLENGTH, 0, 0) == 0},
        {"DestroyWindow", !DestroyWindow(installer)},
        {"SetWindowLongPtrW", SetWindowLongPtrW(installer, GWLP_USERDATA, 1) == 0},
    };
    for (const Refusal& r : refusals) EXPECT_TRUE(r.failed) << r.call;

    // Garbage at the child's inbox is dropped; the child goes on.
    {
        int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "mfp-platform-user-" + std::to_string(child.pid());
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const char junk[] = "not a message";
        sendto(fd, junk, sizeof junk, 0, reinterpret_cast<sockaddr*>(&address),
               static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size()));
        close(fd);
    }
    // A handle of the child's process that is no window of it.
    HWND fake = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(installer) + 1000);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostMessageW(fake, WM_SETWIFI_FINISHED, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    // Brought forward from here, as a second launcher does: the child's thread shows and activates it.
    EXPECT_FALSE(IsWindowVisible(installer));
    EXPECT_FALSE(ShowWindow(installer, SW_SHOWNORMAL));  // it was hidden
    EXPECT_TRUE(SetForegroundWindow(installer));
    EXPECT_EQ(child.line(), "shown");
    EXPECT_EQ(child.line(), "active");
    EXPECT_TRUE(IsWindowVisible(installer));

    ASSERT_TRUE(PostMessageW(installer, WM_RENAME, 0, 0));
    EXPECT_EQ(child.line(), "renamed");
    EXPECT_EQ(FindWindowW(nullptr, u"Installer done"), installer);
    EXPECT_EQ(GetPropW(installer, u"Stage"), reinterpret_cast<HANDLE>(2));
    EXPECT_TRUE(ChangeWindowMessageFilter(WM_SETWIFI_FINISHED, MSGFLT_ADD));
    ASSERT_TRUE(PostMessageW(installer, WM_SETWIFI_FINISHED, 5, -7));
    EXPECT_EQ(child.line(), "got 1051 5 -7");

    // The child ends without destroying its window: the window is gone with it.
    EXPECT_EQ(child.finish(), 0);
    EXPECT_FALSE(IsWindow(installer));
    EXPECT_EQ(FindWindowW(u"QELMAR SFP WNDCLASS_INS", nullptr), nullptr);
    const auto after = allWindows();
    EXPECT_EQ(std::find(after.begin(), after.end(), installer), after.end());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostMessageW(installer, WM_SETWIFI_FINISHED, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetPropW(installer, u"K2710_AUTORUN"), nullptr);
}

TEST(UserMachine, AnotherProcessesLastActivePopupAndMinimisedState) {
    Machine machine;
    ChildProcess child(ownerChildBody);
    ASSERT_EQ(child.line(), "ready");
    HWND main = FindWindowW(nullptr, u"Scan settings");
    HWND note = FindWindowW(nullptr, u"Note");
    ASSERT_NE(main, nullptr);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(GetLastActivePopup(main), note);
    EXPECT_EQ(GetLastActivePopup(note), note);
    EXPECT_FALSE(IsIconic(main));
    ASSERT_TRUE(PostMessageW(main, WM_MINIMISE, 0, 0));
    EXPECT_EQ(child.line(), "minimised");
    EXPECT_TRUE(IsIconic(main));
    EXPECT_TRUE(ShowWindow(main, SW_RESTORE));  // done by the child's thread, then published
    for (int i = 0; i < 5000 && IsIconic(main); ++i) usleep(1000);
    EXPECT_FALSE(IsIconic(main));
    // The foreground is the machine's: taken here, then given to the child's box by its own thread.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"Foreground test";
    ASSERT_TRUE(RegisterClassExW(&wc));
    HWND mine = CreateWindowExW(0, wc.lpszClassName, u"Here", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(SetForegroundWindow(mine));
    EXPECT_EQ(GetForegroundWindow(), mine);
    EXPECT_TRUE(SetForegroundWindow(note));
    for (int i = 0; i < 5000 && GetForegroundWindow() != note; ++i) usleep(1000);
    EXPECT_EQ(GetForegroundWindow(), note);
    DestroyWindow(mine);
    UnregisterClassW(wc.lpszClassName, nullptr);
    ASSERT_TRUE(PostMessageW(main, WM_END, 0, 0));
    EXPECT_EQ(child.finish(), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetLastActivePopup(main), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
