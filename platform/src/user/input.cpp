// The mouse: the cursor on the screen of this process's windows, hit testing, the capture, leave
// tracking, and the mouse actions of platform/dialogs.h, which post input as a mouse does and then
// wait until the windows' threads have handled it.
#include <algorithm>
#include <initializer_list>
#include <set>

#include "platform/dialogs.h"
#include "state.h"
#include "win/kernel.h"

namespace platform::user {
namespace {

constexpr UINT kDoubleClickMs = 500;
// How long (real time) a mouse action waits for a thread that does not come back to its message loop.
constexpr DWORD kActionWaitMs = 60000;

bool contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }
bool shown(const Window& w) { return (w.style & WS_VISIBLE) && !w.destroying; }
bool enabled(const Window& w) { return !(w.style & WS_DISABLED); }

// Controls that answer WM_NCHITTEST with HTTRANSPARENT, so that the mouse goes to what lies beneath.
bool transparentToMouse(const Window& w) {
    if (!w.cls || w.topLevel()) return false;
    if (equalsNoCase(w.cls->name, u"BUTTON")) return (w.style & BS_TYPEMASK) == BS_GROUPBOX;
    if (equalsNoCase(w.cls->name, u"STATIC")) return !(w.style & SS_NOTIFY);
    return false;
}

// The deepest window under the point from `w` down (lock held; `w` contains the point).
HWND deepest(const std::shared_ptr<Window>& w, POINT screen) {
    if (!enabled(*w)) return w->hwnd;  // a disabled top-level window: its children take nothing either
    for (HWND h : w->children) {
        auto c = findWindow(h);
        if (!c || !shown(*c) || !enabled(*c) || transparentToMouse(*c)) continue;
        if (contains(screenRectOf(*c), screen)) return deepest(c, screen);
    }
    return w->hwnd;
}

// Mouse input at a screen point (lock held): the cursor moves there, a tracked window the cursor has
// left gets WM_MOUSELEAVE, and `msg` goes to the capture window or else the window under the cursor.
// The threads that got messages are added to `threads`.
void mouseInput(POINT screen, UINT msg, std::set<DWORD>& threads) {
    UserState& s = state();
    s.cursor = screen;
    const HWND under = windowAt(screen);
    for (auto& [tid, q] : s.queues) {
        if (!q->tracking || q->tracking == under) continue;
        if (deliverInput(q->tracking, WM_MOUSELEAVE, 0, 0, screen)) threads.insert(tid);
        q->tracking = nullptr;
    }
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) s.buttons |= MK_LBUTTON;
    if (msg == WM_LBUTTONUP) s.buttons &= ~static_cast<WPARAM>(MK_LBUTTON);
    std::shared_ptr<Window> target = findWindow(s.capture);
    if (!target) {
        target = findWindow(under);
        if (target && !enabled(*target)) return;  // a disabled window takes no mouse input
    }
    if (!target) return;
    // A class without CS_DBLCLKS gets a second press instead of a double click.
    if (msg == WM_LBUTTONDBLCLK && !(target->cls && (target->cls->info.style & CS_DBLCLKS))) msg = WM_LBUTTONDOWN;
    const RECT r = screenRectOf(*target);
    const LPARAM where = MAKELPARAM(screen.x - r.left, screen.y - r.top);
    if (deliverInput(target->hwnd, msg, s.buttons, where, screen)) threads.insert(target->tid);
}

}  // namespace

HWND windowAt(POINT screen) {
    UserState& s = state();
    // Topmost windows first, then the others, each in their order.
    for (int pass = 0; pass < 2; ++pass)
        for (HWND h : s.topLevels) {
            auto w = findWindow(h);
            if (!w || w->messageOnly || !shown(*w)) continue;
            if (((w->exStyle & WS_EX_TOPMOST) != 0) != (pass == 0)) continue;
            if (contains(w->rect, screen)) return deepest(w, screen);
        }
    return nullptr;
}

void forgetMouse(HWND hwnd) {
    UserState& s = state();
    if (s.capture == hwnd) s.capture = nullptr;
    for (auto& [tid, q] : s.queues)
        if (q->tracking == hwnd) q->tracking = nullptr;
}

}  // namespace platform::user

using namespace platform::user;

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (!point) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(state().mutex);
    *point = state().cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    std::set<DWORD> threads;
    std::lock_guard lock(state().mutex);
    mouseInput(POINT{x, y}, WM_MOUSEMOVE, threads);
    return TRUE;
}

HWND WINAPI WindowFromPoint(POINT point) {
    std::lock_guard lock(state().mutex);
    return windowAt(point);
}

