// Raster operations and the halftone screen of the page pipeline.
//
// The hot loops (screen, turns, mirror) have an SSE2 path for x86-64, where SSE2 is always
// present, and a plain path for everything else. Both give the same bytes.
#include "raster.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "win/kernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define RASTER_SSE2 1
#else
#define RASTER_SSE2 0
#endif

const BYTE kThresholdMatrix[16][16] = {
    {6, 82, 233, 254, 251, 226, 70, 5, 7, 85, 235, 255, 252, 228, 73, 5},
    {55, 121, 165, 218, 211, 152, 114, 49, 57, 122, 167, 220, 213, 156, 115, 47},
    {199, 134, 105, 41, 27, 95, 126, 192, 202, 136, 107, 45, 31, 97, 123, 190},
    {243, 180, 18, 3, 1, 13, 172, 238, 244, 182, 19, 3, 1, 12, 170, 237},
    {248, 222, 65, 4, 10, 79, 232, 253, 250, 224, 67, 4, 9, 76, 230, 252},
    {208, 145, 109, 53, 62, 119, 162, 216, 210, 149, 112, 51, 59, 117, 159, 215},
    {22, 88, 131, 197, 206, 142, 102, 38, 24, 91, 128, 195, 204, 139, 100, 34},
    {2, 16, 177, 241, 247, 187, 21, 2, 1, 15, 175, 240, 245, 185, 20, 2},
    {7, 85, 235, 255, 252, 228, 73, 5, 6, 82, 233, 254, 251, 226, 70, 5},
    {57, 122, 167, 220, 213, 156, 115, 47, 55, 121, 165, 218, 211, 152, 114, 49},
    {202, 136, 107, 45, 31, 97, 123, 190, 199, 134, 105, 41, 27, 95, 126, 192},
    {244, 182, 19, 3, 1, 12, 170, 237, 243, 180, 18, 3, 1, 13, 172, 238},
    {250, 224, 67, 4, 9, 76, 230, 252, 248, 222, 65, 4, 10, 79, 232, 253},
    {210, 149, 112, 51, 59, 117, 159, 215, 208, 145, 109, 53, 62, 119, 162, 216},
    {24, 91, 128, 195, 204, 139, 100, 34, 22, 88, 131, 197, 206, 142, 102, 38},
    {1, 15, 175, 240, 245, 185, 20, 2, 2, 16, 177, 241, 247, 187, 21, 2},
};

const BYTE kBrushScreenMatrix[16][16] = {
    {28, 93, 221, 253, 245, 213, 85, 21, 27, 95, 223, 255, 247, 215, 87, 23},
    {76, 125, 157, 205, 197, 149, 117, 67, 75, 127, 159, 207, 199, 151, 119, 68},
    {188, 140, 109, 61, 53, 101, 131, 179, 187, 139, 111, 63, 55, 103, 132, 180},
    {236, 172, 44, 13, 3, 35, 163, 227, 235, 171, 43, 15, 4, 36, 164, 228},
    {244, 212, 84, 20, 32, 91, 219, 251, 243, 211, 83, 19, 30, 92, 220, 252},
    {196, 148, 116, 72, 80, 123, 155, 203, 195, 147, 115, 70, 78, 124, 156, 204},
    {52, 100, 136, 184, 192, 144, 107, 59, 51, 99, 134, 182, 190, 142, 108, 60},
    {8, 40, 168, 232, 240, 176, 48, 11, 6, 38, 166, 230, 238, 174, 46, 12},
    {25, 96, 224, 255, 248, 216, 88, 24, 26, 94, 222, 254, 246, 214, 86, 22},
    {73, 128, 160, 208, 200, 152, 120, 66, 74, 126, 158, 206, 198, 150, 118, 65},
    {185, 137, 112, 64, 56, 104, 130, 178, 186, 138, 110, 62, 54, 102, 129, 177},
    {233, 169, 41, 16, 2, 34, 162, 226, 234, 170, 42, 14, 1, 33, 161, 225},
    {241, 209, 81, 17, 29, 90, 218, 250, 242, 210, 82, 18, 31, 89, 217, 249},
    {193, 145, 113, 69, 77, 122, 154, 202, 194, 146, 114, 71, 79, 121, 153, 201},
    {49, 97, 133, 181, 189, 141, 106, 58, 50, 98, 135, 183, 191, 143, 105, 57},
    {5, 37, 165, 229, 237, 173, 45, 10, 7, 39, 167, 231, 239, 175, 47, 9},
};

