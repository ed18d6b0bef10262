// The scan application's start: the product to scan with, the busy device, one instance at a time,
// then the main dialog.
#include "TesmarApp.h"

#include <cstdio>

#include "ProductConfig.h"
#include "TesmarDlg.h"
#include "afx/afxres.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/resources.h"
#include "win/user.h"

// Opening the busy sign asks for nothing but its existence.
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000u
#endif

namespace {

// The refusal box's button text, for the hook that sets it once the box is shown.
CString g_strBusyButton;
HHOOK g_hBusyHook = nullptr;

// WH_CBT: when the refusal box activates, its button and title take their texts and the hook goes.
LRESULT CALLBACK BusyBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDOK, g_strBusyButton);
        SetWindowTextW(box, TESMAR_BUSY_TITLE);
        UnhookWindowsHookEx(g_hBusyHook);
        g_hBusyHook = nullptr;
        return 0;
    }
    return CallNextHookEx(g_hBusyHook, code, wParam, lParam);
}

}  // namespace

CString FirstCommandLineArgument(LPCWSTR commandLine) {
    if (!commandLine) return CString();
    const CString line(commandLine);
    int i = 0;
    const int length = line.GetLength();
    auto skipBlanks = [&] {
        while (i < length && (line[i] == u' ' || line[i] == u'\t')) ++i;
    };
    // The program's name: quoted, or up to the first blank.
    skipBlanks();
    if (i < length && line[i] == u'"') {
        const int close = line.Find(u'"', i + 1);
        i = close < 0 ? length : close + 1;
    } else {
        while (i < length && line[i] != u' ' && line[i] != u'\t') ++i;
    }
    skipBlanks();
    CString argument;
    bool quoted = false;
    for (; i < length; ++i) {
        const WCHAR c = line[i];
        if (c == u'"') quoted = !quoted;
        else if (!quoted && (c == u' ' || c == u'\t')) break;
        else argument.AppendChar(c);
    }
    return argument;
}

HMODULE LoadLanguageLibrary() {
    WCHAR code[MAX_PATH] = {};
    GetLanguageIndex(code);
    WCHAR path[MAX_PATH] = {};
    if (!GetResourceDllPath(path)) return nullptr;
    return LoadLibraryW(path);
}

void LookUpProductName(char* productName) {
    std::snprintf(productName, MAX_PATH, "%s", TESMAR_DEFAULT_PRODUCT);
    // The key: the first argument, else the application's command line, else (after a pause) the whole
    // command line of the process.
    CString key = FirstCommandLineArgument(GetCommandLineW());
    if (key.IsEmpty()) {
        if (CWinApp* app = AfxGetApp(); app && app->m_lpCmdLine) key = app->m_lpCmdLine;
    }
    Sleep(300);
    if (key.IsEmpty()) key = GetCommandLineW();
    WCHAR value[MAX_PATH] = {};
    GetProductIniString(u"Data Source", key, value);
    if (!value[0]) {
        // Otherwise every start with a key the section lacks would find no source.
        OutputDebugStringW(u"CTesmarApp::InitInstance: no such key in [Data Source], the default product");
        return;
    }
    char product[MAX_PATH] = {};
    if (WideCharToMultiByte(CP_ACP, 0, value, -1, product, MAX_PATH, nullptr, nullptr) > 0)
        std::snprintf(productName, MAX_PATH, "%s", product);
}

CTesmarApp::CTesmarApp() = default;

BOOL CTesmarApp::InitInstance() {
    // Controls and the framework.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    g_nProductIniTail = SCANAPP_INI_TAIL;

    // The product the command line names.
    LookUpProductName(m_szProductName);

    // The device is busy while its sign exists.
    WCHAR prefix[MAX_PATH] = {};
    GetProductIniString(u"TWAIN", u"File Prefix", prefix);
    CString name;
    name.Format(u"Global\\%s_sign", prefix);
    if (HANDLE sign = OpenMutexW(READ_CONTROL, FALSE, name)) {
        CloseHandle(sign);
        ShowBusyMessage();
        return FALSE;
    }

    // One instance: a second one brings the first one's source forward.
    name.Format(u"Local\\%s_SCANAPPFLAG", prefix);
    m_hScanAppMutex = CreateMutexW(nullptr, TRUE, name);
    if (m_hScanAppMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningInstance(prefix);
        return FALSE;
    }

    // The main dialog.
    CTesmarDlg* dlg = new CTesmarDlg(m_szProductName);
    m_pMainWnd = dlg;
    dlg->DoModal();
    m_pMainWnd = nullptr;
    delete dlg;
    return FALSE;
}

int CTesmarApp::ExitInstance() {
    if (m_hScanAppMutex && m_hScanAppMutex != INVALID_HANDLE_VALUE) CloseHandle(m_hScanAppMutex);
    m_hScanAppMutex = nullptr;
    return CWinApp::ExitInstance();
}

void CTesmarApp::ShowBusyMessage() {
    HMODULE language = LoadLanguageLibrary();
    const HINSTANCE resources = AfxGetResourceHandle();
    if (language) AfxSetResourceHandle(language);
    CString text;
    text.LoadString(IDS_DEVICE_BUSY);
    g_strBusyButton.LoadString(IDS_BUSY_BUTTON);
    g_hBusyHook = SetWindowsHookExW(WH_CBT, BusyBoxHook, nullptr, GetCurrentThreadId());
    AfxMessageBox(text, MB_OK);
    if (g_hBusyHook) UnhookWindowsHookEx(g_hBusyHook);
    g_hBusyHook = nullptr;
    AfxSetResourceHandle(resources);
    if (language) FreeLibrary(language);
}

void CTesmarApp::ActivateRunningInstance(LPCWSTR prefix) {
    const CString uiClass = CString(prefix) + u"UIFLAG";
    HWND ui = FindWindowW(uiClass, nullptr);
    if (!ui) return;
    if (IsIconic(ui)) ShowWindow(ui, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(ui));
}
