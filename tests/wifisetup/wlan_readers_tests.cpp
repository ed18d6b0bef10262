// The readers of the interfaces' records over cut and garbled bytes: each reads only the range it
// is given (an exact-size copy, so the address sanitizer sees any read past it) and ends cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "WirelessReaders.h"
#include "win/wlan.h"

namespace {

using namespace wifisetup;

void putWord(std::vector<BYTE>& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// Calls `read` on every prefix of `record` and on copies with one byte changed, each in a block of
// exactly its size.
void readCutAndGarbled(const std::vector<BYTE>& record, const std::function<void(std::span<const BYTE>)>& read) {
    for (size_t size = 0; size <= record.size(); ++size) {
        auto cut = std::make_unique<BYTE[]>(size ? size : 1);
        std::memcpy(cut.get(), record.data(), size);
        read({cut.get(), size});
    }
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        std::vector<BYTE> garbled = record;
        garbled[random() % garbled.size()] = static_cast<BYTE>(random());
        auto copy = std::make_unique<BYTE[]>(garbled.size());
        std::memcpy(copy.get(), garbled.data(), garbled.size());
        read({copy.get(), garbled.size()});
    }
}

TEST(WlanReaders, WzcEntryAndData) {
    std::vector<BYTE> entry(WZC_INTF_ENTRY_SIZE, 0);
    putWord(entry, WZC_INTF_BSSID_LENGTH, 80);
    putWord(entry, WZC_INTF_BSSID_DATA, 0x1000);
    EXPECT_TRUE(readWzcBssidField(entry).ok);
    EXPECT_FALSE(readWzcBssidField(std::span<const BYTE>(entry).first(WZC_INTF_ENTRY_SIZE - 1)).ok);
    readCutAndGarbled(entry, [](std::span<const BYTE> bytes) { readWzcBssidField(bytes); });

    std::vector<BYTE> data(8 + 2 * 64, 0);
    putWord(data, 0, 2);
    putWord(data, 8, 64);
    putWord(data, 72, 64);
    std::vector<NetworkRecord> networks;
    EXPECT_TRUE(readWzcBssidData(data, networks));
    EXPECT_EQ(networks.size(), 2u);
    readCutAndGarbled(data, [](std::span<const BYTE> bytes) {
        std::vector<NetworkRecord> out;
        readWzcBssidData(bytes, out);
        EXPECT_LE(out.size(), 2u);
    });
}

TEST(WlanReaders, NdisBindingAndBssidList) {
    const std::u16string name = u"\\DEVICE\\{A}", description = u"Radio";
    std::vector<BYTE> binding(20 + name.size() * 2 + description.size() * 2, 0);
    putWord(binding, 4, 20);
    putWord(binding, 8, static_cast<uint32_t>(name.size() * 2));
    putWord(binding, 12, static_cast<uint32_t>(20 + name.size() * 2));
    putWord(binding, 16, static_cast<uint32_t>(description.size() * 2));
    std::memcpy(binding.data() + 20, name.data(), name.size() * 2);
    std::memcpy(binding.data() + 20 + name.size() * 2, description.data(), description.size() * 2);
    const auto adapter = readNdisBinding(binding);
    ASSERT_TRUE(adapter);
    EXPECT_EQ(std::u16string(adapter->name), u"{A}");
    EXPECT_EQ(std::u16string(adapter->description), u"Radio");
    // An odd offset is read as it stands (copied out, so alignment does not matter).
    std::vector<BYTE> odd = binding;
    odd.insert(odd.begin() + 20, 0);
    putWord(odd, 4, 21);
    putWord(odd, 12, static_cast<uint32_t>(21 + name.size() * 2));
    ASSERT_TRUE(readNdisBinding(odd));
    readCutAndGarbled(binding, [](std::span<const BYTE> bytes) { readNdisBinding(bytes); });

    std::vector<BYTE> list(4 + 2 * sizeof(NDIS_WLAN_BSSID), 0);
    putWord(list, 0, 2);
    putWord(list, 4, sizeof(NDIS_WLAN_BSSID));
    putWord(list, 4 + sizeof(NDIS_WLAN_BSSID), sizeof(NDIS_WLAN_BSSID));
    std::vector<NetworkRecord> networks;
    readNdisBssidList(list, networks);
    EXPECT_EQ(networks.size(), 2u);
    readCutAndGarbled(list, [](std::span<const BYTE> bytes) {
        std::vector<NetworkRecord> out;
        readNdisBssidList(bytes, out);
        EXPECT_LE(out.size(), 2u);
    });
}

TEST(WlanReaders, NativeWifiLists) {
    std::vector<BYTE> interfaces(wlanListSize(2, sizeof(WLAN_INTERFACE_INFO)), 0xFF);  // no NUL in the texts
    putWord(interfaces, 0, 2);
    std::vector<AdapterRecord> adapters;
    readWlanInterfaceList(interfaces, adapters);
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(std::u16string(adapters[0].name), u"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
    EXPECT_EQ(std::u16string(adapters[0].description).size(), 255u);
    // A count above the entries the bytes hold reads only those.
    putWord(interfaces, 0, 1000);
    adapters.clear();
    readWlanInterfaceList(interfaces, adapters);
    EXPECT_EQ(adapters.size(), 2u);
    readCutAndGarbled(interfaces, [](std::span<const BYTE> bytes) {
        std::vector<AdapterRecord> out;
        readWlanInterfaceList(bytes, out);
    });

    std::vector<BYTE> networks(wlanListSize(2, sizeof(WLAN_AVAILABLE_NETWORK)), 0);
    putWord(networks, 0, 2);
    std::vector<NetworkRecord> out;
    readWlanNetworkList(networks, out);
    EXPECT_EQ(out.size(), 2u);
    readCutAndGarbled(networks, [](std::span<const BYTE> bytes) {
        std::vector<NetworkRecord> records;
        readWlanNetworkList(bytes, records);
        EXPECT_LE(records.size(), 2u);
    });
}

}  // namespace
