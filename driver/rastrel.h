// The printer graphics driver: the per-device record and the routines its sources share.
#pragma once

#include <cstddef>

#include "win/files.h"
#include "win/kernel.h"
#include "win/spooler.h"
#include "win/winddi.h"

constexpr DWORD kPdevHeadSignature = 0x73745044;  // "DPts" in memory order
constexpr DWORD kPdevTailSignature = 0x656e5044;  // "DPne"
constexpr size_t kPrivateDevmodeSize = 5064;
constexpr int kSpoolPageLimit = 3000;
constexpr int kNupSlots = 9;

// One page kept in the N-up page store.
struct NupSlot {
    LONG width;        // row bytes of the stored image
    LONG height;       // rows
    LONG size;         // width x height
    LONG offset;       // byte offset in the store file
    DWORD orientation; // 1 portrait, 2 landscape, when stored
};

struct WatermarkSettings {
    LONG kind;            // 0 none, 1 text, 2 image
    BOOL firstPageOnly;
    LONG darkness;        // percent: 10, 30, 50, 70 or 90
    WCHAR faceName[32];
    WCHAR text[64];
    LONG fontSize;        // points
    DWORD style;          // 1 bold, 2 italic
    LONG angle;           // degrees
    BOOL placed;          // centre given by the two percentages below, else the page centre
    LONG xPercent;
    LONG yPercent;
    WCHAR imagePath[MAX_PATH];
    BOOL imageBlend;      // an image mark blends with dark page pixels
};

// Per device context; allocated zero-filled, signed at both ends, checked on every entry.
struct DriverPdev {
    DWORD headSignature;
    DWORD size;
    HANDLE printer;
    DWORD jobId;
    HPALETTE palette;
    HDEV engineDevice;
    HSURF pageBitmap;
    HSURF deviceSurface;
    SURFOBJ* pageSurface;
    DWORD sheetsSent;
    LONG pagesFinished;
    SURFOBJ* currentSurface;
    DWORD bitmapFormat;
    BYTE* pageBuffer;
    DWORD pageBufferSize;
    BYTE* sheetBuffer;
    LONG bandWidth;
    LONG bandHeight;
    LONG sheetWidth;
    LONG sheetHeight;
    SHORT paperId;
    SHORT customPaperWidth;   // 0.1 mm, for papers outside the table
    SHORT customPaperLength;
    LONG physicalWidth;       // pixels at 600 dpi
    LONG physicalHeight;
    LONG printableWidth;
    LONG printableHeight;
    SHORT printerPaperCode;
    ULONGLONG pageShift;
    DWORD xResolution;
    DWORD yResolution;
    SHORT outputResolution;   // 600 or 1200
    SHORT mediaSource;
    SHORT mediaSourceReserved;
    SHORT pagesPerSheet;      // 1, 2, 4 or 9
    // N-up page store.
    HANDLE nupFile;
    CHAR nupPath[MAX_PATH];
    LONG nupLayoutKind;       // 2-up layout 1..4
    LONG nupOrder;            // 1..6
    BOOL nupBorder;
    LONG nupStored;
    LONG nupStoreSize;
    NupSlot nupSlots[kNupSlots];
    double zoom;              // percent
    LONG scale;               // percent
    WatermarkSettings watermark;
    DWORD orientation;        // 1 portrait, 2 landscape
    DWORD pageEffects;        // kEffect* bits
    WORD copies;
    DWORD collate;
    DWORD reverseOrder;
    HANDLE pageSpool;
    HANDLE headerSpool;
    LONG spooledPages;
    DWORD pageTable[kSpoolPageLimit];
    CHAR pageSpoolPath[MAX_PATH];
    CHAR headerSpoolPath[MAX_PATH];
    BYTE bandingKind;         // 2 for poster printing, else 1
    BYTE bandCounter;
    BYTE density;
    BYTE headerSent;          // the job header has reached the printer
    SHORT mediaType;
    BYTE paperOption;         // 1 or 2
    BYTE duplexKind;          // 0 none, 1 short edge (DMDUP_HORIZONTAL), 2 long edge (DMDUP_VERTICAL)
    BYTE banding;
    USHORT ditherWidth;
    USHORT ditherHeight;
    DWORD aborted;
    DWORD jobStarted;         // bit 0 from the first page until the end of the document
    BYTE devmodeCopy[kPrivateDevmodeSize];
    DWORD tailSignature;
};
static_assert(offsetof(DriverPdev, tailSignature) + sizeof(DWORD) == sizeof(DriverPdev),
              "the tail signature is the record's last word");

