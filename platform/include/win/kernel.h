// Kernel services: heaps, critical sections, the machine clock, debugger output, modules and
// code-page conversion.
#pragma once

#include "win/base.h"

// ---- Heaps -------------------------------------------------------------------------------------
// Blocks come from the C heap; every allocation can be made to fail by the machine's fault switches
// ("LocalAlloc", "HeapAlloc"). Movable/discardable memory and heap serialisation flags are ignored.
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define HEAP_ZERO_MEMORY 0x00000008
typedef HANDLE HLOCAL;

WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL mem);
WINBASEAPI HANDLE WINAPI GetProcessHeap();
WINBASEAPI LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
WINBASEAPI BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID mem);

// Global memory, for the clipboard, memory streams and the callers that hand blocks between modules: a
// fixed block's handle is its address; a movable block's handle is an entry of the process's table
// whose address GlobalLock gives and counts (the block moves only when GlobalReAlloc grows it while
// unlocked). Every call checks the handle (ERROR_INVALID_HANDLE). Discardable memory is not modelled.
// Fault switches "GlobalAlloc" and "GlobalReAlloc" (ERROR_NOT_ENOUGH_MEMORY).
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define ERROR_DISCARDED 157L
#define ERROR_NOT_LOCKED 158L
typedef HANDLE HGLOBAL;
// A block of `bytes` (0 is allowed: a movable block with no memory yet locks to NULL); NULL with
// ERROR_INVALID_PARAMETER for other flags.
WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// The block's address (a movable block's lock count goes up); NULL for a bad handle, and with
// ERROR_DISCARDED for a movable block of no bytes.
WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL mem);
// Counts a movable block's lock down: TRUE while still locked, FALSE (last error 0) once unlocked,
// FALSE with ERROR_NOT_LOCKED when it was not locked. A fixed block's count is always 0: FALSE, last error 0.
WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL mem);
// The size asked for; 0 with ERROR_INVALID_HANDLE for a bad handle.
WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL mem);
// NULL when freed; the handle again (ERROR_INVALID_HANDLE) for a bad one.
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
// Gives a block a new size (bytes added are zeroed with GMEM_ZEROINIT). A movable block keeps its
// handle; a locked one may not move, so it only gets smaller or grows within what it holds already
// (else NULL, ERROR_NOT_ENOUGH_MEMORY). A fixed block moves (a new handle) only with GMEM_MOVEABLE in
// `flags`, else it may only shrink. GMEM_MODIFY is not modelled (ERROR_INVALID_PARAMETER).
WINBASEAPI HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);

// ---- Critical sections -------------------------------------------------------------------------
// A recursive mutex per section; the spin count is kept but has no effect.
struct CRITICAL_SECTION {
    void* impl;
    DWORD spinCount;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

WINBASEAPI BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount);
WINBASEAPI void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
WINBASEAPI void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
WINBASEAPI void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
WINBASEAPI void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

// ---- Clock -------------------------------------------------------------------------------------
// The machine clock: real time for people, virtual time in tests (Sleep then only advances it).
WINBASEAPI void WINAPI Sleep(DWORD milliseconds);
WINBASEAPI DWORD WINAPI GetTickCount();
WINBASEAPI ULONGLONG WINAPI GetTickCount64();

// ---- Debugger output ---------------------------------------------------------------------------
// Appended as one line to the machine's debug log.
WINBASEAPI void WINAPI OutputDebugStringW(LPCWSTR text);
WINBASEAPI void WINAPI OutputDebugStringA(LPCSTR text);

// ---- Processes and threads ---------------------------------------------------------------------
WINBASEAPI DWORD WINAPI GetCurrentProcessId();
WINBASEAPI DWORD WINAPI GetCurrentThreadId();

// Threads run on POSIX threads with the stack size asked for (rounded up to whole pages; 0: the host's
// default size). The handle is a kernel object that the waits see signalled once the thread has
// ended; closing it does not stop the thread. Creation flags other than
// STACK_SIZE_PARAM_IS_A_RESERVATION (CREATE_SUSPENDED among them) are refused with
// ERROR_INVALID_PARAMETER; ExitThread, TerminateThread and thread priorities are not modelled.
// Fault switch "CreateThread" (ERROR_NOT_ENOUGH_MEMORY).
#define STILL_ACTIVE 259u  // the exit code of a thread or process that runs on
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);
WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE routine,
                                      LPVOID parameter, DWORD flags, LPDWORD threadId);
// The routine's result once the thread has ended, STILL_ACTIVE before.
WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// Asks the system to start the program again with `commandLine` after a crash, a hang, an update or
// a restart. Nothing restarts here: the registration of this process is kept for tests
// (platform::applicationRestart). E_INVALIDARG for flags other than the RESTART_NO_* ones or a command
// line of RESTART_MAX_CMD_LINE characters or more. Exported by "kernel32.dll" (removable).
#define RESTART_MAX_CMD_LINE 1024
#define RESTART_NO_CRASH 1
#define RESTART_NO_HANG 2
#define RESTART_NO_PATCH 4
#define RESTART_NO_REBOOT 8
WINBASEAPI HRESULT WINAPI RegisterApplicationRestart(LPCWSTR commandLine, DWORD flags);

