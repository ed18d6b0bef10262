// Pictures read for printing: PNG (libpng) and the netpbm greys and colours (PGM P2/P5, PPM P6).
// Grey pictures become 8-bit pictures with the grey ramp, colour ones 24-bit (blue, green, red);
// transparency is laid over white.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/printing.h"

namespace rastrel_print {

// The largest picture read, in pixels (either side) and in all.
inline constexpr long kMaxPictureSide = 30000;
inline constexpr long long kMaxPicturePixels = 200LL * 1000 * 1000;

enum class FileKind { kPageDescription, kPng, kNetpbm, kPdf };
// What a file is, by its first bytes (the page description is the rest).
FileKind sniff(std::string_view head);

// Reads a whole file into *bytes; false, with the reason in *why, when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string* bytes, std::string* why);
// Reads a picture file; nothing with the reason in *why for a file that is not a sound picture.
std::optional<platform::printing::Picture> readPicture(const std::string& path, std::string* why);
std::optional<platform::printing::Picture> decodePng(std::string_view bytes, std::string* why);
std::optional<platform::printing::Picture> decodeNetpbm(std::string_view bytes, std::string* why);

}  // namespace rastrel_print
