#include "PackageRemoval.h"

#include <algorithm>
#include <vector>

#include "DeviceRemoval.h"
#include "PathGuard.h"
#include "RemovalLog.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"
#include "win/shell.h"

namespace uninstall {
namespace {

void debug(std::u16string_view text) { OutputDebugStringW(std::u16string(text).c_str()); }

bool fileMatches(const std::u16string& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool programFilesFolder(std::u16string& folder) {
    WCHAR buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, buffer)) || !buffer[0]) return false;
    folder = buffer;
    return true;
}

void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The library loaded for one package operation, freed when the operation ends.
class DifxLibrary {
public:
    DifxLibrary(RemovalContext& context, std::u16string_view operation) : context_(context) {
        std::u16string path;
        if (!DifxLibraryPath(*context.config, path)) return;
        module_ = LoadLibraryW(path.c_str());
        if (!module_) {
            const DWORD error = GetLastError();
            // Without the library the packages cannot go; a second run can do it while they are there.
            if (fileMatches(path)) {
                noteStepNotRun(context, operation, path, error, "the driver-package library did not load");
                context.packagesLeft = true;
            }
            else logRemovalFailure(operation, path, error, "no driver-package library");
            return;
        }
        context.driverPackageGetPath =
            reinterpret_cast<DriverPackageGetPathFn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DriverPackageGetPathW")));
        context.driverPackageUninstall =
            reinterpret_cast<DriverPackageUninstallFn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DriverPackageUninstallW")));
        if (!context.driverPackageGetPath || !context.driverPackageUninstall) {
            noteStepNotRun(context, operation, path, ERROR_PROC_NOT_FOUND, "the driver-package library lacks an export");
            context.packagesLeft = true;
        }
    }
    ~DifxLibrary() {
        if (module_) FreeLibrary(module_);
    }
    DifxLibrary(const DifxLibrary&) = delete;
    DifxLibrary& operator=(const DifxLibrary&) = delete;

    bool usable() const {
        return module_ && context_.driverPackageGetPath && context_.driverPackageUninstall;
    }

private:
    RemovalContext& context_;
    HMODULE module_ = nullptr;
};

void notePackageLeft(RemovalContext& context, std::u16string_view operation, std::u16string_view target, DWORD error,
                     std::string_view reason = {});

enum class PackageKind { Printer, Fax, Scanner };

// Removes package `inf` from the driver store: its store path first, then the store's copy.
void removePackage(RemovalContext& context, PackageKind kind, const std::u16string& inf) {
    const bool fax = kind == PackageKind::Fax;
    const std::u16string_view operation = kind == PackageKind::Printer ? u"UninstallPrinterPackage"
                                          : fax                        ? u"UninstallFaxPackage"
                                                                       : u"UninstallScannerPackage";
    DWORD count = 0;
    const DWORD sizeResult = context.driverPackageGetPath(inf.c_str(), nullptr, &count);
    // A package the store does not hold is already gone: nothing to remove.
    if (sizeResult == kPackageNotInStore) return;
    if (count == 0 || count > kMaxStorePathLength) {
        notePackageLeft(context, operation, inf, ERROR_INVALID_DATA, "the driver store gave no usable path length");
        return;
    }
    std::vector<WCHAR> store(count, 0);
    DWORD length = count;
    const DWORD pathResult = context.driverPackageGetPath(inf.c_str(), store.data(), &length);
    if (pathResult != 0 && kind != PackageKind::Scanner)
        debug(fax ? u"Fax DriverPackageGetPath step 2 fail !!!" : u"DriverPackageGetPath step 2 fail !!!");
    if (kind != PackageKind::Scanner) debug(fax ? u"Fax DriverStoreInfPath's inf path!!" : u"DriverStoreInfPath's inf path!!");
    const auto end = std::find(store.begin(), store.end(), u'\0');
    if (end == store.end()) {
        notePackageLeft(context, operation, inf, ERROR_INVALID_DATA, "the driver store's path is not terminated");
        return;
    }
    debug(std::u16string(store.begin(), end));
    BOOL reboot = FALSE;
    const DWORD result = context.driverPackageUninstall(store.data(), kDriverPackageForce, nullptr, &reboot);
    if (result != 0) {
        if (kind != PackageKind::Scanner)
            debug(fax ? u"Fax DriverPackageUninstall fail !!!" : u"DriverPackageUninstall fail !!!");
        if (pathResult == 0) notePackageLeft(context, operation, std::u16string(store.begin(), end), result);
        else notePackageLeft(context, operation, inf, pathResult, "the driver store did not give the package's path");
    }
}

}  // namespace

