// Shared set-up of the GL render tests: an engine core, a hidden 64 x 64
// GL window and a reset OGLES2_Graphics3D bound to it, plus helpers to build
// images and geometry and read pixels back.
#pragma once
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "render/GLCallCounters.h"
#include "render/Image2D.h"
#include "render/Mesh.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/Texture2D.h"
#include "render/World.h"
#include "support/EngineFixture.h"
#include "support/GLTestDisplay.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/Text.h"
#include <GL/gl.h>
#include <array>
#include <initializer_list>
#include <vector>

namespace testsupport {

// A program that draws every fragment in the vertex buffer's default colour
// (m3g_vertexColor); it does not use m3g_featuresFlags.
inline const char* flatVertexShader() {
    return R"(void main() {
    m3g_out_vColor = m3g_vertexColor;
    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
})";
}
inline const char* flatFragmentShader() {
    return "precision highp float;\nvoid main() { gl_FragColor = m3g_out_vColor; }\n";
}

// A w x h RGBA image whose pixel (x, y) (y from the top) is colour(x, y) (ARGB).
template <typename F> render::Image2D* argbImage(int w, int h, F colour) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned c = colour(x, y);
            for (int k = 0; k < 4; ++k) // RGBA from ARGB
                px[((size_t)y * w + x) * 4 + k] = (unsigned char)(c >> (k == 3 ? 24 : 16 - 8 * k));
        }
    return M3D_NEW render::Image2D(render::Image2D::RGBA, w, h, px.data());
}

// Left half `left`, right half `right` (ARGB).
inline render::Image2D* halves(int w, int h, unsigned left, unsigned right) {
    return argbImage(w, h, [=](int x, int) { return x < w / 2 ? left : right; });
}

// A temporary folder mounted as the root of the engine's file system while alive.
struct MountedTempDir : TempDir {
    MountedTempDir() {
        core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive((path() + "/").c_str(), false), "");
    }
    ~MountedTempDir() { core::FileSystem::destroy(); }
};

// The bytes of a file of the PNG suite.
inline std::string pngSuiteFile(const std::string& name) {
    return readFile(pngSuite() + name);
}

