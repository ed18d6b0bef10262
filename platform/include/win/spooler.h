// The print spooler of the machine: printers with names, ports, drivers and default DEVMODEs, and
// jobs whose bytes are kept in files under the machine root. The port monitor and the printer at
// the end of the cable are not modelled: a job's bytes stay in the machine for tests and tools.
#pragma once

#include "win/base.h"
#include "win/time.h"

// ---- DEVMODE -----------------------------------------------------------------------------------
#define CCHDEVICENAME 32
#define CCHFORMNAME 32

#pragma pack(push, 2)
struct DEVMODEW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    SHORT dmOrientation;
    SHORT dmPaperSize;
    SHORT dmPaperLength;
    SHORT dmPaperWidth;
    SHORT dmScale;
    SHORT dmCopies;
    SHORT dmDefaultSource;
    SHORT dmPrintQuality;
    SHORT dmColor;
    SHORT dmDuplex;
    SHORT dmYResolution;
    SHORT dmTTOption;
    SHORT dmCollate;
    WCHAR dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmNup;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};
#pragma pack(pop)
static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW is 220 bytes");
static_assert(offsetof(DEVMODEW, dmSize) == 68 && offsetof(DEVMODEW, dmOrientation) == 76 &&
                  offsetof(DEVMODEW, dmDuplex) == 94 && offsetof(DEVMODEW, dmCollate) == 100 &&
                  offsetof(DEVMODEW, dmMediaType) == 196,
              "DEVMODEW field offsets");
typedef DEVMODEW* PDEVMODEW;
typedef DEVMODEW* LPDEVMODEW;

#define DM_SPECVERSION 0x0401
#define DM_ORIENTATION 0x00000001
#define DM_PAPERSIZE 0x00000002
#define DM_PAPERLENGTH 0x00000004
#define DM_PAPERWIDTH 0x00000008
#define DM_SCALE 0x00000010
#define DM_COPIES 0x00000100
#define DM_DEFAULTSOURCE 0x00000200
#define DM_PRINTQUALITY 0x00000400
#define DM_DUPLEX 0x00001000
#define DM_COLLATE 0x00008000
#define DM_MEDIATYPE 0x02000000

#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_LETTER 1
#define DMPAPER_LEGAL 5
#define DMPAPER_A4 9
#define DMPAPER_A5 11
#define DMBIN_UPPER 1
#define DMBIN_MANUAL 4
#define DMDUP_SIMPLEX 1
#define DMDUP_VERTICAL 2
#define DMDUP_HORIZONTAL 3
#define DMCOLLATE_FALSE 0
#define DMCOLLATE_TRUE 1

#define DM_OUT_BUFFER 2
#define DM_IN_BUFFER 8
#define IDOK 1

// ---- Printers ----------------------------------------------------------------------------------
struct PRINTER_INFO_2W {
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    LPDEVMODEW pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    void* pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
};
typedef PRINTER_INFO_2W* PPRINTER_INFO_2W;

struct PRINTER_DEFAULTSW {
    LPWSTR pDatatype;
    LPDEVMODEW pDevMode;
    DWORD DesiredAccess;
};
typedef PRINTER_DEFAULTSW* LPPRINTER_DEFAULTSW;

#define PRINTER_ACCESS_ADMINISTER 0x00000004
#define PRINTER_ACCESS_USE 0x00000008
#define PRINTER_ALL_ACCESS 0x000F000C
#define PRINTER_DELETE_ACCESS 0x00010000  // DELETE, part of PRINTER_ALL_ACCESS

struct JOB_INFO_1W {
    DWORD JobId;
    LPWSTR pPrinterName;
    LPWSTR pMachineName;
    LPWSTR pUserName;
    LPWSTR pDocument;
    LPWSTR pDatatype;
    LPWSTR pStatus;
    DWORD Status;
    DWORD Priority;
    DWORD Position;
    DWORD TotalPages;
    DWORD PagesPrinted;
    SYSTEMTIME Submitted;
};
typedef JOB_INFO_1W* PJOB_INFO_1W;
#define JOB_STATUS_PRINTING 0x00000010

struct DOC_INFO_1W {
    LPWSTR pDocName;
    LPWSTR pOutputFile;
    LPWSTR pDatatype;
};

