// scan-dialogs: shows the scan-button program's settings, progress and error dialogs headless on a
// throwaway machine, in one language of the scan set, and writes a PNG picture of each.
//
//     scan-dialogs OUTPUT-FOLDER [LANGUAGE]      LANGUAGE as the installer writes it (default English)
//
// writes OUTPUT-FOLDER/settings.png, progress.png and error.png.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "DialogResources.h"
#include "ErrorDlg.h"
#include "ProductConfig.h"
#include "ProgressDlg.h"
#include "ScanManagerDlg.h"
#include "afx/afxwin.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/testing/build_tree.h"
#include "platform/testing/machine.h"
#include "win/registry.h"

namespace {

namespace dlg = platform::dialogs;
namespace fs = std::filesystem;

const char16_t kFolder[] = u"C:\\Program Files\\Qelmar\\";

std::string readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The picture of a dialog, written as a PNG; false when it cannot be.
bool writePicture(HWND dialog, const fs::path& file) {
    auto picture = dlg::windowPicture(dialog);
    if (!picture || !dlg::writePng(*picture, file.string())) {
        std::fprintf(stderr, "scan-dialogs: cannot write %s\n", file.c_str());
        return false;
    }
    std::printf("wrote %s (%d x %d)\n", file.c_str(), picture->width, picture->height);
    return true;
}

// Runs a framework dialog modally while `script` takes its picture and closes it.
bool showModal(CDialog& dialog, const std::function<bool(HWND)>& script) {
    bool ok = false;
    std::thread user([&, scripting = std::make_unique<dlg::Script>()] {
        if (HWND d = dlg::waitForDialog({}, dialog.m_nIDHelp)) ok = script(d);
    });
    dialog.DoModal();
    user.join();
    return ok;
}

class CScanDialogsApp : public CWinApp {
public:
    BOOL InitInstance() override {
        std::u16string args = m_lpCmdLine ? m_lpCmdLine : u"";
        std::u16string output, language = u"English";
        const size_t space = args.find(u' ');
        output = args.substr(0, space);
        if (space != std::u16string::npos) language = args.substr(space + 1);
        if (output.empty()) {
            std::fprintf(stderr, "usage: scan-dialogs OUTPUT-FOLDER [LANGUAGE]\n");
            m_exitCode = 2;
            return FALSE;
        }
        const fs::path folder = platform::toUtf8(output);
        std::error_code ec;
        fs::create_directories(folder, ec);

        // The program installed on a throwaway machine: its INI, its language, its library.
        platform::testing::Machine machine;
        platform::setProgramPath(std::u16string(kFolder) + u"vrx4410PushScan.exe");
        machine.writeFile(u"C:\\Windows\\vrx4410.ini", readHost(SCAN_PRODUCT_INI));
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Qelmar\\vrx4410", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, u"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(language.c_str()),
                       static_cast<DWORD>((language.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(key);
        WCHAR code[MAX_PATH];
        GetLanguageIndex(code);
        const std::string library = "kelr" + platform::toUtf8(code) + ".dll";
        const std::u16string installed = std::u16string(kFolder) + u"vrx4410" + platform::fromUtf8(library);
        machine.writeFile(installed, readHost(platform::testing::builtModule(library.c_str())));
        HMODULE resources = LoadLibraryW(installed.c_str());
        if (!resources) {
            std::fprintf(stderr, "scan-dialogs: the language library %s does not load (error %u)\n", library.c_str(),
                         GetLastError());
            m_exitCode = 1;
            return FALSE;
        }
        AfxSetResourceHandle(resources);

        bool ok = true;
        CScanManagerDlg settings;
        ok &= showModal(settings, [&](HWND d) {
            const bool written = writePicture(d, folder / "settings.png");
            dlg::clickButton(d, IDCANCEL);
            return written;
        });

        auto* progress = new CProgressDlg;
        progress->AddRef();
        progress->NewPage();
        progress->NewPage();
        progress->SetPercent(42);
        ok &= progress->GetSafeHwnd() && writePicture(progress->GetSafeHwnd(), folder / "progress.png");
        CProgressDlg::ReleaseAndClear(&progress);

        CDlg_error error;
        error.m_strMessage.LoadString(IDS_CANNOT_WRITE);
        ok &= showModal(error, [&](HWND d) {
            dlg::hover(d, IDOK);
            const bool written = writePicture(d, folder / "error.png");
            dlg::clickButton(d, IDOK);
            return written;
        });

        AfxSetResourceHandle(nullptr);
        FreeLibrary(resources);
        m_exitCode = ok ? 0 : 1;
        return FALSE;
    }
};

CScanDialogsApp theApp;

}  // namespace
