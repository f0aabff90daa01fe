// Test support: a HAL::Display over a hidden SDL window with an OpenGL 2.1
// compatibility context. Header-only so only GL test programs pull in SDL.
#pragma once
#include "hal/sdl/Display.h"
#include "hal/sdl/GLEntryPoints.h"
#include <SDL.h>
#include <stdexcept>
#include <string>

namespace testsupport {

class GLTestDisplay : public HAL::Display {
public:
    GLTestDisplay(int width, int height) : HAL::Display(configFor(width, height)) {
        keepVideoAndGLLoaded();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        m_window = SDL_CreateWindow("pelloran test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                    height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_window) throw std::runtime_error(std::string("SDL window: ") + SDL_GetError());
    }
    ~GLTestDisplay() override {
        deleteGLContext();
        SDL_DestroyWindow(m_window);
    }

    bool createGLContext() override {
        m_context = SDL_GL_CreateContext(m_window);
        m_glContext = m_context;
        return m_context && SDL_GL_MakeCurrent(m_window, m_context) == 0;
    }
    bool makeCurrent() override { return m_context && SDL_GL_MakeCurrent(m_window, m_context) == 0; }
    void swapBuffers() override { SDL_GL_SwapWindow(m_window); }
    void deleteGLContext() override {
        if (m_context) SDL_GL_DeleteContext(m_context);
        m_context = nullptr;
        m_glContext = nullptr;
    }
    void loadGLFunctions() override { HAL::loadGLEntryPoints(&SDL_GL_GetProcAddress); }

private:
    // SDL video and the GL library stay up for the whole program: the driver
    // loads once, and what it keeps until exit stays attributable to it.
    static void keepVideoAndGLLoaded() {
        static bool ready = [] {
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
            return SDL_GL_LoadLibrary(nullptr) == 0;
        }();
        if (!ready) throw std::runtime_error(std::string("SDL video / GL library: ") + SDL_GetError());
    }
    static HAL::DisplayConfig configFor(int width, int height) {
        HAL::DisplayConfig c;
        c.width = width;
        c.height = height;
        c.colorDepth = 24;
        return c;
    }
    SDL_Window* m_window = nullptr;
    SDL_GLContext m_context = nullptr;
};

} // namespace testsupport
