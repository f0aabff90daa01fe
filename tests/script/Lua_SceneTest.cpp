// The scene and rendering families (appearance, camera, mesh, render,
// shader) and mesh_builder_build_mesh through real LuaJIT, with a real
// OpenGL ES 2 renderer on a hidden 64 x 64 window (llvmpipe under Xvfb).
#include "ScriptTestSupport.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/Text3D.h"
#include "script/Lua_Handles.h"
#include "render/RenderFixture.h"
#include <array>
#include <cmath>
#include <gtest/gtest.h>

using testsupport::PlainScript;
using testsupport::runLua;

namespace {

// A program with one colour uniform and a lighting term from a light
// direction uniform, so shader_set has uniforms of every kind to reach.
const char* const LIT_SHADERS =
    "VS = [[\n"
    "uniform mat4 u_extra;\n"
    "uniform vec3 u_light;\n"
    "varying float v_light;\n"
    "void main() {\n"
    "  vec3 n = normalize((m3g_normalMatrix * vec4(m3g_normal, 0.0)).xyz);\n"
    "  v_light = max(dot(n, normalize(u_light)), 0.0);\n"
    "  gl_Position = m3g_modelViewProjectionMatrix * u_extra * vec4(m3g_position, 1.0);\n"
    "}]]\n"
    "FS = [[\n"
    "precision highp float;\n"
    "uniform vec4 u_color;\n"
    "uniform float u_gain;\n"
    "varying float v_light;\n"
    "void main() { gl_FragColor = vec4(u_color.rgb * u_gain * max(v_light, 1.0), u_color.a); }]]\n";

class LuaSceneTest : public testsupport::GLTest {
protected:
    PlainScript script;
    lua_State* L = nullptr;

