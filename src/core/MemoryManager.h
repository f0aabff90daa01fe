// MemoryManager: the engine's one fixed memory pool.
//
// The pool is reserved once at start-up and carved into blocks by first fit
// over a free list kept in address order, so that a freed block merges with
// its free neighbours at once. Every block starts with a 16-byte header:
//   u32 magic 0x12A51234 | i32 size (header included) | u32 next | u32 prev
// next/prev are offsets from the pool start (0 = none); a used block keeps the
// offset of its own end in next and 0 in prev. Block sizes are multiples of 16
// and the first block starts 16 bytes into the (16-aligned) pool, so every
// pointer handed out is 16-byte aligned, as malloc's are.
//
// Hooks let a host route allocation elsewhere; then the pool is not used.
// Exhaustion and double frees throw core::MemoryManagerException; the counters
// change only after an operation succeeded.
#pragma once
#include <cstddef>
#include <cstdint>

typedef void* (*MemAllocHook)(int size);
typedef void (*MemFreeHook)(void* p);

struct MemoryManagerConfig {
    const char* name = "MemoryManager";
    int poolSize = 10240000;
    MemAllocHook allocateHook = nullptr;
    MemFreeHook freeHook = nullptr;
    MemAllocHook poolAllocateHook = nullptr;
    MemFreeHook poolReleaseHook = nullptr;
};

class MemoryManager {
public:
    static const uint32_t MAGIC = 0x12A51234u;
    static const int HEADER = 16;

    explicit MemoryManager(const MemoryManagerConfig& config);
    ~MemoryManager();
    MemoryManager(const MemoryManager&) = delete;
    MemoryManager& operator=(const MemoryManager&) = delete;

    // Never returns null from the pool: a request that cannot be met throws.
    void* hwMemAlloc(int size, const char* function, int line);
    // Null is ignored; a block that is already free throws "MemoryManager:free failed".
    void hwMemFree(void* p, const char* function, int line);

    // The block sizes a request of `size` bytes is measured against: the exact
    // size (taken whole) and the split size (a larger block is split when it
    // exceeds split + 16, and passed over otherwise).
    static int exactBlockSize(int size);
    static int splitBlockSize(int size);

    const char* getName() const { return m_name; }
    int getUsableSize() const { return m_usableSize; }
    int getLiveAllocations() const { return m_liveAllocations; }
    int getTotalAllocations() const { return m_totalAllocations; }
    int getFreeBytes() const { return m_freeBytes; }
    int getUsedBytes() const { return m_usedBytes; }
    int getPeakUsedBytes() const { return m_peakUsedBytes; }
    bool isDisabled() const { return m_allocateHook != nullptr; }
    uint32_t getMonitorUsers() const { return m_monitorUsers; }

    // Free-list inspection for tests and diagnostics: the free blocks in list
    // order. Returns the number of free blocks; fills up to `max` (address, size) pairs.
    int freeBlocks(const void** addresses, int* sizes, int max) const;
    // Checks every invariant (magic values, list order, byte counts); false on damage.
    bool validate() const;
    const unsigned char* poolStart() const { return m_pool; }

private:
    struct Block;
    Block* at(uint32_t offset) const;
    uint32_t offsetOf(const Block* b) const;
    Block* findFit(int exact, int split) const;
    bool insertFree(Block* f);
    void unlink(Block* b);

    char* m_name;
    unsigned char* m_pool;
    unsigned char* m_firstBlock;
    unsigned char* m_endGuard;
    int m_usableSize;
    int m_liveAllocations;
    int m_totalAllocations;
    uint32_t m_freeListHead; // offset, 0 = none
    int m_freeBytes;
    int m_peakUsedBytes;
    int m_usedBytes;
    MemAllocHook m_allocateHook;
    MemFreeHook m_freeHook;
    MemAllocHook m_poolAllocateHook;
    MemFreeHook m_poolReleaseHook;
    uint32_t m_monitorUsers;
    bool m_poolFromMalloc;
};

namespace core {
// The manager of the running engine (held by the engine globals). Throws
// MemoryManagerException when no engine is running.
MemoryManager& memoryManager();

// Writes the qualified name of a function into out: "void core::String::f(int)"
// and "core::String::f" both give "core::String::f". Used for allocation tags,
// which come straight from __PRETTY_FUNCTION__.
const char* functionName(const char* pretty, char* out, int outSize);
} // namespace core
