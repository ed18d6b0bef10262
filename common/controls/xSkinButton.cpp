#include "xSkinButton.h"

#include <algorithm>

// The skin bitmaps in the program's resource module.
#if defined(SKIN_BITMAPS_OF_SETUP)
constexpr UINT kSkinNormal = 149;
constexpr UINT kSkinDown = 150;
constexpr UINT kSkinOver = 151;
constexpr UINT kSkinDisabled = 152;
#else
constexpr UINT kSkinNormal = 10431;
constexpr UINT kSkinDown = 10429;
constexpr UINT kSkinOver = 10432;
constexpr UINT kSkinDisabled = 10430;
#endif

BEGIN_MESSAGE_MAP(CxSkinButton, CButton)
    ON_WM_ERASEBKGND()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_KILLFOCUS()
    ON_WM_KEYDOWN()
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(WM_SKIN_UNCHECK, OnUncheckMessage)
    ON_MESSAGE(BM_SETCHECK, OnSetCheckMessage)
    ON_MESSAGE(BM_GETCHECK, OnGetCheckMessage)
END_MESSAGE_MAP()

CxSkinButton::CxSkinButton() : m_TextColor(GetSysColor(COLOR_BTNTEXT)) {}

CxSkinButton::~CxSkinButton() {
    m_bFocus.DeleteObject();
    m_bOver.DeleteObject();
    m_bMask.DeleteObject();
    m_bDisabled.DeleteObject();
    m_bDown.DeleteObject();
    m_bNormal.DeleteObject();
    hClipRgn = nullptr;
}

void CxSkinButton::LoadSkinBitmaps() {
    m_bNormal.DeleteObject();
    m_bDown.DeleteObject();
    m_bDisabled.DeleteObject();
    m_bMask.DeleteObject();
    m_bOver.DeleteObject();
    m_bFocus.DeleteObject();
    m_bNormal.LoadBitmap(kSkinNormal);
    m_bDown.LoadBitmap(kSkinDown);
    m_bOver.LoadBitmap(kSkinOver);
    m_bDisabled.LoadBitmap(kSkinDisabled);
    m_Border = FALSE;
    m_FocusRectMargin = 0;
    m_DrawMode = 1;
}

void CxSkinButton::PreSubclassWindow() {
    const DWORD style = GetStyle();
    if ((style & 3) == 3)
        m_Style = BS_CHECKBOX;
    else if ((style & 9) == 9)
        m_Style = BS_RADIOBUTTON;
    else
        m_Style = BS_PUSHBUTTON;
    CButton::PreSubclassWindow();
    ModifyStyle(0, BS_OWNERDRAW, 0);
}

BOOL CxSkinButton::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) return TRUE;
    if (msg->message == WM_KEYUP) return TRUE;
    return FALSE;
}

LRESULT CxSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_LBUTTONDBLCLK) return 1;
    return CButton::WindowProc(message, wParam, lParam);
}

BOOL CxSkinButton::OnEraseBkgnd(CDC*) { return TRUE; }

void CxSkinButton::RelayEvent(UINT message, UINT flags, CPoint point) {
    if (!m_tooltip.GetSafeHwnd()) return;
    MSG msg{m_hWnd, message, flags, MAKELPARAM(point.x, point.y), 0, point};
    m_tooltip.RelayEvent(&msg);
}

void CxSkinButton::OnLButtonDown(UINT flags, CPoint point) {
    RelayEvent(WM_LBUTTONDOWN, flags, point);
    if (m_tracking) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&track)) m_tracking = false;
    }
    CButton::OnLButtonDown(flags, point);
    m_bLButtonDown = true;
}

void CxSkinButton::OnLButtonUp(UINT flags, CPoint point) {
    if (m_Style == BS_CHECKBOX || m_Style == BS_RADIOBUTTON) {
        CPoint screen = point;
        ClientToScreen(&screen);
        if (WindowFromPoint(screen) == m_hWnd) SendMessage(BM_SETCHECK, m_Style == BS_CHECKBOX ? !m_Checked : 1);
    }
    RelayEvent(WM_LBUTTONUP, flags, point);
    m_bLButtonDown = false;
    CButton::OnLButtonUp(flags, point);
}

