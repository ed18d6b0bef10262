// System information: the Windows directory, the machine's locale, OS version and processor.
#include <cstring>
#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "internal.h"
#include "platform/control.h"
#include "win/kernel.h"

namespace platform::detail {
std::u16string windowsFolder() { return platform::machineSettings().windowsFolder; }
std::u16string systemFolder() { return windowsFolder() + u"\\System32"; }
}  // namespace platform::detail

namespace {

// The folder's length, or the size needed with the NUL when the buffer is too small.
UINT answerFolder(const std::u16string& folder, LPWSTR buffer, UINT size) {
    if (!buffer || folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
    platform::detail::copyOut(folder, buffer, size);
    return static_cast<UINT>(folder.size());
}

}  // namespace

UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return answerFolder(platform::detail::windowsFolder(), buffer, size);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    return answerFolder(platform::detail::systemFolder(), buffer, size);
}

LCID WINAPI GetSystemDefaultLCID() { return platform::machineSettings().lcid; }

LCID WINAPI GetUserDefaultLCID() { return platform::machineSettings().lcid; }

LANGID WINAPI GetSystemDefaultUILanguage() { return LANGIDFROMLCID(platform::machineSettings().lcid); }

LANGID WINAPI GetUserDefaultUILanguage() {
    const platform::MachineSettings settings = platform::machineSettings();
    return settings.uiLanguage ? settings.uiLanguage : LANGIDFROMLCID(settings.lcid);
}

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("GetVersionExW", size == sizeof(OSVERSIONINFOEXW) ? "extended" : "basic")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const platform::MachineSettings settings = platform::machineSettings();
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = settings.osMajor;
    info->dwMinorVersion = settings.osMinor;
    info->dwBuildNumber = settings.osBuild;
    info->dwPlatformId = settings.platformId;
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        ex->wSuiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS, as a desktop reports it
        ex->wProductType = settings.productType;
    }
    return TRUE;
}

DWORD WINAPI GetVersion() {
    const platform::MachineSettings settings = platform::machineSettings();
    return (settings.osMajor & 0xFF) | ((settings.osMinor & 0xFF) << 8) | ((settings.osBuild & 0x7FFF) << 16);
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = platform::machineSettings().processorArchitecture;
    info->dwPageSize = 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x7FFEFFFF));
    const unsigned processors = std::max(1u, std::min(32u, std::thread::hardware_concurrency()));
    info->dwNumberOfProcessors = processors;
    info->dwActiveProcessorMask = (DWORD_PTR{1} << processors) - 1;
    info->dwAllocationGranularity = 65536;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO info) { GetNativeSystemInfo(info); }

namespace {
struct RestartRegistration {
    std::mutex mutex;
    std::optional<platform::ApplicationRestart> registration;
};
RestartRegistration& restartRegistration() {
    static RestartRegistration* kept = new RestartRegistration;
    return *kept;
}
}  // namespace

HRESULT WINAPI RegisterApplicationRestart(LPCWSTR commandLine, DWORD flags) {
    constexpr DWORD known = RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_PATCH | RESTART_NO_REBOOT;
    std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string();
    if ((flags & ~known) || line.size() >= RESTART_MAX_CMD_LINE) return E_INVALIDARG;
    auto& kept = restartRegistration();
    std::lock_guard lock(kept.mutex);
    kept.registration = platform::ApplicationRestart{std::move(line), flags};
    return S_OK;
}

namespace platform {
std::optional<ApplicationRestart> applicationRestart() {
    auto& kept = restartRegistration();
    std::lock_guard lock(kept.mutex);
    return kept.registration;
}
void clearApplicationRestart() {
    auto& kept = restartRegistration();
    std::lock_guard lock(kept.mutex);
    kept.registration.reset();
}
}  // namespace platform
