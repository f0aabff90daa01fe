// The real M3G files of the shared corpus (not redistributable, so read from
// $PELLORAN_CORPUS/m3g, never copied here): each loads or fails exactly as
// the corpus notes say.
#include "M3GBytes.h"
#include "M3GHelpers.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "render/OGLES2_Graphics3D.h"
#include "support/EngineFixture.h"
#include "support/TestData.h"
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct Expectation {
    const char* failure; // null: the file loads
    int roots;           // roots of a successful load
};

// From the corpus notes: version 2.0 headers are refused, the Sprite3D file
// fails, every other file loads (axe.m3g without its missing image).
const std::map<std::string, Expectation> EXPECTED = {
    {"airplane.m3g", {nullptr, 2}}, // the World and a PolygonMode nobody uses
    {"anim_morph.m3g", {"Unsupported m3g version.", 0}},
    {"axe.m3g", {nullptr, 1}},
    {"ball.m3g", {nullptr, 1}},
    {"camera.m3g", {"Unsupported m3g version.", 0}},
    {"hRoad.m3g", {nullptr, 1}},
    {"human.m3g", {nullptr, 4}},
    {"map.m3g", {nullptr, 1}},
    {"nave1.m3g", {nullptr, 1}},
    {"pogoroo.m3g", {"No implementation yet.", 0}},
    {"racer.m3g", {nullptr, 1}},
    {"skin_girl_simple_anim_1.m3g", {"Unsupported m3g version.", 0}},
    {"terrerist1.m3g", {nullptr, 1}},
    {"test.m3g", {nullptr, 1}},
    {"vehicle.m3g", {nullptr, 1}},
};

std::vector<std::string> corpusFiles(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".m3g") names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

class M3GCorpusTest : public testsupport::CorpusTest {};

// Each file that loads is written, loaded again and written again: the two
// writes are the same bytes (floats up to their last bits), so every field
// survived the trip.
TEST_F(M3GCorpusTest, EveryFileLoadsOrFailsAsItsNotesSayAndLoadedFilesRoundTrip) {
    const std::string dir = corpusFile("m3g/");
    std::vector<std::string> files = corpusFiles(dir);
    ASSERT_FALSE(files.empty()) << "no .m3g files in " << dir;

    testsupport::EngineCore core(64 * 1024 * 1024);
    core::Ref<render::OGLES2_Graphics3D> g = M3D_NEW render::OGLES2_Graphics3D();
    core.globals().graphics = g.get();
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(dir.c_str()), false),
                                        core::String());
    for (const std::string& name : files) {
        auto expected = EXPECTED.find(name);
        if (expected == EXPECTED.end()) {
            ADD_FAILURE() << name << ": no expectation for this file";
            continue;
        }
        std::string failure;
        m3gtest::Objects roots;
        auto load = [&] {
            try {
                render::Loader::load(core::String(name.c_str()), nullptr, roots);
            } catch (const Morva3DException& e) {
                failure = e.getMessage();
            }
        };
        load();
        if (expected->second.failure) {
            EXPECT_NE(std::string::npos, failure.find(expected->second.failure)) << name << ": " << failure;
            // Again, now that the renderer's texture list has grown: nothing stays behind.
            int live = core.pool().getLiveAllocations();
            load();
            EXPECT_EQ(live, core.pool().getLiveAllocations()) << name;
        } else {
            EXPECT_EQ("", failure) << name;
            EXPECT_EQ(expected->second.roots, roots.size()) << name;
            if (!failure.empty()) continue;
            try {
                std::string first = m3gtest::write(roots, false);
                m3gtest::Objects again = m3gtest::load(first);
                EXPECT_EQ(roots.size(), again.size()) << name;
                EXPECT_EQ(-1, m3gbytes::firstRealDifference(first, m3gtest::write(again, false))) << name;
            } catch (const Morva3DException& e) {
                ADD_FAILURE() << name << ": " << e.getMessage();
            }
        }
    }
    core.globals().graphics = nullptr;
}

} // namespace
