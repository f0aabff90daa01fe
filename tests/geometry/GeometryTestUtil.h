// Shared helpers of the geometry tests.
#pragma once
#include "geometry/Mesh_Builder.h"
#include <cmath>
#include <cstring>
#include <memory>

namespace geomtest {

// A builder on the heap (14 MB), empty, with its arrays zeroed.
inline std::unique_ptr<Mesh_Builder> newBuilder() {
    std::unique_ptr<Mesh_Builder> mb(new Mesh_Builder);
    std::memset(mb.get(), 0, sizeof(Mesh_Builder));
    return mb;
}

// Index of the vertex at exactly (x, y, z), or -1.
inline int findVertex(const Mesh_Builder& mb, float x, float y, float z, float tol = 1e-6f) {
    for (uint32_t i = 0; i < mb.nv; ++i) {
        const float* p = mb.verts[i];
        if (std::abs(p[0] - x) <= tol && std::abs(p[1] - y) <= tol && std::abs(p[2] - z) <= tol) return (int)i;
    }
    return -1;
}

// Copies the used vertices and quads of `from` (with their flags).
inline void copyUsed(const Mesh_Builder& from, Mesh_Builder& to) {
    to.nv = from.nv;
    to.nq = from.nq;
    std::memcpy(to.verts, from.verts, from.nv * sizeof from.verts[0]);
    std::memcpy(to.quads, from.quads, from.nq * sizeof from.quads[0]);
    std::memcpy(to.sel, from.sel, from.nq * sizeof from.sel[0]);
}

// True when the used parts of two builders are bit for bit the same.
inline bool sameMesh(const Mesh_Builder& a, const Mesh_Builder& b) {
    return a.nv == b.nv && a.nq == b.nq &&
           std::memcmp(a.verts, b.verts, a.nv * sizeof a.verts[0]) == 0 &&
           std::memcmp(a.quads, b.quads, a.nq * sizeof a.quads[0]) == 0 &&
           std::memcmp(a.sel, b.sel, a.nq * sizeof a.sel[0]) == 0;
}

} // namespace geomtest
