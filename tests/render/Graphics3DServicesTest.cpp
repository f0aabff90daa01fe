// Renderer services on a real GL context: point sprites, copying the frame
// into a texture, textures after a device reset (in-memory and file-backed
// images, and one that cannot come back), FPS logging on a driven clock, and
// a duplicated font drawing from a texture of its own.
#include "RenderFixture.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "hal/Time.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Loader.h"
#include "render/Text3D.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/Text.h"
#include "PngReference.h"
#include "TestStreams.h"
#include <string>
#include <vector>

using namespace render;
using testsupport::GLTest;
using testsupport::near;
using testsupport::halves;

namespace {

const unsigned RED = 0xFFFF0000u, GREEN = 0xFF00FF00u, BLUE = 0xFF0000FFu, BLACK = 0xFF000000u;
const std::string SUITE = testsupport::pngSuite();

Texture2D* nearestTexture(Graphics3D& g, Image2D* image) {
    Texture2D* t = g.createNewTexture(Texture2D::KIND_TEXTURE, image->getFormat(), -1, -1);
    t->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    t->setImage(image);
    return t;
}

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

class FrameServicesTest : public GLTest {
protected:
    static int lit(const std::vector<unsigned char>& px) {
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            n += px[i] > 40 || px[i + 1] > 40 || px[i + 2] > 40;
        return n;
    }
};

} // namespace

TEST_F(FrameServicesTest, PointSpritesAreTexturedSquaresAsBigAsTheTexture) {
    // Points on pixel corners (16, 16), (48, 48), (48, 16) from the bottom left.
    const float p[9] = {-0.5f, -0.5f, 0, 0.5f, 0.5f, 0, 0.5f, -0.5f, 0};
    VertexArray* positions = M3D_NEW VertexArray(3, 3, 4);
    positions->set(0, 3, p);
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    vb->setPositions(positions, 1.0f, nullptr);
    vb->setDefaultColor(0xFFFFFFFFu);
    const unsigned short idx[3] = {0, 1, 2};
    core::Ref<IndexBuffer> ib(M3D_NEW IndexBuffer(IndexBuffer::POINT_SPRITES, idx, 3));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setShaderProgram(program(SPRITE_VS, SPRITE_FS));
    core::Ref<Image2D> img(halves(8, 8, RED, GREEN));
    core::Ref<Texture2D> t(nearestTexture(*g, img.get()));
    a->setTexture(0, t.get());

    g->clearBuffers(BLACK, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(3 * 8 * 8, lit(frame())) << "three 8 x 8 squares";
    expectPixels({{12, 16, RED}, {15, 19, RED}, {16, 12, GREEN}, {19, 19, GREEN}, {20, 16, BLACK},
                  {16, 20, BLACK}, {45, 45, RED}, {50, 13, GREEN}});

    // The smaller side of the texture's image sets the size: 16 x 4 -> 4.
    core::Ref<Image2D> flat(halves(16, 4, RED, GREEN));
    t->setImage(flat.get());
    g->clearBuffers(BLACK, true, true);
    g->renderSubmesh(vb.get(), ib.get(), a.get(), slm::mat4(), -1);
    EXPECT_EQ(3 * 4 * 4, lit(frame()));

    // Triangles drawn afterwards are not point sprites.
    core::Ref<VertexBuffer> q(quad(-1, -1, 1, 1, 0, 0xFFFFFFFFu));
    core::Ref<IndexBuffer> qi(quadIndices());
    g->renderSubmesh(q.get(), qi.get(), a.get(), slm::mat4(), -1);
    EXPECT_TRUE(near(pixel(32, 32), {255, 0, 255, 255}));
}

TEST_F(FrameServicesTest, CopiedFramebufferIsSampledAndTheBindingCacheIsNotFooled) {
    core::Ref<Image2D> blueImage(halves(8, 8, BLUE, BLUE));
    core::Ref<Texture2D> blue(nearestTexture(*g, blueImage.get()));
    drawTextured(blue.get()); // unit 0 now holds `blue` in the cache

    g->clearBuffers(RED, true, true);
    core::Ref<VertexBuffer> left(quad(-1, -1, 0, 1, 0, GREEN));
    core::Ref<IndexBuffer> ib(quadIndices());
    core::Ref<Appearance> flat(flatAppearance());
    g->renderSubmesh(left.get(), ib.get(), flat.get(), slm::mat4(), -1);
    core::Ref<Texture2D> copy(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, SIZE, SIZE));
    copy->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    g->copyFramebufferToTexture(copy->getGLName(), 0, SIZE, SIZE);

    // The copy bound its texture on unit 0 behind the cache's back: drawing
    // `blue` again must bind it again.
    g->clearBuffers(BLACK, true, true);
    drawTextured(blue.get());
    expectPixels({{10, 32, BLUE}, {50, 32, BLUE}});

    g->clearBuffers(BLACK, true, true);
    drawTextured(copy.get());
    expectPixels({{10, 32, GREEN}, {50, 32, RED}, {31, 5, GREEN}, {32, 60, RED}});
}

