// The machine's spooler: printers, their records and DEVMODEs, jobs and WritePrinter faults; and
// snapshots of what a run changed on the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/driver_host.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

using platform::testing::Machine;
using platform::testing::PrinterHandle;

const std::u16string kPrinter = u"Office Laser 3000";
constexpr size_t kDriverExtra = 24;

// A default DEVMODE with private bytes of the driver after the public part.
std::string defaultDevmode() {
    std::string bytes(sizeof(DEVMODEW) + kDriverExtra, '\0');
    DEVMODEW dm{};
    std::u16string name = kPrinter;
    std::copy(name.begin(), name.end(), dm.dmDeviceName);
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmDriverExtra = kDriverExtra;
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DUPLEX;
    dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dmPaperSize = DMPAPER_A4;
    dm.dmCopies = 1;
    dm.dmDuplex = DMDUP_VERTICAL;
    std::memcpy(bytes.data(), &dm, sizeof dm);
    for (size_t i = 0; i < kDriverExtra; ++i) bytes[sizeof dm + i] = static_cast<char>(0xA0 + i);
    return bytes;
}

class Spooler : public ::testing::Test {
protected:
    Spooler() {
        platform::installPrinter({.name = kPrinter,
                                  .port = u"USB003",
                                  .driverName = u"Rastrel Mono Laser",
                                  .driverModule = {},
                                  .driverModuleName = {},
                                  .defaultDevmode = defaultDevmode()});
    }
    Machine machine;

    static DWORD startJob(HANDLE printer, const char16_t* document) {
        std::u16string name = document;
        DOC_INFO_1W info{name.data(), nullptr, nullptr};
        return StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
    }
};

TEST_F(Spooler, OpensInstalledPrintersByNameOnly) {
    HANDLE printer = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x55));
    std::u16string unknown = u"Unknown Printer";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenPrinterW(unknown.data(), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(printer, nullptr);
    std::u16string empty;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenPrinterW(empty.data(), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

    std::u16string otherCase = u"OFFICE laser 3000";
    ASSERT_TRUE(OpenPrinterW(otherCase.data(), &printer, nullptr));
    EXPECT_TRUE(ClosePrinter(printer));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Spooler, GetPrinterLevel2PutsEverythingInTheCallersBuffer) {
    PrinterHandle printer(u"office laser 3000");
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterW(printer.get(), 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, sizeof(PRINTER_INFO_2W) + sizeof(DEVMODEW) + kDriverExtra);

    for (DWORD size : {DWORD(sizeof(PRINTER_INFO_2W)), needed - 1}) {
        std::vector<BYTE> small(size, 0xCD);
        DWORD again = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(GetPrinterW(printer.get(), 2, small.data(), size, &again)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(again, needed);
    }

    // With room to spare, and at an address of its own: the pointers must point into this buffer.
    std::vector<BYTE> buffer(needed + 64, 0xCD);
    DWORD again = 0;
    ASSERT_TRUE(GetPrinterW(printer.get(), 2, buffer.data(), needed + 64, &again));
    EXPECT_EQ(again, needed);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    auto inside = [&](const void* p, size_t bytes) {
        auto* b = static_cast<const BYTE*>(p);
        return b >= buffer.data() + sizeof(PRINTER_INFO_2W) && b + bytes <= buffer.data() + needed;
    };
    auto text = [&](LPWSTR s) {
        EXPECT_TRUE(s && inside(s, (std::u16string(s).size() + 1) * sizeof(WCHAR)));
        return s ? std::u16string(s) : std::u16string(u"<null>");
    };
    EXPECT_EQ(text(info->pPrinterName), kPrinter);  // as installed, not as opened
    EXPECT_EQ(text(info->pPortName), u"USB003");
    EXPECT_EQ(text(info->pDriverName), u"Rastrel Mono Laser");
    EXPECT_EQ(text(info->pDatatype), u"RAW");
    ASSERT_NE(info->pDevMode, nullptr);
    EXPECT_TRUE(inside(info->pDevMode, sizeof(DEVMODEW) + kDriverExtra));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info->pDevMode), sizeof(DEVMODEW) + kDriverExtra),
              defaultDevmode());

    EXPECT_FALSE(GetPrinterW(printer.get(), 1, buffer.data(), needed, &again));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterW(nullptr, 2, buffer.data(), needed, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Spooler, DocumentPropertiesGivesTheDefaultDevmode) {
    PrinterHandle printer(kPrinter);
    std::u16string device = kPrinter;
    LONG size = DocumentPropertiesW(nullptr, printer.get(), device.data(), nullptr, nullptr, 0);
    ASSERT_EQ(size, static_cast<LONG>(sizeof(DEVMODEW) + kDriverExtra));
    std::vector<BYTE> out(static_cast<size_t>(size) + 16, 0xCD);
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer.get(), device.data(), reinterpret_cast<PDEVMODEW>(out.data()),
                                  nullptr, DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(size)), defaultDevmode());
    EXPECT_EQ(out[static_cast<size_t>(size)], 0xCD);  // nothing past the DEVMODE
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer.get(), device.data(), nullptr, nullptr, DM_OUT_BUFFER), -1);

    platform::setFault("DocumentPropertiesW", {.result = 0, .detail = {}});
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer.get(), device.data(), nullptr, nullptr, 0), 0);
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer.get(), device.data(), nullptr, nullptr, 0), size);
}

