// The machine's spooler. Under "spooler/" of the machine root: printers/<name>/printer.ini and
// devmode.bin, drivers/<name>.ini, jobs/<id>.ini and <id>.bin, and the next job id.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <cstring>
#include <map>
#include <sstream>
#include <system_error>
#include <vector>

#include "internal.h"
#include "platform/control.h"
#include "spooler/common.h"
#include "win/services.h"
#include "win/spooler.h"

namespace fs = std::filesystem;

namespace {

using namespace platform::detail::spool;

struct PrinterObject : platform::detail::KernelObject {
    bool closedByCloseHandle() const override { return false; }
    std::u16string name;
    fs::path folder;
    DWORD access = PRINTER_ACCESS_USE;
    DWORD job = 0;
    int jobFd = -1;
    ~PrinterObject() override {
        if (jobFd >= 0) ::close(jobFd);
    }
};

std::shared_ptr<PrinterObject> printerOf(HANDLE handle) {
    auto printer = platform::detail::handleAs<PrinterObject>(handle);
    if (!printer) SetLastError(ERROR_INVALID_HANDLE);
    return printer;
}

fs::path jobFile(DWORD id, const char* extension) {
    return spoolerDir() / "jobs" / (std::to_string(id) + extension);
}

void finishJob(PrinterObject& printer) {
    if (printer.jobFd < 0) return;
    ::close(printer.jobFd);
    printer.jobFd = -1;
    auto info = readIni(jobFile(printer.job, ".ini"));
    info["status"] = "complete";
    writeIni(jobFile(printer.job, ".ini"), info);
    printer.job = 0;
}

// Jobs of the printer not yet complete: started and not yet ended (StartDocPrinterW to EndDocPrinter),
// in job id order.
std::vector<platform::JobRecord> jobsOf(std::u16string_view printer) {
    std::vector<platform::JobRecord> jobs = platform::printJobs();
    const std::u16string wanted = platform::detail::foldCase(printer);
    std::erase_if(jobs, [&](const platform::JobRecord& job) {
        return job.complete || platform::detail::foldCase(job.printer) != wanted;
    });
    return jobs;
}

DWORD openJobs(std::u16string_view printer) { return static_cast<DWORD>(jobsOf(printer).size()); }


// A printer's level-2 record, its strings and DEVMODE packed behind the records.
PRINTER_INFO_2W printerInfo2(const fs::path& folder, Packer& pack) {
    auto info = readIni(folder / "printer.ini");
    const std::u16string name = platform::fromUtf8(info["name"]);
    std::string devmode = platform::detail::readHostFile(folder / "devmode.bin");
    PRINTER_INFO_2W record{};
    record.pPrinterName = pack.string(name);
    record.pShareName = pack.string(u"");
    record.pPortName = pack.string(platform::fromUtf8(info["port"]));
    record.pDriverName = pack.string(platform::fromUtf8(info["driver"]));
    record.pComment = pack.string(u"");
    record.pLocation = pack.string(u"");
    record.pDevMode = devmode.empty() ? nullptr : reinterpret_cast<LPDEVMODEW>(pack.bytes(devmode));
    record.pSepFile = pack.string(u"");
    record.pPrintProcessor = pack.string(u"winprint");
    record.pDatatype = pack.string(u"RAW");
    record.pParameters = pack.string(u"");
    record.Attributes = 0x40;  // PRINTER_ATTRIBUTE_LOCAL
    record.Priority = record.DefaultPriority = 1;
    record.cJobs = openJobs(name);
    return record;
}

}  // namespace

