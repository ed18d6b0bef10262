// Shell path helpers.
#include "win/files.h"
#include "win/shell.h"

BOOL WINAPI PathFileExistsW(LPCWSTR path) {
    if (!path || !*path) return FALSE;
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
