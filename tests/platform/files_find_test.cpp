// Finding files by pattern and the attributes the machine keeps for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

struct Seen {
    std::string name;
    DWORD attributes;
    DWORD size;
};

// Every name a pattern finds, or the error of the first call.
std::vector<Seen> find(const char16_t* pattern, DWORD* error = nullptr) {
    std::vector<Seen> seen;
    WIN32_FIND_DATAW data{};
    SetLastError(0xDEADBEEF);
    HANDLE handle = FindFirstFileW(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return seen;
    }
    do {
        seen.push_back({platform::toUtf8(data.cFileName), data.dwFileAttributes, data.nFileSizeLow});
    } while (FindNextFileW(handle, &data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    EXPECT_TRUE(FindClose(handle));
    return seen;
}

std::string names(const std::vector<Seen>& seen) {
    std::string text;
    for (const Seen& entry : seen) text += entry.name + " ";
    return text;
}

TEST(FindFiles, PatternsDotsAndErrors) {
    Machine machine;
    machine.writeFile(u"C:\\Zandrel\\Orlith.exe", "12345");
    machine.writeFile(u"C:\\Zandrel\\a.dll", "");
    machine.writeFile(u"C:\\Zandrel\\README", "");
    CreateDirectoryW(u"C:\\Zandrel\\Lang", nullptr);
    const struct {
        const char16_t* pattern;
        const char* found;
    } cases[] = {
        {u"C:\\Zandrel\\*", ". .. a.dll Lang Orlith.exe README "},
        {u"C:\\Zandrel\\*.*", ". .. a.dll Lang Orlith.exe README "},  // names without a dot too
        {u"C:\\Zandrel\\*.EXE", "Orlith.exe "},
        {u"C:\\Zandrel\\?.dll", "a.dll "},
        {u"C:\\Zandrel\\?", ". "},
        {u"c:/zandrel/orlith.exe", "Orlith.exe "},  // the disk's spelling comes back
        {u"C:\\*", "Program Files Program Files (x86) ProgramData Users Windows Zandrel "},  // no dots in a root
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(platform::toUtf8(test.pattern));
        EXPECT_EQ(names(find(test.pattern)), test.found);
    }
    const std::vector<Seen> exe = find(u"C:\\Zandrel\\Orlith.exe");
    ASSERT_EQ(exe.size(), 1u);
    EXPECT_EQ(exe[0].size, 5u);
    EXPECT_EQ(find(u"C:\\Zandrel\\Lang")[0].attributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});

    for (const auto& [pattern, expected] : {std::pair<const char16_t*, DWORD>{u"C:\\Zandrel\\*.txt", ERROR_FILE_NOT_FOUND},
                                            {u"C:\\Missing\\*", ERROR_PATH_NOT_FOUND},
                                            {u"C:\\Zan*\\*", ERROR_INVALID_NAME}}) {
        SCOPED_TRACE(platform::toUtf8(pattern));
        DWORD error = 0;
        EXPECT_TRUE(find(pattern, &error).empty());
        EXPECT_EQ(error, expected);
    }
}

TEST(FindFiles, AttributesKeptByTheMachine) {
    Machine machine;
    const char16_t kFile[] = u"C:\\Zandrel\\ZDM2100ui.dat";
    const char16_t kFolder[] = u"C:\\Zandrel\\Lang";
    machine.writeFile(kFile, "data");
    ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr));
    ASSERT_TRUE(SetFileAttributesW(kFile, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(GetFileAttributesW(kFile),
              DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_EQ(find(kFile)[0].attributes, GetFileAttributesW(kFile));
    // A read-only file or folder cannot be deleted until the attribute goes.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(kFile));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    ASSERT_TRUE(SetFileAttributesW(kFolder, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(kFolder), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(RemoveDirectoryW(kFolder));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});

    ASSERT_TRUE(SetFileAttributesW(kFile, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(kFile), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_TRUE(DeleteFileW(kFile));
    ASSERT_TRUE(SetFileAttributesW(kFolder, FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RemoveDirectoryW(kFolder));
    // A new file of the old name starts plain.
    machine.writeFile(kFile, "again");
    EXPECT_EQ(GetFileAttributesW(kFile), DWORD{FILE_ATTRIBUTE_ARCHIVE});

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetFileAttributesW(u"C:\\Zandrel\\missing.dat", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    platform::setFault("SetFileAttributesW", platform::Fault());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetFileAttributesW(kFile, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

}  // namespace
