// The audio family run from real Lua scripts against the real audio system
// (OpenAL Soft writing its output to a WAV file).
#include "ScriptTestSupport.h"
#include "audio/Audio_System_Impl.h"
#include "support/AudioCapture.h"
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace testsupport;

namespace {

const char* const FUNCTIONS[] = {"audio_load_sound", "audio_play_sound", "audio_play_stream"};

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class LuaAudioTest : public ::testing::Test {
protected:
    void SetUp() override { wavPath = useWaveOutput(); }
    TempWorkDir dir;
    EngineCore core;
    std::string wavPath;
};

TEST_F(LuaAudioTest, ArgumentsAreCheckedBeforeTheSystemIsUsed) {
    Audio_System_Impl audio;
    PlainScript s;
    Script_Instance::createState(s.getHolder());
    lua_State* L = s.getState();
    for (const char* f : FUNCTIONS) {
        std::string name(f);
        EXPECT_NE(runLua(L, name + "()").find("Expected 1 - 1 arguments!"), std::string::npos) << f;
        EXPECT_NE(runLua(L, name + "('a.wav', 'b.wav')").find("Expected 1 - 1 arguments!"), std::string::npos) << f;
        EXPECT_NE(runLua(L, name + "({})").find("string expected"), std::string::npos) << f;
    }
    EXPECT_EQ(audio.getSoundCount(), 0);
}

TEST_F(LuaAudioTest, WithoutAnAudioSystemTheCheckFailsAsAScriptError) {
    PlainScript s;
    Script_Instance::createState(s.getHolder());
    StderrCapture err;
    std::string e = runLua(s.getState(), "audio_play_sound('a.wav')");
    std::string log = err.finish();
    EXPECT_NE(e.find("g_glob_audio_system != 0"), std::string::npos) << e;
    EXPECT_NE(log.find("ASSERT FAILURE!"), std::string::npos) << log;
    EXPECT_NE(log.find("Audio_System"), std::string::npos) << log;
}

TEST_F(LuaAudioTest, ScriptsPlaySoundsAndMusicAndMissingFilesOnlyWarn) {
    ASSERT_TRUE(writeTone("tone.wav", 300, 0.25));
    ASSERT_TRUE(writeNoise("hit.wav", 0.2));
    std::string log;
    {
        StderrCapture err;
        Audio_System_Impl audio;
        ASSERT_TRUE(audio.hasOutput());
        PlainScript s;
        Script_Instance::createState(s.getHolder());
        lua_State* L = s.getState();
        EXPECT_EQ(runLua(L, "audio_load_sound('hit.wav') audio_play_sound('hit.wav') audio_play_sound('hit.wav')"), "");
        EXPECT_EQ(runLua(L, "audio_play_stream('tone.wav')"), "");
        EXPECT_EQ(runLua(L, "for i = 1, 3 do audio_load_sound('gone.wav') audio_play_sound('gone.wav') "
                            "audio_play_stream('gone.ogg') end"),
                  "");
        EXPECT_EQ(audio.getSoundCount(), 2);
        EXPECT_TRUE(audio.hasMusic(0));
        EXPECT_FALSE(audio.hasMusic(1));
        runSteps(40, [&] { audio.update(1.0f / 60.0f); });
        log = err.finish();
    }
    EXPECT_EQ(countOf(log, "WARNING |"), 2) << log;
    EXPECT_EQ(countOf(log, "gone.wav"), 1) << log;
    EXPECT_EQ(countOf(log, "gone.ogg"), 1) << log;
    Capture cap = readCapture(wavPath);
    double start = cap.onset(300, 0.05);
    ASSERT_GE(start, 0.0);
    EXPECT_GT(cap.tone(300, start + 0.4), 0.1) << "the music is not playing";
}

// Without any output device: the whole family works and says nothing. OpenAL
// reads its driver list once per process, so this runs in a fresh child.
TEST(LuaAudioNoDeviceChild, FamilyRunsSilently) {
    if (!std::getenv("PELLORAN_AUDIO_CHILD")) GTEST_SKIP() << "runs only as the child of LuaAudioNoDevice";
    TempWorkDir dir;
    EngineCore core;
    ASSERT_TRUE(writeTone("tone.wav", 300, 0.25));
    std::string log;
    {
        StderrCapture err;
        Audio_System* audio = M3D_NEW Audio_System_Impl();
        PlainScript s;
        Script_Instance::createState(s.getHolder());
        EXPECT_EQ(runLua(s.getState(), "audio_load_sound('tone.wav') audio_play_sound('tone.wav') "
                                       "audio_play_stream('tone.wav') audio_play_stream('gone.ogg') "
                                       "audio_play_sound('gone.wav')"),
                  "");
        audio->setMuted(true);
        for (int i = 0; i < 10; ++i) audio->update(1.0f / 60.0f);
        Script_Instance::closeState(s.getHolder());
        delete audio;
        log = err.finish();
    }
    EXPECT_EQ(log, "");
}

TEST(LuaAudioNoDevice, NoOutputDevice) {
    std::string conf = makeTempDir("alsoft-child") + "/alsoft.conf";
    writeText(conf, "[general]\ndrivers=-pulse,-alsa,-oss,-jack,-port,-sdl2,-sndio,-null,-wave\n");
    std::string cmd = "env -u ALSOFT_DRIVERS PELLORAN_AUDIO_CHILD=1 ALSOFT_CONF=" + conf + " /proc/" + std::to_string(getpid()) +
                      "/exe --gtest_filter=LuaAudioNoDeviceChild.FamilyRunsSilently 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

} // namespace