// ---- Interlocked operations ---------------------------------------------------------------------
// Sequentially consistent atomic operations on aligned 32-bit values; each returns what its name says
// (the new value for Increment and Decrement, the old one for the others).
WINBASEAPI LONG WINAPI InterlockedIncrement(LONG volatile* value);
WINBASEAPI LONG WINAPI InterlockedDecrement(LONG volatile* value);
WINBASEAPI LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
WINBASEAPI LONG WINAPI InterlockedExchangeAdd(LONG volatile* addend, LONG value);
WINBASEAPI LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);

// ---- Modules -----------------------------------------------------------------------------------
// Our own modules are shared objects loaded with dlopen under their Windows names (see README).
// A module's exported "DllEntryPoint", when present, is called on attach and detach as the
// Windows loader calls a DLL's entry point.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// System modules ("kernel32.dll", ...) are answered by the layer: GetModuleHandleW and LoadLibraryW of
// their name (or of their path in C:\Windows\System32) give a module of the layer whose exports are the
// layer's own functions, each of which a test can remove (platform::removeSystemExport).
WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE module);
// The Windows path of a loaded module, or with NULL of the running program (platform::setProgramPath);
// a buffer too small gets the path cut to size - 1 characters, returns size, ERROR_INSUFFICIENT_BUFFER.
// Fault switch "GetModuleFileNameW" fails a call (ERROR_MOD_NOT_FOUND). No other processes' modules.
WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
// NULL: the running program's own handle (the same every call; GetModuleFileNameW of it is the
// program path). A name: a module this process has loaded, matched by its file name without regard
// to case (".dll" may be left off) or by its whole Windows path; no reference is added. Else NULL,
// ERROR_MOD_NOT_FOUND.
WINBASEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
// The program's command line: platform::setCommandLine, else the program path in quotes.
WINBASEAPI LPWSTR WINAPI GetCommandLineW();

// ---- Code pages --------------------------------------------------------------------------------
// Conversions go through iconv; CP_ACP is the machine's code page (1252 unless the machine says
// otherwise). Only the flags below are honoured.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

WINBASEAPI UINT WINAPI GetACP();
WINBASEAPI int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                                          int dstLen);
WINBASEAPI int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst,
                                          int dstLen, LPCSTR defaultChar, LPBOOL usedDefaultChar);

// ---- Wide strings --------------------------------------------------------------------------------
// UTF-16 helpers with the semantics of the kernel's lstr* family (NULL is an empty string).
WINBASEAPI int WINAPI lstrlenW(LPCWSTR s);
WINBASEAPI LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int maxChars);
WINBASEAPI int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);

// ---- Profile (INI) files -------------------------------------------------------------------------
// INI files on the machine's drives; a name without a folder is looked up in the Windows directory.
// Files with a UTF-16LE or UTF-8 byte-order mark are read as such, others as UTF-8 when they are valid
// UTF-8 and through the machine code page otherwise. Sections and keys match without regard to case;
// the first of duplicated sections or keys counts; lines starting with ';' are comments; values lose
// surrounding blanks and one pair of enclosing quotes. No caching, no registry mapping of INI files.

// A key's value (or `defaultValue`, trailing blanks stripped) cut to size - 1 characters and
// terminated; returns the characters copied (size - 1 when cut, with ERROR_MORE_DATA). A NULL key
// lists the section's keys, a NULL section the section names, each NUL-terminated with a closing NUL
// (size - 2 when cut). A missing file, section or key sets ERROR_FILE_NOT_FOUND. Fault switch
// "GetPrivateProfileStringW" (detail: the file name as given) makes the file unreadable.
WINBASEAPI DWORD WINAPI GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue,
                                                 LPWSTR returned, DWORD size, LPCWSTR fileName);
// Sets a key (creating the file, in the machine code page, or the section as needed), deletes a key
// (NULL value) or a whole section (NULL key); keeps a file's encoding and writes CRLF lines. The folder
// must exist (ERROR_PATH_NOT_FOUND). Fault switch "WritePrivateProfileStringW" fails a call.
WINBASEAPI BOOL WINAPI WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value,
                                                  LPCWSTR fileName);

// ---- System information --------------------------------------------------------------------------
typedef DWORD LCID;
typedef WORD LANGID;
#define LANGIDFROMLCID(lcid) (static_cast<LANGID>(lcid))
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
typedef OSVERSIONINFOW* LPOSVERSIONINFOW;
struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

