// The "\\.\" devices of the NDIS user-mode I/O driver, answered from the machine's radio: "Ndisuio"
// (bind wait, binding queries) and each adapter's "{GUID}" (the 802.11 BSSID list queries). A doubled
// separator after "\\.\" collapses, as it does for files. Overlapped opens are accepted; every request
// completes at once.
#include <cstring>

#include "../devices/device_files.h"
#include "../internal.h"
#include "radio_internal.h"
#include "win/kernel.h"
#include "win/wlan.h"

namespace {

using platform::radio::Adapter;
using platform::radio::Network;

void putWord(BYTE* at, uint32_t value) { std::memcpy(at, &value, 4); }

// Opened and closed NDISUIO handles are counted for the balance tests.
struct CountedDevice : platform::detail::DeviceFile {
    CountedDevice() {
        platform::detail::updateCounters([](auto& counts) { ++counts.deviceHandlesOpened; });
    }
    ~CountedDevice() override {
        platform::detail::updateCounters([](auto& counts) { ++counts.deviceHandlesClosed; });
    }
};

// The binding record of an adapter: the query record, then "\DEVICE\{GUID}" and the description.
std::string bindingOf(const Adapter& adapter, ULONG index) {
    const std::u16string name = u"\\DEVICE\\" + adapter.guid;
    const size_t nameBytes = name.size() * 2, descrBytes = adapter.description.size() * 2;
    std::string record(sizeof(NDISUIO_QUERY_BINDING) + nameBytes + 2 + descrBytes + 2, '\0');
    NDISUIO_QUERY_BINDING head{index, sizeof(NDISUIO_QUERY_BINDING), static_cast<ULONG>(nameBytes),
                               static_cast<ULONG>(sizeof(NDISUIO_QUERY_BINDING) + nameBytes + 2),
                               static_cast<ULONG>(descrBytes)};
    std::memcpy(record.data(), &head, sizeof head);
    std::memcpy(record.data() + head.DeviceNameOffset, name.data(), nameBytes);
    std::memcpy(record.data() + head.DeviceDescrOffset, adapter.description.data(), descrBytes);
    return record;
}

// The BSSID list the driver builds for an adapter's networks.
std::string bssidListOf(const Adapter& adapter) {
    std::string list(NDIS_BSSID_LIST_ENTRIES + adapter.networks.size() * sizeof(NDIS_WLAN_BSSID), '\0');
    putWord(reinterpret_cast<BYTE*>(list.data()), static_cast<uint32_t>(adapter.networks.size()));
    size_t offset = NDIS_BSSID_LIST_ENTRIES;
    for (const Network& network : adapter.networks) {
        NDIS_WLAN_BSSID entry{};
        entry.Length = sizeof entry;
        entry.Ssid.SsidLength = platform::detail::reportedSsidLength(network);
        const std::string ssid = platform::detail::reportedSsid(network);
        std::memcpy(entry.Ssid.Ssid, ssid.data(), ssid.size());
        entry.Privacy = network.privacy;
        entry.Rssi = network.rssi;
        entry.InfrastructureMode = 1;
        std::memcpy(list.data() + offset, &entry, sizeof entry);
        offset += sizeof entry;
    }
    return list;
}

// Copies a reply into the caller's buffer; one that does not fit fails with ERROR_INSUFFICIENT_BUFFER.
bool reply(const std::string& bytes, void* out, DWORD outSize, DWORD& returned, DWORD& error) {
    if (!out || bytes.size() > outSize) {
        error = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    returned = static_cast<DWORD>(bytes.size());
    return true;
}

struct NdisuioControl : CountedDevice {
    bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD& returned,
                 DWORD& error) override {
        returned = 0;
        const platform::radio::Radio radio = platform::radio::currentRadio();
        if (code == IOCTL_NDISUIO_BIND_WAIT) {
            platform::detail::updateCounters([](auto&) {}, "IOCTL_NDISUIO_BIND_WAIT");
            error = radio.ndisuio.bindWaitError;
            return error == ERROR_SUCCESS;
        }
        if (code == IOCTL_NDISUIO_QUERY_BINDING) {
            platform::detail::updateCounters([](auto&) {}, "IOCTL_NDISUIO_QUERY_BINDING");
            if (!in || inSize < sizeof(NDISUIO_QUERY_BINDING)) {
                error = ERROR_INVALID_PARAMETER;
                return false;
            }
            ULONG index = 0;
            std::memcpy(&index, in, 4);
            std::vector<std::string> bindings;
            if (radio.ndisuio.rawBindings) {
                bindings = *radio.ndisuio.rawBindings;
            } else {
                for (const Adapter& adapter : radio.adapters)
                    bindings.push_back(bindingOf(adapter, static_cast<ULONG>(bindings.size())));
            }
            if (index >= bindings.size()) {
                error = ERROR_NO_MORE_ITEMS;
                return false;
            }
            return reply(bindings[index], out, outSize, returned, error);
        }
        error = ERROR_INVALID_FUNCTION;
        return false;
    }
};

struct NdisAdapter : CountedDevice {
    std::u16string name;
    bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD& returned,
                 DWORD& error) override {
        returned = 0;
        if (code != IOCTL_NDIS_QUERY_GLOBAL_STATS || !in || inSize < 4) {
            error = code == IOCTL_NDIS_QUERY_GLOBAL_STATS ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FUNCTION;
            return false;
        }
        ULONG oid = 0;
        std::memcpy(&oid, in, 4);
        const platform::radio::Radio radio = platform::radio::currentRadio();
        const Adapter* adapter = platform::detail::findAdapter(radio, name);
        if (!adapter) {  // gone from the radio since it was opened
            error = ERROR_GEN_FAILURE;
            return false;
        }
        if (oid == OID_802_11_BSSID_LIST_SCAN) {
            platform::detail::updateCounters([](auto&) {}, "OID_802_11_BSSID_LIST_SCAN");
            return true;
        }
        if (oid == OID_802_11_BSSID_LIST) {
            platform::detail::updateCounters([](auto&) {}, "OID_802_11_BSSID_LIST");
            if (radio.ndisuio.listError) {
                error = radio.ndisuio.listError;
                return false;
            }
            return reply(adapter->ndisBssidList.value_or(bssidListOf(*adapter)), out, outSize, returned, error);
        }
        error = ERROR_NOT_SUPPORTED;
        return false;
    }
};

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

