// Removing the product's driver files, monitors, common and scan-interface files: the spooler cycle
// under a table of service scripts, the files another driver shares, the style and path rules. Times
// are machine time on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <string>
#include <vector>

#include "DriverFiles.h"
#include "RemovalLog.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/services.h"

namespace {

using platform::Fault;
using platform::testing::Machine;

const std::u16string kDrivers = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
const std::u16string kSystem = u"C:\\Windows\\System32\\";
const std::u16string kTwain = u"C:\\Windows\\twain_32\\Zandrel\\";

constexpr char kConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<SERTUP_INFO>
  <MODEL><Model_Info type="1">Zandrel M2100</Model_Info></MODEL>
  <FaxName><FaxModel model="Zandrel M2100">Zandrel M2100 Fax</FaxModel></FaxName>
  <PONEMENT><tcpmonitor>Zandrel TCP</tcpmonitor><lmmonitor>Zandrel LM</lmmonitor></PONEMENT>
  <COPYFILES>
    <W7STYLE>
      <x64 ID="drv">\Windows\System32\spool\drivers\x64\3</x64>
      <Common ID="com">\Windows\System32</Common>
    </W7STYLE>
    <XPSTYLE><x64 ID="xp">\Windows\System32\spool\drivers\x64\3</x64></XPSTYLE>
    <sourcefile group="drv">disk1\zdrender.dll</sourcefile>
    <sourcefile group="drv">shared.dll</sourcefile>
    <sourcefile group="xp">disk1\zdxp.dll</sourcefile>
    <sourcefile group="com" also="drv">disk1\zdcommon.dll</sourcefile>
  </COPYFILES>
  <TwainFile><DstName>\Windows\twain_32\Zandrel\</DstName><sourcefile>disk1\zdds.ds</sourcefile></TwainFile>
</SERTUP_INFO>)";

uninstall::SetupConfig config(const std::string& text = kConfig) {
    uninstall::SetupConfig parsed;
    EXPECT_TRUE(parsed.parse(text).ok);
    return parsed;
}

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The product's drivers and monitors, another vendor's driver and printer sharing "shared.dll", and a
// sentinel beside every file.
void installProduct(const Machine& machine) {
    for (const char16_t* name : {u"zdrender.dll", u"shared.dll", u"zdxp.dll", u"zdcommon.dll", u"zdui.dll",
                                 u"other.dll", u"sentinel.dll"})
        machine.writeFile(kDrivers + name, "x");
    for (const char16_t* name : {u"zdcommon.dll", u"zdtcp.dll", u"zdlm.dll", u"sentinel.dll"})
        machine.writeFile(kSystem + name, "x");
    machine.writeFile(kTwain + u"zdds.ds", "x");
    machine.writeFile(kTwain + u"sentinel.ds", "x");
    // The printer first: installing it writes its driver's record, replaced below.
    platform::installPrinter({u"Other Laser", u"USB001", u"Other Laser", {}, {}, {}});
    platform::installPrinterDriver({u"Zandrel M2100", u"Windows x64", kDrivers + u"zdrender.dll", {kDrivers + u"zdui.dll"}});
    platform::installPrinterDriver({u"Zandrel M2100 Fax", u"Windows x64", kDrivers + u"zdrender.dll", {}});
    platform::installPrinterDriver({u"Other Laser", u"Windows x64", kDrivers + u"other.dll", {kDrivers + u"shared.dll"}});
    platform::installPrintMonitor({u"Zandrel TCP", u"zdtcp.dll", {u"ZDTCP_1"}});
    platform::installPrintMonitor({u"Zandrel LM", u"zdlm.dll", {}});
}

void setSpooler(DWORD state, platform::ServicePhase stopping = {}, platform::ServicePhase starting = {}) {
    platform::ServiceSetup spooler = *platform::service(u"Spooler");
    spooler.state = state;
    spooler.stopping = stopping;
    spooler.starting = starting;
    platform::installService(spooler);
}

std::vector<std::string> calls() {
    std::vector<std::string> out;
    for (const platform::CallRecord& record : platform::callJournal())
        out.push_back(record.call + " " + platform::toUtf8(record.arguments) + " " + platform::toUtf8(record.result));
    return out;
}

