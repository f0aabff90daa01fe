// Animation costs: CPU skinning of 10,000 vertices bound to two bones each
// against a plain GLM loop doing the same arithmetic (bone matrix × bone-space
// position, weighted sum, divide, range, quantise to 16 bits), timed in turn
// in one run and reported as the median ratio `over_reference`; and animate
// of 300 tracks on 100 nodes, with the pool allocations per call.
#include "HeadlessCore.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "render/AnimationTrack.h"
#include "render/SkinnedMesh.h"
#include "render/World.h"
#include <benchmark/benchmark.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

const int VERTICES = 10000;

// The reference: the same data laid out as a GLM program would.
struct Binding {
    glm::vec4 position;
    int bone;
    float weight;
};

struct Reference {
    std::vector<Binding> bindings; // two per vertex
    std::vector<glm::vec4> skinned;
    std::vector<int16_t> out;
    float scale = 1.0f;

    void run(const glm::mat4* bones) {
        float largest = 0.0f;
        for (int v = 0; v < VERTICES; ++v) {
            glm::vec4 sum(0.0f);
            float total = 0.0f;
            for (int k = 2 * v; k < 2 * v + 2; ++k) {
                sum += (bones[bindings[k].bone] * bindings[k].position) * bindings[k].weight;
                total += bindings[k].weight;
            }
            glm::vec4 p = sum * (1.0f / total);
            skinned[v] = p;
            largest = std::max(largest, std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z))));
        }
        float q = 32767.0f / largest;
        for (int v = 0; v < VERTICES; ++v)
            for (int a = 0; a < 3; ++a) out[3 * v + a] = (int16_t)(skinned[v][a] * q);
        scale = 1.0f / q;
    }
};

void BM_SkinningOverReference(benchmark::State& state) {
    tools::HeadlessCore e(40 * 1024 * 1024);
    std::mt19937 rnd(3);
    std::uniform_int_distribution<int> coord(-20000, 20000);
    {
        std::vector<short> p(3 * VERTICES);
        for (short& s : p) s = (short)coord(rnd);
        render::VertexArray* a = M3D_NEW render::VertexArray(VERTICES, 3, 2);
        a->set(0, VERTICES, p.data());
        core::Ref<render::VertexBuffer> vb(M3D_NEW render::VertexBuffer());
        vb->setPositions(a, 0.001f, nullptr);
        core::Ref<render::Group> skeleton(M3D_NEW render::Group());
        render::Group* bones[2] = {M3D_NEW render::Group(), M3D_NEW render::Group()};
        skeleton->addChild(bones[0]);
        skeleton->addChild(bones[1]);
        bones[1]->setTranslation(slm::vec3(1, 0, 0));
        render::IndexBuffer* none = nullptr;
        render::Appearance* noAppearance = nullptr;
        core::Ref<render::SkinnedMesh> mesh(
            M3D_NEW render::SkinnedMesh(vb.get(), &none, &noAppearance, 0, skeleton.get()));
        mesh->addTransform(bones[0], 1, 0, VERTICES);
        mesh->addTransform(bones[1], 3, 0, VERTICES);

        Reference ref;
        ref.skinned.resize(VERTICES);
        ref.out.resize(3 * VERTICES);
        glm::mat4 bind[2] = {glm::mat4(1.0f), glm::translate(glm::mat4(1.0f), glm::vec3(1, 0, 0))};
        for (int v = 0; v < VERTICES; ++v) {
            glm::vec4 rest(p[3 * v] * 0.001f, p[3 * v + 1] * 0.001f, p[3 * v + 2] * 0.001f, 1.0f);
            ref.bindings.push_back({glm::inverse(bind[0]) * rest, 0, 1.0f});
            ref.bindings.push_back({glm::inverse(bind[1]) * rest, 1, 3.0f});
        }

        std::vector<double> ours, theirs, ratios;
        int time = 0;
        for (auto _ : state) {
            ++time;
            slm::vec3 t0(0.01f * (float)(time % 7), 0.5f, 0.0f), t1(1.0f, 0.02f * (float)(time % 5), 0.3f);
            bones[0]->setTranslation(t0);
            bones[1]->setTranslation(t1);
            glm::mat4 m[2] = {glm::translate(glm::mat4(1.0f), glm::vec3(t0.x, t0.y, t0.z)),
                              glm::translate(glm::mat4(1.0f), glm::vec3(t1.x, t1.y, t1.z))};
            auto a0 = std::chrono::steady_clock::now();
            ref.run(m);
            auto a1 = std::chrono::steady_clock::now();
            mesh->animate(time);
            auto a2 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(ref.out.data());
            double r = std::chrono::duration<double, std::micro>(a1 - a0).count();
            double o = std::chrono::duration<double, std::micro>(a2 - a1).count();
            ours.push_back(o);
            theirs.push_back(r);
            ratios.push_back(o / r);
        }
        state.counters["ours_us"] = median(ours);
        state.counters["reference_us"] = median(theirs);
        state.counters["over_reference"] = median(ratios);
    }
}

void BM_Animate300TracksOn100Nodes(benchmark::State& state) {
    tools::HeadlessCore e(40 * 1024 * 1024);
    {
        typedef render::KeyframeSequence KS;
        core::Ref<render::World> world(M3D_NEW render::World());
        core::Ref<KS> move(M3D_NEW KS(4, 3, KS::LINEAR));
        core::Ref<KS> turn(M3D_NEW KS(4, 4, KS::SLERP));
        core::Ref<KS> grow(M3D_NEW KS(4, 3, KS::SPLINE));
        for (int k = 0; k < 4; ++k) {
            float p[3] = {(float)k, (float)(k * k), 1.0f}, q[4] = {0.1f * k, 0.2f, 0.0f, 1.0f};
            move->setKeyframe(k, k * 250, p);
            turn->setKeyframe(k, k * 250, q);
            grow->setKeyframe(k, k * 250, p);
        }
        for (KS* s : {move.get(), turn.get(), grow.get()}) {
            s->setRepeatMode(KS::LOOP);
            s->setDuration(1000);
        }
        for (int n = 0; n < 100; ++n) {
            render::Group* node = M3D_NEW render::Group();
            world->addChild(node);
            int props[3] = {render::AnimationTrack::TRANSLATION, render::AnimationTrack::ORIENTATION,
                            render::AnimationTrack::SCALE};
            KS* seqs[3] = {move.get(), turn.get(), grow.get()};
            for (int i = 0; i < 3; ++i) {
                render::AnimationTrack* t = M3D_NEW render::AnimationTrack(seqs[i], props[i]);
                render::AnimationController* c = M3D_NEW render::AnimationController();
                c->setSpeed(1.0f + 0.01f * (float)n);
                t->setController(c);
                node->addAnimationTrack(t);
            }
        }
        world->animate(0);
        MemoryManager& mm = e.pool();
        int before = mm.getTotalAllocations();
        int time = 0;
        for (auto _ : state) world->animate(time += 16);
        state.counters["pool_allocs_per_call"] =
            (double)(mm.getTotalAllocations() - before) / (double)std::max<int64_t>(1, state.iterations());
    }
}

BENCHMARK(BM_SkinningOverReference)->Unit(benchmark::kMicrosecond)->Iterations(301);
BENCHMARK(BM_Animate300TracksOn100Nodes)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