// Opens a printer of the machine by name (ERROR_INVALID_PRINTER_NAME when there is none). The access
// asked for (PRINTER_ACCESS_USE without defaults) is granted unless the printer refuses
// PRINTER_ALL_ACCESS (PrinterSetup::refusesAllAccess) and it was asked: ERROR_ACCESS_DENIED.
WINBASEAPI BOOL WINAPI OpenPrinterW(LPWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults);
WINBASEAPI BOOL WINAPI ClosePrinter(HANDLE printer);
// Level 2 only: the record followed by its strings and DEVMODE in the caller's buffer; a buffer that
// is too small gives ERROR_INSUFFICIENT_BUFFER with the size needed.
WINBASEAPI BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004
// The machine's printers at level 2, in the order of their names (local printers and connections are
// the same here; `cJobs`, as in GetPrinterW, counts the jobs started and not yet ended). A buffer that
// is too small gives ERROR_INSUFFICIENT_BUFFER with the size needed; a server name is refused
// (ERROR_INVALID_NAME). Fault switch "EnumPrintersW".
WINBASEAPI BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed, LPDWORD returned);
// The printer's default DEVMODE as its settings part would give it: fMode 0 asks for the size,
// DM_OUT_BUFFER copies it out and returns IDOK; input DEVMODEs are not merged. Fault switch
// "DocumentPropertiesW" makes a call return the value it carries (or -1).
WINBASEAPI LONG WINAPI DocumentPropertiesW(HWND wnd, HANDLE printer, LPWSTR deviceName, PDEVMODEW out,
                                           PDEVMODEW in, DWORD mode);
// The printer's jobs not yet ended at level 1, from the `firstJob`-th (0-based, in job id order) at most
// `count`; `Position` counts from 1. A buffer that is too small gives ERROR_INSUFFICIENT_BUFFER with the
// size needed. Fault switch "EnumJobsW" (with `succeed`: TRUE and no jobs).
WINBASEAPI BOOL WINAPI EnumJobsW(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer,
                                 DWORD size, LPDWORD needed, LPDWORD returned);
// Deletes the printer with its registry key ("...\Print\Printers\<name>"); the handle must have been
// opened with delete access (PRINTER_ALL_ACCESS), else ERROR_ACCESS_DENIED. The printer's jobs stay in
// the machine for tests. Journalled; fault switch "DeletePrinter" (detail: the printer name).
WINBASEAPI BOOL WINAPI DeletePrinter(HANDLE printer);
// Starts a job on the printer handle (the graphics engine does this before DrvStartDoc); returns the
// job id, 0 on failure.
WINBASEAPI DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo);
WINBASEAPI BOOL WINAPI EndDocPrinter(HANDLE printer);
// Appends to the handle's current job. Fault switch "WritePrinter": fail k times with nothing
// written, or write only part (with success or failure) — see platform/control.h.
WINBASEAPI BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD count, LPDWORD written);
WINBASEAPI BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR server, LPWSTR environment, DWORD level,
                                                  LPBYTE buffer, DWORD size, LPDWORD needed);

// ---- Drivers and port monitors ----------------------------------------------------------------------
// Every call of this part, like the printer calls above it, answers RPC_S_SERVER_UNAVAILABLE while the
// "Spooler" service is not running.
struct DRIVER_INFO_3W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;  // NUL-separated, ended by an empty name
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
};
#define DPD_DELETE_UNUSED_FILES 0x00000001
#define DPD_DELETE_SPECIFIC_VERSION 0x00000002
#define DPD_DELETE_ALL_FILES 0x00000004
// Level 3 only, the drivers of the environment (NULL: "Windows x64"; "all": every one) by name; a
// buffer that is too small gives ERROR_INSUFFICIENT_BUFFER with the size needed. Fault switch
// "EnumPrinterDriversW".
WINBASEAPI BOOL WINAPI EnumPrinterDriversW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                                           DWORD size, LPDWORD needed, LPDWORD returned);
// Deletes a driver of the environment (NULL: "Windows x64"): ERROR_UNKNOWN_PRINTER_DRIVER when there is
// none, ERROR_PRINTER_DRIVER_IN_USE while a printer uses it. DPD_DELETE_UNUSED_FILES also deletes its
// files that no other driver lists. Journalled; fault switch "DeletePrinterDriverExW" (detail: the name).
WINBASEAPI BOOL WINAPI DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName,
                                              DWORD deleteFlags, DWORD versionFlag);
// Deletes a port monitor: ERROR_UNKNOWN_PRINT_MONITOR when there is none, ERROR_PRINT_MONITOR_IN_USE
// while a printer's port is one of its ports. Its module stays on disk. Journalled; fault switch
// "DeleteMonitorW" (detail: the name).
WINBASEAPI BOOL WINAPI DeleteMonitorW(LPWSTR server, LPWSTR environment, LPWSTR monitorName);
