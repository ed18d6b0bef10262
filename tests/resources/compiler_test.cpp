// The resource script compiler: what a script becomes, and its error messages with line numbers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/files.h"
#include "rescomp/script.h"
#include "rescomp/writer.h"
#include "support/pictures.h"

namespace {

namespace fs = std::filesystem;
namespace res = platform::resources;
using namespace resources_test;
using platform::testing::Machine;

class Compiler : public ::testing::Test {
protected:
    Compiler() : folder(machine.root() / "script") {
        fs::create_directories(folder);
        DibShape d;
        d.width = 2;
        d.height = 2;
        d.pixel = [](int x, int y) { return static_cast<uint32_t>(x * 0x800000 + y * 0x80); };
        write("skin.bmp", bmpFile(d));
        write("app.ico", icoFile({IconSpec{d, nullptr}}));
        std::string bmp = bmpFile(d);
        write("broken.bmp", bmp.substr(0, bmp.size() - 2));
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    rescomp::CompileResult compile(const std::string& text) { return rescomp::compileScript(text, "test.rc", folder); }

    Machine machine;
    fs::path folder;
};

TEST_F(Compiler, AScriptBecomesItsResources) {
    const std::string script = "\xEF\xBB\xBF// A language library\r\n"
                               "RTL\n"
                               "STRINGTABLE\n"
                               "BEGIN\n"
                               "    8011, \"OK\"\n"
                               "    8025 \"Line one\\nline \\\"two\\\"\\t\\\\ \\u00e9\"  // a comment\n"
                               "    8026 \"\xE6\x89\xAB\xE6\x8F\x8F \xF0\x9F\x98\x80\"\n"
                               "    0 \"\"\n"
                               "END\n"
                               "\n"
                               "DIALOG 8000, 0, 0, 240, 160\n"
                               "    TITLE \"Settings\"\n"
                               "    FONT 9, \"Tahoma\"\n"
                               "    STYLE WS_POPUP | WS_CAPTION | 0x80\n"
                               "    EXSTYLE WS_EX_TOOLWINDOW\n"
                               "    RTL {\n"
                               "    CONTROL \"OK\", 1, BUTTON, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 130, 140, 50, 14\n"
                               "    CONTROL \"\", -1, \"msctls_progress32\", 0x50000000, -3, 4, 200, 10, WS_EX_CLIENTEDGE\n"
                               "    CONTROL \"List\" 8003 SysListView32 WS_CHILD|LVS_REPORT 7 40 226 80\n"
                               "    CONTROL \"\", 8004, SkinButton, 0, 0, 0, 10, 10\n"
                               "}\n"
                               "BITMAP 10439 \"skin.bmp\"\n"
                               "ICON 8006 \"app.ico\"\n";
    auto result = compile(script);
    ASSERT_TRUE(result.errors.empty()) << result.errors.front();
    ASSERT_TRUE(result.file);
    const res::ResourceFile& f = *result.file;
    EXPECT_TRUE(f.rightToLeft);
    EXPECT_EQ(f.strings.at(8011), u"OK");
    EXPECT_EQ(f.strings.at(8025), u"Line one\nline \"two\"\t\\ \u00e9");
    EXPECT_EQ(f.strings.at(8026), u"\u626B\u63CF \U0001F600");
    EXPECT_EQ(f.strings.at(0), u"");
    const res::DialogTemplate& d = f.dialogs.at(8000);
    EXPECT_EQ(d.title, u"Settings");
    EXPECT_EQ(d.fontFace, u"Tahoma");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.style, 0x80C000C0u);  // STYLE replaces the default; FONT adds DS_SETFONT
    EXPECT_EQ(d.exStyle, 0x00400080u);
    EXPECT_TRUE(d.rightToLeft());
    EXPECT_EQ(d.cx, 240);
    ASSERT_EQ(d.controls.size(), 4u);
    EXPECT_EQ(d.controls[0], (res::DialogControl{u"BUTTON", u"OK", 1, 0x50000001, 0, 130, 140, 50, 14}));
    EXPECT_EQ(d.controls[1], (res::DialogControl{u"msctls_progress32", u"", -1, 0x50000000, 0x200, -3, 4, 200, 10}));
    EXPECT_EQ(d.controls[2].className, u"SysListView32");
    EXPECT_EQ(d.controls[2].style, 0x40000001u);
    EXPECT_EQ(d.controls[3].className, u"SkinButton");
    EXPECT_EQ(f.bitmaps.at(10439).substr(0, 2), "BM");
    EXPECT_EQ(f.icons.at(8006).substr(0, 4), std::string("\0\0\1\0", 4));
    EXPECT_EQ(result.inputs.size(), 2u);

