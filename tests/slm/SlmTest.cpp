// slm against GLM in double (column-major with column vectors too) on random inputs clear of exact
// boundaries (boxes against an independent clipping), and the degenerate cases the engine relies on.
#include "slm/slm.h"
#define GLM_ENABLE_EXPERIMENTAL
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/intersect.hpp>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace slm;

namespace {

inline glm::dmat4 toGlm(const mat4& a) {
    glm::dmat4 r;
    for (int i = 0; i < 16; ++i)
        r[i / 4][i % 4] = a.m[i];
    return r;
}
inline glm::dvec3 toGlm(const vec3& v) {
    return glm::dvec3(v.x, v.y, v.z);
}
inline glm::dvec4 toGlm(const vec4& v) {
    return glm::dvec4(v.x, v.y, v.z, v.w);
}
// glm's quaternion constructor takes w first; it is indexed x, y, z, w.
inline glm::dquat toGlm(const quat& q) {
    return glm::dquat(q.w, q.x, q.y, q.z);
}

// Components [0, n) agree within tol.
template <typename V, typename G>
::testing::AssertionResult nearVec(const V& got, const G& want, int n, double tol) {
    for (int i = 0; i < n; ++i)
        if (!(std::fabs(double(got[i]) - double(want[i])) <= tol))
            return ::testing::AssertionFailure()
                   << "component " << i << " is " << got[i] << ", not " << want[i];
    return ::testing::AssertionSuccess();
}

// Elements agree within tol × max(1, largest reference magnitude).
inline ::testing::AssertionResult nearMat(const mat4& got, const glm::dmat4& want, double tol) {
    const double* w = glm::value_ptr(want);
    double scale = 1.0;
    for (int i = 0; i < 16; ++i)
        scale = std::max(scale, std::fabs(w[i]));
    return nearVec(got.m, w, 16, tol * scale);
}

class Random {
public:
    explicit Random(unsigned seed) : m_engine(seed) {}
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_engine); }
    slm::vec3 vec3(float lo, float hi) { return {uniform(lo, hi), uniform(lo, hi), uniform(lo, hi)}; }
    slm::vec4 vec4(float lo, float hi) { return slm::vec4(vec3(lo, hi), uniform(lo, hi)); }
    slm::mat4 mat4(float lo, float hi) {
        slm::mat4 m;
        for (float& e : m.m)
            e = uniform(lo, hi);
        return m;
    }
    // A unit quaternion, uniformly spread over the rotations (and their signs).
    slm::quat unitQuat() {
        for (;;) {
            quat q(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
            float n = length(q);
            if (n > 0.1f && n <= 1.0f) return unit(q);
        }
    }

private:
    std::mt19937 m_engine;
};

const int RANDOM_CASES = 2000;

bool allFinite(const mat4& a) {
    return std::all_of(a.m, a.m + 16, [](float e) { return std::isfinite(e); });
}

// Hadamard's bound on |det|, the natural scale of its rounding error.
double hadamard(const mat4& a) {
    double p = 1.0;
    for (int c = 0; c < 4; ++c)
        p *= std::sqrt(double(length_squared(column(a, c))));
    return p;
}

// The segment o + t·d, t in [0, 1], clipped against the box one axis at a time in double; says
// whether the overlap is near a boundary, where float and double may honestly disagree.
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

