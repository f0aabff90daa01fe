// Keyframe sequences, controllers and tracks: sequence time, keyframe
// interpolation, blending by weight, active intervals, the apply rules of
// every property on every target class, SLERP and SQUAD against GLM, and the
// steady state of animate (no pool allocation after the first call).
#include "core/Exceptions.h"
#include "render/AnimationTrack.h"
#include "render/Appearance.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Light.h"
#include "render/VertexBuffer.h"
#include "render/World.h"
#include "support/EngineFixture.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/quaternion.hpp>
#include <glm/gtx/quaternion.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace render;
using testsupport::CoreTest;

namespace {

typedef KeyframeSequence KS;

struct Key {
    int time;
    std::vector<float> v;
};

KeyframeSequence* sequence(int interpolation, int repeat, int duration, const std::vector<Key>& keys) {
    int components = (int)keys[0].v.size();
    KeyframeSequence* s = M3D_NEW KeyframeSequence((int)keys.size(), components, interpolation);
    for (int i = 0; i < (int)keys.size(); ++i) s->setKeyframe(i, keys[i].time, keys[i].v.data());
    s->setRepeatMode(repeat);
    s->setDuration(duration);
    return s;
}

AnimationTrack* track(KeyframeSequence* s, int property, float weight = 1.0f, int start = 0, int end = 0) {
    AnimationTrack* t = M3D_NEW AnimationTrack(s, property);
    AnimationController* c = M3D_NEW AnimationController();
    c->setWeight(weight);
    c->setActiveInterval(start, end);
    t->setController(c);
    return t;
}

TEST_F(CoreTest, SequenceTimeFollowsControllerAndRepeatMode) {
    struct Row {
        const char* what;
        float speed;
        int refWorld;
        float refSequence;
        int repeat, duration, world, expected;
    } rows[] = {
        // -2 + 0.5 truncates to -1 (towards zero).
        {"LOOP wraps a negative time", 1, 0, 0, KS::LOOP, 1000, -2, 999},
        {"LOOP wraps past the end", 1, 0, 0, KS::LOOP, 1000, 2500, 500},
        {"LOOP far before the start", 1, 0, 0, KS::LOOP, 1000, -2002, 999},
        {"CONSTANT clamps at the end", 1, 0, 0, KS::CONSTANT, 1000, 1500, 999},
        {"CONSTANT clamps below 0", 1, 0, 0, KS::CONSTANT, 1000, -5, 0},
        {"speed and reference world time", 2, 100, 0, KS::CONSTANT, 1000, 350, 500},
        {"reference sequence time", 1, 0, 250, KS::LOOP, 1000, 800, 50},
        {"rounds half up", 0.5f, 0, 0, KS::CONSTANT, 1000, 3, 2},
        {"LOOP with duration 0 stays at 0", 1, 0, 0, KS::LOOP, 0, 1234, 0},
        {"a huge speed saturates instead of overflowing", 1e9f, 0, 0, KS::CONSTANT, 1000, 2000000000, 999},
        {"a huge negative speed saturates too", -1e9f, 0, 0, KS::LOOP, 1000, 2000000000, 352},
    };
    for (const Row& r : rows) {
        core::Ref<AnimationController> c(M3D_NEW AnimationController());
        c->setSpeed(r.speed);
        c->setPosition(r.refSequence, r.refWorld);
        core::Ref<KeyframeSequence> s(sequence(KS::LINEAR, r.repeat, r.duration, {{0, {0.0f}}}));
        EXPECT_EQ(r.expected, s->mapTime(c->sequenceTime(r.world))) << r.what;
    }
}

TEST_F(CoreTest, KeyframeInterpolationTable) {
    // Hand-computed values; SPLINE is p + d·(s/2 + 3s²/2 - s³) with d = q - p.
    struct Row {
        const char* what;
        int interpolation, repeat, duration;
        std::vector<Key> keys;
        int time;
        std::vector<float> expected;
        int first = -1, last = -1;
    } rows[] = {
        {"LINEAR a quarter in", KS::LINEAR, KS::CONSTANT, 1000, {{0, {0, 4}}, {100, {10, 8}}}, 25, {2.5f, 5}},
        {"LINEAR at a keyframe", KS::LINEAR, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}, {200, {30}}}, 100, {10}},
        {"STEP before the middle", KS::STEP, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}}, 49, {0}},
        {"STEP at the middle", KS::STEP, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}}, 50, {10}},
        {"SPLINE at the middle", KS::SPLINE, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}}, 50, {5}},
        {"SPLINE a quarter in", KS::SPLINE, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}}, 25, {2.03125f}},
        {"before the first keyframe", KS::LINEAR, KS::CONSTANT, 1000, {{50, {3}}, {100, {10}}}, 10, {3}},
        {"CONSTANT holds the last keyframe", KS::LINEAR, KS::CONSTANT, 1000, {{0, {0}}, {100, {10}}}, 600, {10}},
        {"LOOP heads back to the first", KS::LINEAR, KS::LOOP, 200, {{0, {0}}, {100, {10}}}, 150, {5}},
        {"equal neighbouring times give the earlier", KS::LINEAR, KS::LOOP, 0, {{0, {1}}, {0, {5}}}, 0, {5}},
        {"one valid keyframe", KS::LINEAR, KS::LOOP, 1000, {{0, {1}}, {10, {7}}, {20, {9}}}, 500, {7}, 1, 1},
        {"valid range skips outer keys", KS::LINEAR, KS::CONSTANT, 1000,
         {{0, {100}}, {10, {0}}, {30, {20}}, {40, {100}}}, 20, {10}, 1, 2},
        {"a valid range that wraps", KS::LINEAR, KS::CONSTANT, 1000,
         {{40, {100}}, {50, {100}}, {20, {0}}, {30, {20}}}, 25, {10}, 2, 0},
        {"eight components", KS::LINEAR, KS::CONSTANT, 1000,
         {{0, {0, 1, 2, 3, 4, 5, 6, 7}}, {10, {10, 11, 12, 13, 14, 15, 16, 27}}}, 5,
         {5, 6, 7, 8, 9, 10, 11, 17}},
    };
    for (const Row& r : rows) {
        core::Ref<KeyframeSequence> s(sequence(r.interpolation, r.repeat, r.duration, r.keys));
        if (r.first >= 0) s->setValidRange(r.first, r.last);
        std::vector<float> out(r.expected.size() + 1, -12345.0f);
        s->sample(s->mapTime(r.time), out.data());
        for (size_t k = 0; k < r.expected.size(); ++k) EXPECT_NEAR(r.expected[k], out[k], 1e-5f) << r.what << " [" << k << "]";
        EXPECT_EQ(-12345.0f, out.back()) << r.what << ": nothing written past the components";
    }
}

