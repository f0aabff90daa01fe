// A textured, a lit and a skinned scene that went through an M3G file, drawn
// on GL and compared with golden images.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "support/SceneBuilders.h"
#include "render/AnimationTrack.h"
#include "render/Light.h"
#include "render/SkinnedMesh.h"

using namespace render;

namespace {

class M3G_GoldenTest : public testsupport::GLTest {
protected:
    core::Ref<World> world;
    core::Ref<Appearance> look;

    void SetUp() override {
        GLTest::SetUp();
        world = M3D_NEW World();
        core::Ref<Camera> camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.0f, 0.1f, 10.0f);
        camera->setTranslation(slm::vec3(0, 0, 2));
        world->addChild(camera.get());
        world->setActiveCamera(camera.get());
        world->setBackground(M3D_NEW Background());
        world->getBackground()->setColor(0xFF202040u);
        look = M3D_NEW Appearance();
    }

    // A quad of side 1.6 facing +z, 16-bit positions, normals and texture coordinates.
    static VertexBuffer* quadBuffer() {
        VertexBuffer* vb =
            m3gtest::positions({-800, -800, 0, 800, -800, 0, -800, 800, 0, 800, 800, 0}, 0.001f);
        vb->setNormals(m3gtest::array<signed char>(3, {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127}));
        vb->setTexCoords(0, m3gtest::array<short>(2, {0, 1, 1, 1, 0, 0, 1, 0}), 1.0f, nullptr);
        vb->setDefaultColor(0xFFFFFFFFu);
        return vb;
    }
    static IndexBuffer* quadStrip() {
        const unsigned short s[4] = {0, 1, 2, 3};
        return M3D_NEW TriangleStripArray(s, 4);
    }

    // The world written and loaded again, animated to `time`, drawn and
    // compared with the golden image.
    void checkThroughFile(const char* name, int time = -1) {
        m3gtest::Objects roots;
        roots.append(world.get());
        m3gtest::Objects loaded = m3gtest::load(m3gtest::write(roots, true));
        ASSERT_EQ(1, loaded.size());
        World* w = dynamic_cast<World*>(loaded[0].get());
        ASSERT_TRUE(w);
        if (time >= 0) w->animate(time);
        w->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
        m3gtest::expectGolden(SIZE, name);
    }
};

TEST_F(M3G_GoldenTest, TexturedQuad) {
    const unsigned char rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    core::Ref<Texture2D> texture = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGB, 0, 0);
    texture->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    texture->setBlending(Texture2D::FUNC_REPLACE);
    texture->setImage(M3D_NEW Image2D(Image2D::RGB, 2, 2, rgb));
    look->setTexture(0, texture.get());
    world->addChild(M3D_NEW Mesh(quadBuffer(), quadStrip(), look.get()));
    checkThroughFile("m3g_textured");
}

TEST_F(M3G_GoldenTest, LitQuad) {
    look->setMaterial(M3D_NEW Material());
    look->getMaterial()->setDiffuse(0xFFE04020u);
    Mesh* mesh = M3D_NEW Mesh(quadBuffer(), quadStrip(), look.get());
    mesh->setOrientation(slm::quat(0.0f, 0.25881905f, 0.0f, 0.96592583f)); // 30 degrees about y
    Light* light = M3D_NEW Light();
    light->setMode(Light::OMNI);
    light->setTranslation(slm::vec3(0.5f, 0.5f, 1.0f));
    world->addChild(mesh);
    world->addChild(light);
    checkThroughFile("m3g_lit");
}

TEST_F(M3G_GoldenTest, SkinnedStripAfterAnimate) {
    look->setMaterial(M3D_NEW Material());
    look->getMaterial()->setEmissive(0x0040C040u);
    Group* skeleton = M3D_NEW Group();
    Group* bone = M3D_NEW Group();
    skeleton->addChild(bone);
    KeyframeSequence* keys = testsupport::sequence(KeyframeSequence::LINEAR, KeyframeSequence::CONSTANT, 100,
                                                   {{0, {0, 0, 0}}, {100, {0.6f, 0.4f, 0}}});
    bone->addAnimationTrack(testsupport::track(keys, AnimationTrack::TRANSLATION));
    IndexBuffer* ib = quadStrip();
    Appearance* looks[1] = {look.get()};
    SkinnedMesh* mesh = M3D_NEW SkinnedMesh(quadBuffer(), &ib, looks, 1, skeleton);
    mesh->addTransform(skeleton, 1, 0, 2); // the bottom edge stays
    mesh->addTransform(bone, 1, 2, 2);     // the top edge follows the bone
    world->addChild(mesh);
    checkThroughFile("m3g_skinned", 50);
}

} // namespace
