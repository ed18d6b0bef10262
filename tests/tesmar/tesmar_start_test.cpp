// The scan application's start, the real program on a machine: the refusals (busy device, no data
// source or one that cannot be opened or enabled, no image-encoding library), a second instance, and
// the product looked up by the key given.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TesmarApp.h"
#include "TesmarResource.h"
#include "platform/dialogs.h"
#include "support/tesmar_machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using namespace tesmartest;
namespace dlg = platform::dialogs;

const char16_t kEnglishRefusal[] = u"The scanner is in use or cannot be found. Check the device and try again.";

TEST(TesmarStart, RefusalsShowTheirMessageAndEnd) {
    struct Case {
        const char* what;
        bool busySign;     // another program holds the device's busy sign
        bool encoder;      // the image-encoding library is installed
        const char16_t* key;
        const char16_t* text;
        const char16_t* title;
        bool managerLoaded;  // the program got as far as the data source manager
    };
    const Case cases[] = {
        {"busy device", true, true, u"ScannerA", kEnglishRefusal, u"Scanning Application", false},
        {"no such data source", false, true, u"NoSuchScanner", kEnglishRefusal, u"vrx4410App", true},
        {"no image-encoding library", false, false, u"ScannerA", u"图像编码初始化失败!", u"vrx4410App", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesmarMachine m(Options{.encoder = c.encoder, .dismissDialogs = true});
        m.installSource("product Scanner A\n");
        HANDLE sign = c.busySign ? CreateMutexW(nullptr, FALSE, u"Global\\vrx4410_sign") : nullptr;
        const TesmarMachine::Run run = m.run(c.key);
        if (sign) CloseHandle(sign);
        EXPECT_TRUE(run.finished);
        const std::vector<platform::DismissedDialog> boxes = platform::dismissedDialogs();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].messageBox);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].title, c.title);
        EXPECT_EQ(m.machine.readFile(u"C:\\Program Files\\Qelmar\\TWAINDSM.journal").has_value(), c.managerLoaded);
        EXPECT_TRUE(m.sourceJournal().empty());  // no source was opened
        EXPECT_EQ(m.savedFiles(), std::vector<std::string>{});
    }
}

// A source that lists but cannot be opened or enabled (a device switched off) is refused as a missing one:
// string 8025, the source and the manager closed, the program ended; the next start, with the device
// back, scans.
TEST(TesmarStart, SourceThatCannotBeOpenedOrEnabledIsRefusedAndTheNextStartScans) {
    struct Case {
        const char* line;
        std::vector<std::string> source;  // its journal's identity and interface lines
    };
    const Case cases[] = {
        {"refuse-open", {"CONTROL/IDENTITY/OPENDS -> 1 (5) state 3"}},
        {"refuse-enable",
         {"CONTROL/IDENTITY/OPENDS -> 0 state 4", "CONTROL/USERINTERFACE/ENABLEDS with interface -> 1 (5) state 4",
          "CONTROL/IDENTITY/CLOSEDS -> 0 state 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TesmarMachine m(Options{.dismissDialogs = true});
        m.installSource(std::string("product Scanner A\nsave-ext bmp\n") + c.line + "\n");
        EXPECT_TRUE(m.run(u"ScannerA").finished);
        const std::vector<platform::DismissedDialog> boxes = platform::dismissedDialogs();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, kEnglishRefusal);
        std::vector<std::string> source;
        for (const std::string& line : m.sourceJournal())
            if (line.starts_with("CONTROL/IDENTITY") || line.starts_with("CONTROL/USERINTERFACE")) source.push_back(line);
        EXPECT_EQ(source, c.source);
        const std::optional<std::string> manager = m.machine.readFile(u"C:\\Program Files\\Qelmar\\TWAINDSM.journal");
        EXPECT_NE(manager.value_or("").find("DSM CONTROL/PARENT/CLOSEDSM -> 0"), std::string::npos);

        m.installSource("product Scanner A\nsave-ext bmp\nclose-request\n");
        EXPECT_TRUE(m.run(u"ScannerA").finished);
        EXPECT_EQ(m.savedFiles(), std::vector<std::string>{"scan.bmp"});
        EXPECT_EQ(platform::dismissedDialogs().size(), 1u);
    }
}

// The button of the busy box reads string 8011 of the installation's language library (here Simplified
// Chinese, whose text differs from the box's own "OK"). The program's start runs here, on this thread.
TEST(TesmarStart, BusyBoxButtonReadsTheLanguageText) {
    TesmarMachine m(Options{.lcid = 0x0804});
    platform::setProgramPath(kProgram);
    HANDLE sign = CreateMutexW(nullptr, FALSE, u"Global\\vrx4410_sign");
    std::u16string button, text, title;
    std::thread script([&, scripting = std::make_unique<dlg::Script>()]() mutable {
        HWND box = dlg::waitForDialog(u"Scanning Application");
        ASSERT_NE(box, nullptr);
        button = dlg::controlText(box, IDOK);
        text = dlg::controlText(box, 0xFFFF);
        dlg::clickButton(box, IDOK);
        scripting.reset();
    });
    {
        CTesmarApp app;
        AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u"ScannerA"), SW_SHOWNORMAL);
        EXPECT_EQ(app.m_hScanAppMutex, nullptr);  // refused before the instance mutex
    }
    script.join();
    CloseHandle(sign);
    EXPECT_EQ(button, u"确定");
    EXPECT_EQ(text, u"扫描仪正在使用中或无法找到。请检查设备后重试。");
}

