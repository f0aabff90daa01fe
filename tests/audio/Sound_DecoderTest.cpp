// Sound_Decoder: the formats and shapes of files the engine is given, and the
// demo's own sounds.
#include "audio/Sound_Decoder.h"
#include "core/Ref.h"
#include "support/AudioCapture.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include <filesystem>
#include <random>
#include <vector>

using namespace testsupport;

namespace {

class SoundDecoderTest : public CoreTest {
protected:
    // Writes interleaved 16-bit samples at 8 kHz to `name`; answers its path.
    std::string write(const char* name, int channels, const std::vector<short>& data,
                      int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
        SF_INFO info = SF_INFO();
        info.samplerate = 8000;
        info.channels = channels;
        info.format = format;
        std::string path = temp.file(name);
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << path;
        if (f) sf_writef_short(f, data.data(), (sf_count_t)data.size() / channels);
        if (f) sf_close(f);
        return path;
    }
    core::Ref<Sound_Decoder> open(const std::string& path) {
        error = core::String();
        core::Ref<Sound_Decoder> d = Sound_Decoder::open(path.c_str(), error);
        EXPECT_EQ(!d, error.length() > 0) << path << ": a refusal, and only a refusal, gives a reason";
        return d;
    }
    TempDir temp;
    core::String error;
};

TEST_F(SoundDecoderTest, LoopingReadWrapsWithoutLosingFrames) {
    std::vector<short> ramp(100);
    for (int i = 0; i < 100; ++i)
        ramp[i] = (short)(i * 100);
    core::Ref<Sound_Decoder> d = open(write("ramp.wav", 1, ramp));
    ASSERT_TRUE(d) << error.c_str();
    short out[350];
    ASSERT_TRUE(d->readLooping(out, 350));
    for (int i = 0; i < 350; ++i)
        ASSERT_EQ(out[i], (short)((i % 100) * 100)) << "frame " << i;
}

TEST_F(SoundDecoderTest, SurroundFilesFoldToStereo) {
    std::vector<short> data(6 * 2000, 4000);
    for (int i = 0; i < 2000; ++i) {
        data[i * 6 + 0] = 8000;  // left
        data[i * 6 + 1] = -8000; // right
    }
    core::Ref<Sound_Decoder> d = open(write("six.wav", 6, data));
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
    EXPECT_FALSE(open(temp.file("nothing.ogg")));
    EXPECT_FALSE(open(temp.write("text.wav", "just some text, not a sound")));
    // A valid file without frames opens, but never yields a looping chunk.
    core::Ref<Sound_Decoder> d = open(write("empty.wav", 1, {}));
    ASSERT_TRUE(d);
    short out[64];
    EXPECT_FALSE(d->readLooping(out, 32));
}

TEST_F(SoundDecoderTest, DamagedFilesAreReadOrRefusedWithAReason) {
    // The demo's sounds open; a WAV and a FLAC file with random bytes changed
    // (in the header, anywhere, or cut short) each either open and read to
    // their end, loop and rewind, or are refused with the decoder's reason.
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(PELLORAN_SOURCE_DIR) + "/Data/Sounds"))
        EXPECT_TRUE(e.path().extension() != ".ogg" || open(e.path().string())) << e.path();
    std::vector<short> ramp(2000);
    for (int i = 0; i < 2000; ++i)
        ramp[i] = (short)(i * 37);
    std::vector<std::string> files = {write("ramp.wav", 2, ramp),
                                      write("ramp.flac", 2, ramp, SF_FORMAT_FLAC | SF_FORMAT_PCM_16)};
    std::mt19937 next(20261207);
    int opened = 0, refused = 0;
    for (const std::string& file : files) {
        std::string original = readFile(file);
        for (int k = 0; k < 150; ++k) {
            std::string bytes = original;
            if (k % 3 == 2) bytes.resize(next() % bytes.size());
            for (int n = 1 + (int)(next() % 8); n > 0 && !bytes.empty(); --n) {
                size_t i = k % 3 == 0 ? next() % 64 : next() % bytes.size();
                if (i < bytes.size()) bytes[i] = (char)(k & 1 ? next() : bytes[i] ^ (1 << (next() % 8)));
            }
            core::Ref<Sound_Decoder> d = open(temp.write("damaged" + file.substr(file.rfind('.')), bytes));
            if (!d) {
                ++refused;
                continue;
            }
            ++opened;
            ASSERT_GE(d->getChannels(), 1);
            ASSERT_LE(d->getChannels(), 2);
            std::vector<short> buffer(4096 * 2);
            long long total = 0;
            for (int got; (got = d->read(buffer.data(), 4096)) > 0 && total < 1000000;)
                total += got;
            d->rewind();
            d->readLooping(buffer.data(), 4096);
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
