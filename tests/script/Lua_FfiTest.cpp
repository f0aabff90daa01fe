// What binding math values and frame commands through LuaJIT's FFI adds:
// foreign cdata refused, the engine's float math bit for bit with the
// compiler on and off, values that outlive their loops, engine failures.
#include "ScriptTestSupport.h"
#include "slm/slm.h"
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace testsupport;

namespace {

class LuaFfiTest : public LuaTest {};

template <typename T> bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST_F(LuaFfiTest, ForeignCdataAndLookalikeStructsAreWrongTypes) {
    StderrCapture quiet;
    ASSERT_EQ("", runLua(L, R"lua(
        local ffi = require('ffi')
        foreign = {
            ffi.new('struct { float a, b, c; }', 1, 2, 3),      -- a vec3's size and layout
            ffi.new('struct { float m[16]; }'),                 -- a matrix's
            ffi.new('float[4]', 1, 2, 3, 4),
            ffi.new('pelloran_vec3[1]') + 0,                    -- a pointer to our type
            ffi.new('int64_t', 7),
        }
        local calls = {'vec3_len(v)', 'vec4_x(v)', 'mat4_inv(v)', 'local x = mat4_idn() * v',
                       'render_line(v, v, 1)', "render_text('x', v)", 'mesh_builder_transform(b, v)',
                       'mesh_test_sphere(mesh_create(), v, 1)', 'mat4_translation(v)'}
        for _, v in ipairs(foreign) do
            for _, call in ipairs(calls) do
                local ok, e = pcall(assert(loadstring('local v, b = ... ' .. call)), v, mesh_builder_create())
                assert(not ok and e:find('Lua user data is of wrong type!'), call .. ': ' .. tostring(e))
            end
        end
        -- A reference to one of our values is that value.
        local a = ffi.new('pelloran_vec3[1]', {{3, 4, 0}})
        assert(vec3_len(a[0]) == 5 and vec3_x(a[0] + a[0]) == 6)
    )lua"));
    lua_getglobal(L, "foreign");
    for (int f = 1; f <= 5; ++f) {
        lua_rawgeti(L, -1, f);
        float value[16];
        EXPECT_EQ(-1, luaReadValue(L, -1, value)) << f;
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
}

// Every operation computed in Lua rounds as the engine's float code does:
// the same inputs give the same bits as slm, compiled or interpreted.
TEST_F(LuaFfiTest, ResultsAreTheEngineMathsBitForBitWithTheCompilerOnAndOff) {
    const int N = 300; // enough iterations for the loops to be compiled
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<float> any(-3.0f, 3.0f);
    std::vector<float> in(N * 20);
    lua_createtable(L, (int)in.size(), 0);
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = any(rng);
        lua_pushnumber(L, in[i]);
        lua_rawseti(L, -2, (int)i + 1);
    }
    lua_setglobal(L, "IN");
    const char* compute = R"(
        out = {}
        for i = 0, %d - 1 do
            local k = i * 20
            local function at(j) return IN[k + j + 1] end
            local a, b = vec3(at(0), at(1), at(2)), vec3(at(3), at(4), at(5))
            local p, q = vec4(at(6), at(7), at(8), at(9)), vec4(at(10), at(11), at(12), at(13))
            local m = mat4_rot_xyz(at(14), at(15), at(16)) * mat4_translation(a) * mat4_scale(at(17))
            out[i + 1] = {m * mat4_build(p, q, p, q), m:inv(), a:cross(b), a:unit(), a:lerp(b, at(18)),
                          2.5 * a - b, p:unit(), p:lerp(q, at(19)), -(q * at(18)),
                          a:dot(b), a:len(), a:distance(b), p:dot(q), p:distance(q), mat4_det(m)}
        end
    )";
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            ASSERT_EQ("", runLua(L, "jit.off() jit.flush()"));
        }
        char code[2048];
        std::snprintf(code, sizeof code, compute, N);
        ASSERT_EQ("", runLua(L, code));
        lua_getglobal(L, "out");
        for (int i = 0; i < N && !HasFailure(); ++i) {
            const float* x = &in[i * 20];
            slm::vec3 a(x[0], x[1], x[2]), b(x[3], x[4], x[5]);
            slm::vec4 p(x[6], x[7], x[8], x[9]), q(x[10], x[11], x[12], x[13]);
            slm::mat4 m = slm::rotation_z(x[16]) * slm::rotation_y(x[15]) * slm::rotation_x(x[14]) *
                          slm::translation(a) * slm::scale(x[17]);
            slm::mat4 mats[2] = {m * slm::from_columns(p, q, p, q), slm::inverse(m)};
            slm::vec3 vec3s[4] = {slm::cross(a, b), slm::unit(a), slm::lerp(a, b, x[18]), a * 2.5f - b};
            slm::vec4 vec4s[3] = {slm::unit(p), slm::lerp(p, q, x[19]), -(q * x[18])};
            float numbers[6] = {slm::dot(a, b), slm::length(a),      slm::distance(a, b),
                                slm::dot(p, q), slm::distance(p, q), slm::determinant(m)};
            lua_rawgeti(L, -1, i + 1);
            for (int slot = 0; slot < 15; ++slot) {
                lua_rawgeti(L, -1, slot + 1);
                bool same = slot < 2   ? sameBits(luaCheckMatrix(L, -1), mats[slot])
                            : slot < 6 ? sameBits(luaCheckVector3(L, -1), vec3s[slot - 2])
                            : slot < 9 ? sameBits(luaCheckVector4(L, -1), vec4s[slot - 6])
                                       : lua_tonumber(L, -1) == (double)numbers[slot - 9];
                EXPECT_TRUE(same) << "round " << round << " item " << i << " slot " << slot;
                lua_pop(L, 1);
            }
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
    }
}

