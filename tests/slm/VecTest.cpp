// slm::vec3 / slm::vec4 arithmetic against GLM, and the unguarded unit().
#include "SlmReference.h"

using namespace slm;
using slmtest::nearVec;
using slmtest::toGlm;

TEST(Vec, ArithmeticMatchesGlm) {
    slmtest::Random rnd(11);
    for (int i = 0; i < slmtest::RANDOM_CASES; ++i) {
        vec3 a = rnd.vec3(-100, 100), b = rnd.vec3(-100, 100);
        float s = rnd.uniform(-3, 3);
        glm::dvec3 ga = toGlm(a), gb = toGlm(b);
        ASSERT_TRUE(nearVec(a * s, ga * double(s), 3, 1e-4));
        ASSERT_EQ(s * a, a * s);
        ASSERT_NEAR(dot(a, b), glm::dot(ga, gb), 1e-2);
        ASSERT_TRUE(nearVec(cross(a, b), glm::cross(ga, gb), 3, 1e-2));
        ASSERT_NEAR(length(a), glm::length(ga), 1e-4);
        ASSERT_NEAR(length_squared(a), glm::dot(ga, ga), 1e-2);
        ASSERT_NEAR(distance(a, b), glm::distance(ga, gb), 1e-4);
        ASSERT_TRUE(nearVec(unit(a), glm::normalize(ga), 3, 1e-6));
        ASSERT_TRUE(nearVec(lerp(a, b, s), glm::mix(ga, gb, double(s)), 3, 1e-3));

        vec4 c = rnd.vec4(-100, 100), d = rnd.vec4(-100, 100);
        glm::dvec4 gc = toGlm(c), gd = toGlm(d);
        ASSERT_TRUE(nearVec(s * c, gc * double(s), 4, 1e-4));
        ASSERT_NEAR(dot(c, d), glm::dot(gc, gd), 1e-2);
        ASSERT_NEAR(length(c), glm::length(gc), 1e-4);
        ASSERT_NEAR(distance(c, d), glm::distance(gc, gd), 1e-4);
        ASSERT_TRUE(nearVec(unit(c), glm::normalize(gc), 4, 1e-6));
        ASSERT_TRUE(nearVec(lerp(c, d, s), glm::mix(gc, gd, double(s)), 4, 1e-3));
    }
}

TEST(Vec, UnitOfZeroIsNonFinite) {
    vec3 u = unit(vec3(0, 0, 0));
    EXPECT_FALSE(std::isfinite(u.x) || std::isfinite(u.y) || std::isfinite(u.z));
    vec4 w = unit(vec4(0.0f));
    EXPECT_FALSE(std::isfinite(w.w));
}
