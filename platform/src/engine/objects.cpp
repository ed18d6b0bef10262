// Objects the engine makes for drawing calls: clips, brushes, colour translations, paths and text.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <set>

#include "../internal.h"
#include "objects.h"

namespace platform::engine {

using namespace detail;

namespace {

struct Registry {
    std::set<const void*> clips, xlates, brushes, paths, texts;
    ULONG nextUniq = 1;
};
Registry& registry() {
    static Registry* state = new Registry;
    return *state;
}

template <class T>
T* findIn(std::set<const void*> Registry::*set, const void* object) {
    if (!object) return nullptr;
    std::lock_guard lock(tableMutex());
    auto& r = registry();
    return (r.*set).count(object) ? static_cast<T*>(const_cast<void*>(object)) : nullptr;
}

bool empty(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }

RECTL intersect(const RECTL& a, const RECTL& b) {
    return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

// The union of rectangles as non-overlapping rectangles in bands: every band (a run of rows) holds
// rectangles of the same top and bottom, left to right, and neighbouring bands differ.
std::vector<RECTL> normalise(const std::vector<RECTL>& input) {
    std::vector<RECTL> rects;
    std::vector<LONG> ys;
    for (const RECTL& r : input) {
        if (empty(r)) continue;
        rects.push_back(r);
        ys.push_back(r.top);
        ys.push_back(r.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<RECTL> out;
    size_t previousBand = 0;
    std::vector<std::pair<LONG, LONG>> previous;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        LONG top = ys[i], bottom = ys[i + 1];
        std::vector<std::pair<LONG, LONG>> spans;
        for (const RECTL& r : rects)
            if (r.top <= top && r.bottom >= bottom) spans.emplace_back(r.left, r.right);
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<LONG, LONG>> merged;
        for (auto& s : spans) {
            if (!merged.empty() && s.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, s.second);
            else
                merged.push_back(s);
        }
        if (!merged.empty() && merged == previous && out[previousBand].bottom == top) {
            for (size_t k = previousBand; k < out.size(); ++k) out[k].bottom = bottom;
            continue;
        }
        previousBand = out.size();
        for (auto& s : merged) out.push_back(RECTL{s.first, top, s.second, bottom});
        previous = std::move(merged);
    }
    return out;
}

void fillClip(Clip& clip, const std::vector<RECTL>& rects) {
    clip.rects = rects;
    CLIPOBJ& obj = clip.obj;
    obj.iMode = TC_RECTANGLES;
    if (rects.size() <= 1) {
        obj.iDComplexity = DC_RECT;
        obj.iFComplexity = FC_RECT;
        obj.rclBounds = rects.empty() ? RECTL{0, 0, 0, 0} : rects[0];
        return;
    }
    obj.iDComplexity = DC_COMPLEX;
    obj.iFComplexity = rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
    RECTL bounds = rects[0];
    for (const RECTL& r : rects) {
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
    }
    obj.rclBounds = bounds;
}

Clip* newClip() {
    auto* clip = new (std::nothrow) Clip;
    if (!clip) return nullptr;
    clip->obj.iDComplexity = DC_TRIVIAL;
    clip->obj.iFComplexity = FC_RECT;
    clip->obj.iMode = TC_RECTANGLES;
    std::lock_guard lock(tableMutex());
    clip->obj.iUniq = registry().nextUniq++;
    registry().clips.insert(&clip->obj);
    return clip;
}

Xlate* registerXlate(Xlate* x) {
    XLATEOBJ& obj = x->obj;
    obj.iDstType = PAL_INDEXED;
    if (!x->table.empty()) {
        obj.cEntries = static_cast<ULONG>(x->table.size());
        obj.pulXlate = x->table.data();
    }
    std::lock_guard lock(tableMutex());
    obj.iUniq = registry().nextUniq++;
    registry().xlates.insert(&x->obj);
    return x;
}

}  // namespace

namespace detail {

Clip* findClip(const CLIPOBJ* clip) { return findIn<Clip>(&Registry::clips, clip); }
Xlate* findXlate(const XLATEOBJ* xlate) { return findIn<Xlate>(&Registry::xlates, xlate); }
Brush* findBrush(const BRUSHOBJ* brush) { return findIn<Brush>(&Registry::brushes, brush); }
Path* findPath(const PATHOBJ* path) { return findIn<Path>(&Registry::paths, path); }
Text* findText(const STROBJ* text) { return findIn<Text>(&Registry::texts, text); }

std::vector<RECTL> clipRects(const CLIPOBJ* clip, const RECTL& bounds) {
    std::vector<RECTL> out;
    auto add = [&](const RECTL& r) {
        RECTL c = intersect(r, bounds);
        if (!empty(c)) out.push_back(c);
    };
    if (!clip || clip->iDComplexity == DC_TRIVIAL) {
        add(bounds);
    } else if (clip->iDComplexity == DC_RECT) {
        add(clip->rclBounds);
    } else if (Clip* ours = findClip(clip)) {
        for (const RECTL& r : ours->rects) add(r);
    } else {
        add(clip->rclBounds);
    }
    return out;
}

Xlate* copyXlate(const XLATEOBJ* xlate, ULONG sourceFormat) {
    if (!xlate) return nullptr;
    auto* copy = new (std::nothrow) Xlate;
    if (!copy) return nullptr;
    if (Xlate* ours = findXlate(xlate)) {
        copy->palette = ours->palette;
        copy->table = ours->table;
        copy->sourceFormat = ours->sourceFormat;
        copy->trueColour = ours->trueColour;
        copy->obj.flXlate = ours->obj.flXlate;
        copy->obj.iSrcType = ours->obj.iSrcType;
    } else {
        copy->sourceFormat = sourceFormat;
        copy->obj.flXlate = xlate->flXlate;
        copy->obj.iSrcType = xlate->iSrcType;
        if ((xlate->flXlate & XO_TABLE) && xlate->pulXlate && xlate->cEntries <= 65536)
            copy->table.assign(xlate->pulXlate, xlate->pulXlate + xlate->cEntries);
    }
    return registerXlate(copy);
}

void destroyXlate(Xlate* xlate) {
    if (!xlate) return;
    {
        std::lock_guard lock(tableMutex());
        if (!registry().xlates.erase(&xlate->obj)) return;
    }
    delete xlate;
}

}  // namespace detail

// ---- Clips -------------------------------------------------------------------------------------------

CLIPOBJ* createClip(const std::vector<RECTL>& rects, const RECTL& surfaceBounds) {
    Clip* clip = newClip();
    if (!clip) return nullptr;
    if (rects.empty()) {
        clip->obj.rclBounds = surfaceBounds;
        return &clip->obj;
    }
    std::vector<RECTL> inside;
    for (const RECTL& r : rects) inside.push_back(intersect(r, surfaceBounds));
    fillClip(*clip, normalise(inside));
    return &clip->obj;
}

// ---- Brushes -----------------------------------------------------------------------------------------

BRUSHOBJ* createSolidBrush(ULONG colorIndex) {
    auto* brush = new (std::nothrow) Brush;
    if (!brush) return nullptr;
    brush->obj.iSolidColor = colorIndex;
    std::lock_guard lock(tableMutex());
    registry().brushes.insert(&brush->obj);
    return &brush->obj;
}

namespace {

// The standard hatches as 8 x 8 one-bit pictures, 0 bits the lines.
const BYTE kHatches[HS_DDI_MAX][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF},  // horizontal
    {0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7},  // vertical
    {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE},  // forward diagonal
    {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F},  // backward diagonal
    {0xF7, 0xF7, 0xF7, 0xF7, 0x00, 0xF7, 0xF7, 0xF7},  // cross
    {0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E},  // diagonal cross
};

ULONG rawPixel(const SURFOBJ& so, LONG x, LONG y) {
    const BYTE* row = static_cast<const BYTE*>(so.pvScan0) + ptrdiff_t(y) * so.lDelta;
    switch (so.iBitmapFormat) {
    case BMF_1BPP: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_8BPP: return row[x];
    case BMF_24BPP: return row[3 * x] | (ULONG(row[3 * x + 1]) << 8) | (ULONG(row[3 * x + 2]) << 16);
    case BMF_32BPP: return row[4 * x] | (ULONG(row[4 * x + 1]) << 8) | (ULONG(row[4 * x + 2]) << 16);
    default: return 0;
    }
}

}  // namespace

BRUSHOBJ* createPatternBrush(HSURF pattern, XLATEOBJ* xlate, ULONG hatch, HDEV hdev, HSURF target) {
    SIZEL size{8, 8};
    ULONG format = BMF_1BPP;
    const SURFOBJ* source = nullptr;
    SURFOBJ hatchSo{};
    {
        std::lock_guard lock(tableMutex());
        if (pattern) {
            Surface* s = findSurfaceLocked(pattern);
            if (!s || !s->so.pvScan0 || bitsPerPixel(s->so.iBitmapFormat) == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            size = s->so.sizlBitmap;
            format = s->so.iBitmapFormat;
        } else if (hatch >= HS_DDI_MAX) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (!hdev && target)
            if (Surface* t = findSurfaceLocked(target)) hdev = t->info.hdev;
    }
    LONG stride = alignedRowBytes(size.cx, format);
    HSURF copy = createBitmap(size, stride, format, BMF_TOPDOWN, nullptr, true);
    if (!copy) return nullptr;
    auto* brush = new (std::nothrow) Brush;
    if (!brush) {
        EngDeleteSurface(copy);
        return nullptr;
    }
    SURFOBJ* copySo = nullptr;
    {
        std::lock_guard lock(tableMutex());
        copySo = &findSurfaceLocked(copy)->so;
        if (pattern) {
            source = &findSurfaceLocked(pattern)->so;
        } else {
            hatchSo = *copySo;
            hatchSo.pvScan0 = const_cast<BYTE*>(kHatches[hatch]);
            hatchSo.lDelta = 1;
            source = &hatchSo;
        }
        LONG rowBytes = (size.cx * bitsPerPixel(format) + 7) / 8;
        for (LONG y = 0; y < size.cy; ++y)
            std::memcpy(static_cast<BYTE*>(copySo->pvScan0) + ptrdiff_t(y) * copySo->lDelta,
                        static_cast<const BYTE*>(source->pvScan0) + ptrdiff_t(y) * source->lDelta, rowBytes);
    }
    brush->obj.iSolidColor = 0xFFFFFFFF;
    brush->pattern = copy;
    brush->xlate = copyXlate(xlate, format);
    brush->hatch = hatch;
    brush->hdev = hdev;
    brush->target = target;
    brush->width = size.cx;
    brush->height = size.cy;
    brush->grey.resize(size_t(size.cx) * size.cy);
    for (LONG y = 0; y < size.cy; ++y)
        for (LONG x = 0; x < size.cx; ++x) {
            ULONG raw = rawPixel(*copySo, x, y);
            ULONG grey;
            if (brush->xlate)
                grey = XLATEOBJ_iXlate(&brush->xlate->obj, raw);
            else if (format == BMF_1BPP)
                grey = raw ? 255 : 0;
            else if (format == BMF_8BPP)
                grey = raw;
            else
                grey = greyOfBgr(raw);
            brush->grey[size_t(y) * size.cx + x] = static_cast<BYTE>(std::min<ULONG>(grey, 255));
        }
    std::lock_guard lock(tableMutex());
    registry().brushes.insert(&brush->obj);
    return &brush->obj;
}

void deleteBrush(BRUSHOBJ* object) {
    Brush* brush = nullptr;
    {
        std::lock_guard lock(tableMutex());
        if (!object || !registry().brushes.erase(object)) return;
        brush = reinterpret_cast<Brush*>(object);
    }
    if (brush->pattern) EngDeleteSurface(brush->pattern);
    destroyXlate(brush->xlate);
    delete brush;
}

// ---- Colour translation ----------------------------------------------------------------------------

XLATEOBJ* createXlate(const std::vector<ULONG>& sourcePalette, ULONG sourceFormat) {
    auto* x = new (std::nothrow) Xlate;
    if (!x) return nullptr;
    x->palette = sourcePalette;
    x->sourceFormat = sourceFormat;
    if (!sourcePalette.empty()) {
        bool greys = sourceFormat == BMF_8BPP && sourcePalette.size() == 256;
        for (size_t i = 0; i < sourcePalette.size(); ++i) {
            x->table.push_back(greyOfRgb(sourcePalette[i]));
            if ((sourcePalette[i] & 0xFFFFFF) != i * 0x010101u) greys = false;
        }
        x->obj.flXlate = greys ? XO_TRIVIAL | XO_TABLE : XO_TABLE;
        x->obj.iSrcType = PAL_INDEXED;
    } else if (sourceFormat == BMF_24BPP || sourceFormat == BMF_32BPP) {
        x->trueColour = true;
        x->obj.iSrcType = PAL_BGR;
    } else if (sourceFormat == BMF_1BPP) {
        x->table = {0, 255};
        x->palette = {0x000000, 0xFFFFFF};
        x->obj.flXlate = XO_TABLE;
        x->obj.iSrcType = PAL_INDEXED;
    } else {
        x->obj.flXlate = XO_TRIVIAL;
        x->obj.iSrcType = PAL_INDEXED;
    }
    return &registerXlate(x)->obj;
}

void deleteXlate(XLATEOBJ* xlate) { destroyXlate(findXlate(xlate)); }

// ---- Text ------------------------------------------------------------------------------------------

TextObjects createText(const std::vector<Glyph>& glyphs, FLONG fontType, const RECTL& background) {
    auto* text = new Text;
    size_t n = glyphs.size();
    text->positions.resize(n);
    text->defs.resize(n);
    ULONG cxMax = 0;
    for (size_t i = 0; i < n; ++i) {
        const Glyph& g = glyphs[i];
        LONG cx = std::max<LONG>(g.size.cx, 0), cy = std::max<LONG>(g.size.cy, 0);
        size_t bytes = size_t((cx + 7) / 8) * cy;
        auto picture = std::make_unique<BYTE[]>(sizeof(GLYPHBITS) + bytes);
        std::memset(picture.get(), 0, sizeof(GLYPHBITS) + bytes);
        auto* gb = reinterpret_cast<GLYPHBITS*>(picture.get());
        gb->ptlOrigin = g.origin;
        gb->sizlBitmap = SIZEL{cx, cy};
        std::memcpy(gb->aj, g.bits.data(), std::min(bytes, g.bits.size()));
        text->defs[i].pgb = gb;
        text->positions[i].hg = static_cast<HGLYPH>(i + 1);
        text->positions[i].pgdf = &text->defs[i];
        text->positions[i].ptl = g.position;
        text->pictures.push_back(std::move(picture));
        cxMax = std::max<ULONG>(cxMax, static_cast<ULONG>(cx));
    }
    text->str.cGlyphs = static_cast<ULONG>(n);
    text->str.rclBkGround = background;
    text->str.pgp = n ? text->positions.data() : nullptr;
    text->font.flFontType = fontType;
    text->font.cxMax = cxMax;
    std::lock_guard lock(tableMutex());
    text->font.iUniq = registry().nextUniq++;
    registry().texts.insert(&text->str);
    return TextObjects{&text->str, &text->font};
}

void deleteText(const TextObjects& objects) {
    {
        std::lock_guard lock(tableMutex());
        if (!objects.text || !registry().texts.erase(objects.text)) return;
    }
    delete reinterpret_cast<Text*>(objects.text);
}

}  // namespace platform::engine

using namespace platform::engine::detail;

// ---- Clips -------------------------------------------------------------------------------------------

// A clip object for the driver to fill in (DC_TRIVIAL until it does); fault switch "EngCreateClip".
CLIPOBJ* APIENTRY EngCreateClip() {
    if (auto fault = platform::detail::takeFault("EngCreateClip")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Clip* clip = platform::engine::newClip();
    return clip ? &clip->obj : nullptr;
}

void APIENTRY EngDeleteClip(CLIPOBJ* clip) {
    {
        std::lock_guard lock(tableMutex());
        if (!clip || !platform::engine::registry().clips.erase(clip)) return;
    }
    delete reinterpret_cast<Clip*>(clip);
}

// Starts handing out the clip's rectangles in the direction asked for (CD_ANY: right and down);
// returns their count when it is within the limit (0: none), else 0xFFFFFFFF. Leaves out
// enumerating a clip as trapezoids.
ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* object, BOOL, ULONG type, ULONG direction, ULONG limit) {
    Clip* clip = findClip(object);
    if (!clip || type != CT_RECTANGLES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0xFFFFFFFF;
    }
    clip->order.clear();
    clip->next = 0;
    if (object->iDComplexity == DC_TRIVIAL || object->iDComplexity == DC_RECT) {
        const RECTL& r = object->rclBounds;
        if (r.left < r.right && r.top < r.bottom) clip->order.push_back(r);
    } else {
        clip->order = clip->rects;
    }
    auto& order = clip->order;
    switch (direction) {
    case CD_LEFTDOWN:
        std::stable_sort(order.begin(), order.end(), [](const RECTL& a, const RECTL& b) {
            return a.top != b.top ? a.top < b.top : a.left > b.left;
        });
        break;
    case CD_RIGHTUP:
        std::stable_sort(order.begin(), order.end(), [](const RECTL& a, const RECTL& b) {
            return a.bottom != b.bottom ? a.bottom > b.bottom : a.left < b.left;
        });
        break;
    case CD_LEFTUP:
        std::stable_sort(order.begin(), order.end(), [](const RECTL& a, const RECTL& b) {
            return a.bottom != b.bottom ? a.bottom > b.bottom : a.left > b.left;
        });
        break;
    default:
        std::stable_sort(order.begin(), order.end(), [](const RECTL& a, const RECTL& b) {
            return a.top != b.top ? a.top < b.top : a.left < b.left;
        });
        break;
    }
    ULONG count = static_cast<ULONG>(order.size());
    return limit == 0 || count <= limit ? count : 0xFFFFFFFF;
}

// Fills the caller's ENUMRECTS of `size` bytes with as many rectangles as fit; TRUE while more
// remain. A buffer too small for one rectangle gets none (FALSE, ERROR_INSUFFICIENT_BUFFER).
BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* object, ULONG size, ULONG* rects) {
    Clip* clip = findClip(object);
    if (!clip || !rects || size < sizeof(ULONG)) return invalid();
    auto* out = reinterpret_cast<ENUMRECTS*>(rects);
    size_t capacity = (size - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
    out->c = 0;
    if (capacity == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    size_t n = std::min(capacity, clip->order.size() - clip->next);
    for (size_t i = 0; i < n; ++i) out->arcl[i] = clip->order[clip->next + i];
    out->c = static_cast<ULONG>(n);
    clip->next += n;
    return clip->next < clip->order.size() ? TRUE : FALSE;
}

// ---- Brushes -----------------------------------------------------------------------------------------

// Zeroed memory for the driver's realisation, freed with the brush; fault switch
// "BRUSHOBJ_pvAllocRbrush".
PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* object, ULONG size) {
    Brush* brush = findBrush(object);
    if (!brush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("BRUSHOBJ_pvAllocRbrush", {}, size)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    size_t bytes = std::max<size_t>(size, 1);
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[bytes]);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memset(block.get(), 0, bytes);
    BYTE* p = block.get();
    std::lock_guard lock(tableMutex());
    brush->realizations.push_back(std::move(block));
    brush->lastRealization = p;
    return p;
}

// The realisation; with none yet, the device's DrvRealizeBrush is asked for it (with the engine's
// copy of the pattern, no mask, the pattern's colour translation and the hatch style). Null when
// the device has no DrvRealizeBrush or it fails.
PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* object) {
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (object->pvRbrush) return object->pvRbrush;
    Brush* brush = findBrush(object);
    if (!brush || !brush->hdev) return nullptr;
    using RealizeBrush = BOOL (*)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
    auto realize = reinterpret_cast<RealizeBrush>(
        reinterpret_cast<void (*)()>(platform::engine::driverFunction(brush->hdev, INDEX_DrvRealizeBrush)));
    if (!realize) return nullptr;
    SURFOBJ* target = brush->target ? EngLockSurface(brush->target) : nullptr;
    SURFOBJ* pattern = brush->pattern ? EngLockSurface(brush->pattern) : nullptr;
    BYTE* before = brush->lastRealization;
    BOOL ok = realize(object, target, pattern, nullptr, brush->xlate ? &brush->xlate->obj : nullptr, brush->hatch);
    if (pattern) EngUnlockSurface(pattern);
    if (target) EngUnlockSurface(target);
    if (!ok) {
        object->pvRbrush = nullptr;
        return nullptr;
    }
    if (!object->pvRbrush && brush->lastRealization != before) object->pvRbrush = brush->lastRealization;
    return object->pvRbrush;
}

// ---- Colour translation ----------------------------------------------------------------------------

// A source index (or, for a true-colour source, the pixel 0x00RRGGBB read from its B, G, R bytes)
// to a grey level. A null translation is the identity.
ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* object, ULONG color) {
    if (!object) return color;
    if (Xlate* x = findXlate(object)) {
        if (x->trueColour) return greyOfBgr(color);
        if (x->obj.flXlate & XO_TRIVIAL) return color;
        return color < x->table.size() ? x->table[color] : 0;
    }
    if (object->flXlate & XO_TRIVIAL) return color;
    if ((object->flXlate & XO_TABLE) && object->pulXlate) return color < object->cEntries ? object->pulXlate[color] : 0;
    return color;
}

ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* object, ULONG which, ULONG count, ULONG* colors) {
    Xlate* x = findXlate(object);
    if (!x || (which != XO_SRCPALETTE && which != XO_DESTPALETTE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<ULONG> entries;
    if (which == XO_SRCPALETTE) {
        entries = x->palette;
        if (entries.empty() && x->sourceFormat == BMF_8BPP)
            for (ULONG i = 0; i < 256; ++i) entries.push_back(i * 0x010101u);
    } else {
        for (ULONG i = 0; i < 256; ++i) entries.push_back(i * 0x010101u);
    }
    if (!colors) return static_cast<ULONG>(entries.size());
    ULONG n = std::min<ULONG>(count, static_cast<ULONG>(entries.size()));
    std::copy(entries.begin(), entries.begin() + n, colors);
    return n;
}

// ---- Paths ---------------------------------------------------------------------------------------

namespace {

Subpath& currentSubpath(Path& path) {
    if (!path.open) {
        path.subpaths.push_back(Subpath{});
        path.subpaths.back().runs.push_back(PathRun{false, {path.current}});
        path.open = true;
    }
    return path.subpaths.back();
}

void appendRun(Path& path, bool bezier, const POINTFIX* points, ULONG count) {
    Subpath& sub = currentSubpath(path);
    PathRun* run = &sub.runs.back();
    if (sub.runs.size() == 1 && run->points.size() == 1) run->bezier = bezier;  // just the start point
    if (run->bezier != bezier) {
        sub.runs.push_back(PathRun{bezier, {}});
        run = &sub.runs.back();
    }
    run->points.insert(run->points.end(), points, points + count);
    path.current = points[count - 1];
}

}  // namespace

// A path object for the driver to build; fault switch "EngCreatePath".
PATHOBJ* APIENTRY EngCreatePath() {
    if (auto fault = platform::detail::takeFault("EngCreatePath")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* path = new (std::nothrow) Path;
    if (!path) return nullptr;
    std::lock_guard lock(tableMutex());
    platform::engine::registry().paths.insert(&path->obj);
    return &path->obj;
}

void APIENTRY EngDeletePath(PATHOBJ* object) {
    {
        std::lock_guard lock(tableMutex());
        if (!object || !platform::engine::registry().paths.erase(object)) return;
    }
    delete reinterpret_cast<Path*>(object);
}

// Ends the figure under way (open) and starts a new one at the point.
BOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ* object, POINTFIX point) {
    Path* path = findPath(object);
    if (!path) return invalid();
    if (path->open) {
        Subpath& last = path->subpaths.back();
        if (last.runs.size() == 1 && last.runs[0].points.size() == 1) path->subpaths.pop_back();
    }
    path->open = false;
    path->current = point;
    currentSubpath(*path);
    return TRUE;
}

// Lines from the current position (after a closed figure, its start point; in a new path, 0,0).
BOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ* object, POINTFIX* points, ULONG count) {
    Path* path = findPath(object);
    if (!path || (count && !points)) return invalid();
    if (count == 0) return TRUE;
    appendRun(*path, false, points, count);
    object->cCurves += count;
    return TRUE;
}

// Cubic Béziers from the current position: three points (two controls and the end) each.
BOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ* object, POINTFIX* points, ULONG count) {
    Path* path = findPath(object);
    if (!path || (count && !points) || count % 3 != 0) return invalid();
    if (count == 0) return TRUE;
    appendRun(*path, true, points, count);
    object->fl |= PO_BEZIERS;
    object->cCurves += count / 3;
    return TRUE;
}

BOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ* object) {
    Path* path = findPath(object);
    if (!path) return invalid();
    if (path->open) {
        Subpath& sub = path->subpaths.back();
        sub.closed = true;
        path->current = sub.runs[0].points[0];
        path->open = false;
    }
    return TRUE;
}

// The bounds of every point of the path, control points included (all zero for an empty path).
void APIENTRY PATHOBJ_vGetBounds(PATHOBJ* object, RECTFX* bounds) {
    if (!bounds) return;
    *bounds = RECTFX{0, 0, 0, 0};
    Path* path = findPath(object);
    if (!path) return;
    bool first = true;
    for (const Subpath& sub : path->subpaths)
        for (const PathRun& run : sub.runs)
            for (const POINTFIX& p : run.points) {
                if (first) {
                    *bounds = RECTFX{p.x, p.y, p.x, p.y};
                    first = false;
                }
                bounds->xLeft = std::min(bounds->xLeft, p.x);
                bounds->yTop = std::min(bounds->yTop, p.y);
                bounds->xRight = std::max(bounds->xRight, p.x);
                bounds->yBottom = std::max(bounds->yBottom, p.y);
            }
}

void APIENTRY PATHOBJ_vEnumStart(PATHOBJ* object) {
    if (Path* path = findPath(object)) path->enumSubpath = path->enumRun = 0;
}

