// Audio_System_Impl: OpenAL Soft output, libsndfile decoding.
#include "audio/Audio_System_Impl.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <cstring>

namespace {

const float MUSIC_EASING = 0.05f;
const float MASTER_EASING = 0.1f;
const float MUSIC_CUT_OFF = 0.01f;

// The result check: a failing OpenAL call is logged with its code and text,
// then reported as a failed assertion; the caller stops the operation.
void checkResult(int code, const char* text) {
    if (code == 0) return;
    core::log(0x4, "OpenAL error! (%d) %s\n", code, text ? text : "Unknown error.");
    core::assertFailure("false", "false", "Audio_System", 61);
}

void checkAlc(ALCdevice* device) {
    ALCenum code = alcGetError(device);
    if (code != ALC_NO_ERROR) checkResult(code, alcGetString(device, code));
}

void checkAl() {
    ALenum code = alGetError();
    if (code != AL_NO_ERROR) checkResult(code, alGetString(code));
}

} // namespace

Audio_System_Impl::Audio_System_Impl(Output output)
    : m_muted(false), m_device(0), m_context(0), m_output(output), m_renderSamples(0), m_masterVolume(1.0f), m_targetMasterVolume(1.0f), m_appliedMasterVolume(1.0f),
      m_channelCount(0), m_startCounter(0) {
    m_volumes[0] = m_volumes[1] = 0.0f;
    for (int i = 0; i < CHANNEL_COUNT; ++i) m_channels[i] = m_channelStarts[i] = 0;
    try {
        initialize();
    } catch (const Assert_Exception&) {
        // Already reported; carry on without sound.
        shutdown();
    } catch (...) {
        shutdown();
        throw;
    }
}

Audio_System_Impl::~Audio_System_Impl() {
    shutdown();
    m_sounds.clear();
}

void Audio_System_Impl::initialize() {
    alcGetError(0);
    ALCint major = 0, minor = 0;
    alcGetIntegerv(0, ALC_MAJOR_VERSION, 1, &major);
    alcGetIntegerv(0, ALC_MINOR_VERSION, 1, &minor);
    checkAlc(0);
    int version = (major << 16) | minor;
    if (version < REQUIRED_VERSION) {
        core::log(0x4, "Error! You are using an old version of OpenAL %08x. This program requires %08x\n",
                  version, REQUIRED_VERSION);
        return;
    }

    ALCdevice* device = static_cast<ALCdevice*>(openDevice());
    if (!device) {
        core::log(0x4, "Audio: no output device, running without sound\n");
        return;
    }
    m_device = device;

    // Room for every channel whatever the mix of mono and stereo sounds; a
    // loopback device is told the format it renders as well.
    ALCint attributes[] = {ALC_MONO_SOURCES, CHANNEL_COUNT, ALC_STEREO_SOURCES, CHANNEL_COUNT,
                                 ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, LOOPBACK_RATE, 0};
    if (m_output == DEVICE_OUTPUT) attributes[4] = 0;
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context) {
        // The device refused the request: try its own defaults once more.
        alcGetError(device);
        context = alcCreateContext(device, 0);
        checkAlc(device);
        if (!context) checkResult(ALC_INVALID_CONTEXT, alcGetString(device, ALC_INVALID_CONTEXT));
    }
    m_context = context;
    alcMakeContextCurrent(context);
    checkAlc(device);

    alGetError();
    alGenSources(CHANNEL_COUNT, m_channels);
    checkAl();
    m_channelCount = CHANNEL_COUNT;
    // Sounds are not placed in space: no distance attenuation, every source
    // sits on the listener.
    alDistanceModel(AL_NONE);
    for (int i = 0; i < m_channelCount; ++i) {
        alSourcei(m_channels[i], AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(m_channels[i], AL_POSITION, 0.0f, 0.0f, 0.0f);
    }
    alListenerf(AL_GAIN, m_masterVolume);
    checkAl();
    m_scratch.resize(Music_Stream::BUFFER_FRAMES * 2);
}

