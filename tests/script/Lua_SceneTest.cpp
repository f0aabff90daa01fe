// The appearance, camera, mesh, render and shader families on a real GL
// renderer. What they draw is checked by the golden images of tests/golden/.
#include "ScriptTestSupport.h"
#include "render/Text3D.h"
#include "script/Lua_Handles.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A program with a uniform of every kind shader_set can reach.
const char* const SHADERS = R"(
VS = [[
uniform mat4 u_extra;
uniform vec3 u_light;
void main() { gl_Position = m3g_modelViewProjectionMatrix * u_extra * vec4(m3g_position + u_light, 1.0); }]]
FS = [[
precision highp float;
uniform vec4 u_color;
uniform float u_gain;
void main() { gl_FragColor = u_color * u_gain; }]]
s = shader_create(VS, FS)
)";

class LuaSceneTest : public GLLuaTest {};

// The families' argument checks, one row per distinct path: every wrong call
// is a script error naming the problem, and the state goes on.
TEST_F(LuaSceneTest, ArgumentCountsAndWrongHandles) {
    ASSERT_EQ("", runLua(L, "b = mesh_builder_create()"));
    expectErrors(
        L, {{"appearance_create(1)", "bad argument #0 to 'appearance_create' (Expected 0 - 0 arguments!)"},
            {"camera_set_perspective(camera_create(), 60, 1, 1)", "(Expected 5 - 5 arguments!)"},
            {"mesh_get_radius(camera_create())", "Lua user data is of wrong type!"},
            {"render_set_camera(42, mat4_idn())", "Expected a lua user data!"},
            {"render_mesh(mesh_create(), mat4_idn(), mesh_create())", "Lua user data is of wrong type!"},
            // near == far: the camera refuses
            {"camera_set_perspective(camera_create(), 60, 1, 2, 2)", ""},
            {"mesh_builder_smooth(vec3())", "Lua user data is of wrong type!"},
            {"mesh_builder_scale(b, 'x')", "Expected a lua user data!"},
            {"render_text({}, mat4_idn())", "string expected"},
            {"render_line(vec3(0, 0, 0), vec3(1, 1, 1))", "Expected 3 - 3"}});
}

TEST_F(LuaSceneTest, BlendingCountsOnlyChanges) {
    ASSERT_EQ("", runLua(L, "a = appearance_create()"));
    Lua_Appearance* a = handle<Lua_Appearance>("a");
    int before = a->compositing->getModificationCounter();
    EXPECT_EQ("", runLua(L, "appearance_set_blending(a, BLEND_ADD) appearance_set_blending(a, BLEND_ADD)"));
    EXPECT_EQ(before + 1, a->compositing->getModificationCounter());
    EXPECT_EQ(69, a->compositing->getBlending());
}

TEST_F(LuaSceneTest, SetCameraMarksAChangeOnlyWhenTheMatrixDiffers) {
    ASSERT_EQ("", runLua(L, "c = camera_create() camera_set_perspective(c, 60, 1.5, 0.1, 100)"));
    Lua_Camera* c = handle<Lua_Camera>("c");
    c->camera->clearTransformChanged();
    EXPECT_EQ("",
              runLua(L, "render_bind_target() m = mat4_translation(vec3(0, 0, 5)) render_set_camera(c, m)"));
    EXPECT_TRUE(c->camera->isTransformChanged());
    c->camera->clearTransformChanged();
    int sets = g->getStatistics().cameraSets;
    EXPECT_EQ("", runLua(L, "render_set_camera(c, m)"));
    EXPECT_FALSE(c->camera->isTransformChanged());
    EXPECT_EQ(sets + 1, g->getStatistics().cameraSets);
    // The renderer keeps its camera after the handle is gone.
    EXPECT_EQ("", runLua(L, "c = nil collectgarbage() collectgarbage() render_release_target()"));
    EXPECT_EQ(1, g->getCamera()->getReferenceCount());
}

