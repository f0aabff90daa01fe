// Keyboard, mouse and gamepad handles fed by synthesized SDL events through
// the real message pump and window.
#include "SDLTestSupport.h"
#include "hal/sdl/Input.h"
#include "hal/sdl/Platform.h"
#include <string>

using namespace testsupport;

namespace {

class SDLInputTest : public WindowSystemTest {
protected:
    Uint32 window = 0;
    core::Ref<HAL::Display> display = openWindow(200, 100, window);
    core::Ref<HAL::Input> keyboard = HAL::Input::createInputHandle(HAL::Input::KEYBOARD);
    core::Ref<HAL::Input> mouse = HAL::Input::createInputHandle(HAL::Input::MOUSE);

    static void pump() {
        while (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
            HAL::pumpMessages();
    }
};

TEST_F(SDLInputTest, KeyEdgesIgnoreAutoRepeatAndReadLettersInEitherCase) {
    pushKey(window, SDLK_r, true);
    pump();
    EXPECT_EQ(keyboard->getAxisState('r'), 1.0f);
    EXPECT_EQ(keyboard->getAxisState('R'), 1.0f);
    EXPECT_EQ(input().lastKeyCode, 'R');

    pushKey(window, SDLK_r, false);
    pump();
    EXPECT_EQ(keyboard->getAxisState('R'), 0.0f);
    EXPECT_EQ(input().lastKeyValue, 0.0f);

    // A repeat without a first press changes nothing at all.
    pushKey(window, SDLK_m, true, true);
    pump();
    EXPECT_EQ(keyboard->getAxisState('M'), 0.0f);
    EXPECT_EQ(input().lastKeyCode, 'R');

    const std::pair<SDL_Keycode, int> keys[] = {
        {SDLK_LEFT, HAL::KEY_LEFT}, {SDLK_ESCAPE, HAL::KEY_ESCAPE}, {SDLK_5, '5'}, {SDLK_SPACE, ' '}};
    for (const auto& k : keys)
        pushKey(window, k.first, true);
    pump();
    for (const auto& k : keys)
        EXPECT_EQ(keyboard->getAxisState(k.second), 1.0f) << k.second;
}

TEST_F(SDLInputTest, CursorIsClampedWhileTheLeftButtonHoldsTheTouchPoint) {
    pushMotion(window, 50, 25);
    pump();
    EXPECT_FLOAT_EQ(mouse->getAxisState(HAL::MOUSE_DX), 0.25f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_DX), 0.0f) << "dx is read once";

    pushButton(window, SDL_BUTTON_LEFT, true, 100, 50);
    pump();
    const HAL::TouchScreenData& t = input().touches[0];
    EXPECT_EQ(t.pressed, 1.0f);
    EXPECT_FLOAT_EQ(t.pressX, 0.5f);
    EXPECT_FLOAT_EQ(t.pressY, 0.5f);
    EXPECT_EQ(t.dx, 0.0f) << "the press resets the change";
    // Held left button: the window keeps the mouse, positions outside clamp.
    pushMotion(window, -40, 500, SDL_BUTTON_LMASK);
    pump();
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_LEFT), 1.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_X), 0.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_Y), 1.0f);
    EXPECT_FLOAT_EQ(mouse->getAxisState(HAL::MOUSE_DX), -0.5f);
    EXPECT_FLOAT_EQ(t.dx, -0.5f);
    EXPECT_EQ(t.x, 0.0f);
    pushMotion(window, 900, -3, SDL_BUTTON_LMASK);
    pushButton(window, SDL_BUTTON_LEFT, false, 900, -3);
    pushButton(window, SDL_BUTTON_RIGHT, true, 900, -3);
    pump();
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_X), 1.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_Y), 0.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_LEFT), 0.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_RIGHT), 1.0f);
}

