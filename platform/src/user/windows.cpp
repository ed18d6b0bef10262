// Windows of this process: the window table, creation and destruction with their messages, relations,
// window longs, text and enumeration. Classes, positions and visibility, focus and activation, the
// default window procedure and properties have files of their own.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "../internal.h"
#include "state.h"
#include "window_helpers.h"
#include "platform/control.h"
#include "win/kernel.h"

namespace platform::user {

// Painting (paint.cpp): lets go of a destroyed window's invalid area and surface.
void forgetSurface(HWND hwnd);

namespace {

constexpr uintptr_t kDesktop = 0x10010;
constexpr int kPidShift = 24;
constexpr uint64_t kCounterMask = (uint64_t(1) << kPidShift) - 1;

// Removes a window from every table (lock held); the object itself lives on in callers' hands.
void forget(HWND hwnd) {
    UserState& s = state();
    auto w = findWindow(hwnd);
    if (!w) return;
    eraseFrom(siblingsOf(*w), hwnd);
    for (HWND child : std::vector<HWND>(w->children)) forget(child);
    dropTimers(hwnd, w->tid);
    if (auto q = queueOf(w->tid)) {
        if (q->focus == hwnd) q->focus = nullptr;
        if (q->active == hwnd) q->active = nullptr;
        q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                        q->posted.end());
    }
    if (s.foreground == hwnd) s.foreground = nullptr;
    forgetMouse(hwnd);
    if (w->cls) --w->cls->windows;
    forgetMenus(*w);
    unpublish(*w);
    s.windows.erase(hwnd);
}

void collectForDestroy(HWND hwnd, std::vector<HWND>& order) {
    order.push_back(hwnd);
    if (auto w = findWindow(hwnd))
        for (HWND child : w->children) collectForDestroy(child, order);
}

}  // namespace

std::shared_ptr<Window> ownWindow(HWND hwnd) {
    if (auto w = findWindow(hwnd)) return w;
    SetLastError(foreignHandle(hwnd) && foreignWindow(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

std::vector<HWND>& siblingsOf(Window& w) {
    if (w.parent)
        if (auto parent = findWindow(w.parent)) return parent->children;
    return state().topLevels;
}

void eraseFrom(std::vector<HWND>& list, HWND hwnd) { list.erase(std::remove(list.begin(), list.end(), hwnd), list.end()); }

RECT screenRectOf(const Window& w) {
    RECT r = w.rect;
    for (auto p = findWindow(w.parent); p; p = findWindow(p->parent)) {
        r.left += p->rect.left;
        r.right += p->rect.left;
        r.top += p->rect.top;
        r.bottom += p->rect.top;
    }
    return r;
}

UserState& state() {
    static std::atomic<UserState*> current{nullptr};
    const int pid = static_cast<int>(getpid());
    UserState* s = current.load();
    if (s && s->pid == pid) return *s;
    // First use, or the first use in a forked child: a fresh state (the parent's copy is left alone).
    auto* made = new UserState;
    made->pid = pid;
    if (current.compare_exchange_strong(s, made)) return *made;
    delete made;
    return *current.load();
}

std::shared_ptr<Window> findWindow(HWND hwnd) {
    if (!hwnd) return nullptr;
    UserState& s = state();
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? nullptr : it->second;
}

DWORD currentTid() { return GetCurrentThreadId(); }
int currentPid() { return static_cast<int>(getpid()); }

bool foreignHandle(HWND hwnd) {
    const auto value = reinterpret_cast<uintptr_t>(hwnd);
    if (value == kDesktop || value >> kPidShift == 0) return false;
    return (value >> kPidShift) != static_cast<uintptr_t>(currentPid());
}

HWND desktopWindow() { return reinterpret_cast<HWND>(kDesktop); }

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
    return platform::detail::foldCase(a) == platform::detail::foldCase(b);
}

LRESULT callProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(state().mutex);
        if (auto w = findWindow(hwnd)) proc = w->proc;
    }
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

void forgetThreadWindows(DWORD tid) {
    UserState& s = state();
    std::vector<HWND> mine;
    for (auto& [hwnd, w] : s.windows)
        if (w->tid == tid) mine.push_back(hwnd);
    for (HWND hwnd : mine) forget(hwnd);
}

}  // namespace platform::user

