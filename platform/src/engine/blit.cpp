// Block transfers onto 8-bit grey engine bitmaps: raster operations, copies, stretching, colour-keyed
// and blended transfers, parallelograms.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "raster.h"

using namespace platform::engine::raster;
using platform::engine::detail::clipRects;
using platform::engine::detail::invalid;

namespace {

constexpr ROP4 kSrcCopy = 0xCCCC;
// An area-averaging stretch of at least this many target pixels (a quarter of an A4 page at 600
// dpi) is shared between up to kStretchThreads threads.
constexpr int64_t kBandedStretchPixels = 8'000'000;
constexpr unsigned kStretchThreads = 8;

// For each target row of the clipped, normalised target rectangle: the source row and the source
// column of every target pixel (nearest pixel centres; mirrored where the rectangles are inverted).
// Pixels whose source falls outside the source surface are left alone.
struct Mapping {
    RECTL target{}, source{};  // normalised
    bool flipX = false, flipY = false;
    bool valid = false;
};

Mapping mapRects(const RECTL& targetRect, const RECTL& sourceRect) {
    Mapping m;
    m.target = ordered(targetRect);
    m.source = ordered(sourceRect);
    m.flipX = (targetRect.left > targetRect.right) != (sourceRect.left > sourceRect.right);
    m.flipY = (targetRect.top > targetRect.bottom) != (sourceRect.top > sourceRect.bottom);
    m.valid = !isEmpty(m.target) && !isEmpty(m.source);
    return m;
}

// The source coordinate of target index u (0 .. tn-1) along an axis.
inline int64_t nearest(int64_t u, int64_t tn, int64_t s0, int64_t sn, bool flip) {
    if (flip) u = tn - 1 - u;
    return s0 + ((2 * u + 1) * sn) / (2 * tn);
}

template <class PerRow>
void forEachMappedRow(const Mapping& m, const std::vector<RECTL>& rects, const RECTL& sourceBounds, PerRow perRow) {
    int64_t tw = m.target.right - m.target.left, th = m.target.bottom - m.target.top;
    int64_t sw = m.source.right - m.source.left, sh = m.source.bottom - m.source.top;
    std::vector<LONG> columns;
    for (const RECTL& r : rects) {
        columns.assign(size_t(r.right - r.left), -1);
        for (LONG x = r.left; x < r.right; ++x) {
            int64_t sx = nearest(x - m.target.left, tw, m.source.left, sw, m.flipX);
            if (sx >= sourceBounds.left && sx < sourceBounds.right) columns[size_t(x - r.left)] = static_cast<LONG>(sx);
        }
        for (LONG y = r.top; y < r.bottom; ++y) {
            int64_t sy = nearest(y - m.target.top, th, m.source.top, sh, m.flipY);
            if (sy < sourceBounds.top || sy >= sourceBounds.bottom) continue;
            perRow(y, r.left, r.right, columns.data(), static_cast<LONG>(sy));
        }
    }
}

// forEachMappedRow with the source's grey row for each mapped row (`grey[sx - sourceBounds.left]`),
// read once for a run of target rows that map onto the same source row.
template <class PerRow>
void forEachMappedSourceRow(const Mapping& m, const std::vector<RECTL>& rects, const Source& src, const RECTL& sourceBounds,
                            PerRow perRow) {
    std::vector<BYTE> row(size_t(sourceBounds.right - sourceBounds.left));
    LONG cachedY = -1;
    const BYTE* grey = nullptr;
    forEachMappedRow(m, rects, sourceBounds, [&](LONG y, LONG x0, LONG x1, const LONG* columns, LONG sy) {
        if (sy != cachedY) {
            grey = src.row(sourceBounds.left, sy, sourceBounds.right - sourceBounds.left, row.data());
            cachedY = sy;
        }
        perRow(y, x0, x1, columns, sy, grey);
    });
}

// The source region the mapped rectangles read from, for copying a source that shares the target.
RECTL sourceRegion(const Mapping& m) { return m.source; }

}  // namespace

