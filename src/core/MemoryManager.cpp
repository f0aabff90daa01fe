#include "core/MemoryManager.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include <cstdlib>
#include <cstring>

struct MemoryManager::Block {
    uint32_t magic;
    int32_t size;
    uint32_t next; // free: next free block; used: offset of the block's end
    uint32_t prev; // free: previous free block; used: 0
};

namespace {
const uint32_t NONE = 0;
unsigned addr32(const void* p) { return (unsigned)(uintptr_t)p; }
} // namespace

MemoryManager::MemoryManager(const MemoryManagerConfig& config)
    : m_name(nullptr), m_pool(nullptr), m_firstBlock(nullptr), m_endGuard(nullptr), m_usableSize(0),
      m_liveAllocations(0), m_totalAllocations(0), m_freeListHead(NONE), m_freeBytes(0), m_peakUsedBytes(0),
      m_usedBytes(0), m_allocateHook(config.allocateHook), m_freeHook(config.freeHook),
      m_poolAllocateHook(config.poolAllocateHook), m_poolReleaseHook(config.poolReleaseHook), m_monitorUsers(0),
      m_poolFromMalloc(false) {
    const char* name = config.name ? config.name : "MemoryManager";
    m_name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    if (m_name) std::strcpy(m_name, name);
    core::log(0x10, "START: MemoryManager init\n");
    if (m_allocateHook) return;

    // The pool: the configured size rounded down to 16, plus the two 16-byte guards.
    int64_t bytes = ((int64_t)(config.poolSize >> 4) + 2) << 4;
    if (config.poolSize < 0 || bytes > 0x7FFFFFF0) bytes = 0;
    void* mem = nullptr;
    if (bytes > 0) {
        if (m_poolAllocateHook) {
            mem = m_poolAllocateHook((int)bytes);
        } else {
            mem = std::malloc((size_t)bytes);
            m_poolFromMalloc = true;
        }
    }
    if (!mem || ((uintptr_t)mem & 15) != 0) {
        if (mem && m_poolFromMalloc) std::free(mem);
        std::free(m_name);
        m_name = nullptr;
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0,
                                           "MemoryManager:init failed. can not alloc memory pool.");
    }
    m_pool = static_cast<unsigned char*>(mem);
    std::memset(m_pool, 0, (size_t)bytes);
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
    core::log(0x10, "START: MemoryManager pool allocated\n");
}

MemoryManager::~MemoryManager() {
    if (m_monitorUsers != 0) core::log(0xF00000, "MORVA3D_MONITOR_ALLOC_AND_DEALLOC_USERS flag is disabled\n");
    // A pool the manager took from malloc goes back with it; one from the host's
    // hook is the host's to release.
    if (m_poolFromMalloc) std::free(m_pool);
    std::free(m_name);
}

MemoryManager::Block* MemoryManager::at(uint32_t offset) const {
    return offset == NONE ? nullptr : reinterpret_cast<Block*>(m_pool + offset);
}

uint32_t MemoryManager::offsetOf(const Block* b) const {
    return b ? (uint32_t)(reinterpret_cast<const unsigned char*>(b) - m_pool) : NONE;
}

int MemoryManager::exactBlockSize(int size) {
    // Header plus request, rounded up to 16 so that every block (and so every
    // returned pointer) stays 16-byte aligned.
    int64_t n = (int64_t)size + HEADER;
    n = (n + 15) & ~(int64_t)15;
    return n > 0x7FFFFFF0 ? 0x7FFFFFF0 : (int)n;
}

int MemoryManager::splitBlockSize(int size) { return exactBlockSize(size); }

MemoryManager::Block* MemoryManager::findFit(int exact, int split) const {
    // First fit in address order: a block of exactly the size is taken whole, a
    // block big enough to leave a useful remainder is split, any block between
    // the two is passed over.
    for (Block* b = at(m_freeListHead); b; b = at(b->next)) {
        if (b->size == exact || b->size > split + 16) return b;
    }
    return nullptr;
}

void MemoryManager::unlink(Block* b) {
    Block* prev = at(b->prev);
    Block* next = at(b->next);
    if (prev) prev->next = b->next;
    else m_freeListHead = b->next;
    if (next) next->prev = b->prev;
}

