// Frame capture (-capture=DIR, -frames=N) and the golden images: small
// scripts from tests/golden/ rendered headless (SDL's offscreen driver, Mesa
// llvmpipe) and compared with their committed reference PNGs.
// PELLORAN_UPDATE_GOLDEN=1 writes the references instead of comparing.
#include "AppTestSupport.h"
#include "render/PngReference.h"
#include <filesystem>
#include <gtest/gtest.h>

using testsupport::AppTest;
using testsupport::readFile;

namespace {

const std::string GOLDEN = std::string(PELLORAN_SOURCE_DIR) + "/tests/golden/";

int run(std::vector<const char*> args) {
    args.insert(args.begin(), "pelloran");
    return runPelloran((int)args.size(), const_cast<char**>(args.data()));
}

bool decodeFile(const std::string& path, pngref::Image& image, std::string& why) {
    std::string bytes = readFile(path);
    if (bytes.empty()) {
        why = "missing " + path;
        return false;
    }
    return pngref::decode(std::vector<unsigned char>(bytes.begin(), bytes.end()), image, why);
}

class CaptureTest : public AppTest {};

TEST_F(CaptureTest, WritesEveryPresentedFrameAndStopsAfterTheLimit) {
    // The script counts its steps and clears to a colour that shows the
    // count, so each frame tells how many fixed steps came before it.
    dir.script("Bootstrap", "steps = 0\n"
                            "function global_update(step) steps = steps + 1 last = step return true end\n"
                            "function global_render()\n"
                            "  render_bind_target() render_clear() render_release_target()\n"
                            "end\n");
    EXPECT_EQ(0, run({"-windowed", "32", "24", "-capture=shots", "-frames=4"}));
    for (int i = 0; i < 4; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "shots/frame_%05d.png", i);
        pngref::Image image;
        std::string why;
        ASSERT_TRUE(decodeFile(name, image, why)) << why;
        EXPECT_EQ(32, image.width);
        EXPECT_EQ(24, image.height);
    }
    EXPECT_FALSE(std::filesystem::exists("shots/frame_00004.png"));
}

TEST_F(CaptureTest, CapturedRunAdvancesOneFixedStepPerFrame) {
    dir.script("Bootstrap", "steps = 0\n"
                            "function global_update(step) steps = steps + 1 return steps < 1000 end\n"
                            "function global_render() render_bind_target() render_release_target() end\n");
    start({"-windowed", "32", "24"});
    fw->setFrameCapture("cap", 0);
    std::filesystem::create_directory("cap");
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(Framework::STEP_UPDATED, fw->fixedFrameStep());
        fw->getApplication()->render(fw->getRenderer());
    }
    EXPECT_EQ(5, global("steps"));
    EXPECT_EQ(5, fw->getPresentedFrames());
    EXPECT_TRUE(std::filesystem::exists("cap/frame_00004.png"));
}

TEST_F(CaptureTest, FrameLimitWithoutCaptureAndAnUnwritableDirectory) {
    dir.script("Bootstrap", "function global_update(step) return true end\n"
                            "function global_render() render_bind_target() render_release_target() end\n");
    EXPECT_EQ(0, run({"-windowed", "32", "24", "-frames=3"}));
    std::ofstream("plainfile") << "x";
    testsupport::StderrCapture log;
    EXPECT_EQ(2, run({"-windowed", "32", "24", "-capture=plainfile/sub", "-frames=3"}));
    EXPECT_NE(std::string::npos, log.finish().find("can not create the directory"));
}

// Renders tests/golden/<name>.lua for a few frames at 128 x 96 and compares
// the last frame with <name>.png: a pixel differs when one channel is off by
// more than 12; at most 0.5 % of the pixels may differ.
void checkGolden(const char* name, int frames) {
    testsupport::WorkDir dir;
    dir.script("Bootstrap", readFile(GOLDEN + name + ".lua"));
    // The demo's pictures, for the scripts that load one.
    std::filesystem::create_directory_symlink(std::filesystem::path(PELLORAN_SOURCE_DIR) / "Data" / "Images",
                                              "Data/Images");
    std::string limit = "-frames=" + std::to_string(frames);
    ASSERT_EQ(0, run({"-windowed", "128", "96", "-capture=out", limit.c_str()}));
    char last[64];
    std::snprintf(last, sizeof last, "out/frame_%05d.png", frames - 1);
    std::string reference = GOLDEN + name + ".png";
    if (std::getenv("PELLORAN_UPDATE_GOLDEN")) {
        std::filesystem::copy_file(last, reference, std::filesystem::copy_options::overwrite_existing);
        return;
    }
    pngref::Image got, want;
    std::string why;
    ASSERT_TRUE(decodeFile(last, got, why)) << why;
    ASSERT_TRUE(decodeFile(reference, want, why)) << why;
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

TEST_F(CaptureTest, GoldenCubeWithCustomShader) {
    checkGolden("cube_shader", 30);
}
TEST_F(CaptureTest, GoldenBlendedQuads) {
    checkGolden("blend", 2);
}
TEST_F(CaptureTest, GoldenSupershape) {
    checkGolden("supershape", 2);
}
TEST_F(CaptureTest, GoldenLinesAndText) {
    checkGolden("lines_text", 2);
}
TEST_F(CaptureTest, GoldenImages) {
    checkGolden("image", 2);
}
TEST_F(CaptureTest, GoldenRenderTargetPictureInPicture) {
    checkGolden("render_target", 20);
}

} // namespace