// Compares colours channel by channel within `tolerance`.
inline ::testing::AssertionResult near(const std::array<int, 4>& got, const std::array<int, 4>& want,
                                       int tolerance = 2, bool alpha = false) {
    for (int i = 0; i < (alpha ? 4 : 3); ++i)
        if (std::abs(got[i] - want[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "got " << ::testing::PrintToString(got) << " want " << ::testing::PrintToString(want);
    return ::testing::AssertionSuccess();
}

class GLTest : public ::testing::Test {
protected:
    static constexpr int SIZE = 64;

    EngineCore core{40 * 1024 * 1024};
    GLTestDisplay display{SIZE, SIZE};
    core::Ref<render::OGLES2_Graphics3D> g;

    // Tests that are not about lights draw without the automatic default
    // light (it would take vertex colours away from lit-capable programs).
    virtual bool wantsDefaultLight() const { return false; }

    void SetUp() override {
        g = M3D_NEW render::OGLES2_Graphics3D();
        core.globals().graphics = g.get();
        g->setDisplay(&display);
        render::GraphicsConfig config;
        config.flags[render::GraphicsConfig::DEFAULT_LIGHT] = wantsDefaultLight() ? 1 : 0;
        g->setConfig(config);
        g->resetGraphics3D(1);
        g->bindTarget(nullptr);
        g->setCamera(nullptr, slm::mat4());
    }
    void TearDown() override {
        core.globals().graphics = nullptr;
        g.release();
    }

    render::ShaderProgram* program(const char* vs, const char* fs) {
        core::Ref<render::VertexShader> v(M3D_NEW render::VertexShader(vs));
        core::Ref<render::FragmentShader> f(M3D_NEW render::FragmentShader(fs));
        return g->createNewShaderProgram(v.get(), f.get(), false);
    }

    void draw(render::VertexBuffer* vb, render::IndexBuffer* ib, render::Appearance* a,
              const slm::mat4& m = {}) {
        g->renderSubmesh(vb, ib, a, m, -1);
    }

    // A texture of `image` sampled without filtering.
    render::Texture2D* texture(render::Image2D* image) {
        render::Texture2D* t =
            g->createNewTexture(render::Texture2D::KIND_TEXTURE, image->getFormat(), -1, -1);
        t->setFiltering(render::Texture2D::FILTER_BASE_LEVEL, render::Texture2D::FILTER_NEAREST);
        t->setImage(image);
        return t;
    }

    // An appearance with the flat program and its own components.
    render::Appearance* flatAppearance() {
        render::Appearance* a = M3D_NEW render::Appearance();
        a->setShaderProgram(program(flatVertexShader(), flatFragmentShader()));
        a->setCompositingMode(M3D_NEW render::CompositingMode());
        a->setPolygonMode(M3D_NEW render::PolygonMode());
        a->setMaterial(M3D_NEW render::Material());
        return a;
    }

public:
    // A float-position quad (x0, y0)-(x1, y1) at depth z, counter-clockwise
    // seen from +z, as a triangle list.
    static render::VertexBuffer* quad(float x0, float y0, float x1, float y1, float z, unsigned color,
                                      int mode = render::VertexBuffer::STATIC) {
        float p[12] = {x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z};
        render::VertexArray* a = M3D_NEW render::VertexArray(4, 3, 4);
        a->set(0, 4, p);
        render::VertexBuffer* vb = M3D_NEW render::VertexBuffer(mode);
        vb->setPositions(a, 1.0f, nullptr);
        vb->setDefaultColor(color);
        return vb;
    }
    static render::IndexBuffer* quadIndices(bool clockwise = false) {
        static const unsigned short ccw[6] = {0, 1, 2, 0, 2, 3};
        static const unsigned short cw[6] = {0, 2, 1, 0, 3, 2};
        return M3D_NEW render::TriangleListArray(clockwise ? cw : ccw, 6);
    }

    // The back buffer's bottom-left `size` x `size` pixels, RGBA, rows from the bottom.
    static std::vector<unsigned char> frame(int size = SIZE) {
        std::vector<unsigned char> px((size_t)size * size * 4);
        glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    // RGBA of the back-buffer pixel (x, y), origin bottom left.
    static std::array<int, 4> pixel(int x, int y) {
        unsigned char c[4] = {0, 0, 0, 0};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c);
        return {c[0], c[1], c[2], c[3]};
    }
    static std::array<int, 4> rgba(unsigned argb) {
        return {(int)((argb >> 16) & 0xFF), (int)((argb >> 8) & 0xFF), (int)(argb & 0xFF), (int)(argb >> 24)};
    }
    // Each probed pixel shows its colour.
    struct Probe {
        int x, y;
        unsigned argb;
    };
    static void expectPixels(std::initializer_list<Probe> probes) {
        for (const Probe& p : probes)
            EXPECT_TRUE(near(pixel(p.x, p.y), rgba(p.argb))) << "pixel " << p.x << "," << p.y;
    }
    // Clears the frame and draws a screen-filling quad sampling `t` on unit 0
    // (v = 0 at the image's top row).
    void drawTextured(render::Texture2D* t) {
        g->clearBuffers(0xFF000000u, true, true);
        core::Ref<render::VertexBuffer> vb(quad(-1, -1, 1, 1, 0, 0xFFFFFFFFu));
        const short uv[8] = {0, 1, 1, 1, 1, 0, 0, 0};
        render::VertexArray* a = M3D_NEW render::VertexArray(4, 2, 2);
        a->set(0, 4, uv);
        vb->setTexCoords(0, a, 1.0f, nullptr);
        core::Ref<render::IndexBuffer> ib(quadIndices());
        core::Ref<render::Appearance> app(M3D_NEW render::Appearance());
        app->setTexture(0, t);
        draw(vb.get(), ib.get(), app.get());
    }
};

// A GLTest with a quad's triangle list and a flat appearance to draw with.
class FlatTest : public GLTest {
protected:
    core::Ref<render::IndexBuffer> ib;
    core::Ref<render::Appearance> flat;

    void SetUp() override {
        GLTest::SetUp();
        ib = quadIndices();
        flat = flatAppearance();
    }
    void TearDown() override {
        flat.release();
        ib.release();
        GLTest::TearDown();
    }
    void drawFlat(render::VertexBuffer* vb, const slm::mat4& m = {}) { draw(vb, ib.get(), flat.get(), m); }
};

} // namespace testsupport
