// Shared helpers of the geometry tests.
#pragma once
#include "geometry/Mesh_Builder.h"
#include <cstring>
#include <memory>

namespace geomtest {

// A builder on the heap (14 MB), empty, with its arrays zeroed.
inline std::unique_ptr<Mesh_Builder> newBuilder() {
    std::unique_ptr<Mesh_Builder> mb(new Mesh_Builder);
    std::memset(mb.get(), 0, sizeof(Mesh_Builder));
    return mb;
}

// A builder holding the given vertices and no quads.
template <size_t N> std::unique_ptr<Mesh_Builder> builderOf(const float (&points)[N][3]) {
    auto mb = newBuilder();
    mb->nv = N;
    std::memcpy(mb->verts, points, sizeof points);
    return mb;
}

} // namespace geomtest
