// The command line split as Windows programs expect, the counted case-blind compare and the run-time's
// upper-casing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/crt.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace {

using platform::testing::Machine;

std::vector<std::u16string> split(const char16_t* line) {
    int count = -1;
    LPWSTR* args = CommandLineToArgvW(line, &count);
    std::vector<std::u16string> out;
    if (!args) return out;
    for (int i = 0; i < count; ++i) out.emplace_back(args[i]);
    EXPECT_EQ(args[count], nullptr);
    LocalFree(args);
    return out;
}

TEST(CommandLine, SplitByTheWindowsRules) {
    Machine machine;
    struct Case {
        const char16_t* line;
        std::vector<std::u16string> args;
    };
    const Case cases[] = {
        {u"PushScan.exe -ins", {u"PushScan.exe", u"-ins"}},
        {u"\"C:\\Program Files\\Q\\a.exe\" -PUSH_PARAM \"\\\\?\\usb#1\" 320200",
         {u"C:\\Program Files\\Q\\a.exe", u"-PUSH_PARAM", u"\\\\?\\usb#1", u"320200"}},
        // The program name: backslashes stand, a quote ends it even inside a word.
        {u"\"C:\\a\\\"b c", {u"C:\\a\\", u"b", u"c"}},
        {u"C:\\x\\y.exe\ta", {u"C:\\x\\y.exe", u"a"}},
        {u" lead", {u"", u"lead"}},
        // Blanks between arguments, tabs too; quotes group.
        {u"p  a\t\tb   \"c d\"  ", {u"p", u"a", u"b", u"c d"}},
        {u"p a\"b c\"d", {u"p", u"ab cd"}},
        {u"p \"\"", {u"p", u""}},
        // Backslashes before a quote: 2n give n and the quote groups, 2n + 1 give n and a quote.
        {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
        {u"p a\\\"b", {u"p", u"a\"b"}},
        {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
        {u"p a\\\\b\\ c", {u"p", u"a\\\\b\\", u"c"}},
        // A doubled quote inside quotes is one quote, and the quotes go on.
        {u"p \"a\"\"b c\" d", {u"p", u"a\"b c", u"d"}},
        {u"p /StiDevice:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000 /StiEvent:{1}",
         {u"p", u"/StiDevice:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000", u"/StiEvent:{1}"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split(c.line), c.args) << platform::toUtf8(c.line);
}

TEST(CommandLine, EmptyLineGivesTheProgramAndFailuresSayWhy) {
    Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe");
    EXPECT_EQ(split(u""), std::vector<std::u16string>{u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe"});
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CommandLineToArgvW(u"a b", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    platform::setFault("LocalAlloc", platform::Fault());
    int count = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CommandLineToArgvW(u"a b", &count), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(CommandLine, CountedCompareAndUpperCase) {
    EXPECT_EQ(StrCmpNIW(u"/stidevice:x", u"/STIDEVICE", 10), 0);
    EXPECT_EQ(StrCmpNIW(u"/STIDEVIC", u"/STIDEVICE", 10), -1);  // shorter
    EXPECT_EQ(StrCmpNIW(u"/STIDEVICF", u"/STIDEVICE", 10), 1);
    EXPECT_EQ(StrCmpNIW(u"abc", u"ABD", 2), 0);
    EXPECT_EQ(StrCmpNIW(u"abc", u"xyz", 0), 0);

    WCHAR text[16] = u"-push_param";
    EXPECT_EQ(_wcsupr_s(text, 16), 0);
    EXPECT_EQ(std::u16string(text), u"-PUSH_PARAM");
    WCHAR full[4] = {u'a', u'b', u'c', u'd'};  // no terminator within its size
    EXPECT_NE(_wcsupr_s(full, 4), 0);
    EXPECT_EQ(full[0], 0);
    EXPECT_NE(_wcsupr_s(nullptr, 4), 0);
}

}  // namespace