TEST_F(LuaSceneTest, MeshRadiusAndSphereTests) {
    EXPECT_EQ("", runLua(L, R"(
        e = mesh_builder_build_mesh(mesh_builder_create())
        assert(mesh_get_radius(e) == 0 and mesh_test_sphere(e, vec3(0, 0, 0), 100) == false)
        b = mesh_builder_create() mesh_builder_add_cube(b) cube = mesh_builder_build_mesh(b)
        assert(math.abs(mesh_get_radius(cube) - math.sqrt(3)) < 1e-5)
        -- A cube's points are all on its bounding sphere; the cube smoothed once
        -- has its face points (0, 0, 1) inside it (edge points lie at 1.0607).
        assert(not mesh_test_sphere(cube, vec3(0.9, 0.9, 0.9), 0.2))
        mesh_builder_smooth(b) m = mesh_builder_build_mesh(b)
        assert(math.abs(mesh_get_radius(m) - math.sqrt(2 * 0.75 ^ 2)) < 1e-5)
        assert(math.abs(mesh_get_radius(cube) - math.sqrt(3)) < 1e-5, 'each build is a mesh of its own')
        assert(mesh_test_sphere(m, vec3(0, 0, 0.6), 0.42))
        assert(not mesh_test_sphere(m, vec3(0, 0, 0.6), 0.38))
        -- centre at the origin, radius beyond the cloud's: false by the bounding rule
        assert(not mesh_test_sphere(m, vec3(0, 0, 0), 2))
        -- the transform moves the centre next to the face point
        assert(mesh_test_sphere(m, vec3(0, 0, 0), 0.42, mat4_translation(vec3(0, 0, 0.6))))
        assert(not mesh_test_sphere(m, vec3(0, 0, 0), 0.1))
    )"));
}

TEST_F(LuaSceneTest, ShaderSetPathsAndFailures) {
    ASSERT_EQ("", runLua(L, SHADERS));
    int uploads = g->getStatistics().uniformUploads;
    EXPECT_EQ("",
              runLua(L,
                     "shader_set(s, 'u_gain', 0.5) shader_set(s, 'u_light', vec3(0, 0, 1))\n"
                     "shader_set(s, 'u_color', vec4(1, 0, 0, 1)) shader_set(s, 'u_extra', mat4_rot_x(0.5))"));
    EXPECT_EQ(uploads + 4, g->getStatistics().uniformUploads);
    // The same values again reach no GL call; an unknown name is ignored.
    EXPECT_EQ("", runLua(L, "shader_set(s, 'u_gain', 0.5) shader_set(s, 'u_extra', mat4_rot_x(0.5))\n"
                            "shader_set(s, 'u_light', vec3(0, 0, 1)) shader_set(s, 'no_such', 1)"));
    EXPECT_EQ(uploads + 4, g->getStatistics().uniformUploads);

    StderrCapture log;
    expectErrors(L, {{"shader_set(s, 'u_gain', 'bright')", "Expected a lua user data!"},
                     {"shader_set(s, 'u_gain', camera_create())", "Unsupported lua data type!"},
                     {"shader_set(s, 'u_gain', io.stdout)", "Unsupported lua data type!"},
                     {"shader_create('void main() { nonsense }', FS)", ""}});
    std::string logged = log.finish();
    EXPECT_NE(std::string::npos, logged.find("data != 0"));
    EXPECT_NE(std::string::npos, logged.find("Lua_Shader"));
}

TEST_F(LuaSceneTest, ForcedAndStandardShaders) {
    ASSERT_EQ("", runLua(L, std::string(SHADERS) + "render_set_shader(s)"));
    EXPECT_EQ(handle<Lua_Shader>("s")->program.get(), g->getShaderProgram());
    EXPECT_EQ("", runLua(L, "render_set_shader(nil)"));
    EXPECT_EQ(nullptr, g->getShaderProgram());
    // render_release_target drops a forced program too.
    EXPECT_EQ("", runLua(L, "render_bind_target() render_set_shader(s) render_release_target()"));
    EXPECT_EQ(nullptr, g->getShaderProgram());

    // shader_standard gives the renderer's one standard program, which the
    // renderer keeps after the handles are gone.
    ASSERT_EQ("", runLua(L, "s1 = shader_standard() s2 = shader_standard()"));
    EXPECT_EQ(g->getStandardProgram(), handle<Lua_Shader>("s1")->program.get());
    EXPECT_EQ(g->getStandardProgram(), handle<Lua_Shader>("s2")->program.get());
    EXPECT_EQ("", runLua(L, "s1 = nil s2 = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, g->getStandardProgram()->getReferenceCount());
}

TEST_F(LuaSceneTest, TextIsCutAtTheFormatLimitAndNumbersConvert) {
    ASSERT_EQ("", runLua(L, "render_bind_target() render_text(string.rep('x', 5000), mat4_idn())"));
    EXPECT_EQ(2047, g->getOverlayText()->getText().length());
    ASSERT_EQ("", runLua(L, "render_text(42, mat4_idn())"));
    EXPECT_STREQ("42", g->getOverlayText()->getText().c_str());
    ASSERT_EQ("", runLua(L, "render_release_target()"));
}

} // namespace
