// The graphics engine's surfaces, devices and drawing objects: bitmaps and their locks, device
// surfaces, clips and their enumeration, colour translation, brushes and their realisation by the
// driver, paths and text objects.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/engine.h"
#include "platform/testing/machine.h"
#include "win/winddi.h"

namespace {

using platform::testing::Machine;
namespace engine = platform::engine;

HSURF asSurface(HBITMAP bitmap) { return reinterpret_cast<HSURF>(bitmap); }

// ---- Bitmaps -------------------------------------------------------------------------------------

TEST(EngineBitmap, RowsRunTopDownOrBottomUpOverTheCallersBits) {
    Machine machine;
    std::vector<BYTE> bits(10 * 3, 0x77);
    struct Case {
        FLONG flags;
        LONG width;
        ptrdiff_t scan0Offset;
        LONG delta;
    };
    for (const Case& c : {Case{BMF_TOPDOWN, 10, 0, 10}, Case{0, 10, 20, -10}, Case{0, -10, 20, -10}}) {
        HSURF surface = asSurface(EngCreateBitmap(SIZEL{8, 3}, c.width, BMF_8BPP, c.flags, bits.data()));
        ASSERT_NE(surface, nullptr);
        SURFOBJ* so = EngLockSurface(surface);
        ASSERT_NE(so, nullptr);
        EXPECT_EQ(so->pvBits, bits.data());
        EXPECT_EQ(static_cast<BYTE*>(so->pvScan0) - bits.data(), c.scan0Offset) << c.flags;
        EXPECT_EQ(so->lDelta, c.delta);
        EXPECT_EQ(so->cjBits, 30u);
        EXPECT_EQ(so->iType, STYPE_BITMAP);
        EXPECT_EQ(so->iBitmapFormat, static_cast<ULONG>(BMF_8BPP));
        EXPECT_EQ(so->hsurf, surface);
        EXPECT_EQ(bits[0], 0x77) << "the caller's bits are not cleared";
        EngUnlockSurface(so);
        EXPECT_TRUE(EngDeleteSurface(surface));
    }
}

TEST(EngineBitmap, OwnBitsAreZeroedWithWholeWordRows) {
    Machine machine;
    struct Case {
        ULONG format;
        LONG cx;
        LONG stride;
    };
    for (const Case& c : {Case{BMF_1BPP, 33, 8}, Case{BMF_8BPP, 5, 8}, Case{BMF_24BPP, 3, 12}, Case{BMF_32BPP, 3, 12}}) {
        HSURF surface = asSurface(EngCreateBitmap(SIZEL{c.cx, 4}, 0, c.format, BMF_TOPDOWN, nullptr));
        ASSERT_NE(surface, nullptr) << c.format;
        SURFOBJ* so = EngLockSurface(surface);
        EXPECT_EQ(so->lDelta, c.stride) << c.format;
        const BYTE* p = static_cast<const BYTE*>(so->pvBits);
        for (ULONG i = 0; i < so->cjBits; ++i) ASSERT_EQ(p[i], 0) << c.format;
        EngUnlockSurface(so);
        EngDeleteSurface(surface);
    }
}

TEST(EngineBitmap, RefusesWhatItCannotMake) {
    Machine machine;
    BYTE bits[64];
    struct Case {
        SIZEL size;
        LONG width;
        ULONG format;
        PVOID bits;
    };
    for (const Case& c : {Case{{4, 4}, 4, BMF_4BPP, nullptr}, Case{{4, 4}, 4, BMF_16BPP, nullptr},
                          Case{{0, 4}, 4, BMF_8BPP, nullptr}, Case{{4, -1}, 4, BMF_8BPP, nullptr},
                          Case{{8, 4}, 4, BMF_8BPP, bits}}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(EngCreateBitmap(c.size, c.width, c.format, 0, c.bits), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    platform::setFault("EngCreateBitmap", platform::Fault());
    EXPECT_EQ(EngCreateBitmap(SIZEL{4, 4}, 4, BMF_8BPP, 0, nullptr), nullptr);
    EXPECT_NE(EngCreateBitmap(SIZEL{4, 4}, 4, BMF_8BPP, 0, nullptr), nullptr);
    EXPECT_EQ(EngLockSurface(nullptr), nullptr);
    EXPECT_FALSE(EngDeleteSurface(nullptr));
}

// ---- Devices and device surfaces ---------------------------------------------------------------------

BOOL APIENTRY FakeCompletePdev() { return TRUE; }

TEST(EngineDevice, SurfacesCarryTheirDevice) {
    Machine machine;
    DRVFN functions[] = {{INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&FakeCompletePdev))}};
    HDEV hdev = engine::createDevice(DRVENABLEDATA{DDI_DRIVER_VERSION_NT5, 1, functions});
    ASSERT_NE(hdev, nullptr);
    EXPECT_EQ(engine::driverFunction(hdev, INDEX_DrvCompletePDEV), reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&FakeCompletePdev)));
    EXPECT_EQ(engine::driverFunction(hdev, INDEX_DrvBitBlt), nullptr);
    auto pdev = reinterpret_cast<DHPDEV>(static_cast<uintptr_t>(0x1230));
    engine::setDevicePdev(hdev, pdev);
    EXPECT_EQ(engine::devicePdev(hdev), pdev);

    size_t before = engine::liveSurfaceCount();
    auto dhsurf = reinterpret_cast<DHSURF>(static_cast<uintptr_t>(0x4560));
    HSURF surface = EngCreateDeviceSurface(dhsurf, SIZEL{100, 200}, BMF_8BPP);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(engine::liveSurfaceCount(), before + 1);
    EXPECT_TRUE(EngAssociateSurface(surface, hdev, HOOK_BITBLT | HOOK_TEXTOUT));
    EXPECT_TRUE(EngMarkBandingSurface(surface));
    auto info = engine::surfaceInfo(surface);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->hdev, hdev);
    EXPECT_EQ(info->hooks, static_cast<FLONG>(HOOK_BITBLT | HOOK_TEXTOUT));
    EXPECT_TRUE(info->device);
    EXPECT_TRUE(info->banding);
    EXPECT_EQ(info->dhsurf, dhsurf);
    EXPECT_EQ(info->size.cy, 200);

    SURFOBJ* so = engine::lockForDriver(surface);
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->dhsurf, dhsurf);
    EXPECT_EQ(so->hsurf, surface);
    EXPECT_EQ(so->dhpdev, pdev);
    EXPECT_EQ(so->hdev, hdev);
    EXPECT_EQ(so->iType, STYPE_DEVICE);
    EXPECT_EQ(so->pvBits, nullptr);
    EXPECT_EQ(so->sizlBitmap.cx, 100);

    // Deleted while locked: the handle goes at once, the SURFOBJ with the last unlock.
    EXPECT_EQ(EngLockSurface(surface), so);
    EXPECT_TRUE(EngDeleteSurface(surface));
    EXPECT_FALSE(engine::surfaceInfo(surface));
    EXPECT_EQ(engine::liveSurfaceCount(), before);
    EXPECT_EQ(so->dhsurf, dhsurf);
    EngUnlockSurface(so);
    EXPECT_EQ(so->hsurf, surface);
    EngUnlockSurface(so);
    EXPECT_FALSE(EngAssociateSurface(surface, hdev, 0));
    engine::deleteDevice(hdev);
    EXPECT_EQ(engine::driverFunction(hdev, INDEX_DrvCompletePDEV), nullptr);
}

