// The shell's command-line splitter and the light library's counted case-blind compare.
#include <cstring>
#include <string>
#include <vector>

#include "../internal.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace {

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }

// The arguments of a command line by the rules of CommandLineToArgvW.
std::vector<std::u16string> splitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    size_t i = 0;
    // The program name: quoted up to the next quote, else up to the first blank; backslashes are
    // plain characters in it. A line that starts with a blank has an empty program name.
    std::u16string program;
    if (i < line.size() && line[i] == u'"') {
        ++i;
        while (i < line.size() && line[i] != u'"') program += line[i++];
        if (i < line.size()) ++i;
    } else {
        while (i < line.size() && !blank(line[i])) program += line[i++];
    }
    args.push_back(program);
    for (;;) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i >= line.size()) break;
        std::u16string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !blank(line[i]))) {
            if (line[i] == u'\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
                if (i < line.size() && line[i] == u'"') {
                    // 2n backslashes and a quote: n backslashes, the quote opens or closes;
                    // 2n + 1: n backslashes and a quote as it stands.
                    arg.append(slashes / 2, u'\\');
                    if (slashes % 2) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, u'\\');  // not before a quote: as they stand
                }
                continue;
            }
            if (line[i] == u'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    arg += u'"';  // a doubled quote inside quotes is one quote; still quoted
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += line[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

}  // namespace

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* numArgs) {
    if (!numArgs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("CommandLineToArgvW", {})) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::vector<std::u16string> args;
    if (!commandLine || !*commandLine) {
        WCHAR path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        args.emplace_back(path, length < MAX_PATH ? length : 0);
    } else {
        args = splitCommandLine(commandLine);
    }
    // One block: the pointers (and a closing NULL), then the strings.
    size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
    for (const auto& arg : args) bytes += (arg.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<LPWSTR*>(LocalAlloc(LMEM_FIXED, bytes));
    if (!block) return nullptr;  // LocalAlloc set the error
    auto* text = reinterpret_cast<WCHAR*>(block + args.size() + 1);
    for (size_t n = 0; n < args.size(); ++n) {
        block[n] = text;
        std::memcpy(text, args[n].data(), args[n].size() * sizeof(WCHAR));
        text[args[n].size()] = 0;
        text += args[n].size() + 1;
    }
    block[args.size()] = nullptr;
    *numArgs = static_cast<int>(args.size());
    return block;
}

int WINAPI StrCmpNIW(LPCWSTR first, LPCWSTR second, int count) {
    if (count <= 0) return 0;
    if (!first || !second) return first == second ? 0 : (first ? 1 : -1);
    for (int n = 0; n < count; ++n) {
        const char16_t a = platform::detail::foldCase(first[n]);
        const char16_t b = platform::detail::foldCase(second[n]);
        if (a != b) return a < b ? -1 : 1;
        if (!a) return 0;
    }
    return 0;
}
