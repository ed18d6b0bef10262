// Windows and messages: window classes, windows with their styles, text, rectangles and extra bytes,
// per-thread message queues (posted and sent messages, timers on the machine clock, WM_QUIT), CBT
// hooks, and the machine's top-level windows across processes (FindWindowW, EnumWindows, properties,
// PostMessageW to another process), the mouse (the cursor on a screen of this process's windows,
// capture, leave tracking), message filters for modal loops, and painting into a software raster.
// There is no keyboard device (keys come from platform/dialogs.h), no non-client area (the client area
// is the whole window) and no menus but the system menu's items. Left out everywhere: ANSI variants, window stations and desktops, DPI,
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
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_HELP 0x0053
#define WM_GETICON 0x007F
#define WM_SETICON 0x0080
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_PARENTNOTIFY 0x0210
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_CAPTURECHANGED 0x0215
#define WM_MOUSELEAVE 0x02A3
#define WM_CUT 0x0300
#define WM_COPY 0x0301
#define WM_PASTE 0x0302
#define WM_CLEAR 0x0303
#define WM_USER 0x0400
#define WM_APP 0x8000
#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120
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
#define VK_UP 0x26
#define VK_DOWN 0x28
#define VK_F1 0x70
#define VK_F4 0x73

// The keys and buttons held, in wParam of mouse messages.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
// The signed client coordinates of a mouse message (they are negative left of or above the window).
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))

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
// A registered class's description; returns its atom, 0 with ERROR_CLASS_DOES_NOT_EXIST. The system's
// classes (the dialog class "#32770" and the built-in controls') answer before any window exists.
WINBASEAPI BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc);
// GetClassInfoExW without the small icon; TRUE or FALSE.
WINBASEAPI BOOL WINAPI GetClassInfoW(HINSTANCE instance, LPCWSTR className, WNDCLASSW* wc);
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
#define GW_ENABLEDPOPUP 6
#define GA_PARENT 1
#define GA_ROOT 2
#define GA_ROOTOWNER 3
// Relations in this process: siblings in their order (a new child goes to the bottom, so children come
// in creation order; a new top-level window to the top; SetWindowPos reorders), the first child, the
// owner, GW_ENABLEDPOPUP the topmost visible and enabled window it owns (NULL when there is none,
// where Windows answers the window itself). The desktop's children are this process's top-level windows.
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
// DestroyWindow; WM_SYSKEYDOWN of Alt+F4 sends WM_SYSCOMMAND SC_CLOSE to the top-level window unless its
// system menu's Close is greyed or disabled; WM_KEYDOWN of VK_F1 sends WM_HELP (HELPINFO_WINDOW of the
// focus) to the thread's focus window; WM_HELP in a child goes on to its parent (a top-level window's
// ends there); WM_SETICON keeps a small and a big icon per window (answering the previous one) and
// WM_GETICON answers them (ICON_SMALL2: the small one, else the big one); WM_QUERYENDSESSION answers
// TRUE; everything else 0 (WM_ICONERASEBKGND and WM_QUERYDRAGICON too). No painting, no non-client hits.
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
// A program started with STARTF_USESHOWWINDOW: its wShowWindow replaces SW_SHOWDEFAULT (else
// SW_SHOWNORMAL), and SW_SHOWNORMAL or SW_SHOW in the process's first ShowWindow of an unowned
// top-level window (that first call spends the rule whatever its command).
WINBASEAPI BOOL WINAPI ShowWindow(HWND hwnd, int cmd);
// WS_VISIBLE of the window and of all its parents (another process's top-level window: as published).
WINBASEAPI BOOL WINAPI IsWindowVisible(HWND hwnd);
// Another process's top-level window: as published.
WINBASEAPI BOOL WINAPI IsIconic(HWND hwnd);
WINBASEAPI BOOL WINAPI IsZoomed(HWND hwnd);
// Sets or clears WS_DISABLED (WM_ENABLE when it changes; a disabled window loses the focus and the
// mouse capture); returns whether it was disabled before.
WINBASEAPI BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable);
WINBASEAPI BOOL WINAPI IsWindowEnabled(HWND hwnd);
// The calling thread's focus: WM_KILLFOCUS to the old window, WM_SETFOCUS to the new one; returns the
// old focus. Windows of other threads: NULL with ERROR_ACCESS_DENIED. The keys of platform/dialogs.h go to it.
WINBASEAPI HWND WINAPI SetFocus(HWND hwnd);
WINBASEAPI HWND WINAPI GetFocus();
// The calling thread's active top-level window (HCBT_ACTIVATE may refuse; WM_ACTIVATE to both).
// The foreground window is the machine's: the window activated or brought forward last by any
// process of the machine, while it lives (else the one this process brought forward last); there is
// no real screen. SetForegroundWindow of another process's top-level window asks its thread to
// activate it.
WINBASEAPI HWND WINAPI SetActiveWindow(HWND hwnd);
WINBASEAPI HWND WINAPI GetActiveWindow();
WINBASEAPI BOOL WINAPI SetForegroundWindow(HWND hwnd);
WINBASEAPI HWND WINAPI GetForegroundWindow();
// The window owned by `hwnd` (directly or through other owned windows) that was activated last, while
// it is alive and visible; else `hwnd` itself (also for child windows, owned windows and a window that
// owns nothing). Another process's top-level window answers what that process published.
// NULL with ERROR_INVALID_WINDOW_HANDLE for a bad window.
WINBASEAPI HWND WINAPI GetLastActivePopup(HWND hwnd);

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

