// The machine's device tree and the device set-up interface over it. The tree is the journal
// "devices/tree" under the machine root: one record a device (its instance id, whether it is
// present, its setup class and its ConfigFlags, empty when it has none) followed by one record for each of its interfaces (class GUID, path, endpoint, read
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
        records.push_back({u"device", device.instanceId, device.present ? u"1" : u"0", device.classGuid,
                           device.configFlags ? journalNumber(*device.configFlags) : u"", u"", u""});
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

// Node numbers: the instance ids (folded) in the order the process first met them, numbered from 2
// (1 is the root).
std::mutex g_nodesMutex;
std::vector<std::u16string> g_nodes;
constexpr DWORD kRootNode = 1;

DWORD nodeOf(std::u16string_view instanceId) {
    const std::u16string id = foldCase(instanceId);
    std::lock_guard lock(g_nodesMutex);
    auto found = std::find(g_nodes.begin(), g_nodes.end(), id);
    if (found == g_nodes.end()) found = g_nodes.insert(g_nodes.end(), id);
    return static_cast<DWORD>(found - g_nodes.begin()) + 2;
}

// The device of the tree a node number names now, if it is still there.
std::optional<DeviceEntry> deviceOfNode(DWORD node) {
    std::u16string id;
    {
        std::lock_guard lock(g_nodesMutex);
        if (node < 2 || node - 2 >= g_nodes.size()) return std::nullopt;
        id = g_nodes[node - 2];
    }
    for (DeviceEntry& device : platform::devices())
        if (foldCase(device.instanceId) == id) return std::move(device);
    return std::nullopt;
}

// Changes the tree's device of this instance id; false when it is no longer there.
template <typename Change>
bool changeDevice(std::u16string_view instanceId, Change change) {
    std::vector<DeviceEntry> all = platform::devices();
    const std::u16string id = foldCase(instanceId);
    auto same = std::find_if(all.begin(), all.end(),
                             [&](const DeviceEntry& d) { return foldCase(d.instanceId) == id; });
    if (same == all.end()) return false;
    if (change(all, same)) writeTree(all);
    return true;
}

bool removeDevice(std::u16string_view instanceId) {
    return changeDevice(instanceId, [](std::vector<DeviceEntry>& all, std::vector<DeviceEntry>::iterator device) {
        all.erase(device);
        return true;
    });
}

// Whether an instance id is the enumerator's selection: the enumerator itself or below it.
bool belowEnumerator(std::u16string_view instanceId, const std::u16string& foldedEnumerator) {
    const std::u16string id = foldCase(instanceId);
    return id == foldedEnumerator || id.rfind(foldedEnumerator + u"\\", 0) == 0;
}

