// render::Image2D: the in-memory constructors and buffers, and file-backed
// images loaded by name through a real file system over a temporary folder
// (deferred decode, drop and reload, files that change under the image).
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include "support/EngineFixture.h"
#include "support/TestData.h"
#include "support/TempDir.h"
#include "PngReference.h"
#include "TestStreams.h"
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string SUITE = testsupport::pngSuite();
typedef core::Vector<core::Ref<render::Object3D>> Results;

class Image2DTest : public testsupport::CoreTest {};

TEST_F(Image2DTest, MemoryConstructorsAndBuffers) {
    core::Ref<render::Image2D> blank = M3D_NEW render::Image2D(render::Image2D::RGB, 5, 3);
    EXPECT_TRUE(blank->isMutable());
    ASSERT_EQ(45, blank->getBufferSize());
    for (int i = 0; i < 45; ++i) ASSERT_EQ(0, blank->getPixels()[i]);

    unsigned char px[2 * 2 * 4];
    for (int i = 0; i < 16; ++i) px[i] = (unsigned char)(i * 7);
    core::Ref<render::Image2D> copy = M3D_NEW render::Image2D(render::Image2D::RGBA, 2, 2, px);
    px[0] = 99; // the image holds its own copy
    EXPECT_FALSE(copy->isMutable());
    EXPECT_EQ(0, copy->getPixels()[0]);
    EXPECT_EQ(7 * 15, copy->getPixels()[15]);

    // Palettised: one index byte per pixel, 256 entries of the format's size.
    unsigned char indices[6] = {0, 1, 2, 3, 4, 255};
    std::vector<unsigned char> palette(256 * 3);
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = (unsigned char)(i / 3);
    core::Ref<render::Image2D> indexed =
        M3D_NEW render::Image2D(render::Image2D::RGB, 3, 2, indices, palette.data());
    EXPECT_TRUE(indexed->isPalettised());
    EXPECT_EQ(6, indexed->getBufferSize());
    EXPECT_EQ(255, indexed->getPixels()[5]);
    EXPECT_EQ(200, indexed->getPalette()[3 * 200]);

    // allocNewRawImage replaces size and format and copies the source rows.
    unsigned char rows[3 * 2 * 3];
    for (int i = 0; i < 18; ++i) rows[i] = (unsigned char)(100 + i);
    blank->allocNewRawImage(render::Image2D::RGB, 3, 2, rows);
    EXPECT_EQ(3, blank->getWidth());
    EXPECT_EQ(2, blank->getHeight());
    EXPECT_EQ(0, std::memcmp(rows, blank->getPixels(), sizeof rows));
    blank->allocNewRawImage(render::Image2D::RGBA, 1, 1, nullptr);
    EXPECT_EQ(0, blank->getPixels()[3]);

    // An image made in memory cannot be reloaded, so it keeps its pixels.
    copy->freeAllocatadBufferIfRestorable();
    EXPECT_TRUE(copy->hasPixels());

    // Duplicates are mutable and own their buffers (palette included).
    core::Ref<render::Object3D> dup = copy->duplicate();
    render::Image2D* d = static_cast<render::Image2D*>(dup.get());
    EXPECT_TRUE(d->isMutable());
    EXPECT_NE(copy->getPixels(), d->getPixels());
    EXPECT_EQ(0, std::memcmp(copy->getPixels(), d->getPixels(), 16));
    core::Ref<render::Object3D> dupIndexed = indexed->duplicate();
    render::Image2D* di = static_cast<render::Image2D*>(dupIndexed.get());
    EXPECT_EQ(6, di->getBufferSize());
    EXPECT_EQ(0, std::memcmp(indices, di->getPixels(), 6));
    EXPECT_NE(indexed->getPalette(), di->getPalette());
    EXPECT_EQ(0, std::memcmp(palette.data(), di->getPalette(), palette.size()));

    // A size past the pool's 32-bit requests is refused before any allocation.
    int live = core.pool().getLiveAllocations();
    EXPECT_THROW(blank->allocNewRawImage(render::Image2D::RGBA, 40000, 40000, nullptr),
                 core::MemoryManagerException);
    EXPECT_EQ(live, core.pool().getLiveAllocations());
    EXPECT_EQ(1, blank->getWidth()); // unchanged
}

// A file system with a temporary folder mounted as the root.
class FileBackedImageTest : public testsupport::CoreTest {
protected:
    FileBackedImageTest() {
        core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive((dir.path() + "/").c_str(), false), "");
    }
    ~FileBackedImageTest() override { core::FileSystem::destroy(); }

    render::Image2D* loadNamed(const char* name, Results& result) {
        render::Loader::load(core::String(name), nullptr, result);
        EXPECT_EQ(1, result.size());
        return static_cast<render::Image2D*>(result[0].get());
    }

    testsupport::TempDir dir;
};

