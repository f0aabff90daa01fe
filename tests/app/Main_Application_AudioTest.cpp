// The application's side of audio: it creates the audio system, advances it
// once per fixed step, and the M key toggles mute on each press. Runs the real
// application object on a real script, with OpenAL writing to a WAV file.
#include "app/EngineClasses.h"
#include "app/Main_Application_Impl.h"
#include "audio/Audio_System_Impl.h"
#include "core/EngineGlobals.h"
#include "hal/sdl/InputState.h"
#include "support/AudioCapture.h"
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// OpenAL reads its configuration once per process, at the first device
// anything opens; other tests of this program open devices through the
// application too. Pointing every device at the capture file before any test
// runs keeps this test right when the whole program runs in one process.
[[maybe_unused]] const bool g_waveOutputFirst = (useWaveOutput(), true);

class WorkDir {
public:
    WorkDir() : path(makeTempDir("app-audio")) {
        char here[4096];
        saved = getcwd(here, sizeof here) ? here : "/";
        EXPECT_EQ(chdir(path.c_str()), 0);
        mkdir("Data", 0700);
    }
    ~WorkDir() { EXPECT_EQ(chdir(saved.c_str()), 0); }
    std::string path, saved;
};

TEST(MainApplicationAudio, MKeyMutesGraduallyAndTheNextPressRestores) {
    const std::string& wav = useWaveOutput();
    WorkDir dir;
    ASSERT_TRUE(writeTone("tone.wav", 300, 0.25));
    writeText("Data/Bootstrap.lua", "audio_play_stream('tone.wav')\n"
                                    "function global_update(step) return true end\n"
                                    "function global_render() end\n");
    initEngineClasses(nullptr);
    HAL::InputState* input = core::engineGlobals()->input;
    const float step = 1.0f / 60.0f;
    {
        Main_Application_Impl app(640, 480);
        Audio_System_Impl* audio = dynamic_cast<Audio_System_Impl*>(app.getAudioSystem());
        ASSERT_NE(audio, nullptr);
        ASSERT_EQ(g_glob_audio_system, audio);
        ASSERT_TRUE(audio->hasOutput());
        EXPECT_TRUE(audio->hasMusic(0)) << "the start script's music";
        runSteps(30, [&] { EXPECT_TRUE(app.update(step)); });

        // Held for 20 steps: one press, one toggle; the volume eases down.
        input->keys[Main_Application_Impl::KEY_MUTE] = 1;
        double expected = 1.0;
        runSteps(20, [&] {
            app.update(step);
            expected *= 0.9;
        });
        EXPECT_TRUE(audio->isMuted());
        EXPECT_NEAR(audio->getMasterVolume(), expected, 1e-4) << "10 % of the remaining difference per step";
        input->keys[Main_Application_Impl::KEY_MUTE] = 0;
        runSteps(40, [&] {
            app.update(step);
            expected *= 0.9;
        });
        EXPECT_TRUE(audio->isMuted());
        EXPECT_NEAR(audio->getMasterVolume(), expected, 1e-4);

        input->keys[Main_Application_Impl::KEY_MUTE] = 1;
        app.update(step);
        input->keys[Main_Application_Impl::KEY_MUTE] = 0;
        EXPECT_FALSE(audio->isMuted()) << "the next press restores";
        runSteps(59, [&] { app.update(step); });
        EXPECT_NEAR(audio->getMasterVolume(), 1.0 - (1.0 - expected) * std::pow(0.9, 60), 1e-4);
    }
    EXPECT_EQ(g_glob_audio_system, nullptr) << "the application deletes its audio system";
    deInitEngineClasses();

    Capture cap = readCapture(wav);
    double start = cap.onset(300, 0.05);
    ASSERT_GE(start, 0.0);
    double full = cap.tone(300, start + 0.2);
    // Mute pressed 0.5 s in, released by the next press 1 s later.
    EXPECT_LT(cap.tone(300, start + 1.3) / full, 0.01) << "still audible while muted";
    EXPECT_NEAR(cap.tone(300, cap.seconds() - 0.1) / full, 1.0, 0.05) << "not restored";
}

} // namespace