// Bit-block transfer onto an 8-bit surface: any ROP4 bit by bit over pattern (solid or the
// engine's pattern brush at the brush origin), source (1, 8, 24, 32 bits through the translation)
// and target, chosen per pixel by a one-bit mask; clipped to the clip and the surface. Overlapping
// source and target are read before they are written.
BOOL APIENTRY EngBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                        POINTL* brushOrigin, ROP4 rop4) {
    Target t;
    if (!targetOf(target, t) || !targetRect) return invalid();
    BYTE fg = static_cast<BYTE>(rop4 & 0xFF), bg = static_cast<BYTE>((rop4 >> 8) & 0xFF);
    bool useMask = mask && fg != bg;
    bool needS = usesSource(fg) || (useMask && usesSource(bg));
    bool needP = usesPattern(fg) || (useMask && usesPattern(bg));
    Source src;
    if (needS && (!source || !sourcePoint || !src.open(source, xlate))) return invalid();
    BrushFill fill;
    if (needP && !brushOf(brush, brushOrigin, fill)) return invalid();
    Target m;
    if (useMask && !maskOf(mask, m)) return invalid();
    POINTL mp = maskPoint ? *maskPoint : POINTL{0, 0};

    RECTL rect = ordered(*targetRect);
    RECTL bounds = intersect(rect, t.rect());
    if (needS) {  // only where the source has pixels
        RECTL s = src.rect();
        bounds = intersect(bounds, RECTL{rect.left + (s.left - sourcePoint->x), rect.top + (s.top - sourcePoint->y),
                                         rect.left + (s.right - sourcePoint->x), rect.top + (s.bottom - sourcePoint->y)});
    }
    if (useMask)
        bounds = intersect(bounds, RECTL{rect.left - mp.x, rect.top - mp.y, rect.left + (m.cx - mp.x),
                                         rect.top + (m.cy - mp.y)});
    if (isEmpty(bounds)) return TRUE;
    std::vector<RECTL> rects = clipRects(clip, bounds);
    if (rects.empty()) return TRUE;
    LONG sdx = needS ? sourcePoint->x - rect.left : 0, sdy = needS ? sourcePoint->y - rect.top : 0;
    if (needS && sharesMemory(source, target)) {
        RECTL all = boundsOf(rects);
        src.snapshot(RECTL{all.left + sdx, all.top + sdy, all.right + sdx, all.bottom + sdy});
    }

    size_t width = size_t(t.cx);
    std::vector<BYTE> pRow(width, fill.solid ? fill.colour : 0), sRow(width, 0), zero(width, 0);
    std::vector<BYTE> fgRow, bgRow, mRow;
    if (useMask) fgRow.resize(width), bgRow.resize(width), mRow.resize(width);
    RopRow fgOp = ropRow(fg), bgOp = ropRow(bg);
    for (const RECTL& r : rects) {
        LONG n = r.right - r.left;
        for (LONG y = r.top; y < r.bottom; ++y) {
            BYTE* d = t.row(y) + r.left;
            const BYTE* s = needS ? src.row(r.left + sdx, y + sdy, n, sRow.data()) : zero.data();
            if (!useMask) {
                if (fg == 0xCC) {
                    std::memmove(d, s, size_t(n));
                    continue;
                }
                if (fg == 0xF0 && fill.solid) {
                    std::memset(d, fill.colour, size_t(n));
                    continue;
                }
                if (fg == 0x00 || fg == 0xFF) {
                    std::memset(d, fg, size_t(n));
                    continue;
                }
            }
            const BYTE* p = pRow.data();
            if (needP && !fill.solid) fill.row(r.left, y, n, pRow.data());
            if (!useMask) {
                fgOp(d, p, s, d, size_t(n));
                continue;
            }
            fgOp(fgRow.data(), p, s, d, size_t(n));
            bgOp(bgRow.data(), p, s, d, size_t(n));
            maskRow(m, r.left + (mp.x - rect.left), y + (mp.y - rect.top), n, mRow.data());
            for (LONG i = 0; i < n; ++i) d[i] = static_cast<BYTE>((fgRow[i] & mRow[i]) | (bgRow[i] & ~mRow[i]));
        }
    }
    return TRUE;
}

