// The general receiver of the scan thread's messages.
#include "TransferCallbackEx.h"

#include <cstdio>

#include "DialogResources.h"
#include "ErrorDlg.h"
#include "win/kernel.h"

namespace {

// The driver's "no more pages" status: the job simply ends, nothing is shown.
constexpr int kDriverNoMorePages = 2;
// Replies below this are failures; 200 and above (end of page, cancel) are none.
constexpr int kFirstNonError = 200;

struct ErrorText {
    int nCode;
    UINT nStringId;
};
// Codes 3, 6, 7, 8 and 12 are statuses of the scanner driver.
const ErrorText kErrorTexts[] = {
    {3, IDS_SCANNER_STATUS_3},
    {6, IDS_SCANNER_STATUS_6},
    {7, IDS_SCANNER_STATUS_7},
    {8, IDS_SCANNER_STATUS_8},
    {12, IDS_SCAN_FAILED},
    {SCAN_ERROR_CANNOT_CREATE, IDS_CANNOT_WRITE},
    {SCAN_ERROR_DISK_FULL, IDS_PDF_FAILED},
    {SCAN_ERROR_NO_FOLDER, IDS_BAD_FOLDER},
};

UINT ErrorStringOf(int nCode) {
    for (const ErrorText& entry : kErrorTexts)
        if (entry.nCode == nCode) return entry.nStringId;
    return IDS_SCAN_FAILED;
}

}  // namespace

CTransferCallbackEx::~CTransferCallbackEx() {
    ReleaseProgressDialog();
    if (m_pStream) m_pStream->Release();
    m_pStream = nullptr;
    if (m_hStreamMemory) GlobalFree(m_hStreamMemory);
    m_hStreamMemory = nullptr;
}

int CTransferCallbackEx::NewStream(int /*nReserved*/, IStream** ppStream) {
    if (!ppStream) return SCAN_ERROR_NO_JOB;
    *ppStream = nullptr;
    // The last page's stream goes: the page was saved at its end of stream. Its memory serves the
    // next page's stream, which the scan thread sizes for its page, so that a page of the feeder
    // is written into memory already there instead of fresh memory every page.
    if (m_pStream) m_pStream->Release();
    m_pStream = nullptr;
    HGLOBAL hReused = m_hStreamMemory;
    m_hStreamMemory = nullptr;

    // The memory outlives the stream's last reference; it is freed with the last page, at the end.
    IStream* pStream = nullptr;
    HGLOBAL hMemory = nullptr;
    if (FAILED(CreateStreamOnHGlobal(hReused, FALSE, &pStream)) || !pStream) {
        if (hReused) GlobalFree(hReused);
        return SCAN_ERROR_NO_MEMORY;
    }
    if (FAILED(GetHGlobalFromStream(pStream, &hMemory)) || !hMemory) {
        pStream->Release();
        if (hReused) GlobalFree(hReused);
        return SCAN_ERROR_NO_MEMORY;
    }
    m_pStream = pStream;
    m_hStreamMemory = hMemory;
    pStream->AddRef();  // the scan thread's
    *ppStream = pStream;
    MakeProgressDialog();
    return 0;
}

int CTransferCallbackEx::TransferCallback(int /*nReserved*/, TransferMessage* pMessage) {
    if (!pMessage) return -1;
    switch (pMessage->nType) {
    case TRANSFER_MSG_PROGRESS:
        if (pMessage->nError != 0 && pMessage->nError != 1 && pMessage->nError < kFirstNonError) {
            ReleaseProgressDialog();
            ShowScanError(this, pMessage->nError);
        } else if (m_pProgressDlg) {
            m_pProgressDlg->SetPercent(pMessage->nPercent);
        }
        break;
    case TRANSFER_MSG_END_OF_STREAM: ReleaseProgressDialog(); break;
    case TRANSFER_MSG_END_OF_TRANSFER:
        OutputDebugStringA("CTransferCallbackEx::TransferCallback TRANSFER_MSG_END_OF_TRANSFER");
        ReleaseProgressDialog();
        break;
    case TRANSFER_MSG_NEW_PAGE:
        MakeProgressDialog();
        if (m_pProgressDlg) m_pProgressDlg->NewPage();
        break;
    default: break;
    }
    return IsCancelled() ? SCAN_CANCELLED : pMessage->nError;
}

BOOL CTransferCallbackEx::HasProgressDialog() { return m_pProgressDlg != nullptr; }

BOOL CTransferCallbackEx::IsCancelled() { return m_pProgressDlg && m_pProgressDlg->IsCancelled(); }

void CTransferCallbackEx::ReleaseProgressDialog() { CProgressDlg::ReleaseAndClear(&m_pProgressDlg); }

void CTransferCallbackEx::MakeProgressDialog() {
    if (m_pProgressDlg) return;
    m_pProgressDlg = new CProgressDlg;
    m_pProgressDlg->AddRef();
}

void ShowScanError(CTransferCallbackEx* pReceiver, int nCode) {
    char szText[32];
    std::snprintf(szText, sizeof szText, "ErrorCode:%d", nCode);
    OutputDebugStringA(szText);
    if (pReceiver) pReceiver->ReleaseProgressDialog();
    if (nCode == kDriverNoMorePages) return;
    ShowErrorDialog(ErrorStringOf(nCode));
}
