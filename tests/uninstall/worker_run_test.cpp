// Whole removal runs on machines the product was laid down on (with another vendor's items beside
// each of its own): the progress posted, the order of the calls, what the machine's diff shows gone
// and kept, a run that fails midway and the second run that finishes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "LangText.h"
#include "ProductInstall.h"
#include "RemovalLog.h"
#include "SystemQueries.h"
#include "UninstallWorker.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/services.h"
#include "win/shell.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

std::string configBytes() {
    std::ifstream in(std::string(MFP_SOURCE_DIR) + "/tests/uninstall/data/SetupCFG.xml", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
}

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool keyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

DWORD serviceState(const char16_t* name) {
    return platform::service(name) ? platform::service(name)->state : 0;
}

LRESULT CALLBACK pageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcW(hwnd, msg, wParam, lParam); }

// The language library the uninstaller would have chosen, holding `texts`.
constexpr char16_t kLanguageLibrary[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZDUnsenus.dll";

// A machine with the product on it and a context as the progress page would fill it; with `language`,
// the texts come from a language library holding them (the product installed in that language).
struct ProductMachine {
    explicit ProductMachine(const platform::MachineSettings& settings = {}, std::string xml = configBytes(),
                            const std::optional<std::map<UINT, std::u16string>>& language = std::nullopt)
        : machine(settings) {
        // Another user of the machine, who used the product too.
        platform::addUserProfile("Admin");
        productinstall::InstallOptions options;
        options.configBytes = xml;
        uninstall::setLangModule(nullptr);
        if (language) {
            platform::resources::ResourceFile library;
            library.strings = *language;
            machine.writeFile(kLanguageLibrary, rescomp::writeResourceFile(library));
            languageModule = LoadLibraryW(kLanguageLibrary);
            EXPECT_NE(languageModule, nullptr);
            uninstall::setLangModule(languageModule);
            if (const auto text = language->find(uninstall::kScanToolTextId); text != language->end())
                options.scanToolText = text->second;
        }
        options.difxLibrary = DIFX_STANDIN;
        options.rundll32Program = RUNDLL32_STANDIN;
        options.neighbours = true;
        std::string why;
        EXPECT_TRUE(productinstall::InstallProduct(options, why)) << why;
        EXPECT_TRUE(config.parse(xml).ok);
        context.config = &config;
        context.models = uninstall::ReadModelList(config);
        config.ReadConfigText(u"/SERTUP_INFO/MultiFunc/Type", context.multiFuncType);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = pageProc;
        wc.lpszClassName = u"RemovalProgress";
        RegisterClassExW(&wc);
        context.progressWindow =
            CreateWindowExW(0, u"RemovalProgress", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        uninstall::clearRemovalLog();
        platform::setCallJournal(true);
    }
    ~ProductMachine() {
        DestroyWindow(context.progressWindow);
        uninstall::setLangModule(nullptr);
        if (languageModule) FreeLibrary(languageModule);
    }

    // Runs the worker as the page's thread would and answers the progress it posted (530 as -1).
    std::vector<long> run() {
        uninstall::UninstallThreadProc(&context);
        std::vector<long> posted;
        MSG msg{};
        while (PeekMessageW(&msg, context.progressWindow, uninstall::WM_UNINSTALL_PROGRESS,
                            uninstall::WM_UNINSTALL_PROGRESS, PM_REMOVE))
            posted.push_back(msg.wParam == uninstall::kProgressFinished ? -1 : static_cast<long>(msg.lParam));
        return posted;
    }

    Machine machine;
    uninstall::SetupConfig config;
    uninstall::RemovalContext context;
    HMODULE languageModule = nullptr;
};

const std::vector<long> kAllProgress = {5, 20, 30, 40, 50, 60, 75, 80, 100, -1};
const std::vector<long> kOneProgress = {5, 20, 50, 80, 100, -1};

// A second "delete all" finds nothing more to remove.
void expectSecondRunFindsNothingMore(ProductMachine& m) {
    const auto afterFirst = platform::testing::snapshot();
    EXPECT_EQ(m.run(), kAllProgress);
    for (const std::string& line : platform::testing::diff(afterFirst, platform::testing::snapshot()))
        EXPECT_NE(line.find(".journal"), std::string::npos) << line;
    EXPECT_FALSE(m.context.incomplete);
}

// The diff's removed lines that name a neighbour, and the added lines that are not a stand-in's journal.
void expectNeighboursKept(const std::vector<std::string>& diff) {
    for (const std::string& line : diff) {
        if (line.rfind("- ", 0) != 0) continue;
        for (const char* neighbour : {"Velmor", "VELMOR", "vlm", "Zandrel M2100 PS", "zdps"})
            EXPECT_EQ(line.find(neighbour), std::string::npos) << line;
    }
}

bool anyLine(const std::vector<std::string>& lines, const std::string& prefix, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0 && l.find(text) != std::string::npos; });
}