namespace {

// Writes grey levels into a 1, 24 or 32-bit target (1 bit: white from 128 up).
BOOL copyIntoOtherFormat(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                         POINTL* sourcePoint) {
    ULONG format = target->iBitmapFormat;
    if (!target->pvScan0 || target->sizlBitmap.cx <= 0 || target->sizlBitmap.cy <= 0 ||
        (format != BMF_1BPP && format != BMF_24BPP && format != BMF_32BPP))
        return invalid();
    Source src;
    if (!src.open(source, xlate)) return invalid();
    RECTL rect = ordered(*targetRect);
    RECTL s = src.rect();
    RECTL bounds = intersect(rect, RECTL{0, 0, target->sizlBitmap.cx, target->sizlBitmap.cy});
    bounds = intersect(bounds, RECTL{rect.left + (s.left - sourcePoint->x), rect.top + (s.top - sourcePoint->y),
                                     rect.left + (s.right - sourcePoint->x), rect.top + (s.bottom - sourcePoint->y)});
    if (isEmpty(bounds)) return TRUE;
    std::vector<RECTL> rects = clipRects(clip, bounds);
    LONG sdx = sourcePoint->x - rect.left, sdy = sourcePoint->y - rect.top;
    if (sharesMemory(source, target)) {
        RECTL all = boundsOf(rects);
        src.snapshot(RECTL{all.left + sdx, all.top + sdy, all.right + sdx, all.bottom + sdy});
    }
    std::vector<BYTE> buf(size_t(target->sizlBitmap.cx));
    for (const RECTL& r : rects)
        for (LONG y = r.top; y < r.bottom; ++y) {
            LONG n = r.right - r.left;
            const BYTE* g = src.row(r.left + sdx, y + sdy, n, buf.data());
            BYTE* d = static_cast<BYTE*>(target->pvScan0) + ptrdiff_t(y) * target->lDelta;
            for (LONG i = 0; i < n; ++i) {
                LONG x = r.left + i;
                if (format == BMF_1BPP) {
                    BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
                    d[x >> 3] = g[i] >= 128 ? (d[x >> 3] | bit) : (d[x >> 3] & ~bit);
                } else {
                    int step = format == BMF_24BPP ? 3 : 4;
                    std::memset(d + ptrdiff_t(x) * step, g[i], 3);
                    if (step == 4) d[ptrdiff_t(x) * 4 + 3] = 0;
                }
            }
        }
    return TRUE;
}

}  // namespace

// A straight copy (SRCCOPY) through the translation; also copies an 8-bit page out into a 1, 24 or
// 32-bit bitmap as grey.
BOOL APIENTRY EngCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                          POINTL* sourcePoint) {
    if (!target || !source || !targetRect || !sourcePoint) return invalid();
    if (target->iBitmapFormat != BMF_8BPP)
        return copyIntoOtherFormat(target, source, clip, xlate, targetRect, sourcePoint);
    return EngBitBlt(target, source, nullptr, clip, xlate, targetRect, sourcePoint, nullptr, nullptr, nullptr,
                     kSrcCopy);
}

