// Blank glyph quads (spaces): left out of the draw only where they could not
// change a pixel, and the frames drawn with and without them are the same.
#include "RenderFixture.h"
#include "render/Batcher.h"
#include "render/Camera.h"
#include "render/Font2DBitmap.h"
#include "render/Text3D.h"
#include <cstdio>
#include <cstring>

using namespace render;
using testsupport::GLTest;

TEST_F(GLTest, FramesWithAndWithoutBlankQuadsAreTheSameAwayFromCellEdges) {
    Font2DBitmap* font = g->getROMFont();
    // Spaces next to glyphs whose strokes touch the cell edges ('+', 'N',
    // 'd' below the space in the font image), tiny and large, turned and
    // moved by odd fractions of a pixel (no pixel centre lies exactly on a
    // quad's edge: see the next test for what happens there).
    const char* const lines[] = {"N +d N + d", "+ + +\n d d", "  5  N\n+  +"};
    // Depth writes (without a depth test, which keeps the depth buffer as it
    // is) make the batch draw its blank quads: the reference frame.
    core::Ref<Batcher> hides(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Batcher> draws(
        g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS | Batcher::DEPTH_WRITE));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String(), font));
    int differing = 0, lit = 0;
    for (int k = 0; k < 120; ++k) {
        text->setText(core::String(lines[k % 3]));
        text->setColor(k % 2 ? 0xFFFFFFFFu : 0xC080FF40u);
        float scale = k < 60 ? 0.002f + 0.0005f * (float)k : 0.02f + 0.004f * (float)(k - 60);
        slm::mat4 place =
            slm::translation(slm::vec3(-0.9f + 0.0137f * (float)(k % 11), 0.8f - 0.0119f * (float)k, 0.0f)) *
            slm::rotation_z(0.07f * (float)(k % 5)) * slm::scale(scale);
        std::vector<unsigned char> frames[2];
        for (int pass = 0; pass < 2; ++pass) {
            Batcher* b = pass == 0 ? hides.get() : draws.get();
            g->clearBuffers(0xFF203040u, true, true);
            text->setBatcher(b);
            text->render(*g, place, 0);
            b->render(*g, slm::mat4(), 0);
            EXPECT_EQ(pass == 0, b->getMesh()->getIndexBuffer(0)->getIndexCount() < b->getIndexCount());
            b->clear();
            frames[pass] = GLTest::frame(SIZE);
        }
        for (size_t i = 0; i < frames[0].size(); i += 4) {
            if (frames[0][i] != 0x20) ++lit;
            if (std::memcmp(&frames[0][i], &frames[1][i], 4) != 0) ++differing;
        }
    }
    EXPECT_GT(lit, 1000) << "the glyphs were drawn";
    EXPECT_EQ(0, differing);
}

TEST_F(GLTest, BatchIndicesFollowTheCountAcrossFramesAndPrimitives) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    auto drawnIndices = [&]() {
        b->render(*g, slm::mat4(), 0);
        const core::Vector<unsigned short>& list = b->getMesh()->getIndexBuffer(0)->getIndices();
        std::vector<int> out(list.begin(), list.end());
        b->clear();
        return out;
    };
    auto lines = [&](int n) {
        for (int i = 0; i < n; ++i)
            b->addLine(slm::vec3(0, 0, 0), slm::vec3(0.5f, (float)i * 0.1f, 0), ~0u);
    };
    const float corners[4][3] = {{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 0.5f, 0}, {0, 0.5f, 0}};
    const short uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto quads = [&](int n) {
        ASSERT_TRUE(b->beginQuads(n));
        for (int i = 0; i < n; ++i)
            b->addQuad(corners, uv, ~0u);
    };
    lines(3);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), drawnIndices());
    lines(1);
    EXPECT_EQ((std::vector<int>{0, 1}), drawnIndices()) << "a shorter frame after a longer one";
    lines(3);
    drawnIndices(); // six line indices before the quads
    quads(2);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}), drawnIndices()) << "quads after lines";
    quads(1);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 2, 3}), drawnIndices());
    lines(1);
    EXPECT_EQ((std::vector<int>{0, 1}), drawnIndices()) << "lines after quads";
}

// A pixel centre exactly on a space quad's bottom edge samples the texel row
// below the space's cell (the top of 'd' in the font image), so a drawn space
// could show a dot of the next cell. Left out, it shows nothing: the only
// pixels that differ go from the glyph colour back to the clear colour.
TEST_F(GLTest, AHiddenSpaceNoLongerShowsTheCellBelowItAtAnEdge) {
    Font2DBitmap* font = g->getROMFont();
    core::Ref<Batcher> hides(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Batcher> draws(
        g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS | Batcher::DEPTH_WRITE));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String(), font));
    // A 1024 x 768 drawing space on the 64 x 64 window: 16 x 12 units a
    // pixel, glyphs 12 units high on lines 15 apart, so that pixel centres
    // (6 + 12k units up) fall on some glyph edges.
    core::Ref<Camera> camera(M3D_NEW Camera());
    camera->setScreen(0, 1024, 0, 768, -1, 1);
    g->setCamera(camera.get(), slm::mat4());
    std::vector<unsigned char> frames[2];
    for (int pass = 0; pass < 2; ++pass) {
        Batcher* b = pass == 0 ? hides.get() : draws.get();
        g->clearBuffers(0xFF000000u, true, true);
        text->setBatcher(b);
        for (int row = 0; row < 50; ++row) {
            char line[64];
            std::snprintf(line, sizeof line, "%3d: frame %5d value %9.4f", row, 7 * row, 0.37 * row);
            text->setText(core::String(line));
            text->render(*g, slm::translation(slm::vec3(8, 762 - row * 15.0f, 0)) * slm::scale(1.5f), 0);
        }
        b->render(*g, slm::mat4(), 0);
        b->clear();
        frames[pass] = GLTest::frame(SIZE);
    }
    int differing = 0, other = 0;
    for (size_t i = 0; i < frames[0].size(); i += 4) {
        if (std::memcmp(&frames[0][i], &frames[1][i], 3) == 0) continue;
        ++differing;
        if (frames[0][i] != 0 || frames[1][i] != 255) ++other;
    }
    // How many centres land exactly on an edge depends on the rounding of
    // the build (a few dozen here with optimisation, none without): only
    // the direction of a difference is checked.
    EXPECT_EQ(0, other) << "of " << differing << " differing pixels";
}
