#include "UninstallWorker.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "DeviceRemoval.h"
#include "DriverFiles.h"
#include "FolderRemoval.h"
#include "LangText.h"
#include "PackageRemoval.h"
#include "PathGuard.h"
#include "ProductRegistry.h"
#include "RegistryRemoval.h"
#include "RemovalLog.h"
#include "SystemQueries.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/services.h"
#include "win/shell.h"
#include "win/spooler.h"
#include "win/user.h"

namespace uninstall {
namespace {


constexpr size_t kNameCapacity = 256;
constexpr size_t kCommandCapacity = 260;
constexpr size_t kProductPathCapacity = 512;
constexpr char16_t kStillImageService[] = u"stisvc";
constexpr char16_t kDeviceFlagQuery[] = u"/SERTUP_INFO/DEVICEFLAG/Flag";

void debug(std::u16string_view first, std::u16string_view second = {}) {
    OutputDebugStringW((std::u16string(first) + std::u16string(second)).c_str());
}

void progress(const RemovalContext& context, LPARAM percent) {
    PostMessageW(context.progressWindow, WM_UNINSTALL_PROGRESS, kProgressPercent, percent);
}

std::u16string cut(const std::u16string& text, size_t capacity) { return text.substr(0, capacity - 1); }

std::u16string folderFrom(HRESULT (*get)(int, LPWSTR), int csidl) {
    WCHAR buffer[MAX_PATH] = {};
    if (FAILED(get(csidl, buffer)) || !buffer[0]) return {};
    return buffer;
}

HRESULT shellFolder(int csidl, LPWSTR buffer) { return SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer); }

// The driver directory in a buffer of 1024 bytes; empty when the spooler does not answer.
std::u16string driverDirectory() {
    WCHAR buffer[512] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed))
        return {};
    buffer[511] = 0;
    return buffer;
}

void deletePrinterIfOpens(const std::u16string& name, bool announce) {
    std::u16string copy = name;
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(copy.data(), &printer, &defaults)) return;
    if (announce) debug(u" ====  DeletePrinter..... ==== ");
    if (!DeletePrinter(printer)) logRemovalFailure(u"DeletePrinter", name, GetLastError());
    ClosePrinter(printer);
}

