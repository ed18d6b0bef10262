#include "DeviceRemoval.h"

#include <string>

#include "PathGuard.h"
#include "RemovalLog.h"
#include "win/files.h"
#include "win/kernel.h"

namespace uninstall {
namespace {

constexpr const char16_t* kInfSections[] = {u"Zandrel", u"Zandrel.NTx86", u"Printer", u"Printer.NTx86"};
constexpr size_t kInfPathCapacity = 260;
constexpr size_t kInfValueCapacity = 260;
constexpr size_t kInfNameCapacity = 130;

using UninstallOemInfFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, PVOID);

std::u16string format(std::u16string_view a, std::u16string_view b, std::u16string_view c = {},
                      std::u16string_view d = {}) {
    return std::u16string(a) + std::u16string(b) + std::u16string(c) + std::u16string(d);
}

std::u16string number(int value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

// The INF and its precompiled ".PNF" deleted directly, as the 5.0 system needs it.
void deleteInfAndPnf(const std::u16string& folder, const std::u16string& name) {
    std::u16string inf, pnf;
    const size_t dot = name.rfind(u'.');
    const std::u16string pnfName = (dot == std::u16string::npos ? name : name.substr(0, dot)) + u".PNF";
    if (GuardedJoin(u"UninstallOemInf", folder, name, kInfPathCapacity, inf, JoinedText::Name)) {
        SetFileAttributesW(inf.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(inf.c_str())) logRemovalFailure(u"DeleteFileW", inf, GetLastError());
    }
    if (GuardedJoin(u"UninstallOemInf", folder, pnfName, kInfPathCapacity, pnf, JoinedText::Name)) DeleteFileW(pnf.c_str());
}

void uninstallThroughSetupApi(const std::u16string& folder, const std::u16string& name) {
    HMODULE library = LoadLibraryW(u"setupapi.dll");
    if (!library) {
        logRemovalFailure(u"LoadLibraryW", u"setupapi.dll", GetLastError());
        return;
    }
    std::u16string inf;
    if (GuardedJoin(u"UninstallOemInf", folder, name, kInfPathCapacity, inf, JoinedText::Name))
        SetFileAttributesW(inf.c_str(), FILE_ATTRIBUTE_NORMAL);
    auto uninstall = reinterpret_cast<UninstallOemInfFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "SetupUninstallOEMInfW")));
    if (uninstall) {
        const std::u16string shortName = name.substr(0, kInfNameCapacity - 1);
        uninstall(shortName.c_str(), 1 /* SUOI_FORCEDELETE */, nullptr);
    } else {
        logRemovalFailure(u"GetProcAddress", u"SetupUninstallOEMInfW", GetLastError());
    }
    FreeLibrary(library);
}

}  // namespace

int UninstallOemInf(std::u16string_view modelKey, std::u16string_view expectedValue) {
    if (modelKey.empty() || expectedValue.empty()) return kOemInfSearched;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const bool versionRead = GetVersionExW(&version) != FALSE;
    WCHAR windows[260] = {};
    const UINT length = GetWindowsDirectoryW(windows, 260);
    if (length == 0 || length >= 260) return kOemInfSearched;
    const std::u16string folder = std::u16string(windows, length) + u"\\inf";
    // Normal while the INF files go, its own attributes back afterwards.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    auto restore = [&](int result) {
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(folder.c_str(), attributes);
        return result;
    };
    const std::u16string pattern = folder + u"\\oem*.inf";
    const std::u16string key(modelKey), expected(expectedValue);
    for (const char16_t* section : kInfSections) {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return restore(kOemInfNoneFound);
        do {
            const std::u16string name = found.cFileName;
            std::u16string path;
            if (!GuardedJoin(u"UninstallOemInf", folder, name, kInfPathCapacity, path, JoinedText::Name)) continue;
            WCHAR value[kInfValueCapacity] = {};
            GetPrivateProfileStringW(section, key.c_str(), u"", value, kInfValueCapacity, path.c_str());
            const std::u16string read = value;
            const int order = read.compare(expected);
            const int verdict = order == 0 ? 0 : (order < 0 ? -1 : 1);
            OutputDebugStringW(format(u"---inf型号信息--- ", read, u"=====", expected).c_str());
            OutputDebugStringW(format(u"====是否目标inf：", number(verdict), u" ").c_str());
            if (verdict != 0 || !versionRead) continue;
            if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0)
                deleteInfAndPnf(folder, name);
            else
                uninstallThroughSetupApi(folder, name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return restore(kOemInfSearched);
}

}  // namespace uninstall
