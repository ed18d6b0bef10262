// Start-up in process: the command line's title and language, the language library or the program's own
// Chinese texts when it is missing, the registry key, and a command line that cannot be split.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CaspenApp.h"
#include "MyListCtrl.h"
#include "MyWizard.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "startup.h"
#include "support/dialog_script.h"
#include "wifisetup/wlan_radios.h"

namespace {

namespace fs = std::filesystem;
namespace dlg = platform::dialogs;
constexpr char16_t kFolder[] = u"C:\\Program Files\\Qelmar\\";

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The wizard's page made from that template, or NULL.
HWND pageMadeFrom(HWND wizard, UINT templateId) {
    for (HWND child = GetWindow(wizard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (dlg::templateIdOf(child) == templateId) return child;
    return nullptr;
}

// The signal column's text in the network list's first row.
std::u16string firstSignal(HWND listPage) {
    WCHAR text[32] = {};
    LVITEMW item{};
    item.iSubItem = 2;
    item.pszText = text;
    item.cchTextMax = 32;
    SendDlgItemMessageW(listPage, 1000, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

class CaspenStart : public ::testing::Test {
protected:
    platform::testing::Machine machine;
    test_support::UnscriptedDialogs unscripted;

    void SetUp() override {
        platform::setProgramPath(std::u16string(kFolder) + u"Caspen.exe");
        // The program's own resources: the Simplified Chinese templates and texts.
        platform::resources::setProgramResources(fileBytes(fs::path(MFP_LIB_DIR) / "Velrinzhcn.dll"));
        fs::create_directories(machine.host(kFolder));
        fs::copy_file(fs::path(MFP_LIB_DIR) / "Velrinenus.dll", machine.host(std::u16string(kFolder) + u"Velrinenus.dll"));
        platform::radio::setRadio(wlantest::wzcRadio(
            {wlantest::adapter(wlantest::kGuidA, u"Radio A", {wlantest::network("Home", -40, 1)})}));
        RtlLanguageFlags = {};
        LanguageDllPath.clear();
        NetworkListSort = {};
        GetWizardData() = WizardData{};
    }
    void TearDown() override {
        platform::resources::setProgramResources({});
        AfxSetResourceHandle(nullptr);
        LanguageDllPath.clear();
        RtlLanguageFlags = {};
    }
    // InitInstance with this command line while `script` acts on the wizard; its answer.
    BOOL start(const std::u16string& arguments, const std::function<void(HWND)>& script) {
        platform::setCommandLine(u"\"" + std::u16string(kFolder) + u"Caspen.exe\" " + arguments);
        CCaspenApp app;
        BOOL answer = TRUE;
        test_support::runScripted(140, [&] { return static_cast<INT_PTR>(answer = app.InitInstance()); }, [&](HWND d) {
            script(d);
            PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(std::u16string(app.m_pszRegistryKey ? app.m_pszRegistryKey : u""), u"Torvane Wifi Configuration");
        app.ExitInstance();
        return answer;
    }
    std::string debugLog() const { return fileBytes(machine.root() / "debug.log"); }
};

TEST_F(CaspenStart, TitleAndLanguageComeFromTheCommandLine) {
    struct Case {
        const char16_t* arguments;
        const char16_t* title;
        const char16_t* next;
        const char16_t* library;
    };
    const Case cases[] = {
        {u"\"Printer Wi-Fi\" English", u"Printer Wi-Fi", u"Next >", u"Velrinenus.dll"},
        // No language argument: the interface language (English here) decides.
        {u"\"Printer Wi-Fi\"", u"Printer Wi-Fi", u"Next >", u"Velrinenus.dll"},
        // An empty title leaves it to "wifi.ini" or the default.
        {u"\"\" English", u"Torvane Wi-Fi Configuration Tool", u"Next >", u"Velrinenus.dll"},
        // A missing library: the program's own Chinese texts, the path still naming it.
        {u"\"Printer Wi-Fi\" German", u"Printer Wi-Fi", u"下一步", u"Velrinde.dll"},
    };
    for (const Case& c : cases) {
        std::u16string title, next;
        EXPECT_FALSE(start(c.arguments, [&](HWND d) {
            WCHAR text[200] = {};
            GetWindowTextW(d, text, 200);
            title = text;
            next = dlg::controlText(d, kWizardNext);
        }));
        EXPECT_EQ(title, c.title) << platform::toUtf8(c.arguments);
        EXPECT_EQ(next, c.next) << platform::toUtf8(c.arguments);
        EXPECT_EQ(LanguageDllPath, std::u16string(kFolder) + c.library) << platform::toUtf8(c.arguments);
    }
}

// Each language library, chosen by its name on the command line: the wizard takes all five templates and
// its texts from it (checked by a text of the frame, of each page and of the string table).
TEST_F(CaspenStart, EveryLanguageLibraryGivesTheWizardItsTemplatesAndTexts) {
    struct Case {
        const char16_t* name;
        const char16_t* code;
        const char16_t* next;     // the frame's Next button (template 140)
        const char16_t* column;   // the list's first column title (string 150, page template 141)
        const char16_t* none;     // the security box's first entry (string 156, page template 129)
        const char16_t* signal;   // how the list shows a signal of 100
    };
    const Case cases[] = {
        {u"Simplified_Chinese", u"zhcn", u"下一步", u"网络名", u"无", u"100%"},
        {u"English", u"enus", u"Next >", u"Network name", u"None", u"100%"},
        {u"Japanese", u"ja", u"次へ >", u"ネットワーク名", u"なし", u"100%"},
        {u"Russian", u"ru", u"Далее >", u"Имя сети", u"Нет", u"100%"},
        {u"Spanish", u"esmx", u"Siguiente >", u"Nombre de red", u"Ninguna", u"100%"},
        {u"French", u"fr", u"Suivant >", u"Nom du réseau", u"Aucune", u"100%"},
        {u"Polish", u"pl", u"Dalej >", u"Nazwa sieci", u"Brak", u"100%"},
        {u"Italian", u"it", u"Avanti >", u"Nome rete", u"Nessuna", u"100%"},
        {u"Arabic", u"ar", u"التالي", u"اسم الشبكة", u"بلا", u"100%"},
        {u"Turkish", u"tr", u"İleri >", u"Ağ adı", u"Yok", u"%100"},
        {u"Norwegian", u"no", u"Neste >", u"Nettverksnavn", u"Ingen", u"100%"},
        {u"Swedish", u"sv", u"Nästa >", u"Nätverksnamn", u"Ingen", u"100%"},
        {u"Hebrew", u"he", u"הבא", u"שם הרשת", u"ללא", u"100%"},
        {u"Traditional_Chinese", u"zhtw", u"下一步", u"網路名稱", u"無", u"100%"},
        {u"German", u"de", u"Weiter >", u"Netzwerkname", u"Keine", u"100%"},
    };
    for (const Case& c : cases) {
        const std::u16string file = std::u16string(u"Velrin") + c.code + u".dll";
        const fs::path installed = machine.host(std::u16string(kFolder) + file);
        if (!fs::exists(installed)) fs::copy_file(fs::path(MFP_LIB_DIR) / platform::toUtf8(file), installed);
        const std::string label = platform::toUtf8(c.name);
        std::u16string next, column, none, signal, confirm;
        std::vector<UINT> templates;
        start(std::u16string(u"Title ") + c.name, [&](HWND d) {
            next = dlg::controlText(d, kWizardNext);
            for (HWND child = GetWindow(d, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                if (UINT id = dlg::templateIdOf(child)) templates.push_back(id);
            WCHAR text[64] = {};
            LVCOLUMNW header{};
            header.mask = LVCF_TEXT;
            header.pszText = text;
            header.cchTextMax = 64;
            SendDlgItemMessageW(pageMadeFrom(d, 141), 1000, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&header));
            column = text;
            signal = firstSignal(pageMadeFrom(d, 141));
            SendDlgItemMessageW(pageMadeFrom(d, 129), 1009, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
            none = text;
            WCHAR message[200] = {};
            LoadStringW(AfxGetResourceHandle(), 137, message, 200);
            confirm = message;
        });
        EXPECT_EQ(LanguageDllPath, std::u16string(kFolder) + file) << label;
        EXPECT_EQ(next, c.next) << label;
        EXPECT_EQ(column, c.column) << label;
        EXPECT_EQ(none, c.none) << label;
        EXPECT_EQ(signal, c.signal) << label;
        EXPECT_FALSE(confirm.empty()) << label;
        std::sort(templates.begin(), templates.end());
        EXPECT_EQ(templates, (std::vector<UINT>{129, 130, 131, 141})) << label;
        EXPECT_EQ(RtlLanguageFlags.arabic || RtlLanguageFlags.hebrew, c.code == std::u16string(u"ar") ||
                                                                          c.code == std::u16string(u"he"))
            << label;
        RtlLanguageFlags = {};
    }
}

TEST_F(CaspenStart, AMissingTurkishLibraryStillShowsTheTurkishPercent) {
    std::u16string signal;
    start(u"Title Turkish", [&](HWND d) { signal = firstSignal(pageMadeFrom(d, 141)); });
    EXPECT_EQ(LanguageDllPath, std::u16string(kFolder) + u"Velrintr.dll");
    EXPECT_EQ(signal, u"%100");
}

TEST_F(CaspenStart, ACommandLineThatCannotBeSplitShowsNoWizard) {
    platform::setCommandLine(u"\"C:\\Program Files\\Qelmar\\Caspen.exe\" Title English");
    platform::setFault("CommandLineToArgvW", platform::Fault());
    CCaspenApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(dlg::findDialogs().empty());
    EXPECT_NE(debugLog().find("CommandLineToArgvW error"), std::string::npos);
    EXPECT_TRUE(LanguageDllPath.empty()) << "no library was tried";
    app.ExitInstance();
}

// Help requests that reach the wizard's window, counted by a procedure put before its own.
std::atomic<int> helpRequests{0};
std::atomic<WNDPROC> wizardProcedure{nullptr};
LRESULT CALLBACK countingHelp(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_HELP) ++helpRequests;
    return CallWindowProcW(wizardProcedure, hwnd, msg, wParam, lParam);
}

// F1 on the wizard, with the program started as the framework starts it (its main thread's modal loops
// offer every message to the application first) and, to show that a help request would be seen, with
// the wizard run on a thread that is not the framework's main one.
TEST_F(CaspenStart, F1OnTheFrameworksMainThreadAsksForNoHelp) {
    platform::setCommandLine(u"\"" + std::u16string(kFolder) + u"Caspen.exe\" Title English");
    for (bool framework : {true, false}) {
        helpRequests = 0;
        CCaspenApp app;
        test_support::runScripted(
            140,
            [&]() -> INT_PTR {
                if (framework)
                    return AfxWinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOW);
                CMyWizard wizard;
                return wizard.DoModal();
            },
            [&](HWND d) {
                // The wizard's own procedure is known before the counting one can be called.
                wizardProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(d, GWLP_WNDPROC));
                SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&countingHelp));
                dlg::pressKey(d, VK_F1);
                EXPECT_TRUE(IsWindow(d));
                PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
            });
        EXPECT_EQ(helpRequests, framework ? 0 : 1) << (framework ? "through the framework" : "off its main thread");
    }
}

TEST_F(CaspenStart, F1IsTakenByTheApplication) {
    CCaspenApp app;
    MSG f1{nullptr, WM_KEYDOWN, VK_F1, 0, 0, {}};
    MSG f2{nullptr, WM_KEYDOWN, VK_F4, 0, 0, {}};
    EXPECT_TRUE(app.PreTranslateMessage(&f1));
    EXPECT_FALSE(app.PreTranslateMessage(&f2));
}

}  // namespace