    bool wantsDefaultLight() const override { return true; }
    void SetUp() override {
        GLTest::SetUp();
        g->releaseTarget(); // the scripts bind it themselves
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    void TearDown() override {
        Script_Instance::closeState(script.getHolder());
        GLTest::TearDown();
    }
    template <typename T> T* handle(const char* global) {
        lua_getglobal(L, global);
        T* h = static_cast<T*>(lua_touserdata(L, -1));
        lua_pop(L, 1);
        return h;
    }
};

// One table for the families' argument checks: every wrong call is a script
// error naming the problem, and the state goes on.
TEST_F(LuaSceneTest, ArgumentCountsAndWrongHandles) {
    ASSERT_EQ("", runLua(L, "b = mesh_builder_create() P = {a = 1, b = 1, m = 0, n1 = 1, n2 = 1, n3 = 1}"));
    struct Case {
        const char* code;
        const char* message;
    } cases[] = {
        {"appearance_create(1)", "bad argument #0 to 'appearance_create' (Expected 0 - 0 arguments!)"},
        {"appearance_set_blending(appearance_create())", "(Expected 2 - 2 arguments!)"},
        {"camera_set_perspective(camera_create(), 60, 1, 1)", "(Expected 5 - 5 arguments!)"},
        {"camera_set_ortho(camera_create(), 1, 2, 3, 4, 5)", "(Expected 7 - 7 arguments!)"},
        {"mesh_test_sphere(mesh_create(), vec3(0, 0, 0))", "(Expected 3 - 4 arguments!)"},
        {"render_mesh(mesh_create(), mat4_idn())", "(Expected 3 - 3 arguments!)"},
        {"render_set_shader()", "(Expected 1 - 1 arguments!)"},
        {"shader_create('x')", "(Expected 2 - 2 arguments!)"},
        {"mesh_get_radius(camera_create())", "Lua user data is of wrong type!"},
        {"appearance_set_shader(appearance_create(), camera_create())", "Lua user data is of wrong type!"},
        {"render_set_camera(42, mat4_idn())", "Expected a lua user data!"},
        {"render_mesh(mesh_create(), mat4_idn(), mesh_create())", "Lua user data is of wrong type!"},
        {"render_set_shader(appearance_create())", "Lua user data is of wrong type!"},
        {"camera_set_perspective(camera_create(), 60, 1, 2, 2)", ""}, // near == far: the camera refuses
        {"mesh_builder_create(1)", "Expected 0 - 0 arguments!"},
        {"mesh_builder_add_supershape(b, 4, 2, P)", "Expected 5 - 5 arguments!"},
        {"mesh_builder_clear(5)", "Expected a lua user data!"},
        {"mesh_builder_smooth(vec3())", "Lua user data is of wrong type!"},
        {"mesh_builder_scale(b, 'x')", "Expected a lua user data!"},
        {"mesh_builder_transform(b, vec3())", "Lua user data is of wrong type!"},
        {"audio_play_sound()", "Expected 1 - 1 arguments!"},
        {"audio_load_sound('a.wav', 'b.wav')", "Expected 1 - 1 arguments!"},
        {"audio_play_stream(1, 2)", "Expected 1 - 1 arguments!"},
    };
    for (const Case& c : cases) {
        std::string e = runLua(L, c.code);
        EXPECT_FALSE(e.empty()) << c.code;
        EXPECT_NE(std::string::npos, e.find(c.message)) << c.code << " gave " << e;
    }
    // The state is still usable after every failure.
    EXPECT_EQ("", runLua(L, "assert(mesh_get_radius(mesh_create()) == 0)"));
}

TEST_F(LuaSceneTest, BlendingCountsChangesAndTheAppearanceOutlivesItsHandle) {
    EXPECT_EQ("", runLua(L, "a = appearance_create()"));
    Lua_Appearance* a = handle<Lua_Appearance>("a");
    ASSERT_EQ(SCRIPT_TYPE_APPEARANCE, a->type);
    ASSERT_TRUE(a->appearance);
    ASSERT_EQ(a->compositing, a->appearance->getCompositingMode());
    int before = a->compositing->getModificationCounter();
    int initial = a->compositing->getBlending();
    lua_pushinteger(L, initial);
    lua_setglobal(L, "initial");
    EXPECT_EQ("", runLua(L, "appearance_set_blending(a, initial)"));
    EXPECT_EQ(before, a->compositing->getModificationCounter());
    EXPECT_EQ("", runLua(L, "appearance_set_blending(a, BLEND_ADD) appearance_set_blending(a, BLEND_ADD)"));
    EXPECT_EQ(before + 1, a->compositing->getModificationCounter());
    EXPECT_EQ(69, a->compositing->getBlending());
    // The appearance outlives its handle while something else holds it.
    core::Ref<render::Appearance> kept = a->appearance;
    EXPECT_EQ(2, kept->getReferenceCount());
    EXPECT_EQ("", runLua(L, "a = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, kept->getReferenceCount());
}

TEST_F(LuaSceneTest, CameraProjectionsAndSetCameraMarksChangeOnlyWhenMatrixDiffers) {
    EXPECT_EQ("", runLua(L, "c = camera_create()"));
    Lua_Camera* c = handle<Lua_Camera>("c");
    ASSERT_TRUE(c->camera);
    EXPECT_EQ(render::Camera::GENERIC, c->camera->getProjectionType());
    EXPECT_EQ("", runLua(L, "camera_set_perspective(c, 60, 1.5, 0.1, 100)"));
    float p[4];
    EXPECT_EQ(render::Camera::PERSPECTIVE, c->camera->getProjection(p));
    EXPECT_FLOAT_EQ(60.0f, p[0]);
    EXPECT_FLOAT_EQ(100.0f, p[3]);
    EXPECT_EQ("", runLua(L, "camera_set_ortho(c, -2, 2, -1, 1, 0.5, 10)"));
    EXPECT_EQ(render::Camera::SCREEN, c->camera->getProjectionType());

    c->camera->clearTransformChanged();
    EXPECT_EQ("",
              runLua(L, "render_bind_target() m = mat4_translation(vec3(0, 0, 5)) render_set_camera(c, m)"));
    EXPECT_TRUE(c->camera->isTransformChanged());
    EXPECT_FLOAT_EQ(5.0f, c->camera->getTransform().m[14]);
    c->camera->clearTransformChanged();
    int sets = g->getStatistics().cameraSets;
    EXPECT_EQ("", runLua(L, "render_set_camera(c, m)"));
    EXPECT_FALSE(c->camera->isTransformChanged());
    EXPECT_EQ(sets + 1, g->getStatistics().cameraSets);
    EXPECT_EQ(c->camera.get(), g->getCamera());
    // The renderer keeps its camera after the handle is gone.
    EXPECT_EQ("", runLua(L, "c = nil collectgarbage() collectgarbage() render_release_target()"));
    EXPECT_EQ(1, g->getCamera()->getReferenceCount());
}

// Packing itself is tested with the renderer; here the binding must hand the
// builder's contents over and give each build meshes of its own.
TEST_F(LuaSceneTest, BuildMeshPacksTheBuilder) {
    EXPECT_EQ("", runLua(L, "b = mesh_builder_create() empty = mesh_builder_build_mesh(b)\n"
                            "mesh_builder_add_cube(b) m = mesh_builder_build_mesh(b)\n"
                            "m2 = mesh_builder_build_mesh(b)"));
    Lua_Mesh* empty = handle<Lua_Mesh>("empty");
    EXPECT_FALSE(empty->vertices || empty->triangles || empty->cloud);
    Lua_Mesh* m = handle<Lua_Mesh>("m");
    ASSERT_TRUE(m->vertices && m->triangles && m->cloud);
    EXPECT_EQ(36, m->triangles->getIndexCount());
    EXPECT_NE(m->vertices.get(), handle<Lua_Mesh>("m2")->vertices.get());
    EXPECT_NEAR(std::sqrt(3.0f), m->cloud->getRadius(), 1e-5f);
}

TEST_F(LuaSceneTest, MeshRadiusAndSphereTests) {
    EXPECT_EQ(
        "", runLua(L, "e = mesh_create()\n"
                      "assert(mesh_get_radius(e) == 0)\n"
                      "assert(mesh_test_sphere(e, vec3(0, 0, 0), 100) == false)\n"
                      "b = mesh_builder_create() mesh_builder_add_cube(b) m = mesh_builder_build_mesh(b)\n"
                      "r = mesh_get_radius(m)\n"
                      "assert(math.abs(r - math.sqrt(3)) < 1e-5)\n"
                      // A cube's points are all on its bounding sphere, so only a
                      // sphere through a corner from the centre could touch; the
                      // cube smoothed once has its face points (0, 0, 1) inside it
                      // (edge points lie at 1.0607).
                      "assert(not mesh_test_sphere(m, vec3(0.9, 0.9, 0.9), 0.2))\n"
                      "mesh_builder_smooth(b) m = mesh_builder_build_mesh(b)\n"
                      "assert(math.abs(mesh_get_radius(m) - math.sqrt(2 * 0.75 ^ 2)) < 1e-5)\n"
                      "assert(mesh_test_sphere(m, vec3(0, 0, 0.6), 0.42))\n"
                      "assert(not mesh_test_sphere(m, vec3(0, 0, 0.6), 0.38))\n"
                      // centre at the origin, radius beyond the cloud's: false by the bounding rule
                      "assert(not mesh_test_sphere(m, vec3(0, 0, 0), 2))\n"
                      // the transform moves the centre next to the face point
                      "assert(mesh_test_sphere(m, vec3(0, 0, 0), 0.42, mat4_translation(vec3(0, 0, 0.6))))\n"
                      "assert(not mesh_test_sphere(m, vec3(0, 0, 0), 0.1))\n"));
}

TEST_F(LuaSceneTest, ShaderSetPathsAndFailures) {
    ASSERT_EQ("", runLua(L, std::string(LIT_SHADERS) + "s = shader_create(VS, FS)"));
    Lua_Shader* s = handle<Lua_Shader>("s");
    ASSERT_TRUE(s->program);
    EXPECT_NE(0u, s->program->getGLName());
    EXPECT_EQ(1, s->program->getReferenceCount());
    int uploads = g->getStatistics().uniformUploads;
    EXPECT_EQ("", runLua(L, "shader_set(s, 'u_gain', 0.5)\n"
                            "shader_set(s, 'u_light', vec3(0, 0, 1))\n"
                            "shader_set(s, 'u_color', vec4(1, 0, 0, 1))\n"
                            "shader_set(s, 'u_extra', mat4_rot_x(0.5))\n"));
    EXPECT_EQ(uploads + 4, g->getStatistics().uniformUploads);
    // The same values again reach no GL call; an unknown name is ignored.
    EXPECT_EQ("", runLua(L, "shader_set(s, 'u_gain', 0.5) shader_set(s, 'u_extra', mat4_rot_x(0.5))\n"
                            "shader_set(s, 'u_light', vec3(0, 0, 1)) shader_set(s, 'no_such', 1)"));
    EXPECT_EQ(uploads + 4, g->getStatistics().uniformUploads);

    testsupport::StderrCapture log;
    std::string e = runLua(L, "shader_set(s, 'u_gain', 'bright')");
    EXPECT_NE(std::string::npos, e.find("Expected a lua user data!")) << e;
    e = runLua(L, "shader_set(s, 'u_gain', camera_create())");
    EXPECT_NE(std::string::npos, e.find("Unsupported lua data type!")) << e;
    e = runLua(L, "shader_set(s, 'u_gain', io.stdout)");
    EXPECT_NE(std::string::npos, e.find("Unsupported lua data type!")) << e;
    std::string logged = log.finish();
    EXPECT_NE(std::string::npos, logged.find("data != 0"));
    EXPECT_NE(std::string::npos, logged.find("Lua_Shader"));
    // A shader that does not compile is a script error, and the script goes on.
    e = runLua(L, "shader_create('void main() { nonsense }', FS)");
    EXPECT_FALSE(e.empty());
    EXPECT_EQ("", runLua(L, "assert(s)"));
}

TEST_F(LuaSceneTest, ForcedShaderAndNil) {
    ASSERT_EQ("", runLua(L, std::string(LIT_SHADERS) + "s = shader_create(VS, FS) render_set_shader(s)"));
    EXPECT_EQ(handle<Lua_Shader>("s")->program.get(), g->getShaderProgram());
    EXPECT_EQ("", runLua(L, "render_set_shader(nil)"));
    EXPECT_EQ(nullptr, g->getShaderProgram());
    // render_release_target drops a forced program too.
    EXPECT_EQ("", runLua(L, "render_bind_target() render_set_shader(s) render_release_target()"));
    EXPECT_EQ(nullptr, g->getShaderProgram());
}

TEST_F(LuaSceneTest, DrawsABuiltCubeWithACustomShaderAndBlending) {
    ASSERT_EQ(
        "",
        runLua(L, std::string(LIT_SHADERS) +
                      "s = shader_create(VS, FS)\n"
                      "shader_set(s, 'u_extra', mat4_idn()) shader_set(s, 'u_gain', 1)\n"
                      "shader_set(s, 'u_light', vec3(0, 0, 1)) shader_set(s, 'u_color', vec4(0, 1, 0, 1))\n"
                      "a = appearance_create() appearance_set_shader(a, s)\n"
                      "b = mesh_builder_create() mesh_builder_add_cube(b) m = mesh_builder_build_mesh(b)\n"
                      "c = camera_create() camera_set_perspective(c, 60, 1, 1, 100)\n"
                      "function frame()\n"
                      "  render_bind_target() render_clear()\n"
                      "  render_set_camera(c, mat4_translation(vec3(0, 0, 6)))\n"
                      "  render_mesh(m, mat4_idn(), a)\n"
                      "  render_mesh(mesh_create(), mat4_idn(), a)\n"
                      "  render_flush()\n"
                      "end\n"
                      "frame()"));
    EXPECT_EQ(12, g->getStatistics().triangles);
    std::array<int, 4> centre = pixel(32, 32), corner = pixel(1, 1);
    EXPECT_EQ(0, centre[0]);
    EXPECT_EQ(255, centre[1]);
    EXPECT_EQ(0, corner[1]);
    // Additive blending of red at half gain on a cleared frame: (127, 0, 0).
    ASSERT_EQ("", runLua(L, "render_release_target() shader_set(s, 'u_color', vec4(1, 0, 0, 1))\n"
                            "shader_set(s, 'u_gain', 0.5) appearance_set_blending(a, BLEND_ADD)\n"
                            "appearance_set_blending(a, BLEND_ALPHA_ADD) frame()"));
    centre = pixel(32, 32);
    EXPECT_NEAR(128, centre[0], 2);
    EXPECT_EQ(0, centre[1]);
    EXPECT_EQ("", runLua(L, "render_release_target()"));
}

TEST_F(LuaSceneTest, RedLineDrawsAtTheFlushAndTextIsCutAtTheFormatLimit) {
    ASSERT_EQ(
        "",
        runLua(L,
               "c = camera_create() camera_set_ortho(c, -1, 1, -1, 1, 0.1, 10)\n"
               "render_bind_target() render_clear() render_set_camera(c, mat4_translation(vec3(0, 0, 5)))\n"
               "for y = -0.1, 0.1, 0.02 do render_line(vec3(-1, y, 0), vec3(1, y, 0), 0xFFFF0000) end"));
    std::array<int, 4> before = pixel(32, 32);
    EXPECT_EQ(0, before[0]) << "nothing drawn before the flush";
    ASSERT_EQ("", runLua(L, "render_flush()"));
    std::array<int, 4> red = pixel(32, 32);
    EXPECT_GE(red[0], 200);
    EXPECT_LE(red[1], 30);
    EXPECT_EQ("", runLua(L, "render_release_target()"));

    // A text far beyond the 2047-character limit is cut, and numbers convert.
    ASSERT_EQ("", runLua(L, "render_bind_target() render_set_camera(c, mat4_translation(vec3(0, 0, 5)))\n"
                            "render_text(string.rep('x', 5000), mat4_idn())"));
    ASSERT_TRUE(g->getOverlayText());
    EXPECT_EQ(2047, g->getOverlayText()->getText().length());
    ASSERT_EQ("", runLua(L, "render_text(42, mat4_idn())"));
    EXPECT_EQ(core::String("42"), g->getOverlayText()->getText());
    ASSERT_EQ("", runLua(L, "render_text('hello', mat4_scale(0.05))"));
    EXPECT_EQ("", runLua(L, "render_release_target()"));
    EXPECT_NE(std::string::npos, runLua(L, "render_text({}, mat4_idn())").find("string expected"));
    EXPECT_NE(std::string::npos,
              runLua(L, "render_line(vec3(0, 0, 0), vec3(1, 1, 1))").find("Expected 3 - 3"));
}

TEST_F(LuaSceneTest, TexturesWithAndWithoutRenderTarget) {
    ASSERT_EQ("", runLua(L, "plain = texture_create(256, 256) target = texture_create(256, 256, true)\n"
                            "other = texture_create(64, 32, false)"));
    Lua_Texture* plain = handle<Lua_Texture>("plain");
    Lua_Texture* target = handle<Lua_Texture>("target");
    ASSERT_EQ(SCRIPT_TYPE_TEXTURE, plain->type);
    ASSERT_TRUE(plain->texture);
    EXPECT_FALSE(plain->target);
    ASSERT_TRUE(target->texture && target->target);
    EXPECT_EQ(target->texture.get(), target->target->getTexture());
    EXPECT_FALSE(handle<Lua_Texture>("other")->target);
    EXPECT_NE(std::string::npos, runLua(L, "texture_create(1)").find("Expected 2 - 3 arguments!"));
    EXPECT_NE(std::string::npos, runLua(L, "mesh_get_radius(plain)").find("Lua user data is of wrong type!"));
    core::Ref<render::Texture2D> kept = target->texture;
    EXPECT_EQ("", runLua(L, "target = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, kept->getReferenceCount()) << "the handle dropped the texture and the target";
}

} // namespace

namespace {

TEST_F(LuaSceneTest, ShaderStandardGivesTheRenderersOneStandardProgram) {
    ASSERT_EQ("", runLua(L, "s1 = shader_standard() s2 = shader_standard()"));
    Lua_Shader* s1 = handle<Lua_Shader>("s1");
    ASSERT_EQ(SCRIPT_TYPE_SHADER, s1->type);
    ASSERT_TRUE(s1->program);
    EXPECT_EQ(g->getStandardProgram(), s1->program.get());
    EXPECT_EQ(s1->program.get(), handle<Lua_Shader>("s2")->program.get());
    EXPECT_NE(0u, s1->program->getGLName());
    // It draws a script's mesh, lit by the default light, and takes shader_set
    // like any program.
    ASSERT_EQ("", runLua(L, "a = appearance_create() appearance_set_shader(a, s1)\n"
                            "b = mesh_builder_create() mesh_builder_add_cube(b) m = mesh_builder_build_mesh(b)\n"
                            "c = camera_create() camera_set_perspective(c, 60, 1, 1, 100)\n"
                            "render_bind_target() render_clear()\n"
                            "render_set_camera(c, mat4_translation(vec3(0, 0, 6)))\n"
                            "render_mesh(m, mat4_idn(), a) shader_set(s1, 'no_such_uniform', 1)"));
    std::array<int, 4> centre = pixel(32, 32);
    EXPECT_GT(centre[0] + centre[1] + centre[2], 300) << "the cube's face towards the light is bright";
    EXPECT_EQ("", runLua(L, "render_release_target()"));
    EXPECT_NE(std::string::npos, runLua(L, "shader_standard(1)").find("Expected 0 - 0 arguments!"));
    // The program outlives the handles: the renderer keeps it.
    EXPECT_EQ("", runLua(L, "s1 = nil s2 = nil a = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, g->getStandardProgram()->getReferenceCount());
}

} // namespace