TEST(Slm, ArithmeticDeterminantAndInverseMatchGlm) {
    Random rnd(1);
    int inverted = 0;
    for (int i = 0; i < RANDOM_CASES; ++i) {
        SCOPED_TRACE(i);
        mat4 a = rnd.mat4(-10, 10), b = rnd.mat4(-10, 10);
        vec4 v = rnd.vec4(-10, 10);
        ASSERT_TRUE(nearMat(a * b, toGlm(a) * toGlm(b), 1e-5));
        ASSERT_TRUE(nearVec(a * v, toGlm(a) * toGlm(v), 4, 1e-3));
        ASSERT_TRUE(nearMat(transpose(a), glm::transpose(toGlm(a)), 0.0));
        ASSERT_TRUE(nearMat(scale_elements(a, 0.5f), toGlm(a) * 0.5, 0.0));
        ASSERT_NEAR(determinant(a), glm::determinant(toGlm(a)), 1e-5 * hadamard(a));
        vec3 p = rnd.vec3(-100, 100), q = rnd.vec3(-100, 100);
        float s = rnd.uniform(-3, 3);
        glm::dvec3 gp = toGlm(p), gq = toGlm(q);
        ASSERT_TRUE(nearVec(s * p, gp * double(s), 3, 1e-4));
        ASSERT_NEAR(length_squared(p), glm::dot(gp, gp), 1e-2);
        ASSERT_NEAR(distance(p, q), glm::distance(gp, gq), 1e-4);
        ASSERT_TRUE(nearVec(lerp(p, q, s), glm::mix(gp, gq, double(s)), 3, 1e-3));
        vec4 c = rnd.vec4(-100, 100), d = rnd.vec4(-100, 100);
        glm::dvec4 gc = toGlm(c), gd = toGlm(d);
        ASSERT_TRUE(nearVec(s * c, gc * double(s), 4, 1e-4));
        ASSERT_NEAR(dot(c, d), glm::dot(gc, gd), 1e-2);
        ASSERT_NEAR(length(c), glm::length(gc), 1e-4);
        ASSERT_NEAR(distance(c, d), glm::distance(gc, gd), 1e-4);
        ASSERT_TRUE(nearVec(unit(c), glm::normalize(gc), 4, 1e-6));
        ASSERT_TRUE(nearVec(lerp(c, d, s), glm::mix(gc, gd, double(s)), 4, 1e-3));
        // Nearly singular draws, where float rounding dominates, are left out.
        if (std::fabs(glm::determinant(toGlm(a))) < 1e-2 * hadamard(a)) continue;
        ++inverted;
        ASSERT_TRUE(nearMat(inverse(a), glm::inverse(toGlm(a)), 1e-3));
    }
    EXPECT_GT(inverted, RANDOM_CASES / 2);
    // Two equal rows.
    mat4 singular = from_columns(vec4(1, 1, 3, 4), vec4(2, 2, 1, 0), vec4(5, 5, 2, 1), vec4(7, 7, 0, 3));
    EXPECT_EQ(determinant(singular), 0.0f);
    EXPECT_FALSE(allFinite(inverse(scale(vec3(1, 1, 0)))));
}

TEST(Mat4, TransformsProjectionsAndViewsMatchGlm) {
    Random rnd(4);
    const glm::dmat4 one(1.0);
    for (int i = 0; i < RANDOM_CASES; ++i) {
        SCOPED_TRACE(i);
        float a = rnd.uniform(-7, 7);
        ASSERT_TRUE(nearMat(rotation_x(a), glm::rotate(one, double(a), glm::dvec3(1, 0, 0)), 1e-6));
        ASSERT_TRUE(nearMat(rotation_y(a), glm::rotate(one, double(a), glm::dvec3(0, 1, 0)), 1e-6));
        ASSERT_TRUE(nearMat(rotation_z(a), glm::rotate(one, double(a), glm::dvec3(0, 0, 1)), 1e-6));
        vec3 v = rnd.vec3(-10, 10);
        ASSERT_TRUE(nearMat(translation(v), glm::translate(one, toGlm(v)), 0.0));
        ASSERT_TRUE(nearMat(scale(v), glm::scale(one, toGlm(v)), 0.0));
        double fov = rnd.uniform(0.2f, 2.8f), aspect = rnd.uniform(0.3f, 3.0f);
        double n = rnd.uniform(0.01f, 10.0f), f = n + rnd.uniform(0.5f, 1000.0f);
        ASSERT_TRUE(
            nearMat(perspective(fov, aspect, n, f, 1.0f), glm::perspectiveRH_ZO(fov, aspect, n, f), 1e-5));
        ASSERT_TRUE(
            nearMat(perspective(fov, aspect, n, f, -1.0f), glm::perspectiveLH_ZO(fov, aspect, n, f), 1e-5));
        double hw = rnd.uniform(0.05f, 50.0f), hh = rnd.uniform(0.05f, 50.0f);
        n = -n; // a near plane behind the eye
        ASSERT_TRUE(
            nearMat(orthographic(2 * hw, 2 * hh, n, f, 1.0f), glm::orthoRH_ZO(-hw, hw, -hh, hh, n, f), 1e-5));
        ASSERT_TRUE(nearMat(orthographic(2 * hw, 2 * hh, n, f, -1.0f),
                            glm::orthoLH_ZO(-hw, hw, -hh, hh, n, f), 1e-5));
        // Any non-zero multiple of a quaternion is the same rotation.
        quat q = rnd.unitQuat();
        float k = rnd.uniform(0.2f, 5.0f) * (i % 2 ? -1.0f : 1.0f);
        ASSERT_TRUE(
            nearMat(from_quat(quat(q.x * k, q.y * k, q.z * k, q.w * k)), glm::mat4_cast(toGlm(q)), 1e-5));
        vec3 eye = rnd.vec3(-50, 50), target = rnd.vec3(-50, 50), up = rnd.vec3(-1, 1);
        vec3 dir = unit(target - eye);
        // Keep clear of up vectors (nearly) parallel to the view direction.
        if (length(eye - target) >= 0.5f && length(cross(unit(up), dir)) >= 0.2f && length(up) >= 0.1f) {
            mat4 view = look_at(eye, target, up);
            ASSERT_TRUE(nearMat(view, glm::lookAtRH(toGlm(eye), toGlm(target), toGlm(up)), 1e-5));
            mat4 object = target_at(eye, target, up);
            ASSERT_TRUE(nearMat(view * object, toGlm(identity()), 1e-5));
            // The object's −Z axis faces the target.
            ASSERT_TRUE(nearVec(transform_direction(object, vec3(0, 0, -1)), dir, 3, 1e-5));
        }
        vec3 axis = rnd.vec3(-5, 5);
        if (length(axis) < 0.1f) continue;
        // The axis is normalised by the constructor; GLM normalises too.
        ASSERT_TRUE(nearMat(axis_angle(axis, a), glm::rotate(one, double(a), toGlm(axis)), 1e-5));
    }
    EXPECT_FALSE(allFinite(axis_angle(vec3(0, 0, 0), 0.4f)));
    // An up vector along the view direction leaves the frame undefined.
    EXPECT_FALSE(allFinite(look_at(vec3(0, 5, 0), vec3(0, 0, 0), vec3(0, 1, 0))));
    EXPECT_FALSE(allFinite(look_at(vec3(1, 2, 3), vec3(1, 2, 3), vec3(0, 1, 0))));
}