constexpr DWORD kEffectNegative = 2;
constexpr DWORD kEffectRotate180 = 4;
constexpr DWORD kEffectMirror = 8;

// ---- Record checks -------------------------------------------------------------------------------
BOOL IsValidPdev(const DriverPdev* pdev);
// The record of a surface's device, after the abort check; null (with the error set) otherwise.
DriverPdev* PdevFromSurface(SURFOBJ* surface);

// ---- Settings (devmode.cpp) -----------------------------------------------------------------------
struct PaperEntry {
    SHORT id;
    LONG width;   // 0.1 mm
    LONG height;  // 0.1 mm
    SHORT margin; // mm on every side
    SHORT code;   // the printer's paper code
    BOOL envelope;
};
extern const PaperEntry kPaperTable[];
constexpr int kPaperTableRows = 26;

int FindPaperEntry(LONG id);
void ValidateDevmode(BYTE* devmode);
PRINTER_INFO_2W* GetPrinterInfo2(HANDLE printer);
// The printer's default DEVMODE in a heap block of at least kPrivateDevmodeSize bytes (LocalFree).
BYTE* GetDefaultDevmode(HANDLE printer, LPWSTR printerName);
// The DEVMODE the device runs with, as a full-size view; see devmode.cpp.
BOOL SelectDevmode(HANDLE printer, DEVMODEW* engineDevmode, BYTE* merged, BOOL* copyable);
void InitPdevFromDevmode(DriverPdev* pdev, const BYTE* devmode, BOOL copyable);
void ComputePageGeometry(DriverPdev* pdev, const BYTE* devmode);
BOOL IsNup(const DriverPdev* pdev);
BOOL IsSpooling(const DriverPdev* pdev);
BOOL IsDirectAndSpool(const DriverPdev* pdev);

// ---- Capabilities (pdev.cpp) ------------------------------------------------------------------------
LONG LogicalDpi(const DriverPdev* pdev);
void FillGdiInfo(const DriverPdev* pdev, GDIINFO* info);
BOOL FillDevInfo(DriverPdev* pdev, DEVINFO* info);
// Closes and deletes the N-up store and both spool files, if open.
void CloseJobFiles(DriverPdev* pdev);

// ---- Job control (job.cpp) -----------------------------------------------------------------------------
constexpr int kFlushEndOfPage = 1;
constexpr int kFlushEndOfJob = 2;
constexpr int kFlushSettingsChange = 3;

BOOL BeginJob(DriverPdev* pdev);
// The per-sheet pipeline: page effects, back-side turning, page header, screen, JBIG, page end.
BOOL EncodeAndSendPage(DriverPdev* pdev, BOOL blank);
BOOL FlushPage(DriverPdev* pdev, int reason);
BOOL FinishJob(DriverPdev* pdev);
// The counters of a job back to zero and its files closed and deleted; nothing more is sent.
void AbandonJob(DriverPdev* pdev);

// ---- Spooling (sink.cpp) and N-up --------------------------------------------------------------------
// A temporary file of the driver ("ps", "head", "pn"), open for reading and writing.
BOOL OpenDriverTempFile(const CHAR* prefix, CHAR* path, HANDLE* file);
// Closes and deletes such a file, if there is one.
void CloseDriverTempFile(HANDLE* file, CHAR* path);
BOOL OpenSpoolTempFiles(DriverPdev* pdev);
BOOL ReplaySpool(DriverPdev* pdev, int pass);
BOOL OpenNupTempFile(DriverPdev* pdev);
// Composes the N-up sheet into the sheet buffer when the store holds one for this reason; *composed
// tells whether it did.
BOOL FlushNupSheet(DriverPdev* pdev, int reason, BOOL* composed);
BOOL StoreNupPage(DriverPdev* pdev);
BOOL ApplyWatermark(DriverPdev* pdev);

// ---- Page surface (surface.cpp) ----------------------------------------------------------------------
constexpr int kBufferAttempts = 30;
constexpr DWORD kBufferRetryPause = 100;
constexpr FLONG kDeviceHooks = 0x385FF;
