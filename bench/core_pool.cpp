// The memory pool against glibc malloc/free on one engine-like pattern: mixed
// sizes from 16 to 4096 bytes, most blocks freed within a few operations, a
// live set of about 2,000 blocks. Two size mixes over that range: log-uniform
// (small ones most common, as in the engine, where most blocks are strings and
// small objects) and uniform. The ratio depends on the mix far more than on
// anything else: glibc serves most small requests from its per-thread cache
// and most large ones from its bins, at about half the speed. Each operation
// sequence is generated once from a fixed seed and replayed by every
// contestant, so they do exactly the same work. Prints the pool/malloc ratios;
// the log-uniform one also from a run that replays malloc and the pool in
// turn, the figure least moved by a shared machine's changing speed.
#include "HeadlessCore.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Op {
    int slot; // block slot
    int size; // > 0: allocate this many bytes into slot; 0: free slot
};

struct Pattern {
    std::vector<Op> ops;
    int slots = 0;
    int peakLive = 0;
    double meanLive = 0;
};

enum Mix { LOG_UNIFORM, UNIFORM };

// Every block gets a lifetime counted in allocations: 85 % live 1-32 steps,
// the rest 1-26,000 steps, which keeps about 2,000 blocks alive.
Pattern makePattern(Mix mix) {
    Pattern p;
    const int allocations = 200000;
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> logSize(std::log(16.0), std::log(4097.0));
    std::uniform_int_distribution<int> linearSize(16, 4096);
    std::vector<std::vector<int>> dies(allocations + 26001);
    std::vector<int> freeSlots;
    std::vector<int> slotOf(allocations);
    long long liveSum = 0;
    int live = 0;
    // Warm-up and the measured replay start from an empty pool: allocate,
    // then free everything still alive at the end.
    for (int t = 0; t < allocations; ++t) {
        int size = mix == UNIFORM ? linearSize(rng) : (int)std::exp(logSize(rng));
        if (size > 4096) size = 4096;
        int life = (rng() % 100) < 85 ? 1 + (int)(rng() % 32) : 1 + (int)(rng() % 26000);
        int slot;
        if (freeSlots.empty()) {
            slot = p.slots++;
        } else {
            slot = freeSlots.back();
            freeSlots.pop_back();
        }
        slotOf[(size_t)t] = slot;
        p.ops.push_back({slot, size});
        ++live;
        dies[(size_t)(t + life)].push_back(t);
        for (int d : dies[(size_t)t]) {
            p.ops.push_back({slotOf[(size_t)d], 0});
            freeSlots.push_back(slotOf[(size_t)d]);
            --live;
        }
        liveSum += live;
        if (live > p.peakLive) p.peakLive = live;
    }
    for (size_t t = allocations; t < dies.size(); ++t)
        for (int d : dies[t]) p.ops.push_back({slotOf[(size_t)d], 0});
    p.meanLive = (double)liveSum / allocations;
    return p;
}

const Pattern& pattern(Mix mix) {
    static const Pattern patterns[2] = {makePattern(LOG_UNIFORM), makePattern(UNIFORM)};
    return patterns[mix];
}

// The C heap's side of every comparison.
const auto mallocAllocate = [](int size) { return std::malloc((size_t)size); };
const auto mallocRelease = [](void* m) { std::free(m); };

// One pass over the whole sequence: every block allocated and freed again.
template <typename Alloc, typename Free>
void replayOnce(const Pattern& p, std::vector<void*>& slots, const Alloc& alloc, const Free& free) {
    for (const Op& op : p.ops) {
        if (op.size) {
            void* m = alloc(op.size);
            *static_cast<char*>(m) = 1; // touch it, as a caller would
            slots[(size_t)op.slot] = m;
        } else {
            free(slots[(size_t)op.slot]);
        }
    }
    benchmark::ClobberMemory();
}

