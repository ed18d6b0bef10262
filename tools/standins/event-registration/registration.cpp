// The stand-in button-event registration library: DllRegisterServer and DllUnregisterServer append
// their name and the calling process's command line to a journal beside the module (same name,
// extension ".journal"). Its build without the two exports exports only the entry point.
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/control.h"
#include "win/base.h"
#include "win/com.h"
#include "win/kernel.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HMODULE g_module = nullptr;

std::optional<std::filesystem::path> journalPath() {
    WCHAR path[MAX_PATH] = {};
    if (!g_module || GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return std::nullopt;
    std::u16string name(path);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.erase(dot);
    return platform::hostPath(name + u".journal");
}

[[maybe_unused]] HRESULT journal(const char* call) {
    if (auto path = journalPath()) {
        std::ofstream out(*path, std::ios::app);
        out << call << ' ' << platform::toUtf8(GetCommandLineW()) << '\n';
    }
    return S_OK;
}

}  // namespace

STANDIN_EXPORT BOOL DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

#ifndef STANDIN_WITHOUT_EXPORTS
STANDIN_EXPORT HRESULT DllRegisterServer() { return journal("DllRegisterServer"); }
STANDIN_EXPORT HRESULT DllUnregisterServer() { return journal("DllUnregisterServer"); }
#endif
