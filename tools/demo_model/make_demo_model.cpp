// make_demo_model: writes the demo's assets into a Data/ folder:
//   Data/Images/badge.png       the picture the demo loads with texture_load
//   Data/Models/creature.png    the creature's skin, as a picture
//   Data/Models/creature.m3g    the creature: a skinned, textured mesh of six
//                               bones swimming on a looping cycle, built
//                               with the engine's classes and written with
//                               the M3G writer (the skin is stored in it)
//   Data/Models/aquarium.m3g    a World around the creature: camera, lights,
//                               fog, background and a sea floor
// Rebuild them from the repository's root with
//   build/tools/make_demo_model Data
#include "Creature.h"
#include "Pictures.h"
#include "HeadlessCore.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "hal/File.h"
#include "core/FileArchive.h"
#include "render/M3G_Writer.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/PNG_Writer.h"
#include <cstdio>
#include <string>

namespace {

void writePicture(const std::string& path, const demo_model::Picture& p) {
    render::writePNG(core::String(path.c_str()), p.width, p.height, p.rgba.data(), false);
    std::printf("wrote %s\n", path.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string data = argc > 1 ? argv[1] : "Data";
    tools::HeadlessCore engine(64 * 1024 * 1024);
    try {
        HAL::File::makeDirectory(core::String((data + "/Images").c_str()));
        HAL::File::makeDirectory(core::String((data + "/Models").c_str()));
        writePicture(data + "/Images/badge.png", demo_model::drawBadge(64));
        demo_model::Picture skin = demo_model::drawSkin(64);
        writePicture(data + "/Models/creature.png", skin);
        // A renderer without a window makes the texture object (no GL is needed to write it).
        core::Ref<render::OGLES2_Graphics3D> g(M3D_NEW render::OGLES2_Graphics3D());
        core::Vector<core::Ref<render::Object3D>> roots;
        roots.append(core::Ref<render::Object3D>(demo_model::buildCreature(*g, skin).get()));
        core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), true), core::String(""));
        std::string model = data + "/Models/creature.m3g";
        render::M3G_Writer::save(core::String(model.c_str()), roots, true);
        std::printf("wrote %s\n", model.c_str());
        roots.clear();
        roots.append(core::Ref<render::Object3D>(demo_model::buildAquarium(*g, skin).get()));
        std::string aquarium = data + "/Models/aquarium.m3g";
        render::M3G_Writer::save(core::String(aquarium.c_str()), roots, true);
        std::printf("wrote %s\n", aquarium.c_str());
    } catch (const Morva3DException& e) {
        std::fprintf(stderr, "make_demo_model: %s\n", e.getMessage());
        return 1;
    }
    return 0;
}
