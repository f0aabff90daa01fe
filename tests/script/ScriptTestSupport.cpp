#include "ScriptTestSupport.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace testsupport {

TempWorkDir::TempWorkDir() {
    char cwd[4096];
    m_saved = getcwd(cwd, sizeof cwd) ? cwd : ".";
    char tmpl[] = "/tmp/pelloran-work-XXXXXX";
    m_path = mkdtemp(tmpl);
    std::filesystem::create_directory(m_path + "/Data");
    if (chdir(m_path.c_str()) != 0) std::abort();
}

TempWorkDir::~TempWorkDir() {
    if (chdir(m_saved.c_str()) != 0) std::abort();
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void TempWorkDir::writeScript(const std::string& name, const std::string& text) {
    std::ofstream(m_path + "/Data/" + name + ".lua", std::ios::binary) << text;
}

RootMount::RootMount() {
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), false), core::String(""));
}

RootMount::~RootMount() { core::FileSystem::destroy(); }

std::string runLua(lua_State* L, const std::string& code) {
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        std::string e = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<non-string error>";
        lua_pop(L, 1);
        return e;
    }
    return "";
}

} // namespace testsupport
