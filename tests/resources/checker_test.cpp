// The language library scheme: what each program requires of its library, the checker's verdicts,
// and the scan programs' language libraries as the build makes them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/checker.h"
#include "rescomp/script.h"
#include "rescomp/writer.h"
#include "support/pictures.h"
#include "ProductConfig.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace {

namespace fs = std::filesystem;
namespace res = platform::resources;
using namespace resources_test;
using platform::testing::Machine;

// A library that holds exactly what a program requires.
res::ResourceFile complete(const rescomp::Requirements& r, bool rightToLeft = false) {
    DibShape d;
    std::string bmp = bmpFile(d);
    res::ResourceFile f;
    f.rightToLeft = rightToLeft;
    for (UINT id : r.dialogs) {
        res::DialogTemplate d;
        if (auto it = r.controls.find(id); it != r.controls.end())
            for (UINT control : it->second) d.controls.push_back({u"BUTTON", u"", static_cast<int32_t>(control)});
        f.dialogs[id] = d;
    }
    for (UINT id : r.strings) f.strings[id] = u"text " + platform::fromUtf8(std::to_string(id));
    for (UINT id : r.icons) f.icons[id] = bmp;
    for (UINT id : r.bitmaps) f.bitmaps[id] = bmp;
    if (rightToLeft)
        for (UINT id : r.bitmapsWhenRightToLeft) f.bitmaps[id] = bmp;
    return f;
}

std::string run(const std::string& command, int& status) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string output;
    if (!pipe) return output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    status = WEXITSTATUS(pclose(pipe));
    return output;
}

TEST(Checker, TheProgramsRequireTheirIds) {
    const rescomp::Requirements* orlith = rescomp::requirementsFor("orlith");
    ASSERT_NE(orlith, nullptr);
    EXPECT_EQ(orlith->dialogs, (std::vector<UINT>{8000, 8002, 8003, 8004}));
    EXPECT_EQ(orlith->controls.at(8000), (std::vector<UINT>{8000, 8001, 8002, 8004, 8008, 1, 2, 57670}));
    EXPECT_EQ(orlith->controls.at(8002), (std::vector<UINT>{2, 8005, 8006, 8009}));
    EXPECT_EQ(orlith->controls.at(8004), (std::vector<UINT>{1, 8007}));
    EXPECT_EQ(orlith->strings.size(), 22u);
    EXPECT_EQ(orlith->strings.front(), 8005u);
    EXPECT_EQ(orlith->strings.back(), 8026u);
    EXPECT_EQ(orlith->icons, std::vector<UINT>{8006});
    EXPECT_EQ(orlith->bitmaps, (std::vector<UINT>{10439, 10429, 10430, 10431, 10432}));
    const rescomp::Requirements* tesmar = rescomp::requirementsFor("Tesmar");
    ASSERT_NE(tesmar, nullptr);
    EXPECT_EQ(tesmar->strings, (std::vector<UINT>{8011, 8025}));
    EXPECT_TRUE(tesmar->dialogs.empty() && tesmar->bitmaps.empty() && tesmar->icons.empty());
    // The wizard: the frame and its four pages, their texts; its bitmaps are the program's own.
    const rescomp::Requirements* caspen = rescomp::requirementsFor("Caspen");
    ASSERT_NE(caspen, nullptr);
    EXPECT_EQ(caspen->dialogs, (std::vector<UINT>{129, 130, 131, 140, 141}));
    EXPECT_EQ(rescomp::formatIds(caspen->strings), "134, 135, 137 to 141, 150 to 152, 156, 158, 159");
    EXPECT_EQ(caspen->controls.at(140).size(), 9u);
    EXPECT_EQ(caspen->controls.at(131), std::vector<UINT>{1008});
    EXPECT_TRUE(caspen->bitmaps.empty() && caspen->bitmapsWhenRightToLeft.empty());
    // The uninstaller: page bitmaps only in a right-to-left library; the others take them from the
    // bitmap library.
    const rescomp::Requirements* setup = rescomp::requirementsFor("SETUP");
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->dialogs, (std::vector<UINT>{135, 136, 137, 141}));
    EXPECT_EQ(rescomp::formatIds(setup->strings),
              "156, 160, 168, 176, 177, 194, 220, 222, 235, 239, 243, 244, 302, 308 to 311");
    EXPECT_EQ(setup->controls.at(135), (std::vector<UINT>{1, 2, 1046, 1051, 1052}));
    EXPECT_TRUE(setup->bitmaps.empty());
    EXPECT_EQ(setup->bitmapsWhenRightToLeft, (std::vector<UINT>{147, 149, 150, 151, 152, 153}));
    const rescomp::Requirements* bitmaps = rescomp::requirementsFor("setup-bitmaps");
    ASSERT_NE(bitmaps, nullptr);
    EXPECT_EQ(bitmaps->bitmaps, (std::vector<UINT>{147, 149, 150, 151, 152, 153}));
    EXPECT_EQ(rescomp::requirementsFor("Notepad"), nullptr);
    // An entry that lists nothing would pass any library.
    for (const rescomp::Requirements& r : rescomp::programs()) EXPECT_FALSE(r.empty()) << r.program;
    EXPECT_TRUE(rescomp::Requirements{}.empty());
}

