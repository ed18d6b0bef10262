// The uninstaller's progress page: it starts the removal worker, moves its bar as the worker reports,
// and gives way to the completion page when the worker is done.
#pragma once

#include "RemovalContext.h"
#include "StaticTrans.h"
#include "afx/afxcmn.h"
#include "afx/afxwin.h"

class CDlg_UnistallMainManage;

class CDlg_UinstallDoing : public CDialog {
public:
    explicit CDlg_UinstallDoing(CDlg_UnistallMainManage* mainWindow);
    // Waits for a worker that still runs: it works on this page's context.
    ~CDlg_UinstallDoing() override;

    // What the worker was given and what it found (its incomplete mark).
    const uninstall::RemovalContext& Context() const { return m_Context; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // The worker's report: a percentage for the bar, or the end (wParam 289, 530; others ignored).
    afx_msg LRESULT OnUninstallProgress(WPARAM wParam, LPARAM lParam);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    // The worker's context from the main window's members; the worker posts to this page.
    void FillRemovalContext();

    HANDLE m_hThread = nullptr;
    CDlg_UnistallMainManage* m_pMainWindow;
    CProgressCtrl m_progress;
    CBitmap m_bmpBackground;
    CStaticTrans m_lblDoing;
    uninstall::RemovalContext m_Context;
};
