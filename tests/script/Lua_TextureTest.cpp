// texture_load, render_image, render_to_texture and shader_standard through
// real LuaJIT on a real OpenGL renderer (hidden 64 x 64 window, llvmpipe).
#include "ScriptTestSupport.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/PNG_Writer.h"
#include "script/Lua_Handles.h"
#include "support/GLTestDisplay.h"
#include <GL/gl.h>
#include <array>
#include <fstream>
#include <gtest/gtest.h>

using testsupport::PlainScript;
using testsupport::runLua;

namespace {

class LuaTextureTest : public testsupport::GLLuaTest {
protected:
    int presented = 0;

    void SetUp() override {
        GLLuaTest::SetUp();
        g->setPresentListener(
            [](render::Graphics3D*, void* self) { ++static_cast<LuaTextureTest*>(self)->presented; }, this);
        // An orthographic camera that maps (0, 0) - (2, 2) onto the window.
        ASSERT_EQ("", runLua(L, "cam = camera_create() camera_set_ortho(cam, 0, 2, 0, 2, 0.1, 10)\n"
                                "EYE = mat4_translation(vec3(0, 0, 5))"));
    }
    static std::array<int, 4> pixel(int x, int y) {
        unsigned char c[4] = {0, 0, 0, 0};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c);
        return {c[0], c[1], c[2], c[3]};
    }
    static void expectColour(std::array<int, 4> got, int r, int gr, int b, const char* what, int tolerance = 12) {
        EXPECT_NEAR(r, got[0], tolerance) << what;
        EXPECT_NEAR(gr, got[1], tolerance) << what;
        EXPECT_NEAR(b, got[2], tolerance) << what;
    }
    // A 2 x 2 picture: red, green over blue, white (top row first).
    static void writeQuadrants(const char* path) {
        const unsigned char rgba[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
        render::writePNG(core::String(path), 2, 2, rgba, false);
    }
};

TEST_F(LuaTextureTest, TextureLoadMakesAnImageTextureOrAnErrorNamingTheFile) {
    writeQuadrants("Data/quad.png");
    ASSERT_EQ("", runLua(L, "t = texture_load('Data/quad.png')"));
    Lua_Texture* t = handle<Lua_Texture>("t");
    ASSERT_EQ(SCRIPT_TYPE_TEXTURE, t->type);
    ASSERT_TRUE(t->texture);
    EXPECT_FALSE(t->target);
    EXPECT_EQ(2, t->texture->getWidth());
    EXPECT_EQ(2, t->texture->getHeight());
    EXPECT_NE(0u, t->texture->getGLName());

    std::ofstream("Data/notes.png") << "plain text, not a picture at all";
    std::string png;
    {
        std::ifstream in("Data/quad.png", std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream("Data/cut.png", std::ios::binary) << png.substr(0, 40);
    struct Case {
        const char* code;
        const char* path;    // must appear in the message
        const char* message; // the loader's text or the argument check
    } cases[] = {
        {"texture_load('Data/none.png')", "Data/none.png", "file system does not have access"},
        {"texture_load('Data/notes.png')", "Data/notes.png", "Unsupported file format"},
        {"texture_load('Data/cut.png')", "Data/cut.png", "stream data"},
        {"texture_load()", "", "Expected 1 - 1 arguments!"},
        {"texture_load('a', 'b')", "", "Expected 1 - 1 arguments!"},
        {"texture_load({})", "", "string expected"},
    };
    testsupport::StderrCapture quiet;
    for (const Case& c : cases) {
        std::string e = runLua(L, c.code);
        EXPECT_NE(std::string::npos, e.find(c.path)) << c.code << " gave " << e;
        EXPECT_NE(std::string::npos, e.find(c.message)) << c.code << " gave " << e;
    }
    quiet.finish();
    EXPECT_EQ("", runLua(L, "assert(t) collectgarbage()"));
    core::Ref<render::Texture2D> kept = t->texture;
    EXPECT_EQ("", runLua(L, "t = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, kept->getReferenceCount());
}

TEST_F(LuaTextureTest, RenderImagePlacesTheTextureLowerLeftAtTheOriginAndTintsIt) {
    writeQuadrants("Data/quad.png");
    ASSERT_EQ(
        "",
        runLua(L,
               "t = texture_load('Data/quad.png')\n"
               "function frame(colour)\n"
               "  render_bind_target() render_clear() render_set_camera(cam, EYE)\n"
               "  if colour then render_image(t, mat4_idn(), colour) else render_image(t, mat4_idn()) end\n"
               "  render_flush()\n"
               "end\n"
               "frame()"));
    // One texel per 32 x 32 quarter; the image's top row is up.
    expectColour(pixel(16, 48), 255, 0, 0, "top left");
    expectColour(pixel(48, 48), 0, 255, 0, "top right");
    expectColour(pixel(16, 16), 0, 0, 255, "bottom left");
    expectColour(pixel(48, 16), 255, 255, 255, "bottom right");
    ASSERT_EQ("", runLua(L, "render_release_target() frame(0xFF808080)"));
    expectColour(pixel(48, 16), 128, 128, 128, "white tinted grey");
    // A half-transparent tint blends over the cleared (black) frame.
    ASSERT_EQ("", runLua(L, "render_release_target() frame(0x80FFFFFF)"));
    expectColour(pixel(48, 16), 128, 128, 128, "half transparent white");
    EXPECT_EQ("", runLua(L, "render_release_target()"));

    struct Case {
        const char* code;
        const char* message;
    } cases[] = {
        {"render_image(t)", "Expected 2 - 3 arguments!"},
        {"render_image(t, mat4_idn(), 1, 2)", "Expected 2 - 3 arguments!"},
        {"render_image(camera_create(), mat4_idn())", "Lua user data is of wrong type!"},
        {"render_image(t, vec3(0, 0, 0))", "wrong type"},
        {"render_image(t, mat4_idn(), 'red')", "number expected"},
    };
    testsupport::StderrCapture quiet;
    for (const Case& c : cases) {
        std::string e = runLua(L, c.code);
        EXPECT_NE(std::string::npos, e.find(c.message)) << c.code << " gave " << e;
    }
}

TEST_F(LuaTextureTest, RenderToTextureDrawsIntoTheTargetAndPresentsNothing) {
    writeQuadrants("Data/quad.png");
    ASSERT_EQ("", runLua(L, "canvas = texture_create(32, 32, true) t = texture_load('Data/quad.png')\n"
                            "render_to_texture(canvas) render_clear() render_set_camera(cam, EYE)\n"
                            "render_image(t, mat4_idn())\n"
                            "render_release_target()"));
    EXPECT_EQ(0, presented) << "a texture frame is not presented";
    // The canvas now holds the picture at 32 x 32: draw it over the window.
    ASSERT_EQ("", runLua(L, "render_bind_target() render_clear() render_set_camera(cam, EYE)\n"
                            "render_image(canvas, mat4_scale(2 / 32))\n"
                            "render_flush()"));
    expectColour(pixel(16, 48), 255, 0, 0, "top left through the canvas", 24);
    expectColour(pixel(48, 48), 0, 255, 0, "top right through the canvas", 24);
    expectColour(pixel(16, 16), 0, 0, 255, "bottom left through the canvas", 24);
    ASSERT_EQ("", runLua(L, "render_release_target()"));
    EXPECT_EQ(1, presented);

    struct Case {
        const char* code;
        const char* message;
    } cases[] = {
        {"render_to_texture(t)", "the texture has no render target"},
        {"render_to_texture()", "Expected 1 - 1 arguments!"},
        {"render_to_texture(cam)", "Lua user data is of wrong type!"},
    };
    testsupport::StderrCapture quiet;
    for (const Case& c : cases) {
        std::string e = runLua(L, c.code);
        EXPECT_NE(std::string::npos, e.find(c.message)) << c.code << " gave " << e;
    }
}

} // namespace

// A steady frame takes nothing from the engine's pool once the first frame
// has set up what the renderer keeps between frames.
TEST_F(LuaTextureTest, ASteadyFrameAllocatesNothingFromThePool) {
    ASSERT_EQ("", runLua(L, "function frame()\n"
                            "  render_bind_target() render_clear() render_set_camera(cam, EYE)\n"
                            "  render_release_target()\n"
                            "end"));
    MemoryManager& pool = core.pool();
    auto frame = [&] {
        lua_getglobal(L, "frame");
        ASSERT_EQ(0, lua_pcall(L, 0, 0, 0)) << lua_tostring(L, -1);
    };
    frame();
    frame();
    int after2 = pool.getTotalAllocations();
    for (int i = 0; i < 5; ++i)
        frame();
    EXPECT_EQ(after2, pool.getTotalAllocations()) << "allocations in 5 steady frames";
    EXPECT_EQ(7, presented);
}
