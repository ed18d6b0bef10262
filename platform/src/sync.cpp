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
#include <optional>
#include <vector>
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

enum class Take { Taken, Abandoned, Busy };
Take tryTake(MutexState& state);
void release(MutexState& state);

struct MutexObject : platform::detail::Waitable {
    std::shared_ptr<MutexState> state;
    platform::detail::WaitTake tryTake() override {
        switch (::tryTake(*state)) {
        case Take::Taken: return platform::detail::WaitTake::Taken;
        case Take::Abandoned: return platform::detail::WaitTake::Abandoned;
        case Take::Busy: break;
        }
        return platform::detail::WaitTake::Busy;
    }
    void undoTake() override { release(*state); }
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

using ParsedName = platform::detail::ObjectName;

}  // namespace

// Splits the namespace prefix off; ERROR_PATH_NOT_FOUND for any other folder in the name.
DWORD platform::detail::parseObjectName(std::u16string_view full, ObjectName& parsed) {
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
std::string platform::detail::objectFileKey(const ObjectName& parsed) {
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

namespace {

DWORD parseName(std::u16string_view full, ParsedName& parsed) { return platform::detail::parseObjectName(full, parsed); }
std::string fileKey(const ParsedName& parsed) { return platform::detail::objectFileKey(parsed); }

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

// Gives up one level of the calling thread's ownership (the caller checked that it owns the mutex).
void release(MutexState& state) {
    std::lock_guard lock(state.mutex);
    if (state.ownerTid != currentTid()) return;
    if (--state.recursion == 0) {
        state.ownerTid = 0;
        if (state.named) {
            writeMarker(state.ownerFd, "free\n");
            ::flock(state.ownerFd, LOCK_UN);
        }
    }
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
    {
        std::lock_guard lock(state.mutex);
        if (state.ownerTid != currentTid()) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
    }
    release(state);
    return TRUE;
}

namespace {

using platform::detail::Waitable;
using platform::detail::WaitTake;

// The objects of a wait, kept alive for the whole wait; empty with ERROR_INVALID_HANDLE when a handle
// is not a waitable object.
std::vector<std::shared_ptr<Waitable>> waitables(DWORD count, const HANDLE* handles) {
    std::vector<std::shared_ptr<Waitable>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = platform::detail::handleAs<Waitable>(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return {};
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

// One round of a wait: WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i, or WAIT_TIMEOUT when nothing is
// signalled yet. A wait on all takes every object or none.
DWORD tryRound(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll) {
    if (!waitAll) {
        for (size_t i = 0; i < objects.size(); ++i) {
            switch (objects[i]->tryTake()) {
            case WaitTake::Taken: return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            case WaitTake::Abandoned: return WAIT_ABANDONED + static_cast<DWORD>(i);
            case WaitTake::Busy: break;
            }
        }
        return WAIT_TIMEOUT;
    }
    std::optional<DWORD> abandoned;
    for (size_t i = 0; i < objects.size(); ++i) {
        WaitTake took = objects[i]->tryTake();
        if (took == WaitTake::Busy) {
            for (size_t j = i; j-- > 0;) objects[j]->undoTake();
            return WAIT_TIMEOUT;
        }
        if (took == WaitTake::Abandoned && !abandoned) abandoned = static_cast<DWORD>(i);
    }
    return abandoned ? WAIT_ABANDONED + *abandoned : WAIT_OBJECT_0;
}

DWORD waitFor(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
    if (auto fault = platform::detail::takeFault("WaitForSingleObject")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto objects = waitables(count, handles);
    if (objects.empty()) return WAIT_FAILED;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const DWORD result = tryRound(objects, waitAll);
        if (result != WAIT_TIMEOUT) return result;
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

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) { return waitFor(1, &object, false, milliseconds); }

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) {
        for (DWORD j = 0; j < i; ++j) {
            if (waitAll && handles[i] == handles[j]) {  // a wait on all may not name an object twice
                SetLastError(ERROR_INVALID_PARAMETER);
                return WAIT_FAILED;
            }
        }
    }
    return waitFor(count, handles, waitAll != FALSE, milliseconds);
}
