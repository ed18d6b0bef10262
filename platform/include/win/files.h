// File calls on the machine's drives. Paths are Windows paths ("C:\Windows\..."), mapped below the
// machine root; '\' and '/' both separate, doubled separators collapse, names match without regard
// to case. Nothing outside the machine root is ever touched.
#pragma once

#include "win/base.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400  // a link or junction (made by tests and tools)
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_OVERLAPPED 0x40000000u  // accepted; I/O stays synchronous
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

// Opens or creates a file. Share modes are kept: DeleteFile of a file that a handle of this process
// holds open without FILE_SHARE_DELETE fails with ERROR_SHARING_VIOLATION. Security attributes,
// templates and overlapped I/O are not modelled.
WINBASEAPI HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                     DWORD disposition, DWORD flags, HANDLE templateFile);
WINBASEAPI HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                     DWORD disposition, DWORD flags, HANDLE templateFile);
// Fault switches "ReadFile" and "WriteFile" fail a call, or with a partial count move only part.
WINBASEAPI BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov);
WINBASEAPI BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                 LPOVERLAPPED ov);
// A control request to a device handle (see platform/README.md for the devices the machine has);
// fault switch "DeviceIoControl". Overlapped I/O is not modelled: every request completes at once.
WINBASEAPI BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                       DWORD outSize, LPDWORD returned, LPOVERLAPPED ov);
WINBASEAPI DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
WINBASEAPI DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
WINBASEAPI BOOL WINAPI FlushFileBuffers(HANDLE file);
WINBASEAPI BOOL WINAPI DeleteFileW(LPCWSTR name);
WINBASEAPI BOOL WINAPI DeleteFileA(LPCSTR name);
// A file's read-only state is its host permissions; hidden and system (and a folder's read-only) are
// kept in the machine's attribute store. A read-only file cannot be deleted (ERROR_ACCESS_DENIED).
WINBASEAPI DWORD WINAPI GetFileAttributesW(LPCWSTR name);
// Sets read-only, hidden and system (FILE_ATTRIBUTE_NORMAL: none of them); other bits are ignored.
// Fault switch "SetFileAttributesW" (detail: the name), ERROR_ACCESS_DENIED by default.
WINBASEAPI BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes);

// ---- Finding files ------------------------------------------------------------------------------------
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;
// The names in one folder that match the last component of `pattern` ("*" and "?" without regard to
// case; "*.*" is every name), "." and ".." first in a folder that is no drive's root, then the rest by
// name; with attributes, size and last-write time (also as creation and access time); no short names.
// ERROR_FILE_NOT_FOUND when nothing matches, ERROR_PATH_NOT_FOUND for a missing folder,
// ERROR_INVALID_NAME for wildcards in the folder. The handle is closed by FindClose.
WINBASEAPI HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
// The next name; ERROR_NO_MORE_FILES after the last.
WINBASEAPI BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
WINBASEAPI BOOL WINAPI FindClose(HANDLE find);
// Renames or moves a file or folder (a file also to another drive); the new name must not exist
// (ERROR_ALREADY_EXISTS), the old one must (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND). Fault switch
// "MoveFile" (detail: the existing name) fails a call, ERROR_ACCESS_DENIED by default.
WINBASEAPI BOOL WINAPI MoveFileW(LPCWSTR existing, LPCWSTR newName);
// Copies a file's bytes, read-only state and last-write time. With failIfExists an existing new name
// gives ERROR_FILE_EXISTS; otherwise it is overwritten unless it is a folder or read-only
// (ERROR_ACCESS_DENIED) or the existing file itself (ERROR_SHARING_VIOLATION, nothing changes). A
// missing file gives ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND for a missing folder on either side),
// a folder to copy ERROR_ACCESS_DENIED. Fault switch "CopyFile" (detail: the existing name),
// ERROR_ACCESS_DENIED by default. Share modes of open handles are not checked.
WINBASEAPI BOOL WINAPI CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists);
WINBASEAPI BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES sa);
WINBASEAPI BOOL WINAPI RemoveDirectoryW(LPCWSTR name);
// Closes a kernel handle of the layer (files, mutexes); printer handles and registry keys are
// refused with ERROR_INVALID_HANDLE, as they have ClosePrinter and RegCloseKey.
WINBASEAPI BOOL WINAPI CloseHandle(HANDLE object);

// Free space of the drive that holds an existing folder (NULL: drive C), as the machine sets it
// (platform::setDiskSpace); no per-user quotas, so the free bytes for the caller are the volume's.
// ERROR_PATH_NOT_FOUND for a folder that does not exist. Fault switches "GetDiskFreeSpaceExW" and
// "GetDiskFreeSpaceW" fail a call (ERROR_NOT_READY).
WINBASEAPI BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* totalBytes,
                                           ULARGE_INTEGER* totalFreeBytes);
// The same in clusters of 8 sectors of 512 bytes; cluster counts stop at 0xFFFFFFFF (16 TiB).
WINBASEAPI BOOL WINAPI GetDiskFreeSpaceW(LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                         LPDWORD freeClusters, LPDWORD totalClusters);

// The user's temporary folder, with its closing backslash.
WINBASEAPI DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer);
WINBASEAPI DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
// "<path>\<first three characters of prefix><hex>.TMP"; with unique 0 the file is created.
WINBASEAPI UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);
WINBASEAPI UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName);
