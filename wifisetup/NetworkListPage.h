// The wizard's first page: the networks this computer sees, or the network name typed by hand.
#pragma once

#include "EntryFilter.h"
#include "MyListCtrl.h"
#include "afx/afxdlgs.h"

class CMyWizard;

class CSSIDListDlg : public CPropertyPage {
public:
    CSSIDListDlg() : CPropertyPage(141) {}

    CMyListCtrl m_list;
    CButton m_manual;
    MySSIDEdit m_name;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    // The wizard's Refresh: the list filled again, with no selection and Next disabled.
    void RefreshNetworkList();
    // The controls and the wizard's buttons for list or manual mode.
    void UpdateLayout();
    // Next enabled exactly when a row is selected (list) or a name is typed (manual).
    void UpdateNextButton();

protected:
    afx_msg void OnColumnClick(NMHDR* header, LRESULT* result);
    afx_msg void OnManualClicked();
    afx_msg void OnNameChange();
    afx_msg void OnItemChanged(NMHDR* header, LRESULT* result);
    afx_msg void OnDoubleClick(NMHDR* header, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    CMyWizard* wizard_ = nullptr;
};
