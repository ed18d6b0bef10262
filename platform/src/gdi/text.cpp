// Text: logical fonts, colours and modes of a DC, drawing text into a memory DC's bitmap, extents,
// metrics and font enumeration.
#include <algorithm>
#include <cmath>

#include "../internal.h"
#include "objects.h"
#include "platform/fonts.h"
#include "win/kernel.h"

namespace platform::gdi {

namespace {

// The DC's font in device pixels (the transform's scale applied), and the scales used.
struct DeviceFont {
    LOGFONTW font{};
    double sx = 1, sy = 1;
    fonts::Resolution resolution;
};
DeviceFont deviceFont(const Dc& dc) {
    DeviceFont f;
    f.font = dc.state.font ? dc.state.font->logfont : LOGFONTW{};
    Affine m = logicalToDevice(dc);
    f.sx = std::hypot(m.a, m.b);
    f.sy = std::hypot(m.c, m.d);
    if (!(f.sx > 0)) f.sx = 1;
    if (!(f.sy > 0)) f.sy = 1;
    auto scale = [](LONG v, double s) {
        return static_cast<LONG>(std::clamp(std::floor(v * s + 0.5), -1e6, 1e6));
    };
    if (f.sx != 1 || f.sy != 1) {
        f.font.lfHeight = scale(f.font.lfHeight, f.sy);
        f.font.lfWidth = scale(f.font.lfWidth, f.sx);
    }
    f.resolution = fonts::Resolution{dc.caps.logPixelsX > 0 ? dc.caps.logPixelsX : 96,
                                     dc.caps.logPixelsY > 0 ? dc.caps.logPixelsY : 96};
    return f;
}

LONG toLogical(LONG v, double s) { return s == 1 ? v : static_cast<LONG>(std::floor(v / s + 0.5)); }

struct Clip {
    LONG left, top, right, bottom;
};

void drawPicture(const Surface& s, const engine::Glyph& g, uint32_t value, const Clip& clip) {
    LONG rowBytes = (g.size.cx + 7) / 8;
    LONG left = g.position.x + g.origin.x, top = g.position.y + g.origin.y;
    LONG y0 = std::max<LONG>(0, clip.top - top), y1 = std::min<LONG>(g.size.cy, clip.bottom - top);
    LONG x0 = std::max<LONG>(0, clip.left - left), x1 = std::min<LONG>(g.size.cx, clip.right - left);
    for (LONG y = y0; y < y1; ++y) {
        const BYTE* row = g.bits.data() + static_cast<size_t>(y) * rowBytes;
        for (LONG x = x0; x < x1; ++x)
            if (row[x >> 3] & (0x80 >> (x & 7))) s.set(left + x, top + y, value);
    }
}

}  // namespace

}  // namespace platform::gdi

using namespace platform::gdi;
namespace fonts = platform::fonts;
namespace engine = platform::engine;

COLORREF WINAPI SetTextColor(HDC dcHandle, COLORREF color) {
    return exchangeState(dcHandle, &DcState::textColor, color, CLR_INVALID);
}

COLORREF WINAPI GetTextColor(HDC dcHandle) { return stateOf(dcHandle, &DcState::textColor, CLR_INVALID); }

COLORREF WINAPI SetBkColor(HDC dcHandle, COLORREF color) {
    return exchangeState(dcHandle, &DcState::bkColor, color, CLR_INVALID);
}

COLORREF WINAPI GetBkColor(HDC dcHandle) { return stateOf(dcHandle, &DcState::bkColor, CLR_INVALID); }