namespace {
// A file system over a temporary folder for file-backed images.
class DeviceResetTest : public FrameServicesTest {
protected:
    void SetUp() override {
        FrameServicesTest::SetUp();
        core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive((dir.path() + "/").c_str(), false), "");
    }
    void TearDown() override {
        FrameServicesTest::TearDown();
        core::FileSystem::destroy();
    }
    testsupport::TempDir dir;
};
} // namespace

TEST_F(DeviceResetTest, TexturesSampleTheSamePixelsAfterARestore) {
    std::vector<unsigned char> png = teststreams::readFile(SUITE + "basn2c08.png");
    dir.write("tex/rgb.png", std::string(png.begin(), png.end()));
    pngref::Image expected;
    std::string why;
    ASSERT_TRUE(pngref::decode(png, expected, why)) << why;
    core::Vector<core::Ref<Object3D>> result;
    Loader::load(core::String("tex/rgb.png"), nullptr, result);
    ASSERT_EQ(1, result.size());
    Image2D* fileImage = static_cast<Image2D*>(result[0].get());
    ASSERT_TRUE(fileImage->isRestorable());

    core::Ref<Texture2D> fromFile(nearestTexture(*g, fileImage));
    EXPECT_FALSE(fileImage->hasPixels()) << "the pixels are dropped after the upload";
    core::Ref<Image2D> memoryImage(halves(16, 16, RED, GREEN));
    core::Ref<Texture2D> fromMemory(nearestTexture(*g, memoryImage.get()));
    core::Ref<Texture2D> bare(g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 8, 8));
    ASSERT_NE(0u, bare->getGLName());

    g->clearBuffers(BLACK, true, true);
    drawTextured(fromFile.get());
    std::vector<unsigned char> before = frame();
    // The 32 x 32 image fills the 64 x 64 frame: pixel (x, y) from the top
    // shows texel (x / 2, y / 2).
    for (int y : {1, 20, 45, 62})
        for (int x : {0, 17, 40, 63}) {
            const unsigned char* want = &expected.pixels[((size_t)(y / 2) * 32 + x / 2) * 3];
            const unsigned char* got = &before[((size_t)(SIZE - 1 - y) * SIZE + x) * 4];
            EXPECT_TRUE(near({got[0], got[1], got[2], 255}, {want[0], want[1], want[2], 255}))
                << x << "," << y;
        }

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
        EXPECT_NE(0u, fromFile->getGLName());
        EXPECT_NE(0u, fromMemory->getGLName());
        EXPECT_EQ(0u, bare->getGLName());
        EXPECT_NE(0u, g->getROMFont()->getTexture()->getGLName());
        if (!canDelete) {
            EXPECT_EQ(0, g->getStatistics().staticVBOs);
            EXPECT_EQ(0, g->getStatistics().dynamicVBOs);
        }

        g->clearBuffers(BLACK, true, true);
        drawTextured(fromFile.get());
        EXPECT_TRUE(before == frame()) << "the file-backed texture came back with the same pixels";
        g->clearBuffers(BLACK, true, true);
        drawTextured(fromMemory.get());
        expectPixels({{10, 32, RED}, {50, 32, GREEN}});
        // Text still draws with the restored font.
        g->clearBuffers(BLACK, true, true);
        g->renderText(core::String("N"), true,
                      slm::translation(slm::vec3(-1, -1, 0)) * slm::scale(slm::vec3(0.25f, 0.25f, 1)));
        g->flush();
        EXPECT_GT(lit(frame()), SIZE * SIZE / 10);
    }
}

