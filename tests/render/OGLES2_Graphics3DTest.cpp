// Drawing through OGLES2_Graphics3D on a real GL context, read back; shader
// text, compile and link failures, the default and the forced program.
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

using namespace render;
using testsupport::FlatTest;
using testsupport::GLTest;
using testsupport::near;

namespace {

const unsigned CLEAR = 0xFF102030u, RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu;

TEST_F(FlatTest, CullingDepthTestAndTheFiveBlendModesFollowTheirSettings) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    core::Ref<IndexBuffer> cw(quadIndices(true));
    IndexBuffer* windings[2] = {ib.get(), cw.get()};
    struct Case {
        int culling, winding;
        bool draws[2]; // counter-clockwise, clockwise
    } cases[] = {{PolygonMode::CULL_BACK, PolygonMode::WINDING_CCW, {true, false}},
                 {PolygonMode::CULL_FRONT, PolygonMode::WINDING_CCW, {false, true}},
                 {PolygonMode::CULL_NONE, PolygonMode::WINDING_CCW, {true, true}},
                 {PolygonMode::CULL_BACK, PolygonMode::WINDING_CW, {false, true}}};
    for (const Case& c : cases)
        for (int w = 0; w < 2; ++w) {
            flat->getPolygonMode()->setCulling(c.culling);
            flat->getPolygonMode()->setWinding(c.winding);
            g->clearBuffers(CLEAR, true, true);
            draw(vb.get(), windings[w], flat.get());
            EXPECT_TRUE(near(pixel(32, 32), rgba(c.draws[w] ? RED : CLEAR)))
                << "culling " << c.culling << " winding " << c.winding << " clockwise " << w;
        }

    // The depth test keeps the nearest surface unless it is switched off.
    flat->getPolygonMode()->setWinding(PolygonMode::WINDING_CCW);
    core::Ref<VertexBuffer> far(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, RED));
    core::Ref<VertexBuffer> nearQuad(quad(-0.25f, -0.25f, 0.25f, 0.25f, -0.5f, GREEN));
    g->clearBuffers(CLEAR, true, true);
    drawFlat(nearQuad.get());
    drawFlat(far.get());
    expectPixels({{32, 32, GREEN}, {20, 20, RED}});

    flat->getCompositingMode()->setDepthTestEnable(false);
    drawFlat(far.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED))) << "without the depth test the last draw wins";

    // GL_GREATER keeps only what lies behind: depth 0.75 is not behind the cleared 1.0.
    flat->getCompositingMode()->setDepthTestEnable(true);
    flat->getCompositingMode()->setDepthFunc(GL_GREATER);
    g->clearBuffers(CLEAR, true, true);
    drawFlat(far.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(CLEAR)));

    // The five blend modes combine source and frame.
    flat->getCompositingMode()->setDepthFunc(GL_LEQUAL);
    const unsigned dst = 0xFF804020u, src = 0x80FF8040u; // source alpha 128
    const std::array<int, 4> d = rgba(dst), s = rgba(src);
    core::Ref<VertexBuffer> screen(quad(-1, -1, 1, 1, 0, src));
    struct Blend {
        int mode;
        double (*f)(double s, double d, double sa);
    } blends[] = {
        {CompositingMode::ALPHA, [](double s, double d, double sa) { return s * sa + d * (1 - sa); }},
        {CompositingMode::ALPHA_ADD, [](double s, double d, double sa) { return s * sa + d; }},
        {CompositingMode::MODULATE, [](double s, double d, double) { return s * d; }},
        {CompositingMode::MODULATE_X2, [](double s, double d, double) { return 2 * s * d; }},
        {CompositingMode::REPLACE, [](double s, double, double) { return s; }},
        // An unknown mode keeps blending on with the previous function.
        {70, [](double s, double, double) { return s; }}};
    for (const Blend& c : blends) {
        flat->getCompositingMode()->setBlending(c.mode);
        g->clearBuffers(dst, true, true);
        drawFlat(screen.get());
        std::array<int, 4> want{};
        for (int i = 0; i < 3; ++i)
            want[i] = (int)std::lround(std::min(1.0, c.f(s[i] / 255.0, d[i] / 255.0, s[3] / 255.0)) * 255.0);
        EXPECT_TRUE(near(pixel(32, 32), want)) << "blend mode " << c.mode;
    }
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