// ---- Clips -------------------------------------------------------------------------------------------

struct Batch {
    ULONG c;
    RECTL arcl[2];
};

std::vector<RECTL> enumerate(CLIPOBJ* clip, ULONG direction, ULONG bufferSize = sizeof(Batch)) {
    std::vector<RECTL> out;
    CLIPOBJ_cEnumStart(clip, TRUE, CT_RECTANGLES, direction, 0);
    Batch batch;
    BOOL more;
    int guard = 0;
    do {
        more = CLIPOBJ_bEnum(clip, bufferSize, reinterpret_cast<ULONG*>(&batch));
        EXPECT_LE(batch.c, (bufferSize - sizeof(ULONG)) / sizeof(RECTL));
        for (ULONG i = 0; i < batch.c; ++i) out.push_back(batch.arcl[i]);
    } while (more && ++guard < 100);
    return out;
}

std::string text(const std::vector<RECTL>& rects) {
    std::string s;
    for (const RECTL& r : rects)
        s += "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
             std::to_string(r.bottom) + ")";
    return s;
}

TEST(EngineClip, ComplexClipsAreBandedAndEnumerateInEachDirection) {
    Machine machine;
    // Two overlapping squares and one reaching past the surface: merged into bands, cut to the surface.
    CLIPOBJ* clip = engine::createClip({{0, 0, 4, 4}, {2, 2, 6, 6}, {8, 0, 20, 2}}, RECTL{0, 0, 10, 10});
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->iDComplexity, DC_COMPLEX);
    EXPECT_EQ(text({clip->rclBounds}), "(0,0,10,6)");
    EXPECT_EQ(CLIPOBJ_cEnumStart(clip, TRUE, CT_RECTANGLES, CD_ANY, 0), 4u);
    EXPECT_EQ(CLIPOBJ_cEnumStart(clip, TRUE, CT_RECTANGLES, CD_ANY, 3), 0xFFFFFFFFu);
    struct Case {
        ULONG direction;
        const char* expected;
    };
    for (const Case& c : {Case{CD_RIGHTDOWN, "(0,0,4,2)(8,0,10,2)(0,2,6,4)(2,4,6,6)"},
                          Case{CD_LEFTDOWN, "(8,0,10,2)(0,0,4,2)(0,2,6,4)(2,4,6,6)"},
                          Case{CD_RIGHTUP, "(2,4,6,6)(0,2,6,4)(0,0,4,2)(8,0,10,2)"},
                          Case{CD_LEFTUP, "(2,4,6,6)(0,2,6,4)(8,0,10,2)(0,0,4,2)"}}) {
        EXPECT_EQ(text(enumerate(clip, c.direction)), c.expected) << c.direction;
        // A buffer for one rectangle gets them one at a time.
        EXPECT_EQ(text(enumerate(clip, c.direction, sizeof(ULONG) + sizeof(RECTL))), c.expected) << c.direction;
    }
    Batch batch;
    CLIPOBJ_cEnumStart(clip, TRUE, CT_RECTANGLES, CD_ANY, 0);
    EXPECT_FALSE(CLIPOBJ_bEnum(clip, sizeof(ULONG) + 8, reinterpret_cast<ULONG*>(&batch)));
    EXPECT_EQ(batch.c, 0u);
    EngDeleteClip(clip);
}

