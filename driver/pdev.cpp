// The device record: its checks, creation and destruction, the capability records and the
// carry-over of a job on reset.
#include <cstring>

#include "ddi.h"
#include "rastrel.h"
#include "stream.h"

namespace {

constexpr size_t kGdiInfoSize = 320;
constexpr size_t kDevInfoSize = 312;
static_assert(sizeof(GDIINFO) == kGdiInfoSize && sizeof(DEVINFO) == kDevInfoSize);

constexpr FLONG kGraphicsCaps = 0xF0008410;

void FreeRecord(DriverPdev* pdev) {
    if (pdev->palette) EngDeletePalette(pdev->palette);
    pdev->palette = nullptr;
    LocalFree(pdev);
}

}  // namespace

BOOL IsValidPdev(const DriverPdev* pdev) {
    return pdev && pdev->headSignature == kPdevHeadSignature && pdev->tailSignature == kPdevTailSignature;
}

DriverPdev* PdevFromSurface(SURFOBJ* surface) {
    auto* pdev = surface ? reinterpret_cast<DriverPdev*>(surface->dhpdev) : nullptr;
    if (!pdev || pdev->headSignature != kPdevHeadSignature || pdev->size != sizeof(DriverPdev) ||
        pdev->tailSignature != kPdevTailSignature) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    pdev->currentSurface = surface;
    if (EngCheckAbort(surface)) {
        pdev->aborted = 1;
        return nullptr;
    }
    return pdev;
}

LONG LogicalDpi(const DriverPdev* pdev) {
    LONG zoomed = static_cast<LONG>(600.0 * pdev->zoom / 100.0);
    return zoomed * pdev->scale / 100;
}

void FillGdiInfo(const DriverPdev* pdev, GDIINFO* info) {
    std::memset(info, 0, sizeof *info);
    LONG dpi = LogicalDpi(pdev);
    info->ulVersion = GDIINFO_VERSION_NT5;
    info->ulTechnology = DT_RASPRINTER;
    info->ulLogPixelsX = info->ulLogPixelsY = static_cast<ULONG>(dpi);
    info->ulHorzRes = static_cast<ULONG>(pdev->printableWidth);
    info->ulVertRes = static_cast<ULONG>(pdev->printableHeight);
    // A logical resolution of 0 cannot come from the repaired settings; never divide by it.
    info->ulHorzSize = dpi > 0 ? static_cast<ULONG>(pdev->printableWidth * 25.4 / dpi) : 0;
    info->ulVertSize = dpi > 0 ? static_cast<ULONG>(pdev->printableHeight * 25.4 / dpi) : 0;
    info->cBitsPixel = 8;
    info->cPlanes = 1;
    info->ulHTOutputFormat = HT_FORMAT_8BPP;
    info->ulAspectX = 600;
    info->ulAspectY = 600;
    info->ulAspectXY = 848;
    info->xStyleStep = 1;
    info->yStyleStep = 1;
    info->denStyleStep = dpi / 25;
    LONG physW = pdev->physicalWidth, physH = pdev->physicalHeight;
    if (pdev->zoom != 100.0) {
        physW = static_cast<LONG>(physW * pdev->zoom / 100.0);
        physH = static_cast<LONG>(physH * pdev->zoom / 100.0);
    }
    info->szlPhysSize.cx = physW;
    info->szlPhysSize.cy = physH;
    info->ptlPhysOffset.x = (physW - pdev->printableWidth) >> 1;
    info->ptlPhysOffset.y = (physH - pdev->printableHeight) >> 1;
    info->ulDevicePelsDPI = static_cast<ULONG>(dpi);
}

BOOL FillDevInfo(DriverPdev* pdev, DEVINFO* info) {
    std::memset(info, 0, sizeof *info);
    info->flGraphicsCaps = kGraphicsCaps;
    info->iDitherFormat = BMF_8BPP;
    info->cxDither = 8;
    info->cyDither = 8;
    ULONG grey[256];
    for (ULONG i = 0; i < 256; ++i) grey[i] = i * 0x010101;
    if (pdev->palette) EngDeletePalette(pdev->palette);
    pdev->palette = EngCreatePalette(PAL_INDEXED, 256, grey, 0, 0, 0);
    if (!pdev->palette) return FALSE;
    info->hpalDefault = pdev->palette;
    pdev->ditherWidth = info->cxDither;
    pdev->ditherHeight = info->cyDither;
    return TRUE;
}

void CloseJobFiles(DriverPdev* pdev) {
    CloseDriverTempFile(&pdev->nupFile, pdev->nupPath);
    CloseDriverTempFile(&pdev->pageSpool, pdev->pageSpoolPath);
    CloseDriverTempFile(&pdev->headerSpool, pdev->headerSpoolPath);
}

extern "C" DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* devmode, LPWSTR, ULONG patternCount, HSURF* patterns,
                                         ULONG gdiInfoSize, ULONG* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo,
                                         HDEV, LPWSTR, HANDLE printer) {
    auto* pdev = static_cast<DriverPdev*>(LocalAlloc(LMEM_ZEROINIT, sizeof(DriverPdev)));
    if (!pdev) return nullptr;
    pdev->printer = printer;
    BYTE* settings = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, kPrivateDevmodeSize));
    if (!settings) {
        FreeRecord(pdev);
        return nullptr;
    }
    BOOL copyable = FALSE;
    if (!SelectDevmode(printer, devmode, settings, &copyable)) {
        LocalFree(settings);
        FreeRecord(pdev);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    InitPdevFromDevmode(pdev, settings, copyable);
    LocalFree(settings);

    GDIINFO gdi;
    FillGdiInfo(pdev, &gdi);
    DEVINFO dev;
    if (!FillDevInfo(pdev, &dev)) {
        FreeRecord(pdev);
        return nullptr;
    }
    if (gdiInfo) std::memcpy(gdiInfo, &gdi, gdiInfoSize < kGdiInfoSize ? gdiInfoSize : kGdiInfoSize);
    if (devInfo) std::memcpy(devInfo, &dev, devInfoSize < kDevInfoSize ? devInfoSize : kDevInfoSize);
    if (patterns) std::memset(patterns, 0, patternCount * sizeof(HSURF));
    return reinterpret_cast<DHPDEV>(pdev);
}