#define WPF_SETMINPOSITION 0x0001
#define WPF_RESTORETOMAXIMIZED 0x0002
#define WPF_ASYNCWINDOWPLACEMENT 0x0004
struct WINDOWPLACEMENT {
    UINT length;  // sizeof(WINDOWPLACEMENT), or the calls fail with ERROR_INVALID_PARAMETER
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};
// The window's show state (SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, else SW_SHOWNORMAL, hidden or not), its
// rectangle as the normal position (windows keep one rectangle here: minimising and maximising do not
// move them) and the flags and positions last set. Another process's window: ERROR_ACCESS_DENIED.
WINBASEAPI BOOL WINAPI GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement);
// Moves the window to the normal position (SetWindowPos without activation, any size from 0 up) and
// shows it with `showCmd` (ShowWindow); keeps the flags and the minimised (with WPF_SETMINPOSITION) and
// maximised positions for GetWindowPlacement, which nothing else obeys.
WINBASEAPI BOOL WINAPI SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement);

// ---- The mouse -----------------------------------------------------------------------------------------
// The screen is this process's top-level windows at their rectangles; it has no edges (the cursor goes
// where it is put) and other processes' windows are not on it. Mouse input comes from the actions of
// platform/dialogs.h (moveMouse, pressMouse, ...) and from SetCursorPos: each mouse message is posted to
// the thread of the window holding the capture or else of the window under the cursor (client
// coordinates of that window in lParam, the buttons held in wParam, the screen point in MSG::pt), and
// a disabled top-level window takes none. Two presses never make a double click by themselves:
// WM_LBUTTONDBLCLK comes from doubleClickMouse only (to a class with CS_DBLCLKS). Only the left button
// is modelled; no WM_SETCURSOR, WM_NCHITTEST or WM_MOUSEACTIVATE, no hover, no wheel.
// The cursor position in screen coordinates; FALSE with ERROR_INVALID_PARAMETER for no point.
WINBASEAPI BOOL WINAPI GetCursorPos(LPPOINT point);
// Moves the cursor and posts the WM_MOUSEMOVE this makes (and WM_MOUSELEAVE to a tracked window left).
WINBASEAPI BOOL WINAPI SetCursorPos(int x, int y);
// The window under a screen point: the deepest visible child of the topmost visible top-level window
// there, where disabled children and controls transparent to the mouse (group boxes, statics without
// SS_NOTIFY) are passed over (a disabled top-level window is answered itself); NULL where no window of
// this process is.
WINBASEAPI HWND WINAPI WindowFromPoint(POINT point);
#define CWP_ALL 0x0000
#define CWP_SKIPINVISIBLE 0x0001
#define CWP_SKIPDISABLED 0x0002
#define CWP_SKIPTRANSPARENT 0x0004
// The first direct child of `parent` (top of the order first) containing a point in the parent's client
// coordinates, with the CWP_* flags passing over hidden, disabled or WS_EX_TRANSPARENT ones; the parent
// itself when none does; NULL when the point is outside the parent (or for a bad window).
WINBASEAPI HWND WINAPI ChildWindowFromPointEx(HWND parent, POINT point, UINT flags);
// ChildWindowFromPointEx with CWP_ALL.
WINBASEAPI HWND WINAPI ChildWindowFromPoint(HWND parent, POINT point);
// Gives the mouse to a window of the calling thread: every mouse message goes to it wherever the cursor
// is, until ReleaseCapture. WM_CAPTURECHANGED (lParam the new window) goes to the window losing it.
// Returns the previous capture window of the calling thread. NULL releases as ReleaseCapture does; a bad
// window fails with ERROR_INVALID_WINDOW_HANDLE, one of another thread with ERROR_ACCESS_DENIED.
WINBASEAPI HWND WINAPI SetCapture(HWND hwnd);
// Ends the calling thread's capture (WM_CAPTURECHANGED with lParam NULL to the window); TRUE.
WINBASEAPI BOOL WINAPI ReleaseCapture();
// The calling thread's capture window, NULL when it has none.
WINBASEAPI HWND WINAPI GetCapture();
#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define TME_NONCLIENT 0x00000010
#define TME_QUERY 0x40000000
#define TME_CANCEL 0x80000000
#define HOVER_DEFAULT 0xFFFFFFFF
struct TRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
typedef TRACKMOUSEEVENT* LPTRACKMOUSEEVENT;
// TME_LEAVE: WM_MOUSELEAVE is posted to the window once, when mouse input finds the cursor over another
// window (a child of it counts as another), and the tracking ends; arming it while the cursor is not
// over the window posts WM_MOUSELEAVE at once. One window a thread is tracked. TME_CANCEL | TME_LEAVE
// ends the tracking of that window; TME_QUERY fills the structure with the current tracking. TME_HOVER
// is accepted and left out (no WM_MOUSEHOVER comes). ERROR_INVALID_PARAMETER for a wrong cbSize,
// ERROR_INVALID_FLAGS for other flags (TME_NONCLIENT: there is no non-client area),
// ERROR_INVALID_WINDOW_HANDLE for a window that is not one of this process.
WINBASEAPI BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track);
// The time two clicks may lie apart to make a double click (500 ms), for callers that measure it.
WINBASEAPI UINT WINAPI GetDoubleClickTime();

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
// Messages between processes are never filtered here: the call only keeps, per process, which
// messages were admitted (MSGFLT_ADD) and not removed again (MSGFLT_REMOVE), for tests
// (platform::admittedMessages). Another flag: FALSE with ERROR_INVALID_PARAMETER. Exported by the
// system module "user32.dll" too (a test may remove it there).
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
// Waits for one (waitAll FALSE) of the objects (mutexes, events, threads) or for any message in the queue (the mask is not looked
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
#define WH_MSGFILTER (-1)
#define WH_CBT 5
#define MSGF_DIALOGBOX 0
#define MSGF_MESSAGEBOX 1
#define MSGF_USER 4096
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
// A hook for one thread of this process (0: every thread of this process; there are no hooks into
// other processes), newest hook first. WH_CBT: HCBT_CREATEWND, HCBT_DESTROYWND, HCBT_ACTIVATE and
// HCBT_SETFOCUS; a nonzero answer prevents the action. WH_MSGFILTER: called by CallMsgFilterW (the
// modal loops of dialogs and message boxes) with the code and the MSG* in lParam; a nonzero answer
// says the hook handled the message. Other hook kinds: ERROR_INVALID_HOOK_FILTER.
WINBASEAPI HHOOK WINAPI SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
// The next hook of the same kind after `hook` for the calling thread; 0 when there is none.
WINBASEAPI LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
// ERROR_INVALID_HOOK_HANDLE for a hook that is not installed.
WINBASEAPI BOOL WINAPI UnhookWindowsHookEx(HHOOK hook);
// Offers a message to the calling thread's WH_MSGFILTER hooks (newest first) with `code` (MSGF_*);
// TRUE when one handled it, so the loop neither translates nor dispatches it. FALSE for no message.
// There are no WH_SYSMSGFILTER hooks.
WINBASEAPI BOOL WINAPI CallMsgFilterW(LPMSG msg, int code);

