// Test support for the script host: a temporary working directory with a
// Data/ folder, an engine core, and a Script_Instance that registers nothing
// of its own.
#pragma once
#include "script/Script_Instance.h"
#include "support/EngineFixture.h"
#include "support/WorkDir.h"
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

// A gtest fixture with an engine core and an open Lua state.
class LuaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Script_Instance::createState(script.getHolder());
        L = script.getState();
    }
    void TearDown() override { Script_Instance::closeState(script.getHolder()); }
    EngineCore core;
    PlainScript script;
    lua_State* L = nullptr;
};

} // namespace testsupport
