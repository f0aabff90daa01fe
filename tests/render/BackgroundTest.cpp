// Background images on a real GL context: the crop fills the viewport, the
// border and repeat modes per axis, the colour clear underneath, and the
// argument checks.
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "core/IOException.h"
#include "render/Background.h"
#include "render/Loader.h"

using namespace render;
using testsupport::GLTest;
using testsupport::near;

namespace {

const unsigned RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu, YELLOW = 0xFFFFFF00u,
               WHITE = 0xFFFFFFFFu;

// Quadrants: red top-left, green top-right, blue bottom-left, yellow bottom-right.
Image2D* quadrants(int w, int h) {
    return testsupport::argbImage(w, h, [=](int x, int y) {
        return y < h / 2 ? (x < w / 2 ? RED : GREEN) : (x < w / 2 ? BLUE : YELLOW);
    });
}

class BackgroundTest : public GLTest {
protected:
    // Screen pixel (x, y) counted from the top-left, like the image.
    std::array<int, 4> top(int x, int y) { return pixel(x, SIZE - 1 - y); }
    void expectTop(std::initializer_list<Probe> probes) {
        for (const Probe& p : probes)
            EXPECT_TRUE(near(top(p.x, p.y), rgba(p.argb))) << p.x << "," << p.y;
    }
};

} // namespace

TEST_F(BackgroundTest, ImageFillsTheViewportTheCropSelectsAPartAndBadArgumentsChangeNothing) {
    core::Ref<Background> bg(M3D_NEW Background());
    bg->setColor(0xFF000000u);
    core::Ref<Image2D> img(quadrants(16, 8));
    bg->setImage(img.get());
    g->clear(bg.get());
    expectTop(
        {{2, 2, RED}, {61, 2, GREEN}, {2, 61, BLUE}, {61, 61, YELLOW}, {30, 30, RED}, {33, 33, YELLOW}});

    // The top-right quadrant alone fills the screen; a crop straddling the
    // middle shows the four colours again, smaller.
    bg->setCrop(8, 0, 8, 4);
    g->clear(bg.get());
    expectTop({{1, 1, GREEN}, {62, 62, GREEN}});
    bg->setCrop(6, 2, 4, 4);
    g->clear(bg.get());
    expectTop({{10, 10, RED}, {50, 10, GREEN}, {10, 50, BLUE}, {50, 50, YELLOW}});
    // A zero-sized crop, or no image, draws nothing over the colour.
    bg->setCrop(1, 1, 0, 3);
    g->clear(bg.get());
    EXPECT_TRUE(near(top(5, 5), {0, 0, 0, 255}));
    bg->setImage(nullptr);
    g->clear(bg.get());
    EXPECT_TRUE(near(top(5, 5), {0, 0, 0, 255}));

    // The scene's camera and the counters are left as they were.
    EXPECT_EQ(nullptr, g->getCamera());
    int sets = g->getStatistics().cameraSets;
    g->clear(bg.get());
    EXPECT_EQ(sets, g->getStatistics().cameraSets);

    bg->setImage(img.get()); // the crop is the whole image again
    EXPECT_THROW(bg->setCrop(0, 0, -1, 4), Morva3DException);
    EXPECT_THROW(bg->setCrop(0, 0, 4, -4), Morva3DException);
    EXPECT_THROW(bg->setImageMode(Background::BORDER, 34), Morva3DException);
    EXPECT_THROW(bg->setImageMode(0, Background::REPEAT), Morva3DException);
    core::Ref<Image2D> odd(M3D_NEW Image2D(95, 4, 4));
    EXPECT_THROW(bg->setImage(odd.get()), Morva3DException);
    EXPECT_EQ(img.get(), bg->getImage());
    EXPECT_EQ(16, bg->getCropWidth());
    // Negative crop positions are fine (they look left of and above the image).
    bg->setCrop(-100, -3, 5, 5);
    g->clear(bg.get());
    EXPECT_TRUE(near(top(5, 5), {0, 0, 0, 0}));
}

