// Processes: the current directory and relative paths, and programs of the machine started as real
// child processes (program links, the search for a bare name, errors, the journal, what the child sees).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;

const fs::path kInstaller = fs::path(MFP_BIN_DIR) / "standin-installer";

std::u16string currentDirectory() {
    WCHAR buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    return buffer;
}

// A machine with the medium in drive D: and the given folders on it.
void addDriveD(const Machine& machine) { fs::create_directories(machine.root() / "drives" / "d" / "Medium" / "Sub"); }

// The "installer started" lines of the machine's debugger output, without the process id.
std::vector<std::string> installerRuns(const Machine& machine) {
    std::ifstream log(machine.root() / "debug.log");
    std::vector<std::string> runs;
    for (std::string line; std::getline(log, line);) {
        const size_t text = line.find(' ');
        if (text != std::string::npos && line.compare(text + 1, 18, "installer started:") == 0)
            runs.push_back(line.substr(text + 1));
    }
    return runs;
}

DWORD waitForExit(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    for (int i = 0; i < 2000 && GetExitCodeProcess(process, &code) && code == static_cast<DWORD>(STILL_ACTIVE); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return code;
}

TEST(CurrentDirectory, StartsAtDriveCAndTakesExistingFolders) {
    Machine machine;
    addDriveD(machine);
    machine.writeFile(u"D:\\Medium\\file.txt", "x");
    EXPECT_EQ(currentDirectory(), u"C:\\");

    struct Case {
        const char16_t* path;
        DWORD error;              // ERROR_SUCCESS: it becomes the current directory
        const char16_t* becomes;  // the directory afterwards
    };
    const Case cases[] = {
        {u"d:\\medium", ERROR_SUCCESS, u"D:\\Medium"},  // spelt as on the disk
        {u"Sub", ERROR_SUCCESS, u"D:\\Medium\\Sub"},     // relative to the current directory
        {u"..\\..", ERROR_SUCCESS, u"D:\\"},
        {u"Medium\\file.txt", ERROR_DIRECTORY, u"D:\\"},
        {u"Missing", ERROR_FILE_NOT_FOUND, u"D:\\"},
        {u"Missing\\Deeper", ERROR_PATH_NOT_FOUND, u"D:\\"},
        {u"\\Windows", ERROR_FILE_NOT_FOUND, u"D:\\"},  // the root of the current drive, D:
        {u"C:\\Windows", ERROR_SUCCESS, u"C:\\Windows"},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        const BOOL set = SetCurrentDirectoryW(c.path);
        EXPECT_EQ(set, c.error == ERROR_SUCCESS ? TRUE : FALSE) << platform::toUtf8(c.path);
        if (!set) {
            EXPECT_EQ(GetLastError(), c.error) << platform::toUtf8(c.path);
        }
        EXPECT_EQ(currentDirectory(), c.becomes) << platform::toUtf8(c.path);
    }

    WCHAR small[4] = {};
    EXPECT_EQ(GetCurrentDirectoryW(4, small), 11u) << "the size needed, with the terminator";
}

TEST(CurrentDirectory, RelativeFilePathsStartThere) {
    Machine machine;
    addDriveD(machine);
    ASSERT_TRUE(SetCurrentDirectoryW(u"D:\\Medium"));
    struct Case {
        const char16_t* path;
        const char16_t* lands;
    };
    const Case cases[] = {
        {u"a.txt", u"D:\\Medium\\a.txt"},
        {u"Sub\\b.txt", u"D:\\Medium\\Sub\\b.txt"},
        {u"..\\c.txt", u"D:\\c.txt"},
        {u"\\d.txt", u"D:\\d.txt"},
        {u"d:e.txt", u"D:\\Medium\\e.txt"},  // the drive of the current directory: relative to it
        {u"C:f.txt", u"C:\\f.txt"},          // another drive: its root
    };
    for (const Case& c : cases) {
        HANDLE file = CreateFileW(c.path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << platform::toUtf8(c.path);
        CloseHandle(file);
        EXPECT_TRUE(machine.readFile(c.lands).has_value()) << platform::toUtf8(c.path);
    }
}

TEST(Programs, WinExecStartsTheLinkedBinaryAsAChildThatSeesItsPathLineAndDirectory) {
    Machine machine;
    addDriveD(machine);
    platform::linkProgram(u"D:\\Medium\\Setup.exe", kInstaller);
    ASSERT_TRUE(SetCurrentDirectoryW(u"D:\\Medium"));

    EXPECT_GT(WinExec("Setup.exe /quiet", SW_SHOWNORMAL), 31u);

    const std::vector<platform::ProgramStart> starts = platform::programStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, u"D:\\Medium\\Setup.exe");
    EXPECT_EQ(starts[0].commandLine, u"Setup.exe /quiet");
    EXPECT_EQ(starts[0].currentDirectory, u"D:\\Medium");
    EXPECT_EQ(starts[0].parentId, GetCurrentProcessId());
    EXPECT_NE(starts[0].processId, GetCurrentProcessId());

    std::vector<std::string> runs;
    for (int i = 0; i < 2000 && (runs = installerRuns(machine)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(runs, std::vector<std::string>{
                        "installer started: program=D:\\Medium\\Setup.exe; command line=Setup.exe /quiet; "
                        "current directory=D:\\Medium"});
}

TEST(Programs, CreateProcessGivesADirectoryAndAnExitCode) {
    Machine machine;
    addDriveD(machine);
    platform::linkProgram(u"C:\\Windows\\System32\\tool.exe", kInstaller);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    WCHAR line[] = u"tool -x";  // ".exe" added, found in System32
    ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, u"D:\\medium\\sub", &startup, &info));
    EXPECT_EQ(waitForExit(info.hProcess), 0u);
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_EQ(installerRuns(machine),
              std::vector<std::string>{"installer started: program=C:\\Windows\\System32\\tool.exe; command line=tool -x; "
                                       "current directory=D:\\Medium\\Sub"});
    ASSERT_EQ(platform::programStarts().size(), 1u);
    EXPECT_EQ(platform::programStarts()[0].processId, info.dwProcessId);

    DWORD code = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Programs, ABareNameIsLookedForInTheProgramsFolderBeforeTheCurrentDirectory) {
    Machine machine;
    addDriveD(machine);
    platform::setProgramPath(u"C:\\Program Files\\App\\app.exe");
    platform::linkProgram(u"C:\\Program Files\\App\\Setup.exe", kInstaller);
    platform::linkProgram(u"D:\\Medium\\Setup.exe", kInstaller);
    ASSERT_TRUE(SetCurrentDirectoryW(u"D:\\Medium"));
    EXPECT_GT(WinExec("Setup.exe", SW_SHOWNORMAL), 31u);
    EXPECT_GT(WinExec(".\\Setup.exe", SW_SHOWNORMAL), 31u);
    platform::setProgramPath(u"");
    const std::vector<platform::ProgramStart> starts = platform::programStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].program, u"C:\\Program Files\\App\\Setup.exe");
    EXPECT_EQ(starts[1].program, u"D:\\Medium\\Setup.exe") << "a path with a folder is taken as it stands";
}

