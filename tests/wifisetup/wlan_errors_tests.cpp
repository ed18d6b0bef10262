// Every failure of the six back-ends is a wlanapi_exception with its own text, and nothing handed
// out before it is lost.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/control.h"
#include "wlan_radios.h"
#include "wlanapi.h"

namespace {

using namespace wlantest;
using platform::testing::Machine;

AdapterRecord record(std::u16string_view name) {
    AdapterRecord adapter;
    std::memcpy(adapter.name, name.data(), name.size() * sizeof(WCHAR));
    return adapter;
}

struct FailureCase {
    const char* why;
    std::function<Radio()> radio;
    std::function<void(wlanapi&)> call;
    const char* text;
};

Radio wzcWith(const std::function<void(Radio&)>& change) {
    Radio radio = wzcRadio({adapter(kGuidA, u"Radio A", {network("Home")})});
    change(radio);
    return radio;
}
Radio nativeWith(const std::function<void(Radio&)>& change) {
    Radio radio = nativeRadio({adapter(kGuidA, u"Radio A", {network("Home")})});
    change(radio);
    return radio;
}
Radio ndisWith(const std::function<void(Radio&)>& change) {
    Radio radio = ndisRadio({adapter(kGuidA, u"Radio A", {network("Home")})});
    change(radio);
    return radio;
}

// The scan of one adapter after its interface listed the adapters.
std::function<void(wlanapi&)> scanAfter(void (wlanapi::*list)(), void (wlanapi::*scan)(const AdapterRecord&),
                                        std::u16string name = kGuidA) {
    return [=](wlanapi& api) {
        (api.*list)();
        (api.*scan)(record(name));
    };
}

TEST(WlanErrors, EachFailureHasItsText) {
    const auto wzcList = [](wlanapi& api) { api.wzc_get_adapter_list(); };
    const auto wlanList = [](wlanapi& api) { api.wlan_get_adapter_list(); };
    const auto ndisList = [](wlanapi& api) { api.ndis_get_adapter_list(); };
    const auto wzcScan = scanAfter(&wlanapi::wzc_get_adapter_list, &wlanapi::wzc_scan_adapter);
    const auto wlanScan = scanAfter(&wlanapi::wlan_get_adapter_list, &wlanapi::wlan_scan_adapter);
    const auto ndisScan = scanAfter(&wlanapi::ndis_get_adapter_list, &wlanapi::ndis_scan_adapter);
    const auto none = [](Radio&) {};
    const FailureCase cases[] = {
        {"wzcsapi absent", [&] { return wzcWith([](Radio& r) { r.wzc.present = false; }); }, wzcList,
         "WZC: Unable to load wzcsapi!\n"},
        {"WZCEnumInterfaces removed",
         [&] {
             platform::removeSystemExport("wzcsapi.dll", "WZCEnumInterfaces");
             return wzcWith(none);
         },
         wzcList, "WZC: Unable to find process address of function 'WZCEnumInterfaces' (error code: 127)\n"},
        {"WZCQueryInterface removed",
         [&] {
             platform::removeSystemExport("wzcsapi.dll", "WZCQueryInterface");
             return wzcWith(none);
         },
         wzcList, "WZC: Unable to find process address of function 'WZCQueryInterface' (error code: 127)\n"},
        {"WZC service stopped", [&] { return wzcWith([](Radio& r) { r.wzc.running = false; }); }, wzcList,
         "WZC: Interface enumeration failed; WCZ service is probably not running\n"},
        {"WZC description query", [&] { return wzcWith([](Radio& r) { r.wzc.describeResult = 5; }); }, wzcList,
         "WZC: Interface query failed; WCZ service is probably not running\n"},
        {"WZC BSSID query", [&] { return wzcWith([](Radio& r) { r.wzc.scanResult = 5; }); }, wzcScan,
         "WZC: Interface query failed; WCZ service is probably not running\n"},
        {"WZC flags", [&] { return wzcWith([](Radio& r) { r.wzc.scanOutFlags = 1; }); }, wzcScan,
         "WZC: Interface query consistency failure: incorrect flags\n"},
        {"WZC no data", [&] { return wzcWith([](Radio& r) { r.adapters[0].wzcBssidLength = 0; }); }, wzcScan,
         "WZC: Interface query consistency failure: no data or incorrect data length (length: 0)\n"},
        {"WZC odd entry",
         [&] { return wzcWith([](Radio& r) { r.adapters[0].wzcBssidData = std::string("\1\0\0\0\0\0\0\0", 8) + std::string(60, '\0'); }); },
         wzcScan, "WZC: Bssid structure looks odd. Break!\n"},
        {"wlanapi absent", [&] { return nativeWith([](Radio& r) { r.nativeWifi.present = false; }); }, wlanList,
         "WLAN: Unable to load wlanapi!\n"},
        {"WlanOpenHandle removed",
         [&] {
             platform::removeSystemExport("wlanapi.dll", "WlanOpenHandle");
             return nativeWith(none);
         },
         wlanList, "WLAN: Unable to find process address of function 'WlanOpenHandle' (error code: 127)\n"},
        {"WlanGetAvailableNetworkList removed",
         [&] {
             platform::removeSystemExport("wlanapi.dll", "WlanGetAvailableNetworkList");
             return nativeWith(none);
         },
         wlanList,
         "WLAN: Unable to find process address of function 'WlanGetAvailableNetworkList' (error code: 127)\n"},
        {"WlanOpenHandle fails",
         [&] {
             SetLastError(0);
             return nativeWith([](Radio& r) { r.nativeWifi.running = false; });
         },
         wlanList, "WLAN: Error creating WLAN API handle (error code: 0)\n"},
        {"WlanEnumInterfaces fails", [&] { return nativeWith([](Radio& r) { r.nativeWifi.enumResult = 87; }); },
         wlanList, "WLAN: Unable to enumerate interfaces (return code: 87)\n"},
        {"adapter name of 37 characters", [&] { return nativeWith(none); },
         scanAfter(&wlanapi::wlan_get_adapter_list, &wlanapi::wlan_scan_adapter, kGuidA.substr(0, 37)),
         "WLAN: No adapter name given or length mismatch (should be 38 wchars long)"},
        {"no adapter name", [&] { return nativeWith(none); },
         scanAfter(&wlanapi::wlan_get_adapter_list, &wlanapi::wlan_scan_adapter, u""),
         "WLAN: No adapter name given or length mismatch (should be 38 wchars long)"},
        {"WlanGetAvailableNetworkList fails", [&] { return nativeWith([](Radio& r) { r.nativeWifi.listResult = 1062; }); },
         wlanScan, "WLAN: Unable to get BSS list using WlanGetAvailableNetworkList (return code: 1062)\n"},
        {"NDISUIO absent", [&] { return ndisWith([](Radio& r) { r.ndisuio.present = false; }); }, ndisList,
         "NDIS: Failed to open connection to NDISUIO with error code: 2"},
        {"NDISUIO refused",
         [&] {
             platform::setFault("CreateFile", platform::Fault().withError(ERROR_ACCESS_DENIED));
             return ndisWith(none);
         },
         ndisList, "NDIS: Failed to open connection to NDISUIO with error code: 5"},
        {"bind wait", [&] { return ndisWith([](Radio& r) { r.ndisuio.bindWaitError = 21; }); }, ndisList,
         "NDIS: IOCTL_NDISUIO_BIND_WAIT failed with error code: 21"},
        {"adapter device missing", [&] { return ndisWith(none); },
         scanAfter(&wlanapi::ndis_get_adapter_list, &wlanapi::ndis_scan_adapter, kGuidB),
         "NDIS: Failed to open connection to NDISUIO with error code: 2"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.why);
        Machine machine;
        platform::radio::setRadio(c.radio());
        {
            wlanapi api;
            try {
                c.call(api);
                ADD_FAILURE() << "nothing thrown";
            } catch (const wlanapi_exception& failure) {
                EXPECT_STREQ(failure.what(), c.text);
            }
        }
        expectBalanced();
        platform::restoreSystemExports();
    }
}

TEST(WlanErrors, TheTextIsCutAt511Bytes) {
    const std::string longName(600, 'x');
    const wlanapi_exception failure("%s!", longName.c_str());
    EXPECT_EQ(std::string(failure.what()), longName.substr(0, 511));
    const std::runtime_error& base = failure;
    EXPECT_EQ(std::string(base.what()).size(), 511u);
}

}  // namespace