bool serviceRunning(std::u16string_view name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    bool running = false;
    const std::u16string service(name);
    if (SC_HANDLE handle = OpenServiceW(manager, service.c_str(), SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        running = QueryServiceStatus(handle, &status) && status.dwCurrentState == SERVICE_RUNNING;
        CloseServiceHandle(handle);
    }
    CloseServiceHandle(manager);
    return running;
}

bool targetExists(const std::u16string& target) {
    for (const auto& [prefix, root] : {std::pair<std::u16string_view, HKEY>{u"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                                      std::pair<std::u16string_view, HKEY>{u"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER}}) {
        if (target.compare(0, prefix.size(), prefix) != 0) continue;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, target.c_str() + prefix.size(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    return GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether a second run has something to mend: a failed removal (a system call's failure, not a guard
// refusal nor a kept target) whose target is still there, or a service left stopped.
void markIncomplete(RemovalContext& context, size_t firstEntry, bool stillImageStopped) {
    const std::vector<RemovalLogEntry> log = removalLog();
    for (size_t i = firstEntry; i < log.size(); ++i)
        if (log[i].error != ERROR_SUCCESS && log[i].reason.empty() && targetExists(log[i].target))
            context.incomplete = true;
    if (!serviceRunning(u"Spooler")) context.incomplete = true;
    if (stillImageStopped && !serviceRunning(kStillImageService)) context.incomplete = true;
}

}  // namespace

bool RunPrintUiDelete(const std::u16string& printerName) {
    WCHAR program[MAX_PATH] = {};
    if (!GetSystemDirectoryW(program, MAX_PATH) || !PathAppendW(program, u"rundll32.exe")) return false;
    std::u16string command = u"printui.dll,PrintUIEntry /dl /n \"" + printerName + u"\"";
    if (command.size() >= kCommandCapacity) {
        logRemovalFailure(u"PrintUIEntry", printerName, ERROR_FILENAME_EXCED_RANGE, "the command line is too long");
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        logRemovalFailure(u"PrintUIEntry", program, GetLastError());
        return false;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return true;
}

int UninstallOnePrinter(RemovalContext& context, const std::u16string& printerName, int sameDriverCount,
                        const std::u16string& driverName) {
    progress(context, 5);
    const std::u16string printer = cut(printerName, kNameCapacity);
    const std::u16string driver = cut(driverName, kNameCapacity);
    debug(u"The Prt Name : ", printer);
    debug(u"The Drv Name : ", driver);
    RunPrintUiDelete(printer);
    progress(context, 20);
    deletePrinterIfOpens(printer, false);
    progress(context, 50);
    Sleep(200);
    std::u16string flag;
    for (const ConfigEntry& model : context.models) {
        context.config->ReadConfigTextByAttr(kDeviceFlagQuery, model.text, flag);
        debug(u"--- my Uninstall model :", flag);
        SetDeviceProperty(flag);
        SetDeviceProperty(flag + u"_Fax");
        Sleep(80);
    }
    if (sameDriverCount == 1 && context.multifunction()) DeletePrintDevices(driver, *context.config);
    progress(context, 80);
    Sleep(200);
    progress(context, 100);
    Sleep(200);
    return 1;
}

int RemoveDriverSoftware(RemovalContext& context) {
    const SetupConfig& config = *context.config;
    std::u16string productFolder;
    if (!ProductFolderPath(u"", kProductPathCapacity, productFolder, config)) productFolder.clear();
    const std::u16string windows = WindowsFolderPath();
    const std::u16string system = SystemFolderPath();
    const std::u16string drivers = driverDirectory();

    ConfigList processes;
    config.ReadConfigList(u"/SERTUP_INFO/STOPPROCESS/files", u"", processes);
    for (const ConfigEntry& process : processes) {
        KillProcessByName(process.text);
        Sleep(50);
    }

    int osId = kOsUnknown;
    GetOsId(osId);
    const bool packagesKept = (osId >= kOsXp && osId <= kOsServer2008) || (osId >= kOsServer2003R2 && osId <= kOsXpX64);
    if (!packagesKept) {
        UninstallPrinterPackage(context);
        UninstallFaxPackage(context);
        UninstallScannerPackage(context);
    }
    progress(context, 20);

    std::vector<ListedPrinter> printers;
    if (ListLocalPrinters(printers)) {
        std::u16string fax;
        for (const ListedPrinter& printer : printers) {
            for (const ConfigEntry& model : context.models) {
                config.ReadConfigTextByAttr(u"/SERTUP_INFO/FaxName/FaxModel", model.text, fax);
                if (printer.driver != model.text && printer.driver != fax) continue;
                if (printer.port.find(u"WSD") != std::u16string::npos) RunPrintUiDelete(printer.name);
                deletePrinterIfOpens(printer.name, true);
                std::u16string driver = printer.driver;
                if (!DeletePrinterDriverExW(nullptr, nullptr, driver.data(), DPD_DELETE_UNUSED_FILES, 0) &&
                    GetLastError() != ERROR_UNKNOWN_PRINTER_DRIVER)
                    logRemovalFailure(u"DeletePrinterDriverExW", driver, GetLastError(), "the driver stays");
            }
        }
    }

    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version) &&
        (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2)))
        UninstallUsbDevices(config);
    progress(context, 30);

    std::u16string model, inf;
    config.ReadConfigText(u"/SERTUP_INFO/MODEL/Model_Info", model);
    config.ReadConfigText(u"/SERTUP_INFO/InfInfo/Inf_Data", inf);
    UninstallOemInf(model, inf);
    Sleep(200);
    std::u16string faxModel, faxInf;
    config.ReadConfigText(u"/SERTUP_INFO/FaxName/FaxModel", faxModel);
    config.ReadConfigText(u"/SERTUP_INFO/FaxInfData/Inf_Data", faxInf);
    if (!faxModel.empty() && !faxInf.empty()) UninstallOemInf(faxModel, faxInf);

    bool stillImageStopped = false;
    if (context.multifunction()) {
        ConfigList oems;
        config.ReadConfigList(u"/SERTUP_INFO/ScannerOem/oem_data", u"ID", oems);
        for (const ConfigEntry& oem : oems) UninstallOemInf(oem.attribute, oem.text);
        DeleteScannerDevices(u"", config);
        DeletePrintDevices(u"", config);
        WCHAR scanTool[kLangTextCapacity] = {};
        std::u16string(kScanToolDefault).copy(scanTool, kLangTextCapacity - 1);
        LoadLangText(kScanToolTextId, scanTool);
        const std::u16string desktop = folderFrom(shellFolder, CSIDL_DESKTOPDIRECTORY);
        for (const ConfigEntry& entry : context.models) {
            std::u16string shortcut;
            // The text and the model each stand as one part of the shortcut's name.
            const std::u16string name = std::u16string(scanTool) + u" " + entry.text + u".lnk";
            if (!desktop.empty() && isSingleKeyName(scanTool) && isSingleKeyName(entry.text) &&
                GuardedJoin(u"DeleteShortcut", desktop, name, MAX_PATH, shortcut, JoinedText::Name) &&
                !DeleteFileW(shortcut.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
                logRemovalFailure(u"DeleteShortcut", shortcut, GetLastError());
            Sleep(10);
        }
        stillImageStopped = serviceRunning(kStillImageService);
        StopServiceWithDependents(kStillImageService);
        debug(u"pause stisvc sucess");
        Sleep(1000);
        DeleteCommonDriverFiles(config);
        DeleteTwainFiles(config);
    }
    progress(context, 40);

    debug(u"delete PRT files start!");
    if (!DeletePrinterDriverFiles(config))
        noteStepNotRun(context, u"DeletePrinterDriverFiles", u"Spooler", GetLastError(), "the spooler cycle did not run");
    debug(u"delete PRT files over!");
    DeleteProgramFiles(context);
    DeleteProductFolderBelow(folderFrom(shellFolder, CSIDL_APPDATA), productFolder, u"DeleteAppDataFolder");
    DeleteUserProfileFolders(config);
    ConfigList stores;
    config.ReadConfigList(u"/SERTUP_INFO/STOREXP/Store_Info", u"ID", stores);
    for (const ConfigEntry& store : stores) {
        std::u16string path;
        if (!store.text.empty() && !drivers.empty() &&
            GuardedJoin(u"DeleteDriverStoreFolder", drivers, store.text, kFolderTreeCapacity, path))
            DeleteFolderTree(path);
    }
    progress(context, 50);

    if (context.multifunction()) StartServiceAndWait(kStillImageService);
    DeleteProductFolderBelow(windows, productFolder, u"DeleteWindowsFolder");
    DeleteDriverVersionKeys(context);
    DeletePrinterKeys(context);
    DeleteUserSoftwareKey(context);
    DeleteRunValue(context);
    if (Is64BitSystem() && context.multifunction()) DeleteWow6432ProductKeys(config);
    progress(context, 60);

    ConfigList flags;
    config.ReadConfigList(kDeviceFlagQuery, u"ID", flags);
    for (const ConfigEntry& flag : flags) SetDeviceProperty(flag.text);
    DeletePrinterClassKeys(config);
    // The driver-package library and the package INFs lie in this folder: while a package is left in
    // the driver store, they stay for the run that removes it.
    if (context.packagesLeft)
        logRemovalFailure(u"DeleteProgramFolder", productFolder, ERROR_SUCCESS, "kept: a driver package is left");
    else
        DeleteProductFolderBelow(folderFrom(shellFolder, CSIDL_PROGRAM_FILES), productFolder, u"DeleteProgramFolder");
    progress(context, 75);
    context.stillImageStopped = stillImageStopped;
    return 0;
}

int UninstallAll(RemovalContext& context) {
    const size_t firstEntry = removalLog().size();
    progress(context, 5);
    RemoveDriverSoftware(context);
    progress(context, 80);
    CleanDeviceRegistry(context);
    Sleep(2000);
    DeleteUiDataFile(context);
    DeleteFaxDataFile(context);
    Sleep(2000);
    ResetModelDeviceFlags(context);
    progress(context, 100);
    Sleep(200);
    markIncomplete(context, firstEntry, context.stillImageStopped);
    return 1;
}

DWORD WINAPI UninstallThreadProc(LPVOID parameter) {
    auto& context = *static_cast<RemovalContext*>(parameter);
    // What one run found out starts afresh with each run.
    context.incomplete = false;
    context.packagesLeft = false;
    context.stillImageStopped = false;
    context.CommonProgramsPath.clear();
    if (context.mode == 0)
        UninstallOnePrinter(context, context.printerName, context.sameDriverCount, context.driverName);
    else
        UninstallAll(context);
    PostMessageW(context.progressWindow, WM_UNINSTALL_PROGRESS, kProgressFinished, 0);
    return 0;
}

}  // namespace uninstall
