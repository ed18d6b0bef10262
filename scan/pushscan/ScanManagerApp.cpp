// The application object's life and its part as the job's receiver: saving pages, naming files,
// joining a multi-page PDF and the actions after the job.
#include "ScanManagerApp.h"

#include <chrono>
#include <cstdio>

#include "DialogResources.h"
#include "ErrorDlg.h"
#include "FolderProbe.h"
#include "JpegPdf.h"
#include "MsgDlg.h"
#include "PictureWriter.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

ScanJobRecord g_ScanJob = {};

namespace {

// Output names "img-YYMMDDhhmmss-NNN.ext": counters 1 to 998 within one second.
constexpr int kFirstCounter = 1;
constexpr int kLastCounter = 998;
// The seconds beyond one per page that keeping a failed join's pages may pass over when others
// filled their names.
constexpr INT_PTR kSpareSeconds = 60;

const char* const kExtensions[SAVE_TYPE_COUNT] = {"wmf", "emf", "bmp", "tif", "jpg", "gif", "png", "pdf", "doc", "txt"};

void DebugFormat(const char* pszFormat, long nValue) {
    char szText[128];
    std::snprintf(szText, sizeof szText, pszFormat, nValue);
    OutputDebugStringA(szText);
}

bool IsNameTaken(DWORD dwError) { return dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS; }

// The local time one second later (the names of the next second).
void AddOneSecond(SYSTEMTIME& st) {
    using namespace std::chrono;
    const sys_seconds t = sys_days{year{st.wYear} / month{st.wMonth} / day{st.wDay}} + hours{st.wHour} +
                          minutes{st.wMinute} + seconds{st.wSecond + 1};
    const sys_days date = floor<days>(t);
    const year_month_day ymd{date};
    const hh_mm_ss<seconds> clock{t - date};
    st.wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
    st.wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
    st.wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
    st.wDayOfWeek = static_cast<WORD>(weekday{date}.c_encoding());
    st.wHour = static_cast<WORD>(clock.hours().count());
    st.wMinute = static_cast<WORD>(clock.minutes().count());
    st.wSecond = static_cast<WORD>(clock.seconds().count());
}

}  // namespace

CScanManagerApp::CScanManagerApp() = default;

CScanManagerApp::~CScanManagerApp() {
    // The thread calls into this object: it ends before any member goes.
    m_scanUtility.StopThread();
    // The driver goes with m_scanUtility, the progress dialog and the page stream with the receiver.
}

int CScanManagerApp::TransferCallback(int nReserved, TransferMessage* pMessage) {
    if (!pMessage) return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
    switch (pMessage->nType) {
    case TRANSFER_MSG_END_OF_STREAM: return OnEndOfStream(nReserved, pMessage);
    case TRANSFER_MSG_END_OF_TRANSFER: return OnEndOfTransfer(nReserved, pMessage);
    case TRANSFER_MSG_EXIT: OutputDebugStringA("Exit utilty"); break;
    default: break;
    }
    return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
}

// One page is complete in the current stream: it is saved under its name at once. A failure becomes
// the reply, so the scan thread ends the job and the error is shown.
int CScanManagerApp::OnEndOfStream(int nReserved, TransferMessage* pMessage) {
    if (!m_pProgressDlg || m_pProgressDlg->IsCancelled()) {
        OutputDebugStringA("is cancel");
        return 0;
    }
    int nPageType = m_nSaveType;
    if (!PathFileExistsW(m_szSaveFolder)) {
        OutputDebugStringA("GetFilePathForPushScan fail");
        pMessage->nError = SCAN_ERROR_NO_FOLDER;
        return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
    }
    WCHAR szPath[MAX_PATH] = {};
    const int nName = GetFilePathForPushScan(szPath);
    if (nName != 1) {
        pMessage->nError = nName;
        return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
    }
    if (m_bMultiPage && m_nSaveType == SAVE_TYPE_PDF) {
        // The pages of a multi-page PDF wait as temporary JPEG files until the job ends; the name
        // reserved for the PDF is given back.
        DeleteFileW(szPath);
        WCHAR szTempFolder[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, szTempFolder) == 0) {
            DebugFormat("GetTempPath fail: %ld", static_cast<long>(GetLastError()));
            pMessage->nError = SCAN_ERROR_FAILED;
            return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
        }
        if (GetTempFileNameW(szTempFolder, u"Jpg", 0, szPath) == 0) {
            DebugFormat("GetTempFileName fail: %ld", static_cast<long>(GetLastError()));
            pMessage->nError = SCAN_ERROR_FAILED;
            return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
        }
        nPageType = SAVE_TYPE_JPG;
    }
    const int nSaved = SavePageStream(m_pStream, szPath, nPageType);
    if (nSaved != 0) {
        // A page that was not saved is not kept half-written, and the user hears of it.
        DebugFormat("Save page fail: %ld", static_cast<long>(nSaved));
        DeleteFileW(szPath);
        pMessage->nError = SCAN_ERROR_CANNOT_CREATE;
        return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
    }
    m_lstScanFile.Add(CString(szPath));
    DebugFormat("now m_lstScanFile count:%ld", static_cast<long>(m_lstScanFile.GetSize()));
    return 0;
}

