// Print settings: the DEVMODE the device runs with, its repair, the paper table and the page geometry.
#include <cstring>
#include <utility>

#include "devmode_layout.h"
#include "rastrel.h"

const PaperEntry kPaperTable[] = {
    {9, 2100, 2970, 5, 1, FALSE},    {1, 2159, 2794, 5, 2, FALSE},    {41, 2159, 3302, 5, 3, FALSE},
    {5, 2159, 3556, 5, 4, FALSE},    {13, 1820, 2570, 5, 5, FALSE},   {37, 984, 1905, 5, 6, TRUE},
    {27, 1100, 2200, 5, 7, TRUE},    {28, 1620, 2290, 5, 8, TRUE},    {20, 1048, 2413, 5, 9, TRUE},
    {91, 1050, 2340, 5, 10, FALSE},  {11, 1480, 2100, 5, 11, FALSE},  {43, 1000, 1480, 5, 12, TRUE},
    {73, 1200, 2350, 5, 13, FALSE},  {263, 1850, 2600, 5, 14, FALSE}, {264, 1950, 2700, 5, 15, FALSE},
    {266, 1300, 1850, 5, 16, FALSE}, {260, 1350, 1950, 5, 17, FALSE}, {70, 1050, 1480, 5, 19, FALSE},
    {34, 1760, 2500, 5, 20, FALSE},  {7, 1842, 2667, 5, 21, FALSE},   {14, 2159, 3302, 5, 22, FALSE},
    {269, 2160, 3430, 5, 23, FALSE}, {6, 1397, 2159, 5, 24, FALSE},   {31, 1140, 1620, 5, 25, TRUE},
    {270, 1200, 2300, 5, 26, TRUE},  {271, 1250, 1760, 5, 28, FALSE}, {-1, 0, 0, 0, 0, FALSE},
};
static_assert(sizeof(kPaperTable) / sizeof(kPaperTable[0]) == kPaperTableRows + 1, "26 rows and the end row");

namespace {

constexpr SHORT kA5 = 11;
constexpr SHORT kA5WithOptionCode = 18;
// The DEVMODE's own fields say how long it is; it must at least reach past them.
constexpr size_t kMinimumDevmode = devmode::kDriverExtra + sizeof(WORD);

SHORT repaired(SHORT value, SHORT low, SHORT high, SHORT fallback) {
    return value >= low && value <= high ? value : fallback;
}

SHORT clamped(SHORT value, SHORT low, SHORT high) { return value < low ? low : value > high ? high : value; }

// 0.1 mm to pixels at 600 dpi, truncated: tenths / 10 / 25.4 * 600 = tenths * 300 / 127, kept exact in
// integers so that sizes such as 215.9 mm (exactly 5100 pixels) do not fall one pixel short.
LONG TenthsToPixels(LONG tenths) { return static_cast<LONG>(static_cast<LONGLONG>(tenths) * 300 / 127); }

LONG RoundUp(LONG value, LONG step) { return (value + step - 1) / step * step; }
LONG RoundDown(LONG value, LONG step) { return value / step * step; }
LONG Scaled(LONG value, double zoom) { return static_cast<LONG>(value * zoom / 100.0); }

// Chooses the 2-up layout for a printable size w x h; returns the 2-up scale in percent.
double TwoUpScale(LONG w, LONG h, LONG* kind) {
    LONGLONG p;
    if (w < h) {
        LONGLONG fit = static_cast<LONGLONG>(w) * w / h;
        if (h / 2 >= fit) {
            *kind = 1;
            p = fit;
        } else {
            *kind = 2;
            p = h / 2;
        }
    } else {
        LONGLONG fit = static_cast<LONGLONG>(h) * h / w;
        if (w / 2 >= fit) {
            *kind = 4;
            p = h;
        } else {
            *kind = 3;
            p = static_cast<LONGLONG>(w) * w / (2LL * h);
        }
    }
    return static_cast<double>(p) / w * 100.0;
}

LONG DarknessPercent(SHORT level) {
    switch (level) {
    case 0: return 10;
    case 1: return 30;
    case 3: return 70;
    case 4: return 90;
    default: return 50;
    }
}

}  // namespace

int FindPaperEntry(LONG id) {
    SHORT wanted = static_cast<SHORT>(id);
    for (int i = 0; kPaperTable[i].id != -1; ++i)
        if (kPaperTable[i].id == wanted) return i;
    return -1;
}

