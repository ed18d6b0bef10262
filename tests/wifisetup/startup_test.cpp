// Start-up helpers: "wifi.ini", the language of the texts and its library, the wizard's record.
#include <gtest/gtest.h>

#include <random>

#include "afx/afxres.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "printer_frames.h"
#include "rescomp/writer.h"
#include "startup.h"
#include "win/kernel.h"

namespace {

const char16_t kProgram[] = u"C:\\Program Files\\Torvane\\Caspen.exe";

WifiIniContent parse(const std::string& text) {
    return ParseWifiIni(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(WifiIni, LinesTokensAndTheTitleLine) {
    struct Row {
        const char* what;
        std::string text;
        Pairs pairs;
        bool hasTitle;
        std::string title;
    };
    const Row rows[] = {
        {"CRLF", "USB\\VID_1 A\r\nUSB\\VID_2 B\r\n", {{"USB\\VID_1", "A"}, {"USB\\VID_2", "B"}}, false, ""},
        {"two spaces", "K  V\n", {{"K", "V"}}, false, ""},
        {"leading and trailing spaces", "  K V  \n", {{"K", "V"}}, false, ""},
        {"a tab in a token", "K\tX V\n", {{"K\tX", "V"}}, false, ""},
        {"three tokens", "A B C\n", {}, false, ""},
        {"blank lines", "\n   \n\r\n", {}, false, ""},
        {"a 7-character first token and one space", "Product Torvane Setup Tool\n", {}, true, "Torvane Setup Tool"},
        {"only the first four-token line", "Product One Two Three\nCaption Four Five Six\n", {}, true, "One Two Three"},
        {"a 7-character four-token line", "a b c d\nProduct One Two Three\n", {}, true, ""},
        {"no final LF", "K V\nProduct A B C", {{"K", "V"}}, true, "A B C"},
        {"a CR ending the last line", "Product A B C\r", {}, true, "A B C"},
        {"pairs around the title", "K1 V1\nProduct A B C\r\nK2 V2", {{"K1", "V1"}, {"K2", "V2"}}, true, "A B C"},
        {"NULs are characters", std::string("K\0 V\n", 5), {{std::string("K\0", 2), "V"}}, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WifiIniContent content = parse(row.text);
        EXPECT_EQ(content.pairs, row.pairs);
        EXPECT_EQ(content.hasTitle, row.hasTitle);
        EXPECT_EQ(content.title, row.title);
    }
}

TEST(WifiIni, AnyBytesAndLongLinesAreReadWithinTheirRange) {
    std::mt19937 random(11);
    for (int i = 0; i < 500; ++i) {
        std::vector<uint8_t> bytes(random() % 300);
        for (auto& b : bytes) b = static_cast<uint8_t>(random() % 4 == 0 ? ' ' : random());
        ParseWifiIni(bytes.data(), bytes.size());
    }
    EXPECT_TRUE(ParseWifiIni(nullptr, 0).pairs.empty());
    const std::string longLine = std::string(100000, 'k') + " " + std::string(5000, 'v');
    ASSERT_EQ(parse(longLine).pairs.size(), 1u);
    EXPECT_EQ(parse(longLine).pairs[0].first.size(), 100000u);
}

TEST(WifiIni, StartUpAndTheTitleFindTheFileByTheirOwnPathRules) {
    platform::MachineSettings settings;
    settings.codePage = 1252;
    platform::testing::Machine machine(settings);
    machine.writeFile(u"C:\\Program Files\\Torvane\\wifi.ini", "USB\\VID_1A2B&PID_3C4D M1\r\nProduct Caf\xE9 Wi-Fi Tool\r\n");

    platform::setProgramPath(kProgram);
    EXPECT_EQ(WifiIniPath(), u"C:\\Program Files\\Torvane\\wifi.ini");
    IniTable table;
    ReadIniTable(table, WifiIniPath().c_str());
    EXPECT_EQ(table, (IniTable{{u"USB\\VID_1A2B&PID_3C4D", u"M1"}}));
    EXPECT_EQ(LoadWizardTitle(), u"Caf\u00E9 Wi-Fi Tool");

    // A module path with "/" only: start-up still finds the file, the title reader does not.
    platform::setProgramPath(u"C:/Program Files/Torvane/Caspen.exe");
    EXPECT_EQ(WifiIniPath(), u"C:/Program Files/Torvane/wifi.ini");
    IniTable slashed;
    ReadIniTable(slashed, WifiIniPath().c_str());
    EXPECT_EQ(slashed.size(), 1u);
    EXPECT_EQ(LoadWizardTitle(), u"Torvane Wi-Fi Configuration Tool");

    // No file: nothing read, the default title.
    platform::setProgramPath(u"C:\\Other\\Caspen.exe");
    IniTable none;
    ReadIniTable(none, WifiIniPath().c_str());
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(LoadWizardTitle(), u"Torvane Wi-Fi Configuration Tool");
    platform::setProgramPath(u"");
}

class Languages : public ::testing::Test {
protected:
    void SetUp() override { RtlLanguageFlags = {}; }
    void TearDown() override {
        RtlLanguageFlags = {};
        AfxSetResourceHandle(nullptr);
        platform::setProgramPath(u"");
    }
    static platform::MachineSettings ui(WORD language) {
        platform::MachineSettings settings;
        settings.lcid = 0x0409;
        settings.uiLanguage = language;
        return settings;
    }
    static std::u16string code(const char16_t* name) {
        WCHAR text[MAX_PATH] = {};
        GetLanguageCode(name, text);
        return text;
    }
};

TEST_F(Languages, EveryInterfaceLanguageIdGivesItsRow) {
    // The rows as the language table lists them; every other id gives 1.
    const std::vector<std::vector<WORD>> rows = {
        {2052},
        {1033, 3081, 10249, 4105, 9225, 6153, 8201, 5129, 13321, 7177, 11273, 2057, 12297},
        {1041}, {1049}, {1046, 2070},
        {1034, 2058, 3082, 4106, 5130, 6154, 7178, 8202, 9226, 10250, 11274, 12298, 13322, 14346, 15370, 16394,
         17418, 18442, 19466, 20490, 21514},
        {1036, 2060, 3084, 4108, 5132, 6156}, {1045}, {}, {1040, 2064},
        {1025, 2049, 3073, 4097, 5121, 6145, 7169, 8193, 9217, 10241, 11265, 12289, 13313, 14337, 15361, 16385},
        {1055}, {1030}, {1035}, {1043, 2067}, {1029}, {1044, 2068}, {1053, 2077}, {1051}, {1038}, {1037},
        {1028, 3076, 4100, 5124}, {1031, 2055, 3079, 4103, 5127},
    };
    ASSERT_EQ(rows.size(), 23u);
    platform::testing::Machine machine;
    for (int index = 0; index < 23; ++index) {
        for (WORD id : rows[index]) {
            SCOPED_TRACE(id);
            platform::setMachineSettings(ui(id));
            RtlLanguageFlags = {};
            EXPECT_EQ(GetUiLanguageIndex(), index);
            EXPECT_EQ(RtlLanguageFlags.arabic, index == 10 ? 1 : 0);
            EXPECT_EQ(RtlLanguageFlags.hebrew, index == 20 ? 1 : 0);
        }
    }
    for (WORD other : {WORD(1042), WORD(1), WORD(0x7FFF)}) {
        platform::setMachineSettings(ui(other));
        EXPECT_EQ(GetUiLanguageIndex(), 1);
    }
}

TEST_F(Languages, NamesAreComparedExactlyElseTheInterfaceLanguageDecides) {
    platform::testing::Machine machine(ui(1046));  // Portuguese has no code of its own
    const std::pair<const char16_t*, const char16_t*> names[] = {
        {u"Simplified_Chinese", u"zhcn"}, {u"English", u"enus"}, {u"Russian", u"ru"}, {u"Italian", u"it"},
        {u"French", u"fr"}, {u"Spanish", u"esmx"}, {u"Norwegian", u"no"}, {u"Swedish", u"sv"},
        {u"Japanese", u"ja"}, {u"Traditional_Chinese", u"zhtw"}, {u"German", u"de"}, {u"Turkish", u"tr"},
        {u"Polish", u"pl"},
        {u"english", u"enus"}, {u"", u"enus"}, {nullptr, u"enus"}, {u"Portuguese", u"enus"},
    };
    for (auto [name, expected] : names) {
        SCOPED_TRACE(name ? platform::toUtf8(name) : "none");
        EXPECT_EQ(code(name), expected);
        EXPECT_EQ(RtlLanguageFlags.arabic + RtlLanguageFlags.hebrew, 0);
    }
    EXPECT_EQ(code(u"Arabic"), u"ar");
    EXPECT_EQ(RtlLanguageFlags.arabic, 1);
    EXPECT_EQ(code(u"Hebrew"), u"he");
    EXPECT_EQ(RtlLanguageFlags.hebrew, 1);

    // A Hebrew interface on an English-locale system.
    platform::setMachineSettings(ui(1037));
    RtlLanguageFlags = {};
    EXPECT_EQ(code(u"english"), u"he");
    EXPECT_EQ(RtlLanguageFlags.hebrew, 1);
    EXPECT_EQ(RtlLanguageFlags.arabic, 0);
}

TEST_F(Languages, TheLibraryIsLoadedFromTheProgramsFolderAndItsPathKeptWhenMissing) {
    platform::testing::Machine machine(ui(1033));
    platform::resources::ResourceFile file;
    file.strings = {{156, u"\u05DC\u05DC\u05D0"}};
    machine.writeFile(u"C:\\XXXX\\Velrinhe.dll", rescomp::writeResourceFile(file));
    platform::setProgramPath(u"C:\\XXXX\\Caspen.exe");

    HMODULE hebrew = LoadLanguageResourceDll(u"Hebrew");
    ASSERT_NE(hebrew, nullptr);
    EXPECT_EQ(LanguageDllPath, u"C:\\XXXX\\Velrinhe.dll");
    EXPECT_EQ(AfxGetResourceHandle(), hebrew);
    WCHAR name[512];
    GetSecurityModeName(0, name);
    EXPECT_EQ(std::u16string(name), u"\u05DC\u05DC\u05D0");

    EXPECT_EQ(LoadLanguageResourceDll(u"German"), nullptr);
    EXPECT_EQ(LanguageDllPath, u"C:\\XXXX\\Velrinde.dll");
    EXPECT_EQ(AfxGetResourceHandle(), hebrew);
    FreeLibrary(hebrew);
}

TEST(SecurityModeNames, FollowTheTableAndAnythingElseIsUnknown) {
    const std::pair<int, const char16_t*> rows[] = {
        {1, u"WEP"}, {2, u"WPA/WPA2"}, {3, u"WPA/WPA2"}, {4, u"WPA_ENTERPRISE"}, {5, u"WPA2_ENTERPRISE"},
        {6, u"Security_Auto"}, {7, u"UNKNOWN"}, {-1, u"UNKNOWN"}, {256, u"UNKNOWN"},
    };
    for (auto [mode, expected] : rows) {
        WCHAR name[512];
        GetSecurityModeName(mode, name);
        EXPECT_EQ(std::u16string(name), expected) << mode;
    }
}

TEST(WizardDataRecord, StartsAsAFailureAndComparesNamesWithoutCase) {
    WizardData data;
    EXPECT_EQ(data.result, 2);
    EXPECT_EQ(data.securityMode, 0);
    data.SetSsid(u"HomeNet");
    EXPECT_NE(data.ssidChanged, 0);
    data.SetSsid(u"HOMENET");
    EXPECT_EQ(data.ssidChanged, 0);
    EXPECT_EQ(data.GetSsid(), u"HOMENET");
    data.SetPassword(u"key");
    EXPECT_EQ(data.GetPassword(), u"key");
    EXPECT_EQ(&GetWizardData(), &GetWizardData());
}
