// Threads on POSIX threads, with a kernel handle that waits see signalled once the thread has ended,
// and the interlocked operations on 32-bit values.
#include <pthread.h>
#include <unistd.h>

#include <condition_variable>
#include <limits.h>
#include <mutex>

#include "internal.h"
#include "win/kernel.h"

namespace {

struct ThreadState {
    std::mutex mutex;
    std::condition_variable started;
    DWORD tid = 0;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    SIZE_T stackSize = 0;
};

struct ThreadObject : platform::detail::Waitable {
    std::shared_ptr<ThreadState> state;
    platform::detail::WaitTake tryTake() override {
        std::lock_guard lock(state->mutex);
        return state->ended ? platform::detail::WaitTake::Taken : platform::detail::WaitTake::Busy;
    }
};

struct Start {
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
    std::shared_ptr<ThreadState> state;
};

void* runThread(void* argument) {
    std::unique_ptr<Start> start(static_cast<Start*>(argument));
    {
        std::lock_guard lock(start->state->mutex);
        start->state->tid = GetCurrentThreadId();
    }
    start->state->started.notify_all();
    const DWORD code = start->routine(start->parameter);
    {
        std::lock_guard lock(start->state->mutex);
        start->state->exitCode = code;
        start->state->ended = true;
    }
    return nullptr;
}

// A stack of `bytes` rounded up to whole pages and to the host's least size.
SIZE_T hostStackSize(SIZE_T bytes) {
    const SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    SIZE_T size = (bytes + page - 1) / page * page;
    const SIZE_T least = static_cast<SIZE_T>(PTHREAD_STACK_MIN);
    return size < least ? least : size;
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                           DWORD flags, LPDWORD threadId) {
    if (!routine || (flags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("CreateThread")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto state = std::make_shared<ThreadState>();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize) pthread_attr_setstacksize(&attributes, hostStackSize(stackSize));
    size_t actual = 0;
    pthread_attr_getstacksize(&attributes, &actual);
    state->stackSize = actual;
    auto* start = new Start{routine, parameter, state};
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, runThread, start);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD tid = 0;
    {
        std::unique_lock lock(state->mutex);
        state->started.wait(lock, [&] { return state->tid != 0; });
        tid = state->tid;
    }
    auto object = std::make_shared<ThreadObject>();
    object->state = std::move(state);
    HANDLE handle = platform::detail::insertHandle(std::move(object));
    if (threadId) *threadId = tid;
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = platform::detail::handleAs<ThreadObject>(thread);
    if (!object || !exitCode) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(object->state->mutex);
    *exitCode = object->state->exitCode;
    return TRUE;
}

LONG WINAPI InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedExchangeAdd(LONG volatile* addend, LONG value) {
    return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

namespace platform {

std::optional<SIZE_T> threadStackSize(HANDLE thread) {
    auto object = detail::handleAs<ThreadObject>(thread);
    if (!object) return std::nullopt;
    return object->state->stackSize;
}

}  // namespace platform
