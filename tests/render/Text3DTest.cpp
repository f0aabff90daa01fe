// Text and the batchers: fixed-point positions and glyph corners against
// reference formulas, index lists across frames, a steady frame without pool
// requests, blank glyph quads left out only where invisible, size modes.
#include "RenderFixture.h"
#include "core/MemoryManager.h"
#include "render/Batcher.h"
#include "render/Camera.h"
#include "render/Font2DBitmap.h"
#include "render/Text3D.h"
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace render;
using testsupport::GLTest;

namespace {

int reference(float v, int shift) {
    double d = std::floor((double)v * (double)(1 << shift) + 0.5);
    if (!(d > -2147483647.0)) d = -2147483647.0;
    if (d > 2147483647.0) d = 2147483647.0;
    return (int)d;
}

// The corner the layout must produce for a local point under `m` (full
// product, then division by w).
slm::vec4 expectedCorner(const slm::mat4& m, float x, float y) {
    slm::vec4 p = m * slm::vec4(x, y, 0.0f, 1.0f);
    return p * (p.w != 0.0f ? 1.0f / p.w : 1.0f);
}

class Text3DTest : public GLTest {
protected:
    // The frames `layout` draws through a batcher that leaves blank glyph
    // quads out and through one that draws them: depth writes (without a
    // depth test, which keeps the depth buffer as it is) make it keep them.
    template <typename F>
    std::array<std::vector<unsigned char>, 2> withAndWithoutBlanks(unsigned clear, F layout) {
        core::Ref<Batcher> hides(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
        core::Ref<Batcher> draws(
            g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS | Batcher::DEPTH_WRITE));
        std::array<std::vector<unsigned char>, 2> frames;
        for (int pass = 0; pass < 2; ++pass) {
            Batcher* b = pass == 0 ? hides.get() : draws.get();
            g->clearBuffers(clear, true, true);
            layout(b);
            b->render(*g, slm::mat4(), 0);
            EXPECT_EQ(pass == 0, b->getMesh()->getIndexBuffer(0)->getIndexCount() < b->getIndexCount());
            b->clear();
            frames[pass] = frame(SIZE);
        }
        return frames;
    }
    // The box {x0, y0, x1, y1} (y from the bottom) of the lit pixels of a
    // new frame in a `viewport` square after `lines` lines of screen text
    // laid out by the overlay text in `mode` at `scale`.
    std::array<int, 4> screenText(const char* text, int mode, float scale, int viewport, int lines = 1) {
        Text3D* overlay = g->getOverlayText();
        overlay->setMode(mode);
        overlay->setTextScale(scale, scale);
        overlay->setAlignment(Text3D::ALIGN_LEFT, 0);
        g->releaseTarget(); // a new frame starts the cursor again
        g->setViewport(viewport, viewport);
        g->bindTarget(nullptr);
        g->clearBuffers(0xFF000000u, true, true);
        for (int i = 0; i < lines; ++i)
            g->renderText(core::String(text), false);
        std::vector<unsigned char> px = frame(viewport);
        std::array<int, 4> box{viewport, viewport, -1, -1};
        for (int y = 0; y < viewport; ++y)
            for (int x = 0; x < viewport; ++x)
                if (px[((size_t)y * viewport + x) * 4] > 128)
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                           std::max(box[3], y)};
        return box;
    }
    int litWidth(const char* text, int mode, float scale, int viewport) {
        std::array<int, 4> box = screenText(text, mode, scale, viewport);
        return box[2] - box[0] + 1;
    }
};

