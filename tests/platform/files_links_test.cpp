// Links and junctions on the machine: they answer for themselves, go as links, and a link that leads out
// of the machine root leads nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/shell.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;

class Links : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(machine.root() / "drives" / "d");
        machine.writeFile(u"D:\\keep\\keep.txt", "keep");
        machine.writeFile(u"C:\\Product\\file.txt", "file");
        outside = fs::path(machine.root().string() + "-outside");
        fs::create_directories(outside);
        std::ofstream(outside / "out.txt") << "outside";
        fs::create_directory_symlink(machine.host(u"D:\\keep"), machine.host(u"C:\\Product\\junction"));
        fs::create_directory_symlink(outside, machine.host(u"C:\\Product\\out"));
        fs::create_symlink(machine.host(u"D:\\keep\\keep.txt"), machine.host(u"C:\\Product\\file.lnk"));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(outside, ec);
    }
    Machine machine;
    fs::path outside;
};

TEST_F(Links, SearchesAndAttributesShowTheLinkItself) {
    EXPECT_EQ(GetFileAttributesW(u"C:\\Product\\junction"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});
    EXPECT_EQ(GetFileAttributesW(u"C:\\Product\\file.lnk"), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT});
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(u"C:\\Product\\j*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"junction");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});
    FindClose(search);
    // Through a junction within the machine the target's entries are reached.
    EXPECT_EQ(GetFileAttributesW(u"C:\\Product\\junction\\keep.txt"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
}

TEST_F(Links, LinksAreRemovedAsLinksAndTheirTargetsStay) {
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\Product\\junction"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\Product\\file.lnk"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\Product\\junction"));
    EXPECT_TRUE(DeleteFileW(u"C:\\Product\\file.lnk"));
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\Product\\out"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\Product\\junction"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(machine.readFile(u"D:\\keep\\keep.txt"), std::optional<std::string>("keep"));
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
}

TEST_F(Links, ALinkOutOfTheMachineLeadsNowhere) {
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\Product\\out\\out.txt"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(GetFileAttributesW(u"C:\\Product\\out\\out.txt"), INVALID_FILE_ATTRIBUTES);
    WIN32_FIND_DATAW data{};
    EXPECT_EQ(FindFirstFileW(u"C:\\Product\\out\\*.*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(u"C:\\Product\\out\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(fs::directory_iterator(outside) != fs::directory_iterator(), true);
    EXPECT_FALSE(fs::exists(outside / "new.txt"));
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
}

TEST(PathIsDirectoryEmpty, AnswersForFoldersOnly) {
    Machine machine;
    machine.writeFile(u"C:\\Full\\file.txt", "x");
    fs::create_directories(machine.host(u"C:\\Empty"));
    EXPECT_TRUE(PathIsDirectoryEmptyW(u"C:\\Empty"));
    EXPECT_FALSE(PathIsDirectoryEmptyW(u"C:\\Full"));
    EXPECT_FALSE(PathIsDirectoryEmptyW(u"C:\\Full\\file.txt"));
    EXPECT_FALSE(PathIsDirectoryEmptyW(u"C:\\Missing"));
    EXPECT_FALSE(PathIsDirectoryEmptyW(nullptr));
}

}  // namespace
