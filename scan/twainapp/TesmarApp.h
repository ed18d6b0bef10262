// The scan application's application object: one instance at a time, refused while the device is busy;
// it runs the off-screen main dialog, which drives the data source, and ends when the dialog does.
#pragma once

#include "afx/afxwin.h"
#include "win/base.h"

// The product the data source is looked up by when the command line names none of [Data Source].
#define TESMAR_DEFAULT_PRODUCT "Torvane Q3210-Q3510 Series TWAIN"
// Strings of the language library: the busy or missing device, the refusal box's button, and a
// scanned file that could not be saved.
#define IDS_DEVICE_BUSY 8025
#define IDS_BUSY_BUTTON 8011
#define IDS_SAVE_FAILED 8019
// What a failed save says when the language library has no text for it.
#define TESMAR_SAVE_FAILED_TEXT u"The scanned image could not be saved."
// The refusal box's title.
#define TESMAR_BUSY_TITLE u"Scanning Application"

class CTesmarApp : public CWinApp {
public:
    CTesmarApp();

    // Always FALSE: the program ends when it returns.
    BOOL InitInstance() override;
    // Closes the single-instance mutex.
    int ExitInstance() override;

    char m_szProductName[MAX_PATH] = {};  // the data source's product name (ANSI)
    HANDLE m_hScanAppMutex = nullptr;

private:
    // The busy device: string 8025 from the language library, its button reading string 8011.
    static void ShowBusyMessage();
    // Another instance runs: its source's interface comes forward.
    static void ActivateRunningInstance(LPCWSTR prefix);
};

// The first argument of a command line (after the program's name), quotes removed; "" when none.
CString FirstCommandLineArgument(LPCWSTR commandLine);
// The product name (ANSI, MAX_PATH bytes) under the command line's key in [Data Source] of the product
// INI; TESMAR_DEFAULT_PRODUCT when the section has no such key.
void LookUpProductName(char* productName);
// The language library of the installation ("<program folder><prefix>kelr<code>.dll") loaded, or NULL.
HMODULE LoadLanguageLibrary();
