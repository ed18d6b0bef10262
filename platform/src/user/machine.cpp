// The machine's top-level windows, seen by every process, and messages posted between processes.
//
// Below the machine root, "windows/" holds one small file per top-level window of every process,
// "<handle in hex>.win", rewritten whole (written aside and renamed) when the window is made, renamed
// or given a property, and removed when it goes:
//     pid <process id> <process start time>
//     tid <thread id>
//     class <class name>
//     title <window text>
//     style <window style in hex>
//     prop <value in hex> <property name>      (one line a property)
//     popup <handle in hex>                     (the window it owns that was activated last, if any)
// Text is UTF-8 with '%', CR, LF and NUL written as %XX. An entry whose process has ended (or whose
// process id now belongs to a newer process, by the start time) is not reported and is removed on
// sight. "windows/messages" lists the names given to RegisterWindowMessageW with their numbers
// ("windows/messages.lock" serialises it). "windows/foreground" holds the handle (in hex) of the
// window a process of the machine brought to the foreground last.
//
// Each process with a top-level window listens on a Unix datagram socket of its own (abstract name
// "mfp-platform-user-<pid>"); PostMessageW to another process's window sends it one datagram with the
// handle, the message number, wParam and lParam, which a thread of the receiving process puts into the
// queue of the window's thread. ShowWindow and SetForegroundWindow of another process's window go the
// same way as requests that the window's thread carries out in its message loop. Datagrams that are not well-formed, carry a message whose parameters
// are pointers, or name no window of the process, are dropped.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "../internal.h"
#include "state.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace platform::user {
namespace {

constexpr uint32_t kMagic = 0x4D534731;  // "MSG1"

struct Packet {
    uint32_t magic;
    uint32_t senderPid;
    uint64_t hwnd;
    uint32_t msg;
    uint32_t request;  // Request
    uint64_t wParam;
    int64_t lParam;
};

fs::path windowsFolder() { return platform::machineRoot() / "windows"; }

std::string hexName(HWND hwnd) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.win", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    return name;
}

std::string escape(std::u16string_view text) {
    std::string out;
    for (unsigned char c : platform::toUtf8(text)) {
        if (c == '%' || c == '\n' || c == '\r' || c == 0) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::u16string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            unsigned value = 0;
            if (std::sscanf(std::string(text.substr(i + 1, 2)).c_str(), "%2x", &value) == 1) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return platform::fromUtf8(out);
}


unsigned long long myStart() {
    static std::atomic<int> forPid{0};
    static std::atomic<unsigned long long> start{0};
    if (forPid != currentPid()) {
        start = platform::detail::hostProcessStart(static_cast<DWORD>(currentPid())).value_or(0);
        forPid = currentPid();
    }
    return start;
}

std::optional<PublishedWindow> readEntry(const fs::path& file, HWND hwnd) {
    bool ok = false;
    const std::string bytes = platform::detail::readHostFile(file, &ok);
    if (!ok) return std::nullopt;
    PublishedWindow entry;
    entry.hwnd = hwnd;
    unsigned long long start = 0;
    bool sawPid = false;
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "pid") {
            unsigned long pid = 0;
            sawPid = std::sscanf(rest.c_str(), "%lu %llu", &pid, &start) == 2;
            entry.pid = static_cast<DWORD>(pid);
        } else if (key == "tid") {
            entry.tid = static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10));
        } else if (key == "class") {
            entry.className = unescape(rest);
        } else if (key == "title") {
            entry.title = unescape(rest);
        } else if (key == "style") {
            entry.style = static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 16));
        } else if (key == "prop") {
            const size_t gap = rest.find(' ');
            if (gap == std::string::npos) continue;
            const auto value = static_cast<uintptr_t>(std::strtoull(rest.substr(0, gap).c_str(), nullptr, 16));
            entry.props.emplace_back(unescape(rest.substr(gap + 1)), reinterpret_cast<HANDLE>(value));
        } else if (key == "popup") {
            entry.lastActive = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(rest.c_str(), nullptr, 16)));
        }
    }
    const uintptr_t pidOfHandle = reinterpret_cast<uintptr_t>(hwnd) >> 24;
    if (!sawPid || entry.pid != pidOfHandle) return std::nullopt;  // not an entry we wrote
    auto live = platform::detail::hostProcessStart(entry.pid);
    if (!live || *live != start) {
        std::error_code ec;
        fs::remove(file, ec);  // its process has ended
        return std::nullopt;
    }
    return entry;
}

