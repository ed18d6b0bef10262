// The registry side of the removal on a fresh machine: for each operation the snapshot diff lists exactly
// its targets, and the keys beside them (another vendor's, a description differing in case, a sibling
// product key) stay.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistryRemoval.h"
#include "RemovalLog.h"
#include "SetupConfig.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/registry.h"

namespace {

using platform::testing::Machine;
using uninstall::SetupConfig;

const std::u16string kClass = uninstall::kPrinterClassKey;
const std::u16string kImaging = u"SYSTEM\\ControlSet001\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

std::string configXml(const std::vector<std::string>& dirs) {
    std::string xml =
        "<SERTUP_INFO><MODEL><Model_Info type='MFP'>Zandrel M2100</Model_Info>"
        "<Model_Info type='MFP'>Zandrel M2200</Model_Info></MODEL><CreateFolder><Folder>";
    for (const std::string& dir : dirs) xml += "<Dir>" + dir + "</Dir>";
    xml += "</Folder></CreateFolder><SCANNERMENT><Element ID='Zandrel M2100'>Zandrel M2100 Scanner</Element>"
           "<Element ID='\\..'>\\..</Element></SCANNERMENT></SERTUP_INFO>";
    return xml;
}

// Makes the key (and those above it), with "DriverDesc" when given; `terminated` false stores the text
// without its NUL.
void makeKey(const std::u16string& path, const std::u16string& description = {}, bool terminated = true) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (!description.empty()) {
        const DWORD bytes = static_cast<DWORD>((description.size() + (terminated ? 1 : 0)) * sizeof(char16_t));
        ASSERT_EQ(RegSetValueExW(key, u"DriverDesc", 0, REG_SZ, reinterpret_cast<const BYTE*>(description.c_str()),
                                 bytes),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

bool keyExists(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The keys the diff shows as removed (values of removed keys are left out), and whether anything was added.
std::vector<std::string> removedKeys(const platform::testing::Snapshot& before) {
    std::vector<std::string> removed;
    for (const std::string& line : platform::testing::diff(before, platform::testing::snapshot())) {
        EXPECT_EQ(line.rfind("+ ", 0), std::string::npos) << line;
        // The hive writes a backslash doubled.
        std::string plain;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            plain += line[i];
        }
        if (plain.rfind("- key HKEY_LOCAL_MACHINE\\", 0) == 0) removed.push_back(plain.substr(25));
    }
    return removed;
}

// The journalled registry deletions as "<key> <status>".
std::vector<std::string> deletions() {
    std::vector<std::string> out;
    for (const platform::CallRecord& record : platform::callJournal())
        if (record.call == "RegDeleteKeyW")
            out.push_back(platform::toUtf8(record.arguments) + " " + platform::toUtf8(record.result));
    return out;
}

class RegistryRemoval : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.parse(configXml({"\\Zandrel", "\\M2100"})).ok);
        uninstall::clearRemovalLog();
        platform::setFileCallJournal(true);
    }
    Machine machine;
    SetupConfig config;
};

