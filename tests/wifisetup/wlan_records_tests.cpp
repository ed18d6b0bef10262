// The records each interface gives: WZC entries in both layouts, Native Wi-Fi quality and security,
// NDISUIO bindings and BSSID lists, malformed ones included.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/control.h"
#include "wlan_radios.h"
#include "wlanapi.h"

namespace {

using namespace wlantest;
using platform::testing::Machine;

void putWord(std::string& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// A WZC configuration entry of `length` bytes (at least 60 so the fields fit).
std::string wzcEntry(uint32_t length, const std::string& ssid, int32_t rssi, uint32_t privacy) {
    std::string entry(std::max<uint32_t>(length, 60), '\0');
    putWord(entry, 0, length);
    std::memcpy(entry.data() + 20, ssid.data(), std::min<size_t>(ssid.size(), 32));
    putWord(entry, 52, privacy);
    putWord(entry, 56, static_cast<uint32_t>(rssi));
    return entry.substr(0, std::max<uint32_t>(length, 60));
}
std::string wzcData(uint32_t count, const std::string& entries) {
    std::string data(8, '\0');
    putWord(data, 0, count);
    return data + entries;
}

struct Listing {
    std::vector<AdapterRecord> adapters;
    std::vector<NetworkRecord> networks;
    std::string failure;
};
// Lists and scans through whatever interface works, keeping what a failure leaves.
Listing listAndScan() {
    Listing out;
    mywlanapi owner;
    try {
        out.adapters = owner.api().get_adapter_list();
        owner.api().scan_adapters();
    } catch (const std::exception& failure) {
        out.failure = failure.what();
    }
    out.networks = owner.api().networks();
    return out;
}

TEST(WlanRecords, WzcReadsBothLayoutsOfTheInterfaceEntry) {
    for (bool other : {false, true}) {
        SCOPED_TRACE(other ? "other layout" : "usual layout");
        Machine machine;
        Adapter a = adapter(kGuidA, u"Radio A", {network("Home", -41, 0), network(std::string(32, 'S'), -90, 7)});
        a.wzcOtherLayout = other;
        platform::radio::setRadio(wzcRadio({a}));
        const Listing listing = listAndScan();
        EXPECT_EQ(listing.failure, "");
        ASSERT_EQ(listing.networks.size(), 2u);
        EXPECT_EQ(ssidOf(listing.networks[0]), "Home");
        EXPECT_EQ(listing.networks[0].signal, -41);
        EXPECT_EQ(listing.networks[0].security, 1);
        EXPECT_EQ(ssidOf(listing.networks[1]), std::string(32, 'S'));  // 32 bytes, no NUL of its own
        EXPECT_EQ(listing.networks[1].security, 3);
        expectBalanced();
    }
}

// A length of 0 or below 68 in both places throws with the second read's length and frees the one
// block the service handed out.
TEST(WlanRecords, WzcDataLengthBelow68ThrowsWithTheRereadLength) {
    const struct {
        bool other;
        ULONG length;
        const char* reported;
    } cases[] = {
        {false, 0, "0"},
        {false, 67, "0"},  // the second read, 8 bytes on, finds nothing
        {true, 0, "0"},
        {true, 67, "67"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + (c.other ? " other" : " usual"));
        Machine machine;
        Adapter a = adapter(kGuidA, u"Radio A", {network("Home")});
        a.wzcOtherLayout = c.other;
        a.wzcBssidLength = c.length;
        platform::radio::setRadio(wzcRadio({a}));
        const Listing listing = listAndScan();
        EXPECT_EQ(listing.failure, std::string("WZC: Interface query consistency failure: no data or incorrect data "
                                               "length (length: ") +
                                       c.reported + ")\n");
        expectBalanced();
    }
}

TEST(WlanRecords, WzcOddEntriesEndTheScanAfterTheRecordsBefore) {
    const struct {
        const char* why;
        std::string data;
        size_t kept;
        bool odd;
    } cases[] = {
        {"entry of 63 bytes", wzcData(2, wzcEntry(64, "First", -50, 1) + wzcEntry(63, "Short", -50, 1) + std::string(8, '\0')), 1, true},
        {"entry past the data", wzcData(2, wzcEntry(64, "First", -50, 1) + wzcEntry(200, "Long", -50, 1).substr(0, 64)), 1, true},
        {"count above the entries", wzcData(3, wzcEntry(64, "First", -50, 1) + std::string(8, '\0')), 1, true},
        {"count 0", wzcData(0, std::string(64, '\0')), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Machine machine;
        Adapter a = adapter(kGuidA, u"Radio A");
        a.wzcBssidData = c.data;
        platform::radio::setRadio(wzcRadio({a, adapter(kGuidB, u"Radio B", {network("Never")})}));
        const Listing listing = listAndScan();
        EXPECT_EQ(listing.failure, c.odd ? "WZC: Bssid structure looks odd. Break!\n" : "");
        // A failed adapter ends the whole scan.
        ASSERT_EQ(listing.networks.size(), c.kept + (c.odd ? 0 : 1));
        if (c.kept) {
            EXPECT_EQ(ssidOf(listing.networks[0]), "First");
        }
        expectBalanced();
    }
}

TEST(WlanRecords, WzcTakesOnlyNamesAndDescriptionsOf1To255Characters) {
    Machine machine;
    const std::u16string overlong(256, u'D');
    platform::radio::setRadio(wzcRadio({adapter(kGuidA, overlong), adapter(std::u16string(256, u'G'), u"Skipped"),
                                        adapter(kGuidB, std::u16string(255, u'E'))}));
    const Listing listing = listAndScan();
    ASSERT_EQ(listing.adapters.size(), 2u);
    EXPECT_EQ(text(listing.adapters[0].description), u"");
    EXPECT_EQ(text(listing.adapters[1].name), kGuidB);
    EXPECT_EQ(text(listing.adapters[1].description), std::u16string(255, u'E'));
    expectBalanced();  // every description block freed once copied
}

Network wifi(std::string ssid, ULONG quality, DWORD authentication = 1, DWORD cipher = 0,
             std::u16string profile = {}) {
    Network n = network(std::move(ssid));
    n.quality = quality;
    n.authentication = authentication;
    n.cipher = cipher;
    n.profile = std::move(profile);
    return n;
}

TEST(WlanRecords, NativeWifiSignalFromQuality) {
    Machine machine;
    platform::radio::setRadio(nativeRadio({adapter(kGuidA, u"Radio A", {wifi("Full", 100), wifi("Half", 49), wifi("None", 0)})}));
    const Listing listing = listAndScan();
    ASSERT_EQ(listing.networks.size(), 3u);
    EXPECT_EQ(listing.networks[0].signal, -50);
    EXPECT_EQ(listing.networks[1].signal, -76);
    EXPECT_EQ(listing.networks[2].signal, -100);
    EXPECT_EQ(platform::radio::counters().lastAvailableNetworkFlags, WLAN_AVAILABLE_NETWORK_INCLUDE_ALL_ADHOC_PROFILES);
    expectBalanced();
}

TEST(WlanRecords, NativeWifiSecurityFromAuthenticationAndCipher) {
    const struct {
        DWORD authentication, cipher;
        int security;
    } cases[] = {
        {DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_NONE, 0},
        {DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_WEP40, 1},
        {DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_WEP104, 1},
        {DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_WEP, 1},
        {DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_TKIP, 0},
        {DOT11_AUTH_ALGO_80211_SHARED_KEY, DOT11_CIPHER_ALGO_WEP40, 1},
        {DOT11_AUTH_ALGO_WPA_PSK, DOT11_CIPHER_ALGO_TKIP, 3},
        {DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, 3},
    };
    Machine machine;
    std::vector<Network> networks;
    for (const auto& c : cases) networks.push_back(wifi("N", 50, c.authentication, c.cipher));
    platform::radio::setRadio(nativeRadio({adapter(kGuidA, u"Radio A", networks)}));
    const Listing listing = listAndScan();
    ASSERT_EQ(listing.networks.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(listing.networks[i].security, cases[i].security) << cases[i].authentication << "/" << cases[i].cipher;
}

TEST(WlanRecords, NativeWifiListsANetworkWithAProfileOnceAndEachAdapterItsOwn) {
    Machine machine;
    const std::vector<Network> seen = {wifi("Home", 80, 7, 4, u"Home"), wifi("Home", 80, 7, 4)};
    platform::radio::setRadio(nativeRadio({adapter(kGuidA, u"Radio A", seen), adapter(kGuidB, u"Radio B", seen)}));
    const Listing listing = listAndScan();
    ASSERT_EQ(listing.adapters.size(), 2u);
    // The GUID as the layer formats it, upper-case.
    EXPECT_EQ(text(listing.adapters[0].name), kGuidA);
    ASSERT_EQ(listing.networks.size(), 2u);  // once per adapter
    EXPECT_EQ(ssidOf(listing.networks[0]), "Home");
    EXPECT_EQ(ssidOf(listing.networks[1]), "Home");
    expectBalanced();
}

// An NDISUIO binding record: the query record, then the name and description at the offsets given.
std::string binding(const std::u16string& name, const std::u16string& description, int nameOffsetExtra = 0,
                    std::optional<uint32_t> nameLength = std::nullopt) {
    const uint32_t nameBytes = static_cast<uint32_t>(name.size() * 2), descrBytes = static_cast<uint32_t>(description.size() * 2);
    std::string record(20, '\0');
    putWord(record, 4, 20 + nameOffsetExtra);
    putWord(record, 8, nameLength.value_or(nameBytes));
    putWord(record, 12, 20 + nameBytes);
    putWord(record, 16, descrBytes);
    record.append(reinterpret_cast<const char*>(name.data()), nameBytes);
    record.append(reinterpret_cast<const char*>(description.data()), descrBytes);
    return record;
}

TEST(WlanRecords, NdisuioBindingsGiveNamesAfterTheDevicePrefix) {
    Machine machine;
    Radio radio = ndisRadio({});
    radio.ndisuio.rawBindings = std::vector<std::string>{
        binding(u"\\DEVICE\\" + kGuidA, u"With prefix"),
        binding(kGuidB, u"Without prefix"),
        binding(u"\\Device\\{lower}", u"Prefix of another case"),
        binding(std::u16string(512, u'N'), u""),  // a name of 1024 bytes
        binding(u"", u"No name"),
        binding(u"\\DEVICE\\{Far}", u"Name offset past the reply", 4000),
        binding(u"\\DEVICE\\{Long}", u"Name length past the reply", 0, 900),
        binding(u"\\DEVICE\\{Plain}", std::u16string(300, u'd')),
    };
    platform::radio::setRadio(radio);
    const Listing listing = listAndScan();
    ASSERT_EQ(listing.adapters.size(), 4u);
    EXPECT_EQ(text(listing.adapters[0].name), kGuidA);
    EXPECT_EQ(text(listing.adapters[0].description), u"With prefix");
    EXPECT_EQ(text(listing.adapters[1].name), kGuidB);
    EXPECT_EQ(text(listing.adapters[2].name), u"\\Device\\{lower}");
    EXPECT_EQ(text(listing.adapters[3].name), u"{Plain}");
    EXPECT_EQ(text(listing.adapters[3].description), u"");  // overlong description left out
    expectBalanced();
}

// An NDIS BSSID list entry of `length` bytes.
std::string ndisEntry(uint32_t length, const std::string& ssid, int32_t rssi, uint32_t privacy) {
    std::string entry(std::max<uint32_t>(length, 64), '\0');
    putWord(entry, 0, length);
    putWord(entry, 12, static_cast<uint32_t>(ssid.size()));
    std::memcpy(entry.data() + 16, ssid.data(), std::min<size_t>(ssid.size(), 32));
    putWord(entry, 48, privacy);
    putWord(entry, 52, static_cast<uint32_t>(rssi));
    return entry.substr(0, length < 64 ? 64 : length);
}
std::string ndisList(uint32_t count, const std::string& entries) {
    std::string list(4, '\0');
    putWord(list, 0, count);
    return list + entries;
}

TEST(WlanRecords, NdisBssidListsEndQuietlyAtABadEntry) {
    const struct {
        const char* why;
        std::string list;
        std::vector<std::string> ssids;
    } cases[] = {
        {"privacy values and a 32-byte SSID",
         ndisList(3, ndisEntry(104, "Open", -30, 0) + ndisEntry(104, std::string(32, 'L'), -60, 1) + ndisEntry(64, "Wep", -90, 2)),
         {"Open", std::string(32, 'L'), "Wep"}},
        {"entry of 63 bytes", ndisList(2, ndisEntry(104, "First", -40, 0) + ndisEntry(63, "Short", -40, 0)), {"First"}},
        {"count above the entries", ndisList(5, ndisEntry(104, "First", -40, 0)), {"First"}},
        {"entry past the returned bytes", ndisList(2, ndisEntry(104, "First", -40, 0) + ndisEntry(104, "Cut", -40, 0).substr(0, 80)),
         {"First"}},
        {"no count", std::string(2, '\0'), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Machine machine;
        Adapter a = adapter(kGuidA, u"Radio A");
        a.ndisBssidList = c.list;
        platform::radio::setRadio(ndisRadio({a, adapter(kGuidB, u"Radio B", {network("Second")})}));
        const Listing listing = listAndScan();
        EXPECT_EQ(listing.failure, "");
        std::vector<std::string> ssids;
        for (const NetworkRecord& n : listing.networks) ssids.push_back(ssidOf(n));
        std::vector<std::string> expected = c.ssids;
        expected.push_back("Second");  // a quiet end goes on with the next adapter
        EXPECT_EQ(ssids, expected);
        if (c.ssids.size() == 3) {
            EXPECT_EQ(listing.networks[0].signal, -30);
            EXPECT_EQ(listing.networks[0].security, 0);
            EXPECT_EQ(listing.networks[1].security, 3);
            EXPECT_EQ(listing.networks[2].security, 1);
        }
        expectBalanced();
    }
}

TEST(WlanRecords, NdisuioHandlesAreClosedOnFailuresToo) {
    Machine machine;
    Radio radio = ndisRadio({adapter(kGuidA, u"Radio A")});
    radio.ndisuio.bindWaitError = ERROR_GEN_FAILURE;
    platform::radio::setRadio(radio);
    EXPECT_EQ(listAndScan().failure, "Unable to find a valid method for retrieving a list of network adapters");
    EXPECT_EQ(platform::radio::counters().deviceHandlesOpened, 1);
    expectBalanced();
}

}  // namespace
