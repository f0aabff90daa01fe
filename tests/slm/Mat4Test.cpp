// slm::mat4 against GLM (computed in double) on random inputs, plus the
// worked examples and degenerate cases the engine relies on.
#include "SlmReference.h"

#include <glm/gtc/matrix_transform.hpp>

#include <limits>

using namespace slm;
using slmtest::nearMat;
using slmtest::nearVec;
using slmtest::toGlm;

namespace {

bool allFinite(const mat4& a) {
    for (float e : a.m)
        if (!std::isfinite(e)) return false;
    return true;
}

// Hadamard's bound: |det| never exceeds the product of the column lengths, so
// it is the natural scale for the determinant's rounding error.
double hadamard(const mat4& a) {
    double p = 1.0;
    for (int c = 0; c < 4; ++c) p *= std::sqrt(double(length_squared(column(a, c))));
    return p;
}

} // namespace

TEST(Mat4, ProductAndTransformMatchGlm) {
    slmtest::Random rnd(1);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        mat4 a = rnd.mat4(-10, 10), b = rnd.mat4(-10, 10);
        vec4 v = rnd.vec4(-10, 10);
        ASSERT_TRUE(nearMat(multiply(a, b), toGlm(a) * toGlm(b), 1e-5)) << "case " << i;
        ASSERT_EQ(a * b, multiply(a, b));
        glm::dvec4 ref = toGlm(a) * toGlm(v);
        ASSERT_TRUE(nearVec(transform(a, v), ref, 4, 1e-3)) << "case " << i;
        ASSERT_EQ(a * v, transform(a, v));
        ASSERT_TRUE(nearMat(transpose(a), glm::transpose(toGlm(a)), 0.0));
        ASSERT_EQ(transpose(transpose(a)), a);
        ASSERT_TRUE(nearMat(scale_elements(a, 0.5f), toGlm(a) * 0.5, 0.0));
    }
}

TEST(Mat4, RotationActsBeforeTranslation) {
    const float halfPi = PI / 2;
    vec4 p = multiply(translation(vec3(1, 2, 3)), rotation_z(halfPi)) * vec4(1, 0, 0, 1);
    EXPECT_TRUE(nearVec(p, vec4(1, 3, 3, 1), 4, 1e-6));
    // The other order moves first, then turns the moved point.
    vec4 q = multiply(rotation_z(halfPi), translation(vec3(1, 2, 3))) * vec4(1, 0, 0, 1);
    EXPECT_TRUE(nearVec(q, vec4(-2, 2, 3, 1), 4, 1e-6));
}

TEST(Mat4, DeterminantMatchesGlm) {
    slmtest::Random rnd(2);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        mat4 a = rnd.mat4(-10, 10);
        double ref = glm::determinant(toGlm(a));
        ASSERT_NEAR(determinant(a), ref, 1e-5 * hadamard(a)) << "case " << i << ": " << slmtest::describe(a);
    }
    EXPECT_EQ(determinant(identity()), 1.0f);
    EXPECT_EQ(determinant(scale(vec3(2, 3, 4))), 24.0f);
    EXPECT_EQ(determinant(rotation_x(0.0f)), 1.0f);
    // Two equal rows.
    mat4 singular = from_columns(vec4(1, 1, 3, 4), vec4(2, 2, 1, 0), vec4(5, 5, 2, 1), vec4(7, 7, 0, 3));
    EXPECT_EQ(determinant(singular), 0.0f);
}

TEST(Mat4, InverseMatchesGlmAndUndoesTheMatrix) {
    slmtest::Random rnd(3);
    int checked = 0;
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        mat4 a = rnd.mat4(-10, 10);
        glm::dmat4 ref = glm::inverse(toGlm(a));
        // Leave out nearly singular draws, where float rounding dominates.
        if (std::fabs(glm::determinant(toGlm(a))) < 1e-2 * hadamard(a)) continue;
        ++checked;
        mat4 inv = inverse(a);
        ASSERT_TRUE(nearMat(inv, ref, 1e-3)) << "case " << i << ": " << slmtest::describe(a);
        ASSERT_TRUE(nearMat(multiply(a, inv), identity(), 1e-3)) << "case " << i;
        ASSERT_TRUE(nearMat(multiply(inv, a), identity(), 1e-3)) << "case " << i;
    }
    EXPECT_GT(checked, slmtest::RANDOM_CASES / 2);

    // Rigid transforms invert to the reverse motion.
    mat4 m = multiply(translation(vec3(4, -2, 7)), axis_angle(vec3(1, 2, 3), 0.7f));
    mat4 back = multiply(axis_angle(vec3(1, 2, 3), -0.7f), translation(vec3(-4, 2, -7)));
    EXPECT_TRUE(nearMat(inverse(m), back, 1e-5));
}

