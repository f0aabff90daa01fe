// Scenes that went through an M3G file (written by the writer, read by the
// loader) drawn on GL and compared with golden images in tests/golden/
// (PELLORAN_UPDATE_GOLDEN=1 writes them): a textured quad, a lit quad and a
// skinned strip after animate.
#include "PngReference.h"
#include "RenderFixture.h"
#include "TestStreams.h"
#include "core/MemoryStream.h"
#include "render/AnimationTrack.h"
#include "render/Light.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include "render/PNG_Writer.h"
#include "render/SkinnedMesh.h"
#include <cstdlib>
#include <string>

using namespace render;
typedef core::Vector<core::Ref<Object3D>> Objects;

namespace {

const std::string GOLDEN = std::string(PELLORAN_SOURCE_DIR) + "/tests/golden/";

class M3G_GoldenTest : public testsupport::GLTest {
protected:
    core::Ref<World> world;

    void SetUp() override {
        GLTest::SetUp();
        GraphicsConfig config = g->getConfig();
        config.flags[GraphicsConfig::LIGHTING_ALLOWED] = 1;
        g->setConfig(config);
        g->setLightingEnabled(true);
        world = M3D_NEW World();
        core::Ref<Camera> camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.0f, 0.1f, 10.0f);
        camera->setTranslation(slm::vec3(0, 0, 2));
        world->addChild(camera.get());
        world->setActiveCamera(camera.get());
        core::Ref<Background> bg = M3D_NEW Background();
        bg->setColor(0xFF202040u);
        world->setBackground(bg.get());
    }

    // A quad of side 1.6 facing +z, 16-bit positions, normals and texture coordinates.
    static core::Ref<VertexBuffer> quadBuffer() {
        const short p[12] = {-800, -800, 0, 800, -800, 0, -800, 800, 0, 800, 800, 0};
        const signed char n[12] = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127};
        const short t[8] = {0, 1, 1, 1, 0, 0, 1, 0};
        core::Ref<VertexArray> pa = M3D_NEW VertexArray(4, 3, 2);
        pa->set(0, 4, p);
        core::Ref<VertexArray> na = M3D_NEW VertexArray(4, 3, 1);
        na->set(0, 4, n);
        core::Ref<VertexArray> ta = M3D_NEW VertexArray(4, 2, 2);
        ta->set(0, 4, t);
        core::Ref<VertexBuffer> vb = M3D_NEW VertexBuffer();
        vb->setPositions(pa.get(), 0.001f, nullptr);
        vb->setNormals(na.get());
        vb->setTexCoords(0, ta.get(), 1.0f, nullptr);
        vb->setDefaultColor(0xFFFFFFFFu);
        return vb;
    }
    static core::Ref<IndexBuffer> quadStrip() {
        const unsigned short s[4] = {0, 1, 2, 3};
        return core::Ref<IndexBuffer>(M3D_NEW TriangleStripArray(s, 4));
    }

    // The world through a file: written, loaded, returned.
    core::Ref<World> throughFile() {
        core::Ref<M3G_Writer> w = M3D_NEW M3G_Writer();
        w->add(world.get());
        core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
        w->write(out.get(), true);
        core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(out->data(), out->size(), false);
        Objects loaded;
        Loader::load(in.get(), loaded, nullptr, core::String());
        EXPECT_EQ(1, loaded.size());
        return core::Ref<World>(loaded.size() ? dynamic_cast<World*>(loaded[0].get()) : nullptr);
    }

    // Draws the loaded world and compares the frame with tests/golden/<name>.png.
    void check(World* loaded, const char* name) {
        ASSERT_TRUE(loaded);
        loaded->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
        std::vector<unsigned char> frame((size_t)SIZE * SIZE * 4);
        glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
        std::string reference = GOLDEN + name + ".png";
        if (std::getenv("PELLORAN_UPDATE_GOLDEN")) {
            writePNG(core::String(reference.c_str()), SIZE, SIZE, frame.data(), true);
            return;
        }
        pngref::Image want;
        std::string why;
        ASSERT_TRUE(pngref::decode(teststreams::readFile(reference), want, why)) << name << ": " << why;
        ASSERT_EQ(SIZE, want.width);
        int differing = 0;
        for (int y = 0; y < SIZE; ++y)
            for (int x = 0; x < SIZE; ++x) {
                const unsigned char* got = &frame[((size_t)(SIZE - 1 - y) * SIZE + x) * 4];
                const unsigned char* ref = &want.pixels[((size_t)y * SIZE + x) * want.channels];
                for (int c = 0; c < 3; ++c)
                    if (std::abs(got[c] - ref[c]) > 12) {
                        ++differing;
                        break;
                    }
            }
        EXPECT_LE(differing, SIZE * SIZE / 200) << name << ": " << differing << " pixels differ";
        // Something was drawn over the background in the middle.
        auto c = pixel(SIZE / 2, SIZE / 2);
        EXPECT_FALSE(c[0] == 0x20 && c[1] == 0x20 && c[2] == 0x40) << name;
    }
};

