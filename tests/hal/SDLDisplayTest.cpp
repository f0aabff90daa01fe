// The SDL display: window creation and its failures, the display list, the
// routing of window events into the event queue and the message pump. Its GL
// context is what every app test renders with.
#include "SDLTestSupport.h"
#include "hal/sdl/Platform.h"
#include <string>

using namespace testsupport;

namespace {

using SDLDisplayTest = WindowSystemTest;

std::string failureOf(const HAL::DisplayConfig& c) {
    return messageOf([&] { core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c); });
}

// The window's size is what the app tests' scripts read back as the screen's.
TEST_F(SDLDisplayTest, Latin1TitlesReachTheWindowAsUtf8) {
    HAL::DisplayConfig c = windowed(64, 64);
    c.title = "\xe9"; // one character
    core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
    EXPECT_STREQ(SDL_GetWindowTitle(static_cast<HAL::SDLDisplay*>(d.get())->getWindow()), "\xc3\xa9");
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
}

TEST_F(SDLDisplayTest, WindowEventsBecomeOSEvents) {
    Uint32 id;
    core::Ref<HAL::Display> d = openWindow(64, 64, id);
    pushWindowEvent(id, SDL_WINDOWEVENT_MOVED, 10, -20);
    pushWindowEvent(id, SDL_WINDOWEVENT_SIZE_CHANGED, 0, 0);
    pushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_LOST);
    pushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_GAINED);
    pushWindowEvent(id, SDL_WINDOWEVENT_CLOSE);
    pushWindowEvent(id + 1000, SDL_WINDOWEVENT_CLOSE); // no such window: nothing
    EXPECT_TRUE(HAL::pumpMessages());
    auto& events = d->getEvents();
    const int expected[][3] = {{HAL::OSEVENT_MOVED, 10, -20},
                               {HAL::OSEVENT_RESIZED, 1, 1}, // a zero size is posted as 1
                               {HAL::OSEVENT_SUSPEND, 0, 0},
                               {HAL::OSEVENT_RESUME, 0, 0},
                               {HAL::OSEVENT_QUIT, 0, 0}};
    ASSERT_EQ(events.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i].type, expected[i][0]) << i;
        EXPECT_EQ(events[i].arg1, expected[i][1]) << i;
        EXPECT_EQ(events[i].arg2, expected[i][2]) << i;
    }
    EXPECT_EQ(d->getWidth(), 1);
    EXPECT_EQ(d->getConfig().x, 10);
}

TEST_F(SDLDisplayTest, PumpTakesAtMostTenEventsAndStopsAtQuit) {
    Uint32 id;
    core::Ref<HAL::Display> d = openWindow(64, 64, id);
    for (int i = 0; i < 12; ++i)
        pushWindowEvent(id, SDL_WINDOWEVENT_MOVED, i, i);
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

} // namespace