#define R8(a) a, a, a, a, a, a, a, a
constexpr BYTE kLevelTable[256] = {
    0,      R8(1),  R8(1),  1,      1,      1,      1,      1,      1,      1,  // 0..23
    R8(2),  R8(2),  R8(2),  R8(2),  R8(2),                                      // 24..63
    R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),              // 64..127
    R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),              // 128..191
    R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),  R8(3),              // 192..255
};
#undef R8

namespace {

constexpr bool levelTableIsRight() {
    for (int v = 0; v < 256; ++v) {
        if (kLevelTable[v] != (v == 0 ? 0 : v < 24 ? 1 : v < 64 ? 2 : 3)) {
            return false;
        }
    }
    return true;
}
static_assert(levelTableIsRight());

// ---- Sizes and the temporary copy ---------------------------------------------------------------

// Byte count of a w x h image, or 0 when the arguments do not describe one we accept.
uint64_t imageBytes(const void* image, LONG w, LONG h) {
    if (image == nullptr || w <= 0 || h <= 0) {
        return 0;
    }
    const uint64_t n = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    return n <= kMaxRasterBytes ? n : 0;
}

BOOL refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

bool overlaps(const BYTE* a, uint64_t an, const BYTE* b, uint64_t bn) {
    const auto pa = reinterpret_cast<uintptr_t>(a);
    const auto pb = reinterpret_cast<uintptr_t>(b);
    return pa < pb + bn && pb < pa + an;
}

// The temporary copy of a page, from the process heap. Its start is put on a cache line so that
// the turned rows of a page whose height is a multiple of 64 lie on whole lines.
class HeapCopy {
public:
    explicit HeapCopy(size_t bytes)
        : heap_(GetProcessHeap()),
          raw_(heap_ ? static_cast<BYTE*>(HeapAlloc(heap_, 0, bytes + kLine)) : nullptr) {}
    ~HeapCopy() {
        if (raw_ != nullptr) {
            HeapFree(heap_, 0, raw_);
        }
    }
    HeapCopy(const HeapCopy&) = delete;
    HeapCopy& operator=(const HeapCopy&) = delete;
    BYTE* get() const {
        if (raw_ == nullptr) {
            return nullptr;
        }
        const auto misalign = reinterpret_cast<uintptr_t>(raw_) & (kLine - 1);
        return misalign == 0 ? raw_ : raw_ + (kLine - misalign);
    }

private:
    static constexpr size_t kLine = 64;
    HANDLE heap_;
    BYTE* raw_;
};

// ---- Byte reversal ----------------------------------------------------------------------------

#if RASTER_SSE2
inline __m128i reverse16(__m128i v) {
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
#endif

// Reverses bytes [0, n) in place. A non-zero ahead is the distance of the next piece of work:
// its ends are fetched while this one runs (rows of a page each start a new pair of streams,
// which the hardware prefetcher picks up too late).
void reverseBytes(BYTE* p, size_t n, size_t ahead = 0) {
    size_t i = 0;
    size_t j = n;  // one past the right block
#if RASTER_SSE2
    while (i + 32 <= j) {
        if (ahead != 0 && (i & 63) == 0) {
            _mm_prefetch(reinterpret_cast<const char*>(p + ahead + i), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(p + ahead + j - 16), _MM_HINT_T0);
        }
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), reverse16(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + j - 16), reverse16(a));
        i += 16;
        j -= 16;
    }
#else
    (void)ahead;
#endif
    std::reverse(p + i, p + j);
}

// ---- 90-degree turn ---------------------------------------------------------------------------

