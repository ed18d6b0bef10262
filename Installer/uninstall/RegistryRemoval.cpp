#include "RegistryRemoval.h"

#include <vector>

#include "RemovalLog.h"

namespace uninstall {
namespace {

// Key names are at most 255 characters; the buffers leave the room the removal always gave them.
constexpr DWORD kKeyNameCapacity = 260;
constexpr DWORD kImagingNameCapacity = 255;
// "DriverDesc" as the printer-class and the imaging walks read it.
constexpr size_t kPrinterDescBytes = 256;
constexpr size_t kImagingDescBytes = 512;
// Device keys are a few levels deep; a deeper tree is left as it is rather than walked without end.
constexpr int kMaxKeyDepth = 32;

constexpr char16_t kWow6432Key[] = u"SOFTWARE\\Wow6432Node";
constexpr char16_t kDirList[] = u"/SERTUP_INFO/CreateFolder/Folder/Dir";
constexpr char16_t kScannerElement[] = u"/SERTUP_INFO/SCANNERMENT/Element";

// A path below a root key whose every component is one plain key name.
bool isKeyPath(std::u16string_view path) {
    if (path.empty()) return false;
    size_t start = 0;
    while (true) {
        const size_t end = path.find(u'\\', start);
        if (!isSingleKeyName(path.substr(start, end == std::u16string_view::npos ? path.npos : end - start)))
            return false;
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

LSTATUS openKey(HKEY root, const std::u16string& path, REGSAM access, HKEY& key) {
    key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, access, &key);
}

DWORD subkeyCount(HKEY key) {
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return count;
}

std::u16string hklmPath(std::u16string_view path) { return u"HKEY_LOCAL_MACHINE\\" + std::u16string(path); }

bool deleteTree(HKEY root, std::u16string& path, int depth) {
    if (RegDeleteKeyW(root, path.c_str()) == ERROR_SUCCESS) return true;
    HKEY key = nullptr;
    const LSTATUS opened = openKey(root, path, KEY_READ, key);
    if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND;
    const size_t length = path.size();
    if (depth < kMaxKeyDepth) {
        if (path.back() != u'\\') path += u'\\';
        const size_t stem = path.size();
        WCHAR name[kKeyNameCapacity];
        while (RegEnumKeyW(key, 0, name, kKeyNameCapacity) == ERROR_SUCCESS) {
            path.resize(stem);
            path += name;
            if (!deleteTree(root, path, depth + 1)) break;
        }
        path.resize(length);
    }
    RegCloseKey(key);
    const LSTATUS deleted = RegDeleteKeyW(root, path.c_str());
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) return true;
    logRemovalFailure(u"DeleteRegistryTree", path, static_cast<DWORD>(deleted));
    return false;
}

void deleteSubkeys(const std::u16string& path, int depth) {
    HKEY key = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, path, kRemovalAccess, key) != ERROR_SUCCESS) return;
    WCHAR name[kKeyNameCapacity];
    DWORD index = 0;
    while (RegEnumKeyW(key, index, name, kKeyNameCapacity) == ERROR_SUCCESS) {
        const std::u16string child = path + u"\\" + name;
        HKEY sub = nullptr;
        if (openKey(HKEY_LOCAL_MACHINE, child, kRemovalAccess, sub) != ERROR_SUCCESS) {
            ++index;
            continue;
        }
        DWORD below = subkeyCount(sub);
        if (below != 0 && depth < kMaxKeyDepth) {
            deleteSubkeys(child, depth + 1);
            below = subkeyCount(sub);
        }
        RegCloseKey(sub);
        if (below == 0) {
            const LSTATUS deleted = RegDeleteKeyW(key, name);
            if (deleted == ERROR_SUCCESS) {
                index = 0;
                continue;
            }
            logRemovalFailure(u"DeleteRegistrySubkeys", hklmPath(child), static_cast<DWORD>(deleted));
        }
        // A subkey that stays is stepped past: the enumeration would find it again at the same place.
        ++index;
    }
    RegCloseKey(key);
}

// A Dir text as a key name: it carries its own leading backslash, which a relative name must not.
std::u16string_view keyNameOfDir(std::u16string_view dir) {
    if (!dir.empty() && dir.front() == u'\\') dir.remove_prefix(1);
    return dir;
}

}  // namespace

bool ReadRegistryText(HKEY key, std::u16string_view name, size_t capacityBytes, std::u16string& text) {
    text.clear();
    const size_t capacity = capacityBytes / sizeof(WCHAR);
    if (capacity == 0) return false;
    std::vector<WCHAR> buffer(capacity, 0);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(capacity * sizeof(WCHAR));
    const std::u16string valueName(name);
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    const size_t stored = size / sizeof(WCHAR);
    size_t length = 0;
    while (length < stored && buffer[length] != 0) ++length;
    // Without a terminator of its own the text needs one more character of room.
    if (length == stored && length + 1 > capacity) return false;
    text.assign(buffer.data(), length);
    return true;
}

bool isSingleKeyName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'\\' || c < 0x20) return false;
    return true;
}

bool DeleteRegistryTree(HKEY root, std::u16string_view path) {
    if (!isKeyPath(path)) {
        logRemovalFailure(u"DeleteRegistryTree", path, ERROR_BAD_PATHNAME, "not a key path");
        return false;
    }
    std::u16string walked(path);
    return deleteTree(root, walked, 0);
}

void DeleteRegistrySubkeys(std::u16string_view path) {
    if (!isKeyPath(path)) {
        logRemovalFailure(u"DeleteRegistrySubkeys", path, ERROR_BAD_PATHNAME, "not a key path");
        return;
    }
    deleteSubkeys(std::u16string(path), 0);
}

