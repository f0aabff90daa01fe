// Text3D size modes on a real GL context: in modes 0 and 1 the glyphs follow
// the viewport's width, in mode 2 they keep their text scale.
#include "RenderFixture.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Text3D.h"
#include <vector>

using namespace render;
using testsupport::GLTest;

namespace {

class Text3DTest : public GLTest {
protected:
    // Draws `text` in screen mode with the overlay text in `mode` at `scale`
    // into a `viewport` x `viewport` frame; returns the width of the lit
    // pixels' bounding box (-1 when nothing is lit).
    int litWidth(const char* text, int mode, float scale, int viewport) {
        Text3D* overlay = g->getOverlayText();
        overlay->setMode(mode);
        overlay->setTextScale(scale, scale);
        overlay->setAlignment(Text3D::ALIGN_LEFT, 0);
        g->releaseTarget();
        g->setViewport(viewport, viewport);
        g->bindTarget(nullptr);
        g->clearBuffers(0xFF000000u, true, true);
        g->renderText(core::String(text), false);
        std::vector<unsigned char> px = frame(viewport);
        int lo = viewport, hi = -1;
        for (int y = 0; y < viewport; ++y)
            for (int x = 0; x < viewport; ++x)
                if (px[((size_t)y * viewport + x) * 4] > 128) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
        return hi < 0 ? -1 : hi - lo + 1;
    }
};

} // namespace

TEST_F(Text3DTest, GlyphSizeFollowsTheViewportWidthInModesZeroAndOne) {
    // Mode 0: one glyph cell spans a quarter of the width.
    int wide = litWidth("N", Text3D::MODE_GLYPH_WIDTH, 0.25f, 64);
    EXPECT_EQ(litWidth("N", Text3D::MODE_GLYPH_WIDTH, 0.25f, 32) * 2, wide);
    EXPECT_GT(wide, 8) << "a 16-pixel cell, wider than the glyph's 8 pixels";
    EXPECT_LE(wide, 16);
    // Mode 1: the whole line spans half the width, however long it is.
    int line64 = litWidth("NN", Text3D::MODE_BLOCK_WIDTH, 0.5f, 64);
    EXPECT_EQ(litWidth("NN", Text3D::MODE_BLOCK_WIDTH, 0.5f, 32) * 2, line64);
    EXPECT_GT(line64, 24);
    EXPECT_LE(line64, 32);
    // Twice the glyphs over the whole width: each glyph the same size again.
    int fourGlyphs = litWidth("NNNN", Text3D::MODE_BLOCK_WIDTH, 1.0f, 64);
    EXPECT_GT(fourGlyphs, 56);
    EXPECT_LE(fourGlyphs, 64);
    // Mode 2: glyph pixels x scale, whatever the viewport.
    EXPECT_EQ(wide, litWidth("N", Text3D::MODE_TEXT_UNITS, 2.0f, 32)) << "scale 2 of an 8-pixel cell";
    EXPECT_EQ(wide, litWidth("N", Text3D::MODE_TEXT_UNITS, 2.0f, 64));
}

TEST_F(Text3DTest, LayoutScaleDrivesQuadsAlignmentAndTheCursor) {
    Font2DBitmap* font = g->getROMFont();
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String("AB"), font));
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
    EXPECT_FLOAT_EQ(16.0f, w);
    EXPECT_FLOAT_EQ(16.0f, h);
    // Back to mode 2 the text scale applies directly again.
    text->setMode(Text3D::MODE_TEXT_UNITS);
    b->clear();
    text->render(*g, slm::mat4(), 0);
    EXPECT_FLOAT_EQ(-2.0f, at(0, 0));

    // Screen-mode text moves the cursor by the laid-out line height: a
    // second line drawn after a 16-pixel one starts 16 pixels lower.
    Text3D* overlay = g->getOverlayText();
    overlay->setMode(Text3D::MODE_GLYPH_WIDTH);
    overlay->setTextScale(0.25f, 0.25f);
    overlay->setAlignment(Text3D::ALIGN_LEFT, 0);
    g->clearBuffers(0xFF000000u, true, true);
    g->renderText(core::String("N"), false);
    g->renderText(core::String("N"), false);
    std::vector<unsigned char> px = frame();
    int rows = 0, lowest = SIZE;
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < 16; ++x)
            if (px[((size_t)y * SIZE + x) * 4] > 128) {
                ++rows;
                lowest = std::min(lowest, y);
                break;
            }
    // Cursor at 20 from the top: two 16-pixel lines reach down to row 52.
    EXPECT_GE(SIZE - 1 - lowest, 44);
    EXPECT_LE(SIZE - 1 - lowest, 52);
    EXPECT_GT(rows, 16) << "both lines are lit";
}
