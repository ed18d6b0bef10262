#include "ProductRegistry.h"

#include <algorithm>

#include "DriverFiles.h"
#include "FolderRemoval.h"
#include "PackageRemoval.h"
#include "PathGuard.h"
#include "RegistryRemoval.h"
#include "RemovalLog.h"
#include "SystemQueries.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/setupapi.h"
#include "win/shell.h"
#include "win/spooler.h"

namespace uninstall {
namespace {

constexpr char16_t kDirQuery[] = u"/SERTUP_INFO/CreateFolder/Folder/Dir";
constexpr char16_t kFaxQuery[] = u"/SERTUP_INFO/FaxName/FaxModel";
constexpr size_t kKeyNameCapacity = 261;  // names read by enumeration: 260 characters and the NUL
constexpr size_t kDirTextCapacity = 260;

HKEY openKey(HKEY root, const std::u16string& path, REGSAM access = kRemovalAccess) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

bool hasSubkey(HKEY key) {
    WCHAR name[kKeyNameCapacity] = {};
    return RegEnumKeyW(key, 0, name, kKeyNameCapacity) != ERROR_NO_MORE_ITEMS;
}

std::u16string rootName(HKEY root) {
    return root == HKEY_CURRENT_USER ? u"HKEY_CURRENT_USER\\" : u"HKEY_LOCAL_MACHINE\\";
}

// Deletes `name` below the open key `parent` (at `parentPath`) when it exists and has no subkey; one
// that has subkeys stays by design and is logged as kept.
void deleteLeafKey(RemovalContext& context, std::u16string_view operation, HKEY root, HKEY parent,
                   const std::u16string& parentPath, std::u16string_view name) {
    const std::u16string child(name);
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, child.c_str(), 0, kRemovalAccess | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
    const bool keep = hasSubkey(key);
    RegCloseKey(key);
    const std::u16string target = rootName(root) + parentPath + u"\\" + child;
    if (keep) {
        logRemovalFailure(operation, target, ERROR_SUCCESS, "kept: the key has subkeys");
        return;
    }
    const LSTATUS status = RegDeleteKeyW(parent, child.c_str());
    if (status != ERROR_SUCCESS) noteRemovalFailure(context, operation, target, static_cast<DWORD>(status));
}

void deleteValue(RemovalContext& context, std::u16string_view operation, HKEY key, const std::u16string& keyPath,
                 std::u16string_view name) {
    const std::u16string value(name);
    const LSTATUS status = RegDeleteValueW(key, value.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        noteRemovalFailure(context, operation, keyPath + u"\\" + value, static_cast<DWORD>(status));
}

bool containsModel(std::u16string_view name, const ConfigList& models, std::u16string_view& model) {
    for (const ConfigEntry& entry : models)
        if (!entry.text.empty() && name.find(entry.text) != std::u16string_view::npos) {
            model = entry.text;
            return true;
        }
    return false;
}

std::u16string firstDirText(const SetupConfig& config) {
    std::u16string text;
    config.ReadConfigText(kDirQuery, text);
    if (text.size() >= kDirTextCapacity) text.resize(kDirTextCapacity - 1);
    return text;
}


}  // namespace

namespace {

std::u16string folderOf(UINT (*get)(LPWSTR, UINT)) {
    WCHAR buffer[kFolderTreeCapacity] = {};
    const UINT length = get(buffer, kFolderTreeCapacity);
    if (length == 0 || length >= kFolderTreeCapacity) return {};
    return buffer;
}

UINT windowsDirectory(LPWSTR buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); }
UINT systemDirectory(LPWSTR buffer, UINT size) { return GetSystemDirectoryW(buffer, size); }

}  // namespace

std::u16string WindowsFolderPath() { return folderOf(windowsDirectory); }
std::u16string SystemFolderPath() { return folderOf(systemDirectory); }

bool ListLocalPrinters(std::vector<ListedPrinter>& printers) {
    printers.clear();
    DWORD needed = 0, returned = 0;
    if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return false;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) return false;
    const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        const PRINTER_INFO_2W& record = records[i];
        printers.push_back({record.pPrinterName ? record.pPrinterName : u"", record.pPortName ? record.pPortName : u"",
                            record.pDriverName ? record.pDriverName : u""});
    }
    return true;
}

