// Metafile handles: bytes in memory, copied to files on the machine.
#include "metafiles.h"

#include "win/files.h"

namespace platform::gdi {

namespace {

constexpr size_t kWmfHeaderBytes = 18;  // METAHEADER: type, header words, version, size, objects, max record, 0

HGDIOBJ insertMetafile(std::vector<BYTE> bytes, bool enhanced) {
    auto metafile = std::make_shared<MetafileBits>();
    metafile->enhanced = enhanced;
    metafile->bytes = std::move(bytes);
    return insert(metafile);
}

WORD word(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }

}  // namespace

HENHMETAFILE makeEnhMetafile(std::vector<BYTE> bytes) {
    return static_cast<HENHMETAFILE>(insertMetafile(std::move(bytes), true));
}

std::shared_ptr<MetafileBits> metafileOf(HGDIOBJ handle, bool enhanced) {
    auto metafile = findAs<MetafileBits>(handle);
    if (!metafile || metafile->enhanced != enhanced) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return metafile;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HMETAFILE WINAPI SetMetaFileBitsEx(UINT size, const BYTE* bits) {
    // A memory (1) or disk (2) metafile of 9 header words, version 1 or 3.
    if (!bits || size < kWmfHeaderBytes || (word(bits) != 1 && word(bits) != 2) || word(bits + 2) != 9 ||
        (word(bits + 4) != 0x0100 && word(bits + 4) != 0x0300)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return static_cast<HMETAFILE>(insertMetafile(std::vector<BYTE>(bits, bits + size), false));
}

HMETAFILE WINAPI CopyMetaFileW(HMETAFILE handle, LPCWSTR file) {
    auto metafile = metafileOf(handle, false);
    if (!metafile) return nullptr;
    if (file) {
        HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) return nullptr;
        DWORD written = 0;
        BOOL ok = WriteFile(out, metafile->bytes.data(), static_cast<DWORD>(metafile->bytes.size()), &written, nullptr);
        DWORD error = GetLastError();
        CloseHandle(out);
        if (!ok || written != metafile->bytes.size()) {
            SetLastError(ok ? ERROR_WRITE_FAULT : error);
            return nullptr;
        }
    }
    return static_cast<HMETAFILE>(insertMetafile(metafile->bytes, false));
}

BOOL WINAPI DeleteMetaFile(HMETAFILE handle) {
    if (!metafileOf(handle, false)) return FALSE;
    erase(handle);
    return TRUE;
}

BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE handle) {
    if (!metafileOf(handle, true)) return FALSE;
    erase(handle);
    return TRUE;
}
