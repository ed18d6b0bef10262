// Choosing the interface: WZC, then Native Wi-Fi, then NDISUIO, the first that lists the adapters
// also scanning them, and the remembered method on later calls.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/control.h"
#include "wlan_radios.h"
#include "wlanapi.h"

namespace {

using namespace wlantest;
using platform::testing::Machine;

const char kNoMethod[] = "Unable to find a valid method for retrieving a list of network adapters";

// Two adapters, the first seeing two networks, the second one.
std::vector<Adapter> twoAdapters() {
    return {adapter(kGuidA, u"Radio A", {network("Home", -40, 1), network("Cafe", -70, 0)}),
            adapter(kGuidB, u"Radio B", {network("Office", -55, 2)})};
}

std::string whatOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "(nothing thrown)";
}

TEST(WlanMethods, WzcListsAndScansWhenTheServiceRuns) {
    Machine machine;
    platform::radio::setRadio(wzcRadio(twoAdapters()));
    {
        mywlanapi owner;
        const auto& adapters = owner.api().get_adapter_list();
        ASSERT_EQ(adapters.size(), 2u);
        EXPECT_EQ(text(adapters[0].name), kGuidA);
        EXPECT_EQ(text(adapters[0].description), u"Radio A");
        EXPECT_EQ(text(adapters[1].name), kGuidB);
        const auto& networks = owner.api().scan_adapters();
        ASSERT_EQ(networks.size(), 3u);
        // WZC privacy: 1 is no privacy, 0 WEP, anything else WPA.
        EXPECT_EQ(ssidOf(networks[0]), "Home");
        EXPECT_EQ(networks[0].signal, -40);
        EXPECT_EQ(networks[0].security, 0);
        EXPECT_EQ(networks[1].security, 1);
        EXPECT_EQ(ssidOf(networks[2]), "Office");
        EXPECT_EQ(networks[2].security, 3);
    }
    EXPECT_EQ(calls("WlanOpenHandle"), 0);
    expectBalanced();
}

struct Script {
    const char* why;
    std::function<void(Radio&)> change;
};

// Lists and scans on `base` changed by each script in turn, each on a fresh machine; `check` looks at
// what was listed and at the calls, and everything handed out must have come back.
void listEach(const Radio& base, std::initializer_list<Script> scripts,
              const std::function<void(const std::vector<AdapterRecord>&, size_t networks)>& check) {
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.why);
        Machine machine;
        Radio radio = base;
        script.change(radio);
        platform::radio::setRadio(radio);
        {
            mywlanapi owner;
            const std::vector<AdapterRecord> adapters = owner.api().get_adapter_list();
            check(adapters, owner.api().scan_adapters().size());
        }
        expectBalanced();
        platform::restoreSystemExports();
    }
}

// Each way WZC is missing sends the listing, and with it the scans, to Native Wi-Fi.
TEST(WlanMethods, WithoutWzcNativeWifiListsAndScans) {
    Radio base = nativeRadio(twoAdapters());
    base.wzc.present = true;
    listEach(base,
             {
                 {"module absent", [](Radio& r) { r.wzc.present = false; }},
                 {"LoadLibrary fails",
                  [](Radio&) { platform::setFault("LoadLibrary", platform::Fault().onlyFor("wzcsapi")); }},
                 {"export removed", [](Radio&) { platform::removeSystemExport("wzcsapi.dll", "WZCRefreshInterface"); }},
                 {"service stopped", [](Radio& r) { r.wzc.running = false; }},
                 {"enumeration fails", [](Radio& r) { r.wzc.enumResult = 1722; }},
             },
             [](const std::vector<AdapterRecord>& adapters, size_t networks) {
                 EXPECT_EQ(adapters.size(), 2u);
                 EXPECT_EQ(networks, 3u);
                 EXPECT_EQ(calls("WlanEnumInterfaces"), 1);
                 EXPECT_EQ(calls("WlanGetAvailableNetworkList"), 2);
                 EXPECT_EQ(calls("WZCQueryInterface"), 0);
             });
}

// A Native Wi-Fi client that cannot be opened or enumerate sends the listing to NDISUIO.
TEST(WlanMethods, WithoutNativeWifiNdisuioListsAndScans) {
    Radio base = ndisRadio(twoAdapters());
    base.nativeWifi.present = true;
    listEach(base,
             {
                 {"module absent", [](Radio& r) { r.nativeWifi.present = false; }},
                 {"export removed",
                  [](Radio&) { platform::removeSystemExport("wlanapi.dll", "WlanGetNetworkBssList"); }},
                 {"service stopped", [](Radio& r) { r.nativeWifi.running = false; }},
                 {"open fails", [](Radio& r) { r.nativeWifi.openResult = ERROR_ACCESS_DENIED; }},
                 // Enumeration failing is a failure of the method, not an empty list.
                 {"enumeration fails", [](Radio& r) { r.nativeWifi.enumResult = ERROR_INVALID_HANDLE; }},
             },
             [](const std::vector<AdapterRecord>& adapters, size_t networks) {
                 ASSERT_EQ(adapters.size(), 2u);
                 EXPECT_EQ(text(adapters[0].name), kGuidA);  // after "\DEVICE\"
                 EXPECT_EQ(text(adapters[1].description), u"Radio B");
                 EXPECT_EQ(networks, 3u);
                 EXPECT_EQ(calls("OID_802_11_BSSID_LIST_SCAN"), 2);
                 EXPECT_EQ(calls("OID_802_11_BSSID_LIST"), 2);
                 EXPECT_EQ(calls("WlanGetAvailableNetworkList"), 0);
             });
}

