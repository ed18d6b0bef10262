// Virtual memory and file mappings: pages from the host (mmap), views of files on the machine's drives
// or of memory that backs no file. Left out: reserving without committing, protection changes, named
// mappings shared between processes (a name is refused), large pages, views at a chosen address.
#pragma once

#include "win/base.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define PAGE_WRITECOPY 0x08
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
#define ERROR_MAPPED_ALIGNMENT 1132L
#define ERROR_FILE_INVALID 1006L
#define ERROR_INVALID_ADDRESS 487L

// Zeroed read-write pages (MEM_COMMIT, with or without MEM_RESERVE; PAGE_READWRITE or PAGE_READONLY)
// at an address of the system's choosing. Fault switch "VirtualAlloc" (ERROR_NOT_ENOUGH_MEMORY).
WINBASEAPI LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// MEM_RELEASE with size 0 of an address VirtualAlloc gave; ERROR_INVALID_ADDRESS for another address.
WINBASEAPI BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// A mapping of a file handle (opened with the access the protection needs: ERROR_ACCESS_DENIED
// otherwise) or, for INVALID_HANDLE_VALUE, of fresh zeroed memory of the given size. A size of 0
// takes the file's size (ERROR_FILE_INVALID for an empty file); a larger size than the file's grows a
// read-write file to it, and is refused for a read-only one (ERROR_NOT_ENOUGH_MEMORY). The mapping
// keeps the file open when the file handle is closed. PAGE_READONLY and PAGE_READWRITE only; a name
// is refused (ERROR_NOT_SUPPORTED). Closed by CloseHandle. Fault switch "CreateFileMapping".
WINBASEAPI HANDLE WINAPI CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD maximumSizeHigh,
                                            DWORD maximumSizeLow, LPCWSTR name);
// A view of `bytes` from the offset (0: to the mapping's end). The offset must be a multiple of the
// allocation granularity, 65536 (ERROR_MAPPED_ALIGNMENT); a view beyond the mapping's end or write
// access to a read-only mapping gives ERROR_ACCESS_DENIED. FILE_MAP_COPY views are private. Writes
// reach the file. A view outlives the closing of its mapping. Fault switch "MapViewOfFile".
WINBASEAPI LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                                       SIZE_T bytes);
// ERROR_INVALID_ADDRESS for an address that is no view's base.
WINBASEAPI BOOL WINAPI UnmapViewOfFile(LPCVOID base);
