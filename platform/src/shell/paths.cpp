// Path helpers of the shell's light library.
#include "../internal.h"
#include "win/files.h"
#include "win/shell.h"

LPWSTR WINAPI PathAddBackslashW(LPWSTR path) {
    if (!path) return nullptr;
    size_t length = 0;
    while (path[length]) ++length;
    if (length > 0 && path[length - 1] == u'\\') return path + length;
    if (length + 1 >= MAX_PATH) return nullptr;
    path[length] = u'\\';
    path[length + 1] = 0;
    return path + length + 1;
}

BOOL WINAPI PathFileExistsW(LPCWSTR path) {
    if (!path) return FALSE;
    const DWORD error = GetLastError();
    const BOOL exists = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    SetLastError(error);
    return exists;
}
