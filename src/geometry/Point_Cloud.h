// Point_Cloud: a static set of at most 65534 points organised for
// nearest-point queries, with the radius of the smallest origin-centred
// sphere that holds them all. Mesh handles own one each (for contact tests).
#pragma once
#include "core/Object.h"
#include "slm/vec3.h"
#include <cstdint>

// One point and one node of the kd-tree kept in the point array itself:
// `first` is the root of the sub-tree of points at or below this one on the
// node's split axis, `second` the root of the others; NONE for no sub-tree.
struct Kd_Entry {
    static constexpr uint16_t NONE = 0xFFFF;
    float x, y, z;
    uint16_t first;
    uint16_t second;
};

class Point_Cloud : public core::Object {
public:
    virtual ~Point_Cloud() {}
    // The point nearest to p (x, y, z); among equally distant points the
    // first the search meets. Null for an empty cloud or when no point is
    // closer than 1e8. The entry lives as long as the cloud.
    virtual const Kd_Entry* nearest(const float* p) const = 0;
    const Kd_Entry* nearest(const slm::vec3& p) const {
        const float q[3] = {p.x, p.y, p.z};
        return nearest(q);
    }
};
