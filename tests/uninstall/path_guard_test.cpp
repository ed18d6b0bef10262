// The guard every deletion passes: what it joins, what it refuses and why, against the folders of a fresh
// machine; refusals reach the removal log and the debugger output.
#include <gtest/gtest.h>

#include <string>

#include "PathGuard.h"
#include "RemovalLog.h"
#include "platform/control.h"
#include "platform/testing/machine.h"

namespace {

using platform::testing::Machine;
using uninstall::GuardResult;
using uninstall::JoinedText;
using uninstall::ProtectedFolders;

struct GuardCase {
    const char16_t* base;
    const char16_t* text;
    DWORD error;               // ERROR_SUCCESS when joined
    const char16_t* joined;    // the result when joined
    size_t capacity = 512;
    JoinedText kind = JoinedText::Path;
};

const GuardCase kCases[] = {
    // Joined: one backslash between, doubled separators counting as one, "/" as a separator.
    {u"C:\\Program Files", u"\\Zandrel\\M2100", ERROR_SUCCESS, u"C:\\Program Files\\Zandrel\\M2100"},
    {u"C:\\Program Files\\", u"Zandrel", ERROR_SUCCESS, u"C:\\Program Files\\Zandrel"},
    {u"C:\\Program Files", u"Zandrel/M2100\\\\Lang", ERROR_SUCCESS, u"C:\\Program Files\\Zandrel\\M2100\\Lang"},
    {u"C:", u"\\Zandrel", ERROR_SUCCESS, u"C:\\Zandrel"},
    {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3", u"\\ZandrelM2100", ERROR_SUCCESS,
     u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\ZandrelM2100"},
    {u"C:\\Users\\User\\AppData\\Roaming", u"Zandrel", ERROR_SUCCESS, u"C:\\Users\\User\\AppData\\Roaming\\Zandrel"},
    {u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", u"\\Zandrel", ERROR_SUCCESS,
     u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel"},
    {u"C:\\Windows\\System32", u"ZDLangMon.dll", ERROR_SUCCESS, u"C:\\Windows\\System32\\ZDLangMon.dll", 512,
     JoinedText::Name},
    // The capacity counts the NUL; nothing is ever cut.
    {u"C:\\Program Files", u"Zandrel", ERROR_SUCCESS, u"C:\\Program Files\\Zandrel", 25},
    {u"C:\\Program Files", u"Zandrel", ERROR_FILENAME_EXCED_RANGE, nullptr, 24},
    // Bases that are no absolute folder of a drive.
    {u"", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"Program Files", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"C:Program Files", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"\\Program Files", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"\\\\server\\share", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"\\\\?\\C:\\Program Files", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"\\\\.\\PhysicalDrive0", u"Zandrel", ERROR_BAD_PATHNAME, nullptr},
    {u"C:\\Program Files\\a:b", u"Zandrel", ERROR_INVALID_NAME, nullptr},
    // Text that is no plain name below the base.
    {u"C:\\Program Files", u"", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"\\", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"\\\\", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u".", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"..", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files\\Zandrel", u"..\\..\\Windows", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zandrel\\...", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u" . ", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zandrel.", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zandrel \\M2100", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"C:\\Windows", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zan*", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zan?rel", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Program Files", u"Zan\trel", ERROR_INVALID_NAME, nullptr},
    {u"C:\\Windows\\System32", u"x64\\ZDLangMon.dll", ERROR_INVALID_NAME, nullptr, 512, JoinedText::Name},
    // The system's folders, and folders that hold one, in any letter case.
    {u"C:", u"\\", ERROR_INVALID_NAME, nullptr},
    {u"C:\\", u"Windows", ERROR_ACCESS_DENIED, nullptr},
    {u"c:\\windows", u"SYSTEM32", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows", u"SysWOW64", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows", u"inf", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows", u"twain_32", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows", u"Temp", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows\\System32", u"spool", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows\\System32\\spool", u"drivers", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows\\System32\\spool\\drivers", u"x64", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Windows\\System32\\spool\\drivers", u"x64\\3", ERROR_ACCESS_DENIED, nullptr},
    {u"C:", u"\\Program Files", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\", u"Program Files (x86)", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\", u"ProgramData", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\", u"Users", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users", u"User", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\Other", u"AppData", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\User\\AppData", u"Roaming", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\User\\AppData", u"Local", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\User\\AppData\\Local", u"Temp", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\Default", u"Application Data", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\Public", u"Desktop", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows", u"Start Menu", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", u"Programs", ERROR_ACCESS_DENIED, nullptr},
    {u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", u"Programs", ERROR_ACCESS_DENIED, nullptr},
};

TEST(PathGuard, JoinsOnlyPlainPathsStrictlyBelowTheBaseAndNeverASystemFolder) {
    Machine machine;
    const ProtectedFolders folders = ProtectedFolders::fromSystem();
    for (const GuardCase& test : kCases) {
        SCOPED_TRACE(platform::toUtf8(test.base) + " + " + platform::toUtf8(test.text));
        const GuardResult result = uninstall::guardJoin(test.base, test.text, test.capacity, folders, test.kind);
        EXPECT_EQ(result.error, test.error) << result.reason;
        EXPECT_EQ(result.ok, test.error == ERROR_SUCCESS);
        if (result.ok) EXPECT_EQ(platform::toUtf8(result.path), platform::toUtf8(test.joined));
        else EXPECT_FALSE(result.reason.empty());
    }
}

TEST(PathGuard, WholePathsAndTheMachinesOwnWindowsFolder) {
    platform::MachineSettings settings;
    settings.windowsFolder = u"D:\\WINNT";
    Machine machine(settings);
    const ProtectedFolders folders = ProtectedFolders::fromSystem();
    EXPECT_EQ(uninstall::guardPath(u"D:\\WINNT\\System32", 512, folders).error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(uninstall::guardPath(u"D:\\WINNT\\twain_32", 512, folders).error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(uninstall::guardPath(u"D:\\", 512, folders).error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(uninstall::guardPath(u"D:", 512, folders).error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(uninstall::guardPath(u"", 512, folders).error, DWORD{ERROR_BAD_PATHNAME});
    const GuardResult file = uninstall::guardPath(u"D:\\WINNT\\twain_32\\Zandrel\\\\ZDScanDS.ds", 512, folders);
    EXPECT_TRUE(file.ok);
    EXPECT_EQ(file.path, u"D:\\WINNT\\twain_32\\Zandrel\\ZDScanDS.ds");
    EXPECT_EQ(uninstall::fileNamePart(u"C:\\Program Files\\Zandrel/Orlith.exe"), u"Orlith.exe");
    EXPECT_EQ(uninstall::fileNamePart(u"Orlith.exe"), u"Orlith.exe");
}

TEST(PathGuard, RefusalsAreLoggedAndTheCallerGoesOn) {
    Machine machine;
    uninstall::clearRemovalLog();
    platform::clearDebugLog();
    std::u16string path = u"kept";
    EXPECT_FALSE(uninstall::GuardedJoin(u"DeleteFolder", u"C:\\Windows", u"System32", 512, path));
    EXPECT_EQ(path, u"kept");
    EXPECT_FALSE(uninstall::GuardedPath(u"DeleteFile", u"C:\\Program Files\\Zan*", 512));
    EXPECT_TRUE(uninstall::GuardedJoin(u"DeleteFolder", u"C:\\Program Files", u"\\Zandrel", 512, path));
    EXPECT_EQ(path, u"C:\\Program Files\\Zandrel");

    const std::vector<uninstall::RemovalLogEntry> log = uninstall::removalLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].operation, u"DeleteFolder");
    EXPECT_EQ(log[0].target, u"C:\\Windows|System32");
    EXPECT_EQ(log[0].error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(log[1].target, u"C:\\Program Files\\Zan*");
    EXPECT_EQ(log[1].error, DWORD{ERROR_INVALID_NAME});
    const std::vector<std::string> lines = platform::debugLog();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "removal failed: DeleteFolder \"C:\\Windows|System32\" error 5 (a system folder or one holding it)");
}

}  // namespace
