// Global memory: fixed blocks named by their address, movable ones by a handle of the process's table
// (the address of a cell of its own, so no handle is ever a block's address), with lock counts. A block
// that GlobalReAlloc grows keeps room to grow again (half as much again as asked), so a stream that
// grows by many writes copies its bytes a few times only. A block of many megabytes is backed by huge
// pages where the host allows them: a scanned page's stream is written once from end to end, and its
// first touch would otherwise fault it in 4 KiB at a time.
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "internal.h"
#include "win/kernel.h"

namespace {

struct Block {
    std::unique_ptr<unsigned char[]> data;  // null for a movable block of no bytes
    SIZE_T size = 0;
    SIZE_T capacity = 0;  // bytes held at data
    bool movable = false;
    int locks = 0;
};

struct GlobalTable {
    std::mutex mutex;
    std::map<HGLOBAL, Block> blocks;
    std::map<HGLOBAL, std::unique_ptr<char>> cells;  // the handles of movable blocks
};
GlobalTable& table() {
    static auto* t = new GlobalTable;
    return *t;
}

// The block of a handle (lock held), or null with ERROR_INVALID_HANDLE.
Block* blockOf(HGLOBAL mem) {
    auto& blocks = table().blocks;
    auto it = mem ? blocks.find(mem) : blocks.end();
    if (it == blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

// Fresh block memory of `bytes`, or null; a large block's whole 2 MiB spans are advised to huge pages
// before anything touches them (advice only: a host without them faults small pages as before).
std::unique_ptr<unsigned char[]> newBlockData(SIZE_T bytes) {
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[bytes]);
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (data && bytes >= 2 * kHuge) {
        const auto begin = reinterpret_cast<uintptr_t>(data.get());
        const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1), last = (begin + bytes) & ~(kHuge - 1);
        if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
    return data;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (flags & ~static_cast<UINT>(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("GlobalAlloc", {}, bytes)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Block block;
    block.movable = (flags & GMEM_MOVEABLE) != 0;
    block.size = bytes;
    if (bytes || !block.movable) {
        block.data = newBlockData(bytes ? bytes : 1);
        if (!block.data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (flags & GMEM_ZEROINIT) std::memset(block.data.get(), 0, bytes ? bytes : 1);
        block.capacity = bytes ? bytes : 1;
    }
    auto& t = table();
    std::lock_guard lock(t.mutex);
    HGLOBAL handle = nullptr;
    if (block.movable) {
        auto cell = std::make_unique<char>();
        handle = cell.get();
        t.cells.emplace(handle, std::move(cell));
    } else {
        handle = block.data.get();
    }
    t.blocks.emplace(handle, std::move(block));
    return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL mem) {
    std::lock_guard lock(table().mutex);
    Block* b = blockOf(mem);
    if (!b) return nullptr;
    if (!b->data) {
        SetLastError(ERROR_DISCARDED);
        return nullptr;
    }
    if (b->movable) ++b->locks;
    return b->data.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem) {
    std::lock_guard lock(table().mutex);
    Block* b = blockOf(mem);
    if (!b) return FALSE;
    if (!b->movable) {
        SetLastError(ERROR_SUCCESS);  // a fixed block's lock count is always zero
        return FALSE;
    }
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--b->locks > 0) return TRUE;
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL mem) {
    std::lock_guard lock(table().mutex);
    Block* b = blockOf(mem);
    return b ? b->size : 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    if (!blockOf(mem)) return mem;
    t.blocks.erase(mem);
    t.cells.erase(mem);
    return nullptr;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
    if (flags & ~static_cast<UINT>(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& t = table();
    std::lock_guard lock(t.mutex);
    Block* b = blockOf(mem);
    if (!b) return nullptr;
    if (auto fault = platform::detail::takeFault("GlobalReAlloc", {}, bytes)) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T old = b->size;
    if (bytes <= b->capacity && (b->data || bytes == 0)) {  // fits where it is
        if ((flags & GMEM_ZEROINIT) && bytes > old) std::memset(b->data.get() + old, 0, bytes - old);
        b->size = bytes;
        return mem;
    }
    // It must move: a fixed block only when allowed, a movable one only while unlocked.
    if ((!b->movable && !(flags & GMEM_MOVEABLE)) || (b->movable && b->locks > 0)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T capacity = b->movable ? bytes + bytes / 2 : bytes;
    std::unique_ptr<unsigned char[]> data = newBlockData(capacity);
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (old) std::memcpy(data.get(), b->data.get(), old);
    if (flags & GMEM_ZEROINIT) std::memset(data.get() + old, 0, bytes - old);
    if (b->movable) {
        b->data = std::move(data);
        b->size = bytes;
        b->capacity = capacity;
        return mem;
    }
    Block moved;
    moved.data = std::move(data);
    moved.size = bytes;
    moved.capacity = capacity;
    HGLOBAL handle = moved.data.get();
    t.blocks.erase(mem);
    t.blocks.emplace(handle, std::move(moved));
    return handle;
}
