// Drawing through OGLES2_Graphics3D::renderSubmesh on a real GL context and
// reading the pixels back.
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include <cmath>
#include <cstring>
#include <string>

using namespace render;
using testsupport::GLTest;
using testsupport::near;

namespace {

const unsigned CLEAR = 0xFF102030u;
const unsigned RED = 0xFFFF0000u;
const unsigned GREEN = 0xFF00FF00u;

TEST_F(GLTest, CubeWithCustomProgramShowsItsColourAndTheClearColourElsewhere) {
    core::Ref<VertexBuffer> vb;
    core::Ref<IndexBuffer> ib;
    cube(vb, ib, RED);
    core::Ref<Appearance> a(flatAppearance());
    core::Ref<Camera> camera(M3D_NEW Camera());
    camera->setPerspective(60.0f, 1.0f, 1.0f, 100.0f);
    g->setCamera(camera.get(), slm::translation(slm::vec3(0, 0, 6)));
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);

    expectPixels({{32, 32, RED}, {2, 2, CLEAR}, {61, 61, CLEAR}});
    // The cube spans tan-projected ±1 at distance 5 (front face): 1/5 / tan(30°) of the half width.
    int edge = (int)std::lround(32 + 32 * (1.0 / 5.0) / std::tan(M_PI / 6));
    expectPixels({{edge - 2, 32, RED}, {edge + 2, 32, CLEAR}});
    EXPECT_EQ(1, g->getStatistics().drawCalls);
    EXPECT_EQ(12, g->getStatistics().triangles);
}

} // namespace

namespace {

struct Scene {
    core::Ref<VertexBuffer> vb;
    core::Ref<IndexBuffer> ib;
    core::Ref<Appearance> a;
};

TEST_F(GLTest, CullingFollowsThePolygonModeAndWinding) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    core::Ref<IndexBuffer> ccw(quadIndices(false));
    core::Ref<IndexBuffer> cw(quadIndices(true));
    core::Ref<Appearance> a(flatAppearance());
    PolygonMode* pm = a->getPolygonMode();
    struct Case {
        int culling;
        int winding;
        bool drawsCCW, drawsCW;
    } cases[] = {{PolygonMode::CULL_BACK, PolygonMode::WINDING_CCW, true, false},
                 {PolygonMode::CULL_FRONT, PolygonMode::WINDING_CCW, false, true},
                 {PolygonMode::CULL_NONE, PolygonMode::WINDING_CCW, true, true},
                 {PolygonMode::CULL_BACK, PolygonMode::WINDING_CW, false, true}};
    for (const Case& c : cases) {
        pm->setCulling(c.culling);
        pm->setWinding(c.winding);
        g->clearBuffers(CLEAR, true, true);
        g->renderSubmesh(vb.get(), ccw.get(), a.get(), slm::mat4(), -1);
        EXPECT_TRUE(near(pixel(32, 32), rgba(c.drawsCCW ? RED : CLEAR))) << "culling " << c.culling << " winding " << c.winding;
        g->clearBuffers(CLEAR, true, true);
        g->renderSubmesh(vb.get(), cw.get(), a.get(), slm::mat4(), -1);
        EXPECT_TRUE(near(pixel(32, 32), rgba(c.drawsCW ? RED : CLEAR))) << "culling " << c.culling << " winding " << c.winding;
    }
}

TEST_F(GLTest, DepthTestKeepsTheNearestSurfaceUnlessSwitchedOff) {
    core::Ref<VertexBuffer> far(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, RED));
    core::Ref<VertexBuffer> nearQuad(quad(-0.25f, -0.25f, 0.25f, 0.25f, -0.5f, GREEN));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(nearQuad.get(), ib.get(), a.get(), slm::mat4(), -1);
    g->renderSubmesh(far.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), rgba(GREEN))) << "the far quad drawn later stays hidden";
    EXPECT_TRUE(near(pixel(20, 20), rgba(RED))) << "outside the near quad the far one shows";

    a->getCompositingMode()->setDepthTestEnable(false);
    g->renderSubmesh(far.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED))) << "without the depth test the last draw wins";

    // A depth function of GL_GREATER keeps only what lies behind.
    a->getCompositingMode()->setDepthTestEnable(true);
    a->getCompositingMode()->setDepthFunc(GL_GREATER);
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(far.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), rgba(CLEAR))) << "depth 0.75 is not greater than the cleared 1.0";
}

