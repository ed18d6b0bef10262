#include "NetworkListPage.h"

#include "MyWizard.h"
#include "startup.h"

namespace {
constexpr int kPrompt = 1027, kList = 1000, kPrinterListNote = 1028, kManual = 1026, kNameLabel = 1029,
              kName = 1002;
}  // namespace

BEGIN_MESSAGE_MAP(CSSIDListDlg, CPropertyPage)
    ON_NOTIFY(LVN_COLUMNCLICK, kList, OnColumnClick)
    ON_BN_CLICKED(kManual, OnManualClicked)
    ON_EN_CHANGE(kName, OnNameChange)
    ON_NOTIFY(LVN_ITEMCHANGED, kList, OnItemChanged)
    ON_NOTIFY(NM_DBLCLK, kList, OnDoubleClick)
END_MESSAGE_MAP()

void CSSIDListDlg::DoDataExchange(CDataExchange* dx) {
    CPropertyPage::DoDataExchange(dx);
    DDX_Control(dx, kList, m_list);
    DDX_Control(dx, kManual, m_manual);
    DDX_Control(dx, kName, m_name);
}

BOOL CSSIDListDlg::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_name.SendMessage(EM_LIMITTEXT, 32);
    wizard_ = static_cast<CMyWizard*>(GetParent());
    if (m_list.InitNetworkList() != 0) {
        m_manual.SetCheck(BST_CHECKED);
        m_name.SetFocus();
    }
    m_list.SortNetworks();
    UpdateLayout();
    UpdateNextButton();
    return TRUE;
}

BOOL CSSIDListDlg::OnSetActive() {
    UpdateLayout();
    UpdateNextButton();
    return TRUE;
}

void CSSIDListDlg::UpdateLayout() {
    const int check = m_manual.GetCheck();
    if (check != BST_CHECKED && check != BST_UNCHECKED) return;
    const BOOL manual = check == BST_CHECKED;
    wizard_->ShowWizardButtons(FALSE, TRUE, FALSE, manual, TRUE, !manual);
    wizard_->EnableWizardButtons(manual ? kEnableNext | kEnablePrintInfo : kEnableNext | kEnableRefresh);
    const int show = manual ? SW_SHOW : SW_HIDE, hide = manual ? SW_HIDE : SW_SHOW;
    GetDlgItem(kPrompt)->ShowWindow(hide);
    m_list.ShowWindow(hide);
    m_name.ShowWindow(show);
    GetDlgItem(kNameLabel)->ShowWindow(show);
    GetDlgItem(kPrinterListNote)->ShowWindow(show);
    if (manual) m_name.SetFocus();
    else m_list.SetFocus();
}

void CSSIDListDlg::UpdateNextButton() {
    const BOOL enable = m_manual.GetCheck() == BST_CHECKED ? m_name.GetWindowTextLength() > 0
                                                           : m_list.GetNextItem(-1, LVNI_SELECTED) != -1;
    wizard_->GetDlgItem(kWizardNext)->EnableWindow(enable);
}

LRESULT CSSIDListDlg::OnWizardNext() {
    WizardData& data = GetWizardData();
    if (m_manual.GetCheck() == BST_CHECKED) {
        CString name;
        m_name.GetWindowText(name);
        data.SetSsid(name.GetString());
        return 0;
    }
    // A click on empty list space can leave Next enabled with no row selected: stay on the page.
    const int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    const NetworkItemRecord* record = m_list.RecordOf(row);
    if (!record) {
        wizard_->GetDlgItem(kWizardNext)->EnableWindow(FALSE);
        return -1;
    }
    data.SetSsid(m_list.GetItemText(row, 0).GetString());
    data.securityMode = record->securityMode;
    return 0;
}

void CSSIDListDlg::RefreshNetworkList() {
    wizard_->GetDlgItem(kWizardNext)->EnableWindow(FALSE);
    m_list.FillNetworkList();
    m_list.SortNetworks();
}

void CSSIDListDlg::OnColumnClick(NMHDR* header, LRESULT* result) {
    m_list.OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
    *result = 0;
}

void CSSIDListDlg::OnManualClicked() {
    UpdateLayout();
    UpdateNextButton();
}

void CSSIDListDlg::OnNameChange() { UpdateNextButton(); }

void CSSIDListDlg::OnItemChanged(NMHDR* header, LRESULT* result) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    if (change->uChanged == LVIF_STATE &&
        ((change->uNewState & LVIS_SELECTED) || (change->uOldState == LVIS_SELECTED && change->uNewState == 0)))
        UpdateNextButton();
    *result = 0;
}

void CSSIDListDlg::OnDoubleClick(NMHDR*, LRESULT* result) {
    if (m_list.GetSelectedCount() != 0) wizard_->OnBtnNext();
    *result = 0;
}
