// Events. An unnamed event lives in its process. A named one is shared by the machine's processes
// through two files under "objects/" of the machine root, beside the mutexes:
//  - "event-<key>.handle": every handle holds a shared flock on it, so the event exists while a new
//    handle could take an exclusive lock and fails to;
//  - "event-<key>.state": "manual" or "auto", then "set" or "reset"; read and changed under an
//    exclusive flock of the file itself, so a wait that takes an auto-reset event's signal takes it
//    alone.
// Waits poll the state (see sync.cpp).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "internal.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace {

struct EventObject : platform::detail::Waitable {
    // Unnamed events.
    std::mutex mutex;
    bool manualReset = false;
    bool signalled = false;
    // Named events.
    bool named = false;
    int handleFd = -1;
    int stateFd = -1;
    fs::path objects;

    ~EventObject() override {
        if (!named) return;
        platform::detail::MachineLock lock(objects / ".lock", true);
        if (stateFd >= 0) ::close(stateFd);
        if (handleFd >= 0) ::close(handleFd);
    }

    // Runs `change` on (manual, signalled) under the event's lock; writes the state back.
    template <class Change>
    auto update(Change change) {
        if (!named) {
            std::lock_guard lock(mutex);
            return change(manualReset, signalled);
        }
        ::flock(stateFd, LOCK_EX);
        char buffer[32] = {};
        ssize_t got = ::pread(stateFd, buffer, sizeof buffer - 1, 0);
        std::string text(buffer, got > 0 ? static_cast<size_t>(got) : 0);
        bool manual = text.rfind("manual", 0) == 0;
        bool set = text.find(" set") != std::string::npos;
        const bool wasSet = set;
        auto result = change(manual, set);
        if (set != wasSet) writeState(manual, set);
        ::flock(stateFd, LOCK_UN);
        return result;
    }

    void writeState(bool manual, bool set) const {
        const std::string text = std::string(manual ? "manual" : "auto") + (set ? " set\n" : " reset\n");
        if (::ftruncate(stateFd, 0) != 0) return;
        ssize_t written = ::pwrite(stateFd, text.data(), text.size(), 0);
        (void)written;
    }

    platform::detail::WaitTake tryTake() override {
        return update([](bool manual, bool& set) {
            if (!set) return platform::detail::WaitTake::Busy;
            if (!manual) set = false;
            return platform::detail::WaitTake::Taken;
        });
    }
    void undoTake() override {
        update([](bool manual, bool& set) {
            if (!manual) set = true;
            return 0;
        });
    }
};

int openLockFile(const fs::path& path) { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); }

// Opens (when `create` is false, only an existing) or makes the named event's files; `existed` tells
// whether another handle had it. False with the error set when it fails.
bool openNamed(EventObject& event, const platform::detail::ObjectName& parsed, bool create, bool manualReset,
               bool initialState, bool& existed) {
    const std::string key = "event-" + platform::detail::objectFileKey(parsed);
    event.objects = platform::machineRoot() / "objects";
    std::error_code ec;
    fs::create_directories(event.objects, ec);
    platform::detail::MachineLock lock(event.objects / ".lock", true);
    event.handleFd = openLockFile(event.objects / (key + ".handle"));
    event.stateFd = openLockFile(event.objects / (key + ".state"));
    auto fail = [&](DWORD error) {
        if (event.handleFd >= 0) ::close(event.handleFd);
        if (event.stateFd >= 0) ::close(event.stateFd);
        event.handleFd = event.stateFd = -1;
        SetLastError(error);
        return false;
    };
    if (event.handleFd < 0 || event.stateFd < 0) return fail(ERROR_ACCESS_DENIED);
    existed = ::flock(event.handleFd, LOCK_EX | LOCK_NB) != 0;
    if (!existed && !create) return fail(ERROR_FILE_NOT_FOUND);
    if (!existed) {  // a new event, whatever an old one of the name left
        ::flock(event.stateFd, LOCK_EX);
        event.writeState(manualReset, initialState);
        ::flock(event.stateFd, LOCK_UN);
    }
    ::flock(event.handleFd, LOCK_SH);
    event.named = true;
    return true;
}

std::shared_ptr<EventObject> eventOf(HANDLE handle) {
    auto event = platform::detail::handleAs<EventObject>(handle);
    if (!event) SetLastError(ERROR_INVALID_HANDLE);
    return event;
}

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    const std::u16string full = name ? std::u16string(name) : std::u16string();
    if (auto fault = platform::detail::takeFault("CreateEventW", platform::toUtf8(full))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto event = std::make_shared<EventObject>();
    bool existed = false;
    if (full.empty()) {
        event->manualReset = manualReset != FALSE;
        event->signalled = initialState != FALSE;
    } else {
        platform::detail::ObjectName parsed;
        if (DWORD error = platform::detail::parseObjectName(full, parsed); error != ERROR_SUCCESS) {
            SetLastError(error);
            return nullptr;
        }
        if (!openNamed(*event, parsed, true, manualReset != FALSE, initialState != FALSE, existed)) return nullptr;
    }
    HANDLE handle = platform::detail::insertHandle(std::move(event));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI OpenEventW(DWORD, BOOL, LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    platform::detail::ObjectName parsed;
    if (DWORD error = platform::detail::parseObjectName(name, parsed); error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    auto event = std::make_shared<EventObject>();
    bool existed = false;
    if (!openNamed(*event, parsed, false, false, false, existed)) return nullptr;
    return platform::detail::insertHandle(std::move(event));
}

BOOL WINAPI SetEvent(HANDLE handle) {
    auto event = eventOf(handle);
    if (!event) return FALSE;
    event->update([](bool, bool& set) { return set = true; });
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE handle) {
    auto event = eventOf(handle);
    if (!event) return FALSE;
    event->update([](bool, bool& set) { return set = false; });
    return TRUE;
}
