// Virtual memory and file mappings over mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "internal.h"
#include "win/files.h"
#include "win/memory.h"

namespace {

constexpr uint64_t kAllocationGranularity = 65536;

struct MappingObject : platform::detail::KernelObject {
    int fd = -1;
    uint64_t size = 0;
    bool writable = false;
    ~MappingObject() override {
        if (fd >= 0) ::close(fd);
    }
};

// Blocks of VirtualAlloc and views of MapViewOfFile, by base address, with their lengths.
struct Regions {
    std::mutex mutex;
    std::map<const void*, size_t> blocks;
    std::map<const void*, size_t> views;
};
Regions& regions() {
    static auto* r = new Regions;
    return *r;
}

// Removes a region of the table and unmaps it; false when the address is no region's base.
bool release(std::map<const void*, size_t>& table, const void* base) {
    size_t length = 0;
    {
        std::lock_guard lock(regions().mutex);
        auto it = table.find(base);
        if (it == table.end()) return false;
        length = it->second;
        table.erase(it);
    }
    ::munmap(const_cast<void*>(base), length);
    return true;
}

}  // namespace

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address || size == 0 || !(allocationType & MEM_COMMIT) ||
        (allocationType & ~static_cast<DWORD>(MEM_COMMIT | MEM_RESERVE)) ||
        (protect != PAGE_READWRITE && protect != PAGE_READONLY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("VirtualAlloc", {}, size)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    int prot = protect == PAGE_READWRITE ? PROT_READ | PROT_WRITE : PROT_READ;
    void* block = ::mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(regions().mutex);
    regions().blocks.emplace(block, size);
    return block;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (freeType != MEM_RELEASE || size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!release(regions().blocks, address)) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                                 DWORD maximumSizeLow, LPCWSTR name) {
    if (protect != PAGE_READONLY && protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("CreateFileMapping")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint64_t size = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    bool writable = protect == PAGE_READWRITE;
    int fd = -1;
    if (file == INVALID_HANDLE_VALUE) {
        // Memory that backs no file: a size is required.
        if (size == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        fd = ::memfd_create("mapping", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            if (fd >= 0) ::close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    } else {
        DWORD access = 0;
        int fileFd = platform::detail::fileDescriptorOf(file, &access);
        if (fileFd < 0) return nullptr;
        bool canRead = access & (GENERIC_READ | GENERIC_ALL);
        bool canWrite = access & (GENERIC_WRITE | GENERIC_ALL);
        if (!canRead || (writable && !canWrite)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fileFd, &st) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        uint64_t fileSize = static_cast<uint64_t>(st.st_size);
        if (size == 0) {
            if (fileSize == 0) {
                SetLastError(ERROR_FILE_INVALID);
                return nullptr;
            }
            size = fileSize;
        } else if (size > fileSize) {
            if (!writable) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            if (::ftruncate(fileFd, static_cast<off_t>(size)) != 0) {
                SetLastError(errno == ENOSPC || errno == EFBIG ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
        fd = ::fcntl(fileFd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            SetLastError(ERROR_TOO_MANY_OPEN_FILES);
            return nullptr;
        }
    }
    auto mapping = std::make_shared<MappingObject>();
    mapping->fd = fd;
    mapping->size = size;
    mapping->writable = writable;
    SetLastError(ERROR_SUCCESS);
    return platform::detail::insertHandle(mapping);
}

LPVOID WINAPI MapViewOfFile(HANDLE handle, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    auto mapping = platform::detail::handleAs<MappingObject>(handle);
    if (!mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("MapViewOfFile", {}, bytes)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset % kAllocationGranularity != 0) {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    bool copy = desiredAccess == FILE_MAP_COPY;
    bool write = !copy && (desiredAccess & FILE_MAP_WRITE);
    if ((write && !mapping->writable) || offset > mapping->size ||
        (bytes != 0 && bytes > mapping->size - offset)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    size_t length = bytes ? bytes : static_cast<size_t>(mapping->size - offset);
    if (length == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
    void* view = ::mmap(nullptr, length, prot, copy ? MAP_PRIVATE : MAP_SHARED, mapping->fd, static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(regions().mutex);
    regions().views.emplace(view, length);
    return view;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID base) {
    if (!release(regions().views, base)) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    return TRUE;
}
