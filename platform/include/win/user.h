// Windows and messages: window classes, windows with their styles, text, rectangles and extra bytes,
// per-thread message queues (posted and sent messages, timers on the machine clock, WM_QUIT), CBT
// hooks, and the machine's top-level windows across processes (FindWindowW, EnumWindows, properties,
// PostMessageW to another process). There is no screen: rectangles are plain numbers, nothing is
// painted here, there is no mouse or keyboard input, no non-client area (the client area is the whole
// window) and no menus. Left out everywhere: ANSI variants, window stations and desktops, DPI,
// Unicode/ANSI thunking of window procedures, security (UIPI filters are kept but never block).
#pragma once

#include "win/base.h"
#include "win/gdi.h"
#include "win/resources.h"

typedef UINT_PTR WPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD_PTR* PDWORD_PTR;
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HHOOK);
typedef HICON HCURSOR;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef LRESULT(CALLBACK* HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

#define MAKEINTATOM(i) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(l))) | (static_cast<DWORD>(static_cast<WORD>(h)) << 16))))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(l))) | (static_cast<DWORD>(static_cast<WORD>(h)) << 16))))

// ---- Errors --------------------------------------------------------------------------------------
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_HOOK_HANDLE 1404L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_INVALID_HOOK_FILTER 1426L
#define ERROR_INVALID_FILTER_PROC 1427L
#define ERROR_MESSAGE_SYNC_ONLY 1159L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_TIMEOUT 1460L
#define ERROR_NOT_ENOUGH_QUOTA 1816L

// ---- Styles ----------------------------------------------------------------------------------------
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define WS_POPUPWINDOW (WS_POPUP | WS_BORDER | WS_SYSMENU)
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_LAYERED 0x00080000L
#define WS_EX_LAYOUTRTL 0x00400000L
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_OWNDC 0x0020
#define CS_PARENTDC 0x0080
#define CS_GLOBALCLASS 0x4000
#define CW_USEDEFAULT (static_cast<int>(0x80000000))

// ---- Messages ------------------------------------------------------------------------------------
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_PARENTNOTIFY 0x0210
#define WM_USER 0x0400
#define WM_APP 0x8000
#define SC_CLOSE 0xF060
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
typedef CREATESTRUCTW* LPCREATESTRUCTW;

// ---- Classes ---------------------------------------------------------------------------------------
struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
};
typedef WNDCLASSEXW* LPWNDCLASSEXW;
struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

// Registers a class of this process (names compare without regard to case; the module handle is kept
// but does not tell classes apart, so CS_GLOBALCLASS changes nothing); returns its atom (0xC000 up).
// ERROR_INVALID_PARAMETER for a wrong cbSize, no name or no procedure, ERROR_CLASS_ALREADY_EXISTS.
// Class extra bytes are kept but there is no GetClassLongPtr. Fault switch "RegisterClassExW".
WINBASEAPI ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc);
// RegisterClassExW without the small icon.
WINBASEAPI ATOM WINAPI RegisterClassW(const WNDCLASSW* wc);
// Removes a class by name or atom; ERROR_CLASS_DOES_NOT_EXIST, ERROR_CLASS_HAS_WINDOWS while it has windows.
WINBASEAPI BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// A registered class's description; returns its atom, 0 with ERROR_CLASS_DOES_NOT_EXIST. No system classes.
WINBASEAPI BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc);
// The class name of a window of this process (or of another process's top-level window).
WINBASEAPI int WINAPI GetClassNameW(HWND hwnd, LPWSTR name, int size);

// ---- Windows ---------------------------------------------------------------------------------------
#define HWND_DESKTOP (static_cast<HWND>(nullptr))
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))
#define HWND_TOP (static_cast<HWND>(nullptr))
#define HWND_BOTTOM (reinterpret_cast<HWND>(static_cast<LONG_PTR>(1)))
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-2)))
#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(0xffff)))

