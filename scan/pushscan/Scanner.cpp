// The scanner driver binding.
#include "Scanner.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ProductConfig.h"
#include "win/kernel.h"

namespace {

const WCHAR kPlatformCPrefix[] = u"vrx3310";

BOOL IsSameText(LPCWSTR a, LPCWSTR b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

void DebugPrintf(const char* pszFormat, int nValue) {
    char szText[128];
    std::snprintf(szText, sizeof szText, pszFormat, nValue);
    OutputDebugStringA(szText);
}

template <class Function>
BOOL Resolve(HMODULE hModule, const char* pszName, Function& pfn) {
    pfn = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
    return pfn != nullptr;
}

void ClearExports(CScanner* pScanner) {
    HMODULE hModule = pScanner->m_hVQM;
    ScanPageState page = pScanner->m_page;
    DWORD hDevice = pScanner->m_hDevice;
    *pScanner = CScanner();
    pScanner->m_hVQM = hModule;
    pScanner->m_page = page;
    pScanner->m_hDevice = hDevice;
}

int BitsPerPixel(int nColorMode) {
    switch (nColorMode) {
    case SCAN_COLOR_LINEART: return 1;
    case SCAN_COLOR_GRAY: return 8;
    case SCAN_COLOR_RGB: return 24;
    default: return 0;
    }
}

// Whether a count the driver reported (pixels or lines) fits the window or the glass, whichever is
// longer (1/1200 inch), with SCAN_GEOMETRY_MARGIN, at the resolution.
bool IsGeometryWithin(int nReported, int nWindow, int nGlass, int nResolution) {
    const int64_t nUnits = int64_t{nWindow > nGlass ? nWindow : nGlass} + SCAN_GEOMETRY_MARGIN;
    return nReported >= 0 && nReported <= nUnits * nResolution / SCAN_UNITS_PER_INCH;
}

// Pixels per metre of a resolution in dots per inch (39.37 inches to the metre, in double precision:
// 300 dpi gives 11811).
LONG PixelsPerMetre(DWORD nResolution) { return static_cast<LONG>(nResolution * 39.37); }

void PutWord(BYTE*& p, WORD value) {
    *p++ = static_cast<BYTE>(value);
    *p++ = static_cast<BYTE>(value >> 8);
}
void PutDword(BYTE*& p, DWORD value) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace

BOOL GetDriverDllPath(WCHAR* pszPath) {
    WCHAR szPrefix[MAX_PATH];
    GetProductIniString(nullptr, u"File Prefix", szPrefix);
    if (IsSameText(szPrefix, kPlatformCPrefix)) g_bIsPlatformC = TRUE;
    BOOL bMade = GetProductFilePath(pszPath, u"vqm.dll");
    OutputDebugStringW(u"VQMPath:");
    OutputDebugStringW(pszPath);
    return bMade;
}

int LoadScannerDriver(LPCWSTR pszPath, CScanner* pScanner) {
    if (pScanner->m_hVQM) {
        if (pScanner->m_bOpen) pScanner->m_pfnClose(pScanner->m_hDevice);
        pScanner->m_bOpen = 0;
        FreeLibrary(pScanner->m_hVQM);
        pScanner->m_hVQM = nullptr;
        ClearExports(pScanner);
    }
    HMODULE hModule = pszPath ? LoadLibraryW(pszPath) : nullptr;
    if (!hModule) {
        if (pszPath) OutputDebugStringW(pszPath);
        OutputDebugStringW(u"can not init Devmon interfaces");
        return SCAN_ERROR_NO_DRIVER;
    }
    CScanner& s = *pScanner;
    const BOOL bComplete =
        Resolve(hModule, "ScanDrv_Open", s.m_pfnOpen) && Resolve(hModule, "ScanDrv_Open_C", s.m_pfnOpenC) &&
        Resolve(hModule, "ScanDrv_Close", s.m_pfnClose) &&
        Resolve(hModule, "ScanDrv_SetScanParameter", s.m_pfnSetScanParameter) &&
        Resolve(hModule, "ScanDrv_GetScanParameter", s.m_pfnGetScanParameter) &&
        Resolve(hModule, "ScanDrv_StartScan", s.m_pfnStartScan) &&
        Resolve(hModule, "ScanDrv_AbortScan", s.m_pfnAbortScan) &&
        Resolve(hModule, "ScanDrv_ReadScanData", s.m_pfnReadScanData) &&
        Resolve(hModule, "ScanDrv_SetScanParameterAdj", s.m_pfnSetScanParameterAdj) &&
        Resolve(hModule, "ScanDrv_GetNextPushStatus", s.m_pfnGetNextPushStatus) &&
        Resolve(hModule, "ScanDrv_GetCurScanLineNum", s.m_pfnGetCurScanLineNum) &&
        Resolve(hModule, "ScanDrv_GetCurTransferSize", s.m_pfnGetCurTransferSize);
    if (!bComplete) {
        FreeLibrary(hModule);
        ClearExports(pScanner);
        return SCAN_ERROR_NO_DRIVER;
    }
    s.m_hVQM = hModule;
    return 0;
}

int OpenScanner(const char* pszDevicePath, CScanner* pScanner, BOOL bOpenRequested) {
    if (!pScanner->m_hVQM) {
        OutputDebugStringW(u"error:m_hVQM = NULL");
        return SCAN_ERROR_FAILED;
    }
    if (pScanner->m_bOpen) {
        pScanner->m_pfnClose(pScanner->m_hDevice);
        pScanner->m_bOpen = 0;
    }
    if (!bOpenRequested) return SCAN_ERROR_FAILED;
    // The driver gets a terminated path whatever the record holds.
    char szPath[MAX_PATH] = {0};
    if (pszDevicePath) {
        std::strncpy(szPath, pszDevicePath, MAX_PATH - 1);
        szPath[MAX_PATH - 1] = 0;
    }
    int nStatus;
    if (g_bIsPlatformC) {
        OutputDebugStringW(u"CScanner:: DevMon_Open_C_()");
        nStatus = pScanner->m_pfnOpenC(szPath, &pScanner->m_hDevice);
    } else {
        nStatus = pScanner->m_pfnOpen(szPath, &pScanner->m_hDevice);
    }
    pScanner->m_bOpen = nStatus == 0;
    pScanner->m_page = ScanPageState();
    return nStatus;
}

int SetScanParameters(ScanParameters* pParams, CScanner* pScanner) {
    if (!pParams || !pScanner->m_hVQM || !pScanner->m_bOpen) return SCAN_ERROR_NO_DRIVER;
    const DWORD hDevice = pScanner->m_hDevice;
    BYTE adj1[SCANDRV_ADJ_BUFFER_BYTES] = {0}, adj2[SCANDRV_ADJ_BUFFER_BYTES] = {0},
         adj3[SCANDRV_ADJ_BUFFER_BYTES] = {0};
    pScanner->m_pfnSetScanParameterAdj(hDevice, adj1, adj2, adj3, 18, 72, 0, 0);  // its result does not matter

    const int nXRes = pParams->nXResolution, nYRes = pParams->nYResolution;
    if (nXRes <= 0 || nYRes <= 0) return SCAN_ERROR_FAILED;
    const int nLeft = static_cast<int>(int64_t{pParams->nLeft} * SCAN_UNITS_PER_INCH / nXRes);
    const int nTop = static_cast<int>(int64_t{pParams->nTop} * SCAN_UNITS_PER_INCH / nYRes);
    int nWidth = pParams->nWidth, nHeight = pParams->nHeight;
    if (pParams->nSource == SCAN_SOURCE_FLATBED) {  // the glass bounds a flatbed window
        if (nWidth > g_FullBed.nWidth) nWidth = g_FullBed.nWidth;
        if (nHeight > g_FullBed.nHeight) nHeight = g_FullBed.nHeight;
    }
    int nStatus = pScanner->m_pfnSetScanParameter(hDevice, nXRes, nYRes, pParams->nColorMode, nLeft, nTop,
                                                  nLeft + nWidth, nTop + nHeight, SCAN_OPTION_DEFAULT,
                                                  pParams->nSource);
    if (nStatus != 0) {
        DebugPrintf("SetScanParameterEx fail:%d", nStatus);
        pScanner->m_pfnAbortScan(hDevice);
        return nStatus;
    }
    nStatus = pScanner->m_pfnGetScanParameter(hDevice, &pParams->nPixelsPerLine, &pParams->nLines);
    if (nStatus != 0) {
        pScanner->m_pfnAbortScan(hDevice);
        return nStatus;
    }
    const int nBits = BitsPerPixel(pParams->nColorMode);
    if (nBits == 0) {
        pScanner->m_pfnAbortScan(hDevice);
        return SCAN_ERROR_FAILED;
    }
    // The driver's lines are read whole: a line or a page far beyond the glass would cost memory and
    // time without end (a billion pixels a line is 1.9 GB), so it is a failure of the driver.
    if (!IsGeometryWithin(pParams->nPixelsPerLine, nWidth, g_FullBed.nWidth, nXRes) ||
        !IsGeometryWithin(pParams->nLines, nHeight, g_FullBed.nHeight, nYRes)) {
        char szText[96];
        std::snprintf(szText, sizeof szText, "ScanDrv_GetScanParameter out of range: %d x %d", pParams->nPixelsPerLine,
                      pParams->nLines);
        OutputDebugStringA(szText);
        pScanner->m_pfnAbortScan(hDevice);
        return SCAN_ERROR_FAILED;
    }
    // The page is as wide as asked, or narrower when the driver delivers fewer pixels; a driver's
    // longer line is cut to the row.
    const int64_t nDriverPixels = pParams->nPixelsPerLine > 0 ? pParams->nPixelsPerLine : 0;
    const int64_t nAskedPixels = nWidth > 0 ? int64_t{nWidth} * nXRes / SCAN_UNITS_PER_INCH : 0;
    const int64_t nPixels = nAskedPixels < nDriverPixels ? nAskedPixels : nDriverPixels;
    ScanPageState& page = pScanner->m_page;
    page.nLinesRead = 0;
    page.nTotalLines = nHeight > 0 ? static_cast<DWORD>(int64_t{nHeight} * nYRes / SCAN_UNITS_PER_INCH) : 0;
    page.nDriverLines = static_cast<DWORD>(pParams->nLines > 0 ? pParams->nLines : 0);
    page.nPixelsPerLine = static_cast<DWORD>(nPixels);
    page.nBitsPerPixel = static_cast<DWORD>(nBits);
    page.nStride = static_cast<DWORD>((nBits * nPixels + 31) / 32 * 4);
    page.nRawLineBytes = static_cast<DWORD>((nBits * nDriverPixels + 7) / 8);
    page.nXResolution = static_cast<DWORD>(nXRes);
    pScanner->m_pfnStartScan(hDevice);  // its result does not matter
    return 0;
}

int ReadScanLines(CScanner* pScanner, BYTE* pChunk, DWORD nChunkSize, DWORD* pBytes, DWORD* pPercent) {
    if (!pScanner || !pScanner->m_bOpen || !pChunk || !nChunkSize || !pBytes || !pPercent) return SCAN_ERROR_FAILED;
    ScanPageState& page = pScanner->m_page;
    if (page.nLinesRead >= page.nTotalLines) {
        OutputDebugStringW(u"WIA_STATUS_END_OF_MEDIA ");
        return SCAN_END_OF_PAGE;
    }
    const uint64_t nStride = page.nStride;
    uint64_t nBytes = nStride ? nChunkSize / nStride * nStride : 0;
    const uint64_t nLeft = nStride * (page.nTotalLines - page.nLinesRead);
    if (nBytes > nLeft) nBytes = nLeft;
    if (nBytes == 0) {
        pScanner->m_pfnAbortScan(pScanner->m_hDevice);
        page = ScanPageState();
        return SCAN_ERROR_FAILED;
    }
    // One line as the driver delivers it, cleared before each read; a row takes what it holds of it.
    // A line that fits in its row is read straight into the row.
    const DWORD nRaw = page.nRawLineBytes;
    const DWORD nRows = static_cast<DWORD>(nBytes / nStride);
    std::unique_ptr<BYTE[]> pLine;
    if (nRaw > page.nStride) {
        pLine.reset(new (std::nothrow) BYTE[nRaw]);
        if (!pLine) {
            pScanner->m_pfnAbortScan(pScanner->m_hDevice);
            page = ScanPageState();
            return -40;
        }
    }
    for (DWORD nRow = 0; nRow < nRows; ++nRow) {
        BYTE* pRow = pChunk + nRow * nStride;
        BYTE* pInto = pLine ? pLine.get() : pRow;
        std::memset(pInto, 0, pLine ? nRaw : page.nStride);
        DWORD nRead = 0;
        int nStatus = pScanner->m_pfnReadScanData(pScanner->m_hDevice, pInto, nRaw, &nRead);
        if (nStatus != 0) {
            pScanner->m_pfnAbortScan(pScanner->m_hDevice);
            page = ScanPageState();
            return nStatus;
        }
        if (pLine) std::memcpy(pRow, pLine.get(), page.nStride);
    }
    *pBytes = static_cast<DWORD>(nBytes);
    page.nLinesRead += nRows;
    if (page.nBitsPerPixel == 24) SwapRedBlue(nRows, pChunk, page.nStride, page.nPixelsPerLine);
    *pPercent = static_cast<DWORD>(uint64_t{page.nLinesRead} * 100 / page.nTotalLines);
    return 0;
}

int AbortScanner(CScanner* pScanner) {
    if (!pScanner->m_hVQM || !pScanner->m_bOpen) return SCAN_ERROR_NO_DRIVER;
    return pScanner->m_pfnAbortScan(pScanner->m_hDevice);
}

void CloseScanner(CScanner* pScanner) {
    if (pScanner->m_hVQM && pScanner->m_bOpen) pScanner->m_pfnClose(pScanner->m_hDevice);
    pScanner->m_bOpen = 0;
}

BOOL BuildBitmapHeader(const CScanner* pScanner, BYTE* pHeader, DWORD* pLength) {
    if (!pScanner || !pHeader || !pLength) return FALSE;
    const ScanPageState& page = pScanner->m_page;
    const DWORD nBits = page.nBitsPerPixel;
    const DWORD nEntries = nBits < 24 ? (1u << nBits) : 0;
    if (nEntries > 256) return FALSE;
    const DWORD nOffset = BITMAP_FILE_HEADER_BYTES + BITMAP_INFO_HEADER_BYTES + 4 * nEntries;
    const DWORD nImageSize = page.nStride * page.nTotalLines;
    BYTE* p = pHeader;
    *p++ = 'B';
    *p++ = 'M';
    PutDword(p, nOffset + nImageSize);
    PutWord(p, 0);
    PutWord(p, 0);
    PutDword(p, nOffset);
    PutDword(p, BITMAP_INFO_HEADER_BYTES);
    PutDword(p, page.nPixelsPerLine);
    PutDword(p, static_cast<DWORD>(-static_cast<LONG>(page.nTotalLines)));  // rows top-down
    PutWord(p, 1);
    PutWord(p, static_cast<WORD>(nBits));
    PutDword(p, 0);  // BI_RGB
    PutDword(p, nImageSize);
    PutDword(p, static_cast<DWORD>(PixelsPerMetre(page.nXResolution)));
    PutDword(p, static_cast<DWORD>(PixelsPerMetre(page.nXResolution)));
    PutDword(p, nEntries);
    PutDword(p, 0);
    for (DWORD i = 0; i < nEntries; ++i) {
        const BYTE grey = static_cast<BYTE>(i * 255 / (nEntries - 1));
        *p++ = grey;
        *p++ = grey;
        *p++ = grey;
        *p++ = 0;
    }
    *pLength = nOffset;
    return TRUE;
}

BOOL SwapRedBlue(DWORD nRows, BYTE* pBuffer, DWORD nStride, DWORD nPixelsPerLine) {
    if (!nRows || !pBuffer || !nStride || !nPixelsPerLine) return FALSE;
    for (DWORD nRow = 0; nRow < nRows; ++nRow) {
        BYTE* pPixel = pBuffer + uint64_t{nRow} * nStride;
        for (DWORD i = 0; i < nPixelsPerLine; ++i, pPixel += 3) {
            const BYTE red = pPixel[0];
            pPixel[0] = pPixel[2];
            pPixel[2] = red;
        }
    }
    return TRUE;
}