// ---- Dialogs and controls --------------------------------------------------------------------------
// Dialogs from the templates of resource modules (platform/resources.h), laid out in the base units of
// the template's font (the font engine's average Latin letter width and height at 96 dpi; a dialog unit
// is a quarter of the width and an eighth of the height; 8 x 16 when the font cannot be measured), and
// the built-in control classes BUTTON, STATIC, EDIT, COMBOBOX, msctls_progress32 and SysListView32,
// registered in every process on first use. Controls keep their state, send the notifications a
// user's actions cause and paint themselves (below). The modal loop of DialogBoxParamW and MessageBoxW
// offers each message to CallMsgFilterW(MSGF_DIALOGBOX) before IsDialogMessageW and leaves alone the
// ones a hook handled. Buttons take the mouse as push buttons do (a press takes the focus and the
// capture and pushes the button, the pushed state follows the cursor in and out, a release inside
// clicks: auto check boxes and radio buttons change first, then BN_CLICKED) and the space bar (down
// pushes, up clicks); a double click is a press, except that radio and owner-drawn buttons (and any
// with BS_NOTIFY) send BN_DOUBLECLICKED instead. Edits and combo boxes take the focus when pressed.
// State changes that alter a control's look invalidate it. Left out: dialog templates in memory
// (DLGTEMPLATE), menus and class names in templates, WM_SETFONT of the template's font, mirroring
// the controls of a right-to-left dialog (the flag is kept on the window only), list boxes, the mouse
// in edits, combo boxes and list views beyond the focus.
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
#ifndef MAKELONG
#define MAKELONG(l, h) (static_cast<LONG>(static_cast<DWORD>(static_cast<WORD>(l)) | (static_cast<DWORD>(static_cast<WORD>(h)) << 16)))
#endif
#define MAKELRESULT(l, h) (static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(l, h))))

#define WC_DIALOG u"#32770"
#define DLGWINDOWEXTRA 30
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define DS_MODALFRAME 0x80L
#define DS_SETFONT 0x40L
#define WS_EX_RIGHT 0x00001000L
#define WS_EX_RTLREADING 0x00002000L

#define WM_DRAWITEM 0x002B
#define WM_GETDLGCODE 0x0087
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSTATIC 0x0138
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000
#define VK_SHIFT 0x10

