// HAL::Input: one input device read through a single query, getAxisState(code).
// Device ids: 0 keyboard, 1 mouse, 3-6 gamepads 0-3; any other id reads 0.
// Keyboard and mouse read the engine's input state (InputState.h); gamepads
// are polled when read.
#pragma once
#include "core/Object.h"

namespace HAL {

class Input : public core::Object {
public:
    enum DeviceId { KEYBOARD = 0, MOUSE = 1, GAMEPAD_0 = 3, GAMEPAD_3 = 6 };

    // A handle for `deviceId` from the pool; the first handle of an engine
    // clears its input state. The caller takes the first reference.
    static Input* createInputHandle(int deviceId);

    virtual ~Input() {}
    // Keyboard: 1.0 while the key is down ('a'-'z' read as 'A'-'Z'); a code
    // outside 0 ... 278 throws HAL::HALException. Mouse: the value of the mouse
    // code (MOUSE_DX / MOUSE_DY reset to 0 when read); other codes read 0.
    // Gamepad: axes 255-257 in -1 ... 1, buttons 261-268; a pad that cannot be
    // read throws HAL::HALException "HAL: gamepad reading error".
    virtual float getAxisState(int code) = 0;
    int getDeviceId() const { return m_deviceId; }

protected:
    int m_deviceId = -1;
};

} // namespace HAL
