// The scan programs' product INI, language and settings-folder helpers against a fresh machine.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "ProductConfig.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

using platform::testing::Machine;

const char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe";
const char16_t kIni[] = u"C:\\Windows\\vrx4410.ini";
const char16_t kPrinterKey[] = u"SOFTWARE\\Qelmar\\VRX4410";

// A machine with the scan-button program installed: its INI names the printer key.
struct Installed {
    explicit Installed(DWORD lcid = 0x0409, const char16_t* program = kProgram) : machine(settingsFor(lcid)) {
        platform::setProgramPath(program);
        g_nProductIniTail = PUSHSCAN_INI_TAIL;
        g_nLanguageIndex = 0;
        g_bIsPlatformC = FALSE;
        set(u"TWAIN", u"Registry", kPrinterKey);
    }
    static platform::MachineSettings settingsFor(DWORD lcid) {
        platform::MachineSettings settings;
        settings.lcid = lcid;
        return settings;
    }
    void set(LPCWSTR section, LPCWSTR key, LPCWSTR value) const {
        EXPECT_TRUE(WritePrivateProfileStringW(section, key, value, kIni));
    }
    // Stores "Language" as the given bytes and type (what a broken installer might leave).
    void setLanguage(const void* data, DWORD bytes, DWORD type = REG_SZ) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPrinterKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, u"Language", 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void setLanguage(std::u16string_view name) const {
        setLanguage(name.data(), static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR)));
    }
    Machine machine;
};

TEST(ProductIni, PathFromTheProgramNameLessItsTail) {
    struct Case {
        std::u16string program;
        int tail;
        std::u16string expected;
    };
    const Case cases[] = {
        {kProgram, PUSHSCAN_INI_TAIL, kIni},
        {u"C:\\Program Files\\Qelmar\\vrx4410App.exe", SCANAPP_INI_TAIL, kIni},
        {u"C:\\Program Files\\Qelmar\\vrx4410App.exe", PUSHSCAN_INI_TAIL, u"C:\\Windows\\vr.ini"},
        {u"C:\\Scan.exe", PUSHSCAN_INI_TAIL, u""},  // shorter than the tail
        {u"C:\\PushScan.exe", PUSHSCAN_INI_TAIL, u""},  // nothing left of the name
        {u"vrx4410PushScan.exe", PUSHSCAN_INI_TAIL, u""},  // no folder
        {u"", PUSHSCAN_INI_TAIL, u""},
        // A name whose INI path would be 260 characters is refused, not cut (259 is fine).
        {u"C:\\" + std::u16string(245, u'n') + u"App.exe", SCANAPP_INI_TAIL, u""},
        {u"C:\\" + std::u16string(244, u'n') + u"App.exe", SCANAPP_INI_TAIL,
         u"C:\\Windows\\" + std::u16string(244, u'n') + u".ini"},
        // A module name of 260 characters or more does not fit and is not read at all.
        {u"C:\\" + std::u16string(MAX_PATH, u'p') + u"\\vrx4410PushScan.exe", PUSHSCAN_INI_TAIL, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.program) + " less " + std::to_string(c.tail));
        Installed installed(0x0409, c.program.c_str());
        WCHAR path[MAX_PATH];
        std::memset(path, 0xCC, sizeof path);
        EXPECT_EQ(GetProductIniPath(path, c.tail), c.expected.empty() ? FALSE : TRUE);
        EXPECT_EQ(std::u16string(path), c.expected);
    }
    Installed installed;
    platform::setFault("GetModuleFileNameW", platform::Fault());
    WCHAR path[MAX_PATH];
    EXPECT_FALSE(GetProductIniPath(path, PUSHSCAN_INI_TAIL));
    EXPECT_EQ(path[0], 0);
}