TEST(EngineClip, SimpleClipsAndTheDriversOwn) {
    Machine machine;
    CLIPOBJ* whole = engine::createClip({}, RECTL{0, 0, 10, 10});
    EXPECT_EQ(whole->iDComplexity, DC_TRIVIAL);
    EXPECT_EQ(text(enumerate(whole, CD_ANY)), "(0,0,10,10)");
    CLIPOBJ* one = engine::createClip({{-5, 2, 3, 30}}, RECTL{0, 0, 10, 10});
    EXPECT_EQ(one->iDComplexity, DC_RECT);
    EXPECT_EQ(text({one->rclBounds}), "(0,2,3,10)");
    CLIPOBJ* own = EngCreateClip();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->iDComplexity, DC_TRIVIAL);
    own->iDComplexity = DC_RECT;
    own->rclBounds = RECTL{1, 2, 3, 4};
    EXPECT_EQ(text(enumerate(own, CD_ANY)), "(1,2,3,4)");
    EngDeleteClip(own);
    EngDeleteClip(one);
    EngDeleteClip(whole);
    EngDeleteClip(nullptr);
    platform::setFault("EngCreateClip", platform::Fault());
    EXPECT_EQ(EngCreateClip(), nullptr);
}

// ---- Colour translation ----------------------------------------------------------------------------

