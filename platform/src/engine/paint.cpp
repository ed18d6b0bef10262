// Painting onto 8-bit grey engine bitmaps: regions, filled and stroked paths, lines and gradients.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "raster.h"

using namespace platform::engine::raster;
using platform::engine::detail::clipRects;
using platform::engine::detail::findPath;
using platform::engine::detail::invalid;
using platform::engine::detail::Path;

namespace {

// A painter for a drawing call's brush and mix over the clip, or nothing for bad arguments.
std::optional<Painter> painterFor(const Target& t, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, MIX mix) {
    int rop = rop3OfMix(mix);
    BrushFill fill;
    if (rop < 0 || !brushOf(brush, origin, fill)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    return Painter(t, clipRects(clip, t.rect()), fill, static_cast<BYTE>(rop));
}

std::vector<std::vector<PointD>> polygonsOf(const std::vector<Figure>& figures) {
    std::vector<std::vector<PointD>> polygons;
    for (const Figure& f : figures) polygons.push_back(f.points);
    return polygons;
}

BOOL fill(const Target& t, Path* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, MIX mix, FLONG options) {
    if (!path || (options != FP_ALTERNATEMODE && options != FP_WINDINGMODE)) return invalid();
    auto painter = painterFor(t, clip, brush, origin, mix);
    if (!painter) return FALSE;
    fillPolygons(polygonsOf(flatten(*path)), options == FP_WINDINGMODE, painter->bounds(),
                 [&](LONG y, LONG x0, LONG x1) { painter->span(y, x0, x1); });
    return TRUE;
}

// ---- Cosmetic lines ----------------------------------------------------------------------------------

// The on and off runs of a style, in pixels; empty for a solid line.
struct Style {
    std::vector<int64_t> runs;
    int64_t period = 0;
    bool startGap = false;
    bool on(int64_t position) const {
        if (runs.empty()) return true;
        int64_t p = position % period;
        size_t i = 0;
        while (p >= runs[i]) p -= runs[i++];
        return (i % 2 == 0) != startGap;
    }
};

Style styleOf(const LINEATTRS& line, double unit) {
    Style style;
    style.startGap = (line.fl & LA_STARTGAP) != 0;
    if (line.fl & LA_ALTERNATE) {
        style.runs = {1, 1};
    } else if ((line.fl & LA_STYLED) && line.cstyle && line.pstyle) {
        for (ULONG i = 0; i < line.cstyle && i < 64; ++i) {
            double v = (line.fl & LA_GEOMETRIC) ? double(line.pstyle[i].e) * unit : double(line.pstyle[i].l);
            style.runs.push_back(std::max<int64_t>(1, std::llround(v)));
        }
        if (style.runs.size() % 2) {  // an odd count repeats once more, swapping on and off
            size_t n = style.runs.size();
            for (size_t i = 0; i < n; ++i) style.runs.push_back(style.runs[i]);
        }
    }
    style.period = std::accumulate(style.runs.begin(), style.runs.end(), int64_t(0));
    return style;
}

int64_t pixelOf(double fix) { return static_cast<int64_t>(std::floor((fix + 8) / 16)); }

void strokeCosmetic(const std::vector<Figure>& figures, const Style& style, Painter& painter) {
    auto span = [&](LONG y, LONG x0, LONG x1) { painter.span(y, x0, x1); };
    for (const Figure& f : figures) {
        int64_t position = 0;  // style position, restarted with each figure
        size_t n = f.points.size();
        size_t segments = f.closed ? n : n - 1;
        for (size_t i = 0; i < segments; ++i) {
            const PointD& a = f.points[i];
            const PointD& b = f.points[(i + 1) % n];
            std::function<bool(int64_t)> on;
            if (!style.runs.empty()) on = [&](int64_t t) { return style.on(position + t); };
            position += linePixels(pixelOf(a.x), pixelOf(a.y), pixelOf(b.x), pixelOf(b.y), painter.bounds(), span, on);
        }
    }
}

// ---- Geometric lines ---------------------------------------------------------------------------------

double signedArea(const std::vector<PointD>& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const PointD& u = p[i];
        const PointD& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return a / 2;
}

class Widener {
public:
    Widener(const LINEATTRS& line, double halfWidth) : line_(line), hw_(halfWidth) {}

    void piece(std::vector<PointD> pts, bool closed) {
        pts.erase(std::unique(pts.begin(), pts.end(),
                              [](const PointD& a, const PointD& b) { return a.x == b.x && a.y == b.y; }),
                  pts.end());
        if (closed && pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) pts.pop_back();
        if (pts.empty()) return;
        if (pts.size() == 1) {
            if (line_.iEndCap == ENDCAP_ROUND) circle(pts[0]);
            if (line_.iEndCap == ENDCAP_SQUARE)
                add({{pts[0].x - hw_, pts[0].y - hw_}, {pts[0].x + hw_, pts[0].y - hw_},
                     {pts[0].x + hw_, pts[0].y + hw_}, {pts[0].x - hw_, pts[0].y + hw_}});
            return;
        }
        if (pts.size() < 3) closed = false;
        size_t n = pts.size(), segments = closed ? n : n - 1;
        for (size_t i = 0; i < segments; ++i) {
            PointD a = pts[i], b = pts[(i + 1) % n];
            PointD d = unit(a, b);
            if (!closed && line_.iEndCap == ENDCAP_SQUARE) {
                if (i == 0) a = PointD{a.x - d.x * hw_, a.y - d.y * hw_};
                if (i + 1 == segments) b = PointD{b.x + d.x * hw_, b.y + d.y * hw_};
            }
            PointD nn{-d.y * hw_, d.x * hw_};
            add({{a.x + nn.x, a.y + nn.y}, {b.x + nn.x, b.y + nn.y}, {b.x - nn.x, b.y - nn.y}, {a.x - nn.x, a.y - nn.y}});
        }
        for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i)
            join(pts[(i + n - 1) % n], pts[i], pts[(i + 1) % n]);
        if (!closed && line_.iEndCap == ENDCAP_ROUND) {
            circle(pts.front());
            circle(pts.back());
        }
    }

    const std::vector<std::vector<PointD>>& polygons() const { return polygons_; }

private:
    static PointD unit(PointD a, PointD b) {
        double dx = b.x - a.x, dy = b.y - a.y, l = std::hypot(dx, dy);
        return PointD{dx / l, dy / l};
    }
    void add(std::vector<PointD> poly) {
        if (signedArea(poly) < 0) std::reverse(poly.begin(), poly.end());
        polygons_.push_back(std::move(poly));
    }
    void circle(PointD c) {
        std::vector<PointD> poly;
        for (int i = 0; i < 32; ++i) {
            double a = i * (2 * M_PI / 32);
            poly.push_back(PointD{c.x + hw_ * std::cos(a), c.y + hw_ * std::sin(a)});
        }
        add(std::move(poly));
    }
    void join(PointD a, PointD v, PointD b) {
        if (line_.iJoin == JOIN_ROUND) {
            circle(v);
            return;
        }
        PointD d1 = unit(a, v), d2 = unit(v, b);
        double cross = d1.x * d2.y - d1.y * d2.x;
        if (cross == 0) return;
        double s = cross > 0 ? -1 : 1;  // the outer side of the turn
        PointD u1{-d1.y * s, d1.x * s}, u2{-d2.y * s, d2.x * s};
        PointD o1{v.x + u1.x * hw_, v.y + u1.y * hw_}, o2{v.x + u2.x * hw_, v.y + u2.y * hw_};
        add({v, o1, o2});
        if (line_.iJoin != JOIN_MITER) return;
        double dot = u1.x * u2.x + u1.y * u2.y;
        if (1 + dot <= 1e-9) return;
        double k = hw_ / (1 + dot);
        PointD tip{v.x + (u1.x + u2.x) * k, v.y + (u1.y + u2.y) * k};
        double limit = line_.eMiterLimit > 1 ? line_.eMiterLimit : 10.0f;
        if (std::hypot(tip.x - v.x, tip.y - v.y) <= limit * hw_) add({o1, tip, o2});
    }

    const LINEATTRS& line_;
    double hw_;
    std::vector<std::vector<PointD>> polygons_;
};

// Cuts a figure into the dashes of a style (lengths in 28.4 units).
std::vector<std::vector<PointD>> dashes(const Figure& f, const Style& style) {
    std::vector<std::vector<PointD>> out;
    std::vector<PointD> pts = f.points;
    if (f.closed && !pts.empty()) pts.push_back(pts.front());
    size_t run = 0;
    double left = double(style.runs[0]) * 16;
    bool on = !style.startGap;
    std::vector<PointD> current;
    if (on && !pts.empty()) current.push_back(pts[0]);
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
        PointD a = pts[i], b = pts[i + 1];
        double length = std::hypot(b.x - a.x, b.y - a.y), done = 0;
        while (length - done > left) {
            done += left;
            PointD cut{a.x + (b.x - a.x) * done / length, a.y + (b.y - a.y) * done / length};
            if (on) {
                current.push_back(cut);
                out.push_back(std::move(current));
                current.clear();
            } else {
                current = {cut};
            }
            on = !on;
            run = (run + 1) % style.runs.size();
            left = double(style.runs[run]) * 16;
        }
        left -= length - done;
        if (on) current.push_back(b);
    }
    if (on && current.size() > 1) out.push_back(std::move(current));
    return out;
}

