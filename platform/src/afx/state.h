// What the framework's files share: the message being handled on this thread, the window objects
// of the process, and the hook that attaches an object to the window it is making.
#pragma once

#include <atomic>
#include <cstddef>
#include <iterator>
#include <map>
#include <memory>

#include "afx/afxwin.h"

namespace platform::afx {

struct CurrentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
CurrentMessage& currentMessage();

// The next window this thread makes is attached to `wnd` and subclassed, from its very first message on.
void hookWindowCreate(CWnd* wnd);
// Ends what hookWindowCreate began.
void unhookWindowCreate();

// While alive, modal loops of this thread offer their messages to AfxPreTranslateMessage.
class ModalFilter {
public:
    ModalFilter();
    ~ModalFilter();
    ModalFilter(const ModalFilter&) = delete;
    ModalFilter& operator=(const ModalFilter&) = delete;
};

// The thread that runs AfxWinMain (0 when none does): its messages go to the application's
// PreTranslateMessage, those of other threads straight to their windows' objects.
void setMainThread(DWORD threadId);
DWORD mainThread();
// Offers a message to PreTranslateMessage of the window objects from its window up to its top-level
// window; TRUE when one of them took it.
BOOL walkPreTranslateTree(MSG* msg);

// Set by CWinApp::Run while its loop runs: the main window's end then quits it.
void setMainLoopRunning(bool running);
bool mainLoopRunning();

void setInstanceHandle(HINSTANCE instance);

// Counts the temporary wrappers alive in the process: a member of each wrapper type.
class TemporaryTally {
public:
    TemporaryTally() { ++count(); }
    ~TemporaryTally() { --count(); }
    TemporaryTally(const TemporaryTally&) = delete;
    TemporaryTally& operator=(const TemporaryTally&) = delete;
    static std::atomic<size_t>& count();
};

// The wrapper of a handle the caller does not own, from a thread's map of them (made by `make` on
// first use). A wrapper lives as long as its handle: every lookup first drops the wrappers whose
// handles `alive` no longer knows (deleted, released, destroyed), so short-lived handles, a DC a
// paint, never pile up. The checks leave the thread's last error as it was.
template <typename Handle, typename Wrapper, typename Alive, typename Make>
Wrapper* temporaryWrapper(std::map<Handle, std::unique_ptr<Wrapper>>& wrappers, Handle handle, Alive alive, Make make) {
    if (!handle) return nullptr;
    const DWORD error = GetLastError();
    for (auto it = wrappers.begin(); it != wrappers.end();) it = alive(it->first) ? std::next(it) : wrappers.erase(it);
    SetLastError(error);
    auto& slot = wrappers[handle];
    if (!slot) slot = make();
    return slot.get();
}

}  // namespace platform::afx
