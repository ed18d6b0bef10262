// Window classes and windows: registration, the messages of creation and destruction and their order,
// the CBT hook, relations and control ids, window longs, text, state changes and bad handles.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

// What the recording procedure saw: "<window name> <message>", in order.
struct Journal {
    std::mutex mutex;
    std::vector<std::string> lines;
    void add(std::string line) {
        std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
    std::vector<std::string> take() {
        std::lock_guard lock(mutex);
        return std::exchange(lines, {});
    }
};
Journal journal;

std::string nameOf(HWND hwnd) {
    WCHAR text[64] = {};
    // Straight from the default procedure, which never records.
    DefWindowProcW(hwnd, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return text[0] ? platform::toUtf8(text) : "?";
}

std::string messageName(UINT msg) {
    switch (msg) {
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_CREATE: return "WM_CREATE";
    case WM_SIZE: return "WM_SIZE";
    case WM_MOVE: return "WM_MOVE";
    case WM_PARENTNOTIFY: return "WM_PARENTNOTIFY";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_ENABLE: return "WM_ENABLE";
    case WM_SETFOCUS: return "WM_SETFOCUS";
    case WM_KILLFOCUS: return "WM_KILLFOCUS";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_SETTEXT: return "WM_SETTEXT";
    default: return std::to_string(msg);
    }
}

bool quietText(UINT msg) { return msg == WM_GETTEXT || msg == WM_GETTEXTLENGTH; }

LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);  // first, so WM_NCCREATE names it
    if (!quietText(msg)) journal.add(nameOf(hwnd) + " " + messageName(msg));
    return result;
}

// A window whose WM_CREATE answers -1 when its text says so.
LRESULT CALLBACK refusingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = recordingProc(hwnd, msg, wParam, lParam);
    if (msg == WM_CREATE && nameOf(hwnd) == "refuse") return -1;
    if (msg == WM_NCCREATE && nameOf(hwnd) == "nonc") return FALSE;
    return result;
}

ATOM registerClass(LPCWSTR name, WNDPROC proc = recordingProc, int extra = 0) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

