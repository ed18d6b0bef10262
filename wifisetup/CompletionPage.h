// The wizard's fourth page: the outcome of the set-up, the next step that fits it, and the notice to
// the product's installer when the wizard finishes.
#pragma once

#include "TransparentImage.h"
#include "afx/afxdlgs.h"

class CMyWizard;

// The installer's window class and the message it is told the wizard finished by.
inline constexpr char16_t kSetupWindowClass[] = u"QELMAR SFP WNDCLASS_INS";
inline constexpr UINT WM_SETWIFI_FINISHED = WM_USER + 27;

// On Windows 6 and later lets message 1051 through the message filter (ChangeWindowMessageFilter of
// "user32.dll"); its result, or 0 when it was not called.
BOOL AllowFinishMessage();
// Admits the message, then posts it (0, 0) to the installer's window when there is one.
void NotifyInstallerWindow();

class CCompleteDlg : public CPropertyPage {
    DECLARE_DYNAMIC(CCompleteDlg)
public:
    CCompleteDlg() : CPropertyPage(130) {}
    ~CCompleteDlg() override = default;

    CStatic m_text;
    CTransparentImage m_picture;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // Texts, buttons and picture for the outcome in the wizard record's `result`.
    BOOL OnSetActive() override;
    // Both empty the heading first: Back goes to page 2, Next to page 3 (another set-up).
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;
    BOOL OnWizardFinish() override;

private:
    // Puts `text` into the wizard's heading line and repaints the banner and the heading.
    void SetHeading(LPCWSTR text);
    CMyWizard* wizard_ = nullptr;
};