namespace {

// ---- The area average's row loops -----------------------------------------------------------------
// Plain IEEE single-precision arithmetic in the order of the scalar loops, four lanes at a time where
// the processor has SSE2, so that every result is the same to the last bit either way.

// A row of greys as floats.
void greysToFloats(const BYTE* grey, LONG n, float* out) {
    LONG i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + i));
        const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
        _mm_storeu_ps(out + i, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
        _mm_storeu_ps(out + i + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
        _mm_storeu_ps(out + i + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
        _mm_storeu_ps(out + i + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
    }
#endif
    for (; i < n; ++i) out[i] = grey[i];
}

// Each column's weighted sum of its K source pixels (at[i * K + k], weights w[i * K + k]), added
// from 0 in the pixels' order.
template <size_t K>
void weightedSums(const float* grey, const LONG* at, const float* w, LONG n, float* out) {
    for (LONG i = 0; i < n; ++i) {
        float sum = 0.f;
        for (size_t k = 0; k < K; ++k) sum += w[size_t(i) * K + k] * grey[at[size_t(i) * K + k]];
        out[i] = sum;
    }
}

void weightedSums(size_t K, const float* grey, const LONG* at, const float* w, LONG n, float* out) {
    switch (K) {
    case 1: return weightedSums<1>(grey, at, w, n, out);
    case 2: return weightedSums<2>(grey, at, w, n, out);
    case 3: return weightedSums<3>(grey, at, w, n, out);
    case 4: return weightedSums<4>(grey, at, w, n, out);
    default:
        for (LONG i = 0; i < n; ++i) {
            float sum = 0.f;
            for (size_t k = 0; k < K; ++k) sum += w[size_t(i) * K + k] * grey[at[size_t(i) * K + k]];
            out[i] = sum;
        }
    }
}

// acc[i] += wy * sums[i]; total[i] += wy * wsums[i].
void addRow(float wy, const float* sums, const float* wsums, LONG n, float* acc, float* total) {
    LONG i = 0;
#if defined(__SSE2__)
    const __m128 w = _mm_set1_ps(wy);
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(acc + i, _mm_add_ps(_mm_loadu_ps(acc + i), _mm_mul_ps(w, _mm_loadu_ps(sums + i))));
        _mm_storeu_ps(total + i, _mm_add_ps(_mm_loadu_ps(total + i), _mm_mul_ps(w, _mm_loadu_ps(wsums + i))));
    }
#endif
    for (; i < n; ++i) {
        acc[i] += wy * sums[i];
        total[i] += wy * wsums[i];
    }
}

// d[i] = acc[i] / total[i] rounded, where total[i] > 0; other pixels are left as they are. An
// average of greys is never negative, so adding a half and cutting rounds it.
void averagesToGreys(const float* acc, const float* total, LONG n, BYTE* d) {
    LONG i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.f), half = _mm_set1_ps(0.5f);
    for (; i + 4 <= n; i += 4) {
        const __m128 t = _mm_loadu_ps(total + i);
        const __m128 covered = _mm_cmpgt_ps(t, zero);
        const __m128 divisor = _mm_or_ps(_mm_and_ps(covered, t), _mm_andnot_ps(covered, one));
        const __m128i whole = _mm_cvttps_epi32(_mm_add_ps(_mm_div_ps(_mm_loadu_ps(acc + i), divisor), half));
        const __m128i words = _mm_packs_epi32(whole, whole);  // at most 255 after packing to bytes
        const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
        const int lanes = _mm_movemask_ps(covered);
        if (lanes == 0xF) {
            std::memcpy(d + i, &bytes, 4);
            continue;
        }
        for (int k = 0; k < 4; ++k)
            if (lanes & (1 << k)) d[i + k] = static_cast<BYTE>(bytes >> (8 * k));
    }
#endif
    for (; i < n; ++i) {
        if (total[i] <= 0) continue;
        float v = acc[i] / total[i];
        d[i] = static_cast<BYTE>(std::min(static_cast<int>(v + 0.5f), 255));
    }
}

}  // namespace

