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

// ---- Processes ---------------------------------------------------------------------------------
WINBASEAPI DWORD WINAPI GetCurrentProcessId();
WINBASEAPI DWORD WINAPI GetCurrentThreadId();

// ---- Modules -----------------------------------------------------------------------------------
// Our own modules are shared objects loaded with dlopen under their Windows names (see README).
// A module's exported "DllEntryPoint", when present, is called on attach and detach as the
// Windows loader calls a DLL's entry point.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE module);
WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

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
