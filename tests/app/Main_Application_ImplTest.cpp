// The application with real scripts that make mistakes: nothing crashes, the
// script is switched off, and R brings it back.
#include "AppTestSupport.h"
#include "audio/Audio_System_Impl.h"
#include <cmath>
#include <gtest/gtest.h>

using testsupport::AppTest;
using testsupport::countOf;
using testsupport::pushKey;
using testsupport::StderrCapture;

namespace {

const char* GOOD = "updates = 0\nrenders = 0\n"
                   "function global_update() updates = updates + 1 return true end\n"
                   "function global_render() renders = renders + 1 end\n";

class ApplicationTest : public AppTest {
protected:
    // One frame of 20 ms: one fixed step, then the render call.
    int frame() {
        int r = fw->frameStep(0.020f);
        if (r == Framework::STEP_UPDATED) app()->render(fw->getRenderer());
        return r;
    }
    void press(SDL_Keycode key) { pushKey(window(), key, true); }
    void release(SDL_Keycode key) { pushKey(window(), key, false); }
};

TEST_F(ApplicationTest, MissingGlobalUpdateSwitchesTheScriptOffAndTheProgramGoesOn) {
    dir.script("Bootstrap", "x = 1\n");
    start();
    StderrCapture cap;
    EXPECT_EQ(frame(), Framework::STEP_UPDATED);
    EXPECT_FALSE(app()->isScriptRunning());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(frame(), Framework::STEP_UPDATED);
    std::string out = cap.finish();
    EXPECT_EQ(countOf(out, "Error running function 'global_update': attempt to call a nil value\n"), 1) << out;
    EXPECT_EQ(countOf(out, "global_render"), 0) << "a script that is off is not called";
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
    for (int i = 0; i < 4; ++i) frame(); // R still held
    release(SDLK_r);
    frame();
    std::string out = cap.finish();
    EXPECT_EQ(countOf(out, "Running file: Data/Bootstrap.lua"), 1) << "holding R reloads once";
    EXPECT_EQ(global("updates"), 7) << "six 20 ms frames and the 3.3 ms carried from before the reload";
    EXPECT_NE(out.find("Error running function 'global_update': [string \"Data/Bootstrap.lua\"]:1: broken update\n"),
              std::string::npos)
        << out;

    press(SDLK_r); // a new press: a fresh state
    frame();
    EXPECT_EQ(global("updates"), 1);
}

TEST_F(ApplicationTest, ErrorsInBootstrapAndRenderAreReportedNotFatal) {
    dir.script("Bootstrap", "function global_update() return true end\nlocal = = broken\n");
    StderrCapture cap;
    start();
    std::string out = cap.finish();
    EXPECT_NE(out.find(" ERROR  |LUA ERROR: [string \"Data/Bootstrap.lua\"]:2:"), std::string::npos) << out;
    EXPECT_EQ(frame(), Framework::STEP_UPDATED);
    EXPECT_FALSE(app()->isScriptRunning()) << "nothing of a script that does not compile was defined";
    stop();

    dir.script("Bootstrap", "function global_update() return true end\n"
                            "function global_render() local t = nil; return t.field end\n");
    start();
    StderrCapture cap2;
    EXPECT_EQ(frame(), Framework::STEP_UPDATED);
    EXPECT_FALSE(app()->isScriptRunning());
    EXPECT_EQ(frame(), Framework::STEP_UPDATED);
    EXPECT_NE(cap2.finish().find("Error running function 'global_render':"), std::string::npos);
    // With the script off each frame is an empty one: the target is bound,
    // cleared and released again, and the camera is reset.
    EXPECT_FALSE(fw->getRenderer()->isTargetBound());
    EXPECT_EQ(fw->getRenderer()->getCamera(), nullptr);
}

TEST_F(ApplicationTest, WrongArgumentsToLibraryFunctionsAreScriptErrors) {
    struct Case {
        const char* call;
        const char* message;
    } cases[] = {{"mouse_read(1)", "bad argument #1 to 'mouse_read' (0 arguments expected!)"},
                 {"loadownmodule()", "bad argument #1 to 'loadownmodule' (Invalid argument count!)"},
                 {"loadownmodule('Bootstrap', 2)", "(Invalid argument count!)"},
                 {"print(setmetatable({}, {__tostring = function() error('no text') end}))", ""}};
    for (const Case& c : cases) {
        dir.script("Bootstrap", std::string("function global_update() ") + c.call +
                                    " return true end\nfunction global_render() end\n");
        start();
        StderrCapture cap;
        EXPECT_EQ(frame(), Framework::STEP_UPDATED) << c.call;
        std::string out = cap.finish();
        if (c.message[0]) {
            EXPECT_FALSE(app()->isScriptRunning()) << c.call;
            EXPECT_NE(out.find(c.message), std::string::npos) << c.call << "\n" << out;
        } else {
            EXPECT_TRUE(app()->isScriptRunning()) << "print shows a failing tostring's message: " << out;
            EXPECT_NE(out.find("LUA: "), std::string::npos) << out;
        }
        stop();
    }
}

TEST_F(ApplicationTest, MuteTogglesOncePerPressAndEasesEachStep) {
    dir.script("Bootstrap", GOOD);
    start();
    Audio_System_Impl* audio = dynamic_cast<Audio_System_Impl*>(app()->getAudioSystem());
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(g_glob_audio_system, audio);
    EXPECT_FALSE(audio->isMuted());
    // Held for three frames: one press, one toggle; each step eases the
    // volume by a tenth of what is left.
    press(SDLK_m);
    frame();
    frame();
    frame();
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

TEST_F(ApplicationTest, UpdateCanBeDrivenDirectly) {
    dir.script("Bootstrap", GOOD);
    start();
    EXPECT_TRUE(app()->update(0.010f));
    EXPECT_EQ(global("updates"), 0);
    EXPECT_TRUE(app()->update(0.010f));
    EXPECT_EQ(global("updates"), 1);
    EXPECT_TRUE(app()->update(1.0f));
    EXPECT_EQ(global("updates"), 4) << "at most three steps per frame";
    EXPECT_LT(app()->getAccumulator(), 1.0f - 3.0f / 60.0f) << "each dropped step still leaves the accumulator";
    EXPECT_NEAR(app()->getAccumulator(), 1.0f + 0.02f - 5.0f / 60.0f, 1e-4);
}

} // namespace