// Stretching copy: COLORONCOLOR (and the two other non-halftone modes) take the nearest source pixel,
// HALFTONE the average of the source area under each target pixel; an inverted target (or source)
// rectangle mirrors. The mask (over the source) keeps target pixels where its bit is 0. Leaves out
// colour adjustment and the halftone origin.
BOOL APIENTRY EngStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT*, POINTL*, RECTL* targetRect, RECTL* sourceRect, POINTL* maskPoint,
                            ULONG mode) {
    Target t;
    Source src;
    if (!targetOf(target, t) || !targetRect || !sourceRect || !src.open(source, xlate)) return invalid();
    if (mode < 1 || mode > HALFTONE) return invalid();
    Target m;
    if (mask && !maskOf(mask, m)) return invalid();
    POINTL mp = maskPoint ? *maskPoint : POINTL{0, 0};
    Mapping map = mapRects(*targetRect, *sourceRect);
    if (!map.valid) return TRUE;
    RECTL bounds = intersect(map.target, t.rect());
    if (isEmpty(bounds)) return TRUE;
    std::vector<RECTL> rects = clipRects(clip, bounds);
    if (rects.empty()) return TRUE;
    RECTL sb = src.rect();
    if (sharesMemory(source, target)) src.snapshot(intersect(sourceRegion(map), sb));
    auto masked = [&](LONG sx, LONG sy) {
        if (!mask) return false;
        LONG mx = mp.x + (sx - map.source.left), my = mp.y + (sy - map.source.top);
        return mx < 0 || my < 0 || mx >= m.cx || my >= m.cy || !maskBit(m, mx, my);
    };
    std::vector<BYTE> row(size_t(sb.right - sb.left));

    if (mode != HALFTONE) {
        forEachMappedSourceRow(map, rects, src, sb, [&](LONG y, LONG x0, LONG x1, const LONG* columns, LONG sy, const BYTE* grey) {
            BYTE* d = t.row(y);
            for (LONG x = x0; x < x1; ++x) {
                LONG sx = columns[x - x0];
                if (sx < 0 || masked(sx, sy)) continue;
                d[x] = grey[sx - sb.left];
            }
        });
        return TRUE;
    }

    // Area average: each target pixel covers [u * sn / tn, (u + 1) * sn / tn) of the source along
    // each axis; source pixels count by how much of them is covered (outside the source: not at all).
    struct Cover {
        LONG first = 0;
        std::vector<float> weights;
    };
    auto covers = [](LONG tn, LONG s0, LONG sn, bool flip, LONG lo, LONG hi) {
        std::vector<Cover> out(static_cast<size_t>(tn));
        for (LONG u = 0; u < tn; ++u) {
            LONG k = flip ? tn - 1 - u : u;
            double a = s0 + double(k) * sn / tn, b = s0 + double(k + 1) * sn / tn;
            LONG first = std::max<LONG>(static_cast<LONG>(std::floor(a)), lo);
            LONG last = std::min<LONG>(static_cast<LONG>(std::ceil(b)) - 1, hi - 1);
            Cover& c = out[size_t(u)];
            c.first = first;
            for (LONG i = first; i <= last; ++i) {
                double w = std::min<double>(b, i + 1) - std::max<double>(a, i);
                c.weights.push_back(static_cast<float>(std::max(w, 0.0)));
            }
        }
        return out;
    };
    LONG tw = map.target.right - map.target.left, th = map.target.bottom - map.target.top;
    LONG sw = map.source.right - map.source.left, sh = map.source.bottom - map.source.top;
    std::vector<Cover> cx = covers(tw, map.source.left, sw, map.flipX, sb.left, sb.right);
    std::vector<Cover> cy = covers(th, map.source.top, sh, map.flipY, sb.top, sb.bottom);
    // At its own size, unmirrored and unmasked, with the target inside the source: a copy.
    const bool copyRows = tw == sw && th == sh && !map.flipX && !map.flipY && !mask &&
                          map.source.left >= sb.left && map.source.top >= sb.top && map.source.right <= sb.right &&
                          map.source.bottom <= sb.bottom;
    // Each source row's weighted sums across the target columns are made once and kept while the
    // target rows that cover it are made (slots by source row; a target row spans fewer rows than
    // there are slots, so the rows it needs never push each other out).
    size_t slots = 2;
    for (const Cover& c : cy) slots = std::max(slots, c.weights.size() + 1);
    // The rectangle's columns: the place in the source row of each one's K source pixels (past the
    // row's end: its last pixel again) and their weights (unused ones weigh nothing).
    size_t K = 1;
    for (const Cover& c : cx) K = std::max(K, c.weights.size());
    std::vector<LONG> at;
    std::vector<float> weights, wsums;
    for (const RECTL& r : rects) {
        LONG n = r.right - r.left;
        wsums.assign(size_t(n), 0.f);
        at.assign(size_t(n) * K, 0);
        weights.assign(size_t(n) * K, 0.f);
        const LONG last = sb.right - sb.left - 1;
        for (LONG i = 0; i < n; ++i) {
            const Cover& vx = cx[size_t(r.left + i - map.target.left)];
            float wsum = 0;
            for (float w : vx.weights) wsum += w;
            wsums[size_t(i)] = wsum;
            const LONG first = vx.first - sb.left;
            for (size_t k = 0; k < K; ++k) at[size_t(i) * K + k] = first + std::min<LONG>(LONG(k), last - first);
            std::copy(vx.weights.begin(), vx.weights.end(), weights.begin() + ptrdiff_t(size_t(i) * K));
        }
        // Target rows [top, bottom) of the rectangle, with sums and rows of their own.
        auto band = [&](LONG top, LONG bottom) {
            std::vector<LONG> slotRow(slots, -1);
            std::vector<std::vector<float>> slotSums(slots);
            std::vector<float> acc, total, greys(size_t(sb.right - sb.left));
            std::vector<BYTE> converted(size_t(sb.right - sb.left));
            auto across = [&](LONG sy) -> const float* {
                const size_t slot = size_t(sy) % slots;
                std::vector<float>& sums = slotSums[slot];
                if (slotRow[slot] == sy) return sums.data();
                slotRow[slot] = sy;
                sums.resize(size_t(n));
                greysToFloats(src.row(sb.left, sy, sb.right - sb.left, converted.data()), sb.right - sb.left,
                              greys.data());
                weightedSums(K, greys.data(), at.data(), weights.data(), n, sums.data());
                return sums.data();
            };
            for (LONG y = top; y < bottom; ++y) {
                const Cover& vy = cy[size_t(y - map.target.top)];
                BYTE* d = t.row(y);
                if (copyRows) {  // one source pixel for each target pixel: the grey row as it is
                    std::memcpy(d + r.left,
                                src.row(r.left - map.target.left + map.source.left, vy.first, n, converted.data()),
                                size_t(n));
                    continue;
                }
                acc.assign(size_t(n), 0.f);
                total.assign(size_t(n), 0.f);
                for (size_t j = 0; j < vy.weights.size(); ++j) {
                    LONG sy = vy.first + static_cast<LONG>(j);
                    float wy = vy.weights[j];
                    if (wy <= 0) continue;
                    addRow(wy, across(sy), wsums.data(), n, acc.data(), total.data());
                }
                if (!mask) {
                    averagesToGreys(acc.data(), total.data(), n, d + r.left);
                    continue;
                }
                for (LONG i = 0; i < n; ++i) {
                    if (total[size_t(i)] <= 0) continue;
                    // The mask bit of the source pixel nearest the target pixel's centre.
                    LONG sx = static_cast<LONG>(nearest(r.left + i - map.target.left, tw, map.source.left, sw, map.flipX));
                    LONG sy = static_cast<LONG>(nearest(y - map.target.top, th, map.source.top, sh, map.flipY));
                    if (masked(sx, sy)) continue;
                    float v = acc[size_t(i)] / total[size_t(i)];
                    d[r.left + i] = static_cast<BYTE>(std::min(static_cast<int>(v + 0.5f), 255));
                }
            }
        };
        // A page-sized average is shared out in bands of rows between a few threads; every target
        // pixel is worked out alone, so the result does not depend on how the rows are shared.
        const LONG rows = r.bottom - r.top;
        const int helpers = copyRows || int64_t(n) * rows < kBandedStretchPixels
                                ? 0
                                : static_cast<int>(std::min<unsigned>(kStretchThreads, std::thread::hardware_concurrency())) - 1;
        if (helpers <= 0) {
            band(r.top, r.bottom);
            continue;
        }
        std::vector<std::thread> others;
        const LONG share = (rows + helpers) / (helpers + 1);
        for (int h = 1; h <= helpers; ++h) {
            const LONG top = r.top + share * h, bottom = std::min(r.bottom, top + share);
            if (top < bottom) others.emplace_back(band, top, bottom);
        }
        band(r.top, std::min(r.bottom, r.top + share));
        for (std::thread& other : others) other.join();
    }
    return TRUE;
}