TEST_F(CoreTest, TracksBlendByWeightWithinTheirIntervals) {
    core::Ref<KeyframeSequence> a(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {4, 8, 12}}}));
    core::Ref<KeyframeSequence> b(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {100, 200, 300}}}));
    core::Ref<KeyframeSequence> c(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {1000, 1000, 1000}}}));
    struct Row {
        int time;
        slm::vec3 expected;
    } rows[] = {
        // a·0.25 + b·0.5, plus c·1 while its interval [100, 200) is open.
        {0, slm::vec3(51, 102, 153)},
        {100, slm::vec3(1051, 1102, 1153)},
        {199, slm::vec3(1051, 1102, 1153)},
        {200, slm::vec3(51, 102, 153)},
    };
    core::Ref<Group> node(M3D_NEW Group());
    node->addAnimationTrack(track(a.get(), AnimationTrack::TRANSLATION, 0.25f));
    node->addAnimationTrack(track(b.get(), AnimationTrack::TRANSLATION, 0.5f));
    node->addAnimationTrack(track(c.get(), AnimationTrack::TRANSLATION, 1.0f, 100, 200));
    node->addAnimationTrack(track(c.get(), AnimationTrack::SCALE, 1.0f, 500, 600));
    for (const Row& r : rows) {
        node->animate(r.time);
        EXPECT_EQ(r.expected, node->getTranslation()) << "time " << r.time;
        EXPECT_EQ(slm::vec3(1, 1, 1), node->getScale()) << "a property without an active track is left alone";
    }
}

