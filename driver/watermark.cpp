// Watermarks: a line of text or a BMP picture, drawn into a page-sized grey picture with the
// printer's own font metrics and merged into the page after the engine has drawn it.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bitmap_file.h"
#include "rastrel.h"
#include "win/gdi.h"

namespace {

constexpr COLORREF kMarkColor = RGB(100, 100, 100);
constexpr double kPi = 3.14159;

// The page the mark covers: the N-up cell, else the band.
void PageSize(const DriverPdev* pdev, LONG* w, LONG* h) {
    *w = IsNup(pdev) ? pdev->printableWidth : pdev->bandWidth;
    *h = IsNup(pdev) ? pdev->printableHeight : pdev->bandHeight;
}

// Where the band being drawn starts on the page: a poster page comes in four bands.
POINTL BandOrigin(const DriverPdev* pdev) {
    if (pdev->bandingKind != 2) return POINTL{0, 0};
    return POINTL{(pdev->bandCounter & 1) ? pdev->printableWidth / 2 : 0,
                  (pdev->bandCounter & 2) ? pdev->printableHeight / 2 : 0};
}

// A top-down DIB section of the page's size; an 8-bit one gets the grey colour table.
HBITMAP CreatePageDib(HDC dc, LONG w, LONG h, WORD bitCount, void** bits) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = w;
    header.biHeight = -h;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    return CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, bits, nullptr, 0);
}

BOOL GetPrinterName(HANDLE printer, WCHAR* name) {
    PRINTER_INFO_2W* info = GetPrinterInfo2(printer);
    if (!info) return FALSE;
    lstrcpynW(name, info->pPrinterName, MAX_PATH);
    LocalFree(info);
    return name[0] != 0;
}

int CALLBACK FontEnumProc(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM context) {
    *reinterpret_cast<BYTE*>(context) = font->lfCharSet;  // the last family enumerated wins
    return 1;
}

HFONT CreateWatermarkFont(HDC dc, const WCHAR* face, LONG height, LONG width, DWORD style, LONG escapement,
                          BOOL useLogPixels) {
    BYTE charset = 0;
    EnumFontFamiliesW(dc, face, FontEnumProc, reinterpret_cast<LPARAM>(&charset));
    SaveDC(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    double xDpi, yDpi;
    if (useLogPixels) {
        xDpi = GetDeviceCaps(dc, LOGPIXELSX);
        yDpi = GetDeviceCaps(dc, LOGPIXELSY);
    } else {
        int horzSize = GetDeviceCaps(dc, HORZSIZE), vertSize = GetDeviceCaps(dc, VERTSIZE);
        xDpi = horzSize > 0 ? 25.4 * GetDeviceCaps(dc, HORZRES) / horzSize : 600.0;
        yDpi = vertSize > 0 ? 25.4 * GetDeviceCaps(dc, VERTRES) / vertSize : 600.0;
    }
    POINT size{static_cast<LONG>(width * xDpi / 72), static_cast<LONG>(height * yDpi / 72)};
    DPtoLP(dc, &size, 1);
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::abs(size.y) / 10.0 + 0.5);
    font.lfEscapement = font.lfOrientation = escapement;
    font.lfWeight = (style & 1) ? 700 : 0;
    font.lfItalic = (style & 2) ? 1 : 0;
    font.lfUnderline = (style & 4) ? 1 : 0;
    font.lfStrikeOut = (style & 8) ? 1 : 0;
    font.lfCharSet = charset;
    lstrcpynW(font.lfFaceName, face, 32);
    HFONT handle = CreateFontIndirectW(&font);
    if (handle && width != 0 && size.y != 0) {
        HGDIOBJ old = SelectObject(dc, handle);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        DeleteObject(handle);
        font.lfWidth = static_cast<LONG>(metrics.tmAveCharWidth * std::abs(size.x) / double(std::abs(size.y)) + 0.5);
        handle = CreateFontIndirectW(&font);
    }
    RestoreDC(dc, -1);
    return handle;
}

// How a mark's grey meets the page's.
enum class MergeRule { kText, kBlend, kWhiteOnly };

// Merges one row of the mark into the page: light page pixels take it fully, dark ones are only
// tinted, black stays black; with kWhiteOnly only white page pixels take it.
void MergeRow(BYTE* page, const BYTE* mark, LONG count, MergeRule rule, LONG flat) {
    const LONG tint = rule == MergeRule::kText ? 40 : 200;
    const LONG light = rule == MergeRule::kText ? 215 : 55;
    for (LONG i = 0; i < count; ++i) {
        LONG w = mark[i];
        if (w == 255) continue;
        LONG p = page[i];
        if (rule == MergeRule::kWhiteOnly) {
            if (p == 255) page[i] = static_cast<BYTE>(w);
            continue;
        }
        if (rule == MergeRule::kText) w = flat;
        if (p == 255)
            p = w;
        else if (p != 0)
            p = p > light ? (255 - p) * (383 - w) / 383 + p : tint * (383 - w) / 383 + p;
        page[i] = static_cast<BYTE>(p);
    }
}

