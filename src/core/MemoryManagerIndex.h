// MemoryManager internals shared by the block list (MemoryManager.cpp) and
// the chunk index (MemoryManagerIndex.cpp): the block header, the pool's
// constants, and the index operations the allocation and free paths fold in.
// Included only by those two files.
#pragma once
#include "core/MemoryManager.h"
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
