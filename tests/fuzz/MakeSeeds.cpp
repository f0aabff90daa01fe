// make_seeds <folder>: the seeds of the targets without files of their own (the
// PNG one has the PNG suite): <folder>/dataio, the records of Records.h as
// DataIO writes them, and <folder>/m3g, scenes from the tests' M3G builder.
#include "Records.h"
#include "FuzzEngine.h"
#include "core/DataIO.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/Object3D.h"
#include "render/M3GBytes.h"
#include <sys/stat.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void writeFile(const std::string& path, const void* bytes, size_t size) {
    if (!std::ofstream(path, std::ios::binary).write((const char*)bytes, (std::streamsize)size)) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

typedef void (*Record)(core::DataIO&);

// The budget byte, an opcode byte (fuzz_dataio's order) and the record as its
// writer puts down its default value, one file per record.
void dataioSeeds(const std::string& dir) {
#define SEED(Type, Name) [](core::DataIO& w) { w.write##Name(core::Type()); },
    const Record records[] = {RECORDS(SEED)};
#undef SEED
    for (unsigned char op = 0; op < sizeof records / sizeof records[0]; ++op) {
        core::Ref<core::MemoryStream> one = M3D_NEW core::MemoryStream();
        core::Ref<core::DataIO> w = M3D_NEW core::DataIO(one.get(), 0);
        w->writeByte(0); // budget: every byte
        w->writeByte(op);
        records[op](*w);
        writeFile(dir + "/record_" + std::to_string(op), one->data(), (size_t)one->size());
    }
}

void m3gSeeds(const std::string& dir) {
    using namespace m3gbytes;
    // Objects get indices from 2 on (the header is 1): a group, then a world
    // holding it, with no camera and no background.
    std::string groups = chunk(9, group({}));
    std::string world = chunk(22, Bytes().raw(group({2})).u32(0).u32(0));
    std::string rgb = image(99, 2, 2, "", std::string("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 12));
    std::string palettised =
        image(100, 3, 1, std::string("\xFF\0\0\xFF\0\0\xFF\x80", 8), std::string("\0\1\0", 3));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"two_sections", file({rawSection(groups), zlibSection(world)})},
        {"images", file({rawSection(chunk(10, rgb) + chunk(10, palettised))})},
        {"triangle_group", file({zlibSection(triangleObjects() + chunk(9, group({6})))})},
        {"keyframes",
         file({rawSection(chunk(19, keyframes(176, 192, 0, 10, 3, 2, {0, 1, 2, 3, 5, 4, 5, 6})))})},
    };
    for (const auto& f : files) {
        // Each is a scene that loads (a load that fails throws).
        core::Vector<core::Ref<render::Object3D>> roots;
        core::Ref<core::MemoryStream> in =
            M3D_NEW core::MemoryStream(f.second.data(), (int)f.second.size(), true);
        render::Loader::load(in.get(), roots, nullptr, core::String());
        writeFile(dir + "/" + f.first + ".m3g", f.second.data(), f.second.size());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    fuzzsupport::startEngine();
    std::string root = argv[1];
    for (const char* sub : {"", "/dataio", "/m3g"})
        mkdir((root + sub).c_str(), 0755);
    dataioSeeds(root + "/dataio");
    m3gSeeds(root + "/m3g");
    return 0;
}
