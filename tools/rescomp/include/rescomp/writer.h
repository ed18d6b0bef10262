// Writing resource files of our format (described in platform/resources.h).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/resources.h"

namespace rescomp {

// What the writer refuses in one resource: `kind` is "string", "dialog", "bitmap" or "icon"; for a
// dialog, `control` is the index of the control at fault, or -1 for the dialog itself.
class WriteError : public std::invalid_argument {
public:
    WriteError(const std::string& message, std::string kind, UINT id, int control = -1)
        : std::invalid_argument(message), kind(std::move(kind)), id(id), control(control) {}
    std::string kind;
    UINT id;
    int control;
};

// The bytes of a resource file holding `file`. Throws WriteError for content the format cannot hold:
// an id out of range, a text longer than 65535 units, more than 65535 controls, a bitmap that is not
// BMP bytes or an icon that is neither ICO nor BMP bytes; std::invalid_argument when the whole does
// not fit in 4 GB.
std::string writeResourceFile(const platform::resources::ResourceFile& file);

// Recomputes the checksum of a resource file's bytes in place, so that a test can damage the
// structure behind it and reach the reader's other checks. Does nothing to bytes shorter than a header.
void sealChecksum(std::string& bytes);

}  // namespace rescomp
