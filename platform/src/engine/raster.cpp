// The engine's raster machinery for 8-bit grey surfaces (see raster.h).
#include "raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace platform::engine::raster {

using detail::bitsPerPixel;
using detail::invalid;

RECTL boundsOf(const std::vector<RECTL>& rects) {
    if (rects.empty()) return RECTL{0, 0, 0, 0};
    RECTL b = rects[0];
    for (const RECTL& r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool targetOf(const SURFOBJ* surface, Target& target) {
    if (!surface || !surface->pvScan0 || surface->iBitmapFormat != BMF_8BPP || surface->sizlBitmap.cx <= 0 ||
        surface->sizlBitmap.cy <= 0)
        return invalid();
    target.scan0 = static_cast<BYTE*>(surface->pvScan0);
    target.delta = surface->lDelta;
    target.cx = surface->sizlBitmap.cx;
    target.cy = surface->sizlBitmap.cy;
    return true;
}

namespace {

std::pair<uintptr_t, uintptr_t> memoryOf(const SURFOBJ* s) {
    auto first = reinterpret_cast<uintptr_t>(s->pvScan0);
    auto last = first + static_cast<uintptr_t>(ptrdiff_t(s->sizlBitmap.cy - 1) * s->lDelta);
    uintptr_t rowBytes = static_cast<uintptr_t>((int64_t(s->sizlBitmap.cx) * bitsPerPixel(s->iBitmapFormat) + 7) / 8);
    return {std::min(first, last), std::max(first, last) + rowBytes};
}

}  // namespace

bool sharesMemory(const SURFOBJ* a, const SURFOBJ* b) {
    if (!a || !b || !a->pvScan0 || !b->pvScan0) return false;
    auto [a0, a1] = memoryOf(a);
    auto [b0, b1] = memoryOf(b);
    return a0 < b1 && b0 < a1;
}

// ---- Raster operations ---------------------------------------------------------------------------

namespace {

template <unsigned R>
inline uint64_t rop3(uint64_t p, uint64_t s, uint64_t d) {
    uint64_t r = 0;
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((r |= ((R >> I) & 1) ? (((I & 4) ? p : ~p) & ((I & 2) ? s : ~s) & ((I & 1) ? d : ~d)) : 0), ...);
    }(std::make_index_sequence<8>{});
    return r;
}

template <unsigned R>
void ropRowOf(BYTE* out, const BYTE* p, const BYTE* s, const BYTE* d, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b, c;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, s + i, 8);
        std::memcpy(&c, d + i, 8);
        uint64_t r = rop3<R>(a, b, c);
        std::memcpy(out + i, &r, 8);
    }
    for (; i < n; ++i) out[i] = static_cast<BYTE>(rop3<R>(p[i], s[i], d[i]));
}

template <size_t... I>
constexpr std::array<RopRow, 256> ropTable(std::index_sequence<I...>) {
    return {&ropRowOf<I>...};
}
constexpr std::array<RopRow, 256> kRops = ropTable(std::make_index_sequence<256>{});

}  // namespace

RopRow ropRow(BYTE rop3) { return kRops[rop3]; }

int rop3OfMix(MIX mix) {
    ULONG r2 = mix & 0xFF;
    if (r2 < R2_BLACK || r2 > R2_WHITE) return -1;
    ULONG table = r2 - 1;  // bit (P << 1 | D) of the ROP2
    int rop = 0;
    for (int i = 0; i < 8; ++i) {
        int p = (i >> 2) & 1, d = i & 1;
        if ((table >> ((p << 1) | d)) & 1) rop |= 1 << i;
    }
    return rop;
}

// ---- Brushes ---------------------------------------------------------------------------------------

void BrushFill::row(LONG x, LONG y, LONG n, BYTE* out) const {
    if (solid) {
        std::memset(out, colour, static_cast<size_t>(n));
        return;
    }
    const BYTE* line = pattern + size_t(positiveMod(int64_t(y) - origin.y, h)) * w;
    LONG px = positiveMod(int64_t(x) - origin.x, w);
    for (LONG i = 0; i < n;) {
        LONG chunk = std::min(n - i, w - px);
        std::memcpy(out + i, line + px, static_cast<size_t>(chunk));
        i += chunk;
        px = 0;
    }
}

