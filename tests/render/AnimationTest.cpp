// Keyframe sequences and tracks: interpolation, blending, every apply rule,
// SLERP and SQUAD against GLM, and animate's walk over references.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "support/SceneBuilders.h"
#include "render/Light.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/quaternion.hpp>
#include <glm/gtx/string_cast.hpp>
#include <random>
#include <sstream>

using namespace render;
using testsupport::child;
using testsupport::CoreTest;
using testsupport::Keys;
using testsupport::sequence;
using testsupport::track;
typedef KeyframeSequence KS;

namespace {

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
    const int LOOP = KS::LOOP, CONST = KS::CONSTANT;
    const Keys eight = {{0, {0, 1, 2, 3, 4, 5, 6, 7}}, {10, {10, 11, 12, 13, 14, 15, 16, 27}}};
    struct Row {
        int interpolation, repeat, duration;
        Keys keys;
        int time;
        std::vector<float> expected;
        int first = -1, last = -1;
    } rows[] = {
        {KS::LINEAR, CONST, 1000, {{0, {0, 4}}, {100, {10, 8}}}, 25, {2.5f, 5}},
        {KS::LINEAR, CONST, 1000, {{0, {0}}, {100, {10}}, {200, {30}}}, 100, {10}},
        {KS::STEP, CONST, 1000, {{0, {0}}, {100, {10}}}, 49, {0}},
        {KS::STEP, CONST, 1000, {{0, {0}}, {100, {10}}}, 50, {10}},
        {KS::SPLINE, CONST, 1000, {{0, {0}}, {100, {10}}}, 25, {2.03125f}},
        {KS::LINEAR, CONST, 1000, {{50, {3}}, {100, {10}}}, 10, {3}},  // before the first keyframe
        {KS::LINEAR, CONST, 1000, {{0, {0}}, {100, {10}}}, 600, {10}}, // CONSTANT holds the last
        {KS::LINEAR, LOOP, 200, {{0, {0}}, {100, {10}}}, 150, {5}},    // LOOP heads back to the first
        {KS::LINEAR, LOOP, 0, {{0, {1}}, {0, {5}}}, 0, {5}},           // two keys at one time
        // Valid ranges: one keyframe, inner keys only, and a range that wraps.
        {KS::LINEAR, LOOP, 1000, {{0, {1}}, {10, {7}}, {20, {9}}}, 500, {7}, 1, 1},
        {KS::LINEAR, CONST, 1000, {{0, {100}}, {10, {0}}, {30, {20}}, {40, {100}}}, 20, {10}, 1, 2},
        {KS::LINEAR, CONST, 1000, {{40, {100}}, {50, {100}}, {20, {0}}, {30, {20}}}, 25, {10}, 2, 0},
        {KS::LINEAR, CONST, 1000, eight, 5, {5, 6, 7, 8, 9, 10, 11, 17}},
    };
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        SCOPED_TRACE(testing::Message() << "row " << r);
        const Row& row = rows[r];
        core::Ref<KeyframeSequence> s(sequence(row.interpolation, row.repeat, row.duration, row.keys));
        if (row.first >= 0) s->setValidRange(row.first, row.last);
        std::vector<float> out(row.expected.size() + 1, -12345.0f); // nothing is written past the components
        s->sample(s->mapTime(row.time), out.data());
        for (size_t k = 0; k < row.expected.size(); ++k)
            EXPECT_NEAR(row.expected[k], out[k], 1e-5f) << "component " << k;
        EXPECT_EQ(-12345.0f, out.back());
    }
}

