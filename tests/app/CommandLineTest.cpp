// The command-line table: sizes, switches and their edge cases.
#include "app/CommandLine.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(CommandLineTest, TableOfCases) {
    struct Case {
        std::vector<const char*> tokens;
        int width, height;
        bool windowed, console;
        int frames;
        const char* captureDir;
    } cases[] = {
        {{}, 1024, 768, false, false, 0, nullptr},
        {{"-windowed", "800", "600"}, 800, 600, true, false, 0, nullptr},
        {{"-fullscreen", "-windowed"}, 1024, 768, true, false, 0, nullptr},
        {{"0", "-5", "800"}, 800, 768, false, false, 0, nullptr},
        {{"-unknown", "-Windowed", "console"}, 1024, 768, false, false, 0, nullptr},
        {{"800", "600", "400"}, 800, 600, false, false, 0, nullptr},
        {{"12abc", "x7", "300"}, 12, 300, false, false, 0, nullptr},
        {{"", "", "320", "", "200"}, 320, 200, false, false, 0, nullptr},
        {{"99999999999"}, 32767, 768, false, false, 0, nullptr},
        {{"-windowed", "-console", "640"}, 640, 768, true, true, 0, nullptr},
        // The numbers inside switches are never sizes.
        {{"-capture=shots/run1", "-frames=300", "640", "480"}, 640, 480, false, false, 300, "shots/run1"},
        {{"-frames=-5", "-capture="}, 1024, 768, false, false, 0, nullptr},
        {{"-frames=abc"}, 1024, 768, false, false, 0, nullptr},
        // Only the first ten tokens count.
        {{"", "", "", "", "", "", "", "", "", "-windowed", "-console"}, 1024, 768, true, false, 0, nullptr},
    };
    for (const Case& c : cases) {
        framework::CommandLine r = framework::parseCommandLine(c.tokens.data(), (int)c.tokens.size());
        SCOPED_TRACE(testing::PrintToString(c.tokens));
        EXPECT_EQ(r.width, c.width);
        EXPECT_EQ(r.height, c.height);
        EXPECT_EQ(r.windowed, c.windowed);
        EXPECT_EQ(r.console, c.console);
        EXPECT_EQ(r.frames, c.frames);
        EXPECT_STREQ(r.captureDir, c.captureDir);
    }
}

} // namespace
