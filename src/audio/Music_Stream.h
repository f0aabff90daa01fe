// Music_Stream: one playing music channel. The file is decoded in chunks into
// a short queue of OpenAL buffers on the channel's source; update() refills
// the buffers the source has finished with, so a stream never holds more than
// BUFFER_COUNT chunks in memory, however long the file. The decoder starts
// over at the end of the file, so the stream loops without a gap.
#pragma once
#include "audio/Sound_Decoder.h"
#include "core/Ref.h"

class Music_Stream : public core::Object {
public:
    static const int BUFFER_COUNT = 4;
    static const int BUFFER_FRAMES = 8192;

    // Takes the decoder; `source` is an OpenAL source the caller reserves for
    // this stream until stop(). Every `scratch` holds BUFFER_FRAMES stereo
    // frames and is only used during the call.
    Music_Stream(Sound_Decoder* decoder, unsigned int source);
    ~Music_Stream() override;

    // Queues the first chunks without playing. Answers false (and leaves
    // nothing queued) when the file yields no sound.
    bool prepare(short* scratch);
    void setVolume(float volume);
    void play();
    // Refills the finished buffers and restarts the source after an underrun
    // (a frame loop that stalled longer than the queue lasts).
    void update(short* scratch);
    // Stops the source, takes the queue off it and frees the buffers.
    void stop();

    unsigned int getSource() const { return m_source; }
    bool isPlaying() const;

private:
    bool fill(unsigned int buffer, short* scratch);

    core::Ref<Sound_Decoder> m_decoder;
    unsigned int m_source;
    unsigned int m_buffers[BUFFER_COUNT];
    int m_bufferCount;
    int m_format;
    float m_gain;
    bool m_started;
    bool m_broken;
};