// Writes dst[c][k] = src[k][c] for a tile of 8 source rows by 16 source columns: source row k
// starts at src + k * srcStride, output row c (8 bytes) at dst + c * dstStride.
#if RASTER_SSE2
inline void transposeTile(const BYTE* src, ptrdiff_t srcStride, BYTE* dst, ptrdiff_t dstStride) {
    auto load = [&](int k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * srcStride));
    };
    const __m128i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    const __m128i r4 = load(4), r5 = load(5), r6 = load(6), r7 = load(7);
    // Row pairs, byte-interleaved: columns 0-7 and 8-15.
    const __m128i a0 = _mm_unpacklo_epi8(r0, r1), a1 = _mm_unpackhi_epi8(r0, r1);
    const __m128i a2 = _mm_unpacklo_epi8(r2, r3), a3 = _mm_unpackhi_epi8(r2, r3);
    const __m128i a4 = _mm_unpacklo_epi8(r4, r5), a5 = _mm_unpackhi_epi8(r4, r5);
    const __m128i a6 = _mm_unpacklo_epi8(r6, r7), a7 = _mm_unpackhi_epi8(r6, r7);
    // Row quads: columns 0-3, 4-7, 8-11, 12-15.
    const __m128i b0 = _mm_unpacklo_epi16(a0, a2), b1 = _mm_unpackhi_epi16(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi16(a1, a3), b3 = _mm_unpackhi_epi16(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi16(a4, a6), b5 = _mm_unpackhi_epi16(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi16(a5, a7), b7 = _mm_unpackhi_epi16(a5, a7);
    // All eight rows: c[p] holds columns 2p and 2p + 1.
    const __m128i c[8] = {_mm_unpacklo_epi32(b0, b4), _mm_unpackhi_epi32(b0, b4),
                          _mm_unpacklo_epi32(b1, b5), _mm_unpackhi_epi32(b1, b5),
                          _mm_unpacklo_epi32(b2, b6), _mm_unpackhi_epi32(b2, b6),
                          _mm_unpacklo_epi32(b3, b7), _mm_unpackhi_epi32(b3, b7)};
    for (int p = 0; p < 8; ++p) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (2 * p) * dstStride), c[p]);
        // movhps: the high half, with no alignment needed.
        _mm_storeh_pi(reinterpret_cast<__m64*>(dst + (2 * p + 1) * dstStride), _mm_castsi128_ps(c[p]));
    }
}
inline void prefetch(const BYTE* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }

// Copies one 64-byte destination piece. Pieces that are whole cache lines go straight to memory (the turned page is
// not read again before the copy back), so the line is never read for ownership.
inline void putLine64(BYTE* dst, const BYTE* line) {
    const __m128i* s = reinterpret_cast<const __m128i*>(line);
    if ((reinterpret_cast<uintptr_t>(dst) & 63) == 0) {
        __m128i* d = reinterpret_cast<__m128i*>(dst);
        _mm_stream_si128(d, _mm_load_si128(s));
        _mm_stream_si128(d + 1, _mm_load_si128(s + 1));
        _mm_stream_si128(d + 2, _mm_load_si128(s + 2));
        _mm_stream_si128(d + 3, _mm_load_si128(s + 3));
    } else {
        std::memcpy(dst, line, 64);
    }
}
inline void streamFence() { _mm_sfence(); }
#else
inline void transposeTile(const BYTE* src, ptrdiff_t srcStride, BYTE* dst, ptrdiff_t dstStride) {
    for (int c = 0; c < 16; ++c) {
        BYTE* d = dst + c * dstStride;
        for (int k = 0; k < 8; ++k) {
            d[k] = src[k * srcStride + c];
        }
    }
}
inline void prefetch(const BYTE*) {}
inline void putLine64(BYTE* dst, const BYTE* line) { std::memcpy(dst, line, 64); }
inline void streamFence() {}
#endif

// Where source pixel (x, y) of a w x h page lands in the turned page (h wide, w high):
//   clockwise:         row x,         column h - 1 - y
//   counter-clockwise: row w - 1 - x, column y
struct Turn {
    const BYTE* src;
    BYTE* dst;
    ptrdiff_t w;
    ptrdiff_t h;
};

// The page goes in blocks of 64 x 64. A block is turned into a small buffer of its own and then
// written out one whole destination line at a time: page rows that lie a multiple of 4 KiB apart
// would otherwise fight over the same few cache sets. The source lines of the next block are
// fetched ahead, as 64 row streams are more than the hardware prefetcher follows.
constexpr ptrdiff_t kBlock = 64;

