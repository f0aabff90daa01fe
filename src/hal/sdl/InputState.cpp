#include "hal/sdl/InputState.h"
#include "core/EngineGlobals.h"

namespace HAL {

InputState* inputState() {
    core::EngineGlobals* g = core::engineGlobals();
    return g ? static_cast<InputState*>(g->input) : nullptr;
}

void clearInputState(InputState& s) {
    for (unsigned char& k : s.keys) k = 0;
    for (float& a : s.axes) a = 0.0f;
    s.lastKeyCode = 0;
    s.lastKeyValue = 0.0f;
    s.lastAxisCode = 0;
    s.lastAxisValue = 0.0f;
}

void inputKeyDown(InputState& s, int code) {
    if (code < 0 || code >= InputState::KEY_COUNT) return;
    s.keys[code] = 1;
    s.lastKeyCode = code;
    s.lastKeyValue = 1.0f;
}

void inputKeyUp(InputState& s, int code) {
    if (code < 0 || code >= InputState::KEY_COUNT) return;
    s.keys[code] = 0;
    s.lastKeyCode = code;
    s.lastKeyValue = 0.0f;
}

namespace {

float clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

void store(InputState& s, int code, float value) {
    s.axis(code) = value;
    s.lastAxisCode = code;
    s.lastAxisValue = value;
}

void updateTouch(InputState& s, float x, float y, float pressed) {
    if (s.touches.size() == 0) {
        TouchScreenData t = {0, 0, x, y, 0, 0, 0};
        s.touches.append(t);
    }
    TouchScreenData& t = s.touches[0];
    t.dx = x - t.x;
    t.dy = y - t.y;
    if (pressed != t.pressed) {
        t.pressX = x;
        t.pressY = y;
        t.dx = t.dy = 0.0f;
    }
    t.pressed = pressed;
    t.x = x;
    t.y = y;
}

} // namespace

void inputCursorMove(InputState& s, int x, int y, int width, int height, bool pressed) {
    s.lastCursorX = x;
    s.lastCursorY = y;
    // A zero-sized (minimised) client area counts as one pixel.
    float fx = clamp((float)x / (float)(width > 0 ? width : 1), 0.0f, 1.0f);
    float fy = clamp((float)y / (float)(height > 0 ? height : 1), 0.0f, 1.0f);
    float dx = fx - s.axis(MOUSE_X);
    float dy = fy - s.axis(MOUSE_Y);
    store(s, MOUSE_X, fx);
    store(s, MOUSE_Y, fy);
    store(s, MOUSE_DX, dx);
    store(s, MOUSE_DY, dy);
    updateTouch(s, fx, fy, pressed ? 1.0f : 0.0f);
}

void inputButton(InputState& s, int code, bool down, int x, int y, int width, int height) {
    store(s, code, down ? 1.0f : 0.0f);
    // Only the left button presses the touch point.
    inputCursorMove(s, x, y, width, height, code == MOUSE_LEFT && down);
}

void inputWheel(InputState& s, int units, int width, int height) {
    store(s, MOUSE_WHEEL, clamp(s.axis(MOUSE_WHEEL) + (float)units / 32767.0f, -1.0f, 1.0f));
    inputCursorMove(s, s.lastCursorX, s.lastCursorY, width, height, false);
}

} // namespace HAL
