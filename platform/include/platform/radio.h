// The machine's radio: the wireless adapters of the PC and the networks each one sees, as the three
// wireless interfaces of the layer report them (win/wlan.h): the Wireless Zero Configuration service
// ("wzcsapi.dll"), the Native Wi-Fi client ("wlanapi.dll") and the NDISUIO devices ("\\.\Ndisuio",
// "\\.\{GUID}"). Not Windows: tests and tools script it. The radio is the machine file "radio.bin"
// below the root, read at every call, so a whole run of a program sees it; the counts of what the
// interfaces handed out and got back are this process's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "win/base.h"

namespace platform::radio {

// A network as an adapter sees it. Each interface reports the fields it has: Native Wi-Fi the
// profile, quality, authentication and cipher; WZC and NDIS the RSSI and privacy value.
struct Network {
    std::u16string profile;         // Native Wi-Fi: the profile name of this entry ("" none)
    std::string ssid;               // the SSID bytes (at most 32 are reported)
    std::optional<ULONG> ssidLength;  // the reported length, else the bytes' count
    ULONG quality = 60;             // Native Wi-Fi signal quality, 0 to 100
    DWORD authentication = 1;       // DOT11_AUTH_ALGO_*
    DWORD cipher = 0;               // DOT11_CIPHER_ALGO_*
    LONG rssi = -60;                // dBm
    ULONG privacy = 0;              // the WZC and NDIS privacy value
};

struct Adapter {
    std::u16string guid;  // braced GUID text, the adapter's name in every interface
    std::u16string description;
    std::vector<Network> networks;
    // WZC: the BSSID-list length and pointer in the other layout of the interface entry (at 72/76);
    // the length reported (else the data's size; with 0 no data block is handed out); raw BSSID-list
    // data in place of the one built from `networks`.
    bool wzcOtherLayout = false;
    std::optional<ULONG> wzcBssidLength;
    std::optional<std::string> wzcBssidData;
    // NDIS: the raw BSSID list (NDIS_802_11_BSSID_LIST bytes) in place of the one built from `networks`.
    std::optional<std::string> ndisBssidList;
};

struct Wzc {
    bool present = false;  // "wzcsapi.dll" exists (else LoadLibrary fails with ERROR_MOD_NOT_FOUND)
    bool running = true;   // the service runs (else every call answers RPC_S_SERVER_UNAVAILABLE)
    DWORD enumResult = 0;      // WZCEnumInterfaces
    DWORD describeResult = 0;  // WZCQueryInterface for the description
    DWORD scanResult = 0;      // WZCQueryInterface for the BSSID list
    std::optional<DWORD> scanOutFlags;  // the out-flags of a BSSID-list query, else the flags asked
};

struct NativeWifi {
    bool present = true;  // "wlanapi.dll" exists
    bool running = true;  // the service runs (else WlanOpenHandle answers ERROR_SERVICE_NOT_ACTIVE)
    DWORD openResult = 0;   // WlanOpenHandle
    DWORD enumResult = 0;   // WlanEnumInterfaces
    DWORD listResult = 0;   // WlanGetAvailableNetworkList
};

struct Ndisuio {
    bool present = false;     // "\\.\Ndisuio" opens (else ERROR_FILE_NOT_FOUND)
    DWORD bindWaitError = 0;  // IOCTL_NDISUIO_BIND_WAIT fails with this error
    // Raw binding records (NDISUIO_QUERY_BINDING and what follows) in place of "\DEVICE\{GUID}" and
    // the description of each adapter; one longer than the caller's buffer fails the query.
    std::optional<std::vector<std::string>> rawBindings;
    DWORD listError = 0;  // the OID_802_11_BSSID_LIST query fails with this error
};

// The default radio: no WZC, Native Wi-Fi with its service running, no NDISUIO, no adapter.
struct Radio {
    Wzc wzc;
    NativeWifi nativeWifi;
    Ndisuio ndisuio;
    std::vector<Adapter> adapters;
};

void setRadio(const Radio& radio);
// The machine's radio; a missing file is the default one, a damaged one too (with a debug line).
Radio currentRadio();

// What the interfaces handed out and got back in this process since the machine changed or the
// last resetCounters().
struct Counters {
    int localBlocksHandedOut = 0;  // WZC blocks (free with LocalFree)
    int localBlocksFreed = 0;
    int wlanBlocksHandedOut = 0;  // Native Wi-Fi lists (free with WlanFreeMemory)
    int wlanBlocksFreed = 0;
    int wlanHandlesOpened = 0;
    int wlanHandlesClosed = 0;
    int deviceHandlesOpened = 0;  // NDISUIO devices
    int deviceHandlesClosed = 0;
    int foreignPointers = 0;  // addresses outside the low arena found in a 4-byte field
    std::optional<DWORD> lastAvailableNetworkFlags;
    std::map<std::string, int> calls;  // by function name
    // Everything handed out came back.
    bool balanced() const {
        return localBlocksHandedOut == localBlocksFreed && wlanBlocksHandedOut == wlanBlocksFreed &&
               wlanHandlesOpened == wlanHandlesClosed && deviceHandlesOpened == deviceHandlesClosed &&
               foreignPointers == 0;
    }
};
Counters counters();
void resetCounters();

// Serialised radios, for tools: the bytes of "radio.bin" and back (nullopt for damaged bytes).
std::string encodeRadio(const Radio& radio);
std::optional<Radio> decodeRadio(const unsigned char* bytes, size_t size);

}  // namespace platform::radio
