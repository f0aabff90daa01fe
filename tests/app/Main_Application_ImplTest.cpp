// The application with real scripts that make mistakes: nothing crashes, the
// script is switched off, and R brings it back.
#include "AppTestSupport.h"
#include "audio/Audio_System_Impl.h"
#include <cmath>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char* GOOD = "updates = 0\nrenders = 0\n"
                   "function global_update() updates = updates + 1 return true end\n"
                   "function global_render() renders = renders + 1 end\n";

class ApplicationTest : public AppTest {
protected:
    // `n` frames of 20 ms: one fixed step, then the render call; answers the
    // last frame's step result.
    int frame(int n = 1) {
        int r = Framework::STEP_IDLE;
        for (int i = 0; i < n; ++i)
            if ((r = fw->frameStep(0.020f)) == Framework::STEP_UPDATED) app()->render(fw->getRenderer());
        return r;
    }
    void press(SDL_Keycode key) { pushKey(window(), key, true); }
    void release(SDL_Keycode key) { pushKey(window(), key, false); }
};

// Wherever a script fails, the failure is logged once, the script is switched
// off and the program goes on with empty frames (the target bound, cleared
// and released again, the camera reset). A failing tostring in print is no
// failure: print shows its message.
TEST_F(ApplicationTest, ScriptErrorsSwitchTheScriptOffAndTheProgramGoesOn) {
    auto update = [](const char* body) {
        return std::string("function global_update() ") + body +
               " return true end\nfunction global_render() end\n";
    };
    struct Case {
        std::string script;
        const char* message;
        bool running = false;
    } cases[] = {
        {"x = 1\n", "Error running function 'global_update': attempt to call a nil value\n"},
        {"function global_update() error('broken update') end",
         "Error running function 'global_update': [string \"Data/Bootstrap.lua\"]:1: broken update\n"},
        {"function global_update() return true end\nlocal = = broken\n",
         " ERROR  |LUA ERROR: [string \"Data/Bootstrap.lua\"]:2:"},
        {"function global_update() return true end\nfunction global_render() return nil .. 1 end\n",
         "Error running function 'global_render':"},
        {update("mouse_read(1)"), "bad argument #1 to 'mouse_read' (0 arguments expected!)"},
        {update("loadownmodule()"), "bad argument #1 to 'loadownmodule' (Invalid argument count!)"},
        {update("print(setmetatable({}, {__tostring = function() error('no text') end}))"), "LUA: ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        dir.script("Bootstrap", c.script);
        StderrCapture cap;
        start();
        EXPECT_EQ(frame(5), Framework::STEP_UPDATED);
        std::string out = cap.finish();
        EXPECT_EQ(app()->isScriptRunning(), c.running);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_LE(countOf(out, "Error running function"), 1) << "a script that is off is not called";
        EXPECT_FALSE(fw->getRenderer()->isTargetBound());
        EXPECT_EQ(fw->getRenderer()->getCamera(), nullptr);
        stop();
    }
}

TEST_F(ApplicationTest, FailingUpdateThenReloadOnThePressEdge) {
    dir.script("Bootstrap", "function global_update() error('broken update') end\n");
    start();
    StderrCapture cap;
    frame();
    EXPECT_FALSE(app()->isScriptRunning());

    dir.script("Bootstrap", GOOD);
    press(SDLK_r);
    frame();
    EXPECT_TRUE(app()->isScriptRunning());
    EXPECT_EQ(global("updates"), 1) << "reloaded before the step of the same frame";
    EXPECT_EQ(global("renders"), 1);
    frame(4); // R still held
    release(SDLK_r);
    frame();
    EXPECT_EQ(countOf(cap.finish(), "Running file: Data/Bootstrap.lua"), 1) << "holding R reloads once";
    EXPECT_EQ(global("updates"), 7) << "six 20 ms frames and the 3.3 ms carried from before the reload";

    press(SDLK_r); // a new press: a fresh state
    frame();
    EXPECT_EQ(global("updates"), 1);
}

TEST_F(ApplicationTest, MuteTogglesOncePerPressAndEasesEachStep) {
    dir.script("Bootstrap", GOOD);
    start();
    Audio_System_Impl* audio = dynamic_cast<Audio_System_Impl*>(app()->getAudioSystem());
    ASSERT_TRUE(audio != nullptr && g_glob_audio_system == audio);
    // Held for three frames: one press, one toggle; each step eases the
    // volume by a tenth of what is left.
    press(SDLK_m);
    frame(3);
    EXPECT_TRUE(audio->isMuted());
    EXPECT_NEAR(audio->getMasterVolume(), std::pow(0.9, 3), 1e-4);
    release(SDLK_m);
    frame();
    press(SDLK_m);
    frame();
    EXPECT_FALSE(audio->isMuted());
    // Four muted steps, then the fifth 20 ms frame completes two (100 ms).
    EXPECT_NEAR(audio->getMasterVolume(), 1.0 - (1.0 - std::pow(0.9, 4)) * 0.81, 1e-4);
    stop();
    EXPECT_EQ(g_glob_audio_system, nullptr);
}

} // namespace
