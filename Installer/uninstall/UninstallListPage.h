// The uninstaller's first page: the product's local printers, and the buttons to delete one of them,
// delete all (the printers and the whole driver software) or exit. Before a removal starts it refuses
// while a printer to be removed has jobs or, for a multifunction product, while the scan software runs.
#pragma once

#include <string>
#include <vector>

#include "StaticTrans.h"
#include "afx/afxcmn.h"
#include "afx/afxwin.h"
#include "xSkinButton.h"

class CDlg_UnistallMainManage;
struct ModelEntry;

// One listed printer: name (at most 259 characters), port and driver (at most 255 each).
struct PrinterEntry {
    std::u16string printerName;
    std::u16string portName;
    std::u16string driverName;
};

// The printers of the level-2 records whose driver name begins with a model name (case-sensitive), in
// record order and, within a record, model order: a printer matching two models is listed twice. A
// model with an empty name matches nothing. `opensWithFullAccess` says whether a printer may be listed.
std::vector<PrinterEntry> MatchProductPrinters(const std::vector<PRINTER_INFO_2W*>& printers,
                                               const std::vector<ModelEntry>& models,
                                               bool (*opensWithFullAccess)(const std::u16string& name));

// Whether the printer has jobs: opened with default access, as many jobs enumerated as its level-2
// record counts (`cJobs`), and the spooler returning at least one. An empty name or a failure of any
// step counts as none.
bool PrinterHasJobs(const std::u16string& printerName);

class CDlg_Unistall : public CDialog {
public:
    explicit CDlg_Unistall(CDlg_UnistallMainManage* mainWindow);

    const std::vector<PrinterEntry>& Printers() const { return m_Printers; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    afx_msg void OnDeleteAll();
    afx_msg void OnExit();
    afx_msg void OnDeleteOne();
    afx_msg void OnClickList(NMHDR* header, LRESULT* result);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    void EnumerateProductPrinters();
    // The in-use checks, then the hand-over to the progress page.
    void StartUninstall();
    bool ScanSoftwareInUse() const;

    CDlg_UnistallMainManage* m_pMainWindow;
    CBitmap m_bmpBackground;
    CxSkinButton m_btnDeleteAll;
    CxSkinButton m_btnExit;
    CxSkinButton m_btnDeleteOne;
    CStaticTrans m_lblWelcome;
    CListCtrl m_listPrinters;
    std::vector<PrinterEntry> m_Printers;
};
