#include "hal/sdl/SDLDisplay.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "hal/sdl/GLEntryPoints.h"
#include "hal/sdl/InputState.h"
#include "hal/sdl/Platform.h"
#include <SDL.h>
#include <cstring>

namespace HAL {

namespace {

[[noreturn]] void fail(const char* message) { throw HALException("UNKNOWN", "UNKNOWN", 0, message); }

// The configured title is Latin-1; SDL wants UTF-8 (at most two bytes per character).
char* latin1ToUtf8(const char* text) {
    int n = (int)std::strlen(text);
    char* out = static_cast<char*>(core::memoryManager().hwMemAlloc(2 * n + 2, M3D_HERE));
    char* p = out;
    for (int i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            *p++ = (char)c;
        } else {
            *p++ = (char)(0xC0 | (c >> 6));
            *p++ = (char)(0x80 | (c & 0x3F));
        }
    }
    *p = 0;
    return out;
}

void setPixelFormat(int depthBits) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
}

void* getProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

SDLDisplay* displayOfWindow(Uint32 windowId) {
    core::Vector<Display*>* displays = displayList();
    if (!displays || windowId == 0) return nullptr;
    core::Vector<Display*>& list = *displays;
    for (int i = 0; i < list.size(); ++i) {
        SDLDisplay* d = static_cast<SDLDisplay*>(list[i]);
        if (d->getWindowId() == windowId) return d;
    }
    return nullptr;
}

Uint32 windowOfEvent(const SDL_Event& e) {
    switch (e.type) {
    case SDL_WINDOWEVENT: return e.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    default: return 0;
    }
}

} // namespace

Display* Display::createDisplayHandle(const DisplayConfig* config) {
    DisplayConfig defaults;
    return M3D_NEW SDLDisplay(config ? *config : defaults);
}

SDLDisplay::SDLDisplay(const DisplayConfig& config) : Display(config) {
    try {
        open();
    } catch (...) {
        // The destructor does not run for a failed constructor: undo here.
        release();
        throw;
    }
}

void SDLDisplay::open() {
    m_videoSystem = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!m_videoSystem) core::log(core::LOG_ERROR, "SDL video system: %s\n", SDL_GetError());
    if (m_config.windowHandle) {
        // A host's window: adopt it, place it, and leave its pixel format alone.
        m_external = true;
        m_window = m_videoSystem ? SDL_CreateWindowFrom(m_config.windowHandle) : nullptr;
        if (!m_window) {
            core::log(core::LOG_ERROR, "createWindow failed: %s\n", SDL_GetError());
            fail("Display constructor can not create a window");
        }
        SDL_SetWindowPosition(m_window, m_config.x, m_config.y);
        SDL_SetWindowSize(m_window, m_config.width, m_config.height);
        SDL_SetWindowTitle(m_window, " ");
    } else {
        if (!m_config.title) {
            core::log(core::LOG_ERROR, "Display constructor failed (title error)\n");
            fail("Display constructor can not init a display");
        }
        if (m_config.title[0] == 0) fail("Display constructor can not init a display because title length is 0");
        m_title = latin1ToUtf8(m_config.title);
        if (m_config.colorDepth == 0) {
            SDL_DisplayMode desktop;
            if (m_videoSystem && SDL_GetDesktopDisplayMode(0, &desktop) == 0)
                m_config.colorDepth = (unsigned char)SDL_BITSPERPIXEL(desktop.format);
        }
        createWindow();
        core::log(core::LOG_PLATFORM, "Display constructor ok (%d,%d,%d,%d (%dbit))\n", m_config.x, m_config.y, m_config.width,
                  m_config.height, m_config.colorDepth);
    }
    if (m_config.windowed == 0) {
        setFullscreen(true, m_config.colorDepth);
    } else {
        SDL_ShowCursor(m_config.cursorVisible ? SDL_ENABLE : SDL_DISABLE);
    }
    SDL_ShowWindow(m_window);
}