// Every field the apply rules may touch, as text, so that "unchanged" can be
// checked for every object at once.
std::string state(Object3D* o) {
    std::ostringstream s;
    if (Node* n = dynamic_cast<Node*>(o))
        s << "alpha " << n->getAlphaFactor() << " pick " << n->isPickingEnabled() << " render " << n->isRenderingEnabled()
          << " t " << n->getTranslation().x << "," << n->getTranslation().y << "," << n->getTranslation().z << " s "
          << n->getScale().x << "," << n->getScale().y << "," << n->getScale().z << " q " << n->getOrientation().x << ","
          << n->getOrientation().y << "," << n->getOrientation().z << "," << n->getOrientation().w;
    if (Material* m = dynamic_cast<Material*>(o))
        s << std::hex << " amb " << m->getAmbient() << " dif " << m->getDiffuse() << " emi " << m->getEmissive() << " spe "
          << m->getSpecular() << std::dec << " shin " << m->getShininess();
    if (Background* b = dynamic_cast<Background*>(o))
        s << std::hex << " col " << b->getColor() << std::dec << " crop " << b->getCropX() << "," << b->getCropY() << ","
          << b->getCropWidth() << "," << b->getCropHeight();
    if (Fog* f = dynamic_cast<Fog*>(o))
        s << std::hex << " col " << f->getColor() << std::dec << " dens " << f->getDensity() << " lin "
          << f->getNearDistance() << "," << f->getFarDistance();
    if (Light* l = dynamic_cast<Light*>(o))
        s << std::hex << " col " << l->getColor() << std::dec << " int " << l->getIntensity() << " spot "
          << l->getSpotAngle() << "," << l->getSpotExponent();
    if (Camera* c = dynamic_cast<Camera*>(o)) {
        float p[4];
        c->getProjection(p);
        s << " proj " << p[0] << "," << p[1] << "," << p[2] << "," << p[3];
    }
    if (VertexBuffer* vb = dynamic_cast<VertexBuffer*>(o)) s << std::hex << " def " << vb->getDefaultColor();
    return s.str();
}

