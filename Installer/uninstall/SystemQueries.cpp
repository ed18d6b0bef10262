// The system queries of the uninstaller.
#include "SystemQueries.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/security.h"
#include "win/services.h"
#include "win/user.h"

namespace uninstall {
namespace {

// The table of versions: a workstation and a server id for each NT version this product knows.
int osIdOf(DWORD major, DWORD minor, bool basicOnly, bool workstation) {
    if (major == 5 && minor == 1) return kOsXp;
    if (major == 5 && minor == 2) {
        if (basicOnly) return kOsServer2003;
        if (workstation) return kOsXpX64;
        return GetSystemMetrics(SM_SERVERR2) != 0 ? kOsServer2003R2 : kOsServer2003;
    }
    struct Row {
        DWORD major, minor;
        int workstation, server;
    };
    static constexpr Row kRows[] = {
        {6, 0, kOsVista, kOsServer2008},   {6, 1, kOsWindows7, kOsServer2008R2}, {6, 2, kOsWindows8, kOsServer2012},
        {6, 3, kOsWindows81, kOsServer2012R2}, {10, 0, kOsWindows10, kOsServer2016},
    };
    for (const Row& row : kRows) {
        if (row.major != major || row.minor != minor) continue;
        // Without the extended record the product type is unknown: such a system is not recognised.
        if (basicOnly) return kOsUnknown;
        return workstation ? row.workstation : row.server;
    }
    return kOsUnknown;
}

}  // namespace

int GetOsId(int& osId) {
    osId = kOsUnknown;
    OSVERSIONINFOEXW ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    bool basicOnly = false;
    if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex))) {
        ex = {};
        ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex))) return kOsIdUnreadable;
        basicOnly = true;
    }
    if (ex.dwPlatformId == VER_PLATFORM_WIN32_NT)
        osId = osIdOf(ex.dwMajorVersion, ex.dwMinorVersion, basicOnly, ex.wProductType == VER_NT_WORKSTATION);
    OutputDebugStringW(u" ======= 系统ID =======");
    char line[160];
    std::snprintf(line, sizeof line, " ==== 返回：%d ,  OS PlatformID：%u, OS MaxID：%u , OS MinID：%u =====", osId,
                  static_cast<unsigned>(ex.dwPlatformId), static_cast<unsigned>(ex.dwMajorVersion),
                  static_cast<unsigned>(ex.dwMinorVersion));
    std::u16string wide;
    // The line is UTF-8 source text; widen it without the ANSI code page, which may not hold it.
    const int size = MultiByteToWideChar(CP_UTF8, 0, line, -1, nullptr, 0);
    wide.resize(size > 0 ? static_cast<size_t>(size) : 0);
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, line, -1, wide.data(), size);
    OutputDebugStringW(wide.c_str());
    return kOsIdRead;
}

bool Is64BitSystem() {
    HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
    if (!kernel) return false;
    using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
    auto query = reinterpret_cast<NativeInfo>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (!query) return false;
    SYSTEM_INFO info{};
    query(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsUserAdmin() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    bool admin = false;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenGroups, nullptr, 0, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
        size > 0) {
        // Two bytes more than asked for, as the program has always allocated.
        std::vector<BYTE> buffer(size + 2);
        PSID administrators = nullptr;
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()), &size) &&
            AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                     &administrators)) {
            // Every group counts, whatever its attributes (a deny-only group too).
            const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
            for (DWORD i = 0; i < groups->GroupCount && !admin; ++i)
                admin = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
            FreeSid(administrators);
        }
    }
    CloseHandle(token);
    return admin;
}

bool RebootSystem() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) return false;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
        TOKEN_PRIVILEGES privileges{};
        LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // Whether the privilege could be enabled shows in ExitWindowsEx's answer, which nobody reads.
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
    return true;
}