TEST_F(FlatTest, SceneGraphDrawsAndUnknownOrEmptyPrimitivesDrawNothing) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    core::Ref<World> world(M3D_NEW World());
    core::Ref<Background> bg(M3D_NEW Background());
    bg->setColor(CLEAR);
    world->setBackground(bg.get());
    core::Ref<Mesh> mesh(g->createMesh(vb.get(), ib.get(), flat.get()));
    mesh->setTranslation(slm::vec3(0.5f, 0.0f, 0.0f));
    world->addChild(mesh.get());
    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    // Without the background clear only depth is cleared: the old picture stays.
    mesh->setTranslation(slm::vec3(-0.5f, 0.0f, 0.0f));
    world->render(*g, slm::mat4(), 0);
    expectPixels({{48, 32, RED}, {16, 32, RED}});

    // Scope 0 is never drawn, nor is a subtree with rendering switched off.
    mesh->setScope(0);
    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    EXPECT_TRUE(near(pixel(16, 32), rgba(CLEAR)));
    mesh->setScope(-1);
    world->setRenderingEnable(false);
    world->render(*g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
    EXPECT_EQ(2, g->getStatistics().drawCalls);

    // A primitive of unknown type counts its call and draws nothing; an
    // empty vertex buffer is skipped by Mesh::render.
    core::Ref<VertexBuffer> full(quad(-1, -1, 1, 1, 0, RED));
    const unsigned short idx[3] = {0, 1, 2};
    core::Ref<IndexBuffer> odd(M3D_NEW IndexBuffer(9, idx, 3));
    int drawCalls = g->getStatistics().drawCalls, triangles = g->getStatistics().triangles;
    draw(full.get(), odd.get(), flat.get());
    EXPECT_EQ(triangles, g->getStatistics().triangles);
    EXPECT_TRUE(near(pixel(32, 32), rgba(CLEAR)));
    core::Ref<VertexBuffer> empty(M3D_NEW VertexBuffer());
    core::Ref<Mesh> hollow(M3D_NEW Mesh(empty.get(), odd.get(), flat.get()));
    hollow->render(*g, slm::mat4(), 0);
    EXPECT_EQ(drawCalls + 1, g->getStatistics().drawCalls);
}

TEST_F(FlatTest, LightSlotsReachTheShaderOnlyWhenTheyChange) {
    const char* litVS = R"(void main() {
    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
    if (m3g_featuresFlags[SHADER_LIGHTS_ENABLED] == 1.0 && m3g_lightType[0] == DIRECTIONAL_LIGHT)
        m3g_out_vColor = m3g_lightDiffuse[0];
    else
        m3g_out_vColor = vec4(0.0, 0.0, 1.0, 1.0);
})";
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFFFFFFFFu));
    flat->setShaderProgram(program(litVS, testsupport::flatFragmentShader()));
    LightConfig light;
    light.type = 129;
    light.diffuse[0] = 1.0f;
    light.diffuse[3] = 1.0f;
    EXPECT_EQ(0, g->addLightConfig(light));
    g->clearBuffers(CLEAR, true, true);
    drawFlat(vb.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED)));
    glCallCounters().reset();
    drawFlat(vb.get());
    EXPECT_EQ(0, glCallCounters()[GLCallCounters::Uniform]) << "unchanged lights are not sent again";

    // Lighting switched off: the flag is 0 although a slot is in use.
    g->setLightingEnabled(false);
    drawFlat(vb.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(BLUE)));
    g->setLightingEnabled(true);
    g->resetLights(); // frees every slot
    for (int i = 0; i < Graphics3D::MAX_LIGHTS; ++i)
        EXPECT_EQ(i, g->addLightConfig(light));
    EXPECT_EQ(-1, g->addLightConfig(light)) << "a ninth light has no slot";
}

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
    core::Ref<VertexBuffer> vb(GLTest::quad(-1, -1, 1, 1, 0, RED));
    core::Ref<IndexBuffer> ib(GLTest::quadIndices());
    core::Ref<Appearance> a(M3D_NEW Appearance());
    g->bindTarget(nullptr);
    g->clearBuffers(CLEAR, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    g->releaseTarget();
    EXPECT_EQ(0, g->getStatistics().staticVBOs);
    // Shaders cannot compile without a context; a program refuses to link.
    EXPECT_THROW(core::Ref<VertexShader>(M3D_NEW VertexShader(testsupport::flatVertexShader())),
                 Graphics3DException);
    EXPECT_THROW(core::Ref<ShaderProgram>(g->createNewShaderProgram(nullptr, nullptr, false)),
                 ShaderException);
    EXPECT_NE(std::string::npos, capture.finish().find("no OpenGL context"));
}

std::string stripped(const char* text) {
    std::string s(text);
    s.push_back('\0');
    Shader::stripPrecision(&s[0]);
    return std::string(s.c_str());
}

