// The scan application's main dialog: start-up of the source, its notifications, the transfer loop and
// the settings file that the source's interface writes.
#include "TesmarDlg.h"

#include <cstring>

#include "ProductConfig.h"
#include "TesmarApp.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

CTesmarDlg* g_pTesmarDlg = nullptr;
HANDLE g_hManualDuplexEvent = nullptr;

namespace {

// The text of a settings-file field: 260 UTF-16 characters, ended within them.
constexpr size_t kTextField = 260;
constexpr size_t kFolderOffset = 0;
constexpr size_t kNameOffset = 520;
constexpr size_t kExtensionOffset = 1040;
constexpr size_t kOpenFileOffset = 1560;
constexpr size_t kOpenFolderOffset = 1564;
constexpr size_t kSendMailOffset = 1568;
constexpr size_t kMailProgramOffset = 1572;
constexpr size_t kReserved1Offset = 2092;
constexpr size_t kReserved2Offset = 2096;

void readText(const BYTE* data, size_t offset, WCHAR* text) {
    for (size_t i = 0; i < kTextField; ++i)
        text[i] = static_cast<WCHAR>(data[offset + 2 * i] | (data[offset + 2 * i + 1] << 8));
    text[kTextField - 1] = 0;
}

int32_t readInt(const BYTE* data, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | data[offset + static_cast<size_t>(i)];
    return static_cast<int32_t>(value);
}

// A format that saves a file per page: the settings are read again after every page.
bool isPageFormat(int format) {
    return format == CImageSaver::FormatBmp || format == CImageSaver::FormatPng || format == CImageSaver::FormatJpg;
}

// A text of the installation's language library, loaded for it and freed again; `fallback` (or "")
// when the library or the text is missing.
CString languageText(UINT id, LPCWSTR fallback) {
    CString text;
    if (HMODULE language = LoadLanguageLibrary()) {
        text.LoadString(language, id);
        FreeLibrary(language);
    }
    if (text.IsEmpty() && fallback) text = fallback;
    return text;
}

}  // namespace

BOOL ParseSaveSettings(const BYTE* data, size_t size, ImgSaveSettings& settings) {
    if (!data || size < sizeof(ImgSaveSettings)) return FALSE;
    ImgSaveSettings parsed{};
    readText(data, kFolderOffset, parsed.szFolder);
    readText(data, kNameOffset, parsed.szFileName);
    readText(data, kExtensionOffset, parsed.szExtension);
    parsed.nOpenFile = readInt(data, kOpenFileOffset);
    parsed.nOpenFolder = readInt(data, kOpenFolderOffset);
    parsed.nSendMail = readInt(data, kSendMailOffset);
    readText(data, kMailProgramOffset, parsed.szMailProgram);
    parsed.nReserved1 = readInt(data, kReserved1Offset);
    parsed.nReserved2 = readInt(data, kReserved2Offset);
    settings = parsed;
    return TRUE;
}

BOOL BuildOutputPath(const ImgSaveSettings& settings, WCHAR* path) {
    path[0] = 0;
    const int folder = lstrlenW(settings.szFolder);
    if (folder == 0) return FALSE;
    CString joined(settings.szFolder);
    if (settings.szFolder[folder - 1] != u'\\') joined += u"\\";
    joined += settings.szFileName;
    joined += u".";
    joined += settings.szExtension;
    if (joined.GetLength() >= MAX_PATH) {
        OutputDebugStringW(u"CTesmarDlg::ReadSaveSettings: the output path is too long, nothing is saved");
        return FALSE;
    }
    lstrcpynW(path, joined, MAX_PATH);
    return TRUE;
}

CTesmarDlg::CTesmarDlg(const char* productName, CWnd* parent)
    : CDialog(IDD, parent), m_pszProductName(productName) {
    if (CWinApp* app = AfxGetApp()) m_hIcon = app->LoadIcon(IDR_MAINFRAME);
}

