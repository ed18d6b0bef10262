// Raster operations and the halftone screen, checked against plain per-pixel references.
#include "raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/control.h"

namespace {

using Bytes = std::vector<BYTE>;

// The screen matrices as the printer's documentation gives them, kept here on their own so a slip
// in the library's copy shows.
constexpr BYTE kT[16][16] = {
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
constexpr BYTE kB[16][16] = {
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

constexpr BYTE kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

Bytes randomImage(LONG w, LONG h, uint32_t salt) {
    std::mt19937 rng(salt);
    Bytes img(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (auto& b : img) {
        b = static_cast<BYTE>(rng());
    }
    return img;
}

// ---- Plain references, written pixel by pixel --------------------------------------------------

// Level of the 1200-dpi screen, straight from the rule.
int referenceLevel(int pixel, int t) {
    int v = pixel == 0 ? 255 : 255 - pixel - t;
    if (v < 0) {
        v = 0;
    }
    if (v == 0) return 0;
    if (v <= 23) return 1;
    if (v <= 63) return 2;
    return 3;
}

// Pixels in row order, packed MSB first; only whole bytes are produced.
Bytes referenceScreen(const Bytes& img, LONG w, LONG h, LONG dpi) {
    const int bits = dpi == 1200 ? 2 : 1;
    const uint64_t totalBits = static_cast<uint64_t>(w) * h * bits;
    Bytes out(totalBits / 8, 0);
    uint64_t k = 0;
    for (LONG y = 0; y < h; ++y) {
        for (LONG x = 0; x < w; ++x, k += bits) {
            const int p = img[static_cast<size_t>(y) * w + x];
            const int t = kT[y % 16][x % 16];
            const int code = bits == 2 ? referenceLevel(p, t) : (p < t ? 1 : 0);
            if (k / 8 < out.size()) {
                out[k / 8] |= static_cast<BYTE>(code << (8 - bits - k % 8));
            }
        }
    }
    return out;
}

// Screens img and checks that nothing past the expected bytes is written.
Bytes screen(const Bytes& img, LONG w, LONG h, LONG dpi) {
    const size_t bytes = static_cast<size_t>(w) * h * (dpi == 1200 ? 2 : 1) / 8;
    Bytes out(bytes + kGuardBytes, 0);
    std::fill(out.begin() + static_cast<ptrdiff_t>(bytes), out.end(), kGuard);
    EXPECT_EQ(HalftonePage(img.data(), w, h, out.data(), dpi), 0);
    for (size_t i = bytes; i < out.size(); ++i) {
        EXPECT_EQ(out[i], kGuard) << "written past the raster at " << i;
    }
    out.resize(bytes);
    return out;
}

Bytes referenceTurn(const Bytes& img, LONG w, LONG h, bool clockwise) {
    Bytes out(img.size());
    // Output is h wide, w high; output row i is source column i (clockwise, bottom up) or source
    // column w - 1 - i (counter-clockwise, top down).
    for (LONG i = 0; i < w; ++i) {
        for (LONG j = 0; j < h; ++j) {
            const BYTE v = clockwise ? img[static_cast<size_t>(h - 1 - j) * w + i]
                                     : img[static_cast<size_t>(j) * w + (w - 1 - i)];
            out[static_cast<size_t>(i) * h + j] = v;
        }
    }
    return out;
}

Bytes referenceMirror(const Bytes& img, LONG w, LONG h) {
    Bytes out(img.size());
    for (LONG y = 0; y < h; ++y) {
        for (LONG x = 0; x < w; ++x) {
            out[static_cast<size_t>(y) * w + x] = img[static_cast<size_t>(y) * w + (w - 1 - x)];
        }
    }
    return out;
}

bool referenceBorderPixel(LONG x, LONG y, LONG w, LONG h, LONG n, LONG t) {
    const bool band = (y >= n && y < n + t) || (y >= h - n - t && y < h - n);
    if (band) {
        return x >= n && x <= w - n - 1;
    }
    const bool middle = y >= n + t && y < h - n - t;
    return middle && ((x >= n && x < n + t) || (x >= w - n - t && x < w - n));
}

// ---- Tables -------------------------------------------------------------------------------------

TEST(RasterTables, MatricesMatchTheDocumentedValues) {
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            EXPECT_EQ(kThresholdMatrix[r][c], kT[r][c]) << "T[" << r << "][" << c << "]";
            EXPECT_EQ(kBrushScreenMatrix[r][c], kB[r][c]) << "B[" << r << "][" << c << "]";
        }
    }
}

TEST(RasterTables, LevelTableBoundaries) {
    const struct {
        int v;
        int level;
    } cases[] = {{0, 0}, {1, 1}, {23, 1}, {24, 2}, {63, 2}, {64, 3}, {200, 3}, {255, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(kLevelTable[c.v], c.level) << "v = " << c.v;
    }
    EXPECT_EQ(std::count(kLevelTable, kLevelTable + 256, 1), 23);
    EXPECT_EQ(std::count(kLevelTable, kLevelTable + 256, 2), 40);
}

// ---- Halftone screen ----------------------------------------------------------------------------

TEST(RasterHalftone, UniformPagesAtBothResolutions) {
    const LONG w = 64, h = 17;
    const struct {
        BYTE grey;
        LONG dpi;
        BYTE expected;
    } cases[] = {
        {255, 600, 0x00}, {0, 600, 0xFF}, {255, 1200, 0x00}, {0, 1200, 0xFF},
        {255, 300, 0x00}, {0, 0, 0xFF},  // any dpi other than 1200 is the 1-bit screen
    };
    for (const auto& c : cases) {
        const Bytes out = screen(Bytes(w * h, c.grey), w, h, c.dpi);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&](BYTE b) { return b == c.expected; }))
            << "grey " << int(c.grey) << " at " << c.dpi << " dpi";
    }
}

TEST(RasterHalftone, SinglePixelsLandInTheirBits) {
    const LONG w = 32, h = 1;
    auto oneBit = [&](LONG x, BYTE grey) {
        Bytes img(w, 255);
        img[x] = grey;
        const Bytes out = screen(img, w, h, 600);
        return (out[x / 8] >> (7 - x % 8)) & 1;
    };
    EXPECT_EQ(oneBit(0, 128), 0);  // 128 < 6 is false
    EXPECT_EQ(oneBit(2, 128), 1);  // 128 < 233
    EXPECT_EQ(oneBit(31, 4), 1);   // 4 < 5 in the last column
    auto level = [&](LONG x, BYTE grey) {
        Bytes img(w, 255);
        img[x] = grey;
        const Bytes out = screen(img, w, h, 1200);
        return (out[x / 4] >> (6 - 2 * (x % 4))) & 3;
    };
    EXPECT_EQ(level(0, 200), 2);  // v = 255 - 200 - 6 = 49
    EXPECT_EQ(level(11, 0), 3);   // black under the largest threshold (255) is still full toner
    EXPECT_EQ(level(11, 1), 0);   // one step lighter gives nothing there
    EXPECT_EQ(level(3, 255), 0);
    EXPECT_EQ(level(7, 227), 1);  // v = 255 - 227 - 5 = 23
    EXPECT_EQ(level(7, 226), 2);  // v = 24
}

TEST(RasterHalftone, GreyPatchSetsAsManyBitsAsThresholdsAboveIt) {
    const LONG w = 64, h = 48;
    for (int g = 0; g < 256; ++g) {
        int expected = 0;
        for (const auto& row : kT) {
            expected += static_cast<int>(std::count_if(row, row + 16, [&](BYTE t) { return g < t; }));
        }
        const Bytes out = screen(Bytes(w * h, static_cast<BYTE>(g)), w, h, 600);
        for (LONG py = 0; py < h; py += 16) {
            for (LONG px = 0; px < w; px += 16) {
                int set = 0;
                for (LONG y = py; y < py + 16; ++y) {
                    const BYTE* row = out.data() + y * (w / 8) + px / 8;
                    set += std::popcount(row[0]) + std::popcount(row[1]);
                }
                ASSERT_EQ(set, expected) << "grey " << g << " patch " << px << "," << py;
            }
        }
    }
}

TEST(RasterHalftone, EveryValueAtEveryPhaseMatchesReference) {
    // Column group x / 16 holds value x / 16, so each value meets all 256 thresholds.
    const LONG w = 4096, h = 16;
    Bytes img(w * h);
    for (LONG y = 0; y < h; ++y) {
        for (LONG x = 0; x < w; ++x) {
            img[y * w + x] = static_cast<BYTE>(x / 16);
        }
    }
    for (LONG dpi : {600, 1200}) {
        EXPECT_EQ(screen(img, w, h, dpi), referenceScreen(img, w, h, dpi)) << dpi << " dpi";
    }
}

