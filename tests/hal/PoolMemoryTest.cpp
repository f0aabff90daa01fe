// The pool's system memory: aligned, zeroed, fully usable blocks that do not
// overlap, huge pages where the system offers them, and a real memory
// manager running on top of one.
#include "core/MemoryManager.h"
#include "core/Object.h"
#include "hal/PoolMemory.h"
#include "support/EngineFixture.h"
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The huge-page kilobytes /proc/self/smaps reports for the mapping holding `p`.
long hugeKilobytesAt(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    uintptr_t address = (uintptr_t)p;
    while (std::getline(smaps, line)) {
        unsigned long from = 0, to = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> from >> dash >> to && dash == '-') {
            inside = address >= from && address < to;
            continue;
        }
        if (inside && line.rfind("AnonHugePages:", 0) == 0) return std::stol(line.substr(14));
    }
    return -1;
}

std::string transparentHugePages() {
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string s;
    std::getline(f, s);
    return s;
}

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

TEST(PoolMemoryTest, LargeBlocksSitOnHugePagesWhereTheSystemHasThem) {
    std::string mode = transparentHugePages();
    if (mode.find("[never]") != std::string::npos || mode.empty())
        GTEST_SKIP() << "transparent huge pages are off here";
    const int size = 6 << 20;
    void* block = HAL::allocatePoolMemory(size);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, (uintptr_t)block % (2u << 20)) << "the block starts on a huge page boundary";
    std::memset(block, 0, size);
    long huge = hugeKilobytesAt(block);
    HAL::releasePoolMemory(block);
    // The kernel may be out of free huge pages at that moment; then the
    // block is ordinary memory, which the other tests cover.
    if (huge == 0) GTEST_SKIP() << "no huge page was free";
    EXPECT_GE(huge, 2048) << "a 6 MB block filled through should hold at least one 2 MB page";
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
