// Bitmaps and DIB sections, and the raster operations that move pixels into a memory DC's bitmap.
#include <algorithm>
#include <cmath>
#include <functional>
#include <unordered_map>

#include "../internal.h"
#include "objects.h"

namespace platform::gdi {

namespace {

template <class T>
T readAt(const BYTE* base, size_t offset) {
    T value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

constexpr LONG kMaxSide = 1 << 18;

}  // namespace

std::optional<DibFormat> parseDib(const BITMAPINFO* info, UINT usage, bool tableFromHeader) {
    if (!info || usage != DIB_RGB_COLORS) return std::nullopt;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(info);
    DWORD headerSize = readAt<DWORD>(bytes, 0);
    DibFormat f;
    size_t tableOffset = headerSize;
    size_t entrySize = 4;
    DWORD clrUsed = 0;
    WORD planes = 0;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        auto core = readAt<BITMAPCOREHEADER>(bytes, 0);
        f.width = core.bcWidth;
        f.height = core.bcHeight;
        planes = core.bcPlanes;
        f.bpp = core.bcBitCount;
        entrySize = 3;
        tableFromHeader = true;  // a core header always carries its whole table
    } else if (headerSize >= sizeof(BITMAPINFOHEADER) && headerSize <= 124) {
        auto h = readAt<BITMAPINFOHEADER>(bytes, 0);
        if (h.biHeight == INT32_MIN) return std::nullopt;
        f.width = h.biWidth;
        f.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
        f.topDown = h.biHeight < 0;
        planes = h.biPlanes;
        f.bpp = h.biBitCount;
        f.compression = h.biCompression;
        f.sizeImage = h.biSizeImage;
        clrUsed = h.biClrUsed;
        if (f.compression == BI_BITFIELDS) {
            if (f.bpp != 16 && f.bpp != 32) return std::nullopt;
            size_t maskOffset = sizeof(BITMAPINFOHEADER);
            if (headerSize == sizeof(BITMAPINFOHEADER)) tableOffset += 12;  // the masks follow the header
            for (int i = 0; i < 3; ++i) f.masks[i] = readAt<DWORD>(bytes, maskOffset + 4 * i);
            if (!f.masks[0] && !f.masks[1] && !f.masks[2]) return std::nullopt;
            DWORD limit = f.bpp == 16 ? 0xFFFF : 0xFFFFFFFF;
            for (DWORD m : f.masks)
                if (m > limit) return std::nullopt;
        } else if (f.compression != BI_RGB) {
            return std::nullopt;  // RLE, JPEG and PNG are not modelled
        }
    } else {
        return std::nullopt;
    }
    if (planes != 1 || f.width <= 0 || f.height <= 0 || f.width > kMaxSide || f.height > kMaxSide) return std::nullopt;
    if (f.bpp != 1 && f.bpp != 4 && f.bpp != 8 && f.bpp != 16 && f.bpp != 24 && f.bpp != 32) return std::nullopt;
    uint64_t image = static_cast<uint64_t>(dibStride(f.width, f.bpp)) * static_cast<uint64_t>(f.height);
    if (image > (uint64_t{1} << 31)) return std::nullopt;
    if (f.sizeImage != 0 && f.sizeImage < image) return std::nullopt;
    if (f.bpp <= 8) {
        DWORD full = DWORD{1} << f.bpp;
        DWORD count = std::min(clrUsed, full);
        if (count == 0 && tableFromHeader) count = full;
        if (count == 0) {
            f.table = greyTable(f.bpp);
        } else {
            for (DWORD i = 0; i < count; ++i) {
                const BYTE* e = bytes + tableOffset + i * entrySize;
                f.table.push_back(RGB(e[2], e[1], e[0]));
            }
            f.table.resize(full, RGB(0, 0, 0));
        }
    }
    return f;
}

namespace {

bool sameFormat(const Surface& a, const Surface& b) {
    if (a.bpp != b.bpp || a.monochrome != b.monochrome) return false;
    if (a.indexed()) return a.table == b.table;
    return std::equal(std::begin(a.masks), std::end(a.masks), std::begin(b.masks));
}

// The ternary raster operation on pixel values (bitwise over the pixel's bits).
uint32_t rop3(BYTE op, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (!((op >> i) & 1)) continue;
        uint32_t term = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        r |= term;
    }
    return r;
}

// A span [start, start + extent) with a possibly negative extent: its lowest pixel, length and direction.
struct Span {
    LONG low;
    LONG length;
    bool reversed;
};
Span span(LONG start, LONG extent) {
    if (extent < 0) return Span{start + extent, -extent, true};
    return Span{start, extent, false};
}

}  // namespace

