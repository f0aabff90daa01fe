// Audio_System_Impl: the audio system over OpenAL Soft (output) and
// libsndfile (decoding).
//
// A channel is an OpenAL source from a pool of CHANNEL_COUNT made at start-up;
// a free channel is one that is not playing. When all are busy the sound that
// started first gives way; the music channels (highest priority) never do.
// A sound is decoded whole into one buffer; music is streamed (Music_Stream),
// each playing stream with its own reader of the file. The master volume is
// the listener gain.
//
// Without an output device the system runs silent: every operation does
// nothing. A device that cannot be set up fails the result check (logged
// "OpenAL error! (code) text", reported as an assertion) and runs silent too.
// Files that cannot be played log one warning each and are retried on the
// next call (a file may appear later).
//
// The mix normally goes to the default output device, which pulls it in real
// time on its own thread. A loopback output (OpenAL Soft's ALC_SOFT_loopback)
// instead mixes only when renderMix() asks, so a caller can take exactly the
// samples of the steps it ran, independent of any clock.
#pragma once
#include "audio/Audio_System.h"
#include "audio/Music_Stream.h"
#include "core/String.h"
#include "core/Vector.h"

struct Sound_Info {
    core::String file;
    unsigned int sound; // OpenAL buffer of the whole decoded file; 0 while only streamed
};

class Audio_System_Impl : public Audio_System {
public:
    static const int CHANNEL_COUNT = 100;
    // Versions are (major << 16) | minor of the OpenAL implementation.
    static const int REQUIRED_VERSION = 0x00010001;

    enum Output { DEVICE_OUTPUT, LOOPBACK_OUTPUT };
    // The loopback output: 16-bit stereo at this rate.
    static const int LOOPBACK_RATE = 48000;

    explicit Audio_System_Impl(Output output = DEVICE_OUTPUT);
    ~Audio_System_Impl() override;

    // Loopback output only: mixes the next `frames` frames (interleaved
    // left/right) into `samples`. False, writing nothing, without one.
    bool renderMix(short* samples, int frames);

    void update(float step) override;
    bool isMuted() override;
    void setMuted(bool muted) override;
    void loadSound(const char* file) override;
    void playSound(const char* file) override;
    void playStream(const char* file) override;

    // For tests and diagnostics.
    bool hasOutput() const { return m_context != 0; }
    int getSoundCount() const { return m_sounds.size(); }
    float getMasterVolume() const { return m_masterVolume; }
    // Volume of music slot 0 (current) or 1 (previous, fading out).
    float getMusicVolume(int slot) const { return m_volumes[slot]; }
    bool hasMusic(int slot) const { return m_music[slot].get() != 0; }

private:
    void initialize();
    void* openDevice();
    void shutdown();
    int findSound(const char* file) const;
    unsigned int decodeSound(const char* file);
    Sound_Decoder* openDecoder(const char* file);
    void warnOnce(const char* file, const char* reason);
    int takeChannel();
    bool isMusicSource(unsigned int source) const;
    void stopMusic(int slot);

    core::Vector<Sound_Info> m_sounds;
    bool m_muted;
    void* m_device;  // ALCdevice*
    void* m_context; // ALCcontext*
    Output m_output;
    void* m_renderSamples; // alcRenderSamplesSOFT of a loopback output
    core::Ref<Music_Stream> m_music[2];
    float m_volumes[2];
    float m_masterVolume;
    float m_targetMasterVolume;
    float m_appliedMasterVolume; // the listener gain last set

    unsigned int m_channels[CHANNEL_COUNT];
    unsigned int m_channelStarts[CHANNEL_COUNT]; // start order, to take the oldest sound when all are busy
    int m_channelCount;
    unsigned int m_startCounter;
    core::Vector<short> m_scratch;
    // Files already reported as unplayable, so a script that retries every
    // step logs one warning.
    struct Warned_File {
        core::String file;
    };
    core::Vector<Warned_File> m_warned;
};
