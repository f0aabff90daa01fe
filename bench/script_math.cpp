// Cost per call of the script math from LuaJIT: vec3_add, the + operator,
// vec3_dot and mat4_mul, and the constructors vec3 and mat4_rot_x (results
// of a type none of their arguments has), each run in a Lua loop of 1000 calls;
// then one object's matrix work from the scene benchmark, against the least
// such work can cost in LuaJIT (ns_per_call is per object there).
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "script/Script_Instance.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const int CALLS = 1000;

class Bench_Script : public Script_Instance {
public:
    void registerFunctions() override {}
};

lua_State* state() {
    static Bench_Script* script = nullptr;
    if (!script) {
        core::EngineGlobals* g = new core::EngineGlobals();
        core::setEngineGlobals(g);
        g->log = new core::DebugLog();
        MemoryManagerConfig mc;
        g->memoryManager = new MemoryManager(mc);
        script = new Bench_Script();
        Script_Instance::createState(script->getHolder());
    }
    return script->getState();
}

// Compiles `body` (run CALLS times with a, b, m, n in scope) into a function
// kept in the registry under `key`.
void prepare(lua_State* L, const char* key, const char* body) {
    std::string code = std::string("local a, b = vec3(1, 2, 3), vec3(4, 5, 6)\n"
                                   "local m, n = mat4_rot_x(0.5), mat4_translation(vec3(1, 2, 3))\n"
                                   "return function() local r\n for i = 1, ") +
                       std::to_string(CALLS) + " do " + body + " end\n return r end";
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
        fprintf(stderr, "%s\n", lua_tostring(L, -1));
        abort();
    }
    lua_setfield(L, LUA_REGISTRYINDEX, key);
}

void runLoop(benchmark::State& st, const char* key, const char* body) {
    lua_State* L = state();
    prepare(L, key, body);
    for (auto _ : st) {
        lua_getfield(L, LUA_REGISTRYINDEX, key);
        if (lua_pcall(L, 0, 1, 0) != 0) {
            st.SkipWithError(lua_tostring(L, -1));
            break;
        }
        lua_pop(L, 1);
    }
    st.counters["ns_per_call"] =
        benchmark::Counter((double)st.iterations() * CALLS, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_vec3_add(benchmark::State& st) { runLoop(st, "bench.add", "r = vec3_add(a, b)"); }
void BM_vec3_plus_operator(benchmark::State& st) { runLoop(st, "bench.plus", "r = a + b"); }
void BM_vec3_dot(benchmark::State& st) { runLoop(st, "bench.dot", "r = vec3_dot(a, b)"); }
void BM_mat4_mul(benchmark::State& st) { runLoop(st, "bench.mul", "r = mat4_mul(m, n)"); }
void BM_vec3_new(benchmark::State& st) { runLoop(st, "bench.new", "r = vec3(i, 2, 3)"); }
void BM_mat4_rot_x(benchmark::State& st) { runLoop(st, "bench.rot", "r = mat4_rot_x(i)"); }
void BM_empty_loop(benchmark::State& st) { runLoop(st, "bench.empty", "r = i"); }

// The per-object work of the scene benchmark's cases (a) and (a0), without
// the draw call: a vec3 and three matrices made, two products taken, the
// result handed to a C function.
const char* const OBJECT_MATH =
    "local p = vec3((i % 40) - 20, math.floor(i / 40) - 12, -(i % 7)) "
    "r = sink(mat4_translation(p) * mat4_rot_x(0.5 + i) * mat4_rot_y(0.25 + i))";

// The least any script math of this shape costs in LuaJIT: the same calls to
// C functions that only make a 68-byte userdata (a matrix's size) with a
// metatable from an upvalue and compute nothing, with * as a metamethod that
// does the same. Our math's distance from it is what checking, computing and
// the registered metatable cost.
int floorNew(lua_State* L) {
    lua_newuserdata(L, 68);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_setmetatable(L, -2);
    return 1;
}
int sink(lua_State*) { return 0; }

void registerFloor(lua_State* L) {
    lua_pushcfunction(L, sink);
    lua_setglobal(L, "sink");
    lua_newtable(L); // the floor's metatable, __mul making another block
    lua_pushvalue(L, -1);
    lua_pushcclosure(L, floorNew, 1);
    lua_setfield(L, -2, "__mul");
    lua_pushcclosure(L, floorNew, 1);
    lua_setglobal(L, "floor_new");
}

void BM_object_math(benchmark::State& st) {
    registerFloor(state());
    runLoop(st, "bench.object", OBJECT_MATH);
}
void BM_object_floor(benchmark::State& st) {
    registerFloor(state());
    runLoop(st, "bench.floor",
            "local p = floor_new((i % 40) - 20, math.floor(i / 40) - 12, -(i % 7)) "
            "r = sink(floor_new(p) * floor_new(0.5 + i) * floor_new(0.25 + i))");
}

BENCHMARK(BM_vec3_add);
BENCHMARK(BM_vec3_plus_operator);
BENCHMARK(BM_vec3_dot);
BENCHMARK(BM_mat4_mul);
BENCHMARK(BM_vec3_new);
BENCHMARK(BM_mat4_rot_x);
BENCHMARK(BM_empty_loop);
BENCHMARK(BM_object_math);
BENCHMARK(BM_object_floor);

} // namespace

BENCHMARK_MAIN();