TEST(Checker, ACompleteLibraryPassesAndALackingOneIsNamed) {
    for (const rescomp::Requirements& r : rescomp::programs()) {
        EXPECT_TRUE(rescomp::missing(r, rescomp::inventoryOf(complete(r))).empty()) << r.program;
        EXPECT_TRUE(rescomp::missing(r, rescomp::inventoryOf(complete(r, true))).empty()) << r.program;
    }
    const rescomp::Requirements& orlith = *rescomp::requirementsFor("Orlith");
    res::ResourceFile f = complete(orlith);
    f.dialogs.erase(8003);
    for (UINT id : {8005u, 8006u, 8007u, 8026u}) f.strings.erase(id);
    f.bitmaps.erase(10431);
    f.icons.clear();
    auto lacks = rescomp::missing(orlith, rescomp::inventoryOf(f));
    EXPECT_EQ(rescomp::describe(lacks), "dialog 8003; strings 8005 to 8007, 8026; icon 8006; bitmap 10431");
    f.strings.erase(8009);
    f.strings.erase(8010);
    EXPECT_EQ(rescomp::describe(rescomp::missing(orlith, rescomp::inventoryOf(f))),
              "dialog 8003; strings 8005 to 8007, 8009, 8010, 8026; icon 8006; bitmap 10431");

    // A right-to-left installer library also needs the page bitmaps.
    const rescomp::Requirements& setup = *rescomp::requirementsFor("setup");
    res::ResourceFile arabic = complete(setup);
    arabic.rightToLeft = true;
    EXPECT_EQ(rescomp::describe(rescomp::missing(setup, rescomp::inventoryOf(arabic))), "bitmaps 147, 149 to 153");
}