    // And the file written from it reads back the same.
    auto back = res::parse(rescomp::writeResourceFile(f));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, f);
}

TEST_F(Compiler, ErrorsNameTheirLine) {
    struct Case {
        std::string script;
        std::string error;
    };
    const Case cases[] = {
        {"STRINGTABLE\nBEGIN\n 5 \"a\"\n 5 \"b\"\nEND\n", "test.rc:4: string 5 is defined twice (first on line 3)"},
        {"RTL\nMENU 5\n", "test.rc:2: unknown statement 'MENU'"},
        {"STRINGTABLE\nBEGIN\n 5 \"open\nEND\n", "test.rc:3: a text is not closed"},
        {"\n\nSTRINGTABLE\nBEGIN\n 5 \"a\"\n", "test.rc:3: STRINGTABLE block is not closed (END missing)"},
        {"DIALOG 1 0 0 10 10\nBEGIN\n", "test.rc:1: DIALOG block is not closed"},
        {"STRINGTABLE\nBEGIN\n 12ab \"a\"\nEND\n", "test.rc:3: '12ab' is not a number"},
        {"STRINGTABLE\nBEGIN\n 70000 \"a\"\nEND\n", "test.rc:3: a string id 70000 is out of range (0 to 65535)"},
        {"STRINGTABLE\nBEGIN\n 99999999999 \"a\"\nEND\n", "test.rc:3: number '99999999999' is too large"},
        {"STRINGTABLE\n 5 \"a\"\n", "test.rc:2: expected BEGIN after STRINGTABLE"},
        {"STRINGTABLE\nBEGIN\n 5\nEND\n", "test.rc:3: expected the string's text (a quoted text)"},
        {"STRINGTABLE\nBEGIN\n 5 \"a\" 6\nEND\n", "test.rc:3: unexpected number 6 at the end of the line"},
        {"STRINGTABLE\nBEGIN\n 5 \"\\q\"\nEND\n", "test.rc:3: unknown escape \\q"},
        {"STRINGTABLE\nBEGIN\n 5 \"\\u12\"\nEND\n", "test.rc:3: \\u needs four hexadecimal digits"},
        {"STRINGTABLE\nBEGIN\n 5 \"\xC3\x28\"\nEND\n", "test.rc:3: a text is not valid UTF-8"},
        {"DIALOG 1 0 0 10\n", "test.rc:1: expected the dialog's height (a number)"},
        {"DIALOG 0 0 0 10 10\n", "test.rc:1: the dialog id 0 is out of range (1 to 65535)"},
        {"DIALOG 1 0 0 10 10\nTITLE \"t\"\nCOLOR 5\nBEGIN\nEND\n", "test.rc:3: unknown dialog property 'COLOR'"},
        {"DIALOG 1 0 0 10 10\nCONTROL \"a\" 1 BUTTON 0 0 0 1 1\n", "test.rc:2: CONTROL before the dialog's BEGIN"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\" 1\nEND\n", "test.rc:3: expected the control's window class"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\" 1 BUTTON WS_CHLD 0 0 1 1\nEND\n",
         "test.rc:3: unknown style name 'WS_CHLD' in the control's style"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\" 1 BUTTON 0 0 0 1\nEND\n",
         "test.rc:3: expected the control's height (a number)"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\" 1 BUTTON 0 40000 0 1 1\nEND\n",
         "test.rc:3: the control's x 40000 is out of range"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nLTEXT \"a\" 1 0 0 1 1\nEND\n", "test.rc:3: expected CONTROL or END in a DIALOG block"},
        {"DIALOG 1 0 0 10 10\nBEGIN\nEND\nDIALOG 1 0 0 5 5\nBEGIN\nEND\n",
         "test.rc:4: dialog 1 is defined twice (first on line 1)"},
        {"BITMAP 5 \"missing.bmp\"\n", "test.rc:1: cannot read \"missing.bmp\""},
        {"BITMAP 5 \"broken.bmp\"\n", "test.rc:1: \"broken.bmp\": the BMP's pixel rows are cut short"},
        {"ICON 5 \"skin.bmp\"\nICON 5 \"app.ico\"\n", "test.rc:2: icon 5 is defined twice (first on line 1)"},
        {"ICON 6 \"test.rc\"\n", "test.rc:1: cannot read"},
        {"#include \"x.h\"\n", "test.rc:1: preprocessor lines (#include, #define) are not supported"},
        {"END\n", "test.rc:1: END outside a STRINGTABLE or DIALOG block"},
        {"RTL 1\n", "test.rc:1: unexpected number 1 at the end of the line"},
        {"STRINGTABLE\nBEGIN\n 5 @\nEND\n", "test.rc:3: unexpected character '@'"},
    };
    for (const Case& c : cases) {
        auto result = compile(c.script);
        EXPECT_FALSE(result.file) << c.script;
        ASSERT_FALSE(result.errors.empty()) << c.script;
        EXPECT_EQ(result.errors.front().substr(0, c.error.size()), c.error) << c.script;
    }
}