bool brushOf(const BRUSHOBJ* brush, const POINTL* origin, BrushFill& fill) {
    if (!brush) return invalid();
    if (origin) fill.origin = *origin;
    if (brush->iSolidColor != 0xFFFFFFFF) {
        fill.solid = true;
        fill.colour = static_cast<BYTE>(std::min<ULONG>(brush->iSolidColor, 255));
        return true;
    }
    detail::Brush* ours = detail::findBrush(brush);
    if (!ours || ours->grey.empty()) return invalid();
    fill.solid = false;
    fill.pattern = ours->grey.data();
    fill.w = ours->width;
    fill.h = ours->height;
    return true;
}

// ---- Sources ---------------------------------------------------------------------------------------

namespace {
BYTE clampGrey(ULONG v) { return static_cast<BYTE>(std::min<ULONG>(v, 255)); }
}  // namespace

bool Source::open(const SURFOBJ* s, XLATEOBJ* xlate) {
    if (!s || !s->pvScan0 || s->sizlBitmap.cx <= 0 || s->sizlBitmap.cy <= 0 || bitsPerPixel(s->iBitmapFormat) == 0)
        return invalid();
    scan0_ = static_cast<const BYTE*>(s->pvScan0);
    delta_ = s->lDelta;
    cx_ = s->sizlBitmap.cx;
    cy_ = s->sizlBitmap.cy;
    oy_ = 0;
    format_ = s->iBitmapFormat;
    xlate_ = xlate;
    switch (format_) {
    case BMF_8BPP: {
        mode_ = Mode::identity;
        if (!xlate) break;
        for (ULONG i = 0; i < 256; ++i) {
            lut_[i] = clampGrey(XLATEOBJ_iXlate(xlate, i));
            if (lut_[i] != i) mode_ = Mode::table;
        }
        break;
    }
    case BMF_1BPP:
        mode_ = Mode::mono;
        lut_[0] = xlate ? clampGrey(XLATEOBJ_iXlate(xlate, 0)) : 0;
        lut_[1] = xlate ? clampGrey(XLATEOBJ_iXlate(xlate, 1)) : 255;
        break;
    default: {
        detail::Xlate* ours = detail::findXlate(xlate);
        bool formula = !xlate || (ours ? ours->trueColour || (ours->obj.flXlate & XO_TRIVIAL) != 0
                                       : (xlate->flXlate & XO_TRIVIAL) != 0);
        mode_ = formula ? Mode::formula : Mode::perPixel;
        break;
    }
    }
    return true;
}

const BYTE* Source::row(LONG x, LONG y, LONG n, BYTE* buf) const {
    const BYTE* r = rowStart(y);
    switch (mode_) {
    case Mode::identity: return r + x;
    case Mode::table:
        for (LONG i = 0; i < n; ++i) buf[i] = lut_[r[x + i]];
        return buf;
    case Mode::mono:
        for (LONG i = 0; i < n; ++i) {
            LONG px = x + i;
            buf[i] = lut_[(r[px >> 3] >> (7 - (px & 7))) & 1];
        }
        return buf;
    case Mode::formula: {
        // The same weights as a colour translation's grey (77, 151, 28 of 256), a fixed pixel step
        // in each loop so that the compiler can take several pixels at a time.
        const BYTE* p = r + ptrdiff_t(x) * (format_ == BMF_24BPP ? 3 : 4);
        if (format_ == BMF_24BPP)
            for (LONG i = 0; i < n; ++i)
                buf[i] = static_cast<BYTE>((77u * p[3 * i + 2] + 151u * p[3 * i + 1] + 28u * p[3 * i]) >> 8);
        else
            for (LONG i = 0; i < n; ++i)
                buf[i] = static_cast<BYTE>((77u * p[4 * i + 2] + 151u * p[4 * i + 1] + 28u * p[4 * i]) >> 8);
        return buf;
    }
    case Mode::perPixel:
        for (LONG i = 0; i < n; ++i) buf[i] = clampGrey(XLATEOBJ_iXlate(xlate_, raw(x + i, y)));
        return buf;
    }
    return buf;
}

