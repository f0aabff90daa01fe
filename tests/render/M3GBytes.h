// Test-side M3G file builder: object bodies, sections (raw or zlib) and whole
// files with a correct header, so tests can plant one fault at a time.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

namespace m3gbytes {

struct Bytes {
    std::string b;
    Bytes& u8(unsigned v) { return raw(std::string(1, (char)(unsigned char)v)); }
    Bytes& u8s(std::initializer_list<unsigned> vs) {
        for (unsigned v : vs)
            u8(v);
        return *this;
    }
    // A count, then the values.
    Bytes& u32s(const std::vector<uint32_t>& vs) {
        u32((uint32_t)vs.size());
        for (uint32_t v : vs)
            u32(v);
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& f32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return u32(v);
    }
    Bytes& str(const std::string& s) { return raw(s).u8(0); }
    Bytes& raw(const std::string& s) {
        b += s;
        return *this;
    }
    operator std::string() const { return b; }
};

// The Object3D block (user ID, no tracks, no parameters), the Transformable
// block without transforms, and the Node block (enabled, opaque, all scopes,
// no alignment).
inline std::string object3D(uint32_t userID = 0) {
    return Bytes().u32(userID).u32(0).u32(0);
}
inline std::string noTransform() {
    return Bytes().u8(0).u8(0);
}
inline std::string node() {
    return Bytes().u8(1).u8(1).u8(255).u32(0xFFFFFFFFu).u8(0);
}
inline std::string nodeBlocks() {
    return object3D() + noTransform() + node();
}

inline std::string chunk(unsigned type, const std::string& body) {
    return Bytes().u8(type).u32((uint32_t)body.size()).raw(body);
}

// A section: compression, total length, uncompressed length, data, Adler-32.
inline std::string section(unsigned compression, const std::string& data, uint32_t uncompressed) {
    Bytes s;
    s.u8(compression).u32((uint32_t)data.size() + 13).u32(uncompressed).raw(data);
    return s.u32((uint32_t)adler32(1, reinterpret_cast<const Bytef*>(s.b.data()), (uInt)s.b.size()));
}
inline std::string rawSection(const std::string& objects) {
    return section(0, objects, (uint32_t)objects.size());
}

inline std::string zlibSection(const std::string& objects, long uncompressedOverride = -1) {
    uLongf n = compressBound((uLong)objects.size());
    std::string packed(n, '\0');
    compress(reinterpret_cast<Bytef*>(&packed[0]), &n, reinterpret_cast<const Bytef*>(objects.data()),
             (uLong)objects.size());
    packed.resize(n);
    return section(1, packed,
                   uncompressedOverride < 0 ? (uint32_t)objects.size() : (uint32_t)uncompressedOverride);
}

const char IDENTIFIER[] = "\xAB\x4A\x53\x52\x31\x38\x34\xBB\x0D\x0A\x1A\x0A";

// Identifier, header section (TotalFileSize counting the whole file) and the sections.
inline std::string file(const std::vector<std::string>& sections, bool externalReferences = false,
                        long sizeDelta = 0, unsigned major = 1) {
    std::string rest;
    for (const std::string& s : sections)
        rest += s;
    const std::string authoring = "test";
    const size_t headerSection = 13 + 5 + 11 + authoring.size() + 1;
    uint32_t total = (uint32_t)(12 + headerSection + rest.size() + sizeDelta);
    Bytes header;
    header.u8(major).u8(0).u8(externalReferences ? 1 : 0).u32(total).u32(total).str(authoring);
    return std::string(IDENTIFIER, 12) + rawSection(chunk(0, header)) + rest;
}

// Bodies of the common objects.
inline std::string vertexArray(unsigned size, unsigned comps, unsigned encoding, unsigned count,
                               const std::vector<int>& values) {
    Bytes b;
    b.raw(object3D()).u8(size).u8(comps).u8(encoding).u16(count);
    for (int v : values)
        size == 1 ? b.u8((unsigned)v & 0xFF) : b.u16((unsigned)v & 0xFFFF);
    return b;
}
inline std::string vertexBuffer(uint32_t positions, uint32_t normals = 0, uint32_t colors = 0) {
    Bytes b;
    b.raw(object3D()).u8s({255, 255, 255, 255}).u32(positions).f32(0).f32(0).f32(0).f32(1.0f);
    return b.u32(normals).u32(colors).u32(0); // no texture coordinates
}
inline std::string stripArray(unsigned encoding, const std::vector<uint32_t>& indices,
                              const std::vector<uint32_t>& lengths) {
    Bytes b;
    b.raw(object3D()).u8(encoding).u32((uint32_t)indices.size());
    for (uint32_t i : indices)
        encoding == 128 ? b.u32(i) : encoding == 129 ? b.u8(i) : b.u16(i);
    return b.u32s(lengths);
}
inline std::string appearance(uint32_t material = 0, const std::vector<uint32_t>& textures = {}) {
    return Bytes().raw(object3D()).u8(0).u32(0).u32(0).u32(0).u32(material).u32s(textures);
}
inline std::string mesh(uint32_t vb, const std::vector<std::pair<uint32_t, uint32_t>>& submeshes) {
    Bytes b;
    b.raw(nodeBlocks()).u32(vb).u32((uint32_t)submeshes.size());
    for (auto& s : submeshes)
        b.u32(s.first).u32(s.second);
    return b;
}
inline std::string group(const std::vector<uint32_t>& children) {
    return Bytes().raw(nodeBlocks()).u32s(children);
}
inline std::string image(unsigned format, unsigned w, unsigned h, const std::string& palette,
                         const std::string& pixels) {
    Bytes b;
    b.raw(object3D()).u8(format).u8(0).u32(w).u32(h).u32((uint32_t)palette.size()).raw(palette);
    return b.u32((uint32_t)pixels.size()).raw(pixels);
}
inline std::string texture(uint32_t image, unsigned blending = 228, unsigned wrapS = 241,
                           unsigned wrapT = 241, unsigned level = 208, unsigned filter = 210) {
    Bytes b;
    b.raw(object3D()).raw(noTransform()).u32(image);
    return b.u8s({0, 0, 0, blending, wrapS, wrapT, level, filter});
}

// A keyframe sequence of float keyframes (encoding 0) unless told otherwise.
inline std::string keyframes(unsigned interpolation, unsigned repeat, unsigned encoding, uint32_t duration,
                             uint32_t comps, uint32_t count, const std::vector<float>& timesAndValues) {
    Bytes b;
    b.raw(object3D()).u8s({interpolation, repeat, encoding}).u32(duration).u32(0).u32(count ? count - 1 : 0);
    b.u32(comps).u32(count);
    for (size_t i = 0; i < timesAndValues.size(); ++i)
        i % (comps + 1) == 0 ? b.u32((uint32_t)timesAndValues[i]) : b.f32(timesAndValues[i]);
    return b;
}
inline std::string track(uint32_t sequence, uint32_t controller, uint32_t property) {
    return Bytes().raw(object3D()).u32(sequence).u32(controller).u32(property);
}

// One triangle: indices 2 (VertexArray), 3 (VertexBuffer), 4 (strip),
// 5 (Appearance), 6 (Mesh).
inline std::string triangleObjects() {
    return chunk(20, vertexArray(2, 3, 0, 3, {0, 0, 0, 100, 0, 0, 0, 100, 0})) + chunk(21, vertexBuffer(2)) +
           chunk(11, stripArray(130, {0, 1, 2}, {3})) + chunk(3, appearance()) + chunk(14, mesh(3, {{4, 5}}));
}

// Two raw files of one scene written twice agree but for floats in their last
// bits (quaternions are normalised again on each load) and the checksum: -1
// when every other differing byte lies in 4 bytes that read as two normal
// floats within 1e-3 of each other, else the offset of the first that does not.
inline long firstRealDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.size() < 4) return (long)std::min(a.size(), b.size());
    for (size_t i = 0; i < a.size() - 4;) {
        if (a[i] == b[i]) {
            ++i;
            continue;
        }
        bool close = false;
        for (size_t s = i >= 3 ? i - 3 : 0; s <= i && s + 4 <= a.size() && !close; ++s) {
            float x, y;
            std::memcpy(&x, a.data() + s, 4);
            std::memcpy(&y, b.data() + s, 4);
            if (std::isnormal(x) && std::isnormal(y) && std::fabs(x - y) <= 1e-3f * std::fabs(x)) {
                close = true;
                i = s + 4;
            }
        }
        if (!close) return (long)i;
    }
    return -1;
}

} // namespace m3gbytes
