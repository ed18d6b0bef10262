// The uninstaller's start and main window: where it may run from, one instance, the configuration, the
// rights and platform checks, the language library chosen from the configuration, and the close rule.
#include <gtest/gtest.h>

#include "MainManage.h"
#include "SetupTexts.h"
#include "platform/resources.h"
#include "support/setup_machine.h"
#include "support/dialog_script.h"
#include "win/security.h"

namespace {

using namespace setup_test;

bool debugLogHas(const std::string& text) {
    for (const std::string& line : platform::debugLog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::u16string english(const std::u16string& text) { return uninstall::ReplaceHeading(text, kHeading); }

TEST_F(SetupMachine, RunsOnlyFromThreeLevelsBelowTheSystemFolder) {
    const struct {
        const char16_t* path;
        bool runs;
    } places[] = {
        {u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe", true},
        {u"C:\\WINDOWS\\system32\\Spool\\Drivers\\X64\\setup.exe", true},  // letter case ignored
        {u"C:\\Windows\\System32\\spool\\drivers\\setup.exe", false},      // two levels
        {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\setup.exe", false},  // four levels
        {u"C:\\Program Files\\Zandrel\\M2100\\setup.exe", false},
    };
    for (const auto& place : places) {
        platform::clearDialogAnswers();
        platform::setProgramPath(place.path);
        machine->writeFile(std::u16string(place.path).substr(0, std::u16string(place.path).find_last_of(u'\\') + 1) +
                               u"SetupCFG.xml",
                           configXml(Product{}));
        EXPECT_FALSE(runSetup(exitAnswers()));
        // A run shows the quit question; a silent end takes none of the answers.
        EXPECT_EQ(platform::queuedDialogAnswers().empty(), place.runs) << platform::toUtf8(place.path);
        EXPECT_TRUE(unanswered.empty());
    }
    EXPECT_FALSE(uninstall::ProductHeading().empty());
}

TEST(LocationCheck, CutsFourTimesAndComparesAsciiCaseOnly) {
    const struct {
        const char16_t* module;
        const char16_t* system;
        bool below;
    } cases[] = {
        {u"C:\\W\\S\\a\\b\\c\\p.exe", u"C:\\W\\S", true},
        {u"C:\\W\\S\\a\\b\\p.exe", u"C:\\W\\S", false},
        {u"c:\\w\\s\\A\\B\\C\\p.exe", u"C:\\W\\S", true},
        {u"C:\\W\\\u00C9\\a\\b\\c\\p.exe", u"C:\\W\\\u00E9", false},  // only ASCII letters fold
        {u"a\\b\\c", u"", true},  // cuts with no backslash left give the empty text
        {u"p.exe", u"C:\\W\\S", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsStartedBelowSystemFolder(c.module, c.system), c.below) << platform::toUtf8(c.module);
}

TEST_F(SetupMachine, ASecondStartBringsTheFirstWindowForwardAndMakesNone) {
    HANDLE first = CreateMutexW(nullptr, TRUE, kSetupInstanceMutex);
    ASSERT_NE(first, nullptr);
    // The first instance's window, as another program would have made it.
    WNDCLASSW dialogClass{};
    ASSERT_TRUE(GetClassInfoW(nullptr, WC_DIALOG, &dialogClass));
    dialogClass.lpszClassName = kSetupWindowClass;
    RegisterClassW(&dialogClass);
    HWND window = CreateWindowExW(0, kSetupWindowClass, u"first", WS_POPUP | WS_VISIBLE | WS_MINIMIZE, 0, 0, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(runSetup(exitAnswers()));
    EXPECT_EQ(platform::queuedDialogAnswers().size(), 2u) << "no window of its own";
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    DestroyWindow(window);
    CloseHandle(first);
}

TEST_F(SetupMachine, ACommandLineThatCannotBeSplitEndsWithItsDebugLine) {
    platform::setFault("CommandLineToArgvW", {});
    EXPECT_FALSE(runSetup(exitAnswers()));
    EXPECT_TRUE(debugLogHas("CommandLineToArgvW error"));
    EXPECT_EQ(platform::queuedDialogAnswers().size(), 2u);
}

TEST_F(SetupMachine, TheCommandLineGoesToTheDebuggerAndInstallPausesBeforeTheCheck) {
    platform::setCommandLine(u"\"setup.exe\" -INSTALL -Languange Arabic");
    const ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(runSetup(exitAnswers()));
    EXPECT_GE(GetTickCount64() - before, 200u);
    EXPECT_TRUE(debugLogHas("-INSTALL -Languange Arabic"));
    // The language follows the configuration: English, not Arabic.
    EXPECT_EQ(answeredBoxTexts(), std::vector<std::u16string>{english(u"Do you really want to quit the %Text% uninstall wizard?")});
}

TEST_F(SetupMachine, NotAnAdministratorOrNotNtShowsItsTextAndEnds) {
    platform::UserToken plain = platform::defaultUserToken();
    std::erase_if(plain.groups, [](const auto& g) { return g.sid == "S-1-5-32-544"; });
    platform::setUserToken(plain);
    EXPECT_FALSE(runSetup({{DialogAnswer::Box, 0, 0, 0, IDOK}}));
    EXPECT_EQ(answeredBoxTexts(), std::vector<std::u16string>{english(
                                      u"You do not have sufficient rights. Please uninstall the %Text% printers as an administrator.")});

    platform::MachineSettings old;
    old.platformId = 1;  // VER_PLATFORM_WIN32_WINDOWS
    start(old);
    EXPECT_FALSE(runSetup({{DialogAnswer::Box, 0, 0, 0, IDOK}}));
    EXPECT_EQ(answeredBoxTexts(), std::vector<std::u16string>{u"This program does not support Windows 98."});
    EXPECT_TRUE(unanswered.empty());
}

TEST_F(SetupMachine, TheFirstLanguageFileThatExistsEndsTheSearchEvenWhenItDoesNotLoad) {
    machine->writeFile(std::u16string(kDriverFolder) + u"ZDUnsbroken.dll", "not a library");
    const struct {
        const char* languages;
        const char16_t* question;  // the quit question the run shows
    } orders[] = {
        // Missing, then unloadable: no library; the valid third entry is never tried.
        {"<source_dll ID=\"German\">ZDUnsde.dll</source_dll><source_dll ID=\"Broken\">ZDUnsbroken.dll</source_dll>"
         "<source_dll ID=\"English\">ZDUnsenus.dll</source_dll>",
         u"您确定要退出Printer xxxx系列驱动卸载向导吗？"},
        {"<source_dll ID=\"German\">X\\ZDUnsde.dll</source_dll><source_dll ID=\"English\">X\\ZDUnsenus.dll</source_dll>",
         u"Do you really want to quit the Zandrel M2100 Series uninstall wizard?"},
        {"", u"您确定要退出Printer xxxx系列驱动卸载向导吗？"},
    };
    for (const auto& order : orders) {
        platform::clearDialogAnswers();
        Product product;
        product.languages = order.languages;
        writeConfig(product);
        runSetup(exitAnswers());
        EXPECT_EQ(answeredBoxTexts(), std::vector<std::u16string>{order.question}) << order.languages;
    }
}

TEST_F(SetupMachine, OnlyArabicMakesBoxesRightToLeftAndArabicAndHebrewTakeNoBitmapLibrary) {
    const struct {
        const char* id;
        UINT layout;
        int bitmapLibrary;
    } languages[] = {{"Arabic", MB_RIGHT | MB_RTLREADING, 0}, {"Hebrew", 0, 0}, {"arabic", 0, 1}, {"English", 0, 1}};
    for (const auto& language : languages) {
        Product product;
        product.languages = std::string("<source_dll ID=\"") + language.id + "\">ZDUnsar.dll</source_dll>";
        writeConfig(product);
        CDlg_UnistallMainManage window;
        EXPECT_EQ(window.MessageBoxLayout(), language.layout) << language.id;
        EXPECT_EQ(window.m_bUseBitmapLibrary, language.bitmapLibrary) << language.id;
        EXPECT_EQ(window.m_hBitmapLibrary != nullptr, language.bitmapLibrary == 1) << language.id;
        EXPECT_EQ(window.m_LanguageName, platform::fromUtf8(language.id));
    }
}

TEST_F(SetupMachine, TheCloseRuleFollowsThePageState) {
    // The list: the question; Cancel keeps the window, OK closes it.
    EXPECT_FALSE(runSetup({{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDCANCEL},
                           {DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDOK}}));
    EXPECT_EQ(answeredBoxTexts().size(), 2u);
    EXPECT_TRUE(unanswered.empty());

    // A removal running: Close is greyed and a close request does nothing; finished: it closes at once.
    RegisterSetupWindowClass();
    CDlg_UnistallMainManage window;
    std::vector<std::pair<int, bool>> seen;  // page state, window still there after WM_CLOSE
    auto scripting = std::make_unique<platform::dialogs::Script>();
    std::thread user([&] {
        HWND main = platform::dialogs::waitForDialog({}, IDD_UNINSTALL_MAIN);
        ASSERT_NE(main, nullptr);
        window.m_nPageState = kPageRemoving;
        SendMessageW(main, WM_CLOSE, 0, 0);
        seen.push_back({kPageRemoving, IsWindow(main) && platform::dialogs::findDialogs({}, IDD_UNINSTALL_MAIN).size() == 1});
        window.m_nPageState = kPageFinished;
        PostMessageW(main, WM_CLOSE, 0, 0);
        scripting.reset();
    });
    EXPECT_EQ(window.DoModal(), IDCANCEL);
    user.join();
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{kPageRemoving, true}}));
    EXPECT_TRUE(platform::shellActions().empty()) << "no self-deletion without its flag";
}

TEST(KeyboardFilter, DiscardsItsKeysWhateverTheMessage) {
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool main, list;
    } cases[] = {
        {WM_KEYDOWN, VK_RETURN, 0, true, true},   {WM_KEYDOWN, VK_ESCAPE, 0, true, true},
        {WM_KEYUP, VK_RETURN, 0, false, false},   {WM_CHAR, 0x20, 0, true, true},
        {WM_MOUSEMOVE, 0x73, 0, true, true},      {WM_TIMER, 3, 0, true, true},
        {WM_COMMAND, 0x6D, 0, true, true},        {WM_KEYDOWN, 0x2D, 0, true, true},
        {WM_PAINT, 0, 0x2000, true, true},        {WM_KEYDOWN, VK_UP, 0, false, true},
        {WM_KEYDOWN, VK_DOWN, 0, false, true},    {WM_KEYDOWN, 'A', 0, false, false},
        {WM_LBUTTONDOWN, MK_LBUTTON, 0x2001, false, false},
    };
    for (const auto& c : cases) {
        MSG msg{};
        msg.message = c.message;
        msg.wParam = c.wParam;
        msg.lParam = c.lParam;
        EXPECT_EQ(IsFilteredKeyMessage(&msg, false), c.main) << c.message << " " << c.wParam;
        EXPECT_EQ(IsFilteredKeyMessage(&msg, true), c.list) << c.message << " " << c.wParam;
    }
}

}  // namespace