ULONG Source::raw(LONG x, LONG y) const {
    const BYTE* r = rowStart(y);
    switch (format_) {
    case BMF_1BPP: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_8BPP: return r[x];
    case BMF_24BPP: return r[3 * x] | (ULONG(r[3 * x + 1]) << 8) | (ULONG(r[3 * x + 2]) << 16);
    case BMF_32BPP: return r[4 * x] | (ULONG(r[4 * x + 1]) << 8) | (ULONG(r[4 * x + 2]) << 16);
    default: return 0;
    }
}

BYTE Source::alpha(LONG x, LONG y) const { return format_ == BMF_32BPP ? rowStart(y)[4 * x + 3] : 255; }

void Source::snapshot(const RECTL& region) {
    LONG top = std::max(region.top, oy_), bottom = std::min(region.bottom, oy_ + cy_);
    if (top >= bottom) return;
    size_t rowBytes = static_cast<size_t>((int64_t(cx_) * bitsPerPixel(format_) + 7) / 8);
    std::vector<BYTE> copy(rowBytes * size_t(bottom - top));
    for (LONG y = top; y < bottom; ++y) std::memcpy(copy.data() + rowBytes * size_t(y - top), rowStart(y), rowBytes);
    copy_ = std::move(copy);
    scan0_ = copy_.data();
    delta_ = static_cast<ptrdiff_t>(rowBytes);
    oy_ = top;
    cy_ = bottom - top;
}

bool maskOf(const SURFOBJ* mask, Target& bits) {
    if (!mask || !mask->pvScan0 || mask->iBitmapFormat != BMF_1BPP || mask->sizlBitmap.cx <= 0 ||
        mask->sizlBitmap.cy <= 0)
        return invalid();
    bits.scan0 = static_cast<BYTE*>(mask->pvScan0);
    bits.delta = mask->lDelta;
    bits.cx = mask->sizlBitmap.cx;
    bits.cy = mask->sizlBitmap.cy;
    return true;
}

void maskRow(const Target& mask, LONG x, LONG y, LONG n, BYTE* out) {
    const BYTE* r = mask.row(y);
    for (LONG i = 0; i < n; ++i) {
        LONG px = x + i;
        out[i] = ((r[px >> 3] >> (7 - (px & 7))) & 1) ? 0xFF : 0x00;
    }
}

// ---- Painting through a clip ---------------------------------------------------------------------

Painter::Painter(const Target& target, std::vector<RECTL> clip, const BrushFill& brush, BYTE rop3)
    : target_(target), clip_(std::move(clip)), bounds_(boundsOf(clip_)), brush_(brush), rop_(rop3),
      op_(ropRow(rop3)) {
    pattern_.assign(size_t(target.cx), brush.solid ? brush.colour : 0);
    zero_.assign(size_t(target.cx), 0);
}

void Painter::span(LONG y, LONG x0, LONG x1) {
    if (y < bounds_.top || y >= bounds_.bottom || x0 >= x1) return;
    for (const RECTL& r : clip_) {
        if (y < r.top || y >= r.bottom) continue;
        LONG a = std::max(x0, r.left), b = std::min(x1, r.right);
        if (a < b) paint(y, a, b);
    }
}

void Painter::rect(const RECTL& r) {
    for (const RECTL& c : clip_) {
        RECTL piece = intersect(r, c);
        for (LONG y = piece.top; y < piece.bottom; ++y)
            if (piece.left < piece.right) paint(y, piece.left, piece.right);
    }
}

void Painter::paint(LONG y, LONG x0, LONG x1) {
    BYTE* d = target_.row(y) + x0;
    size_t n = static_cast<size_t>(x1 - x0);
    switch (rop_) {
    case 0x00: std::memset(d, 0, n); return;
    case 0xFF: std::memset(d, 0xFF, n); return;
    case 0xAA: return;
    case 0xF0:
        if (brush_.solid) {
            std::memset(d, brush_.colour, n);
            return;
        }
        brush_.row(x0, y, x1 - x0, d);
        return;
    default: break;
    }
    if (!brush_.solid && usesPattern(rop_)) brush_.row(x0, y, x1 - x0, pattern_.data());
    op_(d, pattern_.data(), zero_.data(), d, n);
}

