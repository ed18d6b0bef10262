// The registry and folder cleanup of "delete all": the spooler's x64 driver and printer keys (what the
// running spooler still lists stays), the product's software keys and values, the start-menu folder on
// the Windows drive, and the emptied product folders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProductRegistry.h"
#include "RemovalLog.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/registry.h"

namespace {

using platform::testing::Machine;

constexpr char kConfig[] = R"(<SERTUP_INFO>
  <MODEL><Model_Info type="1">Zandrel M2100</Model_Info></MODEL>
  <FaxName><FaxModel model="Zandrel M2100">Zandrel M2100 Fax</FaxModel></FaxName>
  <CreateFolder><Folder><Dir>\Zandrel</Dir><Dir>\M2100</Dir></Folder><monitorkey>ZandrelStatusMonitor</monitorkey></CreateFolder>
</SERTUP_INFO>)";

void makeKey(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
}

void setText(HKEY root, const std::u16string& path, const std::u16string& name, const std::u16string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

bool keyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct RegistryMachine {
    explicit RegistryMachine(const platform::MachineSettings& settings = {}, const char* xml = kConfig)
        : machine(settings) {
        EXPECT_TRUE(config.parse(xml).ok);
        context.config = &config;
        context.multiFuncType = u"1";
        context.models = uninstall::ReadModelList(config);
        uninstall::clearRemovalLog();
    }
    Machine machine;
    uninstall::SetupConfig config;
    uninstall::RemovalContext context;
};

const std::u16string kVersion3 = uninstall::kVersion3Key;
const std::u16string kPrinters = uninstall::kPrintersKey;

TEST(ProductRegistry, DriverVersionKeysGoUnlessKeptOrListed) {
    RegistryMachine m;
    // "Zandrel M2100 PS" contains the model name but is another product's driver the spooler lists.
    platform::installPrinterDriver({u"Zandrel M2100 PS", u"Windows x64", u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\ps.dll", {}});
    for (const char16_t* name : {u"Zandrel M2100", u"Zandrel M2100 Fax", u"Zandrel M2100 PS", u"Other Laser"})
        makeKey(HKEY_LOCAL_MACHINE, kVersion3 + u"\\" + name);
    makeKey(HKEY_LOCAL_MACHINE, kVersion3 + u"\\A Zandrel M2100 held\\Sub");
    uninstall::DeleteDriverVersionKeys(m.context);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kVersion3 + u"\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kVersion3 + u"\\Zandrel M2100 Fax"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kVersion3 + u"\\Zandrel M2100 PS"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kVersion3 + u"\\A Zandrel M2100 held"));  // has a subkey
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kVersion3 + u"\\Other Laser"));
    EXPECT_FALSE(m.context.incomplete);
}

TEST(ProductRegistry, PrinterKeysOnePassAndListedPrintersStay) {
    RegistryMachine m;
    platform::installPrinter({u"Zandrel M2100 (kept)", u"USB001", u"Zandrel M2100", {}, {}, {}});
    for (const char16_t* name : {u"Zandrel M2100 A", u"Zandrel M2100 B", u"zandrel m2100 lower", u"Zandrel M2100 (kept)"})
        makeKey(HKEY_LOCAL_MACHINE, kPrinters + u"\\" + name + u"\\PrinterDriverData");
    uninstall::DeletePrinterKeys(m.context);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kPrinters + u"\\Zandrel M2100 A"));
    // It moved into the first one's index and waits for the next pass.
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kPrinters + u"\\Zandrel M2100 B"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kPrinters + u"\\zandrel m2100 lower"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kPrinters + u"\\Zandrel M2100 (kept)"));
}