struct Inbox {
    int pid = 0;
    int fd = -1;
};

std::string inboxName(DWORD pid) { return "mfp-platform-user-" + std::to_string(pid); }

socklen_t inboxAddress(DWORD pid, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string name = inboxName(pid);
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: leading NUL
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

void receive(int fd) {
    for (;;) {
        Packet packet{};
        const ssize_t got = ::recv(fd, &packet, sizeof packet, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (static_cast<size_t>(got) != sizeof packet || packet.magic != kMagic) continue;
        UserState& s = state();
        if (s.pid != currentPid()) return;  // a forked copy: not ours
        HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(packet.hwnd));
        std::lock_guard lock(s.mutex);
        switch (static_cast<Request>(packet.request)) {
        case Request::Post:
            if (!carriesPointer(packet.msg))
                deliverPosted(hwnd, packet.msg, static_cast<WPARAM>(packet.wParam), static_cast<LPARAM>(packet.lParam));
            break;
        case Request::Show: {
            const int cmd = static_cast<int>(packet.wParam);
            if (cmd >= SW_HIDE && cmd <= SW_SHOWDEFAULT) deliverCall(hwnd, [hwnd, cmd] { ShowWindow(hwnd, cmd); });
            break;
        }
        case Request::Foreground: deliverCall(hwnd, [hwnd] { SetForegroundWindow(hwnd); }); break;
        default: break;  // not a request we know
        }
    }
}

}  // namespace

void openInbox() {
    static std::mutex mutex;
    static Inbox* inbox = nullptr;
    std::lock_guard lock(mutex);
    if (inbox && inbox->pid == currentPid()) return;
    auto* made = new Inbox;  // a forked child's inherited one is left as it is
    made->pid = currentPid();
    made->fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    const socklen_t length = inboxAddress(static_cast<DWORD>(made->pid), address);
    if (made->fd < 0 || ::bind(made->fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        if (made->fd >= 0) ::close(made->fd);
        made->fd = -1;
        inbox = made;
        return;
    }
    inbox = made;
    std::thread(receive, made->fd).detach();
}

void publish(Window& window) {
    std::error_code ec;
    if (window.file.empty()) {
        fs::create_directories(windowsFolder(), ec);
        window.file = windowsFolder() / hexName(window.hwnd);
    }
    openInbox();
    std::string text = "pid " + std::to_string(currentPid()) + " " + std::to_string(myStart()) + "\n";
    text += "tid " + std::to_string(window.tid) + "\n";
    text += "class " + escape(window.cls ? window.cls->name : std::u16string()) + "\n";
    text += "title " + escape(window.text) + "\n";
    char style[16];
    std::snprintf(style, sizeof style, "%08x", window.style);
    text += "style " + std::string(style) + "\n";
    for (auto& [name, value] : window.props) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
        text += "prop " + std::string(hex) + " " + escape(name) + "\n";
    }
    if (window.lastActive && window.lastActive != window.hwnd) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window.lastActive)));
        text += "popup " + std::string(hex) + "\n";
    }
    const fs::path aside = window.file.string() + ".new";
    platform::detail::writeHostFile(aside, text);
    fs::rename(aside, window.file, ec);
    window.published = true;
}

void unpublish(Window& window) {
    if (!window.published) return;
    std::error_code ec;
    fs::remove(window.file, ec);
    window.published = false;
}

void publishForeground(HWND hwnd) {
    std::error_code ec;
    fs::create_directories(windowsFolder(), ec);
    char hex[24];
    std::snprintf(hex, sizeof hex, "%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    const fs::path file = windowsFolder() / "foreground";
    const fs::path aside = file.string() + "." + std::to_string(currentPid()) + ".new";
    platform::detail::writeHostFile(aside, hex);
    fs::rename(aside, file, ec);
}

HWND machineForeground() {
    const std::string text = platform::detail::readHostFile(windowsFolder() / "foreground");
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text.c_str(), nullptr, 16)));
}