TEST_F(RegistryRemoval, ReadsOnlyTextsThatFitTheirCapacity) {
    makeKey(u"SOFTWARE\\Texts");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Texts", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    struct Case {
        const char16_t* name;
        DWORD type;
        std::u16string stored;  // written as it stands, NULs included
        bool found;
        std::u16string text;
    };
    const Case cases[] = {
        {u"sz", REG_SZ, std::u16string(u"abc\0", 4), true, u"abc"},
        {u"expand", REG_EXPAND_SZ, std::u16string(u"%x%\0", 4), true, u"%x%"},
        {u"unterminated", REG_SZ, u"abcdefg", true, u"abcdefg"},          // 7 characters, room for 8
        {u"unterminatedFull", REG_SZ, u"abcdefgh", false, u""},           // no room left for the NUL
        {u"fullWithNul", REG_SZ, std::u16string(u"abcdefg\0", 8), true, u"abcdefg"},
        {u"tooLong", REG_SZ, std::u16string(u"abcdefghi\0", 10), false, u""},
        {u"innerNul", REG_SZ, std::u16string(u"ab\0cd\0", 6), true, u"ab"},
        {u"dword", REG_DWORD, std::u16string(u"ab", 2), false, u""},
        {u"binary", REG_BINARY, std::u16string(u"ab\0", 3), false, u""},
    };
    for (const Case& test : cases)
        ASSERT_EQ(RegSetValueExW(key, test.name, 0, test.type, reinterpret_cast<const BYTE*>(test.stored.data()),
                                 static_cast<DWORD>(test.stored.size() * sizeof(char16_t))),
                  ERROR_SUCCESS);
    for (const Case& test : cases) {
        SCOPED_TRACE(platform::toUtf8(test.name));
        std::u16string text = u"previous";
        EXPECT_EQ(uninstall::ReadRegistryText(key, test.name, 16, text), test.found);
        EXPECT_EQ(text, test.text);
    }
    std::u16string text = u"previous";
    EXPECT_FALSE(uninstall::ReadRegistryText(key, u"missing", 16, text));
    EXPECT_EQ(text, u"");
    RegCloseKey(key);
}

TEST_F(RegistryRemoval, PrinterClassLosesExactlyTheModelsKeys) {
    makeKey(kClass + u"\\0000", u"Zandrel M2100");
    makeKey(kClass + u"\\0001");  // no description right after a matching key
    makeKey(kClass + u"\\0002", u"zandrel m2100");
    makeKey(kClass + u"\\0003", u"Zandrel M2200", false);
    makeKey(kClass + u"\\0004", u"Zandrel M2200");
    makeKey(kClass + u"\\0004\\Settings");  // has a subkey: RegDeleteKeyW keeps it
    makeKey(kClass + u"\\0005", u"Zandrel M2100 ");
    makeKey(kClass + u"\\0006", u"Other Printer");
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeletePrinterClassKeys(config), 0);
    const std::string prefix = platform::toUtf8(kClass) + "\\";
    EXPECT_EQ(removedKeys(before), (std::vector<std::string>{prefix + "0000", prefix + "0003"}));
    // Every matching name is remembered first, then each is deleted; one with a subkey is refused.
    const std::string full = "HKEY_LOCAL_MACHINE\\" + prefix;
    EXPECT_EQ(deletions(), (std::vector<std::string>{full + "0000 0", full + "0003 0", full + "0004 5"}));
    const auto log = uninstall::removalLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].target, u"HKEY_LOCAL_MACHINE\\" + kClass + u"\\0004");
}

TEST_F(RegistryRemoval, PrinterClassWalkFindsMatchesPastTheTwoHundredFiftySixthKey) {
    for (int index = 0; index < 300; ++index) {
        char16_t name[8];
        for (int digit = 3, value = index; digit >= 0; --digit, value /= 10) name[digit] = u'0' + value % 10;
        name[4] = 0;
        makeKey(kClass + u"\\" + name, index % 100 == 99 ? u"Zandrel M2100" : u"Other Printer");
    }
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeletePrinterClassKeys(config), 0);
    const std::string prefix = platform::toUtf8(kClass) + "\\";
    EXPECT_EQ(removedKeys(before), (std::vector<std::string>{prefix + "0099", prefix + "0199", prefix + "0299"}));
}

TEST_F(RegistryRemoval, PrinterClassWithoutItsKeyAnswersThree) {
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeletePrinterClassKeys(config), 3);
    EXPECT_TRUE(removedKeys(before).empty());
}

