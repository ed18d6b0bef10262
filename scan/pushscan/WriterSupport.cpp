// Debug lines and unique temporary files of the page writers.
#include "WriterSupport.h"

#include <cstdarg>
#include <cstdio>

#include "win/files.h"
#include "win/kernel.h"

namespace {
constexpr int kUniqueTries = 10000;
}

std::u16string WideOf(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void WriterDebug(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    OutputDebugStringW(WideOf(text).c_str());
}

std::u16string WriterTempFolder() {
    WCHAR folder[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return {};
    std::u16string path(folder, n);
    if (path.back() != u'\\') path += u'\\';
    return path;
}

std::u16string CreateUniqueFile(const std::function<std::u16string(int)>& nameFor) {
    for (int i = 0; i < kUniqueTries; ++i) {
        std::u16string name = nameFor(i);
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}
