// The audio family run from real Lua scripts against the real audio system
// (OpenAL Soft mixing through a loopback output). What the system does with
// missing and broken files is the audio tests'.
#include "ScriptTestSupport.h"
#include "support/AudioCapture.h"
#include "support/Text.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class LuaAudioTest : public LuaTest {
protected:
    WorkDir dir;
};

TEST_F(LuaAudioTest, ScriptsPlaySoundsAndMusicAndWithoutAnAudioSystemTheCheckFails) {
    StderrCapture err;
    EXPECT_TRUE(failsWith(L, "audio_play_sound('a.wav')", "g_glob_audio_system != 0"));
    EXPECT_NE(err.finish().find("ASSERT FAILURE!"), std::string::npos);

    ASSERT_TRUE(writeTone("tone.wav", 300, 0.25));
    ASSERT_TRUE(writeNoise("hit.wav", 0.2));
    Capture cap;
    Audio_System_Impl audio(Audio_System_Impl::LOOPBACK_OUTPUT);
    Mixer mix(audio, cap);
    EXPECT_EQ(
        runLua(L, "audio_load_sound('hit.wav') audio_play_sound('hit.wav') audio_play_stream('tone.wav')"),
        "");
    EXPECT_EQ(audio.getSoundCount(), 2);
    mix.steps(40);
    double start = cap.onset(300, 0.05);
    ASSERT_GE(start, 0.0);
    EXPECT_GT(cap.tone(300, start + 0.4), 0.1) << "the music is not playing";
}

} // namespace
