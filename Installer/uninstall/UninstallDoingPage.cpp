// The uninstaller's progress page.
#include "UninstallDoingPage.h"

#include "MainManage.h"
#include "SetupResources.h"
#include "SetupTexts.h"
#include "UninstallWorker.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {
constexpr short kProgressLowest = 0;
constexpr short kProgressHighest = 100;
}  // namespace

CDlg_UinstallDoing::CDlg_UinstallDoing(CDlg_UnistallMainManage* mainWindow)
    : CDialog(IDD_UNINSTALL_DOING, mainWindow), m_pMainWindow(mainWindow) {}

CDlg_UinstallDoing::~CDlg_UinstallDoing() {
    if (!m_hThread) return;
    // The worker's last act is the end message, so once the page has seen it this wait is short; a
    // window ended in another way (a test, the session) must not leave the worker on a freed context.
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
}

void CDlg_UinstallDoing::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_DOING_PROGRESS, m_progress);
    DDX_Control(dx, IDC_DOING_LABEL, m_lblDoing);
}

BEGIN_MESSAGE_MAP(CDlg_UinstallDoing, CDialog)
    ON_MESSAGE(uninstall::WM_UNINSTALL_PROGRESS, OnUninstallProgress)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL CDlg_UinstallDoing::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pMainWindow->UseBitmapResources();
    m_bmpBackground.DeleteObject();
    m_bmpBackground.LoadBitmap(IDB_PAGE_BACKGROUND);
    m_pMainWindow->UseLanguageResources();

    const uninstall::ControlText texts[] = {{IDC_DOING_LABEL, IDS_UNINSTALLING}};
    uninstall::SetDialogTexts(GetSafeHwnd(), texts, static_cast<int>(std::size(texts)));

    m_progress.SetRange(kProgressLowest, kProgressHighest);
    m_progress.SetStep(1);
    m_progress.SetPos(0);

    FillRemovalContext();
    m_hThread = CreateThread(nullptr, 0, uninstall::UninstallThreadProc, &m_Context, 0, nullptr);
    if (!m_hThread) m_pMainWindow->RemovalCouldNotStart();
    return TRUE;
}

void CDlg_UinstallDoing::FillRemovalContext() {
    m_Context.mode = m_pMainWindow->m_nRemovalMode;
    m_Context.printerName = m_pMainWindow->m_ChosenPrinter;
    m_Context.driverName = m_pMainWindow->m_ChosenDriver;
    m_Context.sameDriverCount = m_pMainWindow->m_nSameDriverCount;
    m_Context.models.clear();
    for (const ModelEntry& model : m_pMainWindow->m_ModelList) m_Context.models.push_back({model.type, model.name});
    m_Context.multiFuncType = uninstall::MultiFuncType();
    m_Context.progressWindow = GetSafeHwnd();
    m_Context.config = &uninstall::setupConfig();
}

BOOL CDlg_UinstallDoing::PreTranslateMessage(MSG* msg) {
    if (IsFilteredKeyMessage(msg, false)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CDlg_UinstallDoing::OnEraseBkgnd(CDC* dc) {
    return StretchPageBackground(*this, dc, m_bmpBackground) ? TRUE : CDialog::OnEraseBkgnd(dc);
}

LRESULT CDlg_UinstallDoing::OnUninstallProgress(WPARAM wParam, LPARAM lParam) {
    if (wParam == uninstall::kProgressPercent) {
        m_progress.SetPos(static_cast<int>(lParam));
    } else if (wParam == uninstall::kProgressFinished) {
        ShowWindow(SW_HIDE);
        m_pMainWindow->m_bRemovalIncomplete = m_Context.incomplete;
        m_pMainWindow->m_nPageState = kPageFinished;
        m_pMainWindow->ShowCompletePage();
    }
    return 0;
}