template <bool Clockwise>
void turnBlock(const Turn& t, ptrdiff_t xb, ptrdiff_t yb, BYTE* block) {
    // Clockwise, the tile's source rows are taken from the bottom up.
    const ptrdiff_t step = Clockwise ? -t.w : t.w;
    for (ptrdiff_t y0 = 0; y0 < kBlock; y0 += 8) {
        const BYTE* from = t.src + (Clockwise ? yb + y0 + 7 : yb + y0) * t.w + xb;
        // block[c][j]: the j-th byte of the destination piece for source column xb + c.
        BYTE* to = block + (Clockwise ? kBlock - 8 - y0 : y0);
        for (ptrdiff_t x0 = 0; x0 < kBlock; x0 += 16) {
            transposeTile(from + x0, step, to + x0 * kBlock, kBlock);
        }
    }
    for (ptrdiff_t c = 0; c < kBlock; ++c) {
        const ptrdiff_t x = xb + c;
        BYTE* to = Clockwise ? t.dst + x * t.h + (t.h - kBlock - yb) : t.dst + (t.w - 1 - x) * t.h + yb;
        putLine64(to, block + c * kBlock);
    }
}

// Source columns [x0, x1) of source rows [y0, y1), in tiles of 8 x 16 where they fit.
template <bool Clockwise>
void turnRect(const Turn& t, ptrdiff_t x0, ptrdiff_t x1, ptrdiff_t y0, ptrdiff_t y1) {
    const ptrdiff_t xTiles = x0 + ((x1 - x0) & ~15);
    const ptrdiff_t yTiles = y0 + ((y1 - y0) & ~7);
    for (ptrdiff_t y = y0; y < yTiles; y += 8) {
        for (ptrdiff_t x = x0; x < xTiles; x += 16) {
            if (Clockwise) {
                transposeTile(t.src + (y + 7) * t.w + x, -t.w, t.dst + x * t.h + (t.h - 8 - y), t.h);
            } else {
                transposeTile(t.src + y * t.w + x, t.w, t.dst + (t.w - 1 - x) * t.h + y, -t.h);
            }
        }
    }
    auto put = [&](ptrdiff_t x, ptrdiff_t y) {
        const BYTE v = t.src[y * t.w + x];
        if (Clockwise) {
            t.dst[x * t.h + (t.h - 1 - y)] = v;
        } else {
            t.dst[(t.w - 1 - x) * t.h + y] = v;
        }
    };
    for (ptrdiff_t y = y0; y < y1; ++y) {
        for (ptrdiff_t x = xTiles; x < x1; ++x) {
            put(x, y);
        }
    }
    for (ptrdiff_t y = yTiles; y < y1; ++y) {
        for (ptrdiff_t x = x0; x < xTiles; ++x) {
            put(x, y);
        }
    }
}

template <bool Clockwise>
void turnPage(const Turn& t) {
    const ptrdiff_t wBlocks = t.w & ~(kBlock - 1);
    const ptrdiff_t hBlocks = t.h & ~(kBlock - 1);
    alignas(64) BYTE block[kBlock * kBlock];
    for (ptrdiff_t yb = 0; yb < hBlocks; yb += kBlock) {
        for (ptrdiff_t xb = 0; xb < wBlocks; xb += kBlock) {
            if (xb + kBlock < wBlocks) {
                for (ptrdiff_t y = yb; y < yb + kBlock; ++y) {
                    prefetch(t.src + y * t.w + xb + kBlock);
                }
            }
            turnBlock<Clockwise>(t, xb, yb, block);
        }
    }
    streamFence();
    turnRect<Clockwise>(t, wBlocks, t.w, 0, t.h);       // right strip, all rows
    turnRect<Clockwise>(t, 0, wBlocks, hBlocks, t.h);   // bottom strip
}

// dst (h wide, w high) receives src (w x h) turned by 90 degrees.
void turn90(const BYTE* src, LONG w, LONG h, bool clockwise, BYTE* dst) {
    const Turn t{src, dst, w, h};
    if (clockwise) {
        turnPage<true>(t);
    } else {
        turnPage<false>(t);
    }
}

// ---- Halftone screen --------------------------------------------------------------------------

// Levels of the 1200-dpi screen for pixel p and threshold t. The screened value is 255 for black,
// else max(0, 255 - p - t); it reaches level k exactly when p < limit_k(t) with
//   limit_1 = 255 - t, limit_2 = 232 - t, limit_3 = 192 - t,
// each raised to at least 1 so that black (p = 0) always gives level 3.
constexpr int kLevelStart[3] = {1, 24, 64};

inline BYTE levelLimit(int level, BYTE t) {
    return static_cast<BYTE>(std::max(1, 256 - kLevelStart[level] - t));
}

inline BYTE level2(BYTE p, BYTE t) {
    const int v = p == 0 ? 255 : std::max(0, 255 - p - t);
    return kLevelTable[v];
}

