// Sound_Decoder: the formats and shapes of files the engine is given, and the
// demo's own sounds.
#include "audio/Sound_Decoder.h"
#include "core/Ref.h"
#include "support/AudioCapture.h"
#include "support/EngineFixture.h"
#include <dirent.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class SoundDecoderTest : public CoreTest {
protected:
    void SetUp() override { dir = makeTempDir("decoder"); }
    std::string dir;
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
    writeText(dir + "/text.wav", "just some text, not a sound");
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

} // namespace
