// DataIO and file-system throughput: decoding M3G values from an in-place
// memory stream (the loader's path for decompressed sections), and opening
// a file through a mounted archive.
#include "core/DataIO.h"
#include "HeadlessCore.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "core/MemoryStream.h"
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

tools::HeadlessCore& engine() {
    static tools::HeadlessCore e(64 * 1024 * 1024);
    return e;
}

std::vector<unsigned char> floats(int n) {
    std::vector<unsigned char> bytes;
    core::Ref<core::MemoryStream> out(M3D_NEW core::MemoryStream());
    core::Ref<core::DataIO> w(M3D_NEW core::DataIO(out.get(), 0));
    for (int i = 0; i < n; ++i) w->writeFloat32((float)i * 0.25f);
    bytes.assign(out->data(), out->data() + out->size());
    return bytes;
}

void BM_ReadFloat32(benchmark::State& state) {
    engine();
    const int n = (int)state.range(0);
    std::vector<unsigned char> bytes = floats(n);
    for (auto _ : state) {
        core::Ref<core::MemoryStream> in(M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), true));
        core::Ref<core::DataIO> r(M3D_NEW core::DataIO(in.get(), (unsigned)bytes.size()));
        float sum = 0.0f;
        for (int i = 0; i < n; ++i) sum += r->readFloat32();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_ReadFloat32)->Arg(1 << 16);

void BM_ReadByteArray(benchmark::State& state) {
    engine();
    const int n = (int)state.range(0);
    core::Ref<core::MemoryStream> out(M3D_NEW core::MemoryStream());
    core::Ref<core::DataIO> w(M3D_NEW core::DataIO(out.get(), 0));
    std::vector<unsigned char> payload((size_t)n, 7);
    w->writeByteArray(payload.data(), (unsigned)n);
    std::vector<unsigned char> bytes(out->data(), out->data() + out->size());
    core::Vector<unsigned char> target;
    for (auto _ : state) {
        core::Ref<core::MemoryStream> in(M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), true));
        core::Ref<core::DataIO> r(M3D_NEW core::DataIO(in.get(), (unsigned)bytes.size()));
        r->readByteArray(target);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)n);
}
BENCHMARK(BM_ReadByteArray)->Arg(1 << 20);

void BM_FileSystemOpen(benchmark::State& state) {
    engine();
    char dir[] = "/tmp/pelloran-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temp dir");
        return;
    }
    std::string root = std::string(dir) + "/";
    std::string file = root + "Data/x.lua";
    std::string sub = root + "Data";
    mkdir(sub.c_str(), 0700);
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fputs("return 1", f);
    std::fclose(f);
    core::FileSystem* fs = core::FileSystem::get();
    fs->addArchive(M3D_NEW core::FileArchive(root.c_str(), false), "");
    core::String name("Data/x.lua");
    for (auto _ : state) {
        core::Ref<core::Stream> s = fs->openFile(name, 0);
        benchmark::DoNotOptimize(s.get());
    }
    core::FileSystem::destroy();
    unlink(file.c_str());
    rmdir(sub.c_str());
    rmdir(dir);
}
BENCHMARK(BM_FileSystemOpen);

} // namespace

BENCHMARK_MAIN();
