// Test support: synthesized SDL events (SDL_PushEvent) for a window, and the
// headless video driver. Tests that open windows run on SDL's offscreen
// driver unless SDL_VIDEODRIVER names another one.
#pragma once
#include <SDL.h>
#include <cstdlib>

namespace testsupport {

inline void useHeadlessVideo() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

inline void pushKey(Uint32 window, SDL_Keycode key, bool down, bool repeat = false) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = window;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    SDL_PushEvent(&e);
}

inline void pushMotion(Uint32 window, int x, int y, Uint32 buttons = 0) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = window;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = buttons;
    SDL_PushEvent(&e);
}

inline void pushButton(Uint32 window, Uint8 button, bool down, int x, int y) {
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = window;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

inline void pushWheel(Uint32 window, int notches) {
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = window;
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&e);
}

inline void pushWindowEvent(Uint32 window, Uint8 event, int data1 = 0, int data2 = 0) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window;
    e.window.event = event;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

inline void pushQuit() {
    SDL_Event e = {};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}

// Drops every event the window system has queued so far.
inline void drainEvents() {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

} // namespace testsupport
