// Message queues: order and filters of posted messages, WM_QUIT, messages sent between threads (with
// re-entrant sends and timeouts), timers on the virtual clock, waits for messages, message names.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

constexpr UINT WM_DOUBLE = WM_USER + 1;  // answers wParam * 2
constexpr UINT WM_BOUNCE = WM_USER + 2;  // sends WM_DOUBLE to the bounce target, answers that + 1
constexpr UINT WM_READY = WM_USER + 3;

std::atomic<HWND> bounceTarget{nullptr};

LRESULT CALLBACK answerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_DOUBLE: return static_cast<LRESULT>(wParam * 2);
    case WM_BOUNCE: return SendMessageW(bounceTarget.load(), WM_DOUBLE, wParam, 0) + 1;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

struct Queue {
    Machine machine;
    HWND hwnd = nullptr;
    Queue() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = answerProc;
        wc.lpszClassName = u"Answerer";
        RegisterClassExW(&wc);
        hwnd = make(u"owner");
        // Nothing left over from an earlier test.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    ~Queue() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        UnregisterClassW(u"Answerer", nullptr);
    }
    static HWND make(LPCWSTR name) {
        return CreateWindowExW(0, u"Answerer", name, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
};

std::vector<UINT> drain(HWND filter = nullptr, UINT low = 0, UINT high = 0) {
    std::vector<UINT> seen;
    MSG msg;
    while (PeekMessageW(&msg, filter, low, high, PM_REMOVE)) seen.push_back(msg.message);
    return seen;
}

TEST(UserMessages, PostedMessagesKeepTheirOrderAndFilters) {
    Queue q;
    for (UINT m : {WM_USER + 10, WM_USER + 11, WM_USER + 12}) ASSERT_TRUE(PostMessageW(q.hwnd, m, m, 0));
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 13, 0, 0));
    ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 14, 0, 0));  // NULL: a thread message too
    MSG msg{};
    // A range picks out one; PM_NOREMOVE leaves it.
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 11, WM_USER + 11, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 11u);
    EXPECT_EQ(msg.wParam, WM_USER + 11u);
    EXPECT_EQ(msg.hwnd, q.hwnd);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 11, WM_USER + 11, PM_REMOVE));
    // Thread messages only, then the window's.
    EXPECT_EQ(drain(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))), (std::vector<UINT>{WM_USER + 13, WM_USER + 14}));
    EXPECT_EQ(drain(q.hwnd), (std::vector<UINT>{WM_USER + 10, WM_USER + 12}));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // WM_QUIT waits for the posted messages, and comes whatever the filter.
    PostQuitMessage(7);
    PostMessageW(q.hwnd, WM_USER + 20, 0, 0);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 20u);
    EXPECT_EQ(GetMessageW(&msg, q.hwnd, WM_USER, WM_USER), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // TranslateMessage: the character of a key comes next.
    MSG key{q.hwnd, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    PostMessageW(q.hwnd, WM_USER + 30, 0, 0);
    EXPECT_TRUE(TranslateMessage(&key));
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(drain(), std::vector<UINT>{WM_USER + 30});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostThreadMessageW(0x7fffffff, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
    // Messages that carry pointers are only sent; a WM_TIMER that names no timer of ours calls nothing.
    for (UINT m : {WM_SETTEXT, WM_GETTEXT, WM_CREATE, WM_NCCREATE}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(PostMessageW(q.hwnd, m, 0, 0)) << m;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    }
    EXPECT_FALSE(PostThreadMessageW(GetCurrentThreadId(), WM_SETTEXT, 0, 0));
    MSG forged{q.hwnd, WM_TIMER, 9, 0x1234, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&forged), 0);
    // A destroyed window's messages go with it.
    HWND other = Queue::make(u"other");
    PostMessageW(other, WM_USER + 40, 0, 0);
    DestroyWindow(other);
    EXPECT_TRUE(drain().empty());
}

TEST(UserMessages, SendMessageBetweenThreadsWhileBothWait) {
    Queue q;
    bounceTarget = q.hwnd;
    std::promise<HWND> workerWindow;
    std::atomic<LRESULT> firstAnswer{0};
    std::thread worker([&] {
        HWND mine = Queue::make(u"worker");
        workerWindow.set_value(mine);
        // The owner sits in GetMessageW: it handles the send there.
        firstAnswer = SendMessageW(q.hwnd, WM_DOUBLE, 21, 0);
        PostMessageW(q.hwnd, WM_READY, 0, 0);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        DestroyWindow(mine);
    });
    HWND workerHwnd = workerWindow.get_future().get();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_READY) DispatchMessageW(&msg);
    EXPECT_EQ(firstAnswer.load(), 42);
    // Now the owner waits in SendMessageW while the worker's handler sends back to it: no deadlock.
    EXPECT_EQ(SendMessageW(workerHwnd, WM_BOUNCE, 5, 0), 11);
    DWORD_PTR answer = 0;
    EXPECT_EQ(SendMessageTimeoutW(workerHwnd, WM_DOUBLE, 50, 0, SMTO_NORMAL, 1000, &answer), 1);
    EXPECT_EQ(answer, 100u);
    EXPECT_EQ(GetWindowThreadProcessId(workerHwnd, nullptr), GetWindowThreadProcessId(workerHwnd, nullptr));
    EXPECT_NE(GetWindowThreadProcessId(workerHwnd, nullptr), GetCurrentThreadId());
    PostThreadMessageW(GetWindowThreadProcessId(workerHwnd, nullptr), WM_QUIT, 0, 0);
    worker.join();
    EXPECT_FALSE(IsWindow(workerHwnd));
}