TEST(Quat, ProductSlerpAndAxisAngleConversionsMatchGlm) {
    Random rnd(21);
    int longArcs = 0;
    for (int i = 0; i < RANDOM_CASES; ++i) {
        SCOPED_TRACE(i);
        quat a = rnd.unitQuat(), b = rnd.unitQuat();
        ASSERT_TRUE(nearVec(a * b, toGlm(a) * toGlm(b), 4, 1e-6));
        // Like glm::mix, slerp never flips the second's sign: a negative dot takes the longer arc.
        float t = rnd.uniform(0, 1);
        if (std::fabs(dot(a, b)) < 0.999f) {
            longArcs += dot(a, b) < 0;
            ASSERT_TRUE(nearVec(slerp(a, b, t), glm::mix(toGlm(a), toGlm(b), double(t)), 4, 1e-4));
            ASSERT_TRUE(nearVec(slerp(a, b, 1.0f), b, 4, 1e-4));
        }
        // Equal quaternions whose dot rounds just below 1 give the same rotation.
        ASSERT_TRUE(nearVec(slerp(a, a, 0.5f), a, 4, 1e-6));
        // The axis is ill-defined near no rotation. glm::angle answers the
        // short angle when w < −cos(1/2); 2·acos(w) is the long one there.
        if (std::fabs(a.w) < 0.999f) {
            angle_axis r = to_axis_angle(a);
            double refAngle = glm::angle(toGlm(a));
            if (a.w < -std::cos(0.5)) refAngle = 2 * glm::pi<double>() - refAngle;
            ASSERT_NEAR(r.angle, refAngle, 1e-3);
            ASSERT_TRUE(nearVec(r.axis, glm::axis(toGlm(a)), 3, 1e-3));
        }
        vec3 axis = rnd.vec3(-5, 5);
        float angle = rnd.uniform(-6, 6);
        if (length(axis) < 0.1f) continue;
        ASSERT_TRUE(nearVec(axis_angle_quat(axis, angle),
                            glm::angleAxis(double(angle), glm::normalize(toGlm(axis))), 4, 1e-6));
    }
    EXPECT_GT(longArcs, 100);
    // A zero axis is no rotation.
    EXPECT_EQ(axis_angle_quat(vec3(0, 0, 0), 1.0f), quat());
    // No rotation back: s = 0: the axis is passed through unchanged and the angle is 0.
    angle_axis tiny = to_axis_angle(quat(1e-30f, 0, 0, 1));
    EXPECT_EQ(tiny.angle, 0.0f);
    EXPECT_EQ(tiny.axis, vec3(1e-30f, 0, 0));
    // A normalised quaternion whose w rounded past 1 means no rotation, not NaN.
    float overOne = std::nextafter(1.0f, 2.0f);
    angle_axis rounded = to_axis_angle(quat(0, 0, 0, overOne));
    EXPECT_EQ(rounded.angle, 0.0f);
    EXPECT_TRUE(std::isfinite(rounded.axis.x));
    EXPECT_FLOAT_EQ(to_axis_angle(quat(0, 0, 0, -overOne)).angle, 2 * PI);
    // Equal or opposite quaternions give the first one back, bit for bit.
    for (const quat& q : {quat(), quat(0.5f, 0.5f, 0.5f, 0.5f), quat(0.6f, 0, 0.8f, 0)}) {
        for (float t : {0.0f, 0.3f, 2.0f}) {
            quat same = slerp(q, q, t), opposite = slerp(q, quat(-q.x, -q.y, -q.z, -q.w), t);
            EXPECT_EQ(0, std::memcmp(&same, &q, sizeof q)) << "t = " << t;
            EXPECT_EQ(0, std::memcmp(&opposite, &q, sizeof q)) << "t = " << t;
        }
    }
}

