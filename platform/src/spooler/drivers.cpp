// The spooler's printer drivers and port monitors: listing them, deleting them, and the files the
// running spooler holds for them. Every call needs the "Spooler" service running.
#include <algorithm>
#include <vector>

#include "common.h"
#include "platform/control.h"
#include "win/kernel.h"
#include "win/files.h"
#include "win/services.h"

namespace {

using namespace platform::detail::spool;
using platform::detail::foldCase;

constexpr char16_t kDefaultEnvironment[] = u"Windows x64";

std::vector<std::u16string> splitList(const std::string& text) {
    std::vector<std::u16string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ';'))
        if (!item.empty()) items.push_back(platform::fromUtf8(item));
    return items;
}

std::string joinList(const std::vector<std::u16string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ";") + platform::toUtf8(item);
    return text;
}

platform::DriverSetup driverFrom(const fs::path& file) {
    auto info = readIni(file);
    platform::DriverSetup driver;
    driver.name = platform::fromUtf8(info["name"]);
    driver.environment = info["environment"].empty() ? kDefaultEnvironment : platform::fromUtf8(info["environment"]);
    driver.driverPath = platform::fromUtf8(info["driverPath"]);
    driver.files = splitList(info["files"]);
    return driver;
}

platform::MonitorSetup monitorFrom(const fs::path& file) {
    auto info = readIni(file);
    return {platform::fromUtf8(info["name"]), platform::fromUtf8(info["module"]), splitList(info["ports"])};
}

template <typename T, typename Read>
std::vector<T> records(const char* folder, Read read) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(spoolerDir() / folder, ec))
        if (entry.path().extension() == ".ini") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<T> out;
    for (const auto& file : files) out.push_back(read(file));
    return out;
}

// Every file a driver lists: its rendering module first, then the rest.
std::vector<std::u16string> driverFiles(const platform::DriverSetup& driver) {
    std::vector<std::u16string> files;
    if (!driver.driverPath.empty()) files.push_back(driver.driverPath);
    files.insert(files.end(), driver.files.begin(), driver.files.end());
    return files;
}

// The printers' ports and drivers, as the deletions check them.
std::vector<std::map<std::string, std::string>> printerRecords() {
    std::vector<std::map<std::string, std::string>> printers;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(spoolerDir() / "printers", ec)) {
        bool ok = false;
        auto info = readIni(entry.path() / "printer.ini", &ok);
        if (ok) printers.push_back(std::move(info));
    }
    return printers;
}

bool sameText(std::u16string_view a, std::u16string_view b) { return foldCase(a) == foldCase(b); }

}  // namespace

namespace platform::detail {

bool spoolerHolds(const fs::path& host) {
    std::error_code ec;
    auto held = [&](const std::u16string& path) {
        const Resolved file = resolvePath(path);
        return file.error == ERROR_SUCCESS && fs::equivalent(file.host, host, ec);
    };
    for (const auto& driver : platform::printerDrivers())
        for (const auto& file : driverFiles(driver))
            if (held(file)) return true;
    for (const auto& monitor : platform::printMonitors())
        if (!monitor.module.empty() && held(systemFolder() + u"\\" + monitor.module)) return true;
    return false;
}

}  // namespace platform::detail

