// Writing resource files of our format (described in platform/resources.h).
#pragma once

#include <stdexcept>
#include <string>

#include "platform/resources.h"

namespace rescomp {

// The bytes of a resource file holding `file`. Throws std::invalid_argument for content the format
// cannot hold: an id out of range, a text longer than 65535 units, more than 65535 controls, a
// bitmap that is not BMP bytes or an icon that is neither ICO nor BMP bytes.
std::string writeResourceFile(const platform::resources::ResourceFile& file);

// Recomputes the checksum of a resource file's bytes in place, so that a test can damage the
// structure behind it and reach the reader's other checks. Does nothing to bytes shorter than a header.
void sealChecksum(std::string& bytes);

}  // namespace rescomp
