// Point_Cloud_Impl: the point cloud of a Mesh_Builder's vertices, as a
// kd-tree stored in one array (16 bytes per point, 16-bit child links, so
// one allocation from the engine pool).
#pragma once
#include "core/Vector.h"
#include "geometry/Mesh_Builder.h"
#include "geometry/Point_Cloud.h"

class Point_Cloud_Impl : public Point_Cloud {
public:
    // Point indices are 16 bits with 0xFFFF reserved.
    static constexpr uint32_t MAX_POINTS = 65534;

    // The first min(nv, MAX_POINTS) vertices of `mb` in index order; null or
    // an empty builder gives an empty cloud (radius 0).
    explicit Point_Cloud_Impl(const Mesh_Builder* mb = nullptr);
    virtual ~Point_Cloud_Impl();

    using Point_Cloud::nearest;
    virtual const Kd_Entry* nearest(const float* p) const;

    // The largest distance of any point from the origin.
    float getRadius() const { return radius; }
    // The tree: the root is entry 0.
    int size() const { return entries.size(); }
    const Kd_Entry& entry(int i) const { return entries[i]; }

private:
    uint16_t build(uint32_t start, uint32_t end, int axis);

    float radius;
    core::Vector<Kd_Entry> entries;
};