void SDLDisplay::createWindow() {
    core::log(core::LOG_PLATFORM, "createWindow %d %d %d %d\n", m_config.x, m_config.y, m_config.width, m_config.height);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (m_config.windowed == 1) flags |= SDL_WINDOW_RESIZABLE;
    if (m_videoSystem && (m_config.windowed == 0 || m_config.windowed == 1)) {
        // The depth buffer asks for the colour depth; where the driver has no
        // such format (32 is rare), 24 bits.
        setPixelFormat(m_config.colorDepth);
        m_window = SDL_CreateWindow(m_title, m_config.x, m_config.y, m_config.width, m_config.height, flags);
        if (!m_window && m_config.colorDepth != 24) {
            setPixelFormat(24);
            m_window = SDL_CreateWindow(m_title, m_config.x, m_config.y, m_config.width, m_config.height, flags);
        }
    }
    if (!m_window) {
        core::log(core::LOG_ERROR, "createWindow failed: %s\n", m_videoSystem ? SDL_GetError() : "no video system");
        fail("Display constructor can not create a window");
    }
    SDL_RaiseWindow(m_window);
    core::log(core::LOG_PLATFORM, "createWindow ok\n");
}

SDLDisplay::~SDLDisplay() {
    if (!m_external && m_window && m_config.windowed == 0) {
        try {
            setFullscreen(false, 0);
        } catch (const HALException&) {
            // Logged by setFullscreen; the window goes anyway.
        }
    }
    bool own = !m_external && m_window;
    release();
    if (own) core::log(core::LOG_PLATFORM, "HAL::deinitDisplay ok\n");
}

void SDLDisplay::release() {
    deleteGLContext();
    // For a host's window only SDL's record of it goes; the window stays.
    if (m_window) SDL_DestroyWindow(m_window);
    m_window = nullptr;
    if (m_title) core::memoryManager().hwMemFree(m_title, M3D_HERE);
    m_title = nullptr;
    if (m_videoSystem) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    m_videoSystem = false;
}

unsigned SDLDisplay::getWindowId() const { return m_window ? SDL_GetWindowID(m_window) : 0; }

void SDLDisplay::clientSize(int& width, int& height) const {
    SDL_GetWindowSize(m_window, &width, &height);
}

void SDLDisplay::setFullscreen(bool on, int bits) {
    if (on == m_fullscreenActive || !m_window) return;
    m_fullscreenActive = on;
    if (on) {
        core::log(core::LOG_PLATFORM, "setFullscreen ON\n");
        SDL_DisplayMode mode = {};
        mode.format = bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
        mode.w = m_config.width;
        mode.h = m_config.height;
        SDL_DisplayMode closest;
        int screen = SDL_GetWindowDisplayIndex(m_window);
        bool offered = SDL_GetClosestDisplayMode(screen < 0 ? 0 : screen, &mode, &closest) != nullptr &&
                       closest.w == mode.w && closest.h == mode.h;
        if (!offered || SDL_SetWindowDisplayMode(m_window, &closest) != 0 ||
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN) != 0) {
            core::log(core::LOG_ERROR, "setFullscreen failed (check display resolution)!\n");
            fail("HAL: can not set fullscreen mode");
        }
        SDL_ShowWindow(m_window);
        SDL_RaiseWindow(m_window);
        SDL_ShowCursor(m_config.cursorVisible ? SDL_ENABLE : SDL_DISABLE);
    } else {
        SDL_MinimizeWindow(m_window);
        core::log(core::LOG_PLATFORM, "setFullscreen OFF\n");
        if (SDL_SetWindowFullscreen(m_window, 0) != 0) {
            core::log(core::LOG_ERROR, "setFullscreen OFF failed!\n");
            fail("HAL: can not set fullscreen OFF");
        }
        SDL_ShowCursor(SDL_ENABLE);
    }
}

bool SDLDisplay::createGLContext() {
    if (m_glContext) return makeCurrent();
    SDL_GLContext context = SDL_GL_CreateContext(m_window);
    if (!context) {
        core::log(core::LOG_WARNING, "SDL_GL_CreateContext failed: %s\n", SDL_GetError());
        return false;
    }
    m_glContext = context;
    m_glWindow = m_window;
    m_glDeviceContext = m_window;
    return true;
}