// Buttons.
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_3STATE 0x5L
#define BS_AUTO3STATE 0x6L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_OWNERDRAW 0xBL
#define BS_TYPEMASK 0xFL
#define BS_NOTIFY 0x4000L
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0
#define BST_CHECKED 0x1
#define BST_INDETERMINATE 0x2
#define BST_PUSHED 0x4
#define BST_FOCUS 0x8
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define ODT_BUTTON 4
#define ODA_DRAWENTIRE 0x1
#define ODA_SELECT 0x2
#define ODA_FOCUS 0x4
#define ODS_SELECTED 0x1
#define ODS_DISABLED 0x4
#define ODS_CHECKED 0x8
#define ODS_FOCUS 0x10
struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    ULONG_PTR itemData;
};
typedef DRAWITEMSTRUCT* LPDRAWITEMSTRUCT;

// Statics: text, or a picture. An SS_BITMAP (SS_ICON) static shows the bitmap (icon) given with
// STM_SETIMAGE, or the one its template text names as "#<id>" in the module it was made from (loaded at
// WM_CREATE and deleted with the control unless STM_SETIMAGE hands it back; images given are never
// deleted by the static). The picture is drawn at its own size at the top left, centred with
// SS_CENTERIMAGE, stretched to the control with SS_REALSIZECONTROL alone; without either of those,
// setting a picture makes the control its size.
#define SS_LEFT 0x0L
#define SS_CENTER 0x1L
#define SS_RIGHT 0x2L
#define SS_ICON 0x3L
#define SS_BITMAP 0xEL
#define SS_TYPEMASK 0x1FL
#define SS_REALSIZECONTROL 0x40L
#define SS_NOTIFY 0x100L
#define SS_CENTERIMAGE 0x200L
#define SS_REALSIZEIMAGE 0x800L
// wParam HICON; answers the previous icon (an SS_ICON static only, else 0).
#define STM_SETICON 0x0170
#define STM_GETICON 0x0171
// wParam IMAGE_BITMAP or IMAGE_ICON (it must match the static's SS_BITMAP or SS_ICON, else nothing is
// done and 0 answered), lParam the handle (NULL takes the picture away); answers the previous one.
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173

// Edits. WM_CUT, WM_COPY, WM_PASTE and WM_CLEAR work on the selection with the clipboard's
// CF_UNICODETEXT: nothing is copied out of a password edit, a read-only one only copies, a paste keeps
// to the limit (and a single-line edit takes its first line); EN_CHANGE follows a change.
#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_UPPERCASE 0x0008L
#define ES_LOWERCASE 0x0010L
#define ES_PASSWORD 0x0020L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_REPLACESEL 0x00C2
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_SETPASSWORDCHAR 0x00CC
#define EM_SETREADONLY 0x00CF
#define EM_GETPASSWORDCHAR 0x00D2
#define EM_GETLIMITTEXT 0x00D5
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_MAXTEXT 0x0501

// Combo boxes (the list is kept; there is no drop-down to show).
#define CBS_SIMPLE 0x1L
#define CBS_DROPDOWN 0x2L
#define CBS_DROPDOWNLIST 0x3L
#define CBS_SORT 0x100L
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_FINDSTRINGEXACT 0x0158
#define CB_ERR (-1)
#define CBN_SELCHANGE 1

// Progress bars.
#define PROGRESS_CLASSW u"msctls_progress32"
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
struct PBRANGE {
    int iLow;
    int iHigh;
};
typedef PBRANGE* PPBRANGE;

