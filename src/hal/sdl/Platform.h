// The window system's process-level services: desktop size, the message pump
// that feeds every display's event queue and the input state, the live state
// of the Escape key, and the final shut-down of the window system.
#pragma once

namespace HAL {

// The primary screen's size in pixels; 0 x 0 when no screen can be reached.
void getDesktopSize(int& width, int& height);

// Takes at most 10 waiting window-system events without blocking and routes
// each to the display it belongs to (events, input state). Answers false when
// a quit event was taken (the loop must stop), true otherwise.
bool pumpMessages();

// True while the Escape key is held down (the window system's key state, or
// the input state fed by the pump).
bool isEscapeKeyDown();

// Shuts the window system down for good (end of the process).
void shutdownPlatform();

// The Windows virtual-key code of an SDL key code; -1 for keys without one.
int virtualKeyFromSDL(int sdlKey);

} // namespace HAL