using namespace platform::user;

// ---- Creation and destruction ----------------------------------------------------------------------

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    const std::string detail = className && !isAtom(className) ? platform::toUtf8(className) : std::string();
    if (auto fault = platform::detail::takeFault("CreateWindowExW", detail)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ensureBuiltinClasses();
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    auto cls = lookupClass(className);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool messageOnly = false;
    HWND owner = nullptr;
    if (parent == HWND_MESSAGE) {
        messageOnly = true;
        parent = nullptr;
        style &= ~static_cast<DWORD>(WS_CHILD);
    } else if (parent == desktopWindow()) {
        parent = nullptr;
    }
    if ((style & WS_CHILD) && !parent) {
        SetLastError(ERROR_INVALID_PARAMETER);  // a child window needs a parent
        return nullptr;
    }
    if (parent) {
        auto p = findWindow(parent);
        if (!p) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (!(style & WS_CHILD)) {
            // A top-level window's "parent" is its owner, which is always a top-level window.
            while (p && p->parent) p = findWindow(p->parent);
            owner = p ? p->hwnd : nullptr;
            parent = nullptr;
        }
    }
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 0;
    auto w = std::make_shared<Window>();
    w->hwnd = reinterpret_cast<HWND>((static_cast<uintptr_t>(currentPid()) << kPidShift) |
                                     (s.nextWindow++ & kCounterMask));
    w->cls = cls;
    w->proc = cls->info.lpfnWndProc;
    w->style = style;
    w->exStyle = exStyle;
    w->id = (style & WS_CHILD) ? reinterpret_cast<LONG_PTR>(menu) : 0;
    w->instance = instance;
    w->extra.assign(static_cast<size_t>(cls->info.cbWndExtra), 0);
    w->parent = parent;
    w->owner = owner;
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->tid = currentTid();
    w->messageOnly = messageOnly;
    myQueue(lock);
    ++cls->windows;
    s.windows[w->hwnd] = w;
    if (parent) findWindow(parent)->children.push_back(w->hwnd);
    else s.topLevels.insert(s.topLevels.begin(), w->hwnd);
    if (w->topLevel() && !messageOnly) publish(*w);
    lock.unlock();

    HWND hwnd = w->hwnd;
    CREATESTRUCTW cs{param, instance, menu, parent ? parent : owner, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    CBT_CREATEWNDW cbt{&cs, HWND_TOP};
    auto fail = [&](bool destroyMessages) -> HWND {
        if (destroyMessages && IsWindow(hwnd)) {
            DestroyWindow(hwnd);
        } else {
            std::lock_guard again(s.mutex);
            forget(hwnd);
        }
        return nullptr;
    };
    if (callCbtHooks(HCBT_CREATEWND, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cbt))) return fail(false);
    if (!send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        send(hwnd, WM_NCDESTROY);
        return fail(false);
    }
    if (!IsWindow(hwnd)) return nullptr;
    if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) return fail(true);
    if (!IsWindow(hwnd)) return nullptr;
    RECT r{};
    GetClientRect(hwnd, &r);
    send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right, r.bottom));
    {
        std::lock_guard again(s.mutex);
        if (auto now = findWindow(hwnd)) r = now->rect;
    }
    send(hwnd, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
    if (parent && !(exStyle & WS_EX_NOPARENTNOTIFY) && IsWindow(hwnd))
        send(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<WORD>(reinterpret_cast<LONG_PTR>(menu))),
             reinterpret_cast<LPARAM>(hwnd));
    if (!parent && !messageOnly && (style & WS_VISIBLE) && IsWindow(hwnd)) platform::user::activate(hwnd);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    UserState& s = state();
    std::vector<HWND> owned;
    {
        std::lock_guard lock(s.mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        if (w->tid != currentTid()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
    }
    if (callCbtHooks(HCBT_DESTROYWND, reinterpret_cast<WPARAM>(hwnd), 0)) return FALSE;
    std::vector<HWND> order;
    {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w || w->destroying) return TRUE;
        w->destroying = true;
        for (auto& [other, ow] : s.windows)
            if (ow->owner == hwnd && !ow->destroying) owned.push_back(other);
    }
    for (HWND o : owned) DestroyWindow(o);
    {
        std::lock_guard lock(s.mutex);
        collectForDestroy(hwnd, order);
        for (HWND h : order)
            if (auto w = findWindow(h)) w->destroying = true;
    }
    HWND parent = nullptr;
    LONG_PTR id = 0;
    DWORD exStyle = 0;
    {
        std::lock_guard lock(s.mutex);
        if (auto w = findWindow(hwnd)) {
            parent = w->parent;
            id = w->id;
            exStyle = w->exStyle;
        }
    }
    if (parent && !(exStyle & WS_EX_NOPARENTNOTIFY))
        send(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<WORD>(id)), reinterpret_cast<LPARAM>(hwnd));
    bool wasActive = false;
    {
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        wasActive = q->active == hwnd;
    }
    if (wasActive) {
        // It goes inactive before it goes.
        {
            std::unique_lock lock(s.mutex);
            myQueue(lock)->active = nullptr;
        }
        send(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    {
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        if (std::find(order.begin(), order.end(), q->focus) != order.end()) q->focus = nullptr;
    }
    for (HWND h : order) send(h, WM_DESTROY);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        send(*it, WM_NCDESTROY);
        std::lock_guard lock(s.mutex);
        forget(*it);
    }
    // What was painted goes with the windows: their surfaces and invalid areas.
    for (HWND h : order) forgetSurface(h);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    if (!hwnd) return FALSE;
    if (hwnd == desktopWindow()) return TRUE;
    if (foreignHandle(hwnd)) return foreignWindow(hwnd) ? TRUE : FALSE;
    std::lock_guard lock(state().mutex);
    return findWindow(hwnd) ? TRUE : FALSE;
}

