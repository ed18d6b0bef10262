// The window manager's state in this process, shared by the files of src/user/.
//
// One lock (`UserState::mutex`) guards classes, windows, queues, timers and hooks; window procedures
// and hooks are always called without it. A window handle carries the id of the process that made it
// (pid << 24 | a counter), so a handle of another process is known as such without a lookup; a forked
// child starts with an empty state of its own (the state is kept per process id).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "win/user.h"

namespace platform::user {

// The screen: the desktop window's rectangle and SM_CXSCREEN x SM_CYSCREEN.
inline constexpr LONG kScreenWidth = 1024;
inline constexpr LONG kScreenHeight = 768;

struct WindowClass {
    std::u16string name;
    std::u16string folded;
    ATOM atom = 0;
    WNDCLASSEXW info{};
    int windows = 0;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE instance = nullptr;
    std::vector<unsigned char> extra;
    HWND parent = nullptr;  // child windows only
    HWND owner = nullptr;   // top-level windows only
    std::vector<HWND> children;  // top of the order first
    std::u16string text;
    RECT rect{};  // in the parent's client coordinates (the screen for top-level windows)
    DWORD tid = 0;
    bool messageOnly = false;
    bool destroying = false;
    bool published = false;
    std::vector<std::pair<std::u16string, HANDLE>> props;
    std::filesystem::path file;  // its entry among the machine's top-level windows
    HICON icons[2] = {nullptr, nullptr};  // WM_SETICON's ICON_SMALL and ICON_BIG
    HMENU systemMenu = nullptr;           // made by the first GetSystemMenu
    HWND lastActive = nullptr;  // root owners: the window it owns (or itself) that was activated last
    bool topLevel() const { return (style & WS_CHILD) == 0; }
};

// A menu's items (only system menus are made).
struct MenuItem {
    UINT id = 0;
    UINT state = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_SEPARATOR
    std::u16string text;
};
struct Menu {
    HWND owner = nullptr;
    std::vector<MenuItem> items;
};

struct SentMessage {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    bool failed = false;
    DWORD senderTid = 0;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT interval = 0;
    ULONGLONG due = 0;
    TIMERPROC proc = nullptr;
};

struct ThreadQueue {
    DWORD tid = 0;
    bool alive = true;
    std::condition_variable wake;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<std::function<void()>> calls;  // asked for by another process, run like sent messages
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND tracking = nullptr;  // the window TrackMouseEvent watches for the cursor leaving (TME_LEAVE)
};

struct Hook {
    HHOOK handle = nullptr;
    HOOKPROC proc = nullptr;
    DWORD tid = 0;  // 0: every thread of the process
    int kind = WH_CBT;
};

// A marker posted after input: the thread that posted the input waits until the window's thread has
// come back to its message loop for it, so everything posted before it has been handled.
struct InputMarker {
    DWORD waiterTid = 0;
    bool done = false;
};

struct UserState {
    std::mutex mutex;
    int pid = 0;
    uint64_t nextWindow = 1;
    ATOM nextAtom = 0xC000;
    UINT_PTR nextThreadTimer = 1;
    uintptr_t nextHook = 1;
    std::map<std::u16string, std::shared_ptr<WindowClass>> classes;  // by folded name
    std::map<HWND, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevels;  // this process's top-level windows, top of the order first
    std::map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    std::vector<Hook> hooks;  // newest first
    HWND foreground = nullptr;
    bool builtinClasses = false;  // the dialog class and the controls' classes are registered
    // The mouse: where the cursor is on the screen, the window holding the capture (of its own
    // thread), the buttons held, and the markers of input waiting to be handled.
    POINT cursor{0, 0};
    HWND capture = nullptr;
    WPARAM buttons = 0;
    uint64_t nextMarker = 1;
    std::map<uint64_t, InputMarker> markers;
    std::map<HMENU, Menu> menus;
    uintptr_t nextMenu = 1;
    // The clipboard as this process has it (clipboard.cpp): the thread and window that opened it, the
    // descriptor holding the machine's lock, and the global memory blocks the clipboard owns here
    // (those given to SetClipboardData, and those GetClipboardData made, by format).
    DWORD clipboardTid = 0;
    HWND clipboardOwner = nullptr;
    int clipboardLock = -1;
    std::vector<HANDLE> clipboardGiven;
    std::map<UINT, HANDLE> clipboardMade;
};

// The state of this process (a fresh one after a fork).
UserState& state();
// The calling thread's queue, made on first use (the lock must be held).
std::shared_ptr<ThreadQueue> myQueue(std::unique_lock<std::mutex>& lock);
std::shared_ptr<Window> findWindow(HWND hwnd);  // lock held; null when not a window of this process
std::shared_ptr<ThreadQueue> queueOf(DWORD tid);  // lock held
DWORD currentTid();
int currentPid();
// True when the handle names a window of another process (by the id it carries).
bool foreignHandle(HWND hwnd);
HWND desktopWindow();

// Calls the CBT hooks of the calling thread (without the lock); returns the chain's answer.
LRESULT callCbtHooks(int code, WPARAM wParam, LPARAM lParam);

// ---- The machine's top-level windows (machine.cpp) --------------------------------------------
// Writes or rewrites the entry of a top-level window of this process (lock held: reads the window).
void publish(Window& window);
void unpublish(Window& window);
struct PublishedWindow {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    DWORD tid = 0;
    std::u16string className;
    std::u16string title;
    DWORD style = 0;
    std::vector<std::pair<std::u16string, HANDLE>> props;
    HWND lastActive = nullptr;  // the window it owns that was activated last, when it published one
};
// Live entries of other processes (dead processes' entries are removed on the way).
std::vector<PublishedWindow> foreignWindows();
std::optional<PublishedWindow> foreignWindow(HWND hwnd);
// The machine's foreground window: recorded by the process that brings a window forward (lock
// held or not), read by any process; null when none was recorded.
void publishForeground(HWND hwnd);
HWND machineForeground();
// What a datagram to another process asks for.
enum class Request : uint32_t { Post = 0, Show = 1, Foreground = 2 };
// Sends a request to another process's inbox; an error code, or ERROR_SUCCESS.
DWORD postToProcess(DWORD pid, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Request request = Request::Post);
// Makes sure this process's inbox listens (called when a top-level window is published).
void openInbox();
// Has the thread of a window of this process run `call` in its message loop (lock held); false if none.
bool deliverCall(HWND hwnd, std::function<void()> call);
// Delivers a posted message to the queue of a window of this process (lock held); false if none.
bool deliverPosted(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The same for input: the message carries the cursor position `pt` it happened at (lock held).
bool deliverInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, POINT pt);

// Forgets the windows of a thread that ended, without messages (lock held; windows.cpp).
void forgetThreadWindows(DWORD tid);

// Lets go of the clipboard when the thread that has it open ends (lock held; clipboard.cpp).
void forgetClipboard(DWORD tid);

// ---- The system menu (menus.cpp) ---------------------------------------------------------------
// Forgets a window's menus as it goes (lock held).
void forgetMenus(Window& window);
// Whether the window's system menu lets it be closed: it has WS_SYSMENU and a Close item that is
// neither greyed nor disabled (lock held).
bool closeAllowed(const Window& window);

// ---- Dialogs (dialogs.cpp) ----------------------------------------------------------------------
// Whether a thread with nothing else to do may move the virtual clock on to this timer: not to a test
// watchdog's while a script runs, since it would only come again, and its jumps would make a reply
// the script's program waits for from another thread or process late.
bool timerMovesClock(const Timer& timer);

// ---- Messages (messages.cpp) --------------------------------------------------------------------
// Removes a thread's timers of a window (lock held).
void dropTimers(HWND hwnd, DWORD tid);
// Calls a window procedure of this process (without the lock).
LRESULT callProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Input markers (messages.cpp). A marker is posted to a thread's queue (lock held; 0 when the thread has
// no queue) and taken, unseen, by the first GetMessageW/PeekMessageW without a filter that finds it at
// the front of the queue; a modal loop that ends lets go of the markers left in its thread's queue.
uint64_t postMarker(DWORD tid);
// Waits (real time, at most `realMilliseconds`) until the markers are taken, handling what is sent to
// the calling thread meanwhile; a thread that ends lets go of its markers. False on the time limit.
bool awaitMarkers(const std::vector<std::pair<DWORD, uint64_t>>& markers, DWORD realMilliseconds);
// Whether a marker has been taken (it is forgotten then).
bool markerTaken(uint64_t marker);
// Forgets a marker nobody waits for any more (taken or not).
void forgetMarker(uint64_t marker);
// Lets go of the markers in the calling thread's queue (at the end of a modal loop).
void releaseMarkers();

// The message a modal loop of the calling thread takes next, as GetMessageW takes it (TRUE, or FALSE for
// WM_QUIT), or -1 with none once `ended` is set: the loop looks at it whenever its thread wakes, so
// ending the loop needs nothing in the queue (lock not held).
int takeModalMessage(MSG* out, const std::atomic<bool>& ended);
// Wakes a thread waiting for messages, so that it looks again at what it waits for (lock not held).
void wakeThread(DWORD tid);

// Messages whose parameters are pointers: they can only be sent, never posted (nor taken from
// another process).
bool carriesPointer(UINT msg);

bool equalsNoCase(std::u16string_view a, std::u16string_view b);

// ---- Dialogs and controls (dialogs.cpp, controls.cpp) -------------------------------------------
// Registers the dialog class and the built-in control classes once in this process (without the lock).
void ensureBuiltinClasses();
// True for a window made by the dialog manager (CreateDialogParamW, DialogBoxParamW, MessageBoxW).
bool isDialogWindow(HWND hwnd);

// ---- Mouse input (input.cpp) --------------------------------------------------------------------
// The window of this process under a screen point (lock held): the deepest visible child, skipping
// disabled children and the controls that are transparent to the mouse (group boxes, statics without
// SS_NOTIFY), of the topmost visible top-level window there; NULL where there is none.
HWND windowAt(POINT screen);
// The window's rectangle on the screen (lock held).
RECT screenRectOf(const Window& w);
// Forgets a window that goes away as the capture and as a tracked window (lock held).
void forgetMouse(HWND hwnd);
// Messages of our own between the dialog scripting calls and the dialogs and controls.
inline constexpr UINT kScriptFocus = 0x0392;        // dialog: SetFocus(wParam)
inline constexpr UINT kScriptGetFocus = 0x0393;     // dialog: answers GetFocus()
inline constexpr UINT kScriptShownText = 0x0394;    // edit: lParam std::u16string* of what it shows
inline constexpr UINT kScriptColours = 0x0395;      // static: lParam StaticColours* asked of the parent
inline constexpr UINT kScriptChoose = 0x0396;       // combo box: the user chooses item wParam
inline constexpr UINT kInputMarker = 0x0397;        // thread message: wParam the marker (never seen by loops)
inline constexpr UINT kScriptListPlace = 0x0398;    // list view: lParam ListPlace* to fill in

// Where a user clicks a list view's header column or row (in its client coordinates).
struct ListPlace {
    bool header = false;  // a column's header, else a row's first-column text
    int index = 0;
    RECT rect{};
};

}  // namespace platform::user
