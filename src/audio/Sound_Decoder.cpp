// Sound_Decoder: libsndfile behind a small frame reader.
#include "audio/Sound_Decoder.h"
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
    // Float files hold -1 ... 1; scale them to the full 16-bit range.
    sf_command(sf, SFC_SET_SCALE_FLOAT_INT_READ, 0, SF_TRUE);
    return M3D_NEW Sound_Decoder(sf, info.channels, info.samplerate, info.frames);
}

Sound_Decoder::Sound_Decoder(sf_private_tag* file, int channels, int sampleRate, long long frames)
    : m_file(file), m_fileChannels(channels), m_outChannels(channels > 2 ? 2 : channels),
      m_sampleRate(sampleRate), m_frames(frames) {}

Sound_Decoder::~Sound_Decoder() { sf_close(m_file); }

int Sound_Decoder::read(short* out, int frames) {
    if (frames <= 0) return 0;
    if (m_fileChannels <= 2) return (int)sf_readf_short(m_file, out, frames);

    // Fold down in blocks so the scratch stays small.
    const int BLOCK = 1024;
    if (m_wide.size() < BLOCK * m_fileChannels) m_wide.resize(BLOCK * m_fileChannels);
    int done = 0;
    while (done < frames) {
        int want = frames - done < BLOCK ? frames - done : BLOCK;
        int got = (int)sf_readf_short(m_file, m_wide.data(), want);
        for (int f = 0; f < got; ++f) {
            const short* in = m_wide.data() + f * m_fileChannels;
            int rest = 0;
            for (int c = 2; c < m_fileChannels; ++c) rest += in[c];
            rest /= (m_fileChannels - 2) * 2;
            int l = in[0] / 2 + rest, r = in[1] / 2 + rest;
            out[(done + f) * 2] = (short)(l < -32768 ? -32768 : l > 32767 ? 32767 : l);
            out[(done + f) * 2 + 1] = (short)(r < -32768 ? -32768 : r > 32767 ? 32767 : r);
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