TEST_F(CoreTest, ApplyRulesPerPropertyAndClass) {
    typedef AnimationTrack T;
    struct Row {
        const char* what;
        int property;
        std::vector<float> v;
        std::vector<std::string> changed; // class names whose state changes
        std::function<void(Object3D**)> check;
    };
    // Objects: 0 node, 1 material, 2 background, 3 fog, 4 light, 5 perspective camera,
    // 6 parallel camera, 7 vertex buffer, 8 appearance (no property of its own).
    auto fresh = [](core::Ref<Object3D>* keep) {
        Material* m = M3D_NEW Material();
        Background* b = M3D_NEW Background();
        b->setColor(0x80102030u);
        b->setCrop(1, 2, 30, 40);
        Fog* f = M3D_NEW Fog();
        Light* l = M3D_NEW Light();
        l->setSpotAngle(45);
        l->setSpotExponent(0);
        Camera* p = M3D_NEW Camera();
        p->setPerspective(60, 1.5f, 1, 100);
        Camera* q = M3D_NEW Camera();
        q->setParallel(10, 2, 1, 50);
        VertexBuffer* vb = M3D_NEW VertexBuffer();
        vb->setDefaultColor(0x7F112233u);
        Object3D* all[9] = {M3D_NEW Group(), m, b, f, l, p, q, vb, M3D_NEW Appearance()};
        for (int i = 0; i < 9; ++i) keep[i] = all[i];
    };
    auto mat = [](Object3D** o) { return static_cast<Material*>(o[1]); };
    auto bg = [](Object3D** o) { return static_cast<Background*>(o[2]); };
    auto fog = [](Object3D** o) { return static_cast<Fog*>(o[3]); };
    auto light = [](Object3D** o) { return static_cast<Light*>(o[4]); };
    auto cam = [](Object3D** o, int i) {
        float p[4];
        static_cast<Camera*>(o[i])->getProjection(p);
        return std::vector<float>(p, p + 4);
    };
    Row rows[] = {
        {"ALPHA above 1 is 1", T::ALPHA, {1.5f}, {"background", "vb"}, [&](Object3D** o) {
             EXPECT_EQ(1.0f, static_cast<Node*>(o[0])->getAlphaFactor());
             EXPECT_EQ(0xFFCCCCCCu, mat(o)->getDiffuse());
             EXPECT_EQ(0xFF102030u, bg(o)->getColor());
             EXPECT_EQ(0xFF112233u, static_cast<VertexBuffer*>(o[7])->getDefaultColor());
         }},
        {"ALPHA rounds to the nearest byte", T::ALPHA, {0.5f}, {"node", "light", "pcam", "ocam", "material", "vb"}, [&](Object3D** o) {
             EXPECT_EQ(0.5f, static_cast<Node*>(o[0])->getAlphaFactor());
             EXPECT_EQ(0x80CCCCCCu, mat(o)->getDiffuse());
             EXPECT_EQ(0x80112233u, static_cast<VertexBuffer*>(o[7])->getDefaultColor());
         }},
        {"ALPHA below 0 gives byte 0", T::ALPHA, {-0.5f},
         {"node", "light", "pcam", "ocam", "material", "background", "vb"}, [&](Object3D** o) {
             EXPECT_EQ(0x00102030u, bg(o)->getColor());
         }},
        {"AMBIENT_COLOR packs 0xRRGGBB, clamps, keeps alpha", T::AMBIENT_COLOR, {1.0f, 0.5f, 2.0f}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(0x0080FFu | 0xFF0000u, mat(o)->getAmbient()); }},
        {"DIFFUSE_COLOR keeps the diffuse alpha", T::DIFFUSE_COLOR, {0.0f, 1.0f, -3.0f}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(0xFF00FF00u, mat(o)->getDiffuse()); }},
        {"EMISSIVE_COLOR", T::EMISSIVE_COLOR, {0.2f, 0.4f, 0.6f}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(0x336699u, mat(o)->getEmissive()); }},
        {"SPECULAR_COLOR", T::SPECULAR_COLOR, {1, 1, 1}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(0xFFFFFFu, mat(o)->getSpecular()); }},
        {"COLOR goes to the first matching class", T::COLOR, {1.0f, 0.0f, 0.5f}, {"background", "fog", "light", "vb"},
         [&](Object3D** o) {
             EXPECT_EQ(0xFF0080u, light(o)->getColor());
             EXPECT_EQ(0x80FF0080u, bg(o)->getColor());
             EXPECT_EQ(0xFF0080u, fog(o)->getColor());
             EXPECT_EQ(0x7FFF0080u, static_cast<VertexBuffer*>(o[7])->getDefaultColor());
         }},
        {"CROP with 4 components truncates", T::CROP, {3.9f, -2.5f, 10.7f, 20.2f}, {"background"},
         [&](Object3D** o) {
             EXPECT_EQ(3, bg(o)->getCropX());
             EXPECT_EQ(-2, bg(o)->getCropY());
             EXPECT_EQ(10, bg(o)->getCropWidth());
             EXPECT_EQ(20, bg(o)->getCropHeight());
         }},
        {"CROP with 2 components keeps the size", T::CROP, {5, 6}, {"background"}, [&](Object3D** o) {
             EXPECT_EQ(5, bg(o)->getCropX());
             EXPECT_EQ(30, bg(o)->getCropWidth());
             EXPECT_EQ(40, bg(o)->getCropHeight());
         }},
        {"CROP with a negative size empties it", T::CROP, {0, 0, -4, 8}, {"background"},
         [&](Object3D** o) { EXPECT_EQ(0, bg(o)->getCropWidth()); }},
        {"DENSITY below 0 is 0", T::DENSITY, {-1}, {"fog"}, [&](Object3D** o) { EXPECT_EQ(0.0f, fog(o)->getDensity()); }},
        {"FAR_DISTANCE", T::FAR_DISTANCE, {-5}, {"fog", "pcam", "ocam"}, [&](Object3D** o) {
             EXPECT_EQ(1.1754944e-38f, cam(o, 5)[3]) << "perspective: positive";
             EXPECT_EQ(-5.0f, cam(o, 6)[3]) << "parallel: as given";
             EXPECT_EQ(-5.0f, fog(o)->getFarDistance());
             EXPECT_EQ(0.0f, fog(o)->getNearDistance());
         }},
        {"NEAR_DISTANCE", T::NEAR_DISTANCE, {2}, {"fog", "pcam", "ocam"}, [&](Object3D** o) {
             EXPECT_EQ(2.0f, cam(o, 5)[2]);
             EXPECT_EQ(2.0f, cam(o, 6)[2]);
             EXPECT_EQ(2.0f, fog(o)->getNearDistance());
             EXPECT_EQ(1.0f, fog(o)->getFarDistance());
         }},
        {"NEAR_DISTANCE equal to far keeps the projection", T::NEAR_DISTANCE, {50}, {"fog", "pcam"},
         [&](Object3D** o) { EXPECT_EQ(1.0f, cam(o, 6)[2]); }},
        {"FIELD_OF_VIEW", T::FIELD_OF_VIEW, {200}, {"pcam", "ocam"}, [&](Object3D** o) {
             EXPECT_EQ(180.0f, cam(o, 5)[0]);
             EXPECT_EQ(200.0f, cam(o, 6)[0]);
         }},
        {"FIELD_OF_VIEW of a parallel camera stays positive", T::FIELD_OF_VIEW, {-1}, {"pcam", "ocam"},
         [&](Object3D** o) { EXPECT_EQ(1.1754944e-38f, cam(o, 6)[0]); }},
        {"INTENSITY", T::INTENSITY, {3}, {"light"}, [&](Object3D** o) { EXPECT_EQ(3.0f, light(o)->getIntensity()); }},
        {"MORPH_WEIGHTS does nothing here", T::MORPH_WEIGHTS, {1, 1}, {}, nullptr},
        {"ORIENTATION normalises", T::ORIENTATION, {0, 0, 2, 2}, {"node", "light", "pcam", "ocam"}, [&](Object3D** o) {
             slm::quat q = static_cast<Node*>(o[0])->getOrientation();
             EXPECT_NEAR(0.70710677f, q.z, 1e-6f);
             EXPECT_NEAR(0.70710677f, q.w, 1e-6f);
         }},
        {"ORIENTATION of zero length is ignored", T::ORIENTATION, {0, 0, 0, 0}, {}, nullptr},
        {"PICKABILITY 0.5 disables", T::PICKABILITY, {0.5f}, {"node", "light", "pcam", "ocam"},
         [&](Object3D** o) { EXPECT_FALSE(static_cast<Node*>(o[0])->isPickingEnabled()); }},
        {"SCALE with one component is uniform", T::SCALE, {2}, {"node", "light", "pcam", "ocam"},
         [&](Object3D** o) { EXPECT_EQ(slm::vec3(2, 2, 2), static_cast<Node*>(o[0])->getScale()); }},
        {"SCALE with three", T::SCALE, {2, 3, 4}, {"node", "light", "pcam", "ocam"},
         [&](Object3D** o) { EXPECT_EQ(slm::vec3(2, 3, 4), static_cast<Node*>(o[0])->getScale()); }},
        {"SHININESS above 128", T::SHININESS, {300}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(128.0f, mat(o)->getShininess()); }},
        {"SHININESS negative passes", T::SHININESS, {-3}, {"material"},
         [&](Object3D** o) { EXPECT_EQ(-3.0f, mat(o)->getShininess()); }},
        {"SPOT_ANGLE above 90", T::SPOT_ANGLE, {120}, {"light"}, [&](Object3D** o) { EXPECT_EQ(90.0f, light(o)->getSpotAngle()); }},
        {"SPOT_EXPONENT above 128", T::SPOT_EXPONENT, {129}, {"light"},
         [&](Object3D** o) { EXPECT_EQ(128.0f, light(o)->getSpotExponent()); }},
        {"TRANSLATION", T::TRANSLATION, {1, 2, 3}, {"node", "light", "pcam", "ocam"},
         [&](Object3D** o) { EXPECT_EQ(slm::vec3(1, 2, 3), static_cast<Node*>(o[0])->getTranslation()); }},
        {"VISIBILITY 0.51 enables", T::VISIBILITY, {0.51f}, {}, nullptr},
        {"VISIBILITY 0.5 disables", T::VISIBILITY, {0.5f}, {"node", "light", "pcam", "ocam"},
         [&](Object3D** o) { EXPECT_FALSE(static_cast<Node*>(o[0])->isRenderingEnabled()); }},
    };
    const char* names[9] = {"node", "material", "background", "fog", "light", "pcam", "ocam", "vb", "appearance"};
    for (const Row& r : rows) {
        core::Ref<Object3D> keep[9];
        fresh(keep);
        Object3D* o[9];
        std::string before[9];
        for (int i = 0; i < 9; ++i) {
            o[i] = keep[i].get();
            before[i] = state(o[i]);
        }
        for (int i = 0; i < 9; ++i) AnimationTrack::applyProperty(o[i], r.property, r.v.data(), (int)r.v.size());
        for (int i = 0; i < 9; ++i) {
            bool expected = std::find(r.changed.begin(), r.changed.end(), names[i]) != r.changed.end();
            EXPECT_EQ(expected, before[i] != state(o[i])) << r.what << ": " << names[i] << " " << state(o[i]);
        }
        if (r.check) r.check(o);
    }
}