// Moves pixels into `target` (the selected bitmap of `targetDc`), by nearest pixel when the sizes
// differ. `source` may be null for operations that do not read one.
bool transfer(const Dc& targetDc, const Surface& target, LONG x, LONG y, LONG width, LONG height,
              const Surface* source, COLORREF sourceBk, LONG sx, LONG sy, LONG sw, LONG sh, DWORD rop) {
    BYTE op = static_cast<BYTE>((rop >> 16) & 0xFF);
    bool usesSource = ((op >> 2) ^ op) & 0x33;
    bool usesPattern = ((op >> 4) ^ op) & 0x0F;
    if (usesSource && !source) return false;
    const Brush* brush = targetDc.state.brush.get();
    if (usesPattern && (!brush || brush->null)) return true;  // a hollow brush paints nothing
    if (width == 0 || height == 0) return true;

    Span dx = span(x, width), dy = span(y, height);
    Span ssx = usesSource ? span(sx, sw) : dx, ssy = usesSource ? span(sy, sh) : dy;
    if (ssx.length == 0 || ssy.length == 0) return true;
    bool flipX = dx.reversed != ssx.reversed, flipY = dy.reversed != ssy.reversed;

    // Columns and rows of the target that are drawn, with the source pixel of each.
    auto mapAxis = [](const Span& d, const Span& s, bool flip, LONG targetSize, LONG sourceSize, bool withSource) {
        std::vector<std::pair<LONG, LONG>> map;
        LONG from = std::max<LONG>(d.low, 0), to = static_cast<LONG>(std::min<int64_t>(int64_t{d.low} + d.length, targetSize));
        for (LONG t = from; t < to; ++t) {
            LONG i = t - d.low;
            LONG k = static_cast<LONG>(((2 * int64_t{i} + 1) * s.length) / (2 * int64_t{d.length}));
            if (flip) k = s.length - 1 - k;
            LONG src = s.low + k;
            if (withSource && (src < 0 || src >= sourceSize)) continue;
            map.emplace_back(t, src);
        }
        return map;
    };
    auto columns = mapAxis(dx, ssx, flipX, target.width, source ? source->width : 0, usesSource);
    auto rows = mapAxis(dy, ssy, flipY, target.height, source ? source->height : 0, usesSource);
    if (columns.empty() || rows.empty()) return true;

    // Reading from the bitmap being written: work from a copy.
    Surface sourceCopy;
    std::vector<BYTE> copyBits;
    if (usesSource && source->bits == target.bits) {
        copyBits.assign(source->bits, source->bits + static_cast<size_t>(source->stride) * source->height);
        sourceCopy = *source;
        sourceCopy.bits = copyBits.data();
        source = &sourceCopy;
    }

    uint32_t valueMask = target.bpp == 32 ? 0xFFFFFFFFu : ((1u << target.bpp) - 1);
    uint32_t pattern = brush ? target.rawOf(brush->color) : 0;

    // Source pixel values converted to the target's.
    std::function<uint32_t(uint32_t)> convert;
    std::vector<uint32_t> tableMap;
    std::unordered_map<uint32_t, uint32_t> cache;
    if (usesSource) {
        if (sameFormat(*source, target)) {
            convert = [](uint32_t v) { return v; };
        } else if (source->monochrome) {
            uint32_t fore = target.rawOf(targetDc.state.textColor), back = target.rawOf(targetDc.state.bkColor);
            convert = [fore, back](uint32_t v) { return v ? back : fore; };
        } else if (target.monochrome) {
            const Surface* s = source;
            convert = [s, sourceBk](uint32_t v) -> uint32_t { return s->colorOf(v) == (sourceBk & 0xFFFFFF) ? 1 : 0; };
        } else if (source->indexed()) {
            for (COLORREF c : source->table) tableMap.push_back(target.rawOf(c));
            convert = [&tableMap](uint32_t v) { return v < tableMap.size() ? tableMap[v] : 0; };
        } else if (target.indexed()) {
            const Surface* s = source;
            convert = [s, &target, &cache](uint32_t v) {
                auto it = cache.find(v);
                if (it != cache.end()) return it->second;
                uint32_t r = target.rawOf(s->colorOf(v));
                cache.emplace(v, r);
                return r;
            };
        } else {
            const Surface* s = source;
            convert = [s, &target](uint32_t v) { return target.rawOf(s->colorOf(v)); };
        }
    }

    // Straight copies of whole bytes between bitmaps of one format.
    bool straight = usesSource && op == 0xCC && !flipX && !flipY && dx.length == ssx.length &&
                    dy.length == ssy.length && target.bpp >= 8 && sameFormat(*source, target);
    if (straight) {
        size_t bytesPerPixel = static_cast<size_t>(target.bpp / 8);
        LONG first = columns.front().first, sourceFirst = columns.front().second;
        size_t count = columns.size() * bytesPerPixel;
        for (const auto& [t, s] : rows)
            std::memmove(target.row(t) + first * bytesPerPixel, source->row(s) + sourceFirst * bytesPerPixel, count);
        return true;
    }

    uint32_t black = target.rawOf(RGB(0, 0, 0)), white = target.rawOf(RGB(255, 255, 255));

    // Solid fills of whole bytes: one row made, then copied.
    if ((op == 0x00 || op == 0xFF || op == 0xF0) && target.bpp >= 8) {
        uint32_t value = op == 0x00 ? black : op == 0xFF ? white : pattern;
        size_t bytesPerPixel = static_cast<size_t>(target.bpp / 8);
        LONG first = columns.front().first;
        std::vector<BYTE> line(columns.size() * bytesPerPixel);
        for (size_t i = 0; i < columns.size(); ++i)
            for (size_t k = 0; k < bytesPerPixel; ++k) line[i * bytesPerPixel + k] = static_cast<BYTE>(value >> (8 * k));
        for (const auto& row : rows) std::memcpy(target.row(row.first) + first * bytesPerPixel, line.data(), line.size());
        return true;
    }
    for (const auto& [t, s] : rows) {
        for (const auto& [tx, sxp] : columns) {
            uint32_t value;
            switch (op) {
            case 0x00: value = black; break;
            case 0xFF: value = white; break;
            case 0xCC: value = convert(source->get(sxp, s)); break;
            case 0xF0: value = pattern; break;
            default: {
                uint32_t src = usesSource ? convert(source->get(sxp, s)) : 0;
                value = rop3(op, pattern, src, target.get(tx, t)) & valueMask;
                break;
            }
            }
            target.set(tx, t, value);
        }
    }
    return true;
}

