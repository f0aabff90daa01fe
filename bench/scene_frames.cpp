// Lua-driven frames through the whole program (framework, application,
// script host, renderer) on a 64 x 64 window, one fixed step and one
// global_render per iteration, measured per frame:
//  (a)  1,000 render_mesh calls of 100-triangle meshes, each with
//       mat4_translation(p) * mat4_rot_x(a) * mat4_rot_y(b) computed in Lua;
//  (a0) the same Lua work with empty mesh handles (binding and math only);
//  (b)  10,000 render_line calls, 10 to 42 units long, spread over a
//       1024 x 768 screen-space camera, directions turning every frame;
//  (c)  200 render_text calls of about 32 changing characters each, four
//       columns of 50 lines;
//  (d)  an empty frame: bind, clear, release;
//  (e)  the Lua work of (a0) for 20,000 objects.
// The 2D cases use a 1024 x 768 orthographic camera scaled to the window,
// as the peer scales its 1024 x 768 drawing space. Run both under Xvfb
// (scripts/run-bench.sh; the peer with PEER_SIZE=64x64) to compare them.
// The peer is the LÖVE scene in ../shared/bench-peers/love/; for (e), the
// same per-object work of that scene in bench/peers/love-objects/
// (PEER_OBJECTS=20000).
#include "app/Framework.h"
#include "app/Main_Application_Impl.h"
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const char* const SETUP = R"(
local b = mesh_builder_create()
local P = {a = 1, b = 1, m = 0, n1 = 1, n2 = 1, n3 = 1}
mesh_builder_add_supershape(b, 10, 5, P, P)      -- 50 quads: 100 triangles
local mesh = mesh_builder_build_mesh(b)
local empty = mesh_create()
local s = shader_create([[
void main() { gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0); }]], [[
precision highp float;
void main() { gl_FragColor = vec4(1.0, 0.5, 0.2, 1.0); }]])
local look = appearance_create()
appearance_set_shader(look, s)
local cam = camera_create()
camera_set_perspective(cam, 60, 1, 0.5, 200)
local view = mat4_translation(vec3(0, 0, 40))
local screen = camera_create()
camera_set_ortho(screen, 0, 1024, 0, 768, -1, 1)
local idn = mat4_idn()
local t, frame = 0, 0
function global_update(step) t = t + step frame = frame + 1 return true end
local function objects(m, n)
  for i = 1, n or 1000 do
    local p = vec3((i % 40) - 20, math.floor(i / 40) - 12, -(i % 7))
    render_mesh(m, mat4_translation(p) * mat4_rot_x(t + i) * mat4_rot_y(t * 0.5 + i), look)
  end
end
local cos, sin, floor = math.cos, math.sin, math.floor
local function lines()
  for i = 0, 9999 do
    local x, y = 5 + (i % 100) * 10.2, 764 - floor(i / 100) * 7.6
    local a, len = t + i * 0.013, 10 + (i % 5) * 8
    render_line(vec3(x, y, 0), vec3(x + len * cos(a), y - len * sin(a), 0), 0xFFE6CC4D)
  end
end
local fmt = string.format
local function texts()
  for i = 0, 199 do
    local col, row = floor(i / 50), i % 50
    render_text(fmt("%3d: frame %5d value %9.4f", i, frame, sin(i + t)),
                mat4_translation(vec3(8 + col * 254, 762 - row * 15, 0)) * mat4_scale(1.5))
  end
end
)";

void runFrames(benchmark::State& state, const std::string& render) {
    // With a display (xvfb-run, as the peer runs) the window is an X11 one,
    // so presenting costs what it costs the peer; without one it is offscreen.
    setenv("SDL_VIDEODRIVER", std::getenv("DISPLAY") ? "x11" : "offscreen", 0);
    char tmpl[] = "/tmp/pelloran-scene-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::filesystem::create_directory(dir + "/Data");
    std::ofstream(dir + "/Data/Bootstrap.lua") << SETUP << "function global_render()\n" << render << "\nend\n";
    std::string saved = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    {
        EngineConfig config;
        const char* tokens[] = {"-windowed", "64", "64"};
        for (int i = 0; i < 3; ++i) config.engine.tokens[i] = tokens[i];
        config.engine.tokenCount = 3;
        Framework* fw = createFramework(config);
        fw->setFrameCapture(nullptr, 0); // fixed steps, no clock
        Main_Application_Impl* app = static_cast<Main_Application_Impl*>(fw->getApplication());
        for (int i = 0; i < 30; ++i) {
            fw->fixedFrameStep();
            app->render(fw->getRenderer());
        }
        for (auto _ : state) {
            fw->fixedFrameStep();
            app->render(fw->getRenderer());
        }
        if (!app->isScriptRunning()) state.SkipWithError("the script failed");
        delete fw;
    }
    std::filesystem::current_path(saved);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void A_MeshesWithLuaMath(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_set_camera(cam, view) objects(mesh) "
                     "render_release_target()");
}
void A0_LuaWorkOnly(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_set_camera(cam, view) objects(empty) "
                     "render_release_target()");
}
void E_LuaWorkOnly20000(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_set_camera(cam, view) objects(empty, 20000) "
                     "render_release_target()");
}
void B_Lines10000(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_set_camera(screen, idn) lines() "
                     "render_release_target()");
}
void C_Text200(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_set_camera(screen, idn) texts() "
                     "render_release_target()");
}
void D_EmptyFrame(benchmark::State& state) {
    runFrames(state, "render_bind_target() render_clear() render_release_target()");
}

BENCHMARK(A_MeshesWithLuaMath)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(A0_LuaWorkOnly)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(B_Lines10000)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(C_Text200)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(D_EmptyFrame)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(E_LuaWorkOnly20000)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

BENCHMARK_MAIN();
