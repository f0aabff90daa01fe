// The command-line table: sizes, switches and their edge cases.
#include "app/CommandLine.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

framework::CommandLine parse(std::vector<const char*> tokens) {
    return framework::parseCommandLine(tokens.data(), (int)tokens.size());
}

TEST(CommandLineTest, TableOfCases) {
    struct Case {
        std::vector<const char*> tokens;
        int width, height;
        bool windowed;
    } cases[] = {
        {{}, 1024, 768, false},
        {{"-windowed", "800", "600"}, 800, 600, true},
        {{"640"}, 640, 768, false},
        {{"-windowed", "-fullscreen"}, 1024, 768, false},
        {{"-fullscreen", "-windowed"}, 1024, 768, true},
        {{"0", "-5", "800"}, 800, 768, false},
        {{"-unknown", "-Windowed"}, 1024, 768, false},
        {{"800", "600", "400"}, 800, 600, false},
        {{"12abc", "x7", "300"}, 12, 300, false},
        {{"", "", "320", "", "200"}, 320, 200, false},
        {{"99999999999"}, 32767, 768, false},
    };
    for (const Case& c : cases) {
        framework::CommandLine r = parse(c.tokens);
        std::string label;
        for (const char* t : c.tokens) label += std::string("'") + t + "' ";
        EXPECT_EQ(r.width, c.width) << label;
        EXPECT_EQ(r.height, c.height) << label;
        EXPECT_EQ(r.windowed, c.windowed) << label;
        EXPECT_FALSE(r.console) << label;
    }
}

TEST(CommandLineTest, OnlyTheFirstTenTokensCount) {
    std::vector<const char*> t(10, "-x");
    t.push_back("-windowed");
    EXPECT_FALSE(parse(t).windowed) << "the eleventh token is ignored";
    t[9] = "-windowed";
    EXPECT_TRUE(parse(t).windowed);
}

TEST(CommandLineTest, ConsoleSwitch) {
    EXPECT_TRUE(parse({"-console"}).console);
    EXPECT_TRUE(parse({"-windowed", "-console", "640"}).console);
    EXPECT_FALSE(parse({"console"}).console) << "only a switch beginning with '-'";
    EXPECT_EQ(parse({"-console", "640"}).width, 640);
}

TEST(CommandLineTest, CaptureAndFrameSwitchesNeverCountAsSizes) {
    framework::CommandLine c = parse({"-capture=shots/run1", "-frames=300", "640", "480"});
    ASSERT_NE(nullptr, c.captureDir);
    EXPECT_STREQ("shots/run1", c.captureDir);
    EXPECT_EQ(300, c.frames);
    EXPECT_EQ(640, c.width);
    EXPECT_EQ(480, c.height);
    c = parse({"-frames=12"});
    EXPECT_EQ(nullptr, c.captureDir);
    EXPECT_EQ(1024, c.width) << "the number inside a switch is not a width";
    EXPECT_EQ(0, parse({"-frames=0"}).frames);
    EXPECT_EQ(0, parse({"-frames=-5"}).frames);
    EXPECT_EQ(0, parse({"-frames=abc"}).frames);
    EXPECT_EQ(nullptr, parse({"-capture="}).captureDir) << "an empty directory is no capture";
}

} // namespace