// The calls of the journal, in order, as "Call arguments".
std::vector<std::string> calls() {
    std::vector<std::string> out;
    for (const platform::CallRecord& record : platform::callJournal())
        out.push_back(record.call + " " + platform::toUtf8(record.arguments));
    return out;
}

// One removal step as the journal shows it: what the step removes and a fragment of one of its calls.
struct Step {
    const char* what;
    const char* call;
};

// Whether each step's call is found in the journal after the one before it.
void expectInOrder(const std::vector<std::string>& journal, const std::vector<Step>& expected) {
    size_t at = 0;
    for (const Step& want : expected) {
        auto found = std::find_if(journal.begin() + static_cast<long>(at), journal.end(),
                                  [&](const std::string& line) { return line.find(want.call) != std::string::npos; });
        ASSERT_NE(found, journal.end()) << "missing in order: " << want.what << ": " << want.call;
        at = static_cast<size_t>(found - journal.begin()) + 1;
    }
}

// "Delete all" of the multifunction product on Windows 10 x64, with file and registry removals
// journalled: a call of each step in the order of removal.
const std::vector<Step> kDeleteAllOrder = {
    {"driver packages", "DeleteFileW C:\\Windows\\System32\\DriverStore\\FileRepository\\zdm2100.inf_amd64_5e1f0c2a\\ZDM2100.inf"},
    {"driver packages", "DeleteFileW C:\\Windows\\System32\\DriverStore\\FileRepository\\zdscan.inf_amd64_5e1f0c2a\\ZDScan.inf"},
    {"printers", "DeletePrinter Zandrel M2100"},
    {"printers", "DeletePrinterDriverExW Zandrel M2100, 1"},
    {"USB devices", "DiUninstallDevice USB\\VID_2A5F&PID_1021\\ZD0001"},
    {"installed INFs", "SetupUninstallOEMInfW oem2.inf, 1"},
    {"scanner side", "SetupDiCallClassInstaller DIF_REMOVE, USBPRINT\\ZANDRELM2100A1B2"},
    {"scanner side", "DeleteFileW C:\\Users\\User\\Desktop\\Printer scan tool Zandrel M2100.lnk"},
    {"scanner side", "DeleteFileW C:\\Users\\User\\Desktop\\Printer scan tool Zandrel M2200.lnk"},
    {"scanner side", "ControlService WiaRpc, 1"},
    {"scanner side", "ControlService stisvc, 1"},
    {"scanner side", "DeleteFileW C:\\Windows\\System32\\ZDWiaDrv.dll"},
    {"scanner side", "DeleteFileW C:\\Windows\\twain_32\\Zandrel\\ZDScanDS.ds"},
    {"driver files", "ControlService Spooler, 1"},
    {"driver files", "DeleteMonitorW Zandrel Language Monitor"},
    {"driver files", "StartServiceW Spooler"},
    {"program files", "DeleteFileW C:\\Program Files\\Zandrel\\M2100\\Orlith.exe"},
    {"application data", "RemoveDirectoryW C:\\Users\\User\\AppData\\Roaming\\Zandrel\\M2100"},
    {"user profiles", "RemoveDirectoryW C:\\Users\\Admin\\AppData\\Roaming\\Zandrel\\M2100"},
    {"driver-store folders", "RemoveDirectoryW C:\\Windows\\System32\\spool\\drivers\\x64\\ZandrelM2100"},
    {"stisvc again", "StartServiceW stisvc"},
    {"Windows folder", "RemoveDirectoryW C:\\Windows\\Zandrel\\M2100"},
    {"spooler and product keys", "RegDeleteKeyW HKEY_CURRENT_USER\\Software\\Zandrel"},
    {"spooler and product keys", "RegDeleteValueW HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run, ZandrelStatusMonitor"},
    {"32-bit view keys", "RegDeleteKeyW HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Zandrel\\M2100"},
    {"device flags and classes", "Control\\Class\\{4D36E979-E325-11CE-BFC1-08002BE10318}\\0001"},
    {"program folder", "RemoveDirectoryW C:\\Program Files\\Zandrel\\M2100\\x64"},
    {"system folder", "RemoveDirectoryW C:\\Windows\\System32\\Zandrel\\M2100"},
    {"software keys and start menu", "RegDeleteValueW HKEY_LOCAL_MACHINE\\Software\\Zandrel M2100, Scantool"},
    {"software keys and start menu", "DeleteFileW C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel\\Zandrel M2100\\"},
    {"software keys and start menu", "RegDeleteKeyW HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel M2100"},
    {"software keys and start menu", "CurrentVersion\\Uninstall\\Zandrel M2100"},
    {"software keys and start menu", "SYSTEM\\ControlSet001\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"},
    {"software keys and start menu", "SYSTEM\\ControlSet002\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"},
    {"software keys and start menu", "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"},
    {"software keys and start menu", "Uninstall\\Zandrel M2200"},
    {"device tree", "CM_Locate_DevNodeW , 0"},
    {"device tree", "CM_Reenumerate_DevNode HTREE\\ROOT\\0, 0"},
    {"empty product folders", "RemoveDirectoryW C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel"},
    {"data files", "DeleteFileW C:\\Users\\User\\AppData\\Roaming\\ZDM2100ui.dat"},
    {"data files", "DeleteFileW C:\\Users\\User\\AppData\\Roaming\\ZDM2100fax.dat"},
};

