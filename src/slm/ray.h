// slm::ray and the segment tests. A ray here is really a segment: the tests
// cover origin + t·direction for t in [0, 1). make_ray prepares the inverse
// direction and the sign flags that the slab test against a box uses.
#pragma once
#include "slm/vec3.h"
#include <cstdint>

namespace slm {

struct ray {
    vec3 origin;
    vec3 direction;
    // 1 / direction per component, or LARGEST where |direction| is not above
    // SMALLEST_NORMAL.
    vec3 inv_direction;
    // 1 where the direction component is negative and large enough to invert,
    // else 0: selects which box face is met first on that axis.
    std::uint32_t sign[3];
};

// An axis-aligned box; box[0] is min, box[1] is max.
struct box {
    vec3 min;
    vec3 max;

    const vec3& operator[](std::uint32_t i) const { return i ? max : min; }
};

ray make_ray(const vec3& origin, const vec3& direction);

// Möller–Trumbore: does origin + t·direction, t in [0, 1), meet the triangle
// a, b, c? Both faces count. On a hit, t is written to *t when t is given.
// A segment parallel to the plane (|det| ≤ SMALLEST_NORMAL) never hits.
bool segment_triangle(const vec3& origin, const vec3& direction, const vec3& a, const vec3& b, const vec3& c,
                      float* t = nullptr);

// The slab test: does the segment from r.origin to r.origin + r.direction
// overlap the box? The overlap, in units of t, must begin before t = 1 and end
// after t = 0, so a segment that only reaches a face at t = 1 or leaves it at
// t = 0 does not count.
bool segment_box(const ray& r, const box& b);

} // namespace slm
