// The default demo (Data/ of the working directory; scripts/run-bench.sh runs
// from the repository root):
//  - DemoFrame: one fixed step and one global_render of the real demo at
//    1024 x 768, in-process, ms per frame over a few hundred frames (after
//    60 warm-up frames), with the pool allocations each frame makes.
//  - DemoStartup: whole-process time of `build/pelloran -windowed 1024 768
//    -frames=1` with the demo (start, first presented frame, shut-down).
//  - LoveFirstFrame: the same for LÖVE's `firstframe` run of the peer in
//    ../shared/bench-peers/love (skipped where `love` or the peer is missing),
//    so both start-ups are measured in the same minute under the same display.
//  - GLWindowFloor: the same for build/bench/gl_window_floor, a bare SDL2
//    program that opens a 1024 x 768 GL window, presents one cleared frame
//    and quits: the share of both start-ups that no SDL2 program on this GL
//    can avoid (loading the GL driver, creating the window and the context).
// The display is whatever SDL_VIDEODRIVER / DISPLAY say; without either the
// offscreen driver is used.
#include "app/Framework.h"
#include "app/Main_Application_Impl.h"
#include "core/MemoryManager.h"
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void chooseDisplay() {
    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    // No sound card on the benchmark machines: keep OpenAL from probing one.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

bool demoHere() { return std::filesystem::exists("Data/Bootstrap.lua"); }

std::filesystem::path benchFolder() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    return std::filesystem::path(self).parent_path();
}

// build/bench/bench_demo_frames -> build/pelloran
std::string programPath() { return (benchFolder().parent_path() / "pelloran").string(); }

void DemoFrame(benchmark::State& state) {
    chooseDisplay();
    if (!demoHere()) {
        state.SkipWithError("run from the repository root (Data/Bootstrap.lua)");
        return;
    }
    EngineConfig config;
    const char* tokens[] = {"-windowed", "1024", "768"};
    for (int i = 0; i < 3; ++i) config.engine.tokens[i] = tokens[i];
    config.engine.tokenCount = 3;
    Framework* fw = createFramework(config);
    fw->setFrameCapture(nullptr, 0); // fixed steps, no clock, nothing written
    Main_Application_Impl* app = static_cast<Main_Application_Impl*>(fw->getApplication());
    for (int i = 0; i < 60; ++i) {
        fw->fixedFrameStep();
        app->render(fw->getRenderer());
    }
    MemoryManager& pool = core::memoryManager();
    int allocsBefore = pool.getTotalAllocations();
    for (auto _ : state) {
        fw->fixedFrameStep();
        app->render(fw->getRenderer());
    }
    double allocs = pool.getTotalAllocations() - allocsBefore;
    state.counters["pool_allocs_per_frame"] = benchmark::Counter(allocs, benchmark::Counter::kAvgIterations);
    if (!app->isScriptRunning()) state.SkipWithError("the demo script failed");
    delete fw;
}
BENCHMARK(DemoFrame)->Unit(benchmark::kMillisecond)->Iterations(300);

// Runs argv in `dir` with its output thrown away; wall time in seconds, or a
// negative number where it did not exit with 0.
double wholeProcess(const std::vector<std::string>& argv, const std::string& dir) {
    auto begin = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

void runProcess(benchmark::State& state, const std::vector<std::string>& argv, const std::string& dir) {
    for (auto _ : state) {
        double s = wholeProcess(argv, dir);
        if (s < 0) {
            state.SkipWithError("the program did not exit with 0");
            break;
        }
        state.SetIterationTime(s);
    }
}

void DemoStartup(benchmark::State& state) {
    chooseDisplay();
    if (!demoHere()) {
        state.SkipWithError("run from the repository root (Data/Bootstrap.lua)");
        return;
    }
    runProcess(state, {programPath(), "-windowed", "1024", "768", "-frames=1"},
               std::filesystem::current_path().string());
}
BENCHMARK(DemoStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void LoveFirstFrame(benchmark::State& state) {
    chooseDisplay();
    const char* configured = std::getenv("PELLORAN_LOVE_PEER");
    std::string peer = configured ? configured : "../shared/bench-peers/love";
    if (!std::filesystem::exists(peer + "/main.lua") || system("command -v love >/dev/null 2>&1") != 0) {
        state.SkipWithError("LÖVE or its peer scene is not installed");
        return;
    }
    runProcess(state, {"love", ".", "firstframe"}, peer);
}
BENCHMARK(LoveFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void GLWindowFloor(benchmark::State& state) {
    chooseDisplay();
    std::string floor = (benchFolder() / "gl_window_floor").string();
    if (!std::filesystem::exists(floor)) {
        state.SkipWithError("gl_window_floor is not built");
        return;
    }
    runProcess(state, {floor, "1024", "768"}, std::filesystem::current_path().string());
}
BENCHMARK(GLWindowFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
