#include "StaticTrans.h"

IMPLEMENT_DYNAMIC(CStaticTrans, CStatic)

BEGIN_MESSAGE_MAP(CStaticTrans, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

HBRUSH CStaticTrans::CtlColor(CDC* dc, UINT) {
    if (m_brBkgnd.GetSafeHandle()) m_brBkgnd.DeleteObject();
    if (m_crBkColor == 0xFFFFFFFF) {
        dc->SetBkMode(TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    // An opaque label: its own colours, on a brush it keeps until the next repaint.
    dc->SetTextColor(m_crTextColor);
    dc->SetBkColor(m_crBkColor);
    m_brBkgnd.CreateSolidBrush(m_crBkColor);
    return static_cast<HBRUSH>(m_brBkgnd.GetSafeHandle());
}

void CStaticTrans::OnMouseMove(UINT flags, CPoint point) {
    if (m_ToolTip.GetSafeHwnd()) {
        MSG msg{m_hWnd, WM_MOUSEMOVE, flags, MAKELPARAM(point.x, point.y), 0, point};
        m_ToolTip.RelayEvent(&msg);
    }
    CStatic::OnMouseMove(flags, point);
}
