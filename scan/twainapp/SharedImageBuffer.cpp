// The shared image buffer: a temporary file mapped read-write, viewed in pieces at the system's
// allocation granularity.
#include "SharedImageBuffer.h"

#include <cstdio>
#include <new>
#include <string>

#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"

namespace {

// The record with the string that holds its file name.
struct SharedImageAllocation : SharedImageBuffer {
    SharedImageAllocation() : SharedImageBuffer{} {}
    std::u16string fileName;
};

void debugError(const char* format) {
    char text[64];
    snprintf(text, sizeof text, format, static_cast<int>(GetLastError()));
    OutputDebugStringA(text);
}

}  // namespace

SharedImageBuffer* CreateSharedImageBuffer(DWORD size, LPCWSTR name) {
    auto* allocation = new (std::nothrow) SharedImageAllocation;
    if (!allocation) return nullptr;
    if (name && *name) {
        allocation->fileName = name;
    } else {
        WCHAR folder[MAX_PATH] = {}, file[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, u"Img", 0, file) == 0) {
            delete allocation;
            return nullptr;
        }
        allocation->fileName = file;
    }
    HANDLE handle = CreateFileW(allocation->fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (!(name && *name)) DeleteFileW(allocation->fileName.c_str());
        delete allocation;
        return nullptr;
    }
    SharedImageBuffer& record = *allocation;
    record.pszFileName = allocation->fileName.c_str();
    record.dwSize = size;
    record.hMapping = CreateFileMappingW(handle, nullptr, PAGE_READWRITE, 0, size, nullptr);
    CloseHandle(handle);
    if (!record.hMapping) {
        debugError("CreateFileMapping error :(%d)");
        DeleteFileW(allocation->fileName.c_str());
        delete allocation;
        return nullptr;
    }
    return &record;
}

LPBYTE GetDataHandle(SharedImageBuffer* buffer, DWORD offset, DWORD length, LPVOID* viewBase) {
    if (viewBase) *viewBase = nullptr;
    if (!buffer || !viewBase || static_cast<uint64_t>(offset) + length > buffer->dwSize) {
        OutputDebugStringA("GetDataHandle : size error");
        return nullptr;
    }
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const DWORD granularity = info.dwAllocationGranularity ? info.dwAllocationGranularity : 65536;
    const DWORD start = offset / granularity * granularity;
    const DWORD difference = offset - start;
    LPVOID base = MapViewOfFile(buffer->hMapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, start,
                                static_cast<SIZE_T>(length) + difference);
    if (!base) {
        debugError("MapViewOfFile error :(%d)");
        return nullptr;
    }
    *viewBase = base;
    return static_cast<LPBYTE>(base) + difference;
}

void ReleaseSharedImageBuffer(SharedImageBuffer* buffer) {
    if (!buffer) return;
    auto* allocation = static_cast<SharedImageAllocation*>(buffer);
    if (buffer->hMapping) CloseHandle(buffer->hMapping);
    if (!allocation->fileName.empty()) DeleteFileW(allocation->fileName.c_str());
    delete allocation;
}
