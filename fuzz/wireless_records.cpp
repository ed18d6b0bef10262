// The records the three wireless interfaces hand back: the first byte picks the reader, the rest are
// the bytes the system returned.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "WirelessReaders.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    if (size == 0) return 0;
    const std::span<const BYTE> bytes(data + 1, size - 1);
    std::vector<NetworkRecord> networks;
    std::vector<AdapterRecord> adapters;
    switch (data[0] % 6) {
    case 0: (void)wifisetup::readWzcBssidField(bytes); break;
    case 1: (void)wifisetup::readWzcBssidData(bytes, networks); break;
    case 2: (void)wifisetup::readNdisBinding(bytes); break;
    case 3: wifisetup::readNdisBssidList(bytes, networks); break;
    case 4: wifisetup::readWlanInterfaceList(bytes, adapters); break;
    case 5: wifisetup::readWlanNetworkList(bytes, networks); break;
    }
    return 0;
}
