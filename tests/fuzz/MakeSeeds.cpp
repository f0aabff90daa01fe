// Writes the fuzz targets' seed inputs with the engine's own writers:
//   make_seeds <folder>   ->  <folder>/png, <folder>/dataio, <folder>/m3g
// PNG seeds are small images of several sizes; DataIO seeds are an opcode
// byte per record (the order fuzz_dataio dispatches on) followed by the
// record as DataIO writes it, one file per record plus one with all of them.
// M3G seeds are small scenes put together here, section by section (with
// DataIO writing each object's fields, or the tests' M3G byte builder), each
// also loaded and written again by the engine's M3G writer, raw and zlib.
#include "ClassRecords.h"
#include "FuzzEngine.h"
#include "core/DataIO.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include "render/PNG_Writer.h"
#include "render/M3GBytes.h"
#include <sys/stat.h>
#include <zlib.h>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

void writeFile(const std::string& path, const unsigned char* bytes, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes, 1, size, f) != size) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

void pngSeeds(const std::string& dir) {
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {16, 16}};
    for (const auto& s : sizes) {
        std::vector<unsigned char> rgba((size_t)s[0] * s[1] * 4);
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = (unsigned char)(i * 37 + (i >> 2));
        std::string path = dir + "/rgba_" + std::to_string(s[0]) + "x" + std::to_string(s[1]) + ".png";
        render::writePNG(core::String(path.c_str()), s[0], s[1], rgba.data(), false);
    }
}

typedef std::function<void(core::DataIO&)> Record;

