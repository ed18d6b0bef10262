#include "MyWizard.h"

#include "CompletionPage.h"
#include "NetworkDetailsPage.h"
#include "NetworkListPage.h"
#include "ProgressPage.h"
#include "printer_frames.h"
#include "startup.h"
#include "usb_port.h"

namespace {
constexpr UINT kWizardTemplate = 140;
constexpr UINT kConfirmCancelText = 137, kPortBusyForInfoText = 158, kPortBusyForSetupText = 159;
constexpr UINT kBannerBitmap = 131, kRightToLeftBannerBitmap = 147;
constexpr UINT kPageTemplates[] = {141, 129, 131, 130};
}  // namespace

UINT WizardBoxReadingFlags() {
    const LCID locale = GetSystemDefaultLCID();
    const bool arabic = locale >= 1025 && locale <= 16385 && (locale - 1025) % 1024 == 0;
    return arabic || locale == 1037 ? MB_RTLREADING | MB_RIGHT : 0;
}

BEGIN_MESSAGE_MAP(CMyWizard, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(kWizardNext, OnBtnNext)
    ON_BN_CLICKED(kWizardBack, OnBtnBack)
    ON_BN_CLICKED(kWizardCancel, OnBtnCancel)
    ON_WM_CLOSE()
    ON_BN_CLICKED(kWizardFinish, OnBtnFinish)
    ON_BN_CLICKED(kWizardRefresh, OnBtnRefresh)
    ON_BN_CLICKED(kWizardPrintInfo, OnBtnPrintInfo)
    ON_WM_HELPINFO()
    ON_MESSAGE(kSetupStepMessage, OnSetupStep)
    ON_MESSAGE(kSetupShowPageMessage, OnSetupShowPage)
    ON_MESSAGE(kSetupEnableCancelMessage, OnSetupEnableCancel)
END_MESSAGE_MAP()

CMyWizard::CMyWizard(CWnd* parent) : CDialog(kWizardTemplate, parent) {}

CMyWizard::~CMyWizard() {
    // The pages' windows are children of the wizard's and went with it; unlink iteratively.
    while (pages_) pages_ = std::move(pages_->next);
}

void CMyWizard::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kWizardBanner, m_banner);
    DDX_Control(dx, kWizardHeading, m_heading);
}

BOOL CMyWizard::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CMyWizard::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText(m_title.IsEmpty() ? LoadWizardTitle().c_str() : m_title.GetString());
    m_heading.SetWindowText(u"");
    m_banner.Invalidate();
    m_heading.Invalidate();
    SetStaticBitmap(m_banner, RtlLanguageFlags.hebrew || RtlLanguageFlags.arabic ? kRightToLeftBannerBitmap
                                                                                 : kBannerBitmap);
    // The page area is the placeholder's rectangle in the wizard's client coordinates.
    GetDlgItem(kWizardPageArea)->GetWindowRect(&pageArea_);
    ScreenToClient(&pageArea_);
    AddPage(new CSSIDListDlg, kPageTemplates[0]);
    AddPage(new CSSIDDetailDlg, kPageTemplates[1]);
    AddPage(new CProgressDlg, kPageTemplates[2]);
    AddPage(new CCompleteDlg, kPageTemplates[3]);
    ShowPage(1);
    return TRUE;
}

void CMyWizard::AddPage(CPropertyPage* page, UINT templateId) {
    auto node = std::make_unique<PageNode>();
    node->page.reset(page);
    page->Create(templateId, this);
    page->ShowWindow(SW_HIDE);
    page->MoveWindow(pageArea_.left, pageArea_.top, pageArea_.right - pageArea_.left, pageArea_.bottom - pageArea_.top,
                     TRUE);
    node->id = ++lastId_;
    std::unique_ptr<PageNode>* end = &pages_;
    while (*end) end = &(*end)->next;
    *end = std::move(node);
}

void CMyWizard::ShowPage(int id) {
    for (PageNode* node = pages_.get(); node; node = node->next.get()) {
        if (node->id != id) {
            node->page->ShowWindow(SW_HIDE);
            continue;
        }
        GetSystemMenu(FALSE)->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | (id == 3 ? MF_GRAYED : MF_ENABLED));
        node->page->ShowWindow(SW_SHOW);
        node->page->OnSetActive();
        current_ = node;
    }
}