BOOL WINAPI DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName, DWORD deleteFlags, DWORD) {
    const std::u16string name = driverName ? driverName : u"";
    const std::u16string arguments = name + u", " + platform::detail::journalNumber(deleteFlags);
    if (auto fault = platform::detail::takeFault("DeletePrinterDriverExW", platform::toUtf8(name)))
        return answer("DeletePrinterDriverExW", arguments, FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (spoolerUnavailable()) return answer("DeletePrinterDriverExW", arguments, FALSE, RPC_S_SERVER_UNAVAILABLE);
    if ((server && *server) || name.empty()) return answer("DeletePrinterDriverExW", arguments, FALSE, ERROR_INVALID_NAME);
    const std::u16string wantedEnvironment = environment && *environment ? environment : kDefaultEnvironment;
    const fs::path file = spoolerDir() / "drivers" / (encodeName(name) + ".ini");
    if (!fs::exists(file) || !sameText(driverFrom(file).environment, wantedEnvironment))
        return answer("DeletePrinterDriverExW", arguments, FALSE, ERROR_UNKNOWN_PRINTER_DRIVER);
    for (auto& printer : printerRecords())
        if (sameText(platform::fromUtf8(printer["driver"]), name))
            return answer("DeletePrinterDriverExW", arguments, FALSE, ERROR_PRINTER_DRIVER_IN_USE);
    const platform::DriverSetup driver = driverFrom(file);
    std::error_code ec;
    fs::remove(file, ec);
    deleteKey(driverKey(driver.environment, driver.name));
    if (deleteFlags & DPD_DELETE_UNUSED_FILES) {
        // Files another driver still lists stay; the rest go (the spooler no longer holds them).
        std::vector<std::u16string> listed;
        for (const auto& other : platform::printerDrivers())
            for (const auto& path : driverFiles(other)) listed.push_back(foldCase(path));
        for (const auto& path : driverFiles(driver))
            if (std::find(listed.begin(), listed.end(), foldCase(path)) == listed.end()) DeleteFileW(path.c_str());
    }
    return answer("DeletePrinterDriverExW", arguments, TRUE, ERROR_SUCCESS);
}

BOOL WINAPI EnumPrinterDriversW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    if (auto fault = platform::detail::takeFault("EnumPrinterDriversW")) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (spoolerUnavailable()) return FALSE;
    if (level != 3) {
        SetLastError(124);  // ERROR_INVALID_LEVEL
        return FALSE;
    }
    if (!needed || !returned || (server && *server)) {
        SetLastError(server && *server ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string wantedEnvironment = environment && *environment ? environment : kDefaultEnvironment;
    std::vector<platform::DriverSetup> drivers;
    for (auto& driver : platform::printerDrivers())
        if (sameText(wantedEnvironment, u"all") || sameText(driver.environment, wantedEnvironment))
            drivers.push_back(std::move(driver));
    Packer pack(buffer, size, drivers.size() * sizeof(DRIVER_INFO_3W));
    std::vector<DRIVER_INFO_3W> out;
    for (const auto& driver : drivers) {
        DRIVER_INFO_3W record{};
        record.cVersion = 3;
        record.pName = pack.string(driver.name);
        record.pEnvironment = pack.string(driver.environment);
        record.pDriverPath = pack.string(driver.driverPath);
        record.pDataFile = pack.string(u"");
        record.pConfigFile = pack.string(u"");
        record.pHelpFile = pack.string(u"");
        std::u16string dependent;
        for (const auto& path : driver.files) dependent += path + u'\0';
        record.pDependentFiles = pack.string(dependent);  // a double-NUL-ended list
        record.pMonitorName = pack.string(u"");
        record.pDefaultDataType = pack.string(u"RAW");
        out.push_back(record);
    }
    *needed = static_cast<DWORD>(pack.used());
    if (pack.used() > size || (!buffer && !out.empty())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!out.empty()) std::memcpy(buffer, out.data(), out.size() * sizeof(DRIVER_INFO_3W));
    *returned = static_cast<DWORD>(out.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI DeleteMonitorW(LPWSTR server, LPWSTR, LPWSTR monitorName) {
    const std::u16string name = monitorName ? monitorName : u"";
    if (auto fault = platform::detail::takeFault("DeleteMonitorW", platform::toUtf8(name)))
        return answer("DeleteMonitorW", name, FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (spoolerUnavailable()) return answer("DeleteMonitorW", name, FALSE, RPC_S_SERVER_UNAVAILABLE);
    if ((server && *server) || name.empty()) return answer("DeleteMonitorW", name, FALSE, ERROR_INVALID_NAME);
    const fs::path file = spoolerDir() / "monitors" / (encodeName(name) + ".ini");
    if (!fs::exists(file)) return answer("DeleteMonitorW", name, FALSE, ERROR_UNKNOWN_PRINT_MONITOR);
    const platform::MonitorSetup monitor = monitorFrom(file);
    for (auto& printer : printerRecords())
        for (const auto& port : monitor.ports)
            if (sameText(platform::fromUtf8(printer["port"]), port))
                return answer("DeleteMonitorW", name, FALSE, ERROR_PRINT_MONITOR_IN_USE);
    std::error_code ec;
    fs::remove(file, ec);
    return answer("DeleteMonitorW", name, TRUE, ERROR_SUCCESS);
}

namespace platform {

void installPrinterDriver(const DriverSetup& driver) {
    writeIni(spoolerDir() / "drivers" / (encodeName(driver.name) + ".ini"),
             {{"name", toUtf8(driver.name)},
              {"environment", toUtf8(driver.environment)},
              {"driverPath", toUtf8(driver.driverPath)},
              {"files", joinList(driver.files)}});
    writeKey(driverKey(driver.environment, driver.name), {{u"Driver", driver.driverPath}});
}

std::vector<DriverSetup> printerDrivers() { return records<DriverSetup>("drivers", driverFrom); }

void installPrintMonitor(const MonitorSetup& monitor) {
    writeIni(spoolerDir() / "monitors" / (encodeName(monitor.name) + ".ini"),
             {{"name", toUtf8(monitor.name)}, {"module", toUtf8(monitor.module)}, {"ports", joinList(monitor.ports)}});
}

std::vector<MonitorSetup> printMonitors() { return records<MonitorSetup>("monitors", monitorFrom); }

}  // namespace platform
