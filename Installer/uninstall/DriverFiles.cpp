#include "DriverFiles.h"

#include <algorithm>
#include <vector>

#include "PathGuard.h"
#include "RemovalLog.h"
#include "SystemQueries.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/services.h"
#include "win/spooler.h"

namespace uninstall {
namespace {

constexpr char16_t kRoot[] = u"SERTUP_INFO/COPYFILES";
constexpr size_t kDriverPathCapacity = 1024;
constexpr size_t kTwainPathCapacity = 512;
constexpr size_t kMonitorNameCapacity = 260;
// The start that failed is tried this many times more, a second apart.
constexpr int kStartRetries = 2;

std::u16string folded(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

void debugLine(std::u16string_view first, std::u16string_view second = {}) {
    OutputDebugStringW((std::u16string(first) + std::u16string(second)).c_str());
}

// The group entries of COPYFILES<style>/<group>: the "ID" and the destination folder.
ConfigList groupEntries(const SetupConfig& config, std::u16string_view style, std::u16string_view group) {
    ConfigList list;
    config.ReadConfigNodeList(std::u16string(kRoot) + std::u16string(style) + u"/" + std::u16string(group), u"ID", list);
    return list;
}

// The file names of the source files that belong to a group entry.
std::vector<std::u16string> sourceNames(const SetupConfig& config, std::u16string_view id) {
    ConfigList list;
    if (!id.empty()) config.ReadConfigListByAttr(std::u16string(kRoot) + u"/sourcefile", id, list);
    std::vector<std::u16string> names;
    for (const ConfigEntry& entry : list) names.emplace_back(fileNamePart(entry.text));
    return names;
}

// The guarded full path of a file of a group entry (the file is the target: the folder it sits in
// may well be one of the system's own).
bool driverFilePath(std::u16string_view prefix, std::u16string_view folder, std::u16string_view name,
                    std::u16string& path) {
    if (name.empty() || name.find_first_of(u"\\/") != std::u16string_view::npos) return false;
    return GuardedJoin(u"DeleteDriverFile", prefix, std::u16string(folder) + u"\\" + std::u16string(name),
                       kDriverPathCapacity, path);
}

// Deletes a file; one that is not there is passed over, any other failure is logged.
void deleteQuietly(const std::u16string& path) {
    if (DeleteFileW(path.c_str())) return;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) logRemovalFailure(u"DeleteFileW", path, error);
}

// Every file of every entry of the group, with a pause after each file (when one is given) and after
// each entry. Files in `keep` (folded) stay.
void deleteGroup(const SetupConfig& config, const ConfigList& entries, std::u16string_view prefix, DWORD perFile,
                 DWORD perEntry, const std::vector<std::u16string>& keep = {}) {
    for (const ConfigEntry& entry : entries) {
        for (const std::u16string& name : sourceNames(config, entry.attribute)) {
            std::u16string path;
            if (driverFilePath(prefix, entry.text, name, path)) {
                if (std::find(keep.begin(), keep.end(), folded(path)) != keep.end())
                    debugLine(u"kept, another driver lists it: ", path);
                else
                    deleteQuietly(path);
            }
            if (perFile) Sleep(perFile);
        }
        Sleep(perEntry);
    }
}

std::u16string monitorName(const SetupConfig& config, std::u16string_view query) {
    std::u16string name;
    config.ReadConfigText(query, name);
    if (name.size() >= kMonitorNameCapacity) name.resize(kMonitorNameCapacity - 1);
    return name;
}

// The product's driver names: each model and, after it, its fax driver when it has one (fax first in
// the deletions).
struct ModelDrivers {
    std::u16string model;
    std::u16string fax;
};

std::vector<ModelDrivers> modelDrivers(const SetupConfig& config) {
    std::vector<ModelDrivers> out;
    for (const ConfigEntry& model : ReadModelList(config)) {
        ModelDrivers drivers{model.text, {}};
        config.ReadConfigTextByAttr(u"/SERTUP_INFO/FaxName/FaxModel", model.text, drivers.fax);
        out.push_back(std::move(drivers));
    }
    return out;
}

// The machine's drivers at level 3 as the running spooler lists them (empty when it does not answer).
std::vector<BYTE> listDrivers(DWORD& returned) {
    DWORD needed = 0;
    returned = 0;
    EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumPrinterDriversW(nullptr, nullptr, 3, buffer.data(), needed, &needed, &returned)) {
        returned = 0;
        buffer.clear();
    }
    return buffer;
}

std::vector<std::u16string> registeredDrivers() {
    DWORD returned = 0;
    const std::vector<BYTE> buffer = listDrivers(returned);
    const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    std::vector<std::u16string> names;
    for (DWORD i = 0; i < returned; ++i) names.push_back(folded(records[i].pName ? records[i].pName : u""));
    return names;
}

// The files other drivers of the machine list (folded).
std::vector<std::u16string> filesOfOtherDrivers(const std::vector<ModelDrivers>& ours) {
    std::vector<std::u16string> files;
    DWORD returned = 0;
    const std::vector<BYTE> buffer = listDrivers(returned);
    const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        const std::u16string name = folded(records[i].pName ? records[i].pName : u"");
        const bool product = std::any_of(ours.begin(), ours.end(), [&](const ModelDrivers& d) {
            return folded(d.model) == name || (!d.fax.empty() && folded(d.fax) == name);
        });
        if (product) continue;
        if (records[i].pDriverPath) files.push_back(folded(records[i].pDriverPath));
        for (const char16_t* file = records[i].pDependentFiles; file && *file;
             file += std::char_traits<char16_t>::length(file) + 1)
            files.push_back(folded(file));
    }
    return files;
}

