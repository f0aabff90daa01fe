// Lights on a real GL context: a lit sphere drawn with a per-vertex diffuse
// program that reads the engine's light uniforms: the default light, and an
// omni light's side and colour.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "render/Light.h"
#include <cmath>

using namespace render;
using testsupport::GLTest;

namespace {

const char* LIT_VS = "void main()\n"
                     "{\n"
                     "    vec3 P = (m3g_modelViewMatrix * vec4(m3g_position, 1.0)).xyz;\n"
                     "    vec3 N = normalize((m3g_normalMatrix * vec4(m3g_normal, 0.0)).xyz);\n"
                     "    vec3 c = vec3(0.0);\n"
                     "    if (m3g_featuresFlags[6] == 1.0) {\n"
                     "        for (int i = 0; i < MAX_LIGHTS; ++i) {\n"
                     "            if (m3g_lightType[i] == 128.0) c += m3g_lightAmbient[i].rgb;\n"
                     "            if (m3g_lightType[i] == 129.0) c += max(dot(N, -m3g_lightDirection[i]), "
                     "0.0) * m3g_lightDiffuse[i].rgb;\n"
                     "            if (m3g_lightType[i] == 130.0) {\n"
                     "                vec3 L = normalize(m3g_lightMatrix[i][3].xyz - P);\n"
                     "                c += max(dot(N, L), 0.0) * m3g_lightDiffuse[i].rgb;\n"
                     "            }\n"
                     "        }\n"
                     "    }\n"
                     "    m3g_out_vColor = vec4(c, 1.0);\n"
                     "    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);\n"
                     "}\n";
const char* LIT_FS = "void main() { gl_FragColor = m3g_out_vColor; }\n";

class LightTest : public GLTest {
protected:
    core::Ref<VertexBuffer> vb;
    core::Ref<IndexBuffer> ib;
    core::Ref<Appearance> a;
    core::Ref<Camera> camera;

    bool wantsDefaultLight() const override { return true; }

    void SetUp() override {
        GLTest::SetUp();
        const int N = 24;
        std::vector<float> p, n;
        std::vector<unsigned short> idx;
        for (int i = 0; i <= N; ++i)
            for (int j = 0; j <= N; ++j) {
                float th = (float)M_PI * (float)i / N, ph = 2.0f * (float)M_PI * (float)j / N;
                float x = std::sin(th) * std::cos(ph), y = std::cos(th), z = std::sin(th) * std::sin(ph);
                p.insert(p.end(), {0.8f * x, 0.8f * y, 0.8f * z});
                n.insert(n.end(), {x, y, z});
            }
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) {
                int k = i * (N + 1) + j, d = k + N + 1;
                for (int v : {k, d, k + 1, k + 1, d, d + 1})
                    idx.push_back((unsigned short)v);
            }
        vb = M3D_NEW VertexBuffer();
        vb->setPositions(m3gtest::array(3, p), 1.0f, nullptr);
        vb->setNormals(m3gtest::array(3, n));
        ib = M3D_NEW TriangleListArray(idx.data(), (int)idx.size());
        a = M3D_NEW Appearance();
        a->setShaderProgram(program(LIT_VS, LIT_FS));
        a->setPolygonMode(M3D_NEW PolygonMode());
        a->getPolygonMode()->setCulling(PolygonMode::CULL_NONE);
        // World = eye space, looking down -z: the z > 0 hemisphere faces the viewer.
        camera = M3D_NEW Camera();
        slm::mat4 flip;
        flip.m[10] = -1.0f;
        camera->setGeneric(flip);
        g->setCamera(camera.get(), slm::mat4());
        g->resetLights();
    }

    void draw() {
        g->clearBuffers(0xFF000000u, true, true);
        g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    }
    // Brightness (sum of channels) at a point of the sphere, x and y in -1..1.
    int at(float x, float y) {
        auto c = pixel((int)((x + 1.0f) * 0.5f * SIZE), (int)((y + 1.0f) * 0.5f * SIZE));
        return c[0] + c[1] + c[2];
    }
};

} // namespace

TEST_F(LightTest, DefaultLightShinesOnlyWithoutOtherLights) {
    draw();
    EXPECT_EQ(1, g->getLightCount()) << "the default light joined";
    EXPECT_GT(at(0, 0), 3 * 240) << "facing the light along -z: full white";
    EXPECT_LT(at(0.75f, 0), at(0, 0) - 200) << "the rim is darker";

    // One ambient light: the default light still joins.
    g->resetLights();
    core::Ref<Light> ambient(M3D_NEW Light());
    ambient->setMode(Light::AMBIENT);
    ambient->setColor(0x202020);
    g->addLight(ambient.get(), slm::mat4());
    draw();
    EXPECT_EQ(2, g->getLightCount());

    // A directional light from +x: no default light, the left half is dark.
    g->resetLights();
    core::Ref<Light> sun(M3D_NEW Light());
    g->addLight(sun.get(), slm::rotation_y((float)M_PI / 2)); // -z turned to -x
    draw();
    EXPECT_EQ(1, g->getLightCount());
    EXPECT_GT(at(0.6f, 0), 3 * 150);
    EXPECT_LT(at(-0.6f, 0), 10);
    EXPECT_LT(at(0, 0), 30) << "the centre faces away from the light's direction";

    // With the default light switched off in the configuration: dark.
    GraphicsConfig config = g->getConfig();
    config.flags[GraphicsConfig::DEFAULT_LIGHT] = 0;
    g->setConfig(config);
    g->resetLights();
    draw();
    EXPECT_EQ(0, g->getLightCount());
    EXPECT_LT(at(0, 0), 10);
}

TEST_F(LightTest, OmniLightLightsTheSideFacingItInItsColour) {
    core::Ref<Light> bulb(M3D_NEW Light());
    bulb->setMode(Light::OMNI);
    bulb->setColor(0xFF0000);
    g->addLight(bulb.get(), slm::translation(slm::vec3(-3, 0, 0)));
    draw();
    auto left = pixel(10, 32), right = pixel(54, 32);
    EXPECT_GT(left[0], 150);
    EXPECT_LT(left[1] + left[2], 10);
    EXPECT_LT(right[0], 10);
    float mn[3], mx[3];
    bulb->setIntensity(2.0f);
    slm::mat4 t = slm::translation(slm::vec3(1, 0, 0));
    bulb->getBounds(mn, mx, &t);
    EXPECT_FLOAT_EQ(-1.0f, mn[0]);
    EXPECT_FLOAT_EQ(3.0f, mx[0]);
}