TEST_F(CoreTest, TracksBlendByWeightWithinTheirIntervals) {
    core::Ref<KeyframeSequence> a(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {4, 8, 12}}}));
    core::Ref<KeyframeSequence> b(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {100, 200, 300}}}));
    core::Ref<KeyframeSequence> c(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {1000, 1000, 1000}}}));
    core::Ref<Group> node(M3D_NEW Group());
    node->addAnimationTrack(track(a.get(), AnimationTrack::TRANSLATION, 0.25f));
    node->addAnimationTrack(track(b.get(), AnimationTrack::TRANSLATION, 0.5f));
    node->addAnimationTrack(track(c.get(), AnimationTrack::TRANSLATION, 1.0f, 100, 200));
    node->addAnimationTrack(track(c.get(), AnimationTrack::SCALE, 1.0f, 500, 600));
    // a·0.25 + b·0.5, plus c·1 while its interval [100, 200) is open.
    for (int time : {0, 100, 199, 200}) {
        node->animate(time);
        float c = time >= 100 && time < 200 ? 1000.0f : 0.0f;
        EXPECT_EQ(slm::vec3(51 + c, 102 + c, 153 + c), node->getTranslation()) << "time " << time;
        EXPECT_EQ(slm::vec3(1, 1, 1), node->getScale()) << "a property without an active track is left alone";
    }
}

// Every field the apply rules may touch, as text ending in a space, so that
// "unchanged" can be checked for every object at once.
std::string state(Object3D* o) {
    std::ostringstream s;
    if (Node* n = dynamic_cast<Node*>(o)) {
        slm::vec3 t = n->getTranslation(), sc = n->getScale();
        slm::quat q = n->getOrientation();
        s << "alpha " << n->getAlphaFactor() << " pick " << n->isPickingEnabled() << " render "
          << n->isRenderingEnabled() << " t " << t.x << "," << t.y << "," << t.z << " s " << sc.x << ","
          << sc.y << "," << sc.z << " q " << q.x << "," << q.y << "," << q.z << "," << q.w;
    }
    if (Material* m = dynamic_cast<Material*>(o))
        s << std::hex << " amb " << m->getAmbient() << " dif " << m->getDiffuse() << " emi "
          << m->getEmissive() << " spe " << m->getSpecular() << std::dec << " shin " << m->getShininess();
    if (Background* b = dynamic_cast<Background*>(o))
        s << std::hex << " col " << b->getColor() << std::dec << " crop " << b->getCropX() << ","
          << b->getCropY() << "," << b->getCropWidth() << "," << b->getCropHeight();
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
    return s.str() + " ";
}

