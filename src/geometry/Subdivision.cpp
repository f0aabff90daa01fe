// Subdivision: one pass of midpoint subdivision or Catmull-Clark smoothing
// over the whole mesh, the exact capacity check it runs near the limit, and
// the hash of positions that finds the edge points a pass shares between
// neighbouring quads.
#include "geometry/Subdivision.h"
#include "core/DebugLog.h"
#include "geometry/Modelling.h"
#include <cstring>

namespace {

// Scratch of a pass (module state, never allocated): the accumulators and
// counts of the points (a point's accumulator and count side by side: the
// pass touches both at once, at scattered indices), the old quads and flags
// it sets aside, and the capacity check's trial points.
struct Smooth_Slot {
    float acc[3];
    uint32_t cnt;
};
Smooth_Slot smooth_scratch[MAXSIZE];
float candidate_points[MAXSIZE][3];
uint32_t old_quads[MAXSIZE][4];
uint32_t old_sel[MAXSIZE];

// ---- the edge-point search of a subdivision pass ----

// A fixed-size open-addressing table from exact positions to the lowest
// vertex index holding that position. Keys compare as floats do: -0.0 and
// +0.0 are equal (both hash as +0.0), NaN equals nothing. A slot packs the
// index (18 bits: MAXSIZE < 2^18) with 14 more bits of the position's hash,
// so a probe reads a vertex only when those bits agree.
class Position_Hash {
public:
    static const uint32_t EMPTY = 0xFFFFFFFFu;
    static const uint32_t MAX_SLOTS = 1u << 19; // at least twice MAXSIZE
    static const int INDEX_BITS = 18;
    static const uint32_t INDEX_MASK = (1u << INDEX_BITS) - 1;

    // Empties the table, sized for `entries` keys at most half full.
    void reset(uint64_t entries) {
        uint32_t size = 16;
        while (size < MAX_SLOTS && size < 2 * entries) size <<= 1;
        m_mask = size - 1;
        std::memset(m_slots, 0xFF, size * sizeof(uint32_t));
    }

    // Finds `p` among the positions `pos[index]`; answers the index, or EMPTY
    // with *where set to where it would go (for insert).
    struct Place {
        uint32_t slot;
        uint32_t tag;
    };
    uint32_t find(const float (*pos)[3], const float* p, Place* where) const {
        uint32_t h = hashOf(p);
        uint32_t tag = h & ~INDEX_MASK;
        uint32_t s = h & m_mask;
        for (;;) {
            uint32_t v = m_slots[s];
            if (v == EMPTY) break;
            if ((v & ~INDEX_MASK) == tag) {
                const float* k = pos[v & INDEX_MASK];
                if (k[0] == p[0] && k[1] == p[1] && k[2] == p[2]) return v & INDEX_MASK;
            }
            s = (s + 1) & m_mask;
        }
        where->slot = s;
        where->tag = tag;
        return EMPTY;
    }

    void insert(const Place& where, uint32_t index) { m_slots[where.slot] = where.tag | index; }
    uint32_t slots() const { return m_mask + 1; }

private:
    static uint32_t bitsOf(float f) {
        f += 0.0f; // -0.0 becomes +0.0
        uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        return b;
    }
    static uint32_t hashOf(const float* p) {
        // Positions made by repeated averaging carry long runs of zero
        // mantissa bits, so every bit is mixed into the result.
        uint64_t h = bitsOf(p[0]);
        h = h * 0x9E3779B97F4A7C15ull + bitsOf(p[1]);
        h = h * 0xC2B2AE3D27D4EB4Full + bitsOf(p[2]);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        // The low bits pick the slot, the high bits form the tag. EMPTY
        // cannot be a packed slot: no index reaches INDEX_MASK.
        return (uint32_t)h;
    }

    uint32_t m_mask = 15;
    uint32_t m_slots[MAX_SLOTS];
};

Position_Hash position_hash;

// The kernel's own search (see Edge_Point_Search for the contract), through
// the position hash; not virtual, so the pass inlines it.
struct Hash_Search {
    uint32_t firstNew = 0;
    uint32_t entries = 0;
    uint32_t limit = 0;

