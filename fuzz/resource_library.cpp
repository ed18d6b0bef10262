// A compiled resource library, as the loader reads it from a language library's file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/resources.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string why;
    (void)platform::resources::hasMagic(bytes);
    (void)platform::resources::parse(bytes, &why);
    return 0;
}
