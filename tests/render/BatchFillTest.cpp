// What the batchers collect per call: fixed-point positions rounded exactly
// as floor(v x 2^S + 0.5) with clamping, storage that stays for the next frame
// (a steady frame of lines and text asks the pool for nothing), and glyph
// corners placed by the text layout exactly as the full matrix product
// places them, affine or not.
#include "RenderFixture.h"
#include "core/MemoryManager.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Text3D.h"
#include <cmath>
#include <limits>

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
void expectedCorner(const slm::mat4& m, float x, float y, float out[3]) {
    slm::vec4 p = m * slm::vec4(x, y, 0.0f, 1.0f);
    float inv = p.w != 0.0f ? 1.0f / p.w : 1.0f;
    out[0] = p.x * inv;
    out[1] = p.y * inv;
    out[2] = p.z * inv;
}

} // namespace

TEST_F(GLTest, LinePositionsRoundHalvesUpAndClampLikeTheFloorFormula) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::COLORS));
    const int S = Batcher::fixedPointShift(-1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f,         -0.0f,     1.0f / 64,  -1.0f / 64, 3.0f / 64, -3.0f / 64,
                            0.3f,         -0.3f,     1234.567f,  -1234.5f,   1e9f,      -1e9f,
                            1e12f,        -1e12f,    nan,        inf,        -inf,      67108863.5f / 32,
                            -67108864.0f, 2.5f / 32, -2.5f / 32, 7e7f,       -7e7f,     1e-30f};
    const int n = (int)(sizeof values / sizeof values[0]);
    for (int i = 0; i + 1 < n; i += 2)
        b->addLine(slm::vec3(values[i], values[i + 1], values[(i + 5) % n]),
                   slm::vec3(values[i + 1], values[i], values[(i + 7) % n]), 0xFF00FF00u);
    const core::Vector<int>& pos = b->getItem().positions;
    ASSERT_EQ(pos.size(), (n / 2) * 6);
    for (int i = 0, line = 0; i + 1 < n; i += 2, ++line) {
        const float expect[6] = {values[i],     values[i + 1], values[(i + 5) % n],
                                 values[i + 1], values[i],     values[(i + 7) % n]};
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(reference(expect[k], S), pos[line * 6 + k])
                << "line " << line << " value " << expect[k];
    }
    const core::Vector<unsigned char>& colors = b->getItem().colors;
    ASSERT_EQ(colors.size(), (n / 2) * 8);
    EXPECT_EQ((std::vector<int>{0, 255, 0, 255}), std::vector<int>(colors.begin(), colors.begin() + 4));
}

TEST_F(GLTest, ASteadyFrameOfLinesAndTextAsksThePoolForNothingAfterTheFirst) {
    MemoryManager& mm = core::memoryManager();
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
    int before = mm.getTotalAllocations(), live = mm.getLiveAllocations();
    frame();
    frame();
    EXPECT_EQ(before, mm.getTotalAllocations()) << "the batch buffers are kept, not freed and grown again";
    EXPECT_EQ(live, mm.getLiveAllocations());
    EXPECT_FALSE(g->getDefaultBatcher()->hasItems());
    EXPECT_FALSE(g->getTextBatcher()->hasItems());
}

TEST_F(GLTest, GlyphCornersMatchTheFullProductForAffineAndProjectiveTransforms) {
    Font2DBitmap* font = g->getROMFont();
    const int S = Batcher::fixedPointShift(-1);
    const slm::mat4 affine = slm::translation(slm::vec3(3.25f, -7.5f, 0.125f)) * slm::rotation_z(0.7f) *
                             slm::rotation_x(0.3f) * slm::scale(0.37f);
    slm::mat4 projective = slm::perspective(60.0f, 1.0f, 0.5f, 50.0f, 1.0f) * affine;
    slm::mat4 heavy = affine;
    heavy.m[15] = 2.0f; // w = 2 everywhere: the division halves every corner
    const slm::mat4* transforms[] = {&affine, &projective, &heavy};
    for (const slm::mat4* m : transforms) {
        core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
        core::Ref<Text3D> text(M3D_NEW Text3D(core::String("Ag\n7"), font));
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
                float c[3];
                expectedCorner(*m, local[k][0], local[k][1], c);
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_EQ(reference(c[axis], S), pos[(q * 4 + k) * 3 + axis])
                        << "quad " << q << " corner " << k << " axis " << axis
                        << (m == &affine ? " (affine)" : "");
            }
        }
    }
}
