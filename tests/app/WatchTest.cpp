// -watch and -help: a saved file under Data/ reloads the scripts once per
// burst of saves, a broken save is reported and the next good one recovers;
// -help prints the switches and exits. The watcher's clock is driven here.
#include "AppTestSupport.h"
#include "app/CommandLine.h"
#include "app/Script_Watcher.h"
#include <gtest/gtest.h>

using testsupport::AppTest;
using testsupport::countOf;
using testsupport::StderrCapture;

namespace {

TEST(ScriptWatcherTest, BurstsOfSavesGiveOneReloadEach) {
    testsupport::EngineCore core;
    testsupport::WorkDir dir;
    dir.script("Bootstrap", "-- one");
    Script_Watcher w(core::String("Data"), 100, 1000);
    // Time in ms; each call polls when at least 100 ms passed.
    auto reloadsUntil = [&](unsigned& now, unsigned end) {
        int n = 0;
        for (; now <= end; now += 50)
            n += w.poll(now) ? 1 : 0;
        return n;
    };
    unsigned now = 5000;
    EXPECT_EQ(0, reloadsUntil(now, 7000)) << "nothing changed";
    dir.script("Bootstrap", "-- two");
    EXPECT_EQ(0, reloadsUntil(now, 7400));
    dir.script("Bootstrap", "-- three!"); // a second save 0.4 s later
    dir.script("Extra", "-- a new file"); // and a new file
    EXPECT_EQ(1, reloadsUntil(now, 9000)) << "one reload for the burst";
    std::filesystem::create_directories("Data/Models/deep");
    std::ofstream("Data/Models/deep/x.bin") << "bytes"; // a file in a sub-folder
    EXPECT_EQ(1, reloadsUntil(now, 11000));
    std::filesystem::remove("Data/Extra.lua"); // a removal
    EXPECT_EQ(1, reloadsUntil(now, 13000));
    EXPECT_EQ(3, w.getReloadCount());
    // The 32-bit millisecond clock may wrap between two polls.
    Script_Watcher wrap(core::String("Data"), 100, 1000);
    unsigned t = 0xFFFFFF00u;
    EXPECT_FALSE(wrap.poll(t));
    dir.script("Bootstrap", "-- four");
    int reloads = 0;
    for (int i = 0; i < 40; ++i, t += 50)
        reloads += wrap.poll(t) ? 1 : 0;
    EXPECT_EQ(1, reloads);
}

class WatchTest : public AppTest {
protected:
    // n captured frames of 1/60 s; the script may be off.
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(Framework::STEP_UPDATED, fw->fixedFrameStep());
            app()->render(fw->getRenderer());
        }
    }
};

TEST_F(WatchTest, EditedScriptsReloadABrokenSaveIsReportedAndTheNextRecovers) {
    const char* version = "version = %d\n"
                          "function global_update() return true end\n"
                          "function global_render() end\n";
    char text[256];
    std::snprintf(text, sizeof text, version, 1);
    dir.script("Bootstrap", text);
    start({"-windowed", "-console", "-watch", "64", "48"});
    StderrCapture cap;
    frames(30);
    EXPECT_EQ(1, global("version"));

    std::snprintf(text, sizeof text, version, 2);
    dir.script("Bootstrap", text);
    frames(90); // 1.5 s of frames: the change is seen and gathered
    EXPECT_EQ(2, global("version"));
    EXPECT_TRUE(app()->isScriptRunning());

    dir.script("Bootstrap", "version = = 3\n");
    frames(90);
    EXPECT_FALSE(app()->isScriptRunning()) << "a syntax error switches the script off, as after R";

    std::snprintf(text, sizeof text, version, 4);
    dir.script("Bootstrap", text);
    frames(90);
    EXPECT_TRUE(app()->isScriptRunning());
    EXPECT_EQ(4, global("version"));
    std::string out = cap.finish();
    EXPECT_EQ(3, countOf(out, "Running file: Data/Bootstrap.lua")) << out;
    EXPECT_EQ(3, countOf(out, "Data changed: reloading the scripts")) << out;
    EXPECT_NE(std::string::npos, out.find("Bootstrap.lua\"]:1: unexpected symbol near '='")) << out;
}

TEST_F(WatchTest, WithoutTheSwitchNothingIsWatched) {
    dir.script("Bootstrap", "version = 1\nfunction global_update() return true end\n");
    start({"-windowed", "64", "48"});
    EXPECT_EQ(nullptr, app()->getWatcher());
    dir.script("Bootstrap", "version = 2\nfunction global_update() return true end\n");
    frames(120);
    EXPECT_EQ(1, global("version"));
}

TEST(HelpTest, PrintsTheSwitchesAndExitsWithZero) {
    for (const char* token : {"-help", "--help"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, testsupport::runProgram({"-windowed", token})) << token;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), framework::COMMAND_LINE_HELP);
    }
    EXPECT_EQ(1, countOf(framework::COMMAND_LINE_HELP, "\n  -watch "));
}

} // namespace
