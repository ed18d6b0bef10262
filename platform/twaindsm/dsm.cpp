// The TWAIN data source manager, "TWAINDSM.dll": DSM_Entry at export ordinal 1. It keeps the
// manager's states (loaded, open), lists the data sources installed on the machine (modules named
// "*.ds" below C:\Windows\twain_32, in the order of their paths), opens and closes them and passes
// every triplet addressed to an open source on to its DS_Entry. One application at a time.
//
// Each call is appended to "TWAINDSM.journal" beside the module: the destination ("DSM" or the
// source's product name), the triplet and its return code, with the condition code after a failure:
//     DSM CONTROL/PARENT/OPENDSM -> 0
//     Scanner A CONTROL/USERINTERFACE/ENABLEDS -> 0
//     DSM CONTROL/IDENTITY/GETNEXT -> 7
// The selection dialog (MSG_USERSELECT) is not shown: it answers the default source, the first one.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/ordinals.h"
#include "platform/twain_names.h"
#include "win/kernel.h"
#include "win/twain.h"
#include "win/user.h"

#define DSM_EXPORT extern "C" __attribute__((visibility("default")))

namespace fs = std::filesystem;

namespace {

// The data sources' folder below the machine's Windows folder.
std::u16string sourceFolder() { return platform::machineSettings().windowsFolder + u"\\twain_32"; }

struct Source {
    std::u16string path;  // Windows path of the module
    TW_IDENTITY identity{};
};

struct OpenSource {
    HMODULE module = nullptr;
    DSENTRYPROC entry = nullptr;
};

struct Manager {
    std::recursive_mutex mutex;
    HMODULE self = nullptr;
    bool open = false;
    TW_IDENTITY application{};
    TW_UINT16 condition = TWCC_SUCCESS;
    std::vector<Source> sources;
    size_t next = 0;  // GETNEXT's position
    std::map<TW_UINT32, OpenSource> opened;
};
Manager g_manager;

void journal(const std::string& line) {
    WCHAR path[MAX_PATH] = {};
    if (!g_manager.self || GetModuleFileNameW(g_manager.self, path, MAX_PATH) == 0) return;
    std::u16string name(path);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.erase(dot);
    if (auto host = platform::hostPath(name + u".journal")) {
        std::ofstream out(*host, std::ios::app);
        out << line << '\n';
    }
}

// The installed sources, each asked for its identity (loaded for that and freed again).
std::vector<Source> findSources() {
    std::vector<Source> found;
    auto folder = platform::hostPath(sourceFolder());
    std::error_code ec;
    if (!folder || !fs::is_directory(*folder, ec)) return found;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(*folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (it->is_regular_file(ec) && extension == ".ds") files.push_back(fs::relative(it->path(), *folder, ec));
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& relative : files) {
        std::u16string path = sourceFolder() + u"\\" + platform::fromUtf8(relative.string());
        std::replace(path.begin(), path.end(), u'/', u'\\');
        HMODULE module = LoadLibraryW(path.c_str());
        if (!module) continue;
        auto entry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DS_Entry")));
        Source source{path, {}};
        if (entry && entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source.identity) == TWRC_SUCCESS) {
            source.identity.Id = static_cast<TW_UINT32>(found.size() + 1);
            found.push_back(source);
        }
        FreeLibrary(module);
    }
    return found;
}

TW_UINT16 fail(TW_UINT16 condition) {
    g_manager.condition = condition;
    return TWRC_FAILURE;
}