// The job is over: a multi-page PDF is joined, the file or its folder opened as the settings ask.
int CScanManagerApp::OnEndOfTransfer(int nReserved, TransferMessage* pMessage) {
    const bool bDialogOn = m_pProgressDlg && !m_pProgressDlg->IsCancelled();
    if (!bDialogOn && m_lstScanFile.GetSize() == 0) {
        OutputDebugStringA("is cancel");
        return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
    }
    OutputDebugStringA("TRANSFER_MSG_END_OF_TRANSFER");
    if (m_bMultiPage && m_nSaveType == SAVE_TYPE_PDF) {
        if (m_lstScanFile.GetSize() == 0) {
            OutputDebugStringA("Exit utilty");
            return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
        }
        if (CreatePdfFromJpg() != 0) {
            ReleaseProgressDialog();  // the error stands alone
            ShowErrorDialog(IDS_PDF_FAILED);
            return 0;
        }
    }
    if (m_lstScanFile.GetSize() > 0) {
        OutputDebugStringA("Open Image\r\n");
        if (m_bAutoOpen && m_lstScanFile.GetSize() == 1) OpenImage(m_lstScanFile[0]);
        if (m_bOpenFolder) OpenFolderOf(m_lstScanFile[0]);
    }
    OutputDebugStringA("Exit utilty");
    return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
}

void CScanManagerApp::OpenImage(LPCWSTR pszFile) {
    CMsgDlg note;
    HWND hNote = nullptr;
    if (note.Create() && note.GetSafeHwnd()) {
        hNote = note.GetSafeHwnd();
        SetWindowPos(hNote, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);  // the top-left corner, above the rest
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = hNote;
    info.lpVerb = nullptr;
    info.lpFile = pszFile;
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info);
    if (info.hProcess) CloseHandle(info.hProcess);
    if (hNote) note.DestroyWindow();
    OutputDebugStringA("Output Image end");
}

void CScanManagerApp::OpenFolderOf(LPCWSTR pszFile) {
    WCHAR szFolder[MAX_PATH];
    lstrcpynW(szFolder, pszFile, MAX_PATH);
    WCHAR* pszCut = nullptr;
    for (WCHAR* p = szFolder; *p; ++p)
        if (*p == u'\\') pszCut = p + 1;
    if (pszCut) *pszCut = 0;
    ShellExecuteW(nullptr, u"open", szFolder, nullptr, nullptr, SW_SHOW);
}

int CScanManagerApp::GetFilePathForPushScan(WCHAR* pszPath) { return ReserveOutputName(m_nSaveType, pszPath); }

int CScanManagerApp::ReserveOutputName(int nSaveType, WCHAR* pszPath) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    int nCounter = kFirstCounter;
    const int nName = ReserveOutputNameOf(nSaveType, st, &nCounter, pszPath);
    return nName == OUTPUT_SECOND_FULL ? SCAN_ERROR_CANNOT_CREATE : nName;
}

int CScanManagerApp::ReserveOutputNameOf(int nSaveType, const SYSTEMTIME& st, int* pnCounter, WCHAR* pszPath) {
    pszPath[0] = 0;
    if (!PathAddBackslashW(m_szSaveFolder)) return SCAN_ERROR_CANNOT_CREATE;
    DWORD dwProbeError = 0;
    if (!ProbeFolder(m_szSaveFolder, st, &dwProbeError)) {
        if (dwProbeError)
            DebugFormat("Could not open file (error %ld)\n", static_cast<long>(dwProbeError));
        else
            OutputDebugStringA("Could not open file (no free probe name)\n");
        return SCAN_ERROR_CANNOT_CREATE;
    }
    if (nSaveType < 0 || nSaveType >= SAVE_TYPE_COUNT)
        return SCAN_ERROR_CANNOT_CREATE;
    for (int n = *pnCounter; n <= kLastCounter; ++n) {
        char szName[64];
        std::snprintf(szName, sizeof szName, "img-%02d%02d%02d%02d%02d%02d-%03d.%s", st.wYear % 100, st.wMonth, st.wDay,
                      st.wHour, st.wMinute, st.wSecond, n, kExtensions[nSaveType]);
        WCHAR szCandidate[MAX_PATH];
        lstrcpynW(szCandidate, m_szSaveFolder, MAX_PATH);
        if (!AppendAscii(szCandidate, szName)) return SCAN_ERROR_CANNOT_CREATE;
        // Made here, exclusively: a name another job took in the same second is passed over.
        HANDLE hFile = CreateFileW(szCandidate, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            const DWORD dwError = GetLastError();
            if (IsNameTaken(dwError)) continue;
            DebugFormat("Could not open file (error %ld)\n", static_cast<long>(dwError));
            return SCAN_ERROR_CANNOT_CREATE;
        }
        CloseHandle(hFile);
        lstrcpynW(pszPath, szCandidate, MAX_PATH);
        *pnCounter = n + 1;
        return 1;
    }
    *pnCounter = kLastCounter + 1;
    return OUTPUT_SECOND_FULL;
}