// List views, in report view: a header row of columns (each with its width; a column inserted without
// one takes an even share of the control), rows of an item and its sub-items (a sub-item's text needs
// its column, else FALSE) with item data and a state (selected, focused), a first row shown
// (LVM_ENSUREVISIBLE moves it; there is no scroll bar), sorting, finding, and the mouse: a press on a
// column's header and its release there send LVN_COLUMNCLICK; a press on a row takes the focus and
// selects that row alone (LVN_ITEMCHANGED for each row that changes), and its release sends NM_CLICK; a
// press below the rows (or, without LVS_EX_FULLROWSELECT, anywhere but on the first column's text: from
// the cell's left edge to 4 pixels past its text) clears the selection and the release sends NM_CLICK
// with iItem -1; a double click sends NM_DBLCLK. Of the extended styles, LVS_EX_FULLROWSELECT and
// LVS_EX_GRIDLINES change something; the others are kept. LVN_ITEMCHANGED comes for state changes only.
// Left out: the icon, small-icon and list views, images, check boxes, editing labels, dragging, the
// keyboard, virtual lists, LVN_ITEMACTIVATE, NM_SETFOCUS, header controls as windows.
#define WC_LISTVIEWW u"SysListView32"
#define LVS_REPORT 0x0001
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000
#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_HEADERDRAGDROP 0x00000010
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVS_EX_DOUBLEBUFFER 0x00010000
#define LVM_FIRST 0x1000
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_SORTITEMS (LVM_FIRST + 48)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_FINDITEMW (LVM_FIRST + 83)
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
#define LVIF_TEXT 0x0001
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
// LVM_GETITEMRECT (lParam a RECT whose left says which, answered in client coordinates, rows above the
// first shown having negative ones): LVIR_BOUNDS the row across its columns, LVIR_ICON nothing (no
// images), LVIR_LABEL the first column's cell, LVIR_SELECTBOUNDS the part a press selects.
#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2
#define LVIR_SELECTBOUNDS 3
#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003
// LVM_SETCOLUMNWIDTH: the widest text of the column's rows; with USEHEADER its title too, and the last
// column then takes what is left of the control.
#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)
// LVM_FINDITEMW: the item data (other flags ignored), else the text without regard to case, whole or
// (LVFI_PARTIAL, LVFI_SUBSTRING) as its start; from the row after wParam (-1: the first) to the last,
// then from the first with LVFI_WRAP. LVFI_NEARESTXY is not modelled (no match).
#define LVFI_PARAM 0x0001
#define LVFI_STRING 0x0002
#define LVFI_SUBSTRING 0x0004
#define LVFI_PARTIAL 0x0008
#define LVFI_WRAP 0x0020
#define LVFI_NEARESTXY 0x0040
#define LVKF_ALT 0x0001
#define LVKF_CONTROL 0x0002
#define LVKF_SHIFT 0x0004
#define NM_FIRST (0U)
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_COLUMNCLICK (LVN_FIRST - 8)
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
typedef NMHDR* LPNMHDR;
struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
};
typedef LVITEMW* LPLVITEMW;
struct LVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
};
typedef LVCOLUMNW* LPLVCOLUMNW;
struct LVFINDINFOW {
    UINT flags;
    LPCWSTR psz;
    LPARAM lParam;
    POINT pt;
    UINT vkDirection;
};
typedef LVFINDINFOW* LPLVFINDINFOW;
// LVM_SORTITEMS (wParam the routine's own value, lParam the routine): the routine gets the item data of
// two rows and answers below, at or above 0. The rows stay where they are while it runs (it may read
// them, say with LVM_FINDITEMW by item data); the order is changed at the end, keeping rows the routine
// finds equal in their order. Rows inserted, deleted or sorted meanwhile make the sort give up (FALSE).
typedef int(CALLBACK* PFNLVCOMPARE)(LPARAM item1, LPARAM item2, LPARAM sortParam);
struct NMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
};
typedef NMLISTVIEW* LPNMLISTVIEW;
// NM_CLICK and NM_DBLCLK of a list view: the row (-1 for none) and column under the mouse, the row's
// item data, the point in the list's client coordinates; no keys are ever held (uKeyFlags 0).
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
};
typedef NMITEMACTIVATE* LPNMITEMACTIVATE;

// Message boxes.
#define MB_OK 0x0L
#define MB_OKCANCEL 0x1L
#define MB_ABORTRETRYIGNORE 0x2L
#define MB_YESNOCANCEL 0x3L
#define MB_YESNO 0x4L
#define MB_RETRYCANCEL 0x5L
#define MB_TYPEMASK 0xFL
#define MB_ICONHAND 0x10L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x20L
#define MB_ICONEXCLAMATION 0x30L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x40L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0xF0L
#define MB_DEFBUTTON2 0x100L
#define MB_DEFBUTTON3 0x200L
#define MB_DEFMASK 0xF00L
#define MB_SETFOREGROUND 0x10000L
#define MB_TOPMOST 0x40000L
#define MB_RIGHT 0x80000L
#define MB_RTLREADING 0x100000L

// A modeless dialog from the module's template (owner `parent`); NULL with ERROR_RESOURCE_NAME_NOT_FOUND or the failing control's error.
WINBASEAPI HWND WINAPI CreateDialogParamW(HINSTANCE module, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param);
// A modal dialog: disables the owner, runs its own message loop until EndDialog, returns that value (-1 when it cannot be made).
WINBASEAPI INT_PTR WINAPI DialogBoxParamW(HINSTANCE module, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param);
// Ends a modal dialog with a result (its loop returns) or hides a modeless one; FALSE for a window that is no dialog.
WINBASEAPI BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
// The dialog class's procedure: calls the DLGPROC, answers from DWLP_MSGRESULT, WM_CLOSE posts IDCANCEL, DM_GETDEFID/DM_SETDEFID.
WINBASEAPI LRESULT WINAPI DefDlgProcW(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Takes the keys as a dialog does (Tab/Shift+Tab, Enter, Escape) and dispatches the dialog's other messages; FALSE when not the dialog's.
WINBASEAPI BOOL WINAPI IsDialogMessageW(HWND dialog, LPMSG msg);
// The next (or previous) WS_TABSTOP control that is visible and enabled, wrapping around; NULL when there is none.
WINBASEAPI HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// The next (or previous) control of the same WS_GROUP group, wrapping within the group.
WINBASEAPI HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
// Dialog units to pixels with the dialog's base units (those of its template's font).
WINBASEAPI BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect);
// The system font's base units: 8 across in the low word, 16 down in the high word.
WINBASEAPI LONG WINAPI GetDialogBaseUnits();
// WM_GETTEXT of a control; 0 with ERROR_CONTROL_ID_NOT_FOUND for a missing one.
WINBASEAPI UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size);
// WM_SETTEXT of a control.
WINBASEAPI BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
// A control's text as a number (leading blanks, a '-' when signed); 0 and *translated FALSE for anything else or overflow.
WINBASEAPI UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
// Sets a control's text to the number.
WINBASEAPI BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// BM_SETCHECK of a button.
WINBASEAPI BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check);
// BM_GETCHECK of a button (0 for a missing one).
WINBASEAPI UINT WINAPI IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and clears the other buttons from `first` to `last`.
WINBASEAPI BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check);
// SendMessageW to a control; 0 with ERROR_CONTROL_ID_NOT_FOUND for a missing one.
WINBASEAPI LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
// A modal dialog with the text, the caption ("Error" for NULL) and buttons of `type`; returns the button's id (0 on failure). Icons and
// MB_RTLREADING/MB_RIGHT are kept on the window (platform/dialogs.h reads them); help buttons and system modality are not modelled.
WINBASEAPI int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// ---- Painting ---------------------------------------------------------------------------------------
// Each top-level window has a 32-bit surface of its size; a child draws into its part of its top-level
// window's surface, clipped to its rectangle and to its ancestors'. A window's invalid area is one
// rectangle (the union of what was invalidated), in client coordinates; invalidating a window
// invalidates the part of its visible descendants it covers, so they are painted again on top of it.
// GetMessageW/PeekMessageW make one WM_PAINT per invalidation for a window of the calling thread when
// nothing else is waiting (a parent before its children); BeginPaint takes the area away.
DECLARE_HANDLE(HRGN);

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;  // TRUE when the background is still to be erased
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

