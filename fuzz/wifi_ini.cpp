// The set-up utility's "wifi.ini".
#include <cstddef>
#include <cstdint>

#include "startup.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    (void)ParseWifiIni(data, size);
    return 0;
}
