// render::M3G_Writer: scenes built here are written, loaded back and compared
// with what was built; writing the loaded scene again gives the same bytes
// (every field the format holds survived the trip).
#include "core/IOException.h"
#include "core/MemoryStream.h"
#include "M3GBytes.h"
#include "render/AnimationTrack.h"
#include "render/Light.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include "render/Mesh.h"
#include "render/MorphingMesh.h"
#include "render/SkinnedMesh.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/World.h"
#include "support/EngineFixture.h"
#include <cstdint>
#include <cstdio>
#include <string>

typedef core::Vector<core::Ref<render::Object3D>> Objects;
using namespace render;

namespace {

class M3G_WriterTest : public testsupport::CoreTest {
protected:
    core::Ref<OGLES2_Graphics3D> g;
    void SetUp() override {
        g = M3D_NEW OGLES2_Graphics3D();
        core.globals().graphics = g.get();
    }
    void TearDown() override {
        core.globals().graphics = nullptr;
        g.release();
    }

    std::string write(const Objects& roots, bool compress) {
        core::Ref<M3G_Writer> w = M3D_NEW M3G_Writer();
        for (int i = 0; i < roots.size(); ++i) w->add(roots[i].get());
        core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
        w->write(out.get(), compress);
        return std::string((const char*)out->data(), (size_t)out->size());
    }
    Objects load(const std::string& bytes) {
        core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), false);
        Objects out;
        Loader::load(in.get(), out, nullptr, core::String());
        return out;
    }

    // A lit, textured, transformed world of two submeshes.
    core::Ref<World> buildWorld() {
        core::Ref<World> world = M3D_NEW World();
        core::Ref<Camera> camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.5f, 0.5f, 100.0f);
        camera->setTranslation(slm::vec3(0, 1, 5));
        core::Ref<Background> background = M3D_NEW Background();
        background->setColor(0x80112233u);
        core::Ref<Light> light = M3D_NEW Light();
        light->setMode(Light::SPOT);
        light->setColor(0x123456u);
        light->setSpotAngle(30.0f);
        light->setAttenuation(1.0f, 0.5f, 0.25f);
        light->setOrientation(slm::quat(0.0f, 0.70710677f, 0.0f, 0.70710677f));

        core::Ref<VertexArray> positions = M3D_NEW VertexArray(4, 3, 2);
        const short p[12] = {-100, -100, 0, 100, -100, 0, -100, 100, 0, 100, 100, 7};
        positions->set(0, 4, p);
        core::Ref<VertexArray> normals = M3D_NEW VertexArray(4, 3, 1);
        const signed char n[12] = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, -128, 0};
        normals->set(0, 4, n);
        core::Ref<VertexArray> colors = M3D_NEW VertexArray(4, 4, 1);
        const signed char c[16] = {1, 2, 3, 4, -1, -2, -3, -4, 5, 6, 7, 8, 9, 10, 11, 12};
        colors->set(0, 4, c);
        core::Ref<VertexArray> uv = M3D_NEW VertexArray(4, 2, 2);
        const short t[8] = {0, 0, 1, 0, 0, 1, 1, 1};
        uv->set(0, 4, t);
        core::Ref<VertexBuffer> vb = M3D_NEW VertexBuffer();
        const float bias[3] = {0.5f, -0.25f, 2.0f};
        vb->setPositions(positions.get(), 0.01f, bias);
        vb->setNormals(normals.get());
        vb->setColors(colors.get());
        vb->setTexCoords(0, uv.get(), 1.0f, nullptr);
        vb->setTexCoords(1, uv.get(), 0.5f, bias);
        vb->setDefaultColor(0xFF00FF00u);

        const unsigned short strip[5] = {0, 1, 2, 3, 0};
        core::Ref<IndexBuffer> ib0 = M3D_NEW TriangleStripArray(strip, 5);
        core::Ref<IndexBuffer> ib1 = M3D_NEW TriangleStripArray(strip + 1, 3);
        core::Ref<Appearance> look = M3D_NEW Appearance();
        core::Ref<Material> material = M3D_NEW Material();
        material->setDiffuse(0x40506070u);
        material->setShininess(12.5f);
        look->setMaterial(material.get());
        core::Ref<CompositingMode> cm = M3D_NEW CompositingMode();
        cm->setBlending(CompositingMode::ALPHA);
        cm->setAlphaThreshold(128 / 255.0f);
        look->setCompositingMode(cm.get());
        core::Ref<PolygonMode> pm = M3D_NEW PolygonMode();
        pm->setCulling(PolygonMode::CULL_NONE);
        look->setPolygonMode(pm.get());
        core::Ref<Fog> fog = M3D_NEW Fog();
        fog->setMode(Fog::EXPONENTIAL);
        fog->setDensity(0.25f);
        look->setFog(fog.get());
        const unsigned char rgb[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        core::Ref<Image2D> image = M3D_NEW Image2D(Image2D::RGB, 2, 2, rgb);
        core::Ref<Texture2D> texture = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGB, 0, 0);
        texture->setImage(image.get());
        texture->setBlending(Texture2D::FUNC_DECAL);
        texture->setTranslation(slm::vec3(0.5f, 0, 0));
        look->setTexture(1, texture.get());
        look->setLayer(-3);

        IndexBuffer* ibs[2] = {ib0.get(), ib1.get()};
        Appearance* looks[2] = {look.get(), nullptr};
        core::Ref<Mesh> mesh = M3D_NEW Mesh(vb.get(), ibs, looks, 2);
        mesh->setUserID(42);
        mesh->setName(core::String("quad"));
        core::Ref<Group> group = M3D_NEW Group();
        group->setScale(slm::vec3(2, 3, 4));
        slm::mat4 m;
        m(0, 3) = 9.0f;
        m(1, 0) = 0.5f;
        group->setTransform(m);
        group->setAlphaFactor(128 / 255.0f);
        group->setScope(6);
        group->addChild(mesh.get());
        group->addChild(light.get());
        world->addChild(group.get());
        world->addChild(camera.get());
        world->setActiveCamera(camera.get());
        world->setBackground(background.get());
        return world;
    }
};

