// Per-thread message queues: posted and sent messages, their retrieval and dispatch, WM_QUIT, timers
// on the machine clock, the markers that tell a thread posting input when it has been handled, and the
// hooks (CBT and message filters).
//
// A sent message to another thread's window is queued with that thread and the sender waits on its own
// queue, handling what is sent to it meanwhile, until the owner has answered (or ended). In virtual time
// a thread that waits with nothing to do but timers moves the clock on to the next one (after a short
// real pause in which other threads may still post), so long timers take no real time.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "../internal.h"
#include "state.h"
#include "win/kernel.h"

namespace platform::user {

// Painting (paint.cpp): the windows of a thread waiting for a WM_PAINT, and taking one.
std::vector<HWND> pendingPaints(DWORD tid);
void paintTaken(HWND hwnd);
void forgetPaint(HWND hwnd);

namespace {

constexpr auto kRealRound = std::chrono::milliseconds(20);   // longest real wait between checks
constexpr auto kQuietPause = std::chrono::milliseconds(2);   // virtual time: the pause before a jump
constexpr ULONGLONG kVirtualStep = 100;                      // virtual time: a bounded wait's step

// Ends a thread's queue when the thread ends: its pending senders get a failed answer, its windows go.
struct ThreadGuard {
    UserState* owner = nullptr;
    DWORD tid = 0;
    ~ThreadGuard() {
        if (!owner || owner != &state()) return;
        UserState& s = *owner;
        std::lock_guard lock(s.mutex);
        auto it = s.queues.find(tid);
        if (it == s.queues.end()) return;
        auto queue = it->second;
        queue->alive = false;
        for (auto& sent : queue->sent) {
            sent->done = sent->failed = true;
            if (auto sender = queueOf(sent->senderTid)) sender->wake.notify_all();
        }
        queue->sent.clear();
        for (const MSG& m : queue->posted)
            if (m.hwnd == nullptr && m.message == kInputMarker)
                if (auto marker = s.markers.find(m.wParam); marker != s.markers.end()) {
                    marker->second.done = true;
                    if (auto waiter = queueOf(marker->second.waiterTid)) waiter->wake.notify_all();
                }
        forgetThreadWindows(tid);
        forgetClipboard(tid);
        s.hooks.erase(std::remove_if(s.hooks.begin(), s.hooks.end(), [&](const Hook& h) { return h.tid == tid; }),
                      s.hooks.end());
        s.queues.erase(it);
    }
};
thread_local ThreadGuard threadGuard;

bool inRange(UINT msg, UINT low, UINT high) { return (low == 0 && high == 0) || (msg >= low && msg <= high); }

bool isChildOf(HWND parent, HWND hwnd) {
    for (auto w = findWindow(hwnd); w && w->parent; w = findWindow(w->parent))
        if (w->parent == parent) return true;
    return false;
}

bool matches(HWND filter, HWND hwnd) {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return hwnd == nullptr;
    return hwnd == filter || isChildOf(filter, hwnd);
}

// The earliest timer of the queue for this filter, or null; with `clockMoving`, only of the timers
// an idle thread may move the virtual clock on to.
Timer* nextTimer(ThreadQueue& q, HWND filter, UINT low, UINT high, bool clockMoving = false) {
    if (!inRange(WM_TIMER, low, high)) return nullptr;
    Timer* best = nullptr;
    for (Timer& t : q.timers)
        if (matches(filter, t.hwnd) && (!clockMoving || timerMovesClock(t)) && (!best || t.due < best->due))
            best = &t;
    return best;
}

void handleSent(const std::shared_ptr<SentMessage>& sent) {
    LRESULT result = callProc(sent->hwnd, sent->msg, sent->wParam, sent->lParam);
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    sent->result = result;
    sent->done = true;
    if (auto sender = queueOf(sent->senderTid)) sender->wake.notify_all();
}

// Handles one message sent to the calling thread, if there is one (the lock is given up meanwhile).
bool handleOneSent(std::unique_lock<std::mutex>& lock, ThreadQueue& q) {
    if (!q.calls.empty()) {
        auto call = std::move(q.calls.front());
        q.calls.pop_front();
        lock.unlock();
        call();
        lock.lock();
        return true;
    }
    if (q.sent.empty()) return false;
    auto sent = q.sent.front();
    q.sent.pop_front();
    lock.unlock();
    handleSent(sent);
    lock.lock();
    return true;
}

// Waits for something to happen to the queue, at most until `dueAt` (a timer) or `limit` (machine
// time). When nothing comes during a short pause the clock is moved on: to the timer, or by a step
// towards the limit. Only the virtual clock follows; on the real clock that is seen from the
// unchanged time, and the thread waits for real.
void waitRound(std::unique_lock<std::mutex>& lock, ThreadQueue& q, std::optional<ULONGLONG> dueAt,
               std::optional<ULONGLONG> limit) {
    std::optional<ULONGLONG> until = dueAt;
    if (limit && (!until || *limit < *until)) until = limit;
    if (!until) {
        q.wake.wait_for(lock, kRealRound);
        return;
    }
    if (*until <= GetTickCount64()) return;
    if (q.wake.wait_for(lock, kQuietPause) == std::cv_status::no_timeout) return;
    const ULONGLONG now = GetTickCount64();
    if (*until <= now) return;
    ULONGLONG step = *until - now;
    if (!dueAt || (limit && *limit < *dueAt)) step = std::min(step, kVirtualStep);
    platform::advanceClock(step);
    if (GetTickCount64() - now >= step) return;  // virtual time: it moved
    q.wake.wait_for(lock, std::min<std::chrono::milliseconds>(kRealRound, std::chrono::milliseconds(step)));
}

// The window of the thread to get a WM_PAINT next (lock held): a live one matching the filter whose
// parent is not waiting for one itself, so parents paint before their children.
HWND nextPaint(ThreadQueue& q, HWND filter) {
    const auto pending = pendingPaints(q.tid);
    for (HWND hwnd : pending) {
        auto w = findWindow(hwnd);
        if (!w) {
            forgetPaint(hwnd);  // a window that is gone
            continue;
        }
        if (w->destroying || !matches(filter, hwnd)) continue;
        if (w->parent && std::find(pending.begin(), pending.end(), w->parent) != pending.end() && findWindow(w->parent))
            continue;
        return hwnd;
    }
    return nullptr;
}

bool isMarker(const MSG& m) { return m.hwnd == nullptr && m.message == kInputMarker; }

// Marks a marker taken and wakes the thread waiting for it (lock held).
void takeMarker(uint64_t serial) {
    UserState& s = state();
    auto it = s.markers.find(serial);
    if (it == s.markers.end()) return;
    it->second.done = true;
    if (auto waiter = queueOf(it->second.waiterTid)) waiter->wake.notify_all();
}

bool hasWork(ThreadQueue& q) {
    if (!q.sent.empty() || !q.calls.empty() || !q.posted.empty() || q.quit) return true;
    if (nextPaint(q, nullptr)) return true;
    const ULONGLONG now = GetTickCount64();
    for (const Timer& t : q.timers)
        if (t.due <= now) return true;
    return false;
}

// When the earliest timer an idle thread may move the virtual clock on to is due.
std::optional<ULONGLONG> nextDue(ThreadQueue& q) {
    std::optional<ULONGLONG> due;
    for (const Timer& t : q.timers)
        if (timerMovesClock(t) && (!due || t.due < *due)) due = t.due;
    return due;
}

// The retrieval shared by GetMessageW, PeekMessageW and the modal loops; a loop whose `ended` is set
// gets no message (false), whatever its queue holds.
bool takeMessage(MSG* out, HWND filter, UINT low, UINT high, bool remove, bool wait,
                 const std::atomic<bool>* ended = nullptr) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    const bool unfiltered = !filter && low == 0 && high == 0;
    for (;;) {
        if (ended && ended->load()) return false;
        if (handleOneSent(lock, *q)) continue;
        // Markers at the front are taken unseen by a loop that takes everything: what was posted
        // before them has been handled.
        while (unfiltered && !q->posted.empty() && isMarker(q->posted.front())) {
            takeMarker(q->posted.front().wParam);
            q->posted.pop_front();
        }
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (isMarker(*it)) continue;
            if (matches(filter, it->hwnd) && inRange(it->message, low, high)) {
                *out = *it;
                if (remove) q->posted.erase(it);
                return true;
            }
        }
        if (q->quit) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, GetTickCount(), {0, 0}};
            if (remove) q->quit = false;
            return true;
        }
        if (inRange(WM_PAINT, low, high)) {
            if (HWND hwnd = nextPaint(*q, filter)) {
                *out = MSG{hwnd, WM_PAINT, 0, 0, GetTickCount(), {0, 0}};
                if (remove) paintTaken(hwnd);
                return true;
            }
        }
        const ULONGLONG now = GetTickCount64();
        Timer* timer = nextTimer(*q, filter, low, high);
        if (timer && timer->due <= now) {
            *out = MSG{timer->hwnd, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->proc),
                       static_cast<DWORD>(now), {0, 0}};
            if (remove) timer->due = now + timer->interval;
            return true;
        }
        if (!wait) return false;
        std::optional<ULONGLONG> due;
        if (Timer* next = nextTimer(*q, filter, low, high, true)) due = next->due;
        waitRound(lock, *q, due, std::nullopt);
    }
}