TEST_F(GLTest, TheFiveBlendModesCombineSourceAndFrame) {
    const unsigned dst = 0xFF804020u;  // 128, 64, 32
    const unsigned src = 0x80FF8040u;  // 255, 128, 64, alpha 128
    const double d[3] = {128 / 255.0, 64 / 255.0, 32 / 255.0};
    const double s[3] = {1.0, 128 / 255.0, 64 / 255.0};
    const double sa = 128 / 255.0;
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, src));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());
    struct Case {
        int mode;
        double (*f)(double s, double d, double sa);
    } cases[] = {{CompositingMode::ALPHA, [](double s, double d, double sa) { return s * sa + d * (1 - sa); }},
                 {CompositingMode::ALPHA_ADD, [](double s, double d, double sa) { return s * sa + d; }},
                 {CompositingMode::MODULATE, [](double s, double d, double) { return s * d; }},
                 {CompositingMode::MODULATE_X2, [](double s, double d, double) { return 2 * s * d; }},
                 {CompositingMode::REPLACE, [](double s, double, double) { return s; }}};
    for (const Case& c : cases) {
        a->getCompositingMode()->setBlending(c.mode);
        g->clearBuffers(dst, true, true);
        g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
        std::array<int, 4> want{};
        for (int i = 0; i < 3; ++i) want[i] = (int)std::lround(std::min(1.0, c.f(s[i], d[i], sa)) * 255.0);
        EXPECT_TRUE(near(pixel(32, 32), want)) << "blend mode " << c.mode;
    }
    // An unknown mode keeps blending on with the previous function (REPLACE here).
    a->getCompositingMode()->setBlending(70);
    g->clearBuffers(dst, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), rgba(src)));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

TEST_F(GLTest, ShortPositionsWithScaleAndBiasLandWhereFloatsWould) {
    // The float quad (-0.6, -0.2)..(0.3, 0.7) and the same quad as shorts:
    // p = bias + scale · s with scale 1/200 and bias (-0.15, 0.25, 0).
    core::Ref<VertexBuffer> floats(quad(-0.6f, -0.2f, 0.3f, 0.7f, 0.0f, RED));
    const short sp[12] = {-90, -90, 0, 90, -90, 0, 90, 90, 0, -90, 90, 0};
    core::Ref<VertexArray> shorts(M3D_NEW VertexArray(4, 3, 2));
    shorts->set(0, 4, sp);
    core::Ref<VertexBuffer> packed(M3D_NEW VertexBuffer());
    const float bias[3] = {-0.15f, 0.25f, 0.0f};
    packed->setPositions(shorts.get(), 1.0f / 200.0f, bias);
    packed->setDefaultColor(GREEN);
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());

    std::vector<bool> covered[2];
    VertexBuffer* buffers[2] = {floats.get(), packed.get()};
    unsigned colours[2] = {RED, GREEN};
    for (int k = 0; k < 2; ++k) {
        g->clearBuffers(CLEAR, true, true);
        g->renderSubmesh(buffers[k], ib.get(), a.get(), slm::mat4(), -1);
        for (int y = 0; y < SIZE; y += 3)
            for (int x = 0; x < SIZE; x += 3) covered[k].push_back(near(pixel(x, y), rgba(colours[k]), 2));
    }
    EXPECT_EQ(covered[0], covered[1]);
    int count = 0;
    for (bool c : covered[0]) count += c;
    EXPECT_GT(count, 50) << "the quad covers part of the window";
}

TEST_F(GLTest, ColourArraysAreUnsignedBytesScaledInTheShader) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, RED));
    signed char c[16];
    for (int v = 0; v < 4; ++v) {
        c[4 * v] = (signed char)0x20;
        c[4 * v + 1] = (signed char)0xC0; // 192: would be negative as a signed byte
        c[4 * v + 2] = (signed char)0x40;
        c[4 * v + 3] = (signed char)0xFF;
    }
    core::Ref<VertexArray> colors(M3D_NEW VertexArray(4, 4, 1));
    colors->set(0, 4, c);
    vb->setColors(colors.get());
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setShaderProgram(program(testsupport::colorVertexShader(), testsupport::flatFragmentShader()));
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {0x20, 0xC0, 0x40, 0xFF}));
    EXPECT_EQ(1.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_VERTEX_COLORS]);

    // Without the array the default colour is used and flag 7 is 0 for that draw.
    core::Ref<VertexBuffer> plain(quad(-1, -1, 1, 1, 0, RED));
    g->renderSubmesh(plain.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED)));
    EXPECT_EQ(0.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_VERTEX_COLORS]);
}