TEST(Mat4, SingularInverseIsNonFinite) {
    mat4 zero = diagonal(0.0f);
    EXPECT_FALSE(allFinite(inverse(zero)));
    mat4 flat = scale(vec3(1, 1, 0));
    EXPECT_FALSE(allFinite(inverse(flat)));
}

TEST(Mat4, AxisRotationsMatchGlm) {
    slmtest::Random rnd(4);
    const glm::dmat4 one(1.0);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        float a = rnd.uniform(-7, 7);
        ASSERT_TRUE(nearMat(rotation_x(a), glm::rotate(one, double(a), glm::dvec3(1, 0, 0)), 1e-6)) << a;
        ASSERT_TRUE(nearMat(rotation_y(a), glm::rotate(one, double(a), glm::dvec3(0, 1, 0)), 1e-6)) << a;
        ASSERT_TRUE(nearMat(rotation_z(a), glm::rotate(one, double(a), glm::dvec3(0, 0, 1)), 1e-6)) << a;
        vec3 axis = rnd.vec3(-5, 5);
        if (length(axis) < 0.1f) continue;
        // The axis is normalised by the constructor; GLM normalises too.
        ASSERT_TRUE(nearMat(axis_angle(axis, a), glm::rotate(one, double(a), toGlm(axis)), 1e-5))
            << "case " << i;
        ASSERT_NEAR(determinant(axis_angle(axis, a)), 1.0f, 1e-5);
    }
    // Right-handed: a quarter turn about Z takes X to Y, about X takes Y to Z,
    // about Y takes Z to X.
    EXPECT_TRUE(nearVec(rotation_z(PI / 2) * vec4(1, 0, 0, 0), vec4(0, 1, 0, 0), 4, 1e-7));
    EXPECT_TRUE(nearVec(rotation_x(PI / 2) * vec4(0, 1, 0, 0), vec4(0, 0, 1, 0), 4, 1e-7));
    EXPECT_TRUE(nearVec(rotation_y(PI / 2) * vec4(0, 0, 1, 0), vec4(1, 0, 0, 0), 4, 1e-7));
    EXPECT_TRUE(nearMat(axis_angle(vec3(0, 0, 3), 0.4f), rotation_z(0.4f), 1e-7));
    EXPECT_FALSE(allFinite(axis_angle(vec3(0, 0, 0), 0.4f)));
}

TEST(Mat4, FromQuatMatchesGlmAndNormalises) {
    slmtest::Random rnd(5);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        quat q = rnd.unitQuat();
        glm::dmat4 ref = glm::mat4_cast(toGlm(q));
        ASSERT_TRUE(nearMat(from_quat(q), ref, 1e-6)) << "case " << i;
        // Any non-zero multiple is the same rotation.
        float k = rnd.uniform(0.2f, 5.0f) * (i % 2 ? -1.0f : 1.0f);
        ASSERT_TRUE(nearMat(from_quat(quat(q.x * k, q.y * k, q.z * k, q.w * k)), ref, 1e-5)) << "case " << i;
    }
    EXPECT_EQ(from_quat(quat(0, 0, 0, 2)), identity());
    EXPECT_EQ(from_quat(quat()), identity());
    // Half a turn about Y.
    EXPECT_EQ(from_quat(quat(0, 3, 0, 0)), scale(vec3(-1, 1, -1)));
}

