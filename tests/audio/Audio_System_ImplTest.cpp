// Audio_System_Impl against real OpenAL Soft: a loopback output mixes exactly the
// samples of the 1/60 s steps each test runs, and the mix is measured afterwards.
#include "audio/Audio_System_Impl.h"
#include "core/Exceptions.h"
#include "support/AudioCapture.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include <algorithm>
#include <optional>
#include <sys/wait.h>

using namespace testsupport;

namespace {

class AudioTest : public CoreTest {
protected:
    // The audio system on the loopback output; after six quiet steps a.wav (300 Hz) starts playing.
    Audio_System_Impl& open(bool music = true) {
        EXPECT_TRUE(writeTone(file("a.wav"), 300, 0.25));
        audio.emplace(Audio_System_Impl::LOOPBACK_OUTPUT);
        mix.emplace(*audio, cap);
        EXPECT_TRUE(audio->hasOutput());
        mix->steps(6);
        if (music) play("a.wav");
        return *audio;
    }
    void play(const char* name) { audio->playStream(file(name).c_str()); }
    std::string file(const char* name) const { return dir.file(name); }
    // When `frequency` first falls below `level` from `from` on; -1 when never.
    double fall(double frequency, double level, double from) const {
        for (double t = from; t + 0.02 < cap.seconds(); t += 0.005)
            if (cap.tone(frequency, t) < level) return t;
        return -1;
    }
    // Where the 300 Hz music starts in the mix, and its level `at` seconds on.
    std::pair<double, double> music(double at = 0.1) const {
        double t = cap.onset(300, 0.05);
        EXPECT_GE(t, 0.0) << "the music did not start";
        return {t, cap.tone(300, t + at)};
    }
    // The smallest and largest windowed amplitude of `frequency` over [from, to).
    std::pair<double, double> toneRange(double frequency, double from, double to) const {
        double lo = 1e9, hi = 0;
        for (double t = from; t + 0.02 < to; t += 0.01) {
            lo = std::min(lo, cap.tone(frequency, t));
            hi = std::max(hi, cap.tone(frequency, t));
        }
        return {lo, hi};
    }