namespace {

// Logical rectangle corners of a DC to device coordinates: origin and signed extents.
void toDevice(const Dc& dc, LONG x, LONG y, LONG w, LONG h, LONG& dx, LONG& dy, LONG& dw, LONG& dh) {
    Affine m = logicalToDevice(dc);
    auto round = [](double v) { return static_cast<LONG>(std::clamp(std::floor(v + 0.5), -1e9, 1e9)); };
    dx = round(m.mapX(x, y));
    dy = round(m.mapY(x, y));
    dw = round(m.mapX(double(x) + w, double(y) + h)) - dx;
    dh = round(m.mapY(double(x) + w, double(y) + h)) - dy;
}

BOOL stretch(HDC targetHandle, int x, int y, int width, int height, HDC sourceHandle, int sx, int sy, int sw, int sh,
             DWORD rop, bool sameSize) {
    if (auto fault = platform::detail::takeFault("BitBlt")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(lock());
    auto targetDc = findDc(targetHandle);
    if (!targetDc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const Surface* target = drawingSurface(*targetDc);
    if (!target) return FALSE;
    BYTE op = static_cast<BYTE>((rop >> 16) & 0xFF);
    bool usesSource = ((op >> 2) ^ op) & 0x33;
    const Surface* source = nullptr;
    std::shared_ptr<Dc> sourceDc;
    LONG dsx = 0, dsy = 0, dsw = 0, dsh = 0;
    if (usesSource) {
        sourceDc = findDc(sourceHandle);
        if (!sourceDc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        source = drawingSurface(*sourceDc);
        if (!source) return FALSE;
        toDevice(*sourceDc, sx, sy, sameSize ? width : sw, sameSize ? height : sh, dsx, dsy, dsw, dsh);
    }
    LONG dx, dy, dw, dh;
    toDevice(*targetDc, x, y, width, height, dx, dy, dw, dh);
    if (usesSource && sameSize) {  // BitBlt: the source extent is the target's in device pixels
        dsw = dw;
        dsh = dh;
    }
    return transfer(*targetDc, *target, dx, dy, dw, dh, source, sourceDc ? sourceDc->state.bkColor : 0, dsx, dsy, dsw,
                    dsh, rop)
               ? TRUE
               : FALSE;
}

}  // namespace

}  // namespace platform::gdi

using namespace platform::gdi;

HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    if (bits) *bits = nullptr;
    if (auto fault = platform::detail::takeFault("CreateDIBSection")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (dc && !findDc(dc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto format = section ? std::nullopt : parseDib(info, usage, false);
    if (!format) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = makeBitmap(format->width, format->height, format->bpp, format->topDown, true);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Surface& s = bitmap->surface;
    if (format->bpp <= 8) s.table = format->table;
    std::copy(std::begin(format->masks), std::end(format->masks), std::begin(s.masks));
    BITMAPINFOHEADER& h = bitmap->header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = format->width;
    h.biHeight = format->topDown ? -format->height : format->height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(format->bpp);
    h.biCompression = format->compression;
    h.biClrUsed = format->bpp <= 8 ? static_cast<DWORD>(s.table.size()) : 0;
    if (bits) *bits = s.bits;
    return static_cast<HBITMAP>(insert(bitmap));
}

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (auto fault = platform::detail::takeFault("CreateBitmap")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (width == 0 || height == 0) return static_cast<HBITMAP>(stockBitmap());
    UINT bpp = planes * bitsPerPixel;
    if (width < 0 || height < 0 || planes != 1 || (bpp != 1 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = makeBitmap(width, height, static_cast<int>(bpp), true, false);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits)
        std::memcpy(bitmap->surface.bits, bits, static_cast<size_t>(bitmap->surface.stride) * bitmap->surface.height);
    return static_cast<HBITMAP>(insert(bitmap));
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dcHandle, int width, int height) {
    std::shared_ptr<Dc> dc;
    {
        std::lock_guard guard(lock());
        dc = findDc(dcHandle);
    }
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (width == 0 || height == 0) return static_cast<HBITMAP>(stockBitmap());
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard guard(lock());
    if (dc->kind == Dc::Kind::memory && dc->state.bitmap) {
        const Surface& like = dc->state.bitmap->surface;
        auto bitmap = makeBitmap(width, height, like.bpp, true, false);
        if (!bitmap) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        bitmap->surface.monochrome = like.monochrome;
        bitmap->surface.table = like.table;
        std::copy(std::begin(like.masks), std::end(like.masks), std::begin(bitmap->surface.masks));
        return static_cast<HBITMAP>(insert(bitmap));
    }
    auto bitmap = makeBitmap(width, height, 32, true, false);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HBITMAP>(insert(bitmap));
}

BOOL WINAPI BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    return stretch(target, x, y, width, height, source, sx, sy, width, height, rop, true);
}

BOOL WINAPI StretchBlt(HDC target, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh,
                       DWORD rop) {
    return stretch(target, x, y, width, height, source, sx, sy, sw, sh, rop, false);
}

BOOL WINAPI MaskBlt(HDC targetHandle, int x, int y, int width, int height, HDC sourceHandle, int sx, int sy,
                    HBITMAP maskHandle, int maskX, int maskY, DWORD rop4) {
    if (auto fault = platform::detail::takeFault("MaskBlt")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD foreground = rop4 & 0x00FFFFFF, background = (rop4 >> 8) & 0x00FF0000;
    if (!maskHandle) return BitBlt(targetHandle, x, y, width, height, sourceHandle, sx, sy, foreground);
    std::lock_guard guard(lock());
    auto targetDc = findDc(targetHandle);
    auto mask = findAs<Bitmap>(maskHandle);
    if (!targetDc || !mask) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mask->surface.bpp != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Surface* target = drawingSurface(*targetDc);
    if (!target) return FALSE;
    // Both ROP3s are run over the whole rectangle, the background one into a copy of the target, and
    // the mask picks each pixel from one or the other.
    const size_t size = static_cast<size_t>(target->stride) * target->height;
    std::vector<BYTE> before(target->bits, target->bits + size);
    if (!stretch(targetHandle, x, y, width, height, sourceHandle, sx, sy, width, height, background, true)) return FALSE;
    std::vector<BYTE> backgroundBits(target->bits, target->bits + size);
    std::memcpy(target->bits, before.data(), size);
    if (!stretch(targetHandle, x, y, width, height, sourceHandle, sx, sy, width, height, foreground, true)) {
        std::memcpy(target->bits, before.data(), size);
        return FALSE;
    }
    Surface backgroundCopy = *target;
    backgroundCopy.bits = backgroundBits.data();
    LONG dx, dy, dw, dh;
    toDevice(*targetDc, x, y, width, height, dx, dy, dw, dh);
    const Span columns = span(dx, dw), rows = span(dy, dh);
    const Surface& bits = mask->surface;
    for (LONG row = 0; row < rows.length; ++row) {
        const LONG ty = rows.low + row, my = maskY + row;
        if (ty < 0 || ty >= target->height) continue;
        for (LONG column = 0; column < columns.length; ++column) {
            const LONG tx = columns.low + column, mx = maskX + column;
            if (tx < 0 || tx >= target->width) continue;
            // Outside the mask counts as 0, the background.
            const bool set = mx >= 0 && my >= 0 && mx < bits.width && my < bits.height && bits.get(mx, my) != 0;
            if (!set) target->set(tx, ty, backgroundCopy.get(tx, ty));
        }
    }
    return TRUE;
}

BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    BYTE op = static_cast<BYTE>((rop >> 16) & 0xFF);
    if (((op >> 2) ^ op) & 0x33) {  // a ROP that reads a source has none here
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return stretch(dc, x, y, width, height, nullptr, 0, 0, 0, 0, rop, true);
}

int WINAPI StretchDIBits(HDC dcHandle, int x, int y, int width, int height, int sx, int sy, int sw, int sh,
                         const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    if (auto fault = platform::detail::takeFault("StretchDIBits")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return static_cast<int>(GDI_ERROR);
    }
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<int>(GDI_ERROR);
    }
    const Surface* target = drawingSurface(*dc);
    if (!target) return static_cast<int>(GDI_ERROR);
    BYTE op = static_cast<BYTE>((rop >> 16) & 0xFF);
    bool usesSource = ((op >> 2) ^ op) & 0x33;
    auto format = parseDib(info, usage, true);
    if (!format || (usesSource && !bits)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<int>(GDI_ERROR);
    }
    Surface source;
    source.width = format->width;
    source.height = format->height;
    source.bpp = format->bpp;
    source.stride = dibStride(format->width, format->bpp);
    source.topDown = format->topDown;
    source.bits = const_cast<BYTE*>(static_cast<const BYTE*>(bits));
    source.table = format->table;
    std::copy(std::begin(format->masks), std::end(format->masks), std::begin(source.masks));
    // Source rows count from the picture's lower-left corner in a bottom-up DIB.
    int64_t visualY = format->topDown ? sy : int64_t{format->height} - sy - sh;
    if (visualY < -kMaxSide * 4 || visualY > kMaxSide * 4) return 0;
    LONG dx, dy, dw, dh;
    toDevice(*dc, x, y, width, height, dx, dy, dw, dh);
    if (!transfer(*dc, *target, dx, dy, dw, dh, usesSource ? &source : nullptr, dc->state.bkColor, sx,
                  static_cast<LONG>(visualY), sw, sh, rop))
        return static_cast<int>(GDI_ERROR);
    int64_t low = std::max<int64_t>(std::min<int64_t>(sy, int64_t{sy} + sh), 0);
    int64_t high = std::min<int64_t>(std::max<int64_t>(sy, int64_t{sy} + sh), format->height);
    return static_cast<int>(std::max<int64_t>(high - low, 0));
}

COLORREF WINAPI SetPixel(HDC dcHandle, int x, int y, COLORREF color) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    const Surface* s = dc ? drawingSurface(*dc) : nullptr;
    if (!s) return CLR_INVALID;
    LONG dx, dy, dw, dh;
    toDevice(*dc, x, y, 0, 0, dx, dy, dw, dh);
    if (dx < 0 || dy < 0 || dx >= s->width || dy >= s->height) return CLR_INVALID;
    uint32_t raw = s->rawOf(color);
    s->set(dx, dy, raw);
    return s->colorOf(raw);
}

COLORREF WINAPI GetPixel(HDC dcHandle, int x, int y) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    const Surface* s = dc ? drawingSurface(*dc) : nullptr;
    if (!s) return CLR_INVALID;
    LONG dx, dy, dw, dh;
    toDevice(*dc, x, y, 0, 0, dx, dy, dw, dh);
    if (dx < 0 || dy < 0 || dx >= s->width || dy >= s->height) return CLR_INVALID;
    return s->colorOf(s->get(dx, dy));
}

int WINAPI SetStretchBltMode(HDC dcHandle, int mode) {
    return withDc(dcHandle, 0, [&](Dc& dc) {
        return mode < BLACKONWHITE || mode > HALFTONE ? 0 : std::exchange(dc.state.stretchMode, mode);
    });
}

int WINAPI GetStretchBltMode(HDC dcHandle) { return stateOf(dcHandle, &DcState::stretchMode, 0); }
