#include "FuzzEngine.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "hal/PoolMemory.h"
#include "hal/Time.h"
#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

namespace {
void* poolMemory(int size) { return HAL::allocatePoolMemory(size); }
void releasePool(void* block) { HAL::releasePoolMemory(block); }
} // namespace

void startEngine() {
    if (core::engineGlobals()) return;
    HAL::initTimer();
    core::EngineGlobals* g = new core::EngineGlobals();
    core::setEngineGlobals(g);
    g->log = new core::DebugLog();
    g->log->setLevelMask(0);
    g->log->setEcho(std::getenv("PELLORAN_FUZZ_LOG") != nullptr);
    MemoryManagerConfig mc;
    mc.poolAllocateHook = poolMemory;
    mc.poolReleaseHook = releasePool;
    mc.poolMemoryZeroed = true;
    g->memoryManager = new MemoryManager(mc);
    // The file system lives from start-up on (the application mounts its
    // archives there first thing), not from the first load that asks for it.
    core::FileSystem::get();
    // The engine stays up until the process ends: a fuzz run never shuts down.
}

PoolState poolState() {
    const MemoryManager& pool = *core::engineGlobals()->memoryManager;
    PoolState s;
    s.live = pool.getLiveAllocations();
    s.used = pool.getUsedBytes();
    s.freeBytes = pool.getFreeBytes();
    const int MAX = 4096;
    static const void* addresses[MAX];
    static int sizes[MAX];
    int n = pool.freeBlocks(addresses, sizes, MAX);
    if (n > MAX) n = MAX;
    s.freeBlocks.reserve((size_t)n);
    for (int i = 0; i < n; ++i) s.freeBlocks.emplace_back(addresses[i], sizes[i]);
    return s;
}

void requireSamePool(const PoolState& before, const char* what) {
    const MemoryManager& pool = *core::engineGlobals()->memoryManager;
    // The full consistency check reads the whole free index (thousands of
    // chunks): every 64th input, and always when anything looks different.
    static unsigned inputs = 0;
    PoolState after = poolState();
    bool same = after == before;
    if ((!same || inputs++ % 64 == 0) && !pool.validate()) fault(what, "the memory pool is damaged");
    if (same) return;
    std::fprintf(stderr,
                 "%s: the pool differs after the input: %d live blocks (was %d), %d bytes used (was %d), "
                 "%zu free blocks (was %zu)\n",
                 what, after.live, before.live, after.used, before.used, after.freeBlocks.size(),
                 before.freeBlocks.size());
    fault(what, "pool leak");
}

void fault(const char* what, const char* message) {
    std::fprintf(stderr, "%s: %s\n", what, message);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzzsupport
