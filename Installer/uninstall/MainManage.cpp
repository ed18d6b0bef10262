// The uninstaller's main window.
#include "MainManage.h"

#include "FolderRemoval.h"
#include "PathGuard.h"
#include "ProductRegistry.h"
#include "SelfDelete.h"
#include "SetupConfig.h"
#include "SetupResources.h"
#include "SetupTexts.h"
#include "SystemQueries.h"
#include "UninstallCompletePage.h"
#include "UninstallDoingPage.h"
#include "UninstallListPage.h"
#include "afx/afxres.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace {

constexpr size_t kLanguageIdCapacity = 127;
constexpr size_t kLanguageNameCapacity = 255;
constexpr char16_t kBitmapLibraryName[] = u"ZDUnsbmp.dll";
// The product folder's path part (the joined Dir texts) with its NUL.
constexpr size_t kProductFolderCapacity = 1024;
constexpr char16_t kCreateThreadFail[] = u"CreateThread fail";

std::u16string programFolder() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder(path);
    const size_t slash = folder.find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : folder.substr(0, slash + 1);
}


}  // namespace

bool IsFilteredKeyMessage(const MSG* msg, bool arrowsToo) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE || msg->wParam == VK_SPACE))
        return true;
    if (msg->lParam == 0x2000) return true;
    switch (msg->wParam) {
    case 0x73: case 0x20: case 0x6D: case 0x2D: case 3: return true;
    case VK_UP: case VK_DOWN: return arrowsToo;
    default: return false;
    }
}

bool StretchPageBackground(CWnd& page, CDC* dc, CBitmap& background) {
    if (!background.GetSafeHandle()) return false;
    CRect client;
    page.GetClientRect(&client);
    dc->StretchBitmap(background, client.Width(), client.Height());
    return true;
}

CDlg_UnistallMainManage::CDlg_UnistallMainManage() : CDialog(IDD_UNINSTALL_MAIN, nullptr) {
    m_hIcon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_SETUP_ICON));
    uninstall::LoadSetupConfig();
    const uninstall::SetupConfig& config = uninstall::setupConfig();
    WCHAR heading[uninstall::kHeadingCapacity] = {};
    config.ReadConfigText(u"/SERTUP_INFO/Headingline/Content", heading, uninstall::kHeadingCapacity);
    uninstall::ProductHeading() = heading;
    WCHAR type[uninstall::kMultiFuncTypeCapacity] = {};
    config.ReadConfigText(u"/SERTUP_INFO/MultiFunc/Type", type, uninstall::kMultiFuncTypeCapacity);
    uninstall::MultiFuncType() = type;
    for (const uninstall::ConfigEntry& model : uninstall::ReadModelList(config))
        m_ModelList.push_back({model.attribute.substr(0, uninstall::kMaxModelName), model.text});
    ChooseLanguageLibrary();
    LoadBitmapLibrary();
}

CDlg_UnistallMainManage::~CDlg_UnistallMainManage() {
    delete m_pListPage;
    delete m_pDoingPage;
    delete m_pCompletePage;
    AfxSetResourceHandle(AfxGetInstanceHandle());
    if (m_hLanguageLibrary) FreeLibrary(m_hLanguageLibrary);
    if (m_hBitmapLibrary) FreeLibrary(m_hBitmapLibrary);
}

