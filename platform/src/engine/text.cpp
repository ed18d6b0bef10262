// Text onto 8-bit grey engine bitmaps: glyph pictures of a text object in the foreground brush.
#include <algorithm>

#include "raster.h"

using namespace platform::engine::raster;
using platform::engine::detail::clipRects;
using platform::engine::detail::invalid;

// Draws a text object: the opaque rectangle first in the opaque brush, then the ink of each glyph's
// one-bit picture and the extra rectangles (underlines and strike-outs, up to an all-zero one) in the
// foreground brush under the mix's foreground ROP2, all within the clip. Leaves out anti-aliased
// (4-bit) glyphs, glyphs as paths and the font's own drawing.
BOOL APIENTRY EngTextOut(SURFOBJ* surface, STROBJ* text, FONTOBJ*, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* origin, MIX mix) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    if (!text || !foreground || (opaque && !opaqueBrush)) return invalid();
    int rop = rop3OfMix(mix);
    BrushFill ink;
    if (rop < 0 || !brushOf(foreground, origin, ink)) return invalid();
    std::vector<RECTL> rects = clipRects(clip, t.rect());
    if (opaque) {
        BrushFill back;
        if (!brushOf(opaqueBrush, origin, back)) return invalid();
        Painter(t, rects, back, 0xF0).rect(ordered(*opaque));
    }
    Painter painter(t, rects, ink, static_cast<BYTE>(rop));
    const RECTL& bounds = painter.bounds();

    ULONG count = 0;
    GLYPHPOS* glyphs = nullptr;
    STROBJ_vEnumStart(text);
    BOOL more;
    do {
        more = STROBJ_bEnum(text, &count, &glyphs);
        if (count && !glyphs) break;
        for (ULONG i = 0; i < count; ++i) {
            const GLYPHPOS& g = glyphs[i];
            const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
            if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
            int64_t left = int64_t(g.ptl.x) + gb->ptlOrigin.x, top = int64_t(g.ptl.y) + gb->ptlOrigin.y;
            LONG cx = gb->sizlBitmap.cx, cy = gb->sizlBitmap.cy, stride = (cx + 7) / 8;
            LONG firstRow = static_cast<LONG>(std::clamp<int64_t>(bounds.top - top, 0, cy));
            LONG lastRow = static_cast<LONG>(std::clamp<int64_t>(bounds.bottom - top, 0, cy));
            LONG firstCol = static_cast<LONG>(std::clamp<int64_t>(bounds.left - left, 0, cx));
            LONG lastCol = static_cast<LONG>(std::clamp<int64_t>(bounds.right - left, 0, cx));
            for (LONG row = firstRow; row < lastRow; ++row) {
                const BYTE* bits = gb->aj + size_t(row) * stride;
                LONG y = static_cast<LONG>(top + row);
                for (LONG col = firstCol; col < lastCol;) {
                    if (!((bits[col >> 3] >> (7 - (col & 7))) & 1)) {
                        ++col;
                        continue;
                    }
                    LONG end = col + 1;
                    while (end < lastCol && ((bits[end >> 3] >> (7 - (end & 7))) & 1)) ++end;
                    painter.span(y, static_cast<LONG>(left + col), static_cast<LONG>(left + end));
                    col = end;
                }
            }
        }
    } while (more);

    for (int i = 0; extra && i < 1024; ++i) {
        const RECTL& r = extra[i];
        if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) break;
        painter.rect(ordered(r));
    }
    return TRUE;
}
