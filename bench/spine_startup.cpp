// The spine's two figures:
//  - ProcessToFirstRender: wall time from starting the program (fork + exec of
//    build/pelloran with a trivial script) to its first global_render call
//    (the script signals through a pipe, then ends the program at its next
//    update); whole_run_ms adds the shut-down.
//  - CallGlobalUpdate: one Script_Instance::call of a trivial global_update
//    ("f>b"), with the pool allocations and C++ heap allocations it made.
#include "app/EngineClasses.h"
#include "app/EngineConfig.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "script/Script_Instance.h"
#include <benchmark/benchmark.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::atomic<long> g_newCalls{0};

std::string programPath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    // build/bench/bench_spine_startup -> build/pelloran
    return (std::filesystem::path(self).parent_path().parent_path() / "pelloran").string();
}

struct ScratchDir {
    std::string path;
    std::string saved;
    explicit ScratchDir(const std::string& bootstrap) {
        char tmpl[] = "/tmp/pelloran-bench-XXXXXX";
        path = mkdtemp(tmpl);
        std::filesystem::create_directory(path + "/Data");
        std::ofstream(path + "/Data/Bootstrap.lua") << bootstrap;
        saved = std::filesystem::current_path().string();
        std::filesystem::current_path(path);
    }
    ~ScratchDir() {
        std::filesystem::current_path(saved);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

void ProcessToFirstRender(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ScratchDir dir("rendered = false\n"
                   "function global_update() return not rendered end\n"
                   "function global_render() if not rendered then io.stdout:write('r') io.stdout:flush() end "
                   "rendered = true end\n");
    std::string program = programPath();
    double wholeRunMs = 0;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) state.SkipWithError("pipe");
        auto begin = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            execl(program.c_str(), program.c_str(), "-windowed", "64", "48", (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char c = 0;
        ssize_t got = read(fds[0], &c, 1);
        auto first = std::chrono::steady_clock::now();
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        auto end = std::chrono::steady_clock::now();
        if (got != 1 || c != 'r' || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not reach global_render and exit with 0");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(first - begin).count());
        wholeRunMs += std::chrono::duration<double, std::milli>(end - begin).count();
    }
    state.counters["whole_run_ms"] = benchmark::Counter(wholeRunMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(ProcessToFirstRender)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

class BenchScript : public Script_Instance {
public:
    void registerFunctions() override {}
};

void CallGlobalUpdate(benchmark::State& state) {
    ScratchDir dir("n = 0\nfunction global_update(step) n = n + step return true end\n");
    EngineConfig config;
    config.engine.consoleWindowWanted = false;
    initEngineClasses(&config);
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), false), core::String(""));
    {
        BenchScript script;
        Script_Instance::runBootstrap(script.getHolder());
        bool keep = false;
        Script_Instance::call(&script, "global_update", "f>b", (double)(1.0f / 60.0f), &keep);
        MemoryManager& pool = core::memoryManager();
        int poolBefore = pool.getTotalAllocations();
        long newBefore = g_newCalls.load();
        for (auto _ : state) {
            Script_Instance::call(&script, "global_update", "f>b", (double)(1.0f / 60.0f), &keep);
            benchmark::DoNotOptimize(keep);
        }
        // Read both before the counters map allocates its own nodes.
        double poolAllocs = pool.getTotalAllocations() - poolBefore;
        double newCalls = (double)(g_newCalls.load() - newBefore);
        state.counters["pool_allocs"] = poolAllocs;
        state.counters["new_calls"] = newCalls;
        if (!keep) state.SkipWithError("global_update did not answer true");
    }
    core::FileSystem::destroy();
    deInitEngineClasses();
}
BENCHMARK(CallGlobalUpdate);

} // namespace

// Counts every C++ heap allocation of the process. (GCC pairs the inlined
// replacement functions wrongly when it sees them together.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    g_newCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

BENCHMARK_MAIN();