#define RDW_INVALIDATE 0x0001
#define RDW_INTERNALPAINT 0x0002
#define RDW_ERASE 0x0004
#define RDW_VALIDATE 0x0008
#define RDW_ALLCHILDREN 0x0080
#define RDW_UPDATENOW 0x0100
#define RDW_ERASENOW 0x0200
#define RDW_FRAME 0x0400

#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800

// Adds a rectangle (NULL: the client area) to the invalid area of a window of this process; `erase`
// asks for WM_ERASEBKGND at BeginPaint. FALSE with ERROR_INVALID_WINDOW_HANDLE for no window.
WINBASEAPI BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// Takes a rectangle (NULL: all) away from the invalid area; what is left is the bounding rectangle of the rest.
WINBASEAPI BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect);
// The invalid area's bounding rectangle (empty when valid); TRUE when there is one.
WINBASEAPI BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase);
// Sends WM_PAINT now when the window has an invalid area (a window of another thread gets it in its loop).
WINBASEAPI BOOL WINAPI UpdateWindow(HWND hwnd);
// RDW_INVALIDATE (RDW_ERASE), RDW_VALIDATE, RDW_ALLCHILDREN (the descendants too), RDW_UPDATENOW
// (then WM_PAINT to each that is invalid, parents first). Regions are not modelled: `region` must be NULL.
WINBASEAPI BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags);
// A DC of the window's client area clipped to it, sends WM_ERASEBKGND when asked for (an answer of 0
// fills with the class background brush), validates the window and fills in the PAINTSTRUCT.
WINBASEAPI HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint);
WINBASEAPI BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
// A DC drawing into the window's part of its top-level surface: origin at its client corner, clipped to
// it and to its ancestors, the default GUI font selected. There is no non-client area: GetWindowDC is GetDC.
// Release each with ReleaseDC (or EndPaint for BeginPaint's).
WINBASEAPI HDC WINAPI GetDC(HWND hwnd);
WINBASEAPI HDC WINAPI GetWindowDC(HWND hwnd);
WINBASEAPI int WINAPI ReleaseDC(HWND hwnd, HDC dc);

// A brush may be a system colour index + 1, as in WNDCLASSEXW::hbrBackground; the stock NULL_BRUSH
// paints nothing.
WINBASEAPI int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// A one-pixel frame just inside the rectangle.
WINBASEAPI int WINAPI FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
// Text in a rectangle with the DC's font and colours: DT_LEFT/CENTER/RIGHT, DT_TOP/VCENTER/BOTTOM with
// DT_SINGLELINE, lines at '\n' otherwise and DT_WORDBREAK at spaces, '&' marking a mnemonic (left out)
// unless DT_NOPREFIX, DT_CALCRECT measuring only (the rectangle's right and bottom are set). Returns
// the height of the text. `count` -1: to the terminating 0.
WINBASEAPI int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);

#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER (BDR_RAISEDOUTER | BDR_SUNKENOUTER)
#define BDR_INNER (BDR_RAISEDINNER | BDR_SUNKENINNER)
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_TOPRIGHT (BF_TOP | BF_RIGHT)
#define BF_BOTTOMLEFT (BF_BOTTOM | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_DIAGONAL 0x0010
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000
// The 3-D edge of a rectangle, one line for the outer and one for the inner border on each side asked
// for: raised outer COLOR_3DLIGHT at the top and left and COLOR_3DDKSHADOW at the bottom and right,
// raised inner COLOR_BTNHIGHLIGHT / COLOR_BTNSHADOW, sunken outer COLOR_BTNSHADOW / COLOR_BTNHIGHLIGHT,
// sunken inner COLOR_3DDKSHADOW / COLOR_3DLIGHT (the bottom and right lines take the corners they share
// with the top and left ones). BF_MIDDLE fills the inside with COLOR_BTNFACE, BF_ADJUST moves the
// rectangle in past the lines drawn. BF_SOFT, BF_FLAT and BF_MONO are ignored; BF_DIAGONAL fails
// (ERROR_INVALID_PARAMETER), as does no DC or rectangle.
WINBASEAPI BOOL WINAPI DrawEdge(HDC dc, LPRECT rect, UINT edge, UINT flags);
// A dotted one-pixel frame just inside the rectangle: every other pixel of it (counted from the top
// left corner) inverted, so that drawing it again restores the pixels.
WINBASEAPI BOOL WINAPI DrawFocusRect(HDC dc, const RECT* rect);