    TempDir dir;
    Capture cap;
    std::optional<Audio_System_Impl> audio;
    std::optional<Mixer> mix;
};

TEST_F(AudioTest, InstanceIsRegisteredOnceAndCleared) {
    StderrCapture err;
    Audio_System* first = M3D_NEW Audio_System_Impl();
    EXPECT_THROW(M3D_NEW Audio_System_Impl(), Assert_Exception);
    EXPECT_EQ(g_glob_audio_system, first) << "a refused second instance must not unregister the first";
    delete first;
    EXPECT_EQ(g_glob_audio_system, nullptr);
    EXPECT_NE(err.finish().find("g_glob_audio_system == 0"), std::string::npos);
}

TEST_F(AudioTest, SameSoundTwiceIsOpenedOnceAndOverlaps) {
    ASSERT_TRUE(writeNoise(file("hit.wav"), 0.6));
    open(false).playSound(file("hit.wav").c_str());
    mix->steps(15);
    // The file is gone: the second play can only come from the first opening.
    std::remove(file("hit.wav").c_str());
    audio->playSound(file("hit.wav").c_str());
    EXPECT_EQ(audio->getSoundCount(), 1);
    mix->steps(66);
    double start = cap.onset(0, 0.02);
    ASSERT_GE(start, 0.0);
    double single = cap.rms(start + 0.05, 0.15);
    EXPECT_GT(single, 0.05);
    // Two uncorrelated copies of the noise: about sqrt(2) louder together.
    EXPECT_NEAR(cap.rms(start + 0.32, 0.22) / single, 1.414, 0.2) << "the two plays do not overlap";
    EXPECT_NEAR(cap.rms(start + 0.65, 0.15) / single, 1.0, 0.15) << "the second play was cut short";
    EXPECT_LT(cap.rms(start + 0.95, 0.15) / single, 0.02) << "a sound kept playing";
}

TEST_F(AudioTest, StreamsLoopWithoutGapAndCrossFade) {
    // Whole numbers of periods, so the loop seam is continuous.
    ASSERT_TRUE(writeTone(file("b.ogg"), 1000, 0.3));
    open();
    mix->steps(60);
    play("b.ogg");
    mix->steps(150);
    auto [aStart, full] = music(0.5);
    ASSERT_GT(full, 0.1);
    // Four passes through the 0.25 s file with no dip at the seams.
    std::pair<double, double> a = toneRange(300, aStart + 0.05, aStart + 0.95);
    EXPECT_GT(a.first / a.second, 0.9) << "the looping stream has a gap or a dip";

    // The new stream reaches a tenth of its level after two steps.
    double bStart = cap.onset(1000, 0.1 * full, aStart);
    ASSERT_GT(bStart, aStart + 0.9);
    double swap = bStart - 2.0 / 60.0;
    EXPECT_LT(cap.tone(1000, swap + 0.05), 0.3 * full) << "the new stream did not start from silence";
    EXPECT_NEAR(cap.tone(300, swap + 0.75) / full, 0.099, 0.06) << "old stream after 45 steps";
    EXPECT_LT(cap.tone(300, swap + 1.65) / full, 0.003) << "old stream not stopped after 90 steps";
    std::pair<double, double> b = toneRange(1000, swap + 1.7, swap + 2.4);
    EXPECT_GT(b.first / full, 0.95);
    EXPECT_LT(b.second / full, 1.05);

    // The stream already playing cross-fades into a second channel too.
    play("b.ogg");
    EXPECT_EQ(audio->getSoundCount(), 2) << "one record per file name";
    mix->steps(90);
    EXPECT_FALSE(audio->hasMusic(1));
    EXPECT_NEAR(audio->getMusicVolume(0), 1.0 - std::pow(0.95, 90), 1e-4);
}

TEST_F(AudioTest, MusicResumesAfterTheFrameLoopStalled) {
    open();
    mix->steps(20);
    // Longer than the queued chunks last: the source runs dry and stops.
    mix->mix(1.5);
    mix->steps(40);
    auto [aStart, full] = music();
    double gap = fall(300, 0.1 * full, aStart);
    ASSERT_GT(gap, aStart) << "the stall should have emptied the queue";
    double back = cap.onset(300, 0.9 * full, gap);
    ASSERT_GT(back, gap) << "the music did not come back after the stall";
    EXPECT_GT(toneRange(300, back + 0.05, back + 0.5).first / full, 0.9) << "the music did not settle";
}

TEST_F(AudioTest, ThirdStreamStopsTheOldestAtOnce) {
    ASSERT_TRUE(writeTone(file("b.wav"), 1000, 0.25));
    ASSERT_TRUE(writeTone(file("c.wav"), 2000, 0.25));
    open();
    mix->steps(30);
    play("b.wav");
    mix->steps(20);
    play("c.wav"); // b, at 1 - 0.95^20, is now the one fading out; c fades in from 0
    mix->steps(30);
    auto [aStart, full] = music(0.2);
    double cStart = cap.onset(2000, 0.1 * full, aStart);
    ASSERT_GT(cStart, aStart + 0.6);
    double third = cStart - 2.0 / 60.0;
    EXPECT_GT(cap.tone(300, third - 0.06) / full, 0.25) << "the first stream was still fading";
    EXPECT_LT(cap.tone(300, third + 0.08) / full, 0.01) << "the oldest stream was not stopped at once";
    EXPECT_NEAR(cap.tone(1000, third + 0.1) / full, 0.64 * std::pow(0.95, 6), 0.12) << "the second fades on";
}

TEST_F(AudioTest, MuteEasesTheMasterVolumeAndRestores) {
    open();
    mix->steps(30);
    audio->setMuted(true);
    mix->steps(60);
    audio->setMuted(false);
    mix->steps(60);
    auto [aStart, full] = music(0.2);
    // The first step takes the level to 0.9, the second to 0.81.
    double falls = fall(300, 0.85 * full, aStart + 0.3);
    ASSERT_GT(falls, 0.0);
    double mute = falls - 1.5 / 60.0;
    EXPECT_NEAR(cap.tone(300, mute + 10.0 / 60.0) / full, 0.349, 0.1) << "after 10 steps";
    EXPECT_LT(cap.tone(300, mute + 0.95) / full, 0.01) << "not silent when muted";
    EXPECT_NEAR(cap.tone(300, mute + 1.9) / full, 1.0, 0.05) << "not restored";
}

TEST_F(AudioTest, MissingAndBrokenFilesStaySilentWithOneWarning) {
    dir.write("broken.wav", "RIFF? not really a sound file");
    StderrCapture err;
    open();
    mix->steps(10);
    for (int i = 0; i < 3; ++i) {
        audio->loadSound(file("missing.wav").c_str());
        audio->playSound(file("missing.wav").c_str());
        play("missing.ogg");
        audio->playSound(file("broken.wav").c_str());
        play("broken.wav");
        mix->steps(1);
    }
    EXPECT_EQ(audio->getSoundCount(), 1) << "failed files must not be stored";
    EXPECT_FALSE(audio->hasMusic(1)) << "a stream that cannot start must not fade the music out";
    mix->steps(30);
    std::string log = err.finish();
    for (const char* name : {"missing.wav", "missing.ogg", "broken.wav"})
        EXPECT_EQ(countOf(log, name), 1) << log;
    EXPECT_EQ(countOf(log, "WARNING |"), 3) << log;
    EXPECT_EQ(core::engineGlobals()->log->getErrorCount(), 0);
    double aStart = music().first;
    std::pair<double, double> a = toneRange(300, aStart + 0.05, aStart + 0.6);
    EXPECT_GT(a.first / a.second, 0.9) << "the music was disturbed";
}

TEST_F(AudioTest, WhenEveryChannelIsBusyTheOldestSoundGivesWayNeverTheMusic) {
    ASSERT_TRUE(writeTone(file("long.wav"), 1000, 2.0, 0.002));
    open();
    mix->steps(12);
    // Far more plays than channels, all still running.
    for (int i = 0; i < Audio_System_Impl::CHANNEL_COUNT + 20; ++i)
        audio->playSound(file("long.wav").c_str());
    mix->steps(30);
    auto [aStart, full] = music();
    double sounds = cap.onset(1000, 0.02, aStart);
    ASSERT_GT(sounds, 0.0) << "the sounds did not play";
    EXPECT_GT(toneRange(300, aStart + 0.05, sounds + 0.4).first / full, 0.9) << "the music lost its channel";
}

// Without a usable output device: OpenAL reads its driver list once per process, so each case
// runs this test binary again with its own list.
TEST(AudioNoDeviceChild, EveryOperationIsSilent) {
    const char* mode = std::getenv("PELLORAN_AUDIO_CHILD");
    if (!mode) GTEST_SKIP() << "runs only as the child of AudioNoDevice tests";
    // "none": no back end; "null": a device that discards; "few": fewer sources than channels.
    EngineCore core(10240000, 0x4);
    TempDir dir;
    ASSERT_TRUE(writeTone(dir.file("a.wav"), 300, 0.25));
    StderrCapture err;
    Audio_System_Impl* audio = M3D_NEW Audio_System_Impl();
    EXPECT_EQ(audio->hasOutput(), std::string(mode) == "null");
    audio->loadSound(dir.file("a.wav").c_str());
    audio->playSound(dir.file("a.wav").c_str());
    audio->playStream(dir.file("a.wav").c_str());
    audio->playStream(dir.file("a.wav").c_str());
    audio->setMuted(true);
    for (int i = 0; i < 20; ++i)
        audio->update(1.0f / 60.0f);
    delete audio;
    std::string log = err.finish();
    EXPECT_EQ(countOf(log, "WARNING"), 0) << log;
    if (std::string(mode) == "few") {
        // The back end's code and text, then the assertion report; no sound after.
        EXPECT_NE(log.find("OpenAL error! ("), std::string::npos) << log;
        EXPECT_NE(log.find("ASSERT FAILURE!"), std::string::npos) << log;
    } else {
        EXPECT_EQ(countOf(log, "ERROR"), 0) << log;
    }
}

TEST(AudioNoDevice, EveryKindOfMissingDeviceRunsSilent) {
    const struct {
        const char* mode;
        const char* config;
    } cases[] = {{"none", "drivers=-pulse,-alsa,-oss,-jack,-port,-sdl2,-sndio,-null,-wave\n"},
                 {"null", "drivers=null\n"},
                 {"few", "drivers=null\nsources=10\n"}};
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("alsoft.conf", std::string("[general]\n") + c.config);
        std::string cmd = std::string("env -u ALSOFT_DRIVERS PELLORAN_AUDIO_CHILD=") + c.mode +
                          " ALSOFT_CONF=" + dir.file("alsoft.conf") + " /proc/" + std::to_string(getpid()) +
                          "/exe --gtest_filter=AudioNoDeviceChild.EveryOperationIsSilent >" +
                          dir.file("out.txt") + " 2>&1";
        int status = std::system(cmd.c_str());
        std::string out = dir.read("out.txt");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.mode << "\n" << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << c.mode << "\n" << out;
    }
}

} // namespace