TEST(EngineXlate, PalettesAndTrueColourBecomeGrey) {
    Machine machine;
    // 0x00BBGGRR: red in the low byte.
    XLATEOBJ* palette = engine::createXlate({0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}, BMF_8BPP);
    ASSERT_NE(palette, nullptr);
    EXPECT_TRUE(palette->flXlate & XO_TABLE);
    EXPECT_EQ(XLATEOBJ_iXlate(palette, 0), 76u);   // (77 * 255) >> 8
    EXPECT_EQ(XLATEOBJ_iXlate(palette, 1), 150u);  // (151 * 255) >> 8
    EXPECT_EQ(XLATEOBJ_iXlate(palette, 2), 27u);   // (28 * 255) >> 8
    EXPECT_EQ(XLATEOBJ_iXlate(palette, 3), 255u);
    EXPECT_EQ(palette->cEntries, 4u);
    EXPECT_EQ(palette->pulXlate[1], 150u);
    EXPECT_EQ(XLATEOBJ_cGetPalette(palette, XO_SRCPALETTE, 0, nullptr), 4u);
    ULONG colours[4] = {};
    EXPECT_EQ(XLATEOBJ_cGetPalette(palette, XO_SRCPALETTE, 2, colours), 2u);
    EXPECT_EQ(colours[1], 0x00FF00u);
    EXPECT_EQ(colours[2], 0u);
    EXPECT_EQ(XLATEOBJ_cGetPalette(palette, XO_DESTPALETTE, 4, colours), 4u);
    EXPECT_EQ(colours[3], 0x030303u);

    // True colour: the pixel 0x00RRGGBB as read from its B, G, R bytes.
    XLATEOBJ* rgb = engine::createXlate({}, BMF_24BPP);
    EXPECT_EQ(XLATEOBJ_iXlate(rgb, 0xFF0000), 76u);
    EXPECT_EQ(XLATEOBJ_iXlate(rgb, 0x0000FF), 27u);
    std::vector<ULONG> greys;
    for (ULONG i = 0; i < 256; ++i) greys.push_back(i * 0x010101u);
    XLATEOBJ* trivial = engine::createXlate(greys, BMF_8BPP);
    EXPECT_TRUE(trivial->flXlate & XO_TRIVIAL);
    EXPECT_EQ(XLATEOBJ_iXlate(trivial, 200), 200u);
    EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 1234), 1234u);
    engine::deleteXlate(trivial);
    engine::deleteXlate(rgb);
    engine::deleteXlate(palette);
}

// ---- Brushes -----------------------------------------------------------------------------------------

struct Realized {
    int calls = 0;
    SURFOBJ* target = nullptr;
    SURFOBJ* pattern = nullptr;
    SURFOBJ* mask = reinterpret_cast<SURFOBJ*>(1);
    XLATEOBJ* xlate = nullptr;
    ULONG hatch = 99;
    BYTE firstPixel = 0;
    ULONG firstGrey = 0;
    BOOL answer = TRUE;
};
Realized realized;

BOOL APIENTRY FakeRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask, XLATEOBJ* xlate,
                               ULONG hatch) {
    ++realized.calls;
    realized.target = target;
    realized.pattern = pattern;
    realized.mask = mask;
    realized.xlate = xlate;
    realized.hatch = hatch;
    realized.firstPixel = pattern ? *static_cast<BYTE*>(pattern->pvScan0) : 0;
    realized.firstGrey = XLATEOBJ_iXlate(xlate, realized.firstPixel);
    if (!realized.answer) return FALSE;
    auto* block = static_cast<ULONG*>(BRUSHOBJ_pvAllocRbrush(brush, 64));
    if (!block) return FALSE;
    block[0] = 0xB0B0;
    return TRUE;
}

