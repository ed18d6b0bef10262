// The modeless note shown while a saved image is being opened; made and destroyed by its caller.
#pragma once

#include "afx/afxwin.h"

class CMsgDlg : public CDialog {
public:
    explicit CMsgDlg(CWnd* pParent = nullptr);
    using CDialog::Create;
    // Makes the note from its template (modeless); FALSE when it cannot be made.
    BOOL Create(CWnd* pParent = nullptr);
};
