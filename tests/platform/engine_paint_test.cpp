// Painting of the graphics engine onto 8-bit grey bitmaps: regions under a mix, filled paths by
// both rules, lines and their last pixel, stroked figures, wide and styled lines, text with its
// opaque rectangle, gradients, and never a byte outside the surface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/engine.h"
#include "platform/testing/machine.h"
#include "win/winddi.h"

namespace {

using platform::testing::Machine;
namespace engine = platform::engine;

class Bitmap {
public:
    Bitmap(LONG cx, LONG cy, BYTE fill = 255) {
        handle_ = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, cx, BMF_8BPP, BMF_TOPDOWN, nullptr));
        so_ = EngLockSurface(handle_);
        std::memset(so_->pvBits, fill, so_->cjBits);
    }
    ~Bitmap() {
        EngUnlockSurface(so_);
        EngDeleteSurface(handle_);
    }
    SURFOBJ* so() const { return so_; }
    BYTE& at(LONG x, LONG y) const { return static_cast<BYTE*>(so_->pvScan0)[ptrdiff_t(y) * so_->lDelta + x]; }
    std::vector<std::string> picture() const {
        std::vector<std::string> out;
        for (LONG y = 0; y < so_->sizlBitmap.cy; ++y) {
            std::string line;
            for (LONG x = 0; x < so_->sizlBitmap.cx; ++x) line += at(x, y) == 0 ? '#' : at(x, y) == 255 ? '.' : '+';
            out.push_back(line);
        }
        return out;
    }
    int count(BYTE value) const {
        int n = 0;
        for (LONG y = 0; y < so_->sizlBitmap.cy; ++y)
            for (LONG x = 0; x < so_->sizlBitmap.cx; ++x) n += at(x, y) == value;
        return n;
    }

private:
    HSURF handle_ = nullptr;
    SURFOBJ* so_ = nullptr;
};

struct Brush {
    BRUSHOBJ* obj;
    explicit Brush(int grey) : obj(engine::createSolidBrush(ULONG(grey))) {}
    ~Brush() { engine::deleteBrush(obj); }
};

struct Path {
    PATHOBJ* obj = EngCreatePath();
    ~Path() { EngDeletePath(obj); }
    // Points in pixels; each list one closed figure.
    Path& polygon(const std::vector<POINTL>& points) {
        PATHOBJ_bMoveTo(obj, POINTFIX{points[0].x * 16, points[0].y * 16});
        for (size_t i = 1; i < points.size(); ++i) {
            POINTFIX p{points[i].x * 16, points[i].y * 16};
            PATHOBJ_bPolyLineTo(obj, &p, 1);
        }
        PATHOBJ_bCloseFigure(obj);
        return *this;
    }
    Path& line(const std::vector<POINTL>& points) {
        PATHOBJ_bMoveTo(obj, POINTFIX{points[0].x * 16, points[0].y * 16});
        for (size_t i = 1; i < points.size(); ++i) {
            POINTFIX p{points[i].x * 16, points[i].y * 16};
            PATHOBJ_bPolyLineTo(obj, &p, 1);
        }
        return *this;
    }
};

constexpr MIX kCopyPen = R2_COPYPEN | (R2_COPYPEN << 8);
constexpr MIX kXorPen = R2_XORPEN | (R2_XORPEN << 8);

// ---- Regions -------------------------------------------------------------------------------------

TEST(EnginePaint, FillsTheClipUnderTheMix) {
    Machine machine;
    struct Case {
        MIX mix;
        BYTE brush, before, expected;
    };
    for (const Case& c : {Case{R2_COPYPEN, 0x5A, 0x0F, 0x5A}, Case{R2_XORPEN, 0x3C, 0x0F, 0x33},
                          Case{R2_MASKPEN, 0x3C, 0x0F, 0x0C}, Case{R2_NOT, 0, 0x0F, 0xF0},
                          Case{R2_MERGENOTPEN, 0x3C, 0x0F, 0xCF}, Case{R2_NOP, 0, 0x0F, 0x0F},
                          Case{R2_WHITE, 0, 0x0F, 0xFF}}) {
        Bitmap target(4, 2, c.before);
        Brush brush(c.brush);
        CLIPOBJ* clip = engine::createClip({{1, 0, 3, 1}}, RECTL{0, 0, 4, 2});
        ASSERT_TRUE(EngPaint(target.so(), clip, brush.obj, nullptr, c.mix)) << c.mix;
        EXPECT_EQ(target.at(1, 0), c.expected) << c.mix;
        EXPECT_EQ(target.at(2, 0), c.expected) << c.mix;
        EXPECT_EQ(target.at(0, 0), c.before) << c.mix;
        EXPECT_EQ(target.at(1, 1), c.before) << c.mix;
        EngDeleteClip(clip);
    }
    Bitmap target(2, 2);
    Brush brush(0);
    EXPECT_FALSE(EngPaint(target.so(), nullptr, brush.obj, nullptr, 0)) << "no ROP2 in the mix";
    EXPECT_FALSE(EngPaint(target.so(), nullptr, nullptr, nullptr, kCopyPen));
}

