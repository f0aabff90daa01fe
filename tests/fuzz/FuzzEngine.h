// Fuzz support: the engine core a fuzz target runs in (globals, a silent
// debug log, the memory pool on the platform's pool memory and an empty file
// system, as the engine starts them), and the check that an input left the pool as it found it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzsupport {

// Brings the engine core up once per process; later calls do nothing.
// The log's echo stays off (errors are still formatted and counted) unless
// PELLORAN_FUZZ_LOG is set in the environment.
void startEngine();

// What the pool looks like between two inputs: counters and every free block.
struct PoolState {
    int live = 0;
    int used = 0;
    int freeBytes = 0;
    std::vector<std::pair<const void*, int>> freeBlocks;
    bool operator==(const PoolState& o) const {
        return live == o.live && used == o.used && freeBytes == o.freeBytes && freeBlocks == o.freeBlocks;
    }
};

PoolState poolState();

// Aborts (so that the fuzzer keeps the input) when the pool differs from
// `before` or fails its own consistency check; `what` names the target.
void requireSamePool(const PoolState& before, const char* what);

// Aborts with a message: an outcome the target must never see.
[[noreturn]] void fault(const char* what, const char* message);

} // namespace fuzzsupport