// Triplets for the manager itself.
TW_UINT16 managerCall(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    Manager& m = g_manager;
    if (dg != DG_CONTROL) return fail(TWCC_BADPROTOCOL);
    if (dat == DAT_STATUS && msg == MSG_GET) {
        if (!data) return fail(TWCC_BADVALUE);
        auto* status = static_cast<TW_STATUS*>(data);
        *status = {m.condition, 0};
        m.condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
        if (m.open) return fail(TWCC_SEQERROR);
        if (!data || !IsWindow(*static_cast<HWND*>(data))) return fail(TWCC_BADVALUE);
        m.open = true;
        m.application = *origin;
        m.application.Id = 1;
        origin->Id = 1;
        m.sources = findSources();
        m.next = 0;
        return TWRC_SUCCESS;
    }
    if (!m.open) return fail(TWCC_SEQERROR);
    if (dat == DAT_PARENT && msg == MSG_CLOSEDSM) {
        if (!m.opened.empty()) return fail(TWCC_SEQERROR);  // a source is still open
        m.open = false;
        return TWRC_SUCCESS;
    }
    if (dat != DAT_IDENTITY || !data) return fail(TWCC_BADPROTOCOL);
    auto* identity = static_cast<pTW_IDENTITY>(data);
    switch (msg) {
    case MSG_GETDEFAULT:
    case MSG_USERSELECT:
        if (m.sources.empty()) return fail(TWCC_NODS);
        *identity = m.sources.front().identity;
        return TWRC_SUCCESS;
    case MSG_GETFIRST:
        m.next = 0;
        [[fallthrough]];
    case MSG_GETNEXT:
        if (m.next >= m.sources.size()) return TWRC_ENDOFLIST;
        *identity = m.sources[m.next++].identity;
        return TWRC_SUCCESS;
    case MSG_OPENDS: {
        auto source = std::find_if(m.sources.begin(), m.sources.end(), [&](const Source& s) {
            return std::strncmp(s.identity.ProductName, identity->ProductName, sizeof(TW_STR32)) == 0;
        });
        if (source == m.sources.end()) return fail(TWCC_NODS);
        if (m.opened.count(TW_UINT32{source->identity.Id})) return fail(TWCC_SEQERROR);
        HMODULE module = LoadLibraryW(source->path.c_str());
        auto entry = module ? reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DS_Entry"))) : nullptr;
        if (!entry) {
            if (module) FreeLibrary(module);
            return fail(TWCC_NODS);
        }
        *identity = source->identity;
        const TW_UINT16 rc = entry(origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, identity);
        if (rc != TWRC_SUCCESS) {
            TW_STATUS status{};
            entry(origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
            FreeLibrary(module);
            return fail(status.ConditionCode);
        }
        m.opened[TW_UINT32{identity->Id}] = {module, entry};
        return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
        auto it = m.opened.find(TW_UINT32{identity->Id});
        if (it == m.opened.end()) return fail(TWCC_NODS);
        const TW_UINT16 rc = it->second.entry(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, identity);
        if (rc != TWRC_SUCCESS) {
            TW_STATUS status{};
            it->second.entry(origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
            return fail(status.ConditionCode);
        }
        FreeLibrary(it->second.module);
        m.opened.erase(it);
        return TWRC_SUCCESS;
    }
    default: return fail(TWCC_BADPROTOCOL);
    }
}

std::string destinationName(pTW_IDENTITY destination) {
    if (!destination) return "DSM";
    for (const Source& source : g_manager.sources)
        if (source.identity.Id == destination->Id) return source.identity.ProductName;
    return "source " + std::to_string(destination->Id);
}

}  // namespace

DSM_EXPORT TW_UINT16 WINAPI DSM_Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                      TW_UINT16 msg, TW_MEMREF data) {
    Manager& m = g_manager;
    std::lock_guard lock(m.mutex);
    TW_UINT16 rc;
    // Triplets of the identity family always go to the manager, whatever the destination says.
    const bool forManager = !destination || (dg == DG_CONTROL && (dat == DAT_IDENTITY || dat == DAT_PARENT));
    if (!origin) {
        rc = fail(TWCC_BADVALUE);
    } else if (forManager) {
        rc = managerCall(origin, dg, dat, msg, data);
    } else if (!m.open) {
        rc = fail(TWCC_SEQERROR);
    } else if (auto it = m.opened.find(TW_UINT32{destination->Id}); it == m.opened.end()) {
        rc = fail(TWCC_BADDEST);
    } else {
        rc = it->second.entry(origin, dg, dat, msg, data);
    }
    std::string line = destinationName(forManager ? nullptr : destination) + " " +
                       platform::twain::tripletName(dg, dat, msg) + " -> " + std::to_string(rc);
    if (rc == TWRC_FAILURE && forManager) line += " (" + std::to_string(m.condition) + ")";
    journal(line);
    return rc;
}

DSM_EXPORT const PlatformOrdinal PlatformOrdinalExports[] = {{1, "DSM_Entry"}, {0, nullptr}};

DSM_EXPORT BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_manager.self = reinterpret_cast<HMODULE>(instance);
    return TRUE;
}
