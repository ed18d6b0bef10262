// Scripted radios for the listing tests, and the check that everything handed out came back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetworkRecords.h"
#include "platform/low_memory.h"
#include "platform/radio.h"
#include "platform/testing/machine.h"

namespace wlantest {

using platform::radio::Adapter;
using platform::radio::Network;
using platform::radio::Radio;

inline const std::u16string kGuidA = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
inline const std::u16string kGuidB = u"{11111111-2222-3333-4444-555555555555}";

inline Network network(std::string ssid, LONG rssi = -60, ULONG privacy = 0) {
    Network n;
    n.ssid = std::move(ssid);
    n.rssi = rssi;
    n.privacy = privacy;
    return n;
}

inline Adapter adapter(std::u16string guid, std::u16string description, std::vector<Network> networks = {}) {
    Adapter a;
    a.guid = std::move(guid);
    a.description = std::move(description);
    a.networks = std::move(networks);
    return a;
}

// Radios that answer through one interface only.
inline Radio wzcRadio(std::vector<Adapter> adapters) {
    Radio radio;
    radio.wzc.present = true;
    radio.nativeWifi.present = false;
    radio.adapters = std::move(adapters);
    return radio;
}
inline Radio nativeRadio(std::vector<Adapter> adapters) {
    Radio radio;
    radio.adapters = std::move(adapters);
    return radio;
}
inline Radio ndisRadio(std::vector<Adapter> adapters) {
    Radio radio;
    radio.nativeWifi.present = false;
    radio.ndisuio.present = true;
    radio.adapters = std::move(adapters);
    return radio;
}

inline std::string ssidOf(const NetworkRecord& record) { return record.SSID; }
inline std::u16string text(const WCHAR* field) { return field; }

inline int calls(const char* function) {
    const auto counts = platform::radio::counters().calls;
    auto found = counts.find(function);
    return found == counts.end() ? 0 : found->second;
}

// Blocks, lists and handles the interfaces handed out on this machine all came back.
inline void expectBalanced() {
    const platform::radio::Counters counts = platform::radio::counters();
    EXPECT_TRUE(counts.balanced()) << "local " << counts.localBlocksHandedOut << "/" << counts.localBlocksFreed
                                   << " wlan " << counts.wlanBlocksHandedOut << "/" << counts.wlanBlocksFreed
                                   << " clients " << counts.wlanHandlesOpened << "/" << counts.wlanHandlesClosed
                                   << " devices " << counts.deviceHandlesOpened << "/" << counts.deviceHandlesClosed
                                   << " foreign " << counts.foreignPointers;
    // The program's own low blocks (the GUID texts it hands the WZC service) came back too.
    const platform::LowBlockCounts own = platform::lowBlockCounts(0);
    EXPECT_EQ(own.handedOut, own.freed);
}

}  // namespace wlantest