void* Audio_System_Impl::openDevice() {
    if (m_output == DEVICE_OUTPUT) return alcOpenDevice(0);
    if (!alcIsExtensionPresent(0, "ALC_SOFT_loopback")) return 0;
    LPALCLOOPBACKOPENDEVICESOFT open =
        reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(0, "alcLoopbackOpenDeviceSOFT"));
    LPALCISRENDERFORMATSUPPORTEDSOFT supported =
        reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(alcGetProcAddress(0, "alcIsRenderFormatSupportedSOFT"));
    m_renderSamples = reinterpret_cast<void*>(alcGetProcAddress(0, "alcRenderSamplesSOFT"));
    if (!open || !supported || !m_renderSamples) return 0;
    ALCdevice* device = open(0);
    if (device && !supported(device, LOOPBACK_RATE, ALC_STEREO_SOFT, ALC_SHORT_SOFT)) {
        alcCloseDevice(device);
        device = 0;
    }
    return device;
}

bool Audio_System_Impl::renderMix(short* samples, int frames) {
    if (!m_context || !m_renderSamples || frames < 0) return false;
    reinterpret_cast<LPALCRENDERSAMPLESSOFT>(m_renderSamples)(static_cast<ALCdevice*>(m_device), samples, frames);
    return true;
}

void Audio_System_Impl::shutdown() {
    stopMusic(1);
    stopMusic(0);
    if (m_context) {
        for (int i = 0; i < m_channelCount; ++i) {
            alSourceStop(m_channels[i]);
            alSourcei(m_channels[i], AL_BUFFER, 0);
        }
        if (m_channelCount) alDeleteSources(m_channelCount, m_channels);
        for (int i = 0; i < m_sounds.size(); ++i) {
            if (m_sounds[i].sound) alDeleteBuffers(1, &m_sounds[i].sound);
            m_sounds[i].sound = 0;
        }
        alcMakeContextCurrent(0);
        alcDestroyContext(static_cast<ALCcontext*>(m_context));
    }
    if (m_device) alcCloseDevice(static_cast<ALCdevice*>(m_device));
    m_channelCount = 0;
    m_context = 0;
    m_device = 0;
    m_renderSamples = 0;
    m_scratch.clear();
}

int Audio_System_Impl::findSound(const char* file) const {
    for (int i = 0; i < m_sounds.size(); ++i) {
        if (std::strcmp(m_sounds[i].file.c_str(), file) == 0) return i;
    }
    return -1;
}

void Audio_System_Impl::warnOnce(const char* file, const char* reason) {
    for (int i = 0; i < m_warned.size(); ++i) {
        if (std::strcmp(m_warned[i].file.c_str(), file) == 0) return;
    }
    Warned_File warned;
    warned.file = file;
    m_warned.append(warned);
    core::log(0x2, "Audio: cannot play '%s': %s\n", file, reason);
}

Sound_Decoder* Audio_System_Impl::openDecoder(const char* file) {
    core::String error;
    Sound_Decoder* decoder = Sound_Decoder::open(file, error);
    if (!decoder) {
        warnOnce(file, error.c_str());
        return 0;
    }
    if (decoder->getFrames() <= 0) {
        delete decoder;
        warnOnce(file, "the file holds no sound");
        return 0;
    }
    return decoder;
}

unsigned int Audio_System_Impl::decodeSound(const char* file) {
    core::Ref<Sound_Decoder> decoder = openDecoder(file);
    if (!decoder) return 0;
    long long samples = decoder->getFrames() * decoder->getChannels();
    // A sound is held whole; music that long belongs in a stream.
    if (samples * (long long)sizeof(short) > core::memoryManager().getFreeBytes()) {
        warnOnce(file, "too long to hold in memory (play it as a stream)");
        return 0;
    }
    core::Vector<short> data;
    try {
        data.resize((int)samples);
    } catch (const core::MemoryManagerException&) {
        warnOnce(file, "too long to hold in memory (play it as a stream)");
        return 0;
    }
    int frames = decoder->read(data.data(), (int)decoder->getFrames());
    if (frames <= 0) {
        warnOnce(file, "the file holds no readable sound");
        return 0;
    }
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) return 0;
    alBufferData(buffer, decoder->getChannels() == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, data.data(),
                 frames * decoder->getChannels() * (int)sizeof(short), decoder->getSampleRate());
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        warnOnce(file, "the audio device refused the sound");
        return 0;
    }
    return buffer;
}

bool Audio_System_Impl::isMusicSource(unsigned int source) const {
    for (int s = 0; s < 2; ++s) {
        if (m_music[s] && m_music[s]->getSource() == source) return true;
    }
    return false;
}