// Stretching copy (nearest pixel) that leaves the target where the source pixel, as stored, is the
// transparent colour (an index, or 0x00RRGGBB for a true-colour source).
BOOL APIENTRY EngTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                                RECTL* sourceRect, ULONG transparentColor, ULONG) {
    Target t;
    Source src;
    if (!targetOf(target, t) || !targetRect || !sourceRect || !src.open(source, xlate)) return invalid();
    Mapping map = mapRects(*targetRect, *sourceRect);
    if (!map.valid) return TRUE;
    RECTL bounds = intersect(map.target, t.rect());
    std::vector<RECTL> rects = isEmpty(bounds) ? std::vector<RECTL>{} : clipRects(clip, bounds);
    if (rects.empty()) return TRUE;
    RECTL sb = src.rect();
    if (sharesMemory(source, target)) src.snapshot(intersect(map.source, sb));
    ULONG key = transparentColor & (src.format() == BMF_1BPP ? 1u : src.format() == BMF_8BPP ? 0xFFu : 0xFFFFFFu);
    BYTE one = 0;
    forEachMappedRow(map, rects, sb, [&](LONG y, LONG x0, LONG x1, const LONG* columns, LONG sy) {
        BYTE* d = t.row(y);
        for (LONG x = x0; x < x1; ++x) {
            LONG sx = columns[x - x0];
            if (sx < 0 || src.raw(sx, sy) == key) continue;
            d[x] = *src.row(sx, sy, 1, &one);
        }
    });
    return TRUE;
}

