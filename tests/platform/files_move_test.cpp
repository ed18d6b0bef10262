// MoveFileW on the machine's drives.
#include <gtest/gtest.h>

#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

TEST(MoveFile, RenamesAndMovesButNeverOverwrites) {
    Machine machine;
    machine.writeFile(u"C:\\Temp\\Jpg1.tmp", "page one");
    machine.writeFile(u"C:\\Scans\\kept.pdf", "kept");
    CreateDirectoryW(u"C:\\Folder", nullptr);
    struct Case {
        const char16_t* from;
        const char16_t* to;
        DWORD error;  // 0: moved
    };
    const Case cases[] = {
        {u"C:\\Temp\\Jpg1.tmp", u"C:\\Scans\\img-001.jpg", 0},
        {u"C:\\Temp\\Jpg1.tmp", u"C:\\Scans\\img-002.jpg", ERROR_FILE_NOT_FOUND},
        {u"C:\\Nowhere\\x.tmp", u"C:\\Scans\\x.jpg", ERROR_PATH_NOT_FOUND},
        {u"C:\\Scans\\img-001.jpg", u"C:\\Scans\\KEPT.pdf", ERROR_ALREADY_EXISTS},
        {u"C:\\Scans\\img-001.jpg", u"C:\\Nowhere\\img.jpg", ERROR_PATH_NOT_FOUND},
        {u"C:\\Folder", u"C:\\Renamed", 0},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(MoveFileW(c.from, c.to), c.error == 0) << platform::toUtf8(c.from);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error) << platform::toUtf8(c.from);
        }
    }
    EXPECT_EQ(machine.readFile(u"C:\\Scans\\img-001.jpg"), "page one");
    EXPECT_EQ(machine.readFile(u"C:\\Scans\\kept.pdf"), "kept");
    EXPECT_FALSE(machine.readFile(u"C:\\Temp\\Jpg1.tmp"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\Renamed"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(MoveFile, FailsOnItsSwitchAndWhileTheFileIsHeldOpen) {
    Machine machine;
    machine.writeFile(u"C:\\a.tmp", "a");
    platform::setFault("MoveFile", platform::Fault().onlyFor("C:\\a.tmp"));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(MoveFileW(u"C:\\a.tmp", u"C:\\b.tmp"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE held = CreateFileW(u"C:\\a.tmp", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(MoveFileW(u"C:\\a.tmp", u"C:\\b.tmp"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_TRUE(MoveFileW(u"C:\\a.tmp", u"C:\\b.tmp"));
    EXPECT_EQ(machine.readFile(u"C:\\b.tmp"), "a");
}

}  // namespace
