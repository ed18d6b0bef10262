// The engine's raster machinery for 8-bit grey surfaces: rectangles, raster operations, brush and
// source rows, span painting through a clip, scan conversion of polygons and one-pixel lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "objects.h"

namespace platform::engine::raster {

// ---- Rectangles ----------------------------------------------------------------------------------
inline bool isEmpty(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }
inline RECTL intersect(const RECTL& a, const RECTL& b) {
    return RECTL{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                 a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}
inline RECTL ordered(const RECTL& r) {
    return RECTL{r.left < r.right ? r.left : r.right, r.top < r.bottom ? r.top : r.bottom,
                 r.left < r.right ? r.right : r.left, r.top < r.bottom ? r.bottom : r.top};
}
RECTL boundsOf(const std::vector<RECTL>& rects);
// Floor division and modulus that also hold for negative numbers.
inline int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
inline LONG positiveMod(int64_t a, LONG m) {
    int64_t r = a % m;
    return static_cast<LONG>(r < 0 ? r + m : r);
}

// ---- The target ----------------------------------------------------------------------------------
struct Target {
    BYTE* scan0 = nullptr;
    ptrdiff_t delta = 0;
    LONG cx = 0, cy = 0;
    BYTE* row(LONG y) const { return scan0 + ptrdiff_t(y) * delta; }
    RECTL rect() const { return RECTL{0, 0, cx, cy}; }
};
// An 8-bit surface with bits, else false (and ERROR_INVALID_PARAMETER set).
bool targetOf(const SURFOBJ* surface, Target& target);
// Whether two surfaces' bits share memory.
bool sharesMemory(const SURFOBJ* a, const SURFOBJ* b);

// ---- Raster operations ---------------------------------------------------------------------------
// out[i] = rop3(p[i], s[i], d[i]) bit by bit; out may be d.
using RopRow = void (*)(BYTE* out, const BYTE* p, const BYTE* s, const BYTE* d, size_t n);
RopRow ropRow(BYTE rop3);
inline bool usesPattern(BYTE r) { return ((r >> 4) & 0x0F) != (r & 0x0F); }
inline bool usesSource(BYTE r) { return ((r >> 2) & 0x33) != (r & 0x33); }
// The ROP3 of a mix's foreground ROP2 (R2_*), or -1 for none.
int rop3OfMix(MIX mix);

// ---- Brushes ---------------------------------------------------------------------------------------
struct BrushFill {
    bool solid = true;
    BYTE colour = 0;
    const BYTE* pattern = nullptr;  // grey rows of width w
    LONG w = 0, h = 0;
    POINTL origin{0, 0};
    // The brush's pixels from (x, y) on.
    void row(LONG x, LONG y, LONG n, BYTE* out) const;
};
// A solid brush, or a pattern brush of the engine's, else false (ERROR_INVALID_PARAMETER set).
bool brushOf(const BRUSHOBJ* brush, const POINTL* origin, BrushFill& fill);

// ---- Sources ---------------------------------------------------------------------------------------
// Reads a source surface of 1, 8, 24 or 32 bits a pixel as grey rows through the colour translation
// (a null translation: 8 bits as they are, 1 bit black and white, true colour to its grey).
class Source {
public:
    bool open(const SURFOBJ* surface, XLATEOBJ* xlate);
    const BYTE* row(LONG x, LONG y, LONG n, BYTE* buf) const;
    ULONG raw(LONG x, LONG y) const;  // the pixel as stored (index, or 0x00RRGGBB; alpha apart)
    BYTE alpha(LONG x, LONG y) const;
    RECTL rect() const { return RECTL{ox_, oy_, ox_ + cx_, oy_ + cy_}; }
    bool identity() const { return mode_ == Mode::identity; }
    ULONG format() const { return format_; }
    // Replaces the source by a grey copy of the region (for a source that shares the target's bits).
    void snapshot(const RECTL& region);

private:
    enum class Mode { identity, table, mono, formula, perPixel };
    const BYTE* rowStart(LONG y) const { return scan0_ + ptrdiff_t(y - oy_) * delta_; }
    const BYTE* scan0_ = nullptr;
    ptrdiff_t delta_ = 0;
    LONG cx_ = 0, cy_ = 0, ox_ = 0, oy_ = 0;
    ULONG format_ = 0;
    Mode mode_ = Mode::identity;
    BYTE lut_[256] = {};
    XLATEOBJ* xlate_ = nullptr;
    std::vector<BYTE> copy_;
};
// A one-bit mask, else false (ERROR_INVALID_PARAMETER set).
bool maskOf(const SURFOBJ* mask, Target& bits);
// 0xFF for the mask's 1 bits from (x, y) on, 0 for its 0 bits.
void maskRow(const Target& mask, LONG x, LONG y, LONG n, BYTE* out);
inline bool maskBit(const Target& mask, LONG x, LONG y) { return (mask.row(y)[x >> 3] >> (7 - (x & 7))) & 1; }

// ---- Painting through a clip ---------------------------------------------------------------------
class Painter {
public:
    Painter(const Target& target, std::vector<RECTL> clip, const BrushFill& brush, BYTE rop3);
    const RECTL& bounds() const { return bounds_; }
    const std::vector<RECTL>& clip() const { return clip_; }
    void span(LONG y, LONG x0, LONG x1);  // pixels x0 .. x1 - 1 of row y, wherever the clip lets
    void rect(const RECTL& r);

private:
    void paint(LONG y, LONG x0, LONG x1);
    Target target_;
    std::vector<RECTL> clip_;
    RECTL bounds_;
    BrushFill brush_;
    BYTE rop_;
    RopRow op_;
    std::vector<BYTE> pattern_, zero_;
};

// Calls fn(x0, x1) for the parts of row y's pixels x0 .. x1 - 1 inside the rectangles.
template <class Fn>
void forClipped(const std::vector<RECTL>& rects, LONG y, LONG x0, LONG x1, Fn fn) {
    for (const RECTL& r : rects) {
        if (y < r.top || y >= r.bottom) continue;
        LONG a = x0 > r.left ? x0 : r.left, b = x1 < r.right ? x1 : r.right;
        if (a < b) fn(a, b);
    }
}

// ---- Geometry --------------------------------------------------------------------------------------
struct PointD {
    double x, y;
};
// A path's figures with Béziers flattened, in 28.4 units.
struct Figure {
    std::vector<PointD> points;
    bool closed = false;
};
std::vector<Figure> flatten(const detail::Path& path);
// Fills polygons (28.4 units; every figure closed) by the even-odd or winding rule: the pixels whose
// centres (whole coordinates) are inside, a centre on a left or top edge counting as inside. Spans
// come out clipped to `bounds`.
void fillPolygons(const std::vector<std::vector<PointD>>& polygons, bool winding, const RECTL& bounds,
                  const std::function<void(LONG y, LONG x0, LONG x1)>& span);
// The pixels of a one-pixel line from (x1, y1) towards (x2, y2), the last one left out, within
// `bounds`; runs on one row come out as one span. `on` (if given) tells for the pixel of index t
// along the line (0 the first) whether it is drawn, for styled lines. Returns the line's length
// in pixels (the major-axis distance).
int64_t linePixels(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const RECTL& bounds,
                   const std::function<void(LONG y, LONG x0, LONG x1)>& span,
                   const std::function<bool(int64_t t)>& on = {});

}  // namespace platform::engine::raster
