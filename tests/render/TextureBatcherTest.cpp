// Textures (padding, wrap/filter state in GL, render targets), the batchers
// (lines, fixed-point shift, one draw call per batch), text layout with the
// ROM font and the statistics overlay's text, all on a real GL context.
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/OGLES2_Texture2D.h"
#include "render/RenderTarget.h"
#include "render/Text3D.h"
#include <algorithm>
#include <string>

using namespace render;
using testsupport::GLTest;
using testsupport::near;
using testsupport::halves;

namespace {

const unsigned RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu;

int param(unsigned name, GLenum what) {
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
    return v;
}

} // namespace

TEST_F(GLTest, TexturePaddedToPowersOfTwoShowsTheWholeImage) {
    core::Ref<Texture2D> t(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, -1, -1));
    EXPECT_EQ(0u, t->getGLName());
    core::Ref<Image2D> image(halves(100, 50, RED, GREEN));
    t->setImage(image.get());
    EXPECT_EQ(128, t->getAllocatedWidth());
    EXPECT_EQ(64, t->getAllocatedHeight());
    EXPECT_FLOAT_EQ(0.78125f, t->getScale().x);
    EXPECT_FLOAT_EQ(0.78125f, t->getScale().y);
    EXPECT_FLOAT_EQ(1.0f, t->getScale().z);
    ASSERT_NE(0u, t->getGLName());
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(128, w);
    EXPECT_EQ(64, h);
    g->invalidateStateCache();

    t->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    g->clearBuffers(0xFF000000u, true, true);
    drawTextured(t.get());
    // Without the scale the padding (black, transparent) would show on the
    // right and the image's green half would start left of the centre.
    expectPixels({{4, 32, RED}, {28, 32, RED}, {36, 32, GREEN}, {60, 32, GREEN}, {60, 60, GREEN}});
}

TEST_F(GLTest, RenderTargetTextureIsDrawnIntoAndHasNoMipmaps) {
    core::Ref<Texture2D> t(g->createNewTexture(Texture2D::KIND_RENDER_TARGET, Image2D::RGBA, 32, 32));
    ASSERT_NE(0u, t->getGLName());
    EXPECT_EQ(Texture2D::FILTER_BASE_LEVEL, t->getLevelFilter());
    core::Ref<RenderTarget> target(M3D_NEW RenderTarget(t.get()));
    g->releaseTarget();
    g->bindTarget(target.get());
    g->clearBuffers(BLUE, true, true);
    g->setCamera(nullptr, slm::mat4());
    g->renderLine(slm::vec3(-1, 0.01f, 0), slm::vec3(1, 0.01f, 0), RED);
    GLint fb = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_NE(0, fb);
    EXPECT_TRUE(near(pixel(3, 3), rgba(BLUE))) << "the clear reached the target";
    g->releaseTarget();
    GLint mip1 = 0;
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &mip1);
    EXPECT_EQ(0, mip1) << "a render target has no mipmaps";
    EXPECT_EQ(GL_LINEAR, param(t->getGLName(), GL_TEXTURE_MIN_FILTER));
    {
        std::vector<unsigned char> px(32 * 32 * 4);
        glBindTexture(GL_TEXTURE_2D, t->getGLName());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        EXPECT_EQ(255, px[2]) << (int)px[0] << " " << (int)px[1] << " " << (int)px[3];
        int red = 0;
        for (int y = 0; y < 32; ++y) red += px[(y * 32 + 5) * 4] == 255 && px[(y * 32 + 5) * 4 + 2] == 0;
        EXPECT_EQ(1, red) << "the line crossed the target";
    }
    g->invalidateStateCache(); // sampling it on screen is in the render_target golden image
}

TEST_F(GLTest, OpaqueRedLineIsRedAndEachBatchIsOneDrawCall) {
    g->clearBuffers(0xFF000000u, true, true);
    float y = (32.5f / SIZE) * 2.0f - 1.0f;
    g->renderLine(slm::vec3(-1, y, 0), slm::vec3(1, y, 0), RED);
    for (int i = 0; i < 999; ++i) g->renderLine(slm::vec3(-1, -2, 0), slm::vec3(1, -2, 0), GREEN);
    EXPECT_EQ(2000, g->getDefaultBatcher()->getVertexCount());
    int before = g->getStatistics().drawCalls;
    g->flush();
    EXPECT_EQ(before + 1, g->getStatistics().drawCalls);
    EXPECT_FALSE(g->getDefaultBatcher()->hasItems());
    expectPixels({{5, 32, RED}, {60, 32, RED}, {5, 40, 0xFF000000u}});
    // clear() empties without drawing.
    g->renderLine(slm::vec3(-1, 0.5f, 0), slm::vec3(1, 0.5f, 0), GREEN);
    before = g->getStatistics().drawCalls;
    g->clear(nullptr);
    g->flush();
    EXPECT_EQ(before, g->getStatistics().drawCalls);
}