// Any width: pixels in row order packed without padding; a last partial byte is dropped.
void screenAnyWidth(const BYTE* image, LONG w, LONG h, BYTE* out, bool twoBit) {
    const int bits = twoBit ? 2 : 1;
    unsigned acc = 0;
    int filled = 0;
    for (LONG y = 0; y < h; ++y) {
        const BYTE* t = kThresholdMatrix[y & 15];
        const BYTE* row = image + static_cast<ptrdiff_t>(y) * w;
        for (LONG x = 0; x < w; ++x) {
            const BYTE p = row[x];
            const unsigned code = twoBit ? level2(p, t[x & 15]) : (p < t[x & 15] ? 1u : 0u);
            acc = (acc << bits) | code;
            filled += bits;
            if (filled == 8) {
                *out++ = static_cast<BYTE>(acc);
                acc = 0;
                filled = 0;
            }
        }
    }
}

#if RASTER_SSE2

inline __m128i load16(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Packs four psadbw results (each two bytes, at bits 0 and 64) into eight bytes in order.
inline __m128i packSums(__m128i s0, __m128i s1, __m128i s2, __m128i s3) {
    const __m128i lo = _mm_packs_epi32(s0, s1);
    const __m128i hi = _mm_packs_epi32(s2, s3);
    return _mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_setzero_si128());
}

// 1 bit a pixel for one row of n pixels (n a multiple of 16).
inline void screenRow1(const BYTE* src, BYTE* dst, LONG n, __m128i limit) {
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i weights = _mm_setr_epi8(static_cast<char>(0x80), 0x40, 0x20, 0x10, 8, 4, 2, 1,
                                          static_cast<char>(0x80), 0x40, 0x20, 0x10, 8, 4, 2, 1);
    const __m128i zero = _mm_setzero_si128();
    auto bitsOf = [&](const BYTE* p) {
        const __m128i v = _mm_xor_si128(load16(p), bias);
        const __m128i m = _mm_and_si128(_mm_cmplt_epi8(v, limit), weights);
        return _mm_sad_epu8(m, zero);
    };
    LONG x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m128i r = packSums(bitsOf(src + x), bitsOf(src + x + 16), bitsOf(src + x + 32),
                                   bitsOf(src + x + 48));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + x / 8), r);
    }
    for (; x < n; x += 16) {
        const __m128i s = bitsOf(src + x);
        dst[x / 8] = static_cast<BYTE>(_mm_cvtsi128_si32(s));
        dst[x / 8 + 1] = static_cast<BYTE>(_mm_extract_epi16(s, 4));
    }
}

// 2 bits a pixel for one row of n pixels (n a multiple of 16).
inline void screenRow2(const BYTE* src, BYTE* dst, LONG n, __m128i l1, __m128i l2, __m128i l3) {
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i low4 = _mm_set1_epi16(0x000F);
    const __m128i pairWeights = _mm_set1_epi32(0x00010010);  // 16-bit lanes: 16, 1
    const __m128i zero = _mm_setzero_si128();
    // Four bytes of output, one per 32-bit lane, for 16 pixels.
    auto codesOf = [&](const BYTE* p) {
        const __m128i v = _mm_xor_si128(load16(p), bias);
        const __m128i neg = _mm_add_epi8(_mm_add_epi8(_mm_cmplt_epi8(v, l1), _mm_cmplt_epi8(v, l2)),
                                         _mm_cmplt_epi8(v, l3));
        const __m128i lv = _mm_sub_epi8(zero, neg);  // levels 0..3
        // 16-bit lane [a, b] -> 4a + b; 32-bit lane [m, n] -> 16m + n.
        const __m128i pairs =
            _mm_or_si128(_mm_and_si128(_mm_slli_epi16(lv, 2), low4), _mm_srli_epi16(lv, 8));
        return _mm_madd_epi16(pairs, pairWeights);
    };
    LONG x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m128i lo = _mm_packs_epi32(codesOf(src + x), codesOf(src + x + 16));
        const __m128i hi = _mm_packs_epi32(codesOf(src + x + 32), codesOf(src + x + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x / 4), _mm_packus_epi16(lo, hi));
    }
    for (; x < n; x += 16) {
        const __m128i c = codesOf(src + x);
        const __m128i b = _mm_packus_epi16(_mm_packs_epi32(c, zero), zero);
        const int word = _mm_cvtsi128_si32(b);
        std::memcpy(dst + x / 4, &word, 4);
    }
}

