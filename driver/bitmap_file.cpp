// The check of a BMP file before the driver uses any of it.
#include "bitmap_file.h"

namespace {

DWORD U32(const BYTE* p) { return p[0] | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24); }
WORD U16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// The largest picture taken, each way.
constexpr LONG kMaxSide = 32768;

}  // namespace

const char* CheckBitmapFile(const BYTE* file, size_t size, LONG* width, LONG* height) {
    if (!file || size < 26) return "it is too short to be a BMP file";
    if (file[0] != 'B' || file[1] != 'M') return "it does not begin with \"BM\"";
    if (U32(file + 2) != size) return "the size it gives is not the file's size";
    DWORD headerSize = U32(file + 14), bitsOffset = U32(file + 10);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        return "its header is of no BMP kind";
    if (14ull + headerSize > size) return "it ends inside its header";
    DWORD bitCount, compression = 0, colorsUsed = 0;
    LONG w, h;
    if (headerSize == 12) {
        w = U16(file + 18);
        h = U16(file + 20);
        bitCount = U16(file + 24);
    } else {
        w = static_cast<LONG>(U32(file + 18));
        LONG rawHeight = static_cast<LONG>(U32(file + 22));
        if (rawHeight == LONG(0x80000000)) return "its height is out of range";
        h = rawHeight < 0 ? -rawHeight : rawHeight;
        bitCount = U16(file + 28);
        compression = U32(file + 30);
        colorsUsed = U32(file + 46);
    }
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return "its width or height is 0 or above 32768";
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return "its bits a pixel are of no BMP depth";
    bool fields = compression == 3 && (bitCount == 16 || bitCount == 32);
    if (compression != 0 && !fields) return "it is compressed";
    ULONGLONG palette = bitCount <= 8 ? (colorsUsed ? colorsUsed : (1u << bitCount)) : 0;
    if (bitCount <= 8 && palette > (1u << bitCount)) return "its colour table is larger than its depth allows";
    ULONGLONG tableEnd =
        14ull + headerSize + (fields && headerSize == 40 ? 12 : 0) + palette * (headerSize == 12 ? 3 : 4);
    if (tableEnd > bitsOffset) return "its colour table runs into its pixels";
    ULONGLONG stride = ((ULONGLONG(w) * bitCount + 31) / 32) * 4;
    if (bitsOffset > size || stride * ULONGLONG(h) > size - bitsOffset) return "its pixels run past the end of the file";
    *width = w;
    *height = h;
    return nullptr;
}
