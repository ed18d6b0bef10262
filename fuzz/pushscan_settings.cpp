// The scan-button program's settings file, "pushscan_settings.dat".
#include <cstddef>
#include <cstdint>

#include "PushScanSettings.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    PushScanSettings settings{};
    if (!ParsePushScanSettings(data, size, &settings)) return 0;
    // The folder is always terminated within its field.
    bool terminated = false;
    for (WCHAR c : settings.szSaveFolder) terminated = terminated || c == 0;
    if (!terminated) __builtin_trap();
    BYTE bytes[PUSHSCAN_SETTINGS_BYTES];
    SerializePushScanSettings(settings, bytes);
    return 0;
}
