// Blocks below 4 GiB, for records of 32-bit interfaces whose pointer fields are 4 bytes (the wireless
// service's records). Not Windows: on the 32-bit system every address fits such a field, on our
// 64-bit build only these blocks do. They come from one arena of the layer (16 MiB, zero-filled
// blocks) and are freed with LocalFree, like the blocks the service hands out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A zero-filled block below 4 GiB, or null when the arena is full (ERROR_NOT_ENOUGH_MEMORY). `owner`
// tags the block for the counts below (0: the program's own).
void* allocateLow(size_t bytes, int owner = 0);
// The 4-byte form of a block's address, and back (0 for null).
uint32_t lowAddress(const void* block);
void* fromLowAddress(uint32_t address);
// Whether an address lies inside the arena (a live block or not).
bool inLowArena(const void* address);

struct LowBlockCounts {
    int handedOut = 0;
    int freed = 0;
};
// Blocks of an owner handed out and freed since the last resetLowBlockCounts() (which the radio's
// counts do for each new machine).
LowBlockCounts lowBlockCounts(int owner);
void resetLowBlockCounts();

}  // namespace platform
