// The launcher's splash dialog and its launch sequence.
#include "AutorunDlg.h"

#include "Autorun.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/user.h"

namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT kShowMilliseconds = 500;     // the timer that starts the sequence if no paint did
constexpr DWORD kFadeInMilliseconds = 800;
constexpr DWORD kFadeOutMilliseconds = 1500;
constexpr DWORD kPauseMilliseconds = 500;  // the splash stays this long before it fades out

using GetNativeSystemInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);

}  // namespace

CAutorunDlg::CAutorunDlg(CWnd* parent) : CDialog(IDD, parent) {
    if (CWinApp* app = AfxGetApp()) m_hIcon = app->LoadIcon(IDR_MAINFRAME);
    m_bmpSplash.LoadBitmap(IDB_SPLASH);
}

BEGIN_MESSAGE_MAP(CAutorunDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_ERASEBKGND()
    ON_WM_HELPINFO()
    ON_WM_DESTROY()
    ON_WM_CLOSE()
    ON_WM_CREATE()
    ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CAutorunDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_hModule = GetModuleHandleW(nullptr);
    SetIcon(m_hIcon, TRUE);
    return TRUE;
}

BOOL CAutorunDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE || msg->wParam == VK_SPACE))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CAutorunDlg::OnSysCommand(UINT id, LPARAM lParam) { CDialog::OnSysCommand(id, lParam); }

void CAutorunDlg::OnPaint() { LaunchSequence(); }

BOOL CAutorunDlg::IsNativeX64() {
    FARPROC found = GetProcAddress(GetModuleHandleW(u"kernel32.dll"), "GetNativeSystemInfo");
    if (!found) return FALSE;
    auto getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFunction>(reinterpret_cast<void (*)()>(found));
    SYSTEM_INFO info{};
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

void CAutorunDlg::LaunchSequence() {
    PaintIconWhenMinimised(m_hIcon);
    if (m_bLaunched) return;
    m_bLaunched = true;

    Sleep(kPauseMilliseconds);
    const BOOL x64 = IsNativeX64();
    AnimateWindow(kFadeOutMilliseconds, AW_BLEND | AW_HIDE);
    DestroyWindow();
    // The splash is gone (its timer with it): nothing more is done to the window.
    WinExec(x64 ? "Setup64.exe" : "Setup.exe", SW_SHOWNORMAL);  // a missing installer ends the launcher silently
}

HCURSOR CAutorunDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }

BOOL CAutorunDlg::OnEraseBkgnd(CDC* dc) {
    CRect client;
    GetClientRect(&client);
    dc->StretchBitmap(m_bmpSplash, client.Width(), client.Height());
    return TRUE;
}

BOOL CAutorunDlg::OnHelpInfo(HELPINFO*) { return TRUE; }

void CAutorunDlg::OnDestroy() {
    CDialog::OnDestroy();
    m_bmpSplash.DeleteObject();
}

void CAutorunDlg::OnClose() {
    AnimateWindow(kFadeOutMilliseconds, AW_BLEND | AW_HIDE);
    DestroyWindow();
    // The window is gone: the default handling has nothing left to close.
}

int CAutorunDlg::OnCreate(LPCREATESTRUCTW) {
    // Marked before it fades in, so that a launcher started meanwhile finds this one and starts nothing.
    SetPropW(m_hWnd, kLauncherProperty, reinterpret_cast<HANDLE>(kLauncherMark));
    CenterWindow(CWnd::FromHandle(GetDesktopWindow()));
    AnimateWindow(kFadeInMilliseconds, AW_BLEND);
    SetTimer(kShowTimer, kShowMilliseconds);
    return 0;
}

void CAutorunDlg::OnTimer(UINT_PTR) {
    KillTimer(kShowTimer);
    PostMessage(WM_CLOSE);
    LaunchSequence();
}
