// The uninstaller `setup`'s application object: where it may run from, one instance at a time, the main
// window's class, and the main window run modally.
#pragma once

#include <string_view>

#include "afx/afxwin.h"

inline constexpr char16_t kSetupInstanceMutex[] = u"Local\\SFP_QELMAR_FLAG_UNI";
inline constexpr char16_t kSetupWindowClass[] = u"QELMAR SFP WNDCLASS_UNI";

// Whether the program's path lies exactly three folder levels below the system folder: the path cut at
// its last backslash four times (a cut with none left gives the empty text) equals the system folder,
// ASCII letters compared without regard to case.
bool IsStartedBelowSystemFolder(std::u16string_view modulePath, std::u16string_view systemFolder);

// Registers the main window's class: a copy of the system dialog class under the name template 141
// gives (a failure leaves the template's window unmade).
void RegisterSetupWindowClass();

class CEasyInsatllApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
