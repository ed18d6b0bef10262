// GDI objects: the handle table, stock objects, pixel access, selecting, deleting and describing.
#include "objects.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <map>

#include "platform/fonts.h"

namespace platform::gdi {

namespace {

struct Table {
    std::map<HGDIOBJ, std::shared_ptr<Object>> objects;
    std::map<int, HGDIOBJ> stock;
    uintptr_t next = 0x5D0000;
};
Table& table() {
    static Table* state = new Table;
    return *state;
}

constexpr int kStockBitmap = 1000;  // the 1 x 1 monochrome bitmap of new memory DCs

LOGFONTW stockFont(int index) {
    LOGFONTW font{};
    std::u16string face;
    switch (index) {
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
        font.lfHeight = 16;
        font.lfWeight = FW_BOLD;
        face = u"System";
        break;
    case DEFAULT_GUI_FONT:
        font.lfHeight = -11;
        font.lfWeight = FW_NORMAL;
        face = u"MS Shell Dlg";
        break;
    case ANSI_VAR_FONT:
        font.lfHeight = 12;
        font.lfWeight = FW_NORMAL;
        face = u"MS Sans Serif";
        break;
    default:  // the fixed fonts
        font.lfHeight = 12;
        font.lfWeight = FW_NORMAL;
        font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        face = u"Courier";
        break;
    }
    std::copy(face.begin(), face.end(), font.lfFaceName);
    return font;
}

}  // namespace

std::recursive_mutex& lock() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}

HGDIOBJ insert(std::shared_ptr<Object> object) {
    std::lock_guard guard(lock());
    auto& state = table();
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(state.next);
    state.next += 4;
    state.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<Object> find(HGDIOBJ handle) {
    std::lock_guard guard(lock());
    auto& state = table();
    auto it = state.objects.find(handle);
    return it == state.objects.end() ? nullptr : it->second;
}

bool erase(HGDIOBJ handle) {
    std::lock_guard guard(lock());
    return table().objects.erase(handle) != 0;
}

HGDIOBJ stock(int index) {
    std::lock_guard guard(lock());
    auto& state = table();
    if (auto it = state.stock.find(index); it != state.stock.end()) return it->second;
    std::shared_ptr<Object> object;
    switch (index) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case NULL_BRUSH: {
        static constexpr BYTE greys[] = {255, 192, 128, 64, 0, 0};
        auto brush = std::make_shared<Brush>();
        brush->color = RGB(greys[index], greys[index], greys[index]);
        brush->null = index == NULL_BRUSH;
        object = brush;
        break;
    }
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case SYSTEM_FIXED_FONT:
    case DEFAULT_GUI_FONT: {
        auto font = std::make_shared<Font>();
        font->logfont = stockFont(index);
        object = font;
        break;
    }
    case kStockBitmap: {
        auto bitmap = makeBitmap(1, 1, 1, true, false);
        if (!bitmap) return nullptr;
        object = bitmap;
        break;
    }
    default:
        return nullptr;
    }
    object->stock = true;
    HGDIOBJ handle = insert(object);
    state.stock.emplace(index, handle);
    return handle;
}

// ---- Pixels -----------------------------------------------------------------------------------------

