// The uninstaller's self-deletion.
#include "SelfDelete.h"

#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "win/user.h"

namespace uninstall {

std::u16string SelfDeleteBatchText(std::u16string_view programPath, std::u16string_view batchPath) {
    const std::u16string program = u"\"" + std::u16string(programPath) + u"\"";
    const std::u16string batch = u"\"" + std::u16string(batchPath) + u"\"";
    return u":pepeat \n"
           u" del " + program + u" \n"
           u" if exist " + program + u" goto pepeat \n"
           u" del " + batch;
}

std::optional<std::string> SelfDeleteBatchBytes(std::u16string_view programPath, std::u16string_view batchPath) {
    if (programPath.find(u'%') != std::u16string_view::npos || batchPath.find(u'%') != std::u16string_view::npos)
        return std::nullopt;
    const std::u16string text = SelfDeleteBatchText(programPath, batchPath);
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            &usedDefault) != size ||
        usedDefault)
        return std::nullopt;
    return bytes;
}

void DeleteSelf() {
    WCHAR program[MAX_PATH] = {};
    const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
    WCHAR batch[MAX_PATH] = {};
    const DWORD tempLength = GetTempPathW(MAX_PATH, batch);
    if (programLength == 0 || programLength >= MAX_PATH || tempLength == 0 || tempLength >= MAX_PATH) {
        OutputDebugStringW(u"DeleteSelf: a path does not fit; no batch");
        return;
    }
    PathAddBackslashW(batch);
    const std::u16string batchPath = std::u16string(batch) + kSelfDeleteBatchName;
    if (batchPath.size() >= MAX_PATH) {
        OutputDebugStringW(u"DeleteSelf: the batch path does not fit; no batch");
        return;
    }
    const auto bytes = SelfDeleteBatchBytes(program, batchPath);
    if (!bytes || bytes->empty()) {
        OutputDebugStringW(u"DeleteSelf: a path is not plain in the ANSI code page; no batch");
        return;
    }
    HANDLE file = CreateFileW(batchPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr);
    CloseHandle(file);
    if (GetFileAttributesW(batchPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    const DWORD attributes = GetFileAttributesW(program);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(program, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ShellExecuteW(nullptr, u"open", batchPath.c_str(), nullptr, nullptr, SW_HIDE);
}

}  // namespace uninstall