// Creates a window owned by the calling thread: the CBT hook (HCBT_CREATEWND) first, then
// WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, and WM_PARENTNOTIFY to the parent of a child window
// (unless WS_EX_NOPARENTNOTIFY). WS_CHILD needs a parent (the control id is hMenu); a top-level
// window's "parent" is its owner (the root of that owner). A window that does not have WS_CHILD is
// top-level and is published to the machine; HWND_MESSAGE makes a message-only window, which is not.
// A visible top-level window is then activated. CW_USEDEFAULT gives position 0,0 and size 0,0. A hook or WM_NCCREATE saying no, or WM_CREATE answering
// -1, destroys the window and returns NULL. ERROR_CANNOT_FIND_WND_CLASS, ERROR_INVALID_WINDOW_HANDLE
// for a bad parent or owner (or one of another process), ERROR_INVALID_PARAMETER for WS_CHILD without
// a parent. Menus are not modelled. Fault switch "CreateWindowExW" (detail: the class name in UTF-8) fails a call
// (ERROR_NOT_ENOUGH_MEMORY).
WINBASEAPI HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                                       int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                       LPVOID param);
// Destroys a window of the calling thread: the CBT hook (HCBT_DESTROYWND) may refuse; then windows it
// owns, WM_PARENTNOTIFY to its parent, WM_DESTROY to it and then to its children (each before its own
// children), WM_NCDESTROY to the children and then to it; its timers and properties go, focus and activation let go of it.
// ERROR_ACCESS_DENIED for a window of another thread.
WINBASEAPI BOOL WINAPI DestroyWindow(HWND hwnd);
// A window of this process, another process's live top-level window, or the desktop window.
WINBASEAPI BOOL WINAPI IsWindow(HWND hwnd);
// The parent of a child window, the owner of a top-level one (as Windows answers); NULL otherwise.
WINBASEAPI HWND WINAPI GetParent(HWND hwnd);
// Sets the parent of a window of this process; returns the old one. No WM_PARENTNOTIFY, no style change.
WINBASEAPI HWND WINAPI SetParent(HWND hwnd, HWND parent);
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
#define GA_PARENT 1
#define GA_ROOT 2
#define GA_ROOTOWNER 3
// Relations in this process: siblings in their order (a new child goes to the bottom, so children come
// in creation order; a new top-level window to the top; SetWindowPos reorders), the first child, the
// owner. The desktop's children are this process's top-level windows.
WINBASEAPI HWND WINAPI GetWindow(HWND hwnd, UINT cmd);
// GA_PARENT (the desktop for a top-level window), GA_ROOT and GA_ROOTOWNER.
WINBASEAPI HWND WINAPI GetAncestor(HWND hwnd, UINT flags);
WINBASEAPI BOOL WINAPI IsChild(HWND parent, HWND hwnd);
// The first child of `dialog` with this control id; NULL with ERROR_CONTROL_ID_NOT_FOUND.
WINBASEAPI HWND WINAPI GetDlgItem(HWND dialog, int id);
// A child window's control id; 0 for a top-level window (ERROR_INVALID_WINDOW_HANDLE for a bad one).
WINBASEAPI int WINAPI GetDlgCtrlID(HWND hwnd);
// A single place for the desktop window; it has no procedure, text or messages. Its rectangle is 1024x768.
WINBASEAPI HWND WINAPI GetDesktopWindow();