TEST_F(BackgroundTest, BorderShowsTheClearColourAndRepeatTilesOutsideTheImage) {
    // Crop [-w/2, 3w/2) across: screen quarters are outside, left half,
    // right half, outside. Both a power-of-two width (texture wrapping) and
    // another width (one quad per repetition).
    for (int w : {16, 12}) {
        SCOPED_TRACE(w);
        core::Ref<Background> bg(M3D_NEW Background());
        bg->setColor(BLUE);
        core::Ref<Image2D> img(testsupport::halves(w, w, RED, GREEN));
        bg->setImage(img.get());
        bg->setCrop(-w / 2, 0, 2 * w, w);
        g->clear(bg.get());
        expectTop({{8, 32, BLUE}, {24, 32, RED}, {40, 32, GREEN}, {56, 32, BLUE}});
        // Repeated across: the right half shows on the left, the left half on the right.
        bg->setImageMode(Background::REPEAT, Background::BORDER);
        g->clear(bg.get());
        expectTop({{8, 32, GREEN}, {24, 32, RED}, {40, 32, GREEN}, {56, 32, RED}});

        // Vertically the crop runs past the image's bottom: border there,
        // tiles again once y repeats too.
        bg->setCrop(-w / 2, 0, 2 * w, 2 * w);
        g->clear(bg.get());
        expectTop({{24, 16, RED}, {24, 48, BLUE}});
        bg->setImageMode(Background::REPEAT, Background::REPEAT);
        g->clear(bg.get());
        expectTop({{24, 48, RED}, {8, 48, GREEN}});
        // Many repetitions: 8 across, each 8 pixels wide, red then green.
        bg->setCrop(0, 0, 8 * w, w);
        g->clear(bg.get());
        for (int k = 0; k < 8; ++k)
            expectTop({{k * 8 + 2, 32, RED}, {k * 8 + 5, 32, GREEN}});
    }
}

TEST_F(BackgroundTest, TransparentPixelsShowTheClearColourAndAMissingImageFailsTheClearAlone) {
    core::Ref<Background> bg(M3D_NEW Background());
    bg->setColor(BLUE);
    core::Ref<Image2D> img(testsupport::halves(8, 8, 0x00FF0000u, WHITE));
    bg->setImage(img.get());
    g->clear(bg.get());
    expectTop({{10, 10, BLUE}, {50, 10, WHITE}});
    // The image wrote no depth: a quad far back still passes the depth test.
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0.9f, RED));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> a(flatAppearance());
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(top(50, 10), rgba(RED)));

    // Without the colour clear the previous frame stays under transparent pixels.
    bg->setColorClearEnable(false);
    g->clear(bg.get());
    expectTop({{10, 10, RED}, {50, 10, WHITE}});

    // An image whose file is gone fails the clear and nothing else.
    testsupport::MountedTempDir dir;
    dir.write("gone.png", testsupport::pngSuiteFile("basn2c08.png"));
    core::Vector<core::Ref<Object3D>> result;
    Loader::load(core::String("gone.png"), nullptr, result);
    core::Ref<Background> gone(M3D_NEW Background());
    gone->setColor(GREEN);
    gone->setImage(static_cast<Image2D*>(result[0].get())); // decoded on first use
    std::remove(dir.file("gone.png").c_str());
    testsupport::StderrCapture err;
    EXPECT_THROW(g->clear(gone.get()), core::IOException);
    err.finish();
    // The frame was cleared before the image was asked for, and the
    // renderer goes on drawing.
    EXPECT_TRUE(near(top(5, 5), rgba(GREEN)));
    core::Ref<Image2D> small(quadrants(4, 4));
    gone->setImage(small.get());
    g->clear(gone.get());
    EXPECT_TRUE(near(top(5, 5), rgba(RED)));
}
