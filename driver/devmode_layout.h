// Byte layout of the DEVMODE this driver reads: the public fields it uses and the private part that
// the driver's settings part writes behind them. All values little-endian, at fixed offsets.
#pragma once

#include <cstring>

#include "win/base.h"

namespace devmode {

// Public fields.
constexpr size_t kSize = 68;
constexpr size_t kDriverExtra = 70;
constexpr size_t kOrientation = 76;
constexpr size_t kPaperSize = 78;
constexpr size_t kPaperLength = 80;
constexpr size_t kPaperWidth = 82;
constexpr size_t kScale = 84;
constexpr size_t kCopies = 86;
constexpr size_t kDefaultSource = 88;
constexpr size_t kPrintQuality = 90;
constexpr size_t kDuplex = 94;
constexpr size_t kCollate = 100;
constexpr size_t kMediaType = 196;

// Private part.
constexpr size_t kSignature = 220;  // "PRIV"
constexpr size_t kVersion = 224;
constexpr size_t kMode226 = 226;    // 1 or 5, kept for the settings part
constexpr size_t kReverseOrder = 230;
constexpr size_t kValue496 = 496;   // 25..400, kept for the settings part
constexpr size_t kPagesPerSheet = 500;
constexpr size_t kNupOrder = 502;
constexpr size_t kNupBorder = 504;
constexpr size_t kPaperOption = 520;
constexpr size_t kDensityOff = 2166;
constexpr size_t kRotate180 = 2168;
constexpr size_t kMirror = 2170;
constexpr size_t kDensityLevel = 2172;
constexpr size_t kNegative = 2174;
constexpr size_t kZoom = 2176;
constexpr size_t kWatermarkFirstPage = 2178;
constexpr size_t kWatermarkKind = 2182;
constexpr size_t kWatermarkText = 2250;      // 64 WCHAR
constexpr size_t kWatermarkFace = 2380;      // 32 WCHAR
constexpr size_t kWatermarkImage = 2444;     // 260 WCHAR
constexpr size_t kWatermarkSize = 2964;
constexpr size_t kWatermarkBold = 2966;
constexpr size_t kWatermarkItalic = 2968;
constexpr size_t kWatermarkBlend = 2970;
constexpr size_t kWatermarkAngle = 2974;
constexpr size_t kWatermarkPosition = 2978;
constexpr size_t kWatermarkX = 2990;
constexpr size_t kWatermarkY = 2992;
constexpr size_t kWatermarkDarkness = 2994;

constexpr DWORD kPrivSignature = 0x56495250;  // "PRIV"
constexpr size_t kPublicSize = 220;
constexpr size_t kTotalSize = 5064;

inline SHORT i16(const BYTE* dm, size_t offset) {
    SHORT v;
    std::memcpy(&v, dm + offset, sizeof v);
    return v;
}
inline WORD u16(const BYTE* dm, size_t offset) {
    WORD v;
    std::memcpy(&v, dm + offset, sizeof v);
    return v;
}
inline LONG i32(const BYTE* dm, size_t offset) {
    LONG v;
    std::memcpy(&v, dm + offset, sizeof v);
    return v;
}
inline DWORD u32(const BYTE* dm, size_t offset) {
    DWORD v;
    std::memcpy(&v, dm + offset, sizeof v);
    return v;
}
inline void put16(BYTE* dm, size_t offset, SHORT v) { std::memcpy(dm + offset, &v, sizeof v); }
inline void put32(BYTE* dm, size_t offset, DWORD v) { std::memcpy(dm + offset, &v, sizeof v); }

// Copies a text field of `chars` characters, cut to chars - 1 and always terminated.
inline void text(const BYTE* dm, size_t offset, size_t chars, WCHAR* out) {
    size_t i = 0;
    for (; i + 1 < chars; ++i) {
        WCHAR c;
        std::memcpy(&c, dm + offset + i * sizeof(WCHAR), sizeof c);
        if (!c) break;
        out[i] = c;
    }
    out[i] = 0;
}

}  // namespace devmode
