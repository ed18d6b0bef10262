// The machine's device tree and the device set-up interface over it. The tree is the journal
// "devices/tree" under the machine root: one record a device (its instance id and whether it is
// present) followed by one record for each of its interfaces (class GUID, path, endpoint, read
// time-out). A device information set copies what it selected when it is made.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "../internal.h"
#include "device_tree.h"
#include "win/setupapi.h"

namespace fs = std::filesystem;

namespace platform::detail {
namespace {

const fs::path kTree = fs::path("devices") / "tree";
constexpr size_t kFields = 7;

std::u16string timeoutText(const std::optional<DWORD>& timeout) {
    return timeout ? fromUtf8(std::to_string(*timeout)) : u"never";
}

std::optional<DWORD> timeoutOf(const std::u16string& text) {
    if (text == u"never") return std::nullopt;
    return static_cast<DWORD>(std::strtoul(toUtf8(text).c_str(), nullptr, 10));
}

void writeTree(const std::vector<DeviceEntry>& all) {
    std::vector<std::vector<std::u16string>> records;
    for (const DeviceEntry& device : all) {
        records.push_back({u"device", device.instanceId, device.present ? u"1" : u"0", u"", u"", u"", u""});
        for (const DeviceInterfaceEntry& face : device.interfaces)
            records.push_back({u"interface", device.instanceId, u"", face.classGuid, face.path,
                               fromUtf8(face.endpoint.string()), timeoutText(face.readTimeout)});
    }
    rewriteJournal(kTree, records);
}

// What a set holds: its devices, each with the interfaces of the set's class.
struct DeviceInfoSet : KernelObject {
    bool closedByCloseHandle() const override { return false; }
    std::vector<DeviceEntry> devices;
};

std::atomic<size_t> g_liveSets{0};

struct CountedSet : DeviceInfoSet {
    CountedSet() { ++g_liveSets; }
    ~CountedSet() override { --g_liveSets; }
};

std::shared_ptr<DeviceInfoSet> setOf(HDEVINFO set) {
    auto found = handleAs<DeviceInfoSet>(set);
    if (!found) SetLastError(ERROR_INVALID_HANDLE);
    return found;
}

bool faultFor(const char* function, DWORD usual) {
    if (auto fault = takeFault(function)) {
        SetLastError(fault->error ? fault->error : usual);
        return true;
    }
    return false;
}

bool classMatches(const DeviceInterfaceEntry& face, const GUID& wanted) {
    return foldCase(face.classGuid) == foldCase(guidText(wanted));
}

// The device a SP_DEVINFO_DATA of this set names, or null (ERROR_INVALID_PARAMETER).
const DeviceEntry* deviceOf(const DeviceInfoSet& set, const SP_DEVINFO_DATA* data) {
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    if (data->Reserved >= set.devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.devices[data->Reserved];
}

// The interfaces of the set in order: (device index, interface) pairs.
std::vector<std::pair<size_t, const DeviceInterfaceEntry*>> interfacesOf(const DeviceInfoSet& set,
                                                                         const GUID& wanted,
                                                                         std::optional<size_t> onlyDevice) {
    std::vector<std::pair<size_t, const DeviceInterfaceEntry*>> all;
    for (size_t d = 0; d < set.devices.size(); ++d) {
        if (onlyDevice && *onlyDevice != d) continue;
        for (const DeviceInterfaceEntry& face : set.devices[d].interfaces)
            if (classMatches(face, wanted)) all.emplace_back(d, &face);
    }
    return all;
}

}  // namespace

std::u16string guidText(const GUID& guid) {
    WCHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::optional<DeviceInterfaceEntry> findInterface(std::u16string_view path) {
    const std::u16string wanted = foldCase(path);
    for (const DeviceEntry& device : platform::devices())
        for (const DeviceInterfaceEntry& face : device.interfaces)
            if (device.present && foldCase(face.path) == wanted) return face;
    return std::nullopt;
}

}  // namespace platform::detail

namespace platform {

void addDevice(const DeviceEntry& device) {
    std::vector<DeviceEntry> all = devices();
    const std::u16string id = detail::foldCase(device.instanceId);
    auto same = std::find_if(all.begin(), all.end(),
                             [&](const DeviceEntry& d) { return detail::foldCase(d.instanceId) == id; });
    if (same != all.end()) *same = device;
    else all.push_back(device);
    detail::writeTree(all);
}

std::vector<DeviceEntry> devices() {
    std::vector<DeviceEntry> all;
    for (const auto& record : detail::readJournal(detail::kTree, detail::kFields)) {
        if (record[0] == u"device") {
            all.push_back(DeviceEntry{record[1], record[2] == u"1", {}});
        } else if (record[0] == u"interface" && !all.empty() && all.back().instanceId == record[1]) {
            all.back().interfaces.push_back(
                DeviceInterfaceEntry{record[3], record[4], toUtf8(record[5]), detail::timeoutOf(record[6])});
        }
    }
    return all;
}

size_t liveDeviceInfoSets() { return detail::g_liveSets; }

}  // namespace platform

using platform::detail::faultFor;

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND, DWORD flags) {
    if (faultFor("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER)) return INVALID_HANDLE_VALUE;
    const bool byInterface = flags & DIGCF_DEVICEINTERFACE;
    if (!(flags & DIGCF_ALLCLASSES) && !(byInterface && classGuid)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<platform::detail::CountedSet>();
    const bool byClass = classGuid && !(flags & DIGCF_ALLCLASSES);
    std::u16string below;
    if (enumerator && *enumerator) below = platform::detail::foldCase(std::u16string(enumerator) + u"\\");
    for (platform::DeviceEntry& device : platform::devices()) {
        if ((flags & DIGCF_PRESENT) && !device.present) continue;
        if (!below.empty() && platform::detail::foldCase(device.instanceId).rfind(below, 0) != 0) continue;
        if (byClass &&
            std::none_of(device.interfaces.begin(), device.interfaces.end(), [&](const auto& face) {
                return platform::detail::classMatches(face, *classGuid);
            }))
            continue;
        set->devices.push_back(std::move(device));
    }
    SetLastError(ERROR_SUCCESS);
    return platform::detail::insertHandle(set);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA device) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiEnumDeviceInfo", ERROR_NO_MORE_ITEMS)) return FALSE;
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= set->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    device->ClassGuid = GUID{};
    device->DevInst = index + 1;
    device->Reserved = index;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO handle, PSP_DEVINFO_DATA data, LPWSTR id, DWORD size,
                                        LPDWORD required) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiGetDeviceInstanceIdW", ERROR_INVALID_PARAMETER)) return FALSE;
    const platform::DeviceEntry* device = platform::detail::deviceOf(*set, data);
    if (!device) return FALSE;
    const DWORD needed = static_cast<DWORD>(device->instanceId.size() + 1);
    if (required) *required = needed;
    if (!id || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    platform::detail::copyOut(device->instanceId, id, size);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA data, const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA face) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiEnumDeviceInterfaces", ERROR_NO_MORE_ITEMS)) return FALSE;
    if (!classGuid || !face || face->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(!classGuid ? ERROR_INVALID_PARAMETER : ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::optional<size_t> only;
    if (data) {
        if (!platform::detail::deviceOf(*set, data)) return FALSE;
        only = data->Reserved;
    }
    auto all = platform::detail::interfacesOf(*set, *classGuid, only);
    if (index >= all.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    // Reserved names the interface within the set: its device in the high half, its place in the
    // device's own list in the low half.
    const auto& [device, entry] = all[index];
    const auto& list = set->devices[device].interfaces;
    const size_t place = static_cast<size_t>(entry - list.data());
    face->InterfaceClassGuid = *classGuid;
    face->Flags = SPINT_ACTIVE;
    face->Reserved = (static_cast<ULONG_PTR>(device) << 16) | place;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA face,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                             LPDWORD required, PSP_DEVINFO_DATA data) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiGetDeviceInterfaceDetailW", ERROR_INVALID_PARAMETER)) return FALSE;
    if (!face || face->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    const size_t device = face->Reserved >> 16, place = face->Reserved & 0xFFFF;
    if (device >= set->devices.size() || place >= set->devices[device].interfaces.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string& path = set->devices[device].interfaces[place].path;
    constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const DWORD needed = static_cast<DWORD>(kPathOffset + (path.size() + 1) * sizeof(WCHAR));
    if (required) *required = needed;
    if (!detail && detailSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The fixed part of the record is 6 bytes in a 32-bit program, 8 in a 64-bit one.
    if (!detail || (detail->cbSize != 6 && detail->cbSize != 8)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(reinterpret_cast<BYTE*>(detail) + kPathOffset, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    if (data && data->cbSize == sizeof(SP_DEVINFO_DATA)) {
        data->ClassGuid = GUID{};
        data->DevInst = static_cast<DWORD>(device + 1);
        data->Reserved = device;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE)) return FALSE;
    platform::detail::removeHandle(handle);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
