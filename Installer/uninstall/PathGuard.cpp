// The path guard: plain components only, strictly below the base, never a system folder.
#include "PathGuard.h"

#include "RemovalLog.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace uninstall {
namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

char16_t folded(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i])) return false;
    return true;
}

std::vector<std::u16string_view> components(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        if (i > start) parts.push_back(path.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

bool isDrive(std::u16string_view part) {
    return part.size() == 2 && part[1] == u':' &&
           ((part[0] >= u'A' && part[0] <= u'Z') || (part[0] >= u'a' && part[0] <= u'z'));
}

GuardResult refused(DWORD error, std::string reason) { return {false, {}, error, std::move(reason)}; }

// Why a component below the drive is not a plain name, or nothing.
const char* badComponent(std::u16string_view part) {
    bool onlyDotsAndBlanks = true;
    for (char16_t c : part) {
        if (c < 0x20) return "a control character";
        if (c == u':') return "a colon";
        if (c == u'*' || c == u'?') return "a wildcard";
        if (c != u'.' && c != u' ') onlyDotsAndBlanks = false;
    }
    if (onlyDotsAndBlanks) return "a component of only dots and blanks";
    if (part.back() == u'.' || part.back() == u' ') return "a component ending in a dot or blank";
    return nullptr;
}

// Device, "\\?\" and UNC forms all start with two separators.
bool hasPrefixForm(std::u16string_view path) { return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]); }

// Whether deleting `target` would delete a protected folder: it is one, or holds one.
bool holdsProtected(const std::vector<std::u16string_view>& target, const ProtectedFolders& folders) {
    if (target.size() <= 1) return true;  // a drive root
    for (const std::u16string& pattern : folders.patterns) {
        const std::vector<std::u16string_view> parts = components(pattern);
        if (parts.size() < target.size()) continue;
        bool prefix = true;
        for (size_t i = 0; i < target.size() && prefix; ++i)
            prefix = parts[i] == u"*" || sameName(parts[i], target[i]);
        if (prefix) return true;
    }
    return false;
}

// The checks of a whole absolute path, which must have more components than its base.
GuardResult checkWhole(std::u16string_view path, size_t baseComponents, size_t capacity,
                       const ProtectedFolders& folders) {
    if (hasPrefixForm(path)) return refused(ERROR_BAD_PATHNAME, "a device, long or network path");
    const std::vector<std::u16string_view> parts = components(path);
    if (parts.empty() || !isDrive(parts[0]) || (path.size() > 2 && !isSeparator(path[2])))
        return refused(ERROR_BAD_PATHNAME, "not an absolute path");
    for (size_t i = 1; i < parts.size(); ++i)
        if (const char* why = badComponent(parts[i])) return refused(ERROR_INVALID_NAME, why);
    if (parts.size() <= baseComponents) return refused(ERROR_INVALID_NAME, "not below the base folder");
    std::u16string joined(parts[0]);
    for (size_t i = 1; i < parts.size(); ++i) joined += u"\\" + std::u16string(parts[i]);
    if (parts.size() == 1) joined += u'\\';
    if (joined.size() + 1 > capacity) return refused(ERROR_FILENAME_EXCED_RANGE, "longer than its buffer");
    if (holdsProtected(parts, folders)) return refused(ERROR_ACCESS_DENIED, "a system folder or one holding it");
    return {true, std::move(joined), ERROR_SUCCESS, {}};
}

std::u16string systemFolder(UINT (*query)(LPWSTR, UINT)) {
    WCHAR buffer[MAX_PATH] = {};
    const UINT length = query(buffer, MAX_PATH);
    return length && length < MAX_PATH ? std::u16string(buffer, length) : std::u16string();
}

std::u16string shellFolder(int csidl) {
    WCHAR buffer[MAX_PATH] = {};
    return SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer) == S_OK ? std::u16string(buffer) : std::u16string();
}

std::u16string parentOf(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

}  // namespace