void ValidateDevmode(BYTE* dm) {
    using namespace devmode;
    put32(dm, kSignature, kPrivSignature);
    put16(dm, kVersion, 1);
    SHORT mode = i16(dm, kMode226);
    if (mode != 1 && mode != 5) put16(dm, kMode226, 1);
    LONG value = i32(dm, kValue496);
    if (value < 25 || value > 400) put32(dm, kValue496, 100);
    SHORT pages = i16(dm, kPagesPerSheet);
    if (pages != 1 && pages != 2 && pages != 4 && pages != 9 && pages != 22) put16(dm, kPagesPerSheet, 1);
    put16(dm, kDensityLevel, repaired(i16(dm, kDensityLevel), 0, 4, 2));
    put16(dm, kZoom, repaired(i16(dm, kZoom), 25, 400, 100));
    // The watermark's centre lies on the page.
    put16(dm, kWatermarkX, clamped(i16(dm, kWatermarkX), 0, 100));
    put16(dm, kWatermarkY, clamped(i16(dm, kWatermarkY), 0, 100));
    int row = FindPaperEntry(i16(dm, kPaperSize));
    if (row < 0) {
        put16(dm, kPaperWidth, repaired(i16(dm, kPaperWidth), 750, 2160, 2100));
        put16(dm, kPaperLength, repaired(i16(dm, kPaperLength), 1480, 3560, 2970));
    } else if (kPaperTable[row].envelope) {
        put16(dm, kDefaultSource, DMBIN_MANUAL);
    }
}

PRINTER_INFO_2W* GetPrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) return nullptr;
    auto* info = static_cast<PRINTER_INFO_2W*>(LocalAlloc(LPTR, needed));
    if (!info) return nullptr;
    if (!GetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
        LocalFree(info);
        return nullptr;
    }
    return info;
}

BYTE* GetDefaultDevmode(HANDLE printer, LPWSTR printerName) {
    LONG size = DocumentPropertiesW(nullptr, printer, printerName, nullptr, nullptr, 0);
    if (size < static_cast<LONG>(kMinimumDevmode)) return nullptr;
    SIZE_T bytes = static_cast<SIZE_T>(size) > kPrivateDevmodeSize ? static_cast<SIZE_T>(size) : kPrivateDevmodeSize;
    auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, bytes));
    if (!block) return nullptr;
    if (DocumentPropertiesW(nullptr, printer, printerName, reinterpret_cast<DEVMODEW*>(block), nullptr,
                            DM_OUT_BUFFER) != IDOK) {
        LocalFree(block);
        return nullptr;
    }
    return block;
}

namespace {

// The printer's default DEVMODE, validated, into `out` (kPrivateDevmodeSize bytes).
BOOL LoadDefaultDevmode(HANDLE printer, BYTE* out, BOOL* copyable) {
    PRINTER_INFO_2W* info = GetPrinterInfo2(printer);
    if (!info) return FALSE;
    BYTE* dm = GetDefaultDevmode(printer, info->pPrinterName);
    LocalFree(info);
    if (!dm) return FALSE;
    size_t declared = size_t(devmode::u16(dm, devmode::kSize)) + devmode::u16(dm, devmode::kDriverExtra);
    // A default shorter than the full DEVMODE is taken only as far as it reaches.
    std::memset(out, 0, kPrivateDevmodeSize);
    std::memcpy(out, dm, declared < kPrivateDevmodeSize ? declared : kPrivateDevmodeSize);
    LocalFree(dm);
    ValidateDevmode(out);
    *copyable = declared >= kPrivateDevmodeSize;
    return TRUE;
}

}  // namespace

