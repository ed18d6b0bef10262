// The scan-button program's modal error box: the message on a transparent label over a background
// picture, a skinned OK button; it comes to the foreground even when the program has no other window.
#pragma once

#include "StaticTrans.h"
#include "afx/afxwin.h"
#include "xSkinButton.h"

class CDlg_error : public CDialog {
public:
    explicit CDlg_error(CWnd* pParent = nullptr);

    CString m_strMessage;  // set by the caller before the dialog runs

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    DECLARE_MESSAGE_MAP()

private:
    CStaticTrans m_staticMessage;
    CxSkinButton m_btnOK;
    CBitmap m_bmpBackground;
};

// Shows string nStringId of the language library in a CDlg_error, modally; the dialog's result.
INT_PTR ShowErrorDialog(UINT nStringId, CWnd* pParent = nullptr);
