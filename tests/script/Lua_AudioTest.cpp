// The audio family run from real Lua scripts against the real audio system
// (OpenAL Soft mixing through a loopback output).
#include "ScriptTestSupport.h"
#include "audio/Audio_System_Impl.h"
#include "support/AudioCapture.h"
#include "support/Text.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class LuaAudioTest : public LuaTest {
protected:
    TempWorkDir dir;
};

TEST_F(LuaAudioTest, WithoutAnAudioSystemTheCheckFailsAsAScriptError) {
    StderrCapture err;
    std::string e = runLua(L, "audio_play_sound('a.wav')");
    std::string log = err.finish();
    EXPECT_NE(e.find("g_glob_audio_system != 0"), std::string::npos) << e;
    EXPECT_NE(log.find("ASSERT FAILURE!"), std::string::npos) << log;
    EXPECT_NE(log.find("Audio_System"), std::string::npos) << log;
}

TEST_F(LuaAudioTest, ScriptsPlaySoundsAndMusicAndMissingFilesOnlyWarn) {
    ASSERT_TRUE(writeTone("tone.wav", 300, 0.25));
    ASSERT_TRUE(writeNoise("hit.wav", 0.2));
    std::string log;
    Capture cap;
    {
        StderrCapture err;
        Audio_System_Impl audio(Audio_System_Impl::LOOPBACK_OUTPUT);
        Mixer mix(audio, cap);
        ASSERT_TRUE(audio.hasOutput());
        EXPECT_EQ(
            runLua(L, "audio_load_sound('hit.wav') audio_play_sound('hit.wav') audio_play_sound('hit.wav')"),
            "");
        EXPECT_EQ(runLua(L, "audio_play_stream('tone.wav')"), "");
        EXPECT_EQ(runLua(L, "for i = 1, 3 do audio_load_sound('gone.wav') audio_play_sound('gone.wav') "
                            "audio_play_stream('gone.ogg') end"),
                  "");
        EXPECT_EQ(audio.getSoundCount(), 2);
        EXPECT_TRUE(audio.hasMusic(0));
        EXPECT_FALSE(audio.hasMusic(1));
        mix.steps(40);
        log = err.finish();
    }
    EXPECT_EQ(countOf(log, "WARNING |"), 2) << log;
    EXPECT_EQ(countOf(log, "gone.wav"), 1) << log;
    EXPECT_EQ(countOf(log, "gone.ogg"), 1) << log;
    double start = cap.onset(300, 0.05);
    ASSERT_GE(start, 0.0);
    EXPECT_GT(cap.tone(300, start + 0.4), 0.1) << "the music is not playing";
}

} // namespace
