// The desktop folder's parsing of paths and the folder view that selects items (journalled).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/com.h"
#include "win/files.h"
#include "win/shell.h"

namespace {

using platform::testing::Machine;

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

std::u16string pathOf(LPCITEMIDLIST list) {
    WCHAR path[MAX_PATH] = {};
    SHGetPathFromIDListW(list, path);
    return path;
}

// The item list of a path through the desktop folder, as the scan application makes them.
LPITEMIDLIST parse(IShellFolder* desktop, std::u16string name) {
    LPITEMIDLIST list = nullptr;
    EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &list, nullptr), S_OK)
        << platform::toUtf8(name);
    return list;
}

TEST(DesktopFolder, ParsesExistingPathsOfTheMachine) {
    Machine machine;
    machine.writeFile(u"C:\\Scans\\page.pdf", "x");
    machine.writeFile(u"C:\\Users\\User\\Desktop\\notes.txt", "x");
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    ASSERT_NE(desktop, nullptr);
    struct Case {
        std::u16string name;
        HRESULT result;
        std::u16string path;
    };
    const Case cases[] = {
        {u"C:\\Scans\\page.pdf", S_OK, u"C:\\Scans\\page.pdf"},
        {u"C:\\Scans", S_OK, u"C:\\Scans"},
        {u"notes.txt", S_OK, u"C:\\Users\\User\\Desktop\\notes.txt"},  // relative: on the desktop
        {u"C:\\Scans\\gone.pdf", kFileNotFound, u""},
        {u"C:\\Nowhere\\page.pdf", kFileNotFound, u""},  // a missing folder on the way: the same answer
        {u"", E_INVALIDARG, u""},
    };
    const size_t blocks = platform::liveTaskMemoryBlocks();
    for (Case c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.name));
        PIDLIST_RELATIVE list = reinterpret_cast<PIDLIST_RELATIVE>(&desktop);
        ULONG eaten = 99, attributes = 7;
        EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, c.name.data(), &eaten, &list, &attributes), c.result);
        EXPECT_EQ(attributes, 0u);
        if (FAILED(c.result)) {
            EXPECT_EQ(list, nullptr);
            continue;
        }
        EXPECT_EQ(eaten, c.name.size());
        EXPECT_EQ(pathOf(list), c.path);
        ILFree(list);
    }
    EXPECT_EQ(platform::liveTaskMemoryBlocks(), blocks) << "ILFree gives every list back";
    ILFree(nullptr);
    IShellFolder* again = nullptr;
    EXPECT_EQ(desktop->QueryInterface(IID_IShellFolder, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, desktop);
    again->Release();
    desktop->Release();
}

TEST(FolderView, JournalsTheFolderAndEachItem) {
    Machine machine;
    machine.writeFile(u"C:\\Scans\\a.jpg", "a");
    machine.writeFile(u"C:\\Scans\\b.jpg", "b");
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
    LPITEMIDLIST folder = parse(desktop, u"C:\\Scans");
    LPITEMIDLIST a = parse(desktop, u"C:\\Scans\\a.jpg");
    LPITEMIDLIST b = parse(desktop, u"C:\\Scans\\b.jpg");
    LPITEMIDLIST items[] = {a, nullptr, b};

    EXPECT_EQ(SHOpenFolderAndSelectItems(folder, 3, items, 0), CO_E_NOTINITIALIZED) << "COM first";
    EXPECT_TRUE(platform::shellActions().empty());

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    EXPECT_EQ(SHOpenFolderAndSelectItems(folder, 3, items, 0), S_OK);
    EXPECT_EQ(SHOpenFolderAndSelectItems(a, 0, nullptr, OFASI_EDIT), S_OK);  // no items: the parent shows it
    struct Refused {
        LPCITEMIDLIST folder;
        UINT count;
        PCUITEMID_CHILD_ARRAY items;
        HRESULT result;
    };
    LPITEMIDLIST strange[] = {reinterpret_cast<LPITEMIDLIST>(const_cast<char*>("\x06\0abcd\0\0"))};
    const Refused refused[] = {
        {nullptr, 1, items, E_INVALIDARG},
        {folder, 1, nullptr, E_INVALIDARG},
        {folder, 1, strange, E_INVALIDARG},  // not a list of the layer's
        {a, 1, items, E_INVALIDARG},         // a file is no folder to show
    };
    for (const Refused& r : refused) EXPECT_EQ(SHOpenFolderAndSelectItems(r.folder, r.count, r.items, 0), r.result);
    ASSERT_TRUE(DeleteFileW(u"C:\\Scans\\a.jpg") && DeleteFileW(u"C:\\Scans\\b.jpg") && RemoveDirectoryW(u"C:\\Scans"));
    EXPECT_EQ(SHOpenFolderAndSelectItems(folder, 1, items, 0), kFileNotFound) << "the folder went";
    CoUninitialize();

    const std::vector<platform::ShellAction> actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].call, "SHOpenFolderAndSelectItems");
    EXPECT_EQ(actions[0].file, u"C:\\Scans");
    EXPECT_EQ(actions[0].selected, (std::vector<std::u16string>{u"C:\\Scans\\a.jpg", u"", u"C:\\Scans\\b.jpg"}));
    EXPECT_EQ(actions[0].show, 0);
    EXPECT_EQ(actions[1].file, u"C:\\Scans");
    EXPECT_EQ(actions[1].selected, std::vector<std::u16string>{u"C:\\Scans\\a.jpg"});
    EXPECT_EQ(actions[1].show, OFASI_EDIT);
    for (LPITEMIDLIST list : {folder, a, b}) ILFree(list);
    desktop->Release();
}

}  // namespace
