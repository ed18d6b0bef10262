// The Native Wi-Fi client ("wlanapi.dll"), answered from the machine's radio: client handles of this
// process, and interface and network lists in blocks of their own freed with WlanFreeMemory.
#include <cstdlib>
#include <cstring>
#include <set>

#include "../internal.h"
#include "radio_internal.h"
#include "win/kernel.h"
#include "win/wlan.h"

namespace {

using platform::radio::Adapter;
using platform::radio::Network;

struct ClientState {
    std::mutex mutex;
    std::set<uintptr_t> handles;
    std::set<void*> blocks;
    uintptr_t next = 0x57A0001;
};
ClientState& clients() {
    static ClientState* state = new ClientState;
    return *state;
}

bool isClient(HANDLE handle) {
    auto& state = clients();
    std::lock_guard lock(state.mutex);
    return state.handles.count(reinterpret_cast<uintptr_t>(handle)) != 0;
}

// A zero-filled list block of the client's own.
void* handOut(size_t bytes) {
    void* block = std::calloc(1, bytes);
    if (!block) return nullptr;
    {
        auto& state = clients();
        std::lock_guard lock(state.mutex);
        state.blocks.insert(block);
    }
    platform::detail::updateCounters([](auto& counts) { ++counts.wlanBlocksHandedOut; });
    return block;
}

GUID guidOf(const Adapter& adapter) {
    GUID guid{};
    IIDFromString(adapter.guid.c_str(), &guid);
    return guid;
}

void copyText(WCHAR* to, std::u16string_view text) {
    const size_t count = std::min<size_t>(text.size(), WLAN_MAX_NAME_LENGTH - 1);
    std::memcpy(to, text.data(), count * sizeof(WCHAR));
    to[count] = 0;
}

}  // namespace

DWORD WINAPI WlanOpenHandle(DWORD clientVersion, PVOID, PDWORD negotiatedVersion, PHANDLE clientHandle) {
    platform::detail::updateCounters([](auto&) {}, "WlanOpenHandle");
    const platform::radio::Radio radio = platform::radio::currentRadio();
    if (!radio.nativeWifi.running) return ERROR_SERVICE_NOT_ACTIVE;
    if (radio.nativeWifi.openResult) return radio.nativeWifi.openResult;
    if (!clientHandle || !negotiatedVersion) return ERROR_INVALID_PARAMETER;
    if (clientVersion != 1 && clientVersion != 2) return ERROR_NOT_SUPPORTED;
    auto& state = clients();
    {
        std::lock_guard lock(state.mutex);
        const uintptr_t handle = state.next++;
        state.handles.insert(handle);
        *clientHandle = reinterpret_cast<HANDLE>(handle);
    }
    *negotiatedVersion = clientVersion;
    platform::detail::updateCounters([](auto& counts) { ++counts.wlanHandlesOpened; });
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanCloseHandle(HANDLE clientHandle, PVOID reserved) {
    platform::detail::updateCounters([](auto&) {}, "WlanCloseHandle");
    if (reserved) return ERROR_INVALID_PARAMETER;
    {
        auto& state = clients();
        std::lock_guard lock(state.mutex);
        if (!state.handles.erase(reinterpret_cast<uintptr_t>(clientHandle))) return ERROR_INVALID_HANDLE;
    }
    platform::detail::updateCounters([](auto& counts) { ++counts.wlanHandlesClosed; });
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanEnumInterfaces(HANDLE clientHandle, PVOID, WLAN_INTERFACE_INFO_LIST** list) {
    platform::detail::updateCounters([](auto&) {}, "WlanEnumInterfaces");
    if (!list) return ERROR_INVALID_PARAMETER;
    if (!isClient(clientHandle)) return ERROR_INVALID_HANDLE;
    const platform::radio::Radio radio = platform::radio::currentRadio();
    if (radio.nativeWifi.enumResult) return radio.nativeWifi.enumResult;
    const size_t count = radio.adapters.size();
    auto* block = static_cast<WLAN_INTERFACE_INFO_LIST*>(
        handOut(offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo) + count * sizeof(WLAN_INTERFACE_INFO)));
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    block->dwNumberOfItems = static_cast<DWORD>(count);
    for (size_t i = 0; i < count; ++i) {
        WLAN_INTERFACE_INFO& info = block->InterfaceInfo[i];
        info.InterfaceGuid = guidOf(radio.adapters[i]);
        copyText(info.strInterfaceDescription, radio.adapters[i].description);
        info.isState = 1;  // connected
    }
    *list = block;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanGetNetworkBssList(HANDLE, const GUID*, const DOT11_SSID*, DWORD, BOOL, PVOID, PVOID* list) {
    platform::detail::updateCounters([](auto&) {}, "WlanGetNetworkBssList");
    if (list) *list = nullptr;
    return ERROR_NOT_SUPPORTED;
}

void WINAPI WlanFreeMemory(PVOID memory) {
    if (!memory) return;
    {
        auto& state = clients();
        std::lock_guard lock(state.mutex);
        if (!state.blocks.erase(memory)) {
            OutputDebugStringA("WlanFreeMemory: not a block of the client");
            return;
        }
    }
    std::free(memory);
    platform::detail::updateCounters([](auto& counts) { ++counts.wlanBlocksFreed; }, "WlanFreeMemory");
}

DWORD WINAPI WlanGetAvailableNetworkList(HANDLE clientHandle, const GUID* interfaceGuid, DWORD flags, PVOID,
                                         WLAN_AVAILABLE_NETWORK_LIST** list) {
    platform::detail::updateCounters([flags](auto& counts) { counts.lastAvailableNetworkFlags = flags; },
                                     "WlanGetAvailableNetworkList");
    if (!list || !interfaceGuid) return ERROR_INVALID_PARAMETER;
    if (!isClient(clientHandle)) return ERROR_INVALID_HANDLE;
    const platform::radio::Radio radio = platform::radio::currentRadio();
    if (radio.nativeWifi.listResult) return radio.nativeWifi.listResult;
    const Adapter* adapter = nullptr;
    for (const Adapter& candidate : radio.adapters)
        if (guidOf(candidate) == *interfaceGuid) adapter = &candidate;
    if (!adapter) return ERROR_INVALID_PARAMETER;
    const size_t count = adapter->networks.size();
    auto* block = static_cast<WLAN_AVAILABLE_NETWORK_LIST*>(
        handOut(offsetof(WLAN_AVAILABLE_NETWORK_LIST, Network) + count * sizeof(WLAN_AVAILABLE_NETWORK)));
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    block->dwNumberOfItems = static_cast<DWORD>(count);
    for (size_t i = 0; i < count; ++i) {
        const Network& network = adapter->networks[i];
        WLAN_AVAILABLE_NETWORK& entry = block->Network[i];
        copyText(entry.strProfileName, network.profile);
        const std::string ssid = platform::detail::reportedSsid(network);
        entry.dot11Ssid.uSSIDLength = platform::detail::reportedSsidLength(network);
        std::memcpy(entry.dot11Ssid.ucSSID, ssid.data(), ssid.size());
        entry.dot11BssType = 1;  // infrastructure
        entry.uNumberOfBssids = 1;
        entry.bNetworkConnectable = TRUE;
        entry.wlanSignalQuality = network.quality;
        entry.bSecurityEnabled = network.authentication != DOT11_AUTH_ALGO_80211_OPEN ||
                                 network.cipher != DOT11_CIPHER_ALGO_NONE;
        entry.dot11DefaultAuthAlgorithm = network.authentication;
        entry.dot11DefaultCipherAlgorithm = network.cipher;
    }
    *list = block;
    return ERROR_SUCCESS;
}