// The machine's Windows folder ("C:\Windows" unless its settings say otherwise); returns its length, or
// the size needed (with the NUL) when the buffer is too small.
WINBASEAPI UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size);
// The machine's system folder (the Windows folder's System32), answered as GetWindowsDirectoryW answers.
WINBASEAPI UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The machine's locale (platform::MachineSettings::lcid); user and system locale are the same, and
// the UI language is the locale's language id. No per-thread locales, no locale names.
WINBASEAPI LCID WINAPI GetSystemDefaultLCID();
WINBASEAPI LCID WINAPI GetUserDefaultLCID();
WINBASEAPI LANGID WINAPI GetSystemDefaultUILanguage();
WINBASEAPI LANGID WINAPI GetUserDefaultUILanguage();
// The machine's OS version as it is (no compatibility shims that make Windows 8.1 and later report
// 6.2); the size field must be that of OSVERSIONINFOW or OSVERSIONINFOEXW (else ERROR_INSUFFICIENT_BUFFER).
// The platform id, product type and Windows folder are machine settings. Fault switch "GetVersionExW"
// (detail "extended" or "basic": fails only that record, ERROR_INVALID_PARAMETER by default).
WINBASEAPI BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);
// Major version in the low byte, minor in the next, build in the high word.
WINBASEAPI DWORD WINAPI GetVersion();

// The processor: the architecture is the machine's (platform::MachineSettings::processorArchitecture);
// page size 4096, allocation granularity 65536, the host's processor count. GetSystemInfo answers the
// same architecture as GetNativeSystemInfo: the layer does not model 32-bit programs on a 64-bit system.
#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF
struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
typedef SYSTEM_INFO* LPSYSTEM_INFO;
WINBASEAPI void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info);
WINBASEAPI void WINAPI GetSystemInfo(LPSYSTEM_INFO info);

// ---- Synchronisation -----------------------------------------------------------------------------
// Mutexes, events and waits on them and on threads.
// Mutexes. Named ones live in the machine and are shared by all its processes ("Local\" or no prefix:
// the session's namespace; "Global\": the machine's); names are case-sensitive, as on Windows; unnamed
// ones belong to their process. A thread or process that ends owning a mutex abandons it: the next
// wait gets WAIT_ABANDONED and the ownership. Security attributes, access rights and handle
// inheritance are not modelled (a forked child inherits no mutex handle).
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define SYNCHRONIZE 0x00100000u
#define MUTEX_MODIFY_STATE 0x0001u
#define MUTEX_ALL_ACCESS 0x001F0001u
#define ERROR_NOT_OWNER 288L

// Creates a mutex, or opens the existing one of that name with ERROR_ALREADY_EXISTS (initialOwner
// then has no effect); otherwise the last error is 0. ERROR_PATH_NOT_FOUND for a name with a folder
// other than "Local\" or "Global\", ERROR_FILENAME_EXCED_RANGE for MAX_PATH characters or more.
// Fault switch "CreateMutexW" (detail: the name in UTF-8) fails a call (ERROR_ACCESS_DENIED).
WINBASEAPI HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCWSTR name);
// Opens an existing named mutex; ERROR_FILE_NOT_FOUND when no process has it. The access mask and
// inheritance are not modelled. Fault switch "OpenMutexW".
WINBASEAPI HANDLE WINAPI OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
// Gives up one level of the calling thread's ownership; ERROR_NOT_OWNER when it does not own it.
WINBASEAPI BOOL WINAPI ReleaseMutex(HANDLE mutex);
// Events, manual-reset or auto-reset. Named ones are the machine's, shared by all its processes, with
// the names and namespaces of mutexes (events and mutexes do not share one namespace of names here).
// Opening an existing name with CreateEventW sets ERROR_ALREADY_EXISTS and keeps its kind and state.
// Fault switch "CreateEventW" (detail: the name in UTF-8) fails a call (ERROR_ACCESS_DENIED).
#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS 0x001F0003u
WINBASEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCWSTR name);
// Opens an existing named event; ERROR_FILE_NOT_FOUND when no process has it.
WINBASEAPI HANDLE WINAPI OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
WINBASEAPI BOOL WINAPI SetEvent(HANDLE event);
WINBASEAPI BOOL WINAPI ResetEvent(HANDLE event);

// Waits on the machine clock for a mutex (taking it), an event (taking an auto-reset event's signal)
// or a thread (signalled once ended); in virtual time a wait moves the clock in steps up to its
// timeout. WAIT_FAILED with ERROR_INVALID_HANDLE for any other handle. Waits poll (a round a
// millisecond of real time); alertable waits are not modelled. Fault switch "WaitForSingleObject"
// answers WAIT_FAILED, for WaitForMultipleObjects too.
WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Up to MAXIMUM_WAIT_OBJECTS handles: the first signalled one (WAIT_OBJECT_0 + index, or
// WAIT_ABANDONED + index for an abandoned mutex), or with waitAll all of them at once (an object named
// twice is refused with ERROR_INVALID_PARAMETER).
#define MAXIMUM_WAIT_OBJECTS 64u
WINBASEAPI DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
