// Sound_Decoder: libsndfile behind a small frame reader.
#include "audio/Sound_Decoder.h"
#include <cmath>
#include <sndfile.h>

Sound_Decoder* Sound_Decoder::open(const char* file, core::String& error) {
    SF_INFO info = SF_INFO();
    SNDFILE* sf = sf_open(file, SFM_READ, &info);
    if (!sf) {
        error = sf_strerror(0);
        return 0;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = "no audio channels";
        sf_close(sf);
        return 0;
    }
    try {
        return M3D_NEW Sound_Decoder(sf, info.channels, info.samplerate, info.frames);
    } catch (...) {
        sf_close(sf); // a full pool: the file must not stay open
        throw;
    }
}

Sound_Decoder::Sound_Decoder(sf_private_tag* file, int channels, int sampleRate, long long frames)
    : m_file(file), m_fileChannels(channels), m_outChannels(channels > 2 ? 2 : channels),
      m_sampleRate(sampleRate), m_frames(frames) {}

Sound_Decoder::~Sound_Decoder() { sf_close(m_file); }

namespace {

short toShort(float v) {
    float s = v * 32768.0f;
    return (short)(s <= -32768.0f ? -32768 : s >= 32767.0f ? 32767 : (int)lrintf(s));
}

} // namespace

// Frames come from libsndfile as floats in -1 ... 1 whatever the file holds
// (its integer-to-float scaling is exact; asking it for shorts straight from
// a float file would either truncate or scan the whole file for its peak),
// and are converted here, folding extra channels in on the way.
int Sound_Decoder::read(short* out, int frames) {
    if (frames <= 0) return 0;
    const int BLOCK = 1024;
    if (m_block.size() < BLOCK * m_fileChannels) m_block.resize(BLOCK * m_fileChannels);
    int done = 0;
    while (done < frames) {
        int want = frames - done < BLOCK ? frames - done : BLOCK;
        int got = (int)sf_readf_float(m_file, m_block.data(), want);
        short* o = out + done * m_outChannels;
        const float* in = m_block.data();
        if (m_fileChannels <= 2) {
            for (int i = 0; i < got * m_fileChannels; ++i) o[i] = toShort(in[i]);
        } else {
            const float restScale = 0.5f / (float)(m_fileChannels - 2);
            for (int f = 0; f < got; ++f, in += m_fileChannels) {
                float rest = 0.0f;
                for (int c = 2; c < m_fileChannels; ++c) rest += in[c];
                o[f * 2] = toShort(in[0] * 0.5f + rest * restScale);
                o[f * 2 + 1] = toShort(in[1] * 0.5f + rest * restScale);
            }
        }
        done += got;
        if (got < want) break;
    }
    return done;
}

bool Sound_Decoder::readLooping(short* out, int frames) {
    int done = 0;
    bool justRewound = false;
    while (done < frames) {
        int got = read(out + done * m_outChannels, frames - done);
        done += got;
        if (got > 0) {
            justRewound = false;
            continue;
        }
        // At the end: start over, but a pass from the start that brings
        // nothing means an empty or broken file; it must not spin forever.
        if (justRewound || !rewind()) return false;
        justRewound = true;
    }
    return true;
}

bool Sound_Decoder::rewind() { return sf_seek(m_file, 0, SEEK_SET) == 0; }
