// The settings dialog of the scan-button program: the folder that receives the scans (chosen only
// with Browse) and what happens after a scan; the choices are kept in "pushscan_settings.dat".
#pragma once

#include "afx/afxwin.h"

// The longest folder the edit takes, and the bound of the folder with its backslash.
#define SAVE_FOLDER_MAX_CHARS 200
// The folder browser's flags: file-system folders only, not below the domain, an edit box, the new
// dialog style, computers.
#define SAVE_FOLDER_BROWSE_FLAGS 0x1053

class CScanManagerDlg : public CDialog {
public:
    explicit CScanManagerDlg(CWnd* pParent = nullptr);

    // The settings file into the members; with no file the defaults, written at once.
    void LoadSettings();
    // The members into the settings file (created or truncated); FALSE when it cannot be written.
    BOOL SaveSettings();

    CString m_strSaveFolder;
    int m_bAutoOpen = 0;
    int m_bOpenFolder = 1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnBrowse();
    afx_msg void OnHelp();
    DECLARE_MESSAGE_MAP()

private:
    // Shows the string in the error box and puts the focus on the folder edit.
    void ReportFolderError(UINT nStringId);
    // Whether a fresh file can be made in the folder (with its backslash): made and deleted again.
    static BOOL CanWriteIn(LPCWSTR pszFolder);

    HICON m_hIcon = nullptr;
};