void screenRows(const BYTE* image, LONG w, LONG h, BYTE* out, bool twoBit) {
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const ptrdiff_t outRow = twoBit ? w / 4 : w / 8;
    for (LONG y = 0; y < h; ++y) {
        const BYTE* t = kThresholdMatrix[y & 15];
        const BYTE* src = image + static_cast<ptrdiff_t>(y) * w;
        BYTE* dst = out + y * outRow;
        if (twoBit) {
            alignas(16) BYTE lim[3][16];
            for (int k = 0; k < 3; ++k) {
                for (int c = 0; c < 16; ++c) {
                    lim[k][c] = static_cast<BYTE>(levelLimit(k, t[c]) ^ 0x80);
                }
            }
            screenRow2(src, dst, w, load16(lim[0]), load16(lim[1]), load16(lim[2]));
        } else {
            screenRow1(src, dst, w, _mm_xor_si128(load16(t), bias));
        }
    }
}

#else  // plain path

void screenRows(const BYTE* image, LONG w, LONG h, BYTE* out, bool twoBit) {
    const ptrdiff_t outRow = twoBit ? w / 4 : w / 8;
    for (LONG y = 0; y < h; ++y) {
        const BYTE* t = kThresholdMatrix[y & 15];
        const BYTE* src = image + static_cast<ptrdiff_t>(y) * w;
        BYTE* dst = out + y * outRow;
        if (twoBit) {
            BYTE lim[3][16];
            for (int k = 0; k < 3; ++k) {
                for (int c = 0; c < 16; ++c) {
                    lim[k][c] = levelLimit(k, t[c]);
                }
            }
            for (LONG x = 0; x < w; x += 4) {
                unsigned b = 0;
                for (int j = 0; j < 4; ++j) {
                    const BYTE p = src[x + j];
                    const int c = (x + j) & 15;
                    b = (b << 2) | (unsigned(p < lim[0][c]) + unsigned(p < lim[1][c]) +
                                        unsigned(p < lim[2][c]));
                }
                dst[x / 4] = static_cast<BYTE>(b);
            }
        } else {
            for (LONG x = 0; x < w; x += 8) {
                unsigned b = 0;
                for (int j = 0; j < 8; ++j) {
                    b = (b << 1) | unsigned(src[x + j] < t[(x + j) & 15]);
                }
                dst[x / 8] = static_cast<BYTE>(b);
            }
        }
    }
}

#endif

}  // namespace

// ---- Operations ---------------------------------------------------------------------------------

BOOL Rotate90(BYTE* image, LONG w, LONG h, BOOL clockwise) {
    const uint64_t n = imageBytes(image, w, h);
    if (n == 0) {
        return refuse();
    }
    HeapCopy turned(static_cast<size_t>(n));
    if (turned.get() == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    turn90(image, w, h, clockwise != FALSE, turned.get());
    std::memcpy(image, turned.get(), static_cast<size_t>(n));
    return TRUE;
}

BOOL Rotate180(BYTE* image, LONG w, LONG h) {
    const uint64_t n = imageBytes(image, w, h);
    if (n == 0) {
        return refuse();
    }
    reverseBytes(image, static_cast<size_t>(n));
    return TRUE;
}

BOOL MirrorRows(BYTE* image, LONG w, LONG h) {
    if (imageBytes(image, w, h) == 0) {
        return refuse();
    }
    const size_t row = static_cast<size_t>(w);
    for (LONG y = 0; y < h; ++y) {
        reverseBytes(image + static_cast<ptrdiff_t>(y) * w, row, y + 2 < h ? 2 * row : 0);
    }
    return TRUE;
}

BOOL InvertBytes(BYTE* image, DWORD count) {
    if (image == nullptr || count == 0) {
        return refuse();
    }
    size_t i = 0;
#if RASTER_SSE2
    const __m128i ones = _mm_set1_epi8(-1);
    for (; i + 16 <= count; i += 16) {
        auto* p = reinterpret_cast<__m128i*>(image + i);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), ones));
    }
#endif
    for (; i < count; ++i) {
        image[i] = static_cast<BYTE>(255 - image[i]);
    }
    return TRUE;
}

