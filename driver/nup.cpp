// N-up sheets: each page, drawn at the reduced N-up scale, goes into the "pn" page store; a full
// store (or the end of the job, or a settings change) is laid out on the white sheet in one of six
// orders.
#include <cstring>
#include <utility>
#include <vector>

#include "raster.h"
#include "stream.h"

namespace {

constexpr LONG kBorderMargin = 8;
constexpr LONG kBorderThickness = 5;

// Slot numbers of each grid row, top to bottom, left to right.
using Grid = std::vector<std::vector<int>>;

Grid GridFor(LONG order, SHORT pages, bool portrait) {
    // Orders 1 and 2 are the two-page orders; a sheet of more pages falls back to order 3 so that
    // no page is left out.
    if (pages != 2 && (order == 1 || order == 2)) order = 3;
    // Two pages a sheet lie in one column: the orders that start at the left (3 and 4) compose as
    // order 1, those that start at the right (5 and 6) as order 2.
    if (pages == 2 && order > 2) order = order <= 4 ? 1 : 2;
    bool four = pages == 4;
    switch (order) {
    case 1: return portrait ? Grid{{1}, {0}} : Grid{{0}, {1}};
    case 2: return portrait ? Grid{{0}, {1}} : Grid{{1}, {0}};
    case 3:
        if (four) return portrait ? Grid{{0, 1}, {2, 3}} : Grid{{1, 3}, {0, 2}};
        return portrait ? Grid{{0, 1, 2}, {3, 4, 5}, {6, 7, 8}} : Grid{{2, 5, 8}, {1, 4, 7}, {0, 3, 6}};
    case 4:
        if (four) return portrait ? Grid{{0, 2}, {1, 3}} : Grid{{2, 3}, {0, 1}};
        return portrait ? Grid{{0, 3, 6}, {1, 4, 7}, {2, 5, 8}} : Grid{{6, 7, 8}, {3, 4, 5}, {0, 1, 2}};
    case 5:
        if (four) return portrait ? Grid{{1, 0}, {3, 2}} : Grid{{0, 2}, {1, 3}};
        return portrait ? Grid{{2, 1, 0}, {5, 4, 3}, {8, 7, 6}} : Grid{{0, 3, 6}, {1, 4, 7}, {2, 5, 8}};
    default:
        if (four) return portrait ? Grid{{2, 0}, {3, 1}} : Grid{{0, 1}, {2, 3}};
        return portrait ? Grid{{6, 3, 0}, {7, 4, 1}, {8, 5, 2}} : Grid{{0, 1, 2}, {3, 4, 5}, {6, 7, 8}};
    }
}

LONG NupColumns(const DriverPdev* pdev) { return pdev->pagesPerSheet == 9 ? 3 : 2; }

BOOL Append(DriverPdev* pdev, const BYTE* image, LONG width, LONG height) {
    NupSlot& slot = pdev->nupSlots[pdev->nupStored];
    LONGLONG size = LONGLONG(width) * height;
    if (size > 0x7FFFFFFF || LONGLONG(pdev->nupStoreSize) + size > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    DWORD written = 0;
    if (!WriteFile(pdev->nupFile, image, static_cast<DWORD>(size), &written, nullptr) || written != size) return FALSE;
    slot.width = width;
    slot.height = height;
    slot.size = static_cast<LONG>(size);
    slot.offset = pdev->nupStoreSize;
    slot.orientation = pdev->orientation;
    pdev->nupStoreSize += slot.size;
    ++pdev->nupStored;
    return TRUE;
}

void EmptyStore(DriverPdev* pdev) {
    pdev->nupStored = 0;
    pdev->nupStoreSize = 0;
    std::memset(pdev->nupSlots, 0, sizeof pdev->nupSlots);
    if (pdev->nupFile) SetFilePointer(pdev->nupFile, 0, nullptr, FILE_BEGIN);
}

// Reads a stored page back whole.
BYTE* ReadSlot(DriverPdev* pdev, const NupSlot& slot) {
    auto* image = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(slot.size)));
    if (!image) return nullptr;
    DWORD read = 0;
    if (SetFilePointer(pdev->nupFile, slot.offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(pdev->nupFile, image, static_cast<DWORD>(slot.size), &read, nullptr) ||
        read != static_cast<DWORD>(slot.size)) {
        HeapFree(GetProcessHeap(), 0, image);
        return nullptr;
    }
    return image;
}

// Copies `count` bytes to the sheet at the byte cursor, clipped to the sheet.
void PutOnSheet(BYTE* sheet, LONGLONG sheetBytes, LONGLONG cursor, const BYTE* bytes, LONGLONG count) {
    LONGLONG from = cursor < 0 ? -cursor : 0;
    LONGLONG to = cursor + count > sheetBytes ? sheetBytes - cursor : count;
    if (to > from) std::memcpy(sheet + cursor + from, bytes + from, static_cast<size_t>(to - from));
}

void WhiteOnSheet(BYTE* sheet, LONGLONG sheetBytes, LONGLONG cursor, LONGLONG count) {
    LONGLONG from = cursor < 0 ? 0 : cursor;
    LONGLONG to = cursor + count > sheetBytes ? sheetBytes : cursor + count;
    if (to > from) std::memset(sheet + from, 255, static_cast<size_t>(to - from));
}

// Lays the stored pages out on the (white) sheet buffer through a byte cursor, row by row of the grid.
BOOL ComposeNupSheet(DriverPdev* pdev) {
    if (!pdev->nupFile || !pdev->sheetBuffer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const LONGLONG f = pdev->sheetWidth, g = pdev->sheetHeight, sheetBytes = f * g;
    const bool portrait = pdev->nupSlots[0].orientation != DMORIENT_LANDSCAPE;
    const Grid grid = GridFor(pdev->nupOrder, pdev->pagesPerSheet, portrait);
    const LONGLONG k = pdev->pagesPerSheet == 2 ? 1 : pdev->pagesPerSheet == 4 ? 2 : 3;
    const LONGLONG kDown = pdev->pagesPerSheet == 2 ? 2 : k;
    LONGLONG cursor = 0;
    bool firstRow = true;
    for (const auto& row : grid) {
        const NupSlot* cell = nullptr;
        for (int slot : row)
            if (slot < pdev->nupStored) {
                cell = &pdev->nupSlots[slot];
                break;
            }
        if (!cell) {
            cursor += (g / NupColumns(pdev)) * f;
            firstRow = false;
            continue;
        }
        LONGLONG b = cell->width, c = cell->height;
        LONGLONG d = k * b - f, e = kDown * c - g;
        if (firstRow && e < 0) cursor += (-e / 2) * f;
        firstRow = false;
        std::vector<BYTE*> images;
        BOOL ok = TRUE;
        for (int slot : row) {
            BYTE* image = slot < pdev->nupStored ? ReadSlot(pdev, pdev->nupSlots[slot]) : nullptr;
            if (slot < pdev->nupStored && !image) ok = FALSE;
            images.push_back(image);
        }
        for (LONGLONG line = 0; ok && line < c; ++line) {
            if (d < 0) cursor += -d / 2;
            for (size_t i = 0; i < row.size(); ++i) {
                if (!images[i]) {
                    cursor += b;
                    continue;
                }
                const NupSlot& slot = pdev->nupSlots[row[i]];
                if (line < slot.height) PutOnSheet(pdev->sheetBuffer, sheetBytes, cursor, images[i] + line * slot.width, slot.width);
                cursor += slot.width;
            }
            if (d < 0) {
                cursor += -d - (-d / 2);
            } else if (d > 0) {
                cursor -= d;
                WhiteOnSheet(pdev->sheetBuffer, sheetBytes, cursor, d);
            }
        }
        for (BYTE* image : images)
            if (image) HeapFree(GetProcessHeap(), 0, image);
        if (!ok) return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL OpenNupTempFile(DriverPdev* pdev) {
    CloseDriverTempFile(&pdev->nupFile, pdev->nupPath);
    pdev->nupStoreSize = 0;
    pdev->nupStored = 0;
    std::memset(pdev->nupSlots, 0, sizeof pdev->nupSlots);
    return OpenDriverTempFile("pn", pdev->nupPath, &pdev->nupFile);
}

BOOL StoreNupPage(DriverPdev* pdev) {
    if (!pdev->nupFile || !pdev->pageBuffer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pdev->nupStored >= kNupSlots) {  // a full store that was never composed: start the sheet anew
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    LONG w = pdev->printableWidth, h = pdev->printableHeight;
    BYTE* page = pdev->pageBuffer;
    if (pdev->nupBorder) DrawPageBorder(page, w, h, kBorderMargin, kBorderThickness, kBorderSolid, 0);
    if (pdev->pagesPerSheet != 2) {
        if (pdev->orientation == DMORIENT_LANDSCAPE) {
            if (!Rotate90(page, w, h, FALSE)) return FALSE;
            std::swap(w, h);
            pdev->sheetWidth = pdev->bandHeight;
            pdev->sheetHeight = pdev->bandWidth;
        }
        return Append(pdev, page, w, h);
    }
    // Two pages a sheet: each page is framed in half the sheet.
    LONG kind = pdev->nupLayoutKind;
    if (kind == 3 || kind == 4) {
        pdev->sheetWidth = pdev->bandHeight;
        pdev->sheetHeight = pdev->bandWidth;
    }
    LONG sheetRow = BytesPerRow(pdev->sheetWidth, BMF_8BPP);
    LONG frameW, frameH;
    if (kind == 1 || kind == 2) {
        if (!Rotate90(page, w, h, FALSE)) return FALSE;
        std::swap(w, h);
    }
    if (kind == 1 || kind == 4) {
        frameW = w;
        frameH = pdev->sheetHeight / 2;
    } else {
        frameW = sheetRow;
        frameH = h;
    }
    auto* frame = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(frameW) * frameH));
    if (!frame) return FALSE;
    BOOL ok = (kind == 1 || kind == 4) ? CenterRowsInFrame(page, w, h, frame, frameH)
                                       : CenterColumnsInFrame(page, w, h, frame, frameW);
    if (ok) ok = Append(pdev, frame, frameW, frameH);
    HeapFree(GetProcessHeap(), 0, frame);
    return ok;
}

BOOL FlushNupSheet(DriverPdev* pdev, int reason, BOOL* composed) {
    *composed = FALSE;
    bool full = pdev->nupStored == pdev->pagesPerSheet;
    bool any = pdev->nupStored > 0;
    bool compose = reason == kFlushEndOfPage ? full : reason == kFlushEndOfJob ? any : (full || any);
    if (!compose) return TRUE;
    BOOL ok = ComposeNupSheet(pdev);
    EmptyStore(pdev);
    *composed = ok;
    return ok;
}
