// A static label whose background is not painted: its caption stands on whatever the dialog
// painted behind it. Dialogs subclass a static control of their template with it.
#pragma once

#include "afx/afxcmn.h"
#include "afx/afxwin.h"

class CStaticTrans : public CStatic {
    DECLARE_DYNAMIC(CStaticTrans)
public:
    CStaticTrans() = default;
    ~CStaticTrans() override = default;

protected:
    // The brush the label is painted with: none at all while the background colour is the
    // transparent marker (the caption then keeps the device context's text colour).
    afx_msg HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()

private:
    COLORREF m_crTextColor = RGB(0, 0, 0);
    COLORREF m_crBkColor = 0xFFFFFFFF;  // 0xFFFFFFFF: transparent
    CBrush m_brBkgnd;
    CToolTipCtrl m_ToolTip;
};