// Blending (AC_SRC_OVER) with a constant alpha and, for a 32-bit source with AC_SRC_ALPHA, its
// premultiplied per-pixel alpha; nearest pixel when the rectangles differ in size.
BOOL APIENTRY EngAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                            RECTL* sourceRect, BLENDOBJ* blend) {
    Target t;
    Source src;
    if (!targetOf(target, t) || !targetRect || !sourceRect || !blend || !src.open(source, xlate)) return invalid();
    const BLENDFUNCTION& f = blend->BlendFunction;
    bool perPixel = (f.AlphaFormat & AC_SRC_ALPHA) != 0;
    if (f.BlendOp != AC_SRC_OVER || (perPixel && src.format() != BMF_32BPP)) return invalid();
    Mapping map = mapRects(*targetRect, *sourceRect);
    if (!map.valid) return TRUE;
    RECTL bounds = intersect(map.target, t.rect());
    std::vector<RECTL> rects = isEmpty(bounds) ? std::vector<RECTL>{} : clipRects(clip, bounds);
    if (rects.empty()) return TRUE;
    RECTL sb = src.rect();
    if (sharesMemory(source, target)) src.snapshot(intersect(map.source, sb));
    const uint32_t sca = f.SourceConstantAlpha;
    forEachMappedSourceRow(map, rects, src, sb, [&](LONG y, LONG x0, LONG x1, const LONG* columns, LONG sy, const BYTE* grey) {
        BYTE* d = t.row(y);
        for (LONG x = x0; x < x1; ++x) {
            LONG sx = columns[x - x0];
            if (sx < 0) continue;
            uint32_t s = grey[sx - sb.left], dv = d[x];
            if (perPixel) {
                uint32_t a = src.alpha(sx, sy) * sca;  // 0 .. 255 * 255
                d[x] = static_cast<BYTE>(std::min<uint32_t>((s * sca * 255 + dv * (65025 - a) + 32512) / 65025, 255));
            } else {
                d[x] = static_cast<BYTE>((s * sca + dv * (255 - sca) + 127) / 255);
            }
        }
    });
    return TRUE;
}

