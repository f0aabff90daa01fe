// Test support: a fresh temporary folder with a Data/ folder, the working
// folder (where the engine finds its files) for the object's lifetime.
#pragma once
#include "support/TempDir.h"
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace testsupport {

class WorkDir : public TempDir {
public:
    WorkDir() {
        char cwd[4096];
        m_saved = getcwd(cwd, sizeof cwd) ? cwd : ".";
        std::filesystem::create_directory(path() + "/Data");
        if (chdir(path().c_str()) != 0) std::abort();
    }
    ~WorkDir() {
        if (chdir(m_saved.c_str()) != 0) std::abort();
    }

    // Writes Data/<name>.lua.
    void script(const std::string& name, const std::string& text) const {
        write("Data/" + name + ".lua", text);
    }

private:
    std::string m_saved;
};

} // namespace testsupport