void CxSkinButton::OnMouseMove(UINT flags, CPoint point) {
    RelayEvent(WM_MOUSEMOVE, flags, point);
    if (m_bLButtonDown && ::GetCapture() == m_hWnd) {
        CPoint screen = point;
        ClientToScreen(&screen);
        const bool over = WindowFromPoint(screen) == m_hWnd;
        if (((GetState() & BST_PUSHED) != 0) != over) {
            SetState(over);
            Invalidate();
        }
    } else if (!m_tracking) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&track)) {
            m_tracking = true;
            Invalidate();
        }
    }
    CButton::OnMouseMove(flags, point);
}

void CxSkinButton::OnLButtonDblClk(UINT flags, CPoint point) { CButton::OnLButtonDblClk(flags, point); }

void CxSkinButton::OnKillFocus(CWnd* next) {
    if (::GetCapture() == m_hWnd) {
        ReleaseCapture();
        m_bLButtonDown = false;
    }
    CButton::OnKillFocus(next);
}

void CxSkinButton::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (key == VK_SPACE) {
        if (m_Style == BS_CHECKBOX) SendMessage(BM_SETCHECK, !m_Checked);
        if (m_Style == BS_RADIOBUTTON) SendMessage(BM_SETCHECK, 1);
    }
    CButton::OnKeyDown(key, repeat, flags);
}

LRESULT CxSkinButton::OnMouseLeave(WPARAM, LPARAM) {
    m_tracking = false;
    Invalidate(TRUE);
    return 0;
}

LRESULT CxSkinButton::OnUncheckMessage(WPARAM, LPARAM) {
    if (m_Checked) {
        m_Checked = false;
        Invalidate();
    }
    return 0;
}

LRESULT CxSkinButton::OnSetCheckMessage(WPARAM wParam, LPARAM) {
    m_Checked = wParam != 0;
    if (m_Style == BS_PUSHBUTTON) m_Checked = false;
    if (m_Style == BS_RADIOBUTTON && wParam) {
        // Unchecks the rest of the dialog group; the walk ends where it began, or after as many steps
        // as the parent has children (a group that never leads back cannot loop).
        HWND parent = ::GetParent(m_hWnd);
        int siblings = 0;
        for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) ++siblings;
        HWND item = m_hWnd;
        for (int step = 0; parent && step < siblings; ++step) {
            item = ::GetNextDlgGroupItem(parent, item, FALSE);
            if (!item || item == m_hWnd) break;
            ::PostMessageW(item, WM_SKIN_UNCHECK, 0, 0);
        }
    }
    Invalidate();
    return 0;
}

LRESULT CxSkinButton::OnGetCheckMessage(WPARAM, LPARAM) { return m_Checked; }

