// standin-mail-helper: plays the maker's mail helper, which the scan application starts with the quoted
// list of files to mail as its whole command line. It hands nothing to a mail system: it records what
// it was given and what it saw (see README.md), then ends (exit 0).
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/control.h"
#include "win/files.h"  // CloseHandle
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"

namespace {

// The default mail client of the user as it is now: the default value of HKCU SOFTWARE\Clients\Mail.
std::optional<std::u16string> defaultMailClient() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Clients\\Mail", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    WCHAR value[1024] = {};
    DWORD size = sizeof value - sizeof(WCHAR), type = 0;
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    return std::u16string(value);
}

// This program's path without its extension, + `extension`: its script and its journal lie beside it.
std::u16string besideProgram(const char16_t* extension) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string name(path);
    const size_t slash = name.find_last_of(u'\\');
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash)) name.erase(dot);
    return name + extension;
}

// The event named by a "wait-event NAME" line of the script, if any.
std::u16string eventToWaitFor() {
    const std::optional<std::filesystem::path> script = platform::hostPath(besideProgram(u".script"));
    if (!script) return {};
    std::ifstream in(*script);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string keyword, name;
        if (words >> keyword >> name && keyword == "wait-event") return platform::fromUtf8(name);
    }
    return {};
}

// A field of the journal line: tabs and line breaks become blanks.
std::string field(const std::u16string& text) {
    std::string out = platform::toUtf8(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

int main() {
    // The default client first: the scan application sets it only for a while.
    const std::optional<std::u16string> client = defaultMailClient();
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);

    // A scripted helper stays until the event is set, as a mail window stays until it is sent.
    if (const std::u16string name = eventToWaitFor(); !name.empty()) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        const DWORD waited = event ? WaitForSingleObject(event, 60000) : WAIT_FAILED;
        if (event) CloseHandle(event);
        if (waited != WAIT_OBJECT_0) {
            OutputDebugStringW((u"mail helper: gave up waiting for " + name).c_str());
            return 1;
        }
    }

    const std::optional<std::filesystem::path> journal = platform::hostPath(besideProgram(u".journal"));
    if (!journal) return 1;
    std::ofstream out(*journal, std::ios::app);
    out << field(GetCommandLineW()) << '\t' << (client ? field(*client) : std::string("(none)")) << '\t'
        << ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : std::string("-")) << '\n';
    return out ? 0 : 1;
}
