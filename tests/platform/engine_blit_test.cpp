// Block transfers of the graphics engine onto 8-bit grey bitmaps: raster operations, masks,
// pattern brushes, clips, sources of each depth, overlapping copies, stretching, colour keys,
// blending and parallelograms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/engine.h"
#include "platform/testing/machine.h"
#include "win/winddi.h"

namespace {

using platform::testing::Machine;
namespace engine = platform::engine;

// An engine bitmap of its own bits, locked for the test's length.
class Bitmap {
public:
    Bitmap(LONG cx, LONG cy, ULONG format = BMF_8BPP, BYTE fill = 255, FLONG flags = BMF_TOPDOWN) {
        handle_ = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, 0, format, flags, nullptr));
        so_ = EngLockSurface(handle_);
        for (LONG y = 0; y < cy; ++y) std::memset(row(y), fill, size_t(std::abs(so_->lDelta)));
    }
    ~Bitmap() {
        EngUnlockSurface(so_);
        EngDeleteSurface(handle_);
    }
    SURFOBJ* so() const { return so_; }
    BYTE* row(LONG y) const { return static_cast<BYTE*>(so_->pvScan0) + ptrdiff_t(y) * so_->lDelta; }
    BYTE& at(LONG x, LONG y) const { return row(y)[x]; }
    // Rows of '#' for 0, '.' for 255, '+' for anything else.
    std::vector<std::string> picture() const {
        std::vector<std::string> out;
        for (LONG y = 0; y < so_->sizlBitmap.cy; ++y) {
            std::string line;
            for (LONG x = 0; x < so_->sizlBitmap.cx; ++x) line += at(x, y) == 0 ? '#' : at(x, y) == 255 ? '.' : '+';
            out.push_back(line);
        }
        return out;
    }
    void set(const std::vector<std::string>& rows) const {  // '#' 0, '.' 255, digits d * 25
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x) {
                char c = rows[y][x];
                at(LONG(x), LONG(y)) = c == '#' ? 0 : c == '.' ? 255 : BYTE((c - '0') * 25);
            }
    }

private:
    HSURF handle_ = nullptr;
    SURFOBJ* so_ = nullptr;
};

// A one-bit mask from rows of '1' and '0'.
class Mask : public Bitmap {
public:
    explicit Mask(const std::vector<std::string>& rows) : Bitmap(LONG(rows[0].size()), LONG(rows.size()), BMF_1BPP, 0) {
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                if (rows[y][x] == '1') row(LONG(y))[x / 8] |= BYTE(0x80 >> (x % 8));
    }
};

struct Brush {
    BRUSHOBJ* obj;
    explicit Brush(int grey) : obj(engine::createSolidBrush(ULONG(grey))) {}
    explicit Brush(BRUSHOBJ* b) : obj(b) {}
    ~Brush() { engine::deleteBrush(obj); }
};

RECTL rect(LONG l, LONG t, LONG r, LONG b) { return RECTL{l, t, r, b}; }

// ---- Raster operations ---------------------------------------------------------------------------

TEST(EngineBitBlt, EveryRop3ActsBitByBit) {
    Machine machine;
    // With P = 0xF0, S = 0xCC and D = 0xAA, the result of a ROP3 is the ROP3 itself.
    Bitmap source(1, 1, BMF_8BPP, 0xCC);
    Brush pattern(0xF0);
    for (ULONG rop = 0; rop < 256; ++rop) {
        Bitmap target(2, 1, BMF_8BPP, 0xAA);
        RECTL r = rect(0, 0, 1, 1);
        POINTL origin{0, 0};
        ASSERT_TRUE(EngBitBlt(target.so(), source.so(), nullptr, nullptr, nullptr, &r, &origin, nullptr, pattern.obj,
                              nullptr, rop | (rop << 8)));
        ASSERT_EQ(target.at(0, 0), rop) << "ROP3 " << rop;
        ASSERT_EQ(target.at(1, 0), 0xAA) << "outside the rectangle";
    }
    // A few named ones on other values.
    struct Case {
        ROP4 rop;
        BYTE p, s, d, expected;
    };
    for (const Case& c : {Case{0xCCCC, 0, 0x5A, 0x0F, 0x5A}, Case{0x8888, 0, 0x3C, 0x0F, 0x0C},  // SRCAND
                          Case{0x6666, 0, 0x3C, 0x0F, 0x33}, Case{0x5555, 0, 0, 0x0F, 0xF0},    // SRCINVERT, DSTINVERT
                          Case{0x5A5A, 0x3C, 0, 0x0F, 0x33}, Case{0xB8B8, 0x00, 0xF0, 0xCC, 0xC0}}) {
        Bitmap target(1, 1, BMF_8BPP, c.d), src(1, 1, BMF_8BPP, c.s);
        Brush brush(c.p);
        RECTL r = rect(0, 0, 1, 1);
        POINTL origin{0, 0};
        ASSERT_TRUE(EngBitBlt(target.so(), src.so(), nullptr, nullptr, nullptr, &r, &origin, nullptr, brush.obj,
                              nullptr, c.rop));
        EXPECT_EQ(target.at(0, 0), c.expected) << std::hex << c.rop;
    }
}

