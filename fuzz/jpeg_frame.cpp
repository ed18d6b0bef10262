// The frame header of a JPEG that the scan-button program puts into a PDF.
#include <cstddef>
#include <cstdint>

#include "JpegPdf.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    (void)ReadJpegFrame(data, size);
    return 0;
}