TEST_F(Spooler, JobsKeepTheirBytes) {
    PrinterHandle printer(kPrinter);
    DWORD written = 99;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(printer.get(), const_cast<char*>("x"), 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_EQ(written, 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EndDocPrinter(printer.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));

    DWORD first = startJob(printer.get(), u"Report.pdf");
    ASSERT_NE(first, 0u);
    const std::string data("\x1b%-12345X@PJL\r\n\0\xff", 18);
    EXPECT_TRUE(WritePrinter(printer.get(), const_cast<char*>(data.data()), 10, &written));
    EXPECT_EQ(written, 10u);
    EXPECT_TRUE(WritePrinter(printer.get(), const_cast<char*>(data.data()) + 10, 8, &written));
    auto jobs = platform::printJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_FALSE(jobs[0].complete);
    EXPECT_EQ(jobs[0].bytes, data);
    EXPECT_TRUE(EndDocPrinter(printer.get()));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrinter(printer.get(), const_cast<char*>("x"), 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));

    // A second job, left open when the handle goes.
    DWORD second = 0;
    {
        PrinterHandle other(kPrinter);
        second = startJob(other.get(), u"Letter");
        EXPECT_GT(second, first);
        EXPECT_TRUE(WritePrinter(other.get(), const_cast<char*>("page"), 4, &written));
    }
    jobs = platform::printJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].id, first);
    EXPECT_EQ(jobs[0].printer, kPrinter);
    EXPECT_EQ(jobs[0].document, u"Report.pdf");
    EXPECT_TRUE(jobs[0].complete);
    EXPECT_EQ(jobs[0].bytes, data);
    EXPECT_EQ(jobs[1].id, second);
    EXPECT_EQ(jobs[1].document, u"Letter");
    EXPECT_TRUE(jobs[1].complete);
    EXPECT_EQ(jobs[1].bytes, "page");
}

