// The scan-button program's push command: the scanner's event data, or the command line's digits.
// Byte 0 says whether the program runs on platform C; the rest is the command.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ProductConfig.h"
#include "ScanManagerApp.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    if (size == 0) return 0;
    static CScanManagerApp app;
    static ScanJobRecord job;
    std::memset(&job, 0, sizeof job);
    g_bIsPlatformC = data[0] & 1;
    (void)DecodePushCommandBytes(data + 1, size - 1, &app, &job);
    return 0;
}
