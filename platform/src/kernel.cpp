// Heaps, critical sections, the machine clock, debugger output, process and thread ids.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "internal.h"
#include "platform/low_memory.h"
#include "win/kernel.h"

namespace {

// The process heap is a pseudo handle; blocks come from the C heap.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFE0000));

void* allocate(const char* function, SIZE_T bytes, bool zero) {
    if (auto fault = platform::detail::takeFault(function, {}, bytes)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = zero ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

struct ClockState {
    std::atomic<bool> virtualTime{false};
    std::atomic<uint64_t> virtualNow{1000};
    std::mutex mutex;
    std::vector<DWORD> sleeps;
    // Reads waiting for a peer's reply (platform::detail::PeerWait): while there are any, the virtual
    // clock stands still.
    std::mutex peerMutex;
    std::condition_variable peerDone;
    int peerWaits = 0;
    ClockState() {
        const char* mode = std::getenv("PLATFORM_CLOCK");
        if (mode && std::strcmp(mode, "virtual") == 0) virtualTime = true;
    }
};
ClockState& machineClock() {
    static ClockState* state = new ClockState;
    return *state;
}

// Moves the virtual clock once no read is waiting for its peer's reply.
void moveVirtualClock(ClockState& state, uint64_t milliseconds) {
    {
        std::unique_lock lock(state.peerMutex);
        state.peerDone.wait(lock, [&] { return state.peerWaits == 0; });
    }
    state.virtualNow += milliseconds;
}

struct DebugState {
    std::mutex mutex;
    std::vector<std::string> lines;
};
DebugState& debugState() {
    static DebugState* state = new DebugState;
    return *state;
}

void writeDebugLine(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    auto& state = debugState();
    std::lock_guard lock(state.mutex);
    {
        std::ofstream log(platform::machineRoot() / "debug.log", std::ios::app | std::ios::binary);
        log << getpid() << ' ' << line << '\n';
    }
    if (const char* echo = std::getenv("PLATFORM_DEBUG_STDERR"); echo && *echo == '1')
        std::fprintf(stderr, "[debug] %s\n", line.c_str());
    state.lines.push_back(std::move(line));
}

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    return allocate("LocalAlloc", bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL WINAPI LocalFree(HLOCAL mem) {
    // A block of the low arena goes back there; an arena address that is no live block is refused.
    if (mem && platform::inLowArena(mem)) {
        if (platform::detail::freeLow(mem)) return nullptr;
        OutputDebugStringA("LocalFree: not a block of the low arena");
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    std::free(mem);
    return nullptr;
}

HANDLE WINAPI GetProcessHeap() { return kProcessHeap; }

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (heap != kProcessHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return allocate("HeapAlloc", bytes, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID mem) {
    if (heap != kProcessHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::free(mem);
    return TRUE;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount) {
    if (auto fault = platform::detail::takeFault("InitializeCriticalSectionAndSpinCount")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    cs->impl = new std::recursive_mutex;
    cs->spinCount = spinCount;
    return TRUE;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->impl = new std::recursive_mutex;
    cs->spinCount = 0;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->impl)->lock(); }

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    static_cast<std::recursive_mutex*>(cs->impl)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<std::recursive_mutex*>(cs->impl);
    cs->impl = nullptr;
}

void WINAPI Sleep(DWORD milliseconds) {
    auto& state = machineClock();
    {
        std::lock_guard lock(state.mutex);
        state.sleeps.push_back(milliseconds);
    }
    if (state.virtualTime) {
        moveVirtualClock(state, milliseconds);
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

ULONGLONG WINAPI GetTickCount64() {
    auto& state = machineClock();
    if (state.virtualTime) return state.virtualNow;
    using namespace std::chrono;
    return static_cast<ULONGLONG>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

void WINAPI OutputDebugStringW(LPCWSTR text) {
    writeDebugLine(text ? platform::toUtf8(text) : std::string());
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    writeDebugLine(text ? platform::toUtf8(platform::detail::ansiToWide(text)) : std::string());
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

namespace platform {

void useVirtualClock(bool on) { machineClock().virtualTime = on; }

bool detail::virtualClockOn() { return machineClock().virtualTime; }

void advanceClock(uint64_t milliseconds) {
    auto& state = machineClock();
    if (state.virtualTime) moveVirtualClock(state, milliseconds);
    else state.virtualNow += milliseconds;
}

detail::PeerWait::PeerWait() {
    auto& state = machineClock();
    std::lock_guard lock(state.peerMutex);
    ++state.peerWaits;
}

detail::PeerWait::~PeerWait() {
    auto& state = machineClock();
    std::lock_guard lock(state.peerMutex);
    if (--state.peerWaits == 0) state.peerDone.notify_all();
}

std::vector<DWORD> sleepLog() {
    auto& state = machineClock();
    std::lock_guard lock(state.mutex);
    return state.sleeps;
}

void clearSleepLog() {
    auto& state = machineClock();
    std::lock_guard lock(state.mutex);
    state.sleeps.clear();
}

std::vector<std::string> debugLog() {
    auto& state = debugState();
    std::lock_guard lock(state.mutex);
    return state.lines;
}

void clearDebugLog() {
    auto& state = debugState();
    std::lock_guard lock(state.mutex);
    state.lines.clear();
}

}  // namespace platform