TEST_F(RegistryRemoval, TreeDeleteRemovesEverythingBelowAndAnswersForAMissingKey) {
    makeKey(u"SOFTWARE\\Zandrel\\M2100\\A\\B\\C", u"x");
    makeKey(u"SOFTWARE\\Zandrel\\M2100\\D");
    makeKey(u"SOFTWARE\\Zandrel\\Other");
    const auto before = platform::testing::snapshot();
    EXPECT_TRUE(uninstall::DeleteRegistryTree(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zandrel\\M2100"));
    EXPECT_EQ(removedKeys(before).size(), 5u);
    // A key with subkeys is refused first, then emptied from its first subkey down and deleted again.
    const std::string m2100 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel\\M2100";
    EXPECT_EQ(deletions(), (std::vector<std::string>{m2100 + " 5", m2100 + "\\A 5", m2100 + "\\A\\B 5",
                                                     m2100 + "\\A\\B\\C 0", m2100 + "\\A\\B 0", m2100 + "\\A 0",
                                                     m2100 + "\\D 0", m2100 + " 0"}));
    EXPECT_TRUE(keyExists(u"SOFTWARE\\Zandrel\\Other"));
    EXPECT_TRUE(uninstall::DeleteRegistryTree(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zandrel\\M2100"));
    // An empty or malformed path would name the root or another key: refused.
    for (const char16_t* path : {u"", u"\\", u"SOFTWARE\\\\Zandrel", u"SOFTWARE\\..", u"SOFTWARE\\Zandrel\\"}) {
        EXPECT_FALSE(uninstall::DeleteRegistryTree(HKEY_LOCAL_MACHINE, path)) << platform::toUtf8(path);
    }
    EXPECT_TRUE(keyExists(u"SOFTWARE\\Zandrel\\Other"));
}

TEST_F(RegistryRemoval, TreeDeleteReportsAKeyThatStays) {
    makeKey(u"SOFTWARE\\Zandrel\\M2100\\Held");
    makeKey(u"SOFTWARE\\Zandrel\\M2100\\Loose");
    platform::setFault("RegDeleteKeyW",
                       platform::Fault().failing(-1).onlyFor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel\\M2100\\Held"));
    EXPECT_FALSE(uninstall::DeleteRegistryTree(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zandrel\\M2100"));
    EXPECT_TRUE(keyExists(u"SOFTWARE\\Zandrel\\M2100\\Held"));
    EXPECT_FALSE(uninstall::removalLog().empty());
}

TEST_F(RegistryRemoval, SubkeyDeleteStepsPastAKeyItCannotDeleteAndEnds) {
    const std::u16string printers = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
    makeKey(printers + u"\\A Printer\\PrinterDriverData\\Deep");
    makeKey(printers + u"\\B Held\\Inner");
    makeKey(printers + u"\\C Printer");
    makeKey(u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Keep");
    platform::setFault("RegDeleteKeyW", platform::Fault().failing(-1).onlyFor(
                                            "HKEY_LOCAL_MACHINE\\" + platform::toUtf8(printers) + "\\B Held\\Inner"));
    const auto before = platform::testing::snapshot();
    uninstall::DeleteRegistrySubkeys(printers);
    const std::string prefix = platform::toUtf8(printers) + "\\";
    EXPECT_EQ(removedKeys(before), (std::vector<std::string>{prefix + "A Printer", prefix + "A Printer\\PrinterDriverData",
                                                             prefix + "A Printer\\PrinterDriverData\\Deep",
                                                             prefix + "C Printer"}));
    EXPECT_TRUE(keyExists(printers));
    // Each pass that meets the held key again reports it again; nothing else is reported.
    const auto log = uninstall::removalLog();
    ASSERT_FALSE(log.empty());
    for (const auto& entry : log) EXPECT_EQ(entry.target, u"HKEY_LOCAL_MACHINE\\" + printers + u"\\B Held\\Inner");
}

TEST_F(RegistryRemoval, ImagingClassLosesEveryKeyOfTheModelIncludingAdjacentOnes) {
    makeKey(kImaging + u"\\0000", u"Zandrel M2100 Scanner");
    makeKey(kImaging + u"\\0000\\DeviceData", u"x");
    makeKey(kImaging + u"\\0001", u"Zandrel M2100 Scanner");
    makeKey(kImaging + u"\\0002", u"Other Vendor Scanner");
    makeKey(kImaging + u"\\0003", u"zandrel m2100 scanner");
    makeKey(kImaging + u"\\0004");
    const auto before = platform::testing::snapshot();
    uninstall::DeleteImagingClassKeys(kImaging, u"Zandrel M2100", config);
    const std::string prefix = platform::toUtf8(kImaging) + "\\";
    EXPECT_EQ(removedKeys(before),
              (std::vector<std::string>{prefix + "0000", prefix + "0000\\DeviceData", prefix + "0001"}));
    const std::string full = "HKEY_LOCAL_MACHINE\\" + prefix;
    EXPECT_EQ(deletions(), (std::vector<std::string>{full + "0000 5", full + "0000\\DeviceData 0", full + "0000 0",
                                                     full + "0001 0"}));
    // A model without an element, and traversal texts as the model or the element, change nothing.
    const auto after = platform::testing::snapshot();
    for (const char16_t* model : {u"Zandrel M2200", u"\\..", u"", u"Zandrel M2100 Scanner"}) {
        uninstall::DeleteImagingClassKeys(kImaging, model, config);
        uninstall::DeleteImagingKeyIfModel(kImaging + u"\\..", u"Zandrel M2100 Scanner");
        uninstall::DeleteImagingKeyIfModel(kImaging + u"\\0002\\..", u"Other Vendor Scanner");
    }
    EXPECT_TRUE(platform::testing::diff(after, platform::testing::snapshot()).empty());
}

TEST_F(RegistryRemoval, Wow6432ProductKeyLosesTheProductsSubkeyOnly) {
    makeKey(u"SOFTWARE\\Wow6432Node\\Zandrel\\M2100", u"x");
    makeKey(u"SOFTWARE\\Wow6432Node\\Zandrel\\Other");
    makeKey(u"SOFTWARE\\Wow6432Node\\M2100");
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeleteWow6432ProductKeys(config), 0);
    EXPECT_EQ(removedKeys(before), (std::vector<std::string>{"SOFTWARE\\Wow6432Node\\Zandrel\\M2100"}));
    // The product key still opens afterwards, so it stays.
    EXPECT_EQ(deletions(), (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Zandrel\\M2100 0"}));
}

TEST_F(RegistryRemoval, Wow6432TraversalAndMissingDirsChangeNothing) {
    makeKey(u"SOFTWARE\\Wow6432Node\\Zandrel\\M2100");
    makeKey(u"SOFTWARE\\Wow6432Node\\Zandrel\\Other");
    makeKey(u"SOFTWARE\\Wow6432Node\\M2100");
    struct Case {
        std::vector<std::string> dirs;
        int result;
    };
    const Case cases[] = {
        {{}, 0},
        {{"\\Zandrel"}, 0},
        {{"\\", "\\M2100"}, 3},
        {{"", "\\M2100"}, 3},
        {{"\\..", "\\M2100"}, 3},
        {{"\\.", "\\M2100"}, 3},
        {{"\\\\host\\x", "\\M2100"}, 3},
        {{"C:\\x", "\\M2100"}, 3},
        {{"\\Zandrel\\*", "\\M2100"}, 3},
        {{"\\Zandrel.", "\\M2100"}, 3},
        {{"\\Zandrel", "\\.."}, 0},
        {{"\\Zandrel", "\\M2100\\.."}, 0},
        {{"\\Zandrel", "\\"}, 0},
        {{"\\Missing", "\\M2100"}, 3},
    };
    const auto before = platform::testing::snapshot();
    for (const Case& test : cases) {
        SetupConfig dirs;
        ASSERT_TRUE(dirs.parse(configXml(test.dirs)).ok);
        EXPECT_EQ(uninstall::DeleteWow6432ProductKeys(dirs), test.result)
            << (test.dirs.empty() ? "" : test.dirs[0]) << " " << (test.dirs.size() > 1 ? test.dirs[1] : "");
    }
    EXPECT_TRUE(platform::testing::diff(before, platform::testing::snapshot()).empty());
}

}  // namespace