TEST_F(GLTest, MeshAndWorldRenderThroughTheSceneGraph) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());
    core::Ref<World> world(M3D_NEW World());
    core::Ref<Background> bg(M3D_NEW Background());
    bg->setColor(CLEAR);
    world->setBackground(bg.get());
    core::Ref<Mesh> mesh(g->createMesh(vb.get(), ib.get(), a.get()));
    mesh->setTranslation(slm::vec3(0.5f, 0.0f, 0.0f));
    world->addChild(mesh.get());

    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    expectPixels({{48, 32, RED}, {16, 32, CLEAR}});
    EXPECT_EQ(1, g->getStatistics().drawCalls);

    // Without 0x20 only depth is cleared: the colour buffer keeps the old picture.
    mesh->setTranslation(slm::vec3(-0.5f, 0.0f, 0.0f));
    world->render(*g, slm::mat4(), 0);
    expectPixels({{48, 32, RED}, {16, 32, RED}});

    // Scope 0 is never drawn.
    mesh->setScope(0);
    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    EXPECT_EQ(2, g->getStatistics().drawCalls);
    EXPECT_TRUE(near(pixel(16, 32), rgba(CLEAR)));

    // Rendering switched off on a group hides its subtree.
    mesh->setScope(-1);
    world->setRenderingEnable(false);
    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    EXPECT_EQ(2, g->getStatistics().drawCalls);
}

TEST_F(GLTest, EmptyAndUnknownPrimitivesDrawNothingButCountTheCall) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, RED));
    const unsigned short idx[3] = {0, 1, 2};
    core::Ref<IndexBuffer> odd(M3D_NEW IndexBuffer(9, idx, 3));
    core::Ref<Appearance> a(flatAppearance());
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(vb.get(), odd.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(1, g->getStatistics().drawCalls);
    EXPECT_EQ(0, g->getStatistics().triangles);
    EXPECT_TRUE(near(pixel(32, 32), rgba(CLEAR)));
    // An empty vertex buffer is skipped by Mesh::render.
    core::Ref<VertexBuffer> empty(M3D_NEW VertexBuffer());
    core::Ref<Mesh> mesh(M3D_NEW Mesh(empty.get(), odd.get(), a.get()));
    mesh->render(*g, slm::mat4(), 0);
    EXPECT_EQ(1, g->getStatistics().drawCalls);
}

} // namespace

namespace {

TEST_F(GLTest, LongCompilerLogsAreCutTo897CharactersAndTwoDots) {
    // Many errors make a long driver log.
    std::string body = "void main() {\n";
    for (int i = 0; i < 60; ++i) body += "  undefinedValue" + std::to_string(i) + " = 1.0;\n";
    body += "}\n";
    testsupport::StderrCapture capture;
    EXPECT_ANY_THROW(core::Ref<VertexShader> vs(M3D_NEW VertexShader(body.c_str())));
    std::string log = capture.finish();
    size_t start = log.find("ShaderError : ");
    ASSERT_NE(std::string::npos, start);
    size_t end = log.find("..\n\n", start);
    ASSERT_NE(std::string::npos, end) << log;
    EXPECT_EQ(897u, end - (start + std::strlen("ShaderError : ")));
}

} // namespace

namespace {

const char* LIT_VS = "void main()\n"
                     "{\n"
                     "    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);\n"
                     "    if (m3g_featuresFlags[SHADER_LIGHTS_ENABLED] == 1.0 && m3g_lightType[0] == DIRECTIONAL_LIGHT)\n"
                     "        m3g_out_vColor = m3g_lightDiffuse[0];\n"
                     "    else\n"
                     "        m3g_out_vColor = vec4(0.0, 0.0, 1.0, 1.0);\n"
                     "}\n";

TEST_F(GLTest, LightSlotsReachTheShaderOnlyWhenTheyChange) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFFFFFFFFu));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());
    a->setShaderProgram(program(LIT_VS, testsupport::flatFragmentShader()));
    g->clearBuffers(0xFF000000u, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {0, 0, 255, 255})) << "no light";
    EXPECT_EQ(0.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_LIGHTS]);

    LightConfig light;
    light.type = 129;
    light.diffuse[0] = 1.0f;
    light.diffuse[3] = 1.0f;
    EXPECT_EQ(0, g->addLightConfig(light));
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {255, 0, 0, 255}));
    EXPECT_EQ(1.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_LIGHTS]);

    glCallCounters().reset();
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(0, glCallCounters()[GLCallCounters::Uniform]) << "unchanged lights are not sent again";

    // Lighting switched off: the flag is 0 although a slot is in use.
    g->setLightingEnabled(false);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {0, 0, 255, 255}));
    g->setLightingEnabled(true);
    g->resetLights();
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {0, 0, 255, 255})) << "reset lights free every slot";
    for (int i = 0; i < Graphics3D::MAX_LIGHTS; ++i) EXPECT_EQ(i, g->addLightConfig(light));
    EXPECT_EQ(-1, g->addLightConfig(light)) << "a ninth light has no slot";
}

} // namespace

