// Audio system costs: update() per fixed step while two streams cross-fade,
// and starting a stream of a three-minute file. OpenAL Soft mixes into its
// null back end (real mixing, in real time, no sound card needed).
#include "audio/Audio_System_Impl.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sndfile.h>
#include <sys/stat.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Engine {
    Engine() {
        globals = new core::EngineGlobals();
        core::setEngineGlobals(globals);
        globals->log = new core::DebugLog();
        globals->log->setLevelMask(0);
        MemoryManagerConfig mc;
        globals->memoryManager = new MemoryManager(mc);
    }
    ~Engine() {
        delete globals->memoryManager;
        delete globals->log;
        core::setEngineGlobals(nullptr);
        delete globals;
    }
    core::EngineGlobals* globals;
};

std::string tempDir() {
    static std::string dir = [] {
        // Kept between runs: the three-minute files take a while to encode.
        const char* d = "/tmp/pelloran-bench-audio";
        mkdir(d, 0700);
        std::string conf = std::string(d) + "/alsoft.conf";
        FILE* f = std::fopen(conf.c_str(), "w");
        std::fputs("[general]\ndrivers=null\nfrequency=48000\n", f);
        std::fclose(f);
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        return std::string(d);
    }();
    return dir;
}

// A stereo piece of `seconds`: two detuned tones, so the encoder has work to do.
std::string makeMusic(const char* name, double seconds, int format) {
    std::string path = tempDir() + "/" + name;
    if (access(path.c_str(), R_OK) == 0) return path;
    SF_INFO info = SF_INFO();
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> block(2 * 4410);
    long frames = (long)(seconds * 44100), at = 0;
    while (at < frames) {
        for (int i = 0; i < 4410; ++i) {
            double t = (double)(at + i) / 44100.0;
            block[2 * i] = (float)(0.3 * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 331 * t));
            block[2 * i + 1] = (float)(0.3 * std::sin(2 * M_PI * 221 * t) + 0.1 * std::sin(2 * M_PI * 442 * t));
        }
        sf_writef_float(f, block.data(), 4410);
        at += 4410;
    }
    sf_close(f);
    return path;
}

// One fixed step at the frame loop's pace (60 per second of real time, so
// the streams consume and refill buffers as they do in the program); only the
// update() call itself is timed.
// Arg 0: Ogg Vorbis streams (decoding included), 1: 16-bit WAV streams.
void BM_UpdateTwoStreams(benchmark::State& state) {
    bool ogg = state.range(0) == 0;
    std::string a = ogg ? makeMusic("a.ogg", 30, SF_FORMAT_OGG | SF_FORMAT_VORBIS)
                        : makeMusic("a.wav", 30, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::string b = ogg ? makeMusic("b.ogg", 30, SF_FORMAT_OGG | SF_FORMAT_VORBIS)
                        : makeMusic("b.wav", 30, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    Engine engine;
    double worst = 0;
    std::vector<double> times;
    {
        Audio_System_Impl audio;
        if (!audio.hasOutput()) {
            state.SkipWithError("no OpenAL device");
            return;
        }
        audio.playStream(a.c_str());
        audio.playStream(b.c_str());
        bool toA = true;
        auto next = std::chrono::steady_clock::now();
        for (auto _ : state) {
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
            auto t0 = std::chrono::steady_clock::now();
            audio.update(1.0f / 60.0f);
            double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            state.SetIterationTime(s);
            if (s > worst) worst = s;
            times.push_back(s);
            // Keep two streams playing: start the next cross-fade when one ends.
            if (!audio.hasMusic(1)) {
                audio.playStream(toA ? a.c_str() : b.c_str());
                toA = !toA;
                next = std::chrono::steady_clock::now();
            }
        }
    }
    state.counters["worst_ms"] = worst * 1000.0;
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        state.counters["median_us"] = times[times.size() / 2] * 1e6;
    }
}
BENCHMARK(BM_UpdateTwoStreams)->Arg(0)->Arg(1)->UseManualTime()->Iterations(600)->Unit(benchmark::kMicrosecond);

// Starting a stream of a three-minute file: opening and queueing the first
// chunks only, whatever the file's length. Arg 0: Ogg Vorbis, 1: 16-bit WAV.
void BM_StartStreamOfThreeMinutes(benchmark::State& state) {
    std::string file = state.range(0) == 0 ? makeMusic("long.ogg", 180, SF_FORMAT_OGG | SF_FORMAT_VORBIS)
                                           : makeMusic("long.wav", 180, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    Engine engine;
    long poolBefore = 0, poolAfter = 0;
    {
        Audio_System_Impl audio;
        if (!audio.hasOutput()) {
            state.SkipWithError("no OpenAL device");
            return;
        }
        audio.playStream(file.c_str()); // the table entry, made once
        audio.playStream(file.c_str());
        poolBefore = core::memoryManager().getUsedBytes();
        for (auto _ : state) {
            // Each start replaces the oldest of the two playing streams.
            audio.playStream(file.c_str());
        }
        poolAfter = core::memoryManager().getUsedBytes();
    }
    state.counters["pool_bytes_held"] = (double)(poolAfter - poolBefore);
    state.counters["queue_bytes_per_stream"] =
        (double)(Music_Stream::BUFFER_COUNT * Music_Stream::BUFFER_FRAMES * 2 * (int)sizeof(short));
}
BENCHMARK(BM_StartStreamOfThreeMinutes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
