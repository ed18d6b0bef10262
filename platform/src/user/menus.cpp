// System menus: the items a window with WS_SYSMENU has, their states, and the caption's close box of
// platform/dialogs.h, which the Close item's state lets through or not.
#include <memory>

#include "platform/dialogs.h"
#include "state.h"
#include "win/kernel.h"

namespace platform::user {
namespace {

constexpr uintptr_t kMenuBase = uintptr_t(0x4D4E) << 24;
constexpr UINT kEnableBits = MF_GRAYED | MF_DISABLED;
constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR;

// The items a new system menu has for this window.
std::vector<MenuItem> defaultItems(const Window& w) {
    auto greyedUnless = [](bool on) { return on ? 0u : static_cast<UINT>(MF_GRAYED); };
    return {
        {SC_RESTORE, greyedUnless((w.style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0), u"&Restore"},
        {SC_MOVE, 0, u"&Move"},
        {SC_SIZE, greyedUnless((w.style & WS_THICKFRAME) != 0), u"&Size"},
        {SC_MINIMIZE, greyedUnless((w.style & WS_MINIMIZEBOX) != 0), u"Mi&nimize"},
        {SC_MAXIMIZE, greyedUnless((w.style & WS_MAXIMIZEBOX) != 0), u"Ma&ximize"},
        {0, MF_SEPARATOR, u""},
        {SC_CLOSE, 0, u"&Close\tAlt+F4"},
    };
}

// A menu of this process, or null with ERROR_INVALID_MENU_HANDLE (lock held).
Menu* menuOf(HMENU menu) {
    auto it = state().menus.find(menu);
    if (it == state().menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return &it->second;
}

// An item by position or by command id (separators have none).
MenuItem* itemOf(Menu& m, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION) return item < m.items.size() ? &m.items[item] : nullptr;
    for (MenuItem& i : m.items)
        if (!(i.state & MF_SEPARATOR) && i.id == item) return &i;
    return nullptr;
}

}  // namespace

void forgetMenus(Window& window) {
    if (window.systemMenu) state().menus.erase(window.systemMenu);
    window.systemMenu = nullptr;
}

bool closeAllowed(const Window& window) {
    if (!(window.style & WS_SYSMENU)) return false;
    if (!window.systemMenu) return true;  // never asked for: as made, Close enabled
    auto it = state().menus.find(window.systemMenu);
    if (it == state().menus.end()) return true;
    for (const MenuItem& i : it->second.items)
        if (!(i.state & MF_SEPARATOR) && i.id == SC_CLOSE) return (i.state & kEnableBits) == 0;
    return false;  // taken away
}

}  // namespace platform::user

using namespace platform::user;

HMENU WINAPI GetSystemMenu(HWND hwnd, BOOL revert) {
    UserState& s = state();
    std::lock_guard lock(s.mutex);
    auto w = findWindow(hwnd);
    if (!w || w->destroying) {
        SetLastError(foreignHandle(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!(w->style & WS_SYSMENU)) return nullptr;
    if (!w->systemMenu) {
        w->systemMenu = reinterpret_cast<HMENU>(kMenuBase + 4 * s.nextMenu++);
        s.menus[w->systemMenu] = Menu{hwnd, defaultItems(*w)};
    } else if (revert) {
        s.menus[w->systemMenu].items = defaultItems(*w);
    }
    return revert ? nullptr : w->systemMenu;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT flags) {
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    if (!m) return -1;
    MenuItem* i = itemOf(*m, item, flags);
    if (!i) return -1;
    const UINT old = i->state & kEnableBits;
    i->state = (i->state & ~kEnableBits) | (flags & kEnableBits);
    return static_cast<BOOL>(old);
}

UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags) {
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    if (!m) return static_cast<UINT>(-1);
    MenuItem* i = itemOf(*m, item, flags);
    return i ? (i->state & kStateBits) : static_cast<UINT>(-1);
}

int WINAPI GetMenuItemCount(HMENU menu) {
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return static_cast<UINT>(-1);
    return m->items[static_cast<size_t>(position)].id;
}

BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
    if (flags & (MF_POPUP | MF_BITMAP | MF_OWNERDRAW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    if (!m) return FALSE;
    MenuItem item;
    item.state = flags & kStateBits;
    if (!(flags & MF_SEPARATOR)) {
        item.id = static_cast<UINT>(id);
        if (text) item.text = text;
    }
    m->items.push_back(std::move(item));
    return TRUE;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT item, UINT flags) {
    std::lock_guard lock(state().mutex);
    Menu* m = menuOf(menu);
    if (!m) return FALSE;
    MenuItem* i = itemOf(*m, item, flags);
    if (!i) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    m->items.erase(m->items.begin() + (i - m->items.data()));
    return TRUE;
}

namespace platform::dialogs {

bool pressCloseBox(HWND window) {
    DWORD tid = 0;
    uint64_t marker = 0;
    {
        std::lock_guard lock(user::state().mutex);
        auto w = user::findWindow(window);
        // A close box to click: on a shown, enabled top-level window's caption, and not greyed.
        if (!w || w->destroying || !w->topLevel() || (w->style & WS_CAPTION) != WS_CAPTION || !(w->style & WS_VISIBLE) ||
            (w->style & WS_DISABLED) || !user::closeAllowed(*w))
            return false;
        tid = w->tid;
        if (tid != GetCurrentThreadId()) {
            if (!user::deliverCall(window, [window] {
                    if (IsWindow(window)) SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
                }))
                return false;
            marker = user::postMarker(tid);
        }
    }
    if (tid == GetCurrentThreadId()) {
        SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return !marker || user::awaitMarkers({{tid, marker}}, 60000);
}

}  // namespace platform::dialogs
