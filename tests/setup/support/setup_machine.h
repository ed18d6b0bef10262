// A machine with the uninstaller in the printer-driver folder: its configuration (made from a few
// choices), its language and bitmap libraries, and the product's printers; and the program's start
// run in this process, answered by a person's queued answers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EasyInstallApp.h"
#include "SetupResources.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace setup_test {

namespace fs = std::filesystem;
using platform::DialogAnswer;

inline constexpr char16_t kDriverFolder[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\";
inline constexpr char16_t kSetupPath[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe";
inline constexpr char16_t kHeading[] = u"Zandrel M2100 Series";

// What the configuration says.
struct Product {
    std::string type = "1";
    std::vector<std::string> models = {"Zandrel M2100"};
    std::string languages = "<source_dll ID=\"English\">Lang\\ZDUnsenus.dll</source_dll>";
    std::string pushexe = "C:\\Program Files\\Zandrel\\M2100\\vrx4410PushScan.exe";
    std::string twainMutex = "Local\\vrx4410_SCANAPPFLAG";
};

inline std::string configXml(const Product& p) {
    std::string models;
    for (const std::string& m : p.models) models += "<Model_Info type=\"MFP\">" + m + "</Model_Info>";
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SERTUP_INFO>"
           "<Headingline><Content>Zandrel M2100 Series</Content></Headingline>"
           "<MultiFunc><Type>" + p.type + "</Type></MultiFunc><MODEL>" + models + "</MODEL>"
           "<DLL_UNSETUP>" + p.languages + "</DLL_UNSETUP>"
           "<CreateFolder><Folder><Dir>\\Zandrel</Dir></Folder><pushexe>" + p.pushexe + "</pushexe>"
           "<TwainMutex>" + p.twainMutex + "</TwainMutex></CreateFolder></SERTUP_INFO>\n";
}

inline void installPrinter(const std::u16string& name, const std::u16string& driver, const std::u16string& port = u"USB001") {
    platform::PrinterSetup printer;
    printer.name = name;
    printer.driverName = driver;
    printer.port = port;
    platform::installPrinter(printer);
}

// The texts of a list view's rows (column `column`), top to bottom; sent from any thread.
inline std::vector<std::u16string> listRows(HWND list, int column = 0) {
    std::vector<std::u16string> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        WCHAR text[260] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        rows.emplace_back(text);
    }
    return rows;
}

// Waits (in real time, at most 5 s) until `condition` holds, as a person watching the screen would.
inline bool waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

inline bool messageBoxOpen() {
    for (HWND d : platform::dialogs::findDialogs())
        if (platform::dialogs::isMessageBox(d)) return true;
    return false;
}

// The shown page of the main window that holds `control` (pages are child dialogs, which the dialog
// scripts do not list), once the main window is up.
inline HWND waitForPage(int control) {
    HWND main = platform::dialogs::waitForDialog({}, IDD_UNINSTALL_MAIN);
    for (int i = 0; main && i < 500; ++i) {
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgItem(child, control) && IsWindowVisible(child)) return child;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

// From the list page: delete all with a worker that cannot start, its box answered; the progress page
// then stands still for the test to drive with the worker's messages (NULL when it did not come).
inline HWND progressPageWithoutWorker(HWND list) {
    platform::setFault("CreateThread", platform::Fault());
    platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDOK}});
    platform::dialogs::clickButton(list, IDOK);
    HWND page = waitForPage(IDC_DOING_PROGRESS);
    waitUntil([] { return !platform::answeredDialogs().empty() && !messageBoxOpen(); });
    return page;
}

class SetupMachine : public ::testing::Test {
protected:
    std::unique_ptr<platform::testing::Machine> machine;

    void SetUp() override { start({}); }
    void start(const platform::MachineSettings& settings) {
        machine.reset();
        machine = std::make_unique<platform::testing::Machine>(settings);
        platform::setProgramPath(kSetupPath);
        for (const char* library : {"ZDUnsenus.dll", "ZDUnsar.dll", "ZDUnszhcn.dll", "ZDUnsbmp.dll"})
            fs::copy_file(fs::path(MFP_LIB_DIR) / library,
                          machine->host(std::u16string(kDriverFolder) + platform::fromUtf8(library)),
                          fs::copy_options::overwrite_existing);
        writeConfig(Product{});
    }
    void writeConfig(const Product& product) const {
        machine->writeFile(std::u16string(kDriverFolder) + u"SetupCFG.xml", configXml(product));
    }

    // Runs the program's start here with the queued answers; `whileUp` (on another thread, as a
    // script) gets the list page once it is shown. The watchdog ends what nobody answers.
    BOOL runSetup(const std::vector<DialogAnswer>& answers, const std::function<void(HWND page)>& whileUp = {}) {
        platform::queueDialogAnswers(answers);
        std::thread script;
        std::unique_ptr<platform::dialogs::Script> scripting;
        if (whileUp) {
            scripting = std::make_unique<platform::dialogs::Script>();
            script = std::thread([&] {
                HWND page = waitForPage(IDC_LIST_PRINTERS);
                EXPECT_NE(page, nullptr);
                if (page) whileUp(page);
                // The script lasts until the window it closed has gone (for a minute at most): the
                // watchdog counts machine time, which may run on while the window is still closing.
                HWND window = page ? GetAncestor(page, GA_ROOT) : nullptr;
                for (int i = 0; window && IsWindow(window) && i < 6000; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                scripting.reset();
            });
        }
        platform::dialogs::setUnscriptedDialogHandler([this](const auto& d) { unanswered.push_back(d); }, 30000);
        CEasyInsatllApp app;
        const BOOL result = app.InitInstance();
        platform::dialogs::setUnscriptedDialogHandler(nullptr);
        if (script.joinable()) script.join();
        return result;
    }

    // The boxes the queued answers met: their texts, in order.
    static std::vector<std::u16string> answeredBoxTexts() {
        std::vector<std::u16string> texts;
        for (const auto& a : platform::answeredDialogs())
            if (a.answer.rfind("box ", 0) == 0) texts.push_back(a.text);
        return texts;
    }

    std::vector<platform::dialogs::UnscriptedDialog> unanswered;
};

// Answers that leave the list page through Exit and confirm the question.
inline std::vector<DialogAnswer> exitAnswers() {
    return {{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDOK}};
}

}  // namespace setup_test
