// scene_render against render_mesh, through real LuaJIT on a 64 x 64 window:
// a World of 1,000 meshes (about 100 triangles each, each with its own
// buffers and transform) drawn by one scene_render call, beside the same
// meshes drawn by 1,000 render_mesh calls from a Lua loop with the same
// (standard) program. Both report the time per draw; the scene path should
// be no slower. A third case animates and draws the demo creature
// (Data/Models/creature.m3g, when present) and reports the pool
// allocations per frame, which should be 0 after the first frame.
#include "GLBench.h"
#include "render/Mesh.h"
#include "render/Scene.h"
#include "render/World.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Math.h"
#include "script/Script_Instance.h"
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <vector>

using namespace render;

namespace {

const int MESHES = 1000;
const int GRID = 8;         // 8 x 8 vertices
const int CELLS = GRID - 1; // 98 triangles per mesh

class BenchScript : public Script_Instance {
public:
    void registerFunctions() override {}
};

struct Bench : GLBench {
    BenchScript script;
    lua_State* L = nullptr;
    core::Ref<World> world;

    Bench() {
        // Files resolve from the working directory (the repository's root).
        core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), false), core::String(""));
        Script_Instance::createState(script.getHolder());
        L = script.getState();
        world = M3D_NEW World();
        Camera* camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.0f, 1.0f, 100.0f);
        world->addChild(camera);
        world->setActiveCamera(camera);
        std::vector<short> p;
        std::vector<signed char> n;
        for (int y = 0; y < GRID; ++y)
            for (int x = 0; x < GRID; ++x) {
                p.insert(p.end(), {(short)(x * 100 - 350), (short)(y * 100 - 350), 0});
                n.insert(n.end(), {0, 0, 127});
            }
        std::vector<unsigned short> idx;
        for (int y = 0; y < CELLS; ++y)
            for (int x = 0; x < CELLS; ++x) {
                unsigned short a = (unsigned short)(y * GRID + x), b = (unsigned short)(a + 1),
                               c = (unsigned short)(a + GRID + 1), d = (unsigned short)(a + GRID);
                for (unsigned short k : {a, b, c, a, c, d}) idx.push_back(k);
            }
        core::Ref<Appearance> look(M3D_NEW Appearance());
        look->setMaterial(M3D_NEW Material());
        // The Lua side: a table of mesh handles and their transforms, and an
        // appearance handle with the standard program.
        lua_createtable(L, MESHES, 0);
        lua_createtable(L, MESHES, 0);
        for (int i = 0; i < MESHES; ++i) {
            VertexArray* a = M3D_NEW VertexArray(GRID * GRID, 3, 2);
            a->set(0, GRID * GRID, p.data());
            VertexArray* na = M3D_NEW VertexArray(GRID * GRID, 3, 1);
            na->set(0, GRID * GRID, n.data());
            VertexBuffer* vb = M3D_NEW VertexBuffer();
            vb->setPositions(a, 0.001f, nullptr);
            vb->setNormals(na);
            TriangleListArray* ib = M3D_NEW TriangleListArray(idx.data(), (int)idx.size());
            Mesh* mesh = M3D_NEW Mesh(vb, ib, look.get());
            float x = (float)(i % 40) * 0.5f - 10.0f, y = (float)(i / 40) * 0.5f - 6.0f;
            slm::mat4 m = slm::translation(slm::vec3(x, y, -20.0f - (float)(i % 7))) * slm::rotation_z((float)i * 0.01f);
            mesh->setTransform(m);
            world->addChild(mesh);
            Lua_Mesh* h = luaPushUserData<Lua_Mesh>(L, SCRIPT_TYPE_MESH);
            h->vertices = vb;
            h->triangles = ib;
            lua_rawseti(L, -3, i + 1);
            luaPushMatrix(L, m);
            lua_rawseti(L, -2, i + 1);
        }
        lua_setglobal(L, "transforms");
        lua_setglobal(L, "meshes");
        core::Vector<core::Ref<Object3D>> roots;
        roots.append(core::Ref<Object3D>(world.get()));
        luaPushUserData<Lua_Scene>(L, SCRIPT_TYPE_SCENE)->scene = M3D_NEW Scene(roots);
        lua_setglobal(L, "world");
        run("look = appearance_create() appearance_set_shader(look, shader_standard())\n"
            "cam = camera_create() camera_set_perspective(cam, 60, 1, 1, 100)\n"
            "function by_scene() render_bind_target() scene_render(world) render_release_target() end\n"
            "function by_meshes()\n"
            "  render_bind_target() render_clear() render_set_camera(cam, mat4_idn())\n"
            "  for i = 1, #meshes do render_mesh(meshes[i], transforms[i], look) end\n"
            "  render_release_target()\n"
            "end\n"
            "by_scene() by_meshes()");
    }
    void run(const std::string& code) {
        if (luaL_loadbuffer(L, code.data(), code.size(), "=bench") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            std::fprintf(stderr, "bench script: %s\n", lua_tostring(L, -1));
            lua_pop(L, 1);
        }
    }
    void call(const char* name) {
        lua_getglobal(L, name);
        if (lua_pcall(L, 0, 0, 0) != 0) {
            std::fprintf(stderr, "%s: %s\n", name, lua_tostring(L, -1));
            lua_pop(L, 1);
        }
    }
};

Bench& bench() {
    static Bench* b = new Bench();
    return *b;
}

void report(benchmark::State& state) {
    state.counters["time_per_draw"] =
        benchmark::Counter((double)MESHES, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SceneRenderWorldOf1000Meshes(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) b.call("by_scene");
    report(state);
}

void BM_RenderMesh1000CallsFromLua(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) b.call("by_meshes");
    report(state);
}

// The demo creature animated to a new time and drawn every frame.
void BM_DemoCreatureAnimateAndRender(benchmark::State& state) {
    Bench& b = bench();
    b.run("creature_ok, creature = pcall(scene_load, 'Data/Models/creature.m3g')\n"
          "creature_time = 0\n"
          "function creature_frame()\n"
          "  creature_time = creature_time + 16\n"
          "  scene_animate(creature, creature_time)\n"
          "  render_bind_target() render_clear() render_set_camera(cam, mat4_translation(vec3(0, 0, 8)))\n"
          "  scene_render(creature) render_release_target()\n"
          "end\n");
    lua_getglobal(b.L, "creature_ok");
    bool ok = lua_toboolean(b.L, -1);
    lua_pop(b.L, 1);
    if (!ok) {
        state.SkipWithError("Data/Models/creature.m3g could not be loaded (run from the repository root)");
        return;
    }
    b.call("creature_frame");
    int before = core::memoryManager().getTotalAllocations();
    for (auto _ : state) b.call("creature_frame");
    state.counters["pool_allocations_per_frame"] =
        benchmark::Counter((double)(core::memoryManager().getTotalAllocations() - before),
                           benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_SceneRenderWorldOf1000Meshes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderMesh1000CallsFromLua)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoCreatureAnimateAndRender)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
