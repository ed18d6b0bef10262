// The wizard window of the wireless set-up utility: a banner, a heading line, the page area and a
// fixed row of buttons. It makes its four pages as child dialogs itself, shows one at a time and
// drives them through the page operations; each page lays out the buttons while it is shown.
#pragma once

#include <memory>

#include "StaticTrans.h"
#include "afx/afxdlgs.h"
#include "afx/afxwin.h"

// Control ids of the wizard's template.
enum WizardControl : int {
    kWizardBanner = 1013,
    kWizardPageArea = 1017,
    kWizardBack = 1018,
    kWizardCancel = 1019,
    kWizardNext = 1020,
    kWizardFinish = 1021,
    kWizardPrintInfo = 1022,
    kWizardRefresh = 1023,
    kWizardHeading = 1024,
};

// Bits of EnableWizardButtons' mask (16 names no button).
enum WizardButtonBit : int {
    kEnableBack = 1,
    kEnableNext = 2,
    kEnableFinish = 4,
    kEnablePrintInfo = 8,
    kEnableRefresh = 32,
};

// MB_RTLREADING and MB_RIGHT when the system's default locale is Arabic or Hebrew, else 0.
UINT WizardBoxReadingFlags();

class CMyWizard : public CDialog {
public:
    explicit CMyWizard(CWnd* parent = nullptr);
    ~CMyWizard() override;

    CString m_title;  // the window title from the command line; empty: "wifi.ini" or the default
    CStatic m_banner;
    CStaticTrans m_heading;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    // Makes `page` a hidden child dialog in the page area from template `templateId`, with the next id.
    void AddPage(CPropertyPage* page, UINT templateId);
    // Shows the page with that id (an unknown one hides all and keeps the current page).
    void ShowPage(int id);
    // Enables the buttons whose bits are set and disables the others (Cancel is never touched).
    void EnableWizardButtons(int mask);
    // Shows or hides one of the wizard's buttons.
    void ShowWizardButton(int id, BOOL show);
    // Shows or hides the whole row, as a page lays it out.
    void ShowWizardButtons(BOOL back, BOOL next, BOOL finish, BOOL printInfo, BOOL cancel, BOOL refresh);
    // Puts bitmap `bitmapId` of the program file into `control`, stretched to its client area.
    void SetStaticBitmap(CStatic& control, UINT bitmapId);
    // Asks whether to cancel; the button pressed.
    int ConfirmCancel();

    CPropertyPage* CurrentPage() const;
    int CurrentPageId() const;
    CPropertyPage* PageOf(int id) const;
    RECT PageArea() const { return pageArea_; }

    afx_msg void OnBtnNext();
    afx_msg void OnBtnBack();
    afx_msg void OnBtnCancel();
    afx_msg void OnClose();
    afx_msg void OnBtnFinish();
    afx_msg void OnBtnRefresh();
    afx_msg void OnBtnPrintInfo();
    afx_msg BOOL OnHelpInfo(HELPINFO* info);
    // The progress page's watchdog calls, arriving on this thread in the order they were made.
    afx_msg LRESULT OnSetupStep(WPARAM, LPARAM);
    afx_msg LRESULT OnSetupShowPage(WPARAM page, LPARAM);
    afx_msg LRESULT OnSetupEnableCancel(WPARAM, LPARAM);

protected:
    DECLARE_MESSAGE_MAP()

private:
    struct PageNode {
        std::unique_ptr<PageNode> next;
        std::unique_ptr<CPropertyPage> page;
        int id = 0;
    };
    // Shows string `id` in a box of the frame's kind.
    int FrameBox(UINT id, UINT type);
    // Goes where a page's Next or Back answer says: `neighbour` for 0, nowhere for -1, else that page.
    void Follow(LRESULT answer, int neighbour);

    std::unique_ptr<PageNode> pages_;
    PageNode* current_ = nullptr;
    int lastId_ = 0;
    RECT pageArea_{};
};
