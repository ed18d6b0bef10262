// The drawing hooks: every call is checked against the device record and handed to the engine with
// the page bitmap as its target, with a pattern fill fast path, a one-pixel widening of rectangular
// clips for strokes, and no simulated bold. Also brush realisation and DrvEscape.
#include <cstring>

#include "ddi.h"
#include "raster.h"
#include "rastrel.h"

namespace {

constexpr ULONG kPatternBrush = 0xFFFFFFFF;
constexpr ROP4 kPatCopy = 0xF0F0;
constexpr FLONG kDroppedFontFlags = 0xFEFFDFFF;  // no FO_SIM_BOLD, no 0x01000000
constexpr ULONG kEscapeQuerySupport = 8;
constexpr ULONG kEscapeSetCopyCount = 17;
constexpr ULONG kEscapePassThrough = 19;

// The driver's realisation of a pattern brush.
struct RealizedBrush {
    DWORD kind;           // always 2
    LONG width;           // pattern size
    LONG height;
    DWORD format;         // BMF_*
    WORD flags;           // fjBitmap
    LONG stride;          // |lDelta| of the pattern
    DWORD hatch;
    LONG cellWidth;       // 32
    LONG cellHeight;      // 32
    DWORD exactColors;    // the pattern's colours reach the page unchanged (black and white, or 1:1 greys)
    BYTE cell[8000];      // 32 x 32 one-bit cell (4 bytes a row), then scratch space
    BYTE bits[1];         // the pattern rows, top-down, `rowBytes` apart
};
constexpr LONG kCellSize = 32;
constexpr LONG kTileSize = 8;

LONG BitsPerPixel(ULONG format) {
    switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP:
    case BMF_24BPP:
    case BMF_32BPP: return 24;
    default: return 0;
    }
}

LONG RowBytes(LONG bits) { return ((8 * bits + 31) / 32) * 4; }

bool SameRect(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Whether the pattern's colours, as the fast path writes them, are the ones the engine would draw.
DWORD ExactColors(XLATEOBJ* xlate, ULONG format) {
    if (!xlate || (xlate->flXlate & XO_TRIVIAL)) return TRUE;
    if (format == BMF_1BPP) return XLATEOBJ_iXlate(xlate, 0) == 0 && XLATEOBJ_iXlate(xlate, 1) == 255;
    if (format == BMF_8BPP) {
        for (ULONG i = 0; i < 256; ++i)
            if (XLATEOBJ_iXlate(xlate, i) != i) return FALSE;
        return TRUE;
    }
    return FALSE;
}

// The standard hatches as 16 x 16 one-bit tiles (1 = line).
bool HatchBit(ULONG hatch, int x, int y) {
    switch (hatch) {
    case HS_HORIZONTAL: return y % 8 == 0;
    case HS_VERTICAL: return x % 8 == 0;
    case HS_FDIAGONAL: return (x - y) % 8 == 0;
    case HS_BDIAGONAL: return (x + y) % 8 == 7;
    case HS_CROSS: return x % 8 == 0 || y % 8 == 0;
    default: return (x - y) % 8 == 0 || (x + y) % 8 == 7;
    }
}

void SetCellBit(BYTE* cell, int x, int y, bool on) {
    BYTE& b = cell[y * 4 + x / 8];
    BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
    b = on ? (b | bit) : (b & ~bit);
}

bool CellBit(const BYTE* cell, int x, int y) { return (cell[y * 4 + x / 8] >> (7 - x % 8)) & 1; }

// The brush cell: the pattern's first byte of each row doubled both ways and tiled twice, or the
// standard hatch; a pattern in two colours other than black and white becomes their halftone.
void BuildCell(RealizedBrush* rb, ULONG hatch, XLATEOBJ* xlate) {
    BYTE* cell = rb->cell;
    std::memset(cell, 0, 128);
    for (int y = 0; y < kCellSize; ++y) {
        for (int x = 0; x < kCellSize; ++x) {
            bool on;
            if (hatch < HS_DDI_MAX) {
                on = HatchBit(hatch, x % 16, y % 16);
            } else {
                int row = (y % 16) / 2;
                BYTE first = row < rb->height ? rb->bits[row * RowBytes(BitsPerPixel(rb->format))] : 0;
                on = (first >> (7 - (x % 16) / 2)) & 1;
            }
            SetCellBit(cell, x, y, on);
        }
    }
    if (!xlate || !(xlate->flXlate & XO_TABLE)) return;
    ULONG colors[18] = {};
    ULONG count = XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, 18, colors);
    if (count >= 2 && colors[0] == 0x000000 && colors[1] == 0xFFFFFF) return;
    auto grey = [](ULONG rgb) {
        return static_cast<int>((77 * (rgb & 0xFF) + 151 * ((rgb >> 8) & 0xFF) + 28 * ((rgb >> 16) & 0xFF)) >> 8);
    };
    int greys[2] = {grey(count > 0 ? colors[0] : 0), grey(count > 1 ? colors[1] : 0xFFFFFF)};
    // Known dot patterns are lightened so that their screened dots do not run together.
    static const BYTE kDots[4][8] = {{0x7F, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF},
                                     {0x7F, 0xFF, 0xF7, 0xFF, 0x7F, 0xFF, 0xF7, 0xFF},
                                     {0x77, 0xFF, 0xDD, 0xFF, 0x77, 0xFF, 0xDD, 0xFF},
                                     {0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD}};
    static const double kLighten[4] = {0.4, 0.5, 0.6, 0.7};
    BYTE rows[8] = {};
    for (int r = 0; r < 8 && r < rb->height; ++r) rows[r] = rb->bits[r * RowBytes(BitsPerPixel(rb->format))];
    for (int d = 0; d < 4; ++d) {
        if (std::memcmp(rows, kDots[d], 8) != 0) continue;
        for (int& g : greys)
            if (g != 255) g = static_cast<int>(g * kLighten[d]);
    }
    BYTE screens[2][128];
    BuildBrushScreenCell(static_cast<BYTE>(greys[0]), screens[0]);
    BuildBrushScreenCell(static_cast<BYTE>(greys[1]), screens[1]);
    BYTE pattern[128];
    std::memcpy(pattern, cell, sizeof pattern);
    for (int y = 0; y < kCellSize; ++y)
        for (int x = 0; x < kCellSize; ++x)
            SetCellBit(cell, x, y, CellBit(screens[CellBit(pattern, x, y) ? 1 : 0], x, y));
}