TEST(RemovalWorker, DeleteAllMultifunctionOnWindows10RemovesTheProductOnly) {
    ProductMachine m;
    m.context.mode = 1;
    platform::setFileCallJournal(true);
    const auto before = platform::testing::snapshot();
    platform::clearSleepLog();
    EXPECT_EQ(m.run(), kAllProgress);
    const auto diff = platform::testing::diff(before, platform::testing::snapshot());
    expectNeighboursKept(diff);
    // The fixed pauses in their order: after each program to stop, the printer INF, each shortcut,
    // stopping stisvc, the device tree, the two data-file pauses and the last progress value.
    const std::vector<DWORD> pauses = {50, 50, 50, 200, 10, 10, 1000, 3000, 2000, 2000, 200};
    const std::vector<DWORD> slept = platform::sleepLog();
    size_t next = 0;
    for (DWORD pause : slept)
        if (next < pauses.size() && pause == pauses[next]) ++next;
    EXPECT_EQ(next, pauses.size());
    EXPECT_EQ(slept.back(), 200u);

    EXPECT_FALSE(exists(u"C:\\Program Files\\Zandrel\\M2100\\Orlith.exe"));
    EXPECT_FALSE(exists(u"C:\\Program Files\\Zandrel"));
    EXPECT_FALSE(exists(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\ZDM2100ui.dll"));
    EXPECT_FALSE(exists(u"C:\\Windows\\twain_32\\Zandrel\\ZDScanDS.ds"));
    EXPECT_FALSE(exists(u"C:\\Windows\\Zandrel"));
    EXPECT_FALSE(exists(u"C:\\Users\\User\\AppData\\Roaming\\ZDM2100ui.dat"));
    EXPECT_FALSE(exists(u"C:\\Users\\User\\AppData\\Roaming\\ZDM2100fax.dat"));
    EXPECT_FALSE(exists(u"C:\\Users\\User\\AppData\\Roaming\\Zandrel"));
    // The other user's product folder goes with the walk over the profiles; the data files of the
    // interfaces are the running user's only.
    EXPECT_FALSE(exists(u"C:\\Users\\Admin\\AppData\\Roaming\\Zandrel"));
    EXPECT_TRUE(exists(u"C:\\Users\\Admin\\AppData\\Roaming\\ZDM2100ui.dat"));
    EXPECT_TRUE(exists(u"C:\\Users\\Admin\\AppData\\Roaming\\ZDM2100fax.dat"));
    EXPECT_TRUE(exists(u"C:\\Users\\Admin\\AppData\\Roaming\\Velmor\\settings.ini"));
    EXPECT_FALSE(exists(u"C:\\Users\\User\\Desktop\\Printer scan tool Zandrel M2100.lnk"));
    EXPECT_FALSE(exists(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"Software\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Zandrel"));
    EXPECT_FALSE(anyLine(diff, "+ ", "Zandrel"));
    const std::pair<const char*, const char*> gone[] = {
        {"- printer", "name=Zandrel M2100 "},     {"- printer", "name=Zandrel M2100 Fax"},
        {"- driver", "name=Zandrel M2100 Fax"},    {"- monitor", "Zandrel Language Monitor"},
        {"- oem-inf", "ZDM2100.inf"},              {"- device ", "USBPRINT\\ZANDRELM2100A1B2"},
        {"- key ", "Version-3\\\\Zandrel M2200"}};
    for (const auto& [kind, text] : gone) EXPECT_TRUE(anyLine(diff, kind, text)) << kind << " " << text;
    EXPECT_EQ(serviceState(u"Spooler"), SERVICE_RUNNING);
    EXPECT_EQ(serviceState(u"stisvc"), SERVICE_RUNNING);
    EXPECT_EQ(serviceState(u"WiaRpc"), SERVICE_RUNNING);
    EXPECT_FALSE(m.context.incomplete);

    expectInOrder(calls(), kDeleteAllOrder);

    expectSecondRunFindsNothingMore(m);
}

TEST(RemovalWorker, DeleteAllPrinterOnlyOnServer2008R2KeepsPackagesAndStillImage) {
    platform::MachineSettings settings;
    settings.osMajor = 6;
    settings.osMinor = 1;
    settings.productType = 3;
    std::string xml = configBytes();
    replaceAll(xml, "<Type>1</Type>", "<Type>0</Type>");
    ProductMachine m(settings, xml);
    m.context.mode = 1;
    HKEY wow = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &wow, nullptr);
    RegCloseKey(wow);
    EXPECT_EQ(m.run(), kAllProgress);
    EXPECT_TRUE(exists(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\zdm2100.inf_amd64_5e1f0c2a\\ZDM2100.inf"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100"));
    for (const std::string& line : calls()) EXPECT_EQ(line.find("stisvc"), std::string::npos) << line;
    EXPECT_FALSE(exists(u"C:\\Program Files\\Zandrel\\M2100\\Orlith.exe"));
    EXPECT_EQ(serviceState(u"Spooler"), SERVICE_RUNNING);
}

TEST(RemovalWorker, WindowsOnDriveDFindsTheStartMenuFolderThere) {
    platform::MachineSettings settings;
    settings.windowsFolder = u"D:\\Windows";
    ProductMachine m(settings);
    m.context.mode = 1;
    const std::u16string onC = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel\\Zandrel M2100\\keep.lnk";
    m.machine.writeFile(onC, "sentinel");
    EXPECT_EQ(m.run(), kAllProgress);
    EXPECT_EQ(m.context.CommonProgramsPath, u"D:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
    EXPECT_FALSE(exists(u"D:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zandrel"));
    EXPECT_FALSE(exists(u"D:\\Windows\\Zandrel"));
    EXPECT_TRUE(exists(onC));
}

TEST(RemovalWorker, DeleteAllOnXpX64RemovesTheProductWithoutDriverPackages) {
    platform::MachineSettings settings;
    settings.osMajor = 5;
    settings.osMinor = 2;
    settings.osBuild = 3790;
    settings.productType = 1;
    settings.profileLayout = platform::ProfileLayout::DocumentsAndSettings;
    ProductMachine m(settings);
    m.context.mode = 1;
    int osId = 0;
    uninstall::GetOsId(osId);
    ASSERT_EQ(osId, uninstall::kOsXpX64);
    const std::u16string user = u"C:\\Documents and Settings\\User\\";
    const std::u16string startMenu = u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Zandrel";
    // As the product's installer left it on this system: the older profile layout, no driver store.
    EXPECT_FALSE(exists(u"C:\\ProgramData"));
    EXPECT_FALSE(exists(u"C:\\Windows\\System32\\DriverStore"));
    ASSERT_TRUE(exists(user + u"Application Data\\Zandrel\\M2100\\settings.ini"));
    ASSERT_TRUE(exists(user + u"Application Data\\ZDM2100ui.dat"));
    ASSERT_TRUE(exists(u"C:\\Documents and Settings\\Admin\\Application Data\\Zandrel\\M2100\\settings.ini"));
    ASSERT_TRUE(exists(startMenu + u"\\Zandrel M2100\\Printer scan tool.lnk"));
    ASSERT_TRUE(exists(user + u"Desktop\\Printer scan tool Zandrel M2100.lnk"));
    platform::setFileCallJournal(true);
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(m.run(), kAllProgress);
    const auto diff = platform::testing::diff(before, platform::testing::snapshot());
    expectNeighboursKept(diff);
    EXPECT_FALSE(anyLine(diff, "+ ", "Zandrel"));
    // No driver package is uninstalled here: the library, which journals beside itself, is never
    // loaded; nor are the USB devices removed, which the removal does from Windows 8 on.
    for (const std::string& line : calls()) EXPECT_EQ(line.find("DIFxAPI.journal"), std::string::npos) << line;
    EXPECT_FALSE(anyLine(diff, "- device ", "USB\\VID_2A5F&PID_1021\\ZD0001"));
    for (const std::u16string& gone : std::vector<std::u16string>{
             user + u"Application Data\\Zandrel", user + u"Application Data\\ZDM2100ui.dat",
          user + u"Application Data\\ZDM2100fax.dat", u"C:\\Documents and Settings\\Admin\\Application Data\\Zandrel",
          user + u"Desktop\\Printer scan tool Zandrel M2100.lnk", startMenu, u"C:\\Program Files\\Zandrel",
          u"C:\\Windows\\Zandrel", u"C:\\Windows\\System32\\Zandrel"})
        EXPECT_FALSE(exists(gone)) << platform::toUtf8(gone);
    EXPECT_EQ(m.context.CommonProgramsPath, u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs");
    EXPECT_TRUE(anyLine(diff, "- oem-inf", "ZDM2100.inf"));
    EXPECT_TRUE(anyLine(diff, "- printer", "name=Zandrel M2100 "));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Zandrel M2100"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Zandrel"));
    EXPECT_EQ(serviceState(u"Spooler"), SERVICE_RUNNING);
    EXPECT_EQ(serviceState(u"stisvc"), SERVICE_RUNNING);
    EXPECT_FALSE(m.context.incomplete);

    expectSecondRunFindsNothingMore(m);
}

TEST(RemovalWorker, DeleteOneKeepsDevicesWhileTheDriverIsShared) {
    struct Case {
        int sameDriverCount;
        bool devicesGo;
    };
    for (const Case c : {Case{2, false}, Case{1, true}}) {
        SCOPED_TRACE(c.sameDriverCount);
        ProductMachine m;
        m.context.mode = 0;
        m.context.printerName = u"Zandrel M2100";
        m.context.driverName = u"Zandrel M2100";
        m.context.sameDriverCount = c.sameDriverCount;
        const auto before = platform::testing::snapshot();
        platform::clearSleepLog();
        EXPECT_EQ(m.run(), kOneProgress);
        EXPECT_EQ(platform::sleepLog(), (std::vector<DWORD>{200, 80, 80, 200, 200}));
        const auto diff = platform::testing::diff(before, platform::testing::snapshot());
        expectNeighboursKept(diff);
        EXPECT_TRUE(anyLine(diff, "- printer", "name=Zandrel M2100 "));
        const auto devices = platform::devices();
        EXPECT_EQ(std::none_of(devices.begin(), devices.end(),
                               [](const platform::DeviceEntry& d) {
                                   return d.instanceId.rfind(u"USBPRINT\\ZANDRELM2100A1B2", 0) == 0;
                               }),
                  c.devicesGo);
        // Neither the driver, nor files, nor keys.
        EXPECT_FALSE(anyLine(diff, "- driver", "Zandrel M2100"));
        EXPECT_TRUE(exists(u"C:\\Program Files\\Zandrel\\M2100\\Orlith.exe"));
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, u"Software\\Zandrel M2100"));
        std::ifstream journal(m.machine.host(u"C:\\Windows\\System32\\rundll32.journal"));
        std::string line;
        std::getline(journal, line);
        EXPECT_EQ(line, "Zandrel M2100\tdeleted");
    }
}

