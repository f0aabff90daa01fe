// Fuzz support: the engine core a fuzz target runs in, as the engine starts
// it, and the check that an input left the memory pool as it found it.
#pragma once
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "hal/PoolMemory.h"
#include "hal/Time.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzzsupport {

// Aborts (the fuzzer keeps the input): an outcome the target must never see.
[[noreturn]] inline void fault(const char* what, const char* message) {
    std::fprintf(stderr, "%s: %s\n", what, message);
    std::fflush(stderr);
    std::abort();
}

// Brings the engine core up once per process, for good. The log's echo stays
// off (errors are still formatted and counted) unless PELLORAN_FUZZ_LOG is set.
inline void startEngine() {
    if (core::engineGlobals()) return;
    HAL::initTimer();
    core::EngineGlobals* g = new core::EngineGlobals();
    core::setEngineGlobals(g);
    g->log = new core::DebugLog();
    g->log->setLevelMask(0);
    g->log->setEcho(std::getenv("PELLORAN_FUZZ_LOG") != nullptr);
    MemoryManagerConfig mc;
    mc.poolAllocateHook = HAL::allocatePoolMemory;
    mc.poolReleaseHook = HAL::releasePoolMemory;
    mc.poolMemoryZeroed = true;
    g->memoryManager = new MemoryManager(mc);
    core::FileSystem::get(); // from start-up on, as the application has it
}

// What the pool looks like between two inputs: counters and every free block.
struct PoolState {
    int live = 0;
    int used = 0;
    std::vector<std::pair<const void*, int>> freeBlocks;
};

inline PoolState poolState() {
    const MemoryManager& pool = *core::engineGlobals()->memoryManager;
    PoolState s;
    s.live = pool.getLiveAllocations();
    s.used = pool.getUsedBytes();
    const int MAX = 4096;
    static const void* addresses[MAX];
    static int sizes[MAX];
    int n = std::min(pool.freeBlocks(addresses, sizes, MAX), MAX);
    for (int i = 0; i < n; ++i)
        s.freeBlocks.emplace_back(addresses[i], sizes[i]);
    return s;
}

// Aborts when the pool differs from `before` or fails its own consistency check
// (it reads the whole free index: every 64th input, and whenever anything differs).
inline void requireSamePool(const PoolState& before, const char* what) {
    static unsigned inputs = 0;
    PoolState after = poolState();
    bool same =
        after.live == before.live && after.used == before.used && after.freeBlocks == before.freeBlocks;
    if ((!same || inputs++ % 64 == 0) && !core::engineGlobals()->memoryManager->validate())
        fault(what, "the memory pool is damaged");
    if (same) return;
    std::fprintf(stderr, "%s: %d live blocks (was %d), %d bytes used (was %d), %zu free blocks (was %zu)\n",
                 what, after.live, before.live, after.used, before.used, after.freeBlocks.size(),
                 before.freeBlocks.size());
    fault(what, "pool leak");
}

} // namespace fuzzsupport
