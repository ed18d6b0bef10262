// Modules: our own shared objects under their Windows names.
#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <system_error>

#include "internal.h"
#include "platform/ordinals.h"
#include "platform/resources.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace {

using EntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct Module {
    void* library = nullptr;
    int references = 0;
    std::u16string windowsPath;
};
struct ModuleTable {
    std::recursive_mutex mutex;
    std::map<HMODULE, Module> modules;
};
ModuleTable& table() {
    static ModuleTable* modules = new ModuleTable;
    return *modules;
}

bool hasFolder(std::u16string_view name) {
    return name.find(u'\\') != std::u16string_view::npos || name.find(u'/') != std::u16string_view::npos ||
           name.find(u':') != std::u16string_view::npos;
}

// Finds a bare module name: System32 of the machine, then the host folders of PLATFORM_MODULE_PATH,
// where "X.dll" may also stand as "X.so" or "libX.so".
std::optional<std::pair<fs::path, std::u16string>> findModule(const std::u16string& name) {
    std::u16string system = platform::detail::systemFolder() + u"\\" + name;
    auto host = platform::hostPath(system);
    std::error_code ec;
    if (host && fs::is_regular_file(*host, ec)) return std::make_pair(*host, system);
    const char* searchPath = std::getenv("PLATFORM_MODULE_PATH");
    if (!searchPath) return std::nullopt;
    std::string utf8 = platform::toUtf8(name);
    std::string stem = utf8.size() > 4 && platform::detail::foldCase(name.substr(name.size() - 4)) == u".DLL"
                           ? utf8.substr(0, utf8.size() - 4)
                           : utf8;
    std::string folders = searchPath;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        fs::path folder = folders.substr(start, end - start);
        for (const std::string& candidate : {utf8, stem + ".so", "lib" + stem + ".so"}) {
            if (!folder.empty() && fs::is_regular_file(folder / candidate, ec))
                return std::make_pair(folder / candidate, name);
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string name(fileName);
    if (auto fault = platform::detail::takeFault("LoadLibrary", platform::toUtf8(name))) {
        SetLastError(fault->error ? fault->error : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    size_t slash = name.find_last_of(u"\\/");
    if (name.find(u'.', slash == std::u16string::npos ? 0 : slash) == std::u16string::npos) name += u".dll";
    bool absent = false;
    if (HMODULE system = platform::detail::loadSystemModule(name, &absent)) return system;
    if (absent) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::optional<std::pair<fs::path, std::u16string>> found;
    if (hasFolder(name)) {
        auto host = platform::hostPath(name);
        std::error_code ec;
        if (host && fs::is_regular_file(*host, ec)) found = std::make_pair(*host, name);
    } else {
        found = findModule(name);
    }
    if (!found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto& modules = table();
    std::lock_guard lock(modules.mutex);
    if (platform::resources::isResourceFile(found->first)) {
        // A language resource library: read as a resource file, nothing dlopened (library stays null).
        HMODULE module = platform::resources::openModule(found->first);  // sets the error
        if (!module) return nullptr;
        Module& record = modules.modules[module];
        if (record.references++ == 0) record.windowsPath = found->second;
        return module;
    }
    void* library = dlopen(found->first.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::string why = std::string("LoadLibrary: ") + dlerror();
        OutputDebugStringA(why.c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    HMODULE module = reinterpret_cast<HMODULE>(library);
    Module& record = modules.modules[module];
    if (record.references++ == 0) {
        record.library = library;
        record.windowsPath = found->second;
        if (auto entry = reinterpret_cast<EntryPoint>(dlsym(library, "DllEntryPoint"))) {
            if (!entry(reinterpret_cast<HINSTANCE>(module), DLL_PROCESS_ATTACH, nullptr)) {
                modules.modules.erase(module);
                dlclose(library);
                SetLastError(1114);  // ERROR_DLL_INIT_FAILED
                return nullptr;
            }
        }
    } else {
        dlclose(library);  // the table holds one reference of the loader per module
    }
    return module;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryW(platform::detail::ansiToWide(fileName).c_str());
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (platform::detail::isSystemModule(module)) {
        const bool named = procName && reinterpret_cast<uintptr_t>(procName) >= 0x10000;
        if (FARPROC function = named ? platform::detail::systemExport(module, procName) : nullptr) return function;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto& modules = table();
    std::lock_guard lock(modules.mutex);
    auto it = modules.modules.find(module);
    if (it == modules.modules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!procName || !it->second.library) {  // nothing by a resource module
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const uintptr_t ordinal = reinterpret_cast<uintptr_t>(procName);
    if (ordinal < 0x10000) {
        // By ordinal: the module's ordinal table names the export (platform/ordinals.h).
        procName = nullptr;
        if (auto* ordinals = static_cast<const PlatformOrdinal*>(dlsym(it->second.library, PLATFORM_ORDINAL_TABLE)))
            for (const PlatformOrdinal* entry = ordinals; entry->ordinal != 0 && entry->name; ++entry)
                if (entry->ordinal == ordinal) procName = entry->name;
        if (!procName) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    void* symbol = dlsym(it->second.library, procName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (platform::detail::freeSystemModule(module)) return TRUE;
    auto& modules = table();
    std::lock_guard lock(modules.mutex);
    auto it = modules.modules.find(module);
    if (it == modules.modules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--it->second.references == 0) {
        void* library = it->second.library;
        if (!library) {  // a resource module
            modules.modules.erase(it);
            platform::resources::closeModule(module);
            return TRUE;
        }
        if (auto entry = reinterpret_cast<EntryPoint>(dlsym(library, "DllEntryPoint")))
            entry(reinterpret_cast<HINSTANCE>(module), DLL_PROCESS_DETACH, nullptr);
        modules.modules.erase(it);
        dlclose(library);
    }
    return TRUE;
}

namespace {

struct ProgramState {
    std::mutex mutex;
    bool chosen = false;
    std::u16string path;
    std::u16string commandLine;
};
ProgramState& program() {
    static ProgramState* state = new ProgramState;
    return *state;
}

// PLATFORM_PROGRAM, else "C:\Program Files\<host executable name>.exe".
std::u16string defaultProgramPath() {
    if (const char* chosen = std::getenv("PLATFORM_PROGRAM"); chosen && *chosen) return platform::fromUtf8(chosen);
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    std::u16string name = ec ? u"program" : platform::fromUtf8(self.filename().string());
    if (name.size() < 4 || platform::detail::foldCase(name.substr(name.size() - 4)) != u".EXE") name += u".exe";
    return u"C:\\Program Files\\" + name;
}

// Copies a module path out as GetModuleFileNameW does: cut and ERROR_INSUFFICIENT_BUFFER when short.
DWORD copyModulePath(const std::u16string& path, LPWSTR fileName, DWORD size) {
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        lstrcpynW(fileName, path.c_str(), static_cast<int>(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    platform::detail::copyOut(path, fileName, size);
    return static_cast<DWORD>(path.size());
}

std::u16string fileNameOf(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// The running program's module handle: never a loaded module's (those are heap addresses).
HMODULE platform::detail::programModule() { return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000)); }

using platform::detail::programModule;

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
    if (!moduleName) return programModule();
    if (HMODULE system = platform::detail::loadedSystemModule(moduleName)) return system;
    const std::u16string wanted = platform::detail::foldCase(moduleName);
    auto& modules = table();
    std::lock_guard lock(modules.mutex);
    for (const auto& [handle, module] : modules.modules) {
        const std::u16string path = platform::detail::foldCase(module.windowsPath);
        const std::u16string name = fileNameOf(path);
        if (path == wanted || name == wanted || name == wanted + u".DLL") return handle;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

LPWSTR WINAPI GetCommandLineW() {
    auto& state = program();
    std::lock_guard lock(state.mutex);
    if (state.commandLine.empty()) {
        // A program started by CreateProcessW gets its command line from its parent.
        if (const char* given = std::getenv("PLATFORM_COMMAND_LINE"); given && *given) {
            state.commandLine = platform::fromUtf8(given);
            return state.commandLine.data();
        }
        if (!state.chosen) {
            state.path = defaultProgramPath();
            state.chosen = true;
        }
        state.commandLine = u"\"" + state.path + u"\"";
    }
    return state.commandLine.data();
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (auto fault = platform::detail::takeFault("GetModuleFileNameW")) {
        SetLastError(fault->error ? fault->error : ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!module || module == programModule()) return copyModulePath(platform::programPath(), fileName, size);
    if (auto system = platform::detail::systemModulePath(module)) return copyModulePath(*system, fileName, size);
    std::u16string path;
    {
        auto& modules = table();
        std::lock_guard lock(modules.mutex);
        auto it = modules.modules.find(module);
        if (it == modules.modules.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = it->second.windowsPath;
    }
    return copyModulePath(path, fileName, size);
}

namespace platform {

void setProgramPath(std::u16string path) {
    auto& state = program();
    std::lock_guard lock(state.mutex);
    state.path = std::move(path);
    state.chosen = true;
}

void setCommandLine(std::u16string commandLine) {
    auto& state = program();
    std::lock_guard lock(state.mutex);
    state.commandLine = std::move(commandLine);
}

std::u16string programPath() {
    auto& state = program();
    std::lock_guard lock(state.mutex);
    if (!state.chosen) {
        state.path = defaultProgramPath();
        state.chosen = true;
    }
    return state.path;
}

}  // namespace platform
