#include "CaspenApp.h"

#include <memory>

#include "MyWizard.h"
#include "startup.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

BOOL CCaspenApp::InitInstance() {
    m_instanceMutex = CreateMutexW(nullptr, FALSE, kCaspenInstanceMutex);
    if (GetLastError() == ERROR_ALREADY_EXISTS) return FALSE;

    INITCOMMONCONTROLSEX controls{8, 0xFF};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey(u"Torvane Wifi Configuration");

    const std::u16string iniPath = WifiIniPath();
    ReadIniTable(GetIniTable(), iniPath.c_str());
    OutputDebugStringW(GetCommandLineW());

    auto wizard = std::make_unique<CMyWizard>();
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) {
        OutputDebugStringW(u"CommandLineToArgvW error");
        return FALSE;
    }
    if (count > 1) wizard->m_title = args[1];
    const WCHAR* languageName = count > 2 ? args[2] : nullptr;
    m_languageDll = LoadLanguageResourceDll(languageName);
    LocalFree(args);

    m_pMainWnd = wizard.get();
    wizard->DoModal();
    m_pMainWnd = nullptr;
    if (m_languageDll) {
        AfxSetResourceHandle(m_hInstance);
        FreeLibrary(m_languageDll);
        m_languageDll = nullptr;
    }
    return FALSE;
}

BOOL CCaspenApp::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) return TRUE;
    return CWinApp::PreTranslateMessage(msg);
}

int CCaspenApp::ExitInstance() {
    if (m_instanceMutex) {
        CloseHandle(m_instanceMutex);
        m_instanceMutex = nullptr;
    }
    return CWinApp::ExitInstance();
}