int CScanManagerApp::CreatePdfFromJpg() {
    OutputDebugStringA("-------CreatePdfFromJpg------------start");
    PdfWriter* pPdf = PDF_New(m_nPageWidth, m_nPageHeight);
    if (!pPdf) {
        OutputDebugStringA("-------NULL==pPDF");
        KeepPdfPages();
        return -1;
    }
    WCHAR szPdf[MAX_PATH] = {};
    if (PathFileExistsW(m_szSaveFolder) && ReserveOutputName(SAVE_TYPE_PDF, szPdf) != 1) szPdf[0] = 0;

    int nResult = 0;
    for (INT_PTR i = 0; i < m_lstScanFile.GetSize() && nResult == 0; ++i) {
        LPCWSTR pszPage = m_lstScanFile[i];
        HANDLE hFile = CreateFileW(pszPage, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            OutputDebugStringA("-------cf------------error");
            nResult = -1;
            break;
        }
        const DWORD dwLength = GetFileSize(hFile, nullptr);
        if (PDF_AddJpeg(pszPage, pPdf, m_nPageWidth, m_nPageHeight, m_nResolution, dwLength) != 0) {
            OutputDebugStringA("---------PDF_AddJpeg----error");
            nResult = -1;
        }
        CloseHandle(hFile);
    }
    if (nResult == 0) {
        uint64_t nSize = 0;
        if (PDF_EndDocument(pPdf, &nSize) != 0) {
            OutputDebugStringA("---------PDF_EndDocument----error");
            nResult = -1;
        } else if (szPdf[0] != 0) {
            const int nWritten = PDF_ToFile(pPdf, szPdf);  // frees the writer
            pPdf = nullptr;
            if (nWritten != 0) {
                OutputDebugStringA("---------PDF_ToFile----error");
                nResult = -1;
            }
        } else {
            OutputDebugStringA("---------PDF_ToFile----error");
            nResult = -1;
        }
    }
    if (nResult != 0) {
        // Not joined: no PDF is left half-written, and every page is kept.
        if (pPdf) PDF_ToFile(pPdf, u"");  // only frees the writer: there is no file of that name to make
        if (szPdf[0]) DeleteFileW(szPdf);
        KeepPdfPages();
        return -1;
    }
    for (INT_PTR i = 0; i < m_lstScanFile.GetSize(); ++i)
        if (!DeleteFileW(m_lstScanFile[i])) OutputDebugStringA("---------Delete temporary file error----");
    m_lstScanFile.RemoveAll();
    m_lstScanFile.Add(CString(szPdf));
    return 0;
}

void CScanManagerApp::KeepPdfPages() {
    // With the save folder gone the pages stay where they are, in the temporary folder.
    if (!PathFileExistsW(m_szSaveFolder)) return;
    // More pages than one second has names (a join past its thousand pages) go on into the names of
    // the seconds after it; seconds that others filled are passed over, as far as the pages need.
    SYSTEMTIME st;
    GetLocalTime(&st);
    int nCounter = kFirstCounter;
    INT_PTR nSecondsLeft = m_lstScanFile.GetSize() + kSpareSeconds;
    for (INT_PTR i = 0; i < m_lstScanFile.GetSize(); ++i) {
        WCHAR szName[MAX_PATH];
        int nName;
        while ((nName = ReserveOutputNameOf(SAVE_TYPE_JPG, st, &nCounter, szName)) == OUTPUT_SECOND_FULL &&
               nSecondsLeft-- > 0) {
            AddOneSecond(st);
            nCounter = kFirstCounter;
        }
        if (nName != 1) {
            OutputDebugStringA("Keep page fail: no name");
            return;
        }
        DeleteFileW(szName);  // the reservation makes way for the page itself
        if (MoveFileW(m_lstScanFile[i], szName))
            m_lstScanFile[i] = CString(szName);
        else
            DebugFormat("Keep page fail: %ld", static_cast<long>(GetLastError()));
    }
}
