// Shared pieces of the layer's implementation.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control.h"
#include "win/base.h"

namespace platform::detail {

// ---- Faults ------------------------------------------------------------------------------------
// Counts the call and returns the fault that strikes it, if any.
std::optional<Fault> takeFault(std::string_view function, std::string_view detail = {}, uint64_t size = 0);

// ---- Kernel handles ----------------------------------------------------------------------------
struct KernelObject {
    virtual ~KernelObject() = default;
    // Printer handles and registry keys have calls of their own to close them; CloseHandle refuses them.
    virtual bool closedByCloseHandle() const { return true; }
};
HANDLE insertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> findHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> handleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(findHandle(handle));
}
bool removeHandle(HANDLE handle);
// The host descriptor and access rights of a file handle (for mappings), or -1 (ERROR_INVALID_HANDLE).
int fileDescriptorOf(HANDLE file, DWORD* access);

// ---- Waits -------------------------------------------------------------------------------------
// A kernel object that the wait functions poll: mutexes, events and threads.
enum class WaitTake { Taken, Abandoned, Busy };
struct Waitable : KernelObject {
    // One attempt of the calling thread; a success takes what it signals (a mutex's ownership, an
    // auto-reset event's state).
    virtual WaitTake tryTake() = 0;
    // Gives back what the last successful tryTake of this thread took (a wait on all that must not
    // keep part of its objects).
    virtual void undoTake() {}
};

// A handle of a process (CreateProcessW's or OpenProcess's), signalled once the process has ended.
struct ProcessHandle : Waitable {
    DWORD processId = 0;
    DWORD access = 0;
    // The exit code once the process has ended; nothing while it runs.
    virtual std::optional<DWORD> exitCode() = 0;
    WaitTake tryTake() override { return exitCode() ? WaitTake::Taken : WaitTake::Busy; }
};

// ---- Named kernel objects ----------------------------------------------------------------------
// A name split from its namespace prefix ("Local" unless "Global\" leads it).
struct ObjectName {
    std::u16string space;
    std::u16string name;
};
// ERROR_PATH_NOT_FOUND for a folder other than the namespace prefix, ERROR_FILENAME_EXCED_RANGE for
// MAX_PATH characters or more.
DWORD parseObjectName(std::u16string_view full, ObjectName& parsed);
// The file name under "objects/" for an object of this name: a readable part and a hash of the whole.
std::string objectFileKey(const ObjectName& parsed);

// ---- Paths -------------------------------------------------------------------------------------
struct Resolved {
    std::filesystem::path host;
    DWORD error = ERROR_SUCCESS;  // set when the path is not valid on the machine
};
// Maps a Windows path to its host path, matching existing names without regard to case.
Resolved resolvePath(std::u16string_view windowsPath);
// The Windows path of a host path below the machine root (for snapshots and module names).
std::u16string windowsPathOf(const std::filesystem::path& host);
std::u16string ansiToWide(const char* text);
std::string wideToAnsi(std::u16string_view text);
// Folds one UTF-16 unit to upper case as file and registry names compare.
char16_t foldCase(char16_t c);
std::u16string foldCase(std::u16string_view text);
// Copies a wide string into a caller's buffer of `size` characters with its terminator.
// Returns false (and copies nothing) when it does not fit.
bool copyOut(std::u16string_view text, WCHAR* buffer, size_t size);

// ---- Machine files -----------------------------------------------------------------------------
std::string readHostFile(const std::filesystem::path& path, bool* ok = nullptr);
void writeHostFile(const std::filesystem::path& path, std::string_view bytes);
// Serialises access to a machine file between processes (flock on a lock file beside it).
class MachineLock {
public:
    MachineLock(const std::filesystem::path& lockFile, bool exclusive);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

private:
    int fd_ = -1;
};
// Called by useMachineRoot so that cached machine state is dropped.
void onMachineChanged();

// ---- Journals (journal.cpp) ----------------------------------------------------------------------
// A journal of the machine is a text file under the root, one record a line, its fields separated by
// tabs (backslash, tab, CR and LF escaped), appended under a lock so that every process may write.
void appendJournal(const std::filesystem::path& relative, const std::vector<std::u16string>& fields);
// Every record, oldest first; lines with another number of fields are passed over.
std::vector<std::vector<std::u16string>> readJournal(const std::filesystem::path& relative, size_t fields);
void clearJournal(const std::filesystem::path& relative);
// Replaces the whole journal at once (readers see the old records or the new ones).
void rewriteJournal(const std::filesystem::path& relative, const std::vector<std::vector<std::u16string>>& records);
// The call journal: whether it is on for this machine, and one record of a mutating call (the last
// error is the one the call leaves).
bool callJournalOn();
void journalCall(std::string_view call, std::u16string_view arguments, std::u16string_view result, DWORD error);
// The removals of the file and registry pieces go to the same journal while their own switch is on
// ("calls/files"); the call's last error is kept as it left it.
bool fileCallJournalOn();
void journalFileCall(std::string_view call, std::u16string_view arguments, BOOL result);
void journalRegistryCall(std::string_view call, std::u16string_view arguments, LSTATUS status);
// Numbers and ASCII as journal text.
std::u16string journalText(std::string_view ascii);
std::u16string journalNumber(uint64_t value);

// ---- The date and time (time.cpp) -----------------------------------------------------------------
void resetLocalTime();
// The local time a test set as a program started now inherits it (PLATFORM_LOCAL_TIME: seconds since
// 1970 read as UTC, " frozen" after them when it stays there); nothing while it is the host's.
std::optional<std::string> setLocalTimeNow();

