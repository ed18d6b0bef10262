// standin-rundll32: plays the system's "rundll32.exe" for the one command the uninstaller gives it,
// "printui.dll,PrintUIEntry /dl /n "<printer>"": it deletes that printer through the spooler. A file
// "rundll32.script" beside the program on the machine holds one word: "fail" ends with exit code 1
// and deletes nothing, "leave" ends with 0 and deletes nothing. Every start appends a line to
// "rundll32.journal" beside the program: the printer and what was done.
#include <string>

#include "platform/control.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"
#include "win/processes.h"
#include "win/shell.h"
#include "win/spooler.h"

namespace {


std::u16string besideProgram(std::u16string_view extension) {
    WCHAR program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::u16string path = program;
    const size_t dot = path.rfind(u'.');
    return (dot == std::u16string::npos ? path : path.substr(0, dot)) + std::u16string(extension);
}

std::string readScript() {
    HANDLE file = CreateFileW(besideProgram(u".script").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char buffer[32] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    std::string word(buffer, read);
    while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' ')) word.pop_back();
    return word;
}

void journal(const std::u16string& printer, const std::string& outcome) {
    HANDLE file = CreateFileW(besideProgram(u".journal").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    const std::string line = platform::toUtf8(printer) + "\t" + outcome + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return 2;
    std::u16string printer;
    bool printUi = false, deleteLocal = false;
    // The command line is the printer interface's own, without a program name before it.
    for (int i = 0; i < count; ++i) {
        const std::u16string arg = args[i];
        if (arg == u"printui.dll,PrintUIEntry") printUi = true;
        else if (arg == u"/dl") deleteLocal = true;
        else if (arg == u"/n" && i + 1 < count) printer = args[++i];
    }
    LocalFree(args);
    if (!printUi || !deleteLocal || printer.empty()) {
        journal(printer, "not a printer deletion");
        return 2;
    }
    const std::string script = readScript();
    if (script == "fail") {
        journal(printer, "failed as scripted");
        return 1;
    }
    if (script == "leave") {
        journal(printer, "left as scripted");
        return 0;
    }
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(printer.data(), &handle, &defaults)) {
        journal(printer, "no such printer");
        return 1;
    }
    const BOOL deleted = DeletePrinter(handle);
    const DWORD error = GetLastError();
    ClosePrinter(handle);
    journal(printer, deleted ? "deleted" : "not deleted, error " + std::to_string(error));
    return deleted ? 0 : 1;
}
