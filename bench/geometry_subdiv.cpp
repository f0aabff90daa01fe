// Uniform Catmull-Clark refinement of the cube to levels 1-7: our repeated
// smoothing passes beside OpenSubdiv's topology refinement plus position
// interpolation, and the passes with the old linear edge-point scan.
// Memory is kept warm on both sides: the builder and the kernel's scratch are
// touched once before timing, and malloc keeps freed blocks in its heap (no
// mmap/munmap per repeat), so first-touch page faults do not dominate.
#include "geometry/Modelling.h"
#include "support/LinearSubdivision.h"
#include "support/OsdPoint.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstring>
#include <memory>
#include <vector>

#if PELLORAN_HAVE_OPENSUBDIV
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#endif

namespace {

Mesh_Builder& warmBuilder() {
    static std::unique_ptr<Mesh_Builder> mb;
    if (!mb) {
        mb.reset(new Mesh_Builder);
        std::memset(mb.get(), 0, sizeof(Mesh_Builder));
        // One full run to level 7 touches the kernel's scratch as well.
        addcube(mb.get(), 0);
        for (int l = 0; l < 7; ++l) smoooth(mb.get(), 0);
    }
    return *mb;
}

void BM_Smooth(benchmark::State& state) {
    Mesh_Builder& mb = warmBuilder();
    const int levels = (int)state.range(0);
    for (auto _ : state) {
        mb.nv = mb.nq = 0;
        addcube(&mb, 0);
        for (int l = 0; l < levels; ++l) smoooth(&mb, 0);
        benchmark::DoNotOptimize(mb.verts[0][0]);
    }
    state.counters["quads"] = mb.nq;
    state.counters["vertices"] = mb.nv;
}

void BM_SmoothLinearSearch(benchmark::State& state) {
    Mesh_Builder& mb = warmBuilder();
    const int levels = (int)state.range(0);
    for (auto _ : state) {
        mb.nv = mb.nq = 0;
        addcube(&mb, 0);
        for (int l = 0; l < levels; ++l) {
            select1(&mb, 0);
            smoothLinearSearch(&mb, 1);
        }
        benchmark::DoNotOptimize(mb.verts[0][0]);
    }
    state.counters["quads"] = mb.nq;
}

#if PELLORAN_HAVE_OPENSUBDIV
using namespace OpenSubdiv;

using Point = testsupport::OsdPoint;

void BM_OpenSubdiv(benchmark::State& state) {
    const int levels = (int)state.range(0);
    static const float corners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                        {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    static const int faces[24] = {0, 1, 2, 3, 3, 2, 6, 7, 7, 6, 5, 4, 1, 0, 4, 5, 0, 3, 7, 4, 2, 1, 5, 6};
    static const int perFace[6] = {4, 4, 4, 4, 4, 4};
    Far::TopologyDescriptor desc;
    desc.numVertices = 8;
    desc.numFaces = 6;
    desc.numVertsPerFace = perFace;
    desc.vertIndicesPerFace = faces;
    Sdc::Options options;
    options.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_ONLY);
    typedef Far::TopologyRefinerFactory<Far::TopologyDescriptor> Factory;
    // All levels' positions in one buffer, allocated and touched once.
    std::vector<Point> buffer(8 + 400000);
    std::memcpy(buffer.data(), corners, sizeof corners);
    int quads = 0;
    for (auto _ : state) {
        Far::TopologyRefiner* refiner = Factory::Create(desc, Factory::Options(Sdc::SCHEME_CATMARK, options));
        refiner->RefineUniform(Far::TopologyRefiner::UniformOptions(levels));
        Far::PrimvarRefiner primvar(*refiner);
        Point* src = buffer.data();
        for (int level = 1; level <= levels; ++level) {
            Point* dst = src + refiner->GetLevel(level - 1).GetNumVertices();
            primvar.Interpolate(level, src, dst);
            src = dst;
        }
        quads = refiner->GetLevel(levels).GetNumFaces();
        benchmark::DoNotOptimize(src[0].p[0]);
        delete refiner;
    }
    state.counters["quads"] = quads;
}
#endif

} // namespace

int main(int argc, char** argv) {
    // Keep freed blocks in the heap so repeats reuse warm pages.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // Each level runs ours and OpenSubdiv's back to back, so a change in the
    // machine's load between them stays small.
    for (int level = 1; level <= 7; ++level) {
        benchmark::RegisterBenchmark("BM_Smooth", BM_Smooth)->Arg(level)->Unit(benchmark::kMicrosecond);
#if PELLORAN_HAVE_OPENSUBDIV
        benchmark::RegisterBenchmark("BM_OpenSubdiv", BM_OpenSubdiv)->Arg(level)->Unit(benchmark::kMicrosecond);
#endif
    }
    benchmark::RegisterBenchmark("BM_SmoothLinearSearch", BM_SmoothLinearSearch)
        ->DenseRange(1, 5)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
