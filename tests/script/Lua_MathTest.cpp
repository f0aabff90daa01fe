// Script math through real LuaJIT: the functions, the operators and method
// lookup, the string forms, and wrong arguments as script errors. (That the
// arithmetic gives the engine's own float math bit for bit is the FFI test's.)
#include "ScriptTestSupport.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class LuaMathTest : public LuaTest {};

// Each row is an expected value and the expressions that must give it: one
// result each, of the expected value's type, equal to it within 1e-5.
TEST_F(LuaMathTest, FunctionsOperatorsAndMethods) {
    EXPECT_EQ("", runLua(L, R"(
        local ffi = require('ffi')
        a, b, p, q = vec3(1, 2, 3), vec3(4, 5, 6), vec4(1, 2, 3, 4), vec4(5, 6, 7, 8)
        T, M = mat4_translation(a), mat4_build(p, q, vec4(9, 10, 11, 12), vec4(13, 14, 15, 16))
        O, R = mat4_proj_ortho(2, 4, 1, 3), mat4_proj_ortho_lh(2, 4, 1, 3)
        h, Y, E = math.pi / 2, vec3(0, 1, 0), vec3(0, 0, 5)
        local rows = {
            {'vec3(0, 0, 0)', 'vec3()'},
            {'vec3(7, 8, 0)', 'vec3(7, 8)'},
            {'vec3(5, 7, 9)', 'vec3_add(a, b)', 'a + b'},
            {'vec3(3, 3, 3)', 'vec3_sub(b, a)', 'b - a'},
            {'vec3(-1, -2, -3)', 'vec3_neg(a)', '-a'},
            {'vec3(2, 4, 6)', 'vec3_scale(a, 2)', 'vec3_scale(2, a)', '2 * a', 'a * 2'},
            {'14', 'vec3_norm(a)', 'a:norm()'},
            {'5', 'vec3_len(vec3(3, 4, 0))', 'vec3(3, 4, 0):len()', 'vec4_len(vec4(0, 0, 3, 4))'},
            {'1', 'vec3_x(a)', 'a:x()', 'vec4_x(p)', 'p:x()', 'O[4][4]'},
            {'2', 'vec3_y(a)', 'a:y()', 'vec4_y(p)'},
            {'3', 'vec3_z(a)', 'a:z()', 'vec4_z(p)'},
            {'4', 'vec4_w(p)', 'p:w()'},
            {'vec4(1, 2, 3, 0)', 'vec4(1, 2, 3)'},
            {'vec4(1, 2, 3, 9)', 'vec4_from_vec3(a, 9)'},
            {'vec3(1, 2, 3)', 'vec4_xyz(p)', 'p:xyz()', 'mat4_get_trn(T)', 'mat4_get_x_axis(M)'},
            {'vec4(6, 8, 10, 12)', 'vec4_add(p, q)', 'p + q'},
            {'vec4(4, 4, 4, 4)', 'vec4_sub(q, p)', 'q - p'},
            {'vec4(-1, -2, -3, -4)', 'vec4_neg(p)', '-p'},
            {'vec4(3, 6, 9, 12)', 'vec4_scale(p, 3)', '3 * p', 'p * 3'},
            {'30', 'vec4_norm(p)', 'p:norm()'},
            {'8', 'vec4_distance(p, q)', 'mat4_det(mat4_scale(2))'},
            {'vec4(1, 0, 0, 0)', 'mat4_idn()[1]', 'O[1]'},
            {'vec4(5, 6, 7, 8)', 'mat4_get_col(M, 2)', 'M[2]'},
            {'vec4(1, 5, 9, 13)', 'mat4_transpose(M)[1]'},
            {'vec3(5, 6, 7)', 'mat4_get_y_axis(M)'},
            {'vec3(9, 10, 11)', 'mat4_get_z_axis(M)'},
            {'vec3(13, 14, 15)', 'mat4_get_trn(M)'},
            {'mat4_translation(vec3(2, 4, 6))', 'mat4_mul(T, T)', 'T * T'},
            -- S * T applies T first: the translation is scaled
            {'vec3(2, 4, 6)', 'mat4_get_trn(mat4_scale(2) * T)'},
            {'vec3(0, 0, 1)', 'mat4_get_y_axis(mat4_rot_x(h))', 'mat4_get_y_axis(mat4_rot_xyz(h, 0, 0))'},
            {'vec3(1, 0, 0)', 'mat4_get_z_axis(mat4_rot_y(h))'},
            {'vec3(0, 1, 0)', 'mat4_get_x_axis(mat4_rot_z(h))', 'mat4_get_x_axis(mat4_axis_angle(E, h))'},
            -- X first, then Y: the x axis turns about Y to -Z
            {'vec3(0, 0, -1)', 'mat4_get_x_axis(mat4_rot_xyz(h, h, 0))'},
            {'vec3(0, 0, -5)', 'mat4_get_trn(mat4_look_at(E, vec3(), Y))'},
            {'vec3(0, 0, 5)', 'mat4_get_trn(mat4_target_at(E, vec3(), Y))'},
            {'vec4(0, 0, 10 / -9, -1)', 'mat4_proj_fov(1, 1, 1, 10)[3]'},
            {'vec4(0, 0, 10 / 9, 1)', 'mat4_proj_fov_lh(1, 1, 1, 10)[3]'},
            {'0.5', 'O[2][2]', 'R[3][3]'},
            {'-0.5', 'O[3][3]'},
            -- results are new values: the arguments stay as they were
            {'vec3(1, 2, 3)', 'a'},
            {'vec4(1, 2, 3, 4)', 'p'},
        }
        local function numbers(v)
            local list = {}
            for n in tostring(v):gmatch('[^%[%], ]+') do list[#list + 1] = tonumber(n) end
            return list
        end
        local function kind(v) return type(v) == 'cdata' and tostring(ffi.typeof(v)) or type(v) end
        for _, row in ipairs(rows) do
            local want = assert(loadstring('return ' .. row[1]))()
            for i = 2, #row do
                local f = assert(loadstring('return ' .. row[i]))
                assert(select('#', f()) == 1, row[i] .. ': one result')
                local got = f()
                assert(kind(got) == kind(want), row[i] .. ': a ' .. kind(got))
                local x, y = numbers(got), numbers(want)
                assert(#x == #y, row[i])
                for k = 1, #x do
                    assert(math.abs(x[k] - y[k]) < 1e-5, row[i] .. ' gave ' .. tostring(got))
                end
            end
        end
        -- Methods are the global functions themselves.
        for name in ('x y z len norm dot cross unit lerp distance'):gmatch('%a+') do
            local v4 = _G['vec4_' .. name]
            assert(a[name] == _G['vec3_' .. name] and (not v4 or p[name] == v4), name)
        end
        assert(p.w == vec4_w and p.xyz == vec4_xyz and T.inv == mat4_inv)
        assert(tostring(vec3(0.5, -2, 0)) == '[0.5, -2, 0]' and tostring(vec4(1, 2, 3)) == '[1, 2, 3, 0]')
        assert(tostring(T) == '[[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [1, 2, 3, 1]]', tostring(T))
    )"));
}

TEST_F(LuaMathTest, WrongArgumentsAreScriptErrors) {
    expectErrors(
        L, {{"vec3(1, 2, 3, 4)", "Expected 0 - 3 arguments!"},
            {"vec3('x')", "number expected"},
            {"mat4_proj_ortho(1, 2, 3)", "bad argument #4 to 'mat4_proj_ortho' (Expected 4 - 4 arguments!)"},
            {"mat4_proj_fov_lh(1, {}, 1, 10)",
             "bad argument #2 to 'mat4_proj_fov_lh' (number expected, got table)"},
            {"vec3_len(5)", "Expected a lua user data!"},
            {"vec3_len(vec4())", "Lua user data is of wrong type!"},
            {"local x = vec3(1, 0, 0) * vec3(0, 1, 0)", "number expected"},
            {"local x = mat4_idn() * vec4()", "Lua user data is of wrong type!"},
            {"local x = vec3() + 1", "Expected a lua user data!"},
            {"local x = vec3()[0]", "idx >= 1 && idx <= 3"},
            {"local x = vec4()[5]", "idx >= 1 && idx <= 4"},
            {"local x = mat4_idn()[5]", "idx >= 1 && idx <= 4"},
            {"mat4_get_col(mat4_idn(), 0)", "col >= 1 && col <= 4"},
            {"local x = vec3().Len", "Vec3 function 'Len' not found!"},
            {"local x = vec4().cross", "Vec4 function 'cross' not found!"},
            {"local x = mat4_idn().x", "Mat4 function 'x' not found!"},
            {"local x = vec3()[{}]", "string expected"}});
}

} // namespace
