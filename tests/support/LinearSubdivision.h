// The subdivision pass with its edge points found by a linear scan (addvert):
// exactly the result of smooth(), which hashes the positions, in quadratic
// time. The tests check that equality; the benchmark measures the difference.
#pragma once
#include "geometry/Modelling.h"
#include "geometry/Subdivision.h"

class Linear_Search : public Edge_Point_Search {
public:
    void begin(const Mesh_Builder* mb, uint32_t) override { m_firstNew = mb->nv; }
    void facePoint(Mesh_Builder*, uint32_t) override {}
    uint32_t edgePoint(Mesh_Builder* mb, const float* e, bool* made) override {
        uint32_t before = mb->nv;
        uint32_t i = addvert(mb, e, m_firstNew);
        *made = i == before;
        return i;
    }

private:
    uint32_t m_firstNew = 0;
};

inline void smoothLinearSearch(Mesh_Builder* mb, int mode) {
    Linear_Search s;
    smoothWith(mb, mode, s);
}
