// The driver's check of a watermark BMP file.
#include <cstddef>
#include <cstdint>

#include "bitmap_file.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    LONG width = 0, height = 0;
    if (!CheckBitmapFile(data, size, &width, &height) && (width <= 0 || height <= 0)) __builtin_trap();
    return 0;
}
