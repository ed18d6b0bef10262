// Item lists of file-system paths and the folder browser that the machine answers.
#include <cstring>
#include <string>

#include "../internal.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "item_lists.h"

namespace fs = std::filesystem;

namespace platform::detail {

// The one item of a list: a marker, then the absolute Windows path with its terminator.
constexpr char kItemMarker[4] = {'M', 'F', 'P', 'I'};

PIDLIST_ABSOLUTE makeItemList(const std::u16string& path) {
    const size_t itemBytes = sizeof(USHORT) + sizeof kItemMarker + (path.size() + 1) * sizeof(WCHAR);
    if (itemBytes > 0xFFFF) return nullptr;
    auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(itemBytes + sizeof(USHORT)));
    if (!bytes) return nullptr;
    const USHORT cb = static_cast<USHORT>(itemBytes);
    std::memcpy(bytes, &cb, sizeof cb);
    std::memcpy(bytes + sizeof cb, kItemMarker, sizeof kItemMarker);
    std::memcpy(bytes + sizeof cb + sizeof kItemMarker, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    std::memset(bytes + itemBytes, 0, sizeof(USHORT));
    return reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
}

std::optional<std::u16string> itemListPath(PCIDLIST_ABSOLUTE list) {
    if (!list) return std::nullopt;
    const auto* bytes = reinterpret_cast<const BYTE*>(list);
    USHORT cb = 0;
    std::memcpy(&cb, bytes, sizeof cb);
    const size_t header = sizeof cb + sizeof kItemMarker;
    if (cb < header + sizeof(WCHAR) || (cb - header) % sizeof(WCHAR) != 0) return std::nullopt;
    if (std::memcmp(bytes + sizeof cb, kItemMarker, sizeof kItemMarker) != 0) return std::nullopt;
    std::u16string path((cb - header) / sizeof(WCHAR), u'\0');
    std::memcpy(path.data(), bytes + header, cb - header);
    if (path.back() != u'\0') return std::nullopt;
    path.pop_back();
    return path;
}

}  // namespace platform::detail

namespace {

using platform::detail::itemListPath;
using platform::detail::makeItemList;

bool isFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- The browser's window --------------------------------------------------------------------------

const char16_t kBrowserClass[] = u"PlatformFolderBrowser";

struct Browse {
    std::u16string selected;
};

LRESULT CALLBACK browserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* browse = reinterpret_cast<Browse*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case BFFM_SETSELECTIONW:
        if (browse && lParam) {
            if (wParam) {
                browse->selected = platform::detail::absolutePath(reinterpret_cast<LPCWSTR>(lParam));
            } else if (auto path = itemListPath(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam))) {
                browse->selected = *path;
            }
        }
        return 0;
    case BFFM_ENABLEOK:
    case BFFM_SETSTATUSTEXTW: return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

bool registerBrowserClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = browserProc;
    wc.lpszClassName = kBrowserClass;
    const DWORD error = GetLastError();
    if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        SetLastError(error);
        return true;
    }
    return false;
}

// ---- The answers and the journal -------------------------------------------------------------------

const fs::path kAnswers = fs::path("shell") / "browse-answers";
const fs::path kBrowses = fs::path("shell") / "browses";

// Takes the first queued answer: a folder, or nothing for "cancel" (and when none is queued).
std::optional<std::u16string> takeAnswer() {
    const fs::path file = platform::machineRoot() / kAnswers;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::path lockFile = file;
    lockFile += ".lock";
    platform::detail::MachineLock lock(lockFile, true);
    std::string text = platform::detail::readHostFile(file);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string line = text.substr(0, end);
        text = end == std::string::npos ? std::string() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "cancel") {
            platform::detail::writeHostFile(file, text);
            return std::nullopt;
        }
        if (line.rfind("choose ", 0) == 0) {
            platform::detail::writeHostFile(file, text);
            return platform::fromUtf8(line.substr(7));
        }
        // Anything else is no answer: passed over.
    }
    platform::detail::writeHostFile(file, text);
    return std::nullopt;
}

std::u16string numbers(const std::vector<UINT>& values) {
    std::string text;
    for (UINT v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
    return platform::fromUtf8(text);
}

}  // namespace

