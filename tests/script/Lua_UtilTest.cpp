// The binding conventions: typed userdata, the exception boundary and
// registration, exercised by a small test family run from Lua. (Argument
// count errors are checked with the engine's families.)
#include "ScriptTestSupport.h"
#include "core/DebugLog.h"
#include "core/Object.h"
#include "core/Ref.h"
#include <gtest/gtest.h>
#include <stdexcept>

using namespace testsupport;

namespace {

int g_destroyed = 0;

class Probe : public core::Object {
public:
    ~Probe() override { ++g_destroyed; }
};

struct Lua_Probe {
    int32_t type;
    core::Ref<Probe> probe;
    explicit Lua_Probe(Probe* p) : type(0), probe(p) {}
};

struct Lua_Value {
    int32_t type;
    float x;
};

int probe_create(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    Probe* p = nullptr;
    luaGuard(L, [&] { p = M3D_NEW Probe(); });
    luaPushUserData<Lua_Probe>(L, SCRIPT_TYPE_CAMERA, p);
    return 1;
}

int probe_count(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Lua_Probe* p = luaCheckUserData<Lua_Probe>(L, 1, SCRIPT_TYPE_CAMERA);
    lua_pushinteger(L, p->probe->getReferenceCount());
    return 1;
}

// A record of another type, shorter than the quaternion the type id says.
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

const luaL_Reg PROBE_METHODS[] = {{"__gc", luaGcUserData<Lua_Probe>}, {nullptr, nullptr}};
const luaL_Reg PROBE_FUNCTIONS[] = {{"probe_create", probe_create},
                                    {"probe_count", probe_count},
                                    {"quat_create", quat_create},
                                    {"fail", fail},
                                    {nullptr, nullptr}};
const LuaFamily PROBE_FAMILY = {"META_Camera", PROBE_METHODS, nullptr, PROBE_FUNCTIONS};

class FamilyScript : public Script_Instance {
public:
    void registerFunctions() override {
        luaRegisterFamily(getHolder(), PROBE_FAMILY);
        luaRegisterBound(getHolder(), "bound", this, [](lua_State* L, int argCount, void* object) -> int {
            auto* self = static_cast<FamilyScript*>(object);
            ++self->boundCalls;
            lua_pushinteger(L, argCount);
            return 1;
        });
    }
    int boundCalls = 0;
};

class LuaUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_destroyed = 0;
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    EngineCore core{10240000, 0xF};
    FamilyScript script;
    lua_State* L = nullptr;
};

TEST_F(LuaUtilTest, UserdataTypesAreCheckedAsScriptErrors) {
    const std::string WRONG = "test:1: Lua user data is of wrong type!";
    struct Case {
        const char* code;
        std::string expected;
    } cases[] = {
        {"assert(probe_count(probe_create()) == 1)", ""},
        {"probe_count(quat_create())", WRONG},
        {"probe_count(12)", "test:1: Expected a lua user data!"},
        {"probe_count(io.stdout)", WRONG},        // another library's userdata
        {"probe_count(newproxy(true))", WRONG},   // an empty userdata is never read
        {"mat4_from_quat(quat_create())", WRONG}, // shorter than a quaternion record
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
    EXPECT_EQ(runLua(L, "local ok, e = pcall(fail, 1) assert(not ok and e:find('gamepad'))"), "");
    std::string out = cap.finish();
    EXPECT_NE(out.find("Expr: index < 10\n"), std::string::npos) << "the assertion is still logged";
    EXPECT_EQ(runLua(L, "x = 1 + 1 assert(x == 2)"), "");
}

TEST_F(LuaUtilTest, UserdataHoldReferencesUntilCollectedOrTheStateCloses) {
    EXPECT_EQ(runLua(L, "local p = probe_create() p = nil collectgarbage() collectgarbage()"), "");
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(runLua(L, "kept = probe_create() kept2 = probe_create()"), "");
    EXPECT_EQ(g_destroyed, 1);
    Script_Instance::closeState(script.getHolder());
    EXPECT_EQ(g_destroyed, 3);
}

TEST_F(LuaUtilTest, BoundFunctionsGetTheirObjectAndArgumentCount) {
    EXPECT_EQ(runLua(L, "assert(bound() == 0 and bound(1, 2, 3) == 3)"), "");
    EXPECT_EQ(script.boundCalls, 2);
    // Registration without a state does nothing.
    ScriptState empty = {nullptr, nullptr};
    luaRegisterFamily(&empty, PROBE_FAMILY);
    luaRegisterBound(&empty, "x", nullptr, nullptr);
}

} // namespace
