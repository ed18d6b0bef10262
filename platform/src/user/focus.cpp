// Enabling, the keyboard focus and activation: the active and foreground windows and the last active
// popup of an owner.
#include "state.h"
#include "window_helpers.h"

namespace platform::user {
namespace {

// The root owner of a window of this process remembers it as its last active popup (lock held).
void rememberLastActive(HWND hwnd) {
    auto w = findWindow(hwnd);
    if (!w || !w->topLevel()) return;
    auto root = w;
    while (root->owner)
        if (auto next = findWindow(root->owner)) root = next;
        else break;
    if (root->lastActive == hwnd) return;
    root->lastActive = hwnd;
    if (root->published) publish(*root);
}

}  // namespace

HWND activate(HWND hwnd) {
    HWND old = nullptr;
    {
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        old = q->active;
        if (old == hwnd) return old;
    }
    if (hwnd) {
        CBTACTIVATESTRUCT info{FALSE, old};
        if (callCbtHooks(HCBT_ACTIVATE, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&info))) return old;
    }
    {
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        q->active = hwnd;
        if (hwnd) {
            s.foreground = hwnd;
            publishForeground(hwnd);
        }
        rememberLastActive(hwnd);
    }
    if (old) send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd) send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    return old;
}

}  // namespace platform::user

using namespace platform::user;

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled = false;
    bool loseFocus = false;
    bool releases = false;
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled;
        if (enable) w->style &= ~static_cast<DWORD>(WS_DISABLED);
        else w->style |= WS_DISABLED;
        if (w->published) publish(*w);
        if (auto q = queueOf(w->tid); q && !enable && q->focus == hwnd && w->tid == currentTid()) loseFocus = true;
        if (!enable && s.capture == hwnd && w->tid == currentTid()) releases = true;
    }
    if (loseFocus) SetFocus(nullptr);
    if (releases) ReleaseCapture();  // a disabled window lets go of the mouse
    send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND hwnd) {
    UserState& s = state();
    HWND old = nullptr;
    {
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        old = q->focus;
        if (hwnd) {
            auto w = ownWindow(hwnd);
            if (!w) return nullptr;
            if (w->tid != currentTid()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
        if (old == hwnd) return old;
    }
    if (hwnd && callCbtHooks(HCBT_SETFOCUS, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(old))) return nullptr;
    {
        std::unique_lock lock(s.mutex);
        myQueue(lock)->focus = hwnd;
    }
    if (old) send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd));
    if (hwnd) send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old));
    return old;
}

HWND WINAPI GetFocus() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    return myQueue(lock)->focus;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    {
        std::lock_guard lock(state().mutex);
        if (hwnd) {
            auto w = ownWindow(hwnd);
            if (!w) return nullptr;
            if (w->tid != currentTid() || !w->topLevel()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
    }
    return platform::user::activate(hwnd);
}

HWND WINAPI GetActiveWindow() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    return myQueue(lock)->active;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (DWORD error = postToProcess(other->pid, hwnd, 0, 0, 0, Request::Foreground); error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }
    DWORD tid = 0;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        while (w->parent) w = findWindow(w->parent);
        hwnd = w->hwnd;
        tid = w->tid;
    }
    if (tid == currentTid()) platform::user::activate(hwnd);
    std::lock_guard lock(state().mutex);
    state().foreground = hwnd;
    publishForeground(hwnd);
    return TRUE;
}

// The machine's foreground window while it lives (any process's); else the one this process brought
// forward last.
HWND WINAPI GetForegroundWindow() {
    HWND machine = machineForeground();
    if (machine && IsWindow(machine)) return machine;
    std::lock_guard lock(state().mutex);
    return state().foreground;
}

HWND WINAPI GetLastActivePopup(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        // What the other process published: its popup counts while it is a live, visible window.
        if (!other->lastActive) return hwnd;
        auto popup = foreignWindow(other->lastActive);
        return popup && (popup->style & WS_VISIBLE) ? other->lastActive : hwnd;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!w->topLevel() || w->owner || !w->lastActive) return hwnd;
    auto popup = findWindow(w->lastActive);
    if (!popup || !(popup->style & WS_VISIBLE)) return hwnd;
    // Still owned by this window (an owner may have been changed since).
    for (auto o = findWindow(popup->owner); o; o = findWindow(o->owner))
        if (o->hwnd == hwnd) return popup->hwnd;
    return hwnd;
}