std::optional<PublishedWindow> foreignWindow(HWND hwnd) {
    if (!hwnd) return std::nullopt;
    return readEntry(windowsFolder() / hexName(hwnd), hwnd);
}

std::vector<PublishedWindow> foreignWindows() {
    std::vector<PublishedWindow> found;
    std::error_code ec;
    std::vector<fs::path> files;
    for (auto& item : fs::directory_iterator(windowsFolder(), ec))
        if (item.path().extension() == ".win") files.push_back(item.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const auto value = static_cast<uintptr_t>(std::strtoull(file.stem().string().c_str(), nullptr, 16));
        HWND hwnd = reinterpret_cast<HWND>(value);
        if (!foreignHandle(hwnd)) continue;
        if (auto entry = readEntry(file, hwnd)) found.push_back(std::move(*entry));
    }
    return found;
}

DWORD postToProcess(DWORD pid, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Request request) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return ERROR_NOT_ENOUGH_QUOTA;
    sockaddr_un address{};
    const socklen_t length = inboxAddress(pid, address);
    Packet packet{kMagic, static_cast<uint32_t>(currentPid()), reinterpret_cast<uintptr_t>(hwnd), msg,
                  static_cast<uint32_t>(request),
                  static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam)};
    const ssize_t sent =
        ::sendto(fd, &packet, sizeof packet, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&address), length);
    const int error = errno;
    ::close(fd);
    if (sent == static_cast<ssize_t>(sizeof packet)) return ERROR_SUCCESS;
    return (error == EAGAIN || error == ENOBUFS) ? ERROR_NOT_ENOUGH_QUOTA : ERROR_INVALID_WINDOW_HANDLE;
}

}  // namespace platform::user

using namespace platform::user;

namespace {

struct Candidate {
    HWND hwnd;
    std::u16string className;
    std::u16string title;
};

// This process's top-level windows (top of the order first), then those of the machine's other live
// processes.
std::vector<Candidate> allTopLevels() {
    std::vector<Candidate> all;
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        for (HWND hwnd : s.topLevels) {
            auto w = findWindow(hwnd);
            if (w && !w->messageOnly) all.push_back({hwnd, w->cls->name, w->text});
        }
    }
    for (auto& entry : foreignWindows()) all.push_back({entry.hwnd, entry.className, entry.title});
    return all;
}

}  // namespace

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    std::optional<std::u16string> wantedClass;
    if (className && reinterpret_cast<uintptr_t>(className) < 0x10000) {
        // An atom names a class of this process.
        WNDCLASSEXW info{};
        if (!GetClassInfoExW(nullptr, className, &info)) {
            SetLastError(ERROR_SUCCESS);
            return nullptr;
        }
        wantedClass = info.lpszClassName;
    } else if (className && *className) {
        wantedClass = className;
    }
    for (const Candidate& c : allTopLevels()) {
        if (wantedClass && !equalsNoCase(c.className, *wantedClass)) continue;
        if (windowName && c.title != windowName) continue;
        return c.hwnd;
    }
    SetLastError(ERROR_SUCCESS);
    return nullptr;
}

BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM param) {
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (const Candidate& c : allTopLevels())
        if (!proc(c.hwnd, param)) return FALSE;
    return TRUE;
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const fs::path folder = windowsFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    platform::detail::MachineLock lock(folder / "messages.lock", true);
    const std::string wanted = escape(platform::detail::foldCase(name));
    std::istringstream lines(platform::detail::readHostFile(folder / "messages"));
    std::string line;
    UINT last = 0xBFFF;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const UINT id = static_cast<UINT>(std::strtoul(line.substr(0, space).c_str(), nullptr, 16));
        if (line.substr(space + 1) == wanted) return id;
        last = std::max(last, id);
    }
    if (last >= 0xFFFF) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return 0;
    }
    const UINT id = last + 1;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", id);
    std::ofstream out(folder / "messages", std::ios::app | std::ios::binary);
    out << hex << ' ' << wanted << '\n';
    return id;
}
