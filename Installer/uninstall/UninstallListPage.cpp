// The uninstaller's printer list page.
#include "UninstallListPage.h"

#include <algorithm>

#include "MainManage.h"

#include "PathGuard.h"
#include "SetupConfig.h"
#include "SetupResources.h"
#include "SetupTexts.h"
#include "SystemQueries.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/spooler.h"

namespace {

constexpr size_t kPrinterNameCapacity = 260;
constexpr size_t kPortNameCapacity = 256;
constexpr size_t kDriverNameCapacity = 256;
constexpr int kPrinterColumnWidth = 210;
constexpr int kPortColumnWidth = 140;

std::u16string cut(LPCWSTR text, size_t capacity) {
    std::u16string value = text ? text : u"";
    if (value.size() > capacity - 1) value.resize(capacity - 1);
    return value;
}

bool opensWithFullAccess(const std::u16string& name) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    std::u16string copy = name;
    if (!OpenPrinterW(copy.data(), &printer, &defaults)) return false;
    ClosePrinter(printer);
    return true;
}

// The level-2 records of the local printers; empty when the spooler gives no size or no records.
std::vector<unsigned char> localPrinters(std::vector<PRINTER_INFO_2W*>& records) {
    DWORD needed = 0, returned = 0;
    if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return {};
    std::vector<unsigned char> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) return {};
    auto* first = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) records.push_back(first + i);
    return buffer;
}

// The jobs the printer's level-2 record counts (`cJobs`); 0 when the record cannot be read.
DWORD reportedJobs(HANDLE printer) {
    DWORD needed = 0;
    if (GetPrinterW(printer, 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || !needed) return 0;
    std::vector<unsigned char> buffer(needed);
    if (!GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return 0;
    return reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->cJobs;
}

}  // namespace

std::vector<PrinterEntry> MatchProductPrinters(const std::vector<PRINTER_INFO_2W*>& printers,
                                               const std::vector<ModelEntry>& models,
                                               bool (*opens)(const std::u16string& name)) {
    std::vector<PrinterEntry> entries;
    for (const PRINTER_INFO_2W* printer : printers) {
        const std::u16string driver = printer->pDriverName ? printer->pDriverName : u"";
        for (const ModelEntry& model : models) {
            if (model.name.empty() || driver.compare(0, model.name.size(), model.name) != 0) continue;
            PrinterEntry entry{cut(printer->pPrinterName, kPrinterNameCapacity), cut(printer->pPortName, kPortNameCapacity),
                               cut(printer->pDriverName, kDriverNameCapacity)};
            if (opens(entry.printerName)) entries.push_back(std::move(entry));
        }
    }
    return entries;
}

bool PrinterHasJobs(const std::u16string& printerName) {
    if (printerName.empty()) return false;
    HANDLE printer = nullptr;
    std::u16string name = printerName;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) return false;
    const DWORD reported = reportedJobs(printer);
    // As many jobs as the printer reports are asked for; the number the spooler returns decides.
    DWORD needed = 0, returned = 0;
    if (reported && !EnumJobsW(printer, 0, reported, 1, nullptr, 0, &needed, &returned) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed) {
        std::vector<unsigned char> jobs(needed);
        if (!EnumJobsW(printer, 0, reported, 1, jobs.data(), needed, &needed, &returned)) returned = 0;
    }
    ClosePrinter(printer);
    return returned != 0;
}

CDlg_Unistall::CDlg_Unistall(CDlg_UnistallMainManage* mainWindow)
    : CDialog(IDD_UNINSTALL_LIST, mainWindow), m_pMainWindow(mainWindow) {}

void CDlg_Unistall::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDOK, m_btnDeleteAll);
    DDX_Control(dx, IDCANCEL, m_btnExit);
    DDX_Control(dx, IDC_LIST_DELETE_ONE, m_btnDeleteOne);
    DDX_Control(dx, IDC_LIST_WELCOME, m_lblWelcome);
    DDX_Control(dx, IDC_LIST_PRINTERS, m_listPrinters);
}

BEGIN_MESSAGE_MAP(CDlg_Unistall, CDialog)
    ON_BN_CLICKED(IDOK, OnDeleteAll)
    ON_BN_CLICKED(IDCANCEL, OnExit)
    ON_BN_CLICKED(IDC_LIST_DELETE_ONE, OnDeleteOne)
    ON_NOTIFY(NM_CLICK, IDC_LIST_PRINTERS, OnClickList)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL CDlg_Unistall::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pMainWindow->UseBitmapResources();
    m_bmpBackground.DeleteObject();
    m_bmpBackground.LoadBitmap(IDB_LIST_BACKGROUND);
    for (CxSkinButton* button : {&m_btnDeleteAll, &m_btnDeleteOne, &m_btnExit}) button->LoadSkinBitmaps();
    m_pMainWindow->UseLanguageResources();

    const uninstall::ControlText texts[] = {
        {IDC_LIST_WELCOME, IDS_WELCOME}, {IDOK, IDS_DELETE_ALL}, {IDC_LIST_DELETE_ONE, IDS_DELETE_ONE}, {IDCANCEL, IDS_EXIT}};
    uninstall::SetDialogTexts(GetSafeHwnd(), texts, static_cast<int>(std::size(texts)));

    // Column headings come without the heading put in; a missing one is empty.
    std::u16string heading;
    m_listPrinters.ModifyStyle(0, LVS_REPORT);
    uninstall::LoadResourceText(IDS_COLUMN_PRINTER, heading);
    m_listPrinters.InsertColumn(0, heading.c_str(), LVCFMT_LEFT, kPrinterColumnWidth);
    uninstall::LoadResourceText(IDS_COLUMN_PORT, heading);
    m_listPrinters.InsertColumn(1, heading.c_str(), LVCFMT_LEFT, kPortColumnWidth);

    EnumerateProductPrinters();
    m_btnDeleteOne.EnableWindow(FALSE);
    for (const PrinterEntry& entry : m_Printers) {
        const int item = m_listPrinters.InsertItem(0, entry.printerName.c_str());
        m_listPrinters.SetItemText(item, 1, entry.portName.c_str());
    }
    return TRUE;
}

