// The arena of blocks below 4 GiB (platform/low_memory.h): one region mapped with MAP_32BIT on first
// use, handed out first-fit in 16-byte steps; LocalFree gives its blocks back.
#include "platform/low_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "internal.h"
#include "win/kernel.h"

namespace {

constexpr size_t kArenaSize = 16u << 20;
constexpr size_t kStep = 16;

struct Block {
    size_t size;
    int owner;
};

struct Arena {
    std::mutex mutex;
    unsigned char* base = nullptr;
    bool failed = false;
    std::map<size_t, Block> blocks;  // by offset
    std::map<int, platform::LowBlockCounts> counts;
};
Arena& arena() {
    static Arena* state = new Arena;
    return *state;
}

bool mapArena(Arena& state) {
    if (state.base) return true;
    if (state.failed) return false;
    void* region = mmap(nullptr, kArenaSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (region == MAP_FAILED) {
        state.failed = true;
        OutputDebugStringA("allocateLow: no room below 4 GiB for the arena");
        return false;
    }
    state.base = static_cast<unsigned char*>(region);
    return true;
}

}  // namespace

namespace platform {

void* allocateLow(size_t bytes, int owner) {
    Arena& state = arena();
    std::lock_guard lock(state.mutex);
    const size_t size = (std::max<size_t>(bytes, 1) + kStep - 1) / kStep * kStep;
    if (!mapArena(state) || size > kArenaSize) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    size_t offset = 0;
    for (const auto& [start, block] : state.blocks) {
        if (start - offset >= size) break;
        offset = start + block.size;
    }
    if (kArenaSize - offset < size) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    state.blocks[offset] = {size, owner};
    ++state.counts[owner].handedOut;
    std::memset(state.base + offset, 0, size);
    return state.base + offset;
}

uint32_t lowAddress(const void* block) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
}

void* fromLowAddress(uint32_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

bool inLowArena(const void* address) {
    Arena& state = arena();
    std::lock_guard lock(state.mutex);
    const auto* byte = static_cast<const unsigned char*>(address);
    return state.base && byte >= state.base && byte < state.base + kArenaSize;
}

LowBlockCounts lowBlockCounts(int owner) {
    Arena& state = arena();
    std::lock_guard lock(state.mutex);
    return state.counts[owner];
}

void resetLowBlockCounts() {
    Arena& state = arena();
    std::lock_guard lock(state.mutex);
    state.counts.clear();
}

}  // namespace platform

namespace platform::detail {

bool freeLow(void* block) {
    Arena& state = arena();
    std::lock_guard lock(state.mutex);
    const size_t offset = static_cast<size_t>(static_cast<unsigned char*>(block) - state.base);
    auto found = state.blocks.find(offset);
    if (found == state.blocks.end()) return false;
    ++state.counts[found->second.owner].freed;
    state.blocks.erase(found);
    return true;
}

}  // namespace platform::detail
