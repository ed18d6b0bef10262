// Mutexes and waits. A named mutex is shared by the machine's processes through two lock files under
// "objects/" of the machine root:
//  - "<key>.handle": every process with a handle to the mutex holds a shared flock on it, so the
//    mutex exists while some process could take an exclusive lock and fails to;
//  - "<key>.owner": the owning process holds an exclusive flock on it and the file says "owned";
//    a release says "free" before it unlocks. A process that dies owning the mutex loses the lock
//    with the file still saying "owned", which is how the next owner learns it was abandoned.
// "objects/.lock" serialises creating, opening and dropping named mutexes between processes.
// Within a process one MutexState stands for all handles of a name and tracks the owning thread.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "internal.h"
#include "win/kernel.h"

namespace fs = std::filesystem;
using platform::detail::KernelObject;

namespace {

// Virtual milliseconds a wait moves the clock at most per round, and the real pause of a round.
constexpr DWORD kVirtualStep = 100;
constexpr auto kRealPause = std::chrono::milliseconds(1);

struct MutexState {
    std::mutex mutex;
    bool named = false;
    int handleFd = -1;    // shared flock while this process has the mutex
    int ownerFd = -1;     // exclusive flock while a thread of this process owns it
    DWORD ownerTid = 0;   // the owning thread of this process, 0 for none
    DWORD recursion = 0;
    fs::path objects;     // the machine's objects folder, for the drop under its lock
    ~MutexState();
};

struct MutexObject : KernelObject {
    std::shared_ptr<MutexState> state;
};

struct MutexTable {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<MutexState>> byKey;  // machine root, namespace and name
};
void lockTableForFork();
void unlockTableAfterFork();
void dropInheritedMutexes();

MutexTable& mutexTable() {
    static MutexTable* table = [] {
        auto* made = new MutexTable;
        pthread_atfork(lockTableForFork, unlockTableAfterFork, dropInheritedMutexes);
        return made;
    }();
    return *table;
}

DWORD currentTid() { return static_cast<DWORD>(syscall(SYS_gettid)); }

bool threadAlive(DWORD tid) {
    return syscall(SYS_tgkill, static_cast<long>(getpid()), static_cast<long>(tid), 0L) == 0 || errno != ESRCH;
}

void writeMarker(int fd, const std::string& text) {
    if (fd < 0) return;
    if (::ftruncate(fd, 0) != 0) return;
    ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
    (void)written;
}

std::string readMarker(int fd) {
    char buffer[64] = {};
    ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

std::string ownedMarker() {
    return "owned " + std::to_string(getpid()) + " " + std::to_string(currentTid()) + "\n";
}

void lockTableForFork() { mutexTable().mutex.lock(); }
void unlockTableAfterFork() { mutexTable().mutex.unlock(); }

// A forked child is another process: it inherits no handle of a named mutex (as a process started
// without inheritance), so the descriptors it got are closed and its copies become plain local
// mutexes that nobody owns. The parent's locks are untouched.
void dropInheritedMutexes() {
    auto& table = mutexTable();
    for (auto& [key, weak] : table.byKey) {
        if (auto state = weak.lock()) {
            if (state->handleFd >= 0) ::close(state->handleFd);
            if (state->ownerFd >= 0) ::close(state->ownerFd);
            state->handleFd = state->ownerFd = -1;
            state->named = false;
            state->ownerTid = 0;
            state->recursion = 0;
        }
    }
    table.byKey.clear();
    table.mutex.unlock();
}

MutexState::~MutexState() {
    if (!named) return;
    platform::detail::MachineLock lock(objects / ".lock", true);
    if (ownerFd >= 0) {
        // Still owned by a thread of this process: the marker stays "owned", so a process that
        // still has the mutex finds it abandoned.
        if (ownerTid != 0) ::flock(ownerFd, LOCK_UN);
        ::close(ownerFd);
    }
    if (handleFd >= 0) ::close(handleFd);
}

struct ParsedName {
    std::u16string space;  // "Local" or "Global"
    std::u16string name;   // without its prefix
};

// Splits the namespace prefix off; ERROR_PATH_NOT_FOUND for any other folder in the name.
DWORD parseName(std::u16string_view full, ParsedName& parsed) {
    if (full.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    parsed.space = u"Local";
    for (std::u16string_view space : {std::u16string_view(u"Local"), std::u16string_view(u"Global")}) {
        if (full.size() > space.size() && full.substr(0, space.size()) == space && full[space.size()] == u'\\') {
            parsed.space = space;
            full.remove_prefix(space.size() + 1);
            break;
        }
    }
    if (full.find(u'\\') != std::u16string_view::npos) return ERROR_PATH_NOT_FOUND;
    parsed.name = full;
    return ERROR_SUCCESS;
}

// A file name for the object: a readable part and a hash of the whole name.
std::string fileKey(const ParsedName& parsed) {
    std::string utf8 = platform::toUtf8(parsed.name);
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : platform::toUtf8(parsed.space) + "\\" + utf8) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::string readable;
    for (unsigned char c : utf8) {
        if (readable.size() >= 64) break;
        readable += (std::isalnum(c) || c == '_' || c == '-' || c == '.') ? static_cast<char>(c) : '_';
    }
    char tail[24];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    return (parsed.space == u"Global" ? "global-" : "local-") + readable + tail;
}

int openLockFile(const fs::path& path) { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); }

// This process's state of a named mutex: found, opened (when `create` is false, only if it exists)
// or made. `existed` tells whether the mutex existed before. Null with the error set when it fails.
std::shared_ptr<MutexState> namedState(const ParsedName& parsed, bool create, bool& existed) {
    const fs::path root = platform::machineRoot();
    const std::string file = fileKey(parsed);
    auto& table = mutexTable();
    std::lock_guard tableLock(table.mutex);
    const std::string key = root.string() + "|" + file;
    if (auto it = table.byKey.find(key); it != table.byKey.end()) {
        if (auto state = it->second.lock()) {
            existed = true;
            return state;
        }
        table.byKey.erase(it);
    }
    const fs::path objects = root / "objects";
    std::error_code ec;
    fs::create_directories(objects, ec);
    platform::detail::MachineLock lock(objects / ".lock", true);
    auto state = std::make_shared<MutexState>();
    state->named = true;
    state->objects = objects;
    state->handleFd = openLockFile(objects / (file + ".handle"));
    state->ownerFd = openLockFile(objects / (file + ".owner"));
    // Failing here, the state is dropped without the objects lock that this thread holds.
    auto fail = [&](DWORD error) -> std::shared_ptr<MutexState> {
        if (state->handleFd >= 0) ::close(state->handleFd);
        if (state->ownerFd >= 0) ::close(state->ownerFd);
        state->handleFd = state->ownerFd = -1;
        state->named = false;
        SetLastError(error);
        return nullptr;
    };
    if (state->handleFd < 0 || state->ownerFd < 0) return fail(ERROR_ACCESS_DENIED);
    existed = ::flock(state->handleFd, LOCK_EX | LOCK_NB) != 0;
    if (!existed && !create) return fail(ERROR_FILE_NOT_FOUND);
    if (!existed) writeMarker(state->ownerFd, "free\n");  // a new mutex, whatever an old one left
    ::flock(state->handleFd, LOCK_SH);
    table.byKey[key] = state;
    return state;
}

enum class Take { Taken, Abandoned, Busy };

// One attempt of the calling thread to own the mutex.
Take tryTake(MutexState& state) {
    const DWORD me = currentTid();
    std::lock_guard lock(state.mutex);
    if (state.ownerTid == me) {
        ++state.recursion;
        return Take::Taken;
    }
    if (state.ownerTid != 0) {
        if (threadAlive(state.ownerTid)) return Take::Busy;
        // The owning thread ended without releasing: this process keeps the lock, the thread takes over.
        state.ownerTid = me;
        state.recursion = 1;
        if (state.named) writeMarker(state.ownerFd, ownedMarker());
        return Take::Abandoned;
    }
    Take result = Take::Taken;
    if (state.named) {
        if (::flock(state.ownerFd, LOCK_EX | LOCK_NB) != 0) return Take::Busy;
        if (readMarker(state.ownerFd).rfind("owned", 0) == 0) result = Take::Abandoned;
        writeMarker(state.ownerFd, ownedMarker());
    }
    state.ownerTid = me;
    state.recursion = 1;
    return result;
}

HANDLE handleFor(std::shared_ptr<MutexState> state) {
    auto object = std::make_shared<MutexObject>();
    object->state = std::move(state);
    return platform::detail::insertHandle(std::move(object));
}

}  // namespace

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    const std::u16string full = name ? std::u16string(name) : std::u16string();
    if (auto fault = platform::detail::takeFault("CreateMutexW", platform::toUtf8(full))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::shared_ptr<MutexState> state;
    bool existed = false;
    if (full.empty()) {
        state = std::make_shared<MutexState>();
    } else {
        ParsedName parsed;
        if (DWORD error = parseName(full, parsed); error != ERROR_SUCCESS) {
            SetLastError(error);
            return nullptr;
        }
        state = namedState(parsed, true, existed);
        if (!state) return nullptr;
    }
    if (initialOwner && !existed) tryTake(*state);
    HANDLE handle = handleFor(std::move(state));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string full(name);
    if (auto fault = platform::detail::takeFault("OpenMutexW", platform::toUtf8(full))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    ParsedName parsed;
    if (DWORD error = parseName(full, parsed); error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    bool existed = false;
    auto state = namedState(parsed, false, existed);
    if (!state) return nullptr;
    return handleFor(std::move(state));
}

BOOL WINAPI ReleaseMutex(HANDLE mutex) {
    auto object = platform::detail::handleAs<MutexObject>(mutex);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    MutexState& state = *object->state;
    std::lock_guard lock(state.mutex);
    if (state.ownerTid != currentTid()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--state.recursion == 0) {
        state.ownerTid = 0;
        if (state.named) {
            writeMarker(state.ownerFd, "free\n");
            ::flock(state.ownerFd, LOCK_UN);
        }
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    if (auto fault = platform::detail::takeFault("WaitForSingleObject")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    auto mutex = platform::detail::handleAs<MutexObject>(object);  // kept alive for the whole wait
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        switch (tryTake(*mutex->state)) {
        case Take::Taken: return WAIT_OBJECT_0;
        case Take::Abandoned: return WAIT_ABANDONED;
        case Take::Busy: break;
        }
        const ULONGLONG waited = GetTickCount64() - start;
        if (milliseconds != INFINITE && waited >= milliseconds) return WAIT_TIMEOUT;
        // In virtual time nothing else may move the clock: the wait moves it in steps up to its
        // timeout. In real time the step is ignored by the clock.
        ULONGLONG step = kVirtualStep;
        if (milliseconds != INFINITE) step = std::min<ULONGLONG>(step, milliseconds - waited);
        platform::advanceClock(step);
        std::this_thread::sleep_for(kRealPause);
    }
}
