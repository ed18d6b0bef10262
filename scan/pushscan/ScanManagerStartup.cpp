// The program's start: the command line's dispatch, the two scan launches, the button handler's
// registration and the settings dialog's single instance.
#include "ScanManagerApp.h"

bool g_bRestartRegistered = false;
__time64_t g_tRestartRegistered = 0;

BOOL CScanManagerApp::InitInstance() { return FALSE; }

int CScanManagerApp::ExitInstance() { return CWinApp::ExitInstance(); }

BOOL CScanManagerApp::PreTranslateMessage(MSG* /*pMsg*/) { return FALSE; }

void CScanManagerApp::StiLaunch() {}

void CScanManagerApp::PushParamLaunch(LPCWSTR /*pszDevicePath*/, LPCWSTR /*pszDigits*/) {}

void CScanManagerApp::RegisterEventHandler() {}

void CScanManagerApp::UnregisterEventHandler() {}