// ---- Filled paths ------------------------------------------------------------------------------------

TEST(EngineFillPath, RectangleFillsItsTopLeftPixels) {
    Machine machine;
    Bitmap target(8, 7);
    Brush black(0);
    Path path;
    path.polygon({{2, 1}, {6, 1}, {6, 4}, {2, 4}});
    ASSERT_TRUE(EngFillPath(target.so(), path.obj, nullptr, black.obj, nullptr, kCopyPen, FP_ALTERNATEMODE));
    EXPECT_EQ(target.picture(), (std::vector<std::string>{"........", "..####..", "..####..", "..####..", "........",
                                                          "........", "........"}));
    // Half-pixel edges: pixel centres on the left and top edges count, on the right and bottom not.
    Bitmap half(6, 4);
    Path fraction;
    POINTFIX pts[] = {{40, 8}, {72, 8}, {72, 40}, {40, 40}};  // (2.5, 0.5) .. (4.5, 2.5)
    PATHOBJ_bMoveTo(fraction.obj, pts[0]);
    PATHOBJ_bPolyLineTo(fraction.obj, pts + 1, 3);
    ASSERT_TRUE(EngFillPath(half.so(), fraction.obj, nullptr, black.obj, nullptr, kCopyPen, FP_WINDINGMODE));
    EXPECT_EQ(half.picture(), (std::vector<std::string>{"......", "...##.", "...##.", "......"}));
}

TEST(EngineFillPath, StarDiffersByFillRule) {
    Machine machine;
    // A five-pointed star drawn in one stroke: its centre is wound twice.
    std::vector<POINTL> star;
    for (int i = 0; i < 5; ++i) {
        double a = -M_PI / 2 + i * 4 * M_PI / 5;
        star.push_back(POINTL{static_cast<LONG>(std::lround(20 + 18 * std::cos(a))),
                              static_cast<LONG>(std::lround(20 + 18 * std::sin(a)))});
    }
    Bitmap alternate(40, 40), winding(40, 40);
    Brush black(0);
    Path path;
    path.polygon(star);
    ASSERT_TRUE(EngFillPath(alternate.so(), path.obj, nullptr, black.obj, nullptr, kCopyPen, FP_ALTERNATEMODE));
    ASSERT_TRUE(EngFillPath(winding.so(), path.obj, nullptr, black.obj, nullptr, kCopyPen, FP_WINDINGMODE));
    EXPECT_EQ(alternate.at(20, 20), 255) << "alternate leaves the centre";
    EXPECT_EQ(winding.at(20, 20), 0) << "winding fills it";
    EXPECT_EQ(alternate.at(20, 5), 0) << "both fill the points";
    EXPECT_EQ(winding.at(20, 5), 0);
    EXPECT_EQ(winding.at(1, 1), 255);
    // Every pixel alternate fills, winding fills too, and winding fills the pentagon besides.
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 40; ++x)
            if (alternate.at(x, y) == 0) {
                ASSERT_EQ(winding.at(x, y), 0) << x << "," << y;
            }
    EXPECT_GT(winding.count(0), alternate.count(0) + 60);
    EXPECT_FALSE(EngFillPath(winding.so(), path.obj, nullptr, black.obj, nullptr, kCopyPen, 0));
}

