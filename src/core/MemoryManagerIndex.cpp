// MemoryManager: the chunk index beside the free list (see MemoryManager.h):
// its set-up, the walk over the occupancy bits, and its consistency check.
// The operations on the allocation and free paths are in
// MemoryManagerIndex.h, so that those paths fold them in.
#include "core/MemoryManagerIndex.h"
#include <cstdlib>

void MemoryManager::buildIndex(uint32_t poolBytes) {
    // Level 0: one entry per chunk; each level above: one per group of 32
    // below; every level padded to whole groups, the top one group.
    uint32_t chunks = chunkOf(poolBytes - 1) + 1;
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
        indexAdd(m_freeListHead, (uint32_t)blockAt(m_freeListHead)->size);
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

bool MemoryManager::indexValid() const {
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
    return true;
}
