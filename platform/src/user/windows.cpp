// Window classes and windows of this process: creation and destruction with their messages, relations,
// window longs, text, visibility, enabling, focus and activation, rectangles and properties.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "../internal.h"
#include "state.h"
#include "platform/dialogs.h"
#include "win/kernel.h"

namespace platform::user {
namespace {

constexpr uintptr_t kDesktop = 0x10010;
constexpr int kPidShift = 24;
constexpr uint64_t kCounterMask = (uint64_t(1) << kPidShift) - 1;

bool isAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

// The class a name or atom stands for (lock held).
std::shared_ptr<WindowClass> lookupClass(LPCWSTR name) {
    UserState& s = state();
    if (!name) return nullptr;
    if (isAtom(name)) {
        const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& [key, cls] : s.classes)
            if (cls->atom == atom) return cls;
        return nullptr;
    }
    auto it = s.classes.find(platform::detail::foldCase(name));
    return it == s.classes.end() ? nullptr : it->second;
}

// A window of this process for a call that changes it, or null with the error set (lock held).
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

LRESULT send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageW(hwnd, msg, wParam, lParam); }

void collectForDestroy(HWND hwnd, std::vector<HWND>& order) {
    order.push_back(hwnd);
    if (auto w = findWindow(hwnd))
        for (HWND child : w->children) collectForDestroy(child, order);
}

void setTextLocked(Window& w, std::u16string text) {
    w.text = std::move(text);
    if (w.published) publish(w);
}

HWND activate(HWND hwnd);

}  // namespace

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

namespace {

// The root owner of a window of this process remembers it as its last active popup (lock held).
void rememberLastActive(HWND hwnd) {
    auto w = findWindow(hwnd);
    if (!w || !w->topLevel()) return;
    auto root = w;
    while (root->owner)
        if (auto next = findWindow(root->owner)) root = next;
        else break;
    if (root->lastActive == hwnd) return;
    root->lastActive = hwnd;
    if (root->published) publish(*root);
}

HWND activate(HWND hwnd) {
    HWND old = nullptr;
    {
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        old = q->active;
        if (old == hwnd) return old;
    }
    if (hwnd) {
        CBTACTIVATESTRUCT info{FALSE, old};
        if (callCbtHooks(HCBT_ACTIVATE, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&info))) return old;
    }
    {
        UserState& s = state();
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        q->active = hwnd;
        if (hwnd) s.foreground = hwnd;
        rememberLastActive(hwnd);
    }
    if (old) send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd) send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    return old;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;
using platform::detail::foldCase;

