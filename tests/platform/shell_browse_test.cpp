// Item lists of file-system paths and the folder browser the machine answers.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/com.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/shell.h"

namespace {

using platform::testing::Machine;

TEST(ItemLists, NameExistingFilesAndFolders) {
    Machine machine;
    machine.writeFile(u"C:\\Data\\report.txt", "x");
    SetCurrentDirectoryW(u"C:\\Data");
    struct Case {
        std::u16string name;
        HRESULT result;
        std::u16string path;
    };
    const Case cases[] = {
        {u"C:\\Data", S_OK, u"C:\\Data"},
        {u"c:\\data\\REPORT.TXT", S_OK, u"c:\\data\\REPORT.TXT"},
        {u"report.txt", S_OK, u"C:\\Data\\report.txt"},
        {u"C:\\Missing", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), u""},
        {u"", E_INVALIDARG, u""},
    };
    const size_t blocks = platform::liveTaskMemoryBlocks();
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.name));
        PIDLIST_ABSOLUTE list = reinterpret_cast<PIDLIST_ABSOLUTE>(&list);
        SFGAOF attributes = 7;
        EXPECT_EQ(SHParseDisplayName(c.name.c_str(), nullptr, &list, 0, &attributes), c.result);
        EXPECT_EQ(attributes, 0u);
        WCHAR path[MAX_PATH] = {u'?', 0};
        EXPECT_EQ(SHGetPathFromIDListW(list, path), SUCCEEDED(c.result));
        EXPECT_EQ(std::u16string(path), c.path);
        if (FAILED(c.result)) {
            EXPECT_EQ(list, nullptr);
        }
        CoTaskMemFree(list);
    }
    EXPECT_EQ(platform::liveTaskMemoryBlocks(), blocks);
    // A list that is none of ours names nothing.
    const BYTE foreign[] = {6, 0, 'A', 'B', 'C', 'D', 0, 0};
    WCHAR path[MAX_PATH] = {u'?', 0};
    EXPECT_FALSE(SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(foreign), path));
    EXPECT_EQ(path[0], 0);
}

struct Seen {
    std::vector<UINT> messages;
    std::vector<std::u16string> selections;  // the path of each BFFM_SELCHANGED
    std::u16string select;                   // what to select on BFFM_INITIALIZED (by path)
};

int CALLBACK recordingCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    auto* seen = reinterpret_cast<Seen*>(data);
    seen->messages.push_back(message);
    if (message == BFFM_INITIALIZED && !seen->select.empty())
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(seen->select.c_str()));
    if (message == BFFM_SELCHANGED) {
        WCHAR path[MAX_PATH];
        SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path);
        seen->selections.push_back(path);
    }
    return 0;
}

TEST(FolderBrowser, TakesTheQueuedAnswersInOrderAndCancelsWithoutOne) {
    Machine machine;
    CreateDirectoryW(u"C:\\Scans", nullptr);
    platform::queueFolderBrowserAnswer(u"C:\\Scans");
    platform::queueFolderBrowserAnswer(std::nullopt);
    platform::queueFolderBrowserAnswer(u"C:\\Missing");  // not a folder: nothing is chosen
    struct Case {
        std::u16string select;
        std::optional<std::u16string> chosen;
        std::vector<UINT> messages;
        std::vector<std::u16string> selections;
    };
    const Case cases[] = {
        {u"C:\\Users", u"C:\\Scans", {BFFM_INITIALIZED, BFFM_SELCHANGED, BFFM_SELCHANGED}, {u"C:\\Users", u"C:\\Scans"}},
        {u"C:\\Users", std::nullopt, {BFFM_INITIALIZED, BFFM_SELCHANGED}, {u"C:\\Users"}},
        {u"", std::nullopt, {BFFM_INITIALIZED}, {}},
        {u"", std::nullopt, {BFFM_INITIALIZED}, {}},  // nothing queued any more
    };
    const size_t blocks = platform::liveTaskMemoryBlocks();
    for (const Case& c : cases) {
        Seen seen;
        seen.select = c.select;
        WCHAR name[MAX_PATH] = {0};
        BROWSEINFOW info{};
        info.pszDisplayName = name;
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        info.lpfn = recordingCallback;
        info.lParam = reinterpret_cast<LPARAM>(&seen);
        PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
        EXPECT_EQ(list != nullptr, c.chosen.has_value());
        WCHAR path[MAX_PATH] = {0};
        if (list) {
            EXPECT_TRUE(SHGetPathFromIDListW(list, path));
            EXPECT_EQ(std::u16string(name), u"Scans");
        }
        EXPECT_EQ(std::u16string(path), c.chosen.value_or(u""));
        EXPECT_EQ(seen.messages, c.messages);
        EXPECT_EQ(seen.selections, c.selections);
        CoTaskMemFree(list);
    }
    EXPECT_EQ(platform::liveTaskMemoryBlocks(), blocks);
    auto browses = platform::folderBrowses();
    ASSERT_EQ(browses.size(), 4u);
    EXPECT_EQ(browses[0].flags, static_cast<UINT>(BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE));
    EXPECT_EQ(browses[0].selected, u"C:\\Users");
    EXPECT_EQ(browses[0].chosen, std::optional<std::u16string>(u"C:\\Scans"));
    EXPECT_EQ(browses[0].callbackMessages, cases[0].messages);
    EXPECT_EQ(browses[1].chosen, std::nullopt);
    EXPECT_EQ(browses[2].chosen, std::nullopt);
    platform::clearFolderBrowses();
    EXPECT_TRUE(platform::folderBrowses().empty());
}

// A person's script answers through the machine's file, as a test does through the call.
TEST(FolderBrowser, AnswersWrittenIntoTheMachineAreTaken) {
    Machine machine;
    CreateDirectoryW(u"C:\\Scans", nullptr);
    machine.writeFile(u"C:\\unused", "");
    std::filesystem::create_directories(machine.root() / "shell");
    std::ofstream(machine.root() / "shell" / "browse-answers") << "nonsense\nchoose C:\\Scans\r\n";
    BROWSEINFOW info{};
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    WCHAR path[MAX_PATH] = {0};
    EXPECT_TRUE(SHGetPathFromIDListW(list, path));
    EXPECT_EQ(std::u16string(path), u"C:\\Scans");
    CoTaskMemFree(list);
    EXPECT_EQ(SHBrowseForFolderW(&info), nullptr);
    EXPECT_EQ(SHBrowseForFolderW(nullptr), nullptr);
}

}  // namespace
