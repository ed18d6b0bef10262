// The progress window and its thread.
#include "ProgressDlg.h"

#include <cstdio>
#include <string>

#include "DialogResources.h"
#include "ProductConfig.h"
#include "afx/afxres.h"
#include "win/files.h"
#include "win/kernel.h"

const IID IID_IProgressDialog = {0x5C8A3E21, 0x7D4B, 0x4F1E, {0x9A, 0x62, 0x3B, 0x18, 0xC4, 0x07, 0xE5, 0x9D}};

namespace {

std::u16string LoadText(UINT nId) {
    const WCHAR* pText = nullptr;
    const int n = LoadStringW(AfxGetResourceHandle(), nId, reinterpret_cast<LPWSTR>(&pText), 0);
    return n > 0 ? std::u16string(pText, static_cast<size_t>(n)) : std::u16string();
}

std::u16string Decimal(int nValue) {
    char szText[16];
    std::snprintf(szText, sizeof szText, "%d", nValue);
    return std::u16string(szText, szText + std::char_traits<char>::length(szText));
}

}  // namespace

CProgressDlg::CProgressDlg() {
    m_hReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hReady) return;  // the object stays without a window
    m_hThread = CreateThread(nullptr, 0, DialogThreadProc, this, 0, &m_dwThreadId);
    if (m_hThread) {
        // Up when the dialog says it is ready; a dialog that cannot be made ends its thread instead.
        const HANDLE waitFor[2] = {m_hReady, m_hThread};
        for (;;) {
            const DWORD dwWait = MsgWaitForMultipleObjects(2, waitFor, FALSE, INFINITE, QS_ALLINPUT);
            if (dwWait != WAIT_OBJECT_0 + 2) break;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    CloseHandle(m_hReady);
    m_hReady = nullptr;
}

CProgressDlg::~CProgressDlg() {
    if (m_hThread) CloseHandle(m_hThread);
}

HRESULT CProgressDlg::QueryInterface(REFIID iid, void** ppObject) {
    if (!ppObject) return E_POINTER;
    if (iid == IID_IProgressDialog) {
        *ppObject = this;
        AddRef();
        return S_OK;
    }
    *ppObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CProgressDlg::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

ULONG CProgressDlg::Release() {
    const LONG nCount = InterlockedDecrement(&m_cRef);
    if (nCount <= 0) {
        OutputDebugStringW(u"End Progress Dialog");
        if (m_hWnd) EndDialog(m_hWnd, PROGRESS_DIALOG_RELEASED);
        // The dialog's thread handles its last message before the object goes.
        if (m_hThread && GetCurrentThreadId() != m_dwThreadId) WaitForSingleObject(m_hThread, INFINITE);
        delete this;
        return 0;
    }
    return static_cast<ULONG>(nCount);
}

void CProgressDlg::ReleaseAndClear(CProgressDlg** ppDialog) {
    if (!ppDialog) return;
    CProgressDlg* pDialog = *ppDialog;
    *ppDialog = nullptr;
    if (pDialog) pDialog->Release();
}

void CProgressDlg::SetPercent(int nPercent) {
    // The window is repainted only when the figure it shows changes: a page brings many chunks.
    InterlockedExchange(&m_nPercent, nPercent);
    if (nPercent == m_nShownPercent) return;
    m_nShownPercent = nPercent;
    std::u16string text = LoadText(IDS_PERCENT);
    const std::u16string number = Decimal(nPercent);
    for (size_t at = 0; (at = text.find(u'0', at)) != std::u16string::npos; at += number.size())
        text.replace(at, 1, number);
    if (m_hWnd) {
        SetDlgItemTextW(m_hWnd, IDC_PROGRESS_TEXT, text.c_str());
        SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(nPercent), 0);
        ShowWindow(GetDlgItem(m_hWnd, IDCANCEL), nPercent == 100 ? SW_HIDE : SW_SHOW);
    }
}

void CProgressDlg::NewPage() {
    ++m_nPageCount;
    ShowPageCount();
    if (m_hWnd) {
        SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
        ShowWindow(GetDlgItem(m_hWnd, IDCANCEL), SW_SHOW);
    }
    InterlockedExchange(&m_nPercent, 0);
    m_nShownPercent = -1;  // the new page's first figure is shown, whatever it is
}

BOOL CProgressDlg::IsCancelled() const {
    return InterlockedCompareExchange(const_cast<LONG*>(&m_lCancel), 0, 0) != 0;
}

int CProgressDlg::GetPercent() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_nPercent), 0, 0); }

void CProgressDlg::ShowPageCount() {
    const std::u16string count = Decimal(m_nPageCount);
    if (m_hWnd) SetDlgItemTextW(m_hWnd, IDC_PAGE_COUNT, count.c_str());
    OutputDebugStringW(count.c_str());
}

DWORD WINAPI CProgressDlg::DialogThreadProc(LPVOID pParam) {
    auto* pThis = static_cast<CProgressDlg*>(pParam);
    DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDD_PROGRESS_DIALOG), pThis->m_hOwner, DialogProc,
                    reinterpret_cast<LPARAM>(pThis));
    return 0;
}

INT_PTR CALLBACK CProgressDlg::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* pThis = reinterpret_cast<CProgressDlg*>(GetWindowLongPtrW(hDlg, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        pThis = reinterpret_cast<CProgressDlg*>(lParam);
        SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
        pThis->m_hWnd = hDlg;
        WCHAR szTitle[MAX_PATH];
        GetPushUITitle(szTitle);
        SetWindowTextW(hDlg, szTitle);
        SetDlgItemTextW(hDlg, IDCANCEL, LoadText(IDS_CANCEL).c_str());
        pThis->ShowPageCount();
        SendDlgItemMessageW(hDlg, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
        SetEvent(pThis->m_hReady);
        RECT rcDesktop = {}, rcDialog = {};
        GetWindowRect(GetDesktopWindow(), &rcDesktop);
        GetWindowRect(hDlg, &rcDialog);
        const int nWidth = rcDialog.right - rcDialog.left, nHeight = rcDialog.bottom - rcDialog.top;
        SetWindowPos(hDlg, nullptr, (rcDesktop.left + rcDesktop.right) / 2 - nWidth / 2,
                     (rcDesktop.top + rcDesktop.bottom) / 2 - nHeight / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SetForegroundWindow(hDlg);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && pThis) {
            InterlockedIncrement(&pThis->m_lCancel);
            SetDlgItemTextW(hDlg, IDCANCEL, LoadText(IDS_CANCELLING).c_str());
            OutputDebugStringW(u"Progress dialog: cancelled");
            return TRUE;
        }
        return FALSE;
    case WM_SYSCOMMAND:
        // A page at 100 percent is being saved: the window stays.
        if ((wParam & 0xFFF0) == SC_CLOSE && pThis && pThis->GetPercent() == 100) return TRUE;
        return FALSE;
    default: return FALSE;
    }
}
