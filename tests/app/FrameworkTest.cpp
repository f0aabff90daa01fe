// The whole program and its frame loop: start-up and shut-down, exit codes,
// the fixed-step accumulator, the keys and window events it handles.
#include "AppTestSupport.h"
#include "core/EngineGlobals.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char* COUNTING_SCRIPT =
    "updates = 0\nrenders = 0\n"
    "function global_update(step) updates = updates + 1 last_step = step return true end\n"
    "function global_render() renders = renders + 1 end\n";

class ProgramTest : public AppTest {};

TEST_F(ProgramTest, StartsAndStopsInOrderAndExitsWithZeroWhenTheScriptSaysSo) {
    dir.script("Bootstrap", "print('bootstrap ran')\n"
                            "function global_update(step) print('update', step > 0.0166 and step < 0.0167) "
                            "return false end\n"
                            "function global_render() end\n");
    StderrCapture cap;
    int rc = runProgram({"-windowed", "-console", "160", "120"});
    std::string out = cap.finish();
    EXPECT_EQ(rc, 0) << out;
    size_t at = 0;
    for (const char* line : {"START: initEngineClasses : ok\n", "LUA: bootstrap ran\nLUA: update true\n",
                             "Exit requested..\n", "STOP: deInitEngineClasses\n"}) {
        at = out.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "in:\n" << out;
    }
    EXPECT_EQ(countOf(out, "LUA: update"), 1) << "the loop stops at the first false";
    EXPECT_EQ(core::engineGlobals(), nullptr) << "the engine is gone";
}

// Every script here has a global_render: the first frame may render before
// the first step, and a missing one would switch the script off.
TEST_F(ProgramTest, QuietRunsAndOrderlyFailuresAtStartUp) {
    struct Case {
        int poolSize;            // 0: the default
        const char* videoDriver; // nullptr: the test's headless one
        int rc;
        const char* logged; // "": without -console only errors and warnings show
    } cases[] = {{0, nullptr, 0, ""},
                 {16, nullptr, 1, " ERROR  |createFramework failed : Memory manager error ("},
                 {0, "no-such-driver", 2, "Display constructor can not create a window"}};
    dir.script("Bootstrap", "print('hidden') function global_update() end function global_render() end\n");
    for (const Case& c : cases) {
        EngineConfig config;
        if (c.poolSize) config.memoryPoolSize = c.poolSize;
        if (c.videoDriver) setenv("SDL_VIDEODRIVER", c.videoDriver, 1);
        StderrCapture cap;
        int rc = runProgram({"-windowed", "64", "48"}, &config);
        std::string out = cap.finish();
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        EXPECT_EQ(rc, c.rc) << out;
        EXPECT_NE(out.find(c.logged), std::string::npos) << out;
        EXPECT_TRUE(out.find("hidden") == std::string::npos && out.find("START:") == std::string::npos)
            << out;
        EXPECT_EQ(core::engineGlobals(), nullptr) << "the engine was taken down before the exit";
    }
}

class LoopTest : public AppTest {};

TEST_F(LoopTest, SeventyMillisecondsRunThreeStepsAndCarryTheRest) {
    dir.script("Bootstrap", COUNTING_SCRIPT);
    start();
    EXPECT_EQ(fw->frameStep(0.070f), Framework::STEP_UPDATED);
    EXPECT_EQ(global("updates"), 3);
    EXPECT_NEAR(global("last_step"), 1.0 / 60.0, 1e-6);
    EXPECT_NEAR(app()->getAccumulator(), 0.070 - 4.0 / 60.0, 1e-4) << "one step dropped, about 3.3 ms kept";
    EXPECT_EQ(fw->frameStep(0.014f), Framework::STEP_UPDATED);
    EXPECT_EQ(global("updates"), 4) << "the carried 3.3 ms complete a step";
    EXPECT_EQ(fw->frameStep(0.0f), Framework::STEP_IDLE) << "no time, nothing to do";
    EXPECT_EQ(global("renders"), 0) << "frameStep only updates; the loop renders after it";
}