// ---- Modules (modules.cpp) -------------------------------------------------------------------------
// GetModuleHandleW(NULL): the running program's module, home of its own resources.
HMODULE programModule();

// ---- The current directory (processes.cpp) -------------------------------------------------------
// This process's current directory ("C:\" or what its parent gave it).
std::u16string currentDirectory();
// Back to the directory the process started with (a new machine root).
void resetCurrentDirectory();
// A path made absolute against the current directory ("x", "\x", "D:x"); absolute paths unchanged.
std::u16string absolutePath(std::u16string_view path);
// Whether the machine clock is virtual (children get the same kind of clock).
bool virtualClockOn();
// Held by a read on the virtual clock while it gives its peer (a printer on the cable, a responder on
// a socket) the first kPeerGrace of real time to answer: meanwhile the clock stands still for every
// thread of the process, so a peer whose thread or process has not yet run on a busy machine is not
// late because other threads moved the clock (a message loop jumps it to its next timer).
class PeerWait {
public:
    static constexpr auto kPeerGrace = std::chrono::milliseconds(250);
    PeerWait();
    ~PeerWait();
    PeerWait(const PeerWait&) = delete;
    PeerWait& operator=(const PeerWait&) = delete;
};
// The show command ShowWindow carries out: the one the parent gave with STARTF_USESHOWWINDOW replaces
// SW_SHOWDEFAULT always, and SW_SHOWNORMAL and SW_SHOW at the process's first showing of an unowned
// top-level window (`firstShowing`: such a window; the first one spends the rule whatever its command).
int startupShowCommand(bool firstShowing, int command);
// A new machine: the first showing is to come again (for tests).
void resetStartupShow();

// ---- File attributes (find_files.cpp) ----------------------------------------------------------------
// The attributes of an existing file or folder (INVALID_FILE_ATTRIBUTES when there is none).
DWORD attributesOf(const std::filesystem::path& host);
// Drops what the attribute store keeps for a path that is gone.
void forgetAttributes(const std::filesystem::path& host);

// ---- The registry (registry.cpp) --------------------------------------------------------------------
// Texts the layer itself keeps in the hive (the profile list), written past the fault switches and the
// journal. The key is a full path ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."); it and the keys on its way are
// made; a value already there stays unless `replace`.
struct RegistryText {
    std::u16string key;
    std::u16string name;
    DWORD type = 1;  // REG_SZ
    std::u16string text;
};
void writeRegistryTexts(const std::vector<RegistryText>& texts, bool replace);

// ---- User profiles (profiles.cpp) ----------------------------------------------------------------------
// Makes the folders of one user's profile below the machine root in the settings' layout (no registry).
void layOutProfile(const std::filesystem::path& root, const MachineSettings& settings, const std::string& userName);
// The profile list's service accounts and the machine's user in the settings' layout; their values are
// rewritten when `replace`, else only written where missing.
void writeProfileList(const MachineSettings& settings, bool replace);

// ---- Security (tokens.cpp) ---------------------------------------------------------------------------
// Whether this process's token has the privilege enabled.
bool privilegeEnabled(std::string_view name);

// ---- The process table (process_table.cpp) -----------------------------------------------------------
// Lists a process of the layer that CreateProcessW started.
void listChildProcess(DWORD processId, DWORD parentId, std::u16string_view program);
// The exit code TerminateProcess gave a host process it ended, if it ended one of that id.
std::optional<DWORD> terminatedExitCode(DWORD processId);
// Why a file may not be deleted while something runs: ERROR_ACCESS_DENIED for a running process's
// program, ERROR_SHARING_VIOLATION for a file a running service holds; ERROR_SUCCESS otherwise.
DWORD fileInUse(const std::filesystem::path& host);
// ERROR_SHARING_VIOLATION when a service that is not stopped holds the file (services.cpp).
DWORD fileHeldByService(const std::filesystem::path& host);
// Whether the spooler holds the file for one of its drivers or monitors (while it is not stopped).
bool spoolerHolds(const std::filesystem::path& host);

// ---- System folders (system.cpp) -------------------------------------------------------------------
// The machine's Windows folder ("C:\Windows" unless its settings say otherwise) and its System32.
std::u16string windowsFolder();
std::u16string systemFolder();

// ---- COM (com.cpp) -----------------------------------------------------------------------------------
// Whether the calling thread has initialised COM (and not yet uninitialised it as often).
bool comInitialized();

// ---- Low arena (low_memory.cpp) --------------------------------------------------------------------
// LocalFree of an arena address: true when it was a live block (now freed).
bool freeLow(void* block);

// ---- System modules (system_modules.cpp) ---------------------------------------------------------
// The layer's module of a system library name ("kernel32", "KERNEL32.DLL", its System32 path) when it
// is loaded in this process (some always are); null otherwise.
HMODULE loadedSystemModule(std::u16string_view name);
// LoadLibraryW of a system library: the module with one more reference; null for other names and
// for a system library the machine lacks now (`absent` then true).
HMODULE loadSystemModule(std::u16string_view name, bool* absent = nullptr);
bool isSystemModule(HMODULE module);
// FreeLibrary of a system module (never unloaded); false for other handles.
bool freeSystemModule(HMODULE module);
std::optional<std::u16string> systemModulePath(HMODULE module);
// An export of a system module, null when it has none of that name or a test removed it.
FARPROC systemExport(HMODULE module, const char* name);

// The start time of a live host process (from /proc/<pid>/stat), or nothing once it has ended; a
// zombie counts as ended. Guards against a process id the host has given out again.
std::optional<unsigned long long> hostProcessStart(DWORD pid);

}  // namespace platform::detail