// ---- Relations ---------------------------------------------------------------------------------------

HWND WINAPI GetParent(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI SetParent(HWND hwnd, HWND parent) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    if (parent == desktopWindow()) parent = nullptr;
    if (parent && !findWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND p = parent; p; p = findWindow(p) ? findWindow(p)->parent : nullptr)
        if (p == hwnd) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    HWND old = w->parent ? w->parent : desktopWindow();
    eraseFrom(siblingsOf(*w), hwnd);
    w->parent = parent;
    if (parent) {
        findWindow(parent)->children.push_back(hwnd);
    } else {
        s.topLevels.insert(s.topLevels.begin(), hwnd);
    }
    return old;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    if (hwnd == desktopWindow()) {
        if (cmd == GW_CHILD) return s.topLevels.empty() ? nullptr : s.topLevels.front();
        return nullptr;
    }
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER) return w->owner;
    if (cmd == GW_ENABLEDPOPUP) {
        // The topmost visible, enabled window that this one owns.
        for (HWND top : s.topLevels) {
            auto popup = findWindow(top);
            if (popup && popup->owner == hwnd && (popup->style & WS_VISIBLE) && !(popup->style & WS_DISABLED)) return top;
        }
        return nullptr;
    }
    const std::vector<HWND>& list = siblingsOf(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST: return list.empty() ? nullptr : list.front();
    case GW_HWNDLAST: return list.empty() ? nullptr : list.back();
    case GW_HWNDNEXT: return (it == list.end() || it + 1 == list.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list.end() || it == list.begin()) ? nullptr : *(it - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

HWND WINAPI GetAncestor(HWND hwnd, UINT flags) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    switch (flags) {
    case GA_PARENT: return w->parent ? w->parent : desktopWindow();
    case GA_ROOT:
    case GA_ROOTOWNER: {
        while (w->parent) w = findWindow(w->parent);
        if (flags == GA_ROOTOWNER)
            while (w->owner && findWindow(w->owner)) w = findWindow(w->owner);
        return w->hwnd;
    }
    default: return nullptr;
    }
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    std::lock_guard lock(state().mutex);
    for (auto w = findWindow(hwnd); w && w->parent; w = findWindow(w->parent))
        if (w->parent == parent) return TRUE;
    return FALSE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(dialog);
    if (!w) return nullptr;
    for (HWND child : w->children)
        if (auto c = findWindow(child); c && static_cast<int>(c->id) == id) return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return 0;
    return (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

HWND WINAPI GetDesktopWindow() { return desktopWindow(); }

// ---- Window longs ------------------------------------------------------------------------------------
namespace {
// The window's extra bytes at `index` as a T, replaced by `*replacement` when given (the old value comes
// back); ERROR_INVALID_INDEX outside them. The caller holds the state's lock.
template <typename T>
T extraBytes(Window& w, int index, const T* replacement) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(T) > w.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    T old = 0;
    std::memcpy(&old, w.extra.data() + index, sizeof old);
    if (replacement) std::memcpy(w.extra.data() + index, replacement, sizeof *replacement);
    return old;
}
}  // namespace

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    default: break;
    }
    return extraBytes<LONG_PTR>(*w, index, nullptr);
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        if (!value) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_HWNDPARENT:
        if (w->style & WS_CHILD) return reinterpret_cast<LONG_PTR>(w->parent);
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    case GWLP_ID: old = w->id; w->id = value; return old;
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(value);
        if (w->published) publish(*w);
        return old;
    case GWL_EXSTYLE: old = static_cast<LONG>(w->exStyle); w->exStyle = static_cast<DWORD>(value); return old;
    case GWLP_USERDATA: old = w->userData; w->userData = value; return old;
    default: break;
    }
    return extraBytes<LONG_PTR>(*w, index, &value);
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    // The 32-bit form reads four extra bytes where the 64-bit form needs eight.
    if (index >= 0) {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return 0;
        return extraBytes<LONG>(*w, index, nullptr);
    }
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    if (index >= 0) {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return 0;
        return extraBytes<LONG>(*w, index, &value);
    }
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