HWND WINAPI ChildWindowFromPointEx(HWND parent, POINT point, UINT flags) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<HWND> candidates;
    POINT screen = point;
    if (parent == desktopWindow()) {
        if (!contains(RECT{0, 0, kScreenWidth, kScreenHeight}, point)) return nullptr;
        candidates = s.topLevels;
    } else {
        auto p = findWindow(parent);
        if (!p) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (!contains(RECT{0, 0, p->rect.right - p->rect.left, p->rect.bottom - p->rect.top}, point)) return nullptr;
        const RECT r = screenRectOf(*p);
        screen = POINT{point.x + r.left, point.y + r.top};
        candidates = p->children;
    }
    for (HWND h : candidates) {
        auto c = findWindow(h);
        if (!c || c->messageOnly) continue;
        if ((flags & CWP_SKIPINVISIBLE) && !(c->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (c->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (c->exStyle & WS_EX_TRANSPARENT)) continue;
        if (contains(screenRectOf(*c), screen)) return h;
    }
    return parent;
}

HWND WINAPI ChildWindowFromPoint(HWND parent, POINT point) { return ChildWindowFromPointEx(parent, point, CWP_ALL); }

HWND WINAPI GetCapture() {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto held = findWindow(s.capture);
    return held && held->tid == currentTid() ? s.capture : nullptr;
}

BOOL WINAPI ReleaseCapture() {
    UserState& s = state();
    HWND lost = nullptr;
    {
        std::lock_guard lock(s.mutex);
        auto held = findWindow(s.capture);
        if (!held) {
            s.capture = nullptr;
        } else if (held->tid == currentTid()) {
            lost = s.capture;
            s.capture = nullptr;
        }
    }
    if (lost) SendMessageW(lost, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI SetCapture(HWND hwnd) {
    if (!hwnd) {
        HWND old = GetCapture();
        ReleaseCapture();
        return old;
    }
    UserState& s = state();
    HWND old = nullptr, lost = nullptr;
    {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w || w->destroying) {
            SetLastError(foreignHandle(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (w->tid != currentTid()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        auto held = findWindow(s.capture);
        if (held && held->tid == currentTid()) old = s.capture;
        if (held && s.capture != hwnd) lost = s.capture;
        s.capture = hwnd;
    }
    if (lost) SendMessageW(lost, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track) {
    if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (track->dwFlags & ~static_cast<DWORD>(TME_HOVER | TME_LEAVE | TME_QUERY | TME_CANCEL)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    if (track->dwFlags & TME_QUERY) {
        auto q = myQueue(lock);
        track->dwFlags = q->tracking ? TME_LEAVE : 0;
        track->hwndTrack = q->tracking;
        track->dwHoverTime = 0;
        return TRUE;
    }
    auto w = findWindow(track->hwndTrack);
    if (!w || w->destroying) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto q = queueOf(w->tid);
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(track->dwFlags & TME_LEAVE)) return TRUE;  // hover alone: nothing to do
    if (track->dwFlags & TME_CANCEL) {
        if (q->tracking == w->hwnd) q->tracking = nullptr;
        return TRUE;
    }
    if (windowAt(s.cursor) != w->hwnd) {
        // Not over the window: it has already left.
        if (q->tracking == w->hwnd) q->tracking = nullptr;
        deliverInput(w->hwnd, WM_MOUSELEAVE, 0, 0, s.cursor);
        return TRUE;
    }
    q->tracking = w->hwnd;
    return TRUE;
}

UINT WINAPI GetDoubleClickTime() { return kDoubleClickMs; }

// ---- Mouse actions for scripts ------------------------------------------------------------------
namespace platform::dialogs {
namespace {

// Handles the calling thread's messages until the marker is taken, as an application's loop does
// (a dialog's messages through IsDialogMessageW).
void pumpUntil(uint64_t marker) {
    for (int n = 0; n < 100000 && !user::markerTaken(marker); ++n) {
        MSG m{};
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) break;  // nothing left: the marker was taken on the way
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        HWND root = m.hwnd ? GetAncestor(m.hwnd, GA_ROOT) : nullptr;
        if (root && user::isDialogWindow(root) && IsDialogMessageW(root, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    user::forgetMarker(marker);
}

// Mouse input at a point of `window`'s client area: the messages in turn, then a wait until every
// thread that got one has handled them.
bool mouseAt(HWND window, int x, int y, std::initializer_list<UINT> messages) {
    POINT p{x, y};
    if (!window || user::foreignHandle(window) || window == user::desktopWindow() || !IsWindow(window) ||
        !ClientToScreen(window, &p))
        return false;
    std::vector<std::pair<DWORD, uint64_t>> others;
    uint64_t mine = 0;
    {
        std::lock_guard lock(user::state().mutex);
        std::set<DWORD> threads;
        for (UINT m : messages) user::mouseInput(p, m, threads);
        for (DWORD tid : threads) {
            const uint64_t marker = user::postMarker(tid);
            if (!marker) continue;
            if (tid == GetCurrentThreadId()) mine = marker;
            else others.emplace_back(tid, marker);
        }
    }
    if (mine) pumpUntil(mine);
    return others.empty() || user::awaitMarkers(others, user::kActionWaitMs);
}

}  // namespace

bool moveMouse(HWND window, int x, int y) { return mouseAt(window, x, y, {WM_MOUSEMOVE}); }

bool pressMouse(HWND window, int x, int y) { return mouseAt(window, x, y, {WM_MOUSEMOVE, WM_LBUTTONDOWN}); }

bool releaseMouse(HWND window, int x, int y) { return mouseAt(window, x, y, {WM_MOUSEMOVE, WM_LBUTTONUP}); }

bool clickMouse(HWND window, int x, int y) { return pressMouse(window, x, y) && releaseMouse(window, x, y); }

bool doubleClickMouse(HWND window, int x, int y) {
    return clickMouse(window, x, y) && mouseAt(window, x, y, {WM_MOUSEMOVE, WM_LBUTTONDBLCLK}) &&
           releaseMouse(window, x, y);
}

bool hover(HWND dialog, int id) {
    HWND control = dialog && IsWindow(dialog) ? GetDlgItem(dialog, id) : nullptr;
    RECT r{};
    if (!control || !GetClientRect(control, &r)) return false;
    return moveMouse(control, r.right / 2, r.bottom / 2);
}

}  // namespace platform::dialogs