TEST(EngineBitBlt, MaskChoosesForegroundOrBackgroundRop) {
    Machine machine;
    Bitmap target(6, 2, BMF_8BPP, 100), source(6, 2, BMF_8BPP, 0);
    Mask mask({"0000000", "0101100", "0011010"});
    Brush brush(200);
    RECTL r = rect(0, 0, 6, 2);
    POINTL sp{0, 0}, mp{1, 1};
    // Where the mask is 1: SRCCOPY; where 0: PATCOPY.
    ASSERT_TRUE(EngBitBlt(target.so(), source.so(), mask.so(), nullptr, nullptr, &r, &sp, &mp, brush.obj, nullptr, 0xF0CC));
    std::vector<BYTE> expected = {0, 200, 0, 0, 200, 200, 200, 0, 0, 200, 0, 200};
    for (LONG i = 0; i < 12; ++i) EXPECT_EQ(target.at(i % 6, i / 6), expected[size_t(i)]) << i;
    // No mask: the foreground ROP everywhere.
    ASSERT_TRUE(EngBitBlt(target.so(), nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, brush.obj, nullptr, 0xCCF0));
    EXPECT_EQ(target.at(0, 0), 200);
}

TEST(EngineBitBlt, PatternBrushFollowsTheBrushOrigin) {
    Machine machine;
    Bitmap pattern(3, 2);
    pattern.set({"#.5", "..#"});
    XLATEOBJ* xlate = engine::createXlate({}, BMF_8BPP);
    Brush brush(engine::createPatternBrush(reinterpret_cast<HSURF>(pattern.so()->hsurf), xlate, HS_DDI_MAX, nullptr,
                                           nullptr));
    engine::deleteXlate(xlate);
    ASSERT_NE(brush.obj, nullptr);
    pattern.set({"...", "..."});  // the brush keeps its own copy
    Bitmap target(7, 3, BMF_8BPP, 7);
    RECTL r = rect(1, 0, 7, 3);
    POINTL origin{2, 1};
    ASSERT_TRUE(EngBitBlt(target.so(), nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, brush.obj, &origin, 0xF0F0));
    // Pixel (x, y) shows pattern ((x - 2) mod 3, (y - 1) mod 2).
    EXPECT_EQ(target.picture(), (std::vector<std::string>{"+#..#..", "++#.+#.", "+#..#.."}));
    EXPECT_EQ(target.at(4, 1), 125);
    EXPECT_EQ(target.at(0, 1), 7);
    // PATINVERT of the same pattern at the same origin (the general path) clears it all.
    ASSERT_TRUE(EngBitBlt(target.so(), nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, brush.obj, &origin, 0x5A5A));
    EXPECT_EQ(target.picture(), (std::vector<std::string>{"+######", "+######", "+######"}));
}

TEST(EngineBitBlt, EachClipKindLimitsTheDrawing) {
    Machine machine;
    RECTL whole{0, 0, 6, 4};
    CLIPOBJ* trivial = engine::createClip({}, whole);
    CLIPOBJ* one = engine::createClip({{1, 1, 3, 3}}, whole);
    CLIPOBJ* complex = engine::createClip({{0, 0, 2, 1}, {4, 2, 6, 4}, {3, 3, 5, 4}}, whole);
    struct Case {
        CLIPOBJ* clip;
        std::vector<std::string> expected;
    };
    for (const Case& c : {Case{nullptr, {"......", ".####.", ".####.", "......"}},
                          Case{trivial, {"......", ".####.", ".####.", "......"}},
                          Case{one, {"......", ".##...", ".##...", "......"}},
                          Case{complex, {"......", "......", "....#.", "......"}}}) {
        Bitmap target(6, 4);
        Brush black(0);
        RECTL r = rect(1, 1, 5, 3);
        ASSERT_TRUE(EngBitBlt(target.so(), nullptr, nullptr, c.clip, nullptr, &r, nullptr, nullptr, black.obj, nullptr,
                              0xF0F0));
        EXPECT_EQ(target.picture(), c.expected);
    }
    EngDeleteClip(complex);
    EngDeleteClip(one);
    EngDeleteClip(trivial);
}