namespace {

TEST_F(GLTest, LinesAndPointSpritesDrawAndCountTheirPrimitives) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0, 0xFF00FF00u));
    core::Ref<Appearance> a(flatAppearance());
    const unsigned short line[2] = {0, 2}; // the diagonal
    core::Ref<LineListArray> lines(M3D_NEW LineListArray(line, 2));
    g->clearBuffers(0xFF000000u, true, true);
    g->renderSubmesh(vb.get(), lines.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(1, g->getStatistics().lines);
    EXPECT_TRUE(near(pixel(32, 32), {0, 255, 0, 255}));
    EXPECT_TRUE(near(pixel(40, 24), {0, 0, 0, 255})) << "off the diagonal";

    const unsigned short corners[4] = {0, 1, 2, 3};
    core::Ref<IndexBuffer> points(M3D_NEW IndexBuffer(IndexBuffer::POINT_SPRITES, corners, 4));
    g->clearBuffers(0xFF000000u, true, true);
    g->renderSubmesh(vb.get(), points.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(4, g->getStatistics().triangles) << "a point sprite counts as one";
    EXPECT_EQ(1.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_POINT_SPRITE]);
    EXPECT_EQ(1.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_TEXTURING]);
    // The corner (0.5, 0.5) falls on the pixel corner (48, 48): one of the four pixels around it is lit.
    int lit = 0;
    for (int y = 47; y <= 48; ++y)
        for (int x = 47; x <= 48; ++x) lit += near(pixel(x, y), {0, 255, 0, 255}) ? 1 : 0;
    EXPECT_EQ(1, lit);
    EXPECT_TRUE(near(pixel(32, 32), {0, 0, 0, 255})) << "only the points are drawn";
    // Sprite state stays until a draw of another kind: a second sprite draw
    // makes no state call, the next line draw switches sprites off once.
    GLCallCounters& calls = glCallCounters();
    calls.reset();
    g->renderSubmesh(vb.get(), points.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(0, calls.stateCalls());
    g->renderSubmesh(vb.get(), lines.get(), a.get(), slm::mat4(), -1);
    g->renderSubmesh(vb.get(), lines.get(), a.get(), slm::mat4(), -1);
    EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE));
    EXPECT_EQ(1, calls[GLCallCounters::TexEnv]);
}

} // namespace

namespace {

// A display whose GL context cannot be made (a window system without GL).
class NoGLDisplay : public testsupport::GLTestDisplay {
public:
    NoGLDisplay() : GLTestDisplay(32, 32) {}
    bool createGLContext() override { return false; }
};

TEST(RendererWithoutContext, DrawsNothingAndReportsInsteadOfCrashing) {
    testsupport::EngineCore core;
    NoGLDisplay display;
    core::Ref<OGLES2_Graphics3D> g(M3D_NEW OGLES2_Graphics3D());
    g->setDisplay(&display);
    testsupport::StderrCapture capture;
    g->resetGraphics3D(1);
    EXPECT_FALSE(g->hasContext());
    EXPECT_EQ(nullptr, g->getDefaultShaderProgram());
    const float p[9] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    core::Ref<VertexArray> positions(M3D_NEW VertexArray(3, 3, 4));
    positions->set(0, 3, p);
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    vb->setPositions(positions.get(), 1.0f, nullptr);
    const unsigned short idx[3] = {0, 1, 2};
    core::Ref<IndexBuffer> ib(M3D_NEW TriangleListArray(idx, 3));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    g->bindTarget(nullptr);
    g->clearBuffers(0xFF000000u, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    g->releaseTarget();
    EXPECT_EQ(0, g->getStatistics().staticVBOs);
    // Shaders cannot compile without a context; a program refuses to link.
    EXPECT_THROW(core::Ref<VertexShader>(M3D_NEW VertexShader(testsupport::flatVertexShader())), Graphics3DException);
    EXPECT_THROW(core::Ref<ShaderProgram>(g->createNewShaderProgram(nullptr, nullptr, false)), ShaderException);
    EXPECT_NE(std::string::npos, capture.finish().find("no OpenGL context"));
}

} // namespace
