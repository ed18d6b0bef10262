// The built-in control classes BUTTON, STATIC, EDIT, COMBOBOX and msctls_progress32 (SysListView32 is
// in listview.cpp), and the dialog class. Each control keeps its state here (by window, made at
// WM_NCCREATE and gone at WM_NCDESTROY) and tells its parent what a user's action did (buttons take the
// mouse and the space bar themselves), and paints itself in a plain, fixed look (grey faces, black
// frames and text, the built-in 8-point font) at WM_PAINT; a change to what a control shows invalidates it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "../internal.h"
#include "controls.h"
#include "platform/dialogs.h"
#include "state.h"
#include "win/gdi.h"
#include "win/kernel.h"

namespace platform::user {

namespace controls {

DWORD styleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

std::u16string textOf(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w ? w->text : std::u16string();
}

void repaint(HWND hwnd) {
    if (IsWindowVisible(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
}

size_t copyOut(const std::u16string& text, LPWSTR buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
    return n;
}

Painter::Painter(HWND h) : hwnd(h) {
    dc = BeginPaint(hwnd, &ps);
    GetClientRect(hwnd, &client);
    if (dc) {
        oldFont = SelectObject(dc, guiFont());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    }
}

Painter::~Painter() {
    if (dc && oldFont) SelectObject(dc, oldFont);
    if (dc) EndPaint(hwnd, &ps);
}

void Painter::text(const std::u16string& t, RECT r, UINT format, int color) const {
    SetTextColor(dc, GetSysColor(color));
    DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &r, format);
}

}  // namespace controls

namespace {

using namespace controls;

struct Control {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool mouseDown = false;  // a button pressed with the mouse, holding the capture until released
    bool spaceDown = false;  // a button pushed with the space bar
    // Edits.
    size_t limit = 0x7FFFFFFE;
    WCHAR passwordChar = 0;
    size_t selStart = 0, selEnd = 0;
    // Combo boxes.
    std::vector<std::pair<std::u16string, LPARAM>> items;
    int current = -1;
    // Progress bars.
    int low = 0, high = 100, pos = 0, step = 10;
    // Picture statics: the image shown, and whether the static loaded it itself (and so deletes it).
    HANDLE image = nullptr;
    bool ownsImage = false;
};

std::mutex controlsMutex;
std::map<HWND, std::shared_ptr<Control>>& controls() {
    static auto* map = new std::map<HWND, std::shared_ptr<Control>>;
    return *map;
}

// The control's state; controls are only ever handled on their own thread, so the state is used
// without a lock once found.
std::shared_ptr<Control> controlOf(HWND hwnd) {
    std::lock_guard lock(controlsMutex);
    auto it = controls().find(hwnd);
    return it == controls().end() ? nullptr : it->second;
}

// Keeps state across WM_NCCREATE .. WM_NCDESTROY; answers whether the message was one of those.
bool lifetime(HWND hwnd, UINT msg) {
    std::lock_guard lock(controlsMutex);
    if (msg == WM_NCCREATE) controls()[hwnd] = std::make_shared<Control>();
    else if (msg == WM_NCDESTROY) controls().erase(hwnd);
    else return false;
    return true;
}

void notifyParent(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent && (styleOf(hwnd) & WS_CHILD))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

// ---- BUTTON ----------------------------------------------------------------------------------------
void drawItem(HWND hwnd, const Control& c, UINT action) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    dis.itemAction = action;
    dis.itemState = (c.pushed ? ODS_SELECTED : 0) | (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED) |
                    (GetFocus() == hwnd ? ODS_FOCUS : 0) | (c.check == BST_CHECKED ? ODS_CHECKED : 0);
    dis.hwndItem = hwnd;
    dis.hDC = GetDC(hwnd);
    GetClientRect(hwnd, &dis.rcItem);
    SendMessageW(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    if (dis.hDC) ReleaseDC(hwnd, dis.hDC);
}

void paintPushButton(HWND hwnd, const Control& c, bool isDefault) {
    Painter p(hwnd);
    if (!p.dc) return;
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    p.fill(p.client, c.pushed ? COLOR_BTNSHADOW : COLOR_BTNFACE);
    p.frame(p.client, COLOR_WINDOWFRAME);
    if (isDefault) p.frame(inset(p.client, 1), COLOR_WINDOWFRAME);
    if (GetFocus() == hwnd) p.frame(inset(p.client, 3), COLOR_BTNSHADOW);
    RECT r = p.client;
    if (c.pushed) r = RECT{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
    p.text(textOf(hwnd), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
}

void paintCheck(HWND hwnd, const Control& c, bool radio) {
    Painter p(hwnd);
    if (!p.dc) return;
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    p.fill(p.client, COLOR_BTNFACE);
    const int size = 13;
    const int top = (p.client.bottom - size) / 2;
    const RECT box{0, top, size, top + size};
    if (radio) {
        // A circle of spans, a dot inside when checked.
        for (int y = 0; y < size; ++y) {
            const double dy = y - 6.0;
            const int outer = static_cast<int>(std::sqrt(std::max(0.0, 42.25 - dy * dy)) + 0.5);
            p.fill(RECT{6 - outer, top + y, 7 + outer, top + y + 1}, COLOR_WINDOWFRAME);
            const int in = static_cast<int>(std::sqrt(std::max(0.0, 30.25 - dy * dy)) + 0.5) - 1;
            if (y > 0 && y < size - 1 && in >= 0)
                p.fill(RECT{6 - in, top + y, 7 + in, top + y + 1}, enabled ? COLOR_WINDOW : COLOR_BTNFACE);
        }
        if (c.check == BST_CHECKED) p.fill(RECT{4, top + 4, 9, top + 9}, enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    } else {
        p.fill(box, enabled ? COLOR_WINDOW : COLOR_BTNFACE);
        p.frame(box, COLOR_WINDOWFRAME);
        if (c.check == BST_CHECKED) {
            // A tick: down from the left, then up to the right, two pixels thick.
            const int xs[] = {3, 4, 5, 6, 7, 8, 9};
            const int ys[] = {6, 7, 8, 7, 6, 5, 4};
            for (int i = 0; i < 7; ++i)
                p.fill(RECT{xs[i], top + ys[i], xs[i] + 1, top + ys[i] + 3}, enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
        } else if (c.check == BST_INDETERMINATE) {
            p.fill(inset(box, 3), COLOR_GRAYTEXT);
        }
    }
    RECT text{size + 4, 0, p.client.right, p.client.bottom};
    p.text(textOf(hwnd), text, DT_LEFT | DT_VCENTER | DT_SINGLELINE, enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    if (GetFocus() == hwnd) {
        RECT measured = text;
        const std::u16string t = textOf(hwnd);
        DrawTextW(p.dc, t.c_str(), static_cast<int>(t.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
        const int h = measured.bottom - measured.top;
        p.frame(RECT{text.left - 1, (p.client.bottom - h) / 2 - 1, measured.right + 1, (p.client.bottom + h) / 2 + 1},
                COLOR_BTNSHADOW);
    }
}

void paintGroupBox(HWND hwnd) {
    Painter p(hwnd);
    if (!p.dc) return;
    p.fill(p.client, COLOR_BTNFACE);
    p.frame(RECT{0, 6, p.client.right, p.client.bottom}, COLOR_BTNSHADOW);
    const std::u16string t = textOf(hwnd);
    RECT r{8, 0, p.client.right - 8, 13};
    DrawTextW(p.dc, t.c_str(), static_cast<int>(t.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    p.fill(RECT{r.left - 2, 0, r.right + 2, 13}, COLOR_BTNFACE);
    p.text(t, RECT{8, 0, p.client.right - 8, 13}, DT_LEFT | DT_SINGLELINE, IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
}

void paintEdit(HWND hwnd, const Control& c) {
    Painter p(hwnd);
    if (!p.dc) return;
    const DWORD style = styleOf(hwnd);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    p.fill(p.client, enabled && !(style & ES_READONLY) ? COLOR_WINDOW : COLOR_BTNFACE);
    p.frame(p.client, COLOR_BTNSHADOW);
    std::u16string shown = textOf(hwnd);
    if ((style & ES_PASSWORD) && c.passwordChar) shown = std::u16string(shown.size(), c.passwordChar);
    const RECT r{3, 1, p.client.right - 3, p.client.bottom - 1};
    p.text(shown, r, DT_LEFT | DT_NOPREFIX | ((style & ES_MULTILINE) ? DT_WORDBREAK : DT_VCENTER | DT_SINGLELINE),
           enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
}

// The size of a bitmap or an icon (0 x 0 for a handle that is neither).
SIZE imageSize(HANDLE image, bool icon) {
    BITMAP bm{};
    if (icon) {
        ICONINFO info{};
        if (!image || !GetIconInfo(static_cast<HICON>(image), &info)) return SIZE{0, 0};
        GetObjectW(info.hbmColor, sizeof bm, &bm);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    } else if (!image || !GetObjectW(static_cast<HBITMAP>(image), sizeof bm, &bm)) {
        return SIZE{0, 0};
    }
    return SIZE{bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight};
}

bool pictureStatic(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    return type == SS_BITMAP || type == SS_ICON;
}

// A picture at its size at the top left, centred (SS_CENTERIMAGE), or stretched to the control
// (SS_REALSIZECONTROL alone); a handle that is gone paints nothing.
void paintPicture(const Painter& p, const Control& c, DWORD style) {
    const bool icon = (style & SS_TYPEMASK) == SS_ICON;
    const SIZE size = imageSize(c.image, icon);
    if (size.cx <= 0 || size.cy <= 0) return;
    RECT to{0, 0, size.cx, size.cy};
    if (style & SS_CENTERIMAGE) {
        to = RECT{(p.client.right - size.cx) / 2, (p.client.bottom - size.cy) / 2, 0, 0};
        to.right = to.left + size.cx;
        to.bottom = to.top + size.cy;
    } else if (style & SS_REALSIZECONTROL) {
        to = p.client;
    }
    if (icon) {
        DrawIconEx(p.dc, to.left, to.top, static_cast<HICON>(c.image), to.right - to.left, to.bottom - to.top, 0, nullptr,
                   DI_NORMAL);
        return;
    }
    HDC source = CreateCompatibleDC(nullptr);
    if (!source) return;
    if (HGDIOBJ old = SelectObject(source, c.image)) {
        StretchBlt(p.dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, size.cx, size.cy, SRCCOPY);
        SelectObject(source, old);
    }
    DeleteDC(source);
}

void paintStatic(HWND hwnd, const Control& c) {
    Painter p(hwnd);
    if (!p.dc) return;
    HWND parent = GetParent(hwnd);
    SetTextColor(p.dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(p.dc, GetSysColor(COLOR_BTNFACE));
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(p.dc),
                                                                  reinterpret_cast<LPARAM>(hwnd)))
                          : nullptr;
    FillRect(p.dc, &p.client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    const DWORD style = styleOf(hwnd);
    if (pictureStatic(style)) {
        paintPicture(p, c, style);
        return;
    }
    if (!IsWindowEnabled(hwnd)) SetTextColor(p.dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(p.dc, TRANSPARENT);
    const DWORD type = style & SS_TYPEMASK;
    const UINT align = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
    const std::u16string t = textOf(hwnd);
    RECT r = p.client;
    DrawTextW(p.dc, t.c_str(), static_cast<int>(t.size()), &r, align | DT_WORDBREAK);
}

void paintCombo(HWND hwnd, const Control& c) {
    Painter p(hwnd);
    if (!p.dc) return;
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    // The field only: the list is never dropped down.
    const RECT field{0, 0, p.client.right, std::min<LONG>(p.client.bottom, 21)};
    p.fill(p.client, COLOR_BTNFACE);
    p.fill(field, enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    p.frame(field, COLOR_BTNSHADOW);
    const int arrow = field.bottom - field.top;
    const RECT button{field.right - arrow, field.top, field.right, field.bottom};
    p.fill(inset(button, 1), COLOR_BTNFACE);
    p.frame(button, COLOR_BTNSHADOW);
    const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2 - 1;
    for (int i = 0; i < 4; ++i) p.fill(RECT{cx - 3 + i, cy + i, cx + 4 - i, cy + i + 1}, enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    const std::u16string t = c.current >= 0 ? c.items[static_cast<size_t>(c.current)].first : textOf(hwnd);
    p.text(t, RECT{3, field.top, button.left - 2, field.bottom}, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
           enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
}

void paintProgress(HWND hwnd, const Control& c) {
    Painter p(hwnd);
    if (!p.dc) return;
    p.fill(p.client, COLOR_BTNFACE);
    p.frame(p.client, COLOR_BTNSHADOW);
    const RECT inner = inset(p.client, 1);
    const long long span = static_cast<long long>(c.high) - c.low;
    const long long done = std::clamp<long long>(static_cast<long long>(c.pos) - c.low, 0, span > 0 ? span : 0);
    const LONG width = span > 0 ? static_cast<LONG>((inner.right - inner.left) * done / span) : 0;
    if (width > 0) p.fill(RECT{inner.left, inner.top, inner.left + width, inner.bottom}, COLOR_HIGHLIGHT);
}

void uncheckGroupOthers(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    for (HWND other = GetNextDlgGroupItem(parent, hwnd, FALSE); other && other != hwnd;
         other = GetNextDlgGroupItem(parent, other, FALSE)) {
        WCHAR cls[16] = {};
        GetClassNameW(other, cls, 16);
        if (equalsNoCase(cls, u"BUTTON") && (styleOf(other) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// What a click does: an automatic check box or radio button changes, then the parent hears BN_CLICKED.
void clicked(HWND hwnd, Control& c, DWORD type) {
    const UINT before = c.check;
    if (type == BS_AUTOCHECKBOX) c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (type == BS_AUTO3STATE) c.check = (c.check + 1) % 3;
    if (type == BS_AUTORADIOBUTTON) {
        c.check = BST_CHECKED;
        uncheckGroupOthers(hwnd);
    }
    if (c.check != before) repaint(hwnd);
    notifyParent(hwnd, BN_CLICKED);
}

bool insideClient(HWND hwnd, LPARAM lParam) {
    RECT r{};
    GetClientRect(hwnd, &r);
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

LRESULT CALLBACK buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (lifetime(hwnd, msg)) return DefWindowProcW(hwnd, msg, wParam, lParam);
    auto c = controlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const DWORD type = styleOf(hwnd) & BS_TYPEMASK;
    switch (msg) {
    case WM_GETDLGCODE:
        switch (type) {
        case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_PUSHBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX: return DLGC_STATIC;
        default: return DLGC_BUTTON;
        }
    case BM_GETCHECK: return c->check;
    case BM_SETCHECK: {
        const UINT check = static_cast<UINT>(wParam) & 3;
        const UINT before = c->check;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
            c->check = check == BST_INDETERMINATE ? BST_CHECKED : check;
        else if (type == BS_3STATE || type == BS_AUTO3STATE)
            c->check = check;
        if (c->check != before) repaint(hwnd);
        return 0;
    }
    case BM_GETSTATE: return c->check | (c->pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        if (c->pushed == (wParam != 0)) return 0;
        c->pushed = wParam != 0;
        if (type == BS_OWNERDRAW) drawItem(hwnd, *c, ODA_SELECT);
        repaint(hwnd);
        return 0;
    case BM_SETSTYLE:
        SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>((styleOf(hwnd) & ~BS_TYPEMASK) | (wParam & 0xFFFF)));
        return 0;
    case BM_CLICK: {
        if (!IsWindowEnabled(hwnd) || type == BS_GROUPBOX) return 0;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_CHECKBOX || type == BS_AUTOCHECKBOX ||
            type == BS_3STATE || type == BS_AUTO3STATE)
            SetFocus(hwnd);
        if (type == BS_OWNERDRAW) {
            c->pushed = true;
            drawItem(hwnd, *c, ODA_SELECT);
            c->pushed = false;
            drawItem(hwnd, *c, ODA_SELECT);
        }
        clicked(hwnd, *c, type);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        if (type == BS_GROUPBOX) return 0;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_OWNERDRAW || (styleOf(hwnd) & BS_NOTIFY)) {
            notifyParent(hwnd, BN_DOUBLECLICKED);
            // Radio and owner-drawn buttons take the second press as the double click only.
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_OWNERDRAW) return 0;
        }
        [[fallthrough]];
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX) return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        c->mouseDown = true;
        SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_MOUSEMOVE:
        // While pressed, the button shows pushed as long as the cursor is over it.
        if (c->mouseDown && GetCapture() == hwnd) {
            const bool inside = insideClient(hwnd, lParam);
            if (inside != c->pushed) SendMessageW(hwnd, BM_SETSTATE, inside ? TRUE : FALSE, 0);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!c->mouseDown) return 0;
        const bool inside = insideClient(hwnd, lParam);
        c->mouseDown = false;
        ReleaseCapture();
        SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        if (inside) clicked(hwnd, *c, type);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (c->mouseDown) {
            c->mouseDown = false;
            SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam != VK_SPACE) return DefWindowProcW(hwnd, msg, wParam, lParam);  // F1 asks for help
        if (type != BS_GROUPBOX && !c->mouseDown && !c->spaceDown) {
            c->spaceDown = true;
            SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && c->spaceDown) {
            c->spaceDown = false;
            SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            clicked(hwnd, *c, type);
        }
        return 0;
    case WM_ENABLE:
        if (wParam) return 0;
        // A disabled button lets go of a press and of the mouse.
        c->spaceDown = c->mouseDown = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        if (c->pushed) SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (msg == WM_KILLFOCUS) {
            // Losing the focus lets go of a press, by mouse or by key.
            c->spaceDown = false;
            if (c->mouseDown) {
                c->mouseDown = false;
                if (GetCapture() == hwnd) ReleaseCapture();
            }
            if (c->pushed) SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        }
        if (type == BS_OWNERDRAW) drawItem(hwnd, *c, ODA_FOCUS);
        repaint(hwnd);
        return 0;
    case WM_SHOWWINDOW:
        if (type == BS_OWNERDRAW && wParam) drawItem(hwnd, *c, ODA_DRAWENTIRE);
        return 0;
    case WM_PAINT:
        switch (type) {
        case BS_OWNERDRAW: {
            PAINTSTRUCT ps;
            if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
            drawItem(hwnd, *c, ODA_DRAWENTIRE);
            return 0;
        }
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: paintCheck(hwnd, *c, false); return 0;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: paintCheck(hwnd, *c, true); return 0;
        case BS_GROUPBOX: paintGroupBox(hwnd); return 0;
        default: paintPushButton(hwnd, *c, type == BS_DEFPUSHBUTTON); return 0;
        }
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- STATIC ----------------------------------------------------------------------------------------
void releaseImage(Control& c) {
    if (c.ownsImage && c.image) {
        if (GetObjectType(c.image) == OBJ_BITMAP) DeleteObject(c.image);
        else DestroyIcon(static_cast<HICON>(c.image));
    }
    c.image = nullptr;
    c.ownsImage = false;
}

// Shows a new picture and answers the previous one, which is the caller's from now on (even one the
// static loaded itself); without SS_CENTERIMAGE or SS_REALSIZECONTROL the control takes the picture's size.
HANDLE setImage(HWND hwnd, Control& c, HANDLE image, bool owned) {
    HANDLE old = c.image;
    c.image = image;
    c.ownsImage = owned && image;
    const DWORD style = styleOf(hwnd);
    const SIZE size = imageSize(image, (style & SS_TYPEMASK) == SS_ICON);
    if (image && !(style & (SS_CENTERIMAGE | SS_REALSIZECONTROL)) && size.cx > 0 && size.cy > 0)
        SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    repaint(hwnd);
    return old;
}

// A template's "#<id>": the picture of that id in the module the static was made from.
void loadTemplateImage(HWND hwnd, Control& c, const CREATESTRUCTW* cs) {
    if (!cs || !cs->lpszName || reinterpret_cast<uintptr_t>(cs->lpszName) < 0x10000 || cs->lpszName[0] != u'#') return;
    UINT id = 0;
    const char16_t* digit = cs->lpszName + 1;
    for (; *digit >= u'0' && *digit <= u'9' && id <= 0xFFFF; ++digit) id = id * 10 + static_cast<UINT>(*digit - u'0');
    if (*digit || digit == cs->lpszName + 1 || id == 0 || id > 0xFFFF) return;
    const bool icon = (styleOf(hwnd) & SS_TYPEMASK) == SS_ICON;
    const DWORD error = GetLastError();
    HANDLE image = LoadImageW(cs->hInstance, MAKEINTRESOURCEW(id), icon ? IMAGE_ICON : IMAGE_BITMAP, 0, 0, 0);
    SetLastError(error);
    if (image) setImage(hwnd, c, image, true);
}

LRESULT CALLBACK staticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY)
        if (auto c = controlOf(hwnd)) releaseImage(*c);
    if (lifetime(hwnd, msg)) return DefWindowProcW(hwnd, msg, wParam, lParam);
    auto c = controlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const DWORD type = styleOf(hwnd) & SS_TYPEMASK;
    switch (msg) {
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_CREATE:
        if (pictureStatic(type)) loadTemplateImage(hwnd, *c, reinterpret_cast<const CREATESTRUCTW*>(lParam));
        return 0;
    case WM_PAINT: paintStatic(hwnd, *c); return 0;
    case STM_SETIMAGE:
    case STM_SETICON: {
        const WPARAM kind = msg == STM_SETICON ? IMAGE_ICON : wParam;
        const bool fits = (kind == IMAGE_BITMAP && type == SS_BITMAP) || (kind == IMAGE_ICON && type == SS_ICON);
        if (!fits) return 0;
        return reinterpret_cast<LRESULT>(setImage(hwnd, *c, reinterpret_cast<HANDLE>(msg == STM_SETICON ? wParam : lParam), false));
    }
    case STM_GETIMAGE:
    case STM_GETICON: {
        const WPARAM kind = msg == STM_GETICON ? IMAGE_ICON : wParam;
        const bool fits = (kind == IMAGE_BITMAP && type == SS_BITMAP) || (kind == IMAGE_ICON && type == SS_ICON);
        return fits ? reinterpret_cast<LRESULT>(c->image) : 0;
    }
    case kScriptColours: {
        auto* out = reinterpret_cast<platform::dialogs::StaticColours*>(lParam);
        HWND parent = GetParent(hwnd);
        if (!out || !parent) return FALSE;
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc) return FALSE;
        out->brush = reinterpret_cast<HBRUSH>(
            SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
        out->text = GetTextColor(dc);
        DeleteDC(dc);
        return TRUE;
    }
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- EDIT ------------------------------------------------------------------------------------------
void replaceSelection(HWND hwnd, Control& c, std::u16string insert, bool notify) {
    std::u16string text = textOf(hwnd);
    const size_t a = std::min(std::min(c.selStart, c.selEnd), text.size());
    const size_t b = std::min(std::max(c.selStart, c.selEnd), text.size());
    const size_t room = c.limit > text.size() - (b - a) ? c.limit - (text.size() - (b - a)) : 0;
    const bool cut = insert.size() > room;
    if (cut) insert.resize(room);
    if (insert.empty() && a == b) {
        if (cut) notifyParent(hwnd, EN_MAXTEXT);
        return;
    }
    text.replace(a, b - a, insert);
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    repaint(hwnd);
    c.selStart = c.selEnd = a + insert.size();
    if (cut) notifyParent(hwnd, EN_MAXTEXT);
    if (notify) notifyParent(hwnd, EN_CHANGE);
}

// The clipboard's text for an edit: put there as CF_UNICODETEXT, or read back (empty when there is none
// or the clipboard cannot be opened).
void putOnClipboard(HWND hwnd, const std::u16string& text) {
    if (!OpenClipboard(hwnd)) return;
    EmptyClipboard();
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR))) {
        if (auto* p = static_cast<WCHAR*>(GlobalLock(mem))) {
            std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
            GlobalUnlock(mem);
        }
        if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    }
    CloseClipboard();
}

std::u16string clipboardText(HWND hwnd) {
    std::u16string text;
    if (!OpenClipboard(hwnd)) return text;
    if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
        const size_t units = GlobalSize(mem) / sizeof(WCHAR);
        if (const auto* p = static_cast<const WCHAR*>(GlobalLock(mem))) {
            size_t n = 0;
            while (n < units && p[n]) ++n;
            text.assign(p, n);
            GlobalUnlock(mem);
        }
    }
    CloseClipboard();
    return text;
}

std::u16string selectedText(HWND hwnd, const Control& c) {
    const std::u16string text = textOf(hwnd);
    const size_t a = std::min(std::min(c.selStart, c.selEnd), text.size());
    const size_t b = std::min(std::max(c.selStart, c.selEnd), text.size());
    return text.substr(a, b - a);
}

LRESULT CALLBACK editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (lifetime(hwnd, msg)) {
        const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        if (msg == WM_NCCREATE)
            if (auto c = controlOf(hwnd); c && (styleOf(hwnd) & ES_PASSWORD)) c->passwordChar = u'*';
        return r;
    }
    auto c = controlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const DWORD style = styleOf(hwnd);
    switch (msg) {
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if ((style & ES_MULTILINE) && (style & ES_WANTRETURN)) {
            auto* m = reinterpret_cast<const MSG*>(lParam);
            if (m && m->wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
        }
        return code;
    }
    case WM_CHAR: {
        if (style & ES_READONLY) return 0;
        char16_t ch = static_cast<char16_t>(wParam);
        if (ch == VK_BACK) {
            if (c->selStart == c->selEnd && c->selStart > 0) c->selStart--;
            replaceSelection(hwnd, *c, u"", true);
            return 0;
        }
        if (ch == u'\r' && (style & ES_MULTILINE)) {
            replaceSelection(hwnd, *c, u"\r\n", true);
            return 0;
        }
        if (ch < 0x20) return 0;
        if ((style & ES_NUMBER) && (ch < u'0' || ch > u'9')) return 0;
        if ((style & ES_UPPERCASE) && ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - 32);
        if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
        replaceSelection(hwnd, *c, std::u16string(1, ch), true);
        return 0;
    }
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        c->selStart = c->selEnd = 0;
        notifyParent(hwnd, EN_CHANGE);
        return r;
    }
    case EM_REPLACESEL: {
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        replaceSelection(hwnd, *c, text ? std::u16string(text) : std::u16string(), true);
        return 0;
    }
    case EM_LIMITTEXT: c->limit = wParam ? wParam : 0x7FFFFFFE; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(c->limit);
    case EM_SETPASSWORDCHAR:
        c->passwordChar = static_cast<WCHAR>(wParam);
        SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wParam ? (style | ES_PASSWORD) : (style & ~ES_PASSWORD)));
        repaint(hwnd);
        return 0;
    case EM_GETPASSWORDCHAR: return c->passwordChar;
    case EM_SETREADONLY:
        SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wParam ? (style | ES_READONLY) : (style & ~ES_READONLY)));
        repaint(hwnd);
        return TRUE;
    case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
    case WM_COPY:
    case WM_CUT: {
        // Nothing leaves a password edit; a read-only one only copies.
        if (style & ES_PASSWORD) return 0;
        if (msg == WM_CUT && (style & ES_READONLY)) return 0;
        const std::u16string selected = selectedText(hwnd, *c);
        if (selected.empty()) return 0;
        putOnClipboard(hwnd, selected);
        if (msg == WM_CUT) replaceSelection(hwnd, *c, u"", true);
        return 0;
    }
    case WM_CLEAR:
        if (!(style & ES_READONLY)) replaceSelection(hwnd, *c, u"", true);
        return 0;
    case WM_PASTE: {
        if (style & ES_READONLY) return 0;
        std::u16string text = clipboardText(hwnd);
        if (!(style & ES_MULTILINE)) text = text.substr(0, text.find_first_of(u"\r\n"));  // the first line
        for (char16_t& ch : text) {
            if ((style & ES_UPPERCASE) && ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - 32);
            if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
        }
        if (!text.empty()) replaceSelection(hwnd, *c, text, true);
        return 0;
    }
    case EM_SETSEL: {
        const size_t length = textOf(hwnd).size();
        const auto start = static_cast<intptr_t>(static_cast<int>(wParam));
        const auto end = static_cast<intptr_t>(static_cast<int>(lParam));
        if (start < 0) {
            c->selStart = c->selEnd = std::min(c->selEnd, length);  // no selection, the caret stays
            return 0;
        }
        c->selStart = std::min(static_cast<size_t>(start), length);
        c->selEnd = end < 0 ? length : std::min(static_cast<size_t>(end), length);
        if (c->selStart > c->selEnd) std::swap(c->selStart, c->selEnd);
        return 0;
    }
    case EM_GETSEL: {
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(c->selStart);
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(c->selEnd);
        return MAKELONG(std::min<size_t>(c->selStart, 0xFFFF), std::min<size_t>(c->selEnd, 0xFFFF));
    }
    case WM_PAINT: paintEdit(hwnd, *c); return 0;
    case WM_SETFOCUS: notifyParent(hwnd, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyParent(hwnd, EN_KILLFOCUS); return 0;
    case kScriptShownText: {
        auto* out = reinterpret_cast<std::u16string*>(lParam);
        if (!out) return FALSE;
        *out = textOf(hwnd);
        if ((style & ES_PASSWORD) && c->passwordChar) *out = std::u16string(out->size(), c->passwordChar);
        return TRUE;
    }
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- COMBOBOX --------------------------------------------------------------------------------------
void showCurrent(HWND hwnd, const Control& c) {
    const std::u16string text = c.current >= 0 ? c.items[static_cast<size_t>(c.current)].first : std::u16string();
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    repaint(hwnd);
}

LRESULT CALLBACK comboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (lifetime(hwnd, msg)) return DefWindowProcW(hwnd, msg, wParam, lParam);
    auto c = controlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const auto count = static_cast<int>(c->items.size());
    const int index = static_cast<int>(wParam);
    switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_PAINT: paintCombo(hwnd, *c); return 0;
    case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        if (!text) return CB_ERR;
        std::u16string s(text);
        size_t at = c->items.size();
        if (msg == CB_INSERTSTRING) {
            if (index > count) return CB_ERR;
            if (index >= 0) at = static_cast<size_t>(index);
        } else if (styleOf(hwnd) & CBS_SORT) {
            const std::u16string key = platform::detail::foldCase(s);
            at = 0;
            while (at < c->items.size() && platform::detail::foldCase(c->items[at].first) <= key) ++at;
        }
        c->items.insert(c->items.begin() + static_cast<ptrdiff_t>(at), {s, 0});
        if (c->current >= static_cast<int>(at)) ++c->current;
        return static_cast<LRESULT>(at);
    }
    case CB_DELETESTRING:
        if (index < 0 || index >= count) return CB_ERR;
        c->items.erase(c->items.begin() + index);
        if (c->current == index) {
            c->current = -1;
            showCurrent(hwnd, *c);
        } else if (c->current > index) {
            --c->current;
        }
        return count - 1;
    case CB_RESETCONTENT:
        c->items.clear();
        c->current = -1;
        showCurrent(hwnd, *c);
        return TRUE;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return c->current;
    case CB_SETCURSEL:
        c->current = index >= 0 && index < count ? index : -1;
        showCurrent(hwnd, *c);
        return c->current;
    case CB_GETLBTEXT:
        if (index < 0 || index >= count || !lParam) return CB_ERR;
        return static_cast<LRESULT>(copyOut(c->items[static_cast<size_t>(index)].first, reinterpret_cast<LPWSTR>(lParam),
                                            c->items[static_cast<size_t>(index)].first.size() + 1));
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= count) return CB_ERR;
        return static_cast<LRESULT>(c->items[static_cast<size_t>(index)].first.size());
    case CB_GETITEMDATA:
        if (index < 0 || index >= count) return CB_ERR;
        return c->items[static_cast<size_t>(index)].second;
    case CB_SETITEMDATA:
        if (index < 0 || index >= count) return CB_ERR;
        c->items[static_cast<size_t>(index)].second = lParam;
        return TRUE;
    case CB_FINDSTRINGEXACT: {
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        if (!text || count == 0) return CB_ERR;
        const int start = index < 0 || index >= count ? -1 : index;
        for (int i = 1; i <= count; ++i) {
            const int k = (start + i) % count;
            if (equalsNoCase(c->items[static_cast<size_t>(k)].first, text)) return k;
        }
        return CB_ERR;
    }
    case kScriptChoose:
        if (index < 0 || index >= count || !IsWindowEnabled(hwnd)) return FALSE;
        c->current = index;
        showCurrent(hwnd, *c);
        notifyParent(hwnd, CBN_SELCHANGE);
        return TRUE;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- msctls_progress32 -----------------------------------------------------------------------------
LRESULT CALLBACK progressBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The bar is painted again when its position or range moved.
LRESULT CALLBACK progressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto c = msg >= PBM_SETRANGE && msg <= PBM_SETRANGE32 ? controlOf(hwnd) : nullptr;
    const auto before = c ? std::make_tuple(c->low, c->high, c->pos) : std::make_tuple(0, 0, 0);
    const LRESULT r = progressBarProc(hwnd, msg, wParam, lParam);
    if (c && std::make_tuple(c->low, c->high, c->pos) != before) repaint(hwnd);
    return r;
}

LRESULT CALLBACK progressBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (lifetime(hwnd, msg)) return DefWindowProcW(hwnd, msg, wParam, lParam);
    auto c = controlOf(hwnd);
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    auto clampPos = [&](int v) { return std::clamp(v, std::min(c->low, c->high), std::max(c->low, c->high)); };
    switch (msg) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        const LRESULT old = MAKELONG(static_cast<WORD>(c->low), static_cast<WORD>(c->high));
        if (msg == PBM_SETRANGE) {
            c->low = static_cast<int>(LOWORD(lParam));
            c->high = static_cast<int>(HIWORD(lParam));
        } else {
            c->low = static_cast<int>(wParam);
            c->high = static_cast<int>(lParam);
        }
        c->pos = clampPos(c->pos);
        return old;
    }
    case PBM_GETRANGE:
        if (auto* r = reinterpret_cast<PPBRANGE>(lParam)) *r = {c->low, c->high};
        return wParam ? c->low : c->high;
    case PBM_SETPOS: {
        const int old = c->pos;
        c->pos = clampPos(static_cast<int>(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        const int old = c->pos;
        c->pos = clampPos(static_cast<int>(static_cast<long long>(old) + static_cast<int>(wParam)));
        return old;
    }
    case PBM_SETSTEP: {
        const int old = c->step;
        c->step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        const int old = c->pos;
        long long next = static_cast<long long>(old) + c->step;
        if (next > std::max(c->low, c->high)) next = std::min(c->low, c->high) + (next - std::max(c->low, c->high));  // starts over
        if (next < std::min(c->low, c->high)) next = std::max(c->low, c->high);
        c->pos = clampPos(static_cast<int>(next));
        return old;
    }
    case PBM_GETPOS: return c->pos;
    case WM_PAINT: paintProgress(hwnd, *c); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// Every control is painted again when it is enabled or disabled or its text changes.
template <WNDPROC Proc>
LRESULT CALLBACK repainting(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT r = Proc(hwnd, msg, wParam, lParam);
    if (msg == WM_ENABLE || msg == WM_SETTEXT) repaint(hwnd);
    return r;
}

// The dialog class: DefDlgProcW, and then the default painting (the class background brush) for a
// dialog whose procedure left its invalid area alone.
LRESULT CALLBACK dialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = DefDlgProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_PAINT && IsWindow(hwnd) && GetUpdateRect(hwnd, nullptr, FALSE)) {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
    }
    return result;
}

}  // namespace

}  // namespace platform::user

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    if (!controls || controls->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::user::ensureBuiltinClasses();
    return TRUE;
}

namespace platform::user {

void ensureBuiltinClasses() {
    static std::mutex once;
    std::lock_guard guard(once);
    {
        std::lock_guard lock(state().mutex);
        if (state().builtinClasses) return;
        state().builtinClasses = true;
    }
    const DWORD error = GetLastError();
    struct Builtin {
        const char16_t* name;
        WNDPROC proc;
        int extra;
    };
    const Builtin builtins[] = {
        {WC_DIALOG, dialogClassProc, DLGWINDOWEXTRA},
        {u"BUTTON", repainting<buttonProc>, 0},
        {u"STATIC", repainting<staticProc>, 0},
        {u"EDIT", repainting<editProc>, 0},
        {u"COMBOBOX", repainting<comboProc>, 0},
        {PROGRESS_CLASSW, repainting<progressProc>, 0},
        {WC_LISTVIEWW, repainting<listViewProc>, 0},
    };
    for (const auto& b : builtins) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
        wc.lpfnWndProc = b.proc;
        wc.cbWndExtra = b.extra;
        wc.lpszClassName = b.name;
        if (b.proc == dialogClassProc) wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        RegisterClassExW(&wc);
    }
    SetLastError(error);
}

}  // namespace platform::user
