// The wizard's third page: a progress bar while the set-up worker hands the network to the printer.
// Its activation starts the watchdog, whose calls on the page reach the user-interface thread as
// messages posted to the wizard, in the order they were made.
#pragma once

#include <condition_variable>
#include <mutex>

#include "SetupWorker.h"
#include "afx/afxcmn.h"
#include "afx/afxdlgs.h"

class CMyWizard;

// The messages the watchdog's calls become, handled by the wizard on its own thread.
enum SetupPageMessage : UINT {
    kSetupStepMessage = WM_APP + 40,      // one step of the progress bar
    kSetupShowPageMessage = WM_APP + 41,  // wParam: the page to show
    kSetupEnableCancelMessage = WM_APP + 42,
};

class CProgressDlg : public CPropertyPage, public SetupProgressSite {
    DECLARE_DYNAMIC(CProgressDlg)
public:
    CProgressDlg() : CPropertyPage(131) {}
    // Waits for a watchdog still running (its last call on the page is EnableCancel).
    ~CProgressDlg() override;

    CProgressCtrl m_progress;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // Mask 16, Cancel disabled, the bar at 0, and the watchdog started (its handle is not kept).
    BOOL OnSetActive() override;

    // The watchdog's calls, posted to the wizard.
    void StepProgress() override;
    void ShowCompletionPage() override;
    void EnableCancel() override;

private:
    CMyWizard* wizard_ = nullptr;
    std::mutex watchdogMutex_;
    std::condition_variable watchdogEnded_;
    int watchdogs_ = 0;  // started and not yet past their last call
};