TEST_F(GLTest, BatchPositionsIndicesAndStorageAcrossFrames) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::COLORS));
    const int S = Batcher::fixedPointShift(-1);
    const float values[] = {0.0f,         -0.0f,     1.0f / 64,  -1.0f / 64, 3.0f / 64, -3.0f / 64,
                            0.3f,         -0.3f,     1234.567f,  -1234.5f,   1e9f,      -1e9f,
                            1e12f,        -1e12f,    NAN,        INFINITY,   -INFINITY, 67108863.5f / 32,
                            -67108864.0f, 2.5f / 32, -2.5f / 32, 7e7f,       -7e7f,     1e-30f};
    const int n = (int)(sizeof values / sizeof values[0]);
    std::vector<int> expected;
    for (int i = 0; i + 1 < n; i += 2) {
        const float ends[6] = {values[i],     values[i + 1], values[(i + 5) % n],
                               values[i + 1], values[i],     values[(i + 7) % n]};
        b->addLine(slm::vec3(ends[0], ends[1], ends[2]), slm::vec3(ends[3], ends[4], ends[5]), 0xFF00FF00u);
        for (float v : ends)
            expected.push_back(reference(v, S));
    }
    const core::Vector<int>& pos = b->getItem().positions;
    EXPECT_EQ(expected, std::vector<int>(pos.begin(), pos.end()));

    // Index lists follow the count across frames and primitives.
    core::Ref<Batcher> batch(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    const float corners[4][3] = {{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 0.5f, 0}, {0, 0.5f, 0}};
    const short uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const struct {
        int lines, quads;
        std::vector<int> indices;
    } frames[] = {
        {3, 0, {0, 1, 2, 3, 4, 5}}, {1, 0, {0, 1}}, // a shorter frame after a longer one
        {3, 0, {0, 1, 2, 3, 4, 5}}, {0, 2, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}}, // quads after lines
        {0, 1, {0, 1, 2, 0, 2, 3}}, {1, 0, {0, 1}}};                              // lines after quads
    for (const auto& f : frames) {
        for (int i = 0; i < f.lines; ++i)
            batch->addLine(slm::vec3(0, 0, 0), slm::vec3(0.5f, (float)i * 0.1f, 0), ~0u);
        if (f.quads > 0) {
            ASSERT_TRUE(batch->beginQuads(f.quads));
            for (int i = 0; i < f.quads; ++i)
                batch->addQuad(corners, uv, ~0u);
        }
        batch->render(*g, slm::mat4(), 0);
        const core::Vector<unsigned short>& list = batch->getMesh()->getIndexBuffer(0)->getIndices();
        EXPECT_EQ(f.indices, std::vector<int>(list.begin(), list.end()));
        batch->clear();
    }

    // A steady frame of lines and text asks the pool for nothing after the first.
    core::String label("FRAME 0042 VALUE 3.1416");
    auto frame = [&] {
        g->clearBuffers(0xFF000000u, true, true);
        for (int i = 0; i < 3000; ++i) {
            float a = (float)i * 0.01f;
            g->renderLine(slm::vec3(std::sin(a), std::cos(a), 0), slm::vec3(0, 0, 0), 0xFFFFFFFFu);
        }
        for (int i = 0; i < 20; ++i)
            g->renderText(label, true,
                          slm::translation(slm::vec3(-1.0f, 1.0f - 0.1f * (float)i, 0)) * slm::scale(0.01f));
        g->flush();
    };
    frame();
    frame();
    int before = core::memoryManager().getTotalAllocations();
    frame();
    frame();
    EXPECT_EQ(before, core::memoryManager().getTotalAllocations())
        << "the batch buffers are kept, not freed and grown again";
}

