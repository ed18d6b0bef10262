// The low arena: blocks below 4 GiB for the 32-bit records of the wireless service, freed by LocalFree.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/low_memory.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

TEST(LowArena, BlocksBelow4GiBFreedByLocalFree) {
    Machine machine;
    auto* block = static_cast<unsigned char*>(platform::allocateLow(100));
    ASSERT_NE(block, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(block), uintptr_t{1} << 32);
    EXPECT_EQ(platform::fromLowAddress(platform::lowAddress(block)), block);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(block[i], 0);
    std::memset(block, 0xAB, 100);
    EXPECT_EQ(LocalFree(block), nullptr);
    // A freed block, or an address inside one, is no block to free.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LocalFree(block), block);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    void* again = platform::allocateLow(10);
    EXPECT_EQ(static_cast<unsigned char*>(again)[0], 0);  // the reused room comes back zeroed
    EXPECT_EQ(LocalFree(static_cast<unsigned char*>(again) + 1), static_cast<unsigned char*>(again) + 1);
    EXPECT_EQ(LocalFree(again), nullptr);
    EXPECT_EQ(platform::allocateLow(std::size_t{64} << 20), nullptr);
}

}  // namespace
