// Test support for audio: test sounds, the mix rendered on demand through a
// loopback output (whatever the machine's speed), and measurements of it.
#pragma once
#include "audio/Audio_System_Impl.h"
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <sndfile.h>
#include <string>
#include <vector>

namespace testsupport {

// Writes 16-bit WAV; `sample(frame, channel)` gives each sample.
template <typename F> bool writeWav(const std::string& path, long frames, int rate, int channels, F sample) {
    SF_INFO info = SF_INFO();
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::vector<float> data((size_t)frames * channels);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = sample((long)i / channels, (int)(i % channels));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return true;
}

// A sine tone of `seconds` (choose a whole number of periods for clean loops).
inline bool writeTone(const std::string& path, double frequency, double seconds, double amplitude = 0.5,
                      int rate = 48000, int channels = 1) {
    return writeWav(path, std::lround(seconds * rate), rate, channels, [&](long i, int) {
        return (float)(amplitude * std::sin(2 * M_PI * frequency * i / rate));
    });
}

// White noise: two copies overlapping with an offset sum to about sqrt(2) louder.
inline bool writeNoise(const std::string& path, double seconds, double amplitude = 0.3, int rate = 48000) {
    std::mt19937 gen(1234);
    std::uniform_real_distribution<float> dist((float)-amplitude, (float)amplitude);
    return writeWav(path, std::lround(seconds * rate), rate, 1, [&](long, int) { return dist(gen); });
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
        for (long i = 0; i < n; ++i)
            sum += (double)mono[(size_t)(a + i)] * mono[(size_t)(a + i)];
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

// Drives an audio system with a loopback output as the frame loop does: each
// step is one update() and then 1/60 s of mix, appended to `cap` (mono).
class Mixer {
public:
    Mixer(Audio_System_Impl& audio, Capture& cap) : m_audio(audio), m_cap(cap) {
        m_cap.rate = Audio_System_Impl::LOOPBACK_RATE;
    }
    // `count` steps; `each` runs after every update.
    void steps(
        int count, const std::function<void()>& each = [] {}) {
        for (int i = 0; i < count; ++i) {
            m_audio.update(1.0f / 60.0f);
            each();
            mix(1.0 / 60.0);
        }
    }
    // Mixes `seconds` with no update in between (a stalled frame loop).
    void mix(double seconds) {
        std::vector<short> frames((size_t)std::lround(seconds * m_cap.rate) * 2);
        if (!m_audio.renderMix(frames.data(), (int)frames.size() / 2)) return;
        for (size_t i = 0; i < frames.size(); i += 2)
            m_cap.mono.push_back((frames[i] + frames[i + 1]) / (2.0f * 32768.0f));
    }

private:
    Audio_System_Impl& m_audio;
    Capture& m_cap;
};

} // namespace testsupport
