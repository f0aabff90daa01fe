// The point cloud beside nanoflann (default leaf size 10): building the tree
// of 65534 points, and 1,000,000 nearest-point queries. Points and queries
// are uniform in a box; both sides see the same data.
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "core/Ref.h"
#include "geometry/Point_Cloud_Impl.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#if PELLORAN_HAVE_NANOFLANN
#include <nanoflann.hpp>
#endif

namespace {

const int POINTS = 65534;
const int QUERIES = 1000000;

struct Data {
    std::unique_ptr<Mesh_Builder> mb;
    std::vector<float> queries;
    Data() : mb(new Mesh_Builder), queries(3 * QUERIES) {
        std::memset(mb.get(), 0, sizeof(Mesh_Builder));
        std::mt19937 rng(17);
        std::uniform_real_distribution<float> u(-10.0f, 10.0f);
        mb->nv = POINTS;
        for (int i = 0; i < POINTS; ++i)
            for (int a = 0; a < 3; ++a) mb->verts[i][a] = u(rng);
        for (float& q : queries) q = u(rng) * 1.1f;
    }
};

const Data& data() {
    static Data d;
    return d;
}

// The engine core the cloud allocates from.
void startEngine() {
    static core::EngineGlobals* globals = nullptr;
    if (globals) return;
    globals = new core::EngineGlobals();
    core::setEngineGlobals(globals);
    globals->log = new core::DebugLog();
    MemoryManagerConfig mc;
    mc.poolSize = 64 * 1024 * 1024;
    globals->memoryManager = new MemoryManager(mc);
}

void BM_PointCloud_Build(benchmark::State& state) {
    startEngine();
    const Data& d = data();
    for (auto _ : state) {
        core::Ref<Point_Cloud_Impl> cloud = M3D_NEW Point_Cloud_Impl(d.mb.get());
        benchmark::DoNotOptimize(cloud->entry(0).x);
    }
    state.counters["points"] = POINTS;
}
BENCHMARK(BM_PointCloud_Build)->Unit(benchmark::kMillisecond);

void BM_PointCloud_Nearest(benchmark::State& state) {
    startEngine();
    const Data& d = data();
    core::Ref<Point_Cloud_Impl> cloud = M3D_NEW Point_Cloud_Impl(d.mb.get());
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < QUERIES; ++i) sum += cloud->nearest(&d.queries[3 * i])->x;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * QUERIES);
}
BENCHMARK(BM_PointCloud_Nearest)->Unit(benchmark::kMillisecond);

#if PELLORAN_HAVE_NANOFLANN
struct Cloud_Adaptor {
    const Mesh_Builder* mb;
    size_t kdtree_get_point_count() const { return POINTS; }
    float kdtree_get_pt(size_t i, size_t dim) const { return mb->verts[i][dim]; }
    template <class BBOX> bool kdtree_get_bbox(BBOX&) const { return false; }
};
typedef nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, Cloud_Adaptor>, Cloud_Adaptor, 3>
    Nano_Tree;

void BM_Nanoflann_Build(benchmark::State& state) {
    Cloud_Adaptor adaptor = {data().mb.get()};
    for (auto _ : state) {
        Nano_Tree tree(3, adaptor, nanoflann::KDTreeSingleIndexAdaptorParams(10));
        benchmark::DoNotOptimize(&tree);
    }
    state.counters["points"] = POINTS;
}
BENCHMARK(BM_Nanoflann_Build)->Unit(benchmark::kMillisecond);

void BM_Nanoflann_Nearest(benchmark::State& state) {
    const Data& d = data();
    Cloud_Adaptor adaptor = {d.mb.get()};
    Nano_Tree tree(3, adaptor, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < QUERIES; ++i) {
            uint32_t index;
            float dist2;
            tree.knnSearch(&d.queries[3 * i], 1, &index, &dist2);
            sum += d.mb->verts[index][0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * QUERIES);
}
BENCHMARK(BM_Nanoflann_Nearest)->Unit(benchmark::kMillisecond);
#endif

} // namespace

int main(int argc, char** argv) {
    // Keep freed blocks in the heap so repeats reuse warm pages.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
