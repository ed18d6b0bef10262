// Readers of the records the three wireless interfaces hand back, each a function over the bytes the
// system returned: a short, long or garbled record ends the reading (or is refused) and never makes
// a reader look past the range it was given.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "NetworkRecords.h"

namespace wifisetup {

// The BSSID-list length and 4-byte data pointer of a WZC interface entry. A length of 0 or below 68
// bytes (or no pointer) in the usual layout means the other layout (fields from byte 32 on lie 8
// bytes further on), and the pair is read again there. When neither read gives usable data, `ok` is
// false, `length` is the second read's and `toFree` holds the pointers whose own length was 1 to 67
// (blocks the service did hand out).
struct WzcBssidField {
    bool ok = false;
    uint32_t length = 0;
    uint32_t pointer = 0;
    std::vector<uint32_t> toFree;
};
WzcBssidField readWzcBssidField(std::span<const BYTE> entry);

// Appends the networks of a WZC BSSID-list data block. False when an entry is shorter than 64 bytes
// or reaches past the data ("looks odd"); the records before it stay appended.
bool readWzcBssidData(std::span<const BYTE> data, std::vector<NetworkRecord>& networks);

// The adapter of an NDISUIO binding reply, or nothing for a binding to skip: a name or description
// outside the bytes returned, a name of 1024 bytes or more, or not 1 to 255 characters long.
std::optional<AdapterRecord> readNdisBinding(std::span<const BYTE> returned);

// Appends the networks of an NDIS BSSID list: at most its count of entries, ending quietly at an
// entry shorter than 64 bytes or reaching past the bytes returned.
void readNdisBssidList(std::span<const BYTE> returned, std::vector<NetworkRecord>& networks);

// Native Wi-Fi lists: at most the entries the count names that lie within the bytes.
void readWlanInterfaceList(std::span<const BYTE> list, std::vector<AdapterRecord>& adapters);
void readWlanNetworkList(std::span<const BYTE> list, std::vector<NetworkRecord>& networks);
// The bytes a Native Wi-Fi list block of `count` items of `entry` bytes spans.
size_t wlanListSize(uint32_t count, size_t entry);

}  // namespace wifisetup