void CxSkinButton::DrawItem(LPDRAWITEMSTRUCT item) {
    CDC* dc = CDC::FromHandle(item->hDC);
    // While the button holds the capture the pushed state follows the cursor; each change repaints.
    POINT cursor{};
    if (m_bLButtonDown && ::GetCapture() == m_hWnd && GetCursorPos(&cursor)) {
        const bool pushed = (GetState() & BST_PUSHED) != 0;
        if (WindowFromPoint(cursor) == m_hWnd) {
            if (!pushed) {
                SetState(TRUE);
                return;
            }
        } else if (pushed) {
            SetState(FALSE);
            return;
        }
    }

    CString caption;
    GetWindowText(caption);
    CRect rect = item->rcItem;
    CRect textRect = rect;
    textRect.left += m_FocusRectMargin + 2;
    textRect.right -= m_FocusRectMargin + 2;
    dc->SetBkMode(TRANSPARENT);

    auto paint = [&](CBitmap& skin) {
        if (skin.GetSafeHandle())
            DrawSkinBitmap(skin, dc, m_DrawMode, rect.left, rect.top, rect.right, rect.bottom);
        else
            dc->FillSolidRect(&rect, GetSysColor(COLOR_BTNFACE));
    };
    if (item->itemState & ODS_DISABLED) {
        paint(m_bDisabled);
        if (m_Border) dc->DrawEdge(&rect, EDGE_RAISED, BF_RECT);
        dc->SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
        dc->DrawText(caption, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        textRect.OffsetRect(-1, -1);
        dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    } else {
        UINT edge = EDGE_RAISED;
        if (m_button_down) {
            paint(m_bDown);
            textRect.OffsetRect(1, 1);
            edge = EDGE_SUNKEN;
        } else if (m_bNormal.GetSafeHandle()) {
            if (m_tracking && m_bOver.GetSafeHandle())
                paint(m_bOver);
            else if ((item->itemState & ODS_FOCUS) && m_bFocus.GetSafeHandle())
                paint(m_bFocus);
            else
                paint(m_bNormal);
        } else {
            paint(m_bNormal);
        }
        if (m_Border) dc->DrawEdge(&rect, edge, BF_RECT);
        if ((item->itemState & ODS_FOCUS) && m_FocusRectMargin > 0) {
            rect.DeflateRect(m_FocusRectMargin, m_FocusRectMargin);
            dc->DrawFocusRect(&rect);
        }
        dc->SetTextColor(m_TextColor);
    }
    dc->DrawText(caption, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void CxSkinButton::DrawSkinBitmap(HBITMAP bitmap, CDC* dc, short mode, int left, int top, int right, int bottom) {
    if (mode == 2) {
        TileSkinBitmap(bitmap, dc, left, top, right, bottom);
        return;
    }
    if (!bitmap) return;
    CDC memory;
    memory.CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory.m_hDC, bitmap);
    const int width = right - left;
    const int height = bottom - top;
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof(info), &info);
    auto put = [&](CDC* target, int x, int y) {
        if (mode == 1)
            target->StretchBlt(x, y, width, height, &memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        else
            target->BitBlt(x, y, width, height, &memory, 0, 0, SRCCOPY);
    };
    if (m_bMask.GetSafeHandle()) {
        // Through the mask, off-screen: picture XOR target, AND mask, XOR picture.
        CDC scratch;
        scratch.CreateCompatibleDC(dc);
        CBitmap surface;
        surface.CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ oldSurface = ::SelectObject(scratch.m_hDC, surface.m_hObject);
        scratch.BitBlt(0, 0, width, height, dc, left, top, SRCCOPY);
        CDC maskDC;
        maskDC.CreateCompatibleDC(dc);
        HGDIOBJ oldMask = ::SelectObject(maskDC.m_hDC, m_bMask.m_hObject);
        if (mode == 1) {
            scratch.StretchBlt(0, 0, width, height, &memory, 0, 0, info.bmWidth, info.bmHeight, SRCINVERT);
            scratch.StretchBlt(0, 0, width, height, &maskDC, 0, 0, info.bmWidth, info.bmHeight, SRCAND);
            scratch.StretchBlt(0, 0, width, height, &memory, 0, 0, info.bmWidth, info.bmHeight, SRCINVERT);
        } else {
            scratch.BitBlt(0, 0, width, height, &memory, 0, 0, SRCINVERT);
            scratch.BitBlt(0, 0, width, height, &maskDC, 0, 0, SRCAND);
            scratch.BitBlt(0, 0, width, height, &memory, 0, 0, SRCINVERT);
        }
        dc->BitBlt(left, top, width, height, &scratch, 0, 0, SRCCOPY);
        ::SelectObject(maskDC.m_hDC, oldMask);
        ::SelectObject(scratch.m_hDC, oldSurface);
    } else {
        put(dc, left, top);
    }
    ::SelectObject(memory.m_hDC, old);
}

void CxSkinButton::TileSkinBitmap(HBITMAP bitmap, CDC* dc, int left, int top, int right, int bottom) {
    if (!bitmap) return;
    BITMAP info{};
    if (!::GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
    CDC memory;
    memory.CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory.m_hDC, bitmap);
    for (int y = top; y < bottom; y += info.bmHeight)
        for (int x = left; x < right; x += info.bmWidth)
            dc->BitBlt(x, y, std::min<int>(info.bmWidth, right - x), std::min<int>(info.bmHeight, bottom - y), &memory, 0, 0, SRCCOPY);
    ::SelectObject(memory.m_hDC, old);
}