// Picks the DEVMODE the device runs with and leaves it, repaired, in `merged`:
// - the engine's full DEVMODE is repaired in place and used as it is;
// - a shorter one (dmSize + dmDriverExtra below the full size) is laid over the printer's default
//   (zeros when there is none): the repair runs on that whole and is written back only inside the
//   bytes the engine's DEVMODE has;
// - none, or one too short to say its own size, gives the printer's default.
// *copyable says whether the DEVMODE was full-size, and so kept in the record.
BOOL SelectDevmode(HANDLE printer, DEVMODEW* engineDevmode, BYTE* merged, BOOL* copyable) {
    *copyable = FALSE;
    if (engineDevmode) {
        BYTE* given = reinterpret_cast<BYTE*>(engineDevmode);
        size_t declared = size_t(engineDevmode->dmSize) + engineDevmode->dmDriverExtra;
        if (declared >= kPrivateDevmodeSize) {
            ValidateDevmode(given);
            std::memcpy(merged, given, kPrivateDevmodeSize);
            *copyable = TRUE;
            return TRUE;
        }
        if (declared >= kMinimumDevmode) {
            BOOL unused = FALSE;
            if (!LoadDefaultDevmode(printer, merged, &unused)) std::memset(merged, 0, kPrivateDevmodeSize);
            std::memcpy(merged, given, declared);
            ValidateDevmode(merged);
            std::memcpy(given, merged, declared);
            return TRUE;
        }
        OutputDebugStringW(u"Rastrel: DEVMODE too short, using the printer's default");
    }
    return LoadDefaultDevmode(printer, merged, copyable);
}

BOOL IsNup(const DriverPdev* pdev) {
    return pdev->pagesPerSheet == 2 || pdev->pagesPerSheet == 4 || pdev->pagesPerSheet == 9;
}

BOOL IsSpooling(const DriverPdev* pdev) {
    return (pdev->collate && pdev->copies > 1) || pdev->reverseOrder || pdev->duplexKind == 1 ||
           pdev->duplexKind == 2;
}

BOOL IsDirectAndSpool(const DriverPdev* pdev) {
    return pdev->collate && pdev->copies >= 2 && !pdev->reverseOrder && pdev->duplexKind != 1 &&
           pdev->duplexKind != 2;
}

void ComputePageGeometry(DriverPdev* pdev, const BYTE* dm) {
    using namespace devmode;
    LONG width, height, margins;  // 0.1 mm; margins: both sides together
    int row = FindPaperEntry(i16(dm, kPaperSize));
    if (row >= 0) {
        const PaperEntry& paper = kPaperTable[row];
        width = paper.width;
        height = paper.height;
        margins = 2 * paper.margin * 10;
        pdev->paperId = paper.id;
        pdev->printerPaperCode = paper.id == kA5 && pdev->paperOption == 2 ? kA5WithOptionCode : paper.code;
    } else {
        width = i16(dm, kPaperWidth);
        height = i16(dm, kPaperLength);
        margins = 100;
        pdev->paperId = i16(dm, kPaperSize);
        pdev->customPaperWidth = static_cast<SHORT>(width);
        pdev->customPaperLength = static_cast<SHORT>(height);
        pdev->printerPaperCode = 0;
    }
    LONG physW = TenthsToPixels(width), physH = TenthsToPixels(height);
    LONG printW = TenthsToPixels(width - margins), printH = TenthsToPixels(height - margins);
    if (pdev->orientation == DMORIENT_LANDSCAPE) {
        std::swap(physW, physH);
        std::swap(printW, printH);
    }
    pdev->physicalWidth = physW;
    pdev->physicalHeight = physH;
    LONG bandW = printW, bandH = printH;

    BOOL nup = IsNup(pdev);
    if (nup) {
        if (pdev->pagesPerSheet == 2)
            pdev->zoom = TwoUpScale(printW, printH, &pdev->nupLayoutKind);
        else
            pdev->zoom = pdev->pagesPerSheet == 4 ? 50.0 : 33.3333;
    }
    pdev->banding = (pdev->zoom > 100.0 || pdev->bandingKind == 2) && !nup;
    if (!nup && pdev->zoom >= 25.0 && pdev->zoom < 100.0) {
        bandW = Scaled(bandW, pdev->zoom);
        bandH = Scaled(bandH, pdev->zoom);
    }
    if (pdev->zoom != 100.0) {
        printW = Scaled(printW, pdev->zoom);
        printH = Scaled(printH, pdev->zoom);
    }
    if (nup) {
        printW = RoundDown(printW, 8);
        printH = RoundDown(printH, 8);
    } else {
        printW = RoundUp(printW, 32);
        printH = RoundUp(printH, 32);
    }
    pdev->printableWidth = printW;
    pdev->printableHeight = printH;
    pdev->bandWidth = pdev->sheetWidth = RoundUp(bandW, 32);
    pdev->bandHeight = pdev->sheetHeight = RoundUp(bandH, 32);
}

