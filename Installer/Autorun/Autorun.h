// The installation launcher: the application object, and the search for a launcher already running.
#pragma once

#include "afx/afxwin.h"

// The window property that marks the running launcher's splash, and its value.
inline constexpr const WCHAR* kLauncherProperty = u"K2710_AUTORUN";
inline constexpr ULONG_PTR kLauncherMark = 0x41;

// EnumWindows callback: stops at the first top-level window marked as a launcher's splash and hands it
// back through `lParam` (an HWND*).
BOOL CALLBACK FindLauncherWindow(HWND hwnd, LPARAM lParam);

class CAutorunApp : public CWinApp {
public:
    CAutorunApp();
    // Brings a running launcher forward, or shows the splash, which starts the installer. Always FALSE:
    // the program ends when it returns.
    BOOL InitInstance() override;
};