// Fills the target rectangle straight into the page buffer with the brush's 8 x 8 pattern, enlarged
// four times, its origin at the rectangle's corner. FALSE when the pattern does not suit.
BOOL FillPatternFast(DriverPdev* pdev, const RealizedBrush* rb, const RECTL& target) {
    if (rb->width != kTileSize || rb->height != kTileSize || !rb->exactColors ||
        (rb->format != BMF_1BPP && rb->format != BMF_8BPP))
        return FALSE;
    BYTE tile[kTileSize][kTileSize];
    for (int y = 0; y < kTileSize; ++y)
        for (int x = 0; x < kTileSize; ++x)
            tile[y][x] = rb->format == BMF_1BPP ? ((rb->bits[y * 4] >> (7 - x)) & 1 ? 255 : 0) : rb->bits[y * 8 + x];
    if (rb->cellWidth % kTileSize != 0 || rb->cellHeight % kTileSize != 0) return FALSE;
    auto* cell = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(rb->cellWidth) * rb->cellHeight));
    if (!cell) return FALSE;
    LONG scaleX = rb->cellWidth / kTileSize, scaleY = rb->cellHeight / kTileSize;
    for (LONG y = 0; y < rb->cellHeight; ++y)
        for (LONG x = 0; x < rb->cellWidth; ++x) cell[y * rb->cellWidth + x] = tile[y / scaleY][x / scaleX];
    SURFOBJ* page = pdev->pageSurface;
    LONG left = target.left < 0 ? 0 : target.left, top = target.top < 0 ? 0 : target.top;
    LONG right = target.right > page->sizlBitmap.cx ? page->sizlBitmap.cx : target.right;
    LONG bottom = target.bottom > page->sizlBitmap.cy ? page->sizlBitmap.cy : target.bottom;
    for (LONG y = top; y < bottom; ++y) {
        BYTE* row = static_cast<BYTE*>(page->pvScan0) + static_cast<LONG_PTR>(y) * page->lDelta;
        const BYTE* cellRow = cell + ((y - target.top) % rb->cellHeight) * rb->cellWidth;
        for (LONG x = left; x < right; ++x) row[x] = cellRow[(x - target.left) % rb->cellWidth];
    }
    HeapFree(GetProcessHeap(), 0, cell);
    return TRUE;
}

DriverPdev* PdevOfDriverSurface(SURFOBJ* surface) {
    auto* pdev = surface ? reinterpret_cast<DriverPdev*>(surface->dhpdev) : nullptr;
    return IsValidPdev(pdev) && pdev->size == sizeof(DriverPdev) ? pdev : nullptr;
}

// The page bitmap in place of this driver's device surface.
SURFOBJ* Drawable(SURFOBJ* surface) {
    DriverPdev* pdev = PdevOfDriverSurface(surface);
    return pdev && surface->hsurf == pdev->deviceSurface ? pdev->pageSurface : surface;
}

}  // namespace

