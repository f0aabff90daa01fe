// The standard program on a real GL context: each light type, specular,
// vertex-colour tracking, both fog modes, every texture function, two texture
// units and the alpha threshold, one 32 x 32 cell each on a 128 x 128 frame.
// Each cell's centre is checked against the fixed-function formula; the
// whole frame is compared with tests/golden/standard_program.png
// (PELLORAN_UPDATE_GOLDEN=1 writes it instead).
#include "PngReference.h"
#include "render/Fog.h"
#include "render/IndexBuffer.h"
#include "render/Light.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/PNG_Writer.h"
#include "render/VertexBuffer.h"
#include "support/EngineFixture.h"
#include "support/GLTestDisplay.h"
#include <GL/gl.h>
#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace render;

namespace {

const int SIZE = 128;
const std::string GOLDEN = std::string(PELLORAN_SOURCE_DIR) + "/tests/golden/standard_program.png";

class StandardProgramTest : public ::testing::Test {
protected:
    testsupport::EngineCore core{40 * 1024 * 1024};
    testsupport::GLTestDisplay display{SIZE, SIZE};
    core::Ref<OGLES2_Graphics3D> g;
    core::Ref<Camera> camera;

    void SetUp() override {
        g = M3D_NEW OGLES2_Graphics3D();
        core.globals().graphics = g.get();
        g->setDisplay(&display);
        GraphicsConfig config;
        config.flags[GraphicsConfig::DEFAULT_LIGHT] = 0;
        g->setConfig(config);
        g->resetGraphics3D(1);
        g->bindTarget(nullptr);
        // Looking down -z from z = 10 at the square (0, 0) - (8, 8): 16 pixels a unit.
        camera = M3D_NEW Camera();
        camera->setParallel(8.0f, 1.0f, 0.1f, 100.0f);
        g->setCamera(camera.get(), slm::translation(slm::vec3(4.0f, 4.0f, 10.0f)));
        g->clearBuffers(0xFF202020u, true, true);
    }
    void TearDown() override {
        core.globals().graphics = nullptr;
        g.release();
    }

    // A 1.6-unit square facing +z centred in cell (col, row), with normals,
    // texture coordinates 0..1 on units 0 and 1 and a default colour. It is
    // a 9 x 9 grid of vertices: lighting is computed per vertex, so the
    // centre needs a vertex of its own to show the light at the centre.
    void drawCell(int col, int row, Appearance* a, unsigned color) {
        const int N = 9;
        std::vector<float> p, n, t;
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) {
                float u = (float)i / (N - 1), v = (float)j / (N - 1);
                p.insert(p.end(), {col * 2.0f + 0.2f + 1.6f * u, row * 2.0f + 0.2f + 1.6f * v, 0.0f});
                n.insert(n.end(), {0.0f, 0.0f, 1.0f});
                t.insert(t.end(), {u, 1.0f - v});
            }
        std::vector<unsigned short> idx;
        for (int j = 0; j + 1 < N; ++j)
            for (int i = 0; i + 1 < N; ++i) {
                unsigned short k = (unsigned short)(j * N + i), up = (unsigned short)(k + N);
                for (unsigned short x : {k, (unsigned short)(k + 1), (unsigned short)(up + 1), k,
                                         (unsigned short)(up + 1), up})
                    idx.push_back(x);
            }
        core::Ref<VertexArray> pa(M3D_NEW VertexArray(N * N, 3, 4)), na(M3D_NEW VertexArray(N * N, 3, 4)),
            ta(M3D_NEW VertexArray(N * N, 2, 4));
        pa->set(0, N * N, p.data());
        na->set(0, N * N, n.data());
        ta->set(0, N * N, t.data());
        core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
        vb->setPositions(pa.get(), 1.0f, nullptr);
        vb->setNormals(na.get());
        vb->setTexCoords(0, ta.get(), 1.0f, nullptr);
        vb->setTexCoords(1, ta.get(), 1.0f, nullptr);
        vb->setDefaultColor(color);
        core::Ref<IndexBuffer> ib(M3D_NEW TriangleListArray(idx.data(), (int)idx.size()));
        g->renderSubmesh(vb.get(), ib.get(), a, slm::mat4(), -1);
    }
    Appearance* appearance(Material* m = nullptr) {
        Appearance* a = M3D_NEW Appearance();
        a->setShaderProgram(g->getStandardProgram());
        a->setMaterial(m ? m : material());
        return a;
    }
    // ambient 0.5, diffuse (0.8, 0.5, 0.25), no specular or emission.
    static Material* material() {
        Material* m = M3D_NEW Material();
        m->setAmbient(0xFF808080u);
        m->setDiffuse(0xFFCC8040u);
        return m;
    }
    void light(int mode, unsigned rgb, const slm::mat4& world, const std::function<void(Light&)>& extra = nullptr) {
        g->resetLights();
        core::Ref<Light> l(M3D_NEW Light());
        l->setMode(mode);
        l->setColor(rgb);
        if (extra) extra(*l);
        g->addLight(l.get(), world);
    }
    Texture2D* texture(unsigned argb, int function, unsigned blendColor = 0) {
        unsigned char px[16];
        for (int i = 0; i < 4; ++i) {
            px[i * 4] = (unsigned char)(argb >> 16);
            px[i * 4 + 1] = (unsigned char)(argb >> 8);
            px[i * 4 + 2] = (unsigned char)argb;
            px[i * 4 + 3] = (unsigned char)(argb >> 24);
        }
        core::Ref<Image2D> image(M3D_NEW Image2D(Image2D::RGBA, 2, 2, px));
        Texture2D* t = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 0, 0);
        t->setImage(image.get());
        t->setBlending(function);
        t->setBlendColor(blendColor);
        return t;
    }
    static std::array<int, 3> centre(int col, int row) {
        unsigned char c[4] = {0, 0, 0, 0};
        glReadPixels(col * 32 + 16, row * 32 + 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c);
        return {c[0], c[1], c[2]};
    }
};