namespace {
uint64_t g_fakeNs = 0;
bool fakeCounter(uint64_t* ticks) {
    *ticks = g_fakeNs;
    return true;
}
// The engine clock at `ms` (half a millisecond in, so rounding cannot drop one).
void setClockMs(unsigned ms) {
    g_fakeNs = (uint64_t)ms * 1000000ull + 500000ull;
}

class FpsTest : public FrameServicesTest {
protected:
    void SetUp() override {
        savedTick = HAL::getSecondsPerTick();
        HAL::setSecondsPerTick(1e-9f);
        HAL::setCounterReader(fakeCounter);
        setClockMs(50000);
        FrameServicesTest::SetUp(); // the first second is counted from the reset
    }
    void TearDown() override {
        FrameServicesTest::TearDown();
        HAL::setCounterReader(nullptr);
        HAL::setSecondsPerTick(savedTick);
    }
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
} // namespace

TEST_F(FpsTest, FpsIsLoggedOncePerSecondWithTheFramesOfThatSecond) {
    configure(true, false);
    core.log().setLevelMask(0x1000); // the renderer's lines
    testsupport::StderrCapture err;
    for (unsigned ms = 50100; ms <= 50900; ms += 100)
        frameAt(ms);
    EXPECT_EQ(0, g->getFPS()) << "frames over less than a second change nothing";
    EXPECT_EQ(9, g->getFrameCount());
    frameAt(51000);
    EXPECT_EQ(10, g->getFPS());
    EXPECT_EQ(0, g->getFrameCount());
    frameAt(51500);
    frameAt(51999);
    EXPECT_EQ(10, g->getFPS());
    frameAt(52000);
    EXPECT_EQ(3, g->getFPS());
    // A long pause: the next second is counted from the frame that ends it.
    frameAt(60000);
    EXPECT_EQ(1, g->getFPS());
    frameAt(60999);
    EXPECT_EQ(1, g->getFPS());
    std::string log = err.finish();
    core.log().setLevelMask(0);
    EXPECT_EQ(3, testsupport::countOf(log, "FPS : ")) << log;
    size_t ten = log.find("FPS : 10\n"), three = log.find("FPS : 3\n"), one = log.find("FPS : 1\n");
    EXPECT_NE(std::string::npos, ten) << log;
    EXPECT_LT(ten, three);
    EXPECT_LT(three, one);
    EXPECT_NE(std::string::npos, one);
}

TEST_F(FpsTest, WithoutLoggingTheOverlayStillCountsAndNeitherMeansNothing) {
    core.log().setLevelMask(0x1000); // the renderer's lines
    testsupport::StderrCapture err;
    configure(false, true);
    frameAt(50500);
    frameAt(51000);
    EXPECT_EQ(2, g->getFPS());
    configure(false, false);
    frameAt(51500);
    frameAt(52500);
    EXPECT_EQ(2, g->getFPS()) << "nothing asks for the rate";
    EXPECT_EQ(0, testsupport::countOf(err.finish(), "FPS : "));
    core.log().setLevelMask(0);
}

TEST_F(FrameServicesTest, DuplicatedFontDrawsFromATextureOfItsOwn) {
    Font2DBitmap* font = g->getROMFont();
    int textures = g->getTextureCount();
    core::Ref<Object3D> copy(font->duplicate());
    Font2DBitmap* dup = static_cast<Font2DBitmap*>(copy.get());
    ASSERT_NE(nullptr, dup->getTexture());
    EXPECT_NE(font->getTexture(), dup->getTexture());
    EXPECT_NE(font->getTexture()->getGLName(), dup->getTexture()->getGLName());
    EXPECT_EQ(textures + 1, g->getTextureCount());

    // Text in the copy lands in the batcher with the copy's texture and
    // shows the same glyph pixels.
    core::Ref<Batcher> b(g->createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS));
    auto draw = [&](Font2DBitmap* f) {
        core::Ref<Text3D> text(M3D_NEW Text3D(core::String("N"), f));
        text->setBatcher(b.get());
        text->render(*g, slm::translation(slm::vec3(-1, -1, 0)) * slm::scale(slm::vec3(0.25f, 0.25f, 1)), 0);
        Texture2D* used = b->getTexture();
        g->clearBuffers(BLACK, true, true);
        b->render(*g, slm::mat4(), 0);
        b->clear();
        return std::make_pair(used, frame());
    };
    auto original = draw(font);
    auto copied = draw(dup);
    EXPECT_EQ(font->getTexture(), original.first);
    EXPECT_EQ(dup->getTexture(), copied.first);
    EXPECT_GT(lit(copied.second), SIZE * SIZE / 10);
    EXPECT_TRUE(original.second == copied.second);
    copy.release();
    EXPECT_EQ(textures, g->getTextureCount());
}
