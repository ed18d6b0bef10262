// The scan application's main dialog: never on screen. It loads the image-encoding library, opens the
// data source by product name and shows the source's interface; on each transfer-ready notification it
// runs the transfer loop, saves the pages where the source's settings file says and does the after-scan
// action; it ends when the source asks to be closed.
#pragma once

#include <cstddef>

#include "ImgSaveSettings.h"
#include "ScanTransfer.h"
#include "afx/afxwin.h"
#include "TesmarResource.h"

// Sent by the data source's interface: take the caption of the active window.
#define WM_SYNC_CAPTION 0x943
// The source's private capability that the program sets to TRUE once the source is open.
#define CAP_SCANAPP_PRESENT 0x8123
// The settings file the source's interface writes into the settings folder.
#define SAVE_SETTINGS_FILE u"imgSaveSettings.dat"

class CTesmarDlg : public CDialog, public CScanTransfer {
public:
    enum { IDD = IDD_TESMAR_DIALOG };
    explicit CTesmarDlg(const char* productName, CWnd* parent = nullptr);
    ~CTesmarDlg() override;

    // CTwain: closing also ends the dialog; notifications go through the dialog's message.
    BOOL CloseSource() override;
    LRESULT ProcessSourceMessage(TW_UINT16 message) override;

    // The transfer loop of one transfer-ready notification, then the after-scan action.
    void TransferImage();
    // The settings record and the output path from the settings file (see ParseSaveSettings).
    void ReadSaveSettings();
    // Mail the saved files, or open the last one and/or their folder.
    void DoAfterScan();
    void SentToEmail();
    // Starts "<prefix>mail.exe" beside the program, hidden, with the file list as its command line.
    BOOL UseMAPItoSendEmail(const CString& fileList);

protected:
    HICON m_hIcon = nullptr;
    const char* m_pszProductName;
    BOOL m_bCloseRequested = FALSE;  // a close request that came while the transfer loop ran

    BOOL OnInitDialog() override;
    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnHide();
    afx_msg LRESULT OnTwainMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSyncCaption(WPARAM wParam, LPARAM lParam);
    afx_msg void OnClose();
    DECLARE_MESSAGE_MAP()

private:
    // The source cannot be had: string 8025 of the language library in a box, and the dialog ends.
    void RefuseSource();
    // The settings folder + "imgSaveSettings.dat"; FALSE when there is none.
    static BOOL GetSaveSettingsPath(WCHAR* path /*[MAX_PATH]*/);
    // The saved files as the mail programs take them: a blank, then each path quoted and followed by a blank.
    CString SavedFileList() const;
};

// The dialog the TWAIN callback reaches, and the manual-duplex event once opened.
extern CTesmarDlg* g_pTesmarDlg;
extern HANDLE g_hManualDuplexEvent;

// The settings record from the bytes of a settings file: only a whole record of 2100 bytes is taken,
// each text ends within its 260 characters. FALSE (record untouched) for anything shorter.
BOOL ParseSaveSettings(const BYTE* data, size_t size, ImgSaveSettings& settings);
// Folder + backslash (when missing) + name + "." + extension; FALSE and empty when the folder is empty
// or the path would not fit in MAX_PATH characters.
BOOL BuildOutputPath(const ImgSaveSettings& settings, WCHAR* path /*[MAX_PATH]*/);
