// The scanner driver library's contract: the twelve exports that the scan-button program looks up by
// name in "<File Prefix>vqm.dll". Every export returns a status, 0 for success; the device handle is
// the 32-bit value that the open call writes.
#pragma once

#include "win/base.h"

// ScanDrv_GetNextPushStatus: a next page is ready, or the driver is still busy (ask again).
#define SCANDRV_NEXT_PAGE_READY 0
#define SCANDRV_BUSY 13

// The length of each of the three buffers of ScanDrv_SetScanParameterAdj.
#define SCANDRV_ADJ_BUFFER_BYTES 16

typedef int (*PFN_ScanDrv_Open)(const char* pszDevicePath, DWORD* pHandle);
typedef int (*PFN_ScanDrv_Close)(DWORD hDevice);
// Coordinates in 1/1200 inch.
typedef int (*PFN_ScanDrv_SetScanParameter)(DWORD hDevice, int nXResolution, int nYResolution, int nColorMode,
                                            int nLeft, int nTop, int nRight, int nBottom, int nOption, int nSource);
typedef int (*PFN_ScanDrv_GetScanParameter)(DWORD hDevice, int* pPixelsPerLine, int* pLines);
typedef int (*PFN_ScanDrv_StartScan)(DWORD hDevice);
typedef int (*PFN_ScanDrv_AbortScan)(DWORD hDevice);
// One raw line of nLength bytes.
typedef int (*PFN_ScanDrv_ReadScanData)(DWORD hDevice, BYTE* pBuffer, DWORD nLength, DWORD* pRead);
typedef int (*PFN_ScanDrv_SetScanParameterAdj)(DWORD hDevice, BYTE* pAdj1, BYTE* pAdj2, BYTE* pAdj3, int nValue1,
                                               int nValue2, int nValue3, int nValue4);
typedef int (*PFN_ScanDrv_GetNextPushStatus)(DWORD hDevice);
// Exported by every driver, never called by the program.
typedef int (*PFN_ScanDrv_GetCurScanLineNum)(DWORD hDevice, DWORD* pLines);
typedef int (*PFN_ScanDrv_GetCurTransferSize)(DWORD hDevice, DWORD* pBytes);