TEST(Ray, SegmentTriangleMatchesGlmAndItsEdgeCases) {
    Random rnd(31);
    int hits = 0, misses = 0;
    for (int i = 0; i < 4 * RANDOM_CASES; ++i) {
        vec3 a = rnd.vec3(-5, 5), b = rnd.vec3(-5, 5), c = rnd.vec3(-5, 5);
        vec3 origin = rnd.vec3(-10, 10);
        // Aim near the triangle, so that about half of the segments reach it.
        vec3 aim = a + (b - a) * rnd.uniform(-0.3f, 1.3f) + (c - a) * rnd.uniform(-0.3f, 1.3f);
        vec3 dir = (aim - origin) * rnd.uniform(0.6f, 1.6f);
        glm::dvec2 bary;
        double dist = 0;
        bool ref =
            glm::intersectRayTriangle(toGlm(origin), toGlm(dir), toGlm(a), toGlm(b), toGlm(c), bary, dist);
        if (glm::length(glm::cross(toGlm(b - a), toGlm(c - a))) < 0.5) continue; // sliver triangles
        if (ref) {
            const double m = 1e-3;
            if (std::fabs(bary.x) < m || std::fabs(bary.y) < m || std::fabs(1 - bary.x - bary.y) < m)
                continue;
            if (std::fabs(dist) < m || std::fabs(dist - 1) < m) continue;
            ref = dist >= 0 && dist < 1;
        }
        float t = -1;
        ASSERT_EQ(segment_triangle(origin, dir, a, b, c, &t), ref) << "case " << i;
        ASSERT_NEAR(t, ref ? dist : -1.0, 1e-4) << "case " << i; // a miss leaves t alone
        ++(ref ? hits : misses);
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(misses, 500);
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

TEST(Ray, SegmentBoxMatchesClippingAndItsEdgeCases) {
    Random rnd(32);
    int hits = 0, misses = 0;
    for (int i = 0; i < 4 * RANDOM_CASES; ++i) {
        vec3 p = rnd.vec3(-10, 10), q = rnd.vec3(-10, 10);
        box b{vec3(std::min(p.x, q.x), std::min(p.y, q.y), std::min(p.z, q.z)),
              vec3(std::max(p.x, q.x), std::max(p.y, q.y), std::max(p.z, q.z))};
        vec3 origin = rnd.vec3(-15, 15);
        // Aim at (or near) the box, so that about half of the segments reach it.
        vec3 aim(rnd.uniform(b.min.x - 1, b.max.x + 1), rnd.uniform(b.min.y - 1, b.max.y + 1),
                 rnd.uniform(b.min.z - 1, b.max.z + 1));
        vec3 dir = (aim - origin) * rnd.uniform(0.3f, 1.6f);
        // Now and then a direction along an axis plane (the LARGEST path of make_ray).
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
        {"along z with a negative zero", vec3(0.5f, 0.5f, 3), vec3(-0.0f, 0, -5), true},
        {"tiny negative x", vec3(0.5f, -0.5f, 0.5f), vec3(-tiny, 1, 0), true},
        {"tiny negative x outside", vec3(1.5f, -0.5f, 0.5f), vec3(-tiny, 1, 0), false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(k.hit, segment_box(make_ray(k.origin, k.dir), unitBox)) << k.name;
}
