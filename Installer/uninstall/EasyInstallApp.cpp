// The uninstaller's start.
#include "EasyInstallApp.h"

#include <memory>
#include <string>

#include "MainManage.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "win/user.h"

namespace {

constexpr DWORD kModulePathCapacity = 1024;
constexpr DWORD kInstallPauseMs = 200;

char16_t foldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

// The switches of the command line: "-install" pauses before the location check; "-uninstall" and
// "-Languange <name>" after "-install" change nothing (the language follows the configuration).
void ApplyCommandLine(LPWSTR* args, int count) {
    if (count > 1 && equalsIgnoringAsciiCase(args[1], u"-install")) Sleep(kInstallPauseMs);
}

// Another instance runs: its window comes forward, restored when it was minimised.
void BringFirstInstanceForward() {
    HWND first = FindWindowW(kSetupWindowClass, nullptr);
    if (!first) return;
    HWND popup = GetLastActivePopup(first);
    if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(popup ? popup : first);
}

}  // namespace

void RegisterSetupWindowClass() {
    WNDCLASSW dialogClass{};
    if (!GetClassInfoW(nullptr, WC_DIALOG, &dialogClass)) return;
    dialogClass.lpszClassName = kSetupWindowClass;
    RegisterClassW(&dialogClass);
}

bool IsStartedBelowSystemFolder(std::u16string_view modulePath, std::u16string_view systemFolder) {
    std::u16string_view folder = modulePath;
    for (int cut = 0; cut < 4; ++cut) {
        const size_t slash = folder.find_last_of(u'\\');
        folder = slash == std::u16string_view::npos ? std::u16string_view() : folder.substr(0, slash);
    }
    return equalsIgnoringAsciiCase(folder, systemFolder);
}

BOOL CEasyInsatllApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();

    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) {
        OutputDebugStringW(u"CommandLineToArgvW error");
        return FALSE;
    }
    OutputDebugStringW(GetCommandLineW());
    ApplyCommandLine(args, count);
    LocalFree(args);

    std::u16string modulePath(kModulePathCapacity, u'\0');
    const DWORD length = GetModuleFileNameW(nullptr, modulePath.data(), kModulePathCapacity);
    modulePath.resize(length < kModulePathCapacity ? length : kModulePathCapacity - 1);
    WCHAR systemFolder[MAX_PATH] = {};
    GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (!IsStartedBelowSystemFolder(modulePath, systemFolder)) return FALSE;

    HANDLE instance = CreateMutexW(nullptr, TRUE, kSetupInstanceMutex);
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        BringFirstInstanceForward();
        CloseHandle(instance);
        return FALSE;
    }
    RegisterSetupWindowClass();

    auto mainWindow = std::make_unique<CDlg_UnistallMainManage>();
    m_pMainWnd = mainWindow.get();
    mainWindow->DoModal();
    m_pMainWnd = nullptr;
    mainWindow.reset();
    if (instance) CloseHandle(instance);
    return FALSE;
}