void noteRemovalFailure(RemovalContext& context, std::u16string_view operation, std::u16string_view target,
                        DWORD error, std::string_view reason) {
    logRemovalFailure(operation, target, error, reason);
    context.incomplete = true;
}

void noteStepNotRun(RemovalContext& context, std::u16string_view operation, std::u16string_view target,
                    DWORD error, std::string_view reason) {
    logRemovalFailure(operation, target, error, reason);
    context.incomplete = true;
}

namespace {

void notePackageLeft(RemovalContext& context, std::u16string_view operation, std::u16string_view target, DWORD error,
                     std::string_view reason) {
    if (reason.empty()) noteRemovalFailure(context, operation, target, error);
    else noteStepNotRun(context, operation, target, error, reason);
    context.packagesLeft = true;
}

}  // namespace

bool ProductInstallFolder(const SetupConfig& config, std::u16string& folder) {
    std::u16string base;
    if (!programFilesFolder(base)) {
        logRemovalFailure(u"ProductInstallFolder", u"", ERROR_PATH_NOT_FOUND, "no program-files folder");
        return false;
    }
    ConfigList dirs;
    config.ReadConfigList(u"/SERTUP_INFO/CreateFolder/Folder/Dir", u"", dirs);
    std::u16string joined;
    for (const ConfigEntry& dir : dirs) joined += dir.text + u"\\";
    std::u16string path;
    // The folder with its closing backslash must fit, so one character is kept back for it.
    if (!GuardedJoin(u"ProductInstallFolder", base, joined, kProductFolderCapacity - 1, path)) return false;
    folder = path + u"\\";
    return true;
}

bool DifxLibraryPath(const SetupConfig& config, std::u16string& path) {
    std::u16string folder;
    if (!ProductInstallFolder(config, folder)) return false;
    std::u16string name;
    config.ReadConfigTextByAttr(u"/SERTUP_INFO/DLL_NORMAL/source_dll", u"DIFX", name);
    replaceAll(name, u"%Systembit%", u"x64");
    return GuardedJoin(u"DifxLibraryPath", folder, name, kProductFolderCapacity, path);
}

void UninstallPrinterPackage(RemovalContext& context) {
    ConfigList packages;
    context.config->ReadConfigList(u"/SERTUP_INFO/INF/Infinpackage", u"", packages);
    DifxLibrary library(context, u"UninstallPrinterPackage");
    std::u16string folder;
    if (!library.usable() || !ProductInstallFolder(*context.config, folder)) return;
    for (const ConfigEntry& entry : packages) {
        std::u16string upper = entry.text;
        for (char16_t& c : upper)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (upper.find(u"EWS") != std::u16string::npos) {
            debug(u"Got the EWS inf in unintall");
            debug(entry.text);
            continue;
        }
        std::u16string inf;
        if (!GuardedJoin(u"UninstallPrinterPackage", folder, entry.text, kProductFolderCapacity, inf)) continue;
        if (!fileMatches(inf)) continue;
        removePackage(context, PackageKind::Printer, inf);
    }
}

void UninstallFaxPackage(RemovalContext& context) {
    std::u16string faxInf;
    context.config->ReadConfigTextByAttr(u"/SERTUP_INFO/INF/Infinpackage", u"FAX", faxInf);
    if (faxInf.empty()) return;
    std::u16string folder, inf;
    if (!ProductInstallFolder(*context.config, folder)) return;
    if (!GuardedJoin(u"UninstallFaxPackage", folder, faxInf, kProductFolderCapacity, inf)) return;
    debug(u"Is inf file in TempDirectory path");
    debug(inf);
    DifxLibrary library(context, u"UninstallFaxPackage");
    if (library.usable()) removePackage(context, PackageKind::Fax, inf);
}