TEST(ProductIni, ExecutableFolderKeepsItsBackslash) {
    struct Case {
        std::u16string program;
        DWORD read;
        std::u16string expected;
    };
    const std::u16string deep = u"C:\\" + std::u16string(240, u'd') + u"\\vrx4410PushScan.exe";  // 263
    const std::u16string fits256 = u"C:\\" + std::u16string(230, u'd') + u"\\vrx4410PushScan.exe";  // 253
    const Case cases[] = {
        {kProgram, MAX_PATH, u"C:\\Program Files\\Qelmar\\"},
        {kProgram, 256, u"C:\\Program Files\\Qelmar\\"},
        {u"C:\\x.exe", MAX_PATH, u"C:\\"},
        {u"x.exe", MAX_PATH, u""},
        {fits256, 256, u"C:\\" + std::u16string(230, u'd') + u"\\"},
        {fits256.substr(0, 3) + u"ddd" + fits256.substr(3), 256, u""},  // 256 characters do not fit in 256
        {fits256.substr(0, 3) + u"ddd" + fits256.substr(3), MAX_PATH, u"C:\\" + std::u16string(233, u'd') + u"\\"},
        {deep, MAX_PATH, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.program) + " read into " + std::to_string(c.read));
        Installed installed(0x0409, c.program.c_str());
        WCHAR folder[MAX_PATH];
        EXPECT_EQ(GetExecutableFolder(folder, c.read), c.expected.empty() ? FALSE : TRUE);
        EXPECT_EQ(std::u16string(folder), c.expected);
    }
}

TEST(Language, TablesOfNamesAndCodes) {
    const std::pair<std::u16string, std::u16string> expected[LANGUAGE_COUNT] = {
        {u"Simplified_Chinese", u"zhcn"}, {u"English", u"enus"}, {u"Japanese", u"ja"},   {u"Russian", u"ru"},
        {u"Portuguese", u"zhcn"},         {u"Spanish", u"esmx"}, {u"French", u"fr"},     {u"Polish", u"zhcn"},
        {u"German", u"de"},               {u"Italian", u"it"},   {u"Arabic", u"ar"},     {u"Turkish", u"tr"},
        {u"Danish", u"zhcn"},             {u"Finnish", u"zhcn"}, {u"Dutch", u"zhcn"},    {u"Czech", u"zhcn"},
        {u"Norwegian", u"no"},            {u"Swedish", u"sv"},   {u"Slovak", u"zhcn"},   {u"Hungarian", u"zhcn"},
        {u"Traditional_Chinese", u"zhtw"},
    };
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::u16string(GetLanguageName(i)), expected[i].first);
        EXPECT_EQ(std::u16string(GetLanguageCode(i)), expected[i].second);
        EXPECT_EQ(std::u16string(g_szLanguageName[i]), expected[i].first);
        EXPECT_EQ(std::u16string(g_szLanguageCode[i]), expected[i].second);
    }
    for (int outside : {-1, LANGUAGE_COUNT, 1000}) {
        EXPECT_EQ(std::u16string(GetLanguageName(outside)), u"Simplified_Chinese");
        EXPECT_EQ(std::u16string(GetLanguageCode(outside)), u"zhcn");
    }
}

TEST(Language, IndexOfEveryLocale) {
    struct Row {
        int index;
        std::vector<LCID> lcids;
    };
    const Row rows[] = {
        {0, {0x0804, 0x1004}},
        {1, {0x0409, 0x0809, 0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09, 0x2009, 0x2409, 0x2809, 0x2C09, 0x3009,
             0x3409}},
        {2, {0x0411}},
        {3, {0x0419}},
        {4, {0x0416, 0x0816}},
        {5, {0x040A, 0x080A, 0x0C0A, 0x100A, 0x140A, 0x180A, 0x1C0A, 0x200A, 0x240A, 0x280A, 0x2C0A,
             0x300A, 0x340A, 0x380A, 0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A, 0x500A, 0x540A}},
        {6, {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C}},
        {7, {0x0415}},
        {8, {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}},
        {9, {0x0410, 0x0810}},
        {10, {0x0401, 0x0801, 0x0C01, 0x1001, 0x1401, 0x1801, 0x1C01, 0x2001, 0x2401, 0x2801, 0x2C01,
              0x3001, 0x3401, 0x3801, 0x3C01, 0x4001}},
        {11, {0x041F}},
        {12, {0x0406}},
        {13, {0x040B}},
        {14, {0x0413, 0x0813}},
        {15, {0x0405}},
        {16, {0x0414, 0x0814}},
        {17, {0x041D, 0x081D}},
        {18, {0x041B}},
        {19, {0x040E}},
        {20, {0x0404, 0x0C04, 0x1404}},
        // Locales without a language of ours are English.
        {1, {0x0000, 0x0408, 0x0412, 0x0422, 0x0C08, 0x0816 + 0x1000, 0xFFFFFFFF}},
    };
    Machine machine;
    for (const Row& row : rows) {
        for (LCID lcid : row.lcids) {
            SCOPED_TRACE(lcid);
            platform::setMachineSettings(Installed::settingsFor(lcid));
            EXPECT_EQ(GetLanguageIndexFromLcid(), row.index);
        }
    }
}