TEST_F(CoreTest, ApplyRulesPerPropertyAndClass) {
    typedef AnimationTrack T;
    // Objects: 0 node, 1 material, 2 background, 3 fog, 4 light, 5 perspective
    // camera, 6 parallel camera, 7 vertex buffer, 8 appearance (no property of
    // its own). Each row lists the objects that change and parts of their
    // state afterwards.
    const std::vector<int> nodes = {0, 4, 5, 6};
    struct Row {
        int property;
        std::vector<float> v;
        std::vector<int> changed;
        std::vector<std::pair<int, const char*>> after;
    } rows[] = {
        {T::ALPHA, {1.5f}, {2, 7}, {{2, "col ff102030 "}, {7, "def ff112233 "}}},
        {T::ALPHA, {0.5f}, {0, 1, 4, 5, 6, 7}, {{0, "alpha 0.5 "}, {1, "dif 80cccccc "}, {7, "80112233"}}},
        {T::ALPHA, {-0.5f}, {0, 4, 5, 6, 1, 2, 7}, {{2, "col 102030 "}}},
        {T::AMBIENT_COLOR, {1.0f, 0.5f, 2.0f}, {1}, {{1, "amb ff80ff "}}},
        {T::DIFFUSE_COLOR, {0.0f, 1.0f, -3.0f}, {1}, {{1, "dif ff00ff00 "}}},
        {T::EMISSIVE_COLOR, {0.5f, 0.0f, 1.0f}, {1}, {{1, "emi 8000ff "}}},
        {T::SPECULAR_COLOR, {0.0f, 1.0f, 0.0f}, {1}, {{1, "spe ff00 "}}},
        {T::COLOR, {1, 0, 0.5f}, {2, 3, 4, 7}, {{2, "col 80ff0080 "}, {3, "col ff0080 "}, {7, "7fff0080"}}},
        {T::CROP, {3.9f, -2.5f, 10.7f, 20.2f}, {2}, {{2, "crop 3,-2,10,20 "}}},
        {T::CROP, {5, 6}, {2}, {{2, "crop 5,6,30,40 "}}},
        {T::CROP, {0, 0, -4, 8}, {2}, {{2, "crop 0,0,0,8 "}}},
        {T::DENSITY, {-1}, {3}, {{3, "dens 0 "}}},
        {T::FAR_DISTANCE, {-5}, {3, 5, 6}, {{3, "lin 0,-5 "}, {5, ",1,1.17549e-38 "}, {6, ",1,-5 "}}},
        {T::NEAR_DISTANCE, {2}, {3, 5, 6}, {{3, "lin 2,1 "}, {5, ",2,100 "}, {6, ",2,50 "}}},
        {T::NEAR_DISTANCE, {50}, {3, 5}, {{6, "proj 10,2,1,50 "}}}, // near = far: kept
        {T::FIELD_OF_VIEW, {200}, {5, 6}, {{5, "proj 180,"}, {6, "proj 200,"}}},
        {T::FIELD_OF_VIEW, {-1}, {5, 6}, {{6, "proj 1.17549e-38,"}}},
        {T::INTENSITY, {3}, {4}, {{4, "int 3 "}}},
        {T::MORPH_WEIGHTS, {1, 1}, {}, {}},
        {T::ORIENTATION, {0, 0, 2, 2}, nodes, {{0, "q 0,0,0.707107,0.707107 "}}},
        {T::ORIENTATION, {0, 0, 0, 0}, {}, {}},
        {T::PICKABILITY, {0.5f}, nodes, {{0, "pick 0 "}}},
        {T::SCALE, {2}, nodes, {{0, "s 2,2,2 "}}},
        {T::SCALE, {2, 3, 4}, nodes, {{0, "s 2,3,4 "}}},
        {T::SHININESS, {300}, {1}, {{1, "shin 128 "}}},
        {T::SHININESS, {-3}, {1}, {{1, "shin -3 "}}},
        {T::SPOT_ANGLE, {120}, {4}, {{4, "spot 90,"}}},
        {T::SPOT_EXPONENT, {129}, {4}, {{4, ",128 "}}},
        {T::TRANSLATION, {1, 2, 3}, nodes, {{0, "t 1,2,3 "}}},
        {T::VISIBILITY, {0.51f}, {}, {}},
        {T::VISIBILITY, {0.5f}, nodes, {{0, "render 0 "}}},
    };
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        const Row& row = rows[r];
        SCOPED_TRACE(testing::Message() << "row " << r << ", property " << row.property);
        Background* b = M3D_NEW Background();
        b->setColor(0x80102030u);
        b->setCrop(1, 2, 30, 40);
        Camera* p = M3D_NEW Camera();
        p->setPerspective(60, 1.5f, 1, 100);
        Camera* q = M3D_NEW Camera();
        q->setParallel(10, 2, 1, 50);
        VertexBuffer* vb = M3D_NEW VertexBuffer();
        vb->setDefaultColor(0x7F112233u);
        Object3D* o[9] = {
            M3D_NEW Group(),     M3D_NEW Material(), b, M3D_NEW Fog(), M3D_NEW Light(), p, q, vb,
            M3D_NEW Appearance()};
        core::Ref<Object3D> keep[9];
        for (int i = 0; i < 9; ++i) {
            keep[i] = o[i];
            std::string before = state(o[i]);
            AnimationTrack::applyProperty(o[i], row.property, row.v.data(), (int)row.v.size());
            bool expected = std::find(row.changed.begin(), row.changed.end(), i) != row.changed.end();
            EXPECT_EQ(expected, before != state(o[i])) << "object " << i << ": " << state(o[i]);
        }
        for (const auto& a : row.after)
            EXPECT_NE(std::string::npos, state(o[a.first]).find(a.second)) << state(o[a.first]);
    }
}

