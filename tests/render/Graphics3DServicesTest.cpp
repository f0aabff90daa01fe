// Renderer services: point sprites, a device reset, FPS on a driven clock, a
// duplicated font, texture padding, copies and updates, the batchers' lines.
#include "RenderFixture.h"
#include "hal/Time.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Loader.h"
#include "render/Text3D.h"

using namespace render;
using testsupport::FlatTest;
using testsupport::GLTest;
using testsupport::halves;
using testsupport::near;

namespace {

const unsigned RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu, BLACK = 0xFF000000u;

// Point sprites sample the texture with the coordinates GL replaces (unit
// 0); anything else drawn with this program is magenta.
const char* SPRITE_VS = R"(varying float sprite;
void main() {
    sprite = m3g_featuresFlags[SHADER_POINT_SPRITE_ENABLED];
    m3g_out_vColor = m3g_vertexColor;
    gl_TexCoord[0] = vec4(0.0);
    gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
})";
const char* SPRITE_FS = R"(varying float sprite;
void main() {
    gl_FragColor = sprite > 0.5 ? texture2D(m3g_texture0, gl_TexCoord[0].xy) : vec4(1.0, 0.0, 1.0, 1.0);
})";

int lit(const std::vector<unsigned char>& px) {
    int n = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        n += px[i] > 40 || px[i + 1] > 40 || px[i + 2] > 40;
    return n;
}

// Text "N" a quarter of the window high at the bottom left, drawn at once.
const slm::mat4 TEXT_PLACE = slm::translation(slm::vec3(-1, -1, 0)) * slm::scale(slm::vec3(0.25f, 0.25f, 1));

TEST_F(GLTest, PointSpritesAreTexturedSquaresAsBigAsTheTexture) {
    // Points on pixel corners (16, 16), (48, 48), (48, 16) from the bottom left.
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0, 0xFFFFFFFFu));
    const unsigned short idx[3] = {0, 2, 1};
    core::Ref<IndexBuffer> ib(M3D_NEW IndexBuffer(IndexBuffer::POINT_SPRITES, idx, 3));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setShaderProgram(program(SPRITE_VS, SPRITE_FS));
    core::Ref<Image2D> img(halves(8, 8, RED, GREEN));
    core::Ref<Texture2D> t(texture(img.get()));
    a->setTexture(0, t.get());
    g->clearBuffers(BLACK, true, true);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_EQ(3 * 8 * 8, lit(frame())) << "three 8 x 8 squares";
    expectPixels({{12, 16, RED}, {19, 19, GREEN}, {20, 16, BLACK}, {45, 45, RED}, {50, 13, GREEN}});

    // The smaller side of the texture's image sets the size: 16 x 4 -> 4.
    core::Ref<Image2D> flat(halves(16, 4, RED, GREEN));
    t->setImage(flat.get());
    g->clearBuffers(BLACK, true, true);
    draw(vb.get(), ib.get(), a.get());
    EXPECT_EQ(3 * 4 * 4, lit(frame()));

    EXPECT_EQ(6, g->getStatistics().triangles) << "a point sprite counts as one";

    // Lines drawn afterwards are no point sprites: the sprite state goes off once.
    const unsigned short diagonal[2] = {0, 2};
    core::Ref<LineListArray> lines(M3D_NEW LineListArray(diagonal, 2));
    glCallCounters().reset();
    draw(vb.get(), lines.get(), a.get());
    draw(vb.get(), lines.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), {255, 0, 255, 255}));
    EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE));
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::TexEnv]);
    EXPECT_EQ(2, g->getStatistics().lines);
}

