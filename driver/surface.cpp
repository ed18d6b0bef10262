// The page surface: the 8-bit page buffer the engine draws into, the N-up sheet buffer, and the
// device surface whose drawing calls come to this driver.
#include <cstring>

#include "ddi.h"
#include "rastrel.h"

namespace {

// A page-sized block from the process heap; tried again while memory is short.
BYTE* AllocatePageBlock(SIZE_T bytes) {
    for (int attempt = 0; attempt < kBufferAttempts; ++attempt) {
        if (auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes))) return block;
        Sleep(kBufferRetryPause);
    }
    return nullptr;
}

}  // namespace

extern "C" HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
    auto* pdev = reinterpret_cast<DriverPdev*>(dhpdev);
    if (!IsValidPdev(pdev)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LONG width = pdev->banding ? pdev->bandWidth : pdev->printableWidth;
    LONG height = pdev->banding ? pdev->bandHeight : pdev->printableHeight;
    SIZE_T pageBytes = SIZE_T(width) * height;
    pdev->pageBuffer = AllocatePageBlock(pageBytes);
    if (!pdev->pageBuffer) return nullptr;
    pdev->pageBufferSize = static_cast<DWORD>(pageBytes);
    if (IsNup(pdev)) {
        SIZE_T sheetBytes = SIZE_T(pdev->sheetWidth) * pdev->sheetHeight;
        pdev->sheetBuffer = AllocatePageBlock(sheetBytes);
        if (!pdev->sheetBuffer) {
            DrvDisableSurface(dhpdev);
            return nullptr;
        }
        std::memset(pdev->sheetBuffer, 255, sheetBytes);
    } else {
        pdev->sheetBuffer = pdev->pageBuffer;
    }
    std::memset(pdev->pageBuffer, 255, pageBytes);

    SIZEL size{width, height};
    HBITMAP page = EngCreateBitmap(size, width, BMF_8BPP, BMF_TOPDOWN, pdev->pageBuffer);
    pdev->pageBitmap = reinterpret_cast<HSURF>(page);
    if (page) pdev->pageSurface = EngLockSurface(pdev->pageBitmap);
    if (!pdev->pageSurface || !EngAssociateSurface(pdev->pageBitmap, pdev->engineDevice, 0)) {
        DrvDisableSurface(dhpdev);
        return nullptr;
    }
    pdev->deviceSurface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(pdev), size, BMF_8BPP);
    if (!pdev->deviceSurface || (pdev->banding && !EngMarkBandingSurface(pdev->deviceSurface)) ||
        !EngAssociateSurface(pdev->deviceSurface, pdev->engineDevice, kDeviceHooks)) {
        DrvDisableSurface(dhpdev);
        return nullptr;
    }
    return pdev->deviceSurface;
}

extern "C" void APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
    auto* pdev = reinterpret_cast<DriverPdev*>(dhpdev);
    if (!IsValidPdev(pdev)) return;
    if (pdev->pageSurface) EngUnlockSurface(pdev->pageSurface);
    if (pdev->pageBitmap) EngDeleteSurface(pdev->pageBitmap);
    if (pdev->deviceSurface) EngDeleteSurface(pdev->deviceSurface);
    if (pdev->sheetBuffer && pdev->sheetBuffer != pdev->pageBuffer) HeapFree(GetProcessHeap(), 0, pdev->sheetBuffer);
    if (pdev->pageBuffer) HeapFree(GetProcessHeap(), 0, pdev->pageBuffer);
    pdev->pageSurface = nullptr;
    pdev->pageBitmap = nullptr;
    pdev->deviceSurface = nullptr;
    pdev->sheetBuffer = nullptr;
    pdev->pageBuffer = nullptr;
    pdev->pageBufferSize = 0;
}