// GLM keeps x, y, z, w too but takes w first in its constructor.
glm::quat toGlm(const float* q) { return glm::quat(q[3], q[0], q[1], q[2]); }

::testing::AssertionResult sameRotation(const float* got, const glm::quat& want, float tolerance) {
    float d = std::fabs(got[0] - want.x) + std::fabs(got[1] - want.y) + std::fabs(got[2] - want.z) + std::fabs(got[3] - want.w);
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got[0] << ", " << got[1] << ", " << got[2] << ", " << got[3]
                                         << ") want (" << want.x << ", " << want.y << ", " << want.z << ", " << want.w << ")";
}

std::vector<float> randomQuat(std::mt19937& rnd) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    return {n(rnd), n(rnd), n(rnd), n(rnd)};
}

TEST_F(CoreTest, SlerpMatchesGlmAndStoredKeysAreUnit) {
    std::mt19937 rnd(7);
    for (int i = 0; i < 200; ++i) {
        std::vector<float> a = randomQuat(rnd), b = randomQuat(rnd);
        core::Ref<KeyframeSequence> s(sequence(KS::SLERP, KS::CONSTANT, 1000, {{0, a}, {100, b}}));
        float p[4], q[4];
        s->getKeyframe(0, p);
        s->getKeyframe(1, q);
        EXPECT_NEAR(1.0f, glm::length(toGlm(p)), 1e-6f);
        // GLM's slerp takes the shorter arc; the sequence follows the keys as
        // stored, so compare where the two agree.
        if (glm::dot(toGlm(p), toGlm(q)) < 0.0f) continue;
        int t = (int)(rnd() % 101);
        float out[4];
        s->sample(t, out);
        ASSERT_TRUE(sameRotation(out, glm::slerp(toGlm(p), toGlm(q), t / 100.0f), 2e-5f)) << "case " << i << " t " << t;
    }
}