int DeletePrinterClassKeys(const SetupConfig& config) {
    const ConfigList models = ReadModelList(config);
    HKEY classKey = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, kPrinterClassKey, kRemovalAccess, classKey) != ERROR_SUCCESS) return 3;
    const DWORD count = subkeyCount(classKey);
    // Every matching key is remembered, however many the class holds.
    std::vector<std::u16string> matching;
    WCHAR name[kKeyNameCapacity];
    for (DWORD index = 0; index < count; ++index) {
        if (RegEnumKeyW(classKey, index, name, kKeyNameCapacity) != ERROR_SUCCESS) continue;
        HKEY device = nullptr;
        if (openKey(HKEY_LOCAL_MACHINE, std::u16string(kPrinterClassKey) + u"\\" + name, kRemovalAccess, device) !=
            ERROR_SUCCESS)
            continue;
        // Read afresh for every key: a key without the value matches nothing.
        std::u16string description;
        ReadRegistryText(device, kDriverDescValue, kPrinterDescBytes, description);
        RegCloseKey(device);
        if (description.empty()) continue;
        for (const ConfigEntry& model : models) {
            if (model.text == description) {
                matching.emplace_back(name);
                break;
            }
        }
    }
    RegCloseKey(classKey);
    if (openKey(HKEY_LOCAL_MACHINE, kPrinterClassKey, kRemovalAccess, classKey) != ERROR_SUCCESS) return 0;
    for (const std::u16string& device : matching) {
        const LSTATUS deleted = RegDeleteKeyW(classKey, device.c_str());
        if (deleted != ERROR_SUCCESS)
            logRemovalFailure(u"DeletePrinterClassKeys", hklmPath(std::u16string(kPrinterClassKey) + u"\\" + device),
                              static_cast<DWORD>(deleted));
    }
    RegCloseKey(classKey);
    return 0;
}

void DeleteImagingClassKeys(std::u16string_view path, std::u16string_view model, const SetupConfig& config) {
    std::u16string expected;
    if (!config.ReadConfigTextByAttr(kScannerElement, model, expected) || expected.empty()) return;
    if (!isKeyPath(path)) {
        logRemovalFailure(u"DeleteImagingClassKeys", path, ERROR_BAD_PATHNAME, "not a key path");
        return;
    }
    const std::u16string classPath(path);
    HKEY classKey = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, classPath, KEY_ALL_ACCESS, classKey) != ERROR_SUCCESS) return;
    // The names are read before any key goes, so a deletion moves none of them out of the walk.
    const DWORD count = subkeyCount(classKey);
    std::vector<std::u16string> names;
    WCHAR name[kImagingNameCapacity];
    for (DWORD index = 0; index < count; ++index)
        if (RegEnumKeyW(classKey, index, name, kImagingNameCapacity) == ERROR_SUCCESS) names.emplace_back(name);
    RegCloseKey(classKey);
    for (const std::u16string& device : names) DeleteImagingKeyIfModel(classPath + u"\\" + device, expected);
}

void DeleteImagingKeyIfModel(std::u16string_view key, std::u16string_view expected) {
    if (!isKeyPath(key) || expected.empty()) return;
    HKEY device = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, std::u16string(key), KEY_ALL_ACCESS, device) != ERROR_SUCCESS) return;
    std::u16string description;
    ReadRegistryText(device, kDriverDescValue, kImagingDescBytes, description);
    RegCloseKey(device);
    if (description == expected) DeleteRegistryTree(HKEY_LOCAL_MACHINE, key);
}

int DeleteWow6432ProductKeys(const SetupConfig& config) {
    ConfigList dirs;
    config.ReadConfigList(kDirList, u"", dirs);
    if (dirs.size() < 2) return 0;
    const std::u16string_view first = keyNameOfDir(dirs[0].text);
    const std::u16string_view second = keyNameOfDir(dirs[1].text);
    if (!isSingleKeyName(first)) {
        if (!first.empty())
            logRemovalFailure(u"DeleteWow6432ProductKeys", dirs[0].text, ERROR_INVALID_NAME, "not one key name");
        return 3;
    }
    const std::u16string productPath = std::u16string(kWow6432Key) + u"\\" + std::u16string(first);
    HKEY product = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, productPath, kRemovalAccess, product) != ERROR_SUCCESS) return 3;
    if (isSingleKeyName(second)) {
        const std::u16string name(second);
        const LSTATUS deleted = RegDeleteKeyW(product, name.c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            logRemovalFailure(u"DeleteWow6432ProductKeys", hklmPath(productPath + u"\\" + name),
                              static_cast<DWORD>(deleted));
    } else if (!second.empty()) {
        logRemovalFailure(u"DeleteWow6432ProductKeys", dirs[1].text, ERROR_INVALID_NAME, "not one key name");
    }
    RegCloseKey(product);
    if (openKey(HKEY_LOCAL_MACHINE, productPath, kRemovalAccess, product) == ERROR_SUCCESS) {
        RegCloseKey(product);
        return 0;
    }
    HKEY wow = nullptr;
    if (openKey(HKEY_LOCAL_MACHINE, kWow6432Key, kRemovalAccess, wow) == ERROR_SUCCESS) {
        const std::u16string name(first);
        const LSTATUS deleted = RegDeleteKeyW(wow, name.c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            logRemovalFailure(u"DeleteWow6432ProductKeys", hklmPath(productPath), static_cast<DWORD>(deleted));
        RegCloseKey(wow);
    }
    return 0;
}

}  // namespace uninstall
