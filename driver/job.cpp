// Job control: the beginning of the job, the per-sheet pipeline and the end of the document.
#include <cstring>
#include <utility>

#include "ddi.h"
#include "raster.h"
#include "stream.h"

namespace {

constexpr LONG kZoomCanvasMargin = 236;  // pixels taken off the paper for a shrunk page's canvas
constexpr SHORT kA5WithOptionCode = 18;

LONG RoundUp32(LONG v) { return (v + 31) / 32 * 32; }

BYTE* Allocate(SIZE_T bytes, BOOL zero) {
    return static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), zero ? HEAP_ZERO_MEMORY : 0, bytes));
}

void Free(BYTE* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

BOOL IsDuplex(const DriverPdev* pdev) { return pdev->duplexKind == 1 || pdev->duplexKind == 2; }

// The page effects, in their order.
BOOL ApplyPageEffects(DriverPdev* pdev, LONG w, LONG h) {
    BYTE* sheet = pdev->sheetBuffer;
    BOOL landscape = pdev->orientation == DMORIENT_LANDSCAPE;
    if ((pdev->pageEffects & kEffectNegative) && !InvertBytes(sheet, static_cast<DWORD>(w * h))) return FALSE;
    if ((pdev->pageEffects & kEffectRotate180) && !Rotate180(sheet, w, h)) return FALSE;
    if (pdev->pageEffects & kEffectMirror) {
        if (!MirrorRows(sheet, w, h)) return FALSE;
        if (((landscape && pdev->pagesPerSheet != 2) || (!landscape && pdev->pagesPerSheet == 2)) &&
            !Rotate180(sheet, w, h))
            return FALSE;
    }
    return TRUE;
}

// Turns the sheet (or, for a shrunk page, the canvas it lies on) as the paper path needs it: A5
// with paper option 2 always by a quarter turn, the back sides of a long-edge duplex job by a half
// turn. `pixels` is null for a blank sheet, whose sizes still turn. A back side is one at an odd
// place in the duplex spool, the place that decides which pass prints it.
BOOL RotateForDuplex(DriverPdev* pdev, BYTE* pixels, LONG* w, LONG* h, LONG* pw, LONG* ph) {
    BOOL landscape = pdev->orientation == DMORIENT_LANDSCAPE;
    BOOL backSide = IsDuplex(pdev) && (pdev->spooledPages % 2) == 1;
    if (pdev->printerPaperCode == kA5WithOptionCode) {
        BOOL clockwise;
        if (backSide)
            clockwise = (pdev->duplexKind == 1 && !landscape) || (pdev->duplexKind == 2 && landscape);
        else
            clockwise = (pdev->pagesPerSheet == 2 && !landscape) || (pdev->pagesPerSheet != 2 && landscape);
        if (pixels && !Rotate90(pixels, *w, *h, clockwise)) return FALSE;
        std::swap(*w, *h);
        std::swap(*pw, *ph);
    } else if (backSide && pdev->duplexKind == 2) {
        if (pixels && !Rotate180(pixels, *w, *h)) return FALSE;
    }
    return TRUE;
}

// A 2-up sheet takes the shape of the raster it fills: on paper wider than long the composed sheet
// (two halves one above the other) is turned a quarter. Pages that were turned counter-clockwise
// when stored (layouts 1 and 2) are turned back upright, side by side; upright pages turn
// counter-clockwise, as a landscape page does.
BOOL ShapeTwoUpSheet(DriverPdev* pdev, BYTE* pixels, LONG* w, LONG* h, LONG rasterW, LONG rasterH) {
    if (pdev->pagesPerSheet != 2 || (*w > *h) == (rasterW > rasterH)) return TRUE;
    BOOL clockwise = pdev->nupLayoutKind == 1 || pdev->nupLayoutKind == 2;
    if (pixels && !Rotate90(pixels, *w, *h, clockwise)) return FALSE;
    std::swap(*w, *h);
    return TRUE;
}

// Lays a shrunk sheet on a white canvas of the paper less its margins, before any turn of the
// paper path: a portrait page at the top-left corner, a landscape page (already turned upright, its
// top-left corner now at the bottom left) at the bottom-left corner, so that the page's corner
// sits where a full-size page has it.
void PlaceOnCanvas(const DriverPdev* pdev, const BYTE* sheet, LONG w, LONG h, BYTE* canvas, LONG rw, LONG rh) {
    std::memset(canvas, 255, SIZE_T(rw) * rh);
    LONG copyW = w < rw ? w : rw, copyH = h < rh ? h : rh;
    LONG row = pdev->orientation == DMORIENT_LANDSCAPE ? rh - copyH : 0;
    for (LONG y = 0; y < copyH; ++y)
        std::memcpy(canvas + SIZE_T(row + y) * rw, sheet + SIZE_T(y) * w, SIZE_T(copyW));
}

}  // namespace

