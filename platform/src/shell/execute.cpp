// Opening files and folders and the help viewer: journalled by the machine, never run on the host.
#include <string>

#include "../internal.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace fs = std::filesystem;

namespace {

const fs::path kActions = fs::path("shell") / "actions";

std::u16string text(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }
std::u16string number(long long n) { return platform::fromUtf8(std::to_string(n)); }

void journal(const char* call, const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
             const std::u16string& directory, int show) {
    platform::detail::appendJournal(kActions, {number(GetCurrentProcessId()), platform::fromUtf8(call), verb, file,
                                               parameters, directory, number(show)});
}

// What opening `file` (relative: against `directory`, else the current directory) finds: 0 when it
// exists, else SE_ERR_FNF or SE_ERR_PNF.
int check(const std::u16string& file, const std::u16string& directory) {
    if (file.empty()) return SE_ERR_FNF;
    std::u16string path = file;
    const bool relative = !(path.size() >= 2 && path[1] == u':') && path[0] != u'\\';
    if (relative && !directory.empty()) path = directory + (directory.back() == u'\\' ? u"" : u"\\") + path;
    path = platform::detail::absolutePath(path);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    const size_t slash = path.find_last_of(u'\\');
    const std::u16string parent = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
    const DWORD attributes = parent.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(parent.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? SE_ERR_FNF : SE_ERR_PNF;
}

const char* helpCommand(UINT command) {
    switch (command) {
    case HH_DISPLAY_TOPIC: return "HH_DISPLAY_TOPIC";
    case HH_HELP_CONTEXT: return "HH_HELP_CONTEXT";
    case HH_CLOSE_ALL: return "HH_CLOSE_ALL";
    default: return nullptr;
    }
}

}  // namespace

HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show) {
    const int missing = check(text(file), text(directory));
    if (missing) {
        SetLastError(missing == SE_ERR_FNF ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(missing));
    }
    journal("ShellExecuteW", text(verb), text(file), text(parameters), text(directory), show);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

BOOL WINAPI ShellExecuteExW(LPSHELLEXECUTEINFOW info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    const int missing = check(text(info->lpFile), text(info->lpDirectory));
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(missing ? missing : 33));
    if (missing) {
        SetLastError(missing == SE_ERR_FNF ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    journal("ShellExecuteExW", text(info->lpVerb), text(info->lpFile), text(info->lpParameters), text(info->lpDirectory),
            info->nShow);
    return TRUE;
}

HWND WINAPI HtmlHelpW(HWND, LPCWSTR file, UINT command, DWORD_PTR data) {
    const char* name = helpCommand(command);
    journal("HtmlHelpW", name ? platform::fromUtf8(name) : number(command), text(file),
            data ? number(static_cast<long long>(data)) : std::u16string(), {}, 0);
    return nullptr;
}

namespace platform {

std::vector<ShellAction> shellActions() {
    std::vector<ShellAction> out;
    for (const auto& f : detail::readJournal(kActions, 7)) {
        ShellAction a;
        a.processId = static_cast<DWORD>(std::strtoul(toUtf8(f[0]).c_str(), nullptr, 10));
        a.call = toUtf8(f[1]);
        a.verb = f[2];
        a.file = f[3];
        a.parameters = f[4];
        a.directory = f[5];
        a.show = static_cast<int>(std::strtol(toUtf8(f[6]).c_str(), nullptr, 10));
        if (a.call == "SHOpenFolderAndSelectItems") {
            // The items to select, each closed by a line feed.
            for (size_t start = 0, end; (end = a.parameters.find(u'\n', start)) != std::u16string::npos; start = end + 1)
                a.selected.push_back(a.parameters.substr(start, end - start));
            a.parameters.clear();
        }
        out.push_back(std::move(a));
    }
    return out;
}

void clearShellActions() { detail::clearJournal(kActions); }

}  // namespace platform
