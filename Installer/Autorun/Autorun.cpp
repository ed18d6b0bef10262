// The installation launcher's start: one launcher at a time, then the splash.
#include "Autorun.h"

#include "AutorunDlg.h"
#include "win/user.h"

BOOL CALLBACK FindLauncherWindow(HWND hwnd, LPARAM lParam) {
    if (reinterpret_cast<ULONG_PTR>(GetPropW(hwnd, kLauncherProperty)) != kLauncherMark) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hwnd;
    return FALSE;
}

CAutorunApp::CAutorunApp() = default;

BOOL CAutorunApp::InitInstance() {
    HWND running = nullptr;
    EnumWindows(FindLauncherWindow, reinterpret_cast<LPARAM>(&running));
    if (running) {
        ShowWindow(running, SW_SHOWNORMAL);
        SetForegroundWindow(running);
        return FALSE;
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    AfxEnableControlContainer();

    CAutorunDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;  // the dialog object goes with this scope
    return FALSE;
}