extern "C" BOOL APIENTRY DrvBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                   RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                                   POINTL* brushOrigin, ROP4 rop4) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    if (!source && brush && brush->iSolidColor == kPatternBrush && clip && targetRect && rop4 == kPatCopy &&
        clip->iDComplexity == DC_TRIVIAL && SameRect(clip->rclBounds, *targetRect)) {
        auto* rb = static_cast<RealizedBrush*>(brush->pvRbrush ? brush->pvRbrush : BRUSHOBJ_pvGetRbrush(brush));
        if (rb && FillPatternFast(pdev, rb, *targetRect)) return TRUE;
    }
    return EngBitBlt(pdev->pageSurface, Drawable(source), mask, clip, xlate, targetRect, sourcePoint, maskPoint, brush,
                     brushOrigin, rop4);
}

extern "C" BOOL APIENTRY DrvStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip,
                                       XLATEOBJ* xlate, COLORADJUSTMENT* adjust, POINTL* halftoneOrigin,
                                       RECTL* targetRect, RECTL* sourceRect, POINTL* maskPoint, ULONG mode) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngStretchBlt(pdev->pageSurface, Drawable(source), mask, clip, xlate, adjust, halftoneOrigin, targetRect,
                         sourceRect, maskPoint, mode);
}

extern "C" BOOL APIENTRY DrvCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                     RECTL* targetRect, POINTL* sourcePoint) {
    // A target that is not this driver's surface (a copy out of the page): the engine does it.
    if (!PdevOfDriverSurface(target))
        return EngCopyBits(target, Drawable(source), clip, xlate, targetRect, sourcePoint);
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngCopyBits(pdev->pageSurface, Drawable(source), clip, xlate, targetRect, sourcePoint);
}

extern "C" BOOL APIENTRY DrvPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                   COLORADJUSTMENT* adjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                                   POINTL* maskPoint, ULONG mode) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngPlgBlt(pdev->pageSurface, Drawable(source), mask, clip, xlate, adjust, brushOrigin, points, sourceRect,
                     maskPoint, mode);
}

extern "C" BOOL APIENTRY DrvAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                       RECTL* targetRect, RECTL* sourceRect, BLENDOBJ* blend) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngAlphaBlend(pdev->pageSurface, Drawable(source), clip, xlate, targetRect, sourceRect, blend);
}

extern "C" BOOL APIENTRY DrvGradientFill(SURFOBJ* target, CLIPOBJ* clip, XLATEOBJ* xlate, TRIVERTEX* vertices,
                                         ULONG vertexCount, PVOID mesh, ULONG meshCount, RECTL* bounds,
                                         POINTL* ditherOrigin, ULONG mode) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngGradientFill(pdev->pageSurface, clip, xlate, vertices, vertexCount, mesh, meshCount, bounds,
                           ditherOrigin, mode);
}

extern "C" BOOL APIENTRY DrvTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                           RECTL* targetRect, RECTL* sourceRect, ULONG transparentColor,
                                           ULONG reserved) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev) return FALSE;
    return EngTransparentBlt(pdev->pageSurface, Drawable(source), clip, xlate, targetRect, sourceRect,
                             transparentColor, reserved);
}

extern "C" BOOL APIENTRY DrvPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    return EngPaint(pdev->pageSurface, clip, brush, brushOrigin, mix);
}

extern "C" BOOL APIENTRY DrvLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2,
                                   LONG y2, RECTL* bounds, MIX mix) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    return EngLineTo(pdev->pageSurface, clip, brush, x1, y1, x2, y2, bounds, mix);
}

extern "C" BOOL APIENTRY DrvFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush,
                                     POINTL* brushOrigin, MIX mix, FLONG options) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    return EngFillPath(pdev->pageSurface, path, clip, brush, brushOrigin, mix, options);
}

extern "C" BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                              BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill,
                                              POINTL* brushOrigin, MIX mixFill, FLONG options) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    return EngStrokeAndFillPath(pdev->pageSurface, path, clip, xform, stroke, line, fill, brushOrigin, mixFill,
                                options);
}

