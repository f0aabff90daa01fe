// MemoryManager: the pool and its address-ordered block list (allocation,
// freeing with merges, the linear walk, the consistency check). The chunk
// index that speeds up both searches is in MemoryManagerIndex.{h,cpp}.
#include "core/MemoryManager.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "core/MemoryManagerIndex.h"
#include <cstdlib>
#include <cstring>

namespace {
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
    if (m_indexed) buildIndex((uint32_t)bytes);
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
    if (m_indexed && !indexValid()) return false;
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
