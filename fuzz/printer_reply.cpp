// The printer's replies on the USB cable: the set reply, and the texts of the query reply's body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "printer_frames.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    (void)IsSetReplyAccepted(data, size);
    for (int selector : {0, 1}) {
        std::string text = ReadQueryText(data, size, selector);
        if (text.size() > 192) __builtin_trap();
    }
    return 0;
}