// A test's machine with the recording classes registered, and their windows gone at the end.
struct Desk {
    Machine machine;
    Desk() {
        registerClass(u"Recorder");
        registerClass(u"Refuser", refusingProc);
        registerClass(u"Dialogish", recordingProc, 48);
        journal.take();
    }
    ~Desk() {
        for (HWND hwnd : made)
            if (IsWindow(hwnd)) DestroyWindow(hwnd);
        UnregisterClassW(u"Recorder", nullptr);
        UnregisterClassW(u"Refuser", nullptr);
        UnregisterClassW(u"Dialogish", nullptr);
    }
    HWND make(LPCWSTR name, DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, int id = 0,
              LPCWSTR cls = u"Recorder") {
        HWND hwnd = CreateWindowExW(0, cls, name, style, 10, 20, 300, 200, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        if (hwnd) made.push_back(hwnd);
        return hwnd;
    }
    std::vector<HWND> made;
};

TEST(UserClasses, RegistrationAndItsRefusals) {
    Desk desk;
    WNDCLASSEXW info{};
    const ATOM atom = static_cast<ATOM>(GetClassInfoExW(nullptr, u"recorder", &info));  // any case
    EXPECT_GE(atom, 0xC000);
    EXPECT_EQ(info.lpfnWndProc, &recordingProc);
    EXPECT_EQ(std::u16string(info.lpszClassName), u"recorder");  // the caller's name comes back
    EXPECT_TRUE(GetClassInfoExW(nullptr, MAKEINTATOM(atom), &info));

    WNDCLASSEXW good{};
    good.cbSize = sizeof good;
    good.lpfnWndProc = recordingProc;
    good.lpszClassName = u"Fresh";
    struct Case {
        const char* what;
        WNDCLASSEXW wc;
        DWORD error;
    };
    WNDCLASSEXW badSize = good, noName = good, noProc = good, emptyName = good, taken = good;
    badSize.cbSize = 12;
    noName.lpszClassName = nullptr;
    noProc.lpfnWndProc = nullptr;
    emptyName.lpszClassName = u"";
    taken.lpszClassName = u"RECORDER";
    const Case cases[] = {
        {"cbSize", badSize, ERROR_INVALID_PARAMETER},   {"no name", noName, ERROR_INVALID_PARAMETER},
        {"no procedure", noProc, ERROR_INVALID_PARAMETER}, {"empty name", emptyName, ERROR_INVALID_PARAMETER},
        {"taken", taken, ERROR_CLASS_ALREADY_EXISTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(RegisterClassExW(&c.wc), 0);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_NE(RegisterClassExW(&good), 0);
    EXPECT_TRUE(UnregisterClassW(u"fresh", nullptr));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnregisterClassW(u"fresh", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetClassInfoExW(nullptr, u"fresh", &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));

    // A class with windows stays.
    HWND hwnd = desk.make(u"w");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnregisterClassW(u"Recorder", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    WCHAR name[32];
    EXPECT_EQ(GetClassNameW(hwnd, name, 32), 8);
    EXPECT_EQ(std::u16string(name), u"Recorder");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"x", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

// The CBT hook sees the creation before the window's own procedure does, and may subclass it there.
struct HookLog {
    HHOOK hook = nullptr;
    std::vector<std::string> seen;
    bool refuseCreate = false;
    bool refuseDestroy = false;
};
HookLog hookLog;

WNDPROC savedProc = nullptr;
LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) journal.add("subclass WM_NCCREATE");
    return CallWindowProcW(savedProc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND) {
        auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        hookLog.seen.push_back("create " + platform::toUtf8(cbt->lpcs->lpszName));
        journal.add("hook HCBT_CREATEWND");
        if (hookLog.refuseCreate) return 1;
        if (std::u16string(cbt->lpcs->lpszName) == u"sub")
            savedProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc)));
    } else if (code == HCBT_DESTROYWND) {
        hookLog.seen.push_back("destroy " + nameOf(hwnd));
        if (hookLog.refuseDestroy) return 1;
    } else if (code == HCBT_ACTIVATE) {
        hookLog.seen.push_back("activate " + nameOf(hwnd));
    }
    return CallNextHookEx(hookLog.hook, code, wParam, lParam);
}

TEST(UserWindows, CreationMessagesInOrderWithTheHookFirst) {
    Desk desk;
    hookLog = {};
    hookLog.hook = SetWindowsHookExW(WH_CBT, cbtProc, nullptr, GetCurrentThreadId());
    ASSERT_NE(hookLog.hook, nullptr);

    HWND top = desk.make(u"sub", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"hook HCBT_CREATEWND", "subclass WM_NCCREATE",
                                                        "sub WM_NCCREATE", "sub WM_CREATE", "sub WM_SIZE",
                                                        "sub WM_MOVE"}));
    HWND child = desk.make(u"child", WS_CHILD | WS_VISIBLE, top, 1001);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"hook HCBT_CREATEWND", "child WM_NCCREATE", "child WM_CREATE",
                                                        "child WM_SIZE", "child WM_MOVE", "sub WM_PARENTNOTIFY"}));
    // A visible top-level window is activated as it is made.
    HWND shown = desk.make(u"shown", WS_POPUP | WS_VISIBLE);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(GetActiveWindow(), shown);
    EXPECT_EQ(hookLog.seen.back(), "activate shown");
    journal.take();

    // Refusals: by the hook, by WM_NCCREATE, by WM_CREATE answering -1.
    hookLog.refuseCreate = true;
    EXPECT_EQ(desk.make(u"never"), nullptr);
    EXPECT_EQ(journal.take(), std::vector<std::string>{"hook HCBT_CREATEWND"});
    hookLog.refuseCreate = false;
    EXPECT_EQ(desk.make(u"nonc", WS_OVERLAPPED, nullptr, 0, u"Refuser"), nullptr);
    EXPECT_EQ(journal.take(),
              (std::vector<std::string>{"hook HCBT_CREATEWND", "nonc WM_NCCREATE", "nonc WM_NCDESTROY"}));
    EXPECT_EQ(desk.make(u"refuse", WS_OVERLAPPED, nullptr, 0, u"Refuser"), nullptr);
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"hook HCBT_CREATEWND", "refuse WM_NCCREATE",
                                                        "refuse WM_CREATE", "refuse WM_DESTROY",
                                                        "refuse WM_NCDESTROY"}));
    // A refused destruction leaves the window.
    hookLog.refuseDestroy = true;
    EXPECT_FALSE(DestroyWindow(child));
    EXPECT_TRUE(IsWindow(child));
    hookLog.refuseDestroy = false;
    EXPECT_TRUE(UnhookWindowsHookEx(hookLog.hook));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnhookWindowsHookEx(hookLog.hook));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HOOK_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetWindowsHookExW(2 /* WH_KEYBOARD */, cbtProc, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HOOK_FILTER));
}