bool threadExists(DWORD tid) {
    struct stat st{};
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    return ::stat(task.c_str(), &st) == 0;
}

// Waits for the answer to a message sent to another thread, handling messages sent to this one.
// Returns false when the timeout passed or the owner ended first.
bool awaitAnswer(const std::shared_ptr<SentMessage>& sent, DWORD timeout, bool handleIncoming) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (sent->done) return !sent->failed;
        if (handleIncoming && handleOneSent(lock, *q)) continue;
        std::optional<ULONGLONG> limit;
        if (timeout != INFINITE) {
            limit = start + timeout;
            if (GetTickCount64() >= *limit) return false;
        }
        waitRound(lock, *q, std::nullopt, limit);
    }
}

enum class SendResult { Done, Failed, TimedOut };

SendResult sendTo(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeout, bool handleIncoming,
                  LRESULT& result) {
    result = 0;
    if (hwnd == desktopWindow()) return SendResult::Done;
    if (foreignHandle(hwnd)) {
        SetLastError(foreignWindow(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return SendResult::Failed;
    }
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto window = findWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return SendResult::Failed;
    }
    if (window->tid == currentTid()) {
        lock.unlock();
        result = callProc(hwnd, msg, wParam, lParam);
        return SendResult::Done;
    }
    auto target = queueOf(window->tid);
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return SendResult::Failed;
    }
    myQueue(lock);
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->msg = msg;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->senderTid = currentTid();
    target->sent.push_back(sent);
    target->wake.notify_all();
    lock.unlock();
    if (!awaitAnswer(sent, timeout, handleIncoming)) {
        lock.lock();
        if (!sent->done) {
            // Still unanswered: handled later, the answer dropped.
            sent->senderTid = 0;
            SetLastError(ERROR_TIMEOUT);
            return SendResult::TimedOut;
        }
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return SendResult::Failed;
    }
    result = sent->result;
    return SendResult::Done;
}

