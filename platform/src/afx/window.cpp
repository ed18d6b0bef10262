// Window objects: the handle maps, AfxWndProc and the message routing (maps, commands,
// notifications and their reflection to the controls that sent them), and the CWnd calls.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "state.h"

// The framework's own access to CWnd's insides.
struct AfxWindowHooks {
    static void attachNew(CWnd* wnd, HWND hwnd) {
        wnd->Attach(hwnd);
        wnd->m_pfnSuper = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    }
    static void ended(CWnd* wnd, HWND hwnd) {
        if (wnd->m_hWnd != hwnd) return;
        if (wnd->m_pfnSuper) SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wnd->m_pfnSuper));
        wnd->m_pfnSuper = nullptr;
        wnd->Detach();
        if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == wnd) {
            app->m_pMainWnd = nullptr;
            if (platform::afx::mainLoopRunning()) PostQuitMessage(0);
        }
        wnd->PostNcDestroy();
    }
};


namespace platform::afx {
namespace {

struct PermanentMap {
    std::mutex mutex;
    std::unordered_map<HWND, CWnd*> windows;
};
PermanentMap& permanent() {
    static PermanentMap* map = new PermanentMap;
    return *map;
}

// Wrappers for windows without an object of their own, kept per thread until their window is gone.
struct TemporaryWnd : CWnd {
    ~TemporaryWnd() override { m_hWnd = nullptr; }
    TemporaryTally tally;
};
thread_local std::map<HWND, std::unique_ptr<TemporaryWnd>> temporaries;

thread_local CurrentMessage current;

thread_local CWnd* windowBeingMade = nullptr;
thread_local HHOOK createHook = nullptr;
thread_local int createHookUsers = 0;

thread_local HHOOK filterHook = nullptr;
thread_local int filterHookUsers = 0;

std::atomic<bool> mainLoop{false};

LRESULT CALLBACK createFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && windowBeingMade) {
        CWnd* wnd = windowBeingMade;
        windowBeingMade = nullptr;
        AfxWindowHooks::attachNew(wnd, reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(createHook, code, wParam, lParam);
}

LRESULT CALLBACK messageFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && lParam && AfxPreTranslateMessage(reinterpret_cast<MSG*>(lParam))) return 1;
    return CallNextHookEx(filterHook, code, wParam, lParam);
}

bool isTopLevel(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) == 0; }

}  // namespace

CurrentMessage& currentMessage() { return current; }

void hookWindowCreate(CWnd* wnd) {
    if (createHookUsers++ == 0) createHook = SetWindowsHookExW(WH_CBT, createFilter, nullptr, GetCurrentThreadId());
    windowBeingMade = wnd;
}

void unhookWindowCreate() {
    windowBeingMade = nullptr;
    if (--createHookUsers == 0 && createHook) {
        UnhookWindowsHookEx(createHook);
        createHook = nullptr;
    }
}

ModalFilter::ModalFilter() {
    if (filterHookUsers++ == 0) filterHook = SetWindowsHookExW(WH_MSGFILTER, messageFilter, nullptr, GetCurrentThreadId());
}

ModalFilter::~ModalFilter() {
    if (--filterHookUsers == 0 && filterHook) {
        UnhookWindowsHookEx(filterHook);
        filterHook = nullptr;
    }
}

std::atomic<DWORD> mainThreadId{0};
void setMainThread(DWORD threadId) { mainThreadId = threadId; }
DWORD mainThread() { return mainThreadId; }

BOOL walkPreTranslateTree(MSG* msg) {
    if (!msg) return FALSE;
    for (HWND hwnd = msg->hwnd; hwnd && IsWindow(hwnd); hwnd = GetParent(hwnd)) {
        if (CWnd* wnd = CWnd::FromHandlePermanent(hwnd); wnd && wnd->PreTranslateMessage(msg)) return TRUE;
        if (isTopLevel(hwnd)) break;
    }
    return FALSE;
}

void setMainLoopRunning(bool running) { mainLoop = running; }
bool mainLoopRunning() { return mainLoop; }

}  // namespace platform::afx

using platform::afx::currentMessage;

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (!wnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    auto& now = currentMessage();
    const platform::afx::CurrentMessage saved = now;
    now = {hwnd, message, wParam, lParam};
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    now = saved;
    if (message == WM_NCDESTROY) AfxWindowHooks::ended(wnd, hwnd);
    return result;
}

BOOL AfxPreTranslateMessage(MSG* msg) {
    if (!msg) return FALSE;
    // The main thread's messages go through the application (whose own filter walks the windows).
    CWinApp* app = AfxGetApp();
    if (app && platform::afx::mainThread() == GetCurrentThreadId()) return app->PreTranslateMessage(msg);
    return platform::afx::walkPreTranslateTree(msg);
}

