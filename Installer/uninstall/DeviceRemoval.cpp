#include "DeviceRemoval.h"

#include <string>

#include <vector>

#include "PathGuard.h"
#include "RemovalLog.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/setupapi.h"
#include "win/user.h"

namespace uninstall {
namespace {

constexpr const char16_t* kInfSections[] = {u"Zandrel", u"Zandrel.NTx86", u"Printer", u"Printer.NTx86"};
constexpr size_t kInfPathCapacity = 260;
constexpr size_t kInfValueCapacity = 260;
constexpr size_t kInfNameCapacity = 130;

using UninstallOemInfFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, PVOID);
using UninstallDeviceFunction = BOOL(WINAPI*)(HWND, HDEVINFO, PSP_DEVINFO_DATA, DWORD, LPBOOL);

constexpr size_t kUsbInfoEntries = 30;
constexpr size_t kUsbInfoCharacters = 129;
constexpr DWORD kUsbIdCapacity = 1024;
constexpr ULONG kDeviceIdCapacity = 200;

template <typename Function>
Function exportOf(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

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
    auto uninstall = exportOf<UninstallOemInfFunction>(library, "SetupUninstallOEMInfW");
    if (uninstall) {
        const std::u16string shortName = name.substr(0, kInfNameCapacity - 1);
        uninstall(shortName.c_str(), 1 /* SUOI_FORCEDELETE */, nullptr);
    } else {
        logRemovalFailure(u"GetProcAddress", u"SetupUninstallOEMInfW", GetLastError());
    }
    FreeLibrary(library);
}

char16_t foldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// A match text begins the identifier, ASCII letters compared in one case; an empty text matches nothing.
bool beginsId(std::u16string_view text, std::u16string_view id) {
    if (text.empty() || text.size() > id.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (foldAscii(text[i]) != foldAscii(id[i])) return false;
    return true;
}

// A member of a device set: its place and its identifier (empty when it could not be read).
struct SetMember {
    SP_DEVINFO_DATA data{};
    std::u16string id;
};

// Every member of the set, read before anything is removed so that a removal cannot move a neighbour
// past the walk.
template <typename ReadId>
std::vector<SetMember> membersOf(HDEVINFO set, ReadId readId) {
    std::vector<SetMember> members;
    for (DWORD index = 0;; ++index) {
        SetMember member;
        member.data.cbSize = sizeof member.data;
        if (!SetupDiEnumDeviceInfo(set, index, &member.data)) break;
        member.id = readId(member.data);
        members.push_back(std::move(member));
    }
    return members;
}

// The 200-character identifier of a device node, read on the set's machine (none: the local one).
std::u16string nodeId(DEVINST node, HMACHINE machine) {
    WCHAR id[kDeviceIdCapacity] = {};
    if (CM_Get_Device_ID_ExW(node, id, kDeviceIdCapacity, 0, machine) != CR_SUCCESS) return {};
    return id;
}

// Removes every device of the printer class below the enumerator whose identifier a text begins.
int removeDevicesBelow(const char16_t* enumerator, const std::vector<std::u16string>& texts) {
    HDEVINFO set = SetupDiGetClassDevsExW(&GUID_DEVCLASS_PRINTER, enumerator, nullptr, DIGCF_ALLCLASSES, nullptr,
                                          nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return kDevicesNotWalked;
    std::vector<SetMember> matched;
    for (SetMember& member : membersOf(set, [](const SP_DEVINFO_DATA& data) { return nodeId(data.DevInst, nullptr); })) {
        OutputDebugStringW((member.id + u"\r\n").c_str());
        for (const std::u16string& text : texts) {
            if (!beginsId(text, member.id)) continue;
            matched.push_back(std::move(member));
            break;
        }
    }
    for (SetMember& member : matched) {
        SP_DEVINFO_LIST_DETAIL_DATA_W detail{};
        detail.cbSize = sizeof detail;
        if (SetupDiGetDeviceInfoListDetailW(set, &detail) &&
            !nodeId(member.data.DevInst, detail.RemoteMachineHandle).empty() &&
            !SetupDiCallClassInstaller(DIF_REMOVE, set, &member.data))
            logRemovalFailure(u"SetupDiCallClassInstaller", member.id, GetLastError());
        OutputDebugStringW((u"DeleteDevices: deleted successfully : " + member.id).c_str());
    }
    SetupDiDestroyDeviceInfoList(set);
    return kDevicesWalked;
}

std::vector<std::u16string> textsOf(const ConfigList& list) {
    std::vector<std::u16string> texts;
    for (const ConfigEntry& entry : list) texts.push_back(entry.text);
    return texts;
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

bool FindUsbInfoForDevice(std::u16string_view deviceId, std::u16string& id, const SetupConfig& config) {
    ConfigList list;
    config.ReadConfigList(u"/SERTUP_INFO/USB/USB_Info", u"ID", list);
    if (list.size() > kUsbInfoEntries) list.resize(kUsbInfoEntries);
    bool found = false;
    for (const ConfigEntry& entry : list) {
        if (!beginsId(std::u16string_view(entry.text).substr(0, kUsbInfoCharacters), deviceId)) continue;
        id = entry.attribute.substr(0, kUsbInfoCharacters);
        found = true;
    }
    return found;
}

int UninstallUsbDevices(const SetupConfig& config) {
    HMODULE library = LoadLibraryW(u"newdev.dll");
    if (!library) {
        MessageBoxW(nullptr, u"LoadLibrary fail", nullptr, MB_OK);
        return kUsbNotWalked;
    }
    auto uninstallDevice = exportOf<UninstallDeviceFunction>(library, "DiUninstallDevice");
    if (!uninstallDevice) {
        OutputDebugStringW(u"GetProcAddress fail");
        FreeLibrary(library);
        return kUsbNotWalked;
    }
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(u"SetupDiGetClassDevs fail");
        FreeLibrary(library);
        return kUsbNotWalked;
    }
    auto members = membersOf(set, [&](SP_DEVINFO_DATA& data) -> std::u16string {
        WCHAR id[kUsbIdCapacity] = {};
        if (!SetupDiGetDeviceInstanceIdW(set, &data, id, kUsbIdCapacity, nullptr)) return {};
        return id;
    });
    for (SetMember& member : members) {
        std::u16string usbId;
        if (!FindUsbInfoForDevice(member.id, usbId, config)) continue;
        if (!uninstallDevice(nullptr, set, &member.data, 0, nullptr)) {
            const std::string text = "faile error " + std::to_string(GetLastError());
            OutputDebugStringW(std::u16string(text.begin(), text.end()).c_str());
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    FreeLibrary(library);
    return kUsbWalked;
}

int DeleteScannerDevices(std::u16string_view, const SetupConfig& config) {
    OutputDebugStringW(u"Uninstall DeleteDevices : ");
    ConfigList list;
    config.ReadConfigList(u"/SERTUP_INFO/ScannerHID/ScannerInfo", u"ID", list);
    return removeDevicesBelow(u"USB", textsOf(list));
}

int DeletePrintDevices(std::u16string_view key, const SetupConfig& config) {
    std::vector<std::u16string> texts;
    if (key.empty()) {
        ConfigList list;
        config.ReadConfigList(u"/SERTUP_INFO/DEVICEFLAG/Flag", u"ID", list);
        texts = textsOf(list);
    } else {
        std::u16string text;
        if (!config.loaded() || !config.ReadConfigTextByAttr(u"/SERTUP_INFO/DEVICEFLAG/Flag", key, text) ||
            text.empty()) {
            OutputDebugStringW(u"atchDrvHID is NULL_CONTEXT");
            return kDevicesNotWalked;
        }
        texts.push_back(text);
    }
    return removeDevicesBelow(u"USBPRINT", texts);
}

void SetDeviceProperty(std::u16string_view enumerator) {
    if (enumerator.empty()) return;
    const std::u16string selection(enumerator);
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PRINTER, selection.c_str(), nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
        DWORD size = 0;
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_CONFIGFLAGS, nullptr, nullptr, 0, &size);
        if (size == 0) continue;  // no ConfigFlags: nothing to mark on this device
        DWORD flags = 0;
        if (size != sizeof flags ||
            !SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_CONFIGFLAGS, nullptr,
                                               reinterpret_cast<PBYTE>(&flags), sizeof flags, nullptr))
            break;
        flags |= CONFIGFLAG_REINSTALL;
        if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_CONFIGFLAGS, reinterpret_cast<const BYTE*>(&flags),
                                               sizeof flags))
            break;
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace uninstall