TEST(EngineFillPath, BezierCircleIsRound) {
    Machine machine;
    // A circle of radius 20 about (32, 32) from four Béziers.
    const double r = 20 * 16, k = 0.5523 * r, cx = 32 * 16, cy = 32 * 16;
    auto fx = [](double v) { return static_cast<FIX>(std::lround(v)); };
    Path path;
    PATHOBJ_bMoveTo(path.obj, POINTFIX{fx(cx + r), fx(cy)});
    POINTFIX curves[] = {
        {fx(cx + r), fx(cy + k)}, {fx(cx + k), fx(cy + r)}, {fx(cx), fx(cy + r)},
        {fx(cx - k), fx(cy + r)}, {fx(cx - r), fx(cy + k)}, {fx(cx - r), fx(cy)},
        {fx(cx - r), fx(cy - k)}, {fx(cx - k), fx(cy - r)}, {fx(cx), fx(cy - r)},
        {fx(cx + k), fx(cy - r)}, {fx(cx + r), fx(cy - k)}, {fx(cx + r), fx(cy)},
    };
    ASSERT_TRUE(PATHOBJ_bPolyBezierTo(path.obj, curves, 12));
    PATHOBJ_bCloseFigure(path.obj);
    Bitmap target(64, 64);
    Brush black(0);
    ASSERT_TRUE(EngFillPath(target.so(), path.obj, nullptr, black.obj, nullptr, kCopyPen, FP_ALTERNATEMODE));
    for (LONG y = 0; y < 64; ++y)
        for (LONG x = 0; x < 64; ++x) {
            double d = std::hypot(x - 32.0, y - 32.0);
            if (d < 19.5) {
                ASSERT_EQ(target.at(x, y), 0) << x << "," << y;
            }
            if (d > 20.5) {
                ASSERT_EQ(target.at(x, y), 255) << x << "," << y;
            }
        }
    EXPECT_NEAR(target.count(0), M_PI * 400, 40);
}

// ---- Lines ---------------------------------------------------------------------------------------

std::vector<std::string> lineTo(LONG x1, LONG y1, LONG x2, LONG y2, CLIPOBJ* clip = nullptr) {
    Bitmap target(7, 5);
    Brush black(0);
    EXPECT_TRUE(EngLineTo(target.so(), clip, black.obj, x1, y1, x2, y2, nullptr, kCopyPen));
    return target.picture();
}

TEST(EngineLineTo, LeavesOutTheLastPixel) {
    Machine machine;
    struct Case {
        RECTL line;
        std::vector<std::string> expected;
    };
    for (const Case& c : {
             Case{{1, 1, 5, 1}, {".......", ".####..", ".......", ".......", "......."}},
             Case{{5, 1, 1, 1}, {".......", "..####.", ".......", ".......", "......."}},
             Case{{0, 0, 4, 4}, {"#......", ".#.....", "..#....", "...#...", "......."}},
             Case{{0, 0, 6, 3}, {"##.....", "..##...", "....##.", ".......", "......."}},  // ties go up
             Case{{6, 3, 0, 0}, {".#.....", "..##...", "....##.", "......#", "......."}},  // the same way back
             Case{{1, 0, 2, 4}, {".#.....", ".#.....", ".#.....", "..#....", "......."}},  // ties go left
             Case{{3, 3, 3, 3}, {".......", ".......", ".......", ".......", "......."}},
             Case{{-10, 2, 100, 2}, {".......", ".......", "#######", ".......", "......."}},
         }) {
        EXPECT_EQ(lineTo(c.line.left, c.line.top, c.line.right, c.line.bottom), c.expected)
            << c.line.left << "," << c.line.top << " to " << c.line.right << "," << c.line.bottom;
    }
    CLIPOBJ* clip = engine::createClip({{2, 0, 4, 5}}, RECTL{0, 0, 7, 5});
    EXPECT_EQ(lineTo(0, 0, 6, 3, clip), (std::vector<std::string>{".......", "..##...", ".......", ".......", "......."}));
    EngDeleteClip(clip);
}