// The text is drawn into a grey picture of just the box its turned cell covers on the page, and
// merged from there: no page-sized picture is needed.
BOOL RenderTextWatermark(DriverPdev* pdev) {
    const WatermarkSettings& mark = pdev->watermark;
    LONG w, h;
    PageSize(pdev, &w, &h);
    WCHAR printerName[MAX_PATH];
    if (!GetPrinterName(pdev->printer, printerName)) return FALSE;
    HDC memory = CreateCompatibleDC(nullptr);
    // The record keeps a copy of full DEVMODEs only; without one the printer's default serves.
    bool haveDevmode = reinterpret_cast<const DEVMODEW*>(pdev->devmodeCopy)->dmSize != 0;
    HDC printerDc = CreateDCW(u"WINSPOOL", printerName, nullptr,
                              haveDevmode ? reinterpret_cast<const DEVMODEW*>(pdev->devmodeCopy) : nullptr);
    BOOL ok = memory && printerDc;
    LONG height = static_cast<LONG>(mark.fontSize * 9.6);
    LONG escapement = (mark.angle * 10) % 3600;
    // The printer DC the font is made for has the zoomed resolution already, so the mark keeps its
    // size against the page at any zoom, in an N-up cell and on a poster; only the place of the mark
    // on a page larger than the band (a poster, a page above zoom 100) is scaled.
    LONG placeW = w, placeH = h;
    if (pdev->zoom > 100.0) {
        placeW = static_cast<LONG>(w * pdev->zoom / 100.0);
        placeH = static_cast<LONG>(h * pdev->zoom / 100.0);
    }
    HFONT font = ok ? CreateWatermarkFont(printerDc, mark.faceName, height, 0, mark.style, escapement, FALSE) : nullptr;
    ok = ok && font;
    HGDIOBJ oldFont = ok ? SelectObject(memory, font) : nullptr;
    SIZE extent{};
    int length = lstrlenW(mark.text);
    ok = ok && GetTextExtentPoint32W(memory, mark.text, length, &extent);
    LONG x = 0, y = 0;
    RECTL box{0, 0, 0, 0};
    if (ok) {
        double theta = escapement * kPi / 1800.0, c = std::cos(theta), s = std::sin(theta);
        LONGLONG centreX = mark.placed ? LONGLONG(placeW) * 100 * mark.xPercent / 10000 : placeW / 2;
        LONGLONG centreY = mark.placed ? LONGLONG(placeH) * 100 * mark.yPercent / 10000 : placeH / 2;
        x = static_cast<LONG>(centreX - (extent.cx * c + extent.cy * s) / 2);
        y = static_cast<LONG>(centreY + (extent.cx * s - extent.cy * c) / 2);
        // A poster page is marked as a whole: each band shows its own part of the mark.
        POINTL origin = BandOrigin(pdev);
        x -= origin.x;
        y -= origin.y;
        // The text cell from its top-left corner (x, y): along the baseline (c, -s), down (s, c);
        // one cell height of room all round for what glyphs reach beyond their cell.
        double xs[4] = {0, extent.cx * c, extent.cy * s, extent.cx * c + extent.cy * s};
        double ys[4] = {0, -extent.cx * s, extent.cy * c, -extent.cx * s + extent.cy * c};
        double pad = extent.cy;
        box.left = std::max<LONG>(0, static_cast<LONG>(std::floor(x + *std::min_element(xs, xs + 4) - pad)));
        box.top = std::max<LONG>(0, static_cast<LONG>(std::floor(y + *std::min_element(ys, ys + 4) - pad)));
        box.right = std::min<LONG>(w, static_cast<LONG>(std::ceil(x + *std::max_element(xs, xs + 4) + pad)));
        box.bottom = std::min<LONG>(h, static_cast<LONG>(std::ceil(y + *std::max_element(ys, ys + 4) + pad)));
    }
    LONG boxW = box.right - box.left, boxH = box.bottom - box.top;
    void* bits = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    if (ok && boxW > 0 && boxH > 0) {  // a mark wholly off the page leaves the page as it is
        dib = CreatePageDib(memory, boxW, boxH, 8, &bits);
        ok = dib && bits;
        oldBitmap = ok ? SelectObject(memory, dib) : nullptr;
        ok = ok && BitBlt(memory, 0, 0, boxW, boxH, nullptr, 0, 0, WHITENESS);
        if (ok) {
            SetTextColor(memory, kMarkColor);
            SetBkMode(memory, TRANSPARENT);
            SetTextAlign(memory, 0);
            RECT page{-box.left, -box.top, w - box.left, h - box.top};
            ok = ExtTextOutW(memory, x - box.left, y - box.top, ETO_CLIPPED, &page, mark.text,
                             static_cast<UINT>(length), nullptr);
        }
        if (ok) {
            LONG flat = (100 - mark.darkness) * 255 / 100;
            SIZE_T stride = (SIZE_T(boxW) + 3) & ~SIZE_T(3);
            for (LONG row = 0; row < boxH; ++row)
                MergeRow(pdev->pageBuffer + SIZE_T(box.top + row) * w + box.left,
                         static_cast<const BYTE*>(bits) + SIZE_T(row) * stride, boxW, MergeRule::kText, flat);
        }
    }
    if (oldBitmap) SelectObject(memory, oldBitmap);
    if (dib) DeleteObject(dib);
    if (oldFont) SelectObject(memory, oldFont);
    if (font) DeleteObject(font);
    if (memory) DeleteDC(memory);
    if (printerDc) DeleteDC(printerDc);
    return ok;
}

