// What the built-in controls share (controls.cpp, listview.cpp): reading a window's style and text,
// painting a control whole in the plain look, and the list view's procedure.
#pragma once

#include <string>

#include "state.h"
#include "win/gdi.h"

namespace platform::user {

HFONT guiFont();  // paint.cpp: the built-in 8-point font

namespace controls {

DWORD styleOf(HWND hwnd);
std::u16string textOf(HWND hwnd);
// A control whose look changed is painted again (when it shows at all).
void repaint(HWND hwnd);
// Copies at most size - 1 characters and a terminator; answers the characters copied (0 for no buffer).
size_t copyOut(const std::u16string& text, LPWSTR buffer, size_t size);
inline RECT inset(RECT r, int by) { return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by}; }

// Every control paints its whole client area at WM_PAINT, in the built-in font, with a transparent
// background for text.
struct Painter {
    HWND hwnd;
    PAINTSTRUCT ps{};
    HDC dc = nullptr;
    RECT client{};
    HGDIOBJ oldFont = nullptr;
    explicit Painter(HWND h);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;
    void fill(RECT r, int color) const { FillRect(dc, &r, GetSysColorBrush(color)); }
    void frame(RECT r, int color) const { FrameRect(dc, &r, GetSysColorBrush(color)); }
    void text(const std::u16string& t, RECT r, UINT format, int color) const;
};

}  // namespace controls

// The SysListView32 class's procedure (listview.cpp).
LRESULT CALLBACK listViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace platform::user
