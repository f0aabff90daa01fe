// The least any SDL2 program can do to show one GL frame here: start, bring
// up the video system, open a GL window, create a context, clear, present once
// and quit. bench_demo_frames times this whole process beside our demo's and
// LÖVE's start-ups: it is the part of every start-up that no engine built on
// SDL2 and this GL can get under.
// Arguments: width height (default 1024 768).
#include <SDL.h>
#include <SDL_opengl.h>
#include <cstdlib>

int main(int argc, char** argv) {
    int width = argc > 2 ? std::atoi(argv[1]) : 1024;
    int height = argc > 2 ? std::atoi(argv[2]) : 768;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("floor", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                          SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    int rc = context ? 0 : 2;
    if (context) {
        glClearColor(0.08f, 0.08f, 0.10f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
        SDL_GL_DeleteContext(context);
    }
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
    return rc;
}