TEST_F(CoreTest, SquadMatchesGlmForEvenKeysAndIsContinuous) {
    std::mt19937 rnd(11);
    for (int c = 0; c < 50; ++c) {
        // Five evenly spaced keys; the inner intervals have both neighbours.
        std::vector<Key> keys;
        for (int k = 0; k < 5; ++k) keys.push_back({k * 100, randomQuat(rnd)});
        core::Ref<KeyframeSequence> s(sequence(KS::SQUAD, KS::CONSTANT, 1000, keys));
        glm::quat q[5];
        for (int k = 0; k < 5; ++k) {
            float v[4];
            s->getKeyframe(k, v);
            q[k] = toGlm(v);
        }
        for (int k = 1; k + 2 < 5; ++k) {
            glm::quat a = glm::intermediate(q[k - 1], q[k], q[k + 1]);
            glm::quat b = glm::intermediate(q[k], q[k + 1], q[k + 2]);
            for (int t : {0, 13, 50, 77, 99}) {
                float out[4];
                s->sample(k * 100 + t, out);
                ASSERT_TRUE(sameRotation(out, glm::squad(q[k], q[k + 1], a, b, t / 100.0f), 2e-4f))
                    << "case " << c << " key " << k << " t " << t;
            }
        }
    }
    // Uneven spacing, looping and not: every keyframe is reached without a
    // jump. Keys are a random walk of rotations up to 1 radian apart; the
    // last step into a key must be no larger than a few of the steps before it.
    auto distance = [](const float* a, const float* b) {
        return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) + std::fabs(a[3] - b[3]);
    };
    std::uniform_real_distribution<float> angle(-1.0f, 1.0f);
    for (int repeat : {KS::CONSTANT, KS::LOOP}) {
        std::vector<Key> keys;
        int times[6] = {0, 40, 300, 330, 700, 980};
        glm::quat q(1, 0, 0, 0);
        for (int k = 0; k < 6; ++k) {
            std::vector<float> axis = randomQuat(rnd);
            q = glm::angleAxis(angle(rnd), glm::normalize(glm::vec3(axis[0], axis[1], axis[2]))) * q;
            keys.push_back({times[k], {q.x, q.y, q.z, q.w}});
        }
        core::Ref<KeyframeSequence> s(sequence(KS::SQUAD, repeat, 1000, keys));
        for (int k = 1; k <= 6; ++k) {
            int at = k < 6 ? times[k] : 1000; // LOOP: the first key again at the duration
            if (k == 6 && repeat != KS::LOOP) break;
            float key[4], v0[4], v1[4], v2[4];
            s->getKeyframe(k % 6, key);
            s->sample(at % 1000, v0);
            s->sample(at - 1, v1);
            s->sample(at - 2, v2);
            EXPECT_TRUE(sameRotation(v0, toGlm(key), 1e-5f)) << "at key " << k;
            EXPECT_LE(distance(key, v1), 3.0f * distance(v1, v2) + 1e-4f) << "jump into key " << k;
            for (float v : v1) EXPECT_TRUE(std::isfinite(v));
        }
    }
}

