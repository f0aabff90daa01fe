// Frame capture (-capture=DIR, -frames=N) and the golden images: scripts from
// tests/golden/ rendered headless and compared with their reference PNGs.
// PELLORAN_UPDATE_GOLDEN=1 writes the references instead of comparing.
#include "AppTestSupport.h"
#include "render/PngReference.h"
#include <filesystem>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::string GOLDEN = std::string(PELLORAN_SOURCE_DIR) + "/tests/golden/";

bool decodeFile(const std::string& path, pngref::Image& image, std::string& why) {
    std::string bytes = readFile(path);
    return pngref::decode(std::vector<unsigned char>(bytes.begin(), bytes.end()), image, why);
}

class CaptureTest : public AppTest {};

// The golden images below show what a captured frame holds, and that a
// captured run advances one fixed step per frame whatever the machine's speed.
TEST_F(CaptureTest, StopsAfterTheFrameLimitAndFailsOnAnUnwritableFolder) {
    dir.script("Bootstrap", "function global_update(step) return true end\n"
                            "function global_render() render_bind_target() render_release_target() end\n");
    EXPECT_EQ(0, runProgram({"-windowed", "32", "24", "-capture=shots", "-frames=4"}));
    EXPECT_TRUE(std::filesystem::exists("shots/frame_00003.png"));
    EXPECT_FALSE(std::filesystem::exists("shots/frame_00004.png"));
    std::ofstream("plainfile") << "x";
    StderrCapture log;
    EXPECT_EQ(2, runProgram({"-windowed", "32", "24", "-capture=plainfile/sub", "-frames=3"}));
    EXPECT_NE(std::string::npos, log.finish().find("can not create the directory"));
}

// Renders tests/golden/<script>.lua, after `prelude` and a global_update
// that keeps it running, for a few frames at 128 x 96 over the demo's data,
// and compares the last frame with <name>.png: a pixel differs when one
// channel is off by more than 12; at most 0.5 % of the pixels may differ.
void checkGolden(const char* name, const char* script, const char* prelude, int frames) {
    WorkDir dir;
    dir.script("Bootstrap", std::string(prelude) + "function global_update(step) return true end\n" +
                                readFile(GOLDEN + script + ".lua"));
    linkDemoData();
    std::string limit = "-frames=" + std::to_string(frames);
    ASSERT_EQ(0, runProgram({"-windowed", "128", "96", "-capture=out", limit.c_str()}));
    char last[64];
    std::snprintf(last, sizeof last, "out/frame_%05d.png", frames - 1);
    std::string reference = GOLDEN + name + ".png";
    if (std::getenv("PELLORAN_UPDATE_GOLDEN")) {
        std::filesystem::copy_file(last, reference, std::filesystem::copy_options::overwrite_existing);
        return;
    }
    pngref::Image got, want;
    std::string why;
    ASSERT_TRUE(decodeFile(last, got, why)) << last << ": " << why;
    ASSERT_TRUE(decodeFile(reference, want, why)) << reference << ": " << why;
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    ASSERT_EQ(want.channels, got.channels);
    int differing = 0, pixels = got.width * got.height;
    for (int i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(got.pixels[i * got.channels + c] - want.pixels[i * want.channels + c]) > 12) {
                ++differing;
                break;
            }
        }
    }
    EXPECT_LE(differing, pixels / 200) << name << ": " << differing << " of " << pixels << " pixels differ";
    // The image is not blank: some pixel is not the clear colour.
    bool drawn = false;
    for (int i = 0; i < pixels && !drawn; ++i)
        drawn = got.pixels[i * got.channels] + got.pixels[i * got.channels + 1] +
                    got.pixels[i * got.channels + 2] >
                0;
    EXPECT_TRUE(drawn) << name;
}

TEST_F(CaptureTest, GoldenImages) {
    struct Case {
        const char* name;
        const char* script;
        const char* prelude;
        int frames;
    } cases[] = {{"cube_shader", "cube_shader", "", 30},
                 {"blend", "blend", "", 2},
                 {"supershape", "supershape", "", 2},
                 {"lines_text", "lines_text", "", 2},
                 {"image", "image", "", 2},
                 {"render_target", "render_target", "", 20},
                 {"scene_world_250", "scene_world", "TIME = 250\n", 2},
                 {"scene_world_1250", "scene_world", "TIME = 1250\n", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        checkGolden(c.name, c.script, c.prelude, c.frames);
    }
}

} // namespace
