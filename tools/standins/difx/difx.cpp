// A stand-in driver-package library: the two exports the uninstaller calls, over a driver store laid
// down in the machine. A package INF "<name>.inf" is in the store when a folder
// "C:\Windows\System32\DriverStore\FileRepository\<name>.inf_amd64_*" holds "<name>.inf"; the folder's
// file "published.txt" names the INF the store published in the Windows INF folder. Uninstalling
// uninstalls that published INF and deletes the store folder. "DIFxAPI.script" beside the library
// (read at each call) turns failures on, one word a line: "lookup-fails", "zero-length", "huge-length",
// "unterminated", "uninstall-fails";
// "DIFxAPI.journal" beside it gets one line a call.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/control.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/setupapi.h"

namespace {

constexpr DWORD kNotInStore = 0xE0000302;  // the package is not in the driver store
constexpr char16_t kRepository[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository";

std::filesystem::path besideModule(const char* extension) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&besideModule), &info) || !info.dli_fname) return {};
    std::filesystem::path path(info.dli_fname);
    return path.replace_extension(extension);
}

bool scripted(const std::string& word) {
    std::ifstream script(besideModule(".script"));
    for (std::string line; std::getline(script, line);)
        if (line == word) return true;
    return false;
}

void journal(const std::string& line) {
    std::ofstream(besideModule(".journal"), std::ios::app) << line << '\n';
}

std::u16string lower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

std::u16string fileName(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The store's copy of the package named like `inf`, or empty.
std::u16string storeCopy(std::u16string_view inf) {
    const std::u16string name = fileName(inf);
    const std::u16string pattern = std::u16string(kRepository) + u"\\" + lower(name) + u"_amd64_*";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::u16string result;
    do {
        const std::u16string candidate = std::u16string(kRepository) + u"\\" + found.cFileName + u"\\" + name;
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) {
            result = candidate;
            break;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

std::string narrow(std::u16string_view text) { return platform::toUtf8(text); }

[[maybe_unused]] void deleteFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + u"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::u16string entry = found.cFileName;
            if (entry == u"." || entry == u"..") continue;
            DeleteFileW((folder + u"\\" + entry).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) DWORD WINAPI DriverPackageGetPathW(LPCWSTR infPath, LPWSTR storePath,
                                                                                    DWORD* count) {
    const std::u16string inf = infPath ? infPath : u"";
    if (!count) return ERROR_INVALID_PARAMETER;
    if (scripted("lookup-fails")) {
        journal("GetPath " + narrow(inf) + " -> scripted failure");
        return ERROR_GEN_FAILURE;
    }
    const std::u16string copy = storeCopy(inf);
    if (copy.empty()) {
        journal("GetPath " + narrow(inf) + " -> not in store");
        return kNotInStore;
    }
    if (scripted("zero-length")) {
        *count = 0;
        journal("GetPath " + narrow(inf) + " -> zero length");
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (scripted("huge-length") && !storePath) {
        *count = 40000;
        journal("GetPath " + narrow(inf) + " -> size 40000");
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (scripted("unterminated")) {
        // The path fills the buffer without its terminating NUL.
        if (storePath && *count >= copy.size()) copy.copy(storePath, copy.size());
        *count = static_cast<DWORD>(copy.size());
        journal("GetPath " + narrow(inf) + " -> unterminated");
        return storePath ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
    }
    const DWORD needed = static_cast<DWORD>(copy.size() + 1);
    if (!storePath || *count < needed) {
        *count = needed;
        journal("GetPath " + narrow(inf) + " -> size " + std::to_string(needed));
        return ERROR_INSUFFICIENT_BUFFER;
    }
    copy.copy(storePath, copy.size());
    storePath[copy.size()] = 0;
    *count = needed;
    journal("GetPath " + narrow(inf) + " -> " + narrow(copy));
    return ERROR_SUCCESS;
}

#ifndef STANDIN_WITHOUT_UNINSTALL
extern "C" __attribute__((visibility("default"))) DWORD WINAPI DriverPackageUninstallW(LPCWSTR storePath, DWORD flags,
                                                                                      void*, BOOL* needReboot) {
    const std::u16string path = storePath ? storePath : u"";
    if (needReboot) *needReboot = FALSE;
    if (scripted("uninstall-fails")) {
        journal("Uninstall " + narrow(path) + " flags " + std::to_string(flags) + " -> scripted failure");
        return ERROR_ACCESS_DENIED;
    }
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        journal("Uninstall " + narrow(path) + " -> not in store");
        return kNotInStore;
    }
    const std::u16string folder = path.substr(0, path.find_last_of(u'\\'));
    std::string oem;
    {
        HANDLE file = CreateFileW((folder + u"\\published.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char buffer[64] = {};
            DWORD read = 0;
            ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
            CloseHandle(file);
            oem.assign(buffer, read);
            while (!oem.empty() && (oem.back() == '\n' || oem.back() == '\r')) oem.pop_back();
        }
    }
    if (!oem.empty() && oem.find_first_of("\\/:") == std::string::npos)
        SetupUninstallOEMInfW(platform::fromUtf8(oem).c_str(), 1, nullptr);
    deleteFolder(folder);
    journal("Uninstall " + narrow(path) + " flags " + std::to_string(flags) + " -> removed " + oem);
    return ERROR_SUCCESS;
}
#endif