void strokeGeometric(const std::vector<Figure>& figures, const LINEATTRS& line, Painter& painter) {
    double width = line.elWidth.e > 0 ? double(line.elWidth.e) : 1.0;
    Widener widener(line, width * 8);  // half the width, in 28.4 units
    Style style = styleOf(line, 1.0);
    for (const Figure& f : figures) {
        if (style.runs.empty()) {
            widener.piece(f.points, f.closed);
            continue;
        }
        for (auto& dash : dashes(f, style)) widener.piece(std::move(dash), false);
    }
    fillPolygons(widener.polygons(), true, painter.bounds(), [&](LONG y, LONG x0, LONG x1) { painter.span(y, x0, x1); });
}

BOOL stroke(const Target& t, Path* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, LINEATTRS* line, MIX mix) {
    if (!path || !line) return invalid();
    auto painter = painterFor(t, clip, brush, origin, mix);
    if (!painter) return FALSE;
    std::vector<Figure> figures = flatten(*path);
    if (line->fl & LA_GEOMETRIC)
        strokeGeometric(figures, *line, *painter);
    else
        strokeCosmetic(figures, styleOf(*line, 1.0), *painter);
    return TRUE;
}

}  // namespace

// Paints the clip region with the brush under the mix's foreground ROP2 (a null clip: the whole surface).
BOOL APIENTRY EngPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    auto painter = painterFor(t, clip, brush, brushOrigin, mix);
    if (!painter) return FALSE;
    painter->rect(t.rect());
    return TRUE;
}

