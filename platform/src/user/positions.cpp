// Window positions and visibility: showing, hiding, minimising, the fades of AnimateWindow on the
// machine clock, moving, sizing and the order among siblings, and window rectangles.
#include <algorithm>
#include <mutex>

#include "../internal.h"
#include "state.h"
#include "window_helpers.h"
#include "platform/dialogs.h"
#include "win/kernel.h"

using namespace platform::user;

// ---- Visibility ----------------------------------------------------------------------------------------

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    if (foreignHandle(hwnd)) {
        // Another process's window: its thread does it in its message loop.
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (DWORD error = postToProcess(other->pid, hwnd, 0, static_cast<WPARAM>(cmd), 0, Request::Show);
            error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return (other->style & WS_VISIBLE) ? TRUE : FALSE;
    }
    bool was = false, now = false, topLevel = false;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        // What the program's starter asked for (STARTUPINFOW) may stand in for the command.
        cmd = platform::detail::startupShowCommand(w->topLevel() && !w->owner && !w->messageOnly, cmd);
        was = (w->style & WS_VISIBLE) != 0;
        now = cmd != SW_HIDE;
        const DWORD styleBefore = w->style;
        topLevel = w->topLevel() && !w->messageOnly;
        switch (cmd) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE: w->style = (w->style | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE); break;
        case SW_MAXIMIZE: w->style = (w->style | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE); break;
        case SW_SHOWNORMAL:
        case SW_RESTORE: w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE); break;
        default: break;
        }
        if (w->style != styleBefore && w->published) publish(*w);  // other processes see it minimised
    }
    if (was != now) {
        send(hwnd, WM_SHOWWINDOW, now ? TRUE : FALSE, 0);
        {
            std::lock_guard lock(state().mutex);
            if (auto w = findWindow(hwnd)) {
                w->style = now ? (w->style | WS_VISIBLE) : (w->style & ~static_cast<DWORD>(WS_VISIBLE));
                if (w->published) publish(*w);
            }
        }
        // A window that comes into view is invalid whole, with the visible children it shows, so its
        // thread paints it when nothing else waits.
        if (now && IsWindowVisible(hwnd))
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    const bool activates = cmd == SW_SHOWNORMAL || cmd == SW_SHOWMAXIMIZED || cmd == SW_SHOW || cmd == SW_RESTORE ||
                           cmd == SW_SHOWDEFAULT || cmd == SW_SHOWMINIMIZED;
    if (topLevel && activates) {
        DWORD tid = 0;
        {
            std::lock_guard lock(state().mutex);
            if (auto w = findWindow(hwnd)) tid = w->tid;
        }
        if (tid == currentTid()) platform::user::activate(hwnd);
    }
    return was ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        return other && (other->style & WS_VISIBLE) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w) return FALSE;
    for (; w; w = findWindow(w->parent))
        if (!(w->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

namespace {

// Whether a window of this process or another carries a style bit.
BOOL hasStyle(HWND hwnd, DWORD bit) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        return other && (other->style & bit) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w && (w->style & bit) ? TRUE : FALSE;
}

}  // namespace

BOOL WINAPI IsIconic(HWND hwnd) { return hasStyle(hwnd, WS_MINIMIZE); }

BOOL WINAPI IsZoomed(HWND hwnd) { return hasStyle(hwnd, WS_MAXIMIZE); }

namespace {

struct AnimationJournal {
    std::mutex mutex;
    std::vector<platform::dialogs::Animation> calls;
};
AnimationJournal& animationJournal() {
    static AnimationJournal* journal = new AnimationJournal;
    return *journal;
}

BOOL animate(HWND hwnd, DWORD time, DWORD flags);

}  // namespace

namespace platform::dialogs {

std::vector<Animation> animations() {
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    return journal.calls;
}

void clearAnimations() {
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    journal.calls.clear();
}

}  // namespace platform::dialogs

BOOL WINAPI AnimateWindow(HWND hwnd, DWORD time, DWORD flags) {
    const ULONGLONG calledAt = GetTickCount64();
    const BOOL result = animate(hwnd, time, flags);
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    journal.calls.push_back({hwnd, time, flags, calledAt, result != FALSE});
    return result;
}

namespace {

BOOL animate(HWND hwnd, DWORD time, DWORD flags) {
    constexpr DWORD known = AW_HOR_POSITIVE | AW_HOR_NEGATIVE | AW_VER_POSITIVE | AW_VER_NEGATIVE | AW_CENTER | AW_HIDE |
                            AW_ACTIVATE | AW_SLIDE | AW_BLEND;
    bool visible = false;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        visible = (w->style & WS_VISIBLE) != 0;
    }
    const bool hide = (flags & AW_HIDE) != 0;
    if ((flags & ~known) || ((flags & AW_BLEND) && (flags & AW_CENTER)) || visible != hide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sleep(time);
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ShowWindow(hwnd, hide ? SW_HIDE : (flags & AW_ACTIVATE) ? SW_SHOW : SW_SHOWNA);
    return TRUE;
}

}  // namespace

// ---- Rectangles ----------------------------------------------------------------------------------------

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    RECT before{}, after{};
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        before = after = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            after.right = x + (after.right - after.left);
            after.bottom = y + (after.bottom - after.top);
            after.left = x;
            after.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            after.right = after.left + std::max(cx, 0);
            after.bottom = after.top + std::max(cy, 0);
        }
        w->rect = after;
        if (!(flags & SWP_NOZORDER) && insertAfter != hwnd) {
            std::vector<HWND>& list = siblingsOf(*w);
            if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
            if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
            if (insertAfter != HWND_NOTOPMOST) {
                eraseFrom(list, hwnd);
                auto at = list.begin();
                if (insertAfter == HWND_BOTTOM) {
                    at = list.end();
                } else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST) {
                    auto it = std::find(list.begin(), list.end(), insertAfter);
                    at = it == list.end() ? list.begin() : it + 1;
                }
                list.insert(at, hwnd);
            }
        }
    }
    if (before.left != after.left || before.top != after.top) send(hwnd, WM_MOVE, 0, MAKELPARAM(after.left, after.top));
    if (before.right - before.left != after.right - after.left || before.bottom - before.top != after.bottom - after.top)
        send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(after.right - after.left, after.bottom - after.top));
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hwnd == desktopWindow()) {
        *rect = RECT{0, 0, kScreenWidth, kScreenHeight};
        return TRUE;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return FALSE;
    *rect = screenRectOf(*w);
    return TRUE;
}

// Windows have no non-client area: the client area is the whole window.
BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    if (!GetWindowRect(hwnd, rect)) return FALSE;
    *rect = RECT{0, 0, rect->right - rect->left, rect->bottom - rect->top};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    RECT r{};
    if (!point || !GetWindowRect(hwnd, &r)) return FALSE;
    point->x += r.left;
    point->y += r.top;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    RECT r{};
    if (!point || !GetWindowRect(hwnd, &r)) return FALSE;
    point->x -= r.left;
    point->y -= r.top;
    return TRUE;
}