// Quaternion keyframes and samples for GLM, whose constructor takes w first.
glm::quat key(KeyframeSequence* s, int k) {
    float v[4];
    s->getKeyframe(k, v);
    return glm::quat(v[3], v[0], v[1], v[2]);
}
glm::quat sampled(KeyframeSequence* s, int t) {
    float v[4];
    s->sample(t, v);
    return glm::quat(v[3], v[0], v[1], v[2]);
}

// The sum of the component differences.
float distance(const glm::quat& a, const glm::quat& b) {
    return glm::dot(glm::abs(glm::vec4(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w)), glm::vec4(1.0f));
}

::testing::AssertionResult sameRotation(const glm::quat& got, const glm::quat& want, float tolerance) {
    if (distance(got, want) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << glm::to_string(got) << " want " << glm::to_string(want);
}

std::vector<float> randomQuat(std::mt19937& rnd) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    return {n(rnd), n(rnd), n(rnd), n(rnd)};
}

TEST_F(CoreTest, SlerpAndSquadMatchGlmAndSquadIsContinuous) {
    std::mt19937 rnd(7);
    for (int i = 0; i < 200; ++i) { // SLERP; the keys are stored as unit quaternions
        std::vector<float> a = randomQuat(rnd), b = randomQuat(rnd);
        core::Ref<KeyframeSequence> s(sequence(KS::SLERP, KS::CONSTANT, 1000, {{0, a}, {100, b}}));
        glm::quat p = key(s.get(), 0), q = key(s.get(), 1);
        EXPECT_NEAR(1.0f, glm::length(p), 1e-6f);
        // GLM's slerp takes the shorter arc; the sequence follows the keys as
        // stored, so compare where the two agree.
        if (glm::dot(p, q) < 0.0f) continue;
        int t = (int)(rnd() % 101);
        ASSERT_TRUE(sameRotation(sampled(s.get(), t), glm::slerp(p, q, t / 100.0f), 2e-5f)) << "case " << i;
    }
    // SQUAD: five evenly spaced keys against GLM; the inner intervals have both neighbours.
    for (int c = 0; c < 50; ++c) {
        Keys keys;
        for (int k = 0; k < 5; ++k)
            keys.push_back({k * 100, randomQuat(rnd)});
        core::Ref<KeyframeSequence> s(sequence(KS::SQUAD, KS::CONSTANT, 1000, keys));
        glm::quat q[5];
        for (int k = 0; k < 5; ++k)
            q[k] = key(s.get(), k);
        for (int k = 1; k + 2 < 5; ++k) {
            glm::quat a = glm::intermediate(q[k - 1], q[k], q[k + 1]);
            glm::quat b = glm::intermediate(q[k], q[k + 1], q[k + 2]);
            for (int t : {0, 13, 50, 77, 99})
                ASSERT_TRUE(sameRotation(sampled(s.get(), k * 100 + t),
                                         glm::squad(q[k], q[k + 1], a, b, t / 100.0f), 2e-4f))
                    << "case " << c << " key " << k << " t " << t;
        }
    }
    // Uneven spacing, looping and not: every keyframe is reached without a
    // jump. Keys are a random walk of rotations up to 1 radian apart; the
    // last step into a key must be no larger than a few of the steps before it.
    std::uniform_real_distribution<float> angle(-1.0f, 1.0f);
    for (int repeat : {KS::CONSTANT, KS::LOOP}) {
        Keys keys;
        int times[6] = {0, 40, 300, 330, 700, 980};
        glm::quat q(1, 0, 0, 0);
        for (int k = 0; k < 6; ++k) {
            std::vector<float> axis = randomQuat(rnd);
            q = glm::angleAxis(angle(rnd), glm::normalize(glm::vec3(axis[0], axis[1], axis[2]))) * q;
            keys.push_back({times[k], {q.x, q.y, q.z, q.w}});
        }
        core::Ref<KeyframeSequence> s(sequence(KS::SQUAD, repeat, 1000, keys));
        for (int k = 1; k < (repeat == KS::LOOP ? 7 : 6); ++k) {
            int at = k < 6 ? times[k] : 1000; // LOOP: the first key again at the duration
            glm::quat want = key(s.get(), k % 6), before = sampled(s.get(), at - 1);
            EXPECT_TRUE(sameRotation(sampled(s.get(), at % 1000), want, 1e-5f)) << "at key " << k;
            EXPECT_LE(distance(want, before), 3.0f * distance(before, sampled(s.get(), at - 2)) + 1e-4f)
                << "jump into key " << k;
        }
    }
}

