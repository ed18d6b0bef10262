// An owner-drawn push button painted from skin bitmaps of the program's resource module: one for
// the normal state, one while the mouse is over it, one while it is disabled. It can also act as a
// check box or a radio button. It cannot be pressed from the keyboard.
#pragma once

#include "afx/afxcmn.h"
#include "afx/afxwin.h"

#define WM_SKIN_UNCHECK (WM_USER + 0x100)

class CxSkinButton : public CButton {
public:
    CxSkinButton();
    ~CxSkinButton() override;

    // (Re)loads the skin from the framework's resource module: normal, down, over and disabled
    // bitmaps (one that is missing stays empty and paints as a plain button face); no border, no
    // focus margin, stretched.
    void LoadSkinBitmaps();

protected:
    void PreSubclassWindow() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(LPDRAWITEMSTRUCT item) override;

    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnKillFocus(CWnd* next);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUncheckMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSetCheckMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGetCheckMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    // Paints a skin over a rectangle: 0 at its natural size, 1 stretched, 2 tiled.
    void DrawSkinBitmap(HBITMAP bitmap, CDC* dc, short mode, int left, int top, int right, int bottom);
    void TileSkinBitmap(HBITMAP bitmap, CDC* dc, int left, int top, int right, int bottom);

private:
    void RelayEvent(UINT message, UINT flags, CPoint point);

    bool m_button_down = false;  // the pressed look; nothing sets it
    bool m_Checked = false;
    int m_Style = 0;             // BS_PUSHBUTTON, BS_CHECKBOX or BS_RADIOBUTTON
    bool m_tracking = false;     // the mouse is over the button and its leaving is tracked
    bool m_bLButtonDown = false;
    CToolTipCtrl m_tooltip;
    CBitmap m_bNormal;
    CBitmap m_bDown;  // loaded, never drawn
    CBitmap m_bDisabled;
    CBitmap m_bMask;  // never loaded
    CBitmap m_bOver;
    CBitmap m_bFocus;  // never loaded
    short m_FocusRectMargin = 0;
    COLORREF m_TextColor;
    HRGN hClipRgn = nullptr;  // never made
    BOOL m_Border = FALSE;
    short m_DrawMode = 1;
};
