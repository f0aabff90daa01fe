#include "hal/sdl/SDLInput.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "hal/sdl/InputState.h"
#include <SDL.h>

namespace HAL {

Input* Input::createInputHandle(int deviceId) {
    SDLInput* input = M3D_NEW SDLInput(deviceId);
    InputState* s = inputState();
    if (s && !s->handleCreated) {
        s->handleCreated = true;
        clearInputState(*s);
    }
    return input;
}

SDLInput::SDLInput(int deviceId) { m_deviceId = deviceId; }

SDLInput::~SDLInput() {
    if (m_joystick) SDL_JoystickClose(m_joystick);
    if (m_joystickSystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

float SDLInput::getAxisState(int code) {
    InputState* s = inputState();
    switch (m_deviceId) {
    case KEYBOARD:
        if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
        if (code < 0 || code >= KEY_CODE_COUNT)
            throw HALException("UNKNOWN", "UNKNOWN", 0, "HAL : getAxisState failed because parameter is invalid");
        return s && s->keys[code] ? 1.0f : 0.0f;
    case MOUSE: {
        if (!s || code < MOUSE_X || code > MOUSE_MIDDLE) return 0.0f;
        float v = s->axis(code);
        if (code == MOUSE_DX || code == MOUSE_DY) {
            // Each change is read once.
            s->axis(code) = 0.0f;
            s->lastAxisCode = 0;
            s->lastAxisValue = 0.0f;
        }
        return v;
    }
    case 3:
    case 4:
    case 5:
    case 6:
        return readGamepad(code);
    default:
        core::log(core::LOG_ERROR, "HAL:readInput : unknown input_dev_id\n");
        return 0.0f;
    }
}

float SDLInput::readGamepad(int code) {
    if (!m_joystick) {
        if (!m_joystickSystem) m_joystickSystem = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
        if (m_joystickSystem) m_joystick = SDL_JoystickOpen(m_deviceId - 3);
        if (!m_joystick) throw HALException("UNKNOWN", "UNKNOWN", 0, "HAL: gamepad reading error");
    }
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(m_joystick)) throw HALException("UNKNOWN", "UNKNOWN", 0, "HAL: gamepad reading error");
    if (code >= MOUSE_X && code <= MOUSE_WHEEL) {
        int raw = SDL_JoystickGetAxis(m_joystick, code - MOUSE_X); // -32768 ... 32767
        return (float)(raw + 32768) / 65535.0f * 2.0f - 1.0f;
    }
    if (code >= 261 && code <= 268) return SDL_JoystickGetButton(m_joystick, code - 261) ? 1.0f : 0.0f;
    core::log(core::LOG_WARNING, "unsupported gamepad ID = %d axis id = %d\n", m_deviceId, code);
    return 0.0f;
}

} // namespace HAL
