// Textures (padding, render targets, region updates), the batchers (lines,
// fixed-point shift, one draw call per batch), text with the ROM font and the
// statistics overlay's text, all on a real GL context.
#include "RenderFixture.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/RenderTarget.h"
#include "render/Text3D.h"
#include <string>

using namespace render;
using testsupport::GLTest;
using testsupport::halves;
using testsupport::near;

namespace {

const unsigned RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu;

// The RGBA pixels of level 0 of a w x h texture.
std::vector<unsigned char> texels(Texture2D* t, int w, int h) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

TEST_F(GLTest, TexturePaddedToPowersOfTwoShowsTheWholeImage) {
    core::Ref<Image2D> image(halves(100, 50, RED, GREEN));
    core::Ref<Texture2D> t(texture(image.get()));
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(128, w);
    EXPECT_EQ(64, h);
    g->invalidateStateCache();
    drawTextured(t.get());
    // Without the scale the padding (black, transparent) would show on the
    // right and the image's green half would start left of the centre.
    expectPixels({{4, 32, RED}, {28, 32, RED}, {36, 32, GREEN}, {60, 32, GREEN}, {60, 60, GREEN}});
}

TEST_F(GLTest, RenderTargetTextureIsDrawnIntoAndHasNoMipmaps) {
    core::Ref<Texture2D> t(g->createNewTexture(Texture2D::KIND_RENDER_TARGET, Image2D::RGBA, 32, 32));
    core::Ref<RenderTarget> target(M3D_NEW RenderTarget(t.get()));
    g->releaseTarget();
    g->bindTarget(target.get());
    g->clearBuffers(BLUE, true, true);
    g->setCamera(nullptr, slm::mat4());
    g->renderLine(slm::vec3(-1, 0.01f, 0), slm::vec3(1, 0.01f, 0), RED);
    g->releaseTarget();
    std::vector<unsigned char> px = texels(t.get(), 32, 32);
    EXPECT_EQ(255, px[2]) << "the clear reached the target";
    int red = 0;
    for (int y = 0; y < 32; ++y)
        red += px[(y * 32 + 5) * 4] == 255 && px[(y * 32 + 5) * 4 + 2] == 0;
    EXPECT_EQ(1, red) << "the line crossed the target";
    GLint mip1 = 0, filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &mip1);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(0, mip1) << "a render target has no mipmaps";
    EXPECT_EQ(GL_LINEAR, filter);
    g->invalidateStateCache(); // sampling it on screen is in the render_target golden image
}

TEST_F(GLTest, OpaqueRedLineIsRedAndEachBatchIsOneDrawCall) {
    g->clearBuffers(0xFF000000u, true, true);
    float y = (32.5f / SIZE) * 2.0f - 1.0f;
    g->renderLine(slm::vec3(-1, y, 0), slm::vec3(1, y, 0), RED);
    for (int i = 0; i < 999; ++i)
        g->renderLine(slm::vec3(-1, -2, 0), slm::vec3(1, -2, 0), GREEN);
    EXPECT_EQ(2000, g->getDefaultBatcher()->getVertexCount());
    int before = g->getStatistics().drawCalls;
    g->flush();
    EXPECT_EQ(before + 1, g->getStatistics().drawCalls);
    expectPixels({{5, 32, RED}, {60, 32, RED}, {5, 40, 0xFF000000u}});
    // clear() empties without drawing.
    g->renderLine(slm::vec3(-1, 0.5f, 0), slm::vec3(1, 0.5f, 0), GREEN);
    g->clear(nullptr);
    g->flush();
    EXPECT_EQ(before + 1, g->getStatistics().drawCalls);
}