// Hooks chain newest first; one for every thread of the process sees this thread too, one for another
// thread does not, and CallNextHookEx after the last hook answers 0.
std::vector<std::string> chain;
HHOOK chainHooks[3] = {};
LRESULT CALLBACK firstHook(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND) chain.push_back("first");
    return CallNextHookEx(chainHooks[0], code, w, l);
}
LRESULT CALLBACK secondHook(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND) chain.push_back("second");
    return CallNextHookEx(chainHooks[1], code, w, l);
}
LRESULT CALLBACK otherThreadHook(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND) chain.push_back("other thread");
    return CallNextHookEx(chainHooks[2], code, w, l);
}

TEST(UserWindows, HooksChainNewestFirst) {
    Desk desk;
    chain.clear();
    std::promise<void> release;
    std::promise<DWORD> started;
    std::thread other([&] {
        started.set_value(GetCurrentThreadId());
        release.get_future().wait();
    });
    const DWORD otherTid = started.get_future().get();
    chainHooks[0] = SetWindowsHookExW(WH_CBT, firstHook, nullptr, 0);  // every thread of the process
    chainHooks[1] = SetWindowsHookExW(WH_CBT, secondHook, nullptr, GetCurrentThreadId());
    chainHooks[2] = SetWindowsHookExW(WH_CBT, otherThreadHook, nullptr, otherTid);
    for (HHOOK h : chainHooks) EXPECT_NE(h, nullptr);
    EXPECT_NE(desk.make(u"hooked"), nullptr);
    EXPECT_EQ(chain, (std::vector<std::string>{"second", "first"}));
    for (HHOOK h : chainHooks) EXPECT_TRUE(UnhookWindowsHookEx(h));
    EXPECT_EQ(CallNextHookEx(chainHooks[0], HCBT_CREATEWND, 0, 0), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetWindowsHookExW(WH_CBT, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FILTER_PROC));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetWindowsHookExW(WH_CBT, firstHook, nullptr, 0x7ffffff0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    release.set_value();
    other.join();
}

TEST(UserWindows, DestructionGoesDownTheTreeAndOwnedWindowsFirst) {
    Desk desk;
    HWND top = desk.make(u"top");
    HWND a = desk.make(u"a", WS_CHILD, top, 1);
    HWND a1 = desk.make(u"a1", WS_CHILD, a, 2);
    HWND b = desk.make(u"b", WS_CHILD, top, 3);
    HWND owned = desk.make(u"owned", WS_POPUP, top);  // a top-level "parent" is the owner
    ASSERT_TRUE(top && a && a1 && b && owned);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), top);
    EXPECT_EQ(GetParent(owned), top);
    EXPECT_EQ(GetAncestor(owned, GA_PARENT), GetDesktopWindow());
    SetFocus(a1);
    journal.take();
    EXPECT_TRUE(DestroyWindow(top));
    const std::vector<std::string> expected = {
        "owned WM_DESTROY", "owned WM_NCDESTROY", "top WM_DESTROY", "a WM_DESTROY",      "a1 WM_DESTROY",
        "b WM_DESTROY",     "b WM_NCDESTROY",     "a1 WM_NCDESTROY", "a WM_NCDESTROY", "top WM_NCDESTROY"};
    std::vector<std::string> seen;
    for (auto& line : journal.take())
        if (line.find("DESTROY") != std::string::npos) seen.push_back(line);
    EXPECT_EQ(seen, expected);
    for (HWND hwnd : {top, a, a1, b, owned}) EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(GetFocus(), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetWindowLongPtrW(a1, GWL_STYLE), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(UserWindows, RelationsAndControlIds) {
    Desk desk;
    HWND dlg = desk.make(u"dlg", WS_POPUP);
    HWND first = desk.make(u"first", WS_CHILD, dlg, 1001);
    HWND second = desk.make(u"second", WS_CHILD, dlg, 1002);
    HWND third = desk.make(u"third", WS_CHILD, dlg, 1003);
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), first);  // creation order is the order of siblings
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
    EXPECT_EQ(GetWindow(third, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(third, GW_HWNDPREV), second);
    EXPECT_EQ(GetParent(second), dlg);
    EXPECT_EQ(GetDlgItem(dlg, 1002), second);
    EXPECT_EQ(GetDlgCtrlID(third), 1003);
    EXPECT_EQ(GetDlgCtrlID(dlg), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetDlgItem(dlg, 7), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_TRUE(IsChild(dlg, second));
    EXPECT_FALSE(IsChild(second, dlg));
    // Reordering.
    EXPECT_TRUE(SetWindowPos(third, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), third);
    EXPECT_TRUE(SetWindowPos(third, second, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), third);
    EXPECT_TRUE(SetWindowLongPtrW(third, GWLP_ID, 1010) == 1003);
    EXPECT_EQ(GetDlgItem(dlg, 1010), third);
    std::vector<HWND> children;
    EnumChildWindows(
        dlg, [](HWND h, LPARAM p) -> BOOL { reinterpret_cast<std::vector<HWND>*>(p)->push_back(h); return TRUE; },
        reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(children, (std::vector<HWND>{first, second, third}));
    // A child needs a parent.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(desk.make(u"orphan", WS_CHILD), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(UserWindows, LastActivePopupOfAnOwner) {
    Desk desk;
    HWND main = desk.make(u"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND child = desk.make(u"child", WS_CHILD | WS_VISIBLE, main, 1);
    EXPECT_EQ(GetLastActivePopup(main), main);  // owns nothing yet
    HWND popup = desk.make(u"popup", WS_POPUP | WS_VISIBLE, main);  // shown: activated
    HWND box = desk.make(u"box", WS_POPUP | WS_VISIBLE, popup);     // owned through the popup
    EXPECT_EQ(GetLastActivePopup(main), box);
    EXPECT_EQ(GetLastActivePopup(popup), popup);  // an owned window answers itself
    EXPECT_EQ(GetLastActivePopup(child), child);
    ASSERT_EQ(SetActiveWindow(popup), box);
    EXPECT_EQ(GetLastActivePopup(main), popup);
    ShowWindow(popup, SW_HIDE);  // a hidden popup does not count
    EXPECT_EQ(GetLastActivePopup(main), main);
    ShowWindow(popup, SW_SHOW);
    EXPECT_EQ(GetLastActivePopup(main), popup);
    DestroyWindow(popup);  // takes the box with it
    EXPECT_EQ(GetLastActivePopup(main), main);
    HWND gone = popup;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetLastActivePopup(gone), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(UserWindows, WindowLongsAndExtraBytes) {
    Desk desk;
    HWND dlg = desk.make(u"dlg", WS_POPUP | WS_DISABLED, nullptr, 0, u"Dialogish");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(dlg, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&recordingProc));
    EXPECT_EQ(GetWindowLongW(dlg, GWL_STYLE), static_cast<LONG>(WS_POPUP | WS_DISABLED));
    EXPECT_FALSE(IsWindowEnabled(dlg));
    EXPECT_EQ(SetWindowLongPtrW(dlg, GWLP_USERDATA, 77), 0);
    EXPECT_EQ(GetWindowLongPtrW(dlg, GWLP_USERDATA), 77);
    EXPECT_EQ(SetWindowLongPtrW(dlg, DWLP_USER, 0x1234567890), 0);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), 0x1234567890);
    EXPECT_EQ(SetWindowLongPtrW(dlg, GWL_EXSTYLE, WS_EX_TOPMOST), 0);
    EXPECT_EQ(GetWindowLongPtrW(dlg, GWL_EXSTYLE), WS_EX_TOPMOST);
    SetWindowLongPtrW(dlg, GWL_STYLE, WS_POPUP);
    EXPECT_TRUE(IsWindowEnabled(dlg));
    struct Case {
        HWND hwnd;
        int index;
        DWORD error;
    };
    HWND plain = desk.make(u"plain");
    const Case cases[] = {
        {dlg, 41, ERROR_INVALID_INDEX},   // the value would run past the 48 extra bytes
        {dlg, -100, ERROR_INVALID_INDEX}, {plain, 0, ERROR_INVALID_INDEX},
        {reinterpret_cast<HWND>(0x1234), GWL_STYLE, ERROR_INVALID_WINDOW_HANDLE},
        {nullptr, GWL_STYLE, ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetWindowLongPtrW(c.hwnd, c.index), 0);
        EXPECT_EQ(GetLastError(), c.error);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(SetWindowLongPtrW(c.hwnd, c.index, 5), 0);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(SetWindowLongW(dlg, 44, 9), 0);  // four bytes still fit at 44
    EXPECT_EQ(GetWindowLongW(dlg, 44), 9);
}

TEST(UserWindows, TextStateAndRectangles) {
    Desk desk;
    HWND top = desk.make(u"first title");
    HWND child = desk.make(u"child", WS_CHILD, top, 5);
    WCHAR text[8];
    EXPECT_EQ(GetWindowTextLengthW(top), 11);
    EXPECT_EQ(GetWindowTextW(top, text, 8), 7);  // cut to size - 1
    EXPECT_EQ(std::u16string(text), u"first t");
    EXPECT_TRUE(SetWindowTextW(child, u"renamed"));
    EXPECT_EQ(GetWindowTextLengthW(child), 7);
    EXPECT_TRUE(SetWindowTextW(child, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(child), 0);
    journal.take();

    // Visibility comes down from the parents; the messages come only on a change.
    EXPECT_FALSE(ShowWindow(child, SW_SHOW));
    EXPECT_FALSE(IsWindowVisible(child));  // its parent is hidden
    EXPECT_TRUE(ShowWindow(child, SW_SHOW));
    ShowWindow(top, SW_SHOWNORMAL);
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_TRUE(ShowWindow(top, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_TRUE(EnableWindow(child, FALSE));  // already disabled: no message
    EXPECT_TRUE(EnableWindow(child, TRUE));
    EXPECT_EQ(SetFocus(top), nullptr);
    EXPECT_EQ(SetFocus(child), top);
    EXPECT_EQ(GetFocus(), child);
    EXPECT_FALSE(EnableWindow(child, FALSE));  // the focus goes with it
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(journal.take(),
              (std::vector<std::string>{"? WM_SHOWWINDOW", "first title WM_SHOWWINDOW", "first title WM_ACTIVATE",
                                        "first title WM_SHOWWINDOW", "? WM_ENABLE", "? WM_ENABLE",
                                        "first title WM_SETFOCUS", "first title WM_KILLFOCUS", "? WM_SETFOCUS",
                                        "? WM_KILLFOCUS", "? WM_ENABLE"}));

    // Rectangles: the child's is in its parent's client area, no borders.
    RECT r{};
    EXPECT_TRUE(MoveWindow(top, 100, 50, 400, 300, TRUE));
    EXPECT_TRUE(MoveWindow(child, 10, 20, 30, 40, TRUE));
    EXPECT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{110, 70, 140, 110}));
    EXPECT_TRUE(GetClientRect(child, &r));
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{0, 0, 30, 40}));
    POINT p{1, 2};
    EXPECT_TRUE(ClientToScreen(child, &p));
    EXPECT_EQ(p.x, 111);
    EXPECT_EQ(p.y, 72);
    // The child kept its place (10, 20): only its size changed.
    EXPECT_EQ(journal.take(), (std::vector<std::string>{"first title WM_MOVE", "first title WM_SIZE", "? WM_SIZE"}));
    // WM_CLOSE by default destroys.
    SendMessageW(top, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
}

TEST(UserWindows, BadHandlesFailCleanly) {
    Desk desk;
    const HWND bad[] = {nullptr, reinterpret_cast<HWND>(0x1), reinterpret_cast<HWND>(0xdeadbeef00ull),
                        reinterpret_cast<HWND>(static_cast<uintptr_t>(GetCurrentProcessId()) << 24 | 0xFFFFFF)};
    RECT r{};
    WCHAR text[4] = {u'x'};
    for (HWND hwnd : bad) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(hwnd));
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_FALSE(DestroyWindow(hwnd));
        EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
        EXPECT_FALSE(GetWindowRect(hwnd, &r));
        EXPECT_EQ(GetWindowTextW(hwnd, text, 4), 0);
        EXPECT_EQ(text[0], 0);
        EXPECT_FALSE(SetWindowTextW(hwnd, u"x"));
        EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 0);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(PostMessageW(hwnd ? hwnd : reinterpret_cast<HWND>(0x2), WM_USER, 0, 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
        EXPECT_FALSE(SetPropW(hwnd, u"p", reinterpret_cast<HANDLE>(1)));
        EXPECT_EQ(GetPropW(hwnd, u"p"), nullptr);
        EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), 0u);
        EXPECT_EQ(SetTimer(hwnd ? hwnd : reinterpret_cast<HWND>(0x2), 1, 100, nullptr), 0u);
        EXPECT_EQ(GetDlgItem(hwnd, 1), nullptr);
    }
    MSG msg{};
    EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x2), 0, 0), -1);
    EXPECT_EQ(DispatchMessageW(nullptr), 0);
    EXPECT_TRUE(IsWindow(GetDesktopWindow()));
}

