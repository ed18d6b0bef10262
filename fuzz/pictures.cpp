// rastrel-print's picture files: PNG, and PGM/PPM (binary and plain).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rastrel_print/pictures.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string why;
    (void)rastrel_print::decodePng(bytes, &why);
    why.clear();
    (void)rastrel_print::decodeNetpbm(bytes, &why);
    return 0;
}
