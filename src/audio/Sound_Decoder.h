// Sound_Decoder: reads a sound file (WAV, FLAC, OGG/Vorbis, Opus, MP3, ...)
// through libsndfile as interleaved 16-bit frames of one or two channels.
// Files with more channels are folded down to stereo (the channels past the
// first two are mixed into both sides), so every sound fits OpenAL's basic
// mono and stereo formats.
#pragma once
#include "core/Object.h"
#include "core/String.h"
#include "core/Vector.h"

struct sf_private_tag;

class Sound_Decoder : public core::Object {
public:
    // Opens `file` (a path relative to the working directory). Answers null
    // when the file is missing or not a decodable sound; `error` then holds
    // the decoder's reason.
    static Sound_Decoder* open(const char* file, core::String& error);
    ~Sound_Decoder() override;

    int getChannels() const { return m_outChannels; }
    int getSampleRate() const { return m_sampleRate; }
    long long getFrames() const { return m_frames; }

    // Reads up to `frames` frames into `out` (frames * getChannels() shorts).
    // Answers the frames read; fewer than asked only at the end of the file or
    // on a read error.
    int read(short* out, int frames);
    // Reads exactly `frames` frames, starting again from the first frame each
    // time the end is reached, so a looping stream has no gap. Answers false
    // when the file yields no frames at all (empty or unreadable).
    bool readLooping(short* out, int frames);
    bool rewind();

private:
    Sound_Decoder(sf_private_tag* file, int channels, int sampleRate, long long frames);

    sf_private_tag* m_file;
    int m_fileChannels;
    int m_outChannels;
    int m_sampleRate;
    long long m_frames;
    core::Vector<float> m_block; // one block of decoded frames, all channels
};