TEST(EngineBrush, RealisationComesFromTheDevicesDrvRealizeBrush) {
    Machine machine;
    realized = Realized{};
    DRVFN functions[] = {{INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&FakeRealizeBrush))}};
    HDEV hdev = engine::createDevice(DRVENABLEDATA{DDI_DRIVER_VERSION_NT5, 1, functions});
    auto pdev = reinterpret_cast<DHPDEV>(static_cast<uintptr_t>(0x7770));
    engine::setDevicePdev(hdev, pdev);
    HSURF device = EngCreateDeviceSurface(nullptr, SIZEL{64, 64}, BMF_8BPP);
    EngAssociateSurface(device, hdev, HOOK_BITBLT);

    HSURF pattern = asSurface(EngCreateBitmap(SIZEL{8, 8}, 8, BMF_8BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* p = EngLockSurface(pattern);
    std::memset(p->pvBits, 2, 64);
    XLATEOBJ* xlate = engine::createXlate({0, 0x808080, 0x0000FF}, BMF_8BPP);
    size_t surfaces = engine::liveSurfaceCount();
    BRUSHOBJ* brush = engine::createPatternBrush(pattern, xlate, HS_DDI_MAX, nullptr, device);
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(engine::liveSurfaceCount(), surfaces) << "the engine's copy of the pattern is not counted";
    EXPECT_EQ(brush->iSolidColor, 0xFFFFFFFFu);
    // The caller's pattern and translation may go: the brush keeps copies.
    std::memset(p->pvBits, 1, 64);
    EngUnlockSurface(p);
    EngDeleteSurface(pattern);
    engine::deleteXlate(xlate);

    auto* block = static_cast<ULONG*>(BRUSHOBJ_pvGetRbrush(brush));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0xB0B0u);
    EXPECT_EQ(brush->pvRbrush, block);
    EXPECT_EQ(realized.calls, 1);
    ASSERT_NE(realized.target, nullptr);
    EXPECT_EQ(realized.target->dhpdev, pdev);
    ASSERT_NE(realized.pattern, nullptr);
    EXPECT_EQ(realized.firstPixel, 2);
    EXPECT_EQ(realized.firstGrey, 76u);
    EXPECT_EQ(realized.mask, nullptr);
    EXPECT_EQ(realized.hatch, static_cast<ULONG>(HS_DDI_MAX));
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(brush), block);
    EXPECT_EQ(realized.calls, 1) << "realised once";
    engine::deleteBrush(brush);

    // A driver that fails, a brush without a device, a solid brush: no realisation.
    realized.answer = FALSE;
    BRUSHOBJ* hatch = engine::createPatternBrush(nullptr, nullptr, HS_CROSS, hdev, nullptr);
    ASSERT_NE(hatch, nullptr);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(hatch), nullptr);
    EXPECT_EQ(realized.calls, 2);
    EXPECT_EQ(realized.hatch, static_cast<ULONG>(HS_CROSS));
    EXPECT_EQ(realized.target, nullptr);
    BRUSHOBJ* solid = engine::createSolidBrush(128);
    EXPECT_EQ(solid->iSolidColor, 128u);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(solid), nullptr);
    platform::setFault("BRUSHOBJ_pvAllocRbrush", platform::Fault());
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(solid, 16), nullptr);
    EXPECT_NE(BRUSHOBJ_pvAllocRbrush(solid, 16), nullptr);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(nullptr), nullptr);
    engine::deleteBrush(solid);
    engine::deleteBrush(hatch);
    EngDeleteSurface(device);
    engine::deleteDevice(hdev);
}

// ---- Paths ---------------------------------------------------------------------------------------

