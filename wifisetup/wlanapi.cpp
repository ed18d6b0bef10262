// The wireless listing layer (wlanapi.h): choosing the interface, and its six back-end operations.
#include "wlanapi.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "WirelessReaders.h"
#include "platform/low_memory.h"
#include "win/files.h"

namespace {

using wifisetup::readNdisBinding;
using wifisetup::readNdisBssidList;

constexpr DWORD kWlanClientVersion = 1;  // the client version of the first Native Wi-Fi release
constexpr DWORD kOutFlagsPreset = 1;
constexpr DWORD kNdisBindingReply = sizeof(NDISUIO_QUERY_BINDING) + 1024;
constexpr DWORD kNdisBssidBuffer = 6200;
constexpr size_t kAdapterNameLength = 38;  // a braced GUID

// A function of a loaded module, resolved once into its slot.
template <class F>
void resolve(HMODULE module, const char* name, F& slot, const char* format) {
    if (slot) return;
    slot = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    if (!slot) throw wlanapi_exception(format, name, static_cast<int>(GetLastError()));
}

// Characters of a wide text before its NUL, looking at no more than `limit` + 1 of them.
size_t textLength(const WCHAR* text, size_t limit) {
    size_t length = 0;
    while (length <= limit && text[length]) ++length;
    return length;
}

// Copies a text of 1 to 255 characters into a record field; false (nothing copied) otherwise.
bool copyIfFits(WCHAR* to, const WCHAR* text) {
    if (!text) return false;
    const size_t length = textLength(text, 255);
    if (length < 1 || length > 255) return false;
    std::memcpy(to, text, length * sizeof(WCHAR));
    to[length] = 0;
    return true;
}

void putWord(BYTE* at, uint32_t value) { std::memcpy(at, &value, 4); }
uint32_t getWord(const BYTE* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

void freeLow(uint32_t address) {
    if (address) LocalFree(platform::fromLowAddress(address));
}

// An open NDISUIO handle, closed on every path out.
struct DeviceHandle {
    HANDLE handle;
    explicit DeviceHandle(HANDLE opened) : handle(opened) {}
    ~DeviceHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
};

HANDLE openNdis(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

}  // namespace

wlanapi_exception::wlanapi_exception(const char* format, ...) : std::runtime_error("wlanapi_exception") {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text_, sizeof text_, format, arguments);
    va_end(arguments);
}

wlanapi::~wlanapi() {
    if (client_ && WlanCloseHandle_) WlanCloseHandle_(client_, nullptr);
}

const std::vector<AdapterRecord>& wlanapi::get_adapter_list() {
    adapters_.clear();
    if (list_method_) {
        (this->*list_method_)();
        return adapters_;
    }
    // The interfaces in the order they are tried; the first that lists the adapters also scans.
    static const struct {
        ListMethod list;
        ScanMethod scan;
    } kMethods[] = {
        {&wlanapi::wzc_get_adapter_list, &wlanapi::wzc_scan_adapter},
        {&wlanapi::wlan_get_adapter_list, &wlanapi::wlan_scan_adapter},
        {&wlanapi::ndis_get_adapter_list, &wlanapi::ndis_scan_adapter},
    };
    for (const auto& method : kMethods) {
        try {
            (this->*method.list)();
            list_method_ = method.list;
            scan_method_ = method.scan;
            return adapters_;
        } catch (const std::exception&) {
            // the next interface
        }
    }
    throw wlanapi_exception("Unable to find a valid method for retrieving a list of network adapters");
}

const std::vector<NetworkRecord>& wlanapi::scan_adapters() {
    if (!scan_method_) throw wlanapi_exception("You have to call get_adapter_list() first!");
    for (const AdapterRecord& adapter : adapters_) (this->*scan_method_)(adapter);
    return networks_;
}

// ---- Wireless Zero Configuration ---------------------------------------------------------------

void wlanapi::wzc_get_adapter_list() {
    if (!wzc_module_) {
        wzc_module_ = LoadLibraryA("wzcsapi");
        if (!wzc_module_) throw wlanapi_exception("WZC: Unable to load wzcsapi!\n");
    }
    const char* missing = "WZC: Unable to find process address of function '%s' (error code: %d)\n";
    resolve(wzc_module_, "WZCEnumInterfaces", WZCEnumInterfaces_, missing);
    resolve(wzc_module_, "WZCQueryInterface", WZCQueryInterface_, missing);
    resolve(wzc_module_, "WZCRefreshInterface", WZCRefreshInterface_, missing);

    WZC_INTFS_KEY_TABLE table{};
    if (WZCEnumInterfaces_(nullptr, &table) != 0)
        throw wlanapi_exception("WZC: Interface enumeration failed; WCZ service is probably not running\n");
    const auto* keys = static_cast<const uint32_t*>(platform::fromLowAddress(table.pIntfs));
    const DWORD count = keys ? table.dwNumIntfs : 0;  // a count without its array lists nothing
    for (DWORD i = 0; i < count; ++i) {
        BYTE entry[WZC_INTF_ENTRY_SIZE] = {};
        putWord(entry + WZC_INTF_GUID, keys[i]);
        DWORD outFlags = kOutFlagsPreset;
        if (WZCQueryInterface_(nullptr, WZC_INTF_DESCR, entry, &outFlags) != 0) {
            freeLow(table.pIntfs);
            throw wlanapi_exception("WZC: Interface query failed; WCZ service is probably not running\n");
        }
        const auto* guid = static_cast<const WCHAR*>(platform::fromLowAddress(keys[i]));
        const uint32_t description = getWord(entry + WZC_INTF_DESCRIPTION);
        AdapterRecord adapter;
        if (copyIfFits(adapter.name, guid)) {
            copyIfFits(adapter.description, static_cast<const WCHAR*>(platform::fromLowAddress(description)));
            adapters_.push_back(adapter);
        }
        freeLow(description);  // the service's block, copied
    }
    freeLow(table.pIntfs);
}

void wlanapi::wzc_scan_adapter(const AdapterRecord& adapter) {
    if (!WZCQueryInterface_) throw wlanapi_exception("You have to call get_adapter_list() first!");
    // The service reads the GUID through a 4-byte field: the name goes into a low block for the call.
    const size_t nameLength = std::min<size_t>(textLength(adapter.name, 255), 255);
    auto* name = static_cast<WCHAR*>(platform::allocateLow((nameLength + 1) * sizeof(WCHAR)));
    if (!name) throw wlanapi_exception("WZC: Interface query failed; WCZ service is probably not running\n");
    std::memcpy(name, adapter.name, nameLength * sizeof(WCHAR));
    BYTE entry[WZC_INTF_ENTRY_SIZE] = {};
    putWord(entry + WZC_INTF_GUID, platform::lowAddress(name));
    DWORD outFlags = kOutFlagsPreset;
    const DWORD result = WZCQueryInterface_(nullptr, WZC_INTF_BSSIDLIST | WZC_INTF_LIST_SCAN, entry, &outFlags);
    LocalFree(name);
    if (result != 0) throw wlanapi_exception("WZC: Interface query failed; WCZ service is probably not running\n");

    const wifisetup::WzcBssidField field = wifisetup::readWzcBssidField(entry);
    auto freeData = [&field] {
        if (field.ok)
            freeLow(field.pointer);
        else
            for (uint32_t pointer : field.toFree) freeLow(pointer);
    };
    if (!(outFlags & WZC_INTF_BSSIDLIST)) {
        freeData();
        throw wlanapi_exception("WZC: Interface query consistency failure: incorrect flags\n");
    }
    if (!field.ok) {
        freeData();
        throw wlanapi_exception(
            "WZC: Interface query consistency failure: no data or incorrect data length (length: %ld)\n",
            static_cast<long>(field.length));
    }
    const std::span<const BYTE> data(static_cast<const BYTE*>(platform::fromLowAddress(field.pointer)), field.length);
    const bool whole = wifisetup::readWzcBssidData(data, networks_);
    freeData();
    if (!whole) throw wlanapi_exception("WZC: Bssid structure looks odd. Break!\n");
}

// ---- Native Wi-Fi ------------------------------------------------------------------------------

void wlanapi::wlan_get_adapter_list() {
    if (!wlan_module_) {
        wlan_module_ = LoadLibraryA("wlanapi");
        if (!wlan_module_) throw wlanapi_exception("WLAN: Unable to load wlanapi!\n");
    }
    const char* missing = "WLAN: Unable to find process address of function '%s' (error code: %d)\n";
    resolve(wlan_module_, "WlanOpenHandle", WlanOpenHandle_, missing);
    resolve(wlan_module_, "WlanCloseHandle", WlanCloseHandle_, missing);
    resolve(wlan_module_, "WlanEnumInterfaces", WlanEnumInterfaces_, missing);
    resolve(wlan_module_, "WlanGetNetworkBssList", WlanGetNetworkBssList_, missing);
    resolve(wlan_module_, "WlanFreeMemory", WlanFreeMemory_, missing);
    resolve(wlan_module_, "WlanGetAvailableNetworkList", WlanGetAvailableNetworkList_, missing);

    if (!client_) {
        DWORD negotiated = 0;
        HANDLE handle = nullptr;
        if (WlanOpenHandle_(kWlanClientVersion, nullptr, &negotiated, &handle) != 0 || !handle)
            throw wlanapi_exception("WLAN: Error creating WLAN API handle (error code: %d)\n",
                                    static_cast<int>(GetLastError()));
        client_ = handle;
    }
    WLAN_INTERFACE_INFO_LIST* list = nullptr;
    const DWORD result = WlanEnumInterfaces_(client_, nullptr, &list);
    if (result != 0) {
        if (list) WlanFreeMemory_(list);
        throw wlanapi_exception("WLAN: Unable to enumerate interfaces (return code: %ld)\n", static_cast<long>(result));
    }
    adapters_.clear();
    if (!list) return;
    const size_t size = wifisetup::wlanListSize(list->dwNumberOfItems, sizeof(WLAN_INTERFACE_INFO));
    wifisetup::readWlanInterfaceList({reinterpret_cast<const BYTE*>(list), size}, adapters_);
    WlanFreeMemory_(list);
}

void wlanapi::wlan_scan_adapter(const AdapterRecord& adapter) {
    if (!client_) throw wlanapi_exception("You have to call get_adapter_list() first!");
    if (textLength(adapter.name, kAdapterNameLength) != kAdapterNameLength)
        throw wlanapi_exception("WLAN: No adapter name given or length mismatch (should be 38 wchars long)");
    GUID guid{};
    IIDFromString(adapter.name, &guid);
    WLAN_AVAILABLE_NETWORK_LIST* list = nullptr;
    // What the system has already seen; no new scan is asked for.
    const DWORD result = WlanGetAvailableNetworkList_(client_, &guid, WLAN_AVAILABLE_NETWORK_INCLUDE_ALL_ADHOC_PROFILES,
                                                      nullptr, &list);
    if (result != 0)
        throw wlanapi_exception("WLAN: Unable to get BSS list using WlanGetAvailableNetworkList (return code: %ld)\n",
                                static_cast<long>(result));
    if (!list) return;
    const size_t size = wifisetup::wlanListSize(list->dwNumberOfItems, sizeof(WLAN_AVAILABLE_NETWORK));
    wifisetup::readWlanNetworkList({reinterpret_cast<const BYTE*>(list), size}, networks_);
    WlanFreeMemory_(list);
}

// ---- NDISUIO -----------------------------------------------------------------------------------

void wlanapi::ndis_get_adapter_list() {
    // The driver's control device, with the doubled separator the name has always had.
    DeviceHandle device(openNdis("\\\\.\\\\Ndisuio"));
    if (device.handle == INVALID_HANDLE_VALUE)
        throw wlanapi_exception("NDIS: Failed to open connection to NDISUIO with error code: %d",
                                static_cast<int>(GetLastError()));
    DWORD returned = 0;
    if (!DeviceIoControl(device.handle, IOCTL_NDISUIO_BIND_WAIT, nullptr, 0, nullptr, 0, &returned, nullptr))
        throw wlanapi_exception("NDIS: IOCTL_NDISUIO_BIND_WAIT failed with error code: %d",
                                static_cast<int>(GetLastError()));
    adapters_.clear();
    for (ULONG index = 0;; ++index) {
        NDISUIO_QUERY_BINDING query{index, 0, 0, 0, 0};
        BYTE reply[kNdisBindingReply] = {};
        returned = 0;
        if (!DeviceIoControl(device.handle, IOCTL_NDISUIO_QUERY_BINDING, &query, sizeof query, reply, sizeof reply,
                             &returned, nullptr))
            break;
        if (auto adapter = readNdisBinding({reply, std::min<DWORD>(returned, sizeof reply)}))
            adapters_.push_back(*adapter);
    }
}

void wlanapi::ndis_scan_adapter(const AdapterRecord& adapter) {
    char name[256] = {};
    const size_t length = std::min<size_t>(textLength(adapter.name, 255), 255);
    WideCharToMultiByte(CP_ACP, 0, adapter.name, static_cast<int>(length), name, 255, nullptr, nullptr);
    const std::string path = std::string("\\\\.\\") + name;
    DeviceHandle device(openNdis(path.c_str()));
    if (device.handle == INVALID_HANDLE_VALUE)
        throw wlanapi_exception("NDIS: Failed to open connection to NDISUIO with error code: %d",
                                static_cast<int>(GetLastError()));
    ULONG oid = OID_802_11_BSSID_LIST_SCAN;
    DWORD returned = 0;
    DeviceIoControl(device.handle, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, nullptr, 0, &returned, nullptr);
    oid = OID_802_11_BSSID_LIST;
    std::vector<BYTE> buffer(kNdisBssidBuffer, 0);
    returned = 0;
    // A failed query returns no bytes, so nothing is read.
    DeviceIoControl(device.handle, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, buffer.data(), kNdisBssidBuffer,
                    &returned, nullptr);
    readNdisBssidList({buffer.data(), std::min<DWORD>(returned, kNdisBssidBuffer)}, networks_);
}