TEST_F(GLTest, FarCoordinatesCoarsenTheWholeBatch) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::COLORS));
    b->addLine(slm::vec3(0.5f, 0.25f, 0), slm::vec3(1.03125f, 3, 0), RED);
    b->commit();
    EXPECT_EQ(0, b->getShift());
    // 2000 units x 32 = 64000 does not fit a short: one more bit for all.
    b->addLine(slm::vec3(0, 0, 0), slm::vec3(2000, 0, 0), RED);
    b->commit();
    EXPECT_EQ(1, b->getShift());
    EXPECT_FLOAT_EQ(1.0f / 16.0f, b->getMesh()->getVertexBuffer()->getPositionScale());
    float p[12];
    b->getMesh()->getVertexBuffer()->getPositions()->get(0, 4, p);
    EXPECT_FLOAT_EQ(8.0f, p[0]) << "earlier vertices are converted again";
    EXPECT_FLOAT_EQ(32000.0f, p[9]);
    b->clear();
    EXPECT_EQ(0, b->getShift());
}

// Glyph placement is checked against the full matrix product in
// BatchFillTest, glyph pixels in the lines_text golden image.
TEST_F(GLTest, TextUsesTheFontTextureAndSkipsCharactersWithoutAGlyph) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String("K\x01\x02"), g->getROMFont()));
    text->setBatcher(b.get());
    text->render(*g, slm::mat4(), 0);
    EXPECT_EQ(4, b->getVertexCount());
    EXPECT_EQ(g->getROMFont()->getTexture(), b->getTexture());
    // 'K' is the cell at (0, 8) of the image.
    EXPECT_EQ(0, b->getItem().texCoords[0]);
    EXPECT_EQ(16, b->getItem().texCoords[1]);
}

TEST_F(GLTest, ScreenTextLeavesTheCameraAsItWas) {
    core::Ref<Camera> camera(M3D_NEW Camera());
    g->setCamera(camera.get(), slm::mat4());
    g->renderText(core::String("FPS"), false);
    EXPECT_EQ(camera.get(), g->getCamera());
}

TEST_F(GLTest, StatisticsOverlayDrawsThroughReleaseTarget) {
    std::string s(g->composeStatistics().c_str());
    EXPECT_EQ(0u, s.find("SHADER UNIFORMS : ")) << s;
    EXPECT_NE(std::string::npos, s.find("\nGRAPHICS3D      : OPENGL SHADERS (Apr 14 2011)")) << s;
    GraphicsConfig config = g->getConfig();
    config.flags[GraphicsConfig::STATISTICS_OVERLAY] = 1;
    g->setConfig(config);
    g->releaseTarget();
    g->bindTarget(nullptr);
}

TEST_F(GLTest, RegionUpdateAndDuplicates) {
    core::Ref<Image2D> image(halves(16, 16, RED, RED));
    core::Ref<Texture2D> t(texture(image.get()));
    core::Ref<Image2D> patch(halves(4, 4, GREEN, GREEN));
    t->updateRegion(patch.get(), 8, 4);
    std::vector<unsigned char> px = texels(t.get(), 16, 16);
    g->invalidateStateCache();
    auto at = [&](int x, int y) {
        const unsigned char* p = &px[(y * 16 + x) * 4];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_TRUE(near(at(9, 5), rgba(GREEN)));
    EXPECT_TRUE(near(at(12, 5), rgba(RED)));
    EXPECT_TRUE(near(at(9, 3), rgba(RED)));

    // A duplicated appearance copies a texture with an image and shares one without.
    core::Ref<Texture2D> bare(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 8, 8));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setTexture(0, t.get());
    a->setTexture(2, bare.get());
    int textures = g->getTextureCount();
    core::Ref<Object3D> copy(a->duplicate());
    Appearance* d = static_cast<Appearance*>(copy.get());
    EXPECT_NE(t.get(), d->getTexture(0));
    EXPECT_NE(0u, d->getTexture(0)->getGLName());
    EXPECT_EQ(bare.get(), d->getTexture(2));
    EXPECT_EQ(textures + 1, g->getTextureCount());
    copy.release();
    EXPECT_EQ(textures, g->getTextureCount()) << "a destroyed texture leaves the renderer's list";
}

} // namespace
