#include "ProgressPage.h"

#include "MyWizard.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {
constexpr int kProgressBar = 1008;
constexpr int kNoButtons = 16;
constexpr int kCompletionPage = 4;
}  // namespace

IMPLEMENT_DYNAMIC(CProgressDlg, CPropertyPage)

CProgressDlg::~CProgressDlg() {
    std::unique_lock lock(watchdogMutex_);
    watchdogEnded_.wait(lock, [this] { return watchdogs_ == 0; });
}

void CProgressDlg::DoDataExchange(CDataExchange* dx) {
    CPropertyPage::DoDataExchange(dx);
    DDX_Control(dx, kProgressBar, m_progress);
}

BOOL CProgressDlg::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    wizard_ = static_cast<CMyWizard*>(GetParent());
    m_progress.SetRange32(0, 100);
    m_progress.SetPos(0);
    m_progress.SetStep(2);
    return FALSE;
}

BOOL CProgressDlg::OnSetActive() {
    wizard_->EnableWizardButtons(kNoButtons);
    if (CWnd* cancel = wizard_->GetDlgItem(kWizardCancel)) cancel->EnableWindow(FALSE);
    m_progress.SetPos(0);
    {
        std::lock_guard lock(watchdogMutex_);
        ++watchdogs_;
    }
    HANDLE watchdog = CreateThread(nullptr, 0, ProgressWatchdogThread, static_cast<SetupProgressSite*>(this), 0, nullptr);
    if (watchdog) {
        CloseHandle(watchdog);
    } else {
        // Without a watchdog the page could never be left: the set-up ends as a failure at once.
        OutputDebugStringW(u"set-up watchdog could not be started");
        data->result = kSetupFailed;
        ShowCompletionPage();
        EnableCancel();
    }
    return TRUE;
}

void CProgressDlg::StepProgress() { wizard_->PostMessage(kSetupStepMessage, 0, 0); }

void CProgressDlg::ShowCompletionPage() { wizard_->PostMessage(kSetupShowPageMessage, kCompletionPage, 0); }

void CProgressDlg::EnableCancel() {
    wizard_->PostMessage(kSetupEnableCancelMessage, 0, 0);
    std::lock_guard lock(watchdogMutex_);
    --watchdogs_;
    watchdogEnded_.notify_all();
}