// The fixed colours of our plain look (a grey face, black text, white windows, a dark blue highlight).
WINBASEAPI DWORD WINAPI GetSysColor(int index);
// A solid brush of that colour, owned by the system (DeleteObject leaves it alone).
WINBASEAPI HBRUSH WINAPI GetSysColorBrush(int index);

// ---- The system menu ---------------------------------------------------------------------------------
// A window with WS_SYSMENU has a system menu of its own: Restore (greyed unless minimized or maximized),
// Move, Size (greyed without WS_THICKFRAME), Minimize and Maximize (greyed without their boxes), a
// separator and Close. It is not shown anywhere; its Close item decides whether the caption's close box
// (platform/dialogs.h pressCloseBox) and Alt+F4 close the window. It goes with the window. Left out:
// menu bars, pop-up menus, submenus, bitmaps and owner-drawn items, WM_INITMENU.
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_STRING 0x00000000L
#define MF_BITMAP 0x00000004L
#define MF_POPUP 0x00000010L
#define MF_OWNERDRAW 0x00000100L
#define MF_SEPARATOR 0x00000800L
#define ERROR_INVALID_MENU_HANDLE 1401L
// The window's system menu (the same handle each time); `revert` TRUE puts back the items above and
// answers NULL. NULL for a window without WS_SYSMENU; ERROR_INVALID_WINDOW_HANDLE for no window of this
// process.
WINBASEAPI HMENU WINAPI GetSystemMenu(HWND hwnd, BOOL revert);
// Sets MF_ENABLED, MF_GRAYED or MF_DISABLED of an item found by command id (MF_BYCOMMAND) or position
// (MF_BYPOSITION); answers its previous MF_GRAYED | MF_DISABLED bits, -1 for no such item (and for a bad
// menu, with ERROR_INVALID_MENU_HANDLE).
WINBASEAPI BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT flags);
// An item's MF_GRAYED, MF_DISABLED, MF_CHECKED and MF_SEPARATOR bits; (UINT)-1 for no such item.
WINBASEAPI UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags);
// The items of the menu; -1 with ERROR_INVALID_MENU_HANDLE for a bad menu.
WINBASEAPI int WINAPI GetMenuItemCount(HMENU menu);
// The command id of the item at a position; (UINT)-1 for none (0 for a separator).
WINBASEAPI UINT WINAPI GetMenuItemID(HMENU menu, int position);
// Adds an item (MF_STRING with its text, or MF_SEPARATOR) at the end, with the state bits given.
// MF_POPUP, MF_BITMAP and MF_OWNERDRAW items are refused (ERROR_INVALID_PARAMETER).
WINBASEAPI BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
// Takes an item away (by command or position); FALSE with ERROR_MENU_ITEM_NOT_FOUND for none. Without
// SC_CLOSE, the close box and Alt+F4 do nothing.
#define ERROR_MENU_ITEM_NOT_FOUND 1456L
WINBASEAPI BOOL WINAPI DeleteMenu(HMENU menu, UINT item, UINT flags);

// ---- Help --------------------------------------------------------------------------------------------
// WM_HELP's lParam: made by DefWindowProcW for F1 (see DefWindowProcW). Context help ids are not
// modelled (dwContextId 0); the mouse position is the cursor's.
#define HELPINFO_WINDOW 0x0001
#define HELPINFO_MENUITEM 0x0002
struct HELPINFO {
    UINT cbSize;
    int iContextType;
    int iCtrlId;
    HANDLE hItemHandle;
    DWORD_PTR dwContextId;
    POINT MousePos;
};
typedef HELPINFO* LPHELPINFO;

