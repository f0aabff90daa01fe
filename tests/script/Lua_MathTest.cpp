// Script math through real LuaJIT: every function, the operators and method
// lookup, the string forms, and wrong arguments as script errors.
#include "ScriptTestSupport.h"
#include <gtest/gtest.h>

using testsupport::PlainScript;
using testsupport::runLua;

namespace {

class LuaMathTest : public ::testing::Test {
protected:
    void SetUp() override {
        Script_Instance::createState(script.getHolder());
        L = script.getState();
        ASSERT_EQ("", runLua(L, R"(
            function near(a, b) return math.abs(a - b) < 1e-5 end
            function is3(v, x, y, z) return near(v[1], x) and near(v[2], y) and near(v[3], z) end
            function is4(v, x, y, z, w) return is3(v, x, y, z) and near(v[4], w) end
        )"));
    }
    testsupport::EngineCore core;
    PlainScript script;
    lua_State* L = nullptr;
};

TEST_F(LuaMathTest, Vector3FunctionsOperatorsAndMethods) {
    EXPECT_EQ("", runLua(L, R"(
        local a, b = vec3(1, 2, 3), vec3(4, 5, 6)
        assert(is3(vec3(), 0, 0, 0) and is3(vec3(7), 7, 0, 0) and is3(vec3(7, 8), 7, 8, 0))
        assert(vec3_x(a) == 1 and vec3_y(a) == 2 and vec3_z(a) == 3)
        assert(is3(vec3_add(a, b), 5, 7, 9) and is3(a + b, 5, 7, 9))
        assert(is3(vec3_sub(b, a), 3, 3, 3) and is3(b - a, 3, 3, 3))
        assert(is3(vec3_neg(a), -1, -2, -3) and is3(-a, -1, -2, -3))
        assert(is3(vec3_scale(a, 2), 2, 4, 6) and is3(vec3_scale(2, a), 2, 4, 6))
        assert(is3(2 * a, 2, 4, 6) and is3(a * 2, 2, 4, 6))
        assert(vec3_dot(a, b) == 32)
        assert(is3(vec3_cross(vec3(1, 0, 0), vec3(0, 1, 0)), 0, 0, 1))
        assert(vec3_norm(vec3(3, 4, 0)) == 25 and vec3_len(vec3(3, 4, 0)) == 5)
        assert(is3(vec3_unit(vec3(0, 0, 2)), 0, 0, 1))
        assert(is3(vec3_lerp(a, b, 0.5), 2.5, 3.5, 4.5))
        assert(near(vec3_distance(a, b), math.sqrt(27)))
        -- results are new values; arguments stay
        local c = a + b
        assert(c ~= a and is3(a, 1, 2, 3))
        -- methods are the global functions themselves
        assert(a.len == vec3_len and a.x == vec3_x)
        assert(a:x() == 1 and a:y() == 2 and a:z() == 3 and near(a:len(), math.sqrt(14)))
        assert(a:dot(b) == 32 and a:norm() == 14 and is3(a:cross(b), -3, 6, -3))
        assert(is3(vec3(0, 3, 0):unit(), 0, 1, 0) and is3(a:lerp(b, 1), 4, 5, 6))
        assert(near(a:distance(b), math.sqrt(27)))
        assert(tostring(vec3(1, 2, 3)) == '[1, 2, 3]', tostring(vec3(1, 2, 3)))
        assert(tostring(vec3(0.5, -2, 0)) == '[0.5, -2, 0]')
    )"));
}

TEST_F(LuaMathTest, Vector4FunctionsOperatorsAndMethods) {
    EXPECT_EQ("", runLua(L, R"(
        local a, b = vec4(1, 2, 3, 4), vec4(5, 6, 7, 8)
        assert(is4(vec4(1, 2, 3), 1, 2, 3, 0) and is4(vec4(), 0, 0, 0, 0))
        assert(is4(vec4_from_vec3(vec3(1, 2, 3), 9), 1, 2, 3, 9))
        assert(vec4_x(a) == 1 and vec4_y(a) == 2 and vec4_z(a) == 3 and vec4_w(a) == 4)
        assert(is3(vec4_xyz(a), 1, 2, 3) and getmetatable(vec4_xyz(a)) == getmetatable(vec3()))
        assert(is4(vec4_add(a, b), 6, 8, 10, 12) and is4(a + b, 6, 8, 10, 12))
        assert(is4(vec4_sub(b, a), 4, 4, 4, 4) and is4(b - a, 4, 4, 4, 4))
        assert(is4(vec4_neg(a), -1, -2, -3, -4) and is4(-a, -1, -2, -3, -4))
        assert(is4(vec4_scale(a, 0.5), 0.5, 1, 1.5, 2) and is4(3 * a, 3, 6, 9, 12) and is4(a * 3, 3, 6, 9, 12))
        assert(vec4_dot(a, b) == 70 and vec4_norm(a) == 30 and near(vec4_len(a), math.sqrt(30)))
        assert(is4(vec4_unit(vec4(0, 0, 0, 2)), 0, 0, 0, 1))
        assert(is4(vec4_lerp(a, b, 0.25), 2, 3, 4, 5))
        assert(vec4_distance(a, b) == 8)
        assert(a:w() == 4 and is3(a:xyz(), 1, 2, 3) and a:dot(b) == 70 and a:norm() == 30)
        assert(near(a:len(), math.sqrt(30)) and is4(a:unit(), 1 / math.sqrt(30), 2 / math.sqrt(30), 3 / math.sqrt(30), 4 / math.sqrt(30)))
        assert(is4(a:lerp(b, 0), 1, 2, 3, 4) and a:distance(b) == 8)
        assert(tostring(vec4(1, 2, 3)) == '[1, 2, 3, 0]')
    )"));
}

TEST_F(LuaMathTest, MatrixFunctions) {
    EXPECT_EQ("", runLua(L, R"(
        local I = mat4_idn()
        assert(is4(I[4], 0, 0, 0, 1) and is4(I[1], 1, 0, 0, 0))
        local M = mat4_build(vec4(1, 2, 3, 4), vec4(5, 6, 7, 8), vec4(9, 10, 11, 12), vec4(13, 14, 15, 16))
        assert(is4(mat4_get_col(M, 2), 5, 6, 7, 8) and is4(M[3], 9, 10, 11, 12))
        assert(is3(mat4_get_x_axis(M), 1, 2, 3) and is3(mat4_get_y_axis(M), 5, 6, 7))
        assert(is3(mat4_get_z_axis(M), 9, 10, 11) and is3(mat4_get_trn(M), 13, 14, 15))
        assert(is4(mat4_transpose(M)[1], 1, 5, 9, 13))
        local T = mat4_translation(vec3(1, 2, 3))
        assert(is3(mat4_get_trn(T), 1, 2, 3))
        assert(is3(mat4_get_trn(mat4_mul(T, T)), 2, 4, 6) and is3(mat4_get_trn(T * T), 2, 4, 6))
        assert(is3(mat4_get_trn(mat4_inv(T)), -1, -2, -3) and is3(mat4_get_trn(T:inv()), -1, -2, -3))
        assert(T.inv == mat4_inv)
        assert(near(mat4_det(mat4_scale(2)), 8) and near(mat4_det(T), 1))
        -- S * T applies T first: the translation is scaled
        assert(is3(mat4_get_trn(mat4_scale(2) * T), 2, 4, 6))
        local h = math.pi / 2
        assert(is3(mat4_get_y_axis(mat4_rot_x(h)), 0, 0, 1))
        assert(is3(mat4_get_z_axis(mat4_rot_y(h)), 1, 0, 0))
        assert(is3(mat4_get_x_axis(mat4_rot_z(h)), 0, 1, 0))
        -- X first, then Y: the x axis turns about Y to -Z
        assert(is3(mat4_get_x_axis(mat4_rot_xyz(h, h, 0)), 0, 0, -1))
        assert(is3(mat4_get_y_axis(mat4_rot_xyz(h, 0, 0)), 0, 0, 1))
        assert(is3(mat4_get_x_axis(mat4_axis_angle(vec3(0, 0, 5), h)), 0, 1, 0))
        assert(is3(mat4_get_trn(mat4_look_at(vec3(0, 0, 5), vec3(0, 0, 0), vec3(0, 1, 0))), 0, 0, -5))
        assert(is3(mat4_get_trn(mat4_target_at(vec3(0, 0, 5), vec3(0, 0, 0), vec3(0, 1, 0))), 0, 0, 5))
        local P, Q = mat4_proj_fov(1, 1, 1, 10), mat4_proj_fov_lh(1, 1, 1, 10)
        assert(P[3][4] == -1 and Q[3][4] == 1 and near(P[3][3], 10 / (1 - 10)) and near(Q[3][3], 10 / 9))
        local O, R = mat4_proj_ortho(2, 4, 1, 3), mat4_proj_ortho_lh(2, 4, 1, 3)
        assert(near(O[1][1], 1) and near(O[2][2], 0.5) and near(O[3][3], -0.5) and near(R[3][3], 0.5) and O[4][4] == 1)
        local s = tostring(T)
        assert(s:sub(1, 15) == '[[1, 0, 0, 0], ', s)
        assert(s:sub(-13) == '[1, 2, 3, 1]]', s)
    )"));
}

// Every call answers exactly one value of its result's type.
TEST_F(LuaMathTest, EveryResultIsOneValueOfItsType) {
    EXPECT_EQ("", runLua(L, R"(
        local ffi = require('ffi')
        a, b, c, d = vec3(1, 2, 3), vec3(4, 5, 6), vec4(1, 2, 3, 4), vec4(5, 6, 7, 8)
        m, n = mat4_rot_x(0.5), mat4_translation(a)
        local cases = {
            {vec3(), 'vec3_add(a, b)', 'vec3_sub(a, b)', 'vec3_neg(a)', 'vec3_scale(a, 2)', 'vec3_scale(2, a)',
             'vec3_cross(a, b)', 'vec3_unit(a)', 'vec3_lerp(a, b, 0.5)', 'a + b', 'a - b', '-a', '2 * a', 'a * 2',
             'vec4_xyz(c)', 'mat4_get_trn(m)'},
            {vec4(), 'vec4_add(c, d)', 'vec4_sub(c, d)', 'vec4_neg(c)', 'vec4_scale(c, 2)', 'vec4_unit(c)',
             'vec4_lerp(c, d, 0.5)', 'c + d', '-c', '3 * c', 'vec4_from_vec3(a, 1)', 'm[2]', 'mat4_get_col(m, 4)'},
            {mat4_idn(), 'mat4_mul(m, n)', 'm * n', 'mat4_inv(n)', 'mat4_transpose(m)', 'n:inv()',
             'mat4_translation(b)', 'mat4_rot_y(1)', 'mat4_build(c, d, c, d)'},
        }
        assert(ffi.typeof(vec3()) ~= ffi.typeof(vec4()) and ffi.typeof(vec4()) ~= ffi.typeof(mat4_idn()))
        for _, case in ipairs(cases) do
            local T = ffi.typeof(case[1])
            for i = 2, #case do
                local f = assert(loadstring('return ' .. case[i]))
                assert(select('#', f()) == 1, case[i] .. ': one result')
                assert(ffi.istype(T, f()), case[i] .. ': type')
            end
        end
        -- Chained results keep working as arguments.
        local v = vec3()
        for i = 1, 1000 do v = v + a end
        assert(is3(v, 1000, 2000, 3000))
        local t = mat4_idn()
        for i = 1, 100 do t = t * mat4_translation(vec3(0.5, 0, 0)) end
        assert(is3(mat4_get_trn(t), 50, 0, 0))
    )"));
    EXPECT_EQ(0, lua_gettop(L));
}

TEST_F(LuaMathTest, WrongArgumentsAreScriptErrors) {
    struct Case {
        const char* code;
        const char* message;
    } cases[] = {
        {"vec3(1, 2, 3, 4)", "Expected 0 - 3 arguments!"},
        {"vec4(1, 2, 3, 4, 5)", "Expected 0 - 4 arguments!"},
        {"vec3_neg()", "Expected 1 - 1 arguments!"},
        {"mat4_idn(1)", "Expected 0 - 0 arguments!"},
        {"vec3('x')", "number expected"},
        {"mat4_proj_ortho(1, 2, 3)", "bad argument #4 to 'mat4_proj_ortho' (Expected 4 - 4 arguments!)"},
        {"mat4_proj_fov_lh(1, {}, 1, 10)", "bad argument #2 to 'mat4_proj_fov_lh' (number expected, got table)"},
        {"vec3_len(5)", "Expected a lua user data!"},
        {"vec3_len(vec4())", "Lua user data is of wrong type!"},
        {"mat4_from_quat(vec4(0, 0, 0, 1))", "Lua user data is of wrong type!"},
        {"local x = vec3(1, 0, 0) * vec3(0, 1, 0)", "number expected"},
        {"local x = mat4_idn() * vec4()", "Lua user data is of wrong type!"},
        {"local x = vec3() + 1", "Expected a lua user data!"},
        {"local x = vec3()[0]", "idx >= 1 && idx <= 3"},
        {"local x = vec4()[5]", "idx >= 1 && idx <= 4"},
        {"local x = mat4_idn()[5]", "idx >= 1 && idx <= 4"},
        {"mat4_get_col(mat4_idn(), 0)", "col >= 1 && col <= 4"},
        {"local x = vec3().foo", "Vec3 function 'foo' not found!"},
        {"local x = vec3().Len", "Vec3 function 'Len' not found!"},
        {"local x = vec4().cross", "Vec4 function 'cross' not found!"},
        {"local x = mat4_idn().x", "Mat4 function 'x' not found!"},
        {"local x = vec3()[{}]", "string expected"},
    };
    for (const Case& c : cases) {
        std::string err = runLua(L, c.code);
        EXPECT_NE(std::string::npos, err.find(c.message)) << c.code << " -> " << err;
    }
    // The state goes on working after the errors.
    EXPECT_EQ("", runLua(L, "assert(vec3_len(vec3(0, 3, 4)) == 5)"));
    EXPECT_EQ(0, lua_gettop(L));
}

} // namespace
