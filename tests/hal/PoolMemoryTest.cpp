// The pool's system memory: aligned, zeroed, fully usable blocks that do not
// overlap. Every engine the app tests start runs its memory manager on one.
#include "hal/PoolMemory.h"
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(PoolMemoryTest, BlocksAreAlignedZeroedWritableAndSeparate) {
    const int sizes[] = {1, 17, 4096, 3 << 20, 10240032};
    void* blocks[5];
    for (int i = 0; i < 5; ++i) {
        blocks[i] = HAL::allocatePoolMemory(sizes[i]);
        ASSERT_NE(nullptr, blocks[i]) << sizes[i];
        EXPECT_EQ(0u, (uintptr_t)blocks[i] % 16) << sizes[i];
        const unsigned char* bytes = static_cast<const unsigned char*>(blocks[i]);
        EXPECT_TRUE(std::all_of(bytes, bytes + sizes[i], [](unsigned char c) { return c == 0; }))
            << "a fresh block of " << sizes[i] << " bytes is not zeroed";
        std::memset(blocks[i], 0xA0 + i, sizes[i]);
    }
    // Every block still holds its own pattern: none overlaps another.
    for (int i = 0; i < 5; ++i) {
        const unsigned char* bytes = static_cast<const unsigned char*>(blocks[i]);
        EXPECT_EQ(0xA0 + i, bytes[0]);
        EXPECT_EQ(0xA0 + i, bytes[sizes[i] - 1]);
    }
    for (void* b : blocks)
        HAL::releasePoolMemory(b);
    EXPECT_EQ(nullptr, HAL::allocatePoolMemory(0));
    EXPECT_EQ(nullptr, HAL::allocatePoolMemory(-16));
    HAL::releasePoolMemory(nullptr);
}

} // namespace
