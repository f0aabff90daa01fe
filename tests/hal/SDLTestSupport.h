// A running engine core with the parts the window layer needs: the input
// state and the display list in the engine globals.
#pragma once
#include "core/Vector.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/InputState.h"
#include "support/EngineFixture.h"
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

    EngineCore core;
};

} // namespace testsupport
