// Shared helpers of the slm tests: conversions to GLM, which serves as the
// independent reference (GLM is column-major and multiplies column vectors
// too, so element i of one is element i of the other), a seeded random
// source, and tolerant comparisons with readable failure messages.
#pragma once
#include "slm/slm.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace slmtest {

inline glm::dmat4 toGlm(const slm::mat4& a) {
    glm::dmat4 r;
    for (int i = 0; i < 16; ++i)
        r[i / 4][i % 4] = a.m[i];
    return r;
}
inline glm::dvec3 toGlm(const slm::vec3& v) {
    return glm::dvec3(v.x, v.y, v.z);
}
inline glm::dvec4 toGlm(const slm::vec4& v) {
    return glm::dvec4(v.x, v.y, v.z, v.w);
}
// glm's quaternion constructor takes w first.
inline glm::dquat toGlm(const slm::quat& q) {
    return glm::dquat(q.w, q.x, q.y, q.z);
}

// Components [0, n) agree within tol.
template <typename V, typename G>
::testing::AssertionResult nearVec(const V& got, const G& want, int n, double tol) {
    for (int i = 0; i < n; ++i) {
        if (!(std::fabs(double(got[i]) - double(want[i])) <= tol)) {
            return ::testing::AssertionFailure() << "component " << i << " is " << got[i] << ", reference "
                                                 << want[i] << " (tolerance " << tol << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// Elements agree within tol × max(1, largest reference magnitude).
inline ::testing::AssertionResult nearMat(const slm::mat4& got, const glm::dmat4& want, double tol) {
    double scale = 1.0;
    for (int i = 0; i < 16; ++i)
        scale = std::max(scale, std::fabs(want[i / 4][i % 4]));
    struct Flat {
        const glm::dmat4& m;
        double operator[](int i) const { return m[i / 4][i % 4]; }
    };
    return nearVec(got.m, Flat{want}, 16, tol * scale);
}

inline ::testing::AssertionResult nearMat(const slm::mat4& got, const slm::mat4& want, double tol) {
    return nearMat(got, toGlm(want), tol);
}

// A fixed-seed source so a failure reproduces.
class Random {
public:
    explicit Random(unsigned seed) : m_engine(seed) {}
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_engine); }
    slm::vec3 vec3(float lo, float hi) {
        return slm::vec3(uniform(lo, hi), uniform(lo, hi), uniform(lo, hi));
    }
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
            slm::quat q(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
            float n = slm::length(q);
            if (n > 0.1f && n <= 1.0f) return slm::unit(q);
        }
    }

private:
    std::mt19937 m_engine;
};

const int RANDOM_CASES = 2000;

} // namespace slmtest
