// The program's start: the command line's dispatch, the two scan launches, the button handler's
// registration and the settings dialog's single instance.
#include <cstdio>

#include "DialogResources.h"
#include "ProductConfig.h"
#include "ScanManagerApp.h"
#include "ScanManagerDlg.h"
#include "Scanner.h"
#include "afx/afxres.h"
#include "win/com.h"
#include "win/crt.h"
#include "win/files.h"
#include "win/gdiplus.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/shell.h"
#include "win/sti.h"
#include "win/user.h"

bool g_bRestartRegistered = false;
__time64_t g_tRestartRegistered = 0;

namespace {

// What InitInstance started, so that ExitInstance undoes exactly that: the COM initialisations still
// open on the main thread, and whether GDI+ runs.
int g_nComStarts = 0;
bool g_bGdiplusStarted = false;

typedef HRESULT(WINAPI* RegisterApplicationRestartProc)(LPCWSTR pszCommandLine, DWORD dwFlags);
typedef HRESULT(WINAPI* StiCreateInstanceProc)(HINSTANCE hInstance, DWORD dwVersion, IStillImageW** ppSti,
                                               IUnknown* pUnkOuter);
typedef HRESULT(WINAPI* RegisterServerProc)();

template <typename Function>
Function ExportOf(HMODULE hModule, const char* pszName) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
}

// The command line the restarted program gets; it has no handler of its own (the settings dialog).
const WCHAR kRestartCommandLine[] = u"/RESTART";
// The longest hold of a WM_QUERYENDSESSION that comes early, and the step of the hold.
const int kRestartHoldStepMs = 1000;

// Exact, case-sensitive comparison of two texts.
bool CompareExact(LPCWSTR pszFirst, LPCWSTR pszSecond) {
    while (*pszFirst && *pszFirst == *pszSecond) ++pszFirst, ++pszSecond;
    return *pszFirst == *pszSecond;
}

void DebugText(const char* pszFormat, int nValue) {
    char szText[128];
    std::snprintf(szText, sizeof szText, pszFormat, nValue);
    OutputDebugStringA(szText);
}

void StartCom() {
    if (SUCCEEDED(CoInitialize(nullptr))) ++g_nComStarts;
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) ++g_nComStarts;
}

void StopComOnce() {
    if (g_nComStarts > 0) {
        CoUninitialize();
        --g_nComStarts;
    }
}

// On Windows 6.0 from build 6000 on, asks to be started again with "/RESTART" after a restart.
void RegisterForRestart() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return;
    if (info.dwMajorVersion < 6 || info.dwMinorVersion != 0 || info.dwBuildNumber < 6000) return;
    HMODULE hKernel = LoadLibraryW(u"KERNEL32.DLL");
    if (!hKernel) return;
    auto pfnRegister =
        ExportOf<RegisterApplicationRestartProc>(hKernel, "RegisterApplicationRestart");
    if (pfnRegister && SUCCEEDED(pfnRegister(kRestartCommandLine, 0))) {
        g_tRestartRegistered = _time64(nullptr);
        g_bRestartRegistered = true;
    }
    FreeLibrary(hKernel);
}

// Loads the registration library beside the program and calls one of its exports (its result is not
// looked at). A missing library or export is silent.
void CallRegistrationExport(const char* pszExport) {
    WCHAR szPath[MAX_PATH] = {};
    if (!GetProductFilePath(szPath, u"Sivmar.dll", 256)) return;
    HMODULE hLibrary = LoadLibraryW(szPath);
    if (!hLibrary) return;
    if (auto pfn = ExportOf<RegisterServerProc>(hLibrary, pszExport)) pfn();
    FreeLibrary(hLibrary);
}

// Binds the scanner driver beside the program (its result is looked at when the job opens it).
void BindScannerDriver(CScanner* pScanner) {
    WCHAR szDriver[MAX_PATH] = {};
    GetDriverDllPath(szDriver);
    LoadScannerDriver(szDriver, pScanner);
}

// Brings the settings dialog of the instance that shows it (or its last active popup) forward.
void ActivateOtherInstance(HMODULE hLanguageDll) {
    WCHAR szTitle[256] = {};
    if (LoadStringW(hLanguageDll, IDS_WINDOW_TITLE, szTitle, 256) <= 0) return;
    HWND hOther = FindWindowW(nullptr, szTitle);
    if (!hOther) return;
    HWND hPopup = GetLastActivePopup(hOther);
    if (IsIconic(hOther)) ShowWindow(hOther, SW_RESTORE);
    SetForegroundWindow(hPopup ? hPopup : hOther);
}

}  // namespace

