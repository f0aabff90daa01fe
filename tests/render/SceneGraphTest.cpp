// The scene graph: duplicates, parents, change flags, bounds and picking;
// keyframe sequences and tracks (interpolation, blending, every apply rule,
// SLERP and SQUAD against GLM, animate's walk); skinning against a float
// reference; morph targets, blended and drawn.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "render/AnimationTrack.h"
#include "render/Light.h"
#include "render/MorphingMesh.h"
#include "render/SkinnedMesh.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/quaternion.hpp>
#include <glm/gtx/string_cast.hpp>
#include <random>
#include <sstream>

using namespace render;
using m3gtest::positions;
using testsupport::CoreTest;
using testsupport::GLTest;

namespace {

Group* child(Group* parent) {
    Group* g = M3D_NEW Group();
    parent->addChild(g);
    return g;
}

TEST_F(CoreTest, DuplicateCopiesTheWholeSubtreeWithParentsIntoTheCopy) {
    // A name lives in the user parameter table, which replaces a user object
    // of another kind, and which a duplicate shares.
    core::Ref<Group> root(M3D_NEW Group());
    root->setUserObject(M3D_NEW Group());
    root->setName("a name replaced");
    root->setName("root");
    root->setUserID(42);
    Group* mid = child(root.get());
    Camera* leaf = M3D_NEW Camera();
    mid->addChild(leaf);
    leaf->setScope(6);
    leaf->setPerspective(45.0f, 1.5f, 1.0f, 50.0f);
    core::Ref<Group> copy(static_cast<Group*>(root->duplicate()));
    EXPECT_EQ(42, copy->getUserID());
    EXPECT_STREQ("root", copy->getName().c_str());
    EXPECT_EQ(root->getUserParameters(), copy->getUserParameters()) << "the parameter table is shared";
    Group* midCopy = dynamic_cast<Group*>(copy->getChild(0));
    Camera* leafCopy = midCopy ? dynamic_cast<Camera*>(midCopy->getChild(0)) : nullptr;
    ASSERT_TRUE(leafCopy && midCopy != mid);
    EXPECT_EQ(copy.get(), midCopy->getParent());
    EXPECT_EQ(midCopy, leafCopy->getParent());
    EXPECT_EQ(6, leafCopy->getScope());
    EXPECT_TRUE(slm::equal(leaf->getProjectionMatrix(), leafCopy->getProjectionMatrix()));
    EXPECT_EQ(mid, leaf->getParent()) << "the sources keep their parents";
    // A camera refuses near = far and keeps its projection.
    EXPECT_THROW(leaf->setPerspective(60.0f, 1.0f, 5.0f, 5.0f), ArithmeticException);
    EXPECT_TRUE(slm::equal(leafCopy->getProjectionMatrix(), leaf->getProjectionMatrix()));
    core::Ref<Background> background(M3D_NEW Background());
    background->setCrop(1, 2, 3, 4);
    core::Ref<Background> backgroundCopy(static_cast<Background*>(background->duplicate()));
    EXPECT_EQ(4, backgroundCopy->getCropHeight());

    // Appearance components are copied; a copy's change counter counts its
    // differences from the defaults, not the changes made to the original.
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setCompositingMode(M3D_NEW CompositingMode());
    a->getCompositingMode()->setBlending(CompositingMode::ALPHA);
    a->getCompositingMode()->setBlending(CompositingMode::REPLACE);
    a->getCompositingMode()->setDepthWriteEnable(false);
    core::Ref<Appearance> ac(static_cast<Appearance*>(a->duplicate()));
    CompositingMode* cm = ac->getCompositingMode();
    ASSERT_TRUE(cm && cm != a->getCompositingMode());
    EXPECT_FALSE(cm->isDepthWriteEnabled());
    EXPECT_EQ(1, cm->getModificationCounter());
}

TEST_F(CoreTest, GroupsOwnTheirChildrenAndLeaveThemParentlessWhenGone) {
    core::Ref<Group> child(M3D_NEW Group());
    {
        core::Ref<Group> group(M3D_NEW Group());
        group->addChild(child.get());
        EXPECT_EQ(2, child->getReferenceCount());
        // Adding twice keeps one entry; a group cannot hold its ancestor or itself.
        EXPECT_TRUE(group->addChild(child.get()));
        EXPECT_EQ(1, group->getChildCount());
        EXPECT_FALSE(child->addChild(group.get()));
        EXPECT_FALSE(group->addChild(group.get()));
    }
    EXPECT_EQ(nullptr, child->getParent());
    EXPECT_EQ(1, child->getReferenceCount());

    // Whether a node changed looks at its ancestors; an equal value changes nothing.
    core::Ref<Group> parent(M3D_NEW Group());
    parent->addChild(child.get());
    child->clearTransformChanged();
    child->setTranslation(child->getTranslation());
    parent->setTranslation(slm::vec3(0, 1, 0));
    EXPECT_FALSE(child->isTransformChanged());
    EXPECT_TRUE(child->isChanged());

    // Moving a child to another group takes it out of the first.
    core::Ref<Group> b(M3D_NEW Group());
    b->addChild(child.get());
    EXPECT_EQ(0, parent->getChildCount());
    EXPECT_TRUE(b->removeChild(child.get()));
    EXPECT_FALSE(b->removeChild(child.get()));
    EXPECT_EQ(nullptr, child->getParent());
}

TEST_F(CoreTest, MeshBoundsAndPicking) {
    const float bias[3] = {0, 0, -5};
    core::Ref<VertexBuffer> vb(
        m3gtest::positions({-100, -100, 0, 100, -100, 0, 100, 100, 0, -100, 100, 0}, 0.01f, bias));
    const unsigned short idx[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<Mesh> mesh(M3D_NEW Mesh(vb.get(), M3D_NEW TriangleListArray(idx, 6), nullptr));
    float lo[3], hi[3];
    mesh->getBounds(lo, hi, nullptr);
    EXPECT_FLOAT_EQ(-1.0f, lo[0]);
    EXPECT_FLOAT_EQ(1.0f, hi[1]);
    EXPECT_FLOAT_EQ(-5.0f, lo[2]);

    core::Ref<Group> root(M3D_NEW Group());
    root->addChild(mesh.get());
    mesh->setTranslation(slm::vec3(2, 0, 0));
    auto pick = [&](float x, PickResult* r) {
        return root->pick(-1, slm::vec3(x, 0, 0), slm::vec3(0, 0, -10), nullptr, slm::mat4(), r, 0);
    };
    // A ray down -Z through x = 2.5 hits the quad at z = -5 (t = 0.5 of the segment).
    PickResult r, miss, none;
    EXPECT_TRUE(pick(2.5f, &r));
    EXPECT_NEAR(0.5f, r.distance, 1e-5f);
    EXPECT_EQ(mesh.get(), r.node);
    EXPECT_NEAR(-5.0f, r.point.z, 1e-4f);
    EXPECT_FALSE(pick(0.5f, &miss));
    mesh->setScope(0); // scope 0 is never picked
    EXPECT_FALSE(pick(2.5f, &none));
}

typedef KeyframeSequence KS;

typedef std::vector<std::pair<int, std::vector<float>>> Keys; // time, values

KeyframeSequence* sequence(int interpolation, int repeat, int duration, const Keys& keys) {
    KeyframeSequence* s =
        M3D_NEW KeyframeSequence((int)keys.size(), (int)keys[0].second.size(), interpolation);
    for (int i = 0; i < (int)keys.size(); ++i)
        s->setKeyframe(i, keys[i].first, keys[i].second.data());
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
SkinnedMesh* skinned(VertexBuffer* vb, Group* skeleton) {
    static const unsigned short quad[6] = {0, 1, 2, 0, 2, 3};
    IndexBuffer* ib = M3D_NEW TriangleListArray(quad, 6);
    Appearance* a = nullptr;
    return M3D_NEW SkinnedMesh(vb, &ib, &a, 1, skeleton);
}

// The drawn position of vertex v: the 16-bit value through scale and bias.
glm::vec3 drawn(VertexBuffer* vb, int v) {
    float p[3];
    vb->getPositions()->get(v, 1, p);
    return glm::vec3(p[0], p[1], p[2]) * vb->getPositionScale() +
           glm::vec3(glm::make_vec3(vb->getPositionBias()));
}

// The node's composite computed independently: T · R · S.
glm::mat4 composite(Node* n) {
    slm::vec3 t = n->getTranslation(), s = n->getScale();
    slm::quat q = n->getOrientation();
    return glm::translate(glm::mat4(1), glm::vec3(t.x, t.y, t.z)) *
           glm::mat4_cast(glm::quat(q.w, q.x, q.y, q.z)) * glm::scale(glm::mat4(1), glm::vec3(s.x, s.y, s.z));
}

// From the skeleton's child down to the bone (the skeleton itself excluded).
glm::mat4 boneMatrix(Node* bone, Node* skeleton) {
    glm::mat4 m(1);
    for (Node* n = bone; n != skeleton; n = n->getParent())
        m = composite(n) * m;
    return m;
}

void randomTransform(Node* n, std::mt19937& rnd) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    n->setTranslation(slm::vec3(u(rnd) * 3, u(rnd) * 3, u(rnd) * 3));
    n->setOrientation(slm::axis_angle_quat(slm::vec3(u(rnd), u(rnd), u(rnd) + 1.5f), u(rnd) * 3));
    n->setScale(slm::vec3(1.0f + 0.5f * u(rnd), 1.0f + 0.5f * u(rnd), 1.0f + 0.5f * u(rnd)));
}

TEST_F(CoreTest, SkinningMatchesAFloatReferenceOnRandomSkeletons) {
    std::mt19937 rnd(5);
    for (int c = 0; c < 10; ++c) {
        core::Ref<Group> skeleton(M3D_NEW Group());
        Group* bones[4] = {child(skeleton.get()), nullptr, nullptr, child(skeleton.get())};
        bones[1] = child(bones[0]);
        bones[2] = child(bones[1]);
        for (Group* b : bones)
            randomTransform(b, rnd);
        randomTransform(skeleton.get(), rnd);
        const int n = 200;
        std::uniform_int_distribution<int> coord(-1000, 1000), pick(0, 3), weight(1, 5), count(1, 3);
        std::vector<short> p;
        for (int i = 0; i < 3 * n; ++i)
            p.push_back((short)coord(rnd));
        const float bias[3] = {1, -2, 3};
        core::Ref<VertexBuffer> vb(positions(p, 0.01f, bias));
        core::Ref<SkinnedMesh> mesh(skinned(vb.get(), skeleton.get()));

        // Each vertex bound to 1 to 3 bones (bone, weight), then the bones
        // moved: the reference is the weighted sum of pose · bind⁻¹ · rest.
        glm::mat4 bind[4];
        for (int b = 0; b < 4; ++b)
            bind[b] = boneMatrix(bones[b], skeleton.get());
        std::vector<std::vector<std::pair<int, int>>> bindings(n);
        for (int v = 0; v < n; ++v)
            for (int k = count(rnd); k > 0; --k) {
                bindings[v].push_back({pick(rnd), weight(rnd)});
                mesh->addTransform(bones[bindings[v].back().first], bindings[v].back().second, v, 1);
            }
        for (Group* b : bones)
            randomTransform(b, rnd);
        mesh->animate(1);

        float largest = 0.0f, step = vb->getPositionScale();
        std::vector<glm::vec3> want(n);
        for (int v = 0; v < n; ++v) {
            glm::vec4 rest(p[3 * v] * 0.01f + 1, p[3 * v + 1] * 0.01f - 2, p[3 * v + 2] * 0.01f + 3, 1);
            glm::vec4 sum(0);
            float total = 0;
            for (auto [bone, w] : bindings[v]) {
                sum += boneMatrix(bones[bone], skeleton.get()) * glm::inverse(bind[bone]) * rest * (float)w;
                total += (float)w;
            }
            want[v] = glm::vec3(sum) / total;
            for (int a = 0; a < 3; ++a)
                largest = std::max(largest, std::fabs(want[v][a]));
        }
        for (int v = 0; v < n; ++v) {
            glm::vec3 got = drawn(vb.get(), v);
            for (int a = 0; a < 3; ++a)
                ASSERT_NEAR(want[v][a], got[a], step + 1e-5f * largest) << "case " << c << " vertex " << v;
        }
        // The largest coordinate uses the whole 16-bit range.
        const short* s = static_cast<const short*>(vb->getPositions()->data());
        int peak = 0;
        for (int i = 0; i < 3 * n; ++i)
            peak = std::max(peak, std::abs((int)s[i]));
        EXPECT_GE(peak, 32766);
        EXPECT_LE(peak, 32767);
    }
}

TEST_F(CoreTest, SkinningWeightsOnceKeepsUnboundVerticesAtRestAndDuplicatesOwnTheirSkeleton) {
    core::Ref<Group> skeleton(M3D_NEW Group());
    Group* b = child(skeleton.get());
    Group* a = child(child(skeleton.get())); // below a joint: the duplicate maps it by its path
    // Vertex 0 at the origin bound 1:3 to a and b; vertex 1 unbound; vertices 2, 3 to a only.
    core::Ref<VertexBuffer> vb(positions({0, 0, 0, 1000, 1000, 1000, 500, 0, 0, 0, 500, 0}, 0.001f));
    core::Ref<SkinnedMesh> mesh(skinned(vb.get(), skeleton.get()));
    mesh->addTransform(a, 1, 0, 1);
    mesh->addTransform(b, 3, 0, 1);
    mesh->addTransform(a, 2, 2, 2);
    EXPECT_EQ(2, mesh->getBoneCount()) << "a bone added twice is one bone entry";
    EXPECT_THROW(mesh->addTransform(a, 1, 3, 2), Graphics3DException);
    core::Ref<Group> stranger(M3D_NEW Group());
    EXPECT_THROW(mesh->addTransform(stranger.get(), 1, 0, 1), Graphics3DException);

    a->setTranslation(slm::vec3(4, 0, 0));
    b->setTranslation(slm::vec3(0, 8, 0));
    mesh->animate(7);
    mesh->animate(7);
    EXPECT_EQ(1, mesh->getSkinCount()) << "the same time skins once";
    glm::vec3 v0 = drawn(vb.get(), 0), v1 = drawn(vb.get(), 1);
    EXPECT_NEAR(6.0f, v0.y, vb->getPositionScale()) << "three quarters of bone b's position";
    EXPECT_NEAR(1.0f, v1.x, vb->getPositionScale()) << "total weight 0 keeps the rest position";

    core::Vector<SkinnedMesh::BoneVertex> list;
    EXPECT_EQ(3, mesh->getBoneVertices(a, list));
    EXPECT_FLOAT_EQ(0.25f, list[0].share);
    EXPECT_EQ(4, mesh->getBoneVertices(b, list)) << "appends to the list";
    EXPECT_FLOAT_EQ(0.75f, list[3].share);
    EXPECT_EQ(1, list[3].boneIndex);
    testsupport::StderrCapture capture;
    stranger->setUserID(99);
    EXPECT_EQ(0, mesh->getBoneVertices(stranger.get(), list));
    EXPECT_NE(std::string::npos, capture.finish().find("SkinnedMesh does not include this bone! (ID : 99)"));

    // A duplicate has its own skeleton with the bones mapped onto it, and its
    // own positions: vertex 2 (rest (0.5, 0, 0)) follows only its own bone a.
    core::Ref<SkinnedMesh> copy(static_cast<SkinnedMesh*>(mesh->duplicate()));
    ASSERT_NE(mesh->getSkeleton(), copy->getSkeleton());
    EXPECT_EQ(copy.get(), copy->getSkeleton()->getParent());
    Group* copiedA = static_cast<Group*>(static_cast<Group*>(copy->getSkeleton()->getChild(1))->getChild(0));
    EXPECT_EQ(copiedA, copy->getBone(0));
    a->setTranslation(slm::vec3(0, 0, 5));
    mesh->animate(8);
    copy->animate(8);
    EXPECT_NEAR(5.0f, drawn(vb.get(), 2).z, 1e-3f);
    EXPECT_NEAR(4.5f, drawn(copy->getVertexBuffer(), 2).x, 1e-3f);
    copiedA->setTranslation(slm::vec3(0, -2, 0));
    copy->animate(9);
    EXPECT_NEAR(-2.0f, drawn(copy->getVertexBuffer(), 2).y, 1e-3f);
}

TEST_F(CoreTest, SkinnedDegenerateCasesStayFinite) {
    // All positions at 0, and a bone scaled to 0: nothing divides by zero.
    core::Ref<Group> skeleton(M3D_NEW Group());
    core::Ref<VertexBuffer> vb(positions(std::vector<short>(12, 0), 1.0f));
    core::Ref<SkinnedMesh> mesh(skinned(vb.get(), skeleton.get()));
    mesh->addTransform(child(skeleton.get()), 1, 0, 4);
    mesh->getBone(0)->setScale(slm::vec3(0, 0, 0));
    mesh->animate(1);
    EXPECT_TRUE(std::isfinite(vb->getPositionScale()));
    EXPECT_EQ(0.0f, drawn(vb.get(), 2).x);
    // A bone whose matrix cannot be inverted at bind time: the vertices keep
    // their rest positions instead of turning into undefined 16-bit values.
    core::Ref<Group> skeleton2(M3D_NEW Group());
    Group* flat = child(skeleton2.get());
    flat->setScale(slm::vec3(0, 1, 1));
    core::Ref<VertexBuffer> vb2(positions({100, 200, 300, -100, 0, 0, 5, 5, 5, 0, 0, 9}, 0.5f));
    core::Ref<SkinnedMesh> mesh2(skinned(vb2.get(), skeleton2.get()));
    mesh2->addTransform(flat, 1, 0, 4);
    mesh2->animate(1);
    EXPECT_NEAR(50.0f, drawn(vb2.get(), 0).x, vb2->getPositionScale());
    EXPECT_NEAR(150.0f, drawn(vb2.get(), 0).z, vb2->getPositionScale());
}

TEST_F(CoreTest, MorphTargetsBlendPositionsNormalsAndColours) {
    // Three vertices; colours are unsigned bytes, stored signed.
    core::Ref<VertexBuffer> base(positions({0, 0, 0, 100, 0, 0, 0, 100, 0}, 0.5f));
    core::Ref<VertexBuffer> t1(positions({100, 0, 0, 100, 0, 0, 0, 100, 0}, 9.0f));
    core::Ref<VertexBuffer> t2(positions({0, 0, 0, 100, 40, 0, 0, 100, -400}, 9.0f));
    base->setColors(m3gtest::array<signed char>(3, {0, -56, -1, 0, 0, 0, 10, 10, 10}));
    t1->setColors(m3gtest::array<signed char>(3, {100, 100, -1, 0, 0, 0, 10, 10, 10}));
    base->setNormals(m3gtest::array<signed char>(3, {0, 0, 124, 0, 0, 124, 0, 0, 124}));
    t2->setNormals(m3gtest::array<signed char>(3, {124, 0, 0, 124, 0, 0, 124, 0, 0}));
    VertexBuffer* targets[2] = {t1.get(), t2.get()};
    static const unsigned short tri[3] = {0, 1, 2};
    IndexBuffer* ib = M3D_NEW TriangleListArray(tri, 3);
    Appearance* none = nullptr;
    core::Ref<MorphingMesh> mesh(M3D_NEW MorphingMesh(base.get(), targets, 2, &ib, &none, 1));
    VertexBuffer* out = mesh->getVertexBuffer();
    ASSERT_NE(base.get(), out);
    EXPECT_EQ(0.0f, drawn(out, 0).x) << "weights 0 draw the base";

    float w[2] = {0.5f, 0.25f};
    mesh->setWeights(w, 2);
    mesh->setWeights(w, 2);
    EXPECT_EQ(1, mesh->getBlendCount()) << "unchanged weights blend nothing";
    // Positions in the base's units (scale 0.5): 0 + 0.5·100; 40·0.25; -400·0.25.
    EXPECT_EQ(25.0f, drawn(out, 0).x);
    EXPECT_EQ(5.0f, drawn(out, 1).y);
    EXPECT_EQ(-50.0f, drawn(out, 2).z);
    // Normals: (0,0,124) + 0.25·((124,0,0) - (0,0,124)).
    float p[3];
    out->getNormals()->get(0, 1, p);
    EXPECT_EQ(31.0f, p[0]);
    EXPECT_EQ(93.0f, p[2]);
    // Colours: 0 + 0.5·100 = 50, 200 + 0.5·(100 - 200) = 150, 255 stays.
    const unsigned char* c = static_cast<const unsigned char*>(out->getColors()->data());
    EXPECT_EQ(std::vector<int>({50, 150, 255}), std::vector<int>(c, c + 3));
    core::Ref<MorphingMesh> copy(static_cast<MorphingMesh*>(mesh->duplicate()));
    EXPECT_NE(out, copy->getVertexBuffer());
    EXPECT_EQ(-50.0f, drawn(copy->getVertexBuffer(), 2).z) << "the copy draws the same blend";
    // So does the mesh written to a file and loaded again (targets, weights).
    m3gtest::Objects roots;
    roots.append(mesh.get());
    m3gtest::Objects loaded = m3gtest::load(m3gtest::write(roots, false));
    MorphingMesh* back = loaded.size() == 1 ? dynamic_cast<MorphingMesh*>(loaded[0].get()) : nullptr;
    ASSERT_TRUE(back);
    EXPECT_EQ(-50.0f, drawn(back->getVertexBuffer(), 2).z);
    // Overshooting weights stay inside the byte range.
    float big[2] = {4.0f, 0.0f};
    mesh->setWeights(big, 2);
    EXPECT_EQ(std::vector<int>({255, 0}), std::vector<int>(c, c + 2)) << "0 + 4·100 and 200 + 4·(100 - 200)";

    core::Ref<VertexBuffer> wrong(positions({0, 0, 0, 1, 1, 1}, 1.0f));
    VertexBuffer* bad[1] = {wrong.get()};
    EXPECT_THROW(MorphingMesh(base.get(), bad, 1, &ib, &none, 1), Graphics3DException);
}

// The identity camera shows x and y in [-1, 1]; a square of half size 0.25
// at x = -0.5 covers pixel (16, 32), and moved by +1 covers (48, 32).
// (Skinned meshes on screen are covered by the golden images.)
TEST_F(GLTest, MorphingMeshMovesOnScreenWithItsWeightsTrack) {
    const unsigned CLEAR = 0xFF000000u, RED = 0xFFFF0000u;
    core::Ref<VertexBuffer> base(quad(-0.75f, -0.25f, -0.25f, 0.25f, 0, RED));
    VertexBuffer* targets[1] = {quad(0.25f, -0.25f, 0.75f, 0.25f, 0, RED)};
    IndexBuffer* ib = quadIndices();
    Appearance* ap = flatAppearance();
    core::Ref<MorphingMesh> mesh(M3D_NEW MorphingMesh(base.get(), targets, 1, &ib, &ap, 1));
    auto frame = [&](unsigned leftColour, unsigned rightColour) {
        g->clearBuffers(CLEAR, true, true);
        mesh->render(*g, slm::mat4(), 0);
        expectPixels({{16, 32, leftColour}, {48, 32, rightColour}});
    };
    frame(RED, CLEAR);
    // A MORPH_WEIGHTS track sets the weights, one component per target.
    core::Ref<KeyframeSequence> weights(sequence(KS::LINEAR, KS::CONSTANT, 10, {{0, {1.0f}}}));
    mesh->addAnimationTrack(track(weights.get(), AnimationTrack::MORPH_WEIGHTS));
    mesh->animate(1);
    frame(CLEAR, RED);
}

} // namespace
