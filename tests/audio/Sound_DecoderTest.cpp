// Sound_Decoder: the formats and shapes of files the engine is given, and the
// demo's own sounds.
#include "audio/Sound_Decoder.h"
#include "core/Ref.h"
#include "support/AudioCapture.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include <dirent.h>
#include <sys/stat.h>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

using namespace testsupport;

namespace {

class SoundDecoderTest : public CoreTest {
protected:
    TempDir temp;
    std::string dir = temp.path();
};

TEST_F(SoundDecoderTest, LoopingReadWrapsWithoutLosingFrames) {
    std::string path = dir + "/ramp.wav";
    {
        SF_INFO info = SF_INFO();
        info.samplerate = 8000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        short ramp[100];
        for (int i = 0; i < 100; ++i) ramp[i] = (short)(i * 100);
        sf_writef_short(f, ramp, 100);
        sf_close(f);
    }
    core::String error;
    core::Ref<Sound_Decoder> d = Sound_Decoder::open(path.c_str(), error);
    ASSERT_TRUE(d) << error.c_str();
    EXPECT_EQ(d->getChannels(), 1);
    EXPECT_EQ(d->getSampleRate(), 8000);
    EXPECT_EQ(d->getFrames(), 100);
    short out[350];
    ASSERT_TRUE(d->readLooping(out, 350));
    for (int i = 0; i < 350; ++i) ASSERT_EQ(out[i], (short)((i % 100) * 100)) << "frame " << i;
}

TEST_F(SoundDecoderTest, SurroundFilesFoldToStereo) {
    std::string path = dir + "/six.wav";
    {
        SF_INFO info = SF_INFO();
        info.samplerate = 8000;
        info.channels = 6;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<short> data(6 * 2000);
        for (int i = 0; i < 2000; ++i) {
            data[i * 6 + 0] = 8000;  // left
            data[i * 6 + 1] = -8000; // right
            for (int c = 2; c < 6; ++c) data[i * 6 + c] = 4000;
        }
        sf_writef_short(f, data.data(), 2000);
        sf_close(f);
    }
    core::String error;
    core::Ref<Sound_Decoder> d = Sound_Decoder::open(path.c_str(), error);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->getChannels(), 2);
    std::vector<short> out(2 * 2000);
    EXPECT_EQ(d->read(out.data(), 2000), 2000);
    // Half of each side plus half the average of the other four channels.
    EXPECT_EQ(out[0], 4000 + 2000);
    EXPECT_EQ(out[1], -4000 + 2000);
    EXPECT_EQ(out[2 * 1999], 6000);
}

TEST_F(SoundDecoderTest, MissingEmptyAndForeignFilesAreRefusedWithAReason) {
    core::String error;
    EXPECT_EQ(Sound_Decoder::open((dir + "/nothing.ogg").c_str(), error), nullptr);
    EXPECT_GT(error.length(), 0);
    temp.write("text.wav", "just some text, not a sound");
    EXPECT_EQ(Sound_Decoder::open((dir + "/text.wav").c_str(), error), nullptr);
    EXPECT_GT(error.length(), 0);

    // A valid file without frames opens, but never yields a looping chunk.
    ASSERT_TRUE(writeTone(dir + "/empty.wav", 440, 0.0));
    core::Ref<Sound_Decoder> d = Sound_Decoder::open((dir + "/empty.wav").c_str(), error);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->getFrames(), 0);
    short out[64];
    EXPECT_FALSE(d->readLooping(out, 32));
}

TEST_F(SoundDecoderTest, TheDemoSoundsDecodeAndStaySmall) {
    std::string folder = std::string(PELLORAN_SOURCE_DIR) + "/Data/Sounds";
    DIR* d = opendir(folder.c_str());
    ASSERT_NE(d, nullptr) << folder;
    int count = 0;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".ogg") continue;
        std::string path = folder + "/" + name;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_LT(st.st_size, 1024 * 1024) << name;
        core::String error;
        core::Ref<Sound_Decoder> s = Sound_Decoder::open(path.c_str(), error);
        ASSERT_TRUE(s) << name << ": " << error.c_str();
        EXPECT_GT(s->getFrames(), 1000) << name;
        ++count;
    }
    closedir(d);
    EXPECT_GE(count, 6);
}

TEST_F(SoundDecoderTest, DamagedFilesAreReadOrRefusedWithAReason) {
    // A WAV and a FLAC file with random bytes changed (in the header, anywhere,
    // or cut short): each either opens and reads to its end, loops and
    // rewinds, or is refused with the decoder's reason.
    std::vector<std::string> files;
    short ramp[2000];
    for (int i = 0; i < 2000; ++i) ramp[i] = (short)(i * 37);
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
        SF_INFO info = SF_INFO();
        info.samplerate = 8000;
        info.channels = 2;
        info.format = format;
        std::string path = dir + (format & SF_FORMAT_FLAC ? "/ramp.flac" : "/ramp.wav");
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_writef_short(f, ramp, 1000);
        sf_close(f);
        files.push_back(path);
    }
    std::mt19937 next(20261207);
    int opened = 0, refused = 0;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (int k = 0; k < 150; ++k) {
            std::vector<char> bytes = original;
            if (k % 3 == 2) bytes.resize(next() % bytes.size());
            for (int n = 1 + (int)(next() % 8); n > 0 && !bytes.empty(); --n) {
                size_t i = k % 3 == 0 ? next() % 64 : next() % bytes.size();
                if (i < bytes.size()) bytes[i] = (char)(k & 1 ? next() : bytes[i] ^ (1 << (next() % 8)));
            }
            std::string damaged = dir + "/damaged" + file.substr(file.rfind('.'));
            std::ofstream(damaged, std::ios::binary | std::ios::trunc).write(bytes.data(), (std::streamsize)bytes.size());
            core::String error;
            core::Ref<Sound_Decoder> d = Sound_Decoder::open(damaged.c_str(), error);
            if (!d) {
                EXPECT_FALSE(error.isEmpty()) << "refused without a reason, #" << k;
                ++refused;
                continue;
            }
            ++opened;
            ASSERT_GE(d->getChannels(), 1);
            ASSERT_LE(d->getChannels(), 2);
            std::vector<short> buffer(4096 * 2);
            long long total = 0;
            for (int got; (got = d->read(buffer.data(), 4096)) > 0 && total < 1000000;) total += got;
            d->rewind();
            d->readLooping(buffer.data(), 4096);
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
