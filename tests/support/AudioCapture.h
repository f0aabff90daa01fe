// Test support for audio: OpenAL Soft's output captured to a WAV file by its
// wave-file back end, test sounds written with libsndfile, and measurements
// of the captured signal (amplitude of one frequency over time).
//
// OpenAL Soft reads its configuration once per process, at its first call, so
// useWaveOutput() must run before anything opens a device; every device the
// process opens afterwards rewrites the same file.
#pragma once
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sndfile.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

inline std::string makeTempDir(const char* tag) {
    std::string tmpl = std::string("/tmp/pelloran-") + tag + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    const char* dir = mkdtemp(buf.data());
    return dir ? std::string(dir) : std::string("/tmp");
}

inline void writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return;
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

// Points OpenAL Soft at a configuration in a fresh temp folder; answers the
// WAV file path every device of this process writes (48 kHz, 16-bit stereo).
inline const std::string& useWaveOutput() {
    static const std::string wav = [] {
        std::string dir = makeTempDir("alsoft");
        std::string wavPath = dir + "/out.wav";
        writeText(dir + "/alsoft.conf", "[general]\ndrivers=wave\nfrequency=48000\nchannels=stereo\n"
                                        "sample-type=int16\nperiod_size=512\nperiods=3\n"
                                        "[wave]\nfile=" + wavPath + "\n");
        setenv("ALSOFT_CONF", (dir + "/alsoft.conf").c_str(), 1);
        unsetenv("ALSOFT_DRIVERS");
        return wavPath;
    }();
    return wav;
}

// A sine tone of `seconds` (choose a whole number of periods for clean loops).
inline bool writeTone(const std::string& path, double frequency, double seconds, double amplitude = 0.5,
                      int rate = 48000, int channels = 1) {
    SF_INFO info = SF_INFO();
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    long frames = std::lround(seconds * rate);
    std::vector<float> data((size_t)frames * channels);
    for (long i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[(size_t)i * channels + c] = (float)(amplitude * std::sin(2 * M_PI * frequency * i / rate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return true;
}

// Uniform white noise: two copies that overlap with an offset do not
// correlate, so their sum is louder by about sqrt(2).
inline bool writeNoise(const std::string& path, double seconds, double amplitude = 0.3, int rate = 48000) {
    SF_INFO info = SF_INFO();
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::mt19937 gen(1234);
    std::uniform_real_distribution<float> dist((float)-amplitude, (float)amplitude);
    std::vector<float> data((size_t)std::lround(seconds * rate));
    for (float& s : data) s = dist(gen);
    sf_writef_float(f, data.data(), (sf_count_t)data.size());
    sf_close(f);
    return true;
}

// The captured output, folded to mono.
struct Capture {
    int rate = 0;
    std::vector<float> mono;
    double seconds() const { return rate ? (double)mono.size() / rate : 0.0; }

    // Amplitude of `frequency` in the window [t, t + window) (Goertzel).
    double tone(double frequency, double t, double window = 0.02) const {
        long a = std::lround(t * rate), n = std::lround(window * rate);
        if (a < 0 || a + n > (long)mono.size() || n <= 0) return -1.0;
        double w = 2 * M_PI * frequency / rate, c = 2 * std::cos(w), s1 = 0, s2 = 0;
        for (long i = 0; i < n; ++i) {
            double s0 = mono[(size_t)(a + i)] + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        double re = s1 - s2 * std::cos(w), im = s2 * std::sin(w);
        return 2.0 * std::sqrt(re * re + im * im) / (double)n;
    }

    // Root mean square in the window [t, t + window).
    double rms(double t, double window = 0.02) const {
        long a = std::lround(t * rate), n = std::lround(window * rate);
        if (a < 0 || a + n > (long)mono.size() || n <= 0) return -1.0;
        double sum = 0;
        for (long i = 0; i < n; ++i) sum += (double)mono[(size_t)(a + i)] * mono[(size_t)(a + i)];
        return std::sqrt(sum / (double)n);
    }

    // First time from `from` on where the windowed amplitude of `frequency`
    // (or the RMS when frequency is 0) reaches `level`; -1 when never.
    double onset(double frequency, double level, double from = 0.0, double window = 0.01) const {
        for (double t = from; t + window < seconds(); t += window) {
            double v = frequency > 0 ? tone(frequency, t, window) : rms(t, window);
            if (v >= level) return t;
        }
        return -1.0;
    }
};

inline Capture readCapture(const std::string& path) {
    Capture cap;
    SF_INFO info = SF_INFO();
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return cap;
    std::vector<float> data((size_t)info.frames * info.channels);
    sf_count_t got = sf_readf_float(f, data.data(), info.frames);
    sf_close(f);
    cap.rate = info.samplerate;
    cap.mono.resize((size_t)got);
    for (sf_count_t i = 0; i < got; ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c) sum += data[(size_t)(i * info.channels + c)];
        cap.mono[(size_t)i] = sum / (float)info.channels;
    }
    return cap;
}

// Calls `step` `count` times at 60 per second of real time (the back end
// mixes in real time), catching up rather than drifting when a call is late.
template <typename F> void runSteps(int count, F step) {
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    for (int i = 0; i < count; ++i) {
        step();
        next += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(next);
    }
}

} // namespace testsupport
