// The printer job stream, read strictly by rastrel-dump, with every sheet's image decoded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "rastrel_dump/stream.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    rastrel_dump::Options options;
    options.keep_images = false;
    options.on_sheet = [](const rastrel_dump::Sheet& sheet, std::span<const uint8_t> bits) {
        if (bits.size() != sheet.row_bytes() * sheet.height) __builtin_trap();
        return true;
    };
    rastrel_dump::Result result = rastrel_dump::parse(std::span<const uint8_t>(data, size), options);
    if (result.error) (void)rastrel_dump::describe(*result.error);
    return 0;
}