std::u16string functionText(DWORD function) {
    return function == DIF_REMOVE ? u"DIF_REMOVE" : journalNumber(function);
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
            DeviceEntry device{record[1], record[2] == u"1", {}, record[3], std::nullopt};
            if (!record[4].empty())
                device.configFlags = static_cast<DWORD>(std::strtoul(toUtf8(record[4]).c_str(), nullptr, 10));
            all.push_back(std::move(device));
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

namespace platform::detail {
namespace {

HDEVINFO makeSet(const GUID* classGuid, LPCWSTR enumerator, DWORD flags) {
    const bool byInterface = flags & DIGCF_DEVICEINTERFACE;
    if (!(flags & DIGCF_ALLCLASSES) && !classGuid) {
        SetLastError(ERROR_INVALID_FLAGS);
        return INVALID_HANDLE_VALUE;
    }
    const bool byClass = classGuid && !(flags & DIGCF_ALLCLASSES);
    const std::u16string wantedClass = classGuid ? guidText(*classGuid) : u"";
    const std::u16string below = enumerator && *enumerator ? foldCase(enumerator) : u"";
    std::vector<DeviceEntry> all = platform::devices();
    if (!below.empty() && std::none_of(all.begin(), all.end(), [&](const DeviceEntry& device) {
            return belowEnumerator(device.instanceId, below);
        })) {
        SetLastError(ERROR_INVALID_DATA);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<CountedSet>();
    for (DeviceEntry& device : all) {
        if ((flags & DIGCF_PRESENT) && !device.present) continue;
        if (!below.empty() && !belowEnumerator(device.instanceId, below)) continue;
        if (byClass && byInterface &&
            std::none_of(device.interfaces.begin(), device.interfaces.end(),
                         [&](const auto& face) { return classMatches(face, *classGuid); }))
            continue;
        if (byClass && !byInterface && foldCase(device.classGuid) != foldCase(wantedClass)) continue;
        set->devices.push_back(std::move(device));
    }
    SetLastError(ERROR_SUCCESS);
    return insertHandle(set);
}

// Fills a SP_DEVINFO_DATA for the set's device at an index.
void describe(const DeviceEntry& device, size_t index, SP_DEVINFO_DATA& data) {
    data.ClassGuid = GUID{};
    if (!device.classGuid.empty()) IIDFromString(device.classGuid.c_str(), &data.ClassGuid);
    data.DevInst = nodeOf(device.instanceId);
    data.Reserved = index;
}

}  // namespace
}  // namespace platform::detail

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND, DWORD flags) {
    if (faultFor("SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER)) return INVALID_HANDLE_VALUE;
    return platform::detail::makeSet(classGuid, enumerator, flags);
}

HDEVINFO WINAPI SetupDiGetClassDevsExW(const GUID* classGuid, LPCWSTR enumerator, HWND, DWORD flags,
                                       HDEVINFO existing, LPCWSTR machineName, PVOID) {
    if (faultFor("SetupDiGetClassDevsExW", ERROR_INVALID_PARAMETER)) return INVALID_HANDLE_VALUE;
    if (machineName && *machineName) {
        SetLastError(ERROR_INVALID_COMPUTERNAME);
        return INVALID_HANDLE_VALUE;
    }
    if (existing && existing != INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return platform::detail::makeSet(classGuid, enumerator, flags);
}

BOOL WINAPI SetupDiGetDeviceInfoListDetailW(HDEVINFO handle, PSP_DEVINFO_LIST_DETAIL_DATA_W detail) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiGetDeviceInfoListDetailW", ERROR_INVALID_PARAMETER)) return FALSE;
    if (!detail || detail->cbSize != sizeof(SP_DEVINFO_LIST_DETAIL_DATA_W)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    detail->ClassGuid = GUID{};
    detail->RemoteMachineHandle = nullptr;
    detail->RemoteMachineName[0] = 0;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
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
    platform::detail::describe(set->devices[index], index, *device);
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
        platform::detail::describe(set->devices[device], device, *data);
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

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO handle, PSP_DEVINFO_DATA data) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    const platform::DeviceEntry* device = platform::detail::deviceOf(*set, data);
    if (!device) return FALSE;
    const std::u16string arguments = platform::detail::functionText(function) + u", " + device->instanceId;
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        platform::detail::journalCall("SetupDiCallClassInstaller", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (auto fault = platform::detail::takeFault("SetupDiCallClassInstaller", platform::toUtf8(device->instanceId)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (function != DIF_REMOVE) return answer(FALSE, ERROR_DI_DO_DEFAULT);
    if (!platform::detail::removeDevice(device->instanceId)) return answer(FALSE, ERROR_NO_SUCH_DEVINST);
    return answer(TRUE, ERROR_SUCCESS);
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD property,
                                              PDWORD valueType, PBYTE buffer, DWORD size, PDWORD required) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    if (faultFor("SetupDiGetDeviceRegistryPropertyW", ERROR_INVALID_DATA)) return FALSE;
    const platform::DeviceEntry* device = platform::detail::deviceOf(*set, data);
    if (!device) return FALSE;
    const auto now = platform::detail::deviceOfNode(platform::detail::nodeOf(device->instanceId));
    if (!now) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    if (property != SPDRP_CONFIGFLAGS || !now->configFlags) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const DWORD value = *now->configFlags;
    if (required) *required = sizeof value;
    if (valueType) *valueType = 4;  // REG_DWORD
    if (!buffer || size < sizeof value) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, &value, sizeof value);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyW(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD property,
                                              const BYTE* buffer, DWORD size) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    const platform::DeviceEntry* device = platform::detail::deviceOf(*set, data);
    if (!device) return FALSE;
    DWORD value = 0;
    if (buffer && size == sizeof value) std::memcpy(&value, buffer, sizeof value);
    const std::u16string arguments = device->instanceId + u", " + platform::detail::journalNumber(property) +
                                     u", " + platform::detail::journalNumber(value);
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        platform::detail::journalCall("SetupDiSetDeviceRegistryPropertyW", arguments, result ? u"TRUE" : u"FALSE",
                                      error);
        return result;
    };
    if (auto fault = platform::detail::takeFault("SetupDiSetDeviceRegistryPropertyW",
                                                 platform::toUtf8(device->instanceId)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (property != SPDRP_CONFIGFLAGS || !buffer || size != sizeof value) return answer(FALSE, ERROR_INVALID_DATA);
    const bool there = platform::detail::changeDevice(
        device->instanceId, [&](std::vector<platform::DeviceEntry>&, std::vector<platform::DeviceEntry>::iterator d) {
            d->configFlags = value;
            return true;
        });
    return there ? answer(TRUE, ERROR_SUCCESS) : answer(FALSE, ERROR_NO_SUCH_DEVINST);
}

CONFIGRET WINAPI CM_Get_Device_ID_ExW(DEVINST node, LPWSTR buffer, ULONG length, ULONG flags, HMACHINE machine) {
    if (platform::detail::takeFault("CM_Get_Device_ID_ExW")) return CR_FAILURE;
    if (!buffer) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    if (machine) return CR_INVALID_MACHINENAME;
    std::u16string id;
    if (node == platform::detail::kRootNode) {
        id = u"HTREE\\ROOT\\0";
    } else {
        const auto device = platform::detail::deviceOfNode(node);
        if (!device) return CR_NO_SUCH_DEVNODE;
        id = device->instanceId;
    }
    if (length < id.size() + 1) return CR_BUFFER_SMALL;
    platform::detail::copyOut(id, buffer, length);
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST node, DEVINSTID_W id, ULONG flags) {
    const std::u16string wanted = id ? id : u"";
    auto answer = [&](CONFIGRET result) {
        platform::detail::journalCall("CM_Locate_DevNodeW", wanted + u", " + platform::detail::journalNumber(flags),
                                      platform::detail::journalNumber(result), 0);
        return result;
    };
    if (platform::detail::takeFault("CM_Locate_DevNodeW", platform::toUtf8(wanted))) return answer(CR_FAILURE);
    if (!node) return answer(CR_INVALID_POINTER);
    if (flags & ~DWORD{CM_LOCATE_DEVNODE_PHANTOM}) return answer(CR_INVALID_FLAG);
    if (wanted.empty()) {
        *node = platform::detail::kRootNode;
        return answer(CR_SUCCESS);
    }
    const auto device = platform::detail::deviceOfNode(platform::detail::nodeOf(wanted));
    if (!device || (!device->present && !(flags & CM_LOCATE_DEVNODE_PHANTOM))) return answer(CR_NO_SUCH_DEVNODE);
    *node = platform::detail::nodeOf(wanted);
    return answer(CR_SUCCESS);
}

CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST node, ULONG flags) {
    std::u16string id = node == platform::detail::kRootNode ? u"HTREE\\ROOT\\0" : u"";
    if (id.empty())
        if (const auto device = platform::detail::deviceOfNode(node)) id = device->instanceId;
    auto answer = [&](CONFIGRET result) {
        platform::detail::journalCall("CM_Reenumerate_DevNode", id + u", " + platform::detail::journalNumber(flags),
                                      platform::detail::journalNumber(result), 0);
        return result;
    };
    if (platform::detail::takeFault("CM_Reenumerate_DevNode", platform::toUtf8(id))) return answer(CR_FAILURE);
    if (id.empty()) return answer(CR_INVALID_DEVNODE);
    return answer(CR_SUCCESS);
}

BOOL WINAPI DiUninstallDevice(HWND, HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD flags, LPBOOL needReboot) {
    auto set = platform::detail::setOf(handle);
    if (!set) return FALSE;
    const platform::DeviceEntry* device = platform::detail::deviceOf(*set, data);
    if (!device) return FALSE;
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        platform::detail::journalCall("DiUninstallDevice",
                                      device->instanceId + u", " + platform::detail::journalNumber(flags),
                                      result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (auto fault = platform::detail::takeFault("DiUninstallDevice", platform::toUtf8(device->instanceId)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (flags != 0) return answer(FALSE, ERROR_INVALID_FLAGS);
    if (!platform::detail::removeDevice(device->instanceId)) return answer(FALSE, ERROR_NO_SUCH_DEVINST);
    if (needReboot) *needReboot = FALSE;
    return answer(TRUE, ERROR_SUCCESS);
}