#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
// Window longs of a window of this process: the negative indexes above (GWLP_HWNDPARENT reads and sets
// the owner of a top-level window) and offsets into the class's cbWndExtra bytes, which must hold the
// whole value (ERROR_INVALID_INDEX). Setting GWL_STYLE changes WS_VISIBLE/WS_DISABLED without messages.
// Windows of other processes: ERROR_ACCESS_DENIED. The last error is left alone on success.
WINBASEAPI LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
WINBASEAPI LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index);
// The 32-bit forms of the same (values cut to 32 bits).
WINBASEAPI LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value);
WINBASEAPI LONG WINAPI GetWindowLongW(HWND hwnd, int index);
// Calls a window procedure (as saved from GWLP_WNDPROC); 0 for a NULL procedure.
WINBASEAPI LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The defaults our programs rely on: WM_NCCREATE takes the text from CREATESTRUCTW (TRUE); WM_SETTEXT,
// WM_GETTEXT, WM_GETTEXTLENGTH on the window's text; WM_CLOSE and WM_SYSCOMMAND SC_CLOSE end in
// DestroyWindow; WM_QUERYENDSESSION answers TRUE; everything else 0. No painting, no non-client hits.
WINBASEAPI LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// WM_SETTEXT to the window (sent, so a window of another thread gets it in its loop); FALSE with
// ERROR_ACCESS_DENIED for another process's window.
WINBASEAPI BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text);
// WM_GETTEXT to a window of this process; another process's top-level window answers the title it
// published without being asked. Returns the characters copied (cut to size - 1 and terminated).
WINBASEAPI int WINAPI GetWindowTextW(HWND hwnd, LPWSTR text, int size);
WINBASEAPI int WINAPI GetWindowTextLengthW(HWND hwnd);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
// Sets or clears WS_VISIBLE (WM_SHOWWINDOW when it changes) and WS_MINIMIZE/WS_MAXIMIZE; the showing
// commands that activate make a top-level window the thread's active window (HCBT_ACTIVATE, WM_ACTIVATE).
// Returns whether it was visible before. Another process's top-level window is asked to do it (its
// thread does, in its message loop); the answer is then its visibility as last published.
WINBASEAPI BOOL WINAPI ShowWindow(HWND hwnd, int cmd);
// WS_VISIBLE of the window and of all its parents (another process's top-level window: as published).
WINBASEAPI BOOL WINAPI IsWindowVisible(HWND hwnd);
WINBASEAPI BOOL WINAPI IsIconic(HWND hwnd);
WINBASEAPI BOOL WINAPI IsZoomed(HWND hwnd);
// Sets or clears WS_DISABLED (WM_ENABLE when it changes; a disabled window loses the focus); returns
// whether it was disabled before.
WINBASEAPI BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable);
WINBASEAPI BOOL WINAPI IsWindowEnabled(HWND hwnd);
// The calling thread's focus: WM_KILLFOCUS to the old window, WM_SETFOCUS to the new one; returns the
// old focus. Windows of other threads: NULL with ERROR_ACCESS_DENIED. No keyboard input follows it.
WINBASEAPI HWND WINAPI SetFocus(HWND hwnd);
WINBASEAPI HWND WINAPI GetFocus();
// The calling thread's active top-level window (HCBT_ACTIVATE may refuse; WM_ACTIVATE to both).
// The foreground window is the active window of the thread that set it last; there is no real screen.
// SetForegroundWindow of another process's top-level window asks its thread to activate it.
WINBASEAPI HWND WINAPI SetActiveWindow(HWND hwnd);
WINBASEAPI HWND WINAPI GetActiveWindow();
WINBASEAPI BOOL WINAPI SetForegroundWindow(HWND hwnd);
WINBASEAPI HWND WINAPI GetForegroundWindow();

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOOWNERZORDER 0x0200
// Position and size in the parent's client coordinates (the screen for top-level windows), WM_MOVE and
// WM_SIZE when they change; no WM_WINDOWPOSCHANGING/CHANGED, no minimum sizes.
WINBASEAPI BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
// MoveWindow with the flags above, and the order among siblings (HWND_TOP, HWND_BOTTOM, a sibling to go
// after; HWND_TOPMOST/HWND_NOTOPMOST set or clear WS_EX_TOPMOST and go to the top or stay).
WINBASEAPI BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// The window in screen coordinates (parents' positions added up).
WINBASEAPI BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect);
// 0, 0, width, height: there is no non-client area.
WINBASEAPI BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect);
WINBASEAPI BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point);
WINBASEAPI BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point);

// ---- Properties and other processes ----------------------------------------------------------------
// Properties of a window of this process; those of a top-level window are published with it, so
// GetPropW also reads another process's window. Names compare without regard to case; atoms as names
// are not modelled (ERROR_INVALID_PARAMETER). SetPropW on another process's window: ERROR_ACCESS_DENIED.
WINBASEAPI BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data);
WINBASEAPI HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name);
WINBASEAPI HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name);
// The first top-level window of any live process of the machine with this class (NULL or "" for any)
// and exact title (NULL for any); class names compare without regard to case. This process's windows
// come first. Message-only windows are not found. NULL (last error 0) when there is none.
WINBASEAPI HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName);
// Every top-level window of every live process of the machine (this process's first, newest first)
// until the callback answers FALSE; windows of processes that ended are not reported.
WINBASEAPI BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM param);
// Each child window of `parent` (all descendants, parents before their children).
WINBASEAPI BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param);
// The thread that owns the window and (when `processId` is given) its process; 0 for a bad window.
WINBASEAPI DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);
#define MSGFLT_ADD 1
#define MSGFLT_REMOVE 2
// Kept for the callers: messages between processes are never filtered here. Always TRUE.
WINBASEAPI BOOL WINAPI ChangeWindowMessageFilter(UINT message, DWORD flag);