BOOL CScanManagerApp::InitInstance() {
    // The command line, as given.
    OutputDebugStringW(GetCommandLineW());

    // The language library: every dialog and string comes from it. Without it nothing starts.
    WCHAR szResourceDll[MAX_PATH] = {};
    GetResourceDllPath(szResourceDll);
    m_hLanguageDll = LoadLibraryW(szResourceDll);
    if (!m_hLanguageDll) {
        DebugText("m_hResourceHandle =0 ;GetLastError:%d", static_cast<int>(GetLastError()));
        return FALSE;
    }
    AfxSetResourceHandle(m_hLanguageDll);

    // COM and the common controls.
    StartCom();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    // The restart registration.
    RegisterForRestart();

    // The framework, GDI+ and the control container.
    CWinApp::InitInstance();
    GdiplusStartupInput input;
    g_bGdiplusStarted = GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Ok;
    AfxEnableControlContainer();

    // The arguments.
    int nArgs = 0;
    LPWSTR* pArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (!pArgs) {
        OutputDebugStringW(u"CommandLineToArgvW error");
        return FALSE;
    }

    // One thing to do, chosen by the first argument (upper-cased).
    if (nArgs >= 2) {
        _wcsupr_s(pArgs[1], static_cast<size_t>(lstrlenW(pArgs[1])) + 1);
        WCHAR szCommand[MAX_PATH] = {};
        lstrcpynW(szCommand, pArgs[1], MAX_PATH);
        bool bDone = true;
        if (CompareExact(szCommand, u"-INS")) {
            RegisterEventHandler();
        } else if (CompareExact(szCommand, u"-UNI")) {
            UnregisterEventHandler();
        } else if (StrCmpNIW(szCommand, u"/STIDEVICE", 10) == 0) {
            StiLaunch();
        } else if (CompareExact(szCommand, u"-PUSH_PARAM") && nArgs == 4) {
            PushParamLaunch(pArgs[2], pArgs[3]);
        } else {
            bDone = false;
        }
        if (bDone) {
            LocalFree(pArgs);
            StopComOnce();
            return FALSE;
        }
    }

    LocalFree(pArgs);

    // The first instance shows the settings dialog.
    m_hMutex = CreateMutexW(nullptr, TRUE, SCANMANAGER_MUTEX_NAME);
    if (!m_hMutex || GetLastError() != ERROR_ALREADY_EXISTS) {
        CScanManagerDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }

    // Another instance shows it: bring that one forward.
    ActivateOtherInstance(m_hLanguageDll);
    return FALSE;
}