// What a library lacks inside what it holds: controls of a template and texts that are empty.
TEST(Checker, MissingControlsAndEmptyTextsAreNamed) {
    const rescomp::Requirements& orlith = *rescomp::requirementsFor("Orlith");
    struct Case {
        const char* what;
        std::function<void(res::ResourceFile&)> damage;
        std::string lacks;
    };
    auto dropControl = [](res::ResourceFile& f, UINT dialog, int32_t id) {
        auto& controls = f.dialogs.at(dialog).controls;
        std::erase_if(controls, [id](const res::DialogControl& c) { return c.id == id; });
    };
    const Case cases[] = {
        {"the help button of the settings", [&](res::ResourceFile& f) { dropControl(f, 8000, 57670); },
         "control 57670 of dialog 8000"},
        {"two controls of two dialogs",
         [&](res::ResourceFile& f) {
             dropControl(f, 8002, 8009);
             dropControl(f, 8004, IDOK);
             dropControl(f, 8004, 8007);
         },
         "control 8009 of dialog 8002; controls 1, 8007 of dialog 8004"},
        {"a control id on another dialog does not count",
         [&](res::ResourceFile& f) {
             dropControl(f, 8004, 8007);
             f.dialogs.at(8003).controls.push_back({u"STATIC", u"", 8007});
         },
         "control 8007 of dialog 8004"},
        {"a missing dialog is named once, not its controls", [](res::ResourceFile& f) { f.dialogs.erase(8000); },
         "dialog 8000"},
        {"empty texts", [](res::ResourceFile& f) { f.strings[8011] = f.strings[8012] = u""; }, "empty strings 8011, 8012"},
        {"empty and absent texts apart",
         [](res::ResourceFile& f) {
             f.strings[8020] = u"";
             f.strings.erase(8021);
         },
         "string 8021; empty string 8020"},
    };
    for (const Case& c : cases) {
        res::ResourceFile f = complete(orlith);
        c.damage(f);
        EXPECT_EQ(rescomp::describe(rescomp::missing(orlith, rescomp::inventoryOf(f))), c.lacks) << c.what;
    }

    // The same verdicts for a library loaded as a module.
    Machine machine;
    res::ResourceFile f = complete(orlith);
    dropControl(f, 8000, 8008);
    f.strings[8025] = u"";
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(f), u"C:\\Program Files\\Scan\\kelrenus.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(rescomp::describe(rescomp::missing(orlith, rescomp::inventoryOf(module))),
              "control 8008 of dialog 8000; empty string 8025");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Checker, TheToolSaysWhatALibraryLacksAndExitsOne) {
    Machine machine;
    const rescomp::Requirements& tesmar = *rescomp::requirementsFor("Tesmar");
    fs::path good = machine.root() / "good.dll", bad = machine.root() / "bad.dll", junk = machine.root() / "junk.dll";
    res::ResourceFile lacking = complete(tesmar);
    lacking.strings.erase(8025);
    std::ofstream(good, std::ios::binary) << rescomp::writeResourceFile(complete(tesmar));
    std::ofstream(bad, std::ios::binary) << rescomp::writeResourceFile(lacking);
    std::ofstream(junk, std::ios::binary) << "MZ not ours";
    const std::string tool = std::string(MFP_BIN_DIR) + "/rescheck --program Tesmar ";
    int status = -1;
    std::string out = run(tool + good.string(), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("holds everything Tesmar requires"), std::string::npos) << out;
    out = run(tool + good.string() + " " + bad.string(), status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find(bad.string() + ": lacks string 8025"), std::string::npos) << out;
    out = run(tool + junk.string(), status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_NE(out.find("not a usable resource library"), std::string::npos) << out;
    out = run(std::string(MFP_BIN_DIR) + "/rescheck --program Nobody " + good.string(), status);
    EXPECT_EQ(status, 2) << out;
    // The scan application's library is no wizard library: the wizard's requirements are listed.
    out = run(std::string(MFP_BIN_DIR) + "/rescheck --program Caspen " + good.string(), status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("lacks dialogs 129 to 131, 140, 141; strings 134, 135"), std::string::npos) << out;
    // Only regular files are read: a device, a pipe or a folder is no library, and nothing hangs.
    fs::path fifo = machine.root() / "pipe.dll";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& file : {std::string("/dev/zero"), fifo.string(), machine.root().string()}) {
        out = run(tool + file, status);
        EXPECT_EQ(status, 2) << file << ": " << out;
        EXPECT_NE(out.find(file + ": not a usable resource library: it is "), std::string::npos) << out;
    }
    out = run(std::string(MFP_BIN_DIR) + "/rescheck --list", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Orlith: dialogs 8000, 8002 to 8004; strings 8005 to 8026; icons 8006; bitmaps 10439, "
                       "10429 to 10432"),
              std::string::npos)
        << out;
}

// ---- The scan programs' libraries -------------------------------------------------------------------

// Every language with a code of its own; Simplified Chinese is the fallback of the others.
const char* const kScanCodes[] = {"zhcn", "enus", "ja", "ru", "esmx", "fr", "de", "it", "ar", "tr", "no", "sv", "zhtw"};

const fs::path kScanScripts = fs::path(MFP_SOURCE_DIR) / "scan" / "res";

