// MemoryManager: the engine's one fixed memory pool.
//
// The pool is reserved once at start-up and carved into blocks by first fit
// over a free list kept in address order, so that a freed block merges with
// its free neighbours at once. Every block starts with a 16-byte header:
//   u32 magic 0x12A51234 | i32 size (header included) | u32 next | u32 prev
// next/prev are offsets from the pool start (0 = none); a used block keeps the
// offset of its own end in next and 0 in prev. Block sizes are multiples of 16
// (at least 32) and the first block starts 16 bytes into the (16-aligned)
// pool, so every pointer handed out is 16-byte aligned, as malloc's are.
//
// Allocation takes the lowest-addressed free block that either has exactly the
// rounded size (taken whole) or is at least 32 bytes larger (split; the rest
// stays free); a block just 16 bytes larger is passed over. Freeing links the
// block back in address order and merges it with free neighbours. Both
// searches go through an index beside the list instead of walking it: the
// pool is cut into 1 KiB chunks, each free block belongs to the chunk its
// header lies in, each chunk has a 64-bit word with a bit per 16-byte unit
// where a free block begins (so the blocks of a chunk, and the free block
// below any address, are found without reading a header), a bit per chunk
// says whether it holds any (to find the last such chunk below), and a flat
// 32-way max-tree over the chunks bounds, per range of chunks, the largest
// free block (in 16-byte units, 16 bits each, so a group of 32 is four SSE2
// compares; a wider tree has fewer levels to climb and descend). A chunk's
// own bound is set exactly when a block is taken from it and raised when a
// block grows or arrives; the bounds above it are only raised, so they may be
// high: a search that finds a range without a block it can take makes that
// range's bound exact and goes on behind it. The block chosen is always the
// one the address-ordered walk would meet first.
// A search starts one level above the chunks, at the group holding the
// lowest free block, and keeps each level's mask as it climbs. The index
// lives on the C heap next to the manager (under 1 % of the pool). The
// linear walk is kept as a mode of its own (MemoryManagerConfig::
// indexedFreeList = false), used when the index cannot be allocated.
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
    // true when poolAllocateHook hands out memory that is already zero-filled
    // (a fresh anonymous mapping): the pool is then not cleared again, which
    // leaves its pages untouched until blocks are carved from them.
    bool poolMemoryZeroed = false;
    // false: search the free list by walking it (same choices, linear time).
    bool indexedFreeList = true;
};

class MemoryManager {
public:
    static constexpr uint32_t MAGIC = 0x12A51234u;
    static constexpr int HEADER = 16;

    explicit MemoryManager(const MemoryManagerConfig& config);
    ~MemoryManager();
    MemoryManager(const MemoryManager&) = delete;
    MemoryManager& operator=(const MemoryManager&) = delete;

    // Never returns null from the pool: a request that cannot be met throws.
    void* hwMemAlloc(int size, const char* function, int line);
    // Null is ignored; a block that is already free (or lies inside a free
    // block, or is not a block of this pool) throws "MemoryManager:free failed"
    // and changes nothing. A pointer that is not a block of this pool is also
    // logged as the error "MemoryManager:free failed".
    void hwMemFree(void* p, const char* function, int line);

    // The block sizes a request of `size` bytes is measured against: the exact
    // size (taken whole) and the split size (a larger block is split when it
    // exceeds split + 16, and passed over otherwise). Both are the request plus
    // the header rounded up to 16, at least 32.
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
    bool isIndexed() const { return m_indexed; }
    uint32_t getMonitorUsers() const { return m_monitorUsers; }

    // Free-list inspection for tests and diagnostics: the free blocks in list
    // order. Returns the number of free blocks; fills up to `max` (address, size) pairs.
    int freeBlocks(const void** addresses, int* sizes, int max) const;
    // Checks every invariant (magic values, list order, byte counts, the free
    // index against the list); false on damage. Linear in the pool's blocks.
    bool validate() const;
    const unsigned char* poolStart() const { return m_pool; }

private:
    struct Block;
    Block* at(uint32_t offset) const;
    Block* blockAt(uint32_t offset) const; // offset != 0
    uint32_t offsetOf(const Block* b) const;
    uint32_t linearFit(int exact) const;
    uint32_t indexedFit(int exact, uint32_t& others);
    bool insertFree(Block* f);
    uint32_t linearPredecessor(uint32_t offset) const;
    void mergeLog(bool intoLower, const Block* lower, const Block* upper) const;
    void writeMergeLog(bool intoLower, const Block* lower, const Block* upper) const;
    void unlink(Block* b);

    // The chunk index (see above).
    static uint32_t chunkOf(uint32_t offset) { return offset >> CHUNK_SHIFT; }
    // A chunk's start bits: bit n set when a free block begins n * 16 bytes into it.
    static uint64_t startBit(uint32_t offset) { return 1ull << ((offset >> 4) & 63u); }
    // The offset of the free block of the lowest or highest bit of `starts`
    // (some of the chunk's start bits, not none).
    static uint32_t lowestStart(uint32_t chunk, uint64_t starts) {
        return (chunk << CHUNK_SHIFT) + ((uint32_t)__builtin_ctzll(starts) << 4);
    }
    static uint32_t highestStart(uint32_t chunk, uint64_t starts) {
        return (chunk << CHUNK_SHIFT) + ((63u - (uint32_t)__builtin_clzll(starts)) << 4);
    }
    void buildIndex(uint32_t poolBytes);
    bool indexValid() const;
    uint32_t predecessor(uint32_t offset) const;
    void indexAdd(uint32_t offset, uint32_t size);
    void indexRemove(uint32_t offset);
    void raise(uint32_t chunk, uint32_t size);
    void occupy(uint32_t chunk);
    void vacate(uint32_t chunk);
    int lastOccupiedBefore(uint32_t chunk) const;
    static const int CHUNK_SHIFT = 10; // 64 units of 16 bytes: one start word per chunk

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
    bool m_indexed;
    static const int MAX_LEVELS = 8;
    uint16_t* m_index;              // every level of the tree, one allocation
    uint16_t* m_level[MAX_LEVELS];  // level 0: per chunk; level k: per group of 32 of level k - 1
    uint32_t m_levelSize[MAX_LEVELS]; // entries per level, whole groups
    int m_top;                      // the top level: one group
    uint64_t* m_starts;             // per chunk: its start bits
    uint64_t* m_occupied[MAX_LEVELS]; // level 0: a bit per chunk holding a free block; level k: per word of k - 1
    uint32_t m_occWords[MAX_LEVELS];  // words per level; the top level is one word
    int m_occTop;
    uint64_t* m_occBits;            // every level of the bits, one allocation
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
