// The machine's radio behind the wireless interfaces: the system modules it makes present or absent,
// the Native Wi-Fi client, the WZC service's 32-bit records in the low arena, and the "\\.\" devices
// of NDISUIO.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/control.h"
#include "platform/low_memory.h"
#include "platform/radio.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/wlan.h"

namespace {

using platform::radio::Adapter;
using platform::radio::Radio;
using platform::testing::Machine;

const char16_t kGuid[] = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

Radio oneAdapter() {
    Radio radio;
    Adapter adapter;
    adapter.guid = kGuid;
    adapter.description = u"Radio";
    platform::radio::Network network;
    network.ssid = "Home";
    adapter.networks = {network};
    radio.adapters = {adapter};
    return radio;
}

TEST(Radio, IsAMachineFileThatSurvivesCutsAsTheDefault) {
    Machine machine;
    Radio radio = oneAdapter();
    radio.wzc.present = true;
    radio.wzc.scanOutFlags = 7;
    radio.ndisuio.rawBindings = std::vector<std::string>{std::string("\0\1", 2)};
    radio.adapters[0].wzcBssidLength = 67;
    radio.adapters[0].networks[0].ssidLength = 40;
    platform::radio::setRadio(radio);
    const std::string bytes = platform::radio::encodeRadio(radio);
    const auto file = machine.root() / "radio.bin";
    ASSERT_TRUE(std::filesystem::exists(file));
    const Radio read = platform::radio::currentRadio();
    EXPECT_EQ(platform::radio::encodeRadio(read), bytes);
    EXPECT_EQ(read.adapters[0].guid, kGuid);
    // Every cut of the file is refused, never read past.
    for (size_t size = 0; size < bytes.size(); ++size) {
        std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        EXPECT_FALSE(platform::radio::decodeRadio(cut.data(), cut.size())) << size;
    }
    std::ofstream(file, std::ios::binary) << bytes.substr(0, bytes.size() - 1);
    const Radio fallback = platform::radio::currentRadio();
    EXPECT_FALSE(fallback.wzc.present);
    EXPECT_TRUE(fallback.nativeWifi.present);
    EXPECT_TRUE(fallback.adapters.empty());
}

TEST(Radio, MakesTheWirelessModulesPresentOrAbsent) {
    Machine machine;
    // The default radio: Native Wi-Fi without WZC.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryA("wzcsapi"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE wlan = LoadLibraryA("wlanapi");
    ASSERT_NE(wlan, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"WLANAPI.DLL"), wlan);
    EXPECT_NE(GetProcAddress(wlan, "WlanGetAvailableNetworkList"), nullptr);
    Radio radio;
    radio.wzc.present = true;
    radio.nativeWifi.present = false;
    platform::radio::setRadio(radio);
    EXPECT_EQ(GetModuleHandleW(u"wlanapi"), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryW(u"wlanapi.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE wzc = LoadLibraryA("WZCSAPI.DLL");
    ASSERT_NE(wzc, nullptr);
    platform::removeSystemExport("wzcsapi.dll", "WZCRefreshInterface");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(wzc, "WZCRefreshInterface"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(wzc, "WZCQueryInterface"), nullptr);
    platform::restoreSystemExports();
    FreeLibrary(wzc);
    FreeLibrary(wlan);
}

TEST(Radio, NativeWifiClientHandlesAndLists) {
    Machine machine;
    platform::radio::setRadio(oneAdapter());
    DWORD negotiated = 0;
    HANDLE client = nullptr;
    EXPECT_EQ(WlanOpenHandle(3, nullptr, &negotiated, &client), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    ASSERT_EQ(WlanOpenHandle(1, nullptr, &negotiated, &client), 0u);
    EXPECT_EQ(negotiated, 1u);
    WLAN_INTERFACE_INFO_LIST* interfaces = nullptr;
    ASSERT_EQ(WlanEnumInterfaces(client, nullptr, &interfaces), 0u);
    ASSERT_EQ(interfaces->dwNumberOfItems, 1u);
    WLAN_AVAILABLE_NETWORK_LIST* networks = nullptr;
    ASSERT_EQ(WlanGetAvailableNetworkList(client, &interfaces->InterfaceInfo[0].InterfaceGuid, 1, nullptr, &networks), 0u);
    EXPECT_EQ(networks->Network[0].dot11Ssid.uSSIDLength, 4u);
    EXPECT_EQ(std::memcmp(networks->Network[0].dot11Ssid.ucSSID, "Home", 4), 0);
    EXPECT_EQ(platform::radio::counters().lastAvailableNetworkFlags, 1u);
    WlanFreeMemory(networks);
    WlanFreeMemory(interfaces);
    EXPECT_EQ(WlanEnumInterfaces(reinterpret_cast<HANDLE>(1), nullptr, &interfaces), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WlanCloseHandle(client, nullptr), 0u);
    EXPECT_EQ(WlanCloseHandle(client, nullptr), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const auto counts = platform::radio::counters();
    EXPECT_EQ(counts.wlanBlocksHandedOut, 2);
    EXPECT_TRUE(counts.balanced());

    Radio stopped = oneAdapter();
    stopped.nativeWifi.running = false;
    platform::radio::setRadio(stopped);
    EXPECT_EQ(WlanOpenHandle(1, nullptr, &negotiated, &client), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST(Radio, WzcRecordsLieInTheLowArena) {
    Machine machine;
    Radio radio = oneAdapter();
    radio.wzc.present = true;
    platform::radio::setRadio(radio);
    WZC_INTFS_KEY_TABLE table{};
    ASSERT_EQ(WZCEnumInterfaces(nullptr, &table), 0u);
    ASSERT_EQ(table.dwNumIntfs, 1u);
    const auto* keys = static_cast<const uint32_t*>(platform::fromLowAddress(table.pIntfs));
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(platform::fromLowAddress(keys[0]))), kGuid);

    BYTE entry[WZC_INTF_ENTRY_SIZE] = {};
    std::memcpy(entry, &keys[0], 4);
    DWORD flags = 1;
    ASSERT_EQ(WZCQueryInterface(nullptr, WZC_INTF_DESCR | WZC_INTF_BSSIDLIST, entry, &flags), 0u);
    EXPECT_EQ(flags, WZC_INTF_DESCR | WZC_INTF_BSSIDLIST);
    uint32_t description = 0, length = 0, data = 0;
    std::memcpy(&description, entry + WZC_INTF_DESCRIPTION, 4);
    std::memcpy(&length, entry + WZC_INTF_BSSID_LENGTH, 4);
    std::memcpy(&data, entry + WZC_INTF_BSSID_DATA, 4);
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(platform::fromLowAddress(description))), u"Radio");
    EXPECT_GE(length, 72u);
    // The key array and its texts are one block: one LocalFree each balances the counts.
    for (uint32_t block : {table.pIntfs, description, data}) EXPECT_EQ(LocalFree(platform::fromLowAddress(block)), nullptr);
    EXPECT_TRUE(platform::radio::counters().balanced());
    EXPECT_EQ(platform::radio::counters().localBlocksHandedOut, 3);

    // A GUID field that points anywhere but the arena is reported, not followed.
    const char16_t* outside = kGuid;
    uint32_t truncated = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(outside));
    // The low half of a high address may by chance fall inside the arena: move it out.
    while (platform::inLowArena(platform::fromLowAddress(truncated))) truncated += 0x01000000u;
    std::memset(entry, 0, sizeof entry);
    std::memcpy(entry, &truncated, 4);
    EXPECT_EQ(WZCQueryInterface(nullptr, WZC_INTF_DESCR, entry, &flags), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(platform::radio::counters().foreignPointers, 1);
}

HANDLE openDevice(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

TEST(NdisuioDevices, AnswerBindingsAndBssidLists) {
    Machine machine;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(openDevice("\\\\.\\Ndisuio"), INVALID_HANDLE_VALUE);  // the default radio has no NDISUIO
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    Radio radio = oneAdapter();
    radio.ndisuio.present = true;
    platform::radio::setRadio(radio);
    {
        HANDLE control = openDevice("\\\\.\\\\Ndisuio");  // the doubled separator collapses
        ASSERT_NE(control, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(control, IOCTL_NDISUIO_BIND_WAIT, nullptr, 0, nullptr, 0, &returned, nullptr));
        NDISUIO_QUERY_BINDING query{0, 0, 0, 0, 0};
        BYTE reply[1044] = {};
        ASSERT_TRUE(DeviceIoControl(control, IOCTL_NDISUIO_QUERY_BINDING, &query, sizeof query, reply, sizeof reply,
                                    &returned, nullptr));
        NDISUIO_QUERY_BINDING head;
        std::memcpy(&head, reply, sizeof head);
        std::u16string name(head.DeviceNameLength / 2, u'\0');
        std::memcpy(name.data(), reply + head.DeviceNameOffset, head.DeviceNameLength);
        EXPECT_EQ(name, std::u16string(u"\\DEVICE\\") + kGuid);
        EXPECT_EQ(returned, head.DeviceDescrOffset + head.DeviceDescrLength + 2);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DeviceIoControl(control, IOCTL_NDISUIO_QUERY_BINDING, &query, sizeof query, reply, 30, &returned,
                                     nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        query.BindingIndex = 1;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DeviceIoControl(control, IOCTL_NDISUIO_QUERY_BINDING, &query, sizeof query, reply, sizeof reply,
                                     &returned, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        platform::setFault("DeviceIoControl", platform::Fault().failing(1));
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DeviceIoControl(control, IOCTL_NDISUIO_BIND_WAIT, nullptr, 0, nullptr, 0, &returned, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_TRUE(CloseHandle(control));
    }
    {
        const std::string path = "\\\\.\\" + platform::toUtf8(kGuid);
        HANDLE device = openDevice(path.c_str());
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        ULONG oid = OID_802_11_BSSID_LIST_SCAN;
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, 4, nullptr, 0, &returned, nullptr));
        oid = OID_802_11_BSSID_LIST;
        std::vector<BYTE> list(6200);
        ASSERT_TRUE(DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, 4, list.data(), 6200, &returned, nullptr));
        EXPECT_EQ(returned, 4 + sizeof(NDIS_WLAN_BSSID));
        NDIS_WLAN_BSSID entry;
        std::memcpy(&entry, list.data() + 4, sizeof entry);
        EXPECT_EQ(entry.Ssid.SsidLength, 4u);
        EXPECT_EQ(entry.Rssi, -60);
        EXPECT_TRUE(CloseHandle(device));
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(openDevice("\\\\.\\{11111111-2222-3333-4444-555555555555}"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const auto counts = platform::radio::counters();
    EXPECT_EQ(counts.deviceHandlesOpened, 2);
    EXPECT_TRUE(counts.balanced());
}

}  // namespace
