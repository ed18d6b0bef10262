// The Wireless Zero Configuration service ("wzcsapi.dll"), answered from the machine's radio. Its
// records are 32-bit: every block a 4-byte field points to lies in the low arena, the blocks handed
// out are freed with LocalFree, and an address outside the arena in a field the caller filled is
// reported (counted and refused) instead of being followed.
#include <algorithm>
#include <cstring>

#include "../internal.h"
#include "platform/low_memory.h"
#include "radio_internal.h"
#include "win/kernel.h"
#include "win/wlan.h"

namespace {

using platform::radio::Adapter;
using platform::radio::Network;

constexpr DWORD kServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE: the service is stopped
constexpr size_t kConfigEntrySize = 72;     // the configuration entries the service builds
constexpr size_t kConfigSsidLength = 16;    // the SSID length, before its bytes

void putWord(BYTE* at, uint32_t value) { std::memcpy(at, &value, 4); }
uint32_t getWord(const BYTE* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// A block of the service's own, holding `bytes` (zero-padded to `size`).
void* handOut(std::string_view bytes, size_t size) {
    void* block = platform::allocateLow(std::max(size, bytes.size()), platform::detail::kWzcBlockOwner);
    if (block && !bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

std::string wideBytes(std::u16string_view text) {
    std::string out(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    out.append(2, '\0');
    return out;
}

// The BSSID-list data the service builds for an adapter's networks.
std::string bssidData(const Adapter& adapter) {
    std::string data(WZC_BSSID_ENTRIES + adapter.networks.size() * kConfigEntrySize, '\0');
    auto* bytes = reinterpret_cast<BYTE*>(data.data());
    putWord(bytes + WZC_BSSID_COUNT, static_cast<uint32_t>(adapter.networks.size()));
    BYTE* entry = bytes + WZC_BSSID_ENTRIES;
    for (const Network& network : adapter.networks) {
        putWord(entry + WZC_CONFIG_LENGTH, kConfigEntrySize);
        putWord(entry + kConfigSsidLength, platform::detail::reportedSsidLength(network));
        const std::string ssid = platform::detail::reportedSsid(network);
        std::memcpy(entry + WZC_CONFIG_SSID, ssid.data(), ssid.size());
        putWord(entry + WZC_CONFIG_PRIVACY, network.privacy);
        putWord(entry + WZC_CONFIG_RSSI, static_cast<uint32_t>(network.rssi));
        entry += kConfigEntrySize;
    }
    return data;
}

// The GUID text a caller's 4-byte field points to, read within the arena; false for an address
// outside it.
bool callerText(uint32_t address, std::u16string& text) {
    const void* at = platform::fromLowAddress(address);
    if (!address || !platform::inLowArena(at)) {
        platform::detail::updateCounters([](auto& counts) { ++counts.foreignPointers; });
        OutputDebugStringA("WZCQueryInterface: the GUID field holds an address outside the low arena");
        return false;
    }
    text.clear();
    for (const auto* c = static_cast<const char16_t*>(at); platform::inLowArena(c + 1) && *c && text.size() < 256; ++c)
        text.push_back(*c);
    return true;
}

}  // namespace

DWORD WINAPI WZCEnumInterfaces(LPWSTR, WZC_INTFS_KEY_TABLE* table) {
    platform::detail::updateCounters([](auto&) {}, "WZCEnumInterfaces");
    const platform::radio::Radio radio = platform::radio::currentRadio();
    if (!radio.wzc.running) return kServerUnavailable;
    if (radio.wzc.enumResult) return radio.wzc.enumResult;
    if (!table) return ERROR_INVALID_PARAMETER;
    table->dwNumIntfs = 0;
    table->pIntfs = 0;
    if (radio.adapters.empty()) return ERROR_SUCCESS;
    // One block: the array of 4-byte pointers, then the texts they point to.
    const size_t arrayBytes = radio.adapters.size() * 4;
    std::string texts;
    for (const Adapter& adapter : radio.adapters) texts += wideBytes(adapter.guid);
    auto* block = static_cast<BYTE*>(handOut({}, arrayBytes + texts.size()));
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(block + arrayBytes, texts.data(), texts.size());
    size_t offset = arrayBytes;
    for (size_t i = 0; i < radio.adapters.size(); ++i) {
        putWord(block + 4 * i, platform::lowAddress(block + offset));
        offset += (radio.adapters[i].guid.size() + 1) * sizeof(char16_t);
    }
    table->dwNumIntfs = static_cast<DWORD>(radio.adapters.size());
    table->pIntfs = platform::lowAddress(block);
    return ERROR_SUCCESS;
}

DWORD WINAPI WZCQueryInterface(LPWSTR, DWORD inFlags, BYTE* entry, LPDWORD outFlags) {
    platform::detail::updateCounters([](auto&) {}, "WZCQueryInterface");
    const platform::radio::Radio radio = platform::radio::currentRadio();
    if (!radio.wzc.running) return kServerUnavailable;
    if (!entry || !outFlags) return ERROR_INVALID_PARAMETER;
    std::u16string name;
    if (!callerText(getWord(entry + WZC_INTF_GUID), name)) return ERROR_INVALID_PARAMETER;
    const Adapter* adapter = platform::detail::findAdapter(radio, name);
    if (!adapter) return ERROR_FILE_NOT_FOUND;
    DWORD answered = 0;
    if (inFlags & WZC_INTF_DESCR) {
        if (radio.wzc.describeResult) return radio.wzc.describeResult;
        void* description = handOut(wideBytes(adapter->description), 0);
        if (!description) return ERROR_NOT_ENOUGH_MEMORY;
        putWord(entry + WZC_INTF_DESCRIPTION, platform::lowAddress(description));
        answered |= WZC_INTF_DESCR;
    }
    if (inFlags & WZC_INTF_BSSIDLIST) {
        if (radio.wzc.scanResult) return radio.wzc.scanResult;
        const std::string data = adapter->wzcBssidData.value_or(bssidData(*adapter));
        const ULONG length = adapter->wzcBssidLength.value_or(static_cast<ULONG>(data.size()));
        const size_t shift = adapter->wzcOtherLayout ? WZC_INTF_LAYOUT_SHIFT : 0;
        putWord(entry + WZC_INTF_BSSID_LENGTH + shift, length);
        if (length > 0) {  // with no length no data block
            void* block = handOut(data, length);
            if (!block) return ERROR_NOT_ENOUGH_MEMORY;
            putWord(entry + WZC_INTF_BSSID_DATA + shift, platform::lowAddress(block));
        }
        answered |= inFlags & (WZC_INTF_BSSIDLIST | WZC_INTF_LIST_SCAN);
        if (radio.wzc.scanOutFlags) answered = *radio.wzc.scanOutFlags;
    }
    *outFlags = answered;
    return ERROR_SUCCESS;
}

DWORD WINAPI WZCRefreshInterface(LPWSTR, DWORD, BYTE* entry, LPDWORD outFlags) {
    platform::detail::updateCounters([](auto&) {}, "WZCRefreshInterface");
    if (!platform::radio::currentRadio().wzc.running) return kServerUnavailable;
    if (!entry || !outFlags) return ERROR_INVALID_PARAMETER;
    *outFlags = 0;
    return ERROR_SUCCESS;
}
