// standin-installer: plays the product's installer, which the installation launcher starts but which
// is not part of the system. It only says that it was started: one line in the machine's debugger
// output with the program path, command line and current directory it sees, then it ends (exit 0).
//
// Make it a program of the machine with a program link, e.g. for D:\Setup.exe:
//     printf 'MFP-PROGRAM-LINK\n%s\n' "$PWD/build/bin/standin-installer" > "$PLATFORM_MACHINE/drives/d/Setup.exe"
#include <string>

#include "win/kernel.h"
#include "win/processes.h"

int main() {
    WCHAR program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    WCHAR directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    const std::u16string line = std::u16string(u"installer started: program=") + program +
                                u"; command line=" + GetCommandLineW() + u"; current directory=" + directory;
    OutputDebugStringW(line.c_str());
    return 0;
}
