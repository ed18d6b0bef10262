// The entry of a framework program: the command line as Windows gives it, then AfxWinMain.
#include <cstdlib>
#include <string>

#include "afx/afxwin.h"
#include "platform/control.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace {

std::u16string quoted(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) return argument;
    std::u16string out = u"\"";
    for (char16_t c : argument) {
        if (c == u'"') out += u'\\';
        out += c;
    }
    return out + u"\"";
}

// Where the arguments start: after the program's name (quoted, or up to the first blank) and blanks.
size_t argumentsStart(std::u16string_view line) {
    size_t i = 0;
    if (!line.empty() && line[0] == u'"') {
        i = line.find(u'"', 1);
        i = i == std::u16string_view::npos ? line.size() : i + 1;
    } else {
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t') ++i;
    }
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    return i;
}

}  // namespace

int main(int argc, char** argv) {
    // Started by CreateProcessW, the program has its command line from its parent (GetCommandLineW);
    // started from a shell, it is made of the program path and the arguments.
    const char* given = std::getenv("PLATFORM_COMMAND_LINE");
    if (!given || !*given) {
        std::u16string line = quoted(platform::programPath());
        for (int i = 1; i < argc; ++i) line += u" " + quoted(platform::fromUtf8(argv[i]));
        platform::setCommandLine(line);
    }
    LPWSTR commandLine = GetCommandLineW();
    LPWSTR arguments = commandLine + argumentsStart(commandLine);
    // The show command as the C run-time gives it to WinMain: the starter's, else SW_SHOWDEFAULT.
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    return AfxWinMain(GetModuleHandleW(nullptr), nullptr, arguments, show);
}
