// Shaders and programs: precision stripping, compile and link failures, the
// default program and programs without the feature table.
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include <cstring>
#include <string>

using namespace render;
using testsupport::GLTest;
using testsupport::near;

namespace {

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

TEST_F(GLTest, BrokenShaderThrowsAndLogsTheDriverMessageCutTo897Characters) {
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
}

TEST_F(GLTest, LinkFailureThrowsShaderExceptionAndLeavesNoProgram) {
    core::Ref<VertexShader> vs(M3D_NEW VertexShader("float helper() { return 1.0; }\n")); // compiles, no main
    core::Ref<FragmentShader> fs(M3D_NEW FragmentShader(testsupport::flatFragmentShader()));
    testsupport::StderrCapture capture;
    try {
        core::Ref<ShaderProgram> p(g->createNewShaderProgram(vs.get(), fs.get(), false));
        FAIL() << "no exception";
    } catch (const ShaderException& e) {
        EXPECT_STREQ("ShaderProgram error linking failed", e.getMessage());
    }
    EXPECT_NE(std::string::npos, capture.finish().find("Linker ShaderProgramError : "));
    EXPECT_EQ(1, vs->getReferenceCount()) << "the failed program let go of its shaders";
}

TEST_F(GLTest, DuplicatedProgramLinksItsOwnObjectsAndUnusedNamesStayMinusOne) {
    core::Ref<ShaderProgram> p(program(testsupport::flatVertexShader(), testsupport::flatFragmentShader()));
    EXPECT_EQ(-1, p->getLocation(ShaderProgram::FEATURES_FLAGS));
    EXPECT_EQ(-1, p->getLocation(280));
    p->setName("flat");
    core::Ref<ShaderProgram> copy(static_cast<ShaderProgram*>(p->duplicate()));
    EXPECT_NE(0u, copy->getGLName());
    EXPECT_NE(p->getGLName(), copy->getGLName());
    EXPECT_NE(p->getVertexShader()->getGLName(), copy->getVertexShader()->getGLName());
    EXPECT_STREQ("flat", copy->getName().c_str());
    EXPECT_GE(copy->getLocation(ShaderProgram::VERTEX_COLOR), 0);
    EXPECT_EQ(-1, copy->getLocation(ShaderProgram::NORMAL));
}

TEST_F(GLTest, DefaultProgramDrawsVertexColoursTimesTheBoundTexture) {
    // An appearance without a texture leaves unit 0 to the white texture, so
    // the default program (texture x colour) shows the colour itself instead
    // of the black an unbound unit samples.
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFF30C060u));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(M3D_NEW Appearance());
    g->clearBuffers(0xFF808080u, true, true);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0x30, 0xC0, 0x60, 255}));
    EXPECT_EQ(g->getDefaultShaderProgram()->getGLName(), g->getProgramInUse());
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
}

TEST_F(GLTest, ForcedProgramOverridesTheAppearanceProgram) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFF0000FFu));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setShaderProgram(
        program(testsupport::colorVertexShader(), "void main() { gl_FragColor = vec4(1.0); }"));
    core::Ref<ShaderProgram> flat(
        program(testsupport::flatVertexShader(), testsupport::flatFragmentShader()));
    g->setShaderProgram(flat.get());
    g->clearBuffers(0xFF000000u, true, true);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {0, 0, 255, 255}));
    g->setShaderProgram(nullptr);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {255, 255, 255, 255})) << "the appearance's own program again";
}

} // namespace