void DeleteDriverVersionKeys(RemovalContext& context) {
    const std::u16string basePath = kVersion3Key;
    HKEY version3 = openKey(HKEY_LOCAL_MACHINE, basePath);
    if (!version3) return;
    WCHAR name[kKeyNameCapacity] = {};
    DWORD index = 0;
    // A match that stays (subkeys, a driver still listed, a failed delete) is stepped past; after a
    // deletion the walk starts again at the first name, as the names moved up.
    std::vector<std::u16string> kept;
    while (RegEnumKeyW(version3, index, name, kKeyNameCapacity) == ERROR_SUCCESS) {
        const std::u16string subkey = name;
        std::u16string_view model;
        if (!containsModel(subkey, context.models, model) ||
            std::find(kept.begin(), kept.end(), subkey) != kept.end()) {
            ++index;
            continue;
        }
        const std::u16string path = basePath + u"\\" + subkey;
        HKEY key = path.size() < kSpoolerKeyCapacity ? openKey(HKEY_LOCAL_MACHINE, path) : nullptr;
        if (!key) {
            kept.push_back(subkey);
            ++index;
            continue;
        }
        const bool subkeys = hasSubkey(key);
        RegCloseKey(key);
        const std::u16string target = u"HKEY_LOCAL_MACHINE\\" + path;
        if (IsRegisteredDriver(subkey)) {
            logRemovalFailure(u"DeleteDriverVersionKeys", target, ERROR_SUCCESS, "kept: the spooler lists the driver");
        } else if (subkeys) {
            logRemovalFailure(u"DeleteDriverVersionKeys", target, ERROR_SUCCESS, "kept: the key has subkeys");
        } else {
            const LSTATUS status = RegDeleteKeyW(version3, subkey.c_str());
            if (status == ERROR_SUCCESS) {
                index = 0;
                continue;
            }
            noteRemovalFailure(context, u"DeleteDriverVersionKeys", target, static_cast<DWORD>(status));
        }
        kept.push_back(subkey);
        ++index;
    }
    RegCloseKey(version3);
}

