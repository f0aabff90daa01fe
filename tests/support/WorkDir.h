// Test support: a temporary working directory with a Data/ folder for scripts.
#pragma once
#include "support/TempDir.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace testsupport {

class WorkDir {
public:
    WorkDir() {
        char cwd[4096];
        m_saved = getcwd(cwd, sizeof cwd) ? cwd : ".";
        std::filesystem::create_directory(m_dir.path() + "/Data");
        if (chdir(m_dir.path().c_str()) != 0) std::abort();
    }
    ~WorkDir() {
        if (chdir(m_saved.c_str()) != 0) std::abort();
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    // Writes Data/<name>.lua.
    void script(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir.path() + "/Data/" + name + ".lua", std::ios::binary | std::ios::trunc) << text;
    }

private:
    TempDir m_dir;
    std::string m_saved;
};

} // namespace testsupport