TEST_F(M3G_GoldenTest, TexturedQuad) {
    const unsigned char rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    core::Ref<Image2D> image = M3D_NEW Image2D(Image2D::RGB, 2, 2, rgb);
    core::Ref<Texture2D> texture = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGB, 0, 0);
    texture->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    texture->setBlending(Texture2D::FUNC_REPLACE);
    texture->setImage(image.get());
    core::Ref<Appearance> look = M3D_NEW Appearance();
    look->setTexture(0, texture.get());
    core::Ref<Mesh> mesh = M3D_NEW Mesh(quadBuffer().get(), quadStrip().get(), look.get());
    world->addChild(mesh.get());
    check(throughFile().get(), "m3g_textured");
}

TEST_F(M3G_GoldenTest, LitQuad) {
    core::Ref<Appearance> look = M3D_NEW Appearance();
    core::Ref<Material> material = M3D_NEW Material();
    material->setDiffuse(0xFFE04020u);
    look->setMaterial(material.get());
    core::Ref<Mesh> mesh = M3D_NEW Mesh(quadBuffer().get(), quadStrip().get(), look.get());
    mesh->setOrientation(slm::quat(0.0f, 0.25881905f, 0.0f, 0.96592583f)); // 30 degrees about y
    core::Ref<Light> light = M3D_NEW Light();
    light->setMode(Light::OMNI);
    light->setTranslation(slm::vec3(0.5f, 0.5f, 1.0f));
    world->addChild(mesh.get());
    world->addChild(light.get());
    check(throughFile().get(), "m3g_lit");
}

TEST_F(M3G_GoldenTest, SkinnedStripAfterAnimate) {
    core::Ref<Appearance> look = M3D_NEW Appearance();
    core::Ref<Material> material = M3D_NEW Material();
    material->setEmissive(0x0040C040u);
    look->setMaterial(material.get());
    core::Ref<Group> skeleton = M3D_NEW Group();
    core::Ref<Group> bone = M3D_NEW Group();
    skeleton->addChild(bone.get());
    core::Ref<KeyframeSequence> keys = M3D_NEW KeyframeSequence(2, 3, KeyframeSequence::LINEAR);
    const float from[3] = {0, 0, 0}, to[3] = {0.6f, 0.4f, 0};
    keys->setKeyframe(0, 0, from);
    keys->setKeyframe(1, 100, to);
    keys->setDuration(100);
    core::Ref<AnimationTrack> track = M3D_NEW AnimationTrack(keys.get(), AnimationTrack::TRANSLATION);
    track->setController(M3D_NEW AnimationController());
    bone->addAnimationTrack(track.get());
    core::Ref<IndexBuffer> ib = quadStrip();
    IndexBuffer* ibs[1] = {ib.get()};
    Appearance* looks[1] = {look.get()};
    core::Ref<SkinnedMesh> mesh = M3D_NEW SkinnedMesh(quadBuffer().get(), ibs, looks, 1, skeleton.get());
    mesh->addTransform(skeleton.get(), 1, 0, 2); // the bottom edge stays
    mesh->addTransform(bone.get(), 1, 2, 2);     // the top edge follows the bone
    world->addChild(mesh.get());
    core::Ref<World> loaded = throughFile();
    ASSERT_TRUE(loaded);
    loaded->animate(50);
    check(loaded.get(), "m3g_skinned");
}

} // namespace