TEST_F(Spooler, WritePrinterFaults) {
    struct Call {
        BOOL ok;
        DWORD written;
        DWORD error;  // checked when the call fails
    };
    struct Case {
        const char* what;
        platform::Fault fault;
        std::vector<Call> calls;  // each writes "0123456789"
        std::string job;
    };
    const Case cases[] = {
        {"fail twice with nothing written",
         {.times = 2, .detail = {}},
         {{FALSE, 0, ERROR_WRITE_FAULT}, {FALSE, 0, ERROR_WRITE_FAULT}, {TRUE, 10, 0}},
         "0123456789"},
        {"fail with the error given",
         {.error = ERROR_PRINT_CANCELLED, .detail = {}},
         {{FALSE, 0, ERROR_PRINT_CANCELLED}, {TRUE, 10, 0}},
         "0123456789"},
        {"write only part, with success",
         {.partial = 3, .succeed = true, .detail = {}},
         {{TRUE, 3, 0}, {TRUE, 10, 0}},
         "0120123456789"},
        {"write part then fail",
         {.partial = 6, .detail = {}},
         {{FALSE, 6, ERROR_WRITE_FAULT}, {TRUE, 10, 0}},
         "0123450123456789"},
        {"after one good call, every call",
         {.skip = 1, .times = -1, .detail = {}},
         {{TRUE, 10, 0}, {FALSE, 0, ERROR_WRITE_FAULT}, {FALSE, 0, ERROR_WRITE_FAULT}},
         "0123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clearFaults();
        PrinterHandle printer(kPrinter);
        DWORD id = startJob(printer.get(), u"faults");
        ASSERT_NE(id, 0u);
        platform::setFault("WritePrinter", c.fault);
        for (size_t i = 0; i < c.calls.size(); ++i) {
            DWORD written = 99;
            SetLastError(0xDEADBEEF);
            EXPECT_EQ(WritePrinter(printer.get(), const_cast<char*>("0123456789"), 10, &written), c.calls[i].ok)
                << "call " << i;
            EXPECT_EQ(written, c.calls[i].written) << "call " << i;
            if (!c.calls[i].ok) {
                EXPECT_EQ(GetLastError(), c.calls[i].error) << "call " << i;
            }
        }
        EXPECT_TRUE(EndDocPrinter(printer.get()));
        auto jobs = platform::printJobs();
        auto job = std::find_if(jobs.begin(), jobs.end(), [&](const auto& j) { return j.id == id; });
        ASSERT_NE(job, jobs.end());
        EXPECT_EQ(job->bytes, c.job);
    }
}

// ---- Snapshots ---------------------------------------------------------------------------------

TEST_F(Spooler, SnapshotDiffShowsWhatARunChanged) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\Maker\\Suite", &key), ERROR_SUCCESS);
    DWORD mode = 1;
    ASSERT_EQ(RegSetValueExW(key, u"Mode", 0, REG_DWORD, reinterpret_cast<BYTE*>(&mode), sizeof mode), ERROR_SUCCESS);
    auto before = platform::testing::snapshot();

    // Looking changes nothing.
    {
        PrinterHandle printer(kPrinter);
        DWORD needed = 0;
        GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
        DWORD size = sizeof mode;
        RegQueryValueExW(key, u"Mode", nullptr, nullptr, reinterpret_cast<BYTE*>(&mode), &size);
        HANDLE missing = CreateFileW(u"C:\\nothing.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(platform::testing::diff(before, platform::testing::snapshot()).empty());

    HANDLE file = CreateFileW(u"C:\\Users\\User\\Documents\\scan.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "12345", 5, &written, nullptr);
    CloseHandle(file);
    mode = 2;
    ASSERT_EQ(RegSetValueExW(key, u"Mode", 0, REG_DWORD, reinterpret_cast<BYTE*>(&mode), sizeof mode), ERROR_SUCCESS);
    RegCloseKey(key);
    {
        PrinterHandle printer(kPrinter);
        startJob(printer.get(), u"Scan");
        WritePrinter(printer.get(), const_cast<char*>("abc"), 3, &written);
        EndDocPrinter(printer.get());
    }

    auto changes = platform::testing::diff(before, platform::testing::snapshot());
    auto has = [&](const std::string& start, const std::string& end = {}) {
        return std::count_if(changes.begin(), changes.end(), [&](const std::string& line) {
                   return line.rfind(start, 0) == 0 && line.size() >= start.size() + end.size() &&
                          line.compare(line.size() - end.size(), end.size(), end) == 0;
               }) == 1;
    };
    std::string all;
    for (const auto& line : changes) all += line + "\n";
    EXPECT_EQ(changes.size(), 4u) << all;
    EXPECT_TRUE(has("+ file C:\\Users\\User\\Documents\\scan.txt size=5 ")) << all;
    EXPECT_TRUE(has("- value HKEY_CURRENT_USER", "Suite\tMode\t4\t01000000")) << all;
    EXPECT_TRUE(has("+ value HKEY_CURRENT_USER", "Suite\tMode\t4\t02000000")) << all;
    EXPECT_TRUE(has("+ job 1 printer=Office Laser 3000 bytes=3 complete")) << all;
}

}  // namespace

TEST_F(Spooler, EnumPrintersListsEveryQueueWithItsOpenJobs) {
    platform::installPrinter({.name = u"A first queue",
                              .port = u"USB001",
                              .driverName = u"Rastrel Mono Laser",
                              .driverModule = {},
                              .driverModuleName = {},
                              .defaultDevmode = {}});
    DWORD needed = 0, returned = 7;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    ASSERT_GT(needed, 2 * sizeof(PRINTER_INFO_2W));

    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter.c_str()), &printer, nullptr));
    ASSERT_NE(startJob(printer, u"one"), 0u);
    auto list = [&] {
        std::vector<BYTE> buffer(needed + 4096);
        DWORD size = 0, count = 0;
        EXPECT_TRUE(EnumPrintersW(6, nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &size, &count));
        std::vector<std::pair<std::u16string, DWORD>> seen;
        auto* records = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            seen.emplace_back(std::u16string(records[i].pPrinterName) + u"@" + records[i].pPortName, records[i].cJobs);
        return seen;
    };
    using Seen = std::vector<std::pair<std::u16string, DWORD>>;
    EXPECT_EQ(list(), (Seen{{u"A first queue@USB001", 0}, {kPrinter + u"@USB003", 1}}));
    std::vector<BYTE> record(needed);
    EXPECT_TRUE(GetPrinterW(printer, 2, record.data(), needed, &needed));
    EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W*>(record.data())->cJobs, 1u);
    EXPECT_TRUE(EndDocPrinter(printer));
    EXPECT_EQ(list(), (Seen{{u"A first queue@USB001", 0}, {kPrinter + u"@USB003", 0}}));
    ClosePrinter(printer);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumPrintersW(6, const_cast<LPWSTR>(u"\\\\server"), 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    platform::setFault("EnumPrintersW", platform::Fault());
    EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &returned));
}

