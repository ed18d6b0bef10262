// Finding files by pattern, and the machine's store of the attributes the host's files cannot carry
// (hidden, system, and read-only on folders).
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "internal.h"
#include "win/files.h"

namespace fs = std::filesystem;

namespace {

// Attributes kept in the store; a file's read-only state is its host permissions.
constexpr DWORD kStoredOnFiles = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kStoredOnFolders = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

fs::path storeFile() { return platform::machineRoot() / "attributes"; }
fs::path storeLock() { return platform::machineRoot() / "attributes.lock"; }

// The store's key of a host path: its place below the machine root.
std::string keyOf(const fs::path& host) { return host.lexically_relative(platform::machineRoot()).generic_string(); }

std::map<std::string, DWORD> readStore() {
    std::map<std::string, DWORD> store;
    std::istringstream lines(platform::detail::readHostFile(storeFile()));
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.rfind('\t');
        if (tab == std::string::npos) continue;
        store[line.substr(0, tab)] = static_cast<DWORD>(std::strtoul(line.c_str() + tab + 1, nullptr, 16));
    }
    return store;
}

void writeStore(const std::map<std::string, DWORD>& store) {
    std::string text;
    char number[16];
    for (const auto& [key, attributes] : store) {
        std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(attributes));
        text += key + "\t" + number + "\n";
    }
    platform::detail::writeHostFile(storeFile(), text);
}

// "*" and "?" without regard to case; "*.*" is every name, as Windows reads it.
bool matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*") pattern = u"*";
    size_t p = 0, n = 0, star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || platform::detail::foldCase(pattern[p]) ==
                                                             platform::detail::foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

FILETIME fileTimeOf(fs::file_time_type time) {
    // 100-ns intervals since 1601, from the host's clock of files.
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::file_clock::to_sys(time).time_since_epoch());
    const uint64_t ticks = static_cast<uint64_t>(since1970.count() / 100) + 116444736000000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct Found {
    std::u16string name;
    fs::path host;
};

struct FindObject : platform::detail::KernelObject {
    std::vector<Found> entries;
    size_t next = 0;
    bool closedByCloseHandle() const override { return false; }  // FindClose closes it
};

void describe(const Found& found, WIN32_FIND_DATAW& data) {
    data = {};
    std::error_code ec;
    data.dwFileAttributes = platform::detail::attributesOf(found.host);
    if (!fs::is_directory(found.host, ec)) {
        const uintmax_t size = fs::file_size(found.host, ec);
        if (!ec) {
            data.nFileSizeLow = static_cast<DWORD>(size);
            data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
        }
    }
    const fs::file_time_type written = fs::last_write_time(found.host, ec);
    if (!ec) data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = fileTimeOf(written);
    const size_t n = std::min<size_t>(found.name.size(), MAX_PATH - 1);
    std::copy_n(found.name.data(), n, data.cFileName);
}

}  // namespace

namespace platform::detail {

DWORD attributesOf(const fs::path& host) {
    std::error_code ec;
    // A link or junction answers for itself, never for its target: a folder link as a folder.
    if (fs::is_symlink(fs::symlink_status(host, ec)))
        return FILE_ATTRIBUTE_REPARSE_POINT |
               (fs::is_directory(host, ec) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    const fs::file_status status = fs::status(host, ec);
    if (!fs::exists(status)) return INVALID_FILE_ATTRIBUTES;
    DWORD stored = 0;
    {
        MachineLock lock(storeLock(), false);
        const std::map<std::string, DWORD> store = readStore();
        if (auto it = store.find(keyOf(host)); it != store.end()) stored = it->second;
    }
    if (fs::is_directory(status)) return FILE_ATTRIBUTE_DIRECTORY | (stored & kStoredOnFolders);
    const bool writable = (status.permissions() & fs::perms::owner_write) != fs::perms::none;
    return FILE_ATTRIBUTE_ARCHIVE | (writable ? 0 : FILE_ATTRIBUTE_READONLY) | (stored & kStoredOnFiles);
}

void forgetAttributes(const fs::path& host) {
    MachineLock lock(storeLock(), true);
    std::map<std::string, DWORD> store = readStore();
    if (store.erase(keyOf(host))) writeStore(store);
}

}  // namespace platform::detail

namespace {

BOOL setFileAttributes(LPCWSTR name, DWORD attributes) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("SetFileAttributesW", platform::toUtf8(name))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const platform::detail::Resolved resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(resolved.host, ec);
    if (!fs::exists(status)) {
        SetLastError(fs::is_directory(resolved.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const bool folder = fs::is_directory(status);
    if (!folder) {
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        fs::permissions(resolved.host, fs::perms::owner_write | fs::perms::group_write,
                        readOnly ? fs::perm_options::remove : fs::perm_options::add, ec);
        if (ec) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    const DWORD stored = attributes & (folder ? kStoredOnFolders : kStoredOnFiles);
    platform::detail::MachineLock lock(storeLock(), true);
    std::map<std::string, DWORD> store = readStore();
    const std::string key = keyOf(resolved.host);
    if (stored) store[key] = stored;
    else store.erase(key);
    writeStore(store);
    return TRUE;
}

}  // namespace

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes) {
    const BOOL result = setFileAttributes(name, attributes);
    if (platform::detail::fileCallJournalOn()) {
        char number[16];
        std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(attributes));
        const std::u16string arguments = std::u16string(name ? name : u"") + u", " + platform::detail::journalText(number);
        platform::detail::journalFileCall("SetFileAttributesW", arguments, result);
    }
    return result;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (auto fault = platform::detail::takeFault("FindFirstFileW", platform::toUtf8(pattern))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string full = platform::detail::absolutePath(pattern);
    const size_t slash = full.find_last_of(u"\\/");
    const std::u16string folder = full.substr(0, slash + 1), name = full.substr(slash + 1);
    if (name.empty() || folder.find_first_of(u"*?") != std::u16string::npos) {
        SetLastError(name.empty() ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const platform::detail::Resolved resolved = platform::detail::resolvePath(folder);
    std::error_code ec;
    if (resolved.error != ERROR_SUCCESS || !fs::is_directory(resolved.host, ec)) {
        SetLastError(resolved.error != ERROR_SUCCESS ? resolved.error : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FindObject>();
    // A drive's root has no "." and "..".
    const bool root = folder.size() <= 3;
    if (!root) {
        if (matches(name, u".")) object->entries.push_back({u".", resolved.host});
        if (matches(name, u"..")) object->entries.push_back({u"..", resolved.host.parent_path()});
    }
    std::vector<Found> names;
    for (const auto& entry : fs::directory_iterator(resolved.host, ec)) {
        const std::u16string entryName = platform::fromUtf8(entry.path().filename().string());
        if (matches(name, entryName)) names.push_back({entryName, entry.path()});
    }
    std::sort(names.begin(), names.end(), [](const Found& a, const Found& b) {
        return platform::detail::foldCase(a.name) < platform::detail::foldCase(b.name);
    });
    object->entries.insert(object->entries.end(), names.begin(), names.end());
    if (object->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    describe(object->entries[0], *data);
    object->next = 1;
    return platform::detail::insertHandle(object);
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
    auto object = platform::detail::handleAs<FindObject>(find);
    if (!object || !data) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->next >= object->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    describe(object->entries[object->next++], *data);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE find) {
    if (!platform::detail::handleAs<FindObject>(find) || !platform::detail::removeHandle(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
