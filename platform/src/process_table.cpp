// The machine's process table: the layer's own processes and resident ones, enumerating, opening,
// naming and ending them, and the program files they hold.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "internal.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace fs = std::filesystem;

namespace {

using platform::detail::journalCall;
using platform::detail::journalNumber;

const fs::path kTable = fs::path("processes") / "table";
const fs::path kExits = fs::path("processes") / "exits";
const fs::path kNextResident = fs::path("processes") / "next-resident";
// Resident processes get ids far above any host process id.
constexpr DWORD kFirstResident = 0x40000000;
// The module handle the first module of another process answers (its image base).
const HMODULE kOtherProgramModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x140000000ull));

struct Entry {
    DWORD id = 0;
    DWORD parent = 0;
    std::u16string program;
    bool resident = false;
    bool openable = true;
    unsigned long long start = 0;  // a host process's start time (guards against a reused id)
};

fs::path tableFolder() { return platform::machineRoot() / kTable; }
fs::path lockFile() { return platform::machineRoot() / "processes" / "table.lock"; }

std::string serialised(const Entry& entry) {
    std::ostringstream text;
    text << "kind=" << (entry.resident ? "resident" : "host") << "\nparent=" << entry.parent
         << "\nprogram=" << platform::toUtf8(entry.program) << "\nstart=" << entry.start
         << "\nopenable=" << (entry.openable ? 1 : 0) << "\n";
    return text.str();
}

std::optional<Entry> parsed(DWORD id, const std::string& text) {
    Entry entry;
    entry.id = id;
    std::istringstream lines(text);
    bool named = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "kind") entry.resident = value == "resident";
        else if (key == "parent") entry.parent = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "program") { entry.program = platform::fromUtf8(value); named = true; }
        else if (key == "start") entry.start = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "openable") entry.openable = value != "0";
    }
    if (!named) return std::nullopt;
    return entry;
}

bool alive(const Entry& entry) {
    if (entry.resident) return true;
    const std::optional<unsigned long long> start = platform::detail::hostProcessStart(entry.id);
    return start && *start == entry.start;
}

void writeEntry(const Entry& entry) {
    std::error_code ec;
    fs::create_directories(tableFolder(), ec);
    platform::detail::writeHostFile(tableFolder() / std::to_string(entry.id), serialised(entry));
}

// One entry by id when its process lives; a dead host entry is dropped.
std::optional<Entry> liveEntry(DWORD id) {
    bool ok = false;
    const fs::path file = tableFolder() / std::to_string(id);
    const std::string text = platform::detail::readHostFile(file, &ok);
    if (!ok) return std::nullopt;
    std::optional<Entry> entry = parsed(id, text);
    if (entry && alive(*entry)) return entry;
    std::error_code ec;
    fs::remove(file, ec);
    return std::nullopt;
}

// Lists this process under its program path as it stands (tests change it).
void listSelf() {
    const DWORD self = GetCurrentProcessId();
    Entry entry;
    entry.id = self;
    entry.program = platform::programPath();
    entry.start = platform::detail::hostProcessStart(self).value_or(0);
    bool ok = false;
    const std::string text = platform::detail::readHostFile(tableFolder() / std::to_string(self), &ok);
    if (ok) {
        if (std::optional<Entry> known = parsed(self, text)) entry.parent = known->parent;
    }
    if (!ok || text != serialised(entry)) writeEntry(entry);
}

std::vector<Entry> liveEntries() {
    platform::detail::MachineLock lock(lockFile(), true);
    listSelf();
    std::vector<Entry> entries;
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(tableFolder(), ec)) {
        char* end = nullptr;
        const std::string name = file.path().filename().string();
        const unsigned long id = std::strtoul(name.c_str(), &end, 10);
        if (*end || id == 0 || id > 0xFFFFFFFFul) continue;
        if (std::optional<Entry> entry = liveEntry(static_cast<DWORD>(id))) entries.push_back(*entry);
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    return entries;
}

std::optional<Entry> findEntry(DWORD id) {
    platform::detail::MachineLock lock(lockFile(), true);
    listSelf();
    return liveEntry(id);
}

// A handle of OpenProcess: the process is watched through the table.
struct OpenedProcess : platform::detail::ProcessHandle {
    std::optional<DWORD> exitCode() override {
        if (findEntry(processId)) return std::nullopt;
        return platform::detail::terminatedExitCode(processId).value_or(0);
    }
};