HHOOK hookHandle(uintptr_t n) { return reinterpret_cast<HHOOK>(static_cast<uintptr_t>(0x484B0000) + n * 4); }

// The first hook of a kind for the calling thread at or after position `from` of the chain.
std::optional<Hook> hookFrom(size_t from, int kind) {
    UserState& s = state();
    const DWORD me = currentTid();
    for (size_t i = from; i < s.hooks.size(); ++i)
        if (s.hooks[i].kind == kind && (s.hooks[i].tid == 0 || s.hooks[i].tid == me)) return s.hooks[i];
    return std::nullopt;
}

}  // namespace

bool carriesPointer(UINT msg) {
    switch (msg) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_NOTIFY:
    case WM_HELP:
    case 0x004A:  // WM_COPYDATA
        return true;
    default:
        return false;
    }
}

std::shared_ptr<ThreadQueue> myQueue(std::unique_lock<std::mutex>&) {
    UserState& s = state();
    const DWORD tid = currentTid();
    auto& slot = s.queues[tid];
    if (!slot) {
        slot = std::make_shared<ThreadQueue>();
        slot->tid = tid;
        threadGuard.owner = &s;
        threadGuard.tid = tid;
    }
    return slot;
}

std::shared_ptr<ThreadQueue> queueOf(DWORD tid) {
    UserState& s = state();
    auto it = s.queues.find(tid);
    return it == s.queues.end() ? nullptr : it->second;
}

void dropTimers(HWND hwnd, DWORD tid) {
    if (auto q = queueOf(tid))
        q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                        q->timers.end());
}

bool deliverPosted(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return deliverInput(hwnd, msg, wParam, lParam, state().cursor);
}

bool deliverInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, POINT pt) {
    auto window = findWindow(hwnd);
    if (!window) return false;
    auto q = queueOf(window->tid);
    if (!q) return false;
    q->posted.push_back(MSG{hwnd, msg, wParam, lParam, GetTickCount(), pt});
    q->wake.notify_all();
    return true;
}

int takeModalMessage(MSG* out, const std::atomic<bool>& ended) {
    if (!takeMessage(out, nullptr, 0, 0, true, true, &ended)) return -1;
    return out->message == WM_QUIT ? FALSE : TRUE;
}

void wakeThread(DWORD tid) {
    std::lock_guard lock(state().mutex);
    if (auto q = queueOf(tid)) q->wake.notify_all();
}

