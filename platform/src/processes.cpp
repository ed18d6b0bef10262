// Processes: the current directory, program links and starting programs as real child processes.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "internal.h"
#include "win/kernel.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/user.h"  // the show commands

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr char kLinkMagic[] = "MFP-PROGRAM-LINK";

// ---- The current directory ------------------------------------------------------------------------

bool isAbsolute(std::u16string_view path) {
    return path.size() >= 3 && path[1] == u':' && path[2] == u'\\' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// The parent's directory (PLATFORM_CURRENT_DIRECTORY), else the root of drive C.
std::u16string initialDirectory() {
    if (const char* given = std::getenv("PLATFORM_CURRENT_DIRECTORY"); given && *given) {
        std::u16string path = platform::fromUtf8(given);
        if (isAbsolute(path)) return path;
    }
    return u"C:\\";
}

struct DirectoryState {
    std::mutex mutex;
    std::optional<std::u16string> path;
};
DirectoryState& directoryState() {
    static DirectoryState* state = new DirectoryState;
    return *state;
}

// ---- Program links ----------------------------------------------------------------------------------

// The host binary a program link names; nothing when the file is no link.
std::optional<fs::path> linkTarget(const fs::path& host) {
    std::error_code ec;
    if (fs::file_size(host, ec) > 64 * 1024 || ec) return std::nullopt;
    bool ok = false;
    const std::string text = platform::detail::readHostFile(host, &ok);
    if (!ok) return std::nullopt;
    std::istringstream lines(text);
    std::string magic, target;
    std::getline(lines, magic);
    std::getline(lines, target);
    for (std::string* line : {&magic, &target})
        if (!line->empty() && line->back() == '\r') line->pop_back();
    if (magic != kLinkMagic || target.empty() || target.front() != '/') return std::nullopt;
    return fs::path(target);
}

// ---- The journal of starts --------------------------------------------------------------------------

// One record a start: process id, parent id, program, command line, current directory, the startup
// flags and the show command of STARTUPINFOW.
const fs::path kStartsJournal = fs::path("processes") / "starts";

void journal(const platform::ProgramStart& start) {
    platform::detail::appendJournal(kStartsJournal, {platform::fromUtf8(std::to_string(start.processId)),
                                                     platform::fromUtf8(std::to_string(start.parentId)),
                                                     start.program, start.commandLine, start.currentDirectory,
                                                     platform::fromUtf8(std::to_string(start.startupFlags)),
                                                     platform::fromUtf8(std::to_string(start.showWindow))});
}

// ---- The startup information of this process -----------------------------------------------------

constexpr char kShowVariable[] = "PLATFORM_SHOW_WINDOW";

// The show command the parent gave with STARTF_USESHOWWINDOW, if it gave one.
std::optional<WORD> givenShow() {
    const char* given = std::getenv(kShowVariable);
    if (!given || !*given) return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(given, &end, 10);
    if (*end || value > 0xFFFF) return std::nullopt;
    return static_cast<WORD>(value);
}

// The process that spent the first showing of a top-level window (a forked child has not).
std::atomic<pid_t> g_firstShowSpentBy{0};

// ---- Child processes --------------------------------------------------------------------------------

struct ExitState {
    std::mutex mutex;
    bool ended = false;
    DWORD code = 0;
};

struct ProcessObject : platform::detail::ProcessHandle {
    std::shared_ptr<ExitState> exit;
    std::optional<DWORD> exitCode() override {
        std::lock_guard lock(exit->mutex);
        return exit->ended ? std::optional<DWORD>(exit->code) : std::nullopt;
    }
};
struct ThreadObject : platform::detail::KernelObject {
    pid_t pid = 0;
};

// Waits for the child in the background so that it never lingers as a zombie; keeps its exit code.
void reap(pid_t pid, std::shared_ptr<ExitState> exit) {
    std::thread([pid, exit] {
        int status = 0;
        pid_t done;
        do {
            done = waitpid(pid, &status, 0);
        } while (done < 0 && errno == EINTR);
        std::lock_guard lock(exit->mutex);
        exit->ended = true;
        if (done < 0) exit->code = 0;
        else if (WIFEXITED(status)) exit->code = static_cast<DWORD>(WEXITSTATUS(status));
        else if (WIFSIGNALED(status)) {
            // TerminateProcess of any process of the machine leaves the code it gave.
            const std::optional<DWORD> given = platform::detail::terminatedExitCode(static_cast<DWORD>(pid));
            exit->code = given ? *given : static_cast<DWORD>(128 + WTERMSIG(status));
        }
    }).detach();
}

bool ownVariable(std::string_view entry) {
    for (std::string_view name : {"PLATFORM_MACHINE=", "PLATFORM_PROGRAM=", "PLATFORM_COMMAND_LINE=",
                                  "PLATFORM_CURRENT_DIRECTORY=", "PLATFORM_CLOCK=", "PLATFORM_LOCAL_TIME=",
                                  "PLATFORM_SHOW_WINDOW="})
        if (entry.substr(0, name.size()) == name) return true;
    return false;
}

DWORD spawnError(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    default: return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Runs `binary` as the program `program` of this machine (with the show command the parent gave, -1 for
// none); the child's pid, or the Win32 error.
std::variant<pid_t, DWORD> spawn(const fs::path& binary, const std::u16string& program, const std::u16string& commandLine,
                                 const std::u16string& directory, int show) {
    std::vector<std::string> variables;
    for (char** entry = environ; entry && *entry; ++entry)
        if (!ownVariable(*entry)) variables.emplace_back(*entry);
    variables.push_back("PLATFORM_MACHINE=" + platform::machineRoot().string());
    variables.push_back("PLATFORM_PROGRAM=" + platform::toUtf8(program));
    variables.push_back("PLATFORM_COMMAND_LINE=" + platform::toUtf8(commandLine));
    variables.push_back("PLATFORM_CURRENT_DIRECTORY=" + platform::toUtf8(directory));
    variables.push_back(std::string("PLATFORM_CLOCK=") + (platform::detail::virtualClockOn() ? "virtual" : "real"));
    if (auto now = platform::detail::setLocalTimeNow()) variables.push_back("PLATFORM_LOCAL_TIME=" + *now);
    if (show >= 0) variables.push_back(std::string(kShowVariable) + "=" + std::to_string(show));
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = binary.string();
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no lock file or socket of ours goes along
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return spawnError(error);
    return pid;
}

// ---- Finding the program ----------------------------------------------------------------------------

bool hasFolder(std::u16string_view name) { return name.find_first_of(u"\\/:") != std::u16string_view::npos; }

// The first token of a command line: quoted, or up to the first blank.
std::u16string firstToken(std::u16string_view line) {
    size_t start = line.find_first_not_of(u" \t");
    if (start == std::u16string_view::npos) return {};
    if (line[start] == u'"') {
        const size_t end = line.find(u'"', start + 1);
        return std::u16string(line.substr(start + 1, end == std::u16string_view::npos ? end : end - start - 1));
    }
    const size_t end = line.find_first_of(u" \t", start);
    return std::u16string(line.substr(start, end == std::u16string_view::npos ? end : end - start));
}

std::u16string folderOf(const std::u16string& path) {
    const size_t slash = path.find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

struct Found {
    fs::path host;
    DWORD error = ERROR_SUCCESS;
};

// A file at a path of the machine, or why there is none.
Found fileAt(std::u16string_view path) {
    platform::detail::Resolved resolved = platform::detail::resolvePath(path);
    if (resolved.error != ERROR_SUCCESS) return {{}, resolved.error};
    std::error_code ec;
    if (fs::is_regular_file(resolved.host, ec)) return {resolved.host, ERROR_SUCCESS};
    if (fs::is_directory(resolved.host, ec)) return {{}, ERROR_ACCESS_DENIED};
    return {{}, fs::is_directory(resolved.host.parent_path(), ec) ? DWORD{ERROR_FILE_NOT_FOUND} : DWORD{ERROR_PATH_NOT_FOUND}};
}

Found findProgram(const std::u16string& name, bool search) {
    if (!search || hasFolder(name)) return fileAt(name);
    std::vector<std::u16string> folders = {folderOf(platform::programPath())};
    {
        std::u16string current = platform::detail::currentDirectory();
        if (current.back() == u'\\') current.pop_back();
        folders.push_back(current);
    }
    folders.push_back(platform::detail::systemFolder());
    folders.push_back(platform::detail::windowsFolder());
    for (const std::u16string& folder : folders) {
        if (folder.empty()) continue;
        Found found = fileAt(folder + u"\\" + name);
        if (found.error == ERROR_SUCCESS) return found;
    }
    return {{}, ERROR_FILE_NOT_FOUND};
}

std::u16string quotedIfBlank(const std::u16string& path) {
    return path.find_first_of(u" \t") == std::u16string::npos ? path : u"\"" + path + u"\"";
}

}  // namespace

// ---- The layer's side ---------------------------------------------------------------------------------

namespace platform::detail {

std::u16string currentDirectory() {
    auto& state = directoryState();
    std::lock_guard lock(state.mutex);
    if (!state.path) state.path = initialDirectory();
    return *state.path;
}

void resetCurrentDirectory() {
    auto& state = directoryState();
    std::lock_guard lock(state.mutex);
    state.path.reset();
}

int startupShowCommand(bool firstShowing, int command) {
    const std::optional<WORD> given = givenShow();
    const bool first = firstShowing && g_firstShowSpentBy.exchange(getpid()) != getpid();
    if (command == SW_SHOWDEFAULT) return given ? *given : SW_SHOWNORMAL;
    if (first && given && (command == SW_SHOWNORMAL || command == SW_SHOW)) return *given;
    return command;
}

void resetStartupShow() { g_firstShowSpentBy = 0; }

std::u16string absolutePath(std::u16string_view path) {
    if (isAbsolute(path)) return std::u16string(path);
    const std::u16string current = currentDirectory();
    const std::u16string_view drive = std::u16string_view(current).substr(0, 2);
    if (path.size() >= 2 && path[1] == u':') {  // "D:x": against the current directory only when it is on D:
        if (foldCase(path.substr(0, 1)) == foldCase(drive.substr(0, 1)))
            return current + (current.back() == u'\\' ? u"" : u"\\") + std::u16string(path.substr(2));
        return std::u16string(path.substr(0, 2)) + u"\\" + std::u16string(path.substr(2));
    }
    if (!path.empty() && path[0] == u'\\') return std::u16string(drive) + std::u16string(path);
    return current + (current.back() == u'\\' ? u"" : u"\\") + std::u16string(path);
}

}  // namespace platform::detail

// ---- The Win32 calls ------------------------------------------------------------------------------------

DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    const std::u16string current = platform::detail::currentDirectory();
    if (!buffer || current.size() + 1 > size) return static_cast<DWORD>(current.size() + 1);
    platform::detail::copyOut(current, buffer, size);
    return static_cast<DWORD>(current.size());
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::detail::Resolved resolved = platform::detail::resolvePath(path);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::is_directory(resolved.host, ec)) {
        const bool file = fs::exists(resolved.host, ec);
        SetLastError(file ? ERROR_DIRECTORY
                          : fs::is_directory(resolved.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::u16string folder = platform::detail::windowsPathOf(resolved.host);  // the names as the disk spells them
    if (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    auto& state = directoryState();
    std::lock_guard lock(state.mutex);
    state.path = folder;
    return TRUE;
}

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                           DWORD, LPVOID, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
    const bool named = applicationName && *applicationName;
    std::u16string name = named ? std::u16string(applicationName) : commandLine ? firstToken(commandLine) : std::u16string();
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!named) {
        const size_t slash = name.find_last_of(u"\\/");
        if (name.find(u'.', slash == std::u16string::npos ? 0 : slash) == std::u16string::npos) name += u".exe";
    }
    const Found found = findProgram(name, !named);
    if (found.error != ERROR_SUCCESS) {
        SetLastError(found.error);
        return FALSE;
    }
    const std::u16string program = platform::detail::windowsPathOf(found.host);
    if (auto fault = platform::detail::takeFault("CreateProcessW", platform::toUtf8(program))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const std::optional<fs::path> binary = linkTarget(found.host);
    std::error_code ec;
    if (!binary || !fs::is_regular_file(*binary, ec) || access(binary->c_str(), X_OK) != 0) {
        OutputDebugStringA(("CreateProcess: " + platform::toUtf8(program) +
                            (binary ? " links to no runnable binary " + binary->string() : " is no program link"))
                               .c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    std::u16string directory = platform::detail::currentDirectory();
    if (currentDirectory && *currentDirectory) {
        platform::detail::Resolved resolved = platform::detail::resolvePath(currentDirectory);
        if (resolved.error != ERROR_SUCCESS || !fs::is_directory(resolved.host, ec)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        directory = platform::detail::windowsPathOf(resolved.host);
        if (directory.size() > 3 && directory.back() == u'\\') directory.pop_back();
    }
    const std::u16string line = commandLine && *commandLine ? std::u16string(commandLine) : quotedIfBlank(program);

    const DWORD startupFlags = startupInfo ? startupInfo->dwFlags : 0;
    const WORD showWindow = startupInfo ? startupInfo->wShowWindow : 0;
    const int show = (startupFlags & STARTF_USESHOWWINDOW) ? showWindow : -1;  // -1: none given

    auto spawned = spawn(*binary, program, line, directory, show);
    if (const DWORD* error = std::get_if<DWORD>(&spawned)) {
        SetLastError(*error);
        return FALSE;
    }
    const pid_t pid = std::get<pid_t>(spawned);
    auto exit = std::make_shared<ExitState>();
    reap(pid, exit);
    journal({static_cast<DWORD>(pid), GetCurrentProcessId(), program, line, directory, startupFlags, showWindow});
    platform::detail::listChildProcess(static_cast<DWORD>(pid), GetCurrentProcessId(), program);

    auto process = std::make_shared<ProcessObject>();
    process->processId = static_cast<DWORD>(pid);
    process->access = PROCESS_ALL_ACCESS;
    process->exit = exit;
    auto thread = std::make_shared<ThreadObject>();
    thread->pid = pid;
    if (processInformation) {
        processInformation->hProcess = platform::detail::insertHandle(process);
        processInformation->hThread = platform::detail::insertHandle(thread);
        processInformation->dwProcessId = static_cast<DWORD>(pid);
        processInformation->dwThreadId = static_cast<DWORD>(pid);
    }
    return TRUE;
}

UINT WINAPI WinExec(LPCSTR commandLine, UINT show) {
    if (!commandLine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string line = platform::detail::ansiToWide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND: return ERROR_FILE_NOT_FOUND;
        case ERROR_PATH_NOT_FOUND: return ERROR_PATH_NOT_FOUND;
        case ERROR_BAD_EXE_FORMAT: return ERROR_BAD_FORMAT;
        default: return 0;
        }
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 33;
}

void WINAPI GetStartupInfoW(LPSTARTUPINFOW startupInfo) {
    if (!startupInfo) return;
    *startupInfo = {};
    startupInfo->cb = sizeof *startupInfo;
    if (const std::optional<WORD> show = givenShow()) {
        startupInfo->dwFlags = STARTF_USESHOWWINDOW;
        startupInfo->wShowWindow = *show;
    }
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    auto object = platform::detail::handleAs<platform::detail::ProcessHandle>(process);
    if (!object || !exitCode) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::optional<DWORD> code = object->exitCode();
    *exitCode = code ? *code : static_cast<DWORD>(STILL_ACTIVE);
    return TRUE;
}

void WINAPI ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }

// ---- Tests and tools ------------------------------------------------------------------------------------

namespace platform {

void linkProgram(std::u16string_view windowsPath, const fs::path& hostBinary) {
    detail::Resolved resolved = detail::resolvePath(windowsPath);
    if (resolved.error != ERROR_SUCCESS)
        throw std::invalid_argument("linkProgram: the machine refuses " + toUtf8(windowsPath));
    detail::writeHostFile(resolved.host, std::string(kLinkMagic) + "\n" + fs::absolute(hostBinary).string() + "\n");
}

std::vector<ProgramStart> programStarts() {
    std::vector<ProgramStart> starts;
    for (auto& fields : detail::readJournal(kStartsJournal, 7)) {
        ProgramStart start;
        start.processId = static_cast<DWORD>(std::strtoul(toUtf8(fields[0]).c_str(), nullptr, 10));
        start.parentId = static_cast<DWORD>(std::strtoul(toUtf8(fields[1]).c_str(), nullptr, 10));
        start.program = std::move(fields[2]);
        start.commandLine = std::move(fields[3]);
        start.currentDirectory = std::move(fields[4]);
        start.startupFlags = static_cast<DWORD>(std::strtoul(toUtf8(fields[5]).c_str(), nullptr, 10));
        start.showWindow = static_cast<WORD>(std::strtoul(toUtf8(fields[6]).c_str(), nullptr, 10));
        starts.push_back(std::move(start));
    }
    return starts;
}

}  // namespace platform