TEST(Language, IndexFromTheRegistryElseTheLocale) {
    struct Case {
        const char* what;
        std::u16string language;  // empty: no value
        LCID lcid;
        int index;
        std::u16string code;
    };
    const Case cases[] = {
        {"Simplified_Chinese", u"Simplified_Chinese", 0x0411, 0, u"zhcn"},
        {"Traditional_Chinese", u"Traditional_Chinese", 0x0411, 20, u"zhtw"},
        {"English", u"English", 0x0411, 1, u"enus"},
        {"Russian", u"Russian", 0x0411, 3, u"ru"},
        {"Italian", u"Italian", 0x0411, 9, u"it"},
        {"French", u"French", 0x0411, 6, u"fr"},
        {"Arabic", u"Arabic", 0x0411, 10, u"ar"},
        {"Spanish", u"Spanish", 0x0411, 5, u"esmx"},
        {"Norwegian", u"Norwegian", 0x0411, 16, u"no"},
        {"Swedish", u"Swedish", 0x0411, 17, u"sv"},
        {"Japanese", u"Japanese", 0x0409, 2, u"ja"},
        {"German", u"German", 0x0411, 8, u"de"},
        {"Turkish", u"Turkish", 0x0411, 11, u"tr"},
        {"Portuguese is not recognised", u"Portuguese", 0x0416, 4, u"zhcn"},
        {"Polish is not recognised", u"Polish", 0x0411, 2, u"ja"},
        {"lower case does not match", u"english", 0x0411, 2, u"ja"},
        {"no value", u"", 0x0C04, 20, u"zhtw"},
        {"Dutch locale", u"", 0x0413, 14, u"zhcn"},
        {"unknown locale", u"Klingon", 0x0408, 1, u"enus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed installed(c.lcid);
        if (!c.language.empty()) installed.setLanguage(c.language);
        g_nLanguageIndex = -5;
        WCHAR code[MAX_PATH];
        EXPECT_EQ(GetLanguageIndex(code), c.index);
        EXPECT_EQ(std::u16string(code), c.code);
        EXPECT_EQ(g_nLanguageIndex, c.index);
        EXPECT_EQ(std::u16string(GetLanguageNameOfCurrent()), g_szLanguageName[c.index]);
    }
}

TEST(Language, BrokenRegistryAndIniFallToTheLocale) {
    const std::u16string english = u"English";
    const std::u16string full(128, u'E');  // 256 bytes, no terminator
    const std::u16string tooLong = u"English" + std::u16string(200, u' ');
    const DWORD number = 1;
    struct Case {
        const char* what;
        const void* data;
        DWORD bytes;
        DWORD type;
        int index;
    };
    const Case cases[] = {
        {"no terminator", english.data(), 14, REG_SZ, 1},
        {"odd byte count", english.data(), 15, REG_SZ, 1},
        {"256 bytes without terminator", full.data(), 256, REG_SZ, 2},
        {"longer than 256 bytes", tooLong.data(), 414, REG_SZ, 2},
        {"a number", &number, 4, REG_DWORD, 2},
        {"binary", english.data(), 16, REG_BINARY, 2},
        {"empty", english.data(), 0, REG_SZ, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed installed(0x0411);
        installed.setLanguage(c.data, c.bytes, c.type);
        WCHAR code[MAX_PATH];
        EXPECT_EQ(GetLanguageIndex(code), c.index);
    }
    {
        SCOPED_TRACE("no INI");
        Installed installed(0x0419);
        installed.setLanguage(u"English");
        std::filesystem::remove(installed.machine.host(kIni));
        WCHAR code[MAX_PATH];
        EXPECT_EQ(GetLanguageIndex(code), 3);
    }
    {
        SCOPED_TRACE("key missing in the registry");
        Installed installed(0x0419);
        installed.set(u"TWAIN", u"Registry", u"SOFTWARE\\Nobody");
        installed.setLanguage(u"English");
        WCHAR code[MAX_PATH];
        EXPECT_EQ(GetLanguageIndex(code), 3);
    }
    {
        SCOPED_TRACE("registry fails");
        Installed installed(0x0419);
        installed.setLanguage(u"English");
        platform::setFault("RegQueryValueExW", platform::Fault().withError(ERROR_ACCESS_DENIED));
        WCHAR code[MAX_PATH];
        EXPECT_EQ(GetLanguageIndex(code), 3);
    }
}

TEST(Language, PushUiTitleFromTheSectionOfTheLanguage) {
    Installed installed(0x0416);
    installed.setLanguage(u"Portuguese");
    installed.set(u"Portuguese", u"Push UI Title", u"Digitalizar");
    installed.set(u"English", u"Push UI Title", u"Push Scan");
    WCHAR code[MAX_PATH], title[MAX_PATH];
    EXPECT_EQ(GetLanguageIndex(code), 4);
    GetPushUITitle(title);
    EXPECT_EQ(std::u16string(title), u"Digitalizar");
    installed.setLanguage(u"English");
    GetLanguageIndex(code);
    GetPushUITitle(title);
    EXPECT_EQ(std::u16string(title), u"Push Scan");
    installed.setLanguage(u"German");
    GetLanguageIndex(code);
    GetPushUITitle(title);
    EXPECT_EQ(std::u16string(title), u"");
}

TEST(Components, ResourceDllAndHelpFileNames) {
    struct Case {
        const char* what;
        std::u16string program;
        std::u16string prefix;  // "-": no key
        std::u16string dll, help;
        BOOL platformC;
    };
    const Case cases[] = {
        {"product prefix", kProgram, u"vrx4410", u"C:\\Program Files\\Qelmar\\vrx4410kelrenus.dll",
         u"C:\\Program Files\\Qelmar\\vrx4410khenus.chm", FALSE},
        {"platform C", kProgram, u"vrx3310", u"C:\\Program Files\\Qelmar\\vrx3310kelrenus.dll",
         u"C:\\Program Files\\Qelmar\\vrx3310khenus.chm", TRUE},
        {"upper case is not platform C", kProgram, u"VRX3310", u"C:\\Program Files\\Qelmar\\VRX3310kelrenus.dll",
         u"C:\\Program Files\\Qelmar\\VRX3310khenus.chm", FALSE},
        {"no prefix", kProgram, u"-", u"C:\\Program Files\\Qelmar\\kelrenus.dll",
         u"C:\\Program Files\\Qelmar\\khenus.chm", FALSE},
        {"placeholder in the folder stays", u"C:\\XXXX\\vrx4410PushScan.exe", u"XXXX",
         u"C:\\XXXX\\XXXXkelrenus.dll", u"C:\\XXXX\\XXXXkhenus.chm", FALSE},
        {"too long", u"C:\\" + std::u16string(240, u'f') + u"\\vrx4410PushScan.exe", u"vrx4410", u"", u"", FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed installed(0x0409, c.program.c_str());
        if (c.prefix != u"-") installed.set(u"TWAIN", u"File Prefix", c.prefix.c_str());
        WCHAR dll[MAX_PATH], help[MAX_PATH];
        EXPECT_EQ(GetResourceDllPath(dll), c.dll.empty() ? FALSE : TRUE);
        EXPECT_EQ(std::u16string(dll), c.dll);
        EXPECT_EQ(GetHelpFilePath(help), c.help.empty() ? FALSE : TRUE);
        EXPECT_EQ(std::u16string(help), c.help);
        EXPECT_EQ(g_bIsPlatformC, c.platformC);
        bool logged = false;
        for (const auto& line : platform::debugLog()) logged = logged || line == "g_bIsPlatformC = TRUE";
        EXPECT_EQ(logged, c.platformC == TRUE);
    }
    Installed installed(0x0411);
    installed.set(u"TWAIN", u"File Prefix", u"vrx4410");
    WCHAR path[MAX_PATH];
    EXPECT_TRUE(GetResourceDllPath(path));
    EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Qelmar\\vrx4410kelrja.dll");
    EXPECT_TRUE(GetProductFilePath(path, u"vqm.dll"));
    EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Qelmar\\vrx4410vqm.dll");
    EXPECT_TRUE(GetProductFilePath(path, u"Sivmar.dll", 256));
    EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Qelmar\\vrx4410Sivmar.dll");
}

TEST(Settings, FoldersAreCreatedBelowApplicationData) {
    const std::u16string appData = u"C:\\Users\\User\\AppData\\Roaming";
    struct Case {
        const char* what;
        LPCWSTR folder, path;  // null: no key
        std::u16string file;
        std::vector<std::u16string> folders;
    };
    const Case cases[] = {
        {"as installed", u"\\Qelmar", u"\\Qelmar\\Scan\\", appData + u"\\Qelmar\\Scan\\pushscan_settings.dat",
         {appData + u"\\Qelmar", appData + u"\\Qelmar\\Scan"}},
        {"the same folder", u"\\Qelmar", u"\\Qelmar\\", appData + u"\\Qelmar\\pushscan_settings.dat",
         {appData + u"\\Qelmar"}},
        {"no keys", nullptr, nullptr, appData + u"\\pushscan_settings.dat", {appData}},
        {"no closing backslash", u"\\Qelmar", u"\\Qelmar\\Scan", appData + u"\\Qelmar\\Scan\\pushscan_settings.dat",
         {appData + u"\\Qelmar\\Scan"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed installed;
        if (c.folder) installed.set(u"TWAIN", u"Setting Folder", c.folder);
        if (c.path) installed.set(u"TWAIN", u"Setting Path", c.path);
        for (int round = 0; round < 2; ++round) {  // existing folders are no error
            WCHAR file[MAX_PATH];
            EXPECT_TRUE(GetSettingsFilePath(file));
            EXPECT_EQ(std::u16string(file), c.file);
        }
        for (const auto& folder : c.folders)
            EXPECT_TRUE(std::filesystem::is_directory(installed.machine.host(folder))) << platform::toUtf8(folder);
        bool logged = false;
        for (const auto& line : platform::debugLog()) logged = logged || line == platform::toUtf8(c.file);
        EXPECT_TRUE(logged);
        WCHAR folder[MAX_PATH];
        EXPECT_TRUE(GetSettingsFolder(folder));
        EXPECT_EQ(std::u16string(folder) + u"pushscan_settings.dat", c.file);
    }
    {
        SCOPED_TRACE("application data unknown");
        Installed installed;
        installed.set(u"TWAIN", u"Setting Folder", u"\\Qelmar");
        platform::setFault("SHGetFolderPath", platform::Fault().onlyFor(std::to_string(CSIDL_APPDATA)).failing(-1));
        WCHAR file[MAX_PATH];
        EXPECT_FALSE(GetSettingsFilePath(file));
        EXPECT_EQ(file[0], 0);
        EXPECT_FALSE(std::filesystem::exists(installed.machine.host(appData + u"\\Qelmar")));
    }
    {
        SCOPED_TRACE("too long");
        Installed installed;
        installed.set(u"TWAIN", u"Setting Path", (u"\\" + std::u16string(230, u's') + u"\\").c_str());
        WCHAR file[MAX_PATH];
        EXPECT_FALSE(GetSettingsFilePath(file));
        EXPECT_EQ(file[0], 0);
    }
}

TEST(Settings, DefaultSaveFolderByOsVersion) {
    struct Case {
        DWORD osMajor;
        std::u16string folder;
    };
    const Case cases[] = {
        {5, u"C:\\Users\\User\\Documents"},
        {6, u"C:\\Users\\User\\Pictures"},
        {10, u"C:\\Users\\User\\Pictures"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.osMajor);
        platform::MachineSettings settings;
        settings.osMajor = c.osMajor;
        Machine machine(settings);
        std::filesystem::remove_all(machine.host(c.folder));  // made again when missing
        WCHAR folder[MAX_PATH];
        EXPECT_TRUE(GetDefaultSaveFolder(folder));
        EXPECT_EQ(std::u16string(folder), c.folder);
        EXPECT_TRUE(std::filesystem::is_directory(machine.host(c.folder)));
    }
    Machine machine;
    platform::setFault("SHGetFolderPath", platform::Fault());
    WCHAR folder[MAX_PATH];
    EXPECT_FALSE(GetDefaultSaveFolder(folder));
}

}  // namespace
