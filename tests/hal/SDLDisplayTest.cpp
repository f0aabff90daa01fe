// The SDL display: window creation and its failures, the display list, the
// routing of window events into the event queue, the message pump, and the
// GL context operations the renderer uses.
#include "SDLTestSupport.h"
#include "core/Exceptions.h"
#include "core/Ref.h"
#include "hal/sdl/GLEntryPoints.h"
#include "hal/sdl/Platform.h"
#include "hal/sdl/SDLDisplay.h"
#include <string>

using testsupport::pushKey;
using testsupport::pushQuit;
using testsupport::pushWindowEvent;
using testsupport::StderrCapture;

namespace {

class SDLDisplayTest : public testsupport::WindowSystemTest {};

std::string failureOf(const HAL::DisplayConfig& c) {
    try {
        core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    } catch (const HAL::HALException& e) {
        return e.getMessage();
    }
    return "";
}

TEST_F(SDLDisplayTest, OpensAWindowOfTheConfiguredSize) {
    HAL::DisplayConfig c = windowed(320, 240);
    c.title = "P";
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    auto* sdl = static_cast<HAL::SDLDisplay*>(d.get());
    ASSERT_NE(sdl->getWindow(), nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl->getWindow(), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl->getWindow()), "P") << "a one-character title works";
    EXPECT_FALSE(sdl->isFullscreenActive());
}

TEST_F(SDLDisplayTest, Latin1TitlesReachTheWindowAsUtf8) {
    HAL::DisplayConfig c = windowed(64, 64);
    c.title = "Caf\xe9";
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    EXPECT_STREQ(SDL_GetWindowTitle(static_cast<HAL::SDLDisplay*>(d.get())->getWindow()), "Caf\xc3\xa9");
}

TEST_F(SDLDisplayTest, BadConfigurationsThrowAndLeaveNothingBehind) {
    HAL::DisplayConfig c = windowed(64, 64);
    c.title = nullptr;
    StderrCapture cap;
    EXPECT_EQ(failureOf(c), "Display constructor can not init a display");
    c.title = "";
    EXPECT_EQ(failureOf(c), "Display constructor can not init a display because title length is 0");
    c.title = "x";
    c.windowed = 2;
    EXPECT_EQ(failureOf(c), "Display constructor can not create a window");
    std::string out = cap.finish();
    EXPECT_NE(out.find(" ERROR  |Display constructor failed (title error)\n"), std::string::npos) << out;
    EXPECT_EQ(HAL::displayList()->size(), 0) << "a failed display leaves the display list";
    EXPECT_TRUE(core.pool().validate());
}

TEST_F(SDLDisplayTest, WindowEventsBecomeOSEvents) {
    HAL::DisplayConfig c = windowed(320, 240);
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    Uint32 id = static_cast<HAL::SDLDisplay*>(d.get())->getWindowId();
    testsupport::drainEvents();
    d->getEvents().resize(0);
    pushWindowEvent(id, SDL_WINDOWEVENT_MOVED, 10, -20);
    pushWindowEvent(id, SDL_WINDOWEVENT_SIZE_CHANGED, 0, 0);
    pushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_LOST);
    pushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_GAINED);
    pushWindowEvent(id, SDL_WINDOWEVENT_CLOSE);
    pushWindowEvent(id + 1000, SDL_WINDOWEVENT_CLOSE); // no such window: nothing
    EXPECT_TRUE(HAL::pumpMessages());
    auto& events = d->getEvents();
    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].type, HAL::OSEVENT_MOVED);
    EXPECT_EQ(events[0].arg1, 10);
    EXPECT_EQ(events[0].arg2, -20);
    EXPECT_EQ(events[1].type, HAL::OSEVENT_RESIZED);
    EXPECT_EQ(events[1].arg1, 1) << "a zero size is posted as 1";
    EXPECT_EQ(events[1].arg2, 1);
    EXPECT_EQ(d->getWidth(), 1);
    EXPECT_EQ(d->getHeight(), 1);
    EXPECT_EQ(events[2].type, HAL::OSEVENT_SUSPEND);
    EXPECT_EQ(events[3].type, HAL::OSEVENT_RESUME);
    EXPECT_EQ(events[4].type, HAL::OSEVENT_QUIT);
    EXPECT_EQ(d->getConfig().x, 10);
}

TEST_F(SDLDisplayTest, PumpTakesAtMostTenEventsAndStopsAtQuit) {
    HAL::DisplayConfig c = windowed(64, 64);
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    Uint32 id = static_cast<HAL::SDLDisplay*>(d.get())->getWindowId();
    testsupport::drainEvents();
    d->getEvents().resize(0);
    for (int i = 0; i < 12; ++i) pushWindowEvent(id, SDL_WINDOWEVENT_MOVED, i, i);
    EXPECT_TRUE(HAL::pumpMessages());
    EXPECT_EQ(d->getEvents().size(), 10);
    EXPECT_TRUE(HAL::pumpMessages());
    EXPECT_EQ(d->getEvents().size(), 12);

    pushQuit();
    pushWindowEvent(id, SDL_WINDOWEVENT_MOVED, 99, 99);
    EXPECT_FALSE(HAL::pumpMessages()) << "a quit event ends the pump";
    EXPECT_EQ(d->getEvents().size(), 12) << "events after the quit wait for the next pump";
    EXPECT_TRUE(HAL::pumpMessages());
    EXPECT_EQ(d->getEvents().size(), 13);
}

TEST_F(SDLDisplayTest, FullScreenAtAResolutionTheScreenLacksFails) {
    // The offscreen driver takes any size; an X server (Xvfb) has real modes.
    std::string saved = getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "";
    if (getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "x11", 1);
    struct Restore {
        std::string value;
        ~Restore() { setenv("SDL_VIDEODRIVER", value.c_str(), 1); }
    } restore{saved};
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDisplayMode(0, 0, &desktop), 0);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (desktop.w == 0) GTEST_SKIP() << "this video driver offers every size";
    HAL::DisplayConfig c = windowed(desktop.w * 2, desktop.h * 2);
    c.windowed = 0;
    StderrCapture cap;
    std::string failure = failureOf(c);
    std::string out = cap.finish();
    if (out.find("SDL video system:") != std::string::npos) GTEST_SKIP() << "the X server went away: " << out;
    EXPECT_EQ(failure, "HAL: can not set fullscreen mode") << out;
    EXPECT_NE(out.find("setFullscreen ON\n ERROR  |setFullscreen failed (check display resolution)!\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(HAL::displayList()->size(), 0);
}

TEST_F(SDLDisplayTest, GLContextOperationsAndEntryPoints) {
    HAL::DisplayConfig c = windowed(64, 64);
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    if (!d->createGLContext()) GTEST_SKIP() << "no GL context on this video driver";
    EXPECT_NE(d->getGLContext(), nullptr);
    EXPECT_TRUE(d->makeCurrent());
    d->loadGLFunctions();
    EXPECT_NE(pglUseProgram, nullptr);
    EXPECT_NE(pglGenBuffers, nullptr);
    d->swapBuffers();
    d->deleteGLContext();
    EXPECT_EQ(d->getGLContext(), nullptr);
    EXPECT_FALSE(d->makeCurrent());
}

} // namespace