TEST(EnginePath, RecordsFiguresOfLinesAndBeziers) {
    Machine machine;
    PATHOBJ* path = EngCreatePath();
    ASSERT_NE(path, nullptr);
    POINTFIX lines[] = {{160, 0}, {160, 160}};
    POINTFIX curve[] = {{100, 200}, {50, 200}, {0, 160}};
    EXPECT_TRUE(PATHOBJ_bMoveTo(path, POINTFIX{0, 0}));
    EXPECT_TRUE(PATHOBJ_bPolyLineTo(path, lines, 2));
    EXPECT_TRUE(PATHOBJ_bPolyBezierTo(path, curve, 3));
    EXPECT_TRUE(PATHOBJ_bCloseFigure(path));
    POINTFIX more[] = {{-32, 48}};
    EXPECT_TRUE(PATHOBJ_bPolyLineTo(path, more, 1));  // a new figure from the closed one's start
    EXPECT_FALSE(PATHOBJ_bPolyBezierTo(path, curve, 2));
    EXPECT_EQ(path->cCurves, 4u);
    EXPECT_TRUE(path->fl & PO_BEZIERS);
    RECTFX bounds;
    PATHOBJ_vGetBounds(path, &bounds);
    EXPECT_EQ(bounds.xLeft, -32);
    EXPECT_EQ(bounds.yTop, 0);
    EXPECT_EQ(bounds.xRight, 160);
    EXPECT_EQ(bounds.yBottom, 200);

    struct Record {
        FLONG flags;
        std::vector<LONG> xs;
    };
    std::vector<Record> records;
    PATHOBJ_vEnumStart(path);
    PATHDATA data;
    BOOL more2;
    do {
        more2 = PATHOBJ_bEnum(path, &data);
        Record r{data.flags, {}};
        for (ULONG i = 0; i < data.count; ++i) r.xs.push_back(data.pptfx[i].x);
        records.push_back(r);
    } while (more2 && records.size() < 10);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].flags, static_cast<FLONG>(PD_BEGINSUBPATH | PD_RESETSTYLE));
    EXPECT_EQ(records[0].xs, (std::vector<LONG>{0, 160, 160}));
    EXPECT_EQ(records[1].flags, static_cast<FLONG>(PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE));
    EXPECT_EQ(records[1].xs, (std::vector<LONG>{100, 50, 0}));
    EXPECT_EQ(records[2].flags, static_cast<FLONG>(PD_BEGINSUBPATH | PD_RESETSTYLE | PD_ENDSUBPATH));
    EXPECT_EQ(records[2].xs, (std::vector<LONG>{0, -32}));
    EngDeletePath(path);
}

// ---- Text ----------------------------------------------------------------------------------------

TEST(EngineText, GlyphsComeOutInOneBatch) {
    Machine machine;
    engine::Glyph a{{10, 20}, {0, -2}, {9, 2}, {0xFF, 0x80, 0x01, 0x00}};
    engine::Glyph b{{20, 20}, {1, -1}, {1, 1}, {0x80}};
    engine::TextObjects objects = engine::createText({a, b}, FO_TYPE_TRUETYPE, RECTL{10, 18, 21, 20});
    ASSERT_NE(objects.text, nullptr);
    EXPECT_EQ(objects.font->flFontType, static_cast<FLONG>(FO_TYPE_TRUETYPE));
    EXPECT_EQ(objects.text->cGlyphs, 2u);
    EXPECT_EQ(objects.text->rclBkGround.right, 21);
    ULONG count = 0;
    GLYPHPOS* glyphs = nullptr;
    STROBJ_vEnumStart(objects.text);
    EXPECT_FALSE(STROBJ_bEnum(objects.text, &count, &glyphs));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(glyphs[1].ptl.x, 20);
    const GLYPHBITS* gb = glyphs[0].pgdf->pgb;
    EXPECT_EQ(gb->sizlBitmap.cx, 9);
    EXPECT_EQ(gb->ptlOrigin.y, -2);
    EXPECT_EQ(gb->aj[1], 0x80);
    EXPECT_EQ(gb->aj[2], 0x01);
    EXPECT_FALSE(STROBJ_bEnum(objects.text, &count, &glyphs));
    EXPECT_EQ(count, 0u);
    engine::deleteText(objects);
}

}  // namespace