platform::detail::DeviceOpen openNdisName(const std::u16string& name, DWORD, DWORD, DWORD) {
    if (name.size() < 4 || !isSeparator(name[0]) || !isSeparator(name[1]) || name[2] != u'.' || !isSeparator(name[3]))
        return {};
    size_t start = 4;
    while (start < name.size() && isSeparator(name[start])) ++start;
    const std::u16string rest = name.substr(start);
    const platform::radio::Radio radio = platform::radio::currentRadio();
    platform::detail::DeviceOpen opened;
    if (platform::detail::foldCase(rest) == u"NDISUIO") {
        opened.owned = true;
        if (radio.ndisuio.present)
            opened.device = std::make_shared<NdisuioControl>();
        else
            opened.error = ERROR_FILE_NOT_FOUND;
        return opened;
    }
    // Adapter devices are named by their braced GUID; one the radio lacks does not exist.
    if (rest.empty() || rest[0] != u'{') return {};
    opened.owned = true;
    if (radio.ndisuio.present && platform::detail::findAdapter(radio, rest)) {
        auto adapter = std::make_shared<NdisAdapter>();
        adapter->name = rest;
        opened.device = adapter;
    } else {
        opened.error = ERROR_FILE_NOT_FOUND;
    }
    return opened;
}

const platform::detail::DeviceNamespaceRegistration kNdisNamespace(&openNdisName);

}  // namespace