// Values that leave a compiled loop (where they never lived in the heap), are
// kept in tables across frames and collections, or come from C stay whole.
TEST_F(LuaFfiTest, ValuesOutliveTheirFrameAndTheLoopsThatMadeThem) {
    luaPushMatrix(L, slm::translation(slm::vec3(1, 2, 3)));
    lua_setglobal(L, "fromC");
    EXPECT_EQ("", runLua(L, R"(
        kept = {}
        function frame(n)
            local v, m = vec3(0, 0, 0), mat4_idn()
            for i = 1, 200 do
                v = v + vec3(1, 2, 3)
                m = m * mat4_translation(vec3(0.5, 0, 0))
            end
            kept[n] = {v, m, vec4_from_vec3(v, n)}
            collectgarbage()
        end
        for n = 1, 30 do frame(n) end
        collectgarbage() collectgarbage()
        for n = 1, 30 do
            local v, m, w = kept[n][1], kept[n][2], kept[n][3]
            assert(v[1] == 200 and v[2] == 400 and v[3] == 600, tostring(v))
            assert(m[4][1] == 100 and m[4][4] == 1, tostring(m))
            assert(w[4] == n)
        end
        assert(tostring(mat4_get_trn(fromC * fromC)) == '[2, 4, 6]')
    )"));
}

// Without a renderer every frame command fails inside its entry point: the
// engine's message comes back as a script error at the caller's line, and
// the state goes on.
TEST_F(LuaFfiTest, EngineFailuresInsideFfiCallsAreScriptErrors) {
    ASSERT_EQ("", runLua(L, "cam = camera_create() m = mat4_idn()"));
    const char* calls[] = {"render_set_camera(cam, m)", "render_line(vec3(), vec3(), 0xFF00FF00)",
                           "render_text('hello', m)", "render_set_shader(nil)"};
    for (const char* call : calls)
        EXPECT_EQ("test:1: No renderer: the engine has no current Graphics3D", runLua(L, call)) << call;
    // An empty mesh draws nothing before the renderer is needed.
    EXPECT_EQ("", runLua(L, "render_mesh(mesh_create(), m, appearance_create())"));
}

} // namespace
