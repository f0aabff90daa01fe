// make_demo_model: writes the demo's assets into a Data/ folder:
//   Data/Images/badge.png       the picture the demo loads with texture_load
//   Data/Models/creature.png    the creature's skin
// Rebuild them from the repository's root with
//   build/tools/make_demo_model Data
#include "Pictures.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "hal/File.h"
#include "render/PNG_Writer.h"
#include <cstdio>
#include <string>

namespace {

struct Engine {
    Engine() {
        core::setEngineGlobals(&globals);
        globals.log = new core::DebugLog();
        MemoryManagerConfig mc;
        mc.poolSize = 64 * 1024 * 1024;
        globals.memoryManager = new MemoryManager(mc);
    }
    ~Engine() {
        core::FileSystem::destroy();
        delete globals.memoryManager;
        delete globals.log;
        core::setEngineGlobals(nullptr);
    }
    core::EngineGlobals globals;
};

void writePicture(const std::string& path, const demo_model::Picture& p) {
    render::writePNG(core::String(path.c_str()), p.width, p.height, p.rgba.data(), false);
    std::printf("wrote %s\n", path.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string data = argc > 1 ? argv[1] : "Data";
    Engine engine;
    try {
        HAL::File::makeDirectory(core::String((data + "/Images").c_str()));
        HAL::File::makeDirectory(core::String((data + "/Models").c_str()));
        writePicture(data + "/Images/badge.png", demo_model::drawBadge(64));
        writePicture(data + "/Models/creature.png", demo_model::drawSkin(64));
    } catch (const Morva3DException& e) {
        std::fprintf(stderr, "make_demo_model: %s\n", e.getMessage());
        return 1;
    }
    return 0;
}