std::u16string loadedString(HMODULE module, UINT id) {
    const WCHAR* text = nullptr;
    const int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// One library of the set serves both scan programs, and holds the texts their code relies on.
void expectScanLibrary(const Machine& machine, const std::string& code, const std::string& bytes) {
    std::u16string path = u"C:\\Program Files\\Scan\\vrx4410kelr" + platform::fromUtf8(code) + u".dll";
    HMODULE module = loadResources(machine, bytes, path);
    ASSERT_NE(module, nullptr) << code << ": " << GetLastError();
    for (const char* program : {"Orlith", "Tesmar"}) {
        auto lacks = rescomp::missing(*rescomp::requirementsFor(program), rescomp::inventoryOf(module));
        EXPECT_TRUE(lacks.empty()) << code << " lacks for " << program << ": " << rescomp::describe(lacks);
    }
    EXPECT_EQ(res::isRightToLeft(module), code == "ar") << code;
    // The percent text: exactly one "0", which the progress display replaces by the percent.
    const std::u16string percent = loadedString(module, 8012);
    EXPECT_EQ(std::count(percent.begin(), percent.end(), u'0'), 1) << code;
    if (code == "enus") {
        EXPECT_EQ(loadedString(module, 8011), u"OK");
        EXPECT_EQ(loadedString(module, 8025), u"The scanner is in use or cannot be found. Check the device and try again.");
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(ScanLanguageLibraries, EveryScriptCompilesToALibraryForBothPrograms) {
    Machine machine;
    std::set<std::string> scripts;
    for (const auto& entry : fs::directory_iterator(kScanScripts))
        if (entry.path().extension() == ".rc") scripts.insert(entry.path().stem().string());
    std::set<std::string> expected;
    for (const char* code : kScanCodes) expected.insert(std::string("kelr") + code);
    EXPECT_EQ(scripts, expected);
    for (const char* code : kScanCodes) {
        auto result = rescomp::compileFile(kScanScripts / (std::string("kelr") + code + ".rc"));
        ASSERT_TRUE(result.file) << code << ": " << (result.errors.empty() ? "" : result.errors.front());
        expectScanLibrary(machine, code, rescomp::writeResourceFile(*result.file));
    }
}

// Another instance of the scan-button program finds the settings dialog by string 8005, while the
// dialog takes its title from the product INI's section of its language: the two agree for every
// language of the demonstration's and the tests' INI, through the library that language loads.
TEST(ScanLanguageLibraries, TheWindowTitleIsThePushUiTitleOfEveryLanguage) {
    Machine machine;
    std::ifstream in(kScanScripts / "product.ini", std::ios::binary);
    const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    machine.writeFile(u"C:\\Windows\\vrx4410.ini", ini);
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        const std::string code = platform::toUtf8(g_szLanguageCode[index]);
        auto result = rescomp::compileFile(kScanScripts / ("kelr" + code + ".rc"));
        ASSERT_TRUE(result.file) << code;
        HMODULE module = loadResources(machine, rescomp::writeResourceFile(*result.file),
                                       u"C:\\Program Files\\Scan\\kelr" + platform::fromUtf8(code) + u".dll");
        ASSERT_NE(module, nullptr) << code;
        WCHAR title[MAX_PATH];
        GetPrivateProfileStringW(g_szLanguageName[index], u"Push UI Title", u"", title, MAX_PATH, u"vrx4410.ini");
        EXPECT_EQ(std::u16string(title), loadedString(module, 8005)) << platform::toUtf8(g_szLanguageName[index]);
        EXPECT_FALSE(std::u16string(title).empty());
        FreeLibrary(module);
    }
}

#ifdef MFP_SCAN_LANGUAGES
TEST(ScanLanguageLibraries, TheBuiltSetIsCompleteAndLoads) {
    Machine machine;
    for (const char* code : kScanCodes) {
        fs::path file = fs::path(MFP_LIB_DIR) / (std::string("kelr") + code + ".dll");
        ASSERT_TRUE(fs::exists(file)) << file;
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        expectScanLibrary(machine, code, bytes);
    }
    // The fallback library can always be found.
    EXPECT_TRUE(fs::exists(fs::path(MFP_LIB_DIR) / "kelrzhcn.dll"));
}

// rescheck passes every library of the built set for both programs, and names what a broken copy lacks.
TEST(ScanLanguageLibraries, RescheckPassesTheSetAndNamesWhatABrokenLibraryLacks) {
    Machine machine;
    std::string libraries;
    for (const char* code : kScanCodes) libraries += " " + (fs::path(MFP_LIB_DIR) / (std::string("kelr") + code + ".dll")).string();
    int status = -1;
    for (const char* program : {"Orlith", "Tesmar"}) {
        const std::string out = run(std::string(MFP_BIN_DIR) + "/rescheck --program " + program + libraries, status);
        EXPECT_EQ(status, 0) << out;
    }
    auto result = rescomp::compileFile(kScanScripts / "kelrenus.rc");
    ASSERT_TRUE(result.file);
    res::ResourceFile broken = *result.file;
    broken.strings.erase(8013);
    broken.strings[8025] = u"";
    broken.bitmaps.erase(10432);
    auto& settings = broken.dialogs.at(8000).controls;
    settings.erase(std::remove_if(settings.begin(), settings.end(), [](const res::DialogControl& c) { return c.id == 57670; }),
                   settings.end());
    const fs::path file = machine.root() / "kelrbroken.dll";
    std::ofstream(file, std::ios::binary) << rescomp::writeResourceFile(broken);
    std::string out = run(std::string(MFP_BIN_DIR) + "/rescheck --program Orlith " + file.string(), status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find(file.string() + ": lacks control 57670 of dialog 8000; string 8013; empty string 8025; bitmap 10432"),
              std::string::npos)
        << out;
    out = run(std::string(MFP_BIN_DIR) + "/rescheck --program Tesmar " + file.string(), status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find(file.string() + ": lacks empty string 8025"), std::string::npos) << out;
}
#endif

}  // namespace