BOOL CenterRowsInFrame(const BYTE* src, LONG w, LONG h, BYTE* target, LONG frameHeight) {
    const uint64_t n = imageBytes(src, w, h);
    const uint64_t frame = imageBytes(target, w, frameHeight);
    if (n == 0 || frame == 0 || frameHeight < h || overlaps(src, n, target, frame)) {
        return refuse();
    }
    const uint64_t top = static_cast<uint64_t>((frameHeight - h) / 2) * static_cast<uint64_t>(w);
    std::memset(target, 255, static_cast<size_t>(top));
    std::memcpy(target + top, src, static_cast<size_t>(n));
    std::memset(target + top + n, 255, static_cast<size_t>(frame - top - n));
    return TRUE;
}

BOOL CenterColumnsInFrame(const BYTE* src, LONG w, LONG h, BYTE* target, LONG frameWidth) {
    const uint64_t n = imageBytes(src, w, h);
    const uint64_t frame = imageBytes(target, frameWidth, h);
    if (n == 0 || frame == 0 || frameWidth < w || overlaps(src, n, target, frame)) {
        return refuse();
    }
    const size_t left = static_cast<size_t>((frameWidth - w) / 2);
    const size_t right = static_cast<size_t>(frameWidth - w) - left;
    for (LONG y = 0; y < h; ++y) {
        BYTE* row = target + static_cast<ptrdiff_t>(y) * frameWidth;
        std::memset(row, 255, left);
        std::memcpy(row + left, src + static_cast<ptrdiff_t>(y) * w, static_cast<size_t>(w));
        std::memset(row + left + w, 255, right);
    }
    return TRUE;
}

LONG BytesPerRow(LONG width, ULONG bitmapFormat) {
    if (width <= 0) {
        return 0;
    }
    switch (bitmapFormat) {
        case 1:
            // Whole bytes: a row of 10 one-bit pixels needs 2 of them.
            return static_cast<LONG>((static_cast<int64_t>(width) + 7) / 8);
        case 5: {
            const int64_t bytes = static_cast<int64_t>(width) * 3;
            return bytes <= INT32_MAX ? static_cast<LONG>(bytes) : 0;
        }
        default:
            return width;
    }
}

BOOL DrawPageBorder(BYTE* image, LONG w, LONG h, LONG margin, LONG thickness, LONG style,
                    BYTE value) {
    if (imageBytes(image, w, h) == 0 || style != kBorderSolid || margin < 1 || margin > 100 ||
        thickness < 1 || thickness > 50) {
        return refuse();
    }
    const LONG n = margin;
    const LONG t = thickness;
    // Fills columns [from, to) of row y, clipped to the image.
    auto span = [&](LONG y, LONG from, LONG to) {
        from = std::max<LONG>(from, 0);
        to = std::min<LONG>(to, w);
        if (from < to) {
            std::memset(image + static_cast<ptrdiff_t>(y) * w + from, value,
                        static_cast<size_t>(to - from));
        }
    };
    for (LONG y = 0; y < h; ++y) {
        const bool topBand = y >= n && y < n + t;
        const bool bottomBand = y >= h - n - t && y < h - n;
        if (topBand || bottomBand) {
            span(y, n, w - n);
        } else if (y >= n + t && y < h - n - t) {
            span(y, n, n + t);
            span(y, w - n - t, w - n);
        }
    }
    return TRUE;
}

int HalftonePage(const BYTE* image, LONG w, LONG h, BYTE* out, LONG dpi) {
    if (imageBytes(image, w, h) == 0 || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool twoBit = dpi == 1200;
    if (w % 16 == 0) {
        screenRows(image, w, h, out, twoBit);
    } else {
        screenAnyWidth(image, w, h, out, twoBit);
    }
    return 0;
}

void BuildBrushScreenCell(BYTE grey, BYTE cell[128]) {
    if (cell == nullptr) {
        return;
    }
    for (int r = 0; r < 16; ++r) {
        unsigned bits = 0;
        for (int c = 0; c < 16; ++c) {
            bits = (bits << 1) | (grey < kBrushScreenMatrix[r][c] ? 1u : 0u);
        }
        bits = ~bits & 0xFFFFu;  // stored inverted: 1 is white
        const BYTE hi = static_cast<BYTE>(bits >> 8);
        const BYTE lo = static_cast<BYTE>(bits);
        for (int copy = 0; copy < 2; ++copy) {
            BYTE* row = cell + (r + 16 * copy) * 4;
            row[0] = hi;
            row[1] = lo;
            row[2] = hi;
            row[3] = lo;
        }
    }
}