void UninstallScannerPackage(RemovalContext& context) {
    if (!context.multifunction()) return;
    std::u16string folder;
    if (!ProductInstallFolder(*context.config, folder)) return;
    debug(u"Is inf file in TempDirectory path");
    debug(folder);
    ConfigList list;
    context.config->ReadConfigList(u"/SERTUP_INFO/SCINF/InfPath", u"ID", list);
    DifxLibrary library(context, u"UninstallScannerPackage");
    if (!library.usable()) return;
    ConfigList distinct;
    for (const ConfigEntry& entry : list)
        if (std::none_of(distinct.begin(), distinct.end(), [&](const ConfigEntry& kept) { return kept.text == entry.text; }))
            distinct.push_back(entry);
    for (const ConfigEntry& entry : distinct) {
        std::u16string text = entry.text;
        replaceAll(text, u"%Systembit%", u"x64");
        std::u16string inf;
        if (GuardedJoin(u"UninstallScannerPackage", folder, text, kProductFolderCapacity, inf) && fileMatches(inf))
            removePackage(context, PackageKind::Scanner, inf);
        Sleep(200);
    }
}

void DeleteProgramFiles(RemovalContext& context) {
    std::u16string base;
    if (!programFilesFolder(base)) return;
    ConfigList destinations;
    context.config->ReadConfigNodeList(u"/SERTUP_INFO/Program/Dst/x64", u"ID", destinations);
    for (const ConfigEntry& destination : destinations) {
        ConfigList files;
        context.config->ReadConfigListByAttr(u"/SERTUP_INFO/Program/sourcefile", destination.attribute, files);
        std::u16string folder;
        if (!GuardedJoin(u"DeleteProgramFiles", base, destination.text, kProductFolderCapacity, folder)) continue;
        for (const ConfigEntry& file : files) {
            debug(u"files to delete is checking...");
            std::u16string path;
            if (!GuardedJoin(u"DeleteProgramFiles", folder, fileNamePart(file.text), kProductFolderCapacity, path,
                             JoinedText::Name))
                continue;
            debug(folder);
            if (!fileMatches(path)) continue;
            debug(u"files is Deleting...");
            if (!DeleteFileW(path.c_str())) noteRemovalFailure(context, u"DeleteProgramFiles", path, GetLastError());
            Sleep(100);
        }
    }
}

namespace {

void deleteDataFile(RemovalContext& context, const char16_t* query, std::u16string_view operation) {
    std::u16string name;
    context.config->ReadConfigText(query, name);
    if (name.empty()) return;
    WCHAR folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE) || !folder[0]) return;
    std::u16string path;
    if (!GuardedJoin(operation, folder, name, MAX_PATH, path, JoinedText::Name)) return;
    if (!PathFileExistsW(path.c_str())) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) noteRemovalFailure(context, operation, path, GetLastError());
}

}  // namespace

void DeleteUiDataFile(RemovalContext& context) {
    deleteDataFile(context, u"/SERTUP_INFO/CreateFolder/uidat", u"DeleteUiDataFile");
}

void DeleteFaxDataFile(RemovalContext& context) {
    deleteDataFile(context, u"/SERTUP_INFO/CreateFolder/faxdat", u"DeleteFaxDataFile");
}

void ResetModelDeviceFlags(RemovalContext& context) {
    std::u16string flag;
    for (const ConfigEntry& model : context.models) {
        context.config->ReadConfigTextByAttr(u"/SERTUP_INFO/DEVICEFLAG/Flag", model.text, flag);
        debug(flag);
        SetDeviceProperty(flag);
        SetDeviceProperty(flag + u"_Fax");
    }
}

}  // namespace uninstall
