// slm math throughput: the matrix product, inverse and determinant, vertex
// transforms, the viewing constructors, slerp and the segment tests. GLM's
// float versions of the same operations run beside them as a yardstick.
#include "slm/slm.h"

#include <benchmark/benchmark.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cstring>
#include <random>
#include <vector>

namespace {

const int N = 1024;

struct Inputs {
    std::vector<slm::mat4> mats;
    std::vector<slm::vec4> vecs;
    std::vector<slm::quat> quats;
    Inputs() : mats(N), vecs(N), quats(N) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-2.0f, 2.0f);
        for (auto& m : mats) {
            m = slm::multiply(slm::translation(slm::vec3(u(rng), u(rng), u(rng))),
                              slm::axis_angle(slm::vec3(u(rng), u(rng), u(rng)), u(rng)));
            m = slm::multiply(m, slm::scale(1.5f + u(rng) * 0.2f));
        }
        for (auto& v : vecs) v = slm::vec4(u(rng), u(rng), u(rng), 1.0f);
        for (auto& q : quats) q = slm::unit(slm::quat(u(rng), u(rng), u(rng), u(rng)));
    }
};

const Inputs& inputs() {
    static Inputs in;
    return in;
}

glm::mat4 toGlm(const slm::mat4& m) {
    glm::mat4 r;
    std::memcpy(&r[0][0], m.m, sizeof m.m);
    return r;
}

void BM_Mat4Multiply(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        slm::mat4 r = slm::multiply(in.mats[i], in.mats[(i + 1) & (N - 1)]);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Mat4Multiply);

void BM_Mat4MultiplyGlm(benchmark::State& state) {
    std::vector<glm::mat4> mats;
    for (const auto& m : inputs().mats) mats.push_back(toGlm(m));
    int i = 0;
    for (auto _ : state) {
        glm::mat4 r = mats[i] * mats[(i + 1) & (N - 1)];
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Mat4MultiplyGlm);

void BM_Mat4Inverse(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        slm::mat4 r = slm::inverse(in.mats[i]);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Mat4Inverse);

void BM_Mat4InverseGlm(benchmark::State& state) {
    std::vector<glm::mat4> mats;
    for (const auto& m : inputs().mats) mats.push_back(toGlm(m));
    int i = 0;
    for (auto _ : state) {
        glm::mat4 r = glm::inverse(mats[i]);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Mat4InverseGlm);

void BM_Mat4Determinant(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        float d = slm::determinant(in.mats[i]);
        benchmark::DoNotOptimize(d);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Mat4Determinant);

// One model matrix applied to a batch of points, as a vertex loop does.
void BM_Vec4TransformBatch(benchmark::State& state) {
    const auto& in = inputs();
    std::vector<slm::vec4> out(N);
    int i = 0;
    for (auto _ : state) {
        const slm::mat4& m = in.mats[i];
        for (int k = 0; k < N; ++k) out[k] = slm::transform(m, in.vecs[k]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        i = (i + 1) & (N - 1);
    }
    state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Vec4TransformBatch);

void BM_LookAt(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        slm::mat4 r = slm::look_at(in.vecs[i].xyz(), in.vecs[(i + 1) & (N - 1)].xyz(), slm::vec3(0, 1, 0));
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_LookAt);

void BM_FromQuat(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        slm::mat4 r = slm::from_quat(in.quats[i]);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_FromQuat);

void BM_Slerp(benchmark::State& state) {
    const auto& in = inputs();
    int i = 0;
    for (auto _ : state) {
        slm::quat r = slm::slerp(in.quats[i], in.quats[(i + 1) & (N - 1)], 0.3f);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_Slerp);

void BM_SegmentTriangle(benchmark::State& state) {
    const auto& in = inputs();
    const slm::vec3 a(-1, -1, 0), b(1, -1, 0), c(0, 1, 0);
    int i = 0;
    for (auto _ : state) {
        float t;
        bool hit = slm::segment_triangle(in.vecs[i].xyz() + slm::vec3(0, 0, 2), slm::vec3(0, 0, -4), a, b, c, &t);
        benchmark::DoNotOptimize(hit);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_SegmentTriangle);

void BM_SegmentBox(benchmark::State& state) {
    const auto& in = inputs();
    std::vector<slm::ray> rays;
    for (int k = 0; k < N; ++k) rays.push_back(slm::make_ray(in.vecs[k].xyz() * 3.0f, -in.vecs[(k + 7) & (N - 1)].xyz() * 4.0f));
    const slm::box unitBox{slm::vec3(-1, -1, -1), slm::vec3(1, 1, 1)};
    int i = 0;
    for (auto _ : state) {
        bool hit = slm::segment_box(rays[i], unitBox);
        benchmark::DoNotOptimize(hit);
        i = (i + 1) & (N - 1);
    }
}
BENCHMARK(BM_SegmentBox);

} // namespace

BENCHMARK_MAIN();
