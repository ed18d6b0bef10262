// The machine's clipboard: each format's bytes in a file below the machine root, opened by one thread
// of the machine at a time (an exclusive flock held while open), text formats standing in for each
// other, and the global memory blocks the clipboard owns in this process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "../internal.h"
#include "state.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace platform::user {
namespace {

fs::path clipboardFolder() { return platform::machineRoot() / "clipboard"; }
fs::path formatFile(UINT format) { return clipboardFolder() / (std::to_string(format) + ".bin"); }

bool isText(UINT format) { return format == CF_TEXT || format == CF_OEMTEXT || format == CF_UNICODETEXT; }

// Whether the calling thread has the clipboard open (lock held); ERROR_CLIPBOARD_NOT_OPEN if not.
bool openHere() {
    if (state().clipboardTid == currentTid() && state().clipboardTid != 0) return true;
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return false;
}

std::optional<std::string> readFormat(UINT format) {
    std::error_code ec;
    if (!fs::is_regular_file(formatFile(format), ec)) return std::nullopt;
    bool ok = false;
    std::string bytes = platform::detail::readHostFile(formatFile(format), &ok);
    if (!ok) return std::nullopt;
    return bytes;
}

// A format's bytes, or a text format made from the other one (without terminators).
std::optional<std::string> contentOf(UINT format) {
    if (auto bytes = readFormat(format)) return bytes;
    if (format == CF_TEXT || format == CF_OEMTEXT) {
        auto wide = readFormat(CF_UNICODETEXT);
        if (!wide) return std::nullopt;
        const std::u16string text(reinterpret_cast<const char16_t*>(wide->data()), wide->size() / sizeof(char16_t));
        return platform::detail::wideToAnsi(text);
    }
    if (format == CF_UNICODETEXT) {
        auto narrow = readFormat(CF_TEXT);
        if (!narrow) narrow = readFormat(CF_OEMTEXT);
        if (!narrow) return std::nullopt;
        const std::u16string text = platform::detail::ansiToWide(narrow->c_str());
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    }
    return std::nullopt;
}

// Text up to its terminator, other formats whole.
std::string bytesToKeep(UINT format, const unsigned char* data, size_t size) {
    if (format == CF_UNICODETEXT) {
        size_t n = 0;
        while (n + 1 < size && (data[n] || data[n + 1])) n += 2;
        return std::string(reinterpret_cast<const char*>(data), n);
    }
    if (format == CF_TEXT || format == CF_OEMTEXT) {
        size_t n = 0;
        while (n < size && data[n]) ++n;
        return std::string(reinterpret_cast<const char*>(data), n);
    }
    return std::string(reinterpret_cast<const char*>(data), size);
}

void freeBlocks(UserState& s) {
    for (HANDLE mem : s.clipboardGiven) GlobalFree(mem);
    s.clipboardGiven.clear();
    for (auto& [format, mem] : s.clipboardMade) GlobalFree(mem);
    s.clipboardMade.clear();
}

}  // namespace

void forgetClipboard(DWORD tid) {
    UserState& s = state();
    if (s.clipboardTid != tid) return;
    if (s.clipboardLock >= 0) ::close(s.clipboardLock);
    s.clipboardLock = -1;
    s.clipboardTid = 0;
    s.clipboardOwner = nullptr;
}

}  // namespace platform::user

using namespace platform::user;

BOOL WINAPI OpenClipboard(HWND owner) {
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    myQueue(lock);  // a thread that ends with the clipboard open lets go of it
    if (s.clipboardTid == currentTid()) {
        s.clipboardOwner = owner;
        return TRUE;
    }
    if (s.clipboardTid != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::error_code ec;
    fs::create_directories(clipboardFolder(), ec);
    const int fd = ::open((clipboardFolder() / ".open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0) ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    s.clipboardTid = currentTid();
    s.clipboardOwner = owner;
    s.clipboardLock = fd;
    return TRUE;
}

BOOL WINAPI CloseClipboard() {
    std::lock_guard lock(state().mutex);
    if (!openHere()) return FALSE;
    forgetClipboard(currentTid());
    return TRUE;
}

BOOL WINAPI EmptyClipboard() {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    if (!openHere()) return FALSE;
    std::error_code ec;
    for (auto it = fs::directory_iterator(clipboardFolder(), ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->path().extension() == ".bin") fs::remove(it->path(), ec);
    freeBlocks(s);
    return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE data) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    if (!openHere()) return nullptr;
    if (!data || format == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);  // delayed rendering is not modelled
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    const SIZE_T size = GlobalSize(data);
    if (size == 0 && GetLastError() == ERROR_INVALID_HANDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string bytes;
    if (size) {
        const auto* p = static_cast<const unsigned char*>(GlobalLock(data));
        if (!p) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        bytes = bytesToKeep(format, p, size);
        GlobalUnlock(data);
    }
    // Written whole under another name and then renamed, so another process reads the old bytes or the new.
    platform::detail::writeHostFile(formatFile(format), bytes);
    std::error_code ec;
    if (fs::file_size(formatFile(format), ec) != bytes.size() || ec) {
        SetLastError(ERROR_WRITE_FAULT);
        return nullptr;
    }
    if (std::find(s.clipboardGiven.begin(), s.clipboardGiven.end(), data) == s.clipboardGiven.end())
        s.clipboardGiven.push_back(data);
    return data;
}

HANDLE WINAPI GetClipboardData(UINT format) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    if (!openHere()) return nullptr;
    auto content = contentOf(format);
    if (!content) {
        SetLastError(ERROR_SUCCESS);
        return nullptr;
    }
    const size_t terminator = format == CF_UNICODETEXT ? 2 : isText(format) ? 1 : 0;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, content->size() + terminator);
    if (!mem) return nullptr;
    if (void* p = GlobalLock(mem)) {
        std::memcpy(p, content->data(), content->size());
        GlobalUnlock(mem);
    }
    if (auto it = s.clipboardMade.find(format); it != s.clipboardMade.end()) GlobalFree(it->second);
    s.clipboardMade[format] = mem;
    return mem;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
    if (format == 0) return FALSE;
    std::error_code ec;
    if (fs::is_regular_file(formatFile(format), ec)) return TRUE;
    if (format == CF_UNICODETEXT)
        return fs::is_regular_file(formatFile(CF_TEXT), ec) || fs::is_regular_file(formatFile(CF_OEMTEXT), ec);
    if (format == CF_TEXT || format == CF_OEMTEXT) return fs::is_regular_file(formatFile(CF_UNICODETEXT), ec);
    return FALSE;
}