TEST(RemovalWorker, FailureMidwayLeavesServicesRunningAndASecondRunFinishes) {
    ProductMachine m;
    m.context.mode = 1;
    m.machine.writeFile(u"C:\\Program Files\\Zandrel\\M2100\\x64\\DIFxAPI.script", "uninstall-fails\n");
    m.machine.writeFile(u"C:\\Windows\\System32\\rundll32.script", "leave\n");
    platform::setFault("ControlService", platform::Fault().onlyFor("Spooler").failing(-1));
    platform::setFault("DeleteFile", platform::Fault().onlyFor("C:\\Program Files\\Zandrel\\M2100\\Lang\\ZDkelrenus.dll").failing(-1));
    platform::setFault("RegDeleteKeyW", platform::Fault().failing(1));
    EXPECT_EQ(m.run(), kAllProgress);
    EXPECT_EQ(serviceState(u"Spooler"), SERVICE_RUNNING);
    EXPECT_EQ(serviceState(u"stisvc"), SERVICE_RUNNING);
    EXPECT_EQ(serviceState(u"WiaRpc"), SERVICE_RUNNING);
    EXPECT_TRUE(m.context.incomplete);
    const auto log = uninstall::removalLog();
    for (const char* operation : {"UninstallPrinterPackage", "DeletePrinterDriverFiles", "DeleteProgramFiles"})
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const uninstall::RemovalLogEntry& e) {
            return platform::toUtf8(e.operation) == operation && e.error != ERROR_SUCCESS;
        })) << operation;
    EXPECT_TRUE(exists(u"C:\\Program Files\\Zandrel\\M2100\\Lang\\ZDkelrenus.dll"));

    platform::clearFaults();
    DeleteFileW(u"C:\\Program Files\\Zandrel\\M2100\\x64\\DIFxAPI.script");
    DeleteFileW(u"C:\\Windows\\System32\\rundll32.script");
    uninstall::clearRemovalLog();
    const auto afterFirst = platform::testing::snapshot();
    EXPECT_EQ(m.run(), kAllProgress);
    const auto diff = platform::testing::diff(afterFirst, platform::testing::snapshot());
    expectNeighboursKept(diff);
    EXPECT_FALSE(m.context.incomplete);
    EXPECT_FALSE(exists(u"C:\\Program Files\\Zandrel"));
    EXPECT_FALSE(exists(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\ZDM2100ui.dll"));
    EXPECT_FALSE(exists(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\zdm2100.inf_amd64_5e1f0c2a"));
}

TEST(RemovalWorker, TraversalTextsRemoveNoSentinel) {
    std::string xml = configBytes();
    replaceAll(xml, "<Dir>\\Zandrel</Dir>", "<Dir>\\..</Dir>");
    replaceAll(xml, "<Dir>\\M2100</Dir>", "<Dir>..</Dir>");
    replaceAll(xml, "<Store_Info ID=\"1\">\\ZandrelM2100</Store_Info>",
               "<Store_Info ID=\"1\"></Store_Info><Store_Info ID=\"2\">\\..</Store_Info><Store_Info ID=\"3\">\\\\host\\share</Store_Info>");
    replaceAll(xml, "<x64 ID=\"PRG\">\\Zandrel\\M2100</x64>", "<x64 ID=\"PRG\">C:\\</x64>");
    replaceAll(xml, "<sourcefile dst=\"PRG\">bin\\Orlith.exe</sourcefile>", "<sourcefile dst=\"PRG\">bin\\*.*</sourcefile>");
    replaceAll(xml, "<uidat>ZDM2100ui.dat</uidat>", "<uidat>..\\..\\sentinel.txt</uidat>");
    // A data file's path past the 260-character buffer: cut there, it would name the sentinel.
    const std::string longName(229, 'x');
    replaceAll(xml, "<faxdat>ZDM2100fax.dat</faxdat>", "<faxdat>" + longName + ".dat</faxdat>");
    replaceAll(xml, "<Model_Info type=\"MFP\">Zandrel M2200</Model_Info>", "<Model_Info type=\"MFP\">..</Model_Info>");
    ProductMachine m({}, xml, std::map<UINT, std::u16string>{{uninstall::kScanToolTextId, u"..\\..\\x"}});
    m.context.mode = 1;
    const std::vector<std::u16string> sentinels = {
        u"C:\\Users\\x Zandrel M2100.lnk", u"C:\\Users\\x ...lnk",
        u"C:\\Users\\User\\AppData\\Roaming\\" + platform::fromUtf8(longName),
        u"C:\\sentinel.txt", u"C:\\Windows\\sentinel.txt", u"C:\\Windows\\System32\\sentinel.txt",
        u"C:\\Program Files\\sentinel.txt", u"C:\\Windows\\System32\\spool\\drivers\\x64\\sentinel.txt",
        u"C:\\Users\\User\\AppData\\Roaming\\sentinel.txt", u"C:\\Users\\User\\sentinel.txt",
        u"C:\\Users\\User\\Desktop\\sentinel.txt", u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\sentinel.txt"};
    for (const std::u16string& path : sentinels) m.machine.writeFile(path, "sentinel");
    EXPECT_EQ(m.run(), kAllProgress);
    for (const std::u16string& path : sentinels) EXPECT_TRUE(exists(path)) << platform::toUtf8(path);
}

TEST(ProductInstall, LaysTheUninstallerWithItsLibrariesInTheDriverDirectory) {
    Machine machine;
    // A host folder standing for the build's libraries: the three languages, the bitmaps and one more.
    const std::filesystem::path libraries = machine.root().parent_path() / (machine.root().filename().string() + "-libs");
    std::filesystem::create_directories(libraries);
    for (const char* name : {"ZDUnsenus.dll", "ZDUnsar.dll", "ZDUnszhcn.dll", "ZDUnsbmp.dll", "ZDUnsfr.dll"})
        std::ofstream(libraries / name) << name;
    std::ofstream(libraries / "setup") << "program";
    productinstall::InstallOptions options;
    options.configBytes = configBytes();
    options.setupProgram = libraries / "setup";
    options.setupLibraries = libraries;
    std::string why;
    ASSERT_TRUE(productinstall::InstallProduct(options, why)) << why;
    const std::u16string drivers = u"C:\\Windows\\System32\\spool\\drivers\\x64\\";
    for (const char16_t* name : {u"setup.exe", u"SetupCFG.xml", u"ZDUnsenus.dll", u"ZDUnsar.dll", u"ZDUnszhcn.dll", u"ZDUnsbmp.dll"})
        EXPECT_TRUE(exists(drivers + name)) << platform::toUtf8(name);
    // Only the libraries the configuration names, and the bitmap library.
    EXPECT_FALSE(exists(drivers + u"ZDUnsfr.dll"));
    std::ifstream english(machine.host(drivers + u"ZDUnsenus.dll"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(english), {}), "ZDUnsenus.dll");
    std::filesystem::remove_all(libraries);
}

TEST(RemovalWorker, BasesThatCannotBeHadSkipTheirStepsInsteadOfUsingTheCurrentDrive) {
    struct Case {
        const char* name;
        std::function<void()> fault;
        std::vector<std::u16string> sentinels;  // what the joins onto the current drive's root would name
    };
    const Case cases[] = {
        {"the spooler stopped at the start: no driver directory",
         [] {
             platform::ServiceSetup spooler = *platform::service(u"Spooler");
             spooler.state = SERVICE_STOPPED;
             platform::installService(spooler);
         },
         {u"C:\\ZandrelM2100\\keep.gpd"}},
        {"no application-data folder",
         [] { platform::setFault("SHGetFolderPath", platform::Fault().onlyFor(std::to_string(CSIDL_APPDATA)).failing(-1)); },
         {u"C:\\Zandrel\\M2100\\keep.ini", u"C:\\ZDM2100ui.dat"}},
        {"no program-files folder",
         [] { platform::setFault("SHGetFolderPath", platform::Fault().onlyFor(std::to_string(CSIDL_PROGRAM_FILES)).failing(-1)); },
         {u"C:\\Zandrel\\M2100\\Orlith.exe", u"C:\\Zandrel\\M2100\\keep.ini"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProductMachine m;
        m.context.mode = 1;
        for (const std::u16string& path : c.sentinels) m.machine.writeFile(path, "sentinel");
        c.fault();
        EXPECT_EQ(m.run(), kAllProgress);
        platform::clearFaults();
        for (const std::u16string& path : c.sentinels) EXPECT_TRUE(exists(path)) << platform::toUtf8(path);
    }
}

TEST(RemovalWorker, DesktopShortcutsAreNamedByTheLanguageLibrarysScanToolText) {
    struct Case {
        const char* name;
        std::map<UINT, std::u16string> texts;
        std::u16string shortcut;
    };
    const Case cases[] = {
        {"library with text 243", {{156, u"%Text%"}, {uninstall::kScanToolTextId, u"Scan application software"}},
         u"Scan application software"},
        {"library without text 243", {{156, u"%Text%"}}, u"Printer scan tool"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProductMachine m({}, configBytes(), c.texts);
        m.context.mode = 1;
        const std::u16string desktop = u"C:\\Users\\User\\Desktop\\";
        const std::u16string shortcut = desktop + c.shortcut + u" Zandrel M2100.lnk";
        ASSERT_TRUE(exists(shortcut));
        // A shortcut of another name stays: the name comes from the library, not from the default.
        const std::u16string other = desktop + (c.shortcut == u"Printer scan tool" ? u"Scan application software" : u"Printer scan tool") +
                                     u" Zandrel M2100.lnk";
        m.machine.writeFile(other, "link");
        EXPECT_EQ(m.run(), kAllProgress);
        EXPECT_FALSE(exists(shortcut));
        EXPECT_FALSE(exists(desktop + c.shortcut + u" Zandrel M2200.lnk"));
        EXPECT_TRUE(exists(other));
    }
}

TEST(RemovalWorker, ScanToolTextDefaultsWithoutALanguageLibrary) {
    Machine machine;
    uninstall::setLangModule(nullptr);
    WCHAR text[uninstall::kLangTextCapacity] = u"Printer scan tool";
    EXPECT_EQ(uninstall::LoadLangText(uninstall::kScanToolTextId, text), 0);
    EXPECT_EQ(std::u16string(text), uninstall::kScanToolDefault);
    EXPECT_EQ(uninstall::LoadLangText(uninstall::kScanToolTextId, nullptr), 1);
}

}  // namespace
