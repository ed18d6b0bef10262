// The modal error box.
#include "ErrorDlg.h"

#include "DialogResources.h"

CDlg_error::CDlg_error(CWnd* pParent) : CDialog(IDD_ERROR_DIALOG, pParent) {}

void CDlg_error::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ERROR_MESSAGE, m_staticMessage);
    DDX_Control(pDX, IDOK, m_btnOK);
}

BEGIN_MESSAGE_MAP(CDlg_error, CDialog)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL CDlg_error::OnInitDialog() {
    CDialog::OnInitDialog();
    CString strText;
    strText.LoadString(IDS_ERROR_TITLE);
    SetWindowText(strText);
    strText.LoadString(IDS_OK);
    SetDlgItemText(IDOK, strText);
    SetDlgItemText(IDC_ERROR_MESSAGE, m_strMessage);
    m_bmpBackground.DeleteObject();
    m_bmpBackground.LoadBitmap(IDB_ERROR_BACKGROUND);
    m_btnOK.LoadSkinBitmaps();
    SetForegroundWindow();
    return TRUE;
}

BOOL CDlg_error::OnEraseBkgnd(CDC* pDC) {
    CRect rcClient;
    GetClientRect(&rcClient);
    pDC->StretchBitmap(m_bmpBackground, rcClient.Width(), rcClient.Height());
    return TRUE;
}

INT_PTR ShowErrorDialog(UINT nStringId, CWnd* pParent) {
    CDlg_error dlg(pParent);
    dlg.m_strMessage.LoadString(nStringId);
    return dlg.DoModal();
}
