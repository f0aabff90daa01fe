// HAL::SDLInput: keyboard and mouse over the input state the SDL event pump
// writes, and gamepads over SDL joysticks 0-3.
#pragma once
#include "hal/sdl/Input.h"

struct _SDL_Joystick;

namespace HAL {

class SDLInput : public Input {
public:
    explicit SDLInput(int deviceId);
    ~SDLInput() override;
    float getAxisState(int code) override;

private:
    float readGamepad(int code);

    _SDL_Joystick* m_joystick = nullptr;
    bool m_joystickSystem = false;
};

} // namespace HAL