TEST(EngineBitBlt, SourcesOfEachDepthGoThroughTheTranslation) {
    Machine machine;
    struct Case {
        const char* name;
        ULONG format;
        std::vector<BYTE> bytes;  // the first row
        std::vector<ULONG> palette;
        std::vector<BYTE> expected;
    };
    std::vector<Case> cases = {
        {"1 bit, no translation", BMF_1BPP, {0xA0}, {}, {255, 0, 255, 0}},
        {"1 bit, palette", BMF_1BPP, {0xA0}, {0x0000FF, 0x808080}, {128, 76, 128, 76}},
        {"8 bits, no translation", BMF_8BPP, {0, 9, 200, 255}, {}, {0, 9, 200, 255}},
        {"8 bits, palette", BMF_8BPP, {0, 1, 2, 1}, {0xFFFFFF, 0x00FF00, 0xFF0000}, {255, 150, 27, 150}},
        {"24 bits", BMF_24BPP, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}, {}, {76, 150, 27, 255}},
        {"32 bits", BMF_32BPP, {0, 0, 255, 9, 0, 255, 0, 9, 255, 0, 0, 9, 10, 10, 10, 9}, {}, {76, 150, 27, 10}},
    };
    for (const Case& c : cases) {
        Bitmap source(4, 1, c.format, 0);
        std::memcpy(source.row(0), c.bytes.data(), c.bytes.size());
        XLATEOBJ* xlate = c.palette.empty() ? nullptr : engine::createXlate(c.palette, c.format);
        Bitmap target(5, 1, BMF_8BPP, 7);
        RECTL r = rect(1, 0, 5, 1);
        POINTL sp{0, 0};
        ASSERT_TRUE(EngCopyBits(target.so(), source.so(), nullptr, xlate, &r, &sp)) << c.name;
        EXPECT_EQ(target.at(0, 0), 7) << c.name;
        for (LONG x = 0; x < 4; ++x) EXPECT_EQ(target.at(x + 1, 0), c.expected[size_t(x)]) << c.name << " " << x;
        if (xlate) engine::deleteXlate(xlate);
    }
    // A true-colour translation of the engine's gives the same greys.
    Bitmap source(1, 1, BMF_24BPP, 0);
    source.row(0)[2] = 255;
    XLATEOBJ* rgb = engine::createXlate({}, BMF_24BPP);
    Bitmap target(1, 1);
    RECTL r = rect(0, 0, 1, 1);
    POINTL sp{0, 0};
    ASSERT_TRUE(EngCopyBits(target.so(), source.so(), nullptr, rgb, &r, &sp));
    EXPECT_EQ(target.at(0, 0), 76);
    engine::deleteXlate(rgb);
}

TEST(EngineBitBlt, OverlappingCopiesReadBeforeWriting) {
    Machine machine;
    struct Case {
        LONG dx, dy;
        bool complexClip;
        bool bottomUp;
    };
    for (const Case& c : {Case{1, 1, false, false}, Case{-1, -1, false, false}, Case{2, 0, false, true},
                          Case{0, 2, true, false}, Case{-2, 1, true, true}}) {
        Bitmap surface(8, 6, BMF_8BPP, 0, c.bottomUp ? 0 : BMF_TOPDOWN);
        std::vector<BYTE> before;
        for (LONG y = 0; y < 6; ++y)
            for (LONG x = 0; x < 8; ++x) before.push_back(surface.at(x, y) = BYTE(y * 8 + x));
        RECTL r = rect(2 + c.dx, 2 + c.dy, 6 + c.dx, 4 + c.dy);
        POINTL sp{2, 2};
        CLIPOBJ* clip = c.complexClip ? engine::createClip({{0, 0, 8, 3}, {0, 3, 3, 6}, {4, 3, 8, 6}}, RECTL{0, 0, 8, 6})
                                      : nullptr;
        ASSERT_TRUE(EngBitBlt(surface.so(), surface.so(), nullptr, clip, nullptr, &r, &sp, nullptr, nullptr, nullptr,
                              0xCCCC));
        for (LONG y = 0; y < 6; ++y)
            for (LONG x = 0; x < 8; ++x) {
                bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom && !(c.complexClip && x == 3 && y >= 3);
                BYTE expected = inside ? before[size_t((y - c.dy) * 8 + (x - c.dx))] : before[size_t(y * 8 + x)];
                ASSERT_EQ(surface.at(x, y), expected) << c.dx << "," << c.dy << " at " << x << "," << y;
            }
        if (clip) EngDeleteClip(clip);
    }
}