TEST_F(CoreTest, DuplicatesAreDeepAndSetKeyframeRefusesBadInput) {
    core::Ref<KeyframeSequence> s(sequence(KS::LINEAR, KS::LOOP, 500, {{0, {1, 2, 3}}, {50, {4, 6, 8}}}));
    s->setValidRange(1, 1);
    core::Ref<Group> node(M3D_NEW Group());
    node->addAnimationTrack(track(s.get(), AnimationTrack::SCALE, 0.5f, 10, 20));
    core::Ref<Group> copy(static_cast<Group*>(node->duplicate()));
    // The copy's track, sequence and controller are its own: changing the
    // original's leaves the copy at half of the one valid keyframe.
    float v[3] = {9, 9, 9};
    s->setKeyframe(1, 50, v);
    static_cast<AnimationTrack*>(node->getAnimationTrack(0))->getController()->setWeight(1.0f);
    copy->animate(15);
    EXPECT_EQ(slm::vec3(2, 3, 4), copy->getScale());

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

TEST_F(CoreTest, AnimateWalksReferencesOnceEndsOnCyclesAndAllocatesNothingInSteadyState) {
    core::Ref<KeyframeSequence> s(
        sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {0, 0, 0}}, {100, {10, 0, 0}}}));
    core::Ref<World> world(M3D_NEW World());
    Group* first = child(world.get());
    core::Ref<Background> background(M3D_NEW Background());
    world->setBackground(background.get());
    core::Ref<AnimationTrack> shared(track(s.get(), AnimationTrack::TRANSLATION));
    first->addAnimationTrack(shared.get());
    core::Ref<KeyframeSequence> colour(sequence(KS::LINEAR, KS::CONSTANT, 1000, {{0, {1, 0, 0}}}));
    background->addAnimationTrack(track(colour.get(), AnimationTrack::COLOR));
    // The track's controller refers back to the track: a cycle.
    shared->getController()->addAnimationTrack(shared.get());
    world->animate(50);
    EXPECT_EQ(slm::vec3(5, 0, 0), first->getTranslation());
    EXPECT_EQ(0x00FF0000u, background->getColor() & 0xFFFFFFu) << "the world's background is animated too";
    // The shared track also drives a second node: both move.
    core::Ref<Group> other(M3D_NEW Group());
    world->addChild(other.get());
    other->addAnimationTrack(shared.get());
    world->animate(100);
    EXPECT_EQ(slm::vec3(10, 0, 0), first->getTranslation());
    EXPECT_EQ(slm::vec3(10, 0, 0), other->getTranslation());
    // Blending and SLERP on 20 more nodes: after the first call, animate takes nothing from the pool.
    core::Ref<KeyframeSequence> turn(
        sequence(KS::SLERP, KS::LOOP, 1000, {{0, {0, 0, 0, 1}}, {900, {1, 0, 0, 1}}}));
    for (int n = 0; n < 20; ++n) {
        Group* node = child(world.get());
        node->addAnimationTrack(track(s.get(), AnimationTrack::TRANSLATION, 0.5f));
        node->addAnimationTrack(track(colour.get(), AnimationTrack::TRANSLATION, 0.5f));
        node->addAnimationTrack(track(turn.get(), AnimationTrack::ORIENTATION));
    }
    world->animate(0);
    int before = core.pool().getTotalAllocations();
    for (int t = 1; t < 50; ++t)
        world->animate(t * 37);
    EXPECT_EQ(before, core.pool().getTotalAllocations());
    shared->getController()->removeAnimationTrack(shared.get()); // breaks the reference cycle
}

// A mesh of the quad (0 1 2) (0 2 3).

} // namespace
