// The application object, AfxWinMain and the framework's message boxes.
#include <atomic>

#include "state.h"

namespace {
std::atomic<CWinApp*> application{nullptr};

CString programFileName() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    CString name(path, static_cast<int>(length < MAX_PATH ? length : 0));
    const int slash = name.ReverseFind(u'\\');
    if (slash >= 0) name = name.Mid(slash + 1);
    return name;
}
}  // namespace

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

CWinApp::CWinApp(LPCWSTR appName) {
    if (appName) {
        appName_ = appName;
        m_pszAppName = appName_.GetString();
    }
    application = this;
}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    application.compare_exchange_strong(self, nullptr);
}

BOOL CWinApp::InitInstance() { return TRUE; }

BOOL CWinApp::PreTranslateMessage(MSG* msg) { return platform::afx::walkPreTranslateTree(msg); }

int CWinApp::Run() {
    platform::afx::setMainLoopRunning(true);
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            m_exitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (got == -1) break;
        if (!AfxPreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    platform::afx::setMainLoopRunning(false);
    return ExitInstance();
}

int CWinApp::ExitInstance() { return m_exitCode; }

HICON CWinApp::LoadIcon(UINT id) const {
    if (HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id))) return icon;
    return LoadIconW(m_hInstance, MAKEINTRESOURCEW(id));
}

void CWinApp::SetRegistryKey(LPCWSTR key) {
    registryKey_ = key ? key : u"";
    m_pszRegistryKey = registryKey_.GetString();
}

CWinApp* AFXAPI AfxGetApp() { return application.load(); }

CWnd* AFXAPI AfxGetMainWnd() {
    CWinApp* app = AfxGetApp();
    return app ? app->m_pMainWnd : nullptr;
}

int AFXAPI AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    // Every modal loop of the main thread (message boxes too) offers its messages to PreTranslateMessage.
    platform::afx::ModalFilter filter;
    app->m_hInstance = instance;
    platform::afx::setInstanceHandle(instance);
    app->m_lpCmdLine = commandLine;
    app->m_nCmdShow = show;
    app->exeName_ = programFileName();
    if (app->exeName_.GetLength() > 4 && app->exeName_.Right(4).CompareNoCase(u".exe") == 0)
        app->exeName_ = app->exeName_.Left(app->exeName_.GetLength() - 4);
    app->m_pszExeName = app->exeName_.GetString();
    if (!app->m_pszAppName) {
        app->appName_ = app->exeName_;
        app->m_pszAppName = app->appName_.GetString();
    }
    // The main thread's messages, in Run and in every modal loop, pass the application's filter.
    struct MainThread {
        MainThread() { platform::afx::setMainThread(GetCurrentThreadId()); }
        ~MainThread() { platform::afx::setMainThread(0); }
    } mainThread;
    if (!app->InitInstance()) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd) app->m_pMainWnd->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}

int AFXAPI AfxMessageBox(LPCWSTR text, UINT type, UINT) {
    CWinApp* app = AfxGetApp();
    CWnd* main = AfxGetMainWnd();
    HWND owner = main && IsWindow(main->m_hWnd) ? main->m_hWnd : nullptr;
    LPCWSTR caption = app && app->m_pszAppName ? app->m_pszAppName : u"";
    return MessageBoxW(owner, text ? text : u"", caption, type);
}

int AFXAPI AfxMessageBox(UINT textId, UINT type, UINT) {
    CString text;
    text.LoadString(textId);
    return AfxMessageBox(text.GetString(), type);
}