TEST(EngineStrokePath, ClosedFiguresDrawEveryEdgeOnce) {
    Machine machine;
    // XOR shows a pixel drawn twice: none is.
    Bitmap target(7, 6, 0);
    Brush white(255);
    LINEATTRS cosmetic{};
    Path path;
    path.polygon({{1, 1}, {5, 1}, {5, 4}, {1, 4}});
    ASSERT_TRUE(EngStrokePath(target.so(), path.obj, nullptr, nullptr, white.obj, nullptr, &cosmetic, kXorPen));
    EXPECT_EQ(target.picture(), (std::vector<std::string>{"#######", "#.....#", "#.###.#", "#.###.#", "#.....#",
                                                          "#######"}));
    // An open figure leaves out its last pixel.
    Bitmap open(7, 3);
    Brush black(0);
    Path polyline;
    polyline.line({{0, 0}, {3, 0}, {3, 2}});
    ASSERT_TRUE(EngStrokePath(open.so(), polyline.obj, nullptr, nullptr, black.obj, nullptr, &cosmetic, kCopyPen));
    EXPECT_EQ(open.picture(), (std::vector<std::string>{"####...", "...#...", "......."}));
    EXPECT_FALSE(EngStrokePath(open.so(), polyline.obj, nullptr, nullptr, black.obj, nullptr, nullptr, kCopyPen));
}

TEST(EngineStrokePath, StyledAndWideLines) {
    Machine machine;
    Brush black(0);
    Path path;
    path.line({{0, 1}, {10, 1}});
    struct Case {
        const char* name;
        LINEATTRS line;
        std::vector<std::string> expected;
    };
    FLOAT_LONG dashes[] = {{}, {}};
    dashes[0].l = 3;
    dashes[1].l = 1;
    LINEATTRS alternate{};
    alternate.fl = LA_ALTERNATE;
    LINEATTRS styled{};
    styled.fl = LA_STYLED;
    styled.cstyle = 2;
    styled.pstyle = dashes;
    LINEATTRS gap = styled;
    gap.fl |= LA_STARTGAP;
    LINEATTRS wide{};
    wide.fl = LA_GEOMETRIC;
    wide.elWidth.e = 2.0f;
    wide.iEndCap = ENDCAP_BUTT;
    wide.iJoin = JOIN_MITER;
    LINEATTRS square = wide;
    square.iEndCap = ENDCAP_SQUARE;
    for (const Case& c : {Case{"alternate", alternate, {"............", "#.#.#.#.#...", "............", "............"}},
                          Case{"dashes", styled, {"............", "###.###.##..", "............", "............"}},
                          Case{"starting with a gap", gap, {"............", "...#...#....", "............", "............"}},
                          Case{"two wide", wide, {"##########..", "##########..", "............", "............"}},
                          Case{"square caps", square, {"###########.", "###########.", "............", "............"}}}) {
        Bitmap target(12, 4);
        LINEATTRS line = c.line;
        ASSERT_TRUE(EngStrokePath(target.so(), path.obj, nullptr, nullptr, black.obj, nullptr, &line, kCopyPen)) << c.name;
        EXPECT_EQ(target.picture(), c.expected) << c.name;
    }
    // A wide path round a corner stays one piece under XOR (no pixel filled twice).
    Path corner;
    corner.line({{2, 2}, {8, 2}, {8, 8}});
    Bitmap target(12, 12, 0);
    Brush white(255);
    LINEATTRS joined = wide;
    joined.elWidth.e = 3.0f;
    ASSERT_TRUE(EngStrokePath(target.so(), corner.obj, nullptr, nullptr, white.obj, nullptr, &joined, kXorPen));
    EXPECT_EQ(target.at(8, 2), 255);
    EXPECT_EQ(target.at(9, 1), 255) << "the mitred corner";
    EXPECT_EQ(target.at(5, 2), 255);
    EXPECT_EQ(target.at(5, 5), 0);
}

// ---- Text ----------------------------------------------------------------------------------------

