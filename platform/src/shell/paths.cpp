// Path helpers of the shell's light library.
#include <filesystem>

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

BOOL WINAPI PathAppendW(LPWSTR path, LPCWSTR more) {
    if (!path || !more) return FALSE;
    size_t length = 0;
    while (path[length]) ++length;
    while (*more == u'\\') ++more;
    size_t extra = 0;
    while (more[extra]) ++extra;
    const bool separator = length > 0 && path[length - 1] != u'\\' && extra > 0;
    if (length + (separator ? 1 : 0) + extra + 1 > MAX_PATH) return FALSE;
    if (separator) path[length++] = u'\\';
    for (size_t i = 0; i <= extra; ++i) path[length + i] = more[i];
    return TRUE;
}

BOOL WINAPI PathFileExistsW(LPCWSTR path) {
    if (!path) return FALSE;
    const DWORD error = GetLastError();
    const BOOL exists = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    SetLastError(error);
    return exists;
}

BOOL WINAPI PathIsDirectoryEmptyW(LPCWSTR path) {
    if (!path) return FALSE;
    auto resolved = platform::detail::resolvePath(path);
    if (resolved.error != ERROR_SUCCESS) return FALSE;
    std::error_code ec;
    if (!std::filesystem::is_directory(resolved.host, ec)) return FALSE;
    return std::filesystem::is_empty(resolved.host, ec) && !ec ? TRUE : FALSE;
}
