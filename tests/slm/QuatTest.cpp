// slm::quat: product, axis-angle conversions and slerp against GLM, and the
// degenerate inputs (equal and opposite quaternions, w rounded past 1).
#include "SlmReference.h"

#include <cstring>

using namespace slm;
using slmtest::nearMat;
using slmtest::nearVec;
using slmtest::toGlm;

namespace {

// GLM keeps its quaternion as x, y, z, w too, but index it by name.
struct GlmQuat {
    glm::dquat q;
    double operator[](int i) const { return i == 0 ? q.x : i == 1 ? q.y : i == 2 ? q.z : q.w; }
};

bool sameBits(const quat& a, const quat& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(Quat, ProductAndAxisAngleConversionsMatchGlm) {
    slmtest::Random rnd(21);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        SCOPED_TRACE(i);
        quat a = rnd.unitQuat(), b = rnd.unitQuat();
        ASSERT_TRUE(nearVec(multiply(a, b), GlmQuat{toGlm(a) * toGlm(b)}, 4, 1e-6));
        ASSERT_EQ(a * b, multiply(a, b));
        // b acts first, as with matrices.
        ASSERT_TRUE(nearMat(from_quat(a * b), multiply(from_quat(a), from_quat(b)), 1e-5));
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
        quat q = axis_angle_quat(axis, angle);
        ASSERT_TRUE(nearVec(q, GlmQuat{glm::angleAxis(double(angle), glm::normalize(toGlm(axis)))}, 4, 1e-6));
        ASSERT_TRUE(nearMat(from_quat(q), axis_angle(axis, angle), 1e-5));
    }
    // A zero axis is no rotation.
    EXPECT_EQ(axis_angle_quat(vec3(0, 0, 0), 1.0f), quat());
}

TEST(Quat, ToAxisAngleOfNoRotation) {
    // s = 0: the axis is passed through unchanged and the angle is 0.
    angle_axis tiny = to_axis_angle(quat(1e-30f, 0, 0, 1));
    EXPECT_EQ(tiny.angle, 0.0f);
    EXPECT_EQ(tiny.axis, vec3(1e-30f, 0, 0));
    // A normalised quaternion whose w rounded just past 1 still means "no
    // rotation", not NaN.
    float overOne = std::nextafter(1.0f, 2.0f);
    angle_axis rounded = to_axis_angle(quat(0, 0, 0, overOne));
    EXPECT_EQ(rounded.angle, 0.0f);
    EXPECT_TRUE(std::isfinite(rounded.axis.x));
    EXPECT_FLOAT_EQ(to_axis_angle(quat(0, 0, 0, -overOne)).angle, 2 * PI);
}

TEST(Quat, SlerpMatchesGlmMixWithoutSignFlip) {
    // glm::mix, like slerp here, never flips the sign of the second
    // quaternion, so a negative dot takes the longer arc in both.
    slmtest::Random rnd(24);
    int longArcs = 0;
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        SCOPED_TRACE(i);
        quat a = rnd.unitQuat(), b = rnd.unitQuat();
        float t = rnd.uniform(0, 1);
        if (std::fabs(dot(a, b)) > 0.999f) continue;
        if (dot(a, b) < 0) ++longArcs;
        quat s = slerp(a, b, t);
        ASSERT_TRUE(nearVec(s, GlmQuat{glm::mix(toGlm(a), toGlm(b), double(t))}, 4, 1e-4));
        ASSERT_TRUE(nearVec(slerp(a, b, 1.0f), b, 4, 1e-4));
        // Equal quaternions whose dot rounds just below 1 come back as (almost
        // exactly) the same rotation.
        ASSERT_TRUE(nearVec(slerp(a, a, 0.5f), a, 4, 1e-6));
    }
    EXPECT_GT(longArcs, 100);
}

TEST(Quat, SlerpOfEqualOrOppositeQuaternionsReturnsTheFirst) {
    for (const quat& q : {quat(), quat(0.5f, 0.5f, 0.5f, 0.5f), quat(0.6f, 0, 0.8f, 0)}) {
        for (float t : {0.0f, 0.3f, 2.0f}) {
            EXPECT_TRUE(sameBits(slerp(q, q, t), q)) << "t = " << t;
            EXPECT_TRUE(sameBits(slerp(q, quat(-q.x, -q.y, -q.z, -q.w), t), q)) << "t = " << t;
        }
    }
}