int Audio_System_Impl::takeChannel() {
    int oldest = -1;
    for (int i = 0; i < m_channelCount; ++i) {
        if (isMusicSource(m_channels[i])) continue;
        ALint state = AL_STOPPED;
        alGetSourcei(m_channels[i], AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING && state != AL_PAUSED) return i;
        if (oldest < 0 || m_channelStarts[i] - m_channelStarts[oldest] > 0x80000000u) oldest = i;
    }
    // Every channel is busy: music has the highest priority, so the sound
    // that started first gives way.
    if (oldest >= 0) {
        alSourceStop(m_channels[oldest]);
        alSourcei(m_channels[oldest], AL_BUFFER, 0);
    }
    return oldest;
}

void Audio_System_Impl::stopMusic(int slot) {
    if (!m_music[slot]) return;
    m_music[slot]->stop();
    m_music[slot] = 0;
}

void Audio_System_Impl::update(float) {
    if (m_context) {
        for (int s = 0; s < 2; ++s) {
            if (m_music[s]) m_music[s]->update(m_scratch.data());
        }
    }
    for (int s = 0; s < 2; ++s) {
        float target = s == 0 ? 1.0f : 0.0f;
        m_volumes[s] += (target - m_volumes[s]) * MUSIC_EASING;
        if (m_music[s]) m_music[s]->setVolume(m_volumes[s]);
    }
    if (m_music[1] && m_volumes[1] < MUSIC_CUT_OFF) stopMusic(1);
    m_masterVolume += (m_targetMasterVolume - m_masterVolume) * MASTER_EASING;
    if (m_context && m_masterVolume != m_appliedMasterVolume) {
        m_appliedMasterVolume = m_masterVolume;
        alListenerf(AL_GAIN, m_masterVolume);
    }
}

bool Audio_System_Impl::isMuted() { return m_muted; }

void Audio_System_Impl::setMuted(bool muted) {
    m_muted = muted;
    m_targetMasterVolume = muted ? 0.0f : 1.0f;
}

void Audio_System_Impl::loadSound(const char* file) {
    if (!m_context || !file) return;
    if (findSound(file) >= 0) return;
    unsigned int sound = decodeSound(file);
    if (!sound) return;
    Sound_Info info;
    info.file = file;
    info.sound = sound;
    m_sounds.append(info);
}

void Audio_System_Impl::playSound(const char* file) {
    if (!m_context || !file) return;
    loadSound(file);
    int index = findSound(file);
    if (index < 0) return;
    // A file known only as a stream so far is decoded whole now, once.
    if (!m_sounds[index].sound) m_sounds[index].sound = decodeSound(file);
    if (!m_sounds[index].sound) return;
    int channel = takeChannel();
    if (channel < 0) return;
    ALuint source = m_channels[channel];
    alSourcei(source, AL_BUFFER, (ALint)m_sounds[index].sound);
    alSourcei(source, AL_LOOPING, AL_FALSE);
    alSourcef(source, AL_GAIN, 1.0f);
    alSourcePlay(source);
    m_channelStarts[channel] = ++m_startCounter;
}

void Audio_System_Impl::playStream(const char* file) {
    if (!m_context || !file) return;
    // Every playing stream reads the file at its own position, so each start
    // opens it; the table remembers the name.
    core::Ref<Sound_Decoder> decoder = openDecoder(file);
    if (!decoder) return;
    if (findSound(file) < 0) {
        Sound_Info info;
        info.file = file;
        info.sound = 0;
        m_sounds.append(info);
    }

    stopMusic(1);
    m_music[1] = m_music[0];
    m_volumes[1] = m_volumes[0];
    m_music[0] = 0;

    int channel = takeChannel();
    if (channel >= 0) {
        core::Ref<Music_Stream> stream = M3D_NEW Music_Stream(decoder.get(), m_channels[channel]);
        if (stream->prepare(m_scratch.data())) m_music[0] = stream;
        else warnOnce(file, "the file holds no readable sound");
    }
    m_volumes[0] = m_music[1] ? 0.0f : 1.0f;
    if (m_music[0]) {
        m_music[0]->setVolume(m_volumes[0]);
        m_music[0]->play();
    }
}