TEST(WlanMethods, AllThreeFailingGiveNoValidMethodAndNoScan) {
    Machine machine;
    Radio radio = nativeRadio(twoAdapters());
    radio.nativeWifi.running = false;  // no WZC and no NDISUIO by default
    platform::radio::setRadio(radio);
    {
        mywlanapi owner;
        EXPECT_EQ(whatOf([&] { owner.api().get_adapter_list(); }), kNoMethod);
        EXPECT_TRUE(owner.api().adapters().empty());
        EXPECT_EQ(whatOf([&] { owner.api().scan_adapters(); }), "You have to call get_adapter_list() first!");
    }
    expectBalanced();
}

TEST(WlanMethods, ScanningBeforeListingThrows) {
    Machine machine;
    mywlanapi owner;
    EXPECT_EQ(whatOf([&] { owner.api().scan_adapters(); }), "You have to call get_adapter_list() first!");
    EXPECT_EQ(calls("WlanGetAvailableNetworkList"), 0);
}

// A scan keeps the interface that listed the adapters: WZC's failure is the caller's.
TEST(WlanMethods, WzcScanWithIncorrectFlagsDoesNotFallThrough) {
    Machine machine;
    Radio radio = wzcRadio(twoAdapters());
    radio.nativeWifi.present = true;
    radio.wzc.scanOutFlags = WZC_INTF_LIST_SCAN;
    platform::radio::setRadio(radio);
    {
        mywlanapi owner;
        ASSERT_EQ(owner.api().get_adapter_list().size(), 2u);
        EXPECT_EQ(whatOf([&] { owner.api().scan_adapters(); }),
                  "WZC: Interface query consistency failure: incorrect flags\n");
        EXPECT_TRUE(owner.api().networks().empty());
    }
    EXPECT_EQ(calls("WlanOpenHandle"), 0);
    expectBalanced();
}

// Within one object the method that worked is the only one called again; a new owner starts over.
TEST(WlanMethods, TheRememberedMethodIsCalledAgainAndANewOwnerStartsWithWzc) {
    Machine machine;
    Radio radio = nativeRadio(twoAdapters());
    radio.wzc.present = true;
    radio.wzc.enumResult = 1722;
    platform::radio::setRadio(radio);
    {
        mywlanapi owner;
        owner.api().get_adapter_list();
        EXPECT_EQ(calls("WZCEnumInterfaces"), 1);
        EXPECT_EQ(calls("WlanEnumInterfaces"), 1);
        EXPECT_EQ(owner.api().get_adapter_list().size(), 2u);  // cleared, not doubled
        EXPECT_EQ(calls("WZCEnumInterfaces"), 1);
        EXPECT_EQ(calls("WlanEnumInterfaces"), 2);
        EXPECT_EQ(calls("WlanOpenHandle"), 1);  // the client handle is kept
        // The network list only grows.
        owner.api().scan_adapters();
        EXPECT_EQ(owner.api().scan_adapters().size(), 6u);
    }
    {
        mywlanapi next;
        next.api().get_adapter_list();
        EXPECT_EQ(calls("WZCEnumInterfaces"), 2);
    }
    EXPECT_EQ(calls("WlanCloseHandle"), 2);
    expectBalanced();
}

// Failures of the remembered method reach the caller with their own text.
TEST(WlanMethods, ARememberedMethodsFailurePassesToTheCaller) {
    const struct {
        const char* why;
        Radio radio;
        std::function<void(Radio&)> breakIt;
        const char* text;
    } cases[] = {
        {"WZC enumeration", wzcRadio(twoAdapters()), [](Radio& r) { r.wzc.enumResult = 5; },
         "WZC: Interface enumeration failed; WCZ service is probably not running\n"},
        {"WZC description", wzcRadio(twoAdapters()), [](Radio& r) { r.wzc.describeResult = 5; },
         "WZC: Interface query failed; WCZ service is probably not running\n"},
        {"Native Wi-Fi enumeration", nativeRadio(twoAdapters()), [](Radio& r) { r.nativeWifi.enumResult = 1062; },
         "WLAN: Unable to enumerate interfaces (return code: 1062)\n"},
        {"NDISUIO gone", ndisRadio(twoAdapters()), [](Radio& r) { r.ndisuio.present = false; },
         "NDIS: Failed to open connection to NDISUIO with error code: 2"},
        {"NDISUIO bind wait", ndisRadio(twoAdapters()), [](Radio& r) { r.ndisuio.bindWaitError = ERROR_GEN_FAILURE; },
         "NDIS: IOCTL_NDISUIO_BIND_WAIT failed with error code: 31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Machine machine;
        platform::radio::setRadio(c.radio);
        {
            mywlanapi owner;
            ASSERT_EQ(owner.api().get_adapter_list().size(), 2u);
            Radio broken = c.radio;
            c.breakIt(broken);
            platform::radio::setRadio(broken);
            EXPECT_EQ(whatOf([&] { owner.api().get_adapter_list(); }), c.text);
        }
        expectBalanced();
    }
}

}  // namespace