namespace afx_detail {
CWnd* wndOf(LPARAM handle) { return CWnd::FromHandle(reinterpret_cast<HWND>(handle)); }
CWnd* wndOfW(WPARAM handle) { return CWnd::FromHandle(reinterpret_cast<HWND>(handle)); }
UINT currentCtlColor() {
    const UINT message = currentMessage().message;
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC ? message - WM_CTLCOLORMSGBOX : CTLCOLOR_STATIC;
}
}  // namespace afx_detail

// ---- Objects and handles -------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
    ON_WM_CTLCOLOR()
    ON_WM_DRAWITEM()
END_MESSAGE_MAP()

CWnd::~CWnd() {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        DestroyWindow();  // its WM_NCDESTROY detaches the object
        if (m_hWnd) Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto& map = platform::afx::permanent();
    std::lock_guard lock(map.mutex);
    auto it = map.windows.find(hwnd);
    return it == map.windows.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    if (CWnd* wnd = FromHandlePermanent(hwnd)) return wnd;
    return platform::afx::temporaryWrapper(platform::afx::temporaries, hwnd, [](HWND h) { return IsWindow(h) != FALSE; }, [hwnd] {
        auto made = std::make_unique<platform::afx::TemporaryWnd>();
        made->m_hWnd = hwnd;
        return made;
    });
}

BOOL CWnd::Attach(HWND hwnd) {
    if (!hwnd || m_hWnd) return FALSE;
    platform::afx::temporaries.erase(hwnd);
    auto& map = platform::afx::permanent();
    std::lock_guard lock(map.mutex);
    if (map.windows.count(hwnd)) return FALSE;
    map.windows[hwnd] = this;
    m_hWnd = hwnd;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hwnd = m_hWnd;
    if (hwnd) {
        auto& map = platform::afx::permanent();
        std::lock_guard lock(map.mutex);
        if (auto it = map.windows.find(hwnd); it != map.windows.end() && it->second == this) map.windows.erase(it);
    }
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd) || !Attach(hwnd)) return FALSE;
    PreSubclassWindow();
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (old != &AfxWndProc) m_pfnSuper = old;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (!parent) return FALSE;
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
    if (!m_hWnd) return nullptr;
    if (m_pfnSuper) SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

// ---- Routing -------------------------------------------------------------------------------------
BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const auto& now = currentMessage();
    return DefWindowProc(now.message, now.wParam, now.lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    LRESULT answer = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        answer = 1;
    } else if (message == WM_NOTIFY) {
        if (!OnNotify(wParam, lParam, &answer)) return FALSE;
    } else {
        const UINT key = message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC ? WM_CTLCOLOR : message;
        const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(key, 0, 0);
        if (!entry || !entry->pfn(this, wParam, lParam, &answer)) return FALSE;
    }
    if (result) *result = answer;
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam);
    UINT code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        CWnd* child = FromHandlePermanent(control);
        if (child && child != this && child->OnChildNotify(WM_COMMAND, wParam, lParam, nullptr)) return TRUE;
    } else {
        code = 0;  // a menu or an accelerator
    }
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_COMMAND, code, id);
    if (!entry) return FALSE;
    LRESULT ignored = 0;
    entry->pfn(this, wParam, lParam, &ignored);
    return TRUE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    CWnd* child = FromHandlePermanent(header->hwndFrom);
    if (child && child != this && child->OnChildNotify(WM_NOTIFY, wParam, lParam, result)) return TRUE;
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom));
    if (!entry) return FALSE;
    return entry->pfn(this, wParam, lParam, result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    LRESULT answer = 0;
    const AFX_MSGMAP_ENTRY* entry = nullptr;
    if (message == WM_COMMAND) {
        entry = FindMessageEntry(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0);
    } else if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header) entry = FindMessageEntry(WM_REFLECT_BASE + WM_NOTIFY, header->code, 0);
    } else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        entry = FindMessageEntry(WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0);
        if (!entry || !entry->pfn(this, wParam, message - WM_CTLCOLORMSGBOX, &answer)) return FALSE;
        if (result) *result = answer;
        return TRUE;
    } else {
        entry = FindMessageEntry(WM_REFLECT_BASE + message, 0, 0);
    }
    if (!entry) return FALSE;
    if (!entry->pfn(this, wParam, lParam, &answer)) return FALSE;
    if (result) *result = answer;
    return TRUE;
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT) {
    const auto now = currentMessage();
    LRESULT brush = 0;
    CWnd* child = wnd ? FromHandlePermanent(wnd->m_hWnd) : nullptr;
    if (child && child != this && child->OnChildNotify(now.message, now.wParam, now.lParam, &brush))
        return reinterpret_cast<HBRUSH>(brush);
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT item) {
    const auto now = currentMessage();
    CWnd* child = item ? FromHandlePermanent(item->hwndItem) : nullptr;
    if (child && child != this && child->OnChildNotify(now.message, now.wParam, now.lParam, nullptr)) return;
    Default();
}

int CWnd::OnCreate(LPCREATESTRUCTW) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnMouseLeave() { Default(); }
BOOL CWnd::OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }

// ---- Window calls --------------------------------------------------------------------------------
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const { return SendMessageW(m_hWnd, message, wParam, lParam); }
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const { return PostMessageW(m_hWnd, message, wParam, lParam); }
CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
void CWnd::SetWindowText(LPCWSTR text) { SetWindowTextW(m_hWnd, text); }

void CWnd::GetWindowText(CString& text) const {
    const int length = GetWindowTextLengthW(m_hWnd);
    CString got;
    if (length > 0) {
        GetWindowTextW(m_hWnd, got.GetBuffer(length + 1), length + 1);
        got.ReleaseBuffer();
    }
    text = got;
}

int CWnd::GetWindowTextLength() const { return GetWindowTextLengthW(m_hWnd); }
void CWnd::SetDlgItemText(int id, LPCWSTR text) { SetDlgItemTextW(m_hWnd, id, text); }

int CWnd::GetDlgItemText(int id, CString& text) const {
    text.Empty();
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (!control) return 0;
    FromHandle(control)->GetWindowText(text);
    return text.GetLength();
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const { return ::GetDlgItemInt(m_hWnd, id, translated, isSigned); }
void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
void CWnd::CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
UINT CWnd::IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
void CWnd::CheckRadioButton(int first, int last, int check) { ::CheckRadioButton(m_hWnd, first, last, check); }
LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendDlgItemMessageW(m_hWnd, id, message, wParam, lParam);
}
BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* CWnd::SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
CWnd* CWnd::GetCapture() { return FromHandle(::GetCapture()); }
void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
void CWnd::ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }

void CWnd::ClientToScreen(LPRECT rect) const {
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&rect->left));
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&rect->right));
}

void CWnd::ScreenToClient(LPRECT rect) const {
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&rect->left));
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&rect->right));
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) { ::MoveWindow(m_hWnd, x, y, width, height, repaint); }
void CWnd::MoveWindow(LPCRECT rect, BOOL repaint) {
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after ? after->m_hWnd : nullptr, x, y, cx, cy, flags);
}

// Centres the window over its owner (or the alternate owner); over the screen's origin when it has none.
void CWnd::CenterWindow(CWnd* alternateOwner) {
    HWND over = alternateOwner ? alternateOwner->m_hWnd
                               : ((GetStyle() & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER));
    CRect mine;
    GetWindowRect(&mine);
    CRect area;
    if (over && (GetStyle() & WS_CHILD)) {
        ::GetClientRect(over, &area);
    } else if (over) {
        ::GetWindowRect(over, &area);
    } else {
        ::GetWindowRect(GetDesktopWindow(), &area);
    }
    int x = area.left + (area.Width() - mine.Width()) / 2;
    int y = area.top + (area.Height() - mine.Height()) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

DWORD CWnd::GetStyle() const { return static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }

namespace {
BOOL modifyLong(HWND hwnd, int index, DWORD remove, DWORD add, UINT flags) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, index));
    const DWORD changed = (style & ~remove) | add;
    if (changed == style) return FALSE;
    SetWindowLongW(hwnd, index, static_cast<LONG>(changed));
    if (flags) SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}
}  // namespace

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) { return modifyLong(m_hWnd, GWL_STYLE, remove, add, flags); }
BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) { return modifyLong(m_hWnd, GWL_EXSTYLE, remove, add, flags); }
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::InvalidateRect(LPCRECT rect, BOOL erase) { ::InvalidateRect(m_hWnd, rect, erase); }
void CWnd::ValidateRect(LPCRECT rect) { ::ValidateRect(m_hWnd, rect); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
BOOL CWnd::RedrawWindow(LPCRECT rect, UINT flags) { return ::RedrawWindow(m_hWnd, rect, nullptr, flags); }
CDC* CWnd::GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }
int CWnd::ReleaseDC(CDC* dc) { return dc ? ::ReleaseDC(m_hWnd, dc->m_hDC) : 0; }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL big) const { return reinterpret_cast<HICON>(SendMessage(WM_GETICON, big ? ICON_BIG : ICON_SMALL)); }
CMenu* CWnd::GetSystemMenu(BOOL revert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert)); }
BOOL CWnd::AnimateWindow(DWORD time, DWORD flags) { return ::AnimateWindow(m_hWnd, time, flags); }

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) {
    if (!caption) caption = AfxGetApp() && AfxGetApp()->m_pszAppName ? AfxGetApp()->m_pszAppName : u"Error";
    return MessageBoxW(m_hWnd, text, caption, type);
}

BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
CWnd* CWnd::GetNextDlgGroupItem(CWnd* control, BOOL previous) const {
    return FromHandle(::GetNextDlgGroupItem(m_hWnd, control ? control->m_hWnd : nullptr, previous));
}
CWnd* CWnd::GetNextDlgTabItem(CWnd* control, BOOL previous) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, control ? control->m_hWnd : nullptr, previous));
}
