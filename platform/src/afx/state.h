// What the framework's files share: the message being handled on this thread, the window objects
// of the process, and the hook that attaches an object to the window it is making.
#pragma once

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

// Set by CWinApp::Run while its loop runs: the main window's end then quits it.
void setMainLoopRunning(bool running);
bool mainLoopRunning();

void setInstanceHandle(HINSTANCE instance);

}  // namespace platform::afx
