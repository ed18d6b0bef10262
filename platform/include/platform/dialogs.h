// Dialogs as a user meets them, for tests and headless scripting: find this process's dialogs, read
// their controls, act on them as a user would (clicks, typing, keys, the mouse), and a watchdog that
// ends modal dialogs nobody scripts. Not a Windows interface. Every call may come from any thread:
// what acts on a dialog is done by the dialog's thread in its message loop (the modal loop of
// DialogBoxParamW or MessageBoxW handles what comes to it while it waits). Keys and the mouse return
// once that thread is back in its loop; on the dialog's own thread they are handled before they return.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/user.h"

namespace platform::dialogs {

// This process's live top-level dialogs (ended ones left out), newest first: with this exact title
// (empty: any) and made from this template id (0: any; message boxes have none).
std::vector<HWND> findDialogs(std::u16string_view title = {}, UINT templateId = 0);
// The first of findDialogs, waiting for it up to `realMilliseconds` of real time (polling); NULL if none came.
HWND waitForDialog(std::u16string_view title = {}, UINT templateId = 0, DWORD realMilliseconds = 5000);
// The template id a dialog was made from (0 for a message box or a window that is no dialog).
UINT templateIdOf(HWND dialog);
// True for a dialog made by MessageBoxW; its MB_* type as given.
bool isMessageBox(HWND dialog);
UINT messageBoxType(HWND dialog);

// A control's text (a message box's text is its control 0xFFFF); empty for a missing control.
std::u16string controlText(HWND dialog, int id);
// What an edit shows: its text, or password characters for ES_PASSWORD.
std::u16string shownText(HWND dialog, int id);
// BM_GETCHECK of a button.
UINT checkState(HWND dialog, int id);
// The dialog thread's focus (NULL when it is elsewhere).
HWND focusedControl(HWND dialog);
// What the parent answers WM_CTLCOLORSTATIC for a static control: the brush, and the text colour it set.
struct StaticColours {
    HBRUSH brush = nullptr;
    COLORREF text = 0;
};
StaticColours staticColours(HWND dialog, int id);

// BM_CLICK of a button (nothing happens to a disabled one: false).
bool clickButton(HWND dialog, int id);
// WM_CHAR for each character into a control (false for a missing one).
bool typeText(HWND dialog, int id, std::u16string_view text);
// Gives a control the focus, on the dialog's thread.
bool focusControl(HWND dialog, int id);
// A key (VK_RETURN, VK_ESCAPE, VK_TAB, VK_SPACE, ...) as a keyboard gives it, with Shift held or not: on the
// dialog's thread WM_KEYDOWN for its focus (the dialog when the focus is elsewhere) is offered to
// CallMsgFilterW(MSGF_DIALOGBOX), then to IsDialogMessageW, else translated and dispatched; the WM_CHAR
// that makes goes the same way, then WM_KEYUP. True when a filter or the dialog took the key down
// (false for a window that is no dialog).
bool pressKey(HWND dialog, UINT virtualKey, bool shift = false);
// The mouse, as a mouse moves it: `x`, `y` are client coordinates of `window` (they may lie outside
// it), made screen coordinates; the cursor goes there and the messages are posted as input (see
// win/user.h: to the capture window or the window under the cursor, WM_MOUSELEAVE first to a tracked
// window the cursor left), so a modal loop offers them to its message filters and IsDialogMessageW.
// The call returns once every thread that got one has handled them (or a modal loop that would have
// has ended); for windows of the calling thread it handles them itself, as its message loop would.
// False for a window that is not one of this process (or when a thread did not come back for a minute).
bool moveMouse(HWND window, int x, int y);
// A move there, then WM_LBUTTONDOWN (MK_LBUTTON stays in the messages' flags while the button is held).
bool pressMouse(HWND window, int x, int y);
// A move there, then WM_LBUTTONUP.
bool releaseMouse(HWND window, int x, int y);
// pressMouse and releaseMouse at the same point.
bool clickMouse(HWND window, int x, int y);
// A click, then a second press as WM_LBUTTONDBLCLK (WM_LBUTTONDOWN for a class without CS_DBLCLKS) and its release.
bool doubleClickMouse(HWND window, int x, int y);
// The cursor to the centre of a dialog's control (false for a missing one).
bool hover(HWND dialog, int id);
// Chooses a combo box item as a user does (CB_SETCURSEL, then CBN_SELCHANGE to the parent).
bool chooseComboItem(HWND dialog, int id, int index);
// Selects (or deselects) a list-view item as a user does (LVM_SETITEMSTATE; LVN_ITEMCHANGED follows).
bool selectListItem(HWND dialog, int id, int index, bool select = true);
// Clicks a list view's column header through the mouse (clickMouse at its centre), so the parent hears
// LVN_COLUMNCLICK; false for a missing control, a column it does not have, or a list without a header.
bool clickListColumn(HWND dialog, int id, int column);
// Clicks (twice: double-clicks) a list view's row through the mouse, on its first column's text, after
// bringing the row into view as a user scrolls to it; false for a missing control or row.
bool clickListItem(HWND dialog, int id, int item, bool twice = false);
// The caption's close box clicked: WM_SYSCOMMAND SC_CLOSE to a top-level window with WS_SYSMENU, handled
// by its thread in its loop, unless the system menu's Close is greyed, disabled or gone. True when it
// was sent.
bool pressCloseBox(HWND window);

// The watchdog for modal dialogs nobody scripts. With a handler installed, a modal dialog or message
// box started afterwards that is still open after `virtualMilliseconds` of machine time while no
// Script is alive is reported to the handler (on the dialog's thread) and ended with IDCANCEL.
// An empty handler turns it off.
struct UnscriptedDialog {
    HWND hwnd = nullptr;
    std::u16string title;
    UINT templateId = 0;
    bool messageBox = false;
    std::u16string text;  // a message box's text
};
void setUnscriptedDialogHandler(std::function<void(const UnscriptedDialog&)> handler, DWORD virtualMilliseconds = 1000);

// While a Script is alive (on any thread), the watchdog waits: someone is scripting the dialogs.
class Script {
public:
    Script();
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;
};

// Every AnimateWindow call of this process, oldest first: the window, the time and flags asked for, the
// machine clock when it was called and whether it succeeded.
struct Animation {
    HWND hwnd = nullptr;
    DWORD time = 0;
    DWORD flags = 0;
    ULONGLONG calledAt = 0;
    bool succeeded = false;
};
std::vector<Animation> animations();
void clearAnimations();

// A window as painted: its top-level window is painted now, whole (WM_PAINT to it and to its visible
// descendants, parents first, sent to their thread), and the surface read back. Pixels 0x00RRGGBB, row by row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
std::optional<Picture> windowPicture(HWND hwnd);
// Writes a picture as an 8-bit RGB PNG file at a host path; false when it cannot.
bool writePng(const Picture& picture, const std::string& path);

}  // namespace platform::dialogs