bool SDLDisplay::makeCurrent() {
    return m_glContext && SDL_GL_MakeCurrent(m_window, static_cast<SDL_GLContext>(m_glContext)) == 0;
}

void SDLDisplay::swapBuffers() {
    if (m_glContext) SDL_GL_SwapWindow(m_window);
}

void SDLDisplay::deleteGLContext() {
    if (!m_glContext) return;
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_glContext));
    m_glContext = nullptr;
    m_glWindow = nullptr;
    m_glDeviceContext = nullptr;
}

void SDLDisplay::loadGLFunctions() { loadGLEntryPoints(getProcAddress); }

void SDLDisplay::handleEvent(const SDL_Event& e) {
    InputState* input = inputState();
    int width = 1, height = 1;
    if (e.type != SDL_WINDOWEVENT) clientSize(width, height);
    switch (e.type) {
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: postEvent(OSEVENT_QUIT, 0, 0); break;
        case SDL_WINDOWEVENT_MOVED:
            m_config.x = (short)e.window.data1;
            m_config.y = (short)e.window.data2;
            postEvent(OSEVENT_MOVED, m_config.x, m_config.y);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            m_config.width = (short)e.window.data1 > 0 ? (short)e.window.data1 : 1;
            m_config.height = (short)e.window.data2 > 0 ? (short)e.window.data2 : 1;
            postEvent(OSEVENT_RESIZED, m_config.width, m_config.height);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            SDL_RaiseWindow(m_window);
            if (m_config.windowed == 0) setFullscreen(true, m_config.colorDepth);
            postEvent(OSEVENT_RESUME, 0, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Keys held while switching away read as released.
            if (input) clearInputState(*input);
            if (m_config.windowed == 0) setFullscreen(false, 0);
            postEvent(OSEVENT_SUSPEND, 0, 0);
            break;
        default: break;
        }
        break;
    case SDL_KEYDOWN:
        if (input && !e.key.repeat) inputKeyDown(*input, virtualKeyFromSDL(e.key.keysym.sym));
        break;
    case SDL_KEYUP:
        if (input) inputKeyUp(*input, virtualKeyFromSDL(e.key.keysym.sym));
        break;
    case SDL_MOUSEMOTION:
        if (input) inputCursorMove(*input, e.motion.x, e.motion.y, width, height, e.motion.state != 0);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        int code = e.button.button == SDL_BUTTON_LEFT    ? MOUSE_LEFT
                   : e.button.button == SDL_BUTTON_RIGHT ? MOUSE_RIGHT
                   : e.button.button == SDL_BUTTON_MIDDLE ? MOUSE_MIDDLE
                                                          : 0;
        if (!code) break;
        // While the left button is held the window keeps the mouse, so
        // positions outside it still arrive (and are clamped).
        if (code == MOUSE_LEFT) SDL_CaptureMouse(down ? SDL_TRUE : SDL_FALSE);
        if (input) inputButton(*input, code, down, e.button.x, e.button.y, width, height);
        break;
    }
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (input) inputWheel(*input, notches * 120, width, height);
        break;
    }
    default: break;
    }
}

// ---- process-level services ------------------------------------------------

void getDesktopSize(int& width, int& height) {
    width = height = 0;
    // The video system stays up: the display opened next reuses it.
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
}

bool pumpMessages() {
    SDL_Event e;
    for (int i = 0; i < 10 && SDL_PollEvent(&e); ++i) {
        if (e.type == SDL_QUIT) return false;
        SDLDisplay* d = displayOfWindow(windowOfEvent(e));
        if (d) d->handleEvent(e);
    }
    return true;
}

bool isEscapeKeyDown() {
    InputState* s = inputState();
    if (s && s->keys[KEY_ESCAPE]) return true;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    return keys && keys[SDL_SCANCODE_ESCAPE];
}

void shutdownPlatform() { SDL_Quit(); }

} // namespace HAL
