// The product's driver packages through the stand-in driver-package library over a driver store in
// the machine, its program files and its two data files: what goes, what stays, and what a failing
// library leaves for a second run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PackageRemoval.h"
#include "RemovalLog.h"
#include "platform/testing/machine.h"
#include "win/files.h"

namespace {

using platform::testing::Machine;

const std::u16string kProduct = u"C:\\Program Files\\Zandrel\\M2100\\";
const std::u16string kStore = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\";

constexpr char kConfig[] = R"(<SERTUP_INFO>
  <MODEL><Model_Info type="1">Zandrel M2100</Model_Info></MODEL>
  <DLL_NORMAL><source_dll ID="DIFX">%Systembit%\DIFxAPI.dll</source_dll></DLL_NORMAL>
  <CreateFolder><Folder><Dir>\Zandrel</Dir><Dir>\M2100</Dir></Folder>
    <uidat>ZDM2100ui.dat</uidat><faxdat>ZDM2100fax.dat</faxdat></CreateFolder>
  <INF><Infinpackage>Driver\x64\ZDM2100.inf</Infinpackage>
    <Infinpackage type="FAX">Driver\x64\ZDM2100Fax.inf</Infinpackage>
    <Infinpackage>Ews\zdews.inf</Infinpackage></INF>
  <SCINF><InfPath ID="1">Scan\%Systembit%\ZDScan.inf</InfPath><InfPath ID="2">Scan\%Systembit%\ZDScan.inf</InfPath>
    <InfPath ID="3">scan\%Systembit%\ZDScan.inf</InfPath></SCINF>
  <Program><Dst><x64 ID="PRG">\Zandrel\M2100</x64><x64 ID="LANG">\Zandrel\M2100\Lang</x64></Dst>
    <sourcefile dst="PRG">bin\Orlith.exe</sourcefile><sourcefile dst="LANG">Lang\ZDkelrenus.dll</sourcefile>
    <sourcefile dst="PRG">..\..\sentinel.txt</sourcefile></Program>
</SERTUP_INFO>)";

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct PackageMachine {
    explicit PackageMachine(const char* library = DIFX_STANDIN) {
        EXPECT_TRUE(config.parse(kConfig).ok);
        context.config = &config;
        context.multiFuncType = u"1";
        context.models = uninstall::ReadModelList(config);
        const auto module = machine.host(kProduct + u"x64\\DIFxAPI.dll");
        std::filesystem::create_directories(module.parent_path());
        std::filesystem::copy_file(library, module);
        for (const char16_t* name : {u"ZDM2100.inf", u"ZDM2100Fax.inf", u"ZDScan.inf", u"zdews.inf"}) addPackage(name);
        uninstall::clearRemovalLog();
    }
    // The package INF in the product folder, its store copy and its published INF.
    void addPackage(std::u16string name) {
        std::u16string folder = name == u"ZDScan.inf" ? u"Scan\\x64\\" : name == u"zdews.inf" ? u"Ews\\" : u"Driver\\x64\\";
        machine.writeFile(kProduct + folder + name, "[Version]");
        std::u16string lower = name;
        for (char16_t& c : lower) c = static_cast<char16_t>(std::tolower(c));
        const std::u16string store = kStore + lower + u"_amd64_1a2b\\";
        machine.writeFile(store + name, "[Version]");
        const std::u16string oem = platform::fromUtf8("oem" + std::to_string(name.size()) + ".inf");
        machine.writeFile(store + u"published.txt", platform::toUtf8(oem));
        machine.writeFile(u"C:\\Windows\\INF\\" + oem, "[Version]");
        stores.push_back(store);
    }
    void script(const std::string& text) {
        std::ofstream(machine.host(kProduct + u"x64\\DIFxAPI.script")) << text;
    }
    std::vector<std::string> journal() {
        std::vector<std::string> lines;
        std::ifstream in(machine.host(kProduct + u"x64\\DIFxAPI.journal"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    Machine machine;
    uninstall::SetupConfig config;
    uninstall::RemovalContext context;
    std::vector<std::u16string> stores;  // printer, fax, scanner, ews
};

TEST(PackageRemoval, PrinterFaxAndScannerPackagesLeaveTheStore) {
    PackageMachine m;
    std::u16string library;
    ASSERT_TRUE(uninstall::DifxLibraryPath(m.config, library));
    EXPECT_EQ(library, kProduct + u"x64\\DIFxAPI.dll");

    uninstall::UninstallPrinterPackage(m.context);
    EXPECT_FALSE(exists(m.stores[0]));  // printer
    EXPECT_FALSE(exists(m.stores[1]));  // the fax package is one of the printer list's entries
    EXPECT_TRUE(exists(m.stores[3]));   // "ews" in lower case is skipped too
    EXPECT_FALSE(exists(u"C:\\Windows\\INF\\oem11.inf"));
    EXPECT_NE(m.context.driverPackageUninstall, nullptr);

    // Asked again, the fax package is not in the store any more: nothing to remove, not a failure.
    uninstall::UninstallFaxPackage(m.context);
    uninstall::UninstallScannerPackage(m.context);
    EXPECT_FALSE(exists(m.stores[2]));
    EXPECT_FALSE(m.context.incomplete);
    size_t scannerLookups = 0;
    for (const std::string& line : m.journal())
        if (line.find("GetPath") == 0 && line.find("ZDScan.inf") != std::string::npos) ++scannerLookups;
    // The duplicate is dropped; the text differing in case is asked once more (the store copy is gone).
    EXPECT_EQ(scannerLookups, 2u + 1u);  // size, path, then the case variant's size
    EXPECT_TRUE(exists(m.stores[3]));
}

TEST(PackageRemoval, PrinterOnlyProductKeepsTheScannerPackage) {
    PackageMachine m;
    m.context.multiFuncType = u"0";
    uninstall::UninstallScannerPackage(m.context);
    EXPECT_TRUE(exists(m.stores[2]));
    EXPECT_TRUE(m.journal().empty());
}

TEST(PackageRemoval, FailingLibraryKeepsThePackagesAndMarksTheRun) {
    struct Case {
        const char* script;
        bool incompleteLibrary;
    };
    // An implausible length and a path without its NUL skip the package rather than being trusted.
    const Case cases[] = {{"lookup-fails\n", false}, {"zero-length\n", false}, {"huge-length\n", false},
                          {"unterminated\n", false}, {"uninstall-fails\n", false}, {"", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        PackageMachine m(c.incompleteLibrary ? DIFX_STANDIN_INCOMPLETE : DIFX_STANDIN);
        m.script(c.script);
        uninstall::UninstallPrinterPackage(m.context);
        EXPECT_TRUE(exists(m.stores[0]));
        EXPECT_TRUE(m.context.incomplete);
        EXPECT_FALSE(uninstall::removalLog().empty());
        // The library without one export is never half used.
        if (c.incompleteLibrary) {
            for (const std::string& line : m.journal()) EXPECT_EQ(line.find("GetPath"), std::string::npos);
        }
    }
}

TEST(PackageRemoval, ProgramAndDataFilesGoAndNothingBesideThem) {
    PackageMachine m;
    m.machine.writeFile(kProduct + u"Orlith.exe", "x");
    m.machine.writeFile(kProduct + u"Lang\\ZDkelrenus.dll", "x");
    m.machine.writeFile(kProduct + u"keep.exe", "x");
    m.machine.writeFile(u"C:\\Program Files\\sentinel.txt", "x");
    const std::u16string appData = u"C:\\Users\\User\\AppData\\Roaming\\";
    m.machine.writeFile(appData + u"ZDM2100ui.dat", "x");
    m.machine.writeFile(appData + u"ZDM2100fax.dat", "x");
    SetFileAttributesW((appData + u"ZDM2100ui.dat").c_str(), FILE_ATTRIBUTE_READONLY);

    uninstall::DeleteProgramFiles(m.context);
    uninstall::DeleteUiDataFile(m.context);
    uninstall::DeleteFaxDataFile(m.context);
    EXPECT_FALSE(exists(kProduct + u"Orlith.exe"));
    EXPECT_FALSE(exists(kProduct + u"Lang\\ZDkelrenus.dll"));
    EXPECT_FALSE(exists(appData + u"ZDM2100ui.dat"));
    EXPECT_FALSE(exists(appData + u"ZDM2100fax.dat"));
    EXPECT_TRUE(exists(kProduct + u"keep.exe"));
    EXPECT_TRUE(exists(u"C:\\Program Files\\sentinel.txt"));
    EXPECT_FALSE(m.context.incomplete);
}

}  // namespace