int WINAPI SetBkMode(HDC dcHandle, int mode) {
    return withDc(dcHandle, 0, [&](Dc& dc) {
        if (mode != TRANSPARENT && mode != OPAQUE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return std::exchange(dc.state.bkMode, mode);
    });
}

int WINAPI GetBkMode(HDC dcHandle) { return stateOf(dcHandle, &DcState::bkMode, 0); }

UINT WINAPI SetTextAlign(HDC dcHandle, UINT align) {
    return exchangeState(dcHandle, &DcState::textAlign, align, static_cast<UINT>(GDI_ERROR));
}

UINT WINAPI GetTextAlign(HDC dcHandle) { return stateOf(dcHandle, &DcState::textAlign, static_cast<UINT>(GDI_ERROR)); }

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
    if (auto fault = platform::detail::takeFault("CreateFontIndirectW")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!font) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string why;
    if (!fonts::usable(*font, &why)) {
        SetLastError(why == "no font file can be opened" ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<Font>();
    object->logfont = *font;
    return static_cast<HFONT>(insert(object));
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                         DWORD quality, DWORD pitchAndFamily, LPCWSTR face) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = static_cast<BYTE>(italic ? 1 : 0);
    font.lfUnderline = static_cast<BYTE>(underline ? 1 : 0);
    font.lfStrikeOut = static_cast<BYTE>(strikeOut ? 1 : 0);
    font.lfCharSet = static_cast<BYTE>(charSet);
    font.lfOutPrecision = static_cast<BYTE>(outPrecision);
    font.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    font.lfQuality = static_cast<BYTE>(quality);
    font.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (face) {
        int length = lstrlenW(face);
        if (length >= LF_FACESIZE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        std::copy(face, face + length, font.lfFaceName);
    }
    return CreateFontIndirectW(&font);
}

BOOL WINAPI GetTextMetricsW(HDC dcHandle, LPTEXTMETRICW metrics) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc || !metrics) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DeviceFont f = deviceFont(*dc);
    auto tm = fonts::metrics(f.font, f.resolution);
    if (!tm) return FALSE;
    for (LONG* v : {&tm->tmHeight, &tm->tmAscent, &tm->tmDescent, &tm->tmInternalLeading, &tm->tmExternalLeading})
        *v = toLogical(*v, f.sy);
    for (LONG* v : {&tm->tmAveCharWidth, &tm->tmMaxCharWidth, &tm->tmOverhang}) *v = toLogical(*v, f.sx);
    *metrics = *tm;
    return TRUE;
}

int WINAPI GetTextFaceW(HDC dcHandle, int count, LPWSTR face) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc || !dc->state.font) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const LOGFONTW& lf = dc->state.font->logfont;
    std::u16string name(lf.lfFaceName, std::find(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), u'\0'));
    if (!face) return static_cast<int>(name.size() + 1);
    if (count <= 0) return 0;
    size_t n = std::min(name.size(), static_cast<size_t>(count - 1));
    std::copy(name.begin(), name.begin() + static_cast<ptrdiff_t>(n), face);
    face[n] = 0;
    return static_cast<int>(n + 1);
}

