// Checks of BMP and ICO files named by a resource script.
#include "rescomp/pictures.h"

#include <cstdint>

namespace rescomp {

namespace {

uint32_t le32(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

}  // namespace

std::string checkBmp(std::string_view b) {
    if (b.size() < 26 || b.substr(0, 2) != "BM") return "not a BMP file";
    uint32_t offBits = le32(b, 10), headerSize = le32(b, 14);
    int64_t width = 0, height = 0;
    unsigned bpp = 0, planes = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        width = le16(b, 18);
        height = le16(b, 20);
        planes = le16(b, 22);
        bpp = le16(b, 24);
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (b.size() < 14 + headerSize) return "the BMP header is cut short";
        width = static_cast<int32_t>(le32(b, 18));
        height = static_cast<int32_t>(le32(b, 22));
        planes = le16(b, 26);
        bpp = le16(b, 28);
        compression = le32(b, 30);
    } else {
        return "the BMP has an unknown header size " + std::to_string(headerSize);
    }
    if (planes != 1) return "the BMP does not have one plane";
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return "BMPs of " + std::to_string(bpp) + " bits a pixel are not supported";
    if (compression == 3 && bpp != 16 && bpp != 32) return "bit-field masks on a BMP of " + std::to_string(bpp) + " bits";
    if (compression != 0 && compression != 3) return "compressed BMPs (RLE, JPEG, PNG) are not supported";
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return "the BMP size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
    uint64_t rows = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4 * static_cast<uint64_t>(height);
    if (offBits < 14 + headerSize || offBits > b.size() || b.size() - offBits < rows)
        return "the BMP's pixel rows are cut short or lie outside the file";
    return {};
}

std::string checkIcon(std::string_view b) {
    if (b.size() >= 2 && b.substr(0, 2) == "BM") return checkBmp(b);
    if (b.size() < 6 || le16(b, 0) != 0 || le16(b, 2) != 1) return "not an ICO file (nor a BMP)";
    size_t count = le16(b, 4);
    if (count == 0) return "the ICO holds no images";
    if ((b.size() - 6) / 16 < count) return "the ICO directory is cut short";
    for (size_t i = 0; i < count; ++i) {
        uint32_t bytes = le32(b, 6 + 16 * i + 8), offset = le32(b, 6 + 16 * i + 12);
        if (offset > b.size() || bytes > b.size() - offset || bytes < 40)
            return "ICO image " + std::to_string(i) + " lies outside the file";
    }
    return {};
}

}  // namespace rescomp
