// Property pages as the wizard uses them: dialogs with the page operations, which a frame of the
// program's own shows and drives (there is no property sheet: no program of the system uses one).
#pragma once

#include "afx/afxwin.h"

class CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)
public:
    CPropertyPage() = default;
    explicit CPropertyPage(UINT templateId) : CDialog(templateId) {}
    // The page is about to be shown; FALSE keeps it from being shown.
    virtual BOOL OnSetActive() { return TRUE; }
    // The page is about to be left; FALSE keeps it.
    virtual BOOL OnKillActive() { return UpdateData(TRUE); }
    // Next and Back: 0 goes to the neighbouring page, -1 stays, another value names the page to go to.
    virtual LRESULT OnWizardNext() { return 0; }
    virtual LRESULT OnWizardBack() { return 0; }
    // Finish: FALSE keeps the wizard open.
    virtual BOOL OnWizardFinish() { return TRUE; }
};
