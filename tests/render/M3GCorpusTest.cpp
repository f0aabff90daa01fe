// The real M3G files of the shared corpus (not redistributable, so read from
// $PELLORAN_CORPUS/m3g, never copied here): each loads or fails exactly as
// the corpus notes say.
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "render/Loader.h"
#include "render/OGLES2_Graphics3D.h"
#include "M3GBytes.h"
#include "core/MemoryStream.h"
#include "render/M3G_Writer.h"
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

std::string written(const core::Vector<core::Ref<render::Object3D>>& roots) {
    core::Ref<render::M3G_Writer> w = M3D_NEW render::M3G_Writer();
    for (int i = 0; i < roots.size(); ++i) w->add(roots[i].get());
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    w->write(out.get(), false);
    return std::string((const char*)out->data(), (size_t)out->size());
}

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
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(dir.c_str()), false), core::String());
    for (const std::string& name : files) {
        auto expected = EXPECTED.find(name);
        if (expected == EXPECTED.end()) {
            ADD_FAILURE() << name << ": no expectation for this file";
            continue;
        }
        std::string failure;
        core::Vector<core::Ref<render::Object3D>> roots;
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
                std::string first = written(roots);
                core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(first.data(), (int)first.size(), false);
                core::Vector<core::Ref<render::Object3D>> again;
                render::Loader::load(in.get(), again, nullptr, core::String());
                EXPECT_EQ(roots.size(), again.size()) << name;
                EXPECT_EQ(-1, m3gbytes::firstRealDifference(first, written(again))) << name;
            } catch (const Morva3DException& e) {
                ADD_FAILURE() << name << ": " << e.getMessage();
            }
        }
    }
    core.globals().graphics = nullptr;
}

} // namespace
