// What the wireless interfaces of the layer share: the radio, its counts, the records they build.
#pragma once

#include <mutex>
#include <string>

#include "platform/radio.h"

namespace platform::detail {

// The low-arena owner of the blocks the WZC service hands out.
constexpr int kWzcBlockOwner = 1;

// Changes this process's counts under their lock, with the call counted when `call` is given.
template <class F>
void updateCounters(F&& change, const char* call = nullptr);
std::mutex& radioCountersMutex();
radio::Counters& radioCountersLocked();  // the mutex held

template <class F>
void updateCounters(F&& change, const char* call) {
    std::lock_guard lock(radioCountersMutex());
    radio::Counters& counts = radioCountersLocked();
    if (call) ++counts.calls[call];
    change(counts);
}

// Whether a wireless system module is on the machine ("wzcsapi.dll", "wlanapi.dll").
bool wirelessModulePresent(std::u16string_view module);

// The adapter of a name (braced GUID text, compared without regard to case), or null.
const radio::Adapter* findAdapter(const radio::Radio& radio, std::u16string_view name);

// The SSID bytes and length an interface reports for a network (at most 32 bytes).
std::string reportedSsid(const radio::Network& network);
ULONG reportedSsidLength(const radio::Network& network);

}  // namespace platform::detail
