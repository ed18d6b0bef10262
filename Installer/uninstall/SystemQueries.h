// What the uninstaller asks of the system: the Windows version and processor width, the user's rights,
// a forced restart, processes by module name and the still-image service. None of them shows a window;
// each swallows the system's failures and answers its "not found" or failure value.
#pragma once

#include <string_view>

#include "win/base.h"

namespace uninstall {

// The operating system as the removal steps compare it; 0 is not recognised.
enum OsId : int {
    kOsUnknown = 0,
    kOsXp = 7,                  // 5.1
    kOsServer2003 = 8,          // 5.2 server (or only the basic record)
    kOsVista = 9,               // 6.0 workstation
    kOsServer2008 = 10,         // 6.0 server
    kOsWindows7 = 11,           // 6.1 workstation
    kOsServer2003R2 = 12,       // 5.2 server with SM_SERVERR2
    kOsServer2008R2 = 13,       // 6.1 server
    kOsXpX64 = 14,              // 5.2 workstation
    kOsWindows8 = 15,           // 6.2 workstation (also 8.1 and later: they report 6.2 to this program)
    kOsServer2012 = 16,         // 6.2 server
    kOsWindows81 = 17,          // 6.3 workstation
    kOsServer2012R2 = 18,       // 6.3 server
    kOsWindows10 = 19,          // 10.0 workstation
    kOsServer2016 = 20,         // 10.0 server
};

// GetOsId's answers.
inline constexpr int kOsIdRead = 0;
inline constexpr int kOsIdUnreadable = 2;
// IsProcessRunning's answers.
inline constexpr int kProcessFound = 0;
inline constexpr int kProcessNotFound = 3;

// Stores the id (0 until known) and answers kOsIdRead, or kOsIdUnreadable when neither version record
// could be read.
int GetOsId(int& osId);
// Whether the native processor is AMD64 or IA-64 (false without GetNativeSystemInfo in kernel32.dll).
bool Is64BitSystem();
// Whether the process token's groups hold BUILTIN\Administrators (a deny-only group counts too).
bool IsUserAdmin();
// Enables the shutdown privilege and asks for a forced restart; false when the version or the token
// could not be read (no restart then).
bool RebootSystem();
// kProcessFound when a process's first module has this base name (any case), else kProcessNotFound.
int IsProcessRunning(std::u16string_view moduleName);
// Ends the first process whose first module has this base name (never this process itself).
void KillProcessByName(std::u16string_view moduleName);
// Stops "stisvc", its active dependents first, within 3000 ms of machine time; remembers the dependents
// it stopped so that StartServiceAndWait starts them again.
void StopServiceWithDependents(std::u16string_view serviceName);
// Starts "stisvc" and waits while it starts (at most 120 s of machine time); then starts the dependents
// the last stop stopped. False unless "stisvc" runs at the end.
bool StartServiceAndWait(std::u16string_view serviceName);

}  // namespace uninstall
