// The real M3G files of the shared corpus (not redistributable, so read from
// $PELLORAN_CORPUS/m3g, never copied here): each loads or fails exactly as
// the corpus notes say, and each that loads round-trips through the writer.
#include "M3GBytes.h"
#include "M3GHelpers.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "render/OGLES2_Graphics3D.h"
#include "support/EngineFixture.h"
#include "support/TestData.h"
#include <filesystem>
#include <map>

namespace {

// From the corpus notes: version 2.0 files and the Sprite3D file are refused,
// the others load to these roots (airplane.m3g: a World and a PolygonMode).
const std::string VERSION = "Unsupported m3g version.";
const std::map<std::string, std::string> EXPECTED = {
    {"airplane.m3g", "2 roots"},   {"anim_morph.m3g", VERSION},
    {"axe.m3g", "1 roots"},        {"ball.m3g", "1 roots"},
    {"camera.m3g", VERSION},       {"hRoad.m3g", "1 roots"},
    {"human.m3g", "4 roots"},      {"map.m3g", "1 roots"},
    {"nave1.m3g", "1 roots"},      {"pogoroo.m3g", "No implementation yet."},
    {"racer.m3g", "1 roots"},      {"skin_girl_simple_anim_1.m3g", VERSION},
    {"terrerist1.m3g", "1 roots"}, {"test.m3g", "1 roots"},
    {"vehicle.m3g", "1 roots"},
};

class M3GCorpusTest : public testsupport::CorpusTest {};

// Each file that loads, written and read again, writes the same bytes (floats aside).
TEST_F(M3GCorpusTest, EveryFileLoadsOrFailsAsItsNotesSayAndLoadedFilesRoundTrip) {
    const std::string dir = corpusFile("m3g/");
    testsupport::EngineCore core(64 * 1024 * 1024);
    core::Ref<render::OGLES2_Graphics3D> g = M3D_NEW render::OGLES2_Graphics3D();
    core.globals().graphics = g.get();
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(dir.c_str()), false),
                                        core::String());
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".m3g") continue;
        ++files;
        SCOPED_TRACE(name);
        auto expected = EXPECTED.find(name);
        if (expected == EXPECTED.end()) {
            ADD_FAILURE() << "no expectation for this file";
            continue;
        }
        // A refused file is loaded twice: the second time the renderer's
        // texture list has grown already, and nothing may stay behind.
        for (int pass = 0; pass < 2; ++pass) {
            int live = core.pool().getLiveAllocations();
            m3gtest::Objects roots;
            std::string outcome;
            try {
                render::Loader::load(core::String(name.c_str()), nullptr, roots);
                outcome = std::to_string(roots.size()) + " roots";
            } catch (const Morva3DException& e) {
                outcome = e.getMessage();
                if (outcome.find(expected->second) != std::string::npos) outcome = expected->second;
            }
            EXPECT_EQ(expected->second, outcome);
            if (roots.size() == 0) {
                EXPECT_TRUE(pass == 0 || live == core.pool().getLiveAllocations()) << "the refusal leaked";
                continue;
            }
            std::string first = m3gtest::write(roots, false);
            m3gtest::Objects again = m3gtest::load(first);
            EXPECT_EQ(roots.size(), again.size());
            EXPECT_EQ(-1, m3gbytes::firstRealDifference(first, m3gtest::write(again, false)));
            break;
        }
    }
    EXPECT_EQ(EXPECTED.size(), (size_t)files);
    core.globals().graphics = nullptr;
}

} // namespace
