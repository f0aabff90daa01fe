// Test support for the script host: an engine core, a Script_Instance that
// registers nothing of its own, running Lua code, and a renderer and a
// temporary working folder for the families that need them.
#pragma once
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "render/OGLES2_Graphics3D.h"
#include "script/Script_Instance.h"
#include "support/EngineFixture.h"
#include "support/GLTestDisplay.h"
#include "support/WorkDir.h"
#include <initializer_list>
#include <string>

namespace testsupport {

// The working folder as the file system's root (made after the engine core).
struct RootMount {
    RootMount() { core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive("", false), ""); }
    ~RootMount() { core::FileSystem::destroy(); }
};

class PlainScript : public Script_Instance {
public:
    void registerFunctions() override { ++registered; }
    int registered = 0;
};

// Runs `code` as a chunk in the state; answers "" or the error text.
inline std::string runLua(lua_State* L, const std::string& code) {
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 0, 0) == 0) return "";
    std::string e = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<non-string error>";
    lua_pop(L, 1);
    return e;
}

// Runs `code` and checks that it fails with an error that contains `message`.
inline ::testing::AssertionResult failsWith(lua_State* L, const std::string& code,
                                            const std::string& message) {
    std::string e = runLua(L, code);
    if (!e.empty() && e.find(message) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << code << " gave \"" << e << "\", not \"" << message << "\"";
}

// Checks each case with failsWith, then that the state still runs code.
struct ErrorCase {
    const char* code;
    const char* message;
};
inline void expectErrors(lua_State* L, std::initializer_list<ErrorCase> cases) {
    for (const ErrorCase& c : cases)
        EXPECT_TRUE(failsWith(L, c.code, c.message));
    EXPECT_EQ("", runLua(L, "local x = vec3(1, 2, 3) + vec3()")) << "the state goes on";
}

// A gtest fixture with an engine core and an open Lua state.
class LuaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    void TearDown() override { Script_Instance::closeState(script.getHolder()); }
    // The userdata block behind a global of the state.
    template <typename T> T* handle(const char* global) {
        lua_getglobal(L, global);
        T* h = static_cast<T*>(lua_touserdata(L, -1));
        lua_pop(L, 1);
        return h;
    }
    EngineCore core{64 * 1024 * 1024};
    PlainScript script;
    lua_State* L = nullptr;
};

// A LuaTest with a renderer on a 64 x 64 window (the engine's current
// Graphics3D) and the file system rooted in a temporary working folder.
class GLLuaTest : public LuaTest {
protected:
    void SetUp() override {
        g = M3D_NEW render::OGLES2_Graphics3D();
        core.globals().graphics = g.get();
        g->setDisplay(&display);
        g->resetGraphics3D(1);
        LuaTest::SetUp();
    }
    void TearDown() override {
        LuaTest::TearDown();
        core.globals().graphics = nullptr;
        g.release();
    }
    WorkDir dir;
    RootMount mount;
    GLTestDisplay display{64, 64};
    core::Ref<render::OGLES2_Graphics3D> g;
};

} // namespace testsupport