TEST(RasterHalftone, RandomPagesMatchReference) {
    const struct {
        LONG w, h;
    } sizes[] = {{32, 1}, {32, 17}, {96, 33}, {160, 101}, {4736, 19}, {1056, 255}};
    uint32_t salt = 1;
    for (const auto& s : sizes) {
        const Bytes img = randomImage(s.w, s.h, salt++);
        for (LONG dpi : {600, 1200}) {
            ASSERT_EQ(screen(img, s.w, s.h, dpi), referenceScreen(img, s.w, s.h, dpi))
                << s.w << "x" << s.h << " at " << dpi << " dpi";
        }
    }
}

TEST(RasterHalftone, OtherWidthsPackPixelsInRowOrder) {
    // Not a multiple of 32: pixels run on without row padding; a last partial byte is left out.
    const struct {
        LONG w, h;
    } sizes[] = {{48, 5}, {40, 3}, {13, 7}, {1, 9}, {6, 3}};
    uint32_t salt = 100;
    for (const auto& s : sizes) {
        const Bytes img = randomImage(s.w, s.h, salt++);
        for (LONG dpi : {600, 1200}) {
            EXPECT_EQ(screen(img, s.w, s.h, dpi), referenceScreen(img, s.w, s.h, dpi))
                << s.w << "x" << s.h << " at " << dpi << " dpi";
        }
    }
}

TEST(RasterHalftone, BadArgumentsWriteNothing) {
    Bytes img(64, 0);
    Bytes out(16, kGuard);
    const struct {
        const BYTE* image;
        LONG w, h;
        BYTE* out;
    } cases[] = {
        {nullptr, 32, 2, out.data()}, {img.data(), 32, 2, nullptr}, {img.data(), 0, 2, out.data()},
        {img.data(), 32, -1, out.data()}, {img.data(), -32, -2, out.data()},
    };
    for (const auto& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(HalftonePage(c.image, c.w, c.h, c.out, 600), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(out, Bytes(16, kGuard));
    }
}

// ---- Turns and mirror ---------------------------------------------------------------------------

class RasterGeometry : public ::testing::Test {
protected:
    void TearDown() override { platform::clearFaults(); }
};

TEST_F(RasterGeometry, TwoByOneTurnsBothWays) {
    Bytes img = {'a', 'b'};
    ASSERT_TRUE(Rotate90(img.data(), 2, 1, TRUE));
    EXPECT_EQ(img, (Bytes{'a', 'b'}));  // 1 wide, 2 high: [a; b]
    img = {'a', 'b'};
    ASSERT_TRUE(Rotate90(img.data(), 2, 1, FALSE));
    EXPECT_EQ(img, (Bytes{'b', 'a'}));  // [b; a]
}

TEST_F(RasterGeometry, TurnsMatchReferenceOnOddSizes) {
    const struct {
        LONG w, h;
    } sizes[] = {{1, 1},   {1, 7},    {7, 1},     {16, 16},   {17, 33},  {33, 17},
                 {31, 16}, {64, 48},  {100, 37},  {67, 129},  {257, 131}, {64, 64},
                 {200, 128}, {128, 200}, {1024, 640}, {1000, 703}};
    uint32_t salt = 7;
    for (const auto& s : sizes) {
        const Bytes src = randomImage(s.w, s.h, salt++);
        for (bool clockwise : {true, false}) {
            Bytes img = src;
            ASSERT_TRUE(Rotate90(img.data(), s.w, s.h, clockwise ? 1 : 0));
            ASSERT_EQ(img, referenceTurn(src, s.w, s.h, clockwise))
                << s.w << "x" << s.h << (clockwise ? " clockwise" : " counter-clockwise");
            // And back again with the sizes swapped.
            ASSERT_TRUE(Rotate90(img.data(), s.h, s.w, clockwise ? 0 : 1));
            ASSERT_EQ(img, src);
        }
        Bytes img = src;
        ASSERT_TRUE(Rotate180(img.data(), s.w, s.h));
        ASSERT_TRUE(std::equal(img.begin(), img.end(), src.rbegin())) << s.w << "x" << s.h;
        img = src;
        ASSERT_TRUE(MirrorRows(img.data(), s.w, s.h));
        ASSERT_EQ(img, referenceMirror(src, s.w, s.h)) << s.w << "x" << s.h;
    }
}

TEST_F(RasterGeometry, ClockwiseTwiceIsHalfTurn) {
    const LONG w = 45, h = 23;
    const Bytes src = randomImage(w, h, 99);
    Bytes turned = src;
    ASSERT_TRUE(Rotate90(turned.data(), w, h, TRUE));
    ASSERT_TRUE(Rotate90(turned.data(), h, w, TRUE));
    Bytes half = src;
    ASSERT_TRUE(Rotate180(half.data(), w, h));
    EXPECT_EQ(turned, half);
}

TEST_F(RasterGeometry, FailedCopyLeavesImageUntouched) {
    const LONG w = 37, h = 21;
    const Bytes src = randomImage(w, h, 5);
    for (BOOL clockwise : {TRUE, FALSE}) {
        Bytes img = src;
        platform::setFault("HeapAlloc", platform::Fault{});
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(Rotate90(img.data(), w, h, clockwise));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(img, src);
        platform::clearFaults();
    }
}

TEST_F(RasterGeometry, HalfTurnAndMirrorWorkInPlaceWithoutHeap) {
    const LONG w = 37, h = 21;
    const Bytes src = randomImage(w, h, 6);
    Bytes img = src;
    platform::Fault always;
    always.times = -1;
    platform::setFault("HeapAlloc", always);
    EXPECT_TRUE(Rotate180(img.data(), w, h));
    EXPECT_TRUE(std::equal(img.begin(), img.end(), src.rbegin()));
    img = src;
    EXPECT_TRUE(MirrorRows(img.data(), w, h));
    EXPECT_EQ(img, referenceMirror(src, w, h));
}

TEST_F(RasterGeometry, BadSizesAreRefused) {
    Bytes img = randomImage(8, 8, 3);
    const Bytes before = img;
    const struct {
        BYTE* image;
        LONG w, h;
    } cases[] = {
        {nullptr, 8, 8}, {img.data(), 0, 8}, {img.data(), 8, 0}, {img.data(), -8, 8},
        {img.data(), 8, -8}, {img.data(), INT32_MAX, INT32_MAX},  // far beyond any page
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Rotate90(c.image, c.w, c.h, TRUE)) << c.w << "x" << c.h;
        EXPECT_FALSE(Rotate90(c.image, c.w, c.h, FALSE)) << c.w << "x" << c.h;
        EXPECT_FALSE(Rotate180(c.image, c.w, c.h)) << c.w << "x" << c.h;
        EXPECT_FALSE(MirrorRows(c.image, c.w, c.h)) << c.w << "x" << c.h;
        EXPECT_EQ(img, before);
    }
}

