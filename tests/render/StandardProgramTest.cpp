// Drawn on GL and compared with golden images: the standard program (lights,
// the default light, fog, texture functions, alpha threshold), one cell each
// with its centre checked against the fixed-function formula.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "render/Light.h"
#include <cmath>

using namespace render;

namespace {

class StandardProgramTest : public testsupport::GLTest {
protected:
    static constexpr int CELL = SIZE / 4;
    core::Ref<Camera> camera;
    std::vector<core::Ref<Object3D>> keep;
    struct Expect {
        int col, row;
        std::array<int, 3> rgb;
        const char* what;
    };
    std::vector<Expect> expects;

    void SetUp() override {
        GLTest::SetUp();
        // Looking down -z from z = 10 at the square (0, 0) - (8, 8): 8 pixels a unit.
        camera = M3D_NEW Camera();
        camera->setParallel(8.0f, 1.0f, 0.1f, 100.0f);
        g->setCamera(camera.get(), slm::translation(slm::vec3(4.0f, 4.0f, 10.0f)));
        g->clearBuffers(0xFF202020u, true, true);
    }

    // A 1.6-unit square facing +z centred in cell (col, row), with normals,
    // texture coordinates 0..1 on units 0 and 1 and a default colour; its
    // centre should show `rgb`. It is a 9 x 9 grid of vertices: lighting is
    // computed per vertex, so the centre needs a vertex of its own.
    void cell(int col, int row, Appearance* a, unsigned color, std::array<int, 3> rgb, const char* what) {
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
                int k = j * N + i, up = k + N;
                for (int x : {k, k + 1, up + 1, k, up + 1, up})
                    idx.push_back((unsigned short)x);
            }
        core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
        vb->setPositions(m3gtest::array(3, p), 1.0f, nullptr);
        vb->setNormals(m3gtest::array(3, n));
        VertexArray* uv = m3gtest::array(2, t);
        vb->setTexCoords(0, uv, 1.0f, nullptr);
        vb->setTexCoords(1, uv, 1.0f, nullptr);
        vb->setDefaultColor(color);
        core::Ref<IndexBuffer> ib(M3D_NEW TriangleListArray(idx.data(), (int)idx.size()));
        keep.push_back(core::Ref<Object3D>(a));
        g->renderSubmesh(vb.get(), ib.get(), a, slm::mat4(), -1);
        expects.push_back({col, row, rgb, what});
    }
    // An appearance with the standard program and a material of ambient 0.5
    // and diffuse (0.8, 0.5, 0.25), no specular or emission.
    Appearance* appearance() {
        Appearance* a = M3D_NEW Appearance();
        a->setShaderProgram(g->getStandardProgram());
        a->setMaterial(M3D_NEW Material());
        a->getMaterial()->setAmbient(0xFF808080u);
        a->getMaterial()->setDiffuse(0xFFCC8040u);
        return a;
    }
    // The one light: spot angle and quadratic attenuation as given.
    void light(int mode, unsigned rgb, const slm::mat4& world, float spotAngle = 45.0f,
               float quadratic = 0.0f) {
        g->resetLights();
        core::Ref<Light> l(M3D_NEW Light());
        l->setMode(mode);
        l->setColor(rgb);
        l->setSpotAngle(spotAngle);
        l->setAttenuation(1.0f, 0.0f, quadratic);
        g->addLight(l.get(), world);
    }
    // 2 units above the centre of cell (col, row).
    static slm::mat4 at(int col, int row) {
        return slm::translation(slm::vec3(col * 2.0f + 1.0f, row * 2.0f + 1.0f, 2.0f));
    }
    Texture2D* texture(unsigned argb, int function, unsigned blendColor = 0) {
        const unsigned char px[4] = {(unsigned char)(argb >> 16), (unsigned char)(argb >> 8),
                                     (unsigned char)argb, (unsigned char)(argb >> 24)};
        core::Ref<Image2D> image(M3D_NEW Image2D(Image2D::RGBA, 1, 1, px));
        Texture2D* t = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 0, 0);
        t->setImage(image.get());
        t->setBlending(function);
        t->setBlendColor(blendColor);
        return t;
    }
    // Each drawn cell's centre within 3 of its colour in every channel.
    void expectCells() {
        for (const Expect& e : expects) {
            std::array<int, 4> got = pixel(e.col * CELL + CELL / 2, e.row * CELL + CELL / 2);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(e.rgb[c], got[c], 3)
                    << e.what << " channel " << c << ": got " << got[0] << ", " << got[1] << ", " << got[2];
        }
    }
};