// ---- Text ----------------------------------------------------------------------------------------------

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (foreignHandle(hwnd) || !IsWindow(hwnd) || hwnd == desktopWindow()) {
        SetLastError(foreignHandle(hwnd) && foreignWindow(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR text, int size) {
    if (!text || size <= 0) return 0;
    text[0] = 0;
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        const size_t n = std::min(other->title.size(), static_cast<size_t>(size - 1));
        std::memcpy(text, other->title.data(), n * sizeof(WCHAR));
        text[n] = 0;
        return static_cast<int>(n);
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(send(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return other ? static_cast<int>(other->title.size()) : 0;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(send(hwnd, WM_GETTEXTLENGTH));
}

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
    if (!proc) return FALSE;
    std::vector<HWND> all;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(parent);
        if (!w) return FALSE;
        collectForDestroy(parent, all);
        all.erase(all.begin());
    }
    for (HWND h : all)
        if (IsWindow(h) && !proc(h, param)) break;
    return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (processId) *processId = other->pid;
        return other->tid;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId) *processId = static_cast<DWORD>(currentPid());
    return w->tid;
}

namespace {

std::mutex& admittedMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
std::vector<UINT>& admitted() {
    static auto* messages = new std::vector<UINT>;
    return *messages;
}

}  // namespace

BOOL WINAPI ChangeWindowMessageFilter(UINT message, DWORD flag) {
    if (flag != MSGFLT_ADD && flag != MSGFLT_REMOVE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(admittedMutex());
    std::vector<UINT>& messages = admitted();
    const auto found = std::find(messages.begin(), messages.end(), message);
    if (flag == MSGFLT_ADD && found == messages.end()) messages.push_back(message);
    if (flag == MSGFLT_REMOVE && found != messages.end()) messages.erase(found);
    return TRUE;
}

namespace platform {

std::vector<UINT> admittedMessages() {
    std::lock_guard lock(admittedMutex());
    return admitted();
}

void clearAdmittedMessages() {
    std::lock_guard lock(admittedMutex());
    admitted().clear();
}

}  // namespace platform