template <typename Alloc, typename Free> void replay(benchmark::State& state, Mix mix, Alloc alloc, Free free) {
    const Pattern& p = pattern(mix);
    std::vector<void*> slots((size_t)p.slots, nullptr);
    for (auto _ : state) replayOnce(p, slots, alloc, free);
    state.counters["ns_per_op"] =
        benchmark::Counter((double)p.ops.size(), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["mean_live"] = p.meanLive;
}

void mallocReplay(benchmark::State& state, Mix mix) {
    replay(state, mix, mallocAllocate, mallocRelease);
}

void poolReplay(benchmark::State& state, Mix mix, bool indexed) {
    tools::HeadlessCore e(MemoryManagerConfig().poolSize, indexed);
    MemoryManager& mm = e.pool();
    replay(
        state, mix, [&](int size) { return mm.hwMemAlloc(size, "bench::replay", 1); },
        [&](void* m) { mm.hwMemFree(m, "bench::replay", 2); });
    if (mm.getLiveAllocations() != 0 || !mm.validate()) state.SkipWithError("pool damaged");
    state.counters["peak_used_KiB"] = mm.getPeakUsedBytes() / 1024.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Both contestants in turn, one whole pass each per round: a machine that
// speeds up or slows down during the run moves both alike, so the ratio of
// one round holds where two figures taken a second apart may not. Reports
// the medians over the rounds.
void BM_PoolOverMallocInTurn(benchmark::State& state) {
    const Pattern& p = pattern(LOG_UNIFORM);
    tools::HeadlessCore e;
    MemoryManager& mm = e.pool();
    auto poolAlloc = [&](int size) { return mm.hwMemAlloc(size, "bench::replay", 1); };
    auto poolFree = [&](void* m) { mm.hwMemFree(m, "bench::replay", 2); };
    std::vector<void*> slots((size_t)p.slots, nullptr);
    auto nsPerOp = [&](const auto& alloc, const auto& free) {
        auto t0 = std::chrono::steady_clock::now();
        replayOnce(p, slots, alloc, free);
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
               (double)p.ops.size();
    };
    std::vector<double> mallocNs, poolNs, ratios;
    for (auto _ : state) {
        double m = nsPerOp(mallocAllocate, mallocRelease);
        double q = nsPerOp(poolAlloc, poolFree);
        mallocNs.push_back(m);
        poolNs.push_back(q);
        ratios.push_back(q / m);
    }
    if (mm.getLiveAllocations() != 0 || !mm.validate()) state.SkipWithError("pool damaged");
    state.counters["malloc_ns_per_op"] = median(mallocNs);
    state.counters["pool_ns_per_op"] = median(poolNs);
    state.counters["pool_over_malloc"] = median(ratios);
}

void BM_Malloc(benchmark::State& state) { mallocReplay(state, LOG_UNIFORM); }
void BM_Pool(benchmark::State& state) { poolReplay(state, LOG_UNIFORM, true); }
void BM_PoolLinearWalk(benchmark::State& state) { poolReplay(state, LOG_UNIFORM, false); }
void BM_MallocUniformSizes(benchmark::State& state) { mallocReplay(state, UNIFORM); }
void BM_PoolUniformSizes(benchmark::State& state) { poolReplay(state, UNIFORM, true); }

BENCHMARK(BM_Malloc)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Pool)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PoolLinearWalk)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MallocUniformSizes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PoolUniformSizes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PoolOverMallocInTurn)->Unit(benchmark::kMillisecond)->Iterations(41);

// Remembers the time per operation of each run to print the ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    std::map<std::string, double> nsPerOp;
    std::map<std::string, double> inTurn; // the counters of the run in turn
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("ns_per_op");
            std::string name = r.benchmark_name();
            name = name.substr(0, name.find('/'));
            if (it != r.counters.end()) nsPerOp[name] = it->second.value * 1e9;
            if (name == "BM_PoolOverMallocInTurn")
                for (const auto& c : r.counters) inTurn[c.first] = c.second.value;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (Mix mix : {LOG_UNIFORM, UNIFORM}) {
        const Pattern& p = pattern(mix);
        std::printf("pattern, %s sizes: %zu operations, mean live %.0f blocks, peak %d\n",
                    mix == UNIFORM ? "uniform" : "log-uniform", p.ops.size(), p.meanLive, p.peakLive);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double m = reporter.nsPerOp["BM_Malloc"], pool = reporter.nsPerOp["BM_Pool"];
    double lin = reporter.nsPerOp["BM_PoolLinearWalk"];
    if (m > 0 && pool > 0)
        std::printf("log-uniform sizes: malloc %.1f ns/op, pool %.1f ns/op: pool/malloc = %.2f\n", m, pool, pool / m);
    double um = reporter.nsPerOp["BM_MallocUniformSizes"], upool = reporter.nsPerOp["BM_PoolUniformSizes"];
    if (um > 0 && upool > 0)
        std::printf("uniform sizes: malloc %.1f ns/op, pool %.1f ns/op: pool/malloc = %.2f\n", um, upool, upool / um);
    if (m > 0 && lin > 0) std::printf("pool with the linear walk %.1f ns/op: %.1f x malloc\n", lin, lin / m);
    if (reporter.inTurn.count("pool_over_malloc"))
        std::printf("log-uniform sizes in turn: malloc %.1f ns/op, pool %.1f ns/op (medians): pool/malloc = %.2f\n",
                    reporter.inTurn["malloc_ns_per_op"], reporter.inTurn["pool_ns_per_op"],
                    reporter.inTurn["pool_over_malloc"]);
    benchmark::Shutdown();
    return 0;
}
