// What the targets share: a simulated machine of the process's own, so that nothing an input makes the
// layer write (files, registry, the debugger output) lands in the user's default machine; and the
// debugger output let go after each input. The layer keeps every debug line for tests to read: kept
// over a run they would grow without end, and every input would look to the leak check like a leak.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/control.h"
#include "platform/testing/machine.h"

namespace fuzzing {

inline const platform::testing::Machine& machine() {
    static const auto made = std::make_unique<platform::testing::Machine>();
    return *made;
}

// One input's run: the machine made before it, the debugger output dropped after it.
class Input {
public:
    Input() { (void)machine(); }
    ~Input() {
        platform::clearDebugLog();
        static uint32_t count = 0;
        if (++count % 4096 == 0) {
            std::error_code ec;
            std::filesystem::resize_file(machine().root() / "debug.log", 0, ec);
        }
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
};

}  // namespace fuzzing
