// What the engine keeps behind the driver-interface objects it hands out (surfaces, devices, clips,
// brushes, colour translations, paths, text), shared by the engine's source files.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/engine.h"
#include "win/winddi.h"

namespace platform::engine::detail {

// One lock for the engine's object tables; drawing itself runs without it.
std::mutex& tableMutex();

// Reports a bad argument the way the engine does.
BOOL invalid();

// ---- Surfaces ------------------------------------------------------------------------------------
struct Surface {
    SURFOBJ so{};                 // handed out by EngLockSurface
    SurfaceInfo info;
    std::unique_ptr<BYTE[]> own;  // bits the engine allocated
    int locks = 0;
    bool deleted = false;         // deleted while locked: freed with the last unlock
    bool internal = false;        // the engine's own (a brush's copy of its pattern): not counted
};
// A surface of the engine by handle, or null (the table lock must be held).
Surface* findSurfaceLocked(HSURF handle);
// Makes an engine bitmap; `internal` ones are left out of liveSurfaceCount.
HSURF createBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits, bool internal);
LONG bitsPerPixel(ULONG format);
// The minimal row length of a bitmap of the format, rounded up to whole 32-bit words.
LONG alignedRowBytes(LONG width, ULONG format);

// ---- Clips ---------------------------------------------------------------------------------------
struct Clip {
    CLIPOBJ obj{};
    std::vector<RECTL> rects;  // DC_COMPLEX: non-overlapping, in bands top to bottom, left to right
    std::vector<RECTL> order;  // the enumeration under way
    size_t next = 0;
};
Clip* findClip(const CLIPOBJ* clip);
// The rectangles a drawing call may touch: the clip's rectangles within `bounds` (which is
// already inside the surface), none of them empty.
std::vector<RECTL> clipRects(const CLIPOBJ* clip, const RECTL& bounds);

// ---- Colour translation ----------------------------------------------------------------------------
struct Xlate {
    XLATEOBJ obj{};
    std::vector<ULONG> palette;  // source palette, 0x00BBGGRR
    std::vector<ULONG> table;    // index -> grey
    ULONG sourceFormat = 0;
    bool trueColour = false;     // pixels 0x00RRGGBB as read from B, G, R bytes
};
Xlate* findXlate(const XLATEOBJ* xlate);
Xlate* copyXlate(const XLATEOBJ* xlate, ULONG sourceFormat);  // an engine-owned copy, or null
void destroyXlate(Xlate* xlate);
// Grey of an 0x00BBGGRR colour and of an 0x00RRGGBB pixel.
inline BYTE greyOfRgb(ULONG c) {
    return static_cast<BYTE>((77u * (c & 0xFF) + 151u * ((c >> 8) & 0xFF) + 28u * ((c >> 16) & 0xFF)) >> 8);
}
inline BYTE greyOfBgr(ULONG c) {
    return static_cast<BYTE>((77u * ((c >> 16) & 0xFF) + 151u * ((c >> 8) & 0xFF) + 28u * (c & 0xFF)) >> 8);
}

// ---- Brushes -----------------------------------------------------------------------------------------
struct Brush {
    BRUSHOBJ obj{};
    std::vector<std::unique_ptr<BYTE[]>> realizations;  // BRUSHOBJ_pvAllocRbrush blocks
    BYTE* lastRealization = nullptr;
    // Pattern brushes: the engine's copy of the pattern (for the driver) and its grey picture
    // (for the engine's own drawing).
    HSURF pattern = nullptr;
    Xlate* xlate = nullptr;
    ULONG hatch = 0;
    HDEV hdev = nullptr;
    HSURF target = nullptr;
    std::vector<BYTE> grey;
    LONG width = 0, height = 0;
};
Brush* findBrush(const BRUSHOBJ* brush);

// ---- Paths ---------------------------------------------------------------------------------------
struct PathRun {
    bool bezier = false;
    std::vector<POINTFIX> points;  // the first run of a subpath starts with its start point
};
struct Subpath {
    std::vector<PathRun> runs;
    bool closed = false;
};
struct Path {
    PATHOBJ obj{};
    std::vector<Subpath> subpaths;
    POINTFIX current{0, 0};
    bool open = false;  // the last subpath takes more lines
    size_t enumSubpath = 0, enumRun = 0;
};
Path* findPath(const PATHOBJ* path);

// ---- Text ----------------------------------------------------------------------------------------
struct Text {
    STROBJ str{};
    FONTOBJ font{};
    std::vector<GLYPHPOS> positions;
    std::vector<GLYPHDEF> defs;
    std::vector<std::unique_ptr<BYTE[]>> pictures;
    bool enumerated = false;
};
Text* findText(const STROBJ* text);

}  // namespace platform::engine::detail
