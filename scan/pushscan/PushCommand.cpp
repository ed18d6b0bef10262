// The push command: a scan job in a few bytes, from the scanner's button or the command line.
#include <cstdio>
#include <cstring>

#include "ProductConfig.h"
#include "PushScanSettings.h"
#include "ScanManagerApp.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace {

// The bytes of the command.
enum PushCommandByte {
    kHead = 0,
    kResolution = 1,
    kColorMode = 2,
    kPaperSize = 3,
    kFileType = 4,
    kSource = 5,       // not on platform C
    kMultiPage = 6,    // not on platform C
    kPlatformCMode = 7,
};

// Platform C's mode byte.
constexpr BYTE kPlatformCSingle = 0;
constexpr BYTE kPlatformCMulti = 1;

// The resolution, colour mode, paper, file type, source and multi-page bytes into the job record and
// the application; false (with its debug line) for a command the job cannot run.
bool DecodeCommandBytes(const BYTE* pCommand, CScanManagerApp* pApp, ScanJobRecord* pJob) {
    if (pCommand[kHead] != PUSH_COMMAND_HEAD) {
        OutputDebugStringA("Push CMD Head error!");
        return false;
    }
    const BYTE nResolution = pCommand[kResolution];
    if (nResolution >= RESOLUTION_COUNT) {
        OutputDebugStringA("Scan Resolution error");
        return false;
    }
    pJob->params.nXResolution = pJob->params.nYResolution = pApp->m_nResolution = g_nResolutions[nResolution];

    const BYTE nColorMode = pCommand[kColorMode];
    if (nColorMode > SCAN_COLOR_RGB) {
        OutputDebugStringA("color error");
        return false;
    }
    pJob->params.nColorMode = pApp->m_nColorMode = nColorMode;

    PaperSize paper = g_FullBed;
    if (pCommand[kPaperSize] < PAPER_SIZE_COUNT)
        paper = g_PaperSizes[pCommand[kPaperSize]];
    else
        OutputDebugStringA("scan size error, default full");
    pJob->params.nLeft = pJob->params.nTop = 0;
    pJob->params.nWidth = paper.nWidth;
    pJob->params.nHeight = paper.nHeight;

    if (pCommand[kFileType] < FILE_TYPE_COUNT) {
        pApp->m_nSaveType = g_nSaveTypes[pCommand[kFileType]];
    } else {
        OutputDebugStringA("save type error, save default PDF");
        pApp->m_nSaveType = SAVE_TYPE_PDF;
    }

    if (g_bIsPlatformC) {
        // Bytes 5 and 6 mean nothing here; an unknown mode leaves the record's zero start.
        if (pCommand[kPlatformCMode] == kPlatformCSingle) {
            pJob->bMultiPage = 0;
            pJob->params.nSource = SCAN_SOURCE_PLATFORM_C_SINGLE;
        } else if (pCommand[kPlatformCMode] == kPlatformCMulti) {
            pJob->bMultiPage = 1;
            pJob->params.nSource = SCAN_SOURCE_PLATFORM_C_MULTI;
            pApp->m_nSaveType = SAVE_TYPE_PDF;
        }
    } else {
        const BYTE nSource = pCommand[kSource];
        if (nSource == SCAN_SOURCE_FLATBED || nSource == SCAN_SOURCE_FEEDER) {
            pJob->params.nSource = nSource;
        } else {
            OutputDebugStringA("ScanSource error, default flatbed");
            pJob->params.nSource = SCAN_SOURCE_FLATBED;
        }
        // Pages from the feeder always make a multi-page job.
        pJob->bMultiPage = nSource == SCAN_SOURCE_FEEDER || pCommand[kMultiPage] == 1;
        OutputDebugStringA(pJob->bMultiPage ? "multi scan mode" : "single scan mode");
    }
    return true;
}

}  // namespace

bool DecodePushCommandBytes(const BYTE* pCommand, size_t nLength, CScanManagerApp* pApp, ScanJobRecord* pJob) {
    // The command itself, whole or not at all.
    const size_t nRequired = g_bIsPlatformC ? PUSH_COMMAND_LENGTH_PLATFORM_C : PUSH_COMMAND_LENGTH;
    if (!pCommand || nLength < nRequired) {
        char szText[64];
        std::snprintf(szText, sizeof szText, "Push CMD length error: %zu", pCommand ? nLength : size_t{0});
        OutputDebugStringA(szText);
        return false;
    }
    return DecodeCommandBytes(pCommand, pApp, pJob);
}

bool DecodePushCommand(LPCWSTR pszDevicePath, CScanManagerApp* pApp, const BYTE* pCommand, size_t nLength) {
    // The device, in the driver's code page.
    if (!pszDevicePath || !pApp) {
        OutputDebugStringA("Invalid device path.");
        return false;
    }
    ScanJobRecord* pJob = &g_ScanJob;
    std::memset(pJob, 0, sizeof *pJob);
    if (WideCharToMultiByte(CP_ACP, 0, pszDevicePath, -1, pJob->szDevicePath, MAX_PATH, nullptr, nullptr) == 0)
        pJob->szDevicePath[0] = 0;  // too long for the record: the driver finds no device
    pJob->szDevicePath[MAX_PATH - 1] = 0;
    pJob->nOpenRequest = 1;
    pJob->nReserved = 1;

    // The user's settings, and a folder to save in before anything of the command is looked at.
    PushScanSettings settings;
    if (UpdatePushScanSettings(&settings) != 1) {
        OutputDebugStringA("UpdatePushScanSettings false.");
        return false;
    }
    pApp->m_bAutoOpen = settings.bAutoOpen;
    pApp->m_bOpenFolder = settings.bOpenFolder;
    lstrcpynW(pApp->m_szSaveFolder, settings.szSaveFolder, MAX_PATH);
    if (!PathFileExistsW(pApp->m_szSaveFolder)) {
        OutputDebugStringW(pApp->m_szSaveFolder);
        ShowScanError(pApp, SCAN_ERROR_NO_FOLDER);
        return false;
    }

    if (!DecodePushCommandBytes(pCommand, nLength, pApp, pJob)) return false;

    // The rest of the record.
    pApp->m_bMultiPage = pJob->bMultiPage;
    pJob->params.nReserved11 = 0;
    pJob->params.nScanOption = SCAN_OPTION_DEFAULT;
    pJob->pCallback = pApp;
    lstrcpynW(pJob->szSaveFolder, pApp->m_szSaveFolder, MAX_PATH);

    // The page in pixels, for the PDF of a multi-page job.
    pApp->m_nPageWidth = pJob->params.nWidth * pJob->params.nXResolution / SCAN_UNITS_PER_INCH;
    pApp->m_nPageHeight = pJob->params.nHeight * pJob->params.nYResolution / SCAN_UNITS_PER_INCH;

    return StartScanThread(&pApp->m_scanUtility, pJob);
}
