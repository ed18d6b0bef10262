// A DEVMODE from an application: the driver's choice and repair of it and the device settings it
// makes of it, and the settings part's completion of one it is handed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "devmode_builder.h"
#include "rastrel.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        DevmodeBuilder completed(bytes);
        if (completed.bytes().size() < DevmodeBuilder::kFullSize) __builtin_trap();
    } catch (const std::invalid_argument&) {
    }

    // The engine's DEVMODE holds as many bytes as its size fields say (zeros past the input).
    if (size < offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD)) return 0;
    DEVMODEW head;
    std::memcpy(&head, data, offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD));
    std::vector<BYTE> given(std::max<size_t>(size, size_t(head.dmSize) + head.dmDriverExtra));
    std::memcpy(given.data(), data, size);
    std::vector<BYTE> merged(kPrivateDevmodeSize);
    BOOL copyable = FALSE;
    if (!SelectDevmode(nullptr, reinterpret_cast<DEVMODEW*>(given.data()), merged.data(), &copyable)) return 0;
    static DriverPdev pdev;
    std::memset(&pdev, 0, sizeof pdev);
    InitPdevFromDevmode(&pdev, merged.data(), copyable);
    return 0;
}
