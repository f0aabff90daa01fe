// slm::ray preparation and the segment tests against triangles and boxes.
#include "slm/ray.h"
#include "slm/scalar.h"
#include <cmath>

namespace slm {

ray make_ray(const vec3& origin, const vec3& direction) {
    ray r;
    r.origin = origin;
    r.direction = direction;
    for (int i = 0; i < 3; ++i) {
        float d = direction[i];
        bool usable = std::fabs(d) > SMALLEST_NORMAL;
        // A component too small to invert stands as +LARGEST whatever its sign,
        // so the slab test on that axis never divides by zero.
        r.inv_direction[i] = usable ? 1.0f / d : LARGEST;
        // The sign flag must agree with the stored inverse: a tiny negative
        // component paired with +LARGEST would swap the slab's near and far
        // planes and make a segment inside the slab miss.
        r.sign[i] = (usable && d < 0.0f) ? 1u : 0u;
    }
    return r;
}

bool segment_triangle(const vec3& origin, const vec3& direction, const vec3& a, const vec3& b, const vec3& c,
                      float* t) {
    vec3 e1 = b - a;
    vec3 e2 = c - a;
    vec3 p = cross(direction, e2);
    float det = dot(e1, p);
    if (std::fabs(det) <= SMALLEST_NORMAL) return false;
    float inv = 1.0f / det;
    vec3 s = origin - a;
    float u = dot(s, p) * inv;
    if (u < 0.0f || u > 1.0f) return false;
    vec3 q = cross(s, e1);
    float v = dot(direction, q) * inv;
    if (v < 0.0f || u + v > 1.0f) return false;
    float hit = dot(e2, q) * inv;
    if (hit < 0.0f || hit >= 1.0f) return false;
    if (t) *t = hit;
    return true;
}

bool segment_box(const ray& r, const box& b) {
    const vec3& o = r.origin;
    const vec3& inv = r.inv_direction;
    float tmin = (b[r.sign[0]].x - o.x) * inv.x;
    float tmax = (b[1 - r.sign[0]].x - o.x) * inv.x;
    float tymin = (b[r.sign[1]].y - o.y) * inv.y;
    float tymax = (b[1 - r.sign[1]].y - o.y) * inv.y;
    if (tmin > tymax || tymin > tmax) return false;
    if (tymin > tmin) tmin = tymin;
    if (tymax < tmax) tmax = tymax;
    float tzmin = (b[r.sign[2]].z - o.z) * inv.z;
    float tzmax = (b[1 - r.sign[2]].z - o.z) * inv.z;
    if (tmin > tzmax || tzmin > tmax) return false;
    if (tzmin > tmin) tmin = tzmin;
    if (tzmax < tmax) tmax = tzmax;
    return tmin < 1.0f && tmax > 0.0f;
}

} // namespace slm