TEST_F(M3G_WriterTest, WorldRoundTripsThroughBothSectionKinds) {
    Objects roots;
    roots.append(buildWorld().get());
    for (bool compress : {false, true}) {
        std::string first = write(roots, compress);
        Objects loaded = load(first);
        ASSERT_EQ(1, loaded.size());
        EXPECT_EQ(first, write(loaded, compress)) << "compress " << compress;

        World* w = dynamic_cast<World*>(loaded[0].get());
        ASSERT_TRUE(w && w->getActiveCamera() && w->getBackground());
        EXPECT_EQ(0x80112233u, w->getBackground()->getColor());
        Group* group = dynamic_cast<Group*>(w->getChild(0));
        ASSERT_TRUE(group);
        EXPECT_EQ(slm::vec3(2, 3, 4), group->getScale());
        EXPECT_EQ(9.0f, group->getTransform()(0, 3));
        EXPECT_EQ(0.5f, group->getTransform()(1, 0));
        EXPECT_EQ(6, group->getScope());
        Mesh* mesh = dynamic_cast<Mesh*>(group->getChild(0));
        ASSERT_TRUE(mesh);
        EXPECT_EQ(42, mesh->getUserID());
        EXPECT_EQ("quad", std::string(mesh->getName().c_str()));
        ASSERT_EQ(2, mesh->getSubmeshCount());
        EXPECT_EQ(5, mesh->getIndexBuffer(0)->getIndexCount());
        EXPECT_EQ(3, mesh->getIndexBuffer(1)->getIndices()[2]);
        EXPECT_TRUE(mesh->getAppearance(1)); // a default one stands in for none
        Appearance* look = mesh->getAppearance(0);
        EXPECT_EQ(-3, look->getLayer());
        EXPECT_EQ(0x40506070u, look->getMaterial()->getDiffuse());
        EXPECT_EQ(CompositingMode::ALPHA, look->getCompositingMode()->getBlending());
        EXPECT_EQ(0.25f, look->getFog()->getDensity());
        EXPECT_EQ(nullptr, look->getTexture(0));
        ASSERT_TRUE(look->getTexture(1));
        EXPECT_EQ(12, look->getTexture(1)->getImage()->getPixels()[11]);
        VertexBuffer* vb = mesh->getVertexBuffer();
        EXPECT_EQ(0.01f, vb->getPositionScale());
        EXPECT_EQ(2.0f, vb->getPositionBias()[2]);
        EXPECT_EQ(0xFF00FF00u, vb->getDefaultColor());
        float v[16]; // four vertices of up to four components
        vb->getPositions()->get(0, 4, v);
        EXPECT_EQ(7.0f, v[11]);
        vb->getColors()->get(0, 4, v);
        EXPECT_EQ(-4.0f, v[7]);
        ASSERT_EQ(2, vb->getTexCoordUnitCount());
        EXPECT_EQ(0.5f, vb->getTexCoords(1)->scale);
        Light* light = dynamic_cast<Light*>(group->getChild(1));
        ASSERT_TRUE(light);
        EXPECT_EQ(Light::SPOT, light->getMode());
        EXPECT_NEAR(0.70710677f, light->getOrientation().y, 1e-6f);
        float params[4];
        EXPECT_EQ(Camera::PERSPECTIVE, w->getActiveCamera()->getProjection(params));
        EXPECT_EQ(1.5f, params[1]);
    }
}

