// Skinned meshes against a float reference; morph targets, blended and drawn.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "support/SceneBuilders.h"
#include "render/MorphingMesh.h"
#include "render/SkinnedMesh.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/quaternion.hpp>
#include <glm/gtx/string_cast.hpp>
#include <random>

using namespace render;
using m3gtest::positions;
using testsupport::child;
using testsupport::CoreTest;
using testsupport::GLTest;
using testsupport::sequence;
using testsupport::track;
typedef KeyframeSequence KS;

namespace {

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
