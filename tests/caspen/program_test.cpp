// The real program on a machine: one instance at a time, the wizard with the title of its command line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "CaspenApp.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "wifisetup/wlan_radios.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
constexpr char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\Caspen.exe";

class CaspenProgram : public ::testing::Test {
protected:
    platform::testing::Machine machine;

    void SetUp() override {
        platform::linkProgram(kProgram, CASPEN_PROGRAM);
        fs::copy_file(fs::path(MFP_LIB_DIR) / "Velrinenus.dll", machine.host(u"C:\\Program Files\\Qelmar\\Velrinenus.dll"));
        platform::radio::setRadio(wlantest::wzcRadio(
            {wlantest::adapter(wlantest::kGuidA, u"Radio A", {wlantest::network("Home", -40, 1)})}));
    }
    // Starts the program with `arguments`; `whileRunning` gets each round until it answers false.
    bool run(const std::u16string& arguments, const std::function<bool()>& whileRunning) {
        std::u16string commandLine = u"\"" + std::u16string(kProgram) + u"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        platform::useVirtualClock(false);
        const BOOL started = CreateProcessW(kProgram, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                            nullptr, &startup, &process);
        platform::useVirtualClock(true);
        if (!started) return false;
        bool acting = true;
        DWORD code = STILL_ACTIVE;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            GetExitCodeProcess(process.hProcess, &code);
            if (code != STILL_ACTIVE) break;
            if (acting) acting = whileRunning();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code != STILL_ACTIVE;
    }
    std::string debugLog() const {
        std::ifstream in(machine.root() / "debug.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(CaspenProgram, APlainStartShowsTheWizardWithTheTitleGiven) {
    HWND wizard = nullptr;
    ASSERT_TRUE(run(u"\"Printer Wi-Fi\" English", [&] {
        wizard = FindWindowW(nullptr, u"Printer Wi-Fi");
        if (!wizard) return true;
        PostMessageW(wizard, WM_COMMAND, IDCANCEL, 0);
        return false;
    }));
    EXPECT_NE(wizard, nullptr);
    EXPECT_NE(debugLog().find("Printer Wi-Fi\" English"), std::string::npos) << "the command line goes to the debugger";
}

TEST_F(CaspenProgram, ASecondInstanceEndsSilently) {
    HANDLE first = CreateMutexW(nullptr, FALSE, kCaspenInstanceMutex);
    ASSERT_NE(first, nullptr);
    bool windowSeen = false;
    ASSERT_TRUE(run(u"\"Printer Wi-Fi\"", [&] {
        windowSeen = windowSeen || FindWindowW(nullptr, u"Printer Wi-Fi") != nullptr;
        return true;
    }));
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(debugLog().find("Printer Wi-Fi"), std::string::npos) << "it ended before reading its command line";
    CloseHandle(first);
}

}  // namespace
