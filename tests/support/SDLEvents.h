// Test support: synthesized SDL events for a window, and the headless video
// driver (SDL's offscreen one unless SDL_VIDEODRIVER names another).
#pragma once
#include <SDL.h>
#include <cstdlib>
#include <dlfcn.h>

namespace testsupport {

// SDL unloads the GL driver when the last GL window closes; pinned, its
// libraries stay mapped, so the leak checker can still name what they leave.
inline void pinGLDriver() {
    static bool pinned = false;
    if (pinned) return;
    pinned = true;
    const char* libraries[] = {"libEGL.so.1",      "libEGL_mesa.so.0", "libgbm.so.1",   "libGLX.so.0",
                               "libGLX_mesa.so.0", "libGL.so.1",       "libglapi.so.0", "swrast_dri.so"};
    for (const char* name : libraries)
        dlopen(name, RTLD_LAZY | RTLD_NODELETE);
}

inline void useHeadlessVideo() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    pinGLDriver();
}

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