// ---- Icons and metrics -------------------------------------------------------------------------------
#define ICON_SMALL 0
#define ICON_BIG 1
#define ICON_SMALL2 2
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXFIXEDFRAME SM_CXDLGFRAME
#define SM_CYFIXEDFRAME SM_CYDLGFRAME
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CYMENU 15
#define SM_CXDOUBLECLK 36
#define SM_CYDOUBLECLK 37
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_CMONITORS 80
#define SM_SERVERR2 89  // the machine's setting (platform::MachineSettings::serverR2)
// The fixed metrics of our plain look: the screen of GetWindowRect(GetDesktopWindow()) (1024 x 768),
// icons of 32 and 16, a 23-pixel caption, 2-pixel edges, 1-pixel borders, 3-pixel dialog frames,
// 17-pixel scroll bars, a 20-pixel menu, a 4-pixel double-click square and one monitor; 0 for any other.
WINBASEAPI int WINAPI GetSystemMetrics(int index);
#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_COMPAT 0x0004
#define DI_DEFAULTSIZE 0x0008
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_INVALID_ICON_HANDLE 1414L
// The icon at its own size with its top-left corner at x, y: the mask ANDed onto the DC, then the
// colour image XORed on (a transparent part shows what was there). Alpha channels are not blended.
// FALSE with ERROR_INVALID_ICON_HANDLE for no icon, ERROR_INVALID_PARAMETER for no DC.
WINBASEAPI BOOL WINAPI DrawIcon(HDC dc, int x, int y, HICON icon);
// DrawIcon at cx x cy (0: the icon's size, or SM_CXICON x SM_CYICON with DI_DEFAULTSIZE), stretched by
// nearest pixel, with DI_MASK and DI_IMAGE chosen apart; a `background` brush first fills the rectangle
// (as drawing without flicker ends up). Animated cursors' steps are not modelled (step is ignored).
WINBASEAPI BOOL WINAPI DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH background,
                                  UINT flags);

// ---- Animation ---------------------------------------------------------------------------------------
#define AW_HOR_POSITIVE 0x00000001
#define AW_HOR_NEGATIVE 0x00000002
#define AW_VER_POSITIVE 0x00000004
#define AW_VER_NEGATIVE 0x00000008
#define AW_CENTER 0x00000010
#define AW_HIDE 0x00010000
#define AW_ACTIVATE 0x00020000
#define AW_SLIDE 0x00040000
#define AW_BLEND 0x00080000
// Shows (AW_ACTIVATE: and activates) or hides (AW_HIDE) a window of this process after `time`
// milliseconds of machine time (Sleep: in virtual time the clock only moves on); nothing is drawn in
// between. FALSE with ERROR_INVALID_PARAMETER for showing a visible window, hiding a hidden one, unknown
// flags, or AW_BLEND with AW_CENTER; ERROR_INVALID_WINDOW_HANDLE for no window (ERROR_ACCESS_DENIED for
// another process's).
// Every call is journalled with its window, time and flags (platform::dialogs::animations).
WINBASEAPI BOOL WINAPI AnimateWindow(HWND hwnd, DWORD time, DWORD flags);

// ---- Common controls ----------------------------------------------------------------------------------
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_HOTKEY_CLASS 0x00000040
#define ICC_ANIMATE_CLASS 0x00000080
#define ICC_WIN95_CLASSES 0x000000FF
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
typedef INITCOMMONCONTROLSEX* LPINITCOMMONCONTROLSEX;
// Registers the built-in control classes of the process (list view, progress bar: the common controls
// the layer has; the other ICC_ classes are accepted and register nothing). FALSE with
// ERROR_INVALID_PARAMETER for a wrong size.
WINBASEAPI BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);

// ---- The clipboard -----------------------------------------------------------------------------------
// The machine's clipboard: below the root, `clipboard/<format>.bin` holds each format's bytes, so every
// process sees the same data; `clipboard/.open` is locked (flock) by the process that has it open, so
// one window of the machine at a time opens it. CF_TEXT (in the machine's code page) and CF_UNICODETEXT
// stand in for each other when only one was set. Left out: delayed rendering (SetClipboardData with
// NULL), clipboard viewers and listeners, registered formats' names, private and GDI-object formats.
#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_OEMTEXT 7
#define CF_DIB 8
#define CF_UNICODETEXT 13
#define ERROR_CLIPBOARD_NOT_OPEN 1418L
// Opens the clipboard for the calling thread (again: TRUE); FALSE with ERROR_ACCESS_DENIED while another
// thread or process has it open. `owner` becomes the clipboard's owner at EmptyClipboard.
WINBASEAPI BOOL WINAPI OpenClipboard(HWND owner);
// FALSE with ERROR_CLIPBOARD_NOT_OPEN when the calling thread has not opened it.
WINBASEAPI BOOL WINAPI CloseClipboard();
// Takes every format away (the clipboard must be open: ERROR_CLIPBOARD_NOT_OPEN).
WINBASEAPI BOOL WINAPI EmptyClipboard();
// Puts a global memory block's bytes (GlobalSize of them; text up to its terminator) on the clipboard in
// a format, replacing that format; the block then belongs to the clipboard (this process frees it at the
// next EmptyClipboard). Answers the block; NULL with ERROR_CLIPBOARD_NOT_OPEN, or ERROR_INVALID_PARAMETER
// for NULL data or a handle that is no global memory block.
WINBASEAPI HANDLE WINAPI SetClipboardData(UINT format, HANDLE data);
// A global memory block with the format's bytes, owned by the clipboard (valid until the clipboard is
// emptied or asked for the format again; do not free it); NULL when the format is not there (last error
// 0) or the clipboard is not open (ERROR_CLIPBOARD_NOT_OPEN).
WINBASEAPI HANDLE WINAPI GetClipboardData(UINT format);
// Whether the format is on the clipboard (need not be open).
WINBASEAPI BOOL WINAPI IsClipboardFormatAvailable(UINT format);