namespace {

// The ids of the machine's processes, all of them (the buffer grows until the list fits); false when
// the list cannot be read.
bool processIds(std::vector<DWORD>& ids) {
    ids.assign(256, 0);
    for (;;) {
        DWORD bytes = 0;
        const DWORD size = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!EnumProcesses(ids.data(), size, &bytes)) return false;
        if (bytes < size || ids.size() >= (1u << 20)) {
            ids.resize(bytes / sizeof(DWORD));
            return true;
        }
        ids.assign(ids.size() * 2, 0);
    }
}

// The base name of a process's first module; false when the process cannot be opened or read.
bool firstModuleName(DWORD id, std::u16string& name) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process) return false;
    HMODULE module = nullptr;
    DWORD needed = 0;
    WCHAR buffer[1024] = {};
    const bool read = EnumProcessModules(process, &module, sizeof module, &needed) &&
                      GetModuleBaseNameW(process, module, buffer, 1024) > 0;
    CloseHandle(process);
    if (read) name = buffer;
    return read;
}

// The id of the first process, in the order listed, whose first module has this name; 0 when none.
// `skipSelf` passes over this process.
std::optional<DWORD> findProcess(std::u16string_view moduleName, bool skipSelf) {
    std::vector<DWORD> ids;
    if (!processIds(ids)) return std::nullopt;
    const std::u16string wanted(moduleName);
    for (DWORD id : ids) {
        if (id == 0 || (skipSelf && id == GetCurrentProcessId())) continue;
        std::u16string name;
        if (firstModuleName(id, name) && lstrcmpiW(name.c_str(), wanted.c_str()) == 0) return id;
    }
    return DWORD{0};
}

}  // namespace

int IsProcessRunning(std::u16string_view moduleName) {
    const std::optional<DWORD> found = findProcess(moduleName, false);
    return found && *found ? kProcessFound : kProcessNotFound;
}

void KillProcessByName(std::u16string_view moduleName) {
    const std::optional<DWORD> found = findProcess(moduleName, true);
    if (!found || !*found) return;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_VM_READ, FALSE, *found);
    if (!process) return;
    TerminateProcess(process, 0);
    CloseHandle(process);
}

namespace {

constexpr char16_t kStillImageService[] = u"stisvc";
// The stop's whole budget, in machine time.
constexpr ULONGLONG kStopBudget = 3000;
// Rounds of one wait loop at most, so that a wait hint of 0 (which moves no virtual clock) ends too.
constexpr int kMaxWaitRounds = 1000;
// The start waits no longer than this in all, however its check point moves.
constexpr ULONGLONG kStartLimit = 120000;

// The dependents the last stop stopped, in the order stopped.
struct StoppedDependents {
    std::mutex mutex;
    std::vector<std::u16string> names;
};
StoppedDependents& stoppedDependents() {
    static StoppedDependents* kept = new StoppedDependents;
    return *kept;
}

bool queryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status,
                                &needed) != FALSE;
}

class StopBudget {
public:
    StopBudget() : start_(GetTickCount64()) {}
    bool exceeded() const { return GetTickCount64() - start_ >= kStopBudget; }
    // Sleeps the service's wait hint, but never past the budget.
    void sleepHint(DWORD hint) const {
        const ULONGLONG spent = GetTickCount64() - start_;
        const ULONGLONG left = spent >= kStopBudget ? 0 : kStopBudget - spent;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(hint, left)));
    }

private:
    ULONGLONG start_;
};

// Waits until the service is stopped: true when it is, false on a failed query or past the budget.
bool waitStopped(SC_HANDLE service, DWORD state, DWORD hint, const StopBudget& budget) {
    for (int round = 0; state != SERVICE_STOPPED; ++round) {
        if (round == kMaxWaitRounds) return false;
        budget.sleepHint(hint);
        SERVICE_STATUS_PROCESS status{};
        if (!queryStatus(service, status)) return false;
        state = status.dwCurrentState;
        hint = status.dwWaitHint;
        if (state == SERVICE_STOPPED) return true;
        if (budget.exceeded()) return false;
    }
    return true;
}