uint32_t Surface::get(LONG x, LONG y) const {
    const BYTE* p = row(y);
    switch (bpp) {
    case 1: return (p[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? p[x >> 1] & 0x0F : p[x >> 1] >> 4;
    case 8: return p[x];
    case 16: return static_cast<uint32_t>(p[2 * x] | (p[2 * x + 1] << 8));
    case 24: return static_cast<uint32_t>(p[3 * x] | (p[3 * x + 1] << 8) | (p[3 * x + 2] << 16));
    default:
        return static_cast<uint32_t>(p[4 * x]) | (static_cast<uint32_t>(p[4 * x + 1]) << 8) |
               (static_cast<uint32_t>(p[4 * x + 2]) << 16) | (static_cast<uint32_t>(p[4 * x + 3]) << 24);
    }
}

void Surface::set(LONG x, LONG y, uint32_t value) const {
    BYTE* p = row(y);
    switch (bpp) {
    case 1: {
        BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        p[x >> 3] = static_cast<BYTE>((value & 1) ? p[x >> 3] | bit : p[x >> 3] & ~bit);
        break;
    }
    case 4:
        p[x >> 1] = (x & 1) ? static_cast<BYTE>((p[x >> 1] & 0xF0) | (value & 0x0F))
                            : static_cast<BYTE>((p[x >> 1] & 0x0F) | ((value & 0x0F) << 4));
        break;
    case 8: p[x] = static_cast<BYTE>(value); break;
    case 16:
        p[2 * x] = static_cast<BYTE>(value);
        p[2 * x + 1] = static_cast<BYTE>(value >> 8);
        break;
    case 24:
        p[3 * x] = static_cast<BYTE>(value);
        p[3 * x + 1] = static_cast<BYTE>(value >> 8);
        p[3 * x + 2] = static_cast<BYTE>(value >> 16);
        break;
    default:
        for (int i = 0; i < 4; ++i) p[4 * x + i] = static_cast<BYTE>(value >> (8 * i));
        break;
    }
}

namespace {

BYTE channel(uint32_t raw, DWORD mask) {
    if (!mask) return 0;
    int shift = std::countr_zero(mask);
    uint32_t top = mask >> shift;
    return static_cast<BYTE>(((raw & mask) >> shift) * 255 / top);
}

uint32_t encode(BYTE value, DWORD mask) {
    if (!mask) return 0;
    int shift = std::countr_zero(mask);
    uint32_t top = mask >> shift;
    return ((value * top + 127) / 255) << shift;
}

void defaultMasks(int bpp, DWORD (&masks)[3]) {
    if (masks[0] | masks[1] | masks[2]) return;
    if (bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
}

}  // namespace

COLORREF Surface::colorOf(uint32_t raw) const {
    if (indexed()) return raw < table.size() ? table[raw] : RGB(0, 0, 0);
    if (bpp == 24) return RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF);
    DWORD m[3] = {masks[0], masks[1], masks[2]};
    defaultMasks(bpp, m);
    return RGB(channel(raw, m[0]), channel(raw, m[1]), channel(raw, m[2]));
}

uint32_t Surface::rawOf(COLORREF color) const {
    if ((color >> 16) == 0x10FF) {  // DIBINDEX
        uint32_t index = color & 0xFFFF;
        if (indexed() && index < table.size()) return index;
        color = RGB(0, 0, 0);
    }
    color &= 0x00FFFFFF;
    BYTE r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    if (indexed()) {
        uint32_t best = 0;
        long bestDistance = LONG_MAX;
        for (size_t i = 0; i < table.size(); ++i) {
            long dr = r - GetRValue(table[i]), dg = g - GetGValue(table[i]), db = b - GetBValue(table[i]);
            long distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<uint32_t>(i);
                if (distance == 0) break;
            }
        }
        return best;
    }
    if (bpp == 24) return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
    DWORD m[3] = {masks[0], masks[1], masks[2]};
    defaultMasks(bpp, m);
    return encode(r, m[0]) | encode(g, m[1]) | encode(b, m[2]);
}

LONG dibStride(LONG width, int bpp) { return static_cast<LONG>(((static_cast<int64_t>(width) * bpp + 31) / 32) * 4); }
LONG ddbStride(LONG width, int bpp) { return static_cast<LONG>(((static_cast<int64_t>(width) * bpp + 15) / 16) * 2); }

std::vector<COLORREF> greyTable(int bpp) {
    std::vector<COLORREF> colors;
    if (bpp > 8) return colors;
    size_t count = size_t{1} << bpp;
    for (size_t i = 0; i < count; ++i) {
        BYTE v = static_cast<BYTE>(i * 255 / (count - 1));
        colors.push_back(RGB(v, v, v));
    }
    return colors;
}

std::shared_ptr<Bitmap> makeBitmap(LONG width, LONG height, int bpp, bool topDown, bool dib) {
    if (width <= 0 || height <= 0 || width > (1 << 20) || height > (1 << 20)) return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
    LONG stride = dib ? dibStride(width, bpp) : ddbStride(width, bpp);
    uint64_t bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
    if (bytes > (uint64_t{1} << 31)) return nullptr;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->storage.reset(new (std::nothrow) BYTE[bytes]());
    if (!bitmap->storage) return nullptr;
    Surface& s = bitmap->surface;
    s.width = width;
    s.height = height;
    s.bpp = bpp;
    s.stride = stride;
    s.topDown = topDown;
    s.bits = bitmap->storage.get();
    s.monochrome = !dib && bpp == 1;
    s.table = greyTable(bpp);
    bitmap->dib = dib;
    return bitmap;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HGDIOBJ WINAPI GetStockObject(int object) { return stock(object); }

HGDIOBJ WINAPI SelectObject(HDC dcHandle, HGDIOBJ handle) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    auto object = find(handle);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DcState& state = dc->state;
    if (auto bitmap = std::dynamic_pointer_cast<Bitmap>(object)) {
        if (dc->kind != Dc::Kind::memory) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (bitmap == state.bitmap) return handle;
        if (!bitmap->stock && bitmap->selectedIn && bitmap->selectedIn != dcHandle) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        HGDIOBJ old = state.bitmapHandle;
        if (state.bitmap && !state.bitmap->stock) state.bitmap->selectedIn = nullptr;
        // The stock bitmap stands in many DCs at once and is never marked.
        if (!bitmap->stock) bitmap->selectedIn = dcHandle;
        state.bitmap = bitmap;
        state.bitmapHandle = handle;
        return old;
    }
    if (auto font = std::dynamic_pointer_cast<Font>(object)) {
        HGDIOBJ old = state.fontHandle;
        state.font = font;
        state.fontHandle = handle;
        return old;
    }
    if (auto brush = std::dynamic_pointer_cast<Brush>(object)) {
        HGDIOBJ old = state.brushHandle;
        state.brush = brush;
        state.brushHandle = handle;
        return old;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

HGDIOBJ WINAPI GetCurrentObject(HDC dcHandle, UINT type) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_BITMAP: return dc->state.bitmapHandle;
    case OBJ_FONT: return dc->state.fontHandle;
    case OBJ_BRUSH: return dc->state.brushHandle;
    default: return nullptr;
    }
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
    std::lock_guard guard(lock());
    auto object = find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) return TRUE;
    if (std::dynamic_pointer_cast<Dc>(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto bitmap = std::dynamic_pointer_cast<Bitmap>(object); bitmap && bitmap->selectedIn) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    erase(handle);
    return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ handle) {
    auto object = find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return object->type();
}

int WINAPI GetObjectW(HGDIOBJ handle, int size, LPVOID buffer) {
    std::lock_guard guard(lock());
    auto object = find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (auto bitmap = std::dynamic_pointer_cast<Bitmap>(object)) {
        const Surface& s = bitmap->surface;
        if (!buffer) return bitmap->dib ? static_cast<int>(sizeof(DIBSECTION)) : static_cast<int>(sizeof(BITMAP));
        if (size < static_cast<int>(sizeof(BITMAP))) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        BITMAP bm{};
        bm.bmType = 0;
        bm.bmWidth = s.width;
        bm.bmHeight = s.height;
        bm.bmWidthBytes = s.stride;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(s.bpp);
        bm.bmBits = bitmap->dib ? s.bits : nullptr;
        if (bitmap->dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
            DIBSECTION ds{};
            ds.dsBm = bm;
            ds.dsBmih = bitmap->header;
            ds.dsBmih.biSizeImage = static_cast<DWORD>(s.stride) * static_cast<DWORD>(s.height);
            if (bitmap->header.biCompression == BI_BITFIELDS)
                for (int i = 0; i < 3; ++i) ds.dsBitfields[i] = s.masks[i];
            std::memcpy(buffer, &ds, sizeof ds);
            return sizeof ds;
        }
        std::memcpy(buffer, &bm, sizeof bm);
        return sizeof bm;
    }
    if (auto font = std::dynamic_pointer_cast<Font>(object)) {
        if (!buffer) return sizeof(LOGFONTW);
        int bytes = std::min<int>(std::max(size, 0), sizeof(LOGFONTW));
        std::memcpy(buffer, &font->logfont, static_cast<size_t>(bytes));
        return bytes;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    auto brush = std::make_shared<Brush>();
    brush->color = color & 0x00FFFFFF;
    return static_cast<HBRUSH>(insert(brush));
}

BOOL WINAPI GdiFlush() { return TRUE; }

namespace platform::fonts {

size_t liveGdiObjects() {
    std::lock_guard guard(gdi::lock());
    size_t count = 0;
    for (const auto& [handle, object] : gdi::table().objects)
        if (!object->stock) ++count;
    return count;
}

}  // namespace platform::fonts

namespace platform::gdi {
HGDIOBJ stockBitmap() { return stock(kStockBitmap); }
}  // namespace platform::gdi