TEST_F(LoopTest, GlobalUpdateResults) {
    struct Case {
        const char* result;
        int expected;
    } cases[] = {{"true", Framework::STEP_UPDATED},
                 {"0", Framework::STEP_UPDATED},
                 {"nil", Framework::STEP_STOP},
                 {"false", Framework::STEP_STOP}};
    for (const Case& c : cases) {
        dir.script("Bootstrap", std::string("function global_update() return ") + c.result + " end\n");
        start();
        StderrCapture cap;
        EXPECT_EQ(fw->frameStep(0.020f), c.expected) << c.result;
        EXPECT_EQ(countOf(cap.finish(), "Exit requested..\n"), c.expected == Framework::STEP_STOP)
            << c.result;
        stop();
    }
}

TEST_F(LoopTest, EscapeWindowCloseAndQuitEndTheLoopBeforeAnyStep) {
    dir.script("Bootstrap", COUNTING_SCRIPT);
    for (int event = 0; event < 3; ++event) {
        start();
        if (event == 0) pushKey(window(), SDLK_ESCAPE, true);
        if (event == 1) pushWindowEvent(window(), SDL_WINDOWEVENT_CLOSE);
        if (event == 2) pushQuit();
        EXPECT_EQ(fw->frameStep(0.020f), Framework::STEP_STOP) << event;
        EXPECT_TRUE(event != 1 || fw->isQuitRequested()) << "the window was closed";
        EXPECT_EQ(global("updates"), 0) << event;
        stop();
    }
}

TEST_F(LoopTest, SkippedFrameDropsItsTimeAndEventsAreDrained) {
    dir.script("Bootstrap", COUNTING_SCRIPT);
    start();
    fw->getDisplay()->postEvent(HAL::OSEVENT_SKIP_FRAME, 0, 0);
    EXPECT_EQ(fw->frameStep(0.500f), Framework::STEP_IDLE);
    EXPECT_EQ(global("updates"), 0);
    EXPECT_EQ(fw->frameStep(0.017f), Framework::STEP_UPDATED);
    EXPECT_EQ(global("updates"), 1) << "the skipped half second is not fed to update";

    pushWindowEvent(window(), SDL_WINDOWEVENT_FOCUS_LOST);
    pushWindowEvent(window(), SDL_WINDOWEVENT_SIZE_CHANGED, 100, 0);
    pushWindowEvent(window(), SDL_WINDOWEVENT_MOVED, 5, 6);
    EXPECT_EQ(fw->frameStep(0.017f), Framework::STEP_UPDATED) << "with sleep time 0 the loop keeps running";
    EXPECT_EQ(global("updates"), 2);
    EXPECT_EQ(fw->getDisplay()->getEvents().size(), 0);

    fw->getDisplay()->postEvent(HAL::OSEVENT_DEVICE_LOST, 0, 0);
    EXPECT_EQ(fw->frameStep(0.017f), Framework::STEP_IDLE) << "no update while the device is lost";
    fw->getDisplay()->postEvent(HAL::OSEVENT_DEVICE_RESET, 0, 0);
    EXPECT_EQ(fw->frameStep(0.017f), Framework::STEP_UPDATED);
    EXPECT_EQ(global("updates"), 3);
}

TEST_F(LoopTest, ApplicationSeesTheMouse) {
    dir.script("Bootstrap", "function global_update() mx, my, ml, mr = mouse_read() "
                            "left = ml and 1 or 0 return true end\n");
    start({"-windowed", "200", "100"});
    pushMotion(window(), 50, 75);
    pushButton(window(), SDL_BUTTON_LEFT, true, 50, 75);
    fw->frameStep(0.017f);
    EXPECT_FLOAT_EQ((float)global("mx"), 0.25f);
    EXPECT_FLOAT_EQ((float)global("my"), 0.75f);
    EXPECT_EQ(global("left"), 1);
}

} // namespace
