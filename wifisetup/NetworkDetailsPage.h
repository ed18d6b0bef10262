// The wizard's second page: the chosen network's name, its security mode and the key.
#pragma once

#include "EntryFilter.h"
#include "afx/afxdlgs.h"

class CMyWizard;

class CSSIDDetailDlg : public CPropertyPage {
public:
    CSSIDDetailDlg() : CPropertyPage(129) {}

    CEdit m_name;
    MyPasswordEdit m_password;
    CButton m_showPassword;
    CComboBox m_security;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;

    // Hides and disables (or shows and enables) the key's label, box and show-key box.
    void ShowPasswordControls(BOOL hide);
    // Next enabled when a name is there and the key suits the chosen mode.
    void UpdateNextButton();

protected:
    afx_msg void OnShowPassword();
    afx_msg void OnSecurityChange();
    afx_msg void OnEntryChange();
    DECLARE_MESSAGE_MAP()

private:
    // The key's limit for the chosen entry: 26 for WEP, 64 for WPA/WPA2, unchanged for none.
    void LimitPassword();
    CMyWizard* wizard_ = nullptr;
    int maskCharacter_ = 0;
};
