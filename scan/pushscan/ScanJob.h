// The records of one scan job: the scan window and format handed to the scanner driver, and the job
// that the scan thread runs, with the tables the push command's bytes are looked up in.
#pragma once

#include "SaveType.h"
#include "win/base.h"

class CTransferCallback;

// Where the pages come from (the driver's source argument).
enum ScanSource : int {
    SCAN_SOURCE_FLATBED = 0,
    SCAN_SOURCE_FEEDER = 1,
    SCAN_SOURCE_PLATFORM_C_MULTI = 4,
    SCAN_SOURCE_PLATFORM_C_SINGLE = 8,
};

// Colour modes and the bits per pixel they deliver: line art 1, grey 8, colour 24.
enum ScanColorMode : int {
    SCAN_COLOR_LINEART = 0,
    SCAN_COLOR_GRAY = 1,
    SCAN_COLOR_RGB = 2,
};

// The scan option always passed to the driver.
#define SCAN_OPTION_DEFAULT 127

// Save types of the pages: the file-type byte of the push command gives SAVE_TYPE_TIF, SAVE_TYPE_JPG
// or SAVE_TYPE_PDF.

// Lengths in 1/1200 inch.
#define SCAN_UNITS_PER_INCH 1200

struct ScanParameters {
    int nSource;         // ScanSource
    int nColorMode;      // ScanColorMode
    int nXResolution;    // dots per inch
    int nYResolution;
    int nLeft;           // 1/1200 inch, always 0
    int nTop;
    int nWidth;          // 1/1200 inch, from the paper table
    int nHeight;
    int nPixelsPerLine;  // the driver's answer (SetScanParameters)
    int nLines;
    int nReserved11;     // 0
    int nReserved12;
    int nScanOption;     // SCAN_OPTION_DEFAULT
};

struct ScanJobRecord {
    int nOpenRequest;                // the scanner is opened only when non-zero
    int nReserved;                   // 1
    char szDevicePath[MAX_PATH];     // the still-image device path in the ANSI code page
    WCHAR szSaveFolder[MAX_PATH];
    int bMultiPage;
    ScanParameters params;
    CTransferCallback* pCallback;    // receives the transfer messages
};

// Resolutions by the push command's byte 1 (dots per inch on both axes).
#define RESOLUTION_COUNT 4
extern const int g_nResolutions[RESOLUTION_COUNT];

// Paper sizes by the push command's byte 3; other values take the full bed.
struct PaperSize {
    int nWidth;   // 1/1200 inch
    int nHeight;
};
#define PAPER_SIZE_COUNT 11
extern const PaperSize g_PaperSizes[PAPER_SIZE_COUNT];
// The flatbed's whole glass (216 x 297 mm), also the bound of a flatbed scan window.
extern const PaperSize g_FullBed;

// Save types by the push command's byte 4; other values take PDF.
#define FILE_TYPE_COUNT 3
extern const int g_nSaveTypes[FILE_TYPE_COUNT];