// ---- Invert -------------------------------------------------------------------------------------

TEST(RasterInvert, EveryValueFlipsAndNothingBeyondCount) {
    Bytes img(300 + kGuardBytes, kGuard);
    for (int i = 0; i < 300; ++i) {
        img[i] = static_cast<BYTE>(i);
    }
    ASSERT_TRUE(InvertBytes(img.data(), 300));
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(img[i], 255 - (i & 255)) << i;
    }
    EXPECT_TRUE(std::all_of(img.begin() + 300, img.end(), [](BYTE b) { return b == kGuard; }));
}

TEST(RasterInvert, ZeroCountOrNullFails) {
    BYTE b = 7;
    EXPECT_FALSE(InvertBytes(&b, 0));
    EXPECT_EQ(b, 7);
    EXPECT_FALSE(InvertBytes(nullptr, 5));
}

// ---- Frames -------------------------------------------------------------------------------------

TEST(RasterFrame, CenterRowsPlacesImageAtHalfTheSpare) {
    const LONG w = 5, h = 3;
    const Bytes src = randomImage(w, h, 11);
    for (LONG frame : {3, 4, 6, 10}) {
        Bytes target(static_cast<size_t>(w) * frame + kGuardBytes, kGuard);
        ASSERT_TRUE(CenterRowsInFrame(src.data(), w, h, target.data(), frame)) << frame;
        const LONG top = (frame - h) / 2;
        for (LONG y = 0; y < frame; ++y) {
            for (LONG x = 0; x < w; ++x) {
                const BYTE expected = y >= top && y < top + h ? src[(y - top) * w + x] : 255;
                ASSERT_EQ(target[y * w + x], expected) << "frame " << frame << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(std::all_of(target.begin() + w * frame, target.end(),
                                [](BYTE b) { return b == kGuard; }));
    }
}

TEST(RasterFrame, CenterColumnsPlacesEachRowAtHalfTheSpare) {
    const LONG w = 5, h = 3;
    const Bytes src = randomImage(w, h, 12);
    for (LONG frame : {5, 6, 9, 32}) {
        Bytes target(static_cast<size_t>(frame) * h + kGuardBytes, kGuard);
        ASSERT_TRUE(CenterColumnsInFrame(src.data(), w, h, target.data(), frame)) << frame;
        const LONG left = (frame - w) / 2;
        for (LONG y = 0; y < h; ++y) {
            for (LONG x = 0; x < frame; ++x) {
                const BYTE expected = x >= left && x < left + w ? src[y * w + x - left] : 255;
                ASSERT_EQ(target[y * frame + x], expected) << "frame " << frame << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(std::all_of(target.begin() + frame * h, target.end(),
                                [](BYTE b) { return b == kGuard; }));
    }
}

TEST(RasterFrame, RefusalsLeaveTargetUntouched) {
    const LONG w = 6, h = 4;
    Bytes src = randomImage(w, h, 13);
    Bytes target(64, kGuard);
    const Bytes before = target;
    EXPECT_FALSE(CenterRowsInFrame(src.data(), w, h, target.data(), h - 1));   // frame too low
    EXPECT_FALSE(CenterColumnsInFrame(src.data(), w, h, target.data(), w - 1));  // too narrow
    EXPECT_FALSE(CenterRowsInFrame(nullptr, w, h, target.data(), h));
    EXPECT_FALSE(CenterRowsInFrame(src.data(), w, h, nullptr, h));
    EXPECT_FALSE(CenterColumnsInFrame(nullptr, w, h, target.data(), w));
    EXPECT_FALSE(CenterColumnsInFrame(src.data(), w, h, nullptr, w));
    EXPECT_FALSE(CenterRowsInFrame(src.data(), 0, h, target.data(), h));
    EXPECT_FALSE(CenterColumnsInFrame(src.data(), w, 0, target.data(), w));
    EXPECT_EQ(target, before);
    // Framing a buffer into itself (or a neighbour that overlaps it) would read what it wrote.
    Bytes shared(200, 1);
    EXPECT_FALSE(CenterRowsInFrame(shared.data(), w, h, shared.data() + 10, h + 2));
    EXPECT_FALSE(CenterColumnsInFrame(shared.data() + 10, w, h, shared.data(), w + 2));
    EXPECT_EQ(shared, Bytes(200, 1));
}

// ---- Bytes per row ------------------------------------------------------------------------------

TEST(RasterBytesPerRow, ByFormat) {
    const struct {
        LONG width;
        ULONG format;
        LONG bytes;
    } cases[] = {
        {64, 1, 8},     {65, 1, 9},   {7, 1, 1},   {1, 1, 1},  // one bit: whole bytes
        {10, 5, 30},    {100, 3, 100}, {100, 0, 100}, {100, 6, 100},
        {0, 3, 0},      {-8, 1, 0},   {-4, 5, 0},
        {INT32_MAX, 5, 0},  // 3 x width does not fit
        {INT32_MAX, 1, static_cast<LONG>((int64_t{INT32_MAX} + 7) / 8)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesPerRow(c.width, c.format), c.bytes) << c.width << " format " << c.format;
    }
}

// ---- Border -------------------------------------------------------------------------------------

TEST(RasterBorder, MatchesReferenceAndStaysInsideTheImage) {
    const struct {
        LONG w, h, n, t;
    } cases[] = {
        {60, 50, 8, 5},  {300, 200, 100, 50}, {40, 40, 1, 1},  {30, 30, 8, 5},
        {20, 20, 8, 5},  {10, 10, 8, 5},      {5, 200, 8, 5},  {200, 5, 8, 5},
        {1, 1, 1, 1},    {3, 3, 100, 50},
    };
    for (const auto& c : cases) {
        const size_t n = static_cast<size_t>(c.w) * c.h;
        Bytes img(kGuardBytes + n + kGuardBytes, kGuard);
        std::fill(img.begin() + kGuardBytes, img.begin() + kGuardBytes + n, 200);
        BYTE* image = img.data() + kGuardBytes;
        ASSERT_TRUE(DrawPageBorder(image, c.w, c.h, c.n, c.t, kBorderSolid, 0));
        for (LONG y = 0; y < c.h; ++y) {
            for (LONG x = 0; x < c.w; ++x) {
                const BYTE expected = referenceBorderPixel(x, y, c.w, c.h, c.n, c.t) ? 0 : 200;
                ASSERT_EQ(image[y * c.w + x], expected)
                    << c.w << "x" << c.h << " n " << c.n << " t " << c.t << " at " << x << "," << y;
            }
        }
        for (size_t i = 0; i < kGuardBytes; ++i) {
            ASSERT_EQ(img[i], kGuard);
            ASSERT_EQ(img[kGuardBytes + n + i], kGuard);
        }
    }
}

TEST(RasterBorder, FrameOfAPageLiesInsideTheMargin) {
    // Spot check on a page of 100 x 80 with margin 8 and thickness 5.
    const LONG w = 100, h = 80;
    Bytes img(w * h, 255);
    ASSERT_TRUE(DrawPageBorder(img.data(), w, h, 8, 5, kBorderSolid, 0));
    auto at = [&](LONG x, LONG y) { return img[y * w + x]; };
    EXPECT_EQ(at(7, 8), 255);   // margin column
    EXPECT_EQ(at(8, 8), 0);     // top-left corner of the frame
    EXPECT_EQ(at(91, 8), 0);    // top-right corner
    EXPECT_EQ(at(92, 8), 255);
    EXPECT_EQ(at(50, 12), 0);   // last row of the top band
    EXPECT_EQ(at(50, 13), 255); // inside
    EXPECT_EQ(at(12, 40), 0);   // left side, last column
    EXPECT_EQ(at(13, 40), 255);
    EXPECT_EQ(at(87, 40), 0);   // right side, first column
    EXPECT_EQ(at(86, 40), 255);
    EXPECT_EQ(at(50, 71), 0);   // bottom band
    EXPECT_EQ(at(50, 72), 255);
}

TEST(RasterBorder, OutOfRangeArgumentsLeaveImageAsItWas) {
    const struct {
        LONG n, t, style;
    } cases[] = {{101, 5, 1}, {0, 5, 1}, {-1, 5, 1}, {8, 0, 1}, {8, 51, 1}, {8, -5, 1}, {8, 5, 0},
                 {8, 5, 2}};
    Bytes img(60 * 50, 200);
    for (const auto& c : cases) {
        EXPECT_FALSE(DrawPageBorder(img.data(), 60, 50, c.n, c.t, c.style, 0))
            << "n " << c.n << " t " << c.t << " style " << c.style;
    }
    EXPECT_FALSE(DrawPageBorder(nullptr, 60, 50, 8, 5, kBorderSolid, 0));
    EXPECT_FALSE(DrawPageBorder(img.data(), 0, 50, 8, 5, kBorderSolid, 0));
    EXPECT_FALSE(DrawPageBorder(img.data(), 60, -1, 8, 5, kBorderSolid, 0));
    EXPECT_EQ(img, Bytes(60 * 50, 200));
}

// ---- Brush cell ---------------------------------------------------------------------------------

TEST(RasterBrushCell, BitsFollowTheBrushMatrixInverted) {
    for (int g : {0, 1, 2, 27, 28, 128, 200, 254, 255}) {
        BYTE cell[128];
        std::fill(cell, cell + 128, kGuard);
        BuildBrushScreenCell(static_cast<BYTE>(g), cell);
        for (int r = 0; r < 32; ++r) {
            for (int c = 0; c < 32; ++c) {
                const int bit = (cell[r * 4 + c / 8] >> (7 - c % 8)) & 1;
                const int white = g < kB[r % 16][c % 16] ? 0 : 1;
                ASSERT_EQ(bit, white) << "grey " << g << " at " << c << "," << r;
            }
        }
    }
    BYTE cell[128];
    BuildBrushScreenCell(255, cell);
    EXPECT_TRUE(std::all_of(cell, cell + 128, [](BYTE b) { return b == 0xFF; }));
    BuildBrushScreenCell(0, cell);
    EXPECT_TRUE(std::all_of(cell, cell + 128, [](BYTE b) { return b == 0x00; }));
    BuildBrushScreenCell(0, nullptr);  // ignored
}

}  // namespace
