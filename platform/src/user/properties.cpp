// Window properties: named handles on a window, published with this process's top-level windows so
// that other processes read them.
#include <algorithm>

#include "state.h"
#include "window_helpers.h"

using namespace platform::user;

// ---- Properties --------------------------------------------------------------------------------------

BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data) {
    if (!name || isAtom(name) || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return FALSE;
    auto it = std::find_if(w->props.begin(), w->props.end(), [&](auto& p) { return equalsNoCase(p.first, name); });
    if (it != w->props.end()) it->second = data;
    else w->props.emplace_back(name, data);
    if (w->published) publish(*w);
    return TRUE;
}

HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name) {
    if (!name || isAtom(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::pair<std::u16string, HANDLE>> props;
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        props = other->props;
    } else {
        std::lock_guard lock(state().mutex);
        auto w = findWindow(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        props = w->props;
    }
    for (auto& [key, value] : props)
        if (equalsNoCase(key, name)) return value;
    return nullptr;
}

HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name) {
    if (!name || isAtom(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    auto it = std::find_if(w->props.begin(), w->props.end(), [&](auto& p) { return equalsNoCase(p.first, name); });
    if (it == w->props.end()) return nullptr;
    HANDLE value = it->second;
    w->props.erase(it);
    if (w->published) publish(*w);
    return value;
}