TEST(Mat4, PerspectiveMatchesGlmForBothHandedness) {
    slmtest::Random rnd(6);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        float fov = rnd.uniform(0.2f, 2.8f), aspect = rnd.uniform(0.3f, 3.0f);
        float zNear = rnd.uniform(0.01f, 10.0f), zFar = zNear + rnd.uniform(0.5f, 1000.0f);
        glm::dmat4 rh = glm::perspectiveRH_ZO(double(fov), double(aspect), double(zNear), double(zFar));
        glm::dmat4 lh = glm::perspectiveLH_ZO(double(fov), double(aspect), double(zNear), double(zFar));
        ASSERT_TRUE(nearMat(perspective(fov, aspect, zNear, zFar, 1.0f), rh, 1e-5)) << "case " << i;
        ASSERT_TRUE(nearMat(perspective(fov, aspect, zNear, zFar, -1.0f), lh, 1e-5)) << "case " << i;
    }
}

TEST(Mat4, OrthographicMatchesGlmForBothHandedness) {
    slmtest::Random rnd(7);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        float w = rnd.uniform(0.1f, 100.0f), h = rnd.uniform(0.1f, 100.0f);
        float zNear = rnd.uniform(-10.0f, 10.0f), zFar = zNear + rnd.uniform(0.5f, 1000.0f);
        double hw = w / 2.0, hh = h / 2.0;
        glm::dmat4 rh = glm::orthoRH_ZO(-hw, hw, -hh, hh, double(zNear), double(zFar));
        glm::dmat4 lh = glm::orthoLH_ZO(-hw, hw, -hh, hh, double(zNear), double(zFar));
        ASSERT_TRUE(nearMat(orthographic(w, h, zNear, zFar, 1.0f), rh, 1e-5)) << "case " << i;
        ASSERT_TRUE(nearMat(orthographic(w, h, zNear, zFar, -1.0f), lh, 1e-5)) << "case " << i;
    }
    mat4 o = orthographic(4, 2, 1, 11, 1.0f);
    EXPECT_NEAR((o * vec4(2, 1, -1, 1)).z, 0.0f, 1e-6);
    EXPECT_NEAR((o * vec4(2, 1, -11, 1)).z, 1.0f, 1e-6);
    EXPECT_EQ((o * vec4(2, 1, -11, 1)).x, 1.0f);
    EXPECT_EQ((o * vec4(2, 1, -11, 1)).y, 1.0f);
}

TEST(Mat4, LookAtMatchesGlmAndTargetAtIsItsInverse) {
    slmtest::Random rnd(8);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        vec3 eye = rnd.vec3(-50, 50), target = rnd.vec3(-50, 50), up = rnd.vec3(-1, 1);
        vec3 dir = unit(target - eye);
        // Keep clear of up vectors (nearly) parallel to the view direction.
        if (length(eye - target) < 0.5f || length(cross(unit(up), dir)) < 0.2f || length(up) < 0.1f) continue;
        mat4 view = look_at(eye, target, up);
        ASSERT_TRUE(nearMat(view, glm::lookAtRH(toGlm(eye), toGlm(target), toGlm(up)), 1e-5)) << "case " << i;
        mat4 object = target_at(eye, target, up);
        ASSERT_TRUE(nearMat(multiply(view, object), identity(), 1e-5)) << "case " << i;
        ASSERT_TRUE(nearMat(object, inverse(view), 1e-4)) << "case " << i;
        // The object's −Z axis faces the target; the target lies on the view's −Z axis.
        ASSERT_TRUE(nearVec(transform_direction(object, vec3(0, 0, -1)), dir, 3, 1e-5));
        vec3 t = transform_point(view, target);
        ASSERT_NEAR(t.x, 0.0f, 1e-3);
        ASSERT_NEAR(t.y, 0.0f, 1e-3);
        ASSERT_NEAR(t.z, -length(target - eye), 1e-3);
    }
    EXPECT_EQ(look_at(vec3(0, 0, 5), vec3(0, 0, 0), vec3(0, 1, 0)), translation(vec3(0, 0, -5)));
    EXPECT_EQ(target_at(vec3(0, 0, 5), vec3(0, 0, 0), vec3(0, 1, 0)), translation(vec3(0, 0, 5)));
    // An up vector along the view direction leaves the frame undefined.
    EXPECT_FALSE(allFinite(look_at(vec3(0, 5, 0), vec3(0, 0, 0), vec3(0, 1, 0))));
    EXPECT_FALSE(allFinite(look_at(vec3(1, 2, 3), vec3(1, 2, 3), vec3(0, 1, 0))));
}
