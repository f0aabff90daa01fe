// The binding conventions: typed userdata and the exception boundary,
// exercised by the engine's families and two test functions run from Lua.
// (Argument counts are checked with each family, bound functions with the
// application's mouse_read, and handles letting go of their objects with the
// scene, appearance and texture handles.)
#include "ScriptTestSupport.h"
#include <gtest/gtest.h>
#include <stdexcept>

using namespace testsupport;

namespace {

struct Lua_Value {
    int32_t type;
    float x;
};

// A record of the quaternion type, shorter than a quaternion.
int quat_create(lua_State* L) {
    static_cast<Lua_Value*>(luaNewUserDataOfType(L, SCRIPT_TYPE_QUATERNION, sizeof(Lua_Value)))->x = 1.0f;
    return 1;
}

// fail(n) throws the n-th kind of failure inside the exception boundary.
int fail(lua_State* L) {
    int kind = (int)luaL_checkinteger(L, 1), index = 12;
    luaGuard(L, [&] {
        if (kind == 1) throw HAL::HALException("UNKNOWN", "UNKNOWN", 0, "HAL: gamepad reading error");
        if (kind == 2) M3D_ASSERT(index < 10);
        if (kind == 3) throw std::runtime_error("standard failure");
        if (kind == 4) throw new core::StringIndexOutOfBoundsException();
        throw 42;
    });
    return 0;
}

class LuaUtilTest : public LuaTest {
protected:
    void SetUp() override {
        LuaTest::SetUp();
        lua_register(L, "quat_create", quat_create);
        lua_register(L, "fail", fail);
    }
};

TEST_F(LuaUtilTest, UserdataTypesAreCheckedAsScriptErrors) {
    const std::string WRONG = "test:1: Lua user data is of wrong type!";
    struct Case {
        const char* code;
        std::string expected;
    } cases[] = {
        {"assert(mesh_get_radius(mesh_create()) == 0)", ""},
        {"mesh_get_radius(quat_create())", WRONG},
        {"mesh_get_radius(12)", "test:1: Expected a lua user data!"},
        {"mesh_get_radius(io.stdout)", WRONG},      // another library's userdata
        {"mesh_get_radius(newproxy(true))", WRONG}, // an empty userdata is never read
        {"mat4_from_quat(quat_create())", WRONG},   // shorter than a quaternion record
        // The frame commands know a handle by its metatable alone, so no block
        // but a genuine handle can be given one: not an empty block, not a
        // light userdata.
        {"local p, MESH = newproxy(false), debug.getregistry().META_Mesh "
         "local ok, e = pcall(debug.setmetatable, p, MESH) "
         "assert(not ok and e:find('handle metatable'), e) "
         "render_mesh(p, mat4_idn(), p)",
         WRONG},
        {"local light for k in pairs(debug.getregistry()) do "
         "  if type(k) == 'userdata' then light = k end end "
         "assert(light, 'a light userdata key in the registry') "
         "local MESH = debug.getregistry().META_Mesh "
         "assert(not pcall(debug.setmetatable, light, MESH)) "
         "local ok, e = pcall(render_mesh, light, mat4_idn(), light) "
         "assert(not ok and e:find('Lua user data is of wrong type!'), e) "
         "local m = mesh_create() debug.setmetatable(m, nil) "
         "assert(not pcall(render_mesh, m, mat4_idn(), m)) "
         "debug.setmetatable(m, MESH) assert(mesh_get_radius(m) == 0)",
         ""},
    };
    StderrCapture cap;
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, runLua(L, c.code)) << c.code;
    std::string out = cap.finish();
    EXPECT_NE(out.find("ASSERT FAILURE!\n ERROR  |Expr: data->type == type\n"), std::string::npos) << out;
}

TEST_F(LuaUtilTest, EngineExceptionsBecomeLuaErrorsAndTheStateGoesOn) {
    StderrCapture cap;
    EXPECT_EQ(runLua(L, "fail(1)"), "test:1: HAL: gamepad reading error");
    EXPECT_EQ(runLua(L, "fail(2)"), "test:1: index < 10");
    EXPECT_EQ(runLua(L, "fail(3)"), "test:1: standard failure");
    EXPECT_EQ(runLua(L, "fail(4)"), "test:1: String index out of bounds");
    EXPECT_EQ(runLua(L, "fail(5)"), "test:1: Unknown C++ exception");
    std::string out = cap.finish();
    EXPECT_NE(out.find("Expr: index < 10\n"), std::string::npos) << "the assertion is still logged";
    EXPECT_EQ(runLua(L, "x = 1 + 1 assert(x == 2)"), "");
}

} // namespace