void deleteDriver(const std::u16string& name) {
    std::u16string copy = name;
    DeletePrinterDriverExW(nullptr, nullptr, copy.data(), DPD_DELETE_UNUSED_FILES, 0);
}

void deleteModelDrivers(const std::vector<ModelDrivers>& drivers, bool paced) {
    for (const ModelDrivers& d : drivers) {
        if (paced) Sleep(300);
        if (!d.fax.empty()) deleteDriver(d.fax);
        if (paced) Sleep(300);
        deleteDriver(d.model);
    }
}

void deleteMonitors(const std::u16string& tcp, const std::u16string& lm) {
    for (const std::u16string& name : {tcp, lm}) {
        if (name.empty()) continue;
        std::u16string copy = name;
        DeleteMonitorW(nullptr, nullptr, copy.data());
    }
}

// Polls the service at its wait hint until it reports `wanted`, a read fails, or the bound is spent.
// The last state read is left in `status`; true when it is `wanted`.
bool waitForState(SC_HANDLE service, SERVICE_STATUS& status, DWORD wanted) {
    DWORD waited = 0;
    while (status.dwCurrentState != wanted) {
        if (waited >= kSpoolerWaitBound) return false;
        const DWORD pause = std::clamp<DWORD>(status.dwWaitHint, 1, kSpoolerWaitBound - waited);
        Sleep(pause);
        waited += pause;
        if (!QueryServiceStatus(service, &status)) return false;
    }
    return true;
}

// Starts the stopped spooler, trying again a second apart, and waits for it to run.
bool startSpooler(SC_HANDLE service, SERVICE_STATUS& status) {
    for (int attempt = 0;; ++attempt) {
        if (StartServiceW(service, 0, nullptr)) break;
        if (attempt == kStartRetries) {
            logRemovalFailure(u"StartServiceW", u"Spooler", GetLastError());
            return false;
        }
        Sleep(1000);
    }
    if (!QueryServiceStatus(service, &status)) return false;
    return waitForState(service, status, SERVICE_RUNNING);
}

}  // namespace

void GetStyleFolder(std::u16string& style) {
    int osId = kOsUnknown;
    GetOsId(osId);
    const bool xpFamily = osId == kOsXp || osId == kOsServer2003 || osId == kOsServer2003R2 || osId == kOsXpX64;
    style = xpFamily ? u"/XPSTYLE" : u"/W7STYLE";
}

