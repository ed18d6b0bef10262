// The scan-button program's application object: started by the scanner's button (through the
// still-image service), by a push command on the command line, to register or remove the button's
// handler, or by the user to change the settings. Each start does one thing and ends.
#pragma once

#include "ScanJob.h"
#include "ScanUtility.h"
#include "TransferCallbackEx.h"
#include "afx/afxstr.h"
#include "afx/afxwin.h"
#include "win/base.h"
#include "win/time.h"

// The push command's head byte.
#define PUSH_COMMAND_HEAD 0x56
// Its length: 7 bytes, 8 on platform C.
#define PUSH_COMMAND_LENGTH 7
#define PUSH_COMMAND_LENGTH_PLATFORM_C 8

// An output name's answer when every counter of its second is taken.
#define OUTPUT_SECOND_FULL 0

// The settings dialog's instance, one at a time.
#define SCANMANAGER_MUTEX_NAME u"Local\\VRX4410_SCANMANAGER"
// The restart filter's grace after the restart registration, in seconds.
#define RESTART_QUERY_GRACE_SECONDS 60

class CScanManagerApp : public CWinApp, public CTransferCallbackEx {
public:
    CScanManagerApp();
    // Stops a scan thread still running, then lets the members go (driver, dialog, stream).
    ~CScanManagerApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // The session-end rules while the restart registration holds; the framework's filter otherwise.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // The two scan launches; each returns once the scan thread has ended.
    void StiLaunch();
    void PushParamLaunch(LPCWSTR pszDevicePath, LPCWSTR pszDigits);
    // "-INS" and "-UNI": the button-event handler through the registration library.
    void RegisterEventHandler();
    void UnregisterEventHandler();

    // Saves each finished page, joins a multi-page PDF, opens the result or its folder.
    int TransferCallback(int nReserved, TransferMessage* pMessage) override;
    // A fresh name in the save folder for the job's save type (1), or SCAN_ERROR_CANNOT_CREATE. The
    // name is reserved: the file is made, empty, so that no other job in the same second takes it.
    int GetFilePathForPushScan(WCHAR* pszPath /*[MAX_PATH]*/);
    // Joins the job's temporary JPEG pages into one PDF in the save folder: 0, or -1. When they cannot
    // be joined the pages are kept: moved into the save folder as JPEG files, or left in the
    // temporary folder when the save folder is gone; the list then names where they are.
    int CreatePdfFromJpg();

    CScanUtility m_scanUtility;
    ULONG_PTR m_gdiplusToken = 0;
    HANDLE m_hMutex = nullptr;
    WCHAR m_szSaveFolder[MAX_PATH] = {};
    CStringArray m_lstScanFile;  // the files saved in this job, in order
    int m_bAutoOpen = 0;
    int m_bOpenFolder = 0;
    int m_nSaveType = 0;   // SAVE_TYPE_*
    int m_nResolution = 0;
    int m_nColorMode = 0;
    int m_bMultiPage = 0;
    HMODULE m_hLanguageDll = nullptr;
    int m_nPageWidth = 0;   // pixels
    int m_nPageHeight = 0;

private:
    // GetFilePathForPushScan for a save type of the caller's.
    int ReserveOutputName(int nSaveType, WCHAR* pszPath /*[MAX_PATH]*/);
    // The same for the names of one second, from the counter *pnCounter on (left after the one taken):
    // 1, OUTPUT_SECOND_FULL when that second has no free counter left, or SCAN_ERROR_CANNOT_CREATE.
    int ReserveOutputNameOf(int nSaveType, const SYSTEMTIME& st, int* pnCounter, WCHAR* pszPath /*[MAX_PATH]*/);
    int OnEndOfStream(int nReserved, TransferMessage* pMessage);
    int OnEndOfTransfer(int nReserved, TransferMessage* pMessage);
    // The pages of a PDF that could not be joined, into the save folder as JPEG files, every one of
    // them: when a second's names run out, under the names of the seconds after it.
    void KeepPdfPages();
    // The single saved file opened for the user, under a note.
    void OpenImage(LPCWSTR pszFile);
    // The folder of a saved file opened for the user.
    void OpenFolderOf(LPCWSTR pszFile);
};

// Process-wide: whether the restart registration succeeded, and when (seconds since 1970).
extern bool g_bRestartRegistered;
extern __time64_t g_tRestartRegistered;

// The one job record of the process.
extern ScanJobRecord g_ScanJob;

// Checks a push command of `nLength` bytes and turns it, with the user's settings, into the job
// record and the application's per-job values, then starts the scan thread. True when it started.
bool DecodePushCommand(LPCWSTR pszDevicePath, CScanManagerApp* pApp, const BYTE* pCommand, size_t nLength);
// The command's own bytes (the button's event data, or the digits of the command line) into the job
// record and the application's per-job values: false for a command shorter than the platform's
// length or one the job cannot run.
bool DecodePushCommandBytes(const BYTE* pCommand, size_t nLength, CScanManagerApp* pApp, ScanJobRecord* pJob);
