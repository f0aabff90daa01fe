// The pool's system memory: aligned, zeroed, fully usable blocks that do not
// overlap, and a real memory manager running on top of one.
#include "core/MemoryManager.h"
#include "core/Object.h"
#include "hal/PoolMemory.h"
#include "support/EngineFixture.h"
#include <cstdint>
#include <cstring>
#include <string>

namespace {

TEST(PoolMemoryTest, BlocksAreAlignedZeroedWritableAndSeparate) {
    const int sizes[] = {1, 17, 4096, 3 << 20, 10240032};
    void* blocks[5];
    for (int i = 0; i < 5; ++i) {
        blocks[i] = HAL::allocatePoolMemory(sizes[i]);
        ASSERT_NE(nullptr, blocks[i]) << sizes[i];
        EXPECT_EQ(0u, (uintptr_t)blocks[i] % 16) << sizes[i];
        const unsigned char* bytes = static_cast<const unsigned char*>(blocks[i]);
        int nonZero = 0;
        for (int k = 0; k < sizes[i]; ++k) nonZero += bytes[k] != 0;
        EXPECT_EQ(0, nonZero) << "a fresh block of " << sizes[i] << " bytes is not zeroed";
        std::memset(blocks[i], 0xA0 + i, sizes[i]);
    }
    // Every block still holds its own pattern: none overlaps another.
    for (int i = 0; i < 5; ++i) {
        const unsigned char* bytes = static_cast<const unsigned char*>(blocks[i]);
        EXPECT_EQ(0xA0 + i, bytes[0]);
        EXPECT_EQ(0xA0 + i, bytes[sizes[i] - 1]);
    }
    for (void* b : blocks) HAL::releasePoolMemory(b);
}

TEST(PoolMemoryTest, NoBlockForNoSizeAndNullReleasesNothing) {
    EXPECT_EQ(nullptr, HAL::allocatePoolMemory(0));
    EXPECT_EQ(nullptr, HAL::allocatePoolMemory(-16));
    HAL::releasePoolMemory(nullptr);
}

TEST(PoolMemoryTest, AMemoryManagerRunsOnABlock) {
    testsupport::StderrCapture quiet;
    MemoryManagerConfig config;
    config.poolSize = 1 << 20;
    static void* block = nullptr;
    config.poolAllocateHook = [](int size) { return block = HAL::allocatePoolMemory(size); };
    {
        MemoryManager pool(config);
        void* a = pool.hwMemAlloc(1000, M3D_HERE);
        void* b = pool.hwMemAlloc(500000, M3D_HERE);
        ASSERT_NE(nullptr, a);
        ASSERT_NE(nullptr, b);
        EXPECT_GE((const char*)a, (const char*)block);
        EXPECT_LT((const char*)b, (const char*)block + config.poolSize + 32);
        std::memset(b, 1, 500000);
        pool.hwMemFree(a, M3D_HERE);
        pool.hwMemFree(b, M3D_HERE);
        EXPECT_EQ(0, pool.getLiveAllocations());
    }
    HAL::releasePoolMemory(block);
}

} // namespace
