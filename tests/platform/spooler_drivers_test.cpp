// The spooler's drivers and port monitors: listing, deleting and refusing as the system's spooler does,
// the files it holds while it runs, and its calls failing while its service is stopped.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/services.h"
#include "win/spooler.h"

namespace {

using platform::testing::Machine;

const std::u16string kDrivers = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Two drivers sharing one file, a printer on the first, and a monitor serving that printer's port.
void installDrivers(const Machine& machine) {
    for (const char16_t* file : {u"a.dll", u"shared.dll", u"b.dll", u"mon.dll"})
        machine.writeFile((file == std::u16string(u"mon.dll") ? u"C:\\Windows\\System32\\" : kDrivers) + file, "x");
    platform::installPrinterDriver({u"Zandrel M1", u"Windows x64", kDrivers + u"a.dll", {kDrivers + u"shared.dll"}});
    platform::installPrinterDriver({u"Other", u"Windows x64", kDrivers + u"b.dll", {kDrivers + u"shared.dll"}});
    platform::installPrintMonitor({u"Zandrel Port", u"mon.dll", {u"ZD001:"}});
}

std::vector<std::u16string> driverNames() {
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 3, buffer.data(), needed, &needed, &returned));
    std::vector<std::u16string> names;
    auto* records = reinterpret_cast<DRIVER_INFO_3W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.emplace_back(records[i].pName);
    return names;
}

TEST(SpoolerDrivers, DeleteKeepsFilesAnotherDriverLists) {
    Machine machine;
    installDrivers(machine);
    EXPECT_EQ(driverNames(), (std::vector<std::u16string>{u"Other", u"Zandrel M1"}));
    // The running spooler holds its drivers' files.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW((kDrivers + u"a.dll").c_str()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});

    std::u16string name = u"Zandrel M1";
    EXPECT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, name.data(), DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_FALSE(exists(kDrivers + u"a.dll"));
    EXPECT_TRUE(exists(kDrivers + u"shared.dll"));
    EXPECT_TRUE(exists(kDrivers + u"b.dll"));
    EXPECT_EQ(driverNames(), (std::vector<std::u16string>{u"Other"}));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, name.data(), DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_UNKNOWN_PRINTER_DRIVER});
}

TEST(SpoolerDrivers, RefusalsWhileInUseOrUnknown) {
    Machine machine;
    installDrivers(machine);
    platform::installPrinter({u"Office", u"ZD001:", u"Zandrel M1", {}, {}, {}});
    std::u16string driver = u"Zandrel M1", x86 = u"Windows NT x86", monitor = u"Zandrel Port", none = u"None";
    struct Case {
        const char* what;
        std::function<BOOL()> call;
        DWORD error;
    } cases[] = {
        {"driver used by a printer", [&] { return DeletePrinterDriverExW(nullptr, nullptr, driver.data(), 1, 0); },
         ERROR_PRINTER_DRIVER_IN_USE},
        {"driver of another environment", [&] { return DeletePrinterDriverExW(nullptr, x86.data(), driver.data(), 1, 0); },
         ERROR_UNKNOWN_PRINTER_DRIVER},
        {"monitor serving a printer's port", [&] { return DeleteMonitorW(nullptr, nullptr, monitor.data()); },
         ERROR_PRINT_MONITOR_IN_USE},
        {"unknown monitor", [&] { return DeleteMonitorW(nullptr, nullptr, none.data()); }, ERROR_UNKNOWN_PRINT_MONITOR},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(platform::printerDrivers().size(), 2u);
    EXPECT_EQ(platform::printMonitors().size(), 1u);
}

TEST(SpoolerDrivers, StoppedSpoolerAnswersServerUnavailableAndReleasesFiles) {
    Machine machine;
    installDrivers(machine);
    platform::installPrinter({u"Office", u"USB001", u"Other", {}, {}, {}});
    auto spooler = *platform::service(u"Spooler");
    spooler.state = SERVICE_STOPPED;
    platform::installService(spooler);

    std::u16string driver = u"Zandrel M1", monitor = u"Zandrel Port", printer = u"Office";
    HANDLE handle = nullptr;
    DWORD needed = 0, returned = 0;
    for (auto call : std::vector<std::function<BOOL()>>{
             [&] { return DeletePrinterDriverExW(nullptr, nullptr, driver.data(), 1, 0); },
             [&] { return DeleteMonitorW(nullptr, nullptr, monitor.data()); },
             [&] { return EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &returned); },
             [&] { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned); },
             [&] { return OpenPrinterW(printer.data(), &handle, nullptr); }}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(call());
        EXPECT_EQ(GetLastError(), DWORD{RPC_S_SERVER_UNAVAILABLE});
    }
    // Stopped, it holds nothing: the files delete, the records stay.
    EXPECT_TRUE(DeleteFileW((kDrivers + u"a.dll").c_str()));
    EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\System32\\mon.dll"));
    EXPECT_EQ(platform::printerDrivers().size(), 2u);
    EXPECT_EQ(platform::printMonitors().size(), 1u);
}

TEST(SpoolerDrivers, MonitorDeletesAndItsModuleIsNoLongerHeld) {
    Machine machine;
    installDrivers(machine);
    platform::setCallJournal(true);
    std::u16string monitor = u"zandrel port";
    EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\System32\\mon.dll"));
    EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, monitor.data()));
    EXPECT_TRUE(platform::printMonitors().empty());
    EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\System32\\mon.dll"));
    ASSERT_EQ(platform::callJournal().size(), 1u);
    EXPECT_EQ(platform::callJournal()[0].call, "DeleteMonitorW");
    EXPECT_EQ(platform::callJournal()[0].result, u"TRUE");
}

}  // namespace