TEST_F(StandardProgramTest, LightsFogAndTextureFunctionsFollowTheFixedFunctionFormulas) {
    // Row 3: one light each. Ambient 0.5 x 0.5; directional along -z at full
    // diffuse; omni 2 units away with quadratic attenuation 0.25: half; spot
    // 2 units away, 20 degrees: full in the centre, dark in the corners.
    light(Light::AMBIENT, 0x808080, slm::mat4());
    cell(0, 3, appearance(), 0xFFFFFFFF, {64, 64, 64}, "ambient");
    light(Light::DIRECTIONAL, 0xFFFFFF, slm::mat4());
    cell(1, 3, appearance(), 0xFFFFFFFF, {204, 128, 64}, "directional");
    light(Light::OMNI, 0xFFFFFF, at(2, 3), 45.0f, 0.25f);
    cell(2, 3, appearance(), 0xFFFFFFFF, {102, 64, 32}, "omni, attenuated to one half");
    light(Light::SPOT, 0xFFFFFF, at(3, 3), 20.0f);
    cell(3, 3, appearance(), 0xFFFFFFFF, {204, 128, 64}, "spot, on its axis");

    // Row 2: specular, vertex-colour tracking, linear and exponential fog.
    light(Light::DIRECTIONAL, 0xFFFFFF, slm::mat4());
    Appearance* shiny = appearance();
    shiny->getMaterial()->setDiffuse(0xFF404040u);
    shiny->getMaterial()->setSpecular(0xFF404040u);
    shiny->getMaterial()->setShininess(16.0f);
    cell(0, 2, shiny, 0xFFFFFFFF, {128, 128, 128}, "diffuse + specular facing the light");
    Appearance* tracking = appearance();
    tracking->getMaterial()->setVertexColorTrackingEnable(true);
    cell(1, 2, tracking, 0xFF00FF00, {0, 255, 0}, "vertex colour tracking");
    Appearance* linear = appearance();
    linear->setFog(M3D_NEW Fog());
    linear->getFog()->setColor(0x0000FF);
    linear->getFog()->setLinear(1.0f, 21.0f);
    cell(2, 2, linear, 0xFFFFFFFF, {112, 70, 150}, "linear fog, 10 units of 1 - 21");
    Appearance* exponential = appearance();
    exponential->setFog(M3D_NEW Fog());
    exponential->getFog()->setColor(0x0000FF);
    exponential->getFog()->setMode(Fog::EXPONENTIAL);
    exponential->getFog()->setDensity(0.05f);
    cell(3, 2, exponential, 0xFFFFFFFF, {124, 77, 139}, "exponential fog, density 0.05 at 10 units");

    // Rows 1 and 0: no light, so the colour is the vertex colour
    // f = (0.8, 0.4, 0.2); texel t = (0.2, 0.6, 1.0, 0.5); blend colour red.
    g->resetLights();
    const unsigned F = 0xFFCC6633u, T = 0x803399FFu;
    auto textured = [&](int function) {
        Appearance* a = appearance();
        a->setTexture(0, texture(T, function, 0xFFFF0000u));
        return a;
    };
    cell(0, 1, textured(Texture2D::FUNC_ADD), F, {255, 255, 255}, "add");
    cell(1, 1, textured(Texture2D::FUNC_BLEND), F, {214, 41, 0}, "blend");
    cell(2, 1, textured(Texture2D::FUNC_DECAL), F, {128, 128, 153}, "decal");
    cell(3, 1, textured(Texture2D::FUNC_MODULATE), F, {41, 61, 51}, "modulate");
    cell(0, 0, textured(Texture2D::FUNC_REPLACE), F, {51, 153, 255}, "replace");
    Appearance* cut = textured(Texture2D::FUNC_MODULATE);
    cut->setCompositingMode(M3D_NEW CompositingMode());
    cut->getCompositingMode()->setAlphaThreshold(0.6f);
    cell(1, 0, cut, F, {32, 32, 32}, "alpha 0.5 under a threshold of 0.6: nothing drawn");
    Appearance* two = textured(Texture2D::FUNC_MODULATE);
    two->setTexture(1, texture(0xFF1A1A1Au, Texture2D::FUNC_ADD));
    cell(2, 0, two, F, {67, 87, 77}, "modulate, then add (0.1, 0.1, 0.1)");
    cell(3, 0, appearance(), F, {204, 102, 51}, "no texture, no light: empty units do not darken");

    expectCells();
    // The whole frame: the spot's cone ending inside its quad, the omni light
    // falling off outwards.
    m3gtest::expectGolden(SIZE, "standard_program");
}

class StandardProgramDefaultLightTest : public StandardProgramTest {
protected:
    bool wantsDefaultLight() const override { return true; }
};

TEST_F(StandardProgramDefaultLightTest, JoinsOnlyWithoutOtherLightsAndLightColoursKeepTheirChannels) {
    struct Case {
        int mode; // -1: no light
        unsigned rgb;
        slm::mat4 world;
        int lights;
        std::array<int, 3> centre;
        const char* what;
    } cases[] = {
        {-1, 0, slm::mat4(), 1, {204, 128, 64}, "no light: the default one, white along -z"},
        {Light::AMBIENT, 0x202020, slm::mat4(), 2, {220, 144, 80}, "an ambient light: the default one joins"},
        {Light::DIRECTIONAL,
         0xFFFFFF,
         slm::rotation_y((float)M_PI / 2),
         1,
         {0, 0, 0},
         "edge-on light along -x"},
        {Light::OMNI, 0xFF0000, at(3, 0), 1, {102, 0, 0}, "a red omni light, attenuated to one half"},
    };
    for (int i = 0; i < 4; ++i) {
        g->resetLights();
        if (cases[i].mode >= 0) light(cases[i].mode, cases[i].rgb, cases[i].world, 45.0f, 0.25f);
        cell(i, 0, appearance(), 0xFFFFFFFF, cases[i].centre, cases[i].what);
        EXPECT_EQ(cases[i].lights, g->getLightCount()) << cases[i].what;
    }
    GraphicsConfig config = g->getConfig();
    config.flags[GraphicsConfig::DEFAULT_LIGHT] = 0;
    g->setConfig(config);
    g->resetLights();
    cell(0, 1, appearance(), 0xFFCC6633u, {204, 102, 51}, "no light and no default light: unlit");
    EXPECT_EQ(0, g->getLightCount());
    expectCells();

    // An omni light's bounds reach as far as its intensity.
    core::Ref<Light> bulb(M3D_NEW Light());
    bulb->setMode(Light::OMNI);
    bulb->setIntensity(2.0f);
    float mn[3], mx[3];
    slm::mat4 t = slm::translation(slm::vec3(1, 0, 0));
    bulb->getBounds(mn, mx, &t);
    EXPECT_FLOAT_EQ(-1.0f, mn[0]);
    EXPECT_FLOAT_EQ(3.0f, mx[0]);
}

} // namespace
