// HAL::InputState: the process-wide record the window layer writes key,
// button and cursor events into, and keyboard and mouse handles read.
// Owned by the engine globals (created at engine start-up, deleted at shut-down).
//
// Key codes follow the Windows virtual-key numbering: letters are their
// upper-case ASCII codes, digits their ASCII codes, Escape 271, Left 267,
// Right 268, Up 269, Down 270. Mouse values live in the axis table at the
// mouse codes below.
#pragma once
#include "core/Vector.h"

namespace HAL {

enum InputCode {
    KEY_LEFT = 267,
    KEY_RIGHT = 268,
    KEY_UP = 269,
    KEY_DOWN = 270,
    KEY_ESCAPE = 271,
    KEY_CODE_COUNT = 279, // valid keyboard codes: 0 ... 278
    MOUSE_X = 255,        // 0 ... 1 across the client area
    MOUSE_Y = 256,        // 0 ... 1, top = 0
    MOUSE_WHEEL = 257,    // summed notches (120 units each) / 32767, -1 ... 1
    MOUSE_DX = 258,       // change of x since the previous cursor event; read once
    MOUSE_DY = 259,
    MOUSE_LEFT = 261,
    MOUSE_RIGHT = 262,
    MOUSE_MIDDLE = 263,
};

// The emulated touch point that follows the mouse.
struct TouchScreenData {
    float dx, dy;         // change since the previous update
    float x, y;           // position, 0 ... 1
    float pressed;        // 1.0 or 0.0
    float pressX, pressY; // position where `pressed` last changed
};

struct InputState {
    static const int AXIS_COUNT = 200;
    static const int KEY_COUNT = 280;
    static const int AXIS_BASE = 200; // axis values hold codes AXIS_BASE ... AXIS_BASE + 199

    short desktopWidth = 0;
    short desktopHeight = 0;
    int reserved[2] = {0, 0};
    core::Vector<TouchScreenData> touches; // only entry 0 is used
    float lastAxisValue = 0.0f;            // the last mouse value written, and its code
    int lastAxisCode = 0;
    float axes[AXIS_COUNT] = {};
    unsigned char keys[KEY_COUNT] = {};
    int lastKeyCode = 0;
    float lastKeyValue = 0.0f;
    int lastCursorX = 0; // client pixels of the last cursor event (wheel events carry none)
    int lastCursorY = 0;
    bool handleCreated = false; // the first input handle clears the state

    float& axis(int code) { return axes[code - AXIS_BASE]; }
};

// The running engine's input state; null without one.
InputState* inputState();

// Clears every key, axis value and the last-written fields (first handle, focus loss).
void clearInputState(InputState& s);

// Window-layer updates; x, y are client pixels, width/height the client size.
void inputKeyDown(InputState& s, int code);
void inputKeyUp(InputState& s, int code);
void inputCursorMove(InputState& s, int x, int y, int width, int height, bool pressed);
void inputButton(InputState& s, int code, bool down, int x, int y, int width, int height);
void inputWheel(InputState& s, int units, int width, int height);

} // namespace HAL
