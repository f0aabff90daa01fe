#include "core/MemoryManager.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The index helpers are folded into the two entry points.
#define HOT_INLINE inline __attribute__((always_inline))

struct MemoryManager::Block {
    uint32_t magic;
    int32_t size;
    uint32_t next; // free: next free block; used: offset of the block's end
    uint32_t prev; // free: previous free block; used: 0
};

namespace {
const uint32_t NONE = 0;
const int MIN_BLOCK = 32;
// Each entry of the free index above the chunks bounds a group of 32 entries
// below it: 64 bytes of bounds, four SSE2 compares.
const uint32_t GROUP_SHIFT = 5;
const uint32_t GROUP = 1u << GROUP_SHIFT;
const uint32_t ALL = 0xFFFFFFFFu; // a group's mask with every entry
unsigned addr32(const void* p) { return (unsigned)(uintptr_t)p; }

// Whether a trace level of the running log is on, tested in place: every
// allocation and free asks, and the answer is nearly always no.
inline bool traceOn(unsigned level) {
    core::EngineGlobals* g = core::engineGlobals();
    return g && g->log && g->log->enabled(level);
}
} // namespace

MemoryManager::MemoryManager(const MemoryManagerConfig& config)
    : m_name(nullptr), m_pool(nullptr), m_firstBlock(nullptr), m_endGuard(nullptr), m_usableSize(0),
      m_liveAllocations(0), m_totalAllocations(0), m_freeListHead(NONE), m_freeBytes(0), m_peakUsedBytes(0),
      m_usedBytes(0), m_allocateHook(config.allocateHook), m_freeHook(config.freeHook),
      m_poolAllocateHook(config.poolAllocateHook), m_poolReleaseHook(config.poolReleaseHook), m_monitorUsers(0),
      m_poolFromMalloc(false), m_indexed(config.indexedFreeList), m_index(nullptr), m_level(), m_levelSize(), m_top(0),
      m_starts(nullptr), m_occupied(), m_occWords(), m_occTop(0), m_occBits(nullptr) {
    const char* name = config.name ? config.name : "MemoryManager";
    m_name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    if (m_name) std::strcpy(m_name, name);
    core::log(0x10, "START: MemoryManager init\n");
    if (m_allocateHook) return;

    // The pool: the configured size rounded down to 16, plus the two 16-byte guards.
    int64_t bytes = ((int64_t)(config.poolSize >> 4) + 2) << 4;
    if (config.poolSize < 0 || bytes > 0x7FFFF000) bytes = 0;
    void* mem = nullptr;
    bool zeroed = false;
    if (bytes >= 32 + MIN_BLOCK) {
        if (m_poolAllocateHook) {
            mem = m_poolAllocateHook((int)bytes);
            zeroed = config.poolMemoryZeroed;
        } else {
            // calloc: a block this large comes zero-filled from the system.
            mem = std::calloc(1, (size_t)bytes);
            zeroed = true;
            m_poolFromMalloc = true;
        }
    }
    // A pool that is not 16-byte aligned could not hand out aligned blocks.
    if (!mem || ((uintptr_t)mem & 15) != 0) {
        if (mem && m_poolFromMalloc) std::free(mem);
        std::free(m_name);
        m_name = nullptr;
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0,
                                           "MemoryManager:init failed. can not alloc memory pool.");
    }
    m_pool = static_cast<unsigned char*>(mem);
    // The pool starts zero-filled; memory that already is stays untouched.
    if (!zeroed) std::memset(m_pool, 0, (size_t)bytes);
    m_usableSize = m_freeBytes = (int)bytes - 32;
    m_firstBlock = m_pool + 16;
    m_endGuard = m_pool + bytes - 16;
    *reinterpret_cast<uint32_t*>(m_pool) = MAGIC;
    *reinterpret_cast<uint32_t*>(m_endGuard) = MAGIC;
    Block* first = reinterpret_cast<Block*>(m_firstBlock);
    first->magic = MAGIC;
    first->size = m_usableSize;
    first->next = first->prev = NONE;
    m_freeListHead = offsetOf(first);
    if (m_indexed) {
        // Level 0: one entry per chunk; each level above: one per group of 32
        // below; every level padded to whole groups, the top one group.
        uint32_t chunks = chunkOf((uint32_t)bytes - 1) + 1;
        uint32_t* sizes = m_levelSize;
        size_t total = 0;
        m_top = 0;
        for (uint32_t n = chunks;; n = (n + GROUP - 1) / GROUP) {
            sizes[m_top] = (n + GROUP - 1) & ~(GROUP - 1);
            total += sizes[m_top];
            if (n <= GROUP || m_top + 1 == MAX_LEVELS) break;
            ++m_top;
        }
        // The occupancy bits: one per chunk, and one per word of the level below.
        size_t words = 0;
        m_occTop = 0;
        for (uint32_t n = chunks;; n = (n + 63) / 64) {
            m_occWords[m_occTop] = (n + 63) / 64;
            words += m_occWords[m_occTop];
            if (n <= 64 || m_occTop + 1 == MAX_LEVELS) break;
            ++m_occTop;
        }
        m_index = static_cast<uint16_t*>(std::calloc(total, sizeof(uint16_t)));
        m_starts = static_cast<uint64_t*>(std::calloc(sizes[0], sizeof(uint64_t)));
        m_occBits = static_cast<uint64_t*>(std::calloc(words, sizeof(uint64_t)));
        if (!m_index || !m_starts || !m_occBits) {
            // Without its index the pool still works, by walking the list.
            std::free(m_index);
            std::free(m_starts);
            std::free(m_occBits);
            m_index = nullptr;
            m_starts = nullptr;
            m_occBits = nullptr;
            m_indexed = false;
        } else {
            uint16_t* p = m_index;
            for (int k = 0; k <= m_top; ++k) {
                m_level[k] = p;
                p += sizes[k];
            }
            uint64_t* w = m_occBits;
            for (int k = 0; k <= m_occTop; ++k) {
                m_occupied[k] = w;
                w += m_occWords[k];
            }
            indexAdd(m_freeListHead, (uint32_t)first->size);
        }
    }
    core::log(0x10, "START: MemoryManager pool allocated\n");
}

