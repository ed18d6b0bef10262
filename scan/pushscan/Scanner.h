// The binding of the scanner driver library: loads it, opens the device, sets the scan window, reads
// whole lines into a caller's chunk and builds the bitmap file header that starts every page stream.
#pragma once

#include "ScanDriver.h"
#include "ScanJob.h"
#include "win/base.h"

// The binding's own codes beside the driver's statuses.
#define SCAN_ERROR_FAILED (-1)       // bad call or state
#define SCAN_ERROR_NO_DRIVER (-3)    // driver library missing or incomplete, or device not open
#define SCAN_END_OF_PAGE 201

// How far a driver's geometry may reach beyond the glass (or a longer feeder window) before it is
// refused: half an inch in 1/1200 inch, for drivers that round lines and pages up to whole blocks.
#define SCAN_GEOMETRY_MARGIN 600

// The longest bitmap header: file and info headers and a palette of 256 entries.
#define BITMAP_FILE_HEADER_BYTES 14
#define BITMAP_INFO_HEADER_BYTES 40
#define BITMAP_HEADER_MAX (BITMAP_FILE_HEADER_BYTES + BITMAP_INFO_HEADER_BYTES + 4 * 256)

// Geometry and progress of the page being read.
struct ScanPageState {
    DWORD nLinesRead;
    DWORD nTotalLines;
    DWORD nDriverLines;    // the lines the driver reported
    DWORD nStride;         // bytes per bitmap row, a multiple of 4
    DWORD nPixelsPerLine;
    DWORD nBitsPerPixel;   // 1, 8 or 24
    DWORD nXResolution;
    DWORD nRawLineBytes;   // bytes of one line as the driver delivers it
};

class CScanner {
public:
    ScanPageState m_page = {};
    HMODULE m_hVQM = nullptr;
    BYTE m_bOpen = 0;
    PFN_ScanDrv_Open m_pfnOpen = nullptr;
    PFN_ScanDrv_Open m_pfnOpenC = nullptr;
    PFN_ScanDrv_Close m_pfnClose = nullptr;
    PFN_ScanDrv_SetScanParameter m_pfnSetScanParameter = nullptr;
    PFN_ScanDrv_GetScanParameter m_pfnGetScanParameter = nullptr;
    PFN_ScanDrv_StartScan m_pfnStartScan = nullptr;
    PFN_ScanDrv_AbortScan m_pfnAbortScan = nullptr;
    PFN_ScanDrv_ReadScanData m_pfnReadScanData = nullptr;
    PFN_ScanDrv_SetScanParameterAdj m_pfnSetScanParameterAdj = nullptr;
    PFN_ScanDrv_GetNextPushStatus m_pfnGetNextPushStatus = nullptr;
    PFN_ScanDrv_GetCurScanLineNum m_pfnGetCurScanLineNum = nullptr;
    PFN_ScanDrv_GetCurTransferSize m_pfnGetCurTransferSize = nullptr;
    DWORD m_hDevice = 0;
};

// FOLDER + PREFIX + "vqm.dll" (written to the debugger output); sets g_bIsPlatformC for the prefix
// "vrx3310". FALSE (empty) when the path cannot be made.
BOOL GetDriverDllPath(WCHAR* pszPath /*[MAX_PATH]*/);
// Loads the library (after closing and freeing one loaded before) and resolves all twelve exports:
// 0, or SCAN_ERROR_NO_DRIVER when it is missing or lacks any of them.
int LoadScannerDriver(LPCWSTR pszPath, CScanner* pScanner);
// Opens the device (the second driver kind's open on platform C) when bOpenRequested; the status.
int OpenScanner(const char* pszDevicePath, CScanner* pScanner, BOOL bOpenRequested);
// Sets the scan window and format, takes the driver's geometry into pParams and the page state and
// starts the scan: 0, or the driver's status, or an error of the binding (SCAN_ERROR_FAILED also for
// a geometry that is negative or reaches past the glass, or past a longer window, by more than
// SCAN_GEOMETRY_MARGIN at the job's resolution).
int SetScanParameters(ScanParameters* pParams, CScanner* pScanner);
// Reads whole lines into pChunk (rows of the page stride): 0 with the bytes and the page's percent,
// SCAN_END_OF_PAGE once the page is read, or an error (the scan is then aborted).
int ReadScanLines(CScanner* pScanner, BYTE* pChunk, DWORD nChunkSize, DWORD* pBytes, DWORD* pPercent);
int AbortScanner(CScanner* pScanner);
// Closes the device when it is open and clears the open flag.
void CloseScanner(CScanner* pScanner);
// The bitmap file header, info header and grey palette of the page (top-down rows).
BOOL BuildBitmapHeader(const CScanner* pScanner, BYTE* pHeader /*[BITMAP_HEADER_MAX]*/, DWORD* pLength);
// Turns R, G, B pixels into B, G, R in nRows rows; FALSE when any argument is 0.
BOOL SwapRedBlue(DWORD nRows, BYTE* pBuffer, DWORD nStride, DWORD nPixelsPerLine);