std::vector<std::string> driverNames() {
    std::vector<std::string> names;
    for (const auto& driver : platform::printerDrivers()) names.push_back(platform::toUtf8(driver.name));
    return names;
}

TEST(DriverFiles, RunningSpoolerCycleRemovesTheProductAndKeepsWhatOthersUse) {
    Machine machine;
    installProduct(machine);
    setSpooler(SERVICE_RUNNING, {800, 500, 100}, {600, 400, 100});
    uninstall::clearRemovalLog();
    platform::setCallJournal(true);
    EXPECT_TRUE(uninstall::DeletePrinterDriverFiles(config()));

    for (const std::u16string& gone : {kDrivers + u"zdrender.dll", kDrivers + u"zdui.dll", kDrivers + u"zdcommon.dll",
                                       kSystem + u"zdcommon.dll"})
        EXPECT_FALSE(exists(gone)) << platform::toUtf8(gone);
    // Another vendor's driver lists "shared.dll"; the XP style's file and every sentinel stay.
    for (const std::u16string& kept : {kDrivers + u"shared.dll", kDrivers + u"other.dll", kDrivers + u"zdxp.dll",
                                       kDrivers + u"sentinel.dll", kSystem + u"sentinel.dll", kTwain + u"zdds.ds"})
        EXPECT_TRUE(exists(kept)) << platform::toUtf8(kept);
    EXPECT_EQ(driverNames(), std::vector<std::string>{"Other Laser"});
    EXPECT_TRUE(platform::printMonitors().empty());
    EXPECT_EQ(platform::service(u"Spooler")->state, DWORD{SERVICE_RUNNING});
    // The deletions run once while the spooler runs, again (refused) while it is stopped.
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "DeletePrinterDriverExW Zandrel M2100 Fax, 1 TRUE",
                           "DeletePrinterDriverExW Zandrel M2100, 1 TRUE",
                           "DeleteMonitorW Zandrel TCP TRUE",
                           "DeleteMonitorW Zandrel LM TRUE",
                           "ControlService Spooler, 1 TRUE",
                           "DeletePrinterDriverExW Zandrel M2100 Fax, 1 FALSE",
                           "DeletePrinterDriverExW Zandrel M2100, 1 FALSE",
                           "DeleteMonitorW Zandrel TCP FALSE",
                           "DeleteMonitorW Zandrel LM FALSE",
                           "StartServiceW Spooler TRUE",
                       }));
    EXPECT_TRUE(uninstall::removalLog().empty());
}

TEST(DriverFiles, SpoolerScripts) {
    struct Case {
        const char* what;
        DWORD state;
        platform::ServicePhase stopping;
        const char* fault;  // a switch failing every call, or nothing
        int startFailures;
        bool result;
        bool groupFilesGone;
        DWORD stateAfter;
    } cases[] = {
        {"already stopped", SERVICE_STOPPED, {}, nullptr, 0, true, false, SERVICE_RUNNING},
        {"stop refused", SERVICE_RUNNING, {}, "ControlService", 0, false, false, SERVICE_RUNNING},
        {"query failing", SERVICE_RUNNING, {}, "QueryServiceStatus", 0, false, false, SERVICE_RUNNING},
        {"stop pending past the bound", SERVICE_RUNNING, {0xFFFFFFFF, 5000, 0}, nullptr, 0, false, false,
         SERVICE_STOP_PENDING},
        {"start failing once", SERVICE_RUNNING, {}, nullptr, 1, true, true, SERVICE_RUNNING},
        {"start failing always", SERVICE_RUNNING, {}, nullptr, -1, false, true, SERVICE_STOPPED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine machine;
        installProduct(machine);
        setSpooler(c.state, c.stopping);
        if (c.fault) platform::setFault(c.fault, Fault().failing(-1));
        if (c.startFailures) platform::setFault("StartServiceW", Fault().failing(c.startFailures));
        EXPECT_EQ(uninstall::DeletePrinterDriverFiles(config()), c.result);
        EXPECT_EQ(exists(kSystem + u"zdcommon.dll"), !c.groupFilesGone);
        EXPECT_TRUE(exists(kDrivers + u"shared.dll"));
        EXPECT_EQ(platform::service(u"Spooler")->state, c.stateAfter);
        const auto sleeps = platform::sleepLog();
        if (c.startFailures == 1) {
            EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 1000u), sleeps.end());
        }
        uint64_t total = 0;
        for (DWORD s : sleeps) total += s;
        EXPECT_LT(total, 3u * uninstall::kSpoolerWaitBound);
    }
}

