// The default window procedure: text, closing, Alt+F4, F1 and WM_HELP, and the window's icons.
#include <algorithm>
#include <cstring>

#include "state.h"
#include "window_helpers.h"

namespace platform::user {
namespace {

void setTextLocked(Window& w, std::u16string text) {
    w.text = std::move(text);
    if (w.published) publish(w);
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    UserState& s = state();
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return FALSE;
        if (cs && cs->lpszName && !isAtom(cs->lpszName) && cs->lpszName[0] != 0xFFFF) setTextLocked(*w, cs->lpszName);
        return TRUE;
    }
    case WM_SETTEXT: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return FALSE;
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        setTextLocked(*w, text ? std::u16string(text) : std::u16string());
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) {
            buffer[0] = 0;
            return 0;
        }
        const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
        std::memcpy(buffer, w->text.data(), n * sizeof(WCHAR));
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) send(hwnd, WM_CLOSE);
        return 0;
    case WM_SYSKEYDOWN: {
        // Alt+F4 closes the top-level window as its system menu's Close would.
        constexpr LPARAM kAltHeld = LPARAM(1) << 29;
        if (wParam != VK_F4 || !(lParam & kAltHeld)) return 0;
        HWND root = GetAncestor(hwnd, GA_ROOT);
        bool allowed = false;
        {
            std::lock_guard lock(s.mutex);
            auto w = findWindow(root);
            allowed = w && closeAllowed(*w);
        }
        if (allowed) send(root, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_F1) {
            HWND focus = GetFocus();
            if (!focus) focus = hwnd;
            HELPINFO info{};
            info.cbSize = sizeof info;
            info.iContextType = HELPINFO_WINDOW;
            info.iCtrlId = GetDlgCtrlID(focus);
            info.hItemHandle = focus;
            GetCursorPos(&info.MousePos);
            send(focus, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        }
        return 0;
    case WM_HELP: {
        HWND parent = nullptr;
        {
            std::lock_guard lock(s.mutex);
            auto w = findWindow(hwnd);
            if (w && !w->topLevel()) parent = w->parent;
        }
        return parent ? send(parent, WM_HELP, wParam, lParam) : 0;
    }
    case WM_SETICON:
    case WM_GETICON: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return 0;
        if (msg == WM_GETICON) {
            if (wParam == ICON_SMALL2) return reinterpret_cast<LRESULT>(w->icons[0] ? w->icons[0] : w->icons[1]);
            return wParam <= ICON_BIG ? reinterpret_cast<LRESULT>(w->icons[wParam]) : 0;
        }
        if (wParam > ICON_BIG) return 0;
        HICON old = w->icons[wParam];
        w->icons[wParam] = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
    }
}