// ---- Messages ------------------------------------------------------------------------------------
// Puts a message at the end of the queue of the window's thread: a window of this process, or another
// process's top-level window (only the number, wParam and lParam cross; pointers mean nothing there).
// NULL posts to the calling thread. HWND_BROADCAST is not modelled (ERROR_INVALID_WINDOW_HANDLE).
// Messages whose parameters are pointers (WM_SETTEXT, WM_GETTEXT, WM_CREATE, ...): ERROR_MESSAGE_SYNC_ONLY.
// ERROR_NOT_ENOUGH_QUOTA when the other process's inbox is full. Fault switch "PostMessageW".
WINBASEAPI BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A message with no window to a thread of this process that has a queue (ERROR_INVALID_THREAD_ID).
WINBASEAPI BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly for a window of the calling thread; for another thread's window
// the sender waits while that thread handles it in GetMessageW/PeekMessageW/a wait for messages, and
// handles messages sent to itself meanwhile. A window of another process is refused (0 with
// ERROR_ACCESS_DENIED); a thread that ends first answers 0.
WINBASEAPI LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
// SendMessageW with a timeout on the machine clock (ERROR_TIMEOUT, 0; the message is still handled
// later, its answer dropped). SMTO_BLOCK still handles messages sent to the caller; hung detection is
// not modelled.
WINBASEAPI LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                                              UINT timeout, PDWORD_PTR result);
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002
// Handles messages sent to the calling thread, then takes the first posted message for `hwnd` (NULL:
// any window of the thread and thread messages; (HWND)-1: thread messages only) within the range (0, 0:
// all), then due timers (WM_TIMER, one per timer at a time); WM_QUIT is taken whatever the filter once
// the posted messages are gone. Waits on the machine clock; in virtual time a thread with nothing to
// do but timers moves the clock on to the next one. Returns -1 for a bad hwnd, 0 for WM_QUIT.
WINBASEAPI BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
// The same without waiting; PM_NOREMOVE leaves the message (and a due timer) in place.
WINBASEAPI BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Posts WM_CHAR for WM_KEYDOWN of letters (lower case: there is no keyboard state), digits, space,
// Return, Backspace, Tab and Escape, to be taken next; TRUE for key messages. Nothing else.
WINBASEAPI BOOL WINAPI TranslateMessage(const MSG* msg);
// Calls the window procedure of a window of the calling thread (a WM_TIMER with a TIMERPROC in lParam
// calls that instead, when it is a timer of the calling thread). Messages of other threads' windows are
// not dispatched (0).
WINBASEAPI LRESULT WINAPI DispatchMessageW(const MSG* msg);
// Makes WM_QUIT with this exit code come to the calling thread once its posted messages are gone.
WINBASEAPI void WINAPI PostQuitMessage(int exitCode);
// Waits until the calling thread has a message (posted, sent or a due timer); sent ones are not handled.
WINBASEAPI BOOL WINAPI WaitMessage();
#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_INPUT 0x0007
#define QS_ALLEVENTS 0x00BF
#define QS_ALLINPUT 0x00FF
#define WAIT_ABANDONED_0 0x00000080u
// Waits for one (waitAll FALSE) of the mutexes or for any message in the queue (the mask is not looked
// at); WAIT_OBJECT_0 + count for a message. waitAll TRUE is not modelled (ERROR_INVALID_PARAMETER).
WINBASEAPI DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                                  DWORD wakeMask);
// A message number of the machine (0xC000 up) for a name, the same in every process; names compare
// without regard to case. 0 with ERROR_INVALID_PARAMETER for an empty name.
WINBASEAPI UINT WINAPI RegisterWindowMessageW(LPCWSTR name);

// ---- Timers --------------------------------------------------------------------------------------
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF
// A timer of the calling thread on the machine clock: for a window of the thread (replacing the timer
// of the same id; returns the id) or, with NULL, a thread timer with a new id. Intervals are held within
// USER_TIMER_MINIMUM..USER_TIMER_MAXIMUM. ERROR_INVALID_WINDOW_HANDLE, ERROR_ACCESS_DENIED for a window
// of another thread.
WINBASEAPI UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
// Ends a timer of the calling thread; a WM_TIMER of it not yet taken does not come. FALSE when there
// is no such timer.
WINBASEAPI BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id);

// ---- Hooks ---------------------------------------------------------------------------------------
#define WH_CBT 5
#define HCBT_MOVESIZE 0
#define HCBT_MINMAX 1
#define HCBT_QS 2
#define HCBT_CREATEWND 3
#define HCBT_DESTROYWND 4
#define HCBT_ACTIVATE 5
#define HCBT_SETFOCUS 9
struct CBT_CREATEWNDW {
    CREATESTRUCTW* lpcs;
    HWND hwndInsertAfter;
};
typedef CBT_CREATEWNDW* LPCBT_CREATEWNDW;
struct CBTACTIVATESTRUCT {
    BOOL fMouse;
    HWND hWndActive;
};
// A CBT hook for one thread of this process (0: every thread of this process; there are no hooks
// into other processes): HCBT_CREATEWND, HCBT_DESTROYWND, HCBT_ACTIVATE and HCBT_SETFOCUS, newest hook
// first; a nonzero answer prevents the action. Other hook kinds: ERROR_INVALID_HOOK_FILTER.
WINBASEAPI HHOOK WINAPI SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
// The next hook of the chain after `hook` for the calling thread; 0 when there is none.
WINBASEAPI LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
// ERROR_INVALID_HOOK_HANDLE for a hook that is not installed.
WINBASEAPI BOOL WINAPI UnhookWindowsHookEx(HHOOK hook);