TEST(DriverFiles, AFileInUseStaysAndIsLogged) {
    Machine machine;
    installProduct(machine);
    platform::placeProcess(kSystem + u"zdcommon.dll");
    uninstall::clearRemovalLog();
    EXPECT_TRUE(uninstall::DeletePrinterDriverFiles(config()));
    EXPECT_TRUE(exists(kSystem + u"zdcommon.dll"));
    EXPECT_FALSE(exists(kDrivers + u"zdcommon.dll"));
    const auto log = uninstall::removalLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].target, kSystem + u"zdcommon.dll");
}

TEST(DriverFiles, StyleFollowsTheSystem) {
    for (auto [major, minor, productType, style] : {std::tuple{5u, 2u, BYTE{3}, u"/XPSTYLE"},
                                                    std::tuple{5u, 1u, BYTE{1}, u"/XPSTYLE"},
                                                    std::tuple{4u, 0u, BYTE{1}, u"/W7STYLE"},
                                                    std::tuple{10u, 0u, BYTE{1}, u"/W7STYLE"}}) {
        platform::MachineSettings settings;
        settings.osMajor = major;
        settings.osMinor = minor;
        settings.productType = productType;
        Machine machine(settings);
        std::u16string got;
        uninstall::GetStyleFolder(got);
        EXPECT_EQ(got, style) << major << "." << minor;
    }
    // On the XP family the XP group's file goes and the other style's stay.
    platform::MachineSettings xp;
    xp.osMajor = 5;
    xp.osMinor = 1;
    Machine machine(xp);
    installProduct(machine);
    EXPECT_TRUE(uninstall::DeletePrinterDriverFiles(config()));
    EXPECT_FALSE(exists(kDrivers + u"zdxp.dll"));
    EXPECT_TRUE(exists(kSystem + u"zdcommon.dll"));
}

TEST(DriverFiles, PrefixEmptyMonitorAndCommonAndTwainFiles) {
    {
        Machine machine;
        EXPECT_EQ(uninstall::SystemDrivePrefix(), u"C:");
        installProduct(machine);
        std::string text = kConfig;
        text.replace(text.find("<tcpmonitor>Zandrel TCP</tcpmonitor>"), 36, "<tcpmonitor></tcpmonitor>");
        platform::setCallJournal(true);
        EXPECT_TRUE(uninstall::DeletePrinterDriverFiles(config(text)));
        for (const std::string& call : calls()) EXPECT_EQ(call.find("Zandrel TCP"), std::string::npos) << call;
        EXPECT_EQ(platform::printMonitors().size(), 1u);
    }
    {
        Machine machine;
        installProduct(machine);
        uninstall::DeleteCommonDriverFiles(config());
        EXPECT_FALSE(exists(kSystem + u"zdcommon.dll"));
        EXPECT_TRUE(exists(kDrivers + u"zdcommon.dll"));
        uninstall::DeleteTwainFiles(config());
        EXPECT_FALSE(exists(kTwain + u"zdds.ds"));
        EXPECT_TRUE(exists(kTwain + u"sentinel.ds"));
        EXPECT_EQ(platform::service(u"Spooler")->state, DWORD{SERVICE_RUNNING});
    }
}

TEST(DriverFiles, DestinationsThatLeaveTheDriveAreRefused) {
    Machine machine;
    installProduct(machine);
    machine.writeFile(u"C:\\outside.dll", "x");
    std::string text = kConfig;
    const std::string from = R"(<Common ID="com">\Windows\System32</Common>)";
    text.replace(text.find(from), from.size(), R"(<Common ID="com">\Windows\..\..</Common>)");
    text.replace(text.find("disk1\\zdcommon.dll"), 18, "outside.dll");
    uninstall::clearRemovalLog();
    uninstall::DeleteCommonDriverFiles(config(text));
    EXPECT_TRUE(exists(u"C:\\outside.dll"));
    EXPECT_FALSE(uninstall::removalLog().empty());
}

}  // namespace