TEST_F(FlatTest, TexturesAndBuffersDrawTheSamePixelsAfterADeviceReset) {
    testsupport::MountedTempDir dir;
    dir.write("tex/rgb.png", testsupport::pngSuiteFile("basn2c08.png"));
    core::Vector<core::Ref<Object3D>> result;
    Loader::load(core::String("tex/rgb.png"), nullptr, result);
    Image2D* fileImage = static_cast<Image2D*>(result[0].get());
    core::Ref<Texture2D> fromFile(texture(fileImage));
    EXPECT_FALSE(fileImage->hasPixels()) << "the pixels are dropped after the upload";
    core::Ref<Image2D> memoryImage(halves(16, 16, RED, GREEN));
    core::Ref<Texture2D> fromMemory(texture(memoryImage.get()));
    core::Ref<Texture2D> bare(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 8, 8));

    core::Ref<VertexBuffer> st(quad(-0.5f, -0.5f, 0.5f, 0.5f, -0.5f, RED));
    core::Ref<VertexBuffer> dyn(quad(-1, -1, -0.5f, -0.5f, -0.5f, GREEN, VertexBuffer::DYNAMIC));
    // The file-backed texture under a static and a dynamic buffer.
    auto drawAll = [&] {
        drawTextured(fromFile.get());
        drawFlat(st.get(), slm::rotation_z(0.6f));
        drawFlat(dyn.get());
        return frame();
    };
    std::vector<unsigned char> before = drawAll();
    EXPECT_GT(lit(before), SIZE * SIZE / 2);

    for (bool canDelete : {true, false}) {
        SCOPED_TRACE(canDelete);
        core.log().setLevelMask(0x1000); // the renderer's lines
        testsupport::StderrCapture err;
        g->resetDevice(canDelete);
        std::string log = err.finish();
        core.log().setLevelMask(0);
        EXPECT_NE(
            std::string::npos,
            log.find("Graphics3D resetDevice failed because it can not reset Texture2D (Image2D is missing)"))
            << log;
        EXPECT_EQ(0u, bare->getGLName());
        EXPECT_NE(0u, g->getROMFont()->getTexture()->getGLName());
        EXPECT_TRUE(before == drawAll()) << "buffers and the file-backed texture came back the same";
        drawTextured(fromMemory.get());
        expectPixels({{10, 32, RED}, {50, 32, GREEN}});
    }
}

uint64_t g_fakeNs = 0;

class FpsTest : public GLTest {
protected:
    void SetUp() override {
        savedTick = HAL::getSecondsPerTick();
        HAL::setSecondsPerTick(1e-9f);
        HAL::setCounterReader([](uint64_t* ticks) {
            *ticks = g_fakeNs;
            return true;
        });
        setClockMs(50000);
        GLTest::SetUp(); // the first second is counted from the reset
    }
    void TearDown() override {
        GLTest::TearDown();
        HAL::setCounterReader(nullptr);
        HAL::setSecondsPerTick(savedTick);
    }
    // The engine clock at `ms` (half a millisecond in, so rounding cannot drop one).
    static void setClockMs(unsigned ms) { g_fakeNs = (uint64_t)ms * 1000000ull + 500000ull; }
    void frameAt(unsigned ms) {
        setClockMs(ms);
        g->releaseTarget();
        g->bindTarget(nullptr);
    }
    void configure(bool logging, bool overlay) {
        GraphicsConfig config = g->getConfig();
        config.flags[GraphicsConfig::FPS_LOGGING] = logging;
        config.flags[GraphicsConfig::STATISTICS_OVERLAY] = overlay;
        g->setConfig(config);
    }
    float savedTick = 1e-9f;
};

TEST_F(FpsTest, FpsIsCountedPerSecondAndLoggedOnlyWhenAskedFor) {
    configure(true, false);
    core.log().setLevelMask(0x1000); // the renderer's lines
    testsupport::StderrCapture err;
    for (unsigned ms = 50100; ms <= 50900; ms += 100)
        frameAt(ms);
    EXPECT_EQ(0, g->getFPS()) << "frames over less than a second change nothing";
    // Each frame's time and the rate after it; after a long pause the next
    // second is counted from the frame that ends it.
    const unsigned frames[][2] = {{51000, 10}, {51500, 10}, {51999, 10}, {52000, 3}, {60000, 1}, {60999, 1}};
    for (const auto& f : frames) {
        frameAt(f[0]);
        EXPECT_EQ((int)f[1], g->getFPS()) << f[0];
    }
    std::string log = err.finish();
    EXPECT_EQ(3, testsupport::countOf(log, "FPS : ")) << log;
    size_t ten = log.find("FPS : 10\n"), three = log.find("FPS : 3\n", ten);
    EXPECT_NE(std::string::npos, log.find("FPS : 1\n", three)) << "in this order: " << log;

    // The overlay alone still counts without logging.
    testsupport::StderrCapture quiet;
    configure(false, true);
    frameAt(61500);
    frameAt(62000);
    EXPECT_EQ(2, g->getFPS());
    EXPECT_EQ(0, testsupport::countOf(quiet.finish(), "FPS : "));
    core.log().setLevelMask(0);
}