// A second start while one runs: the running one's source interface (here a window of this test, with
// a note it owns that was active last) is restored and its note comes to the front; nothing else happens.
LRESULT CALLBACK plainWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(TesmarStart, SecondInstanceBringsTheSourceInterfaceForward) {
    TesmarMachine m;
    m.installSource("product Scanner A\n");
    HANDLE running = CreateMutexW(nullptr, TRUE, u"Local\\vrx4410_SCANAPPFLAG");
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = plainWindow;
    wc.lpszClassName = u"vrx4410UIFLAG";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    HWND ui = CreateWindowExW(0, u"vrx4410UIFLAG", u"Scanner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr);
    HWND note = CreateWindowExW(0, u"vrx4410UIFLAG", u"Note", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, ui, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(note, nullptr);
    wc.lpszClassName = u"TesmarTestOther";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    HWND other = CreateWindowExW(0, u"TesmarTestOther", u"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr);
    ShowWindow(ui, SW_MINIMIZE);
    SetActiveWindow(note);
    SetActiveWindow(other);
    ASSERT_TRUE(IsIconic(ui));
    ASSERT_EQ(GetLastActivePopup(ui), note);
    ASSERT_EQ(GetActiveWindow(), other);

    const TesmarMachine::Run run = m.run(u"ScannerA");
    // What the second instance asked of this thread is done once its messages are handled.
    for (int i = 0; i < 1000 && (IsIconic(ui) || GetActiveWindow() != note); ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(run.finished);
    EXPECT_FALSE(IsIconic(ui));
    EXPECT_EQ(GetActiveWindow(), note);
    EXPECT_FALSE(m.machine.readFile(u"C:\\Program Files\\Qelmar\\TWAINDSM.journal").has_value());
    EXPECT_TRUE(platform::dismissedDialogs().empty());
    DestroyWindow(other);
    DestroyWindow(ui);
    UnregisterClassW(u"vrx4410UIFLAG", nullptr);
    UnregisterClassW(u"TesmarTestOther", nullptr);
    CloseHandle(running);
}

// The main dialog, run here on this thread with a source that gives no image: placed off screen with
// its show command SW_HIDE, carrying the program's icon, the source's interface shown over it.
TEST(TesmarStart, TheMainDialogIsPlacedOffScreen) {
    TesmarMachine m;
    m.installSource("product Scanner A\nimages 0\n");
    platform::setProgramPath(kProgram);
    WINDOWPLACEMENT placement{};
    HICON big = nullptr, small = nullptr;
    bool interfaceShown = false;
    std::thread script([&, scripting = std::make_unique<dlg::Script>()]() mutable {
        HWND dialog = dlg::waitForDialog({}, IDD_TESMAR_DIALOG);
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < 5000 && !FindWindowW(u"vrx4410UIFLAG", nullptr); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        interfaceShown = FindWindowW(u"vrx4410UIFLAG", nullptr) != nullptr;
        placement.length = sizeof placement;
        GetWindowPlacement(dialog, &placement);
        big = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
        small = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        scripting.reset();
    });
    {
        CTesmarApp app;
        AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u"ScannerA"), SW_SHOWNORMAL);
    }
    script.join();
    EXPECT_TRUE(interfaceShown);
    EXPECT_EQ(placement.flags & WPF_RESTORETOMAXIMIZED, static_cast<UINT>(WPF_RESTORETOMAXIMIZED));
    EXPECT_EQ(placement.rcNormalPosition.left, -10000);
    EXPECT_EQ(placement.rcNormalPosition.top, -10000);
    EXPECT_EQ(placement.rcNormalPosition.right, -10000);
    EXPECT_EQ(placement.rcNormalPosition.bottom, -10000);
    EXPECT_NE(big, nullptr);
    EXPECT_EQ(big, small);
    // The source was opened, told of the program (capability 0x8123) and enabled with its interface.
    const std::vector<std::string> journal = m.sourceJournal();
    EXPECT_TRUE(contains(journal, "CONTROL/CAPABILITY/SET cap 0x8123 type 6 value 1 -> 0"));
    EXPECT_TRUE(contains(journal, "CONTROL/USERINTERFACE/ENABLEDS with interface -> 0"));
    EXPECT_TRUE(contains(journal, "CONTROL/IDENTITY/CLOSEDS -> 0"));
}

}  // namespace