    void begin(const Mesh_Builder* mb, uint32_t quads) {
        // A closed mesh makes about three points per quad; a quarter of the
        // slots stays free before the table doubles.
        firstNew = mb->nv;
        entries = 0;
        position_hash.reset((5 * (uint64_t)quads + 1) / 2);
        limit = position_hash.slots() / 4 * 3;
    }
    // Keeps the lowest index per position: a later vertex at a position
    // already present is not entered.
    void enter(Mesh_Builder* mb, uint32_t i) {
        Position_Hash::Place slot;
        if (position_hash.find(mb->verts, mb->verts[i], &slot) == Position_Hash::EMPTY) {
            position_hash.insert(slot, i);
            if (++entries > limit) grow(mb);
        }
    }
    void grow(Mesh_Builder* mb) {
        if (position_hash.slots() >= Position_Hash::MAX_SLOTS) return;
        position_hash.reset(position_hash.slots()); // twice as many slots
        limit = position_hash.slots() / 4 * 3;
        entries = 0;
        for (uint32_t i = firstNew; i < mb->nv; ++i) enter(mb, i);
    }
    void facePoint(Mesh_Builder* mb, uint32_t f) { enter(mb, f); }
    uint32_t edgePoint(Mesh_Builder* mb, const float* e, bool* made) {
        Position_Hash::Place slot;
        uint32_t i = position_hash.find(mb->verts, e, &slot);
        *made = i == Position_Hash::EMPTY;
        if (*made) {
            i = mb->nv++;
            maths7(e, mb->verts[i]);
            position_hash.insert(slot, i);
            if (++entries > limit) grow(mb);
        } else {
            maths7(e, mb->verts[i]); // a -0.0 may replace a +0.0, as the scan does
        }
        return i;
    }
};

void edgePosition(const Mesh_Builder* mb, uint32_t a, uint32_t b, int mode, float* e) {
    maths1(mb->verts[a], mb->verts[b], e);
    if (mode == 0) maths9(e, 0.5f);
}

// One subdivision pass. The old quads are set aside first so the four new
// quads of old quad q can go straight to slots 4q .. 4q+3: the result is the
// same as appending them and then deleting the old ones. The accumulators of
// new points are cleared as the points are made.
template <class Search> void smoothPass(Mesh_Builder* mb, int mode, Search& search) {
    const uint32_t NQ0 = mb->nq;
    const uint32_t NV0 = mb->nv;
    std::memset(smooth_scratch, 0, NV0 * sizeof smooth_scratch[0]);
    std::memcpy(old_quads, mb->quads, NQ0 * sizeof mb->quads[0]);
    std::memcpy(old_sel, mb->sel, NQ0 * sizeof mb->sel[0]);
    search.begin(mb, NQ0);

    for (uint32_t q = 0; q < NQ0; ++q) {
        const uint32_t* c = old_quads[q];
        float F[3];
        quadCentroid(mb, c, F);
        uint32_t f = mb->nv++;
        maths7(F, mb->verts[f]);
        search.facePoint(mb, f);
        Smooth_Slot& fs = smooth_scratch[f];
        fs.acc[0] = fs.acc[1] = fs.acc[2] = 0.0f;
        fs.cnt = 1;
        uint32_t e[4];
        for (int k = 0; k < 4; ++k) {
            float E[3];
            edgePosition(mb, c[k], c[(k + 1) & 3], mode, E);
            bool made;
            uint32_t ek = search.edgePoint(mb, E, &made);
            e[k] = ek;
            Smooth_Slot& es = smooth_scratch[ek];
            if (made) {
                es.acc[0] = es.acc[1] = es.acc[2] = 0.0f;
                es.cnt = 0;
            }
            if (es.cnt == 0) es.cnt = 2;
            maths1(es.acc, F, es.acc);
            Smooth_Slot& cs = smooth_scratch[c[k]];
            cs.cnt += 1;
            maths1(cs.acc, F, cs.acc);
            maths1(cs.acc, E, cs.acc);
            es.cnt += 1;
        }
        const uint32_t flag = old_sel[q];
        for (int k = 0; k < 4; ++k) {
            uint32_t* nqd = mb->quads[4 * q + k];
            nqd[0] = c[k];
            nqd[1] = e[k];
            nqd[2] = f;
            nqd[3] = e[(k + 3) & 3];
            mb->sel[4 * q + k] = flag;
        }
    }
    mb->nq = 4 * NQ0;

    if (mode == 1) {
        for (uint32_t i = 0; i < mb->nv; ++i) {
            float* p = mb->verts[i];
            float* acc = smooth_scratch[i].acc;
            const uint32_t cnt = smooth_scratch[i].cnt;
            if (i < NV0) {
                // A vertex that no quad uses has nothing to average: it stays.
                if (cnt == 0) continue;
                float n = (float)cnt;
                maths9(acc, 1.0f / n);
                maths4(p, n - 3.0f, acc, p);
                maths9(p, 1.0f / n);
            } else {
                float n = (float)cnt;
                maths1(acc, p, p);
                maths9(p, 1.0f / n);
            }
        }
    }
}

template <class Search> bool smoothChecked(Mesh_Builder* mb, int mode, Search& search) {
    if (!smoothFits(mb, mode)) {
        core::log(0x1, "Subdivision refused: %u vertices and %u quads would exceed the capacity of %u\n",
                  (unsigned)mb->nv, (unsigned)mb->nq, (unsigned)MAXSIZE);
        return false;
    }
    smoothPass(mb, mode, search);
    return true;
}
} // namespace

bool smooth(Mesh_Builder* mb, int mode) {
    Hash_Search s;
    return smoothChecked(mb, mode, s);
}

bool smoothWith(Mesh_Builder* mb, int mode, Edge_Point_Search& search) { return smoothChecked(mb, mode, search); }

bool smoothFits(const Mesh_Builder* mb, int mode) {
    if (4 * (uint64_t)mb->nq > MAXSIZE) return false;
    if ((uint64_t)mb->nv + 5 * (uint64_t)mb->nq <= MAXSIZE) return true;
    // Near the limit the exact count decides: run the pass's point search on
    // scratch storage (on scratch positions)
    // and stop as soon as the vertices would not fit.
    const uint64_t room = MAXSIZE - mb->nv;
    uint64_t made = 0;
    position_hash.reset(room + 1);
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (made + 1 > room) return false;
        centroi(mb, q, candidate_points[made]);
        Position_Hash::Place slot;
        if (position_hash.find(candidate_points, candidate_points[made], &slot) == Position_Hash::EMPTY) {
            position_hash.insert(slot, (uint32_t)made);
        }
        ++made;
        const uint32_t* c = mb->quads[q];
        for (int k = 0; k < 4; ++k) {
            float E[3];
            edgePosition(mb, c[k], c[(k + 1) & 3], mode, E);
            if (position_hash.find(candidate_points, E, &slot) != Position_Hash::EMPTY) continue;
            if (made + 1 > room) return false;
            maths7(E, candidate_points[made]);
            position_hash.insert(slot, (uint32_t)made);
            ++made;
        }
    }
    return true;
}
