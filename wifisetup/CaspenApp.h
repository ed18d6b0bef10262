// The wireless set-up utility's application object: one instance at a time, its language library,
// "wifi.ini", and the wizard run modally (InitInstance answers FALSE, so the program then ends).
#pragma once

#include "afx/afxwin.h"

// The name of the mutex that keeps a second instance from starting.
inline constexpr char16_t kCaspenInstanceMutex[] = u"Caspen.SingleInstance.Wizard";

class CCaspenApp : public CWinApp {
public:
    CCaspenApp() = default;
    ~CCaspenApp() override = default;

    BOOL InitInstance() override;
    // Takes F1, so no help is ever asked for.
    BOOL PreTranslateMessage(MSG* msg) override;
    // Closes the instance mutex, then the framework's exit.
    int ExitInstance() override;

    HMODULE m_languageDll = nullptr;
    HANDLE m_instanceMutex = nullptr;
};
