// The uninstaller's self-deletion: the batch's bytes in the ANSI code page (checked through iconv),
// the paths it refuses, and the batch written and started hidden.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SelfDelete.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

// The text in a code page as iconv writes it: an oracle of its own.
std::string throughIconv(const std::string& utf8, const char* codePage) {
    char name[] = "/tmp/setup-iconv-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    FILE* out = fdopen(fd, "wb");
    fwrite(utf8.data(), 1, utf8.size(), out);
    fclose(out);
    std::string command = std::string("iconv -f UTF-8 -t ") + codePage + " " + name;
    std::string bytes;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) bytes.append(buffer, n);
        pclose(pipe);
    }
    std::remove(name);
    return bytes;
}

TEST(SelfDeleteBatch, FourLinesByteForByteInTheCodePage) {
    const struct {
        UINT codePage;
        const char* iconvName;
        const char16_t* program;
        const char* programUtf8;
    } cases[] = {
        {1252, "CP1252", u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe",
         "C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe"},
        {1252, "CP1252", u"C:\\Pilote Fran\u00E7ais\\a\\b\\setup.exe", "C:\\Pilote Français\\a\\b\\setup.exe"},
        {936, "CP936", u"C:\\\u6253\u5370\u673A\\a\\b\\setup.exe", "C:\\打印机\\a\\b\\setup.exe"},
    };
    for (const auto& c : cases) {
        platform::MachineSettings settings;
        settings.codePage = c.codePage;
        platform::testing::Machine machine(settings);
        const std::string expected = std::string(":pepeat \n del \"") + c.programUtf8 + "\" \n if exist \"" + c.programUtf8 +
                                     "\" goto pepeat \n del \"C:\\Temp\\DelSelf.bat\"";
        auto bytes = uninstall::SelfDeleteBatchBytes(c.program, u"C:\\Temp\\DelSelf.bat");
        ASSERT_TRUE(bytes) << c.programUtf8;
        EXPECT_EQ(*bytes, throughIconv(expected, c.iconvName)) << c.programUtf8;
    }
}

TEST(SelfDeleteBatch, APathOutsideTheCodePageOrWithAPercentGivesNoBatch) {
    platform::testing::Machine machine;  // code page 1252
    EXPECT_FALSE(uninstall::SelfDeleteBatchBytes(u"C:\\\u6253\u5370\\a\\b\\setup.exe", u"C:\\Temp\\DelSelf.bat"));
    EXPECT_FALSE(uninstall::SelfDeleteBatchBytes(u"C:\\100%\\a\\b\\setup.exe", u"C:\\Temp\\DelSelf.bat"));
    EXPECT_FALSE(uninstall::SelfDeleteBatchBytes(u"C:\\a\\b\\c\\setup.exe", u"C:\\Users\\\u0416\\DelSelf.bat"));
}

TEST(DeleteSelf, WritesTheBatchClearsReadOnlyAndStartsItHidden) {
    platform::testing::Machine machine;
    const std::u16string program = u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe";
    platform::setProgramPath(program);
    machine.writeFile(program, "MZ");
    SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);
    uninstall::DeleteSelf();
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::u16string batch(temp);
    if (batch.back() != u'\\') batch += u'\\';
    batch += u"DelSelf.bat";
    auto bytes = machine.readFile(batch);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, *uninstall::SelfDeleteBatchBytes(program, batch));
    EXPECT_EQ(GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    const auto actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].call, "ShellExecuteW");
    EXPECT_EQ(actions[0].verb, u"open");
    EXPECT_EQ(actions[0].file, batch);
    EXPECT_EQ(actions[0].parameters, u"");
    EXPECT_EQ(actions[0].show, SW_HIDE);
}

TEST(DeleteSelf, NothingIsWrittenOrStartedForAPathOutsideTheCodePage) {
    platform::testing::Machine machine;
    platform::setProgramPath(u"C:\\\u0416\\spool\\drivers\\x64\\setup.exe");
    uninstall::DeleteSelf();
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(GetFileAttributesW((std::u16string(temp) + u"\\DelSelf.bat").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(platform::shellActions().empty());
}

}  // namespace