TEST(ProductRegistry, SoftwareKeysValuesAndRunValue) {
    RegistryMachine m;
    const std::u16string model = u"Software\\Zandrel M2100";
    makeKey(HKEY_LOCAL_MACHINE, model + u"\\Scanner");
    setText(HKEY_LOCAL_MACHINE, model, u"Scantool", u"x");
    setText(HKEY_LOCAL_MACHINE, model, u"Other", u"x");
    makeKey(HKEY_LOCAL_MACHINE, u"Software\\Zandrel M2100 Fax\\Printer\\Port");
    makeKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100");
    setText(HKEY_LOCAL_MACHINE, uninstall::kRunKey, u"ZandrelStatusMonitor", u"x");
    setText(HKEY_LOCAL_MACHINE, uninstall::kRunKey, u"Other", u"x");
    makeKey(HKEY_CURRENT_USER, u"Software\\Zandrel");

    for (const char16_t* name : {u"Zandrel M2100", u"Zandrel M2100 Fax"}) {
        EXPECT_EQ(uninstall::DeleteProductSoftwareValues(m.context, name), uninstall::kRegistryDone);
        uninstall::DeleteProductSoftwareKey(m.context, name);
    }
    EXPECT_EQ(uninstall::DeleteProductSoftwareValues(m.context, u""), uninstall::kRegistrySkipped);
    EXPECT_EQ(uninstall::DeleteRunValue(m.context), uninstall::kRegistryDone);
    EXPECT_EQ(uninstall::DeleteUserSoftwareKey(m.context), uninstall::kRegistryDone);

    // The model's words went, then the key without subkeys; the fax key stays while its "Printer"
    // part (which has a subkey of its own) is registered.
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, model));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"Software\\Zandrel M2100 Fax\\Printer"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Zandrel"));
    HKEY run = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstall::kRunKey, 0, KEY_READ, &run), ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExW(run, u"ZandrelStatusMonitor", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(run, u"Other", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(run);
}

TEST(ProductRegistry, UserSoftwareKeyIsTheFirstDirWithoutItsLeadingBackslash) {
    struct Case {
        const char* dir;
        int result;
        bool keyGoes;
    };
    // The registry refuses a subkey beginning with "\"; a bare "\" names no key at all.
    for (const Case c : {Case{"\\Zandrel", uninstall::kRegistryDone, true}, Case{"\\", uninstall::kRegistrySkipped, false}}) {
        SCOPED_TRACE(c.dir);
        RegistryMachine m({}, (std::string("<SERTUP_INFO><CreateFolder><Folder><Dir>") + c.dir +
                               "</Dir></Folder></CreateFolder></SERTUP_INFO>").c_str());
        makeKey(HKEY_CURRENT_USER, u"Software\\Zandrel");
        EXPECT_EQ(uninstall::DeleteUserSoftwareKey(m.context), c.result);
        EXPECT_EQ(keyExists(HKEY_CURRENT_USER, u"Software\\Zandrel"), !c.keyGoes);
        EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software"));
    }
}

TEST(ProductRegistry, OverLongSoftwareKeyPathsSkipRatherThanNameAnotherProductsKey) {
    // "Software\" and a name cut at 128 characters would be this other product's key.
    const std::u16string other = u"Velmor " + std::u16string(111, u'x');
    const std::u16string model = other + u" Series";
    RegistryMachine m({}, ("<SERTUP_INFO><MODEL><Model_Info type=\"1\">" + platform::toUtf8(model) +
                           "</Model_Info></MODEL></SERTUP_INFO>").c_str());
    makeKey(HKEY_LOCAL_MACHINE, u"Software\\" + other + u"\\Printer");
    makeKey(HKEY_LOCAL_MACHINE, u"Software\\" + other + u"\\Scanner");
    setText(HKEY_LOCAL_MACHINE, u"Software\\" + other, u"Scantool", u"x");
    EXPECT_EQ(uninstall::DeleteProductSoftwareValues(m.context, model), uninstall::kRegistrySkipped);
    uninstall::DeleteProductSoftwareKey(m.context, model);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"Software\\" + other + u"\\Printer"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"Software\\" + other + u"\\Scanner"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (u"Software\\" + other).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"Scantool", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(ProductRegistry, StartMenuFolderOnTheWindowsDrive) {
    struct Case {
        std::u16string windows;
        std::u16string value;
        std::u16string expected;  // CommonProgramsPath
    };
    const std::u16string programs = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
    const Case cases[] = {
        {u"C:\\Windows", programs, programs},
        {u"D:\\Windows", programs, u"D" + programs.substr(1)},
        {u"C:\\Windows", u"", u""},
        {u"C:\\Windows", std::u16string(130, u'a'), u""},  // longer than the 256-byte buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.windows + u" " + c.value.substr(0, 20)));
        platform::MachineSettings settings;
        settings.windowsFolder = c.windows;
        RegistryMachine m(settings);
        if (!c.value.empty()) setText(HKEY_LOCAL_MACHINE, uninstall::kShellFoldersKey, u"Common Programs", c.value);
        const std::u16string folder = c.expected.empty() ? programs : c.expected;
        m.machine.writeFile(folder + u"\\Zandrel\\Zandrel M2100\\Scan.lnk", "x");
        m.machine.writeFile(folder + u"\\Zandrel\\Other\\Other.lnk", "x");
        EXPECT_EQ(uninstall::DeleteStartMenuFolder(m.context, u"Zandrel M2100"), 1);
        EXPECT_EQ(m.context.CommonProgramsPath, c.expected);
        EXPECT_EQ(exists(folder + u"\\Zandrel\\Zandrel M2100"), c.expected.empty());
        EXPECT_TRUE(exists(folder + u"\\Zandrel\\Other\\Other.lnk"));
    }
}

TEST(ProductRegistry, EmptyProductFoldersGoAndAnEmptyBaseIsPassedOver) {
    RegistryMachine m;
    CreateDirectoryW(u"C:\\Windows\\Zandrel", nullptr);
    CreateDirectoryW(u"C:\\Windows\\System32\\Zandrel", nullptr);
    m.machine.writeFile(u"C:\\Windows\\System32\\Zandrel\\keep.txt", "x");
    CreateDirectoryW(u"C:\\Zandrel", nullptr);  // "\" + the first Dir on the current drive
    uninstall::RemoveEmptyProductFolders(m.context);
    EXPECT_FALSE(exists(u"C:\\Windows\\Zandrel"));
    EXPECT_TRUE(exists(u"C:\\Windows\\System32\\Zandrel\\keep.txt"));
    EXPECT_TRUE(exists(u"C:\\Zandrel"));
}

}  // namespace
