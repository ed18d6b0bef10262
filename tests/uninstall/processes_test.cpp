// Finding and ending processes by their program's name among the machine's processes: resident ones a
// test places, this test program itself, and a real child process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "SystemQueries.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace {

namespace fs = std::filesystem;
using platform::Fault;
using platform::testing::Machine;
using uninstall::kProcessFound;
using uninstall::kProcessNotFound;

const char16_t kOrlith[] = u"C:\\Program Files\\Zandrel\\M2100\\Orlith.exe";
const char16_t kOtherOrlith[] = u"C:\\Users\\User\\Orlith.exe";
const char16_t kMonitor[] = u"C:\\Program Files\\Zandrel\\M2100\\ZDStatusMon.exe";

size_t residentsRunning(std::u16string_view program) {
    size_t count = 0;
    for (const platform::ProcessEntry& entry : platform::processTable()) count += entry.program == program;
    return count;
}

TEST(Processes, FirstOfTwoByNameInAnyCase) {
    Machine machine;
    const DWORD first = platform::placeProcess(kOrlith);
    platform::placeProcess(kOtherOrlith);
    EXPECT_EQ(uninstall::IsProcessRunning(u"ORLITH.EXE"), kProcessFound);
    EXPECT_EQ(uninstall::IsProcessRunning(u"orlith"), kProcessNotFound);  // the whole name, extension too
    EXPECT_EQ(uninstall::IsProcessRunning(u"Tesmar.exe"), kProcessNotFound);

    platform::setCallJournal(true);
    uninstall::KillProcessByName(u"orlith.exe");
    EXPECT_EQ(residentsRunning(kOrlith), 0u);  // the first in enumeration order
    EXPECT_EQ(residentsRunning(kOtherOrlith), 1u);
    const std::vector<platform::CallRecord> calls = platform::callJournal();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].call, "TerminateProcess");
    EXPECT_EQ(calls[0].arguments, platform::fromUtf8(std::to_string(first)) + u", 0");
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessFound);  // the second one
    uninstall::KillProcessByName(u"Orlith.exe");
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessNotFound);
}

TEST(Processes, OnesThatCannotBeOpenedOrReadArePassedOver) {
    Machine machine;
    platform::placeProcess(kMonitor, false);
    EXPECT_EQ(uninstall::IsProcessRunning(u"ZDStatusMon.exe"), kProcessNotFound);
    uninstall::KillProcessByName(u"ZDStatusMon.exe");
    EXPECT_EQ(residentsRunning(kMonitor), 1u);

    platform::placeProcess(kOrlith);
    for (const char* name : {"OpenProcess", "EnumProcessModules", "GetModuleBaseNameW"}) {
        SCOPED_TRACE(name);
        platform::clearFaults();
        platform::setFault(name, Fault().failing(-1));
        EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessNotFound);
    }
    platform::clearFaults();
    platform::setFault("EnumProcesses", Fault());
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessNotFound);
    platform::setFault("EnumProcesses", Fault());
    uninstall::KillProcessByName(u"Orlith.exe");
    EXPECT_EQ(residentsRunning(kOrlith), 1u);
    // Ending it fails: it stays, and nothing is reported.
    platform::setFault("TerminateProcess", Fault());
    uninstall::KillProcessByName(u"Orlith.exe");
    EXPECT_EQ(residentsRunning(kOrlith), 1u);
}

TEST(Processes, ThisProgramIsListedButNeverEnded) {
    Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Zandrel\\M2100\\setup.exe");
    EXPECT_EQ(uninstall::IsProcessRunning(u"SETUP.exe"), kProcessFound);
    uninstall::KillProcessByName(u"setup.exe");  // would end this test
    EXPECT_EQ(uninstall::IsProcessRunning(u"setup.exe"), kProcessFound);
    // Another process of the same name is ended instead.
    platform::placeProcess(u"C:\\Temp\\setup.exe");
    uninstall::KillProcessByName(u"setup.exe");
    EXPECT_EQ(residentsRunning(u"C:\\Temp\\setup.exe"), 0u);
}

TEST(Processes, MoreThanTheProgramsOldBuffer) {
    Machine machine;
    for (int i = 0; i < 300; ++i) platform::placeProcess(u"C:\\Windows\\filler" + platform::fromUtf8(std::to_string(i)) + u".exe");
    platform::placeProcess(kOrlith);  // listed after the first 256
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessFound);
    uninstall::KillProcessByName(u"Orlith.exe");
    EXPECT_EQ(residentsRunning(kOrlith), 0u);
}

TEST(Processes, ARealChildEndsAndItsProgramCanThenBeDeleted) {
    Machine machine;
    platform::linkProgram(kOrlith, LINGERING_PROGRAM);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::u16string line = u"\"" + std::u16string(kOrlith) + u"\"";
    ASSERT_TRUE(CreateProcessW(kOrlith, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessFound);
    // Windows keeps a running program's file.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(kOrlith));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});

    uninstall::KillProcessByName(u"Orlith.exe");
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(uninstall::IsProcessRunning(u"Orlith.exe"), kProcessNotFound);
    EXPECT_TRUE(DeleteFileW(kOrlith));
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

}  // namespace
