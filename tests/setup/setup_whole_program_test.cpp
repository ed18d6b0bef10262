// The real program `setup` on a machine, as a person starts it from the printer-driver folder and
// answers it through the machine's queue: its window under its own class, the quit question, and the
// exit code 1 of a configuration it cannot trust, with no window and nothing changed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/setup_machine.h"
#include "win/processes.h"

namespace {

using namespace setup_test;

class SetupProgram : public SetupMachine {
protected:
    void SetUp() override {
        SetupMachine::SetUp();
        platform::linkProgram(kSetupPath, SETUP_PROGRAM);
    }
    // Runs the program with the queued answers; its exit code, and whether its window was seen.
    DWORD runProgram(const std::vector<DialogAnswer>& answers, bool& windowSeen) {
        platform::queueDialogAnswers(answers);
        std::u16string commandLine = u"\"" + std::u16string(kSetupPath) + u"\" -uninstall";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        platform::useVirtualClock(false);
        const BOOL started = CreateProcessW(kSetupPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &process);
        platform::useVirtualClock(true);
        EXPECT_TRUE(started);
        if (!started) return 0;
        DWORD code = STILL_ACTIVE;
        windowSeen = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            GetExitCodeProcess(process.hProcess, &code);
            if (code != STILL_ACTIVE) break;
            windowSeen = windowSeen || FindWindowW(kSetupWindowClass, nullptr) != nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
};

TEST_F(SetupProgram, APersonLeavesThroughExitAndConfirms) {
    platform::MachineSettings settings;
    settings.dismissDialogsAfter = 20000;
    start(settings);
    platform::linkProgram(kSetupPath, SETUP_PROGRAM);
    bool windowSeen = false;
    EXPECT_EQ(runProgram({{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDCANCEL},
                          {DialogAnswer::Press, IDD_UNINSTALL_LIST, IDCANCEL}, {DialogAnswer::Box, 0, 0, 0, IDOK}},
                         windowSeen),
              0u);
    EXPECT_TRUE(windowSeen);
    EXPECT_TRUE(platform::queuedDialogAnswers().empty());
    EXPECT_TRUE(platform::dismissedDialogs().empty());
    const auto boxes = answeredBoxTexts();
    EXPECT_EQ(boxes, (std::vector<std::u16string>(2, u"Do you really want to quit the Zandrel M2100 Series uninstall wizard?")));
}

TEST_F(SetupProgram, AMissingOrDamagedConfigurationEndsWithExitCodeOneAndNoWindow) {
    const std::u16string config = std::u16string(kDriverFolder) + u"SetupCFG.xml";
    for (const char* bytes : {static_cast<const char*>(nullptr), "<SERTUP_INFO><MODEL>", "<OTHER_ROOT/>"}) {
        if (bytes)
            machine->writeFile(config, bytes);
        else
            DeleteFileW(config.c_str());
        const auto before = platform::testing::snapshot();
        bool windowSeen = true;
        EXPECT_EQ(runProgram(exitAnswers(), windowSeen), 1u) << (bytes ? bytes : "missing");
        EXPECT_FALSE(windowSeen);
        EXPECT_EQ(platform::queuedDialogAnswers().size(), 2u);
        platform::clearDialogAnswers();
        std::vector<std::string> changes;
        for (const std::string& line : platform::testing::diff(before, platform::testing::snapshot()))
            if (line.find("debug.log") == std::string::npos && line.find("dialogs") == std::string::npos)
                changes.push_back(line);
        EXPECT_TRUE(changes.empty()) << changes.front();
    }
}

}  // namespace