// Animation, skinning bindings and morph targets survive the trip: the loaded
// scene animates to the same state as the one that was built.
TEST_F(M3G_WriterTest, AnimatedSkinnedAndMorphingMeshesRoundTrip) {
    auto build = [] {
        core::Ref<Group> root = M3D_NEW Group();
        core::Ref<KeyframeSequence> keys = M3D_NEW KeyframeSequence(2, 3, KeyframeSequence::LINEAR);
        const float a[3] = {0, 0, 0}, b[3] = {10, 20, 30};
        keys->setKeyframe(0, 0, a);
        keys->setKeyframe(1, 100, b);
        keys->setDuration(100);
        keys->setRepeatMode(KeyframeSequence::LOOP);
        core::Ref<AnimationController> controller = M3D_NEW AnimationController();
        controller->setSpeed(2.0f);
        core::Ref<AnimationTrack> track = M3D_NEW AnimationTrack(keys.get(), AnimationTrack::TRANSLATION);
        track->setController(controller.get());

        core::Ref<VertexArray> positions = M3D_NEW VertexArray(3, 3, 2);
        const short p[9] = {0, 0, 0, 100, 0, 0, 0, 100, 0};
        positions->set(0, 3, p);
        core::Ref<VertexBuffer> vb = M3D_NEW VertexBuffer();
        vb->setPositions(positions.get(), 1.0f, nullptr);
        const unsigned short tri[3] = {0, 1, 2};
        core::Ref<IndexBuffer> ib = M3D_NEW TriangleStripArray(tri, 3);
        core::Ref<Appearance> look = M3D_NEW Appearance();
        IndexBuffer* ibs[1] = {ib.get()};
        Appearance* looks[1] = {look.get()};
        core::Ref<Group> skeleton = M3D_NEW Group();
        core::Ref<Group> bone = M3D_NEW Group();
        skeleton->addChild(bone.get());
        bone->addAnimationTrack(track.get());
        core::Ref<SkinnedMesh> skinned = M3D_NEW SkinnedMesh(vb.get(), ibs, looks, 1, skeleton.get());
        skinned->addTransform(bone.get(), 2, 1, 2);
        skinned->addTransform(skeleton.get(), 1, 0, 3);

        core::Ref<VertexArray> basePositions = M3D_NEW VertexArray(3, 3, 2);
        basePositions->set(0, 3, p);
        core::Ref<VertexBuffer> base = M3D_NEW VertexBuffer();
        base->setPositions(basePositions.get(), 1.0f, nullptr);
        core::Ref<VertexArray> targetPositions = M3D_NEW VertexArray(3, 3, 2);
        const short q[9] = {0, 0, 50, 100, 0, 50, 0, 100, 50};
        targetPositions->set(0, 3, q);
        core::Ref<VertexBuffer> target = M3D_NEW VertexBuffer();
        target->setPositions(targetPositions.get(), 1.0f, nullptr);
        VertexBuffer* targets[1] = {target.get()};
        core::Ref<MorphingMesh> morph = M3D_NEW MorphingMesh(base.get(), targets, 1, ibs, looks, 1);
        const float w = 0.5f;
        morph->setWeights(&w, 1);
        root->addChild(skinned.get());
        root->addChild(morph.get());
        root->addAnimationTrack(track.get());
        return root;
    };
    Objects built;
    built.append(build().get());
    std::string first = write(built, false);
    Objects loaded = load(first);
    ASSERT_EQ(1, loaded.size());
    EXPECT_EQ(-1, m3gbytes::firstRealDifference(first, write(loaded, false)));

    for (Objects* scene : {&built, &loaded}) (*scene)[0]->animate(25);
    Group* a = static_cast<Group*>(built[0].get());
    Group* b = dynamic_cast<Group*>(loaded[0].get());
    ASSERT_TRUE(b);
    EXPECT_EQ(a->getTranslation(), b->getTranslation());
    EXPECT_EQ(slm::vec3(5, 10, 15), b->getTranslation()); // speed 2: half way at 25
    SkinnedMesh* sa = static_cast<SkinnedMesh*>(a->getChild(0));
    SkinnedMesh* sb = dynamic_cast<SkinnedMesh*>(b->getChild(0));
    ASSERT_TRUE(sb);
    ASSERT_EQ(sa->getBoneCount(), sb->getBoneCount());
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(sa->getSkinnedPositions()[v].x, sb->getSkinnedPositions()[v].x) << v;
        EXPECT_EQ(sa->getSkinnedPositions()[v].y, sb->getSkinnedPositions()[v].y) << v;
    }
    MorphingMesh* mb = dynamic_cast<MorphingMesh*>(b->getChild(1));
    ASSERT_TRUE(mb);
    float weight = 0;
    mb->getWeights(&weight, 1);
    EXPECT_EQ(0.5f, weight);
    EXPECT_EQ(1, mb->getMorphTargetCount());
}

TEST_F(M3G_WriterTest, ReferencesMustBeAddedAndUnwritableObjectsAreRefused) {
    core::Ref<M3G_Writer> w = M3D_NEW M3G_Writer();
    core::Ref<Material> m = M3D_NEW Material();
    char expected[80];
    std::snprintf(expected, sizeof expected, "Object reference 0x%X not yet added to index table.",
                  (unsigned)(uintptr_t)m.get());
    try {
        w->indexOf(m.get());
        ADD_FAILURE();
    } catch (const core::IOException& e) {
        EXPECT_NE(std::string::npos, std::string(e.getMessage()).find(expected)) << e.getMessage();
    }
    core::Ref<VertexArray> floats = M3D_NEW VertexArray(3, 3, 4);
    w->add(floats.get());
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    EXPECT_THROW(w->write(out.get(), false), core::IOException);
}

} // namespace