void InitPdevFromDevmode(DriverPdev* pdev, const BYTE* dm, BOOL copyable) {
    using namespace devmode;
    pdev->headSignature = kPdevHeadSignature;
    pdev->tailSignature = kPdevTailSignature;
    pdev->size = sizeof(DriverPdev);
    pdev->pageBuffer = nullptr;
    pdev->pageBufferSize = 0;
    pdev->sheetsSent = 0;
    pdev->pagesFinished = 0;

    pdev->xResolution = pdev->yResolution = 600;
    pdev->outputResolution = i16(dm, kPrintQuality) == 1200 ? 1200 : 600;
    pdev->orientation = i16(dm, kOrientation) == DMORIENT_LANDSCAPE ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;

    SHORT pages = i16(dm, kPagesPerSheet);
    pdev->bandingKind = pages == 22 ? 2 : 1;
    SHORT scale = i16(dm, kScale);
    pdev->scale = scale >= 10 && scale <= 400 ? scale : 100;
    pdev->zoom = pdev->bandingKind == 2 ? pdev->bandingKind * 100.0 : static_cast<double>(i16(dm, kZoom));

    pdev->pagesPerSheet = pages == 22 ? 1 : pages;
    SHORT order = i16(dm, kNupOrder);
    pdev->nupOrder = order >= 0 && order <= 5 ? order + 1 : (pdev->pagesPerSheet == 2 ? 1 : 3);
    pdev->nupBorder = i16(dm, kNupBorder) != 0;

    pdev->paperOption = i16(dm, kPaperOption) == 2 ? 2 : 1;  // the A5 paper code depends on it
    ComputePageGeometry(pdev, dm);

    pdev->mediaType = static_cast<SHORT>(u32(dm, kMediaType) & 0xFFFF);
    pdev->pageEffects = (i16(dm, kMirror) == 1 ? kEffectMirror : 0) | (i16(dm, kRotate180) == 1 ? kEffectRotate180 : 0) |
                        (i16(dm, kNegative) == 1 ? kEffectNegative : 0);

    SHORT level = i16(dm, kDensityLevel);
    if (level < 0 || level > 2)
        pdev->density = 1;
    else
        pdev->density = i16(dm, kDensityOff) == 1 ? 0 : static_cast<BYTE>(level * 2);

    SHORT copies = i16(dm, kCopies);
    pdev->copies = copies < 1 ? 1 : static_cast<WORD>(copies);
    pdev->collate = i16(dm, kCollate) == DMCOLLATE_TRUE;
    pdev->reverseOrder = i16(dm, kReverseOrder) != 0;

    WatermarkSettings& mark = pdev->watermark;
    mark.firstPageOnly = i16(dm, kWatermarkFirstPage) == 1;
    SHORT kind = i16(dm, kWatermarkKind);
    mark.kind = kind == 1 || kind == 2 ? kind : 0;
    if (mark.kind == 1) {
        text(dm, kWatermarkText, 64, mark.text);
        text(dm, kWatermarkFace, 32, mark.faceName);
        mark.fontSize = i16(dm, kWatermarkSize);
        mark.angle = i16(dm, kWatermarkAngle);
        mark.darkness = DarknessPercent(i16(dm, kWatermarkDarkness));
        mark.style = (i16(dm, kWatermarkBold) == 1 ? 1u : 0u) | (i16(dm, kWatermarkItalic) == 1 ? 2u : 0u);
        mark.placed = i16(dm, kWatermarkPosition) != 5;
        mark.xPercent = i16(dm, kWatermarkX);
        mark.yPercent = i16(dm, kWatermarkY);
    } else if (mark.kind == 2) {
        text(dm, kWatermarkImage, MAX_PATH, mark.imagePath);
        mark.imageBlend = i16(dm, kWatermarkBlend) != 0;
    }

    SHORT duplex = i16(dm, kDuplex);
    pdev->duplexKind = duplex == DMDUP_HORIZONTAL ? 1 : duplex == DMDUP_VERTICAL ? 2 : 0;
    SHORT source = i16(dm, kDefaultSource);
    pdev->mediaSource = source == DMBIN_UPPER ? 2 : source == DMBIN_MANUAL ? 1 : 0;
    pdev->mediaSourceReserved = 0;
    pdev->bitmapFormat = BMF_8BPP;

    if (copyable)
        std::memcpy(pdev->devmodeCopy, dm, kPrivateDevmodeSize);
    else
        std::memset(pdev->devmodeCopy, 0, kPrivateDevmodeSize);
    pdev->jobStarted = 0;
}
