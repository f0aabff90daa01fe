// slm::make_ray and the segment tests. Triangles are checked against GLM's
// ray–triangle test, boxes against an independent clipping of the segment
// in double precision; random cases keep clear of the exact boundaries.
#include "SlmReference.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtx/intersect.hpp>

#include <limits>

using namespace slm;
using slmtest::toGlm;

TEST(Ray, SegmentTriangleEdgeCases) {
    const vec3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    const struct {
        const char* name;
        vec3 origin, dir;
        float t; // -1: a miss
    } cases[] = {
        {"ends exactly on the plane (t = 1 is outside)", vec3(0.25f, 0.25f, 1), vec3(0, 0, -1), -1},
        {"starts on the plane", vec3(0.25f, 0.25f, 0), vec3(0, 0, -1), 0.0f},
        {"on the edge u + v = 1", vec3(0.5f, 0.5f, 1), vec3(0, 0, -2), 0.5f},
        {"on the edge v = 0", vec3(0.5f, 0, 1), vec3(0, 0, -2), 0.5f},
        {"parallel to the plane", vec3(0.25f, 0.25f, 0), vec3(1, 0, 0), -1},
        {"no direction", vec3(0.25f, 0.25f, 0), vec3(0, 0, 0), -1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        float t = -7.0f;
        EXPECT_EQ(k.t >= 0, segment_triangle(k.origin, k.dir, a, b, c, &t));
        EXPECT_EQ(k.t >= 0 ? k.t : -7.0f, t) << "a miss leaves t alone";
    }
    // A degenerate (flat) triangle is never hit.
    EXPECT_FALSE(segment_triangle(vec3(0.5f, 0, 1), vec3(0, 0, -2), a, b, vec3(2, 0, 0)));
}

TEST(Ray, SegmentTriangleMatchesGlm) {
    slmtest::Random rnd(31);
    int hits = 0, misses = 0;
    for (int i = 0; i < 4 * slmtest::RANDOM_CASES; ++i) {
        vec3 a = rnd.vec3(-5, 5), b = rnd.vec3(-5, 5), c = rnd.vec3(-5, 5);
        vec3 origin = rnd.vec3(-10, 10);
        // Aim near the triangle, so that about half of the segments reach it.
        vec3 aim = a + (b - a) * rnd.uniform(-0.3f, 1.3f) + (c - a) * rnd.uniform(-0.3f, 1.3f);
        vec3 dir = (aim - origin) * rnd.uniform(0.6f, 1.6f);
        glm::dvec2 bary;
        double dist = 0;
        bool ref =
            glm::intersectRayTriangle(toGlm(origin), toGlm(dir), toGlm(a), toGlm(b), toGlm(c), bary, dist);
        double e1xe2 = glm::length(glm::cross(toGlm(b - a), toGlm(c - a)));
        if (e1xe2 < 0.5) continue; // sliver triangles
        if (ref) {
            const double m = 1e-3;
            if (std::fabs(bary.x) < m || std::fabs(bary.y) < m || std::fabs(1 - bary.x - bary.y) < m)
                continue;
            if (std::fabs(dist) < m || std::fabs(dist - 1) < m) continue;
            ref = dist >= 0 && dist < 1;
        }
        float t = -1;
        ASSERT_EQ(segment_triangle(origin, dir, a, b, c, &t), ref) << "case " << i;
        if (ref) {
            ASSERT_NEAR(t, dist, 1e-4) << "case " << i;
        }
        ++(ref ? hits : misses);
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(misses, 500);
}

namespace {

// The segment o + t·d, t in [0, 1], clipped against the box one axis at a
// time in double precision. Sets the parameters of the clipped interval
// before the range check, and says whether the overlap is near a boundary,
// where float and double may honestly disagree.
bool clipReference(const vec3& o, const vec3& d, const box& b, bool& nearBoundary) {
    double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
    nearBoundary = false;
    for (int i = 0; i < 3; ++i) {
        if (d[i] == 0.0f) {
            if (std::fabs(o[i] - b.min[i]) < 1e-3 || std::fabs(o[i] - b.max[i]) < 1e-3) nearBoundary = true;
            if (o[i] < b.min[i] || o[i] > b.max[i]) return false;
            continue;
        }
        double t0 = (double(b.min[i]) - o[i]) / d[i], t1 = (double(b.max[i]) - o[i]) / d[i];
        if (t0 > t1) std::swap(t0, t1);
        lo = std::max(lo, t0);
        hi = std::min(hi, t1);
    }
    const double m = 1e-4;
    if (std::fabs(lo - hi) < m || std::fabs(lo - 1) < m || std::fabs(hi) < m) nearBoundary = true;
    return lo <= hi && lo < 1 && hi > 0;
}

} // namespace

TEST(Ray, SegmentBoxEdgeCases) {
    const box unitBox{vec3(0, 0, 0), vec3(1, 1, 1)};
    // A direction component too small to invert.
    const float tiny = std::numeric_limits<float>::denorm_min();
    const struct {
        const char* name;
        vec3 origin, dir;
        bool hit;
    } cases[] = {
        {"ends exactly on the near face", vec3(-1, 0.5f, 0.5f), vec3(1, 0, 0), false},
        {"starts exactly on the far face", vec3(1, 0.5f, 0.5f), vec3(1, 0, 0), false},
        {"along y inside the other slabs", vec3(0.5f, -1, 0.5f), vec3(0, 5, 0), true},
        {"along y outside the x slab", vec3(1.5f, -1, 0.5f), vec3(0, 5, 0), false},
        {"along z with a negative zero", vec3(0.5f, 0.5f, 3), vec3(-0.0f, 0, -5), true},
        {"tiny negative x", vec3(0.5f, -0.5f, 0.5f), vec3(-tiny, 1, 0), true},
        {"tiny negative x outside", vec3(1.5f, -0.5f, 0.5f), vec3(-tiny, 1, 0), false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(k.hit, segment_box(make_ray(k.origin, k.dir), unitBox)) << k.name;
}

TEST(Ray, SegmentBoxMatchesClipping) {
    slmtest::Random rnd(32);
    int hits = 0, misses = 0;
    for (int i = 0; i < 4 * slmtest::RANDOM_CASES; ++i) {
        vec3 p = rnd.vec3(-10, 10), q = rnd.vec3(-10, 10);
        box b{vec3(std::min(p.x, q.x), std::min(p.y, q.y), std::min(p.z, q.z)),
              vec3(std::max(p.x, q.x), std::max(p.y, q.y), std::max(p.z, q.z))};
        vec3 origin = rnd.vec3(-15, 15);
        // Aim at (or near) the box, so that about half of the segments reach it.
        vec3 aim(rnd.uniform(b.min.x - 1, b.max.x + 1), rnd.uniform(b.min.y - 1, b.max.y + 1),
                 rnd.uniform(b.min.z - 1, b.max.z + 1));
        vec3 dir = (aim - origin) * rnd.uniform(0.3f, 1.6f);
        // Now and then a direction along an axis plane, which takes the
        // LARGEST path of make_ray.
        for (int k = 0; k < 3; ++k)
            if (rnd.uniform(0, 1) < 0.15f) dir[k] = (i % 2) ? 0.0f : -0.0f;
        bool nearBoundary = false;
        bool ref = clipReference(origin, dir, b, nearBoundary);
        if (nearBoundary) continue;
        ASSERT_EQ(segment_box(make_ray(origin, dir), b), ref) << "case " << i;
        ++(ref ? hits : misses);
    }
    EXPECT_GT(hits, 1000);
    EXPECT_GT(misses, 1000);
}
