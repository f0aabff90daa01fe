// Music_Stream: chunked decoding into a buffer queue.
#include "audio/Music_Stream.h"
#include <AL/al.h>

Music_Stream::Music_Stream(Sound_Decoder* decoder, unsigned int source)
    : m_decoder(decoder), m_source(source), m_bufferCount(0),
      m_format(decoder->getChannels() == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16),
      m_gain(-1.0f), m_started(false), m_broken(false) {
    for (int i = 0; i < BUFFER_COUNT; ++i) m_buffers[i] = 0;
}

Music_Stream::~Music_Stream() { stop(); }

bool Music_Stream::prepare(short* scratch) {
    alGetError();
    alGenBuffers(BUFFER_COUNT, m_buffers);
    if (alGetError() != AL_NO_ERROR) {
        for (int i = 0; i < BUFFER_COUNT; ++i) m_buffers[i] = 0;
        return false;
    }
    m_bufferCount = BUFFER_COUNT;
    alSourcei(m_source, AL_BUFFER, 0);
    alSourcei(m_source, AL_LOOPING, AL_FALSE);
    for (int i = 0; i < m_bufferCount; ++i) {
        if (!fill(m_buffers[i], scratch)) {
            stop();
            return false;
        }
        alSourceQueueBuffers(m_source, 1, &m_buffers[i]);
    }
    return alGetError() == AL_NO_ERROR;
}

bool Music_Stream::fill(unsigned int buffer, short* scratch) {
    if (m_broken) return false;
    if (!m_decoder->readLooping(scratch, BUFFER_FRAMES)) {
        m_broken = true;
        return false;
    }
    alBufferData(buffer, m_format, scratch, BUFFER_FRAMES * m_decoder->getChannels() * (int)sizeof(short),
                 m_decoder->getSampleRate());
    return true;
}

void Music_Stream::setVolume(float volume) {
    // Every gain change is a property update the mixer has to pick up; once
    // a fade has settled the value stops changing and nothing is sent.
    if (!m_source || volume == m_gain) return;
    m_gain = volume;
    alSourcef(m_source, AL_GAIN, volume);
}

void Music_Stream::play() {
    if (!m_source || !m_bufferCount) return;
    alSourcePlay(m_source);
    m_started = true;
}

void Music_Stream::update(short* scratch) {
    if (!m_started || !m_bufferCount) return;
    ALint processed = 0;
    alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(m_source, 1, &buffer);
        if (fill(buffer, scratch)) alSourceQueueBuffers(m_source, 1, &buffer);
    }
    ALint state = 0, queued = 0;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    alGetSourcei(m_source, AL_BUFFERS_QUEUED, &queued);
    if (state != AL_PLAYING && queued > 0) alSourcePlay(m_source);
}

bool Music_Stream::isPlaying() const {
    if (!m_started || !m_bufferCount) return false;
    ALint state = 0;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void Music_Stream::stop() {
    if (m_source) {
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
    }
    if (m_bufferCount) alDeleteBuffers(m_bufferCount, m_buffers);
    m_bufferCount = 0;
    m_started = false;
}