namespace {

bool keyExists(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

const std::u16string kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

}  // namespace

TEST_F(Spooler, EnumJobsListsTheQueuesOpenJobsInOrder) {
    PrinterHandle first(kPrinter), second(kPrinter);
    const DWORD one = startJob(first.get(), u"one");
    const DWORD two = startJob(second.get(), u"two");
    ASSERT_NE(two, 0u);
    DWORD needed = 0, returned = 9;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumJobsW(first.get(), 0, 10, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumJobsW(first.get(), 0, 10, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    auto* jobs = reinterpret_cast<JOB_INFO_1W*>(buffer.data());
    EXPECT_EQ(jobs[0].JobId, one);
    EXPECT_EQ(std::u16string(jobs[1].pDocument), u"two");
    EXPECT_EQ(jobs[1].Position, 2u);
    // From the second job on; an ended job is no longer listed.
    ASSERT_TRUE(EnumJobsW(first.get(), 1, 10, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 1u);
    EXPECT_EQ(jobs[0].JobId, two);
    EndDocPrinter(second.get());
    ASSERT_TRUE(EnumJobsW(first.get(), 1, 10, 1, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(returned, 0u);
    platform::setFault("EnumJobsW", platform::Fault());
    EXPECT_FALSE(EnumJobsW(first.get(), 0, 10, 1, buffer.data(), needed, &needed, &returned));
}

TEST_F(Spooler, DeletePrinterNeedsDeleteAccessAndTakesTheKey) {
    EXPECT_TRUE(keyExists(kPrintersKey + kPrinter));
    {
        PrinterHandle use(kPrinter);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DeletePrinter(use.get()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    // A printer that refuses full access opens for use only.
    platform::installPrinter({.name = u"Locked", .port = u"USB004", .driverName = u"Rastrel Mono Laser",
                              .driverModule = {}, .driverModuleName = {}, .defaultDevmode = {},
                              .refusesAllAccess = true});
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Locked"), &printer, &all));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Locked"), &printer, nullptr));
    ClosePrinter(printer);

    // The printer's key goes with what lies below it.
    HKEY data = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kPrintersKey + kPrinter + u"\\PrinterDriverData").c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &data, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(data);
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter.c_str()), &printer, &all));
    platform::setCallJournal(true);
    EXPECT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    EXPECT_FALSE(keyExists(kPrintersKey + kPrinter));
    EXPECT_TRUE(keyExists(kPrintersKey + u"Locked"));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(kPrinter.c_str()), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    const auto journal = platform::callJournal();
    EXPECT_TRUE(std::any_of(journal.begin(), journal.end(), [](const auto& r) { return r.call == "DeletePrinter"; }));
}

TEST_F(Spooler, AnInstalledPrinterKeepsItsDriversRecordAndTheDriverItsKey) {
    const std::u16string folder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
    platform::installPrinterDriver({u"Zandrel M2100", u"Windows x64", folder + u"zd.dll", {folder + u"zdui.dll"}});
    const std::u16string driverKey =
        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\Zandrel M2100";
    EXPECT_TRUE(keyExists(driverKey));
    platform::installPrinter({.name = u"Zandrel", .port = u"USB005", .driverName = u"Zandrel M2100",
                              .driverModule = {}, .driverModuleName = {}, .defaultDevmode = {}});
    const auto drivers = platform::printerDrivers();
    auto driver = std::find_if(drivers.begin(), drivers.end(), [](const auto& d) { return d.name == u"Zandrel M2100"; });
    ASSERT_NE(driver, drivers.end());
    EXPECT_EQ(driver->driverPath, folder + u"zd.dll");
    EXPECT_EQ(driver->files, std::vector<std::u16string>{folder + u"zdui.dll"});

    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Zandrel"), &printer, &all));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(u"Zandrel M2100"), 0, 0));
    EXPECT_FALSE(keyExists(driverKey));
}
