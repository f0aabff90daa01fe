// The default demo runs hundreds of frames without a script error or growing
// allocations, and a reload (R) in the middle keeps it running.
#include "AppTestSupport.h"
#include "core/MemoryManager.h"
#include "render/OGLES2_Graphics3D.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class DemoTest : public AppTest {
protected:
    int live() const { return core::memoryManager().getLiveAllocations(); }
};

TEST_F(DemoTest, RunsHundredsOfFramesWithoutErrorsOrGrowthAndSurvivesAReload) {
    copyDemo();
    StderrCapture log;
    start({"-windowed", "-console", "160", "120"});
    fw->setFrameCapture(nullptr, 0);
    frame(60);
    int settled = live();
    frame(120);
    // Sounds are decoded once, on their first play; nothing grows per frame.
    EXPECT_LE(live(), settled + 8) << "allocations grew over 120 frames";

    pushKey(window(), SDLK_r, true);
    frame();
    pushKey(window(), SDLK_r, false);
    frame(60);
    int reloaded = live();
    frame(120);
    EXPECT_LE(live(), reloaded + 8) << "allocations grew after the reload";
    EXPECT_EQ(361, fw->getPresentedFrames());
    // The built-in program, the standard one and the demo's two, also after
    // the reload dropped the first script's: the demo shares its programs.
    auto* g = static_cast<render::OGLES2_Graphics3D*>(fw->getRenderer());
    EXPECT_LE(g->getProgramCount(), 4) << "each linked program adds to the start-up time";
    std::string out = log.finish();
    EXPECT_EQ(std::string::npos, out.find("ERROR")) << out;
    EXPECT_EQ(2, countOf(out, "Running file: Data/Bootstrap.lua")) << out;
}

} // namespace
