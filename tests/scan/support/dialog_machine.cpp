#include "dialog_machine.h"

#include <atomic>
#include <filesystem>
#include <thread>
#include <fstream>
#include <iterator>

#include "ProductConfig.h"
#include "afx/afxres.h"
#include "rescomp/script.h"
#include "rescomp/writer.h"
#include "win/registry.h"
#include "win/resources.h"

namespace fs = std::filesystem;
namespace dlg = platform::dialogs;

namespace scantest {

const char16_t kProgramFolder[] = u"C:\\Program Files\\Qelmar\\";
const char16_t kSettingsFile[] = u"C:\\Users\\User\\AppData\\Roaming\\Qelmar\\PushScan\\pushscan_settings.dat";

namespace {

std::string readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

platform::MachineSettings settingsFor(DWORD osMajor) {
    platform::MachineSettings settings;
    settings.osMajor = osMajor;
    return settings;
}

std::u16string libraryPath(const std::string& code) {
    return std::u16string(kProgramFolder) + u"vrx4410kelr" + platform::fromUtf8(code) + u".dll";
}

}  // namespace

DialogMachine::DialogMachine(const DialogSetup& setup) : machine(settingsFor(setup.osMajor)), code(setup.code) {
    platform::setProgramPath(std::u16string(kProgramFolder) + u"vrx4410PushScan.exe");
    g_nProductIniTail = PUSHSCAN_INI_TAIL;
    g_nLanguageIndex = 0;
    g_bIsPlatformC = FALSE;
    machine.writeFile(u"C:\\Windows\\vrx4410.ini", readHost(fs::path(MFP_SOURCE_DIR) / "scan" / "res" / "product.ini"));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Qelmar\\vrx4410", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(setup.language.c_str()),
                             static_cast<DWORD>((setup.language.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);
    WCHAR languageCode[MAX_PATH];
    GetLanguageIndex(languageCode);
    machine.writeFile(libraryPath(code), readHost(fs::path(MFP_LIB_DIR) / ("kelr" + code + ".dll")));
    library = LoadLibraryW(libraryPath(code).c_str());
    EXPECT_NE(library, nullptr);
    AfxSetResourceHandle(library);
}

DialogMachine::~DialogMachine() {
    AfxSetResourceHandle(nullptr);
    if (library) FreeLibrary(library);
    EXPECT_TRUE(unscripted.empty()) << "a dialog was left open: " << platform::toUtf8(unscripted.front().title);
}

std::u16string DialogMachine::text(UINT id) const {
    const WCHAR* p = nullptr;
    const int n = LoadStringW(library, id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 ? std::u16string(p, static_cast<size_t>(n)) : std::u16string();
}

void DialogMachine::useChangedLibrary(const std::function<void(platform::resources::ResourceFile&)>& change) {
    auto compiled = rescomp::compileFile(fs::path(MFP_SOURCE_DIR) / "scan" / "res" / ("kelr" + code + ".rc"));
    ASSERT_TRUE(compiled.file);
    change(*compiled.file);
    AfxSetResourceHandle(nullptr);
    FreeLibrary(library);
    const std::u16string path = std::u16string(kProgramFolder) + u"changed.dll";
    machine.writeFile(path, rescomp::writeResourceFile(*compiled.file));
    library = LoadLibraryW(path.c_str());
    ASSERT_NE(library, nullptr);
    AfxSetResourceHandle(library);
}

INT_PTR runModal(CDialog& dialog, const std::function<void(HWND)>& script) {
    return test_support::runScripted(dialog.m_nIDHelp, [&] { return dialog.DoModal(); }, script);
}

std::u16string answerErrorBox(HWND owner, int button) {
    // The click returns once the button's handler has, which an error box holds up until it is closed.
    std::u16string message;
    std::atomic<bool> clicked{false};
    std::thread clicker([&] {
        dlg::clickButton(owner, button);
        clicked = true;
    });
    while (!clicked) {
        HWND box = dlg::waitForDialog({}, 8004, 20);
        if (!box) continue;
        message = dlg::controlText(box, 8007);
        RECT r{};
        GetClientRect(GetDlgItem(box, IDOK), &r);
        dlg::clickMouse(GetDlgItem(box, IDOK), r.right / 2, r.bottom / 2);
        break;
    }
    clicker.join();
    return message;
}

}  // namespace scantest
