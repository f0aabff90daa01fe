// Test support for the script host: a temporary working directory with a
// Data/ folder, an engine core, and a Script_Instance that registers nothing
// of its own.
#pragma once
#include "script/Script_Instance.h"
#include "support/EngineFixture.h"
#include <string>

namespace testsupport {

// Makes a fresh temporary directory the working directory for its lifetime.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    // Writes Data/<name>.lua.
    void writeScript(const std::string& name, const std::string& text);
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_saved;
};

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

} // namespace testsupport
