// A running engine core with the parts the window layer needs (the input
// state and the display list in the engine globals), and windows on it.
#pragma once
#include "hal/sdl/InputState.h"
#include "hal/sdl/SDLDisplay.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include "support/SDLEvents.h"

namespace testsupport {

class WindowSystemTest : public ::testing::Test {
protected:
    WindowSystemTest() : core(10240000, 0x10F) {
        useHeadlessVideo();
        core.globals().input = new HAL::InputState();
        core.globals().displays = M3D_NEW core::Vector<HAL::Display*>();
    }
    ~WindowSystemTest() override {
        drainEvents();
        delete HAL::displayList();
        core.globals().displays = nullptr;
        delete HAL::inputState();
        core.globals().input = nullptr;
    }
    HAL::InputState& input() { return *HAL::inputState(); }

    static HAL::DisplayConfig windowed(int width, int height) {
        HAL::DisplayConfig c;
        c.width = width;
        c.height = height;
        c.title = "Pelloran test";
        c.windowed = 1;
        return c;
    }

    // A window with an empty event queue; its id in `id`.
    static core::Ref<HAL::Display> openWindow(int width, int height, Uint32& id) {
        HAL::DisplayConfig c = windowed(width, height);
        core::Ref<HAL::Display> d = HAL::Display::createDisplayHandle(&c);
        id = static_cast<HAL::SDLDisplay*>(d.get())->getWindowId();
        drainEvents();
        d->getEvents().resize(0);
        return d;
    }

    EngineCore core;
};

} // namespace testsupport