void* MemoryManager::hwMemAlloc(int size, const char* function, int line) {
    if (m_allocateHook) return m_allocateHook(size);
    char fn[256];
    if (size >= m_usableSize || size < 0) {
        core::log(0x1, "hwMemAlloc failed (too big block size) FUNC:%s LINE:%d (size = %d)\n",
                  core::functionName(function, fn, sizeof fn), line, size);
    }
    int exact = exactBlockSize(size < 0 ? 0x7FFFFFF0 : size);
    int split = splitBlockSize(size < 0 ? 0x7FFFFFF0 : size);
    Block* b = (size >= m_usableSize || size < 0) ? nullptr : findFit(exact, split);
    if (!b) {
        core::log(0x1, " ** MEMORY FULL ** \n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager: memory full");
    }
    if (b->size != exact) {
        Block* rest = reinterpret_cast<Block*>(reinterpret_cast<unsigned char*>(b) + split);
        rest->magic = MAGIC;
        rest->size = b->size - split;
        rest->prev = offsetOf(b);
        rest->next = b->next;
        if (Block* n = at(b->next)) n->prev = offsetOf(rest);
        b->next = offsetOf(rest);
        b->size = split;
    }
    unlink(b);
    b->next = offsetOf(b) + (uint32_t)b->size;
    b->prev = NONE;
    if (core::logEnabled(0x400000)) {
        core::log(0x400000, "MemoryManager: allocate %d bytes (%s(%d)) 0x%X\n", b->size,
                  core::functionName(function, fn, sizeof fn), line, addr32(b));
    }
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
    Block* b = reinterpret_cast<Block*>(static_cast<unsigned char*>(p) - HEADER);
    unsigned char* raw = reinterpret_cast<unsigned char*>(b);
    // A pointer that is not one of ours is refused before anything is touched.
    if (!m_pool || raw < m_firstBlock || raw >= m_endGuard || ((raw - m_pool) & 15) != 0 || b->magic != MAGIC ||
        b->size < 32 || raw + b->size > m_endGuard) {
        core::log(0x1, "MemoryManager:free failed\n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    }
    int size = b->size;
    if (core::logEnabled(0x800000)) {
        char fn[256];
        core::log(0x800000, "MemoryManager: free %d bytes (%s(%d)) 0x%X\n", size,
                  core::functionName(function, fn, sizeof fn), line, addr32(b));
    }
    if (!insertFree(b))
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    m_usedBytes -= size;
    m_freeBytes += size;
    --m_liveAllocations;
}

bool MemoryManager::insertFree(Block* f) {
    uint32_t fo = offsetOf(f);
    Block* head = at(m_freeListHead);
    if (!head) {
        f->next = f->prev = NONE;
        m_freeListHead = fo;
        return true;
    }
    if (f == head) return false;
    if (f < head) {
        if (fo + (uint32_t)f->size == m_freeListHead) {
            core::log(0xE00000, "MemoryManager: connect blocks next (0x%X) -> first (0x%X) (new size:%d + %d = %d)\n",
                      addr32(head), addr32(f), f->size, head->size, f->size + head->size);
            f->size += head->size;
            f->next = head->next;
            if (Block* n = at(head->next)) n->prev = fo;
        } else {
            f->next = m_freeListHead;
            head->prev = fo;
        }
        f->prev = NONE;
        m_freeListHead = fo;
        return true;
    }
    for (Block* cur = head;;) {
        Block* next = at(cur->next);
        if (cur == f) return false;
        if (!next) {
            // Above the last free block: appended without a merge test.
            f->prev = offsetOf(cur);
            f->next = NONE;
            cur->next = fo;
            return true;
        }
        if (cur < f && next > f) {
            f->prev = offsetOf(cur);
            f->next = offsetOf(next);
            uint32_t co = offsetOf(cur);
            if (co + (uint32_t)cur->size == fo) {
                core::log(0xE00000,
                          "MemoryManager: connect blocks first (0x%X) -> next (0x%X) (new size:%d + %d = %d)\n",
                          addr32(cur), addr32(f), cur->size, f->size, cur->size + f->size);
                cur->size += f->size;
                cur->next = offsetOf(next);
                if (co + (uint32_t)cur->size == offsetOf(next)) {
                    core::log(0xE00000,
                              "MemoryManager: connect blocks first (0x%X) -> next (0x%X) (new size:%d + %d = %d)\n",
                              addr32(cur), addr32(next), cur->size, next->size, cur->size + next->size);
                    cur->size += next->size;
                    cur->next = next->next;
                    if (Block* nn = at(next->next)) nn->prev = co;
                    core::log(0xE00000, "MemoryManager: double connection!!\n");
                }
            } else if (fo + (uint32_t)f->size == offsetOf(next)) {
                core::log(0xE00000,
                          "MemoryManager: connect blocks next (0x%X) -> first (0x%X) (new size:%d + %d = %d)\n",
                          addr32(next), addr32(f), f->size, next->size, f->size + next->size);
                f->size += next->size;
                f->next = next->next;
                if (Block* nn = at(next->next)) nn->prev = fo;
                cur->next = fo;
            } else {
                cur->next = fo;
                next->prev = fo;
            }
            return true;
        }
        if (next == f) return false;
        cur = next;
    }
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
    uint32_t prev = NONE;
    for (Block* b = at(m_freeListHead); b; b = at(b->next)) {
        if (b->magic != MAGIC || b->prev != prev) return false;
        if (prev != NONE && offsetOf(b) <= prev) return false;
        if (reinterpret_cast<unsigned char*>(b) + b->size > m_endGuard) return false;
        freeSum += b->size;
        prev = offsetOf(b);
    }
    if (freeSum != m_freeBytes) return false;
    // Walk every block from the first to the tail guard.
    int64_t usedSum = 0;
    for (unsigned char* p = m_firstBlock; p < m_endGuard;) {
        const Block* b = reinterpret_cast<const Block*>(p);
        if (b->magic != MAGIC || b->size < 32 || (b->size & 15)) return false;
        if (b->prev == NONE && b->next == offsetOf(b) + (uint32_t)b->size) usedSum += b->size;
        p += b->size;
    }
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
