// render::GLCallCounters: a tally of the GL calls the renderer's back end
// actually issues, by kind. Every gl* call of the back end goes through
// M3D_GL(kind, call), so tests and the statistics can tell "the cache kept
// this call from the driver" from "the cache was trusted".
#pragma once

namespace render {

struct GLCallCounters {
    enum Kind {
        // State-changing calls (counted together by stateCalls()).
        Viewport,
        DepthMask,
        DepthFunc,
        DepthRange,
        ClearDepth,
        Enable, // glEnable / glDisable of any capability
        BlendFunc,
        ColorMask,
        PolygonOffset,
        CullFace,
        FrontFace,
        LineWidth,
        ClearColor,
        UseProgram,
        ActiveTexture,
        BindTexture,
        Stencil,
        TexEnv,
        PointSize,
        StateKinds,
        // Everything else.
        Uniform = StateKinds,
        BindBuffer,
        BufferData,
        MapBuffer,
        AttribPointer,
        AttribEnable,
        Draw,
        Clear,
        Framebuffer,
        Object, // create / compile / link / delete of shaders, programs and buffers
        Query,  // glGet*, glGetError, locations
        KindCount
    };

    int calls[KindCount];

    GLCallCounters() { reset(); }
    void reset() {
        for (int i = 0; i < KindCount; ++i) calls[i] = 0;
    }
    int stateCalls() const {
        int n = 0;
        for (int i = 0; i < StateKinds; ++i) n += calls[i];
        return n;
    }
    int total() const {
        int n = 0;
        for (int i = 0; i < KindCount; ++i) n += calls[i];
        return n;
    }
    int operator[](Kind k) const { return calls[k]; }
};

// The process-wide tally (the renderer is single-threaded).
GLCallCounters& glCallCounters();

} // namespace render

// Counts one call of `kind`, then makes it: M3D_GL(Viewport, glViewport(0, 0, w, h)).
#define M3D_GL(kind, call)                                                                         \
    (++::render::glCallCounters().calls[::render::GLCallCounters::kind], call)
