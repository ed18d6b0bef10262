// Readers of the wireless interfaces' records (WirelessReaders.h).
#include "WirelessReaders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "win/wlan.h"

namespace wifisetup {
namespace {

constexpr uint32_t kLeastBssidLength = 68;  // the data's 8-byte head and one 60-byte entry
constexpr size_t kLeastEntry = 64;           // a configuration or BSSID entry that holds what is read
constexpr size_t kNameBytesLimit = 1024;     // NDISUIO names and descriptions
constexpr size_t kTextLimit = 255;           // characters of a name or description

uint32_t word(std::span<const BYTE> bytes, size_t at) {
    uint32_t value = 0;
    if (at <= bytes.size() && bytes.size() - at >= 4) std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// The SSID of a network: its 32 bytes up to the first NUL.
void copySsid(NetworkRecord& record, const BYTE* ssid) {
    size_t length = 0;
    while (length < 32 && ssid[length]) ++length;
    std::memcpy(record.SSID, ssid, length);
}

void copyText(WCHAR* to, std::u16string_view text) {
    std::memcpy(to, text.data(), text.size() * sizeof(WCHAR));
    to[text.size()] = 0;
}

// A wide text at an offset and length (bytes) of the reply, up to its first NUL; `ok` false when the
// range lies outside the reply. Copied out, so any offset is read aligned.
struct Field {
    bool ok = true;
    std::u16string text;
};
Field textField(std::span<const BYTE> returned, uint32_t offset, uint32_t length) {
    if (length == 0) return {};
    if (offset > returned.size() || returned.size() - offset < length) return {false, {}};
    std::u16string text(length / 2, u'\0');
    std::memcpy(text.data(), returned.data() + offset, text.size() * sizeof(char16_t));
    text.resize(std::min(text.size(), text.find(u'\0')));
    return {true, text};
}

// Each entry of a Native Wi-Fi list block (count, index, entries) that the count names and the bytes
// hold, copied out.
template <class Entry, class F>
void forEachWlanEntry(std::span<const BYTE> list, F&& each) {
    if (list.size() < 8) return;
    const size_t count = std::min<size_t>(word(list, 0), (list.size() - 8) / sizeof(Entry));
    for (size_t i = 0; i < count; ++i) {
        Entry entry;
        std::memcpy(&entry, list.data() + 8 + i * sizeof entry, sizeof entry);
        each(entry);
    }
}

}  // namespace

WzcBssidField readWzcBssidField(std::span<const BYTE> entry) {
    WzcBssidField field;
    if (entry.size() < WZC_INTF_ENTRY_SIZE) return field;
    for (size_t shift : {size_t{0}, size_t{WZC_INTF_LAYOUT_SHIFT}}) {
        const uint32_t length = word(entry, WZC_INTF_BSSID_LENGTH + shift);
        const uint32_t pointer = word(entry, WZC_INTF_BSSID_DATA + shift);
        field.length = length;
        if (length >= kLeastBssidLength && pointer) {
            field.ok = true;
            field.pointer = pointer;
            field.toFree.clear();
            return field;
        }
        if (length > 0 && pointer) field.toFree.push_back(pointer);
    }
    return field;
}

bool readWzcBssidData(std::span<const BYTE> data, std::vector<NetworkRecord>& networks) {
    if (data.size() < WZC_BSSID_ENTRIES) return false;
    const uint32_t count = word(data, WZC_BSSID_COUNT);
    size_t offset = WZC_BSSID_ENTRIES;
    for (uint32_t i = 0; i < count; ++i) {
        if (data.size() - offset < 4) return false;
        const uint32_t length = word(data, offset + WZC_CONFIG_LENGTH);
        if (length < kLeastEntry || length > data.size() - offset) return false;
        const BYTE* entry = data.data() + offset;
        NetworkRecord record;
        copySsid(record, entry + WZC_CONFIG_SSID);
        record.signal = static_cast<int32_t>(word(data, offset + WZC_CONFIG_RSSI));
        const uint32_t privacy = word(data, offset + WZC_CONFIG_PRIVACY);
        record.security = privacy == 0 ? 1 : privacy == 1 ? 0 : 3;
        networks.push_back(record);
        offset += length;
    }
    return true;
}

std::optional<AdapterRecord> readNdisBinding(std::span<const BYTE> returned) {
    if (returned.size() < sizeof(NDISUIO_QUERY_BINDING)) return std::nullopt;
    NDISUIO_QUERY_BINDING head;
    std::memcpy(&head, returned.data(), sizeof head);
    const Field name = textField(returned, head.DeviceNameOffset, head.DeviceNameLength);
    const Field description = textField(returned, head.DeviceDescrOffset, head.DeviceDescrLength);
    if (!name.ok || !description.ok) return std::nullopt;
    if (head.DeviceNameLength >= kNameBytesLimit || name.text.empty() || name.text.size() > kTextLimit)
        return std::nullopt;
    AdapterRecord adapter;
    std::u16string_view adapterName = name.text;
    const size_t device = adapterName.find(u"\\DEVICE\\");
    if (device != std::u16string_view::npos) adapterName = adapterName.substr(device + 8);
    copyText(adapter.name, adapterName);
    if (head.DeviceDescrLength < kNameBytesLimit && !description.text.empty() && description.text.size() <= kTextLimit)
        copyText(adapter.description, description.text);
    return adapter;
}

void readNdisBssidList(std::span<const BYTE> returned, std::vector<NetworkRecord>& networks) {
    if (returned.size() < NDIS_BSSID_LIST_ENTRIES) return;
    const uint32_t count = word(returned, 0);
    size_t offset = NDIS_BSSID_LIST_ENTRIES;
    for (uint32_t i = 0; i < count; ++i) {
        if (returned.size() - offset < 4) return;
        const uint32_t length = word(returned, offset);
        if (length < kLeastEntry || length > returned.size() - offset) return;
        const BYTE* entry = returned.data() + offset;
        NetworkRecord record;
        copySsid(record, entry + offsetof(NDIS_WLAN_BSSID, Ssid.Ssid));
        record.signal = static_cast<int32_t>(word(returned, offset + offsetof(NDIS_WLAN_BSSID, Rssi)));
        const uint32_t privacy = word(returned, offset + offsetof(NDIS_WLAN_BSSID, Privacy));
        record.security = privacy == 0 ? 0 : privacy == 1 ? 3 : 1;
        networks.push_back(record);
        offset += length;
    }
}

size_t wlanListSize(uint32_t count, size_t entry) { return 8 + size_t{count} * entry; }

void readWlanInterfaceList(std::span<const BYTE> list, std::vector<AdapterRecord>& adapters) {
    forEachWlanEntry<WLAN_INTERFACE_INFO>(list, [&adapters](const WLAN_INTERFACE_INFO& info) {
        const GUID& g = info.InterfaceGuid;
        char name[64];
        std::snprintf(name, sizeof name, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                      g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
        AdapterRecord adapter;
        for (size_t c = 0; name[c]; ++c) adapter.name[c] = static_cast<WCHAR>(name[c]);
        std::u16string_view description(info.strInterfaceDescription, WLAN_MAX_NAME_LENGTH);
        description = description.substr(0, std::min(description.find(u'\0'), kTextLimit));
        copyText(adapter.description, description);
        adapters.push_back(adapter);
    });
}

void readWlanNetworkList(std::span<const BYTE> list, std::vector<NetworkRecord>& networks) {
    forEachWlanEntry<WLAN_AVAILABLE_NETWORK>(list, [&networks](const WLAN_AVAILABLE_NETWORK& entry) {
        if (entry.strProfileName[0]) return;  // the same network is listed again without its profile
        NetworkRecord record;
        copySsid(record, entry.dot11Ssid.ucSSID);
        // Quality 0 to 100 as -100 to -50 dBm.
        record.signal = static_cast<int32_t>(entry.wlanSignalQuality / 2) - 100;
        const DWORD cipher = entry.dot11DefaultCipherAlgorithm;
        switch (entry.dot11DefaultAuthAlgorithm) {
        case DOT11_AUTH_ALGO_80211_OPEN:
            record.security = cipher == DOT11_CIPHER_ALGO_WEP40 || cipher == DOT11_CIPHER_ALGO_WEP104 ||
                                      cipher == DOT11_CIPHER_ALGO_WEP
                                  ? 1
                                  : 0;
            break;
        case DOT11_AUTH_ALGO_80211_SHARED_KEY: record.security = 1; break;
        default: record.security = 3; break;
        }
        networks.push_back(record);
    });
}

}  // namespace wifisetup