TEST(ShaderText, PrecisionStatementsAndQualifiersBecomeBlanks) {
    EXPECT_EQ(std::string(18, ' ') + "\nvoid main() {}", stripped("precision highp float;\nvoid main() {}"));
    EXPECT_EQ("varying   vec2 t;", stripped("varying highp vec2 t;"));
    // Also inside identifiers and comments; line breaks survive.
    EXPECT_EQ("float  x; //  \nint y;", stripped("float lowpx; // mediump\nint y;"));
    EXPECT_EQ("a\n           \n    b", stripped("a\nprecision mediump\nint;b"));
    // A statement without its ';' blanks to the end; nothing else changes.
    EXPECT_EQ("void f();          ", stripped("void f();precision "));
}

TEST_F(GLTest, ShaderFailuresThrowAndLogTheDriverMessageAndDuplicatesLinkTheirOwn) {
    std::string body = "void main() {\n";
    for (int i = 0; i < 60; ++i)
        body += "  undefinedValue" + std::to_string(i) + " = 1.0;\n";
    body += "}\n";
    testsupport::StderrCapture capture;
    try {
        core::Ref<VertexShader> vs(M3D_NEW VertexShader(body.c_str()));
        FAIL() << "no exception";
    } catch (const Graphics3DException& e) {
        EXPECT_STREQ("Shader error compiling failed", e.getMessage());
    }
    std::string log = capture.finish();
    size_t start = log.find("ShaderError : ");
    ASSERT_NE(std::string::npos, start) << log;
    EXPECT_NE(std::string::npos, log.find("undefinedValue0", start))
        << "the driver's message names the culprit";
    size_t end = log.find("..\n\n", start);
    ASSERT_NE(std::string::npos, end) << log;
    EXPECT_EQ(897u, end - (start + std::strlen("ShaderError : ")));

    core::Ref<VertexShader> vs(M3D_NEW VertexShader("float helper() { return 1.0; }\n")); // compiles, no main
    core::Ref<FragmentShader> fs(M3D_NEW FragmentShader(testsupport::flatFragmentShader()));
    testsupport::StderrCapture linking;
    try {
        core::Ref<ShaderProgram> p(g->createNewShaderProgram(vs.get(), fs.get(), false));
        FAIL() << "no exception";
    } catch (const ShaderException& e) {
        EXPECT_STREQ("ShaderProgram error linking failed", e.getMessage());
    }
    EXPECT_NE(std::string::npos, linking.finish().find("Linker ShaderProgramError : "));
    EXPECT_EQ(1, vs->getReferenceCount()) << "the failed program let go of its shaders";

    // A duplicated program links objects of its own; unused names stay -1.
    core::Ref<ShaderProgram> p(program(testsupport::flatVertexShader(), testsupport::flatFragmentShader()));
    EXPECT_EQ(-1, p->getLocation(ShaderProgram::FEATURES_FLAGS));
    EXPECT_EQ(-1, p->getLocation(280));
    core::Ref<ShaderProgram> copy(static_cast<ShaderProgram*>(p->duplicate()));
    EXPECT_NE(0u, copy->getGLName());
    EXPECT_NE(p->getGLName(), copy->getGLName());
    EXPECT_NE(p->getVertexShader()->getGLName(), copy->getVertexShader()->getGLName());
    EXPECT_GE(copy->getLocation(ShaderProgram::VERTEX_COLOR), 0);
}

TEST_F(FlatTest, DefaultProgramDrawsVertexColoursTimesTheBoundTextureUnlessAProgramIsForced) {
    // An appearance without a texture leaves unit 0 to the white texture, so
    // the default program (texture x colour) shows the colour itself instead
    // of the black an unbound unit samples.
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFF30C060u));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    g->clearBuffers(0xFF808080u, true, true);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0x30, 0xC0, 0x60, 255}));
    EXPECT_EQ(0.0f, g->getFeatures()[OGLES2_Graphics3D::FEATURE_TEXTURE0]) << "the unit counts as empty";
    // A texture on unit 0 multiplies: a half-grey texel halves the colour.
    core::Ref<Image2D> grey(testsupport::argbImage(1, 1, [](int, int) { return 0xFF808080u; }));
    core::Ref<Texture2D> t(texture(grey.get()));
    a->setTexture(0, t.get());
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0x18, 0x60, 0x30, 255}));
    a->setTexture(0, nullptr);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0x30, 0xC0, 0x60, 255})) << "white again once the texture is gone";
    // A forced program overrides the appearance's until it is dropped.
    core::Ref<ShaderProgram> white(
        program(testsupport::flatVertexShader(), "void main() { gl_FragColor = vec4(1.0); }"));
    g->setShaderProgram(white.get());
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {255, 255, 255, 255}));
    g->setShaderProgram(nullptr);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0x30, 0xC0, 0x60, 255}));
}

} // namespace
