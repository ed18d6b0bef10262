// The SLP attribute reply, searched for the keys the set-up check reads.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "NetworkChecks.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    for (const char* key : {"x-ip-addr=", "(", "x"}) {
        char value[256];
        std::memset(value, 0x55, sizeof value);
        if (ExtractSlpAttribute(data, size, key, value) && std::memchr(value, 0, sizeof value) == nullptr)
            __builtin_trap();
    }
    return 0;
}
