// Icons on a DC (through their masks) and the fixed system metrics of our plain look.
#include "platform/control.h"
#include "state.h"
#include "win/gdi.h"
#include "win/user.h"

using namespace platform::user;

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CYMENU: return 20;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CMONITORS: return 1;
    case SM_SERVERR2: return platform::machineSettings().serverR2;
    default: return 0;
    }
}

BOOL WINAPI DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH background, UINT flags) {
    if (!GetObjectType(dc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) {
        SetLastError(ERROR_INVALID_ICON_HANDLE);
        return FALSE;
    }
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    const int width = bm.bmWidth, height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : width;
    if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : height;
    if (!(flags & (DI_MASK | DI_IMAGE))) flags |= DI_NORMAL;
    BOOL ok = TRUE;
    if (background) {
        const RECT r{x, y, x + cx, y + cy};
        FillRect(dc, &r, background);
    }
    HDC source = CreateCompatibleDC(nullptr);
    if (!source) ok = FALSE;
    if (source) {
        // The mask's ones keep what is there, its zeros clear it; the colour image then XORs on.
        const COLORREF text = SetTextColor(dc, RGB(0, 0, 0)), back = SetBkColor(dc, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(source, info.hbmMask);
        if (flags & DI_MASK)
            ok = StretchBlt(dc, x, y, cx, cy, source, 0, 0, width, height, (flags & DI_IMAGE) ? SRCAND : SRCCOPY) && ok;
        if (flags & DI_IMAGE) {
            SelectObject(source, info.hbmColor);
            ok = StretchBlt(dc, x, y, cx, cy, source, 0, 0, width, height, (flags & DI_MASK) ? SRCINVERT : SRCCOPY) && ok;
        }
        SelectObject(source, old);
        SetTextColor(dc, text);
        SetBkColor(dc, back);
        DeleteDC(source);
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return ok;
}

BOOL WINAPI DrawIcon(HDC dc, int x, int y, HICON icon) { return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }
