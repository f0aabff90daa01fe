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

} // namespace