BOOL BeginJob(DriverPdev* pdev) {
    // A store that cannot be opened shows when the first page is written.
    if (IsNup(pdev)) OpenNupTempFile(pdev);
    if (IsSpooling(pdev)) OpenSpoolTempFiles(pdev);
    StreamSink sink = SinkFor(pdev);
    return WriteJobHeader(&sink);
}

BOOL EncodeAndSendPage(DriverPdev* pdev, BOOL blank) {
    if (!blank && !pdev->sheetBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The sheet's pixels (none for a blank sheet), its size, and the paper as the sheet lies on it
    // (a landscape page has been turned upright already).
    BYTE* pixels = blank ? nullptr : pdev->sheetBuffer;
    LONG w = pdev->sheetWidth, h = pdev->sheetHeight;
    LONG pw = pdev->physicalWidth, ph = pdev->physicalHeight;
    if (pdev->orientation == DMORIENT_LANDSCAPE) std::swap(pw, ph);

    // 1. Page effects.
    if (pixels && pdev->pageEffects && !ApplyPageEffects(pdev, w, h)) return FALSE;

    // 2. A page below zoom 100 (every N-up sheet) goes on a canvas of the paper less its margins.
    BYTE* canvas = nullptr;
    if (pdev->zoom < 100.0) {
        LONG rw = RoundUp32(pw - kZoomCanvasMargin), rh = RoundUp32(ph - kZoomCanvasMargin);
        if (rw <= 0 || rh <= 0) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        if (!ShapeTwoUpSheet(pdev, pixels, &w, &h, rw, rh)) return FALSE;
        if (pixels) {
            canvas = Allocate(SIZE_T(rw) * rh, FALSE);
            if (!canvas) return FALSE;
            PlaceOnCanvas(pdev, pixels, w, h, canvas, rw, rh);
            pixels = canvas;
        }
        w = rw;
        h = rh;
    }

    // 3. The paper path's turn: of the sheet, or of the whole canvas with the page on it.
    if (!RotateForDuplex(pdev, pixels, &w, &h, &pw, &ph)) {
        Free(canvas);
        return FALSE;
    }
    if (w <= 0 || h <= 0) {
        Free(canvas);
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }

    // 4. The page header; a page the header cannot describe fails before anything is written.
    PageHeader header = PageHeaderFor(pdev, static_cast<DWORD>(w), static_cast<DWORD>(h), static_cast<DWORD>(pw),
                                      static_cast<DWORD>(ph));
    StreamSink sink = SinkFor(pdev);
    SheetMark mark = MarkSheet(pdev);
    if (!WritePageHeader(&sink, &header)) {
        Free(canvas);
        RollBackSheet(pdev, mark);
        return FALSE;
    }

    // 5. The screen, which writes every byte of the raster; only a blank sheet needs it cleared.
    SIZE_T rowBytes = SIZE_T(w) * header.bitsPerPixel / 8;
    BYTE* out = Allocate(rowBytes * h, blank);
    BOOL ok = out != nullptr;
    if (ok && pixels) HalftonePage(pixels, w, h, out, pdev->outputResolution);

    // 6. JBIG image chunks and the end of the page.
    if (ok) {
        PageImage image{static_cast<DWORD>(w) * header.bitsPerPixel, static_cast<DWORD>(h), out, &sink};
        ok = WritePageImage(&image) && WritePageEnd(&sink);
    }
    Free(canvas);
    Free(out);
    if (!ok) {
        RollBackSheet(pdev, mark);
        return FALSE;
    }
    ++pdev->sheetsSent;
    if (IsSpooling(pdev)) ++pdev->spooledPages;
    return TRUE;
}

BOOL FlushPage(DriverPdev* pdev, int reason) {
    BOOL ready = FALSE;
    if (IsNup(pdev)) {
        if (!FlushNupSheet(pdev, reason, &ready)) {
            std::memset(pdev->sheetBuffer, 255, SIZE_T(pdev->sheetWidth) * pdev->sheetHeight);
            return FALSE;
        }
    } else {
        ready = reason == kFlushEndOfPage;
    }
    if (!ready) return TRUE;
    if (!EncodeAndSendPage(pdev, FALSE)) return FALSE;
    std::memset(pdev->sheetBuffer, 255, SIZE_T(pdev->sheetWidth) * pdev->sheetHeight);
    return TRUE;
}

BOOL FinishJob(DriverPdev* pdev) {
    BOOL ok = FlushPage(pdev, kFlushEndOfJob);
    // An odd number of sheets in a two-pass duplex job gets a blank back side.
    if (ok && IsDuplex(pdev) && pdev->spooledPages % 2 == 1) ok = EncodeAndSendPage(pdev, TRUE);
    if (ok) {
        // A failed replay fails the document, but the job is still closed.
        if (IsSpooling(pdev) && !FinishSpool(pdev)) ok = FALSE;
        StreamSink sink = SinkFor(pdev);
        if (!WriteJobEnd(&sink)) ok = FALSE;
    }
    AbandonJob(pdev);
    return ok;
}

void AbandonJob(DriverPdev* pdev) {
    pdev->sheetsSent = 0;
    pdev->pagesFinished = 0;
    pdev->spooledPages = 0;
    pdev->headerSent = 0;
    std::memset(pdev->pageTable, 0, sizeof pdev->pageTable);
    CloseJobFiles(pdev);
}

namespace {

constexpr FLONG kAbortDocument = 1;  // ED_ABORTDOC

// The page just drawn: the watermark, then either into the N-up store or, in landscape, turned a
// quarter counter-clockwise so that the sheet is portrait.
BOOL FinishPageImage(DriverPdev* pdev) {
    ++pdev->pagesFinished;
    const WatermarkSettings& mark = pdev->watermark;
    // A poster page comes as four bands; "first page only" counts pages.
    LONG page = pdev->bandingKind == 2 ? (pdev->pagesFinished + 3) / 4 : pdev->pagesFinished;
    if ((mark.kind == 1 || mark.kind == 2) && (!mark.firstPageOnly || page == 1))
        ApplyWatermark(pdev);  // a mark that cannot be made leaves the page as drawn
    if (IsNup(pdev)) return StoreNupPage(pdev);
    if (pdev->orientation == DMORIENT_LANDSCAPE) {
        if (!Rotate90(pdev->pageBuffer, pdev->bandWidth, pdev->bandHeight, FALSE)) return FALSE;
        pdev->sheetWidth = pdev->bandHeight;
        pdev->sheetHeight = pdev->bandWidth;
    }
    return TRUE;
}

BOOL SendPageAndClear(DriverPdev* pdev) {
    BOOL ok = FlushPage(pdev, kFlushEndOfPage);
    // A sheet sent from the page buffer itself has been cleared by the flush already.
    if (!ok || pdev->sheetBuffer != pdev->pageBuffer) std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
    return ok;
}

}  // namespace

extern "C" BOOL APIENTRY DrvStartDoc(SURFOBJ* surface, LPWSTR, DWORD jobId) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    if (jobId) pdev->jobId = jobId;
    return TRUE;
}

