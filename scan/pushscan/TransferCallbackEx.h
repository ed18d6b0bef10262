// The general receiver of a scan job's messages: one memory stream per page, the progress dialog,
// and the errors shown to the user.
#pragma once

#include "ProgressDlg.h"
#include "ScanUtility.h"
#include "win/com.h"
#include "win/memory.h"

class CTransferCallbackEx : public CTransferCallback {
public:
    CTransferCallbackEx() = default;
    // Releases the progress dialog and the page stream, and frees the stream's memory.
    ~CTransferCallbackEx() override;
    CTransferCallbackEx(const CTransferCallbackEx&) = delete;
    CTransferCallbackEx& operator=(const CTransferCallbackEx&) = delete;

    // A fresh memory stream for the next page (the previous one released and its memory freed);
    // makes the progress dialog when there is none. 0, or SCAN_ERROR_NO_MEMORY.
    int NewStream(int nReserved, IStream** ppStream) override;
    // Progress and errors, the progress dialog's life, new pages. The reply: SCAN_CANCELLED once the
    // user cancelled in the progress dialog, else the message's error field; -1 for no message.
    int TransferCallback(int nReserved, TransferMessage* pMessage) override;
    BOOL HasProgressDialog() override;
    BOOL IsCancelled() override;
    // Ends the progress dialog, if any (the reference held here is given back).
    void ReleaseProgressDialog();

protected:
    // Makes the progress dialog, holding one reference, unless there is one.
    void MakeProgressDialog();

    IStream* m_pStream = nullptr;  // the current page's stream
    HGLOBAL m_hStreamMemory = nullptr;
    CProgressDlg* m_pProgressDlg = nullptr;  // one reference held here; NULL when none
};

// Shows the error of a code to the user (nothing for the driver's status 2) after releasing the
// receiver's progress dialog.
void ShowScanError(CTransferCallbackEx* pReceiver, int nCode);
