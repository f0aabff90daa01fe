// texture_load, render_image and render_to_texture through
// real LuaJIT on a real OpenGL renderer (hidden 64 x 64 window, llvmpipe).
#include "ScriptTestSupport.h"
#include "render/OGLES2_Graphics3D.h"
#include "script/Lua_Handles.h"
#include "support/TestData.h"
#include "support/Text.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class LuaTextureTest : public GLLuaTest {
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
};

TEST_F(LuaTextureTest, TextureLoadMakesAnImageTextureOrAnErrorNamingTheFile) {
    std::filesystem::copy_file(dataFile("pngsuite/basn6a08.png"), "Data/quad.png");
    ASSERT_EQ("", runLua(L, "t = texture_load('Data/quad.png')"));
    Lua_Texture* t = handle<Lua_Texture>("t");
    EXPECT_EQ(32, t->texture->getWidth());

    std::ofstream("Data/notes.png") << "plain text, not a picture at all";
    std::ofstream("Data/cut.png", std::ios::binary) << readFile("Data/quad.png").substr(0, 40);
    StderrCapture quiet;
    expectErrors(L, {{"texture_load('Data/none.png')", "Data/none.png"},
                     {"texture_load('Data/none.png')", "file system does not have access"},
                     {"texture_load('Data/notes.png')", "Data/notes.png"},
                     {"texture_load('Data/notes.png')", "Unsupported file format"},
                     {"texture_load('Data/cut.png')", "Data/cut.png"},
                     {"texture_load('Data/cut.png')", "stream data"},
                     {"texture_load('a', 'b')", "Expected 1 - 1 arguments!"},
                     {"texture_load({})", "string expected"},
                     {"render_image(t)", "Expected 2 - 3 arguments!"},
                     {"render_image(camera_create(), mat4_idn())", "Lua user data is of wrong type!"},
                     {"render_image(t, vec3(0, 0, 0))", "wrong type"},
                     {"render_image(t, mat4_idn(), 'red')", "number expected"},
                     {"render_to_texture(t)", "the texture has no render target"},
                     {"render_to_texture(cam)", "Lua user data is of wrong type!"}});
    quiet.finish();
    core::Ref<render::Texture2D> kept = t->texture;
    EXPECT_EQ("", runLua(L, "t = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, kept->getReferenceCount());
}

// Where render_image places and tints a picture, on screen and through a
// render target, is in the golden images; a texture frame is not presented.
TEST_F(LuaTextureTest, RenderToTextureDrawsIntoTheTargetAndPresentsNothing) {
    ASSERT_EQ("", runLua(L, "canvas = texture_create(32, 32, true)\n"
                            "render_to_texture(canvas) render_clear() render_release_target()"));
    EXPECT_EQ(0, presented);
    ASSERT_EQ("", runLua(L, "render_bind_target() render_set_camera(cam, EYE)\n"
                            "render_image(canvas, mat4_idn()) render_release_target()"));
    EXPECT_EQ(1, presented);
}

// A steady frame takes nothing from the engine's pool once the first frame
// has set up what the renderer keeps between frames.
TEST_F(LuaTextureTest, ASteadyFrameAllocatesNothingFromThePool) {
    ASSERT_EQ("", runLua(L, "function frame()\n"
                            "  render_bind_target() render_clear() render_set_camera(cam, EYE)\n"
                            "  render_release_target()\n"
                            "end\n"
                            "frame() frame()"));
    int after2 = core.pool().getTotalAllocations();
    ASSERT_EQ("", runLua(L, "for i = 1, 5 do frame() end"));
    EXPECT_EQ(after2, core.pool().getTotalAllocations()) << "allocations in 5 steady frames";
    EXPECT_EQ(7, presented);
}

} // namespace