TEST(EngineTextOut, OpaqueRectangleThenGlyphsWithinTheClip) {
    Machine machine;
    engine::Glyph t{{2, 4}, {0, -3}, {3, 3}, {0xE0, 0x40, 0x40}};
    engine::Glyph l{{6, 4}, {0, -3}, {2, 3}, {0x80, 0x80, 0xC0}};
    engine::TextObjects objects = engine::createText({t, l}, FO_TYPE_RASTER, RECTL{2, 1, 8, 4});
    Bitmap target(10, 6);
    Brush ink(0), back(128);
    RECTL opaque{1, 0, 9, 5};
    CLIPOBJ* clip = engine::createClip({{0, 0, 7, 6}}, RECTL{0, 0, 10, 6});
    RECTL extra[] = {{2, 4, 8, 5}, {0, 0, 0, 0}};
    ASSERT_TRUE(EngTextOut(target.so(), objects.text, objects.font, clip, extra, &opaque, ink.obj, back.obj, nullptr,
                           kCopyPen));
    EXPECT_EQ(target.picture(), (std::vector<std::string>{".++++++...", ".+###+#...", ".++#++#...", ".++#++#...",
                                                          ".+#####...", ".........."}));
    EngDeleteClip(clip);
    engine::deleteText(objects);
    EXPECT_FALSE(EngTextOut(target.so(), nullptr, nullptr, nullptr, nullptr, nullptr, ink.obj, nullptr, nullptr, kCopyPen));
}

// ---- Gradients -----------------------------------------------------------------------------------