void CMyWizard::EnableWizardButtons(int mask) {
    const struct {
        int bit;
        int id;
    } buttons[] = {{kEnableBack, kWizardBack},
                   {kEnableNext, kWizardNext},
                   {kEnableFinish, kWizardFinish},
                   {kEnablePrintInfo, kWizardPrintInfo},
                   {kEnableRefresh, kWizardRefresh}};
    for (const auto& button : buttons)
        if (CWnd* control = GetDlgItem(button.id)) control->EnableWindow((mask & button.bit) != 0);
}

void CMyWizard::ShowWizardButton(int id, BOOL show) {
    if (CWnd* control = GetDlgItem(id)) control->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CMyWizard::ShowWizardButtons(BOOL back, BOOL next, BOOL finish, BOOL printInfo, BOOL cancel, BOOL refresh) {
    ShowWizardButton(kWizardBack, back);
    ShowWizardButton(kWizardNext, next);
    ShowWizardButton(kWizardFinish, finish);
    ShowWizardButton(kWizardPrintInfo, printInfo);
    ShowWizardButton(kWizardCancel, cancel);
    ShowWizardButton(kWizardRefresh, refresh);
}

void CMyWizard::SetStaticBitmap(CStatic& control, UINT bitmapId) {
    RECT client{};
    control.GetClientRect(&client);
    HANDLE bitmap = LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP,
                               client.right - client.left, client.bottom - client.top, LR_DEFAULTCOLOR);
    control.ModifyStyle(0x0F, SS_BITMAP | SS_CENTERIMAGE);
    control.SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

int CMyWizard::FrameBox(UINT id, UINT type) {
    CString text;
    text.LoadString(id);
    return MessageBox(text.GetString(), u"", type | WizardBoxReadingFlags());
}

int CMyWizard::ConfirmCancel() { return FrameBox(kConfirmCancelText, MB_OKCANCEL | MB_ICONQUESTION); }

CPropertyPage* CMyWizard::CurrentPage() const { return current_ ? current_->page.get() : nullptr; }
int CMyWizard::CurrentPageId() const { return current_ ? current_->id : 0; }

CPropertyPage* CMyWizard::PageOf(int id) const {
    for (PageNode* node = pages_.get(); node; node = node->next.get())
        if (node->id == id) return node->page.get();
    return nullptr;
}

void CMyWizard::Follow(LRESULT answer, int neighbour) {
    if (answer == 0) ShowPage(neighbour);
    else if (answer != -1) ShowPage(static_cast<int>(answer));
}

void CMyWizard::OnBtnNext() {
    if (!current_) return;
    const LRESULT answer = current_->page->OnWizardNext();
    if (answer == 0 && current_->id == 2 && IsPrintPortBusy()) {
        FrameBox(kPortBusyForSetupText, MB_OK);
        return;
    }
    Follow(answer, current_->id + 1);
}

void CMyWizard::OnBtnBack() {
    if (!current_) return;
    Follow(current_->page->OnWizardBack(), current_->id - 1);
}

void CMyWizard::OnBtnCancel() {
    if (ConfirmCancel() == IDOK) CDialog::OnCancel();
}

void CMyWizard::OnClose() {
    const int result = GetWizardData().result;
    if (result == 0 || result == 1) {
        if (current_ && current_->page->OnWizardFinish()) CDialog::OnClose();
        return;
    }
    if (ConfirmCancel() == IDOK) CDialog::OnClose();
}

void CMyWizard::OnBtnFinish() {
    if (current_ && current_->page->OnWizardFinish()) EndDialog(IDCANCEL);
}

void CMyWizard::OnBtnRefresh() {
    // Only the list page has a list to refresh.
    if (current_ && current_->id == 1) static_cast<CSSIDListDlg*>(current_->page.get())->RefreshNetworkList();
}

void CMyWizard::OnBtnPrintInfo() {
    if (IsPrintPortBusy()) {
        FrameBox(kPortBusyForInfoText, MB_OK);
        return;
    }
    SendPrintWifiInfoPage(FindPrinterUsbPort());
}

BOOL CMyWizard::OnHelpInfo(HELPINFO*) { return FALSE; }

LRESULT CMyWizard::OnSetupStep(WPARAM, LPARAM) {
    if (auto* progress = dynamic_cast<CProgressDlg*>(PageOf(3))) progress->m_progress.StepIt();
    return 0;
}

LRESULT CMyWizard::OnSetupShowPage(WPARAM page, LPARAM) {
    ShowPage(static_cast<int>(page));
    return 0;
}

LRESULT CMyWizard::OnSetupEnableCancel(WPARAM, LPARAM) {
    if (CWnd* cancel = GetDlgItem(kWizardCancel)) cancel->EnableWindow(TRUE);
    return 0;
}