void CDlg_UnistallMainManage::ChooseLanguageLibrary() {
    uninstall::ConfigList entries;
    uninstall::setupConfig().ReadConfigList(u"/SERTUP_INFO/DLL_UNSETUP/source_dll", u"ID", entries);
    const std::u16string folder = programFolder();
    for (const uninstall::ConfigEntry& entry : entries) {
        const std::u16string_view name = uninstall::fileNamePart(entry.text);
        const std::u16string path = folder + std::u16string(name);
        if (name.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        // The first file that exists ends the search, whether it loads or not.
        m_hLanguageLibrary = LoadLibraryW(path.c_str());
        if (m_hLanguageLibrary) {
            AfxSetResourceHandle(m_hLanguageLibrary);
            m_LanguageName = entry.attribute.substr(0, std::min(kLanguageIdCapacity, kLanguageNameCapacity));
        }
        return;
    }
}

void CDlg_UnistallMainManage::LoadBitmapLibrary() {
    if (m_LanguageName == u"Arabic" || m_LanguageName == u"Hebrew") {
        m_bUseBitmapLibrary = 0;
        return;
    }
    m_bUseBitmapLibrary = 1;
    m_hBitmapLibrary = LoadLibraryW((programFolder() + kBitmapLibraryName).c_str());
}

void CDlg_UnistallMainManage::UseBitmapResources() {
    if (m_bUseBitmapLibrary == 1) AfxSetResourceHandle(m_hBitmapLibrary);
}

void CDlg_UnistallMainManage::UseLanguageResources() {
    AfxSetResourceHandle(m_hLanguageLibrary ? m_hLanguageLibrary : AfxGetInstanceHandle());
}

UINT CDlg_UnistallMainManage::MessageBoxLayout() const {
    return m_LanguageName == u"Arabic" ? (MB_RIGHT | MB_RTLREADING) : 0;
}

int CDlg_UnistallMainManage::ShowTextBox(UINT textId, UINT type, CWnd* owner) {
    const std::u16string caption = uninstall::LoadHeadedText(IDS_CAPTION);
    const std::u16string text = uninstall::LoadHeadedText(textId);
    CWnd* parent = owner ? owner : this;
    return MessageBoxW(parent->GetSafeHwnd(), text.c_str(), caption.c_str(), type);
}

bool CDlg_UnistallMainManage::CheckSystemAndRights() {
    if (!uninstall::IsUserAdmin()) {
        ShowTextBox(IDS_NOT_ADMIN, MB_OK | MessageBoxLayout());
        return false;
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        ShowTextBox(IDS_NOT_NT, MB_OK);
        return false;
    }
    return true;
}

BEGIN_MESSAGE_MAP(CDlg_UnistallMainManage, CDialog)
    ON_WM_CLOSE()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

BOOL CDlg_UnistallMainManage::OnInitDialog() {
    CDialog::OnInitDialog();
    if (!CheckSystemAndRights()) {
        OnOK();
        return TRUE;
    }
    SetWindowText(uninstall::ProductHeading().c_str());
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_nPageState = kPageList;
    if (!m_pListPage) {
        m_pListPage = new CDlg_Unistall(this);
        m_pListPage->Create(IDD_UNINSTALL_LIST, this);
    }
    FitMainWindowToPage(m_pListPage);
    return TRUE;
}

BOOL CDlg_UnistallMainManage::PreTranslateMessage(MSG* msg) {
    if (IsFilteredKeyMessage(msg, false)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CDlg_UnistallMainManage::ShowProgressPage() {
    if (CMenu* menu = GetSystemMenu(FALSE)) menu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    if (!m_pDoingPage) {
        m_pDoingPage = new CDlg_UinstallDoing(this);
        m_pDoingPage->Create(IDD_UNINSTALL_DOING, this);
    }
    FitMainWindowToPage(m_pDoingPage);
}

void CDlg_UnistallMainManage::ShowCompletePage() {
    if (CMenu* menu = GetSystemMenu(FALSE)) menu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    if (!m_pCompletePage) {
        m_pCompletePage = new Cdlg_UnistallComplete(this);
        m_pCompletePage->Create(IDD_UNINSTALL_COMPLETE, this);
    }
    FitMainWindowToPage(m_pCompletePage);
}

void CDlg_UnistallMainManage::RemovalCouldNotStart() {
    const std::u16string caption = uninstall::LoadHeadedText(IDS_CAPTION);
    MessageBoxW(GetSafeHwnd(), kCreateThreadFail, caption.c_str(), MB_OK | MessageBoxLayout());
    m_bDeleteSelf = 0;
    m_nPageState = kPageFinished;
    if (CMenu* menu = GetSystemMenu(FALSE)) menu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
}

void CDlg_UnistallMainManage::RemoveProductFolder() {
    AfxSetResourceHandle(AfxGetInstanceHandle());
    if (m_hLanguageLibrary) FreeLibrary(m_hLanguageLibrary);
    m_hLanguageLibrary = nullptr;
    std::u16string productFolder;
    if (!uninstall::ProductFolderPath(u"", kProductFolderCapacity, productFolder) || productFolder.empty()) return;
    uninstall::DeleteProductFolderBelow(uninstall::SystemFolderPath(), productFolder, u"RemoveProductFolder");
}

void CDlg_UnistallMainManage::FitMainWindowToPage(CWnd* page) {
    if (!page || !page->GetSafeHwnd()) return;
    CRect client, pageRect, window;
    GetClientRect(&client);
    page->GetWindowRect(&pageRect);
    if (client.Width() != pageRect.Width() || client.Height() != pageRect.Height()) {
        // The frame around the client area stays as the window's style and extended style make it.
        GetWindowRect(&window);
        const int frameX = window.Width() - client.Width(), frameY = window.Height() - client.Height();
        SetWindowPos(nullptr, 0, 0, pageRect.Width() + frameX, pageRect.Height() + frameY,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    page->SetWindowPos(nullptr, 0, 0, pageRect.Width(), pageRect.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    page->ShowWindow(SW_SHOW);
    page->SetFocus();
}

void CDlg_UnistallMainManage::OnClose() {
    switch (m_nPageState) {
    case kPageList:
        if (ShowTextBox(IDS_QUIT_QUESTION, MB_OKCANCEL | MessageBoxLayout()) == IDOK) CDialog::OnClose();
        return;
    case kPageRemoving: return;  // a removal that runs is never cut short
    default:
        CDialog::OnClose();
        if (!m_bDeleteSelf) return;
        // The program stays for the second run that finishes what this one left.
        if (m_bRemovalIncomplete)
            OutputDebugStringW(u"DeleteSelf: the removal is incomplete; the program stays");
        else
            uninstall::DeleteSelf();
        return;
    }
}

void CDlg_UnistallMainManage::OnPaint() {
    PaintIconWhenMinimised(m_hIcon);
}

HCURSOR CDlg_UnistallMainManage::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