TEST_F(CoreTest, DuplicatesAreDeepAndSetKeyframeRefusesBadInput) {
    core::Ref<KeyframeSequence> s(sequence(KS::LINEAR, KS::LOOP, 500, {{0, {1, 2}}, {50, {3, 4}}}));
    s->setValidRange(1, 1);
    core::Ref<AnimationTrack> t(track(s.get(), AnimationTrack::SCALE, 0.75f, 10, 20));
    t->getController()->setSpeed(2.0f);
    core::Ref<AnimationTrack> copy(static_cast<AnimationTrack*>(t->duplicate()));
    ASSERT_NE(t->getKeyframeSequence(), copy->getKeyframeSequence());
    ASSERT_NE(t->getController(), copy->getController());
    EXPECT_EQ(AnimationTrack::SCALE, copy->getTargetProperty());
    KeyframeSequence* cs = copy->getKeyframeSequence();
    float v[2];
    EXPECT_EQ(50, cs->getKeyframe(1, v));
    EXPECT_EQ(4.0f, v[1]);
    EXPECT_EQ(KS::LOOP, cs->getRepeatMode());
    EXPECT_EQ(500, cs->getDuration());
    EXPECT_EQ(1, cs->getValidRangeFirst());
    AnimationController* cc = copy->getController();
    EXPECT_EQ(0.75f, cc->getWeight());
    EXPECT_EQ(2.0f, cc->getSpeed());
    EXPECT_EQ(20, cc->getActiveIntervalEnd());
    // A node's duplicate carries duplicated tracks.
    core::Ref<Group> node(M3D_NEW Group());
    node->addAnimationTrack(t.get());
    core::Ref<Group> nodeCopy(static_cast<Group*>(node->duplicate()));
    ASSERT_EQ(1, nodeCopy->getAnimationTrackCount());
    EXPECT_NE(t.get(), nodeCopy->getAnimationTrack(0));

    EXPECT_THROW(s->setKeyframe(2, 0, v), Graphics3DException);
    EXPECT_THROW(s->setKeyframe(0, -1, v), Graphics3DException);
    EXPECT_THROW(s->setValidRange(0, 2), Graphics3DException);
    EXPECT_THROW(KeyframeSequence(2, 3, KS::SLERP), Graphics3DException);
    EXPECT_THROW(AnimationTrack(s.get(), 277), Graphics3DException);
    // A zero quaternion is stored as the identity, so nothing downstream divides by 0.
    core::Ref<KeyframeSequence> q(sequence(KS::SLERP, KS::CONSTANT, 10, {{0, {0, 0, 0, 0}}}));
    float out[4];
    q->sample(0, out);
    EXPECT_EQ(1.0f, out[3]);
}

