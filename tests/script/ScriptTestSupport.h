// Test support for the script host: a temporary working directory with a
// Data/ folder, an engine core, and a Script_Instance that registers nothing
// of its own.
#pragma once
#include "render/OGLES2_Graphics3D.h"
#include "script/Script_Instance.h"
#include "support/EngineFixture.h"
#include "support/GLTestDisplay.h"
#include "support/WorkDir.h"
#include <initializer_list>
#include <string>

namespace testsupport {

using TempWorkDir = WorkDir;

// Mounts the working directory as the file system's root for its lifetime
// (create it after the engine core, so it goes first).
class RootMount {
public:
    RootMount();
    ~RootMount();
};

class PlainScript : public Script_Instance {
public:
    void registerFunctions() override { ++registered; }
    int registered = 0;
};

// Runs `code` as a chunk in the state; answers "" or the error text.
std::string runLua(lua_State* L, const std::string& code);

// Runs `code` and checks that it fails with an error that contains `message`.
::testing::AssertionResult failsWith(lua_State* L, const std::string& code, const std::string& message);

// Checks each case with failsWith, then that the state still runs code.
struct ErrorCase {
    const char* code;
    const char* message;
};
void expectErrors(lua_State* L, std::initializer_list<ErrorCase> cases);

// A gtest fixture with an engine core and an open Lua state.
class LuaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    void TearDown() override { Script_Instance::closeState(script.getHolder()); }
    EngineCore core{64 * 1024 * 1024};
    PlainScript script;
    lua_State* L = nullptr;
};

// A gtest fixture for script families that draw or load files: a renderer on
// a SIZE x SIZE window (the engine's current Graphics3D), the file system
// rooted in a temporary working directory, and an open Lua state.
class GLLuaTest : public ::testing::Test {
protected:
    static const int SIZE = 64;
    void SetUp() override {
        g = M3D_NEW render::OGLES2_Graphics3D();
        core.globals().graphics = g.get();
        g->setDisplay(&display);
        g->resetGraphics3D(1);
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    void TearDown() override {
        Script_Instance::closeState(script.getHolder());
        core.globals().graphics = nullptr;
        g.release();
    }
    // The userdata block behind a global of the state.
    template <typename T> T* handle(const char* global) {
        lua_getglobal(L, global);
        T* h = static_cast<T*>(lua_touserdata(L, -1));
        lua_pop(L, 1);
        return h;
    }
    WorkDir dir;
    EngineCore core{40 * 1024 * 1024};
    RootMount mount;
    GLTestDisplay display{SIZE, SIZE};
    core::Ref<render::OGLES2_Graphics3D> g;
    PlainScript script;
    lua_State* L = nullptr;
};

} // namespace testsupport
