// -watch and -help: saves under Data/ reload the scripts once per burst, a
// broken save is reported and the next good one recovers.
#include "AppTestSupport.h"
#include "app/CommandLine.h"
#include "app/Script_Watcher.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Polls every 50 ms for `ms` milliseconds from `now` on; counts the reloads.
int reloads(Script_Watcher& w, unsigned& now, unsigned ms) {
    int n = 0;
    for (unsigned stop = now + ms; now != stop; now += 50)
        n += w.poll(now) ? 1 : 0;
    return n;
}

TEST(ScriptWatcherTest, BurstsOfSavesGiveOneReloadEach) {
    EngineCore core;
    WorkDir dir;
    dir.script("Bootstrap", "-- one");
    Script_Watcher w(core::String("Data"), 100, 1000);
    unsigned now = 5000;
    EXPECT_EQ(0, reloads(w, now, 2050)) << "nothing changed";
    dir.script("Bootstrap", "-- two");
    EXPECT_EQ(0, reloads(w, now, 400));
    dir.script("Bootstrap", "-- three!"); // a second save 0.4 s later
    dir.script("Extra", "-- a new file"); // and a new file
    EXPECT_EQ(1, reloads(w, now, 1600)) << "one reload for the burst";
    std::filesystem::create_directories("Data/Models/deep");
    std::ofstream("Data/Models/deep/x.bin") << "bytes"; // a file in a sub-folder
    EXPECT_EQ(1, reloads(w, now, 2000));
    std::filesystem::remove("Data/Extra.lua"); // a removal
    EXPECT_EQ(1, reloads(w, now, 2000));
    // The 32-bit millisecond clock may wrap between two polls.
    Script_Watcher wrap(core::String("Data"), 100, 1000);
    unsigned t = 0xFFFFFF00u;
    EXPECT_EQ(0, reloads(wrap, t, 50));
    dir.script("Bootstrap", "-- four");
    EXPECT_EQ(1, reloads(wrap, t, 2000));
}

class WatchTest : public AppTest {};

TEST_F(WatchTest, EditedScriptsReloadABrokenSaveIsReportedAndTheNextRecovers) {
    auto save = [&](int version) {
        dir.script("Bootstrap",
                   "version = " + std::to_string(version) +
                       "\nfunction global_update() return true end\nfunction global_render() end\n");
    };
    save(1);
    start({"-windowed", "-console", "-watch", "64", "48"});
    StderrCapture cap;
    frame(30, true);
    save(2);
    frame(90, true); // 1.5 s of frames: the change is seen and gathered
    EXPECT_EQ(2, global("version"));
    dir.script("Bootstrap", "version = = 3\n");
    frame(90, true);
    EXPECT_FALSE(app()->isScriptRunning()) << "a syntax error switches the script off, as after R";
    save(4);
    frame(90, true);
    EXPECT_TRUE(app()->isScriptRunning());
    EXPECT_EQ(4, global("version"));
    std::string out = cap.finish();
    EXPECT_EQ(3, countOf(out, "Data changed: reloading the scripts")) << out;
    EXPECT_NE(std::string::npos, out.find("Bootstrap.lua\"]:1: unexpected symbol near '='")) << out;
}

TEST_F(WatchTest, WithoutTheSwitchNothingIsWatched) {
    dir.script("Bootstrap", "version = 1\nfunction global_update() return true end\n");
    start({"-windowed", "64", "48"});
    dir.script("Bootstrap", "version = 2\nfunction global_update() return true end\n");
    frame(120, true);
    EXPECT_EQ(1, global("version"));
}

TEST(HelpTest, PrintsTheSwitchesAndExitsWithZero) {
    for (const char* token : {"-help", "--help"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, runProgram({"-windowed", token})) << token;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), framework::COMMAND_LINE_HELP);
    }
}

} // namespace