TEST_F(CoreTest, AnimateWalksReferencesOnceAndEndsOnCycles) {
    core::Ref<KeyframeSequence> s(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {0, 0, 0}}, {100, {10, 0, 0}}}));
    core::Ref<World> world(M3D_NEW World());
    core::Ref<Group> child(M3D_NEW Group());
    world->addChild(child.get());
    core::Ref<Background> background(M3D_NEW Background());
    world->setBackground(background.get());
    core::Ref<AnimationTrack> shared(track(s.get(), AnimationTrack::TRANSLATION));
    child->addAnimationTrack(shared.get());
    core::Ref<KeyframeSequence> colour(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {1, 0, 0}}}));
    background->addAnimationTrack(track(colour.get(), AnimationTrack::COLOR));
    // The track's controller refers back to the track: a cycle.
    shared->getController()->addAnimationTrack(shared.get());
    world->animate(50);
    EXPECT_EQ(slm::vec3(5, 0, 0), child->getTranslation());
    EXPECT_EQ(0x00FF0000u, background->getColor() & 0xFFFFFFu) << "the world's background is animated too";
    // Tracks first, then the class's own references.
    const core::Vector<Object3D*>& refs = child->getAnimateReferences();
    ASSERT_EQ(1, refs.size());
    EXPECT_EQ(shared.get(), refs[0]);
    const core::Vector<Object3D*>& trackRefs = shared->getAnimateReferences();
    ASSERT_EQ(2, trackRefs.size());
    EXPECT_EQ(shared->getController(), trackRefs[0]);
    // The shared track also drives a second node: both move.
    core::Ref<Group> other(M3D_NEW Group());
    world->addChild(other.get());
    other->addAnimationTrack(shared.get());
    world->animate(100);
    EXPECT_EQ(slm::vec3(10, 0, 0), child->getTranslation());
    EXPECT_EQ(slm::vec3(10, 0, 0), other->getTranslation());
    // Without the engine's log level the walk writes no lines.
    testsupport::StderrCapture capture;
    world->animate(20);
    EXPECT_EQ("", capture.finish());
    shared->getController()->removeAnimationTrack(shared.get()); // breaks the reference cycle
}

TEST_F(CoreTest, AnimateAllocatesNothingInSteadyState) {
    core::Ref<World> world(M3D_NEW World());
    std::vector<core::Ref<KeyframeSequence>> sequences;
    for (int i = 0; i < 3; ++i)
        sequences.push_back(sequence(i == 2 ? KS::SLERP : KS::LINEAR, KS::LOOP, 1000,
                                     {{0, {0, 0, 0, 1}}, {500, {0, 1, 0, 1}}, {900, {1, 0, 0, 1}}}));
    for (int n = 0; n < 20; ++n) {
        Group* node = M3D_NEW Group();
        world->addChild(node);
        node->addAnimationTrack(track(sequences[0].get(), AnimationTrack::TRANSLATION, 0.5f));
        node->addAnimationTrack(track(sequences[1].get(), AnimationTrack::TRANSLATION, 0.5f));
        node->addAnimationTrack(track(sequences[2].get(), AnimationTrack::ORIENTATION));
    }
    world->animate(0);
    int before = core.pool().getTotalAllocations();
    for (int t = 1; t < 50; ++t) world->animate(t * 37);
    EXPECT_EQ(before, core.pool().getTotalAllocations());
    EXPECT_NE(slm::vec3(0, 0, 0), world->getChild(3)->getTranslation());
}

} // namespace
