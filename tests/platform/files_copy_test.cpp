// CopyFileW on the machine's drives.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;

TEST(CopyFile, OverwritesOrRefusesWithTheErrorsOfWindows) {
    Machine machine;
    machine.writeFile(u"C:\\Scans\\page.pdf", "new pages");
    machine.writeFile(u"C:\\Mail\\Page.PDF", "old copy");
    machine.writeFile(u"C:\\Mail\\locked.pdf", "read-only");
    fs::permissions(machine.host(u"C:\\Mail\\locked.pdf"), fs::perms::owner_read);
    CreateDirectoryW(u"C:\\Mail\\folder.pdf", nullptr);
    struct Case {
        const char16_t* from;
        const char16_t* to;
        BOOL failIfExists;
        DWORD error;  // 0: copied
    };
    const Case cases[] = {
        {u"C:\\Scans\\page.pdf", u"C:\\Mail\\page.pdf", TRUE, ERROR_FILE_EXISTS},  // any case of the name
        {u"C:\\Scans\\page.pdf", u"C:\\Mail\\first.pdf", TRUE, 0},
        {u"C:\\Scans\\page.pdf", u"C:\\Mail\\page.pdf", FALSE, 0},
        {u"C:\\Scans\\page.pdf", u"C:\\Mail\\locked.pdf", FALSE, ERROR_ACCESS_DENIED},
        {u"C:\\Scans\\page.pdf", u"C:\\Mail\\folder.pdf", FALSE, ERROR_ACCESS_DENIED},
        {u"C:\\Scans\\page.pdf", u"c:\\scans\\PAGE.pdf", FALSE, ERROR_SHARING_VIOLATION},  // onto itself
        {u"C:\\Scans\\page.pdf", u"C:\\Nowhere\\page.pdf", FALSE, ERROR_PATH_NOT_FOUND},
        {u"C:\\Scans\\gone.pdf", u"C:\\Mail\\gone.pdf", FALSE, ERROR_FILE_NOT_FOUND},
        {u"C:\\Nowhere\\gone.pdf", u"C:\\Mail\\gone.pdf", FALSE, ERROR_PATH_NOT_FOUND},
        {u"C:\\Scans", u"C:\\Mail\\Scans", FALSE, ERROR_ACCESS_DENIED},  // a folder is no file to copy
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CopyFileW(c.from, c.to, c.failIfExists), c.error == 0 ? TRUE : FALSE) << platform::toUtf8(c.to);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error) << platform::toUtf8(c.to);
        }
    }
    EXPECT_EQ(machine.readFile(u"C:\\Mail\\first.pdf"), "new pages");
    EXPECT_EQ(machine.filesIn(u"C:\\Mail"), (std::vector<std::string>{"Page.PDF", "first.pdf", "locked.pdf"}))
        << "an overwritten file keeps its name as the disk spells it";
    EXPECT_EQ(machine.readFile(u"C:\\Mail\\Page.PDF"), "new pages");
    EXPECT_EQ(machine.readFile(u"C:\\Mail\\locked.pdf"), "read-only");
    EXPECT_EQ(machine.readFile(u"C:\\Scans\\page.pdf"), "new pages") << "a copy onto itself loses nothing";
}

TEST(CopyFile, KeepsTheLastWriteTimeAndFailsOnItsSwitch) {
    Machine machine;
    machine.writeFile(u"C:\\a.txt", "a");
    const auto written = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(machine.host(u"C:\\a.txt"), written);
    ASSERT_TRUE(CopyFileW(u"C:\\a.txt", u"C:\\b.txt", FALSE));
    EXPECT_EQ(fs::last_write_time(machine.host(u"C:\\b.txt")), written);

    platform::setFault("CopyFile", platform::Fault().onlyFor("C:\\a.txt").withError(ERROR_DISK_FULL));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CopyFileW(u"C:\\a.txt", u"C:\\c.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(machine.readFile(u"C:\\c.txt"));
    EXPECT_TRUE(CopyFileW(u"C:\\b.txt", u"C:\\c.txt", FALSE)) << "only the file of its detail";
}

}  // namespace
