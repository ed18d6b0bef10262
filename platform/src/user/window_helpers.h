// What the files of windows and their calls share: class lookup (classes.cpp), the window table
// (windows.cpp) and activation (focus.cpp). Only the files of src/user/ include it.
#pragma once

#include <memory>
#include <vector>

#include "state.h"

namespace platform::user {

// A class or property name given as an atom rather than as text.
inline bool isAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

// The class a name or atom stands for (lock held).
std::shared_ptr<WindowClass> lookupClass(LPCWSTR name);

// A window of this process for a call that changes it, or null with the error set (lock held).
std::shared_ptr<Window> ownWindow(HWND hwnd);

// The list a window is kept in with its siblings, top of the order first (lock held).
std::vector<HWND>& siblingsOf(Window& w);
void eraseFrom(std::vector<HWND>& list, HWND hwnd);

inline LRESULT send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(hwnd, msg, wParam, lParam);
}

// Makes a top-level window of the calling thread its active window (and the foreground), with the CBT
// hook's say and WM_ACTIVATE to the old and the new one; returns the window that was active.
HWND activate(HWND hwnd);

}  // namespace platform::user