void dataioSeeds(const std::string& dir) {
    core::M3GHeader header;
    header.totalFileSize = 1234;
    header.approximateContentSize = 1200;
    header.authoringField = "seed";
    core::Object3DBlock object;
    object.userID = 7;
    object.animationTracks.append(3);
    object.animationTracks.append(9);
    core::UserParameter p;
    p.parameterID = 42;
    p.value.append('h');
    p.value.append('i');
    object.parameters.append(p);
    core::ComponentTransform component;
    component.translation = {1.0f, -2.0f, 3.5f};
    component.orientationAngle = 90.0f;
    component.orientationAxis = {0.0f, 1.0f, 0.0f};
    core::TransformableBlock transformable;
    transformable.hasComponentTransform = true;
    transformable.component = component;
    transformable.hasGeneralTransform = true;
    core::Vector<unsigned short> shorts;
    shorts.append(1);
    shorts.append(65535);
    core::Vector<unsigned int> ints;
    ints.append(0x10203040u);

    // Opcode and record, in fuzz_dataio's order.
    std::vector<std::pair<unsigned char, Record>> records = {
        {0, [](core::DataIO& w) { w.writeByte(0xA5); }},
        {1, [](core::DataIO& w) { w.writeBoolean(true); }},
        {2, [](core::DataIO& w) { w.writeInt16(-2); }},
        {3, [](core::DataIO& w) { w.writeUInt32(0xDEADBEEFu); }},
        {4, [](core::DataIO& w) { w.writeFloat32(-1.5f); }},
        {5, [](core::DataIO& w) { w.writeString(core::String("text")); }},
        {6, [](core::DataIO& w) { w.writeColorRGB({1, 2, 3}); }},
        {7, [](core::DataIO& w) { w.writeColorRGBA({1, 2, 3, 4}); }},
        {8, [](core::DataIO& w) { w.writeVector3D({0.5f, 1e30f, -7.0f}); }},
        {9, [&](core::DataIO& w) { w.writeMatrix(transformable.general); }},
        {10, [](core::DataIO& w) {
             const unsigned char b[3] = {9, 8, 7};
             w.writeByteArray(b, 3);
         }},
        {11, [&](core::DataIO& w) { w.writeUInt16Array(shorts); }},
        {12, [&](core::DataIO& w) { w.writeUInt32Array(ints); }},
        {13, [&](core::DataIO& w) { w.writeHeader(header); }},
        {14, [&](core::DataIO& w) { w.writeObject3D(object); }},
        {15, [&](core::DataIO& w) { w.writeTransformable(transformable); }},
        {16, [&](core::DataIO& w) { w.writeComponentTransform(component); }},
    };
    // The class records as their writers put down default values.
    unsigned char op = FIRST_CLASS_RECORD;
#define CLASS_SEED(Type, Name)                                                                                 \
    records.push_back({op++, [](core::DataIO& w) { w.write##Name(core::Type()); }});
    CLASS_RECORDS(CLASS_SEED)
#undef CLASS_SEED
    core::Ref<core::MemoryStream> all = M3D_NEW core::MemoryStream();
    core::Ref<core::DataIO> allWriter = M3D_NEW core::DataIO(all.get(), 0);
    allWriter->writeByte(0); // budget: every byte
    int n = 0;
    for (const auto& r : records) {
        core::Ref<core::MemoryStream> one = M3D_NEW core::MemoryStream();
        core::Ref<core::DataIO> w = M3D_NEW core::DataIO(one.get(), 0);
        w->writeByte(0);
        w->writeByte(r.first);
        r.second(*w);
        writeFile(dir + "/record_" + std::to_string(n++), one->data(), (size_t)one->size());
        allWriter->writeByte(r.first);
        r.second(*allWriter);
    }
    writeFile(dir + "/records_all", all->data(), (size_t)all->size());
}

// One object chunk's data, written by `fields`.
std::vector<unsigned char> objectData(const Record& fields) {
    core::Ref<core::MemoryStream> s = M3D_NEW core::MemoryStream();
    core::Ref<core::DataIO> w = M3D_NEW core::DataIO(s.get(), 0);
    fields(*w);
    return std::vector<unsigned char>(s->data(), s->data() + s->size());
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((unsigned char)(v >> (8 * i)));
}

// A section: scheme, lengths, the objects (deflated for scheme 1), Adler32.
std::vector<unsigned char> section(const std::vector<std::pair<unsigned char, std::vector<unsigned char>>>& objects,
                                   bool compressed) {
    std::vector<unsigned char> raw;
    for (const auto& o : objects) {
        raw.push_back(o.first);
        put32(raw, (uint32_t)o.second.size());
        raw.insert(raw.end(), o.second.begin(), o.second.end());
    }
    std::vector<unsigned char> stored = raw;
    if (compressed) {
        uLongf n = compressBound((uLong)raw.size());
        stored.resize(n);
        compress2(stored.data(), &n, raw.data(), (uLong)raw.size(), 9);
        stored.resize(n);
    }
    std::vector<unsigned char> out;
    out.push_back(compressed ? 1 : 0);
    put32(out, (uint32_t)(stored.size() + 13));
    put32(out, (uint32_t)raw.size());
    out.insert(out.end(), stored.begin(), stored.end());
    put32(out, (uint32_t)adler32(adler32(0, nullptr, 0), out.data(), (uInt)out.size()));
    return out;
}

// Object3D with nothing animated and no parameters, an identity transform.
void plainObject(core::DataIO& w) { w.writeObject3D(core::Object3DBlock()); }
void node(core::DataIO& w) {
    plainObject(w);
    w.writeTransformable(core::TransformableBlock());
    w.writeBoolean(true);  // enableRendering
    w.writeBoolean(true);  // enablePicking
    w.writeByte(255);      // alphaFactor
    w.writeUInt32(0xFFFFFFFFu); // scope
    w.writeBoolean(false); // hasAlignment
}

// The identifier, the header section and the scene sections; the header's
// file size is patched in once the file is whole.
std::vector<unsigned char> m3gFile(const std::vector<std::vector<unsigned char>>& sections) {
    static const unsigned char ID[12] = {0xAB, 0x4A, 0x53, 0x52, 0x31, 0x38, 0x34, 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
    size_t total = 12;
    for (const auto& s : sections) total += s.size();
    core::M3GHeader header;
    header.authoringField = "make_seeds";
    std::vector<unsigned char> headerSection = section({{0, objectData([&](core::DataIO& w) {
                                                              header.totalFileSize = 0;
                                                              w.writeHeader(header);
                                                          })}},
                                                       false);
    header.totalFileSize = header.approximateContentSize = (unsigned int)(total + headerSection.size());
    headerSection = section({{0, objectData([&](core::DataIO& w) { w.writeHeader(header); })}}, false);
    std::vector<unsigned char> file(ID, ID + 12);
    file.insert(file.end(), headerSection.begin(), headerSection.end());
    for (const auto& s : sections) file.insert(file.end(), s.begin(), s.end());
    return file;
}

void m3gSeeds(const std::string& dir) {
    // Objects get indices from 2 on (the header is 1).
    auto group = objectData([](core::DataIO& w) {
        node(w);
        w.writeObjectIndexArray(core::Vector<unsigned int>());
    });
    auto world = objectData([](core::DataIO& w) {
        node(w);
        core::Vector<unsigned int> children;
        children.append(2);
        w.writeObjectIndexArray(children);
        w.writeUInt32(0); // activeCamera
        w.writeUInt32(0); // background
    });
    auto material = objectData([](core::DataIO& w) {
        plainObject(w);
        w.writeColorRGB({10, 20, 30});
        w.writeColorRGBA({40, 50, 60, 255});
        w.writeColorRGB({0, 0, 0});
        w.writeColorRGB({200, 200, 200});
        w.writeFloat32(16.0f);
        w.writeBoolean(false);
    });
    auto image = objectData([](core::DataIO& w) {
        plainObject(w);
        w.writeByte(99); // RGB
        w.writeBoolean(false);
        w.writeUInt32(2);
        w.writeUInt32(2);
        w.writeByteArray(nullptr, 0);
        const unsigned char px[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
        w.writeByteArray(px, 12);
    });
    auto palettised = objectData([](core::DataIO& w) {
        plainObject(w);
        w.writeByte(100); // RGBA
        w.writeBoolean(false);
        w.writeUInt32(3);
        w.writeUInt32(1);
        const unsigned char palette[8] = {255, 0, 0, 255, 0, 0, 255, 128};
        w.writeByteArray(palette, 8);
        const unsigned char indices[3] = {0, 1, 0};
        w.writeByteArray(indices, 3);
    });
    const std::vector<std::pair<std::string, std::vector<unsigned char>>> files = {
        {"group_world_stored", m3gFile({section({{9, group}, {22, world}}, false)})},
        {"group_world_zlib", m3gFile({section({{9, group}, {22, world}}, true)})},
        {"two_sections", m3gFile({section({{9, group}}, false), section({{22, world}}, true)})},
        {"material", m3gFile({section({{13, material}}, true)})},
        {"images", m3gFile({section({{10, image}, {10, palettised}}, false)})},
    };
    std::vector<std::pair<std::string, std::vector<unsigned char>>> all = files;
    using namespace m3gbytes;
    auto bytes = [](const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); };
    all.push_back({"triangle", bytes(file({rawSection(triangleObjects())}))});
    all.push_back({"triangle_group", bytes(file({zlibSection(triangleObjects() + chunk(9, m3gbytes::group({6})))}))});
    all.push_back({"keyframes", bytes(file({rawSection(chunk(19, keyframes(176, 192, 0, 10, 3, 2, {0, 1, 2, 3, 5, 4, 5, 6})))}))});
    for (const auto& f : all) writeFile(dir + "/" + f.first + ".m3g", f.second.data(), f.second.size());
    // The same scenes as the engine's writer puts them down.
    for (const auto& f : all) {
        core::Vector<core::Ref<render::Object3D>> roots;
        core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(f.second.data(), (int)f.second.size(), true);
        render::Loader::load(in.get(), roots, nullptr, core::String());
        for (bool compress : {false, true}) {
            core::Ref<render::M3G_Writer> writer = M3D_NEW render::M3G_Writer();
            for (int i = 0; i < roots.size(); ++i) writer->add(roots[i].get());
            core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
            writer->write(out.get(), compress);
            writeFile(dir + "/written_" + f.first + (compress ? "_zlib" : "_raw") + ".m3g", out->data(), (size_t)out->size());
        }
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
    for (const char* sub : {"", "/png", "/dataio", "/m3g"}) mkdir((root + sub).c_str(), 0755);
    pngSeeds(root + "/png");
    dataioSeeds(root + "/dataio");
    m3gSeeds(root + "/m3g");
    return 0;
}
