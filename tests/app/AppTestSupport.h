// A real framework (engine, headless window, application with its Lua state)
// over a temporary Data/ folder, driven frame by frame.
#pragma once
#include "app/Framework.h"
#include "app/Main_Application_Impl.h"
#include "hal/sdl/SDLDisplay.h"
#include "support/EngineFixture.h"
#include "support/SDLEvents.h"
#include "support/Text.h"
#include "support/WorkDir.h"
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Runs the program as its main() does, with these arguments after its name.
inline int runProgram(std::vector<const char*> args, const EngineConfig* base = nullptr) {
    args.insert(args.begin(), "pelloran");
    return runPelloran((int)args.size(), const_cast<char**>(args.data()), base);
}

// Links the default demo's sounds, pictures and models into Data/ of the
// working folder.
inline void linkDemoData() {
    namespace fs = std::filesystem;
    for (const char* folder : {"Sounds", "Images", "Models"})
        fs::create_directory_symlink(fs::path(PELLORAN_SOURCE_DIR) / "Data" / folder,
                                     fs::path("Data") / folder);
}

class AppTest : public ::testing::Test {
protected:
    AppTest() { useHeadlessVideo(); }
    ~AppTest() override { stop(); }

    // Creates the framework as the program does, with these tokens
    // (default: a small window with the console log on).
    void start(std::vector<const char*> tokens = {"-windowed", "-console", "160", "120"}) {
        EngineConfig config;
        config.engine.tokenCount = (int)std::min<size_t>(tokens.size(), 10);
        for (int i = 0; i < config.engine.tokenCount; ++i)
            config.engine.tokens[i] = tokens[i];
        fw = createFramework(config);
        drainEvents();
    }
    void stop() {
        delete fw;
        fw = nullptr;
    }
    Main_Application_Impl* app() const { return static_cast<Main_Application_Impl*>(fw->getApplication()); }
    // `n` times one fixed step and one render; the script must still be
    // running after each unless `mayStop`.
    void frame(int n = 1, bool mayStop = false) {
        for (int i = 0; i < n && !HasFatalFailure(); ++i) {
            ASSERT_EQ(Framework::STEP_UPDATED, fw->fixedFrameStep());
            app()->render(fw->getRenderer());
            ASSERT_TRUE(mayStop || app()->isScriptRunning());
        }
    }
    // Copies the default demo's scripts into the work folder's Data/ and
    // links its sounds, pictures and models there.
    void copyDemo() {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::directory_iterator(fs::path(PELLORAN_SOURCE_DIR) / "Data"))
            if (entry.path().extension() == ".lua")
                fs::copy_file(entry.path(), fs::path("Data") / entry.path().filename());
        linkDemoData();
    }
    Uint32 window() const { return static_cast<HAL::SDLDisplay*>(fw->getDisplay())->getWindowId(); }

    // A numeric global of the script (-1 when it is not a number).
    double global(const char* name) const {
        lua_State* L = app()->getState();
        lua_getfield(L, LUA_GLOBALSINDEX, name);
        double v = lua_isnumber(L, -1) ? lua_tonumber(L, -1) : -1;
        lua_pop(L, 1);
        return v;
    }

    WorkDir dir;
    Framework* fw = nullptr;
};

} // namespace testsupport
