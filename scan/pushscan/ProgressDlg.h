// The scan-button program's progress window: a reference-counted object whose dialog runs on a thread
// of its own, so that it stays responsive while the scan thread works and the program's thread waits.
// The scan thread writes into its controls (window messages, delivered on the dialog's thread) and
// reads its cancel flag, the one value the dialog's thread writes.
#pragma once

#include "win/com.h"
#include "win/user.h"

// The one interface identity the object answers in QueryInterface.
extern const IID IID_IProgressDialog;

// What Release ends the dialog box with.
#define PROGRESS_DIALOG_RELEASED 8

class CProgressDlg final : public IUnknown {
public:
    // Shows the dialog (template 8002 of the language library) on its own thread and returns once it
    // is up, or once that thread has ended without it (then the object has no window). Starts with
    // no reference: the creator adds the first.
    CProgressDlg();
    CProgressDlg(const CProgressDlg&) = delete;
    CProgressDlg& operator=(const CProgressDlg&) = delete;

    HRESULT QueryInterface(REFIID iid, void** ppObject) override;
    ULONG AddRef() override;
    // At 0 or below: ends the dialog (PROGRESS_DIALOG_RELEASED), waits for its thread to end and
    // deletes the object.
    ULONG Release() override;
    // Releases the reference in *ppDialog and clears the pointer first, so that no one releases it twice.
    static void ReleaseAndClear(CProgressDlg** ppDialog);

    // Progress of the page: string 8012 with every "0" replaced by the percent, the bar, the Cancel
    // button hidden at 100 percent and shown otherwise.
    void SetPercent(int nPercent);
    // A new page: the page count up by one and shown, the bar at 0, Cancel shown.
    void NewPage();
    // The user cancelled (at least once).
    BOOL IsCancelled() const;

    HWND GetSafeHwnd() const { return m_hWnd; }
    int GetPageCount() const { return m_nPageCount; }
    int GetPercent() const;

private:
    ~CProgressDlg();
    static DWORD WINAPI DialogThreadProc(LPVOID pParam);
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowPageCount();

    LONG m_cRef = 0;
    HWND m_hWnd = nullptr;
    HWND m_hOwner = nullptr;
    LONG m_lCancel = 0;
    HANDLE m_hReady = nullptr;
    int m_nPageCount = 0;
    LONG m_nPercent = 0;  // written by the scan thread, read by the dialog's
    int m_nShownPercent = -1;  // the figure the window shows (scan thread only)
    HANDLE m_hThread = nullptr;  // the dialog's thread, joined before the object goes
    DWORD m_dwThreadId = 0;
};