CTesmarDlg::~CTesmarDlg() {
    if (g_hManualDuplexEvent) {
        CloseHandle(g_hManualDuplexEvent);
        g_hManualDuplexEvent = nullptr;
    }
    if (g_pTesmarDlg == this) g_pTesmarDlg = nullptr;
    if (g_hTwainMessageWindow && (!m_hWnd || g_hTwainMessageWindow == m_hWnd)) g_hTwainMessageWindow = nullptr;
}

BEGIN_MESSAGE_MAP(CTesmarDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_COMMAND(IDOK, OnHide)
    ON_MESSAGE(WM_TWAIN_MESSAGE, OnTwainMessage)
    ON_MESSAGE(WM_SYNC_CAPTION, OnSyncCaption)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

void CTesmarDlg::RefuseSource() {
    AfxMessageBox(languageText(IDS_DEVICE_BUSY, nullptr));
    CDialog::OnOK();
}

BOOL CTesmarDlg::OnInitDialog() {
    // The icons.
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // The image-encoding library.
    if (!m_imageSaver.LoadImageEncoder()) {
        AfxMessageBox(u"图像编码初始化失败!");
        CDialog::OnOK();
        return TRUE;
    }

    // The data source, by product name.
    InitTwain(m_hWnd);
    SelectSource(m_pszProductName);
    if (!IsSourceSelected()) {
        RefuseSource();
        return TRUE;
    }

    // Open it, tell it the scan application is here, and show its interface. A source that lists but
    // cannot be opened or enabled (a device switched off) would show nothing and never ask to be
    // closed: it is refused like a missing one, so the program ends and the next start can run.
    if (!OpenSource()) {
        RefuseSource();
        return TRUE;
    }
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(TW_ONEVALUE))) {
        if (auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(block))) {
            value->ItemType = TWTY_BOOL;
            value->Item = 1;
            GlobalUnlock(block);
        }
        TW_CAPABILITY capability{CAP_SCANAPP_PRESENT, TWON_ONEVALUE, block};
        SetCapability(capability);  // a source without it scans all the same
        GlobalFree(block);
    }
    g_pTesmarDlg = this;
    g_hTwainMessageWindow = m_hWnd;
    RegisterCallback(reinterpret_cast<TW_UINTPTR>(this));
    if (!Acquire()) {
        RefuseSource();
        return TRUE;
    }

    // Never on screen.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    placement.flags = WPF_RESTORETOMAXIMIZED;
    placement.showCmd = SW_HIDE;
    placement.rcNormalPosition = {-10000, -10000, -10000, -10000};
    SetWindowPlacement(m_hWnd, &placement);

    // The caption of the window in front.
    OnSyncCaption(0, 0);
    return TRUE;
}

void CTesmarDlg::OnSysCommand(UINT id, LPARAM lParam) { CDialog::OnSysCommand(id, lParam); }

void CTesmarDlg::OnPaint() {
    PaintIconWhenMinimised(m_hIcon);
}

HCURSOR CTesmarDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CTesmarDlg::OnHide() { ShowWindow(SW_HIDE); }

void CTesmarDlg::OnClose() { CDialog::OnClose(); }

LRESULT CTesmarDlg::OnSyncCaption(WPARAM, LPARAM) {
    if (HWND active = ::GetActiveWindow()) {
        WCHAR caption[MAX_PATH] = {};
        ::GetWindowTextW(active, caption, MAX_PATH);
        SetWindowText(caption);
    }
    return 0;
}

BOOL CTesmarDlg::CloseSource() {
    const BOOL closed = CTwain::CloseSource();
    if (m_hWnd) PostMessage(WM_CLOSE);
    return closed;
}

LRESULT CTesmarDlg::ProcessSourceMessage(TW_UINT16 message) {
    return m_hWnd ? SendMessage(WM_TWAIN_MESSAGE, message, 0) : 0;
}

