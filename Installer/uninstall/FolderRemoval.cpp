#include "FolderRemoval.h"

#include <vector>

#include "PathGuard.h"
#include "RegistryRemoval.h"
#include "RemovalLog.h"
#include "win/files.h"
#include "win/registry.h"
#include "win/shell.h"

namespace uninstall {
namespace {

constexpr size_t kEntryNameCapacity = 512;
constexpr size_t kProfileImageBytes = 256;
constexpr char16_t kProfileList[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char16_t kProfileImagePath[] = u"ProfileImagePath";
// The local system, local service and network service accounts.
constexpr std::u16string_view kServiceAccounts[] = {u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"};

std::u16string lowered(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

// Deletes a file, and when that fails once more with its attributes reset.
void deleteFile(const std::u16string& path) {
    if (DeleteFileW(path.c_str())) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return;
    logRemovalFailure(u"DeleteFolderTree", path, GetLastError());
}

// Removes a link or junction itself (a folder link with RemoveDirectoryW, a file link with DeleteFileW).
void deleteLink(const std::u16string& path, DWORD attributes) {
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                                 : DeleteFileW(path.c_str());
    if (!removed) logRemovalFailure(u"DeleteFolderTree", path, GetLastError());
}

// Removes an emptied folder, and when that fails once more with its attributes reset, then as a file.
void removeFolder(const std::u16string& path) {
    if (RemoveDirectoryW(path.c_str())) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (RemoveDirectoryW(path.c_str())) return;
    if (DeleteFileW(path.c_str())) return;
    logRemovalFailure(u"DeleteFolderTree", path, GetLastError());
}

// The profiles root the running user's application-data folder gives ("C:\Users\"), and whether its
// layout is "AppData\Roaming"; false for anything but a folder on a drive.
bool profilesRoot(std::u16string& root, bool& roaming) {
    WCHAR appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData))) return false;
    const std::u16string_view path(appData);
    if (path.size() < 4 || path[1] != u':' || path[2] != u'\\') return false;
    const size_t second = path.find(u'\\', 3);
    if (second == std::u16string_view::npos || second == 3) return false;
    root = std::u16string(path.substr(0, second + 1));
    roaming = fileNamePart(path) == u"Roaming";
    return true;
}

// Whether a folder on the way to the path's last component is a link or junction: the target could lie
// outside the base the path was joined to, so such a path is refused.
bool passesThroughLink(const std::u16string& path) {
    for (size_t slash = path.find(u'\\', 3); slash != std::u16string::npos; slash = path.find(u'\\', slash + 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, slash).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
}

bool isServiceAccount(std::u16string_view sid) {
    for (std::u16string_view account : kServiceAccounts)
        if (sid == account) return true;
    return false;
}

}  // namespace

int DeleteFolderTree(std::u16string_view path) {
    const std::u16string root(path);
    if (!PathFileExistsW(root.c_str())) return 2;
    if (!GuardedPath(u"DeleteFolderTree", root, kFolderTreeCapacity)) return 0;
    if (passesThroughLink(root)) {
        logRemovalFailure(u"DeleteFolderTree", root, ERROR_ACCESS_DENIED, "a link or junction on the way");
        return 0;
    }
    // A link or junction named itself goes as a link; what it leads to is never walked.
    if (const DWORD attributes = GetFileAttributesW(root.c_str()); attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        deleteLink(root, attributes);
        return 0;
    }
    // Walked without recursion, one open search a level: each entry in the order the search gives it,
    // a subfolder (its attributes reset) cleared and removed before the search of its parent goes on.
    struct Level {
        std::u16string path;
        HANDLE search = INVALID_HANDLE_VALUE;
        bool started = false;
    };
    std::vector<Level> levels{{root}};
    while (!levels.empty()) {
        WIN32_FIND_DATAW data{};
        bool found = false;
        if (!levels.back().started) {
            levels.back().started = true;
            levels.back().search = FindFirstFileW((levels.back().path + u"\\*.*").c_str(), &data);
            found = levels.back().search != INVALID_HANDLE_VALUE;
        } else {
            found = FindNextFileW(levels.back().search, &data);
        }
        if (!found) {
            if (levels.back().search != INVALID_HANDLE_VALUE) FindClose(levels.back().search);
            const std::u16string folder = std::move(levels.back().path);
            levels.pop_back();
            removeFolder(folder);
            continue;
        }
        const std::u16string_view name(data.cFileName);
        if (name == u"." || name == u"..") continue;
        const std::u16string path = levels.back().path + u"\\" + std::u16string(name);
        if (name.size() + 1 > kEntryNameCapacity || path.size() + 1 > kFolderTreeCapacity) {
            logRemovalFailure(u"DeleteFolderTree", path, ERROR_FILENAME_EXCED_RANGE, "path too long");
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            deleteLink(path, data.dwFileAttributes);
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            levels.push_back({path});
        } else {
            deleteFile(path);
        }
    }
    return 0;
}

int RemoveEmptyFolders(std::u16string_view path, std::u16string_view base) {
    if (path.empty()) return 3;
    const size_t colon = path.rfind(u':');
    if (colon == std::u16string_view::npos || colon + 1 == path.size()) return 0;
    std::u16string_view stop = base;
    while (!stop.empty() && stop.back() == u'\\') stop.remove_suffix(1);
    // Only folders strictly below the base are ever removed.
    const std::u16string foldedBase = lowered(stop) + u"\\";
    if (stop.empty() || lowered(path).rfind(foldedBase, 0) != 0 || path.size() <= foldedBase.size()) {
        logRemovalFailure(u"RemoveEmptyFolders", path, ERROR_BAD_PATHNAME, "not below its base");
        return 0;
    }
    if (path.size() + 1 > kProfilePathCapacity) {
        logRemovalFailure(u"RemoveEmptyFolders", path, ERROR_FILENAME_EXCED_RANGE, "path too long");
        return 0;
    }
    std::u16string current(path);
    while (!current.empty() && current.back() == u'\\') current.pop_back();
    if (passesThroughLink(current)) {
        logRemovalFailure(u"RemoveEmptyFolders", current, ERROR_ACCESS_DENIED, "a link or junction on the way");
        return 0;
    }
    while (current.size() > stop.size()) {
        if (PathIsDirectoryEmptyW(current.c_str()) &&
            GuardedPath(u"RemoveEmptyFolders", current, kProfilePathCapacity) && !RemoveDirectoryW(current.c_str()))
            logRemovalFailure(u"RemoveEmptyFolders", current, GetLastError());
        const size_t cut = current.rfind(u'\\');
        if (cut == std::u16string::npos) break;
        current.resize(cut);
    }
    return 0;
}

int DeleteUserProfileFolders(const SetupConfig& config) {
    std::u16string product;
    if (!ProductFolderPath(u"", kProfilePathCapacity, product, config) || product.empty()) return 0;
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, kRemovalAccess, &list) != ERROR_SUCCESS) return 3;
    DWORD count = 0;
    RegQueryInfoKeyW(list, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    std::u16string root;
    bool roaming = false;
    if (!profilesRoot(root, roaming)) {
        logRemovalFailure(u"DeleteUserProfileFolders", u"CSIDL_APPDATA", ERROR_BAD_PATHNAME,
                          "the application-data folder is not a folder on a drive");
        count = 0;
    }
    WCHAR name[260];
    for (DWORD index = 0; index < count; ++index) {
        if (RegEnumKeyW(list, index, name, 260) != ERROR_SUCCESS) continue;
        if (isServiceAccount(name)) continue;
        HKEY profile = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::u16string(kProfileList) + u"\\" + name).c_str(), 0,
                          kRemovalAccess, &profile) != ERROR_SUCCESS)
            continue;
        std::u16string image;
        const bool read = ReadRegistryText(profile, kProfileImagePath, kProfileImageBytes, image);
        RegCloseKey(profile);
        if (!read) continue;
        const std::u16string user(fileNamePart(image));
        const std::u16string base = root + user + (roaming ? u"\\AppData\\Roaming" : u"\\Application Data");
        // The user folder name must be one plain name (an empty or damaged image path skips the profile).
        const GuardResult userFolder =
            guardJoin(root, user, kProfilePathCapacity, ProtectedFolders{}, JoinedText::Name);
        if (!userFolder.ok) {
            logRemovalFailure(u"DeleteUserProfileFolders", image, userFolder.error, userFolder.reason);
            continue;
        }
        DeleteProductFolderBelow(base, product, u"DeleteUserProfileFolders", kProfilePathCapacity);
    }
    RegCloseKey(list);
    return 0;
}

void DeleteProductFolderBelow(std::u16string_view base, std::u16string_view productFolder, std::u16string_view operation,
                              size_t capacity) {
    if (productFolder.empty() || base.empty()) return;
    std::u16string path;
    if (!GuardedJoin(operation, base, productFolder, capacity, path)) return;
    DeleteFolderTree(path);
    RemoveEmptyFolders(path, base);
}

}  // namespace uninstall
