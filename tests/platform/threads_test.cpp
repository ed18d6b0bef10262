// Threads: their stack size, ids, exit codes and handles that waits see signalled once they end; the
// interlocked operations.
#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

struct Seen {
    size_t stackSize = 0;
    DWORD tid = 0;
    HANDLE release = nullptr;  // an event the thread waits for before it ends
};

DWORD measure(LPVOID parameter) {
    auto* seen = static_cast<Seen*>(parameter);
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstacksize(&attributes, &seen->stackSize);
    pthread_attr_destroy(&attributes);
    seen->tid = GetCurrentThreadId();
    if (seen->release) WaitForSingleObject(seen->release, INFINITE);
    return 42;
}

TEST(Thread, RunsWithTheStackItAskedFor) {
    Machine machine;
    const SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    struct Case {
        SIZE_T asked;
        SIZE_T runs;
    };
    const Case cases[] = {
        {0x200000, 0x200000},             // the scan thread's 2 MiB
        {0x100000 + 1, 0x100000 + page},  // whole pages
        {1, static_cast<SIZE_T>(PTHREAD_STACK_MIN)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        Seen seen;
        DWORD tid = 0;
        HANDLE thread = CreateThread(nullptr, c.asked, measure, &seen, 0, &tid);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(platform::threadStackSize(thread), c.runs);
        ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_GE(seen.stackSize, c.runs);  // the C library may hand out a larger stack it keeps
        EXPECT_EQ(seen.tid, tid);
        EXPECT_NE(tid, GetCurrentThreadId());
        EXPECT_TRUE(CloseHandle(thread));
    }
}

TEST(Thread, HandleIsSignalledWithItsExitCodeOnceTheThreadEnds) {
    Machine machine;
    Seen seen;
    seen.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, measure, &seen, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 250), WAIT_TIMEOUT);
    SetEvent(seen.release);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(seen.release);
}

struct Relay {
    HANDLE release;
    HANDLE done;
};

DWORD relay(LPVOID parameter) {
    auto* events = static_cast<Relay*>(parameter);
    WaitForSingleObject(events->release, INFINITE);
    SetEvent(events->done);
    return 0;
}

TEST(Thread, ClosingTheHandleLeavesTheThreadRunning) {
    Machine machine;
    Relay events{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, relay, &events, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(events.release);
    EXPECT_EQ(WaitForSingleObject(events.done, INFINITE), WAIT_OBJECT_0);
    CloseHandle(events.release);
    CloseHandle(events.done);
}

TEST(Thread, RefusedCreations) {
    Machine machine;
    struct Case {
        const char* what;
        DWORD flags;
        bool fault;
        DWORD error;
    };
    const Case cases[] = {
        {"suspended start is not modelled", 0x4 /* CREATE_SUSPENDED */, false, ERROR_INVALID_PARAMETER},
        {"fault switch", 0, true, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clearFaults();
        if (c.fault) platform::setFault("CreateThread", platform::Fault());
        Seen seen;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateThread(nullptr, 0, measure, &seen, c.flags, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    platform::clearFaults();
}

TEST(Interlocked, OperationsAnswerAsDocumented) {
    LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, -4), 9);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 7, 4), 5);  // no match: unchanged
    EXPECT_EQ(value, 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 7, 5), 5);
    EXPECT_EQ(value, 7);
}

TEST(Interlocked, CountsFromManyThreadsAddUp) {
    LONG count = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                InterlockedIncrement(&count);
                InterlockedExchangeAdd(&count, 2);
                InterlockedDecrement(&count);
            }
        });
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(count, 4 * 20000 * 2);
}

}  // namespace