ProtectedFolders ProtectedFolders::fromSystem() {
    ProtectedFolders folders;
    auto add = [&folders](std::u16string path) {
        if (!path.empty()) folders.patterns.push_back(std::move(path));
    };
    const std::u16string windows = systemFolder(GetWindowsDirectoryW);
    const std::u16string system = systemFolder(GetSystemDirectoryW);
    add(windows);
    add(system);
    if (!windows.empty()) {
        for (const char16_t* below : {u"\\SysWOW64", u"\\inf", u"\\twain_32", u"\\Temp"}) add(windows + below);
    }
    if (!system.empty()) {
        for (const char16_t* below : {u"\\spool", u"\\spool\\drivers", u"\\spool\\drivers\\x64\\3",
                                      u"\\spool\\drivers\\W32X86\\3"})
            add(system + below);
    }
    add(shellFolder(CSIDL_PROGRAM_FILES));
    add(shellFolder(CSIDL_PROGRAM_FILESX86));
    const std::u16string programData = shellFolder(CSIDL_COMMON_APPDATA);
    add(programData);
    if (!programData.empty()) add(programData + u"\\Microsoft\\Windows\\Start Menu\\Programs");
    // Every profile below the profiles root, whoever it belongs to.
    const std::u16string profiles = parentOf(shellFolder(CSIDL_PROFILE));
    if (!profiles.empty()) {
        add(profiles);
        for (const char16_t* below :
             {u"\\*\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", u"\\*\\AppData\\Local\\Temp",
              u"\\*\\Application Data", u"\\*\\Desktop",
              u"\\*\\Start Menu\\Programs"})  // the older profile layout
            add(profiles + below);
    }
    return folders;
}

GuardResult guardJoin(std::u16string_view base, std::u16string_view text, size_t capacity,
                      const ProtectedFolders& protectedFolders, JoinedText kind) {
    if (base.empty()) return refused(ERROR_BAD_PATHNAME, "an empty base folder");
    if (text.empty()) return refused(ERROR_INVALID_NAME, "empty text");
    const std::vector<std::u16string_view> baseParts = components(base);
    if (hasPrefixForm(base)) return refused(ERROR_BAD_PATHNAME, "a device, long or network path");
    if (baseParts.empty() || !isDrive(baseParts[0]) || (base.size() > 2 && !isSeparator(base[2])))
        return refused(ERROR_BAD_PATHNAME, "a base folder that is not absolute");
    const std::vector<std::u16string_view> textParts = components(text);
    if (textParts.empty()) return refused(ERROR_INVALID_NAME, "not below the base folder");
    if (kind == JoinedText::Name && textParts.size() != 1)
        return refused(ERROR_INVALID_NAME, "a file name of more than one component");
    std::u16string joined(base);
    joined += u'\\';
    joined += text;
    return checkWhole(joined, baseParts.size(), capacity, protectedFolders);
}

GuardResult guardPath(std::u16string_view path, size_t capacity, const ProtectedFolders& protectedFolders) {
    if (path.empty()) return refused(ERROR_BAD_PATHNAME, "an empty path");
    return checkWhole(path, 0, capacity, protectedFolders);
}

bool GuardedJoin(std::u16string_view operation, std::u16string_view base, std::u16string_view text,
                 size_t capacity, std::u16string& path, JoinedText kind) {
    GuardResult result = guardJoin(base, text, capacity, ProtectedFolders::fromSystem(), kind);
    if (!result.ok) {
        logRemovalFailure(operation, std::u16string(base) + u"|" + std::u16string(text), result.error, result.reason);
        return false;
    }
    path = std::move(result.path);
    return true;
}

bool GuardedPath(std::u16string_view operation, std::u16string_view path, size_t capacity) {
    const GuardResult result = guardPath(path, capacity, ProtectedFolders::fromSystem());
    if (!result.ok) logRemovalFailure(operation, path, result.error, result.reason);
    return result.ok;
}

std::u16string_view fileNamePart(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace uninstall