// Only regular files of a bounded size are read as pictures: a device, a pipe or a folder named by
// mistake is an error at its line, not a hang or a read without end.
TEST_F(Compiler, PicturesAreReadOnlyFromRegularFilesOfBoundedSize) {
    ASSERT_EQ(mkfifo((folder / "pipe.ico").c_str(), 0600), 0);
    std::ofstream(folder / "huge.bmp", std::ios::binary) << "BM";
    fs::resize_file(folder / "huge.bmp", rescomp::kMaxPictureBytes + 1);  // sparse: no disk is used
    struct Case {
        std::string script;
        std::string line;
        std::string reason;
    };
    const Case cases[] = {
        {"BITMAP 5 \"/dev/zero\"\n", "test.rc:1: cannot read \"/dev/zero\"", "it is not a regular file"},
        {"\nICON 5 \"pipe.ico\"\n", "test.rc:2: cannot read \"pipe.ico\"", "it is not a regular file"},
        {"BITMAP 5 \".\"\n", "test.rc:1: cannot read \".\"", "it is a folder, not a file"},
        {"BITMAP 5 \"huge.bmp\"\n", "test.rc:1: cannot read \"huge.bmp\"", "it is larger than 64 MiB"},
    };
    for (const Case& c : cases) {
        auto result = compile(c.script);
        EXPECT_FALSE(result.file) << c.script;
        ASSERT_EQ(result.errors.size(), 1u) << c.script;
        EXPECT_EQ(result.errors.front().rfind(c.line, 0), 0u) << result.errors.front();
        EXPECT_NE(result.errors.front().find(c.reason), std::string::npos) << result.errors.front();
    }
}

