// What the removal worker reads from the main window and keeps in the progress page: the user's choice,
// the product's models, the window its progress goes to, the driver-package entry points and the
// start-menu folder. The program fills one before starting the worker; tests fill one to run it pageless.
#pragma once
#include <string>

#include "SetupConfig.h"
#include "win/base.h"
#include "win/user.h"

namespace uninstall {

// The progress message and its two kinds (wParam): a percentage in lParam, and the end.
inline constexpr UINT WM_UNINSTALL_PROGRESS = 0x847;
inline constexpr WPARAM kProgressPercent = 289;
inline constexpr WPARAM kProgressFinished = 530;

// The two exports of the driver-package library.
using DriverPackageGetPathFn = DWORD(WINAPI*)(LPCWSTR infPath, LPWSTR storePath, DWORD* count);
using DriverPackageUninstallFn = DWORD(WINAPI*)(LPCWSTR storePath, DWORD flags, void* installerInfo,
                                               BOOL* needReboot);

struct RemovalContext {
    // 0 removes the chosen printer; any other value removes the whole product.
    int mode = 0;
    std::u16string printerName;
    std::u16string driverName;
    // Listed printers whose driver name equals the chosen driver name.
    int sameDriverCount = 0;
    // The models in configuration order (text: the model name).
    ConfigList models;
    // "1" for a multifunction product.
    std::u16string multiFuncType;
    // The progress page's window; the worker posts WM_UNINSTALL_PROGRESS to it.
    HWND progressWindow = nullptr;
    // Replaced by each package operation that loads the library; NULL when it had none.
    DriverPackageGetPathFn driverPackageGetPath = nullptr;
    DriverPackageUninstallFn driverPackageUninstall = nullptr;
    // Written by DeleteStartMenuFolder, read by RemoveEmptyProductFolders; empty until then.
    std::u16string CommonProgramsPath;
    // The document every query asks.
    const SetupConfig* config = &setupConfig();
    // Set by the worker when a second run has something left to mend.
    bool incomplete = false;
    // Set when a driver package could not be removed: the product folder below the program files,
    // which holds the driver-package library and the package INFs, then stays for a second run.
    bool packagesLeft = false;
    // Whether this run stopped "stisvc" (it must run again at the end).
    bool stillImageStopped = false;

    bool multifunction() const { return multiFuncType == u"1"; }
};

}  // namespace uninstall