// The process a handle names (the pseudo handle is this process) when the handle has all of `needed`.
std::optional<DWORD> processOf(HANDLE process, DWORD needed) {
    if (process == GetCurrentProcess()) return GetCurrentProcessId();
    auto object = platform::detail::handleAs<platform::detail::ProcessHandle>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    if ((object->access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    return object->processId;
}

std::u16string baseName(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::optional<unsigned long long> platform::detail::hostProcessStart(DWORD pid) {
    // Plain calls: a process that ends while its file is read makes the read fail (ESRCH), which a
    // stream would turn into an exception.
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[1024];
    const ssize_t length = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (length <= 0) return std::nullopt;
    const std::string text(buffer, static_cast<size_t>(length));
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    fields >> state;
    if (state == "Z" || state == "X" || state == "x") return std::nullopt;
    std::string field;
    for (int i = 4; i < 22 && fields >> field; ++i) {}  // fields 4 to 21, then the start time
    unsigned long long start = 0;
    if (!(fields >> start)) return std::nullopt;
    return start;
}

namespace platform::detail {

void listChildProcess(DWORD processId, DWORD parentId, std::u16string_view program) {
    MachineLock lock(lockFile(), true);
    Entry entry;
    entry.id = processId;
    entry.parent = parentId;
    entry.program = std::u16string(program);
    entry.start = platform::detail::hostProcessStart(processId).value_or(0);
    writeEntry(entry);
}

std::optional<DWORD> terminatedExitCode(DWORD processId) {
    bool ok = false;
    const std::string text = readHostFile(machineRoot() / kExits / std::to_string(processId), &ok);
    if (!ok || text.empty()) return std::nullopt;
    return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
}

DWORD fileInUse(const fs::path& host) {
    std::error_code ec;
    for (const Entry& entry : liveEntries()) {
        const Resolved program = resolvePath(entry.program);
        if (program.error == ERROR_SUCCESS && fs::equivalent(program.host, host, ec)) return ERROR_ACCESS_DENIED;
    }
    return fileHeldByService(host);
}

}  // namespace platform::detail

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

DWORD WINAPI GetProcessId(HANDLE process) {
    if (process == GetCurrentProcess()) return GetCurrentProcessId();
    auto object = platform::detail::handleAs<platform::detail::ProcessHandle>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return object->processId;
}

BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD size, DWORD* bytesReturned) {
    if (!processIds || !bytesReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("EnumProcesses")) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const std::vector<Entry> entries = liveEntries();
    const size_t room = std::min<size_t>(entries.size(), size / sizeof(DWORD));
    for (size_t i = 0; i < room; ++i) processIds[i] = entries[i].id;
    *bytesReturned = static_cast<DWORD>(room * sizeof(DWORD));
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL, DWORD processId) {
    if (auto fault = platform::detail::takeFault("OpenProcess", std::to_string(processId))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const std::optional<Entry> entry = processId ? findEntry(processId) : std::nullopt;
    if (!entry) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!entry->openable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<OpenedProcess>();
    object->processId = processId;
    object->access = access;
    return platform::detail::insertHandle(object);
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
    const DWORD id = GetProcessId(process);
    const std::u16string arguments = journalNumber(id) + u", " + journalNumber(exitCode);
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        journalCall("TerminateProcess", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    const std::optional<DWORD> target = processOf(process, PROCESS_TERMINATE);
    if (!target) return answer(FALSE, GetLastError());
    if (auto fault = platform::detail::takeFault("TerminateProcess"))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    const std::optional<Entry> entry = findEntry(*target);
    if (!entry) return answer(FALSE, ERROR_ACCESS_DENIED);
    std::error_code ec;
    fs::create_directories(platform::machineRoot() / kExits, ec);
    platform::detail::writeHostFile(platform::machineRoot() / kExits / std::to_string(*target), std::to_string(exitCode));
    {
        platform::detail::MachineLock lock(lockFile(), true);
        fs::remove(tableFolder() / std::to_string(*target), ec);
    }
    if (entry->resident) return answer(TRUE, ERROR_SUCCESS);
    if (*target == GetCurrentProcessId()) {
        journalCall("TerminateProcess", arguments, u"TRUE", ERROR_SUCCESS);
        _exit(static_cast<int>(exitCode));
    }
    if (::kill(static_cast<pid_t>(*target), SIGKILL) != 0) return answer(FALSE, ERROR_ACCESS_DENIED);
    // The process is gone (or a zombie its parent reaps) within moments; answer once it is.
    for (int round = 0; round < 2000 && platform::detail::hostProcessStart(*target) == std::optional<unsigned long long>(entry->start); ++round)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return answer(TRUE, ERROR_SUCCESS);
}

BOOL WINAPI EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, LPDWORD needed) {
    const std::optional<DWORD> target = processOf(process, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!target) return FALSE;
    if (!needed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("EnumProcessModules")) {
        SetLastError(fault->error ? fault->error : ERROR_PARTIAL_COPY);
        return FALSE;
    }
    if (!findEntry(*target)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *needed = sizeof(HMODULE);
    if (modules && size >= sizeof(HMODULE))
        modules[0] = *target == GetCurrentProcessId() ? platform::detail::programModule() : kOtherProgramModule;
    return TRUE;
}

DWORD WINAPI GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseNameOut, DWORD size) {
    const std::optional<DWORD> target = processOf(process, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!target) return 0;
    if (!baseNameOut || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (auto fault = platform::detail::takeFault("GetModuleBaseNameW")) {
        SetLastError(fault->error ? fault->error : ERROR_PARTIAL_COPY);
        return 0;
    }
    const HMODULE first = *target == GetCurrentProcessId() ? platform::detail::programModule() : kOtherProgramModule;
    const std::optional<Entry> entry = findEntry(*target);
    if (!entry || (module && module != first)) {
        SetLastError(entry ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string name = baseName(entry->program);
    const size_t n = std::min<size_t>(name.size(), size - 1);
    std::copy_n(name.data(), n, baseNameOut);
    baseNameOut[n] = 0;
    return static_cast<DWORD>(n);
}

namespace platform {

DWORD placeProcess(std::u16string_view program, bool openable) {
    if (detail::resolvePath(program).error != ERROR_SUCCESS)
        throw std::invalid_argument("placeProcess: the machine refuses " + toUtf8(program));
    detail::MachineLock lock(lockFile(), true);
    bool ok = false;
    const std::string text = detail::readHostFile(machineRoot() / kNextResident, &ok);
    DWORD id = ok ? static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10)) : kFirstResident;
    if (id < kFirstResident) id = kFirstResident;
    detail::writeHostFile(machineRoot() / kNextResident, std::to_string(id + 4));
    Entry entry;
    entry.id = id;
    entry.program = std::u16string(program);
    entry.resident = true;
    entry.openable = openable;
    writeEntry(entry);
    return id;
}

std::vector<ProcessEntry> processTable() {
    std::vector<ProcessEntry> table;
    for (const Entry& entry : liveEntries())
        table.push_back({entry.id, entry.parent, entry.program, entry.resident, entry.openable});
    return table;
}

}  // namespace platform