// ---- Classes ---------------------------------------------------------------------------------------

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || isAtom(wc->lpszClassName) ||
        !*wc->lpszClassName || !wc->lpfnWndProc || wc->cbWndExtra < 0 || wc->cbClsExtra < 0 ||
        lstrlenW(wc->lpszClassName) > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (auto fault = platform::detail::takeFault("RegisterClassExW", platform::toUtf8(wc->lpszClassName))) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    const std::u16string folded = foldCase(wc->lpszClassName);
    if (s.classes.count(folded)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->folded = folded;
    cls->atom = s.nextAtom++;
    cls->info = *wc;
    cls->info.lpszClassName = cls->name.c_str();
    cls->info.lpszMenuName = nullptr;
    s.classes[folded] = cls;
    return cls->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style, wc->lpfnWndProc, wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                   wc->hIcon, wc->hCursor, wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto cls = lookupClass(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(cls->folded);
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR className, LPWNDCLASSEXW wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto cls = lookupClass(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *wc = cls->info;
    wc->cbSize = sizeof(WNDCLASSEXW);
    if (!isAtom(className)) wc->lpszClassName = className;
    return cls->atom;
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR name, int size) {
    std::u16string text;
    {
        std::lock_guard lock(state().mutex);
        auto w = findWindow(hwnd);
        if (w) text = w->cls->name;
    }
    if (text.empty()) {
        auto other = foreignHandle(hwnd) ? foreignWindow(hwnd) : std::nullopt;
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        text = other->className;
    }
    if (!name || size <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(name, text.data(), n * sizeof(WCHAR));
    name[n] = 0;
    return static_cast<int>(n);
}

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

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    UserState& s = state();
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return FALSE;
        if (cs && cs->lpszName && !isAtom(cs->lpszName) && cs->lpszName[0] != 0xFFFF) setTextLocked(*w, cs->lpszName);
        return TRUE;
    }
    case WM_SETTEXT: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return FALSE;
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        setTextLocked(*w, text ? std::u16string(text) : std::u16string());
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) {
            buffer[0] = 0;
            return 0;
        }
        const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
        std::memcpy(buffer, w->text.data(), n * sizeof(WCHAR));
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) send(hwnd, WM_CLOSE);
        return 0;
    case WM_SYSKEYDOWN: {
        // Alt+F4 closes the top-level window as its system menu's Close would.
        constexpr LPARAM kAltHeld = LPARAM(1) << 29;
        if (wParam != VK_F4 || !(lParam & kAltHeld)) return 0;
        HWND root = GetAncestor(hwnd, GA_ROOT);
        bool allowed = false;
        {
            std::lock_guard lock(s.mutex);
            auto w = findWindow(root);
            allowed = w && closeAllowed(*w);
        }
        if (allowed) send(root, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_F1) {
            HWND focus = GetFocus();
            if (!focus) focus = hwnd;
            HELPINFO info{};
            info.cbSize = sizeof info;
            info.iContextType = HELPINFO_WINDOW;
            info.iCtrlId = GetDlgCtrlID(focus);
            info.hItemHandle = focus;
            GetCursorPos(&info.MousePos);
            send(focus, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        }
        return 0;
    case WM_HELP: {
        HWND parent = nullptr;
        {
            std::lock_guard lock(s.mutex);
            auto w = findWindow(hwnd);
            if (w && !w->topLevel()) parent = w->parent;
        }
        return parent ? send(parent, WM_HELP, wParam, lParam) : 0;
    }
    case WM_SETICON:
    case WM_GETICON: {
        std::lock_guard lock(s.mutex);
        auto w = findWindow(hwnd);
        if (!w) return 0;
        if (msg == WM_GETICON) {
            if (wParam == ICON_SMALL2) return reinterpret_cast<LRESULT>(w->icons[0] ? w->icons[0] : w->icons[1]);
            return wParam <= ICON_BIG ? reinterpret_cast<LRESULT>(w->icons[wParam]) : 0;
        }
        if (wParam > ICON_BIG) return 0;
        HICON old = w->icons[wParam];
        w->icons[wParam] = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
    }
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

// ---- State ---------------------------------------------------------------------------------------------

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    if (foreignHandle(hwnd)) {
        // Another process's window: its thread does it in its message loop.
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (DWORD error = postToProcess(other->pid, hwnd, 0, static_cast<WPARAM>(cmd), 0, Request::Show);
            error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return (other->style & WS_VISIBLE) ? TRUE : FALSE;
    }
    bool was = false, now = false, topLevel = false;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        // What the program's starter asked for (STARTUPINFOW) may stand in for the command.
        cmd = platform::detail::startupShowCommand(w->topLevel() && !w->owner && !w->messageOnly, cmd);
        was = (w->style & WS_VISIBLE) != 0;
        now = cmd != SW_HIDE;
        const DWORD styleBefore = w->style;
        topLevel = w->topLevel() && !w->messageOnly;
        switch (cmd) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE: w->style = (w->style | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE); break;
        case SW_MAXIMIZE: w->style = (w->style | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE); break;
        case SW_SHOWNORMAL:
        case SW_RESTORE: w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE); break;
        default: break;
        }
        if (w->style != styleBefore && w->published) publish(*w);  // other processes see it minimised
    }
    if (was != now) {
        send(hwnd, WM_SHOWWINDOW, now ? TRUE : FALSE, 0);
        std::lock_guard lock(state().mutex);
        if (auto w = findWindow(hwnd)) {
            w->style = now ? (w->style | WS_VISIBLE) : (w->style & ~static_cast<DWORD>(WS_VISIBLE));
            if (w->published) publish(*w);
        }
    }
    const bool activates = cmd == SW_SHOWNORMAL || cmd == SW_SHOWMAXIMIZED || cmd == SW_SHOW || cmd == SW_RESTORE ||
                           cmd == SW_SHOWDEFAULT || cmd == SW_SHOWMINIMIZED;
    if (topLevel && activates) {
        DWORD tid = 0;
        {
            std::lock_guard lock(state().mutex);
            if (auto w = findWindow(hwnd)) tid = w->tid;
        }
        if (tid == currentTid()) platform::user::activate(hwnd);
    }
    return was ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        return other && (other->style & WS_VISIBLE) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w) return FALSE;
    for (; w; w = findWindow(w->parent))
        if (!(w->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

BOOL WINAPI IsIconic(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        return other && (other->style & WS_MINIMIZE) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL WINAPI IsZoomed(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        return other && (other->style & WS_MAXIMIZE) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

namespace {

struct AnimationJournal {
    std::mutex mutex;
    std::vector<platform::dialogs::Animation> calls;
};
AnimationJournal& animationJournal() {
    static AnimationJournal* journal = new AnimationJournal;
    return *journal;
}

BOOL animate(HWND hwnd, DWORD time, DWORD flags);

}  // namespace

namespace platform::dialogs {

std::vector<Animation> animations() {
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    return journal.calls;
}

void clearAnimations() {
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    journal.calls.clear();
}

}  // namespace platform::dialogs

BOOL WINAPI AnimateWindow(HWND hwnd, DWORD time, DWORD flags) {
    const ULONGLONG calledAt = GetTickCount64();
    const BOOL result = animate(hwnd, time, flags);
    auto& journal = animationJournal();
    std::lock_guard lock(journal.mutex);
    journal.calls.push_back({hwnd, time, flags, calledAt, result != FALSE});
    return result;
}

namespace {

BOOL animate(HWND hwnd, DWORD time, DWORD flags) {
    constexpr DWORD known = AW_HOR_POSITIVE | AW_HOR_NEGATIVE | AW_VER_POSITIVE | AW_VER_NEGATIVE | AW_CENTER | AW_HIDE |
                            AW_ACTIVATE | AW_SLIDE | AW_BLEND;
    bool visible = false;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        visible = (w->style & WS_VISIBLE) != 0;
    }
    const bool hide = (flags & AW_HIDE) != 0;
    if ((flags & ~known) || ((flags & AW_BLEND) && (flags & AW_CENTER)) || visible != hide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sleep(time);
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ShowWindow(hwnd, hide ? SW_HIDE : (flags & AW_ACTIVATE) ? SW_SHOW : SW_SHOWNA);
    return TRUE;
}

}  // namespace

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled = false;
    bool loseFocus = false;
    bool releases = false;
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled;
        if (enable) w->style &= ~static_cast<DWORD>(WS_DISABLED);
        else w->style |= WS_DISABLED;
        if (w->published) publish(*w);
        if (auto q = queueOf(w->tid); q && !enable && q->focus == hwnd && w->tid == currentTid()) loseFocus = true;
        if (!enable && s.capture == hwnd && w->tid == currentTid()) releases = true;
    }
    if (loseFocus) SetFocus(nullptr);
    if (releases) ReleaseCapture();  // a disabled window lets go of the mouse
    send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND hwnd) {
    UserState& s = state();
    HWND old = nullptr;
    {
        std::unique_lock lock(s.mutex);
        auto q = myQueue(lock);
        old = q->focus;
        if (hwnd) {
            auto w = ownWindow(hwnd);
            if (!w) return nullptr;
            if (w->tid != currentTid()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
        if (old == hwnd) return old;
    }
    if (hwnd && callCbtHooks(HCBT_SETFOCUS, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(old))) return nullptr;
    {
        std::unique_lock lock(s.mutex);
        myQueue(lock)->focus = hwnd;
    }
    if (old) send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd));
    if (hwnd) send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old));
    return old;
}