BOOL WINAPI OpenPrinterW(LPWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    if (!printer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *printer = nullptr;
    if (auto fault = platform::detail::takeFault("OpenPrinterW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    if (spoolerUnavailable()) return FALSE;
    if (!printerName || !*printerName) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    fs::path folder = spoolerDir() / "printers" / encodeName(printerName);
    bool ok = false;
    auto info = readIni(folder / "printer.ini", &ok);
    if (!ok) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    const DWORD access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
    if (info["refusesAllAccess"] == "1" && (access & (PRINTER_ACCESS_ADMINISTER | PRINTER_DELETE_ACCESS))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto object = std::make_shared<PrinterObject>();
    object->name = platform::fromUtf8(info["name"]);
    object->folder = folder;
    object->access = access;
    *printer = platform::detail::insertHandle(object);
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE handle) {
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    finishJob(*printer);
    platform::detail::removeHandle(handle);
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE handle, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    if (auto fault = platform::detail::takeFault("GetPrinterW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (level != 2) {
        SetLastError(124);  // ERROR_INVALID_LEVEL
        return FALSE;
    }
    Packer pack(buffer, size, sizeof(PRINTER_INFO_2W));
    PRINTER_INFO_2W record = printerInfo2(printer->folder, pack);
    if (needed) *needed = static_cast<DWORD>(pack.used());
    if (!buffer || pack.used() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, &record, sizeof record);
    return TRUE;
}

BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    if (auto fault = platform::detail::takeFault("EnumPrintersW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (spoolerUnavailable()) return FALSE;
    if (level != 2) {
        SetLastError(124);  // ERROR_INVALID_LEVEL
        return FALSE;
    }
    if ((name && *name) || !(flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS))) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::vector<fs::path> folders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(spoolerDir() / "printers", ec))
        if (fs::exists(entry.path() / "printer.ini")) folders.push_back(entry.path());
    std::sort(folders.begin(), folders.end());
    Packer pack(buffer, size, folders.size() * sizeof(PRINTER_INFO_2W));
    std::vector<PRINTER_INFO_2W> records;
    for (const fs::path& folder : folders) records.push_back(printerInfo2(folder, pack));
    if (needed) *needed = static_cast<DWORD>(pack.used());
    if (pack.used() > size || (!buffer && !records.empty())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!records.empty()) std::memcpy(buffer, records.data(), records.size() * sizeof(PRINTER_INFO_2W));
    if (returned) *returned = static_cast<DWORD>(records.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI EnumJobsW(HANDLE handle, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    if (auto fault = platform::detail::takeFault("EnumJobsW")) {
        if (fault->succeed) {
            // The jobs ended after the printer's record counted them: the call finds none.
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (spoolerUnavailable()) return FALSE;
    if (level != 1) {
        SetLastError(124);  // ERROR_INVALID_LEVEL
        return FALSE;
    }
    if (!needed || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::vector<platform::JobRecord> jobs = jobsOf(printer->name);
    const size_t first = std::min<size_t>(firstJob, jobs.size());
    const size_t last = first + std::min<size_t>(count, jobs.size() - first);
    Packer pack(buffer, size, (last - first) * sizeof(JOB_INFO_1W));
    std::vector<JOB_INFO_1W> records;
    for (size_t i = first; i < last; ++i) {
        JOB_INFO_1W record{};
        record.JobId = jobs[i].id;
        record.pPrinterName = pack.string(printer->name);
        record.pMachineName = pack.string(u"");
        record.pUserName = pack.string(u"User");
        record.pDocument = pack.string(jobs[i].document);
        record.pDatatype = pack.string(u"RAW");
        record.pStatus = nullptr;
        record.Status = JOB_STATUS_PRINTING;
        record.Priority = 1;
        record.Position = static_cast<DWORD>(i + 1);
        records.push_back(record);
    }
    *needed = static_cast<DWORD>(pack.used());
    if (pack.used() > size || (!buffer && !records.empty())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!records.empty()) std::memcpy(buffer, records.data(), records.size() * sizeof(JOB_INFO_1W));
    *returned = static_cast<DWORD>(records.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI DeletePrinter(HANDLE handle) {
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    const std::u16string name = printer->name;
    if (auto fault = platform::detail::takeFault("DeletePrinter", platform::toUtf8(name)))
        return answer("DeletePrinter", name, FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (spoolerUnavailable()) return answer("DeletePrinter", name, FALSE, RPC_S_SERVER_UNAVAILABLE);
    if (!(printer->access & PRINTER_DELETE_ACCESS)) return answer("DeletePrinter", name, FALSE, ERROR_ACCESS_DENIED);
    std::error_code ec;
    if (!fs::exists(printer->folder / "printer.ini", ec))
        return answer("DeletePrinter", name, FALSE, ERROR_INVALID_PRINTER_NAME);
    fs::remove_all(printer->folder, ec);
    deleteKey(printerKey(name));
    return answer("DeletePrinter", name, TRUE, ERROR_SUCCESS);
}

LONG WINAPI DocumentPropertiesW(HWND, HANDLE handle, LPWSTR, PDEVMODEW out, PDEVMODEW, DWORD mode) {
    auto printer = printerOf(handle);
    if (!printer) return -1;
    if (auto fault = platform::detail::takeFault("DocumentPropertiesW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_HANDLE);
        return fault->result;
    }
    std::string devmode = platform::detail::readHostFile(printer->folder / "devmode.bin");
    if (devmode.size() < sizeof(DEVMODEW)) {
        SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    if (mode == 0) return static_cast<LONG>(devmode.size());
    if (mode & DM_OUT_BUFFER) {
        if (!out) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        std::memcpy(out, devmode.data(), devmode.size());
    }
    return IDOK;
}

DWORD WINAPI StartDocPrinterW(HANDLE handle, DWORD level, LPBYTE docInfo) {
    auto printer = printerOf(handle);
    if (!printer) return 0;
    if (level != 1 || !docInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (auto fault = platform::detail::takeFault("StartDocPrinterW")) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return 0;
    }
    finishJob(*printer);
    DWORD id = 0;
    {
        platform::detail::MachineLock lock(spoolerDir() / "jobs.lock", true);
        std::string text = platform::detail::readHostFile(spoolerDir() / "next-job");
        id = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
        if (id == 0) id = 1;
        platform::detail::writeHostFile(spoolerDir() / "next-job", std::to_string(id + 1));
    }
    auto* doc = reinterpret_cast<DOC_INFO_1W*>(docInfo);
    writeIni(jobFile(id, ".ini"), {{"printer", platform::toUtf8(printer->name)},
                                   {"document", doc->pDocName ? platform::toUtf8(doc->pDocName) : ""},
                                   {"status", "printing"}});
    printer->jobFd = ::open(jobFile(id, ".bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (printer->jobFd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    printer->job = id;
    return id;
}

BOOL WINAPI EndDocPrinter(HANDLE handle) {
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    if (printer->jobFd < 0) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return FALSE;
    }
    finishJob(*printer);
    return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD written) {
    if (written) *written = 0;
    auto printer = printerOf(handle);
    if (!printer) return FALSE;
    if (printer->jobFd < 0) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return FALSE;
    }
    if (!buffer && count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD limit = count;
    auto fault = platform::detail::takeFault("WritePrinter", {}, count);
    if (fault) limit = fault->partial > 0 ? static_cast<DWORD>(std::min<int64_t>(fault->partial, count)) : 0;
    DWORD done = 0;
    while (done < limit) {
        ssize_t n = ::write(printer->jobFd, static_cast<const char*>(buffer) + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (written) *written = done;
            SetLastError(ERROR_WRITE_FAULT);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    if (fault && !fault->succeed) {
        SetLastError(fault->error ? fault->error : ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                       LPDWORD needed) {
    if (level != 1) {
        SetLastError(124);  // ERROR_INVALID_LEVEL
        return FALSE;
    }
    std::u16string path = driverDirectory();
    if (environment && platform::detail::foldCase(environment) == u"WINDOWS NT X86")
        path = platform::detail::systemFolder() + u"\\spool\\drivers\\W32X86";
    DWORD bytes = static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR));
    if (needed) *needed = bytes;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    platform::detail::copyOut(path, reinterpret_cast<LPWSTR>(buffer), path.size() + 1);
    return TRUE;
}

namespace platform {

void installPrinter(const PrinterSetup& setup) {
    std::u16string moduleName = setup.driverModuleName.empty() ? u"Rastrel.dll" : setup.driverModuleName;
    std::u16string modulePath = driverDirectory() + u"\\3\\" + moduleName;
    if (!setup.driverModule.empty()) {
        auto host = hostPath(modulePath);
        if (!host) throw std::runtime_error("bad driver module name");
        std::error_code ec;
        fs::create_directories(host->parent_path(), ec);
        // A new file renamed over the old one: a module that is loaded keeps its own copy.
        fs::path temp = *host;
        temp += ".new";
        fs::copy_file(setup.driverModule, temp, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(temp, *host, ec);
        if (ec) throw std::runtime_error("cannot install the driver module: " + ec.message());
    }
    // A driver already recorded keeps what its record holds (its environment and files).
    const fs::path driverFile = spoolerDir() / "drivers" / (encodeName(setup.driverName) + ".ini");
    auto driver = readIni(driverFile);
    driver["name"] = toUtf8(setup.driverName);
    if (driver["driverPath"].empty() || !setup.driverModule.empty() || !setup.driverModuleName.empty())
        driver["driverPath"] = toUtf8(modulePath);
    writeIni(driverFile, driver);
    fs::path folder = spoolerDir() / "printers" / encodeName(setup.name);
    writeIni(folder / "printer.ini", {{"name", toUtf8(setup.name)},
                                      {"port", toUtf8(setup.port)},
                                      {"driver", toUtf8(setup.driverName)},
                                      {"refusesAllAccess", setup.refusesAllAccess ? "1" : "0"}});
    detail::writeHostFile(folder / "devmode.bin", setup.defaultDevmode);
    writeKey(printerKey(setup.name),
             {{u"Name", setup.name}, {u"Port", setup.port}, {u"Printer Driver", setup.driverName}});
}

std::optional<std::u16string> driverModulePath(std::u16string_view driverName) {
    bool ok = false;
    auto info = readIni(spoolerDir() / "drivers" / (encodeName(driverName) + ".ini"), &ok);
    if (!ok || info["driverPath"].empty()) return std::nullopt;
    return fromUtf8(info["driverPath"]);
}

std::vector<JobRecord> printJobs() {
    std::vector<JobRecord> jobs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(spoolerDir() / "jobs", ec)) {
        if (entry.path().extension() != ".ini") continue;
        JobRecord job;
        job.id = static_cast<DWORD>(std::strtoul(entry.path().stem().c_str(), nullptr, 10));
        auto info = readIni(entry.path());
        job.printer = fromUtf8(info["printer"]);
        job.document = fromUtf8(info["document"]);
        job.complete = info["status"] == "complete";
        job.bytes = detail::readHostFile(jobFile(job.id, ".bin"));
        jobs.push_back(std::move(job));
    }
    std::sort(jobs.begin(), jobs.end(), [](const JobRecord& a, const JobRecord& b) { return a.id < b.id; });
    return jobs;
}

}  // namespace platform
