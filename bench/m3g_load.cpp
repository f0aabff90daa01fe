// Loading an M3G file of a million vertices (16 meshes of 62 500 vertices:
// 16-bit positions and texture coordinates, byte normals, one strip each),
// written by our own writer, from disk through render::Loader:
// - one zlib section, beside reading the file and inflating it with zlib
//   alone (counter over_inflate, target <= 2);
// - uncompressed, beside reading the file into memory (counter over_read,
//   target <= 3).
// Both are timed in turn inside one benchmark and the ratio of the sums is
// reported. The loads also report pool allocations per loaded object and the
// peak pool use over the file's size.
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "core/MemoryStream.h"
#include "render/Group.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include "render/Mesh.h"
#include <benchmark/benchmark.h>
#include <zlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int MESHES = 16;
const int VERTICES = 62500;
const std::string DIR = "/tmp/pelloran-bench-m3g/";

struct Engine {
    core::EngineGlobals* g;
    Engine() : g(new core::EngineGlobals()) {
        core::setEngineGlobals(g);
        g->log = new core::DebugLog();
        g->log->setLevelMask(0);
        MemoryManagerConfig mc;
        mc.poolSize = 160 * 1024 * 1024;
        g->memoryManager = new MemoryManager(mc);
    }
    ~Engine() {
        core::FileSystem::destroy();
        delete g->memoryManager;
        delete g->log;
        core::setEngineGlobals(nullptr);
        delete g;
    }
};

std::vector<unsigned char> readWhole(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    std::fseek(f, 0, SEEK_END);
    bytes.resize((size_t)std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
    return bytes;
}

// Writes scene.m3g (zlib) and scene_raw.m3g once per process.
void writeFiles() {
    static bool written = false;
    if (written) return;
    written = true;
    std::system(("mkdir -p " + DIR).c_str());
    Engine engine;
    core::Ref<render::Group> root = M3D_NEW render::Group();
    std::vector<short> positions((size_t)VERTICES * 3), uv((size_t)VERTICES * 2);
    std::vector<signed char> normals((size_t)VERTICES * 3);
    std::vector<unsigned short> strip(VERTICES);
    for (int v = 0; v < VERTICES; ++v) {
        int x = v % 250, y = v / 250;
        positions[(size_t)v * 3] = (short)(x * 100);
        positions[(size_t)v * 3 + 1] = (short)((x * y) % 700);
        positions[(size_t)v * 3 + 2] = (short)(y * 100);
        normals[(size_t)v * 3 + 1] = 127;
        uv[(size_t)v * 2] = (short)(x * 64);
        uv[(size_t)v * 2 + 1] = (short)(y * 64);
        strip[v] = (unsigned short)v;
    }
    for (int m = 0; m < MESHES; ++m) {
        core::Ref<render::VertexArray> p = M3D_NEW render::VertexArray(VERTICES, 3, 2);
        p->set(0, VERTICES, positions.data());
        core::Ref<render::VertexArray> n = M3D_NEW render::VertexArray(VERTICES, 3, 1);
        n->set(0, VERTICES, normals.data());
        core::Ref<render::VertexArray> t = M3D_NEW render::VertexArray(VERTICES, 2, 2);
        t->set(0, VERTICES, uv.data());
        core::Ref<render::VertexBuffer> vb = M3D_NEW render::VertexBuffer();
        vb->setPositions(p.get(), 0.01f, nullptr);
        vb->setNormals(n.get());
        vb->setTexCoords(0, t.get(), 1.0f / 4096, nullptr);
        core::Ref<render::IndexBuffer> ib = M3D_NEW render::TriangleStripArray(strip.data(), VERTICES);
        core::Ref<render::Appearance> look = M3D_NEW render::Appearance();
        core::Ref<render::Mesh> mesh = M3D_NEW render::Mesh(vb.get(), ib.get(), look.get());
        mesh->setTranslation(slm::vec3((float)m, 0, 0));
        root->addChild(mesh.get());
    }
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(DIR.c_str()), true), core::String());
    core::Vector<core::Ref<render::Object3D>> roots;
    roots.append(root.get());
    render::M3G_Writer::save(core::String("scene.m3g"), roots, true);
    render::M3G_Writer::save(core::String("scene_raw.m3g"), roots, false);
}

// Reading the compressed file and inflating its object section (the last
// section: 9 header bytes, the zlib data, a 4-byte checksum).
void readAndInflate(std::vector<unsigned char>& out) {
    std::vector<unsigned char> file = readWhole(DIR + "scene.m3g");
    size_t header = 12 + (file[13] | file[14] << 8 | file[15] << 16 | (size_t)file[16] << 24);
    const unsigned char* s = &file[header];
    unsigned total = s[1] | s[2] << 8 | s[3] << 16 | (unsigned)s[4] << 24;
    unsigned size = s[5] | s[6] << 8 | s[7] << 16 | (unsigned)s[8] << 24;
    out.resize(size);
    uLongf n = size;
    if (uncompress(out.data(), &n, s + 9, total - 13) != Z_OK) std::abort();
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Loads `name` (timed) and `reference` (timed) in turn; reports the ratio and
// the pool figures of one load.
template <typename Reference>
void loadBeside(benchmark::State& state, const char* name, const char* counter, Reference reference) {
    writeFiles();
    Engine engine;
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(DIR.c_str()), false), core::String());
    MemoryManager& pool = *engine.g->memoryManager;
    const double fileSize = (double)readWhole(DIR + name).size();
    double loadTime = 0, referenceTime = 0;
    int objects = 0, allocations = 0, peakOverBase = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        reference();
        auto t1 = std::chrono::steady_clock::now();
        int before = pool.getTotalAllocations();
        int base = pool.getUsedBytes();
        {
            core::Vector<core::Ref<render::Object3D>> roots;
            render::Loader::load(core::String(name), nullptr, roots);
            auto t2 = std::chrono::steady_clock::now();
            loadTime += seconds(t1, t2);
            referenceTime += seconds(t0, t1);
            state.SetIterationTime(seconds(t1, t2));
            allocations = pool.getTotalAllocations() - before;
            peakOverBase = pool.getPeakUsedBytes() - base;
            objects = 1 + MESHES * 7; // the group; per mesh 3 arrays, buffer, strip, appearance, mesh
        }
    }
    state.counters[counter] = loadTime / referenceTime;
    state.counters["allocs_per_object"] = (double)allocations / objects;
    state.counters["peak_pool_over_file"] = (double)peakOverBase / fileSize;
    state.counters["file_MB"] = fileSize / (1024.0 * 1024.0);
}

void BM_LoadZlibBesideInflate(benchmark::State& state) {
    std::vector<unsigned char> inflated;
    loadBeside(state, "scene.m3g", "over_inflate", [&] {
        readAndInflate(inflated);
        benchmark::DoNotOptimize(inflated.data());
    });
}

void BM_LoadRawBesideRead(benchmark::State& state) {
    loadBeside(state, "scene_raw.m3g", "over_read", [] {
        std::vector<unsigned char> bytes = readWhole(DIR + "scene_raw.m3g");
        benchmark::DoNotOptimize(bytes.data());
    });
}

} // namespace

BENCHMARK(BM_LoadZlibBesideInflate)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRawBesideRead)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
