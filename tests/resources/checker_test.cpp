// The language library scheme: what each program requires of its library, the checker's verdicts,
// and the scan application's own libraries as the build makes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/checker.h"
#include "rescomp/script.h"
#include "rescomp/writer.h"
#include "support/pictures.h"
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
    for (UINT id : r.dialogs) f.dialogs[id] = res::DialogTemplate{};
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
    EXPECT_EQ(orlith->strings.size(), 22u);
    EXPECT_EQ(orlith->strings.front(), 8005u);
    EXPECT_EQ(orlith->strings.back(), 8026u);
    EXPECT_EQ(orlith->icons, std::vector<UINT>{8006});
    EXPECT_EQ(orlith->bitmaps, (std::vector<UINT>{10439, 10429, 10430, 10431, 10432}));
    const rescomp::Requirements* tesmar = rescomp::requirementsFor("Tesmar");
    ASSERT_NE(tesmar, nullptr);
    EXPECT_EQ(tesmar->strings, (std::vector<UINT>{8011, 8025}));
    EXPECT_TRUE(tesmar->dialogs.empty() && tesmar->bitmaps.empty() && tesmar->icons.empty());
    const rescomp::Requirements* setup = rescomp::requirementsFor("SETUP");
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->dialogs, (std::vector<UINT>{135, 136, 137, 141}));
    EXPECT_EQ(setup->bitmaps, (std::vector<UINT>{149, 150, 151, 152}));
    EXPECT_NE(rescomp::requirementsFor("Caspen"), nullptr);
    EXPECT_EQ(rescomp::requirementsFor("Notepad"), nullptr);
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

    // A right-to-left installer library also needs the mirrored page bitmaps.
    const rescomp::Requirements& setup = *rescomp::requirementsFor("setup");
    res::ResourceFile arabic = complete(setup);
    arabic.rightToLeft = true;
    EXPECT_EQ(rescomp::describe(rescomp::missing(setup, rescomp::inventoryOf(arabic))), "bitmaps 147, 153");
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
    out = run(std::string(MFP_BIN_DIR) + "/rescheck --list", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Orlith: dialogs 8000, 8002 to 8004; strings 8005 to 8026; icons 8006; bitmaps 10439, "
                       "10429 to 10432"),
              std::string::npos)
        << out;
}

// ---- The scan application's libraries ---------------------------------------------------------------------

// Every language with a code of its own; Simplified Chinese is the fallback of the others.
const char* const kTesmarCodes[] = {"zhcn", "enus", "ja", "ru", "esmx", "fr", "de",
                                    "it",   "ar",   "tr", "no", "sv",   "zhtw"};

void expectTesmarLibrary(const Machine& machine, const std::string& code, const std::string& bytes) {
    std::u16string path = u"C:\\Program Files\\Scan\\kelr" + platform::fromUtf8(code) + u".dll";
    HMODULE module = loadResources(machine, bytes, path);
    ASSERT_NE(module, nullptr) << code << ": " << GetLastError();
    auto lacks = rescomp::missing(*rescomp::requirementsFor("Tesmar"), rescomp::inventoryOf(module));
    EXPECT_TRUE(lacks.empty()) << code << " lacks " << rescomp::describe(lacks);
    for (UINT id : {8011u, 8025u}) {
        const WCHAR* text = nullptr;
        EXPECT_GT(LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0), 0) << code << " " << id;
    }
    EXPECT_EQ(res::isRightToLeft(module), code == "ar") << code;
    if (code == "enus") {
        WCHAR ok[8];
        LoadStringW(module, 8011, ok, 8);
        EXPECT_EQ(std::u16string(ok), u"OK");
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(TesmarLibraries, EveryScriptCompilesToACompleteLibrary) {
    Machine machine;
    fs::path folder = fs::path(MFP_SOURCE_DIR) / "scan" / "twainapp" / "res";
    std::set<std::string> scripts;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".rc") scripts.insert(entry.path().stem().string());
    std::set<std::string> expected;
    for (const char* code : kTesmarCodes) expected.insert(std::string("kelr") + code);
    EXPECT_EQ(scripts, expected);
    for (const char* code : kTesmarCodes) {
        auto result = rescomp::compileFile(folder / (std::string("kelr") + code + ".rc"));
        ASSERT_TRUE(result.file) << code << ": " << (result.errors.empty() ? "" : result.errors.front());
        expectTesmarLibrary(machine, code, rescomp::writeResourceFile(*result.file));
    }
}

#ifdef MFP_TESMAR_LANGUAGES
TEST(TesmarLibraries, TheBuiltSetIsCompleteAndLoads) {
    Machine machine;
    for (const char* code : kTesmarCodes) {
        fs::path file = fs::path(MFP_LIB_DIR) / (std::string("kelr") + code + ".dll");
        ASSERT_TRUE(fs::exists(file)) << file;
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        expectTesmarLibrary(machine, code, bytes);
    }
    // The fallback library can always be found.
    EXPECT_TRUE(fs::exists(fs::path(MFP_LIB_DIR) / "kelrzhcn.dll"));
}
#endif

}  // namespace