MemoryManager::~MemoryManager() {
    if (m_monitorUsers != 0) core::log(0xF00000, "MORVA3D_MONITOR_ALLOC_AND_DEALLOC_USERS flag is disabled\n");
    // A pool the manager took from malloc goes back with it; one from the host's
    // hook is the host's to release.
    if (m_poolFromMalloc) std::free(m_pool);
    std::free(m_index);
    std::free(m_starts);
    std::free(m_occBits);
    std::free(m_name);
}

MemoryManager::Block* MemoryManager::blockAt(uint32_t offset) const { return reinterpret_cast<Block*>(m_pool + offset); }

MemoryManager::Block* MemoryManager::at(uint32_t offset) const {
    return offset == NONE ? nullptr : reinterpret_cast<Block*>(m_pool + offset);
}

uint32_t MemoryManager::offsetOf(const Block* b) const {
    return b ? (uint32_t)(reinterpret_cast<const unsigned char*>(b) - m_pool) : NONE;
}

int MemoryManager::exactBlockSize(int size) {
    // Header plus request, rounded up to 16 so that every block (and so every
    // returned pointer) stays 16-byte aligned; never below 32, so that every
    // free block has room for its index node.
    int64_t n = (int64_t)size + HEADER;
    n = (n + 15) & ~(int64_t)15;
    if (n < MIN_BLOCK) n = MIN_BLOCK;
    return n > 0x7FFFFFF0 ? 0x7FFFFFF0 : (int)n;
}

int MemoryManager::splitBlockSize(int size) { return exactBlockSize(size); }

uint32_t MemoryManager::linearFit(int exact) const {
    // First fit in address order: a block of exactly the size is taken whole, a
    // block big enough to leave a useful remainder is split, any block between
    // the two is passed over.
    for (Block* b = at(m_freeListHead); b; b = at(b->next)) {
        if (b->size == exact || b->size > exact + 16) return offsetOf(b);
    }
    return NONE;
}