// What the file writer refuses in a script that compiled is reported at the line that defined it.
TEST_F(Compiler, WriterErrorsNameTheirLine) {
    const std::string longClass(70000, 'C');
    struct Case {
        std::string script;
        std::string error;
    };
    const Case cases[] = {
        {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\" 1 BUTTON 0 0 0 1 1\nCONTROL \"b\" 2 " + longClass + " 0 0 0 1 1\nEND\n",
         "test.rc:4: dialog 1: a control's class is longer than 65535 UTF-16 units"},
        {"STRINGTABLE\nBEGIN\nEND\n\nDIALOG 7 0 0 10 10\nBEGIN\nCONTROL \"\" 1 " + longClass + " 0 0 0 1 1\nEND\n",
         "test.rc:7: dialog 7: a control's class is longer than 65535 UTF-16 units"},
    };
    for (const Case& c : cases) {
        auto result = compile(c.script);
        ASSERT_TRUE(result.file) << (result.errors.empty() ? "" : result.errors.front());
        std::string error;
        EXPECT_FALSE(rescomp::writeCompiled(result, error));
        EXPECT_EQ(error, c.error);
    }
    // And a resource the writer takes is written as writeResourceFile writes it.
    auto result = compile("STRINGTABLE\nBEGIN\n 5 \"a\"\nEND\n");
    std::string error;
    auto bytes = rescomp::writeCompiled(result, error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ(*bytes, rescomp::writeResourceFile(*result.file));
}

TEST_F(Compiler, EveryErrorOfAScriptIsReportedInOneRun) {
    auto result = compile("STRINGTABLE\nBEGIN\n 1 \"a\"\n x \"b\"\n 2 \"c\"\n 2 \"d\"\nEND\nBOGUS\n");
    ASSERT_EQ(result.errors.size(), 3u);
    EXPECT_EQ(result.errors[0].rfind("test.rc:4: ", 0), 0u) << result.errors[0];
    EXPECT_EQ(result.errors[1].rfind("test.rc:6: ", 0), 0u) << result.errors[1];
    EXPECT_EQ(result.errors[2].rfind("test.rc:8: ", 0), 0u) << result.errors[2];

    std::string many = "STRINGTABLE\nBEGIN\n";
    for (int i = 0; i < 200; ++i) many += " x\n";
    result = compile(many + "END\n");
    EXPECT_LE(result.errors.size(), 51u);
    EXPECT_NE(result.errors.back().find("too many errors"), std::string::npos);
}

// The command-line tool: errors with line numbers on standard error, nothing written on failure,
// and the dependency file the build uses.
TEST_F(Compiler, TheToolWritesNothingForABadScript) {
    std::string rescomp = std::string(MFP_BIN_DIR) + "/rescomp";
    write("bad.rc", "STRINGTABLE\nBEGIN\n 5 \"a\"\n 5 \"b\"\nEND\n");
    fs::path out = folder / "bad.dll";
    std::string command = rescomp + " -o " + out.string() + " " + (folder / "bad.rc").string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(output.find("bad.rc:4: string 5 is defined twice (first on line 3)"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(out));

    write("good.rc", "BITMAP 1 \"skin.bmp\"\nSTRINGTABLE\nBEGIN\n 5 \"a\"\nEND\n");
    fs::path good = folder / "out" / "good.dll";
    fs::path dep = folder / "good.d";
    command = rescomp + " --depfile " + dep.string() + " -o " + good.string() + " " + (folder / "good.rc").string();
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
    std::ifstream in(good, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto parsed = res::parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->strings.at(5), u"a");
    std::ifstream depIn(dep);
    std::string rule((std::istreambuf_iterator<char>(depIn)), std::istreambuf_iterator<char>());
    EXPECT_NE(rule.find("good.dll:"), std::string::npos) << rule;
    EXPECT_NE(rule.find("skin.bmp"), std::string::npos) << rule;
    EXPECT_NE(rule.find("good.rc"), std::string::npos) << rule;
    EXPECT_EQ(WEXITSTATUS(std::system((rescomp + " 2>/dev/null").c_str())), 2);

    // A writer's refusal names its line too; a script that is not a regular file is refused unread.
    struct Refusal {
        std::string script;
        std::string message;
    };
    write("long.rc", "DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"\" 1 " + std::string(70000, 'C') + " 0 0 0 1 1\nEND\n");
    const Refusal refusals[] = {
        {(folder / "long.rc").string(), "long.rc:3: dialog 1: a control's class is longer than 65535 UTF-16 units"},
        {"/dev/zero", "/dev/zero: cannot read the script: it is not a regular file"},
    };
    for (const Refusal& r : refusals) {
        fs::path refused = folder / "refused.dll";
        command = rescomp + " -o " + refused.string() + " " + r.script + " 2>&1";
        pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        output.clear();
        while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
        EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1) << r.script;
        EXPECT_NE(output.find(r.message), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(refused));
    }
}

}  // namespace
