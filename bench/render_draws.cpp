// Draw-call cost of the renderer: 1,000 small meshes (~100 triangles each)
// per frame, each with its own transform, on a 64 x 64 window so that
// rasterisation does not hide the engine's own work. Compared with a bare GL
// loop that binds the same buffers and uploads one matrix per draw.
#include "GLBench.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/Mesh.h"
#include "render/OGLES2_Graphics3D.h"
#include <benchmark/benchmark.h>
#include <vector>

using namespace render;

namespace {

const int MESHES = 1000;
const int GRID = 8;         // 8 x 8 vertices
const int CELLS = GRID - 1; // 7 x 7 quads = 98 triangles per mesh

const char* VS = "void main()\n"
                 "{\n"
                 "    m3g_out_vColor = m3g_vertexColor;\n"
                 "    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);\n"
                 "}\n";
const char* FS = "void main() { gl_FragColor = m3g_out_vColor; }\n";

struct World : GLBench {
    std::vector<core::Ref<VertexBuffer>> vbs;
    std::vector<core::Ref<IndexBuffer>> ibs;
    std::vector<slm::mat4> transforms;
    core::Ref<Appearance> shared, other;
    core::Ref<Camera> camera;

    World() {
        camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.0f, 1.0f, 100.0f);

        // One small grid mesh shape, each mesh with its own buffers (as loaded scenes have).
        std::vector<short> p;
        for (int y = 0; y < GRID; ++y)
            for (int x = 0; x < GRID; ++x) {
                p.push_back((short)(x * 100 - 350));
                p.push_back((short)(y * 100 - 350));
                p.push_back(0);
            }
        std::vector<unsigned short> idx;
        for (int y = 0; y < CELLS; ++y)
            for (int x = 0; x < CELLS; ++x) {
                unsigned short a = (unsigned short)(y * GRID + x), b = (unsigned short)(a + 1),
                               c = (unsigned short)(a + GRID + 1), d = (unsigned short)(a + GRID);
                for (unsigned short k : {a, b, c, a, c, d}) idx.push_back(k);
            }
        for (int i = 0; i < MESHES; ++i) {
            VertexArray* a = M3D_NEW VertexArray(GRID * GRID, 3, 2);
            a->set(0, GRID * GRID, p.data());
            VertexBuffer* vb = M3D_NEW VertexBuffer();
            vb->setPositions(a, 0.001f, nullptr);
            vb->setDefaultColor(0xFF000000u | (unsigned)(i * 2654435761u >> 8));
            vbs.push_back(vb);
            ibs.push_back(M3D_NEW TriangleListArray(idx.data(), (int)idx.size()));
            float x = (float)(i % 40) * 0.5f - 10.0f, y = (float)(i / 40) * 0.5f - 6.0f;
            transforms.push_back(slm::translation(slm::vec3(x, y, -20.0f - (float)(i % 7))) *
                                 slm::rotation_z((float)i * 0.01f));
        }
        auto appearance = [&](int blending) {
            Appearance* a = M3D_NEW Appearance();
            core::Ref<VertexShader> v(M3D_NEW VertexShader(VS));
            core::Ref<FragmentShader> f(M3D_NEW FragmentShader(FS));
            a->setShaderProgram(g->createNewShaderProgram(v.get(), f.get(), false));
            a->setCompositingMode(M3D_NEW CompositingMode());
            a->getCompositingMode()->setBlending(blending);
            a->setPolygonMode(M3D_NEW PolygonMode());
            a->getPolygonMode()->setCulling(PolygonMode::CULL_NONE);
            a->setMaterial(M3D_NEW Material());
            return a;
        };
        shared = appearance(CompositingMode::REPLACE);
        other = appearance(CompositingMode::ALPHA);
        // One frame so every buffer is packed before timing.
        frame(false);
    }

    void frame(bool alternate) {
        g->setCamera(camera.get(), slm::mat4());
        g->clearBuffers(0xFF203040u, true, true);
        for (int i = 0; i < MESHES; ++i)
            g->renderSubmesh(vbs[i].get(), ibs[i].get(), alternate && (i & 1) ? other.get() : shared.get(),
                             transforms[i], -1);
        glFinish();
    }

    // The same buffers, the shared appearance's program and state, one matrix per draw.
    void bareFrame() {
        ShaderProgram* program = shared->getShaderProgram();
        GLuint name = program->getGLName();
        GLint position = program->getLocation(ShaderProgram::POSITION);
        GLint mvp = program->getLocation(ShaderProgram::MODEL_VIEW_PROJECTION);
        pglUseProgram(name);
        glClearColor(0.125f, 0.1875f, 0.25f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        pglEnableVertexAttribArray((GLuint)position);
        slm::mat4 viewProjection = camera->getProjectionMatrix();
        slm::mat4 decode = slm::scale(0.001f);
        for (int i = 0; i < MESHES; ++i) {
            pglBindBuffer(GL_ARRAY_BUFFER, (GLuint)vbs[i]->getVBO().name);
            pglVertexAttribPointer((GLuint)position, 3, GL_SHORT, GL_FALSE, 0, nullptr);
            pglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, (GLuint)ibs[i]->getVBO().name);
            slm::mat4 m = viewProjection * transforms[i] * decode;
            pglUniformMatrix4fv(mvp, 1, GL_FALSE, m.m);
            glDrawElements(GL_TRIANGLES, CELLS * CELLS * 6, GL_UNSIGNED_SHORT, nullptr);
        }
        glFinish();
        // Leave GL as the engine's caches expect it.
        g->invalidateStateCache();
    }
};

World& world() {
    static World* w = new World();
    return *w;
}

void report(benchmark::State& state) {
    state.counters["draws_per_frame"] = (double)MESHES;
    state.counters["time_per_draw"] =
        benchmark::Counter((double)MESHES, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EngineSharedAppearance(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) w.frame(false);
    report(state);
}

void BM_EngineAlternatingAppearances(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) w.frame(true);
    report(state);
}

void BM_BareGLLoop(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) w.bareFrame();
    report(state);
}

BENCHMARK(BM_BareGLLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineSharedAppearance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineAlternatingAppearances)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareGLLoop)->Unit(benchmark::kMillisecond)->Name("BM_BareGLLoop_again");

} // namespace

BENCHMARK_MAIN();