HRESULT WINAPI SHParseDisplayName(LPCWSTR name, IBindCtx*, PIDLIST_ABSOLUTE* list, SFGAOF, SFGAOF* attributesOut) {
    if (attributesOut) *attributesOut = 0;
    if (!list) return E_INVALIDARG;
    *list = nullptr;
    if (!name || !*name) return E_INVALIDARG;
    const std::u16string path = platform::detail::absolutePath(name);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *list = makeItemList(path);
    return *list ? S_OK : E_OUTOFMEMORY;
}

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path) {
    if (!path) return FALSE;
    path[0] = 0;
    auto found = itemListPath(list);
    return found && platform::detail::copyOut(*found, path, MAX_PATH) ? TRUE : FALSE;
}

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info) {
    if (!info) return nullptr;
    platform::FolderBrowse record;
    record.processId = GetCurrentProcessId();
    record.flags = info->ulFlags;
    Browse browse;
    HWND window = nullptr;
    if (registerBrowserClass())
        window = CreateWindowExW(0, kBrowserClass, u"Browse For Folder", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 320, 400,
                                 info->hwndOwner, nullptr, nullptr, nullptr);
    if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&browse));
    auto call = [&](UINT message, LPARAM lParam) {
        record.callbackMessages.push_back(message);
        if (info->lpfn && window) info->lpfn(window, message, lParam, info->lParam);
    };
    // The browser comes up, then shows its selection.
    call(BFFM_INITIALIZED, 0);
    if (!browse.selected.empty()) {
        PIDLIST_ABSOLUTE shown = makeItemList(browse.selected);
        call(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(shown));
        CoTaskMemFree(shown);
    }
    record.selected = browse.selected;
    // The person's answer: a folder (that exists) or cancel.
    PIDLIST_ABSOLUTE result = nullptr;
    std::optional<std::u16string> answer = takeAnswer();
    if (answer) {
        const std::u16string folder = platform::detail::absolutePath(*answer);
        if (isFolder(folder) && (result = makeItemList(folder))) {
            if (folder != browse.selected) call(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(result));
            record.chosen = folder;
            if (info->pszDisplayName) {
                const size_t slash = folder.find_last_of(u'\\');
                platform::detail::copyOut(slash == std::u16string::npos ? folder : folder.substr(slash + 1),
                                          info->pszDisplayName, MAX_PATH);
            }
        }
    }
    if (window) DestroyWindow(window);
    std::u16string chosen = record.chosen ? u"choose " + *record.chosen : u"cancel";
    platform::detail::appendJournal(kBrowses, {platform::fromUtf8(std::to_string(record.processId)),
                                               platform::fromUtf8(std::to_string(record.flags)), record.selected,
                                               numbers(record.callbackMessages), chosen});
    return result;
}

namespace platform {

void queueFolderBrowserAnswer(std::optional<std::u16string> folder) {
    const fs::path file = machineRoot() / kAnswers;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::path lockFile = file;
    lockFile += ".lock";
    detail::MachineLock lock(lockFile, true);
    std::string text = detail::readHostFile(file);
    text += folder ? "choose " + toUtf8(*folder) + "\n" : std::string("cancel\n");
    detail::writeHostFile(file, text);
}

std::vector<FolderBrowse> folderBrowses() {
    std::vector<FolderBrowse> out;
    for (const auto& fields : detail::readJournal(kBrowses, 5)) {
        FolderBrowse b;
        b.processId = static_cast<DWORD>(std::strtoul(toUtf8(fields[0]).c_str(), nullptr, 10));
        b.flags = static_cast<UINT>(std::strtoul(toUtf8(fields[1]).c_str(), nullptr, 10));
        b.selected = fields[2];
        std::string messages = toUtf8(fields[3]);
        for (size_t at = 0; at < messages.size();) {
            size_t end = messages.find(' ', at);
            if (end == std::string::npos) end = messages.size();
            b.callbackMessages.push_back(static_cast<UINT>(std::strtoul(messages.substr(at, end - at).c_str(), nullptr, 10)));
            at = end + 1;
        }
        if (fields[4].rfind(u"choose ", 0) == 0) b.chosen = fields[4].substr(7);
        out.push_back(std::move(b));
    }
    return out;
}

void clearFolderBrowses() {
    detail::clearJournal(kBrowses);
    detail::clearJournal(kAnswers);
}

}  // namespace platform