std::u16string SystemDrivePrefix() {
    WCHAR folder[257] = {};
    const UINT length = GetWindowsDirectoryW(folder, 257);
    if (length == 0 || length > 256) return {};
    std::u16string path(folder, length);
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool IsRegisteredDriver(std::u16string_view name) {
    const std::vector<std::u16string> names = registeredDrivers();
    return std::find(names.begin(), names.end(), folded(name)) != names.end();
}

bool DeletePrinterDriverFiles(const SetupConfig& config) {
    std::u16string style;
    GetStyleFolder(style);
    const std::vector<ModelDrivers> drivers = modelDrivers(config);
    const ConfigList x64 = groupEntries(config, style, u"x64");
    const ConfigList common = groupEntries(config, style, u"Common");
    const std::u16string tcp = monitorName(config, u"/SERTUP_INFO/PONEMENT/tcpmonitor");
    const std::u16string lm = monitorName(config, u"/SERTUP_INFO/PONEMENT/lmmonitor");
    const std::u16string prefix = SystemDrivePrefix();

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE);
    if (!manager) return false;
    SC_HANDLE spooler = OpenServiceW(manager, u"spooler", SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
    if (!spooler) {
        CloseServiceHandle(manager);
        return false;
    }
    auto finish = [&](bool result) {
        CloseServiceHandle(spooler);
        CloseServiceHandle(manager);
        return result;
    };
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(spooler, &status)) return finish(false);

    bool succeeded = false;
    bool deleted = false;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        // The stopped spooler refuses its own deletions: they are made once while it runs, which also
        // lets it unload the monitors; the files other drivers list are read while it can answer.
        const std::vector<std::u16string> keep = filesOfOtherDrivers(drivers);
        deleteModelDrivers(drivers, false);
        deleteMonitors(tcp, lm);
        if (!ControlService(spooler, SERVICE_CONTROL_STOP, &status)) return finish(false);
        const bool read = QueryServiceStatus(spooler, &status);
        if (read && waitForState(spooler, status, SERVICE_STOPPED)) {
            deleteModelDrivers(drivers, true);
            if (!prefix.empty()) deleteGroup(config, x64, prefix, 100, 70, keep);
            deleteMonitors(tcp, lm);
            if (!prefix.empty()) deleteGroup(config, common, prefix, 0, 50);
            succeeded = deleted = true;
        } else {
            // Nothing is deleted; the spooler is let settle and started again once it reports stopped.
            logRemovalFailure(u"ControlService", u"Spooler", read ? ERROR_SERVICE_REQUEST_TIMEOUT : GetLastError());
            if (QueryServiceStatus(spooler, &status)) waitForState(spooler, status, SERVICE_STOPPED);
        }
    }
    Sleep(500);
    if (status.dwCurrentState == SERVICE_STOPPED) {
        if (!startSpooler(spooler, status)) return finish(false);
        succeeded = true;
    }
    if (deleted && status.dwCurrentState == SERVICE_RUNNING) {
        // A driver the stopped spooler could not delete goes now.
        const std::vector<std::u16string> registered = registeredDrivers();
        for (const ModelDrivers& d : drivers)
            for (const std::u16string& name : {d.fax, d.model})
                if (!name.empty() && std::find(registered.begin(), registered.end(), folded(name)) != registered.end())
                    deleteDriver(name);
    }
    return finish(succeeded);
}

void DeleteCommonDriverFiles(const SetupConfig& config) {
    std::u16string style;
    GetStyleFolder(style);
    const std::u16string prefix = SystemDrivePrefix();
    if (prefix.empty()) return;
    for (const ConfigEntry& entry : groupEntries(config, style, u"Common"))
        for (const std::u16string& name : sourceNames(config, entry.attribute)) {
            std::u16string path;
            if (!driverFilePath(prefix, entry.text, name, path)) continue;
            deleteQuietly(path);
            debugLine(u"pause wia services for delete", path);
        }
}

void DeleteTwainFiles(const SetupConfig& config) {
    const std::u16string prefix = SystemDrivePrefix();
    if (prefix.empty()) return;
    ConfigList folders, sources;
    config.ReadConfigNodeList(u"SERTUP_INFO/TwainFile/DstName", u"", folders);
    config.ReadConfigNodeList(u"SERTUP_INFO/TwainFile/sourcefile", u"", sources);
    for (const ConfigEntry& folder : folders)
        for (const ConfigEntry& source : sources) {
            // The folder text carries its own trailing backslash.
            std::u16string path;
            if (!GuardedJoin(u"DeleteTwainFiles", prefix, folder.text + std::u16string(fileNamePart(source.text)),
                             kTwainPathCapacity, path))
                continue;
            WIN32_FIND_DATAW found{};
            HANDLE search = FindFirstFileW(path.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) continue;
            FindClose(search);
            deleteQuietly(path);
            debugLine(path);
        }
}

}  // namespace uninstall