extern "C" BOOL APIENTRY DrvStartPage(SURFOBJ* surface) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) return FALSE;
    if (pdev->jobStarted & 1) return TRUE;
    if (!BeginJob(pdev)) return FALSE;
    pdev->jobStarted |= 1;
    return TRUE;
}

extern "C" BOOL APIENTRY DrvSendPage(SURFOBJ* surface) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev || !pdev->pageBuffer) return FALSE;
    BOOL finished = FinishPageImage(pdev);
    BOOL sent = finished && SendPageAndClear(pdev);
    if (!finished) std::memset(pdev->pageBuffer, 255, pdev->pageBufferSize);
    return sent;
}

extern "C" BOOL APIENTRY DrvEndDoc(SURFOBJ* surface, FLONG flags) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev) {
        // An aborted job still lets go of its files.
        auto* record = surface ? reinterpret_cast<DriverPdev*>(surface->dhpdev) : nullptr;
        if (IsValidPdev(record) && record->aborted) {
            AbandonJob(record);
            record->jobStarted &= ~1u;
        }
        return FALSE;
    }
    BOOL ok = TRUE;
    if ((flags & kAbortDocument) || !(pdev->jobStarted & 1))
        AbandonJob(pdev);  // nothing was begun, or nothing more is to be sent
    else
        ok = FinishJob(pdev);
    pdev->jobStarted &= ~1u;
    return ok;
}

extern "C" BOOL APIENTRY DrvStartBanding(SURFOBJ* surface, POINTL* origin) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev || !origin) return FALSE;
    origin->x = origin->y = 0;
    pdev->bandCounter = 0;
    return DrvStartPage(surface);
}

extern "C" BOOL APIENTRY DrvNextBand(SURFOBJ* surface, POINTL* origin) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev || !origin) return FALSE;
    if (!DrvSendPage(surface)) return FALSE;
    origin->x = origin->y = -1;
    if (pdev->bandingKind == 2 && pdev->bandCounter < 3) {
        // A poster page goes out as four sheets: top left, top right, bottom left, bottom right.
        ++pdev->bandCounter;
        origin->x = pdev->bandCounter & 1 ? pdev->printableWidth / 2 : 0;
        origin->y = pdev->bandCounter & 2 ? pdev->printableHeight / 2 : 0;
    }
    return TRUE;
}

extern "C" ULONG APIENTRY DrvQueryPerBandInfo(SURFOBJ* surface, PERBANDINFO* info) {
    DriverPdev* pdev = PdevFromSurface(surface);
    if (!pdev || !info) return FALSE;
    info->bRepeatThisBand = FALSE;
    info->szlBand.cx = pdev->bandWidth;
    info->szlBand.cy = pdev->bandHeight;
    info->ulHorizRes = static_cast<ULONG>(pdev->printableWidth);
    info->ulVertRes = static_cast<ULONG>(pdev->printableHeight);
    return TRUE;
}