HWND WINAPI GetFocus() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    return myQueue(lock)->focus;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    {
        std::lock_guard lock(state().mutex);
        if (hwnd) {
            auto w = ownWindow(hwnd);
            if (!w) return nullptr;
            if (w->tid != currentTid() || !w->topLevel()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
    }
    return platform::user::activate(hwnd);
}

HWND WINAPI GetActiveWindow() {
    UserState& s = state();
    std::unique_lock lock(s.mutex);
    return myQueue(lock)->active;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (DWORD error = postToProcess(other->pid, hwnd, 0, 0, 0, Request::Foreground); error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }
    DWORD tid = 0;
    {
        std::lock_guard lock(state().mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        while (w->parent) w = findWindow(w->parent);
        hwnd = w->hwnd;
        tid = w->tid;
    }
    if (tid == currentTid()) platform::user::activate(hwnd);
    std::lock_guard lock(state().mutex);
    state().foreground = hwnd;
    return TRUE;
}

HWND WINAPI GetForegroundWindow() {
    std::lock_guard lock(state().mutex);
    return state().foreground;
}

HWND WINAPI GetLastActivePopup(HWND hwnd) {
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        // What the other process published: its popup counts while it is a live, visible window.
        if (!other->lastActive) return hwnd;
        auto popup = foreignWindow(other->lastActive);
        return popup && (popup->style & WS_VISIBLE) ? other->lastActive : hwnd;
    }
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!w->topLevel() || w->owner || !w->lastActive) return hwnd;
    auto popup = findWindow(w->lastActive);
    if (!popup || !(popup->style & WS_VISIBLE)) return hwnd;
    // Still owned by this window (an owner may have been changed since).
    for (auto o = findWindow(popup->owner); o; o = findWindow(o->owner))
        if (o->hwnd == hwnd) return popup->hwnd;
    return hwnd;
}

