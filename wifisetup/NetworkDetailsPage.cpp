#include "NetworkDetailsPage.h"

#include "MyWizard.h"
#include "startup.h"

namespace {
constexpr int kShowPassword = 1001, kName = 1002, kPassword = 1003, kSecurity = 1009, kPasswordLabel = 1025;
constexpr UINT kNoSecurityText = 156;

bool allHexDigits(const CString& text) {
    for (int i = 0; i < text.GetLength(); ++i) {
        const WCHAR c = text[i];
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) return false;
    }
    return true;
}
}  // namespace

BEGIN_MESSAGE_MAP(CSSIDDetailDlg, CPropertyPage)
    ON_WM_PAINT()
    ON_BN_CLICKED(kShowPassword, OnShowPassword)
    ON_CBN_SELCHANGE(kSecurity, OnSecurityChange)
    ON_EN_CHANGE(kName, OnEntryChange)
    ON_EN_CHANGE(kPassword, OnEntryChange)
END_MESSAGE_MAP()

void CSSIDDetailDlg::DoDataExchange(CDataExchange* dx) {
    CPropertyPage::DoDataExchange(dx);
    DDX_Control(dx, kName, m_name);
    DDX_Control(dx, kPassword, m_password);
    DDX_Control(dx, kShowPassword, m_showPassword);
    DDX_Control(dx, kSecurity, m_security);
}

BOOL CSSIDDetailDlg::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_name.SendMessage(EM_LIMITTEXT, 32);
    wizard_ = static_cast<CMyWizard*>(GetParent());
    CString none;
    none.LoadString(kNoSecurityText);
    const LPCWSTR entries[] = {none.GetString(), u"WEP", u"WPA/WPA2"};
    for (int i = 0; i < 3; ++i) m_security.SetItemData(m_security.AddString(entries[i]), static_cast<DWORD_PTR>(i));
    m_security.SetCurSel(0);
    maskCharacter_ = static_cast<int>(m_password.SendMessage(EM_GETPASSWORDCHAR));
    m_password.SetFocus();
    return 0;
}

BOOL CSSIDDetailDlg::OnSetActive() {
    wizard_->ShowWizardButtons(TRUE, TRUE, FALSE, FALSE, TRUE, FALSE);
    wizard_->EnableWizardButtons(kEnableBack | kEnableNext);
    WizardData& data = GetWizardData();
    m_name.SetWindowText(data.GetSsid().c_str());
    if (data.ssidChanged != 0) {
        m_password.SetWindowText(u"");
        data.ssidChanged = 0;
    }
    m_password.SetFocus();
    m_security.SetCurSel(data.securityMode == 0 ? 0 : data.securityMode == 1 ? 1 : 2);
    ShowPasswordControls(data.securityMode == 0);
    UpdateNextButton();
    LimitPassword();
    return TRUE;
}

void CSSIDDetailDlg::ShowPasswordControls(BOOL hide) {
    const int show = hide ? SW_HIDE : SW_SHOW;
    GetDlgItem(kPasswordLabel)->ShowWindow(show);
    m_password.ShowWindow(show);
    m_showPassword.ShowWindow(show);
    m_password.EnableWindow(!hide);
    m_showPassword.EnableWindow(!hide);
}

void CSSIDDetailDlg::UpdateNextButton() {
    CWnd* next = wizard_->GetDlgItem(kWizardNext);
    if (m_name.GetWindowTextLength() == 0) {
        next->EnableWindow(FALSE);
        return;
    }
    CString key;
    m_password.GetWindowText(key);
    BOOL enable = FALSE;
    switch (m_security.GetCurSel()) {
    case 0: enable = TRUE; break;
    case 1: enable = key.GetLength() > 0; break;
    case 2: enable = key.GetLength() >= 8 && (key.GetLength() != 64 || allHexDigits(key)); break;
    default: break;
    }
    next->EnableWindow(enable);
}

void CSSIDDetailDlg::LimitPassword() {
    switch (m_security.GetCurSel()) {
    case 1: m_password.SendMessage(EM_LIMITTEXT, 26); break;
    case 2: m_password.SendMessage(EM_LIMITTEXT, 64); break;
    default: break;
    }
}

void CSSIDDetailDlg::OnSecurityChange() {
    ShowPasswordControls(m_security.GetCurSel() == 0);
    UpdateNextButton();
    LimitPassword();
    m_password.SetWindowText(u"");
}

void CSSIDDetailDlg::OnShowPassword() {
    m_password.SendMessage(EM_SETPASSWORDCHAR, m_showPassword.GetCheck() == BST_CHECKED ? 0 : maskCharacter_);
    m_password.Invalidate();
}

void CSSIDDetailDlg::OnEntryChange() { UpdateNextButton(); }

LRESULT CSSIDDetailDlg::OnWizardNext() {
    WizardData& data = GetWizardData();
    CString text;
    m_name.GetWindowText(text);
    data.SetSsid(text.GetString());
    m_password.GetWindowText(text);
    data.SetPassword(text.GetString());
    data.securityMode = static_cast<int>(m_security.GetItemData(m_security.GetCurSel()));
    return 0;
}

LRESULT CSSIDDetailDlg::OnWizardBack() {
    const int entry = m_security.GetCurSel();
    GetWizardData().securityMode = entry == 0 ? 0 : entry == 1 ? 1 : 3;
    return 0;
}
