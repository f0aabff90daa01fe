// Type checks of script userdata with several Lua states: each state's
// metatables are remembered by address, so the checks must stay right when
// states live side by side, close and are created again (possibly at the same
// address), and when there are more states than remembered slots.
#include "ScriptTestSupport.h"
#include "script/Lua_Library.h"
#include "slm/slm.h"
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace testsupport;

namespace {

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
b = nil
collectgarbage()
)";

class LuaTypeTablesTest : public ::testing::Test {
protected:
    std::unique_ptr<PlainScript> open() {
        std::unique_ptr<PlainScript> s(new PlainScript());
        Script_Instance::createState(s->getHolder());
        return s;
    }
    std::string check(PlainScript& s) { return runLua(s.getState(), CHECKS); }

    WorkDir dir;
    EngineCore core{64 * 1024 * 1024, 0xF};
    RootMount mount;
    StderrCapture quiet; // the failed checks log assertions
};

// A reload closes the state and makes a new one, often at the same address:
// each gets its own declarations and types, and C reads and makes its values.
TEST_F(LuaTypeTablesTest, ClosedAndNewStatesCheckAsBefore) {
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
        if (round % 3 == 0) Script_Instance::closeState(s->getHolder()); // closed early or with the instance
    }
    // A state closed behind the script host's back (its slot is left behind)
    // and a new one after it.
    lua_State* raw = luaL_newstate();
    luaL_openlibs(raw);
    ScriptState holder = {nullptr, raw};
    registerScriptLibrary(&holder);
    EXPECT_EQ(runLua(raw, CHECKS), "");
    lua_close(raw);
    std::unique_ptr<PlainScript> after = open();
    EXPECT_EQ(check(*after), "");
}

TEST_F(LuaTypeTablesTest, MoreStatesThanSlotsFallBackToTheLookupByName) {
    std::vector<std::unique_ptr<PlainScript>> states;
    for (int i = 0; i < 12; ++i)
        states.push_back(open());
    for (auto& s : states)
        EXPECT_EQ(check(*s), "");
    // Closing the newest ones frees slots; the oldest ones still check right.
    for (int i = 0; i < 6; ++i)
        states.pop_back();
    for (int i = 0; i < 3; ++i)
        states.push_back(open());
    for (auto& s : states)
        EXPECT_EQ(check(*s), "");
}

} // namespace
