#include "ScriptTestSupport.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"

namespace testsupport {

RootMount::RootMount() {
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), false), core::String(""));
}

RootMount::~RootMount() {
    core::FileSystem::destroy();
}

std::string runLua(lua_State* L, const std::string& code) {
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        std::string e = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<non-string error>";
        lua_pop(L, 1);
        return e;
    }
    return "";
}

::testing::AssertionResult failsWith(lua_State* L, const std::string& code, const std::string& message) {
    std::string e = runLua(L, code);
    if (!e.empty() && e.find(message) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << code << " gave \"" << e << "\", not \"" << message << "\"";
}

void expectErrors(lua_State* L, std::initializer_list<ErrorCase> cases) {
    for (const ErrorCase& c : cases)
        EXPECT_TRUE(failsWith(L, c.code, c.message));
    EXPECT_EQ("", runLua(L, "local x = vec3(1, 2, 3) + vec3()")) << "the state goes on";
}

} // namespace testsupport