TEST(EngineGradientFill, RectanglesAndTrianglesShadeInGrey) {
    Machine machine;
    Bitmap target(256, 3);
    TRIVERTEX v[] = {{0, 0, 0, 0, 0, 0}, {255, 2, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT rect{0, 1};
    ASSERT_TRUE(EngGradientFill(target.so(), nullptr, nullptr, v, 2, &rect, 1, nullptr, nullptr, GRADIENT_FILL_RECT_H));
    for (LONG x = 0; x < 256; x += 17) EXPECT_EQ(target.at(x, 1), x) << x;
    EXPECT_EQ(target.at(5, 2), 255) << "below the rectangle";
    // Red alone is 77/256 of white.
    TRIVERTEX red[] = {{0, 0, 0xFF00, 0, 0, 0}, {4, 4, 0xFF00, 0, 0, 0}};
    Bitmap small(4, 4);
    ASSERT_TRUE(EngGradientFill(small.so(), nullptr, nullptr, red, 2, &rect, 1, nullptr, nullptr, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(small.at(3, 3), 76);
    // A triangle, black at its right angle.
    TRIVERTEX tri[] = {{0, 0, 0, 0, 0, 0}, {8, 0, 0xFF00, 0xFF00, 0xFF00, 0}, {0, 8, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_TRIANGLE mesh{0, 1, 2};
    Bitmap shaded(8, 8, 7);
    ASSERT_TRUE(EngGradientFill(shaded.so(), nullptr, nullptr, tri, 3, &mesh, 1, nullptr, nullptr, GRADIENT_FILL_TRIANGLE));
    EXPECT_EQ(shaded.at(0, 0), 0);
    EXPECT_EQ(shaded.at(4, 0), 127);
    EXPECT_EQ(shaded.at(2, 2), 127);
    EXPECT_EQ(shaded.at(7, 7), 7) << "outside the triangle";
    GRADIENT_TRIANGLE bad{0, 1, 3};
    EXPECT_FALSE(EngGradientFill(shaded.so(), nullptr, nullptr, tri, 3, &bad, 1, nullptr, nullptr, GRADIENT_FILL_TRIANGLE));
}

// ---- Never outside the surface -----------------------------------------------------------------------

TEST(EngineSurfaceBounds, NoCallWritesOutsideTheSurface) {
    Machine machine;
    // A 6 x 5 surface of rows of 9 bytes in the middle of a guarded buffer, bottom-up.
    const LONG cx = 6, cy = 5, stride = 9, guard = 64;
    std::vector<BYTE> buffer(size_t(guard * 2 + stride * cy), 0xEE);
    BYTE* bits = buffer.data() + guard;
    HSURF handle = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, stride, BMF_8BPP, 0, bits));
    SURFOBJ* so = EngLockSurface(handle);
    auto untouchedOutside = [&](const char* what) {
        for (size_t i = 0; i < buffer.size(); ++i) {
            ptrdiff_t offset = ptrdiff_t(i) - guard;
            bool pixel = offset >= 0 && offset < stride * cy && offset % stride < cx;
            if (!pixel) {
                ASSERT_EQ(buffer[i], 0xEE) << what << ": byte " << offset;
            }
        }
    };
    Brush black(0);
    Bitmap source(40, 40, 0);
    RECTL huge{-50, -50, 50, 50};
    POINTL zero{0, 0}, far{-20, -20};
    CLIPOBJ* clip = engine::createClip({{-10, -10, 3, 100}, {4, -5, 100, 3}}, RECTL{-100, -100, 100, 100});
    for (CLIPOBJ* c : {static_cast<CLIPOBJ*>(nullptr), clip}) {
        EngBitBlt(so, source.so(), nullptr, c, nullptr, &huge, &far, nullptr, black.obj, nullptr, 0x6666);
        EngBitBlt(so, nullptr, nullptr, c, nullptr, &huge, nullptr, nullptr, black.obj, nullptr, 0x5A5A);
        untouchedOutside("EngBitBlt");
        EngCopyBits(so, source.so(), c, nullptr, &huge, &zero);
        untouchedOutside("EngCopyBits");
        RECTL sourceRect{0, 0, 40, 40}, mirrored{50, 50, -50, -50};
        EngStretchBlt(so, source.so(), nullptr, c, nullptr, nullptr, nullptr, &mirrored, &sourceRect, nullptr, COLORONCOLOR);
        EngStretchBlt(so, source.so(), nullptr, c, nullptr, nullptr, nullptr, &huge, &sourceRect, nullptr, HALFTONE);
        untouchedOutside("EngStretchBlt");
        EngTransparentBlt(so, source.so(), c, nullptr, &huge, &sourceRect, 7, 0);
        BLENDOBJ blend{{AC_SRC_OVER, 0, 100, 0}};
        EngAlphaBlend(so, source.so(), c, nullptr, &huge, &sourceRect, &blend);
        POINTFIX plg[] = {{-800, -800}, {800, -800}, {-800, 800}};
        EngPlgBlt(so, source.so(), nullptr, c, nullptr, nullptr, nullptr, plg, &sourceRect, nullptr, COLORONCOLOR);
        untouchedOutside("EngTransparentBlt, EngAlphaBlend, EngPlgBlt");
        EngPaint(so, c, black.obj, nullptr, R2_NOT);
        Path path;
        path.polygon({{-30, -30}, {30, -20}, {2, 40}});
        EngFillPath(so, path.obj, c, black.obj, nullptr, kXorPen, FP_WINDINGMODE);
        LINEATTRS cosmetic{}, wide{};
        wide.fl = LA_GEOMETRIC;
        wide.elWidth.e = 7.0f;
        EngStrokePath(so, path.obj, c, nullptr, black.obj, nullptr, &cosmetic, kXorPen);
        EngStrokePath(so, path.obj, c, nullptr, black.obj, nullptr, &wide, kXorPen);
        EngLineTo(so, c, black.obj, -1000000, 3, 1000000, -2, nullptr, kXorPen);
        EngLineTo(so, c, black.obj, 2, -2000000000, 3, 2000000000, nullptr, kXorPen);
        untouchedOutside("paths and lines");
        engine::Glyph g{{-3, 2}, {0, -4}, {20, 9}, std::vector<BYTE>(27, 0xFF)};
        engine::TextObjects text = engine::createText({g}, FO_TYPE_RASTER, RECTL{-3, -2, 17, 7});
        RECTL opaque{-9, -9, 90, 90};
        RECTL extra[] = {{-5, 4, 60, 60}, {0, 0, 0, 0}};
        EngTextOut(so, text.text, text.font, c, extra, &opaque, black.obj, black.obj, nullptr, kXorPen);
        engine::deleteText(text);
        TRIVERTEX v[] = {{-10, -10, 0, 0, 0, 0}, {20, 20, 0xFF00, 0, 0, 0}, {-10, 30, 0, 0xFF00, 0, 0}};
        GRADIENT_RECT rect{0, 1};
        GRADIENT_TRIANGLE tri{0, 1, 2};
        EngGradientFill(so, c, nullptr, v, 3, &rect, 1, nullptr, nullptr, GRADIENT_FILL_RECT_V);
        EngGradientFill(so, c, nullptr, v, 3, &tri, 1, nullptr, nullptr, GRADIENT_FILL_TRIANGLE);
        untouchedOutside("text and gradients");
    }
    EngDeleteClip(clip);
    EngUnlockSurface(so);
    EngDeleteSurface(handle);
}

}  // namespace