TEST_F(FileBackedImageTest, NamedImageDecodesOnFirstUseAndReloadsAfterADrop) {
    dir.write("tex/rgb.png", testsupport::readFile(SUITE + "basn2c08.png"));
    pngref::Image expected;
    std::string why;
    ASSERT_TRUE(pngref::decode(teststreams::readFile(SUITE + "basn2c08.png"), expected, why)) << why;

    Results result;
    render::Image2D* image = loadNamed("tex/rgb.png", result);
    EXPECT_EQ(render::Image2D::RGB, image->getFormat());
    EXPECT_EQ(32, image->getWidth());
    EXPECT_EQ(32, image->getHeight());
    EXPECT_TRUE(image->isRestorable());
    EXPECT_FALSE(image->hasPixels()) << "a named image is decoded on first use, not at load";

    ASSERT_NE(nullptr, image->getPixels());
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), image->getPixels(), expected.pixels.size()));

    image->freeAllocatadBufferIfRestorable();
    EXPECT_FALSE(image->hasPixels());
    ASSERT_NE(nullptr, image->getPixels());
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), image->getPixels(), expected.pixels.size()));

    // A duplicate of a dropped image decodes its own copy.
    image->freeAllocatadBufferIfRestorable();
    core::Ref<render::Object3D> dup = image->duplicate();
    render::Image2D* d = static_cast<render::Image2D*>(dup.get());
    EXPECT_TRUE(d->hasPixels());
    EXPECT_TRUE(d->isMutable());
    EXPECT_EQ(core::String("tex/rgb.png"), d->getPath());
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), d->getPixels(), expected.pixels.size()));

    // Reading only the header at load time: a named file that is corrupt past
    // its header loads, and fails when its pixels are asked for.
    dir.write("cut.png", testsupport::readFile(SUITE + "basn2c08.png").substr(0, 100));
    Results cut;
    render::Image2D* broken = loadNamed("cut.png", cut);
    testsupport::StderrCapture err;
    EXPECT_THROW(broken->getPixels(), core::IOException);
    EXPECT_FALSE(broken->hasPixels());
    EXPECT_NE(std::string::npos, err.finish().find("Could not read enought stream data"));
}

TEST_F(FileBackedImageTest, ChangedOrMissingFileFailsToRestore) {
    dir.write("a.png", testsupport::readFile(SUITE + "basn2c08.png"));
    Results result;
    render::Image2D* image = loadNamed("a.png", result);
    int live = core.pool().getLiveAllocations();
    testsupport::StderrCapture err;

    // Same name, other size (32 x 32 -> 1 x 1): never decoded into the old buffer.
    dir.write("a.png", testsupport::readFile(SUITE + "s01n3p01.png"));
    try {
        image->getPixels();
        ADD_FAILURE() << "a resized file was restored";
    } catch (core::IOException& e) {
        EXPECT_NE(std::string::npos, std::string(e.getMessage()).find("has changed since it was loaded"));
    }
    EXPECT_FALSE(image->hasPixels());
    EXPECT_EQ(live, core.pool().getLiveAllocations());

    // Same size, other format (RGB -> RGBA).
    dir.write("a.png", testsupport::readFile(SUITE + "basn6a08.png"));
    EXPECT_THROW(image->getPixels(), core::IOException);
    // No longer a PNG at all.
    dir.write("a.png", std::string(64, 'x'));
    EXPECT_THROW(image->getPixels(), core::IOException);
    // Gone.
    std::remove(dir.file("a.png").c_str());
    EXPECT_THROW(image->getPixels(), core::IOException);
    EXPECT_FALSE(image->hasPixels());
    EXPECT_EQ(live, core.pool().getLiveAllocations());

    // Back as it was: the image recovers.
    dir.write("a.png", testsupport::readFile(SUITE + "basn2c08.png"));
    EXPECT_NE(nullptr, image->getPixels());
    std::string log = err.finish();
    EXPECT_NE(std::string::npos, log.find("Parse error: \"PNG_Loader: \"a.png\" has changed since it was loaded"))
        << log;
}

TEST_F(FileBackedImageTest, LoadByNameErrors) {
    testsupport::StderrCapture err;
    Results result;
    try {
        render::Loader::load(core::String("missing.png"), nullptr, result);
        ADD_FAILURE() << "a missing file loaded";
    } catch (core::IOException& e) {
        EXPECT_NE(std::string::npos,
                  std::string(e.getMessage())
                      .find("Loader can not load file, because file system does not have access to read file: "
                            "\"missing.png\". Check given file name or use FileSystem::addArchive to add new "
                            "archives.\n"));
    }
    dir.write("short.png", testsupport::readFile(SUITE + "basn2c08.png").substr(0, 11));
    EXPECT_THROW(render::Loader::load(core::String("short.png"), nullptr, result), core::IOException);
    dir.write("text.png", "this is not an image at all");
    EXPECT_THROW(render::Loader::load(core::String("text.png"), nullptr, result), core::IOException);
    EXPECT_EQ(0, result.size());
    err.finish();
}

} // namespace
