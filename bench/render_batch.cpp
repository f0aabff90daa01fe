// Batcher throughput: 10,000 lines per frame through the default batcher and
// 200 lines of overlay-sized text (about 40 characters each) per frame
// through the text batcher, each frame ending in a flush (one draw call per
// batch), on a 64 x 64 window so that rasterisation stays small. The
// "collect" variants leave out the flush: the cost of filling the batch alone.
#include "GLBench.h"
#include "render/Batcher.h"
#include "render/OGLES2_Graphics3D.h"
#include <benchmark/benchmark.h>
#include <vector>

using namespace render;

namespace {

const int LINES = 10000;
const int TEXT_LINES = 200;

struct World : GLBench {
    std::vector<slm::vec3> ends;
    std::vector<core::String> texts;
    std::vector<slm::mat4> places;

    World() {
        g->setCamera(nullptr, slm::mat4());
        for (int i = 0; i < LINES * 2; ++i) {
            float a = (float)i * 0.37f;
            ends.push_back(slm::vec3(0.9f * std::sin(a), 0.9f * std::cos(a * 1.3f), 0.0f));
        }
        for (int i = 0; i < TEXT_LINES; ++i) {
            core::String s;
            s.format("DRAW CALLS      : %i FPS : %i CAM 1.25", i * 7, 60 + i % 3);
            texts.push_back(s);
            places.push_back(slm::translation(slm::vec3(-1.0f, 1.0f - (float)i * 0.01f, 0.0f)) * slm::scale(0.005f));
        }
        lines(true);
        text(true);
    }

    void lines(bool draw) {
        g->clearBuffers(0xFF000000u, true, true);
        for (int i = 0; i < LINES; ++i) g->renderLine(ends[2 * i], ends[2 * i + 1], 0xFFFF0000u | (unsigned)i);
        if (draw) {
            g->flush();
            glFinish();
        } else {
            g->clearBatchers();
        }
    }

    void text(bool draw) {
        g->clearBuffers(0xFF000000u, true, true);
        for (int i = 0; i < TEXT_LINES; ++i) g->renderText(texts[i], true, places[i]);
        if (draw) {
            g->flush();
            glFinish();
        } else {
            g->clearBatchers();
        }
    }
};

World& world() {
    static World* w = new World();
    return *w;
}

void BM_Lines10kPerFrame(benchmark::State& state) {
    World& w = world();
    int draws = 0;
    for (auto _ : state) {
        int before = w.g->getStatistics().drawCalls;
        w.lines(true);
        draws = w.g->getStatistics().drawCalls - before;
    }
    state.counters["draw_calls"] = draws;
}

void BM_Lines10kCollectOnly(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) w.lines(false);
}

void BM_Text200LinesPerFrame(benchmark::State& state) {
    World& w = world();
    int draws = 0;
    for (auto _ : state) {
        int before = w.g->getStatistics().drawCalls;
        w.text(true);
        draws = w.g->getStatistics().drawCalls - before;
    }
    state.counters["draw_calls"] = draws;
}

void BM_Text200LinesCollectOnly(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) w.text(false);
}

BENCHMARK(BM_Lines10kPerFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lines10kCollectOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text200LinesPerFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text200LinesCollectOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