TEST(UserMessages, SendsToABusyOrEndedThread) {
    Queue q;
    std::promise<HWND> made;
    std::promise<void> release;
    std::thread worker([&] {
        HWND mine = Queue::make(u"busy");
        made.set_value(mine);
        release.get_future().wait();  // not looking at its queue
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);  // handles the late message; its answer is dropped
        // Ends with its window: the window goes with the thread.
    });
    HWND busy = made.get_future().get();
    const ULONGLONG start = GetTickCount64();
    DWORD_PTR answer = 99;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SendMessageTimeoutW(busy, WM_DOUBLE, 1, 0, SMTO_NORMAL, 500, &answer), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_GE(GetTickCount64() - start, 500u);  // virtual time
    release.set_value();
    worker.join();
    EXPECT_FALSE(IsWindow(busy));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SendMessageW(busy, WM_DOUBLE, 1, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

std::vector<UINT_PTR> procTimers;
void CALLBACK timerProc(HWND, UINT msg, UINT_PTR id, DWORD) {
    if (msg == WM_TIMER) procTimers.push_back(id);
}

TEST(UserTimers, TimersRunOnTheVirtualClock) {
    Queue q;
    // A 120-second timer: the idle loop moves the clock on instead of waiting.
    ULONGLONG start = GetTickCount64();
    ASSERT_EQ(SetTimer(q.hwnd, 1, 120000, nullptr), 1u);
    MSG msg{};
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.hwnd, q.hwnd);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(GetTickCount64() - start, 120000u);
    EXPECT_TRUE(KillTimer(q.hwnd, 1));
    EXPECT_FALSE(KillTimer(q.hwnd, 1));

    // Two timers interleave by their due times; each comes once however late it is taken.
    start = GetTickCount64();
    SetTimer(q.hwnd, 1, 500, nullptr);
    SetTimer(q.hwnd, 2, 300, nullptr);
    std::vector<std::pair<WPARAM, ULONGLONG>> fired;
    while (fired.size() < 5 && GetMessageW(&msg, nullptr, 0, 0)) fired.emplace_back(msg.wParam, GetTickCount64() - start);
    EXPECT_EQ(fired, (std::vector<std::pair<WPARAM, ULONGLONG>>{{2, 300}, {1, 500}, {2, 600}, {2, 900}, {1, 1000}}));
    platform::advanceClock(5000);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_TIMER, WM_TIMER}));
    // Peeking without removing leaves a due timer due.
    platform::advanceClock(1000);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    KillTimer(q.hwnd, 1);
    KillTimer(q.hwnd, 2);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // A thread timer with a callback, and a window's timer ends with its window.
    procTimers.clear();
    const UINT_PTR id = SetTimer(nullptr, 0, 1000, timerProc);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.hwnd, nullptr);
    DispatchMessageW(&msg);
    EXPECT_EQ(procTimers, std::vector<UINT_PTR>{id});
    EXPECT_TRUE(KillTimer(nullptr, id));
    HWND other = Queue::make(u"other");
    SetTimer(other, 5, 100, nullptr);
    DestroyWindow(other);
    platform::advanceClock(1000);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(UserMessages, WaitsAndMessageNames) {
    Queue q;
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount64() - start, 1000u);
    PostMessageW(q.hwnd, WM_USER, 0, 0);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_TRUE(WaitMessage());
    drain();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &mutex, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, TRUE, 0, QS_ALLINPUT), WAIT_FAILED);
    // A timer ends a wait for messages too.
    SetTimer(q.hwnd, 3, 2000, nullptr);
    start = GetTickCount64();
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(GetTickCount64() - start, 2000u);
    KillTimer(q.hwnd, 3);

    const UINT a = RegisterWindowMessageW(u"MFP_SCAN_DONE");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageW(u"mfp_scan_done"), a);
    EXPECT_NE(RegisterWindowMessageW(u"MFP_SCAN_FAILED"), a);
    EXPECT_EQ(RegisterWindowMessageW(u""), 0u);
    EXPECT_TRUE(ChangeWindowMessageFilter(WM_USER + 27, MSGFLT_ADD));
}

}  // namespace