TEST(EngineBitBlt, RefusesBadArguments) {
    Machine machine;
    Bitmap target(4, 4), colour(4, 4, BMF_24BPP), source(4, 4);
    Brush brush(0);
    RECTL r = rect(0, 0, 4, 4);
    POINTL sp{0, 0};
    struct Case {
        const char* name;
        SURFOBJ* target;
        SURFOBJ* source;
        RECTL* rect;
        POINTL* point;
        BRUSHOBJ* brush;
        ROP4 rop;
    };
    SURFOBJ fake{};
    for (const Case& c : {Case{"no target", nullptr, source.so(), &r, &sp, nullptr, 0xCCCC},
                          Case{"24-bit target", colour.so(), source.so(), &r, &sp, nullptr, 0xCCCC},
                          Case{"target without bits", &fake, source.so(), &r, &sp, nullptr, 0xCCCC},
                          Case{"no rectangle", target.so(), source.so(), nullptr, &sp, nullptr, 0xCCCC},
                          Case{"no source", target.so(), nullptr, &r, &sp, nullptr, 0xCCCC},
                          Case{"no source point", target.so(), source.so(), &r, nullptr, nullptr, 0xCCCC},
                          Case{"no brush", target.so(), nullptr, &r, nullptr, nullptr, 0xF0F0}}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(EngBitBlt(c.target, c.source, nullptr, nullptr, nullptr, c.rect, c.point, nullptr, c.brush,
                               nullptr, c.rop))
            << c.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;
    }
    // A source that is not needed may be missing; a rectangle past every edge draws only inside.
    RECTL huge = rect(-100000, -100000, 100000, 100000);
    EXPECT_TRUE(EngBitBlt(target.so(), nullptr, nullptr, nullptr, nullptr, &huge, nullptr, nullptr, brush.obj, nullptr,
                          0xF0F0));
    EXPECT_EQ(target.at(3, 3), 0);
}

// ---- Copies into other formats -----------------------------------------------------------------------

TEST(EngineCopyBits, WritesGreyIntoTrueColourAndMonochrome) {
    Machine machine;
    Bitmap page(3, 1);
    page.set({"#5."});
    Bitmap rgb(3, 1, BMF_24BPP, 9), mono(3, 1, BMF_1BPP, 0);
    RECTL r = rect(0, 0, 3, 1);
    POINTL sp{0, 0};
    ASSERT_TRUE(EngCopyBits(rgb.so(), page.so(), nullptr, nullptr, &r, &sp));
    EXPECT_EQ(std::vector<BYTE>(rgb.row(0), rgb.row(0) + 9), (std::vector<BYTE>{0, 0, 0, 125, 125, 125, 255, 255, 255}));
    ASSERT_TRUE(EngCopyBits(mono.so(), page.so(), nullptr, nullptr, &r, &sp));
    EXPECT_EQ(mono.row(0)[0], 0x20);
}

// ---- Stretching ----------------------------------------------------------------------------------

TEST(EngineStretchBlt, NearestPixelEnlargesAndMirrors) {
    Machine machine;
    Bitmap source(3, 2);
    source.set({"#.5", ".#."});
    struct Case {
        RECTL target;
        std::vector<std::string> expected;
    };
    for (const Case& c : {Case{{0, 0, 6, 2}, {"##..++", "..##.."}},
                          Case{{6, 0, 0, 2}, {"++..##", "..##.."}},   // mirrored left to right
                          Case{{0, 4, 3, 0}, {".#.", ".#.", "#.+", "#.+"}}}) {  // upside down, twice as tall
        Bitmap target(6, 4);
        RECTL sr = rect(0, 0, 3, 2);
        RECTL tr = c.target;
        ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &sr,
                                  nullptr, COLORONCOLOR));
        std::vector<std::string> picture = target.picture();
        picture.resize(c.expected.size());
        for (auto& line : picture) line.resize(c.expected[0].size());
        EXPECT_EQ(picture, c.expected);
    }
}