extern "C" BOOL APIENTRY DrvStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                       BRUSHOBJ* brush, POINTL* brushOrigin, LINEATTRS* line, MIX mix) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    CLIPOBJ* widened = nullptr;
    if (clip && path && clip->iDComplexity == DC_RECT) {
        // A stroke that runs exactly along the right or bottom edge of its rectangular clip keeps
        // that last column or row: the clip grows by a pixel there, never past the page.
        RECTFX fixed;
        PATHOBJ_vGetBounds(path, &fixed);
        RECTL bounds{fixed.xLeft >> 4, fixed.yTop >> 4, fixed.xRight >> 4, fixed.yBottom >> 4};
        if (bounds.left < 0) bounds.left = 0;
        if (bounds.top < 0) bounds.top = 0;
        bool right = clip->rclBounds.right == bounds.right;
        bool bottom = clip->rclBounds.bottom == bounds.bottom;
        if (clip->rclBounds.left == bounds.left && clip->rclBounds.top == bounds.top && (right || bottom)) {
            widened = EngCreateClip();
            if (widened) {
                widened->iDComplexity = DC_RECT;
                widened->rclBounds = clip->rclBounds;
                const SIZEL& page = pdev->pageSurface->sizlBitmap;
                if (right && widened->rclBounds.right < page.cx) ++widened->rclBounds.right;
                if (bottom && widened->rclBounds.bottom < page.cy) ++widened->rclBounds.bottom;
            }
        }
    }
    BOOL ok = EngStrokePath(pdev->pageSurface, path, widened ? widened : clip, xform, brush, brushOrigin, line, mix);
    if (widened) EngDeleteClip(widened);
    return ok;
}

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ* surface, STROBJ* text, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra,
                                    RECTL* opaque, BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* origin,
                                    MIX mix) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    if (font) font->flFontType &= kDroppedFontFlags;
    return EngTextOut(pdev->pageSurface, text, font, clip, extra, opaque, foreground, opaqueBrush, origin, mix);
}

extern "C" ULONG APIENTRY DrvDitherColor(DHPDEV, ULONG, ULONG, ULONG*) { return DCR_HALFTONE; }

extern "C" ULONG APIENTRY DrvGetGlyphMode(DHPDEV, FONTOBJ*) { return FO_GLYPHBITS; }

extern "C" BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask,
                                         XLATEOBJ* xlate, ULONG hatch) {
    DriverPdev* pdev = PdevFromSurface(target);
    if (!pdev || !brush || !pattern || mask || pattern->sizlBitmap.cx != kTileSize) return FALSE;
    LONG bits = BitsPerPixel(pattern->iBitmapFormat);
    LONG height = pattern->sizlBitmap.cy;
    if (bits == 0 || height <= 0 || height > 4096) return FALSE;
    LONG rowBytes = RowBytes(bits);
    ULONG size = static_cast<ULONG>(offsetof(RealizedBrush, bits) + SIZE_T(rowBytes) * height);
    auto* rb = static_cast<RealizedBrush*>(BRUSHOBJ_pvAllocRbrush(brush, size));
    if (!rb) return FALSE;
    rb->kind = 2;
    rb->width = pattern->sizlBitmap.cx;
    rb->height = height;
    rb->format = pattern->iBitmapFormat;
    rb->flags = pattern->fjBitmap;
    rb->stride = pattern->lDelta < 0 ? -pattern->lDelta : pattern->lDelta;
    rb->hatch = hatch;
    rb->cellWidth = kCellSize;
    rb->cellHeight = kCellSize;
    rb->exactColors = ExactColors(xlate, pattern->iBitmapFormat);
    std::memset(rb->cell, 0, sizeof rb->cell);
    // Rows top-down, each cut to the record's row size; a pattern's rows never run past its own.
    LONG copy = rb->stride < rowBytes ? rb->stride : rowBytes;
    for (LONG y = 0; y < height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(pattern->pvScan0) + static_cast<LONG_PTR>(y) * pattern->lDelta;
        std::memcpy(rb->bits + y * rowBytes, row, static_cast<size_t>(copy));
        if (copy < rowBytes) std::memset(rb->bits + y * rowBytes + copy, 0, static_cast<size_t>(rowBytes - copy));
    }
    BuildCell(rb, hatch, xlate);
    brush->pvRbrush = rb;
    return TRUE;
}

extern "C" ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG, PVOID) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return 0;
    switch (escape) {
    case kEscapeQuerySupport: {
        if (inSize != sizeof(DWORD) || !in) return 0;
        DWORD asked;
        std::memcpy(&asked, in, sizeof asked);
        return asked == kEscapeQuerySupport || asked == kEscapeSetCopyCount || asked == kEscapePassThrough;
    }
    case kEscapeSetCopyCount: return 0;
    case kEscapePassThrough: {
        if (inSize <= 2 || !in) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const BYTE* data = static_cast<const BYTE*>(in);
        ULONG count = data[0] | (ULONG(data[1]) << 8);
        if (count == 0 || count > inSize - 2) {
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
        DWORD written = 0;
        return WritePrinter(pdev->printer, const_cast<BYTE*>(data + 2), count, &written) && written == count ? count
                                                                                                            : 0;
    }
    default: SetLastError(ERROR_INVALID_FUNCTION); return 0;
    }
}
