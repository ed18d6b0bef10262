// System modules: "kernel32.dll" and the other system libraries, answered by the layer itself.
//
// A system module has a handle of the layer (the address of its entry below), a Windows path in
// System32 and a list of exports, each one of the layer's own functions. Programs reach them as on
// Windows: GetModuleHandleW (modules every process has are always there), LoadLibraryW/FreeLibrary
// (the others count references), GetProcAddress and GetModuleFileNameW. A test removes an export
// with platform::removeSystemExport to reach the path a program takes when the function is missing;
// the removal is the machine's ("removed-exports" below the root), so child processes see it too.
//
// Adding an export: one line in kExports (and, for a new library, one line in kModules).
#include <algorithm>
#include <cctype>
#include <sstream>
#include <stdexcept>

#include "internal.h"
#include "devices/device_tree.h"
#include "wireless/radio_internal.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/setupapi.h"
#include "win/sti.h"
#include "win/wlan.h"

namespace fs = std::filesystem;

namespace {

struct SystemModule {
    const char16_t* name;  // file name in C:\Windows\System32, lower case
    bool everyProcess;     // loaded in every process: GetModuleHandleW finds it without LoadLibraryW
    int references = 0;    // LoadLibraryW calls not yet freed
    // Whether the machine has it now (null: always); an absent one is not found (ERROR_MOD_NOT_FOUND).
    bool (*present)(std::u16string_view name) = nullptr;
};

// The system libraries the layer answers.
SystemModule kModules[] = {
    {u"kernel32.dll", true},
    {u"sti.dll", false},  // the still-image library
    {u"setupapi.dll", false},  // the device-installation library's INF calls
    {u"newdev.dll", false, 0, &platform::detail::newdevPresent},  // device uninstallation, from 6.1 on
    // The wireless interfaces, there as the machine's radio says.
    {u"wzcsapi.dll", false, 0, &platform::detail::wirelessModulePresent},
    {u"wlanapi.dll", false, 0, &platform::detail::wirelessModulePresent},
};

struct SystemExport {
    const char16_t* module;
    const char* name;
    FARPROC function;
};

#define SYSTEM_EXPORT(module, function) \
    {module, #function, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&function))}
// The exports of the system libraries, by library.
const SystemExport kExports[] = {
    SYSTEM_EXPORT(u"kernel32.dll", GetNativeSystemInfo),
    SYSTEM_EXPORT(u"kernel32.dll", GetSystemInfo),
    SYSTEM_EXPORT(u"kernel32.dll", GetDiskFreeSpaceExW),
    SYSTEM_EXPORT(u"kernel32.dll", GetDiskFreeSpaceW),
    SYSTEM_EXPORT(u"kernel32.dll", RegisterApplicationRestart),
    SYSTEM_EXPORT(u"sti.dll", StiCreateInstance),
    SYSTEM_EXPORT(u"setupapi.dll", SetupUninstallOEMInfW),
    SYSTEM_EXPORT(u"newdev.dll", DiUninstallDevice),
    SYSTEM_EXPORT(u"wzcsapi.dll", WZCEnumInterfaces),
    SYSTEM_EXPORT(u"wzcsapi.dll", WZCQueryInterface),
    SYSTEM_EXPORT(u"wzcsapi.dll", WZCRefreshInterface),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanOpenHandle),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanCloseHandle),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanEnumInterfaces),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanGetNetworkBssList),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanFreeMemory),
    SYSTEM_EXPORT(u"wlanapi.dll", WlanGetAvailableNetworkList),
};
#undef SYSTEM_EXPORT

std::mutex& referenceMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

HMODULE handleOf(SystemModule& module) { return reinterpret_cast<HMODULE>(&module); }

SystemModule* byHandle(HMODULE handle) {
    for (SystemModule& module : kModules)
        if (handleOf(module) == handle) return &module;
    return nullptr;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// A library name as LoadLibraryW and GetModuleHandleW take it: the bare name with or without ".dll",
// or its whole path in System32; names compare without regard to case.
SystemModule* byName(std::u16string_view name) {
    const std::u16string wanted = platform::detail::foldCase(name);
    for (SystemModule& module : kModules) {
        const std::u16string file = platform::detail::foldCase(module.name);
        const std::u16string stem = file.substr(0, file.size() - 4);  // without ".DLL"
        if (wanted == file || wanted == stem || wanted == u"C:\\WINDOWS\\SYSTEM32\\" + file) return &module;
    }
    return nullptr;
}

bool isPresent(const SystemModule& module) { return !module.present || module.present(module.name); }

fs::path removedFile() { return platform::machineRoot() / "removed-exports"; }
fs::path removedLock() { return platform::machineRoot() / "removed-exports.lock"; }

// "module export" lines, module in lower case.
std::string removalKey(std::string_view module, std::string_view exportName) {
    return lower(module) + " " + std::string(exportName);
}

bool isRemoved(const SystemExport& entry) {
    platform::detail::MachineLock lock(removedLock(), false);
    bool ok = false;
    const std::string text = platform::detail::readHostFile(removedFile(), &ok);
    if (!ok) return false;
    const std::string key = removalKey(platform::toUtf8(entry.module), entry.name);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line == key) return true;
    return false;
}

}  // namespace

namespace platform::detail {

HMODULE loadedSystemModule(std::u16string_view name) {
    SystemModule* module = byName(name);
    if (!module || !isPresent(*module)) return nullptr;
    std::lock_guard lock(referenceMutex());
    return module->everyProcess || module->references > 0 ? handleOf(*module) : nullptr;
}

HMODULE loadSystemModule(std::u16string_view name, bool* absent) {
    SystemModule* module = byName(name);
    if (absent) *absent = module && !isPresent(*module);
    if (!module || !isPresent(*module)) return nullptr;
    std::lock_guard lock(referenceMutex());
    ++module->references;
    return handleOf(*module);
}

bool isSystemModule(HMODULE handle) { return byHandle(handle) != nullptr; }

bool freeSystemModule(HMODULE handle) {
    SystemModule* module = byHandle(handle);
    if (!module) return false;
    std::lock_guard lock(referenceMutex());
    if (module->references > 0) --module->references;
    return true;
}

std::optional<std::u16string> systemModulePath(HMODULE handle) {
    SystemModule* module = byHandle(handle);
    if (!module) return std::nullopt;
    return platform::detail::systemFolder() + u"\\" + std::u16string(module->name);
}

FARPROC systemExport(HMODULE handle, const char* name) {
    SystemModule* module = byHandle(handle);
    if (!module || !name) return nullptr;
    for (const SystemExport& entry : kExports) {
        if (std::u16string_view(entry.module) != module->name || std::string_view(entry.name) != name) continue;
        return isRemoved(entry) ? nullptr : entry.function;
    }
    return nullptr;
}

}  // namespace platform::detail

namespace platform {

void removeSystemExport(std::string_view module, std::string_view exportName) {
    const bool known = std::any_of(std::begin(kExports), std::end(kExports), [&](const SystemExport& entry) {
        return lower(toUtf8(entry.module)) == lower(module) && entry.name == exportName;
    });
    if (!known)
        throw std::invalid_argument("no system export " + std::string(exportName) + " in " + std::string(module));
    detail::MachineLock lock(removedLock(), true);
    bool ok = false;
    std::string text = detail::readHostFile(removedFile(), &ok);
    text += removalKey(module, exportName) + "\n";
    detail::writeHostFile(removedFile(), text);
}

void restoreSystemExports() {
    detail::MachineLock lock(removedLock(), true);
    std::error_code ec;
    fs::remove(removedFile(), ec);
}

}  // namespace platform