extern "C" void APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
    auto* pdev = reinterpret_cast<DriverPdev*>(dhpdev);
    if (!IsValidPdev(pdev)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    pdev->engineDevice = hdev;
}

extern "C" void APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
    auto* pdev = reinterpret_cast<DriverPdev*>(dhpdev);
    if (!IsValidPdev(pdev)) return;
    // A job that never reached its end (the engine gave up on it) leaves no temporary files.
    CloseJobFiles(pdev);
    if (pdev->sheetBuffer && pdev->sheetBuffer != pdev->pageBuffer) HeapFree(GetProcessHeap(), 0, pdev->sheetBuffer);
    if (pdev->pageBuffer) HeapFree(GetProcessHeap(), 0, pdev->pageBuffer);
    pdev->sheetBuffer = pdev->pageBuffer = nullptr;
    FreeRecord(pdev);
}

namespace {

BOOL IsDuplexJob(const DriverPdev* pdev) { return pdev->duplexKind == 1 || pdev->duplexKind == 2; }

// Copies the replay makes of the spool.
WORD CollatedCopies(const DriverPdev* pdev) { return pdev->collate && pdev->copies > 1 ? pdev->copies : 1; }

// Moves a handle with its path from one record to the other, so that only one owns it.
void HandOver(HANDLE* from, CHAR* fromPath, HANDLE* to, CHAR* toPath) {
    if (*to != *from) CloseDriverTempFile(to, toPath);  // a file of the new record's own would be lost
    *to = *from;
    std::memcpy(toPath, fromPath, MAX_PATH);
    *from = nullptr;
    fromPath[0] = 0;
}

}  // namespace

extern "C" BOOL APIENTRY DrvResetPDEV(DHPDEV oldHandle, DHPDEV newHandle) {
    auto* old = reinterpret_cast<DriverPdev*>(oldHandle);
    auto* neu = reinterpret_cast<DriverPdev*>(newHandle);
    if (!IsValidPdev(old) || !IsValidPdev(neu)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    neu->jobId = old->jobId;
    if (!(old->jobStarted & 1)) return TRUE;

    // The spooling mode is how the spool goes out at the end: whether the job spools at all, in two
    // duplex passes or one, how many collated copies, in which order. A change of it ends the old
    // spool here, so that no sheet is left in a spool the new record would not replay as it was
    // meant; both duplex kinds replay alike.
    BOOL spoolModeChanged = IsSpooling(old) != IsSpooling(neu) || IsDuplexJob(old) != IsDuplexJob(neu) ||
                            CollatedCopies(old) != CollatedCopies(neu) || old->reverseOrder != neu->reverseOrder;
    if ((old->paperId != neu->paperId || old->pagesPerSheet != neu->pagesPerSheet || old->nupOrder != neu->nupOrder ||
         spoolModeChanged) &&
        IsNup(old)) {
        if (!FlushPage(old, kFlushSettingsChange)) return FALSE;
    }

    HandOver(&old->nupFile, old->nupPath, &neu->nupFile, neu->nupPath);
    neu->nupLayoutKind = old->nupLayoutKind;
    neu->nupStored = old->nupStored;
    neu->nupStoreSize = old->nupStoreSize;
    std::memcpy(neu->nupSlots, old->nupSlots, sizeof neu->nupSlots);
    old->nupStored = 0;
    old->nupStoreSize = 0;
    std::memset(old->nupSlots, 0, sizeof old->nupSlots);

    if (spoolModeChanged && IsSpooling(old)) {
        // The two passes of a duplex spool pair up: an odd last front side gets its blank back.
        if (IsDuplexJob(old) && old->spooledPages % 2 == 1 && !EncodeAndSendPage(old, TRUE)) return FALSE;
        if (!FinishSpool(old)) return FALSE;
    }

    BOOL hadPageSpool = old->pageSpool != nullptr;
    HandOver(&old->pageSpool, old->pageSpoolPath, &neu->pageSpool, neu->pageSpoolPath);
    HandOver(&old->headerSpool, old->headerSpoolPath, &neu->headerSpool, neu->headerSpoolPath);
    neu->spooledPages = old->spooledPages;
    neu->headerSent = old->headerSent;
    std::memcpy(neu->pageTable, old->pageTable, sizeof neu->pageTable);
    old->spooledPages = 0;
    std::memset(old->pageTable, 0, sizeof old->pageTable);
    // As when a job begins, a store that cannot be opened does not stop the job here.
    if (!hadPageSpool && IsSpooling(neu)) OpenSpoolTempFiles(neu);
    if (!neu->nupFile && IsNup(neu)) OpenNupTempFile(neu);
    // A record that writes straight to the printer sends the job header first, if it has not gone.
    if (!IsSpooling(neu) && !neu->headerSent) {
        StreamSink sink = SinkFor(neu);
        if (!WriteJobHeader(&sink)) return FALSE;
    }

    neu->sheetsSent = old->sheetsSent;
    neu->pagesFinished = old->pagesFinished;
    neu->jobStarted = old->jobStarted;
    return TRUE;
}