// Fills a path (Béziers flattened) by the alternate or winding rule: pixels whose centres lie inside,
// a centre on a left or top edge counting as inside.
BOOL APIENTRY EngFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                          MIX mix, FLONG options) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    return fill(t, findPath(path), clip, brush, brushOrigin, mix, options);
}

// Strokes a path: cosmetic lines one pixel wide (each segment without its last pixel, a closed figure
// with every edge; styles in pixels), geometric lines as filled polygons of their width with their
// joins and end caps (styles as dashes). Leaves out the world transform: widths are in pixels.
BOOL APIENTRY EngStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* brush,
                            POINTL* brushOrigin, LINEATTRS* line, MIX mix) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    return stroke(t, findPath(path), clip, brush, brushOrigin, line, mix);
}

// Fills the path with the fill brush, then strokes it with the stroke brush, both under the mix.
BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* strokeBrush,
                                   LINEATTRS* line, BRUSHOBJ* fillBrush, POINTL* brushOrigin, MIX mixFill,
                                   FLONG options) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    Path* p = findPath(path);
    if (!p || !line || !strokeBrush || !fillBrush) return invalid();
    if (!fill(t, p, clip, fillBrush, brushOrigin, mixFill, options)) return FALSE;
    return stroke(t, p, clip, strokeBrush, brushOrigin, line, mixFill);
}

// A cosmetic one-pixel line from (x1, y1) to (x2, y2), its last pixel left out: the pixel nearest the
// true line in each step of the major axis, ties to the smaller coordinate (so the same pixels either
// way). The bounds are only a hint and not needed.
BOOL APIENTRY EngLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2, RECTL*,
                        MIX mix) {
    Target t;
    if (!targetOf(surface, t)) return FALSE;
    auto painter = painterFor(t, clip, brush, nullptr, mix);
    if (!painter) return FALSE;
    linePixels(x1, y1, x2, y2, painter->bounds(), [&](LONG y, LONG a, LONG b) { painter->span(y, a, b); });
    return TRUE;
}

