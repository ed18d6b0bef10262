// The modeless note.
#include "MsgDlg.h"

#include "DialogResources.h"

CMsgDlg::CMsgDlg(CWnd* pParent) : CDialog(IDD_MSG_DIALOG, pParent) {}

BOOL CMsgDlg::Create(CWnd* pParent) { return CDialog::Create(IDD_MSG_DIALOG, pParent); }
