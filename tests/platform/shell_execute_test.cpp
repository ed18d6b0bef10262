// Opening files and folders and the help viewer: journalled by the machine, nothing run on the host.
#include <gtest/gtest.h>

#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace {

using platform::testing::Machine;

TEST(ShellExecute, JournalsWhatItOpensAndRefusesWhatIsNotThere) {
    Machine machine;
    machine.writeFile(u"C:\\Scans\\img-260307-001.jpg", "jpeg");
    struct Case {
        const char16_t* verb;
        const char16_t* file;
        const char16_t* directory;
        INT_PTR result;
        DWORD error;
    };
    const Case cases[] = {
        {u"open", u"C:\\Scans\\", nullptr, 33, 0},
        {nullptr, u"C:\\Scans\\img-260307-001.jpg", nullptr, 33, 0},
        {u"open", u"img-260307-001.jpg", u"C:\\Scans", 33, 0},
        {u"open", u"C:\\Scans\\missing.jpg", nullptr, SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {u"open", u"C:\\Nowhere\\missing.jpg", nullptr, SE_ERR_PNF, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, c.verb, c.file, nullptr, c.directory, SW_SHOW));
        EXPECT_EQ(result, c.result) << platform::toUtf8(c.file);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    auto actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].call, "ShellExecuteW");
    EXPECT_EQ(actions[0].verb, u"open");
    EXPECT_EQ(actions[0].file, u"C:\\Scans\\");
    EXPECT_EQ(actions[0].show, SW_SHOW);
    EXPECT_EQ(actions[0].processId, GetCurrentProcessId());
    EXPECT_EQ(actions[1].verb, u"");
    EXPECT_EQ(actions[2].directory, u"C:\\Scans");
    platform::clearShellActions();
    EXPECT_TRUE(platform::shellActions().empty());
}

TEST(ShellExecute, TheExtendedCallStartsNoProcess) {
    Machine machine;
    machine.writeFile(u"C:\\Scans\\page.pdf", "%PDF");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"C:\\Scans\\page.pdf";
    info.nShow = SW_SHOW;
    info.hProcess = reinterpret_cast<HANDLE>(1);
    EXPECT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(info.hInstApp), 33);
    info.lpFile = u"C:\\Scans\\gone.pdf";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ShellExecuteExW(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    info.cbSize = 4;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ShellExecuteExW(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    auto actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].call, "ShellExecuteExW");
    EXPECT_EQ(actions[0].file, u"C:\\Scans\\page.pdf");
    EXPECT_TRUE(platform::programStarts().empty());
}

TEST(HtmlHelp, JournalsTheFileAndCommandWithoutAViewer) {
    Machine machine;
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\Program Files\\Qelmar\\khenus.chm", HH_DISPLAY_TOPIC, 0), nullptr);
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\help.chm", 0x77, 12), nullptr);
    auto actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].call, "HtmlHelpW");
    EXPECT_EQ(actions[0].verb, u"HH_DISPLAY_TOPIC");
    EXPECT_EQ(actions[0].file, u"C:\\Program Files\\Qelmar\\khenus.chm");
    EXPECT_EQ(actions[1].verb, u"119");
    EXPECT_EQ(actions[1].parameters, u"12");
}

TEST(ShellPaths, AddBackslashAndFileExists) {
    Machine machine;
    struct Case {
        std::u16string path;
        std::u16string after;
        bool added;
    };
    const Case cases[] = {
        {u"C:\\Scans", u"C:\\Scans\\", true},
        {u"C:\\Scans\\", u"C:\\Scans\\", true},
        {std::u16string(258, u'a'), std::u16string(258, u'a') + u"\\", true},
        {std::u16string(259, u'a'), std::u16string(259, u'a'), false},
    };
    for (const Case& c : cases) {
        WCHAR buffer[MAX_PATH + 1] = {};
        std::copy(c.path.begin(), c.path.end(), buffer);
        LPWSTR end = PathAddBackslashW(buffer);
        EXPECT_EQ(std::u16string(buffer), c.after) << c.path.size();
        EXPECT_EQ(end ? end - buffer : -1, c.added ? static_cast<long>(c.after.size()) : -1);
    }
    struct AppendCase {
        std::u16string path, more, after;
        bool ok;
    };
    const AppendCase appends[] = {
        {u"C:\\Windows\\System32", u"rundll32.exe", u"C:\\Windows\\System32\\rundll32.exe", true},
        {u"C:\\Windows\\", u"\\rundll32.exe", u"C:\\Windows\\rundll32.exe", true},
        {u"", u"x", u"x", true},
        {std::u16string(257, u'a'), u"b", std::u16string(257, u'a') + u"\\b", true},
        {std::u16string(258, u'a'), u"b", std::u16string(258, u'a'), false},
    };
    for (const AppendCase& c : appends) {
        WCHAR buffer[MAX_PATH + 1] = {};
        std::copy(c.path.begin(), c.path.end(), buffer);
        EXPECT_EQ(PathAppendW(buffer, c.more.c_str()), c.ok ? TRUE : FALSE) << c.path.size();
        EXPECT_EQ(std::u16string(buffer), c.after);
    }
    machine.writeFile(u"C:\\Scans\\a.jpg", "");
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(PathFileExistsW(u"C:\\Scans"));
    EXPECT_TRUE(PathFileExistsW(u"c:\\scans\\A.JPG"));
    EXPECT_FALSE(PathFileExistsW(u"C:\\Scans\\b.jpg"));
    EXPECT_FALSE(PathFileExistsW(nullptr));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);  // it leaves the last error as it was
}

}  // namespace