TEST(Programs, WhatIsNoProgramIsRefusedAndNothingStarts) {
    Machine machine;
    addDriveD(machine);
    machine.writeFile(u"D:\\Medium\\Plain.exe", "MZ not one of ours");
    machine.writeFile(u"D:\\Medium\\Dangling.exe", "MFP-PROGRAM-LINK\n/nonexistent/binary\n");
    platform::linkProgram(u"D:\\Medium\\Setup.exe", kInstaller);
    ASSERT_TRUE(SetCurrentDirectoryW(u"D:\\Medium"));
    struct Case {
        const char* line;
        UINT winExec;     // WinExec's answer
        DWORD lastError;  // CreateProcessW's error
    };
    const Case cases[] = {
        {"Setup64.exe", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"Missing\\Setup.exe", ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
        {"Plain.exe", ERROR_BAD_FORMAT, ERROR_BAD_EXE_FORMAT},
        {"Dangling.exe", ERROR_BAD_FORMAT, ERROR_BAD_EXE_FORMAT},
        {"Sub", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},  // "Sub.exe"; the folder "Sub" is no program
        {"", 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(WinExec(c.line, SW_SHOWNORMAL), c.winExec) << c.line;
        EXPECT_EQ(GetLastError(), c.lastError) << c.line;
    }
    platform::setFault("CreateProcessW", platform::Fault().onlyFor("D:\\Medium\\Setup.exe").withError(ERROR_NOT_ENOUGH_MEMORY));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WinExec("Setup.exe", SW_SHOWNORMAL), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(platform::programStarts().empty());
}

TEST(Programs, TheShowCommandIsJournalledAndBothHandlesCloseAtOnce) {
    Machine machine;
    platform::linkProgram(u"C:\\Program Files\\App\\helper.exe", kInstaller);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    WCHAR line[] = u" \"C:\\a b\\one.pdf\" ";
    ASSERT_TRUE(CreateProcessW(u"C:\\Program Files\\App\\helper.exe", line, nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_GT(WinExec("\"C:\\Program Files\\App\\helper.exe\"", SW_SHOWMINIMIZED), 31u);

    const std::vector<platform::ProgramStart> starts = platform::programStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].commandLine, line) << "the whole line as given";
    EXPECT_EQ(starts[0].startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(starts[0].showWindow, SW_HIDE);
    EXPECT_EQ(starts[1].startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(starts[1].showWindow, SW_SHOWMINIMIZED);
    // Both children run to their end although their handles went at once.
    std::vector<std::string> runs;
    for (int i = 0; i < 2000 && (runs = installerRuns(machine)).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(runs.size(), 2u);
}

// The show command a program was started with, as its own process sees it (the variable its parent
// sets for it), for one test.
class StartedWith {
public:
    explicit StartedWith(const char* show) { setenv("PLATFORM_SHOW_WINDOW", show, 1); }
    ~StartedWith() { unsetenv("PLATFORM_SHOW_WINDOW"); }
};

HWND topLevelWindow(HWND owner = nullptr) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"StartupShowTest";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, u"StartupShowTest", u"Main", WS_POPUP, 0, 0, 50, 50, owner, nullptr, nullptr, nullptr);
}

TEST(StartupInfo, TheStartersShowCommandTakesTheFirstShowingOfAnUnownedWindow) {
    StartedWith hidden("0");
    {
        Machine machine;
        STARTUPINFOW startup{};
        GetStartupInfoW(&startup);
        EXPECT_EQ(startup.cb, sizeof startup);
        EXPECT_EQ(startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(startup.wShowWindow, SW_HIDE);

        HWND main = topLevelWindow();
        HWND owned = topLevelWindow(main);
        ShowWindow(owned, SW_SHOW);
        EXPECT_TRUE(IsWindowVisible(owned)) << "an owned window does not take it";
        ShowWindow(main, SW_SHOW);
        EXPECT_FALSE(IsWindowVisible(main)) << "the first showing takes SW_HIDE";
        ShowWindow(main, SW_SHOW);
        EXPECT_TRUE(IsWindowVisible(main)) << "only the first";
        ShowWindow(main, SW_SHOWDEFAULT);
        EXPECT_FALSE(IsWindowVisible(main)) << "SW_SHOWDEFAULT always means the starter's command";
        DestroyWindow(main);
    }
    {
        StartedWith minimised("2");
        Machine machine;
        HWND first = topLevelWindow();
        ShowWindow(first, SW_SHOWMAXIMIZED);  // not a plain showing: kept, and the rule is spent
        EXPECT_TRUE(IsZoomed(first));
        HWND second = topLevelWindow();
        ShowWindow(second, SW_SHOWNORMAL);
        EXPECT_FALSE(IsIconic(second));
        DestroyWindow(first);
        DestroyWindow(second);
    }
    {
        StartedWith minimised("2");
        Machine machine;
        HWND first = topLevelWindow();
        ShowWindow(first, SW_SHOWNORMAL);
        EXPECT_TRUE(IsIconic(first));
        EXPECT_TRUE(IsWindowVisible(first));
        DestroyWindow(first);
    }
}

TEST(StartupInfo, WithoutOneTheDefaultShowsNormally) {
    Machine machine;
    STARTUPINFOW startup{};
    startup.dwFlags = 0xFFFF;
    GetStartupInfoW(&startup);
    EXPECT_EQ(startup.dwFlags, 0u);
    HWND main = topLevelWindow();
    ShowWindow(main, SW_SHOWDEFAULT);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsIconic(main));
    DestroyWindow(main);
}

}  // namespace