void CDlg_Unistall::EnumerateProductPrinters() {
    std::vector<PRINTER_INFO_2W*> records;
    const std::vector<unsigned char> buffer = localPrinters(records);
    m_Printers = MatchProductPrinters(records, m_pMainWindow->m_ModelList, opensWithFullAccess);
}

BOOL CDlg_Unistall::PreTranslateMessage(MSG* msg) {
    if (IsFilteredKeyMessage(msg, true)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CDlg_Unistall::OnEraseBkgnd(CDC* dc) {
    return StretchPageBackground(*this, dc, m_bmpBackground) ? TRUE : CDialog::OnEraseBkgnd(dc);
}

void CDlg_Unistall::OnClickList(NMHDR*, LRESULT* result) {
    const bool one = m_Printers.size() > 1 && m_listPrinters.GetSelectedCount() == 1;
    m_btnDeleteOne.EnableWindow(one ? TRUE : FALSE);
    *result = 0;
}

void CDlg_Unistall::OnDeleteAll() {
    m_pMainWindow->m_nRemovalMode = kRemoveAll;
    StartUninstall();
}

void CDlg_Unistall::OnDeleteOne() {
    m_pMainWindow->m_nRemovalMode = kRemoveOne;
    const int selected = m_listPrinters.GetNextItem(-1, LVNI_SELECTED);
    const CString name = selected >= 0 ? m_listPrinters.GetItemText(selected, 0) : CString();
    m_pMainWindow->m_ChosenPrinter = std::u16string(static_cast<LPCWSTR>(name));
    m_pMainWindow->m_ChosenDriver.clear();
    for (const PrinterEntry& entry : m_Printers) {
        if (entry.printerName == m_pMainWindow->m_ChosenPrinter) {
            m_pMainWindow->m_ChosenDriver = entry.driverName;
            break;
        }
    }
    const std::u16string& driver = m_pMainWindow->m_ChosenDriver;
    m_pMainWindow->m_nSameDriverCount = static_cast<int>(
        std::count_if(m_Printers.begin(), m_Printers.end(), [&](const PrinterEntry& e) { return e.driverName == driver; }));
    StartUninstall();
}

void CDlg_Unistall::OnExit() { m_pMainWindow->PostMessage(WM_CLOSE); }

bool CDlg_Unistall::ScanSoftwareInUse() const {
    const uninstall::SetupConfig& config = uninstall::setupConfig();
    std::u16string pushExe, twainMutex;
    config.ReadConfigText(u"/SERTUP_INFO/CreateFolder/pushexe", pushExe);
    const std::u16string processName(uninstall::fileNamePart(pushExe));
    config.ReadConfigText(u"/SERTUP_INFO/CreateFolder/TwainMutex", twainMutex);
    bool scanApplication = false;
    if (!twainMutex.empty()) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, twainMutex.c_str());
        scanApplication = GetLastError() == ERROR_ALREADY_EXISTS;
        if (mutex) CloseHandle(mutex);
    }
    return scanApplication ||
           (!processName.empty() && uninstall::IsProcessRunning(processName) == uninstall::kProcessFound);
}

void CDlg_Unistall::StartUninstall() {
    bool jobs = false;
    if (m_pMainWindow->m_nRemovalMode == kRemoveOne) {
        jobs = PrinterHasJobs(m_pMainWindow->m_ChosenPrinter);
    } else {
        for (const PrinterEntry& entry : m_Printers)
            if ((jobs = PrinterHasJobs(entry.printerName))) break;
    }
    const UINT layout = MB_OK | m_pMainWindow->MessageBoxLayout();
    if (jobs) {
        m_pMainWindow->ShowTextBox(IDS_PRINTER_BUSY, layout);
        return;
    }
    if (uninstall::IsMultiFunctionProduct() && ScanSoftwareInUse()) {
        m_pMainWindow->ShowTextBox(IDS_SCAN_IN_USE, layout);
        return;
    }
    ShowWindow(SW_HIDE);
    m_pMainWindow->m_nPageState = kPageRemoving;
    m_pMainWindow->ShowProgressPage();
}
