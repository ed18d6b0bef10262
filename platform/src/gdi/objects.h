// The user-mode GDI's objects: the handle table, bitmaps with pixel access, fonts, brushes and DCs.
#pragma once

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <unordered_map>
#include <vector>

#include "win/gdi.h"

namespace platform::gdi {

// ---- Objects and handles ---------------------------------------------------------------------------
struct Object {
    virtual ~Object() = default;
    virtual DWORD type() const = 0;  // OBJ_*
    bool stock = false;
};

// Registers an object and returns its new handle.
HGDIOBJ insert(std::shared_ptr<Object> object);
std::shared_ptr<Object> find(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> findAs(HGDIOBJ handle) {
    return std::dynamic_pointer_cast<T>(find(handle));
}
// Drops the handle; the object lives on while something (a DC) holds it.
bool erase(HGDIOBJ handle);
// The stock object of a GetStockObject index, made on first use.
HGDIOBJ stock(int index);
// The stock 1 x 1 monochrome bitmap that new memory DCs hold.
HGDIOBJ stockBitmap();

// ---- Bitmaps ------------------------------------------------------------------------------------------
// Pixel access to rows of 1, 4, 8, 16, 24 or 32 bits. Raw values: a table index for up to 8 bits,
// the 16-bit word, 0xRRGGBB for 24 bits (bytes blue, green, red), the 32-bit word for 32 bits.
struct Surface {
    LONG width = 0;
    LONG height = 0;
    int bpp = 0;
    LONG stride = 0;
    bool topDown = true;
    BYTE* bits = nullptr;
    std::vector<COLORREF> table;       // colours of the indexes (up to 8 bits)
    DWORD masks[3] = {0, 0, 0};        // red, green, blue of 16 and 32 bits
    bool monochrome = false;           // a 1-bit device bitmap (colour conversion by DC colours)

    BYTE* row(LONG y) const { return bits + static_cast<size_t>(topDown ? y : height - 1 - y) * stride; }
    uint32_t get(LONG x, LONG y) const;
    void set(LONG x, LONG y, uint32_t value) const;
    COLORREF colorOf(uint32_t raw) const;
    // The raw value nearest to a colour (DIBINDEX colours name a table entry).
    uint32_t rawOf(COLORREF color) const;
    bool indexed() const { return bpp <= 8; }
};

// Rows a size for a depth: DIBs pad to 4 bytes, device bitmaps to 2.
LONG dibStride(LONG width, int bpp);
LONG ddbStride(LONG width, int bpp);

struct Bitmap : Object {
    DWORD type() const override { return OBJ_BITMAP; }
    Surface surface;
    std::unique_ptr<BYTE[]> storage;
    bool dib = false;
    BITMAPINFOHEADER header{};  // as created (DIB sections)
    HDC selectedIn = nullptr;
};
// A zero-filled bitmap; nothing when the size is unusable or memory runs out.
std::shared_ptr<Bitmap> makeBitmap(LONG width, LONG height, int bpp, bool topDown, bool dib);

// A DIB header and colour table as given to StretchDIBits or CreateDIBSection. `tableFromHeader`:
// the table is read as Windows does (biClrUsed, else all 2^bpp entries); otherwise only biClrUsed
// entries are read and none means the grey ramp.
struct DibFormat {
    LONG width = 0;
    LONG height = 0;  // positive
    bool topDown = false;
    int bpp = 0;
    DWORD compression = BI_RGB;
    DWORD sizeImage = 0;
    std::vector<COLORREF> table;
    DWORD masks[3] = {0, 0, 0};
};
std::optional<DibFormat> parseDib(const BITMAPINFO* info, UINT usage, bool tableFromHeader);
std::vector<COLORREF> greyTable(int bpp);

// ---- Brushes and fonts -------------------------------------------------------------------------------
struct Brush : Object {
    DWORD type() const override { return OBJ_BRUSH; }
    COLORREF color = 0;
    bool null = false;
};

struct Font : Object {
    DWORD type() const override { return OBJ_FONT; }
    LOGFONTW logfont{};
};

// ---- Device contexts ------------------------------------------------------------------------------
struct DeviceCaps {
    int technology = DT_RASDISPLAY;
    int horzSize = 0, vertSize = 0;  // millimetres
    int horzRes = 0, vertRes = 0;
    int bitsPixel = 32, planes = 1;
    int logPixelsX = 96, logPixelsY = 96;
    int physicalWidth = 0, physicalHeight = 0;
    int physicalOffsetX = 0, physicalOffsetY = 0;
    int numColors = -1;
    int rasterCaps = 0, textCaps = 0;
    int aspectX = 36, aspectY = 36, aspectXY = 51;
    int colorRes = 24;
    int driverVersion = 0x4000;
};
DeviceCaps screenCaps();

struct DcState {
    std::shared_ptr<Bitmap> bitmap;
    HGDIOBJ bitmapHandle = nullptr;
    std::shared_ptr<Font> font;
    HGDIOBJ fontHandle = nullptr;
    std::shared_ptr<Brush> brush;
    HGDIOBJ brushHandle = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int graphicsMode = GM_COMPATIBLE;
    int mapMode = MM_TEXT;
    int stretchMode = BLACKONWHITE;
    XFORM world{1, 0, 0, 1, 0, 0};
    POINT viewportOrg{0, 0};
    POINT windowOrg{0, 0};
    SIZE viewportExt{1, 1};
    SIZE windowExt{1, 1};
};

struct Dc : Object {
    enum class Kind { memory, printer, display };
    DWORD type() const override { return kind == Kind::memory ? OBJ_MEMDC : OBJ_DC; }
    Kind kind = Kind::memory;
    DeviceCaps caps;
    std::vector<BYTE> devmode;  // printer DCs: the DEVMODE the device was enabled with
    GDIINFO gdiInfo{};
    DcState state;
    std::vector<DcState> saved;
    HDC handle = nullptr;
};
std::shared_ptr<Dc> findDc(HDC dc);

// An affine map: x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    double mapX(double x, double y) const { return a * x + c * y + e; }
    double mapY(double x, double y) const { return b * x + d * y + f; }
    std::optional<Affine> inverse() const;
};
// Logical to device: the world transform (GM_ADVANCED) then the mapping mode's window-to-viewport map.
Affine logicalToDevice(const Dc& dc);

// The selected bitmap of a memory DC as a target to draw on, or null (SetLastError) when there is none.
const Surface* drawingSurface(const Dc& dc);

// One lock for all GDI state; FreeType is used under it too.
std::recursive_mutex& lock();

// Runs f on the DC under the lock; `failure` (ERROR_INVALID_HANDLE) for a handle that is no DC.
template <class F>
auto withDc(HDC dcHandle, decltype(std::declval<F>()(std::declval<Dc&>())) failure, F f) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return failure;
    }
    return f(*dc);
}

// One field of a DC's state, and setting it (the old value comes back).
template <class T>
T stateOf(HDC dcHandle, T DcState::*field, T failure) {
    return withDc(dcHandle, failure, [&](Dc& dc) { return dc.state.*field; });
}
template <class T>
T exchangeState(HDC dcHandle, T DcState::*field, T value, T failure) {
    return withDc(dcHandle, failure, [&](Dc& dc) { return std::exchange(dc.state.*field, value); });
}

}  // namespace platform::gdi