uint64_t postMarker(DWORD tid) {
    UserState& s = state();
    auto q = queueOf(tid);
    if (!q || !q->alive) return 0;
    const uint64_t serial = s.nextMarker++;
    s.markers[serial] = InputMarker{currentTid(), false};
    q->posted.push_back(MSG{nullptr, kInputMarker, static_cast<WPARAM>(serial), 0, GetTickCount(), s.cursor});
    q->wake.notify_all();
    return serial;
}

bool markerTaken(uint64_t serial) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.markers.find(serial);
    if (it == s.markers.end()) return true;
    if (!it->second.done) return false;
    s.markers.erase(it);
    return true;
}

void forgetMarker(uint64_t serial) {
    std::lock_guard lock(state().mutex);
    state().markers.erase(serial);
}

bool awaitMarkers(const std::vector<std::pair<DWORD, uint64_t>>& markers, DWORD realMilliseconds) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMilliseconds);
    auto forget = [&] {
        for (auto& [tid, serial] : markers) s.markers.erase(serial);
    };
    for (;;) {
        bool all = true;
        for (auto& [tid, serial] : markers) {
            auto it = s.markers.find(serial);
            if (it == s.markers.end() || it->second.done) continue;
            if (!queueOf(tid)) continue;  // the thread ended
            all = false;
        }
        if (all) {
            forget();
            return true;
        }
        if (handleOneSent(lock, *q)) continue;
        if (std::chrono::steady_clock::now() >= until) {
            forget();
            return false;
        }
        q->wake.wait_for(lock, kRealRound);
    }
}

void releaseMarkers() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    for (auto it = q->posted.begin(); it != q->posted.end();) {
        if (isMarker(*it)) {
            takeMarker(it->wParam);
            it = q->posted.erase(it);
        } else {
            ++it;
        }
    }
}

bool deliverCall(HWND hwnd, std::function<void()> call) {
    auto window = findWindow(hwnd);
    if (!window) return false;
    auto q = queueOf(window->tid);
    if (!q) return false;
    q->calls.push_back(std::move(call));
    q->wake.notify_all();
    return true;
}

LRESULT callCbtHooks(int code, WPARAM wParam, LPARAM lParam) {
    std::optional<Hook> hook;
    {
        std::lock_guard lock(state().mutex);
        hook = hookFrom(0, WH_CBT);
    }
    return hook ? hook->proc(code, wParam, lParam) : 0;
}

}  // namespace platform::user

