// The uninstaller's completion page: after one printer it simply closes the program; after the whole
// product it removes the product folder, arranges the program's self-deletion and offers a restart.
#pragma once

#include "StaticTrans.h"
#include "afx/afxwin.h"
#include "xSkinButton.h"

class CDlg_UnistallMainManage;

class Cdlg_UnistallComplete : public CDialog {
public:
    explicit Cdlg_UnistallComplete(CDlg_UnistallMainManage* mainWindow);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    afx_msg void OnFinish();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    // The label: the success text, or after an incomplete run the text that asks for a second run
    // (the program's own where the language library lacks it).
    void SetOutcomeText();

    CDlg_UnistallMainManage* m_pMainWindow;
    CBitmap m_bmpBackground;
    CStaticTrans m_lblDone;
    CxSkinButton m_btnFinish;
};
