// The launcher's splash dialog: fades in centred on the screen, shows the splash picture stretched over
// its client area, fades out and starts the installer that fits the machine.
#pragma once

#include "afx/afxwin.h"
#include "resource.h"

class CAutorunDlg : public CDialog {
public:
    enum { IDD = IDD_AUTORUN_DIALOG };
    explicit CAutorunDlg(CWnd* parent = nullptr);

    // The installer for this machine: "Setup64.exe" on 64-bit Windows (x64 or IA-64), else "Setup.exe".
    static BOOL IsNativeX64();

protected:
    HICON m_hIcon = nullptr;
    CBitmap m_bmpSplash;
    HMODULE m_hModule = nullptr;
    bool m_bLaunched = false;  // the installer is started once, by the first paint or the timer

    BOOL OnInitDialog() override;
    // Enter, Escape and Space do not dismiss the splash.
    BOOL PreTranslateMessage(MSG* msg) override;

    // Paints, waits, fades out, destroys the splash and starts the installer (once).
    void LaunchSequence();

    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg BOOL OnHelpInfo(HELPINFO* info);
    afx_msg void OnDestroy();
    afx_msg void OnClose();
    afx_msg int OnCreate(LPCREATESTRUCTW create);
    afx_msg void OnTimer(UINT_PTR id);
    DECLARE_MESSAGE_MAP()
};
