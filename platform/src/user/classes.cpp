// Window classes of this process: registration, lookup by name (without regard to case) or atom, and
// the class of a window.
#include <algorithm>
#include <cstring>

#include "../internal.h"
#include "state.h"
#include "window_helpers.h"
#include "win/kernel.h"

namespace platform::user {

// The class a name or atom stands for (lock held).
std::shared_ptr<WindowClass> lookupClass(LPCWSTR name) {
    UserState& s = state();
    if (!name) return nullptr;
    if (isAtom(name)) {
        const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& [key, cls] : s.classes)
            if (cls->atom == atom) return cls;
        return nullptr;
    }
    auto it = s.classes.find(platform::detail::foldCase(name));
    return it == s.classes.end() ? nullptr : it->second;
}

}  // namespace platform::user

using namespace platform::user;
using platform::detail::foldCase;

// ---- Classes ---------------------------------------------------------------------------------------

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || isAtom(wc->lpszClassName) ||
        !*wc->lpszClassName || !wc->lpfnWndProc || wc->cbWndExtra < 0 || wc->cbClsExtra < 0 ||
        lstrlenW(wc->lpszClassName) > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (auto fault = platform::detail::takeFault("RegisterClassExW", platform::toUtf8(wc->lpszClassName))) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    const std::u16string folded = foldCase(wc->lpszClassName);
    if (s.classes.count(folded)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->folded = folded;
    cls->atom = s.nextAtom++;
    cls->info = *wc;
    cls->info.lpszClassName = cls->name.c_str();
    cls->info.lpszMenuName = nullptr;
    s.classes[folded] = cls;
    return cls->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style, wc->lpfnWndProc, wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                   wc->hIcon, wc->hCursor, wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto cls = lookupClass(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(cls->folded);
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR className, LPWNDCLASSEXW wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The system's classes ("#32770" and the controls') exist before any window does.
    ensureBuiltinClasses();
    std::lock_guard lock(state().mutex);
    auto cls = lookupClass(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *wc = cls->info;
    wc->cbSize = sizeof(WNDCLASSEXW);
    if (!isAtom(className)) wc->lpszClassName = className;
    return cls->atom;
}

BOOL WINAPI GetClassInfoW(HINSTANCE instance, LPCWSTR className, WNDCLASSW* wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WNDCLASSEXW ex{};
    ex.cbSize = sizeof ex;
    if (!GetClassInfoExW(instance, className, &ex)) return FALSE;
    *wc = WNDCLASSW{ex.style, ex.lpfnWndProc, ex.cbClsExtra, ex.cbWndExtra, ex.hInstance,
                    ex.hIcon, ex.hCursor, ex.hbrBackground, ex.lpszMenuName, ex.lpszClassName};
    return TRUE;
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR name, int size) {
    std::u16string text;
    {
        std::lock_guard lock(state().mutex);
        auto w = findWindow(hwnd);
        if (w) text = w->cls->name;
    }
    if (text.empty()) {
        auto other = foreignHandle(hwnd) ? foreignWindow(hwnd) : std::nullopt;
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        text = other->className;
    }
    if (!name || size <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(name, text.data(), n * sizeof(WCHAR));
    name[n] = 0;
    return static_cast<int>(n);
}
