// Every ```lua example of docs/SCRIPTING.md runs as written, in the guide's
// order, in one real script over the demo's Data/ folder.
#include "AppTestSupport.h"
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::vector<std::string> luaBlocks(const std::string& markdown) {
    std::vector<std::string> blocks;
    std::regex block("\n```lua\n([\\s\\S]*?)\n```\n");
    for (std::sregex_iterator i(markdown.begin(), markdown.end(), block), end; i != end; ++i)
        blocks.push_back((*i)[1].str() + "\n");
    return blocks;
}

class ScriptingGuideTest : public AppTest {};

TEST_F(ScriptingGuideTest, EveryLuaExampleRunsAsWritten) {
    std::vector<std::string> blocks =
        luaBlocks(readFile(std::string(PELLORAN_SOURCE_DIR) + "/docs/SCRIPTING.md"));
    ASSERT_GE(blocks.size(), 14u) << "the guide has an example for every family";

    copyDemo();

    // The examples run inside the first frame, between bind and release, with
    // the few names they take from their surroundings given values first.
    // Locals of one example stay visible to the later ones, as a reader
    // would expect; an example that defines global_render takes over the
    // frames after the first.
    std::string script = "function global_update(step) return true end\n"
                         "function global_render()\n"
                         "render_bind_target() render_clear()\n"
                         "global_render = function() end\n"
                         "probe_position, angle, score = vec3(0, 0.5, 0), 0.5, 42\n"
                         "transform = mat4_idn()\n"
                         "phong = shader_create([[void main() { gl_Position = m3g_modelViewProjectionMatrix"
                         " * vec4(m3g_position, 1.0); }]], [[precision highp float; uniform vec4 u_color;"
                         " void main() { gl_FragColor = u_color; }]])\n"
                         "look = {color = vec4(1, 1, 1, 1), appearance = appearance_create()}\n";
    for (size_t i = 0; i < blocks.size(); ++i)
        script += "example = " + std::to_string(i + 1) + "\n" + blocks[i];
    script += "render_release_target()\nexamples_done = example\nend\n";
    dir.script("Bootstrap", script);

    StderrCapture log;
    start();
    fw->setFrameCapture(nullptr, 0);
    frame(5, true);
    std::string out = log.finish();
    EXPECT_TRUE(app()->isScriptRunning())
        << "the script stopped in example " << global("example") << " of the guide or after it\n"
        << out;
    EXPECT_EQ((double)blocks.size(), global("examples_done")) << out;
    EXPECT_EQ(std::string::npos, out.find("ERROR")) << out;
}

} // namespace