TEST_F(StandardProgramTest, LightsFogAndTextureFunctionsFollowTheFixedFunctionFormulas) {
    ASSERT_NE(nullptr, g->getStandardProgram());
    ASSERT_NE(0u, g->getStandardProgram()->getGLName());
    std::vector<core::Ref<Object3D>> keep;
    auto hold = [&](Appearance* a) {
        keep.push_back(core::Ref<Object3D>(a));
        return a;
    };
    auto at = [](int col, int row) { return slm::translation(slm::vec3(col * 2.0f + 1.0f, row * 2.0f + 1.0f, 2.0f)); };
    struct Expect {
        int col, row;
        std::array<int, 3> rgb;
        const char* what;
    };
    std::vector<Expect> expects;

    // Row 3: one light each. Ambient 0.5 x 0.5; directional along -z at full
    // diffuse; omni 2 units away with quadratic attenuation 0.25: half; spot
    // 2 units away, 20 degrees: full in the centre, dark in the corners.
    light(Light::AMBIENT, 0x808080, slm::mat4());
    drawCell(0, 3, hold(appearance()), 0xFFFFFFFF);
    expects.push_back({0, 3, {64, 64, 64}, "ambient"});
    light(Light::DIRECTIONAL, 0xFFFFFF, slm::mat4());
    drawCell(1, 3, hold(appearance()), 0xFFFFFFFF);
    expects.push_back({1, 3, {204, 128, 64}, "directional"});
    light(Light::OMNI, 0xFFFFFF, at(2, 3), [](Light& l) { l.setAttenuation(1.0f, 0.0f, 0.25f); });
    drawCell(2, 3, hold(appearance()), 0xFFFFFFFF);
    expects.push_back({2, 3, {102, 64, 32}, "omni, attenuated to one half"});
    light(Light::SPOT, 0xFFFFFF, at(3, 3), [](Light& l) { l.setSpotAngle(20.0f); });
    drawCell(3, 3, hold(appearance()), 0xFFFFFFFF);
    expects.push_back({3, 3, {204, 128, 64}, "spot, on its axis"});

    // Row 2: specular, vertex-colour tracking, linear and exponential fog.
    light(Light::DIRECTIONAL, 0xFFFFFF, slm::mat4());
    Material* shiny = material();
    shiny->setDiffuse(0xFF404040u);
    shiny->setSpecular(0xFF404040u);
    shiny->setShininess(16.0f);
    drawCell(0, 2, hold(appearance(shiny)), 0xFFFFFFFF);
    expects.push_back({0, 2, {128, 128, 128}, "diffuse + specular facing the light"});
    Material* tracking = material();
    tracking->setVertexColorTrackingEnable(true);
    drawCell(1, 2, hold(appearance(tracking)), 0xFF00FF00);
    expects.push_back({1, 2, {0, 255, 0}, "vertex colour tracking"});
    Appearance* linear = hold(appearance());
    Fog* fog = M3D_NEW Fog();
    fog->setColor(0x0000FF);
    fog->setLinear(1.0f, 21.0f);
    linear->setFog(fog);
    drawCell(2, 2, linear, 0xFFFFFFFF);
    expects.push_back({2, 2, {112, 70, 150}, "linear fog, 10 units of 1 - 21"});
    Appearance* exponential = hold(appearance());
    Fog* thick = M3D_NEW Fog();
    thick->setColor(0x0000FF);
    thick->setMode(Fog::EXPONENTIAL);
    thick->setDensity(0.05f);
    exponential->setFog(thick);
    drawCell(3, 2, exponential, 0xFFFFFFFF);
    expects.push_back({3, 2, {124, 77, 139}, "exponential fog, density 0.05 at 10 units"});

    // Rows 1 and 0: no light, so the colour is the vertex colour
    // f = (0.8, 0.4, 0.2); texel t = (0.2, 0.6, 1.0, 0.5); blend colour red.
    g->resetLights();
    const unsigned F = 0xFFCC6633u, T = 0x803399FFu;
    struct Unit {
        int function;
        std::array<int, 3> rgb;
        const char* what;
    } units[] = {{Texture2D::FUNC_ADD, {255, 255, 255}, "add"},
                 {Texture2D::FUNC_BLEND, {214, 41, 0}, "blend"},
                 {Texture2D::FUNC_DECAL, {128, 128, 153}, "decal"},
                 {Texture2D::FUNC_MODULATE, {41, 61, 51}, "modulate"},
                 {Texture2D::FUNC_REPLACE, {51, 153, 255}, "replace"}};
    for (int i = 0; i < 5; ++i) {
        Appearance* a = hold(appearance());
        a->setTexture(0, texture(T, units[i].function, 0xFFFF0000u));
        drawCell(i % 4, 1 - i / 4, a, F);
        expects.push_back({i % 4, 1 - i / 4, units[i].rgb, units[i].what});
    }
    // Below the alpha threshold nothing is drawn.
    Appearance* cut = hold(appearance());
    cut->setTexture(0, texture(T, Texture2D::FUNC_MODULATE));
    cut->setCompositingMode(M3D_NEW CompositingMode());
    cut->getCompositingMode()->setAlphaThreshold(0.6f);
    drawCell(1, 0, cut, F);
    expects.push_back({1, 0, {32, 32, 32}, "alpha 0.5 under a threshold of 0.6"});
    // Two units in order: modulate, then add (0.1, 0.1, 0.1).
    Appearance* two = hold(appearance());
    two->setTexture(0, texture(T, Texture2D::FUNC_MODULATE));
    two->setTexture(1, texture(0xFF1A1A1Au, Texture2D::FUNC_ADD));
    drawCell(2, 0, two, F);
    expects.push_back({2, 0, {67, 87, 77}, "modulate then add"});
    // An untextured, unlit mesh shows its colour: empty units do not darken it.
    drawCell(3, 0, hold(appearance()), F);
    expects.push_back({3, 0, {204, 102, 51}, "no texture, no light"});

    for (const Expect& e : expects) {
        std::array<int, 3> got = centre(e.col, e.row);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(e.rgb[c], got[c], 3) << e.what << " channel " << c << ": got " << got[0] << ", " << got[1]
                                             << ", " << got[2];
    }
    // The spot's cone ends inside its quad; the omni light falls off outwards.
    unsigned char corner[4], middle[4];
    glReadPixels(3 * 32 + 3, 3 * 32 + 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    EXPECT_LT(corner[0] + corner[1] + corner[2], 10) << "outside the spot's cone";
    glReadPixels(2 * 32 + 3, 3 * 32 + 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    glReadPixels(2 * 32 + 16, 3 * 32 + 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, middle);
    EXPECT_LT(corner[0] + 20, middle[0]) << "the omni light is dimmer at the corner";

    // The whole frame against the reference picture.
    std::vector<unsigned char> frame((size_t)SIZE * SIZE * 4);
    glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    for (size_t i = 3; i < frame.size(); i += 4) frame[i] = 255;
    if (std::getenv("PELLORAN_UPDATE_GOLDEN")) {
        render::writePNG(core::String(GOLDEN.c_str()), SIZE, SIZE, frame.data(), true);
        return;
    }
    std::ifstream in(GOLDEN, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string file = bytes.str();
    pngref::Image want;
    std::string why;
    ASSERT_TRUE(pngref::decode(std::vector<unsigned char>(file.begin(), file.end()), want, why)) << why;
    ASSERT_EQ(SIZE, want.width);
    ASSERT_EQ(SIZE, want.height);
    int differing = 0;
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            const unsigned char* got = &frame[(size_t)((SIZE - 1 - y) * SIZE + x) * 4];
            const unsigned char* ref = &want.pixels[(size_t)(y * SIZE + x) * want.channels];
            for (int c = 0; c < 3; ++c)
                if (std::abs(got[c] - ref[c]) > 12) {
                    ++differing;
                    break;
                }
        }
    EXPECT_LE(differing, SIZE * SIZE / 200) << differing << " pixels differ from " << GOLDEN;
}

} // namespace