int CScanManagerApp::ExitInstance() {
    if (g_bGdiplusStarted) {
        GdiplusShutdown(m_gdiplusToken);
        g_bGdiplusStarted = false;
    }
    while (g_nComStarts > 0) StopComOnce();
    if (m_hMutex && m_hMutex != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    if (m_hLanguageDll) {
        AfxSetResourceHandle(AfxGetInstanceHandle());
        FreeLibrary(m_hLanguageDll);
        m_hLanguageDll = nullptr;
    }
    return CWinApp::ExitInstance();
}

BOOL CScanManagerApp::PreTranslateMessage(MSG* pMsg) {
    if (g_bRestartRegistered && pMsg) {
        if (pMsg->message == WM_ENDSESSION) return FALSE;
        if (pMsg->message == WM_QUERYENDSESSION) {
            // A session that ends within a minute of the registration would not restart the program:
            // hold the message until the minute is over, never longer than a minute in all (the clock
            // may have been set back meanwhile).
            for (int nWaited = 0; nWaited < RESTART_QUERY_GRACE_SECONDS * 1000; nWaited += kRestartHoldStepMs) {
                const __time64_t tNow = _time64(nullptr);
                if (tNow >= g_tRestartRegistered && tNow - g_tRestartRegistered >= RESTART_QUERY_GRACE_SECONDS) break;
                Sleep(kRestartHoldStepMs);
            }
            return TRUE;
        }
    }
    return CWinApp::PreTranslateMessage(pMsg);
}

void CScanManagerApp::StiLaunch() {
    HMODULE hSti = LoadLibraryW(u"sti.dll");
    if (!hSti) return;
    auto pfnCreate = ExportOf<StiCreateInstanceProc>(hSti, "StiCreateInstance");
    IStillImageW* pSti = nullptr;
    if (!pfnCreate || FAILED(pfnCreate(m_hInstance, STI_VERSION, &pSti, nullptr)) || !pSti) {
        FreeLibrary(hSti);
        return;
    }
    WCHAR szDeviceName[STI_MAX_INTERNAL_NAME_LENGTH] = {};
    WCHAR szEventName[STI_MAX_INTERNAL_NAME_LENGTH] = {};
    DWORD dwEventCode = 0;
    if (FAILED(pSti->GetSTILaunchInformation(szDeviceName, &dwEventCode, szEventName))) {
        pSti->Release();
        FreeLibrary(hSti);
        return;
    }
    OutputDebugStringW(u"DeviceName:");
    OutputDebugStringW(szDeviceName);

    // The push command the button sent.
    BYTE command[64] = {};
    DWORD dwType = REG_BINARY;
    DWORD dwSize = sizeof command;
    const HRESULT hr = pSti->GetDeviceValue(szDeviceName, const_cast<LPWSTR>(u"EventData"), &dwType, command, &dwSize);
    const DWORD dwExpected = g_bIsPlatformC ? PUSH_COMMAND_LENGTH_PLATFORM_C : PUSH_COMMAND_LENGTH;
    if (FAILED(hr) || dwSize != dwExpected) {
        OutputDebugStringW(u"CMD line error");
        pSti->Release();
        FreeLibrary(hSti);
        return;
    }
    char szBytes[64 * 3 + 1] = {};
    for (DWORD i = 0; i < dwSize; ++i) std::snprintf(szBytes + i * 3, 4, "%02x ", command[i]);
    OutputDebugStringA(szBytes);

    // The device the scanner driver opens.
    WCHAR szDevicePath[MAX_PATH] = {};
    dwType = REG_BINARY;
    dwSize = sizeof szDevicePath;
    pSti->GetDeviceValue(szDeviceName, const_cast<LPWSTR>(u"DevicePath"), &dwType, reinterpret_cast<BYTE*>(szDevicePath),
                         &dwSize);
    szDevicePath[MAX_PATH - 1] = 0;

    BindScannerDriver(&m_scanUtility.m_scanner);
    pSti->Release();

    if (DecodePushCommand(szDevicePath, this, command, dwExpected)) {
        m_scanUtility.WaitForThread();
        OutputDebugStringW(u"Exit application");
    }
    FreeLibrary(hSti);
}

void CScanManagerApp::PushParamLaunch(LPCWSTR pszDevicePath, LPCWSTR pszDigits) {
    // 0x56, then one byte a digit; bytes without a digit are 0xFF, which the decoder refuses as a
    // resolution or colour and takes the default of for the others.
    const size_t nLength = g_bIsPlatformC ? PUSH_COMMAND_LENGTH_PLATFORM_C : PUSH_COMMAND_LENGTH;
    BYTE* pCommand = new BYTE[nLength];
    pCommand[0] = PUSH_COMMAND_HEAD;
    const size_t nDigits = pszDigits ? static_cast<size_t>(lstrlenW(pszDigits)) : 0;
    for (size_t i = 1; i < nLength; ++i)
        pCommand[i] = i - 1 < nDigits ? static_cast<BYTE>(static_cast<BYTE>(pszDigits[i - 1] & 0xFF) - '0') : 0xFF;
    char szBytes[PUSH_COMMAND_LENGTH_PLATFORM_C * 3 + 1] = {};
    size_t nUsed = 0;
    for (size_t i = 0; i < nLength; ++i)
        nUsed += static_cast<size_t>(std::snprintf(szBytes + nUsed, sizeof szBytes - nUsed, "%x ", pCommand[i]));
    OutputDebugStringA(szBytes);

    BindScannerDriver(&m_scanUtility.m_scanner);

    WCHAR szDevicePath[MAX_PATH] = {};
    if (pszDevicePath) lstrcpynW(szDevicePath, pszDevicePath, MAX_PATH);
    if (DecodePushCommand(szDevicePath, this, pCommand, nLength)) {
        m_scanUtility.WaitForThread();
        OutputDebugStringW(u"Exit application");
    }
    delete[] pCommand;
}

void CScanManagerApp::RegisterEventHandler() { CallRegistrationExport("DllRegisterServer"); }

void CScanManagerApp::UnregisterEventHandler() { CallRegistrationExport("DllUnregisterServer"); }