TEST(EngineStretchBlt, HalftoneAveragesTheSourceArea) {
    Machine machine;
    Bitmap source(4, 2);
    source.set({"#.#.", "##.."});
    Bitmap target(3, 1);
    RECTL sr = rect(0, 0, 4, 2), tr = rect(0, 0, 2, 1);
    ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &sr, nullptr,
                              HALFTONE));
    EXPECT_EQ(target.at(0, 0), 64);   // three black of four
    EXPECT_EQ(target.at(1, 0), 191);  // one black of four
    EXPECT_EQ(target.at(2, 0), 255);
    // Three source columns onto two: the middle one is split between them.
    Bitmap three(3, 1);
    three.set({"#.#"});
    RECTL s3 = rect(0, 0, 3, 1);
    ASSERT_TRUE(EngStretchBlt(target.so(), three.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &s3, nullptr,
                              HALFTONE));
    EXPECT_EQ(target.at(0, 0), 85);
    EXPECT_EQ(target.at(1, 0), 85);
    EXPECT_FALSE(EngStretchBlt(target.so(), three.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &s3, nullptr, 0));
}

// Rows of many pixels, shrunk, enlarged and mirrored, against the area average worked out here in
// double precision: every target pixel within one level of it (the engine sums in single
// precision), and pixels whose area lies outside the source left as they were.
TEST(EngineStretchBlt, HalftoneAveragesWideRowsLikeTheAreaAverage) {
    Machine machine;
    const LONG sw = 37, sh = 5;
    Bitmap source(sw, sh);
    for (LONG y = 0; y < sh; ++y)
        for (LONG x = 0; x < sw; ++x) source.at(x, y) = BYTE((x * 53 + y * 91 + x * y * 7) % 256);
    auto expected = [&](LONG u, LONG tn, LONG s0, LONG sn, bool flip, LONG v, LONG tm, LONG t0, LONG sm) {
        const LONG ku = flip ? tn - 1 - u : u;
        const double a = s0 + double(ku) * sn / tn, b = s0 + double(ku + 1) * sn / tn;
        const double c = t0 + double(v) * sm / tm, d = t0 + double(v + 1) * sm / tm;
        double sum = 0, weight = 0;
        for (LONG y = 0; y < sh; ++y)
            for (LONG x = 0; x < sw; ++x) {
                const double w = std::max(0.0, std::min(b, x + 1.0) - std::max(a, double(x))) *
                                 std::max(0.0, std::min(d, y + 1.0) - std::max(c, double(y)));
                sum += w * source.at(x, y);
                weight += w;
            }
        return weight > 0 ? int(sum / weight + 0.5) : -1;  // -1: nothing of the source under it
    };
    struct Case {
        RECTL target, source;
    };
    const Case cases[] = {
        {{0, 0, 23, 3}, {0, 0, 37, 5}},   // shrunk
        {{0, 0, 36, 5}, {0, 0, 37, 5}},   // a little narrower
        {{0, 0, 50, 7}, {0, 0, 37, 5}},   // enlarged
        {{29, 0, 0, 4}, {0, 0, 37, 5}},   // mirrored
        {{0, 0, 45, 5}, {-4, 0, 41, 5}},  // the source rectangle reaches past the bitmap on both sides
    };
    for (const Case& c : cases) {
        Bitmap target(50, 7, BMF_8BPP, 7);
        RECTL tr = c.target, sr = c.source;
        ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &sr,
                                  nullptr, HALFTONE));
        const RECTL t = {std::min(tr.left, tr.right), std::min(tr.top, tr.bottom), std::max(tr.left, tr.right),
                         std::max(tr.top, tr.bottom)};
        const bool flip = tr.left > tr.right;
        for (LONG y = t.top; y < t.bottom; ++y)
            for (LONG x = t.left; x < t.right; ++x) {
                const int want = expected(x - t.left, t.right - t.left, sr.left, sr.right - sr.left, flip, y - t.top,
                                          t.bottom - t.top, sr.top, sr.bottom - sr.top);
                const int got = target.at(x, y);
                if (want < 0)
                    EXPECT_EQ(got, 7) << "left alone at " << x << "," << y;
                else
                    EXPECT_LE(std::abs(got - want), 1) << "at " << x << "," << y << " of target " << t.right - t.left
                                                       << " x " << t.bottom - t.top;
            }
    }
}

