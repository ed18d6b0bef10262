// The settings dialog.
#include "ScanManagerDlg.h"

#include <cstdio>
#include <string>

#include "DialogResources.h"
#include "ErrorDlg.h"
#include "FolderProbe.h"
#include "ProductConfig.h"
#include "PushScanSettings.h"
#include "afx/afxres.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/resources.h"
#include "win/shell.h"
#include "win/time.h"

namespace {

// Selects the folder shown first once the browser is up.
int CALLBACK BrowseCallbackProc(HWND hwnd, UINT uMsg, LPARAM, LPARAM lpData) {
    if (uMsg == BFFM_INITIALIZED && lpData) SendMessageW(hwnd, BFFM_SETSELECTIONW, FALSE, lpData);
    return 0;
}

}  // namespace

CScanManagerDlg::CScanManagerDlg(CWnd* pParent) : CDialog(IDD_SCANMANAGER_DIALOG, pParent) {
    m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_SCANMANAGER));
}

void CScanManagerDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_EDIT_FOLDER, m_strSaveFolder);
    DDX_Check(pDX, IDC_CHECK_AUTO_OPEN, m_bAutoOpen);
    DDX_Check(pDX, IDC_CHECK_OPEN_FOLDER, m_bOpenFolder);
}

BEGIN_MESSAGE_MAP(CScanManagerDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_BUTTON_BROWSE, OnBrowse)
    ON_BN_CLICKED(ID_HELP, OnHelp)
END_MESSAGE_MAP()

BOOL CScanManagerDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // The folder is only chosen with Browse.
    SendDlgItemMessage(IDC_EDIT_FOLDER, EM_LIMITTEXT, SAVE_FOLDER_MAX_CHARS);
    if (CWnd* pEdit = GetDlgItem(IDC_EDIT_FOLDER)) pEdit->EnableWindow(FALSE);

    LoadSettings();
    UpdateData(FALSE);

    WCHAR szTitle[MAX_PATH];
    GetPushUITitle(szTitle);
    SetWindowText(szTitle);

    const struct {
        int nControl;
        UINT nString;
    } texts[] = {{IDC_STATIC_FOLDER, IDS_FOLDER_LABEL}, {IDC_BUTTON_BROWSE, IDS_BROWSE}, {IDC_CHECK_AUTO_OPEN, IDS_AUTO_OPEN},
                 {IDOK, IDS_OK},                        {IDCANCEL, IDS_CANCEL},          {ID_HELP, IDS_HELP}};
    for (const auto& t : texts) {
        CString strText;
        strText.LoadString(t.nString);
        SetDlgItemText(t.nControl, strText);
    }
    return TRUE;
}

void CScanManagerDlg::LoadSettings() {
    WCHAR szPath[MAX_PATH];
    if (!GetSettingsFilePath(szPath)) szPath[0] = 0;
    PushScanSettings settings;
    if (ReadPushScanSettingsFile(szPath, &settings) == SettingsFileState::Missing && szPath[0]) {
        // First start: the defaults become the file at once. (A short file is left as it is until OK.)
        WritePushScanSettingsFile(szPath, settings);
    }
    m_bAutoOpen = settings.bAutoOpen;
    m_bOpenFolder = settings.bOpenFolder;
    m_strSaveFolder = settings.szSaveFolder;
}

BOOL CScanManagerDlg::SaveSettings() {
    WCHAR szPath[MAX_PATH];
    if (!GetSettingsFilePath(szPath)) return FALSE;
    PushScanSettings settings = {};
    settings.bAutoOpen = m_bAutoOpen;
    settings.bOpenFolder = m_bOpenFolder;
    lstrcpynW(settings.szSaveFolder, m_strSaveFolder, MAX_PATH);
    return WritePushScanSettingsFile(szPath, settings);
}

void CScanManagerDlg::OnPaint() {
    PaintIconWhenMinimised(m_hIcon);
}

HCURSOR CScanManagerDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }

void CScanManagerDlg::OnBrowse() {
    UpdateData(TRUE);
    PIDLIST_ABSOLUTE pidlInitial = nullptr;
    if (!m_strSaveFolder.IsEmpty() && PathFileExistsW(m_strSaveFolder))
        SHParseDisplayName(m_strSaveFolder, nullptr, &pidlInitial, 0, nullptr);

    WCHAR szDisplayName[MAX_PATH] = {0};
    BROWSEINFOW bi = {};
    bi.hwndOwner = GetSafeHwnd();
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = szDisplayName;
    bi.lpszTitle = nullptr;
    bi.ulFlags = SAVE_FOLDER_BROWSE_FLAGS;
    bi.lpfn = BrowseCallbackProc;
    bi.lParam = reinterpret_cast<LPARAM>(pidlInitial);
    PIDLIST_ABSOLUTE pidlChosen = SHBrowseForFolderW(&bi);
    if (pidlChosen) {
        WCHAR szPath[MAX_PATH];
        if (SHGetPathFromIDListW(pidlChosen, szPath)) {
            m_strSaveFolder = szPath;
            UpdateData(FALSE);
        }
        CoTaskMemFree(pidlChosen);
    }
    if (pidlInitial) CoTaskMemFree(pidlInitial);
}

void CScanManagerDlg::OnHelp() {
    WCHAR szHelp[MAX_PATH];
    if (GetHelpFilePath(szHelp)) HtmlHelpW(GetSafeHwnd(), szHelp, HH_DISPLAY_TOPIC, 0);
}

void CScanManagerDlg::ReportFolderError(UINT nStringId) {
    ShowErrorDialog(nStringId, this);
    if (CWnd* pEdit = GetDlgItem(IDC_EDIT_FOLDER)) GotoDlgCtrl(pEdit);
}

BOOL CScanManagerDlg::CanWriteIn(LPCWSTR pszFolder) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    DWORD dwError = 0;
    return ProbeFolder(pszFolder, st, &dwError);
}

void CScanManagerDlg::OnOK() {
    UpdateData(TRUE);
    // A folder at all.
    if (m_strSaveFolder.IsEmpty()) {
        ReportFolderError(IDS_NO_FOLDER);
        return;
    }
    // An existing folder, given whole (not relative).
    std::u16string folder = static_cast<LPCWSTR>(m_strSaveFolder);
    if (folder.back() != u'\\') folder += u'\\';
    const DWORD dwAttributes = GetFileAttributesW(folder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY) || folder[0] == u'.' ||
        folder[0] == u'\\') {
        ReportFolderError(IDS_BAD_FOLDER);
        return;
    }
    // Room for the file names below it.
    if (folder.size() >= SAVE_FOLDER_MAX_CHARS + 1) {
        ReportFolderError(IDS_FOLDER_TOO_LONG);
        return;
    }
    // Files can be made there.
    if (!CanWriteIn(folder.c_str())) {
        ReportFolderError(IDS_CANNOT_WRITE);
        return;
    }
    // Kept, or said that it could not be.
    if (!SaveSettings()) {
        OutputDebugStringW(u"pushscan_settings.dat cannot be written");
        ReportFolderError(IDS_CANNOT_WRITE);
        return;
    }
    EndDialog(IDOK);
}
