// The engine's containers over the pool: core::String copy (a count change)
// and append (a new element each time), core::Vector append,
// core::HashTable insert and get.
#include "HeadlessCore.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/HashTable.h"
#include "core/MemoryManager.h"
#include "core/String.h"
#include "core/Vector.h"
#include <benchmark/benchmark.h>

namespace {

void BM_StringCopy(benchmark::State& state) {
    tools::HeadlessCore e;
    core::String s("Data/Textures/stone_wall_diffuse.png");
    for (auto _ : state) {
        core::String copy = s;
        benchmark::DoNotOptimize(copy.element());
    }
}

void BM_StringAppend(benchmark::State& state) {
    // Building a short path: two appends to a fresh string.
    tools::HeadlessCore e;
    core::String dir("Data/");
    for (auto _ : state) {
        core::String path = dir;
        path += "Bootstrap";
        path += ".lua";
        benchmark::DoNotOptimize(path.c_str());
    }
}

void BM_VectorAppend(benchmark::State& state) {
    tools::HeadlessCore e;
    const int n = (int)state.range(0);
    for (auto _ : state) {
        core::Vector<int> v;
        for (int i = 0; i < n; ++i) v.append(i);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_HashTableInsert(benchmark::State& state) {
    tools::HeadlessCore e;
    const int n = (int)state.range(0);
    for (auto _ : state) {
        core::HashTable<unsigned short, short> t(10, 0.75f);
        for (int i = 0; i < n; ++i) t.insert((unsigned short)(i * 7), (short)i);
        benchmark::DoNotOptimize(t.getCount());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_HashTableGet(benchmark::State& state) {
    tools::HeadlessCore e;
    const int n = (int)state.range(0);
    core::HashTable<unsigned short, short> t(10, 0.75f);
    for (int i = 0; i < n; ++i) t.insert((unsigned short)(i * 7), (short)i);
    for (auto _ : state) {
        int sum = 0;
        for (int i = 0; i < n; ++i) {
            short v = 0;
            t.get((unsigned short)(i * 7), v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_StringCopy);
BENCHMARK(BM_StringAppend);
BENCHMARK(BM_VectorAppend)->Arg(1000);
BENCHMARK(BM_HashTableInsert)->Arg(1000);
BENCHMARK(BM_HashTableGet)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