TEST(EngineStretchBlt, OverlappingSourceAndMask) {
    Machine machine;
    Bitmap surface(4, 1);
    surface.set({"#5.."});
    RECTL sr = rect(0, 0, 2, 1), tr = rect(0, 0, 4, 1);
    ASSERT_TRUE(EngStretchBlt(surface.so(), surface.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &tr, &sr,
                              nullptr, COLORONCOLOR));
    EXPECT_EQ(surface.picture()[0], "##++");
    Bitmap target(4, 1), source(2, 1, BMF_8BPP, 0);
    Mask mask({"01"});
    POINTL mp{0, 0};
    ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), mask.so(), nullptr, nullptr, nullptr, nullptr, &tr, &sr, &mp,
                              COLORONCOLOR));
    EXPECT_EQ(target.picture()[0], "..##");
}

// ---- Colour keys, blending, parallelograms -------------------------------------------------------------

TEST(EngineTransparentBlt, LeavesTheTransparentColour) {
    Machine machine;
    Bitmap source(3, 1);
    source.set({"#5."});
    Bitmap target(3, 1, BMF_8BPP, 50);
    RECTL sr = rect(0, 0, 3, 1), tr = rect(0, 0, 3, 1);
    ASSERT_TRUE(EngTransparentBlt(target.so(), source.so(), nullptr, nullptr, &tr, &sr, 255, 0));
    EXPECT_EQ(std::vector<BYTE>(target.row(0), target.row(0) + 3), (std::vector<BYTE>{0, 125, 50}));
}

TEST(EngineAlphaBlend, ConstantAndPerPixelAlpha) {
    Machine machine;
    Bitmap grey(1, 1, BMF_8BPP, 0);
    Bitmap target(2, 1, BMF_8BPP, 200);
    RECTL sr = rect(0, 0, 1, 1), tr = rect(0, 0, 2, 1);
    BLENDOBJ half{{AC_SRC_OVER, 0, 128, 0}};
    ASSERT_TRUE(EngAlphaBlend(target.so(), grey.so(), nullptr, nullptr, &tr, &sr, &half));
    EXPECT_EQ(target.at(0, 0), 100);  // (0 * 128 + 200 * 127 + 127) / 255
    EXPECT_EQ(target.at(1, 0), 100);

    // Premultiplied: white at alpha 128 is (128, 128, 128, 128).
    Bitmap argb(2, 1, BMF_32BPP, 0);
    BYTE pixels[8] = {128, 128, 128, 128, 0, 0, 0, 0};
    std::memcpy(argb.row(0), pixels, 8);
    Bitmap onto(2, 1, BMF_8BPP, 0);
    RECTL s2 = rect(0, 0, 2, 1);
    BLENDOBJ perPixel{{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
    ASSERT_TRUE(EngAlphaBlend(onto.so(), argb.so(), nullptr, nullptr, &s2, &s2, &perPixel));
    EXPECT_EQ(onto.at(0, 0), 128);
    EXPECT_EQ(onto.at(1, 0), 0);
    EXPECT_FALSE(EngAlphaBlend(onto.so(), grey.so(), nullptr, nullptr, &s2, &sr, &perPixel)) << "alpha needs 32 bits";
    EXPECT_FALSE(EngAlphaBlend(onto.so(), argb.so(), nullptr, nullptr, &s2, &s2, nullptr));
}

TEST(EnginePlgBlt, MapsOntoTheParallelogram) {
    Machine machine;
    Bitmap source(2, 2);
    source.set({"#5", ".."});
    struct Case {
        std::vector<POINTFIX> points;
        std::vector<std::string> expected;
    };
    // Identity, and a quarter turn (top-left to (4,0), top-right to (4,2), bottom-left to (2,0)).
    for (const Case& c : {Case{{{0, 0}, {32, 0}, {0, 32}}, {"#+..", "....", "....", "...."}},
                          Case{{{64, 0}, {64, 32}, {32, 0}}, {"...#", "...+", "....", "...."}},
                          Case{{{0, 0}, {64, 0}, {0, 32}}, {"##++", "....", "....", "...."}}}) {
        Bitmap target(4, 4);
        for (LONG y = 0; y < 4; ++y) std::memset(target.row(y), 255, 4);
        RECTL sr = rect(0, 0, 2, 2);
        std::vector<POINTFIX> pts = c.points;
        ASSERT_TRUE(EngPlgBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, pts.data(), &sr,
                              nullptr, COLORONCOLOR));
        EXPECT_EQ(target.picture(), c.expected);
    }
}

}  // namespace
