// The one guard every deletion of the uninstaller passes: it joins a base folder with text from the
// configuration, the registry or a text id, and refuses anything that is not a plain path strictly below
// the base, longer than the caller's buffer, or one of the system's own folders (or a folder holding one).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "win/base.h"

namespace uninstall {

// The folders that are never deleted, nor any folder that holds one. A component "*" stands for any
// single name (every profile below the profiles root).
struct ProtectedFolders {
    std::vector<std::u16string> patterns;

    // The system's folders as this machine reports them: the Windows, system and SysWOW64 folders, the
    // spooler's folders and the driver directory with its "3", inf, twain_32, Temp, both Program Files,
    // ProgramData, the profiles root, each profile with its AppData, Roaming, Local, "Application Data",
    // Desktop and Start Menu Programs, and the common Start Menu Programs.
    static ProtectedFolders fromSystem();
};

enum class JoinedText {
    Path,  // a path part: one or more components
    Name,  // a file-name part: exactly one component
};

struct GuardResult {
    bool ok = false;
    std::u16string path;  // the joined path, its separators single backslashes
    DWORD error = ERROR_SUCCESS;  // why it was refused
    std::string reason;
};

// Joins `base` and `text` with one backslash (a doubled separator counts as one, as the file layer
// collapses it). Refuses, with ERROR_BAD_PATHNAME, an empty base or one that is not absolute (a bare
// drive "C:" is that drive's root), device, "\\?\" and UNC prefixes; with ERROR_INVALID_NAME empty text,
// "." and "..", components of only dots and blanks or ending in a dot or blank, ":", "*", "?", control
// characters, a result not strictly below the base and a name of more than one component; with
// ERROR_FILENAME_EXCED_RANGE a result that needs more than `capacity` characters with its NUL; with
// ERROR_ACCESS_DENIED a protected folder or one holding it. Never cuts.
GuardResult guardJoin(std::u16string_view base, std::u16string_view text, size_t capacity,
                      const ProtectedFolders& protectedFolders, JoinedText kind = JoinedText::Path);

// Checks a whole path as guardJoin checks its result (absolute, plain components, within capacity, not
// protected), for targets that come whole from the configuration or the system.
GuardResult guardPath(std::u16string_view path, size_t capacity, const ProtectedFolders& protectedFolders);

// guardJoin against the system's folders; a refusal is written to the removal log under `operation`.
bool GuardedJoin(std::u16string_view operation, std::u16string_view base, std::u16string_view text,
                 size_t capacity, std::u16string& path, JoinedText kind = JoinedText::Path);
// guardPath against the system's folders; a refusal is written to the removal log under `operation`.
bool GuardedPath(std::u16string_view operation, std::u16string_view path, size_t capacity);

// The file-name part of a path: what follows its last "\" or "/".
std::u16string_view fileNamePart(std::u16string_view path);

}  // namespace uninstall
