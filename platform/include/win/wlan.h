// The PC's wireless interfaces as the wireless set-up reaches them: the Native Wi-Fi client
// ("wlanapi.dll"), the Wireless Zero Configuration service ("wzcsapi.dll", 32-bit records with
// 4-byte pointer fields) and the NDIS user-mode I/O driver ("\\.\Ndisuio", the 802.11 NDIS queries).
// The layer answers all three from the machine's radio (platform/radio.h). The records are written
// here from their published definitions; the wireless listing and the layer's stand-ins share them.
#pragma once

#include "win/base.h"
#include "win/com.h"

// ---- Native Wi-Fi ------------------------------------------------------------------------------
#define WLAN_MAX_NAME_LENGTH 256
#define DOT11_SSID_MAX_LENGTH 32
#define WLAN_MAX_PHY_TYPE_NUMBER 8
#define WLAN_AVAILABLE_NETWORK_INCLUDE_ALL_ADHOC_PROFILES 0x00000001
#define ERROR_SERVICE_NOT_ACTIVE 1062L

// Authentication and cipher algorithms (the values the listing maps to a security mode).
#define DOT11_AUTH_ALGO_80211_OPEN 1
#define DOT11_AUTH_ALGO_80211_SHARED_KEY 2
#define DOT11_AUTH_ALGO_WPA 3
#define DOT11_AUTH_ALGO_WPA_PSK 4
#define DOT11_AUTH_ALGO_RSNA 6
#define DOT11_AUTH_ALGO_RSNA_PSK 7
#define DOT11_CIPHER_ALGO_NONE 0x00
#define DOT11_CIPHER_ALGO_WEP40 0x01
#define DOT11_CIPHER_ALGO_TKIP 0x02
#define DOT11_CIPHER_ALGO_CCMP 0x04
#define DOT11_CIPHER_ALGO_WEP104 0x05
#define DOT11_CIPHER_ALGO_WEP 0x101

struct DOT11_SSID {
    ULONG uSSIDLength;
    UCHAR ucSSID[DOT11_SSID_MAX_LENGTH];
};

struct WLAN_INTERFACE_INFO {
    GUID InterfaceGuid;
    WCHAR strInterfaceDescription[WLAN_MAX_NAME_LENGTH];
    DWORD isState;
};

// A list block: the header, then dwNumberOfItems entries (the first one inside the record).
struct WLAN_INTERFACE_INFO_LIST {
    DWORD dwNumberOfItems;
    DWORD dwIndex;
    WLAN_INTERFACE_INFO InterfaceInfo[1];
};

struct WLAN_AVAILABLE_NETWORK {
    WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
    DOT11_SSID dot11Ssid;
    DWORD dot11BssType;
    ULONG uNumberOfBssids;
    BOOL bNetworkConnectable;
    DWORD wlanNotConnectableReason;
    ULONG uNumberOfPhyTypes;
    DWORD dot11PhyTypes[WLAN_MAX_PHY_TYPE_NUMBER];
    BOOL bMorePhyTypes;
    ULONG wlanSignalQuality;  // 0 to 100
    BOOL bSecurityEnabled;
    DWORD dot11DefaultAuthAlgorithm;
    DWORD dot11DefaultCipherAlgorithm;
    DWORD dwFlags;
    DWORD dwReserved;
};

struct WLAN_AVAILABLE_NETWORK_LIST {
    DWORD dwNumberOfItems;
    DWORD dwIndex;
    WLAN_AVAILABLE_NETWORK Network[1];
};

static_assert(sizeof(WLAN_INTERFACE_INFO) == 532 && offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo) == 8);
static_assert(sizeof(WLAN_AVAILABLE_NETWORK) == 628 && offsetof(WLAN_AVAILABLE_NETWORK_LIST, Network) == 8);

// The client: a handle per WlanOpenHandle (ERROR_SERVICE_NOT_ACTIVE when the radio's service is
// stopped), interface and network lists in blocks freed with WlanFreeMemory. Return codes are the
// radio's. No notifications, profiles, connections or BSS lists (WlanGetNetworkBssList answers
// ERROR_NOT_SUPPORTED).
WINBASEAPI DWORD WINAPI WlanOpenHandle(DWORD clientVersion, PVOID reserved, PDWORD negotiatedVersion,
                                       PHANDLE clientHandle);
WINBASEAPI DWORD WINAPI WlanCloseHandle(HANDLE clientHandle, PVOID reserved);
WINBASEAPI DWORD WINAPI WlanEnumInterfaces(HANDLE clientHandle, PVOID reserved, WLAN_INTERFACE_INFO_LIST** list);
WINBASEAPI DWORD WINAPI WlanGetNetworkBssList(HANDLE clientHandle, const GUID* interfaceGuid, const DOT11_SSID* ssid,
                                              DWORD bssType, BOOL securityEnabled, PVOID reserved, PVOID* list);
