// Processes: starting the machine's programs, the current directory, process exit codes, the machine's
// process table (enumerating, opening, naming and ending processes).
//
// A program on the machine is a "program link" at its Windows path: a file whose first line is
// "MFP-PROGRAM-LINK" and whose second line is the host path of one of our binaries (stand-ins, the
// system's programs; platform::linkProgram writes one). Starting it runs that binary as a real child
// process on the same machine root, which sees its Windows path (GetModuleFileNameW), its command line
// (GetCommandLineW), the current directory and the machine clock's kind (real or virtual) of its
// parent. Every start is journalled in the machine (platform::programStarts).
#pragma once

#include "win/base.h"
#include "win/kernel.h"  // STILL_ACTIVE

// ---- The current directory -------------------------------------------------------------------------
// Per process: "C:\" unless the parent gave one (a child inherits its parent's, or CreateProcessW's
// `currentDirectory`). Relative paths of the file layer are resolved against it ("\x" against the root
// of its drive, "D:x" against it when it is on D:, else against the root of D:).
// The directory with no trailing backslash (but "C:\" for a root); its length, or the size needed
// (with the NUL) when the buffer is too small.
WINBASEAPI DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
// An existing folder of the machine, absolute or relative to the current directory; FALSE with
// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when it is missing, ERROR_DIRECTORY for a file.
WINBASEAPI BOOL WINAPI SetCurrentDirectoryW(LPCWSTR path);

// ---- Starting programs -------------------------------------------------------------------------------
#define ERROR_BAD_FORMAT 11L
#define STARTF_USESHOWWINDOW 0x00000001
#define CREATE_NO_WINDOW 0x08000000
#define NORMAL_PRIORITY_CLASS 0x00000020

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// Starts a program of the machine. `applicationName`, when given, is the program's path (relative to
// the current directory; nothing is added to it); otherwise the first token of `commandLine` (quoted,
// or up to the first blank) names it, ".exe" is added when it has no extension, and a bare name is
// looked for in the calling program's folder, the current directory, C:\Windows\System32 and
// C:\Windows. The child's command line is `commandLine` (else the quoted application name).
// Errors: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when nothing is there, ERROR_BAD_EXE_FORMAT for a
// file that is not a program link (or a link to no runnable binary), ERROR_DIRECTORY for a
// `currentDirectory` that is not a folder, ERROR_INVALID_PARAMETER without any name. Fault switch
// "CreateProcessW" (detail: the program's Windows path as found, in UTF-8).
// STARTUPINFOW's dwFlags and wShowWindow are journalled; with STARTF_USESHOWWINDOW the child's
// GetStartupInfoW, its first ShowWindow and a framework program's nCmdShow get wShowWindow. Both
// handles may be closed at once: the child runs on. Left out: security attributes, handle
// inheritance, creation flags, environment blocks, standard handles, the rest of STARTUPINFOW.
WINBASEAPI BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                      LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                      LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                      LPPROCESS_INFORMATION processInformation);
// CreateProcessW of a command line in the machine's code page, closing both handles: a value above 31
// on success, else ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or ERROR_BAD_FORMAT (0 for other failures).
WINBASEAPI UINT WINAPI WinExec(LPCSTR commandLine, UINT show);
// STILL_ACTIVE while the process runs, then its exit status (a signal's number + 128 when killed, the
// code TerminateProcess gave when it ended it). ERROR_INVALID_HANDLE for anything but a process handle
// (of CreateProcessW or OpenProcess). Process handles are signalled for the waits once the process ended.
WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// The startup information this process was started with: cb, and STARTF_USESHOWWINDOW with
// wShowWindow when the parent gave them; every other member is 0 or NULL (no title or desktop).
WINBASEAPI void WINAPI GetStartupInfoW(LPSTARTUPINFOW startupInfo);
// Ends this process with the exit code (the C run-time's exit: its files are flushed).
WINBASEAPI __attribute__((noreturn)) void WINAPI ExitProcess(UINT exitCode);

// ---- The machine's processes ---------------------------------------------------------------------------
// The machine keeps a table of its processes: each process of the layer (this one is listed when it
// first asks for processes; CreateProcessW lists its children) and resident processes that tests and
// tools place (platform::placeProcess), which run nothing. Ids are the host's process ids for the
// layer's processes. Left out: security descriptors, handle inheritance, process priorities, modules
// beyond the program's own.
#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_READ 0x0010
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define PROCESS_ALL_ACCESS 0x001FFFFF

// The pseudo handle of this process (not closed; every access).
WINBASEAPI HANDLE WINAPI GetCurrentProcess();
// The id of a process handle; 0 with ERROR_INVALID_HANDLE for anything else.
WINBASEAPI DWORD WINAPI GetProcessId(HANDLE process);
// The ids of the machine's live processes in ascending order, as many as fit; `bytesReturned` is the
// bytes written. Fault switch "EnumProcesses".
WINBASEAPI BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD size, DWORD* bytesReturned);
// A handle with the access asked for; ERROR_INVALID_PARAMETER for id 0 or an id that is not in the
// table, ERROR_ACCESS_DENIED for a resident process placed as not openable. Fault switch "OpenProcess"
// (detail: the id in decimal).
WINBASEAPI HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
// Ends a process (needs PROCESS_TERMINATE): a process of the layer really ends, whichever process
// started it, and its exit code is `exitCode`; a resident one leaves the table. A process that has
// ended already gives ERROR_ACCESS_DENIED. Journalled in the call journal. Fault switch
// "TerminateProcess".
WINBASEAPI BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
// The process's modules: only its program (needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ);
// `needed` is the bytes for all of them. Fault switch "EnumProcessModules".
WINBASEAPI BOOL WINAPI EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, LPDWORD needed);
// The base name of the program's Windows path (module NULL or the one EnumProcessModules gave), cut
// to size - 1 characters; its length, or 0. Fault switch "GetModuleBaseNameW".
WINBASEAPI DWORD WINAPI GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName, DWORD size);