// One record a call: a subpath, or the part of one that is all lines or all Béziers (a record
// that does not begin its subpath continues from the previous record's last point).
BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* object, PATHDATA* data) {
    Path* path = findPath(object);
    if (!path || !data) return invalid();
    *data = PATHDATA{0, 0, nullptr};
    if (path->enumSubpath >= path->subpaths.size()) return FALSE;
    Subpath& sub = path->subpaths[path->enumSubpath];
    PathRun& run = sub.runs[path->enumRun];
    bool last = path->enumRun + 1 == sub.runs.size();
    if (path->enumRun == 0) data->flags |= PD_BEGINSUBPATH | PD_RESETSTYLE;
    if (last) data->flags |= PD_ENDSUBPATH | (sub.closed ? PD_CLOSEFIGURE : 0);
    if (run.bezier) data->flags |= PD_BEZIERS;
    data->count = static_cast<ULONG>(run.points.size());
    data->pptfx = run.points.data();
    if (last) {
        ++path->enumSubpath;
        path->enumRun = 0;
    } else {
        ++path->enumRun;
    }
    return path->enumSubpath < path->subpaths.size() ? TRUE : FALSE;
}

// ---- Text ----------------------------------------------------------------------------------------

void APIENTRY STROBJ_vEnumStart(STROBJ* object) {
    if (Text* text = findText(object)) text->enumerated = false;
}

BOOL APIENTRY STROBJ_bEnum(STROBJ* object, ULONG* count, GLYPHPOS** glyphs) {
    if (!object || !count || !glyphs) return invalid();
    *count = 0;
    *glyphs = nullptr;
    Text* text = findText(object);
    if (text && text->enumerated) return FALSE;
    if (text) text->enumerated = true;
    if (object->pgp) {
        *count = object->cGlyphs;
        *glyphs = object->pgp;
    }
    return FALSE;
}
