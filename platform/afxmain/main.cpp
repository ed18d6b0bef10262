// The entry of a framework program: the command line as Windows gives it, then AfxWinMain.
#include <string>

#include "afx/afxwin.h"
#include "platform/control.h"
#include "win/kernel.h"

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

}  // namespace

int main(int argc, char** argv) {
    std::u16string line = quoted(platform::programPath());
    const size_t tail = line.size() + 1;
    for (int i = 1; i < argc; ++i) line += u" " + quoted(platform::fromUtf8(argv[i]));
    platform::setCommandLine(line);
    LPWSTR commandLine = GetCommandLineW();
    LPWSTR arguments = commandLine + (tail <= line.size() ? tail : line.size());
    return AfxWinMain(GetModuleHandleW(nullptr), nullptr, arguments, SW_SHOWNORMAL);
}
