// Checks of the BMP and ICO files a resource script names, so that a bad picture is an error at
// build time rather than a failed load in a program.
#pragma once

#include <string>
#include <string_view>

namespace rescomp {

// An empty string when the bytes are a BMP file we can load (BI_RGB or BI_BITFIELDS, 1 to 32 bits,
// all rows present), else what is wrong with them.
std::string checkBmp(std::string_view bytes);
// The same for an icon: an ICO file whose images lie within it, or a BMP file.
std::string checkIcon(std::string_view bytes);

}  // namespace rescomp
