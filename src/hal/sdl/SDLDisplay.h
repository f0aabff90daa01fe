// HAL::SDLDisplay: the display on SDL2 — one SDL window with an OpenGL 2.1
// (compatibility) pixel format, full-screen switching, and the routing of the
// window's events into its event queue and the input state.
#pragma once
#include "hal/sdl/Display.h"

struct SDL_Window;
union SDL_Event;

namespace HAL {

class SDLDisplay : public Display {
public:
    // Opens (or, with an external window handle, adopts) the window. Failures
    // log their line and throw HAL::HALException:
    //   null title  -> "Display constructor can not init a display"
    //   empty title -> "Display constructor can not init a display because title length is 0"
    //   no window   -> "Display constructor can not create a window"
    //   full screen -> "HAL: can not set fullscreen mode"
    explicit SDLDisplay(const DisplayConfig& config);
    ~SDLDisplay() override;

    // Full screen at the configured size, or back to a (minimised) window.
    // Nothing happens when the state does not change.
    void setFullscreen(bool on, int bits) override;

    bool createGLContext() override;
    bool makeCurrent() override;
    void swapBuffers() override;
    void deleteGLContext() override;
    void loadGLFunctions() override;

    SDL_Window* getWindow() const { return m_window; }
    unsigned getWindowId() const;
    bool isFullscreenActive() const { return m_fullscreenActive; }

    // The window procedure: one event addressed to this display's window.
    void handleEvent(const SDL_Event& e);

private:
    void open();
    void createWindow();
    void release();
    void clientSize(int& width, int& height) const;

    SDL_Window* m_window = nullptr;
    char* m_title = nullptr; // the title as UTF-8 (the configured title is Latin-1), in the pool
    bool m_external = false;
    bool m_fullscreenActive = false;
    bool m_videoSystem = false;
};

} // namespace HAL