// Stops the active dependents in the order listed; false gives up the whole stop.
bool stopDependents(SC_HANDLE manager, SC_HANDLE service, const StopBudget& budget, std::vector<std::u16string>& stopped) {
    DWORD needed = 0, count = 0;
    if (EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return true;  // none
    if (GetLastError() != ERROR_MORE_DATA) return false;
    std::vector<ENUM_SERVICE_STATUSW> buffer(needed / sizeof(ENUM_SERVICE_STATUSW) + 1);
    if (!EnumDependentServicesW(service, SERVICE_ACTIVE, buffer.data(),
                                static_cast<DWORD>(buffer.size() * sizeof(ENUM_SERVICE_STATUSW)), &needed, &count))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        SC_HANDLE dependent = OpenServiceW(manager, buffer[i].lpServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS);
        if (!dependent) return false;
        SERVICE_STATUS status{};
        bool ok = ControlService(dependent, SERVICE_CONTROL_STOP, &status) != FALSE;
        if (ok) stopped.push_back(buffer[i].lpServiceName);
        ok = ok && waitStopped(dependent, status.dwCurrentState, status.dwWaitHint, budget);
        CloseServiceHandle(dependent);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

void StopServiceWithDependents(std::u16string_view) {
    const StopBudget budget;
    std::vector<std::u16string> stopped;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return;
    SC_HANDLE service =
        OpenServiceW(manager, kStillImageService, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_ENUMERATE_DEPENDENTS);
    SERVICE_STATUS_PROCESS status{};
    if (service && queryStatus(service, status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (status.dwCurrentState == SERVICE_STOP_PENDING) {
            // Another stop is under way: wait for it within the budget.
            waitStopped(service, status.dwCurrentState, status.dwWaitHint, budget);
        } else if (stopDependents(manager, service, budget, stopped)) {
            SERVICE_STATUS reply{};
            if (ControlService(service, SERVICE_CONTROL_STOP, &reply))
                waitStopped(service, reply.dwCurrentState, reply.dwWaitHint, budget);
        }
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    auto& kept = stoppedDependents();
    std::lock_guard lock(kept.mutex);
    kept.names = std::move(stopped);
}

bool StartServiceAndWait(std::u16string_view) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceW(manager, kStillImageService, SERVICE_ALL_ACCESS);
    SERVICE_STATUS_PROCESS status{};
    bool running = false;
    if (service && (StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) &&
        queryStatus(service, status)) {
        const ULONGLONG begun = GetTickCount64();
        ULONGLONG clock = begun;
        DWORD checkPoint = status.dwCheckPoint;
        while (status.dwCurrentState == SERVICE_START_PENDING) {
            // A tenth of the hint, within one and ten seconds.
            Sleep(std::clamp<DWORD>(status.dwWaitHint / 10, 1000, 10000));
            const DWORD hint = status.dwWaitHint;
            if (!queryStatus(service, status)) break;
            const ULONGLONG now = GetTickCount64();
            if (status.dwCheckPoint > checkPoint) {
                clock = now;
                checkPoint = status.dwCheckPoint;
            } else if (now - clock > hint) {
                break;
            }
            if (now - begun >= kStartLimit) break;
        }
        running = status.dwCurrentState == SERVICE_RUNNING;
    }
    if (running) {
        // The dependents the stop stopped run again, the last stopped first.
        std::vector<std::u16string> dependents;
        {
            auto& kept = stoppedDependents();
            std::lock_guard lock(kept.mutex);
            dependents.swap(kept.names);
        }
        for (auto name = dependents.rbegin(); name != dependents.rend(); ++name) {
            if (SC_HANDLE dependent = OpenServiceW(manager, name->c_str(), SERVICE_START)) {
                StartServiceW(dependent, 0, nullptr);
                CloseServiceHandle(dependent);
            }
        }
    } else {
        OutputDebugStringW(u"StartServiceAndWait: stisvc is not running");
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running;
}

}  // namespace uninstall
