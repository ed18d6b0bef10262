// The printer's USB print port, found through the device set-up interface and the "Port Number" the
// USB print driver keeps under the interface's "Device Parameters" key.
#include "usb_port.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "win/kernel.h"
#include "win/registry.h"
#include "win/setupapi.h"
#include "win/shell.h"
#include "win/spooler.h"

namespace {

constexpr DWORD kUsbPrintDevices = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kExaminedDevices = 6;
// The reverse walk passes over failing interfaces, but not for ever.
constexpr int kFailuresInARow = 64;
// The fixed part of a detail record as a 32-bit program lays it out, which the system checks.
constexpr DWORD kDetailFixedSize = 6;

// A device information set, released whichever way the walk ends.
class DeviceSet {
public:
    DeviceSet() : set_(SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, kUsbPrintDevices)) {}
    ~DeviceSet() {
        if (valid()) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// The interface's path from its detail record (size query, allocation, read), or nothing.
std::optional<std::u16string> interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& face) {
    DWORD size = 0;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &face, nullptr, 0, &size, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::nullopt;
    if (size < sizeof(DWORD) + sizeof(WCHAR)) return std::nullopt;
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(LocalAlloc(LPTR, size));
    if (!detail) return std::nullopt;
    detail->cbSize = kDetailFixedSize;
    std::optional<std::u16string> path;
    if (SetupDiGetDeviceInterfaceDetailW(set, &face, detail, size, nullptr, nullptr)) {
        const WCHAR* text = detail->DevicePath;
        const size_t room = (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
        size_t length = 0;
        while (length < room && length < MAX_PATH - 1 && text[length]) ++length;
        path = std::u16string(text, length);
    }
    LocalFree(detail);
    return path;
}

// The "Port Number" the USB print driver wrote for the interface; nothing for an IEEE 1284.4 ("dot4")
// interface, a missing key, or a value that is missing, not REG_DWORD or not 4 bytes. The key is
// opened to read only: a lookup never writes the registry.
std::optional<DWORD> interfacePortNumber(const std::u16string& path) {
    std::u16string hashed = path.substr(0, MAX_PATH - 1);
    for (char16_t& c : hashed)
        if (c == u'\\') c = u'#';
    if (hashed.find(u"#dot4#") != std::u16string::npos) return std::nullopt;
    WCHAR guid[60] = {};
    StringFromGUID2(GUID_DEVINTERFACE_USBPRINT, guid, 60);
    std::u16string keyPath = u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + std::u16string(guid) + u"\\" +
                             hashed + u"\\#\\Device Parameters";
    if (keyPath.size() >= 1024) return std::nullopt;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, number = 0, bytes = sizeof number;
    const LSTATUS status =
        RegQueryValueExW(key, u"Port Number", nullptr, &type, reinterpret_cast<LPBYTE>(&number), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof number) return std::nullopt;
    return number;
}

std::u16string portName(DWORD number) {
    char text[16];
    std::snprintf(text, sizeof text, "USB%03u", static_cast<unsigned>(number));
    return std::u16string(text, text + std::strlen(text));
}

bool matchesKey(const WCHAR* instanceId, const IniTable& keys) {
    for (const auto& [key, value] : keys) {
        (void)value;
        if (!key.empty() && StrCmpNIW(instanceId, key.c_str(), static_cast<int>(key.size())) == 0) return true;
    }
    return false;
}

// The port of the matching device's first printing interface, or empty text.
std::u16string devicePort(HDEVINFO set, SP_DEVINFO_DATA& device) {
    SP_DEVICE_INTERFACE_DATA face{};
    face.cbSize = sizeof face;
    if (!SetupDiEnumDeviceInterfaces(set, &device, &GUID_DEVINTERFACE_USBPRINT, 0, &face)) return {};
    auto path = interfacePath(set, face);
    if (!path) return {};
    auto number = interfacePortNumber(*path);
    return number ? portName(*number) : std::u16string();
}

}  // namespace

std::u16string FindPrinterUsbPort(const IniTable& keys) {
    DeviceSet set;
    if (!set.valid()) return {};
    for (DWORD index = 0; index < kExaminedDevices; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.get(), index, &device)) break;
        WCHAR instanceId[1024] = {};
        if (!SetupDiGetDeviceInstanceIdW(set.get(), &device, instanceId, 1024, nullptr)) continue;
        // The first supported device decides, even when it yields no port.
        if (matchesKey(instanceId, keys)) return devicePort(set.get(), device);
    }
    return {};
}

std::u16string FindPrinterUsbPort() { return FindPrinterUsbPort(GetIniTable()); }

bool GetUsbPortDevicePath(WCHAR* path, const WCHAR* wanted) {
    path[0] = 0;
    DeviceSet set;
    if (!set.valid() || !wanted) return false;
    int failures = 0;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA face{};
        face.cbSize = sizeof face;
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &face)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS || ++failures >= kFailuresInARow) return false;
            continue;
        }
        failures = 0;
        auto reported = interfacePath(set.get(), face);
        if (!reported) return false;
        auto number = interfacePortNumber(*reported);
        if (!number || lstrcmpiW(portName(*number).c_str(), wanted) != 0) continue;
        const size_t length = std::min<size_t>(reported->size(), MAX_PATH - 1);
        std::copy_n(reported->data(), length, path);
        path[length] = 0;
        return true;
    }
}

bool IsPrintPortBusy(const IniTable& keys) {
    const std::u16string port = FindPrinterUsbPort(keys);
    if (port.empty()) return false;
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, returned = 0;
    if (EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    auto* printers = static_cast<PRINTER_INFO_2W*>(LocalAlloc(LPTR, needed));
    if (!printers) return false;
    bool busy = false;
    if (EnumPrintersW(kFlags, nullptr, 2, reinterpret_cast<LPBYTE>(printers), needed, &needed, &returned)) {
        // Only the first queue on the port counts.
        for (DWORD i = 0; i < returned; ++i) {
            if (printers[i].pPortName && port == printers[i].pPortName) {
                busy = printers[i].cJobs > 0;
                break;
            }
        }
    }
    LocalFree(printers);
    return busy;
}

bool IsPrintPortBusy() { return IsPrintPortBusy(GetIniTable()); }