TEST_F(GLTest, GlyphCornersMatchTheFullProductForAffineAndProjectiveTransforms) {
    const int S = Batcher::fixedPointShift(-1);
    const slm::mat4 affine = slm::translation(slm::vec3(3.25f, -7.5f, 0.125f)) * slm::rotation_z(0.7f) *
                             slm::rotation_x(0.3f) * slm::scale(0.37f);
    slm::mat4 projective = slm::perspective(60.0f, 1.0f, 0.5f, 50.0f, 1.0f) * affine;
    slm::mat4 heavy = affine;
    heavy.m[15] = 2.0f; // w = 2 everywhere: the division halves every corner
    const slm::mat4* transforms[] = {&affine, &projective, &heavy};
    for (const slm::mat4* m : transforms) {
        core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
        core::Ref<Text3D> text(M3D_NEW Text3D(core::String("Ag\n7"), g->getROMFont()));
        text->setBatcher(b.get());
        text->setTextScale(1.5f, 0.75f);
        text->render(*g, *m, 0);
        ASSERT_EQ(12, b->getVertexCount());
        const core::Vector<int>& pos = b->getItem().positions;
        // Local corners of the glyphs: top-left block origin, bottom aligned.
        float cellW = 8 * 1.5f, cellH = 8 * 0.75f, blockH = 2 * cellH;
        const float glyphs[3][2] = {{0, blockH}, {cellW, blockH}, {0, blockH - cellH}}; // left x, top y
        for (int q = 0; q < 3; ++q) {
            float x0 = glyphs[q][0], x1 = x0 + cellW, y1 = glyphs[q][1], y0 = y1 - cellH;
            const float local[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
            for (int k = 0; k < 4; ++k) {
                slm::vec4 c = expectedCorner(*m, local[k][0], local[k][1]);
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_EQ(reference(c[axis], S), pos[(q * 4 + k) * 3 + axis])
                        << "quad " << q << " corner " << k << " axis " << axis
                        << (m == &affine ? " (affine)" : "");
            }
        }
    }
}

TEST_F(Text3DTest, BlankQuadsAreLeftOutOnlyWhereNothingShows) {
    // Spaces next to glyphs whose strokes touch the cell edges ('+', 'N',
    // 'd' below the space in the font image), tiny and large, turned and
    // moved by odd fractions of a pixel (no pixel centre lies exactly on a
    // quad's edge: see below for what happens there).
    const char* const lines[] = {"N +d N + d", "+ + +\n d d", "  5  N\n+  +"};
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String(), g->getROMFont()));
    int differing = 0, lit = 0;
    for (int k = 0; k < 120; ++k) {
        text->setText(core::String(lines[k % 3]));
        text->setColor(k % 2 ? 0xFFFFFFFFu : 0xC080FF40u);
        float scale = k < 60 ? 0.002f + 0.0005f * (float)k : 0.02f + 0.004f * (float)(k - 60);
        slm::mat4 place =
            slm::translation(slm::vec3(-0.9f + 0.0137f * (float)(k % 11), 0.8f - 0.0119f * (float)k, 0.0f)) *
            slm::rotation_z(0.07f * (float)(k % 5)) * slm::scale(scale);
        auto frames = withAndWithoutBlanks(0xFF203040u, [&](Batcher* b) {
            text->setBatcher(b);
            text->render(*g, place, 0);
        });
        for (size_t i = 0; i < frames[0].size(); i += 4) {
            if (frames[0][i] != 0x20) ++lit;
            if (std::memcmp(&frames[0][i], &frames[1][i], 4) != 0) ++differing;
        }
    }
    EXPECT_GT(lit, 1000) << "the glyphs were drawn";
    EXPECT_EQ(0, differing);

    // A pixel centre exactly on a space quad's bottom edge samples the texel
    // row below the space's cell (the top of 'd' in the font image), so a
    // drawn space could show a dot of the next cell. Left out, it shows
    // nothing: the only pixels that differ go from the glyph colour back to
    // the clear colour. A 1024 x 768 drawing space on the 64 x 64 window:
    // 16 x 12 units a pixel, glyphs 12 units high on lines 15 apart, so that
    // pixel centres (6 + 12k units up) fall on some glyph edges.
    core::Ref<Camera> camera(M3D_NEW Camera());
    camera->setScreen(0, 1024, 0, 768, -1, 1);
    g->setCamera(camera.get(), slm::mat4());
    text->setColor(0xFFFFFFFFu);
    auto edges = withAndWithoutBlanks(0xFF000000u, [&](Batcher* b) {
        text->setBatcher(b);
        for (int row = 0; row < 50; ++row) {
            char line[64];
            std::snprintf(line, sizeof line, "%3d: frame %5d value %9.4f", row, 7 * row, 0.37 * row);
            text->setText(core::String(line));
            text->render(*g, slm::translation(slm::vec3(8, 762 - row * 15.0f, 0)) * slm::scale(1.5f), 0);
        }
    });
    int other = 0;
    differing = 0;
    for (size_t i = 0; i < edges[0].size(); i += 4) {
        if (std::memcmp(&edges[0][i], &edges[1][i], 3) == 0) continue;
        ++differing;
        if (edges[0][i] != 0 || edges[1][i] != 255) ++other;
    }
    // How many centres land exactly on an edge depends on the rounding of
    // the build (a few dozen here with optimisation, none without): only
    // the direction of a difference is checked.
    EXPECT_EQ(0, other) << "of " << differing << " differing pixels";
}