void DeletePrinterKeys(RemovalContext& context) {
    const std::u16string basePath = kPrintersKey;
    HKEY printers = openKey(HKEY_LOCAL_MACHINE, basePath);
    if (!printers) return;
    std::vector<ListedPrinter> listed;
    const bool spoolerAnswered = ListLocalPrinters(listed);
    WCHAR name[kKeyNameCapacity] = {};
    // The index advances past each name examined, a deleted one too (the next name moves into its place
    // and waits for the next pass).
    for (DWORD index = 0; RegEnumKeyW(printers, index, name, kKeyNameCapacity) == ERROR_SUCCESS; ++index) {
        const std::u16string subkey = name;
        std::u16string_view model;
        if (!containsModel(subkey, context.models, model)) continue;
        const std::u16string path = basePath + u"\\" + subkey;
        const std::u16string target = u"HKEY_LOCAL_MACHINE\\" + path;
        if (path.size() >= kSpoolerKeyCapacity) {
            logRemovalFailure(u"DeletePrinterKeys", target, ERROR_FILENAME_EXCED_RANGE, "the key path is too long");
            continue;
        }
        if (spoolerAnswered && std::any_of(listed.begin(), listed.end(),
                                           [&](const ListedPrinter& p) { return p.name == subkey; })) {
            logRemovalFailure(u"DeletePrinterKeys", target, ERROR_SUCCESS, "kept: the spooler lists the printer");
            continue;
        }
        DeleteRegistrySubkeys(path);
        const LSTATUS status = RegDeleteKeyW(printers, subkey.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            noteRemovalFailure(context, u"DeletePrinterKeys", target, static_cast<DWORD>(status));
    }
    RegCloseKey(printers);
}

int DeleteUserSoftwareKey(RemovalContext& context) {
    const std::u16string dir = firstDirText(*context.config);
    HKEY software = openKey(HKEY_CURRENT_USER, u"Software");
    if (!software) return kRegistrySkipped;
    // The Dir text carries a leading backslash that a key name cannot.
    std::u16string_view name = dir;
    if (!name.empty() && name.front() == u'\\') name.remove_prefix(1);
    if (name.empty() || !isSingleKeyName(name)) {
        RegCloseKey(software);
        if (!name.empty()) logRemovalFailure(u"DeleteUserSoftwareKey", dir, ERROR_INVALID_NAME, "not one key name");
        return kRegistrySkipped;
    }
    deleteLeafKey(context, u"DeleteUserSoftwareKey", HKEY_CURRENT_USER, software, u"Software", name);
    RegCloseKey(software);
    return kRegistryDone;
}

int DeleteRunValue(RemovalContext& context) {
    std::u16string name;
    context.config->ReadConfigText(u"/SERTUP_INFO/CreateFolder/monitorkey", name);
    if (name.empty()) return kRegistrySkipped;
    HKEY run = openKey(HKEY_LOCAL_MACHINE, kRunKey);
    if (!run) return kRegistrySkipped;
    deleteValue(context, u"DeleteRunValue", run, u"HKEY_LOCAL_MACHINE\\" + std::u16string(kRunKey), name);
    RegCloseKey(run);
    return kRegistryDone;
}

int DeleteProductSoftwareValues(RemovalContext& context, std::u16string_view name) {
    if (name.empty()) return kRegistrySkipped;
    if (!isSingleKeyName(name)) {
        logRemovalFailure(u"DeleteProductSoftwareValues", name, ERROR_INVALID_NAME, "not one key name");
        return kRegistrySkipped;
    }
    if (Is64BitSystem() && context.multifunction()) {
        if (HKEY wow = openKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node")) {
            deleteLeafKey(context, u"DeleteProductSoftwareValues", HKEY_LOCAL_MACHINE, wow, u"SOFTWARE\\Wow6432Node",
                          name);
            RegCloseKey(wow);
        }
    }
    const std::u16string path = u"Software\\" + std::u16string(name);
    if (path.size() >= kSoftwareKeyCapacity) {
        logRemovalFailure(u"DeleteProductSoftwareValues", path, ERROR_FILENAME_EXCED_RANGE, "the key path is too long");
        return kRegistrySkipped;
    }
    HKEY key = openKey(HKEY_LOCAL_MACHINE, path);
    if (!key) return kRegistrySkipped;
    for (const char16_t* word : {u"Printer", u"Scanner", u"Scantool"}) {
        deleteLeafKey(context, u"DeleteProductSoftwareValues", HKEY_LOCAL_MACHINE, key, path, word);
        deleteValue(context, u"DeleteProductSoftwareValues", key, u"HKEY_LOCAL_MACHINE\\" + path, word);
    }
    RegCloseKey(key);
    return kRegistryDone;
}

int DeleteStartMenuFolder(RemovalContext& context, std::u16string_view model) {
    const std::u16string windows = WindowsFolderPath();
    const std::u16string dir = firstDirText(*context.config);
    std::u16string value;
    if (HKEY folders = openKey(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_QUERY_VALUE)) {
        ReadRegistryText(folders, u"Common Programs", kCommonProgramsBytes, value);
        RegCloseKey(folders);
    }
    if (windows.empty()) return 1;  // no Windows drive to put the folder on
    const size_t lastSlash = windows.rfind(u'\\');
    const std::u16string rootForm = u"C:\\" + windows.substr(lastSlash == std::u16string::npos ? 0 : lastSlash + 1);
    const size_t valueColon = value.rfind(u':');
    const size_t windowsColon = windows.find(u':');
    if (value.empty()) {
        context.CommonProgramsPath.clear();
    } else if (lstrcmpiW(windows.c_str(), rootForm.c_str()) == 0) {
        context.CommonProgramsPath = value;
    } else if (valueColon != std::u16string::npos && windowsColon != std::u16string::npos && windowsColon > 0) {
        context.CommonProgramsPath = windows.substr(windowsColon - 1, 1) + value.substr(valueColon);
    } else {
        context.CommonProgramsPath.clear();
    }
    if (context.CommonProgramsPath.size() > 511) context.CommonProgramsPath.resize(511);
    if (dir.empty() || context.CommonProgramsPath.empty()) return 1;
    std::u16string folder, path;
    if (GuardedJoin(u"DeleteStartMenuFolder", context.CommonProgramsPath, dir, kFolderTreeCapacity, folder) &&
        GuardedJoin(u"DeleteStartMenuFolder", folder, model, kFolderTreeCapacity, path, JoinedText::Name))
        DeleteFolderTree(path);
    return 1;
}

int DeleteProductSoftwareKey(RemovalContext& context, std::u16string_view name) {
    if (name.empty()) return kRegistrySkipped;
    if (!isSingleKeyName(name)) {
        logRemovalFailure(u"DeleteProductSoftwareKey", name, ERROR_INVALID_NAME, "not one key name");
        return kRegistrySkipped;
    }
    const std::u16string printerPath = u"Software\\" + std::u16string(name) + u"\\Printer";
    if (printerPath.size() >= kSoftwareKeyCapacity) {
        logRemovalFailure(u"DeleteProductSoftwareKey", printerPath, ERROR_FILENAME_EXCED_RANGE, "the key path is too long");
        return kRegistrySkipped;
    }
    if (HKEY printer = openKey(HKEY_LOCAL_MACHINE, printerPath)) {
        RegCloseKey(printer);
        logRemovalFailure(u"DeleteProductSoftwareKey", u"HKEY_LOCAL_MACHINE\\" + printerPath, ERROR_SUCCESS,
                          "kept: a printer part is registered");
        return kRegistrySkipped;
    }
    HKEY software = openKey(HKEY_LOCAL_MACHINE, u"Software");
    if (!software) return kRegistryDone;
    deleteLeafKey(context, u"DeleteProductSoftwareKey", HKEY_LOCAL_MACHINE, software, u"Software", name);
    RegCloseKey(software);
    return kRegistryDone;
}

void RemoveEmptyProductFolders(RemovalContext& context) {
    const std::u16string dir = firstDirText(*context.config);
    for (const std::u16string& base : {context.CommonProgramsPath, WindowsFolderPath(), SystemFolderPath()}) {
        // An empty base would name a folder on the current drive.
        if (base.empty()) continue;
        std::u16string path;
        if (!GuardedJoin(u"RemoveEmptyProductFolders", base, dir, kFolderTreeCapacity, path)) continue;
        if (PathIsDirectoryEmptyW(path.c_str()) && !RemoveDirectoryW(path.c_str()))
            noteRemovalFailure(context, u"RemoveEmptyProductFolders", path, GetLastError());
    }
}

void CleanDeviceRegistry(RemovalContext& context) {
    const SetupConfig& config = *context.config;
    const std::u16string system = SystemFolderPath();
    std::u16string productFolder;
    if (!system.empty() && ProductFolderPath(u"", 512, productFolder, config) && !productFolder.empty()) {
        std::u16string path;
        if (GuardedJoin(u"CleanDeviceRegistry", system, productFolder, kFolderTreeCapacity, path)) {
            DeleteFolderTree(path);
            RemoveEmptyFolders(path, system);
        }
    }
    std::u16string fax;
    for (const ConfigEntry& model : context.models) {
        config.ReadConfigTextByAttr(kFaxQuery, model.text, fax);
        DeleteProductSoftwareValues(context, model.text);
        DeleteProductSoftwareValues(context, fax);
        DeleteStartMenuFolder(context, model.text);
        DeleteProductSoftwareKey(context, model.text);
        DeleteProductSoftwareKey(context, fax);
        if (isSingleKeyName(model.text)) {
            if (HKEY uninstall = openKey(HKEY_LOCAL_MACHINE, kUninstallKey)) {
                deleteLeafKey(context, u"CleanDeviceRegistry", HKEY_LOCAL_MACHINE, uninstall, kUninstallKey, model.text);
                RegCloseKey(uninstall);
            }
        }
        if (context.multifunction()) {
            for (const char16_t* set : {u"ControlSet001", u"ControlSet002", u"CurrentControlSet"})
                DeleteImagingClassKeys(u"SYSTEM\\" + std::u16string(set) +
                                           u"\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
                                       model.text, config);
        }
        fax.clear();
    }
    // The device tree looks for hardware again, now that the product's devices are gone.
    DEVINST root = 0;
    if (CM_Locate_DevNodeW(&root, nullptr, 0) == CR_SUCCESS) CM_Reenumerate_DevNode(root, 0);
    Sleep(3000);
    RemoveEmptyProductFolders(context);
    DeleteUserSoftwareKey(context);
}

}  // namespace uninstall