LRESULT CTesmarDlg::OnTwainMessage(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case MSG_XFERREADY:
        if (m_bTransferBusy) return 0;
        m_bTransferBusy = TRUE;
        TransferImage();
        m_bTransferBusy = FALSE;
        // A close request that came during the loop is handled now that it is over.
        if (m_bCloseRequested) {
            m_bCloseRequested = FALSE;
            if (ConfirmCloseRequest()) CloseSource();
        }
        break;
    case MSG_CLOSEDSREQ:
        if (m_bTransferBusy) {
            m_bCloseRequested = TRUE;
            break;
        }
        if (ConfirmCloseRequest()) CloseSource();
        break;
    default: break;
    }
    return 0;
}

void CTesmarDlg::TransferImage() {
    // Where the pages go, a new scan for the saver, and the duplex event found afresh.
    ReadSaveSettings();
    m_savedFiles.RemoveAll();
    m_bSaveFailed = FALSE;
    m_imageSaver.SetFormatFromPath(m_strOutputPath);
    if (g_hManualDuplexEvent) {
        CloseHandle(g_hManualDuplexEvent);
        g_hManualDuplexEvent = nullptr;
    }

    // The images, while the source is enabled and describes one.
    BOOL pending = TRUE;
    while (pending) {
        if (!IsSourceEnabled()) break;
        TW_IMAGEINFO info{};
        if (!CallSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info)) break;
        m_imageInfo = info;
        switch (ShouldTransfer(info)) {
        case CTwain::TransferImage: pending = TransferMemory(info); break;
        case SkipImage: pending = EndTransfer(); break;
        default:
            CancelTransfers();
            pending = FALSE;
            break;
        }
        // The source makes the manual-duplex event once the fronts are scanned: the pages so far are fronts.
        if (!g_hManualDuplexEvent) {
            g_hManualDuplexEvent = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\manual_duplex");
            if (g_hManualDuplexEvent) {
                OutputDebugStringA("CTesmarDlg::TransferImage, hEvent not NULL");
                m_imageSaver.SetDuplexCount(m_imageSaver.PageCount());
            }
        }
        // A file per page: each takes the name the source's interface has written since.
        if (isPageFormat(m_imageSaver.Format())) ReadSaveSettings();
    }

    // A PDF is written now; one that cannot be written is no saved file.
    if (!m_imageSaver.FinishImages()) {
        m_bSaveFailed = TRUE;
        for (INT_PTR i = m_savedFiles.GetSize(); i-- > 0;)
            if (m_savedFiles[i] == m_imageSaver.PdfPath()) m_savedFiles.RemoveAt(i);
    }

    // Whatever could not be saved is told once; the files saved before it are whole and go on.
    if (m_bSaveFailed) AfxMessageBox(languageText(IDS_SAVE_FAILED, TESMAR_SAVE_FAILED_TEXT));

    // What to do with the files.
    if (m_savedFiles.GetSize() > 0) DoAfterScan();
}

BOOL CTesmarDlg::GetSaveSettingsPath(WCHAR* path) {
    path[0] = 0;
    WCHAR folder[MAX_PATH] = {};
    if (!GetSettingsFolder(folder)) return FALSE;
    const CString joined = CString(folder) + SAVE_SETTINGS_FILE;
    if (joined.GetLength() >= MAX_PATH) return FALSE;
    lstrcpynW(path, joined, MAX_PATH);
    return TRUE;
}

void CTesmarDlg::ReadSaveSettings() {
    m_strOutputPath.Empty();
    WCHAR path[MAX_PATH] = {};
    if (!GetSaveSettingsPath(path)) return;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    BYTE bytes[sizeof(ImgSaveSettings)] = {};
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    CloseHandle(file);
    if (!ok || !ParseSaveSettings(bytes, read, m_settings)) {
        OutputDebugStringW(u"CTesmarDlg::ReadSaveSettings: the settings file is short, nothing is saved");
        return;
    }
    WCHAR output[MAX_PATH] = {};
    if (BuildOutputPath(m_settings, output)) m_strOutputPath = output;
}
