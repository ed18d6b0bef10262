// The uninstaller's completion page.
#include "UninstallCompletePage.h"

#include "MainManage.h"
#include "SetupResources.h"
#include "SetupTexts.h"
#include "SystemQueries.h"
#include "afx/afxres.h"
#include "win/user.h"

Cdlg_UnistallComplete::Cdlg_UnistallComplete(CDlg_UnistallMainManage* mainWindow)
    : CDialog(IDD_UNINSTALL_COMPLETE, mainWindow), m_pMainWindow(mainWindow) {}

void Cdlg_UnistallComplete::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_COMPLETE_LABEL, m_lblDone);
    DDX_Control(dx, IDOK, m_btnFinish);
}

BEGIN_MESSAGE_MAP(Cdlg_UnistallComplete, CDialog)
    ON_BN_CLICKED(IDOK, OnFinish)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL Cdlg_UnistallComplete::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pMainWindow->UseBitmapResources();
    m_bmpBackground.DeleteObject();
    m_bmpBackground.LoadBitmap(IDB_PAGE_BACKGROUND);
    m_btnFinish.LoadSkinBitmaps();
    m_pMainWindow->UseLanguageResources();

    const uninstall::ControlText texts[] = {{IDC_COMPLETE_LABEL, IDS_UNINSTALLED}, {IDOK, IDS_FINISH}};
    uninstall::SetDialogTexts(GetSafeHwnd(), texts, static_cast<int>(std::size(texts)));
    SetOutcomeText();
    return TRUE;
}

void Cdlg_UnistallComplete::SetOutcomeText() {
    if (!m_pMainWindow->m_bRemovalIncomplete) return;
    std::u16string text;
    if (!uninstall::LoadResourceText(IDS_UNINSTALL_INCOMPLETE, text))
        uninstall::LoadResourceText(IDS_UNINSTALL_INCOMPLETE, text, AfxGetInstanceHandle());
    SetDlgItemTextW(GetSafeHwnd(), IDC_COMPLETE_LABEL,
                    uninstall::ReplaceHeading(std::move(text), uninstall::ProductHeading()).c_str());
}

BOOL Cdlg_UnistallComplete::PreTranslateMessage(MSG* msg) {
    if (IsFilteredKeyMessage(msg, false)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL Cdlg_UnistallComplete::OnEraseBkgnd(CDC* dc) {
    return StretchPageBackground(*this, dc, m_bmpBackground) ? TRUE : CDialog::OnEraseBkgnd(dc);
}

void Cdlg_UnistallComplete::OnFinish() {
    // Both texts before the language library is freed.
    const std::u16string caption = uninstall::LoadHeadedText(IDS_CAPTION);
    const std::u16string question = uninstall::LoadHeadedText(IDS_RESTART_QUESTION);
    if (m_pMainWindow->m_nRemovalMode == kRemoveOne) {
        m_pMainWindow->m_bDeleteSelf = 0;
        m_pMainWindow->PostMessage(WM_CLOSE);
        return;
    }
    // The close posted here is handled while the question is open: the main window ends and starts
    // the batch that deletes the program once it has ended.
    m_pMainWindow->m_bDeleteSelf = 1;
    m_pMainWindow->PostMessage(WM_CLOSE);
    m_pMainWindow->RemoveProductFolder();
    if (MessageBoxW(GetSafeHwnd(), question.c_str(), caption.c_str(), MB_OKCANCEL | m_pMainWindow->MessageBoxLayout()) == IDOK)
        uninstall::RebootSystem();
}