namespace {
// The index keeps, per range of chunks, a bound on the largest free block in
// it: never below the real largest, possibly above it (a block taken or merged
// away leaves its size behind until a search finds the chunk wanting). Each
// entry above the chunks is at least the largest of its 32 entries below.
// Bounds are kept in 16-byte units in 16 bits (blocks are multiples of 16):
// a block of 1 MiB or more counts as 0xFFFF, and so does a request for one,
// which keeps every bound at or above the real largest block.
inline uint16_t units(uint32_t size) { return size >= (0xFFFFu << 4) ? (uint16_t)0xFFFF : (uint16_t)(size >> 4); }

#if defined(__SSE2__)
// Bit j set when group[j] >= size (a saturating size - group[j] is zero).
inline unsigned atLeastMask(const uint16_t* group, uint16_t size) {
    const __m128i t = _mm_set1_epi16((short)size);
    const __m128i z = _mm_setzero_si128();
    const __m128i* g = reinterpret_cast<const __m128i*>(group);
    auto sixteen = [&](const __m128i* h) {
        __m128i a = _mm_cmpeq_epi16(_mm_subs_epu16(t, _mm_loadu_si128(h)), z);
        __m128i b = _mm_cmpeq_epi16(_mm_subs_epu16(t, _mm_loadu_si128(h + 1)), z);
        return (unsigned)_mm_movemask_epi8(_mm_packs_epi16(a, b));
    };
    return sixteen(g) | sixteen(g + 2) << 16;
}

// Unsigned 16-bit maximum from SSE2's saturating arithmetic.
inline __m128i vmax(__m128i a, __m128i b) { return _mm_adds_epu16(_mm_subs_epu16(a, b), b); }

inline uint16_t groupMax(const uint16_t* group) {
    const __m128i* g = reinterpret_cast<const __m128i*>(group);
    __m128i m = vmax(vmax(_mm_loadu_si128(g), _mm_loadu_si128(g + 1)),
                     vmax(_mm_loadu_si128(g + 2), _mm_loadu_si128(g + 3)));
    m = vmax(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = vmax(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    m = vmax(m, _mm_srli_epi32(m, 16));
    return (uint16_t)_mm_cvtsi128_si32(m);
}
#else
inline unsigned atLeastMask(const uint16_t* group, uint16_t size) {
    unsigned mask = 0;
    for (unsigned j = 0; j < GROUP; ++j) mask |= (group[j] >= size ? 1u : 0u) << j;
    return mask;
}

inline uint16_t groupMax(const uint16_t* group) {
    uint16_t m = 0;
    for (unsigned j = 0; j < GROUP; ++j) m = group[j] > m ? group[j] : m;
    return m;
}
#endif

inline bool takes(uint32_t blockSize, uint32_t exact) { return blockSize == exact || blockSize > exact + 16; }
} // namespace

HOT_INLINE uint32_t MemoryManager::indexedFit(int exact, uint32_t& others) {
    // The lowest chunk whose bound admits the size, then the first block in it
    // the request can take: the block the address-ordered walk meets first.
    // The search starts one level above the chunks, at the group of the
    // lowest free block (nothing lies below it: a fit is seldom among its own
    // 32 chunks), climbs the tree only as far as the fit is away, then
    // goes down into the first entry that admits the size. Each level keeps the
    // mask of its group's admitting entries, so an entry that turns out to
    // admit nothing after all (a group whose bound was high, a chunk without
    // a block the request can take) costs one cleared bit: the search goes on
    // behind it without reading the levels again. Such an entry's bound is
    // made exact on the way.
    uint32_t e = (uint32_t)exact;
    uint16_t u = units(e);
    if (m_freeListHead == NONE) return NONE;
    unsigned mask[MAX_LEVELS];
    uint32_t base[MAX_LEVELS]; // first index of the group each mask covers
    uint32_t i = chunkOf(m_freeListHead);
    int k = m_top > 0 ? 1 : 0;
    if (k) i >>= GROUP_SHIFT;
    int climbed = k; // the highest level whose mask has been read
    base[k] = i & ~(GROUP - 1);
    mask[k] = atLeastMask(m_level[k] + base[k], u) & (ALL << (i & (GROUP - 1)));
    for (;;) {
        while (mask[k] == 0) {
            if (k < climbed) {
                // Back up to the entry this group hangs under: it is spent.
                ++k;
                mask[k] &= mask[k] - 1;
                continue;
            }
            if (k == m_top) return NONE;
            // Past the last group read at this level: the entries after its
            // parent, one level up.
            uint32_t next = (base[k] >> GROUP_SHIFT) + 1;
            climbed = ++k;
            base[k] = next & ~(GROUP - 1);
            mask[k] = next < m_levelSize[k] ? atLeastMask(m_level[k] + base[k], u) & (ALL << (next & (GROUP - 1))) : 0;
        }
        uint32_t j = base[k] + (uint32_t)__builtin_ctz(mask[k]);
        if (k > 0) {
            uint16_t* group = m_level[k - 1] + j * GROUP;
            unsigned below = atLeastMask(group, u);
            if (below != 0) {
                --k;
                base[k] = j * GROUP;
                mask[k] = below;
            } else {
                m_level[k][j] = groupMax(group);
                mask[k] &= mask[k] - 1;
            }
            continue;
        }
        // The chunk's free blocks in address order, from its start bits.
        uint32_t largest = 0;
        for (uint64_t w = m_starts[j]; w != 0; w &= w - 1) {
            uint32_t o = lowestStart(j, w);
            uint32_t size = (uint32_t)blockAt(o)->size;
            if (takes(size, e)) {
                // The largest of the chunk's other blocks, for its new bound.
                for (w &= w - 1; w != 0; w &= w - 1) {
                    uint32_t ns = (uint32_t)blockAt(lowestStart(j, w))->size;
                    largest = ns > largest ? ns : largest;
                }
                others = largest;
                return o;
            }
            largest = size > largest ? size : largest;
        }
        m_level[0][j] = units(largest);
        mask[0] &= mask[0] - 1;
    }
}

HOT_INLINE void MemoryManager::raise(uint32_t chunk, uint32_t size) {
    // A larger block in the chunk: every bound above it that is lower takes
    // its size (an entry is never below the entries under it, so the first
    // one high enough ends the climb).
    uint32_t i = chunk;
    uint16_t u = units(size);
    for (int k = 0; k <= m_top && m_level[k][i] < u; ++k, i >>= GROUP_SHIFT) m_level[k][i] = u;
}

HOT_INLINE void MemoryManager::occupy(uint32_t chunk) {
    uint32_t i = chunk;
    for (int k = 0; k <= m_occTop; ++k, i >>= 6) {
        uint64_t& w = m_occupied[k][i >> 6];
        bool was = w != 0;
        w |= 1ull << (i & 63u);
        if (was) break;
    }
}

HOT_INLINE void MemoryManager::vacate(uint32_t chunk) {
    uint32_t i = chunk;
    for (int k = 0; k <= m_occTop; ++k, i >>= 6) {
        uint64_t& w = m_occupied[k][i >> 6];
        w &= ~(1ull << (i & 63u));
        if (w != 0) break;
    }
}

int MemoryManager::lastOccupiedBefore(uint32_t chunk) const {
    // Up until an earlier bit of the same word is set, then down along the
    // highest set bits.
    uint32_t i = chunk;
    for (int k = 0; k <= m_occTop; ++k, i >>= 6) {
        uint64_t below = m_occupied[k][i >> 6] & ((1ull << (i & 63u)) - 1u);
        if (below == 0) continue;
        uint32_t j = (i & ~63u) + 63u - (uint32_t)__builtin_clzll(below);
        for (; k > 0; --k) j = j * 64 + 63u - (uint32_t)__builtin_clzll(m_occupied[k - 1][j]);
        return (int)j;
    }
    return -1;
}

// Index updates follow the list: they are made once the list is consistent
// again.

HOT_INLINE void MemoryManager::indexAdd(uint32_t offset, uint32_t size) {
    uint32_t chunk = chunkOf(offset);
    uint64_t& w = m_starts[chunk];
    if (w == 0) occupy(chunk);
    w |= startBit(offset);
    raise(chunk, size);
}

HOT_INLINE void MemoryManager::indexRemove(uint32_t offset) {
    // The chunk's bound stays as it is until a search finds it too high.
    uint32_t chunk = chunkOf(offset);
    uint64_t& w = m_starts[chunk];
    w &= ~startBit(offset);
    if (w == 0) {
        // An empty chunk admits nothing: its bound is known without a search.
        m_level[0][chunk] = 0;
        vacate(chunk);
    }
}

HOT_INLINE uint32_t MemoryManager::predecessor(uint32_t offset) const {
    // The free block at the highest offset not above `offset`, or NONE: the
    // highest start bit at or below it, in its chunk or the last chunk before
    // it that holds one. No block header is read.
    uint32_t chunk = chunkOf(offset);
    uint64_t w = m_starts[chunk] & ((startBit(offset) << 1) - 1u); // wraps to every bit for the top one
    if (w == 0) {
        int c = lastOccupiedBefore(chunk);
        if (c < 0) return NONE;
        chunk = (uint32_t)c;
        w = m_starts[chunk];
    }
    return highestStart(chunk, w);
}

void MemoryManager::unlink(Block* b) {
    Block* prev = at(b->prev);
    Block* next = at(b->next);
    if (prev) prev->next = b->next;
    else m_freeListHead = b->next;
    if (next) next->prev = b->prev;
}

namespace {
// The log lines that name the requester, kept off the hot paths (the name is
// cut out of the signature only when a line is written).
__attribute__((noinline, cold)) void logWithName(unsigned level, const char* format, int value, const char* function,
                                                  int line, unsigned address) {
    char fn[256];
    core::functionName(function, fn, sizeof fn);
    if (level == 0x1) core::log(level, format, fn, line, value);
    else core::log(level, format, value, fn, line, address);
}
} // namespace

void* MemoryManager::hwMemAlloc(int size, const char* function, int line) {
    if (m_allocateHook) return m_allocateHook(size);
    bool tooBig = size >= m_usableSize || size < 0;
    if (tooBig) {
        logWithName(0x1, "hwMemAlloc failed (too big block size) FUNC:%s LINE:%d (size = %d)\n", size, function,
                    line, 0);
    }
    int exact = exactBlockSize(tooBig ? 0 : size);
    uint32_t others = 0;
    uint32_t bo = tooBig ? NONE : (m_indexed ? indexedFit(exact, others) : linearFit(exact));
    if (bo == NONE) {
        core::log(0x1, " ** MEMORY FULL ** \n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager: memory full");
    }
    Block* b = blockAt(bo);
    // The list neighbours are written below; start fetching them now.
    __builtin_prefetch(at(b->prev));
    __builtin_prefetch(at(b->next));
    int taken = b->size;
    uint32_t chunk = chunkOf(bo);
    if (taken != exact) {
        // The rest stays free in b's place in the list.
        uint32_t ro = bo + (uint32_t)exact;
        uint32_t rest = (uint32_t)(taken - exact);
        Block* r = blockAt(ro);
        r->magic = MAGIC;
        r->size = (int32_t)rest;
        r->prev = b->prev;
        r->next = b->next;
        if (b->prev != NONE) blockAt(b->prev)->next = ro;
        else m_freeListHead = ro;
        if (b->next != NONE) blockAt(b->next)->prev = ro;
        b->size = exact;
        if (m_indexed) {
            // The chunk's bound follows at once: the next search does not
            // have to find it wanting.
            if (chunkOf(ro) == chunk) {
                m_starts[chunk] ^= startBit(bo) | startBit(ro);
                m_level[0][chunk] = units(rest > others ? rest : others);
            } else {
                // b was the last block of its chunk; the rest opens the next.
                indexRemove(bo);
                m_level[0][chunk] = units(others);
                indexAdd(ro, rest);
            }
        }
    } else {
        unlink(b);
        if (m_indexed) {
            indexRemove(bo);
            m_level[0][chunk] = units(others);
        }
    }
    b->next = bo + (uint32_t)b->size;
    b->prev = NONE;
    if (traceOn(0x400000))
        logWithName(0x400000, "MemoryManager: allocate %d bytes (%s(%d)) 0x%X\n", b->size, function, line, addr32(b));
    ++m_liveAllocations;
    m_usedBytes += b->size;
    m_freeBytes -= b->size;
    if (m_usedBytes >= m_peakUsedBytes) m_peakUsedBytes = m_usedBytes;
    ++m_totalAllocations;
    return reinterpret_cast<unsigned char*>(b) + HEADER;
}

void MemoryManager::hwMemFree(void* p, const char* function, int line) {
    if (!p) return;
    if (m_freeHook) {
        m_freeHook(p);
        return;
    }
    unsigned char* raw = static_cast<unsigned char*>(p) - HEADER;
    // A pointer that is not one of ours is refused before anything is touched.
    // (Compared as integers: a foreign pointer must not be offset into the pool.)
    // Unsigned differences make each range test one comparison.
    uintptr_t r = (uintptr_t)p - HEADER - (uintptr_t)m_firstBlock;
    Block* b = reinterpret_cast<Block*>(raw);
    if (!m_pool || r > (uintptr_t)(m_endGuard - m_firstBlock) - MIN_BLOCK || (r & 15) != 0 || b->magic != MAGIC ||
        (b->size & 15) != 0 || (uintptr_t)((uint32_t)b->size - (uint32_t)MIN_BLOCK) > (uintptr_t)(m_endGuard - raw) - MIN_BLOCK) {
        core::log(0x1, "MemoryManager:free failed\n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    }
    int size = b->size;
    __builtin_prefetch(raw + size); // the block above: a free neighbour to merge with, often
    if (traceOn(0x800000))
        logWithName(0x800000, "MemoryManager: free %d bytes (%s(%d)) 0x%X\n", size, function, line, addr32(b));
    if (!insertFree(b))
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    m_usedBytes -= size;
    m_freeBytes += size;
    --m_liveAllocations;
}

HOT_INLINE void MemoryManager::mergeLog(bool intoLower, const Block* lower, const Block* upper) const {
    if (traceOn(0xE00000)) writeMergeLog(intoLower, lower, upper);
}

void MemoryManager::writeMergeLog(bool intoLower, const Block* lower, const Block* upper) const {
    // intoLower: the lower block absorbs its list successor; otherwise the lower
    // (freed) block absorbs the upper one and takes its place in the list.
    if (intoLower) {
        core::log(0xE00000, "MemoryManager: connect blocks first (0x%X) -> next (0x%X) (new size:%d + %d = %d)\n",
                  addr32(lower), addr32(upper), lower->size, upper->size, lower->size + upper->size);
    } else {
        core::log(0xE00000, "MemoryManager: connect blocks next (0x%X) -> first (0x%X) (new size:%d + %d = %d)\n",
                  addr32(upper), addr32(lower), lower->size, upper->size, lower->size + upper->size);
    }
}

HOT_INLINE bool MemoryManager::insertFree(Block* f) {
    // The insertion point is the last free block at or below F, found through
    // the index (or by walking the list when the pool has none); then F is
    // linked in after it and merged with the free neighbours it touches.
    uint32_t fo = offsetOf(f);
    uint32_t fsize = (uint32_t)f->size;
    if (m_freeListHead == NONE) {
        f->next = f->prev = NONE;
        m_freeListHead = fo;
        if (m_indexed) indexAdd(fo, (uint32_t)f->size);
        return true;
    }
    // When the block right above F is free it is F's list successor, and its
    // previous link is the insertion point: no search. The index knows from
    // its start bits whether it is free; without the index, a used block keeps
    // 0 in its previous field, a free one only when it is the head.
    uint32_t ao = fo + fsize;
    uint32_t co;
    bool aboveFree = ao < (uint32_t)(m_endGuard - m_pool) &&
                     (m_indexed ? (m_starts[chunkOf(ao)] & startBit(ao)) != 0
                                : ao == m_freeListHead || blockAt(ao)->prev != NONE);
    if (aboveFree) co = blockAt(ao)->prev;
    else co = m_indexed ? predecessor(fo) : linearPredecessor(fo);
    if (co == fo) return false; // already free
    if (co == NONE) {
        // Below the lowest free block.
        uint32_t ho = m_freeListHead;
        Block* head = blockAt(ho);
        if (fo + fsize > ho) return false; // overlaps a free block
        if (fo + fsize == ho) {
            mergeLog(false, f, head);
            f->size += head->size;
            f->next = head->next;
            if (Block* n = at(head->next)) n->prev = fo;
            if (m_indexed) indexRemove(ho);
        } else {
            f->next = ho;
            head->prev = fo;
        }
        f->prev = NONE;
        m_freeListHead = fo;
        if (m_indexed) indexAdd(fo, (uint32_t)f->size);
        return true;
    }
    Block* cur = blockAt(co);
    // Inside a free block: a block freed again after it was merged.
    if (co + (uint32_t)cur->size > fo) return false;
    uint32_t no = cur->next;
    if (no == NONE) {
        // Above the last free block: appended without a merge test.
        f->prev = co;
        f->next = NONE;
        cur->next = fo;
        if (m_indexed) indexAdd(fo, (uint32_t)f->size);
        return true;
    }
    Block* next = blockAt(no);
    if (fo + fsize > no) return false; // overlaps the next free block
    f->prev = co;
    f->next = no;
    if (co + (uint32_t)cur->size == fo) {
        mergeLog(true, cur, f);
        cur->size += f->size;
        cur->next = no;
        if (co + (uint32_t)cur->size == no) {
            mergeLog(true, cur, next);
            cur->size += next->size;
            cur->next = next->next;
            if (Block* nn = at(next->next)) nn->prev = co;
            if (m_indexed) indexRemove(no);
            if (traceOn(0xE00000)) core::log(0xE00000, "MemoryManager: double connection!!\n");
        }
        if (m_indexed) raise(chunkOf(co), (uint32_t)cur->size);
    } else if (fo + fsize == no) {
        mergeLog(false, f, next);
        f->size += next->size;
        f->next = next->next;
        if (Block* nn = at(next->next)) nn->prev = fo;
        cur->next = fo;
        if (m_indexed) {
            uint32_t chunk = chunkOf(fo);
            if (chunkOf(no) == chunk) {
                // F takes the absorbed block's place in its chunk.
                m_starts[chunk] ^= startBit(no) | startBit(fo);
                raise(chunk, (uint32_t)f->size);
            } else {
                indexRemove(no);
                indexAdd(fo, (uint32_t)f->size);
            }
        }
    } else {
        cur->next = fo;
        next->prev = fo;
        if (m_indexed) indexAdd(fo, (uint32_t)f->size);
    }
    return true;
}

uint32_t MemoryManager::linearPredecessor(uint32_t offset) const {
    // The walk: the last free block at or below `offset`, or NONE.
    uint32_t p = NONE;
    for (uint32_t o = m_freeListHead; o != NONE && o <= offset; o = blockAt(o)->next) p = o;
    return p;
}

int MemoryManager::freeBlocks(const void** addresses, int* sizes, int max) const {
    int n = 0;
    for (Block* b = at(m_freeListHead); b; b = at(b->next), ++n) {
        if (n < max) {
            if (addresses) addresses[n] = b;
            if (sizes) sizes[n] = b->size;
        }
    }
    return n;
}

bool MemoryManager::validate() const {
    if (!m_pool) return true;
    if (*reinterpret_cast<const uint32_t*>(m_pool) != MAGIC) return false;
    if (*reinterpret_cast<const uint32_t*>(m_endGuard) != MAGIC) return false;
    int64_t freeSum = 0;
    int freeCount = 0;
    uint32_t prev = NONE;
    for (Block* b = at(m_freeListHead); b; b = at(b->next)) {
        if (b->magic != MAGIC || b->prev != prev) return false;
        if (prev != NONE && offsetOf(b) <= prev) return false;
        if (reinterpret_cast<unsigned char*>(b) + b->size > m_endGuard) return false;
        // Every free block is found at its own address through the index.
        if (m_indexed && predecessor(offsetOf(b)) != offsetOf(b)) return false;
        freeSum += b->size;
        prev = offsetOf(b);
        if (++freeCount > m_usableSize / MIN_BLOCK) return false;
    }
    if (freeSum != m_freeBytes) return false;
    if (m_indexed) {
        // Each chunk's start bits (exactly its free blocks), occupancy bit and
        // bound (not below its largest block), and every entry above them.
        uint32_t chunk = 0;
        uint32_t largest = 0;
        uint64_t starts = 0;
        uint32_t chunks = m_levelSize[0];
        auto occupied = [&](int k, uint32_t i) { return (m_occupied[k][i >> 6] >> (i & 63u)) & 1u; };
        auto closeChunk = [&](uint32_t c) {
            bool ok = m_starts[c] == starts && m_level[0][c] >= units(largest) && occupied(0, c) == (starts != 0);
            starts = 0;
            largest = 0;
            return ok;
        };
        for (Block* b = at(m_freeListHead); b; b = at(b->next)) {
            uint32_t c = chunkOf(offsetOf(b));
            while (chunk < c)
                if (!closeChunk(chunk++)) return false;
            starts |= startBit(offsetOf(b));
            if ((uint32_t)b->size > largest) largest = (uint32_t)b->size;
        }
        while (chunk < chunks)
            if (!closeChunk(chunk++)) return false;
        for (int k = 1; k <= m_top; ++k) {
            for (uint32_t i = 0; i < m_levelSize[k]; ++i) {
                uint16_t below = i * GROUP < m_levelSize[k - 1] ? groupMax(m_level[k - 1] + i * GROUP) : 0;
                if (m_level[k][i] < below) return false;
            }
        }
        for (int k = 1; k <= m_occTop; ++k) {
            for (uint32_t i = 0; i < m_occWords[k] * 64; ++i) {
                bool expected = i < m_occWords[k - 1] && m_occupied[k - 1][i] != 0;
                if ((occupied(k, i) != 0) != expected) return false;
            }
        }
    }
    // Walk every block from the first to the tail guard; the free ones are
    // met in list order.
    int64_t usedSum = 0;
    uint32_t nextFree = m_freeListHead;
    for (unsigned char* p = m_firstBlock; p < m_endGuard;) {
        const Block* b = reinterpret_cast<const Block*>(p);
        if (b->magic != MAGIC || b->size < MIN_BLOCK || (b->size & 15)) return false;
        if (offsetOf(b) == nextFree) {
            nextFree = b->next;
        } else {
            if (b->prev != NONE || b->next != offsetOf(b) + (uint32_t)b->size) return false;
            usedSum += b->size;
        }
        p += b->size;
    }
    if (nextFree != NONE) return false;
    return usedSum == m_usedBytes && m_usedBytes + m_freeBytes == m_usableSize;
}

namespace core {

MemoryManager& memoryManager() {
    EngineGlobals* g = engineGlobals();
    if (!g || !g->memoryManager)
        throw MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager: engine is not running");
    return *g->memoryManager;
}

const char* functionName(const char* pretty, char* out, int outSize) {
    if (outSize <= 0) return out;
    out[0] = 0;
    if (!pretty) return out;
    // The parameter list starts at the first '(' outside template brackets,
    // skipping the parentheses of "operator()".
    int depth = 0;
    const char* paren = nullptr;
    for (const char* p = pretty; *p; ++p) {
        if (*p == '<') ++depth;
        else if (*p == '>') --depth;
        else if (*p == '(' && depth <= 0) {
            if (p >= pretty + 8 && std::strncmp(p - 8, "operator", 8) == 0 && p[1] == ')') {
                ++p;
                continue;
            }
            paren = p;
            break;
        }
    }
    if (!paren) {
        std::strncpy(out, pretty, (size_t)outSize - 1);
        out[outSize - 1] = 0;
        return out;
    }
    // The name begins after the last blank outside template brackets (the end of the return type).
    const char* begin = pretty;
    depth = 0;
    for (const char* p = paren - 1; p >= pretty; --p) {
        if (*p == '>') ++depth;
        else if (*p == '<') --depth;
        else if (*p == ' ' && depth == 0) {
            // "operator new" / "operator delete" keep their blank.
            if (p >= pretty + 8 && std::strncmp(p - 8, "operator", 8) == 0) continue;
            begin = p + 1;
            break;
        }
    }
    while (*begin == '*' || *begin == '&') ++begin;
    int n = (int)(paren - begin);
    if (n > outSize - 1) n = outSize - 1;
    std::memcpy(out, begin, (size_t)n);
    out[n] = 0;
    return out;
}

} // namespace core