TEST(UserWindows, PropertiesAndTheWindowsOfThisProcess) {
    Desk desk;
    HWND top = desk.make(u"Launcher");
    EXPECT_TRUE(SetPropW(top, u"K2710_AUTORUN", reinterpret_cast<HANDLE>(0x41)));
    EXPECT_EQ(GetPropW(top, u"k2710_autorun"), reinterpret_cast<HANDLE>(0x41));
    EXPECT_EQ(GetPropW(top, u"other"), nullptr);
    EXPECT_EQ(FindWindowW(u"RECORDER", u"Launcher"), top);
    EXPECT_EQ(FindWindowW(nullptr, u"Launcher"), top);
    EXPECT_EQ(FindWindowW(u"Recorder", u"launcher"), nullptr);  // titles match exactly
    struct Search {
        HWND found = nullptr;
    } search;
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            if (GetPropW(h, u"K2710_AUTORUN") != reinterpret_cast<HANDLE>(0x41)) return TRUE;
            reinterpret_cast<Search*>(p)->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    EXPECT_EQ(search.found, top);
    EXPECT_EQ(RemovePropW(top, u"K2710_AUTORUN"), reinterpret_cast<HANDLE>(0x41));
    EXPECT_EQ(GetPropW(top, u"K2710_AUTORUN"), nullptr);
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(top, &pid), GetCurrentThreadId());
    EXPECT_EQ(pid, GetCurrentProcessId());
    // Message-only windows are not found.
    HWND hidden = CreateWindowExW(0, u"Recorder", u"MsgOnly", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(hidden, nullptr);
    desk.made.push_back(hidden);
    EXPECT_EQ(FindWindowW(nullptr, u"MsgOnly"), nullptr);
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_EQ(FindWindowW(nullptr, u"Launcher"), nullptr);
}

}  // namespace