// ---- Geometry --------------------------------------------------------------------------------------

namespace {

void flattenBezier(std::vector<PointD>& out, PointD p0, PointD p1, PointD p2, PointD p3, int depth) {
    double ax = std::fabs(p0.x - 2 * p1.x + p2.x), ay = std::fabs(p0.y - 2 * p1.y + p2.y);
    double bx = std::fabs(p1.x - 2 * p2.x + p3.x), by = std::fabs(p1.y - 2 * p2.y + p3.y);
    if (depth >= 16 || std::max(std::max(ax, ay), std::max(bx, by)) <= 2.0) {
        out.push_back(p3);
        return;
    }
    auto mid = [](PointD a, PointD b) { return PointD{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    PointD a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3);
    PointD d = mid(a, b), e = mid(b, c), m = mid(d, e);
    flattenBezier(out, p0, a, d, m, depth + 1);
    flattenBezier(out, m, e, c, p3, depth + 1);
}

}  // namespace

std::vector<Figure> flatten(const detail::Path& path) {
    std::vector<Figure> figures;
    for (const detail::Subpath& sub : path.subpaths) {
        Figure figure;
        figure.closed = sub.closed;
        for (const detail::PathRun& run : sub.runs) {
            size_t i = 0;
            if (figure.points.empty() && !run.points.empty()) {
                figure.points.push_back(PointD{double(run.points[0].x), double(run.points[0].y)});
                i = 1;
            }
            if (!run.bezier) {
                for (; i < run.points.size(); ++i)
                    figure.points.push_back(PointD{double(run.points[i].x), double(run.points[i].y)});
                continue;
            }
            for (; i + 3 <= run.points.size(); i += 3) {
                PointD start = figure.points.back();
                auto at = [&](size_t k) { return PointD{double(run.points[k].x), double(run.points[k].y)}; };
                flattenBezier(figure.points, start, at(i), at(i + 1), at(i + 2), 0);
            }
        }
        if (!figure.points.empty()) figures.push_back(std::move(figure));
    }
    return figures;
}

void fillPolygons(const std::vector<std::vector<PointD>>& polygons, bool winding, const RECTL& bounds,
                  const std::function<void(LONG y, LONG x0, LONG x1)>& span) {
    struct Edge {
        double x0, y0, x1, y1;
        int dir;
    };
    std::vector<Edge> edges;
    double top = 0, bottom = 0;
    for (const auto& poly : polygons) {
        size_t n = poly.size();
        if (n < 2) continue;
        for (size_t i = 0; i < n; ++i) {
            PointD a = poly[i], b = poly[(i + 1) % n];
            if (a.y == b.y) continue;
            Edge e = a.y < b.y ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1};
            if (edges.empty()) top = e.y0, bottom = e.y1;
            top = std::min(top, e.y0);
            bottom = std::max(bottom, e.y1);
            edges.push_back(e);
        }
    }
    if (edges.empty() || isEmpty(bounds)) return;
    double firstRow = std::max<double>(bounds.top, std::ceil(top / 16));
    double lastRow = std::min<double>(bounds.bottom - 1, std::ceil(bottom / 16) - 1);
    if (firstRow > lastRow) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> crossings;
    size_t next = 0;
    auto emit = [&](LONG y, double xa, double xb) {
        double a = std::max<double>(std::ceil(xa / 16), bounds.left);
        double b = std::min<double>(std::ceil(xb / 16), bounds.right);
        if (a < b) span(y, static_cast<LONG>(a), static_cast<LONG>(b));
    };
    for (LONG y = static_cast<LONG>(firstRow); y <= static_cast<LONG>(lastRow); ++y) {
        double yc = 16.0 * y;
        while (next < edges.size() && edges[next].y0 <= yc) active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [&](const Edge* e) { return e->y1 <= yc; }),
                     active.end());
        if (active.empty()) {
            if (next == edges.size()) break;
            continue;
        }
        crossings.clear();
        for (const Edge* e : active) crossings.emplace_back(e->x0 + (yc - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0), e->dir);
        std::sort(crossings.begin(), crossings.end());
        if (!winding) {
            for (size_t k = 0; k + 1 < crossings.size(); k += 2) emit(y, crossings[k].first, crossings[k + 1].first);
        } else {
            int w = 0;
            double start = 0;
            for (const auto& [x, dir] : crossings) {
                int before = w;
                w += dir;
                if (before == 0 && w != 0) start = x;
                if (before != 0 && w == 0) emit(y, start, x);
            }
        }
    }
}