TEST_F(SDLInputTest, WheelAccumulatesSaturatesAndIsNotResetByReading) {
    pushMotion(window, 100, 50);
    pushWheel(window, 3);
    pump();
    EXPECT_FLOAT_EQ(mouse->getAxisState(HAL::MOUSE_WHEEL), 360.0f / 32767.0f);
    EXPECT_FLOAT_EQ(mouse->getAxisState(HAL::MOUSE_WHEEL), 360.0f / 32767.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_X), 0.5f) << "the wheel keeps the cursor where it was";
    for (int i = 0; i < 5; ++i)
        pushWheel(window, 100);
    pump();
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_WHEEL), 1.0f);
    for (int i = 0; i < 12; ++i)
        pushWheel(window, -100);
    pump();
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_WHEEL), -1.0f);
}

TEST_F(SDLInputTest, FocusLossReleasesEverythingAndOtherWindowsChangeNothing) {
    pushKey(window + 77, SDLK_w, true);
    pushMotion(window + 77, 100, 50);
    pump();
    EXPECT_EQ(keyboard->getAxisState('W'), 0.0f);
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_X), 0.0f);

    pushKey(window, SDLK_w, true);
    pushKey(window, SDLK_ESCAPE, true);
    pushButton(window, SDL_BUTTON_LEFT, true, 10, 10);
    pushButton(window, SDL_BUTTON_MIDDLE, true, 10, 10);
    pushWheel(window, 2);
    pump();
    EXPECT_EQ(mouse->getAxisState(HAL::MOUSE_MIDDLE), 1.0f);
    pushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    pump();
    EXPECT_EQ(keyboard->getAxisState('W'), 0.0f);
    EXPECT_EQ(keyboard->getAxisState(HAL::KEY_ESCAPE), 0.0f);
    EXPECT_FALSE(HAL::isEscapeKeyDown());
    for (int code = HAL::MOUSE_X; code <= HAL::MOUSE_MIDDLE; ++code)
        EXPECT_EQ(mouse->getAxisState(code), 0.0f) << "mouse code " << code;
    EXPECT_EQ(input().lastKeyCode, 0);
}

TEST_F(SDLInputTest, TheFirstHandleOfAnEngineClearsTheState) {
    // The fixture's handles were the first; a later one leaves the state alone.
    input().keys['Q'] = 1;
    core::Ref<HAL::Input> another = HAL::Input::createInputHandle(HAL::Input::KEYBOARD);
    EXPECT_EQ(another->getAxisState('Q'), 1.0f);
    input().handleCreated = false;
    core::Ref<HAL::Input> first = HAL::Input::createInputHandle(HAL::Input::MOUSE);
    EXPECT_EQ(another->getAxisState('Q'), 0.0f);
}

TEST_F(SDLInputTest, CodesOutsideTheTablesUnknownDevicesAndMissingGamepads) {
    EXPECT_EQ(keyboard->getAxisState(278), 0.0f);
    for (int code : {279, -1, 100000})
        EXPECT_EQ(messageOf([&] { keyboard->getAxisState(code); }),
                  "HAL : getAxisState failed because parameter is invalid")
            << code;
    for (int code : {254, 260, 264})
        EXPECT_EQ(mouse->getAxisState(code), 0.0f) << "mouse code " << code;

    core::Ref<HAL::Input> unknown = HAL::Input::createInputHandle(2);
    StderrCapture cap;
    EXPECT_EQ(unknown->getAxisState(HAL::MOUSE_X), 0.0f);
    EXPECT_NE(cap.finish().find(" ERROR  |HAL:readInput : unknown input_dev_id\n"), std::string::npos);

    core::Ref<HAL::Input> pad = HAL::Input::createInputHandle(6);
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
        int pads = SDL_NumJoysticks();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        if (pads > 3) GTEST_SKIP() << "a fourth gamepad is attached";
    }
    EXPECT_EQ(messageOf([&] { pad->getAxisState(HAL::MOUSE_X); }), "HAL: gamepad reading error");
}

} // namespace
