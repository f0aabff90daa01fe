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

// The index node of a free block, in the 16 bytes behind its header (every
// block has at least 32 bytes). maxFlag holds the largest block size in the
// node's subtree; since sizes are multiples of 16 its bit 0 is free and says
// whether the subtree also holds a block exactly 16 bytes smaller than that.
struct MemoryManager::Node {
    uint32_t left;
    uint32_t right;
    uint32_t maxFlag;
    uint32_t priority;
};

namespace {
const uint32_t NONE = 0;
const int MIN_BLOCK = 32;
unsigned addr32(const void* p) { return (unsigned)(uintptr_t)p; }
} // namespace

MemoryManager::MemoryManager(const MemoryManagerConfig& config)
    : m_name(nullptr), m_pool(nullptr), m_firstBlock(nullptr), m_endGuard(nullptr), m_usableSize(0),
      m_liveAllocations(0), m_totalAllocations(0), m_freeListHead(NONE), m_freeBytes(0), m_peakUsedBytes(0),
      m_usedBytes(0), m_allocateHook(config.allocateHook), m_freeHook(config.freeHook),
      m_poolAllocateHook(config.poolAllocateHook), m_poolReleaseHook(config.poolReleaseHook), m_monitorUsers(0),
      m_poolFromMalloc(false), m_indexed(config.indexedFreeList), m_treeRoot(NONE), m_priorityState(0x9E3779B9u) {
    const char* name = config.name ? config.name : "MemoryManager";
    m_name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    if (m_name) std::strcpy(m_name, name);
    core::log(0x10, "START: MemoryManager init\n");
    if (m_allocateHook) return;

    // The pool: the configured size rounded down to 16, plus the two 16-byte guards.
    int64_t bytes = ((int64_t)(config.poolSize >> 4) + 2) << 4;
    if (config.poolSize < 0 || bytes > 0x7FFFFFF0) bytes = 0;
    void* mem = nullptr;
    if (bytes >= 32 + MIN_BLOCK) {
        if (m_poolAllocateHook) {
            mem = m_poolAllocateHook((int)bytes);
        } else {
            mem = std::malloc((size_t)bytes);
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
    if (m_indexed) m_treeRoot = treeInsert(NONE, m_freeListHead);
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

MemoryManager::Node* MemoryManager::node(uint32_t offset) const {
    return reinterpret_cast<Node*>(m_pool + offset + HEADER);
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
// Whether a subtree whose largest block is `max` (flag: it also holds max - 16)
// holds a block the request can take: exactly `exact`, or at least exact + 32.
inline bool subtreeFits(uint32_t maxFlag, int exact) {
    int max = (int)(maxFlag & ~15u);
    return max == exact || max > exact + 16 || (max == exact + 16 && (maxFlag & 1u));
}
} // namespace

uint32_t MemoryManager::indexedFit(int exact) const {
    // The lowest-addressed fitting block: go left whenever the left subtree
    // holds one, so the answer is the block the address-ordered walk meets first.
    uint32_t t = m_treeRoot;
    if (t == NONE || !subtreeFits(node(t)->maxFlag, exact)) return NONE;
    for (;;) {
        const Node* n = node(t);
        if (n->left != NONE && subtreeFits(node(n->left)->maxFlag, exact)) {
            t = n->left;
            continue;
        }
        int size = at(t)->size;
        if (size == exact || size > exact + 16) return t;
        t = n->right; // the subtree fits, so the right side must
    }
}

void MemoryManager::pull(uint32_t t) const {
    Node* n = node(t);
    int max = at(t)->size;
    bool below = false; // the subtree holds a block of max - 16
    for (int side = 0; side < 2; ++side) {
        uint32_t c = side == 0 ? n->left : n->right;
        if (c == NONE) continue;
        uint32_t cf = node(c)->maxFlag;
        int cmax = (int)(cf & ~15u);
        if (cmax > max) {
            below = (cf & 1u) || max == cmax - 16;
            max = cmax;
        } else if (cmax == max) {
            below = below || (cf & 1u);
        } else if (cmax == max - 16) {
            below = true;
        }
    }
    n->maxFlag = (uint32_t)max | (below ? 1u : 0u);
}

uint32_t MemoryManager::newPriority() {
    // xorshift32: deterministic, so a run's pool layout can be reproduced.
    uint32_t x = m_priorityState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    m_priorityState = x;
    return x;
}

uint32_t MemoryManager::treeFloor(uint32_t key) const {
    // The free block at the highest offset not above key.
    uint32_t best = NONE;
    for (uint32_t t = m_treeRoot; t != NONE;) {
        if (t == key) return t;
        if (t < key) {
            best = t;
            t = node(t)->right;
        } else {
            t = node(t)->left;
        }
    }
    return best;
}

void MemoryManager::treeSplit(uint32_t t, uint32_t key, uint32_t& l, uint32_t& r) {
    if (t == NONE) {
        l = r = NONE;
        return;
    }
    Node* n = node(t);
    if (t < key) {
        treeSplit(n->right, key, n->right, r);
        l = t;
    } else {
        treeSplit(n->left, key, l, n->left);
        r = t;
    }
    pull(t);
}

uint32_t MemoryManager::treeMerge(uint32_t a, uint32_t b) {
    if (a == NONE) return b;
    if (b == NONE) return a;
    if (node(a)->priority > node(b)->priority) {
        node(a)->right = treeMerge(node(a)->right, b);
        pull(a);
        return a;
    }
    node(b)->left = treeMerge(a, node(b)->left);
    pull(b);
    return b;
}

uint32_t MemoryManager::treeInsert(uint32_t t, uint32_t n) {
    // n's header (size) is already set; it gets a fresh priority.
    node(n)->priority = newPriority();
    return treeInsertAt(t, n);
}

uint32_t MemoryManager::treeInsertAt(uint32_t t, uint32_t n) {
    Node* nn = node(n);
    if (t == NONE) {
        nn->left = nn->right = NONE;
        pull(n);
        return n;
    }
    Node* tn = node(t);
    if (nn->priority > tn->priority) {
        treeSplit(t, n, nn->left, nn->right);
        pull(n);
        return n;
    }
    if (n < t) tn->left = treeInsertAt(tn->left, n);
    else tn->right = treeInsertAt(tn->right, n);
    pull(t);
    return t;
}

uint32_t MemoryManager::treeErase(uint32_t t, uint32_t key) {
    if (t == NONE) return NONE;
    Node* n = node(t);
    if (t == key) return treeMerge(n->left, n->right);
    if (key < t) n->left = treeErase(n->left, key);
    else n->right = treeErase(n->right, key);
    pull(t);
    return t;
}

uint32_t MemoryManager::treeReplace(uint32_t t, uint32_t key, uint32_t n) {
    // Block n takes the place of block key; valid because no other free block
    // lies between the two addresses. n's header (size) is already set.
    if (t == NONE) return NONE;
    Node* tn = node(t);
    if (t == key) {
        Node* nn = node(n);
        nn->left = tn->left;
        nn->right = tn->right;
        nn->priority = tn->priority;
        pull(n);
        return n;
    }
    if (key < t) tn->left = treeReplace(tn->left, key, n);
    else tn->right = treeReplace(tn->right, key, n);
    pull(t);
    return t;
}

uint32_t MemoryManager::treeRefresh(uint32_t t, uint32_t key) {
    // Block key changed its size: recompute the subtree maxima on its path.
    if (t == NONE) return NONE;
    if (t != key) {
        Node* tn = node(t);
        if (key < t) tn->left = treeRefresh(tn->left, key);
        else tn->right = treeRefresh(tn->right, key);
    }
    pull(t);
    return t;
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
    bool tooBig = size >= m_usableSize || size < 0;
    if (tooBig) {
        core::log(0x1, "hwMemAlloc failed (too big block size) FUNC:%s LINE:%d (size = %d)\n",
                  core::functionName(function, fn, sizeof fn), line, size);
    }
    int exact = exactBlockSize(tooBig ? 0 : size);
    uint32_t bo = tooBig ? NONE : (m_indexed ? indexedFit(exact) : linearFit(exact));
    if (bo == NONE) {
        core::log(0x1, " ** MEMORY FULL ** \n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager: memory full");
    }
    Block* b = at(bo);
    if (b->size != exact) {
        // Split: the rest stays free in b's place in the list (and the index).
        uint32_t ro = bo + (uint32_t)exact;
        Block* rest = at(ro);
        rest->magic = MAGIC;
        rest->size = b->size - exact;
        rest->prev = bo;
        rest->next = b->next;
        if (Block* n = at(b->next)) n->prev = ro;
        b->next = ro;
        b->size = exact;
        if (m_indexed) m_treeRoot = treeReplace(m_treeRoot, bo, ro);
    } else if (m_indexed) {
        m_treeRoot = treeErase(m_treeRoot, bo);
    }
    unlink(b);
    b->next = bo + (uint32_t)b->size;
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
    unsigned char* raw = static_cast<unsigned char*>(p) - HEADER;
    // A pointer that is not one of ours is refused before anything is touched.
    // (Compared as integers: a foreign pointer must not be offset into the pool.)
    uintptr_t r = (uintptr_t)p - HEADER;
    Block* b = reinterpret_cast<Block*>(raw);
    if (!m_pool || r < (uintptr_t)m_firstBlock || r >= (uintptr_t)m_endGuard || ((r - (uintptr_t)m_pool) & 15) != 0 ||
        b->magic != MAGIC || b->size < MIN_BLOCK || (b->size & 15) != 0 || b->size > m_endGuard - raw) {
        core::log(0x1, "MemoryManager:free failed\n");
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    }
    int size = b->size;
    if (core::logEnabled(0x800000)) {
        char fn[256];
        core::log(0x800000, "MemoryManager: free %d bytes (%s(%d)) 0x%X\n", size,
                  core::functionName(function, fn, sizeof fn), line, addr32(b));
    }
    if (!(m_indexed ? insertFree(b) : insertFreeLinear(b)))
        throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager:free failed");
    m_usedBytes -= size;
    m_freeBytes += size;
    --m_liveAllocations;
}

void MemoryManager::mergeLog(bool intoLower, const Block* lower, const Block* upper) const {
    // intoLower: the lower block absorbs its list successor; otherwise the lower
    // (freed) block absorbs the upper one and takes its place in the list.
    if (!core::logEnabled(0xE00000)) return;
    if (intoLower) {
        core::log(0xE00000, "MemoryManager: connect blocks first (0x%X) -> next (0x%X) (new size:%d + %d = %d)\n",
                  addr32(lower), addr32(upper), lower->size, upper->size, lower->size + upper->size);
    } else {
        core::log(0xE00000, "MemoryManager: connect blocks next (0x%X) -> first (0x%X) (new size:%d + %d = %d)\n",
                  addr32(upper), addr32(lower), lower->size, upper->size, lower->size + upper->size);
    }
}

bool MemoryManager::insertFree(Block* f) {
    // The same decisions as the walk in insertFreeLinear, with the insertion
    // point found through the index.
    uint32_t fo = offsetOf(f);
    if (m_freeListHead == NONE) {
        f->next = f->prev = NONE;
        m_freeListHead = fo;
        m_treeRoot = treeInsert(NONE, fo);
        return true;
    }
    uint32_t co = treeFloor(fo);
    if (co == fo) return false; // already free
    if (co == NONE) {
        // Below the lowest free block.
        Block* head = at(m_freeListHead);
        if (fo + (uint32_t)f->size > m_freeListHead) return false; // overlaps a free block
        if (fo + (uint32_t)f->size == m_freeListHead) {
            mergeLog(false, f, head);
            f->size += head->size;
            f->next = head->next;
            if (Block* n = at(head->next)) n->prev = fo;
            m_treeRoot = treeReplace(m_treeRoot, m_freeListHead, fo);
        } else {
            f->next = m_freeListHead;
            head->prev = fo;
            m_treeRoot = treeInsert(m_treeRoot, fo);
        }
        f->prev = NONE;
        m_freeListHead = fo;
        return true;
    }
    Block* cur = at(co);
    // Inside a free block: a block freed again after it was merged.
    if (co + (uint32_t)cur->size > fo) return false;
    uint32_t no = cur->next;
    if (no == NONE) {
        // Above the last free block: appended without a merge test.
        f->prev = co;
        f->next = NONE;
        cur->next = fo;
        m_treeRoot = treeInsert(m_treeRoot, fo);
        return true;
    }
    Block* next = at(no);
    if (fo + (uint32_t)f->size > no) return false; // overlaps the next free block
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
            m_treeRoot = treeErase(m_treeRoot, no);
            core::log(0xE00000, "MemoryManager: double connection!!\n");
        }
        m_treeRoot = treeRefresh(m_treeRoot, co);
    } else if (fo + (uint32_t)f->size == no) {
        mergeLog(false, f, next);
        f->size += next->size;
        f->next = next->next;
        if (Block* nn = at(next->next)) nn->prev = fo;
        cur->next = fo;
        m_treeRoot = treeReplace(m_treeRoot, no, fo);
    } else {
        cur->next = fo;
        next->prev = fo;
        m_treeRoot = treeInsert(m_treeRoot, fo);
    }
    return true;
}

bool MemoryManager::insertFreeLinear(Block* f) {
    uint32_t fo = offsetOf(f);
    Block* head = at(m_freeListHead);
    if (!head) {
        f->next = f->prev = NONE;
        m_freeListHead = fo;
        return true;
    }
    if (f == head) return false;
    if (f < head) {
        if (fo + (uint32_t)f->size > m_freeListHead) return false; // overlaps a free block
        if (fo + (uint32_t)f->size == m_freeListHead) {
            mergeLog(false, f, head);
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
        uint32_t co = offsetOf(cur);
        if (cur == f) return false;
        if (cur < f && co + (uint32_t)cur->size > fo) return false; // inside a free block
        if (!next) {
            // Above the last free block: appended without a merge test.
            f->prev = co;
            f->next = NONE;
            cur->next = fo;
            return true;
        }
        if (cur < f && next > f) {
            uint32_t no = offsetOf(next);
            if (fo + (uint32_t)f->size > no) return false; // overlaps the next free block
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
                    core::log(0xE00000, "MemoryManager: double connection!!\n");
                }
            } else if (fo + (uint32_t)f->size == no) {
                mergeLog(false, f, next);
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

bool MemoryManager::treeCheck(uint32_t t, uint32_t lo, uint32_t hi, uint32_t prio, int& count, uint32_t& max,
                              bool& flag) const {
    // Order, heap order of the priorities, and the stored subtree maxima.
    max = 0;
    flag = false;
    if (t == NONE) return true;
    if (t <= lo || t >= hi || t >= (uint32_t)(m_endGuard - m_pool)) return false;
    const Node* n = node(t);
    if (n->priority > prio) return false;
    if (++count > m_usableSize / MIN_BLOCK) return false;
    uint32_t lm, rm;
    bool lf, rf;
    if (!treeCheck(n->left, lo, t, n->priority, count, lm, lf)) return false;
    if (!treeCheck(n->right, t, hi, n->priority, count, rm, rf)) return false;
    uint32_t s = (uint32_t)at(t)->size;
    max = s > lm ? s : lm;
    max = rm > max ? rm : max;
    flag = s + 16 == max || (lm == max && lf) || lm + 16 == max || (rm == max && rf) || rm + 16 == max;
    return n->maxFlag == (max | (flag ? 1u : 0u));
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
        // Every free block is in the index at its own address.
        if (m_indexed && treeFloor(offsetOf(b)) != offsetOf(b)) return false;
        freeSum += b->size;
        prev = offsetOf(b);
        if (++freeCount > m_usableSize / MIN_BLOCK) return false;
    }
    if (freeSum != m_freeBytes) return false;
    if (m_indexed) {
        int count = 0;
        uint32_t max;
        bool flag;
        if (!treeCheck(m_treeRoot, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, count, max, flag) || count != freeCount) return false;
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