using namespace platform::user;

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (auto fault = platform::detail::takeFault("PostMessageW")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    if (carriesPointer(msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    if (!hwnd) return PostThreadMessageW(currentTid(), msg, wParam, lParam);
    if (hwnd == desktopWindow()) return TRUE;  // the desktop takes it and does nothing
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (DWORD error = postToProcess(other->pid, hwnd, msg, wParam, lParam); error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }
    std::lock_guard lock(state().mutex);
    if (!deliverPosted(hwnd, msg, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (carriesPointer(msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    if (threadId == currentTid()) myQueue(lock);
    auto q = queueOf(threadId);
    if (!q) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    q->posted.push_back(MSG{nullptr, msg, wParam, lParam, GetTickCount(), {0, 0}});
    q->wake.notify_all();
    return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    sendTo(hwnd, msg, wParam, lParam, INFINITE, true, result);
    return result;
}

LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout,
                                   PDWORD_PTR result) {
    LRESULT answer = 0;
    const SendResult r = sendTo(hwnd, msg, wParam, lParam, timeout, true, answer);
    if (result) *result = static_cast<DWORD_PTR>(answer);
    return r == SendResult::Done ? 1 : 0;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        std::lock_guard lock(state().mutex);
        auto window = findWindow(hwnd);
        if (!window || window->tid != currentTid()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
    }
    takeMessage(msg, hwnd, filterMin, filterMax, true, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        std::lock_guard lock(state().mutex);
        if (!findWindow(hwnd)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    return takeMessage(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, false) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP && msg->message != WM_SYSKEYDOWN) return FALSE;
    if (msg->message != WM_KEYDOWN) return TRUE;
    const WPARAM vk = msg->wParam;
    WPARAM ch = 0;
    if (vk >= 'A' && vk <= 'Z') ch = vk - 'A' + 'a';
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB ||
             vk == VK_ESCAPE)
        ch = vk;
    if (ch) {
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        q->posted.push_front(MSG{msg->hwnd, WM_CHAR, ch, msg->lParam, GetTickCount(), msg->pt});
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        // Only a timer of this thread with this procedure: an lParam from elsewhere is not called.
        bool ours = false;
        {
            UserState& s = state();
            std::unique_lock lock(s.mutex);
            auto q = myQueue(lock);
            ours = std::any_of(q->timers.begin(), q->timers.end(), [&](const Timer& t) {
                return t.hwnd == msg->hwnd && t.id == msg->wParam && reinterpret_cast<LPARAM>(t.proc) == msg->lParam;
            });
        }
        if (ours) reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    {
        std::lock_guard lock(state().mutex);
        auto window = findWindow(msg->hwnd);
        if (!window || window->tid != currentTid()) {
            SetLastError(window ? ERROR_WINDOW_OF_OTHER_THREAD : ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    q->quit = true;
    q->quitCode = exitCode;
    q->wake.notify_all();
}

BOOL WINAPI WaitMessage() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto q = myQueue(lock);
    while (!hasWork(*q)) waitRound(lock, *q, nextDue(*q), std::nullopt);
    return TRUE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD) {
    if (waitAll || (count && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        for (DWORD i = 0; i < count; ++i) {
            const DWORD r = WaitForSingleObject(handles[i], 0);
            if (r == WAIT_OBJECT_0) return WAIT_OBJECT_0 + i;
            if (r == WAIT_ABANDONED) return WAIT_ABANDONED_0 + i;
            if (r == WAIT_FAILED) return WAIT_FAILED;
        }
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        if (hasWork(*q)) return WAIT_OBJECT_0 + count;
        std::optional<ULONGLONG> limit;
        if (milliseconds != INFINITE) {
            limit = start + milliseconds;
            if (GetTickCount64() >= *limit) return WAIT_TIMEOUT;
        }
        // Mutexes are polled: in virtual time the clock moves by steps towards the limit.
        if (count && !limit) limit = GetTickCount64() + kVirtualStep;
        waitRound(lock, *q, nextDue(*q), limit);
    }
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    if (hwnd) {
        auto window = findWindow(hwnd);
        if (!window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (window->tid != currentTid()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    auto q = myQueue(lock);
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    auto same = [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; };
    if (!hwnd) {
        if (id == 0 || std::none_of(q->timers.begin(), q->timers.end(), same)) {
            // A new thread timer: a fresh id.
            do {
                id = s.nextThreadTimer++;
            } while (std::any_of(q->timers.begin(), q->timers.end(), same));
        }
    }
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(), same), q->timers.end());
    q->timers.push_back(Timer{hwnd, id, elapse, GetTickCount64() + elapse, proc});
    q->wake.notify_all();
    return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    DWORD tid = currentTid();
    if (hwnd) {
        auto window = findWindow(hwnd);
        if (!window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        tid = window->tid;
    }
    auto q = queueOf(tid);
    if (!q) return FALSE;
    const size_t before = q->timers.size();
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                   [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
                    q->timers.end());
    return q->timers.size() != before ? TRUE : FALSE;
}

HHOOK WINAPI SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) {
    if (idHook != WH_CBT && idHook != WH_MSGFILTER) {
        SetLastError(ERROR_INVALID_HOOK_FILTER);
        return nullptr;
    }
    if (!proc) {
        SetLastError(ERROR_INVALID_FILTER_PROC);
        return nullptr;
    }
    if (threadId != 0 && !threadExists(threadId)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    Hook hook{hookHandle(s.nextHook++), proc, threadId, idHook};
    s.hooks.insert(s.hooks.begin(), hook);
    return hook.handle;
}

LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    std::optional<Hook> next;
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        auto it = std::find_if(s.hooks.begin(), s.hooks.end(), [&](const Hook& h) { return h.handle == hook; });
        if (it == s.hooks.end()) return 0;
        next = hookFrom(static_cast<size_t>(it - s.hooks.begin()) + 1, it->kind);
    }
    return next ? next->proc(code, wParam, lParam) : 0;
}

BOOL WINAPI CallMsgFilterW(LPMSG msg, int code) {
    if (!msg) return FALSE;
    std::optional<Hook> hook;
    {
        std::lock_guard lock(state().mutex);
        hook = hookFrom(0, WH_MSGFILTER);
    }
    return hook && hook->proc(code, 0, reinterpret_cast<LPARAM>(msg)) ? TRUE : FALSE;
}

BOOL WINAPI UnhookWindowsHookEx(HHOOK hook) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto it = std::find_if(s.hooks.begin(), s.hooks.end(), [&](const Hook& h) { return h.handle == hook; });
    if (it == s.hooks.end()) {
        SetLastError(ERROR_INVALID_HOOK_HANDLE);
        return FALSE;
    }
    s.hooks.erase(it);
    return TRUE;
}
