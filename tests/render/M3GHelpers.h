// Helpers of the scene tests: vertex arrays from values, scenes written to and
// loaded from M3G bytes, and a frame compared with a golden image.
#pragma once
#include "PngReference.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include "render/PNG_Writer.h"
#include "render/VertexBuffer.h"
#include "support/Text.h"
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <vector>

namespace m3gtest {

typedef core::Vector<core::Ref<render::Object3D>> Objects;

// `values` as vertices of `comps` components; the component size is sizeof(T).
template <class T> render::VertexArray* array(int comps, const std::vector<T>& values) {
    int n = (int)values.size() / comps;
    render::VertexArray* a = M3D_NEW render::VertexArray(n, comps, (int)sizeof(T));
    a->set(0, n, values.data());
    return a;
}

// A vertex buffer of 16-bit positions (x, y, z per vertex).
inline render::VertexBuffer* positions(const std::vector<short>& p, float scale,
                                       const float* bias = nullptr) {
    render::VertexBuffer* vb = M3D_NEW render::VertexBuffer();
    vb->setPositions(array(3, p), scale, bias);
    return vb;
}

inline std::string write(const Objects& roots, bool compress) {
    core::Ref<render::M3G_Writer> w = M3D_NEW render::M3G_Writer();
    for (int i = 0; i < roots.size(); ++i)
        w->add(roots[i].get());
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    w->write(out.get(), compress);
    return std::string((const char*)out->data(), (size_t)out->size());
}

inline Objects load(const std::string& bytes) {
    core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), false);
    Objects out;
    render::Loader::load(in.get(), out, nullptr, core::String());
    return out;
}

// The bottom-left size x size pixels of the back buffer against
// tests/golden/<name>.png (PELLORAN_UPDATE_GOLDEN=1 writes it instead): at
// most 1 pixel in 200 may differ by more than 12 in a colour channel.
inline void expectGolden(int size, const std::string& name) {
    std::vector<unsigned char> frame((size_t)size * size * 4);
    glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    const std::string path = std::string(PELLORAN_SOURCE_DIR) + "/tests/golden/" + name + ".png";
    if (std::getenv("PELLORAN_UPDATE_GOLDEN")) {
        for (size_t i = 3; i < frame.size(); i += 4)
            frame[i] = 255;
        render::writePNG(core::String(path.c_str()), size, size, frame.data(), true);
        return;
    }
    std::string file = testsupport::readFile(path), why;
    pngref::Image want;
    ASSERT_TRUE(pngref::decode(std::vector<unsigned char>(file.begin(), file.end()), want, why))
        << name << ": " << why;
    ASSERT_EQ(size, want.width);
    ASSERT_EQ(size, want.height);
    int differing = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const unsigned char* got = &frame[((size_t)(size - 1 - y) * size + x) * 4];
            const unsigned char* ref = &want.pixels[((size_t)y * size + x) * want.channels];
            for (int c = 0; c < 3; ++c)
                if (std::abs(got[c] - ref[c]) > 12) {
                    ++differing;
                    break;
                }
        }
    EXPECT_LE(differing, size * size / 200) << name << ": " << differing << " pixels differ";
}

} // namespace m3gtest