namespace {

// A vertex's grey in 8.16 fixed point.
int64_t grey16(const TRIVERTEX& v) { return 77 * int64_t(v.Red) + 151 * int64_t(v.Green) + 28 * int64_t(v.Blue); }
BYTE greyByte(int64_t g) { return static_cast<BYTE>(std::clamp<int64_t>(g >> 16, 0, 255)); }

}  // namespace

// Shades rectangles (left to right or top to bottom) or triangles (by barycentric weights at pixel
// centres) from their vertices' colours, as grey. Leaves out dithering and the translation (vertex
// colours are RGB and the target is grey).
BOOL APIENTRY EngGradientFill(SURFOBJ* target, CLIPOBJ* clip, XLATEOBJ*, TRIVERTEX* vertices, ULONG vertexCount,
                              PVOID mesh, ULONG meshCount, RECTL*, POINTL*, ULONG mode) {
    Target t;
    if (!targetOf(target, t)) return FALSE;
    if (!vertices || (meshCount && !mesh) || mode > GRADIENT_FILL_TRIANGLE) return invalid();
    std::vector<RECTL> rects = clipRects(clip, t.rect());
    RECTL bounds = boundsOf(rects);
    if (mode == GRADIENT_FILL_TRIANGLE) {
        auto* tris = static_cast<GRADIENT_TRIANGLE*>(mesh);
        for (ULONG i = 0; i < meshCount; ++i)
            if (tris[i].Vertex1 >= vertexCount || tris[i].Vertex2 >= vertexCount || tris[i].Vertex3 >= vertexCount)
                return invalid();
        for (ULONG i = 0; i < meshCount; ++i) {
            const TRIVERTEX& a = vertices[tris[i].Vertex1];
            const TRIVERTEX& b = vertices[tris[i].Vertex2];
            const TRIVERTEX& c = vertices[tris[i].Vertex3];
            double det = double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y);
            if (det == 0) continue;
            double ga = double(grey16(a)), gb = double(grey16(b)), gc = double(grey16(c));
            std::vector<std::vector<PointD>> tri{{{a.x * 16.0, a.y * 16.0}, {b.x * 16.0, b.y * 16.0}, {c.x * 16.0, c.y * 16.0}}};
            fillPolygons(tri, false, bounds, [&](LONG y, LONG x0, LONG x1) {
                forClipped(rects, y, x0, x1, [&](LONG p, LONG q) {
                    BYTE* d = t.row(y);
                    for (LONG x = p; x < q; ++x) {
                        double wb = (double(x - a.x) * (c.y - a.y) - double(c.x - a.x) * (y - a.y)) / det;
                        double wc = (double(b.x - a.x) * (y - a.y) - double(x - a.x) * (b.y - a.y)) / det;
                        double g = ga + (gb - ga) * wb + (gc - ga) * wc;
                        d[x] = greyByte(static_cast<int64_t>(std::llround(g)));
                    }
                });
            });
        }
        return TRUE;
    }
    auto* grads = static_cast<GRADIENT_RECT*>(mesh);
    for (ULONG i = 0; i < meshCount; ++i)
        if (grads[i].UpperLeft >= vertexCount || grads[i].LowerRight >= vertexCount) return invalid();
    bool horizontal = mode == GRADIENT_FILL_RECT_H;
    for (ULONG i = 0; i < meshCount; ++i) {
        const TRIVERTEX* p = &vertices[grads[i].UpperLeft];
        const TRIVERTEX* q = &vertices[grads[i].LowerRight];
        RECTL r = ordered(RECTL{p->x, p->y, q->x, q->y});
        if ((horizontal ? p->x > q->x : p->y > q->y)) std::swap(p, q);  // p at the left (top) edge
        int64_t g0 = grey16(*p), g1 = grey16(*q);
        int64_t from = horizontal ? r.left : r.top, span = horizontal ? r.right - r.left : r.bottom - r.top;
        if (span <= 0) continue;
        RECTL area = intersect(r, bounds);
        for (LONG y = area.top; y < area.bottom; ++y)
            forClipped(rects, y, area.left, area.right, [&](LONG a, LONG b) {
                BYTE* d = t.row(y);
                for (LONG x = a; x < b; ++x) {
                    int64_t k = (horizontal ? x : y) - from;
                    d[x] = greyByte((g0 * (span - k) + g1 * k) / span);
                }
            });
    }
    return TRUE;
}
