// Window placement: the show state and normal rectangle of a window in one record.
#include <map>
#include <mutex>

#include "state.h"

namespace {

using platform::user::findWindow;
using platform::user::state;

// What the windows were given beyond their rectangle and show state: the flags and the minimised and
// maximised positions (window handles are never used again, so an entry of a gone window only waits).
struct Extra {
    UINT flags = 0;
    POINT minPosition{-1, -1};
    POINT maxPosition{-1, -1};
};
struct Extras {
    std::mutex mutex;
    std::map<HWND, Extra> windows;
};
Extras& extras() {
    static Extras* table = new Extras;
    return *table;
}

// The window's rectangle when it is a window of this process; else the error is set.
bool rectangleOf(HWND hwnd, RECT& rect, DWORD& style) {
    std::lock_guard lock(state().mutex);
    if (auto w = findWindow(hwnd)) {
        rect = w->rect;
        style = w->style;
        return true;
    }
    SetLastError(platform::user::foreignHandle(hwnd) && IsWindow(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

}  // namespace

BOOL WINAPI GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement) {
    if (!placement || placement->length != sizeof(WINDOWPLACEMENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT rect{};
    DWORD style = 0;
    if (!rectangleOf(hwnd, rect, style)) return FALSE;
    Extra extra;
    {
        std::lock_guard lock(extras().mutex);
        if (auto it = extras().windows.find(hwnd); it != extras().windows.end()) extra = it->second;
    }
    placement->flags = extra.flags;
    placement->showCmd = (style & WS_MINIMIZE)   ? SW_SHOWMINIMIZED
                         : (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                                 : SW_SHOWNORMAL;  // also for a hidden window
    placement->ptMinPosition = extra.minPosition;
    placement->ptMaxPosition = extra.maxPosition;
    placement->rcNormalPosition = rect;
    return TRUE;
}

BOOL WINAPI SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement) {
    if (!placement || placement->length != sizeof(WINDOWPLACEMENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT rect{};
    DWORD style = 0;
    if (!rectangleOf(hwnd, rect, style)) return FALSE;
    {
        std::lock_guard lock(extras().mutex);
        Extra& extra = extras().windows[hwnd];
        extra.flags = placement->flags & (WPF_SETMINPOSITION | WPF_RESTORETOMAXIMIZED | WPF_ASYNCWINDOWPLACEMENT);
        if (placement->flags & WPF_SETMINPOSITION) extra.minPosition = placement->ptMinPosition;
        extra.maxPosition = placement->ptMaxPosition;
    }
    const RECT& normal = placement->rcNormalPosition;
    SetWindowPos(hwnd, nullptr, normal.left, normal.top, normal.right - normal.left, normal.bottom - normal.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd, static_cast<int>(placement->showCmd));
    return TRUE;
}