TEST_F(GLTest, FarCoordinatesCoarsenTheWholeBatch) {
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::COLORS));
    b->addLine(slm::vec3(0.5f, 0.25f, 0), slm::vec3(1.03125f, 3, 0), RED);
    b->commit();
    EXPECT_EQ(0, b->getShift());
    EXPECT_FLOAT_EQ(1.0f / 32.0f, b->getMesh()->getVertexBuffer()->getPositionScale());
    float p[12];
    b->getMesh()->getVertexBuffer()->getPositions()->get(0, 2, p);
    EXPECT_FLOAT_EQ(16.0f, p[0]); // 0.5 x 32
    EXPECT_FLOAT_EQ(33.0f, p[3]); // 1.03125 x 32
    // 2000 units x 32 = 64000 does not fit a short: one more bit for all.
    b->addLine(slm::vec3(0, 0, 0), slm::vec3(2000, 0, 0), RED);
    b->commit();
    EXPECT_EQ(1, b->getShift());
    EXPECT_FLOAT_EQ(1.0f / 16.0f, b->getMesh()->getVertexBuffer()->getPositionScale());
    b->getMesh()->getVertexBuffer()->getPositions()->get(0, 4, p);
    EXPECT_FLOAT_EQ(8.0f, p[0]) << "earlier vertices are converted again";
    float far[3];
    b->getMesh()->getVertexBuffer()->getPositions()->get(3, 1, far);
    EXPECT_FLOAT_EQ(32000.0f, far[0]);
    b->clear();
    EXPECT_EQ(0, b->getShift());
}

TEST_F(GLTest, TextLaysOutGlyphQuadsAndALineFeedMovesOneLineHeight) {
    Font2DBitmap* font = g->getROMFont();
    ASSERT_NE(nullptr, font);
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String("A\nK?"), font));
    text->setBatcher(b.get());
    text->setAlignment(Text3D::ALIGN_LEFT, 0); // top at the origin
    text->render(*g, slm::mat4(), 0);
    ASSERT_EQ(12, b->getVertexCount()); // three glyphs, four corners each
    const core::Vector<int>& pos = b->getItem().positions;
    auto at = [&](int vertex, int axis) { return pos[vertex * 3 + axis] / 32.0f; };
    // 'A': (0, -8)..(8, 0); 'K' one line lower; '?' right of it.
    EXPECT_FLOAT_EQ(-8.0f, at(0, 1));
    EXPECT_FLOAT_EQ(0.0f, at(4, 0));
    EXPECT_FLOAT_EQ(-16.0f, at(4, 1));
    EXPECT_FLOAT_EQ(8.0f, at(8, 0));
    // Texture coordinates: 'K' is the cell at (0, 8) of the image.
    const core::Vector<short>& uv = b->getItem().texCoords;
    EXPECT_EQ(0, uv[8]);
    EXPECT_EQ(16, uv[9]);
    EXPECT_EQ(font->getTexture(), b->getTexture());

    // Characters without a glyph are skipped.
    b->clear();
    text->setText(core::String("\x01\x02"));
    text->render(*g, slm::mat4(), 0);
    EXPECT_EQ(0, b->getVertexCount());
}

// The glyph pixels of world text are in the lines_text golden image.
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
    core::Ref<Texture2D> t(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, -1, -1));
    core::Ref<Image2D> image(halves(16, 16, RED, RED));
    t->setImage(image.get());
    core::Ref<Image2D> patch(halves(4, 4, GREEN, GREEN));
    t->updateRegion(patch.get(), 8, 4);
    std::vector<unsigned char> px(16 * 16 * 4);
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    g->invalidateStateCache();
    auto at = [&](int x, int y) { return std::array<int, 4>{px[(y * 16 + x) * 4], px[(y * 16 + x) * 4 + 1], px[(y * 16 + x) * 4 + 2], px[(y * 16 + x) * 4 + 3]}; };
    EXPECT_TRUE(near(at(9, 5), rgba(GREEN)));
    EXPECT_TRUE(near(at(12, 5), rgba(RED)));
    EXPECT_TRUE(near(at(9, 3), rgba(RED)));

    // A duplicated appearance copies a texture with an image and shares one without.
    core::Ref<Texture2D> bare(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 8, 8));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setTexture(0, t.get());
    a->setTexture(2, bare.get());
    EXPECT_EQ(3, a->getTextureCount());
    EXPECT_EQ(nullptr, a->getTexture(1));
    EXPECT_EQ(nullptr, a->getTexture(7));
    int textures = g->getTextureCount();
    core::Ref<Object3D> copy(a->duplicate());
    Appearance* d = static_cast<Appearance*>(copy.get());
    EXPECT_NE(t.get(), d->getTexture(0));
    ASSERT_NE(nullptr, d->getTexture(0));
    EXPECT_NE(0u, d->getTexture(0)->getGLName());
    EXPECT_EQ(bare.get(), d->getTexture(2));
    EXPECT_EQ(textures + 1, g->getTextureCount());
    copy.release();
    EXPECT_EQ(textures, g->getTextureCount()) << "a destroyed texture leaves the renderer's list";
}