namespace {

__int128 ceilDiv128(__int128 a, __int128 b) {
    __int128 q = a / b;
    if (a % b != 0 && ((a < 0) == (b < 0))) ++q;
    return q;
}

}  // namespace

int64_t linePixels(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const RECTL& bounds,
                   const std::function<void(LONG y, LONG x0, LONG x1)>& span,
                   const std::function<bool(int64_t t)>& on) {
    int64_t dx = x2 - x1, dy = y2 - y1;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int64_t len = std::max(adx, ady);
    if (len == 0 || isEmpty(bounds)) return len;
    bool xMajor = adx >= ady;
    int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
    int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
    int64_t sm = dm > 0 ? 1 : -1;
    int64_t mb0 = xMajor ? bounds.left : bounds.top, mb1 = xMajor ? bounds.right : bounds.bottom;
    int64_t nb0 = xMajor ? bounds.top : bounds.left, nb1 = xMajor ? bounds.bottom : bounds.right;
    int64_t t0, t1;
    if (sm > 0) {
        t0 = std::max<int64_t>(0, mb0 - m1);
        t1 = std::min<int64_t>(len, mb1 - m1);
    } else {
        t0 = std::max<int64_t>(0, m1 - mb1 + 1);
        t1 = std::min<int64_t>(len, m1 - mb0 + 1);
    }
    if (dn != 0) {
        double ta = double(nb0 - 1 - n1) * double(len) / double(dn);
        double tb = double(nb1 + 1 - n1) * double(len) / double(dn);
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max<int64_t>(t0, static_cast<int64_t>(std::floor(std::max(ta, -1.0))) - 1);
        t1 = std::min<int64_t>(t1, static_cast<int64_t>(std::ceil(std::min(tb, double(len) + 1))) + 2);
        t0 = std::max<int64_t>(t0, 0);
    } else if (n1 < nb0 || n1 >= nb1) {
        return len;
    }
    if (t0 >= t1) return len;
    // Minor coordinate n1 + ceil((2 t dn - len) / (2 len)): the nearest pixel, ties to the smaller one.
    const int64_t den = 2 * len;
    __int128 num = __int128(2) * t0 * dn - len;
    int64_t q = static_cast<int64_t>(ceilDiv128(num, den));
    int64_t r = static_cast<int64_t>(__int128(q) * den - num);
    bool inRun = false;
    LONG runY = 0, runX0 = 0, runX1 = 0;
    auto flush = [&] {
        if (inRun) span(runY, runX0, runX1);
        inRun = false;
    };
    for (int64_t t = t0; t < t1; ++t) {
        int64_t m = m1 + sm * t, n = n1 + q;
        r -= 2 * dn;
        if (r < 0) {
            r += den;
            ++q;
        } else if (r >= den) {
            r -= den;
            --q;
        }
        if (n < nb0 || n >= nb1 || (on && !on(t))) {
            flush();
            continue;
        }
        LONG x = static_cast<LONG>(xMajor ? m : n), y = static_cast<LONG>(xMajor ? n : m);
        if (inRun && y == runY && x == runX1) {
            ++runX1;
        } else if (inRun && y == runY && x == runX0 - 1) {
            --runX0;
        } else {
            flush();
            inRun = true;
            runY = y;
            runX0 = x;
            runX1 = x + 1;
        }
    }
    flush();
    return len;
}

}  // namespace platform::engine::raster
