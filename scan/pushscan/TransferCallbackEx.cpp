// The general receiver of the scan thread's messages.
#include "TransferCallbackEx.h"

CTransferCallbackEx::~CTransferCallbackEx() = default;

int CTransferCallbackEx::NewStream(int /*nReserved*/, IStream** /*ppStream*/) { return SCAN_ERROR_NO_MEMORY; }

int CTransferCallbackEx::TransferCallback(int /*nReserved*/, TransferMessage* pMessage) {
    return pMessage ? pMessage->nError : -1;
}

BOOL CTransferCallbackEx::HasProgressDialog() { return m_pProgressDlg != nullptr; }

BOOL CTransferCallbackEx::IsCancelled() { return m_pProgressDlg && m_pProgressDlg->IsCancelled(); }

void CTransferCallbackEx::ReleaseProgressDialog() { CProgressDlg::ReleaseAndClear(&m_pProgressDlg); }

void ShowScanError(CTransferCallbackEx* pReceiver, int /*nCode*/) {
    if (pReceiver) pReceiver->ReleaseProgressDialog();
}