// Copy of the source rectangle onto the parallelogram of points[0] (its top-left corner), points[1]
// (top-right) and points[2] (bottom-left), in 28.4 units: each target pixel centre maps back to the
// nearest source pixel; the mask (over the source) keeps target pixels where its bit is 0. Leaves
// out halftoning and colour adjustment.
BOOL APIENTRY EngPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        COLORADJUSTMENT*, POINTL*, POINTFIX* points, RECTL* sourceRect, POINTL* maskPoint, ULONG) {
    Target t;
    Source src;
    if (!targetOf(target, t) || !points || !sourceRect || !src.open(source, xlate)) return invalid();
    Target m;
    if (mask && !maskOf(mask, m)) return invalid();
    POINTL mp = maskPoint ? *maskPoint : POINTL{0, 0};
    RECTL sr = ordered(*sourceRect);
    if (isEmpty(sr)) return TRUE;
    double p0x = points[0].x / 16.0, p0y = points[0].y / 16.0;
    double ax = points[1].x / 16.0 - p0x, ay = points[1].y / 16.0 - p0y;
    double bx = points[2].x / 16.0 - p0x, by = points[2].y / 16.0 - p0y;
    double det = ax * by - ay * bx;
    if (det == 0) return TRUE;
    double xs[4] = {p0x, p0x + ax, p0x + bx, p0x + ax + bx}, ys[4] = {p0y, p0y + ay, p0y + by, p0y + ay + by};
    double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    RECTL box{static_cast<LONG>(std::max(std::floor(minX), -1e9)), static_cast<LONG>(std::max(std::floor(minY), -1e9)),
              static_cast<LONG>(std::min(std::ceil(maxX), 1e9)), static_cast<LONG>(std::min(std::ceil(maxY), 1e9))};
    RECTL bounds = intersect(box, t.rect());
    std::vector<RECTL> rects = isEmpty(bounds) ? std::vector<RECTL>{} : clipRects(clip, bounds);
    if (rects.empty()) return TRUE;
    RECTL sb = src.rect();
    if (sharesMemory(source, target)) src.snapshot(intersect(sr, sb));
    LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    BYTE one = 0;
    for (const RECTL& r : rects)
        for (LONG y = r.top; y < r.bottom; ++y) {
            BYTE* d = t.row(y);
            for (LONG x = r.left; x < r.right; ++x) {
                double qx = x + 0.5 - p0x, qy = y + 0.5 - p0y;
                double u = (qx * by - qy * bx) / det, v = (ax * qy - ay * qx) / det;
                if (u < 0 || u >= 1 || v < 0 || v >= 1) continue;
                LONG sx = sr.left + std::min<LONG>(static_cast<LONG>(u * sw), sw - 1);
                LONG sy = sr.top + std::min<LONG>(static_cast<LONG>(v * sh), sh - 1);
                if (sx < sb.left || sx >= sb.right || sy < sb.top || sy >= sb.bottom) continue;
                if (mask) {
                    LONG mx = mp.x + (sx - sr.left), my = mp.y + (sy - sr.top);
                    if (mx < 0 || my < 0 || mx >= m.cx || my >= m.cy || !maskBit(m, mx, my)) continue;
                }
                d[x] = *src.row(sx, sy, 1, &one);
            }
        }
    return TRUE;
}