TEST_F(Text3DTest, SizeModesLayoutScaleAlignmentAndTheCursor) {
    // Mode 0: one glyph cell spans a quarter of the width (16 of the glyph's 8 pixels).
    int wide = litWidth("N", Text3D::MODE_GLYPH_WIDTH, 0.25f, 64);
    EXPECT_EQ(litWidth("N", Text3D::MODE_GLYPH_WIDTH, 0.25f, 32) * 2, wide);
    EXPECT_TRUE(wide > 8 && wide <= 16) << wide;
    // Mode 1: the whole line spans half the width, however long it is.
    int line64 = litWidth("NN", Text3D::MODE_BLOCK_WIDTH, 0.5f, 64);
    EXPECT_EQ(litWidth("NN", Text3D::MODE_BLOCK_WIDTH, 0.5f, 32) * 2, line64);
    EXPECT_TRUE(line64 > 24 && line64 <= 32) << line64;
    int fourGlyphs = litWidth("NNNN", Text3D::MODE_BLOCK_WIDTH, 1.0f, 64);
    EXPECT_TRUE(fourGlyphs > 56 && fourGlyphs <= 64) << fourGlyphs;
    // Mode 2: glyph pixels x scale, whatever the viewport.
    EXPECT_EQ(wide, litWidth("N", Text3D::MODE_TEXT_UNITS, 2.0f, 32)) << "scale 2 of an 8-pixel cell";
    EXPECT_EQ(wide, litWidth("N", Text3D::MODE_TEXT_UNITS, 2.0f, 64));

    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String("AB"), g->getROMFont()));
    text->setBatcher(b.get());
    text->setAlignment(Text3D::ALIGN_RIGHT, 0);
    text->setMode(Text3D::MODE_GLYPH_WIDTH);
    text->setTextScale(0.125f, 0.25f);
    text->render(*g, slm::mat4(), 0);
    const core::Vector<int>& pos = b->getItem().positions;
    auto at = [&](int vertex, int axis) { return pos[vertex * 3 + axis] / 32.0f; };
    // 64 x 0.125 = 8 units wide, 16 high; right-aligned, so the block ends at 0.
    EXPECT_EQ((std::vector<float>{-16, -8, -16, 0}),
              (std::vector<float>{at(0, 0), at(1, 0), at(0, 1), at(5, 0)}));
    float w, h;
    text->measure(w, h);
    EXPECT_EQ((std::vector<float>{16, 16}), (std::vector<float>{w, h}));

    // Screen-mode text moves the cursor by the laid-out line height: from 20
    // below the top, two 16-pixel lines reach down to row 52.
    std::array<int, 4> box = screenText("N", Text3D::MODE_GLYPH_WIDTH, 0.25f, SIZE, 2);
    EXPECT_TRUE(SIZE - 1 - box[1] >= 44 && SIZE - 1 - box[1] <= 52) << box[1];
    EXPECT_GT(box[3] - box[1], 16) << "both lines are lit";
}

} // namespace
