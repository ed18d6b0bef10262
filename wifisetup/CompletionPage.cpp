#include "CompletionPage.h"

#include "MyWizard.h"
#include "SetupWorker.h"
#include "startup.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

constexpr int kOutcomeText = 1010, kOutcomePicture = 1021;
constexpr UINT kCablePicture = 138;
constexpr UINT kJoinedText = 134, kNotJoinedText = 135, kConnectCableText = 138, kJoinedUnreachableText = 141;
constexpr UINT kFailedHeading = 139, kSucceededHeading = 140;

// One row of the outcome table. The row for any other outcome leaves the buttons as page 3 had them.
struct Outcome {
    UINT heading, text;
    bool layOutButtons;
    BOOL back, next, finish, printInfo, cancel, refresh;
    int mask;
    bool picture;
};
const Outcome kJoined{kSucceededHeading, kJoinedText, true, FALSE, FALSE, TRUE, FALSE, FALSE, FALSE, kEnableFinish, false};
const Outcome kJoinedUnreachable{kSucceededHeading, kJoinedUnreachableText, true, FALSE, FALSE, TRUE, FALSE, FALSE, FALSE,
                                 kEnableFinish, false};
// Back shown but left disabled: Next starts another set-up once the cable is in.
const Outcome kOffline{kFailedHeading, kConnectCableText, true, TRUE, TRUE, FALSE, FALSE, TRUE, FALSE, 18, true};
// Only Back, to enter the credentials again.
const Outcome kNotJoined{kFailedHeading, kNotJoinedText, false, FALSE, FALSE, FALSE, FALSE, FALSE, FALSE, kEnableBack,
                         false};

const Outcome& outcomeOf(int result) {
    switch (result) {
    case kSetupReachable: return kJoined;
    case kSetupNotReachable: return kJoinedUnreachable;
    case kSetupOffline: return kOffline;
    default: return kNotJoined;
    }
}

using ChangeWindowMessageFilterProc = BOOL(WINAPI*)(UINT, DWORD);

}  // namespace

BOOL AllowFinishMessage() {
    static_assert(sizeof(OSVERSIONINFOW) == 276);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    if (version.dwMajorVersion <= 5) return 0;
    HMODULE user32 = LoadLibraryW(u"user32.dll");
    if (!user32) return 0;
    const auto change = reinterpret_cast<ChangeWindowMessageFilterProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    BOOL result = 0;
    if (change) result = change(WM_SETWIFI_FINISHED, MSGFLT_ADD);
    FreeLibrary(user32);
    return result;
}

void NotifyInstallerWindow() {
    AllowFinishMessage();
    if (HWND installer = FindWindowW(kSetupWindowClass, nullptr)) PostMessageW(installer, WM_SETWIFI_FINISHED, 0, 0);
}

IMPLEMENT_DYNAMIC(CCompleteDlg, CPropertyPage)

void CCompleteDlg::DoDataExchange(CDataExchange* dx) {
    CPropertyPage::DoDataExchange(dx);
    DDX_Control(dx, kOutcomeText, m_text);
    DDX_Control(dx, kOutcomePicture, m_picture);
}

BOOL CCompleteDlg::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    wizard_ = static_cast<CMyWizard*>(GetParent());
    wizard_->SetStaticBitmap(m_picture, kCablePicture);
    m_picture.ShowWindow(SW_HIDE);
    return 0;
}

BOOL CCompleteDlg::OnSetActive() {
    const Outcome& row = outcomeOf(GetWizardData().result);
    CString text;
    text.LoadString(row.text);
    m_text.SetWindowText(text.GetString());
    if (row.layOutButtons)
        wizard_->ShowWizardButtons(row.back, row.next, row.finish, row.printInfo, row.cancel, row.refresh);
    wizard_->EnableWizardButtons(row.mask);
    m_picture.ShowWindow(row.picture ? SW_SHOW : SW_HIDE);
    CString heading;
    heading.LoadString(row.heading);
    SetHeading(heading.GetString());
    return TRUE;
}

void CCompleteDlg::SetHeading(LPCWSTR text) {
    wizard_->m_heading.SetWindowText(text);
    wizard_->m_banner.Invalidate(TRUE);
    wizard_->m_heading.Invalidate(TRUE);
}

LRESULT CCompleteDlg::OnWizardBack() {
    SetHeading(u"");
    return 2;
}

LRESULT CCompleteDlg::OnWizardNext() {
    SetHeading(u"");
    return 3;
}

BOOL CCompleteDlg::OnWizardFinish() {
    NotifyInstallerWindow();
    return 1;
}
