// Typed userdata, the exception boundary, and type checks across states that
// close and are made again, possibly at the same address.
#include "ScriptTestSupport.h"
#include "script/Lua_Library.h"
#include "slm/slm.h"
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <vector>

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

// What every state is asked: values of its own pass every check, foreign
// userdata and values of another type fail with the check's message.
const char* const CHECKS = R"(
local v, m = vec3(1, 2, 3), mat4_translation(vec3(4, 5, 6))
assert(vec3_x(vec3_add(v, v)) == 2 and vec3_z(mat4_get_trn(m * m)) == 12)
assert(require('ffi').typeof(v) ~= require('ffi').typeof(m))
-- The metatable all cdata share cannot be replaced, so the operators stay.
assert(not pcall(debug.setmetatable, v, nil) and not pcall(debug.setmetatable, m, {}))
local function refused(f, ...)
    local ok, e = pcall(f, ...)
    assert(not ok and e:find('Lua user data is of wrong type!'), e)
end
refused(vec3_x, m)
refused(vec3_x, io.stdout)
refused(mat4_mul, m, newproxy(true))
refused(mesh_builder_clear, v)
refused(mesh_get_radius, io.stdout)       -- another library's userdata
refused(mesh_get_radius, newproxy(true))  -- an empty userdata is never read
-- A builder holds engine state: a block carrying another metatable is refused.
local b = mesh_builder_create()
local bm = getmetatable(b)
debug.setmetatable(b, {})
refused(mesh_builder_clear, b)
debug.setmetatable(b, bm)
mesh_builder_clear(b)
-- A metatable taken from a value can be given to a table, which is no value.
local ok, e = pcall(vec3_x, setmetatable({}, debug.getregistry().META_Vector3))
assert(e:find('Expected a lua user data!'), e)
-- Handles are known by their metatable alone: no empty block or light userdata can be given one.
local MESH, p = debug.getregistry().META_Mesh, newproxy(false)
ok, e = pcall(debug.setmetatable, p, MESH)
assert(not ok and e:find('handle metatable'), e)
refused(render_mesh, p, mat4_idn(), p)
local light
for k in pairs(debug.getregistry()) do
    if type(k) == 'userdata' then light = k end
end
assert(light and not pcall(debug.setmetatable, light, MESH))
refused(render_mesh, light, mat4_idn(), light)
local mesh = mesh_create()
debug.setmetatable(mesh, nil)
assert(not pcall(render_mesh, mesh, mat4_idn(), mesh))
debug.setmetatable(mesh, MESH)
assert(mesh_get_radius(mesh) == 0)
b = nil
collectgarbage()
)";

TEST_F(LuaUtilTest, WrongUserdataAndEngineExceptionsBecomeScriptErrors) {
    StderrCapture cap;
    EXPECT_EQ("", runLua(L, CHECKS));
    EXPECT_EQ("test:1: Lua user data is of wrong type!", runLua(L, "mesh_get_radius(quat_create())"));
    // A block with the quaternion type that is shorter than a quaternion is never read.
    EXPECT_EQ("test:1: Lua user data is of wrong type!", runLua(L, "mat4_from_quat(quat_create())"));
    // Each kind of exception thrown inside the boundary, and the state goes on.
    EXPECT_EQ(runLua(L, "fail(1)"), "test:1: HAL: gamepad reading error");
    EXPECT_EQ(runLua(L, "fail(2)"), "test:1: index < 10");
    EXPECT_EQ(runLua(L, "fail(3)"), "test:1: standard failure");
    EXPECT_EQ(runLua(L, "fail(4)"), "test:1: String index out of bounds");
    EXPECT_EQ(runLua(L, "fail(5)"), "test:1: Unknown C++ exception");
    std::string out = cap.finish();
    EXPECT_NE(out.find("ASSERT FAILURE!\n ERROR  |Expr: data->type == type\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Expr: index < 10\n"), std::string::npos) << "the assertion is still logged";
}

class LuaTypeTablesTest : public ::testing::Test {
protected:
    std::unique_ptr<PlainScript> open() {
        std::unique_ptr<PlainScript> s(new PlainScript());
        Script_Instance::createState(s->getHolder());
        return s;
    }
    std::string check(PlainScript& s) { return runLua(s.getState(), CHECKS); }

    EngineCore core{64 * 1024 * 1024, 0xF};
    StderrCapture quiet; // the failed checks log assertions
};

// A reload closes the state and makes a new one, often at the same address: each gets its own
// types, and C reads and makes its values. Surplus states fall back to the lookup by name.
TEST_F(LuaTypeTablesTest, ClosedNewAndSurplusStatesCheckAsBefore) {
    std::vector<std::unique_ptr<PlainScript>> kept;
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<PlainScript> s = open();
        ASSERT_EQ(check(*s), "") << "round " << round;
        lua_State* L = s->getState();
        luaPushVector4(L, slm::vec4((float)round, 0, 0, 1));
        lua_setglobal(L, "made");
        ASSERT_EQ(runLua(L, "kept = vec4_xyz(made + made)"), "");
        lua_getglobal(L, "kept");
        EXPECT_EQ(2.0f * round, luaCheckVector3(L, -1).x);
        lua_pop(L, 1);
        if (round % 3 == 0)
            Script_Instance::closeState(s->getHolder()); // closed early or with the instance
        else if (round >= 6)
            kept.push_back(std::move(s));
    }
    // Closing the newest ones frees slots; the oldest ones still check right.
    kept.resize(4);
    for (int i = 0; i < 3; ++i)
        kept.push_back(open());
    for (auto& s : kept)
        EXPECT_EQ(check(*s), "");
    // A state closed behind the script host's back (its slot left behind), then a new one.
    lua_State* raw = luaL_newstate();
    luaL_openlibs(raw);
    ScriptState holder = {nullptr, raw};
    registerScriptLibrary(&holder);
    EXPECT_EQ(runLua(raw, CHECKS), "");
    lua_close(raw);
    std::unique_ptr<PlainScript> after = open();
    EXPECT_EQ(check(*after), "");
}

} // namespace