WINBASEAPI void WINAPI WlanFreeMemory(PVOID memory);
WINBASEAPI DWORD WINAPI WlanGetAvailableNetworkList(HANDLE clientHandle, const GUID* interfaceGuid, DWORD flags,
                                                    PVOID reserved, WLAN_AVAILABLE_NETWORK_LIST** list);

// ---- NDISUIO and the 802.11 NDIS queries -------------------------------------------------------
#define IOCTL_NDISUIO_QUERY_BINDING 0x0012C80Cu
#define IOCTL_NDISUIO_BIND_WAIT 0x0012C810u
#define IOCTL_NDIS_QUERY_GLOBAL_STATS 0x00170002u
#define OID_802_11_BSSID_LIST_SCAN 0x0D01011Au
#define OID_802_11_BSSID_LIST 0x0D010217u

// The binding query: the index going in; coming out the record, then the device name and the
// description (wide text) at offsets from the record's start, lengths in bytes.
struct NDISUIO_QUERY_BINDING {
    ULONG BindingIndex;
    ULONG DeviceNameOffset;
    ULONG DeviceNameLength;
    ULONG DeviceDescrOffset;
    ULONG DeviceDescrLength;
};
static_assert(sizeof(NDISUIO_QUERY_BINDING) == 20);

struct NDIS_802_11_SSID {
    ULONG SsidLength;
    UCHAR Ssid[32];
};

// One entry of the BSSID list; Length is the step to the next entry.
struct NDIS_WLAN_BSSID {
    ULONG Length;
    UCHAR MacAddress[6];
    UCHAR Reserved[2];
    NDIS_802_11_SSID Ssid;
    ULONG Privacy;
    LONG Rssi;  // dBm
    DWORD NetworkTypeInUse;
    ULONG Configuration[8];
    DWORD InfrastructureMode;
    UCHAR SupportedRates[8];
};
static_assert(sizeof(NDIS_WLAN_BSSID) == 104 && offsetof(NDIS_WLAN_BSSID, Rssi) == 52);

// The BSSID list (NDIS_802_11_BSSID_LIST): the item count, then the entries.
#define NDIS_BSSID_LIST_ENTRIES 4

// ---- Wireless Zero Configuration ---------------------------------------------------------------
// The service's records are 32-bit: every pointer field is 4 bytes. On our 64-bit build a block such
// a field points to lies below 4 GiB (platform::allocateLow); LocalFree frees it.
#define WZC_INTF_DESCR 0x00010000u
#define WZC_INTF_BSSIDLIST 0x04000000u
#define WZC_INTF_LIST_SCAN 0x08000000u

// The interface key table: the number of interfaces, then a 4-byte pointer to an array of 4-byte
// pointers, one per interface, each to the interface's GUID text.
struct WZC_INTFS_KEY_TABLE {
    DWORD dwNumIntfs;
    DWORD pIntfs;
};
static_assert(sizeof(WZC_INTFS_KEY_TABLE) == 8);

// The interface entry, zero-filled by the caller; byte offsets in the usual layout. In the other
// layout every field from byte 32 on lies 8 bytes further on.
#define WZC_INTF_ENTRY_SIZE 348
#define WZC_INTF_GUID 0              // 4-byte pointer to the GUID text (input)
#define WZC_INTF_DESCRIPTION 4       // 4-byte pointer to the description (output)
#define WZC_INTF_BSSID_LENGTH 64     // BSSID-list data length in bytes
#define WZC_INTF_BSSID_DATA 68       // 4-byte pointer to the BSSID-list data
#define WZC_INTF_LAYOUT_MOVED_FROM 32
#define WZC_INTF_LAYOUT_SHIFT 8

// The BSSID-list data: item count, a word not read, then configuration entries one after another.
#define WZC_BSSID_COUNT 0
#define WZC_BSSID_ENTRIES 8
#define WZC_CONFIG_LENGTH 0  // entry length in bytes, the step to the next entry
#define WZC_CONFIG_SSID 20   // 32 SSID bytes
#define WZC_CONFIG_PRIVACY 52
#define WZC_CONFIG_RSSI 56   // signed, dBm
#define WZC_CONFIG_MIN_SIZE 64

// The service: the interfaces and their BSSID lists from the machine's radio. `server` NULL is the
// local machine. Blocks handed out (the key array with its texts as one block, a description, the
// BSSID data) are freed with LocalFree.
WINBASEAPI DWORD WINAPI WZCEnumInterfaces(LPWSTR server, WZC_INTFS_KEY_TABLE* table);
WINBASEAPI DWORD WINAPI WZCQueryInterface(LPWSTR server, DWORD inFlags, BYTE* entry, LPDWORD outFlags);
WINBASEAPI DWORD WINAPI WZCRefreshInterface(LPWSTR server, DWORD inFlags, BYTE* entry, LPDWORD outFlags);