// ---- Rectangles ----------------------------------------------------------------------------------------

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    RECT before{}, after{};
    {
        UserState& s = state();
        std::lock_guard lock(s.mutex);
        auto w = ownWindow(hwnd);
        if (!w) return FALSE;
        before = after = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            after.right = x + (after.right - after.left);
            after.bottom = y + (after.bottom - after.top);
            after.left = x;
            after.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            after.right = after.left + std::max(cx, 0);
            after.bottom = after.top + std::max(cy, 0);
        }
        w->rect = after;
        if (!(flags & SWP_NOZORDER) && insertAfter != hwnd) {
            std::vector<HWND>& list = siblingsOf(*w);
            if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
            if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
            if (insertAfter != HWND_NOTOPMOST) {
                eraseFrom(list, hwnd);
                auto at = list.begin();
                if (insertAfter == HWND_BOTTOM) {
                    at = list.end();
                } else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST) {
                    auto it = std::find(list.begin(), list.end(), insertAfter);
                    at = it == list.end() ? list.begin() : it + 1;
                }
                list.insert(at, hwnd);
            }
        }
    }
    if (before.left != after.left || before.top != after.top) send(hwnd, WM_MOVE, 0, MAKELPARAM(after.left, after.top));
    if (before.right - before.left != after.right - after.left || before.bottom - before.top != after.bottom - after.top)
        send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(after.right - after.left, after.bottom - after.top));
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hwnd == desktopWindow()) {
        *rect = RECT{0, 0, kScreenWidth, kScreenHeight};
        return TRUE;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return FALSE;
    *rect = screenRectOf(*w);
    return TRUE;
}

// Windows have no non-client area: the client area is the whole window.
BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    if (!GetWindowRect(hwnd, rect)) return FALSE;
    *rect = RECT{0, 0, rect->right - rect->left, rect->bottom - rect->top};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    RECT r{};
    if (!point || !GetWindowRect(hwnd, &r)) return FALSE;
    point->x += r.left;
    point->y += r.top;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    RECT r{};
    if (!point || !GetWindowRect(hwnd, &r)) return FALSE;
    point->x -= r.left;
    point->y -= r.top;
    return TRUE;
}

// ---- Properties --------------------------------------------------------------------------------------

BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data) {
    if (!name || isAtom(name) || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return FALSE;
    auto it = std::find_if(w->props.begin(), w->props.end(), [&](auto& p) { return equalsNoCase(p.first, name); });
    if (it != w->props.end()) it->second = data;
    else w->props.emplace_back(name, data);
    if (w->published) publish(*w);
    return TRUE;
}

HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name) {
    if (!name || isAtom(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::pair<std::u16string, HANDLE>> props;
    if (foreignHandle(hwnd)) {
        auto other = foreignWindow(hwnd);
        if (!other) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        props = other->props;
    } else {
        std::lock_guard lock(state().mutex);
        auto w = findWindow(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        props = w->props;
    }
    for (auto& [key, value] : props)
        if (equalsNoCase(key, name)) return value;
    return nullptr;
}

HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name) {
    if (!name || isAtom(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(state().mutex);
    auto w = ownWindow(hwnd);
    if (!w) return nullptr;
    auto it = std::find_if(w->props.begin(), w->props.end(), [&](auto& p) { return equalsNoCase(p.first, name); });
    if (it == w->props.end()) return nullptr;
    HANDLE value = it->second;
    w->props.erase(it);
    if (w->published) publish(*w);
    return value;
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

BOOL WINAPI ChangeWindowMessageFilter(UINT, DWORD) { return TRUE; }