DWORD U32(const BYTE* p) { return p[0] | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24); }

// The picture is stretched over the page a band of rows at a time, each band turned grey and merged
// at once: no page-sized picture is needed.
BOOL RenderImageWatermark(DriverPdev* pdev) {
    const WatermarkSettings& mark = pdev->watermark;
    LONG w, h;
    PageSize(pdev, &w, &h);
    HANDLE file = CreateFileW(mark.imagePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(u"Rastrel: watermark picture cannot be opened");
        return FALSE;
    }
    DWORD size = GetFileSize(file, nullptr);
    BYTE* bytes = size != INVALID_FILE_SIZE && size > 0 ? static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, size)) : nullptr;
    DWORD read = 0;
    BOOL ok = bytes && ReadFile(file, bytes, size, &read, nullptr) && read == size;
    CloseHandle(file);
    LONG width = 0, height = 0;
    if (!ok) {
        OutputDebugStringW(u"Rastrel: watermark picture cannot be read");
    } else if (CheckBitmapFile(bytes, size, &width, &height)) {
        OutputDebugStringW(u"Rastrel: watermark picture is not a sound BMP file");
        ok = FALSE;
    }
    constexpr LONG kBandRows = 256;
    LONG bandRows = h < kBandRows ? h : kBandRows;
    HDC memory = ok ? CreateCompatibleDC(nullptr) : nullptr;
    void* bits = nullptr;
    HBITMAP dib = memory ? CreatePageDib(memory, w, bandRows, 24, &bits) : nullptr;
    ok = ok && dib && bits;
    HGDIOBJ old = ok ? SelectObject(memory, dib) : nullptr;
    BYTE* greys = ok ? static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(w))) : nullptr;
    ok = ok && greys;
    LONG targetW = w, targetH = h;
    if (pdev->zoom > 100.0) {
        targetW = static_cast<LONG>(w * pdev->zoom / 100.0);
        targetH = static_cast<LONG>(h * pdev->zoom / 100.0);
    }
    // The picture covers the whole page: a poster band shows its own part of it.
    const POINTL origin = BandOrigin(pdev);
    const MergeRule rule = mark.imageBlend ? MergeRule::kBlend : MergeRule::kWhiteOnly;
    const SIZE_T stride = (SIZE_T(w) * 3 + 3) & ~SIZE_T(3);
    for (LONG top = 0; ok && top < h; top += bandRows) {
        LONG rows = h - top < bandRows ? h - top : bandRows;
        // The whole stretched picture, placed so that this band's rows fall on the band bitmap.
        ok = StretchDIBits(memory, -origin.x, -top - origin.y, targetW, targetH, 0, 0, width, height, bytes + U32(bytes + 10),
                           reinterpret_cast<const BITMAPINFO*>(bytes + 14), DIB_RGB_COLORS, SRCCOPY) != GDI_ERROR;
        for (LONG y = 0; ok && y < rows; ++y) {
            const BYTE* row = static_cast<const BYTE*>(bits) + SIZE_T(y) * stride;
            for (LONG x = 0; x < w; ++x) {
                const BYTE* px = row + SIZE_T(x) * 3;
                greys[x] = static_cast<BYTE>((117 * px[0] + 601 * px[1] + 306 * px[2]) >> 10);
            }
            MergeRow(pdev->pageBuffer + SIZE_T(top + y) * w, greys, w, rule, 0);
        }
    }
    if (greys) HeapFree(GetProcessHeap(), 0, greys);
    if (old) SelectObject(memory, old);
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
    return ok;
}

}  // namespace

BOOL ApplyWatermark(DriverPdev* pdev) {
    if (!pdev->pageBuffer) return FALSE;
    return pdev->watermark.kind == 1 ? RenderTextWatermark(pdev) : RenderImageWatermark(pdev);
}