TEST_F(GLTest, DuplicatedFontDrawsFromATextureOfItsOwnAndTextSkipsCharactersWithoutAGlyph) {
    int textures = g->getTextureCount();
    core::Ref<Object3D> copy(g->getROMFont()->duplicate());
    Font2DBitmap* dup = static_cast<Font2DBitmap*>(copy.get());
    EXPECT_EQ(textures + 1, g->getTextureCount());

    // Text in the copy draws from the copy's texture the same glyph pixels;
    // characters without a glyph are skipped.
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    core::Ref<Text3D> text(M3D_NEW Text3D(core::String("N\x01\x02"), dup));
    text->setBatcher(b.get());
    text->render(*g, TEXT_PLACE, 0);
    EXPECT_EQ(4, b->getVertexCount());
    EXPECT_EQ(dup->getTexture(), b->getTexture());
    g->clearBuffers(BLACK, true, true);
    b->render(*g, slm::mat4(), 0);
    std::vector<unsigned char> copied = frame();
    g->clearBuffers(BLACK, true, true);
    g->renderText(core::String("N"), true, TEXT_PLACE);
    g->flush();
    EXPECT_GT(lit(copied), SIZE * SIZE / 10);
    EXPECT_TRUE(copied == frame());
    text.release();
    b.release();
    copy.release();
    EXPECT_EQ(textures, g->getTextureCount());

    // Screen text leaves the camera as it was.
    core::Ref<Camera> camera(M3D_NEW Camera());
    g->setCamera(camera.get(), slm::mat4());
    g->renderText(core::String("FPS"), false);
    EXPECT_EQ(camera.get(), g->getCamera());
}

TEST_F(FlatTest, TexturesArePaddedCopiedUpdatedAndDuplicated) {
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

    // A copied frame is sampled, and the binding cache is not fooled by the copy.
    core::Ref<Image2D> blueImage(halves(8, 8, BLUE, BLUE));
    core::Ref<Texture2D> blue(texture(blueImage.get()));
    drawTextured(blue.get()); // unit 0 now holds `blue` in the cache

    g->clearBuffers(RED, true, true);
    core::Ref<VertexBuffer> left(quad(-1, -1, 0, 1, 0, GREEN));
    drawFlat(left.get());
    core::Ref<Texture2D> copy(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, SIZE, SIZE));
    copy->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    g->copyFramebufferToTexture(copy->getGLName(), 0, SIZE, SIZE);

    // The copy bound its texture on unit 0 behind the cache's back: drawing
    // `blue` again must bind it again.
    drawTextured(blue.get());
    expectPixels({{10, 32, BLUE}, {50, 32, BLUE}});
    drawTextured(copy.get());
    expectPixels({{10, 32, GREEN}, {50, 32, RED}, {31, 5, GREEN}, {32, 60, RED}});

    // A region update replaces those texels alone (8 x 8 pixels a texel, rows from the top).
    core::Ref<Image2D> patch(halves(4, 4, GREEN, GREEN));
    blue->updateRegion(patch.get(), 4, 2);
    drawTextured(blue.get());
    expectPixels({{44, 35, GREEN}, {20, 35, BLUE}, {44, 51, BLUE}, {44, 11, BLUE}});

    // A duplicated appearance copies a texture with an image and shares one without.
    core::Ref<Texture2D> bare(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 8, 8));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setTexture(0, t.get());
    a->setTexture(2, bare.get());
    int textures = g->getTextureCount();
    core::Ref<Object3D> duplicate(a->duplicate());
    Appearance* d = static_cast<Appearance*>(duplicate.get());
    EXPECT_NE(t.get(), d->getTexture(0));
    EXPECT_NE(0u, d->getTexture(0)->getGLName());
    EXPECT_EQ(bare.get(), d->getTexture(2));
    EXPECT_EQ(textures + 1, g->getTextureCount());
    duplicate.release();
    EXPECT_EQ(textures, g->getTextureCount()) << "a destroyed texture leaves the renderer's list";
}

TEST_F(GLTest, LinesAreOneDrawCallPerBatchAndFarCoordinatesCoarsenTheWholeBatch) {
    g->clearBuffers(0xFF000000u, true, true);
    float y = (32.5f / SIZE) * 2.0f - 1.0f;
    g->renderLine(slm::vec3(-1, y, 0), slm::vec3(1, y, 0), RED);
    for (int i = 0; i < 999; ++i)
        g->renderLine(slm::vec3(-1, -2, 0), slm::vec3(1, -2, 0), GREEN);
    int before = g->getStatistics().drawCalls;
    g->flush();
    EXPECT_EQ(before + 1, g->getStatistics().drawCalls);
    expectPixels({{5, 32, RED}, {60, 32, RED}, {5, 40, 0xFF000000u}});
    // clear() empties without drawing.
    g->renderLine(slm::vec3(-1, 0.5f, 0), slm::vec3(1, 0.5f, 0), GREEN);
    g->clear(nullptr);
    g->flush();
    EXPECT_EQ(before + 1, g->getStatistics().drawCalls);

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

} // namespace