BOOL WINAPI GetTextExtentPoint32W(HDC dcHandle, LPCWSTR text, int count, LPSIZE size) {
    if (auto fault = platform::detail::takeFault("GetTextExtentPoint32W")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!size || count < 0 || (count > 0 && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DeviceFont f = deviceFont(*dc);
    auto extent = fonts::extent(f.font, std::u16string_view(text ? text : u"", static_cast<size_t>(count)),
                                f.resolution);
    if (!extent) return FALSE;
    size->cx = toLogical(extent->cx, f.sx);
    size->cy = toLogical(extent->cy, f.sy);
    return TRUE;
}

BOOL WINAPI ExtTextOutW(HDC dcHandle, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                        const INT* dx) {
    if (auto fault = platform::detail::takeFault("ExtTextOutW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const Surface* s = drawingSurface(*dc);
    if (!s) return FALSE;
    if ((count > 0 && !text) || count > (1u << 20) || (options & (ETO_GLYPH_INDEX | ETO_PDY))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Affine m = logicalToDevice(*dc);
    Clip clip{0, 0, s->width, s->height};
    Clip box{0, 0, 0, 0};
    bool haveBox = rect && (options & (ETO_CLIPPED | ETO_OPAQUE));
    if (haveBox) {
        auto px = [&](double lx, double ly) { return std::clamp(std::floor(m.mapX(lx, ly) + 0.5), -1e9, 1e9); };
        auto py = [&](double lx, double ly) { return std::clamp(std::floor(m.mapY(lx, ly) + 0.5), -1e9, 1e9); };
        double l = px(rect->left, rect->top), t = py(rect->left, rect->top);
        double r = px(rect->right, rect->bottom), b = py(rect->right, rect->bottom);
        box = Clip{static_cast<LONG>(std::min(l, r)), static_cast<LONG>(std::min(t, b)),
                   static_cast<LONG>(std::max(l, r)), static_cast<LONG>(std::max(t, b))};
    }
    auto intersect = [](Clip a, const Clip& b) {
        a.left = std::max(a.left, b.left);
        a.top = std::max(a.top, b.top);
        a.right = std::min(a.right, b.right);
        a.bottom = std::min(a.bottom, b.bottom);
        return a;
    };
    if (haveBox && (options & ETO_OPAQUE)) {
        Clip fill = intersect(clip, box);
        uint32_t back = s->rawOf(dc->state.bkColor);
        for (LONG yy = fill.top; yy < fill.bottom; ++yy)
            for (LONG xx = fill.left; xx < fill.right; ++xx) s->set(xx, yy, back);
    }
    if (haveBox && (options & ETO_CLIPPED)) clip = intersect(clip, box);
    if (count == 0) return TRUE;

    DeviceFont f = deviceFont(*dc);
    std::vector<INT> deviceDx;
    const INT* advances = dx;
    if (dx && f.sx != 1) {
        deviceDx.resize(count);
        for (UINT i = 0; i < count; ++i)
            deviceDx[i] = static_cast<INT>(std::clamp(std::floor(dx[i] * f.sx + 0.5), -1e6, 1e6));
        advances = deviceDx.data();
    }
    fonts::Placement placement;
    placement.at = fonts::PointD{std::floor(m.mapX(x, y) + 0.5), std::floor(m.mapY(x, y) + 0.5)};
    placement.align = dc->state.textAlign;
    placement.dx = advances;
    placement.useOrientation = dc->state.graphicsMode == GM_ADVANCED;
    auto rendered = fonts::render(f.font, std::u16string_view(text, count), placement, f.resolution);
    if (!rendered) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dc->state.bkMode == OPAQUE) {
        engine::Glyph cell = fonts::fillPolygon(std::vector<fonts::PointD>(rendered->cell.begin(), rendered->cell.end()));
        drawPicture(*s, cell, s->rawOf(dc->state.bkColor), clip);
    }
    uint32_t ink = s->rawOf(dc->state.textColor);
    for (const engine::Glyph& g : rendered->glyphs) drawPicture(*s, g, ink, clip);
    for (const engine::Glyph& g : rendered->bars) drawPicture(*s, g, ink, clip);
    return TRUE;
}

BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutW(dc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

int WINAPI EnumFontFamiliesW(HDC dcHandle, LPCWSTR family, FONTENUMPROCW proc, LPARAM context) {
    {
        std::lock_guard guard(lock());
        if (!findDc(dcHandle) || !proc) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    struct Style {
        LONG weight;
        BYTE italic;
        const char16_t* name;
        DWORD flag;
    };
    static constexpr Style kRegular{FW_NORMAL, 0, u"Regular", NTM_REGULAR};
    static constexpr Style kStyles[] = {kRegular,
                                        {FW_BOLD, 0, u"Bold", NTM_BOLD},
                                        {FW_NORMAL, 1, u"Italic", NTM_ITALIC},
                                        {FW_BOLD, 1, u"Bold Italic", NTM_BOLD | NTM_ITALIC}};
    auto call = [&](const fonts::Family& fam, const Style& style) {
        ENUMLOGFONTW elf{};
        LOGFONTW& lf = elf.elfLogFont;
        std::copy(fam.name.begin(), fam.name.begin() + std::min<size_t>(fam.name.size(), LF_FACESIZE - 1),
                  lf.lfFaceName);
        lf.lfWeight = style.weight;
        lf.lfItalic = style.italic;
        lf.lfCharSet = fam.charSet;
        lf.lfOutPrecision = OUT_STROKE_PRECIS;
        lf.lfClipPrecision = CLIP_STROKE_PRECIS;
        lf.lfQuality = DRAFT_QUALITY;
        lf.lfPitchAndFamily = fam.pitchAndFamily;
        NEWTEXTMETRICW ntm{};
        LOGFONTW probe = lf;
        probe.lfHeight = -16;
        if (auto tm = fonts::metrics(probe)) static_cast<TEXTMETRICW&>(ntm) = *tm;
        lf.lfHeight = ntm.tmHeight;
        lf.lfWidth = ntm.tmAveCharWidth;
        probe.lfHeight = -2048;
        if (auto tm = fonts::metrics(probe)) {
            ntm.ntmSizeEM = 2048;
            ntm.ntmCellHeight = static_cast<UINT>(tm->tmHeight);
            ntm.ntmAvgWidth = static_cast<UINT>(tm->tmAveCharWidth);
        }
        ntm.ntmFlags = style.flag;
        std::u16string full = fam.name;
        if (style.flag != NTM_REGULAR) full += u" " + std::u16string(style.name);
        std::copy(full.begin(), full.begin() + std::min<size_t>(full.size(), LF_FULLFACESIZE - 1), elf.elfFullName);
        std::u16string styleName = style.name;
        std::copy(styleName.begin(), styleName.end(), elf.elfStyle);
        return proc(reinterpret_cast<const LOGFONTW*>(&elf), static_cast<const TEXTMETRICW*>(&ntm),
                    TRUETYPE_FONTTYPE, context);
    };
    int answer = 1;
    if (!family) {
        for (const fonts::Family& fam : fonts::families())
            if ((answer = call(fam, kRegular)) == 0) break;
        return answer;
    }
    auto fam = fonts::findFamily(family);
    if (!fam) return 1;
    for (const Style& style : kStyles)
        if ((answer = call(*fam, style)) == 0) break;
    return answer;
}
