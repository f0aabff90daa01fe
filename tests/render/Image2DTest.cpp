// render::Image2D: the in-memory constructors and buffers, and file-backed
// images loaded by name through a real file system over a temporary folder
// (deferred decode, drop and reload, files that change under the image).
#include "core/IOException.h"
#include "render/Loader.h"
#include "PngReference.h"
#include "RenderFixture.h"
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef core::Vector<core::Ref<render::Object3D>> Results;

class Image2DTest : public testsupport::CoreTest {};

TEST_F(Image2DTest, MemoryImagesCopyTheirPixelsAndDuplicatesOwnTheirBuffers) {
    unsigned char px[2 * 2 * 4];
    for (int i = 0; i < 16; ++i)
        px[i] = (unsigned char)(i * 7);
    core::Ref<render::Image2D> copy = M3D_NEW render::Image2D(render::Image2D::RGBA, 2, 2, px);
    px[0] = 99; // the image holds its own copy
    EXPECT_EQ(0, copy->getPixels()[0]);
    // An image made in memory cannot be reloaded, so it keeps its pixels.
    copy->freeAllocatadBufferIfRestorable();
    EXPECT_TRUE(copy->hasPixels());

    // Palettised: one index byte per pixel, 256 entries of the format's size.
    unsigned char indices[6] = {0, 1, 2, 3, 4, 255};
    std::vector<unsigned char> palette(256 * 3);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = (unsigned char)(i / 3);
    core::Ref<render::Image2D> indexed =
        M3D_NEW render::Image2D(render::Image2D::RGB, 3, 2, indices, palette.data());
    core::Ref<render::Object3D> dup = indexed->duplicate();
    render::Image2D* d = static_cast<render::Image2D*>(dup.get());
    EXPECT_TRUE(d->isMutable());
    EXPECT_EQ(6, d->getBufferSize());
    EXPECT_EQ(0, std::memcmp(indices, d->getPixels(), 6));
    EXPECT_NE(indexed->getPalette(), d->getPalette());
    EXPECT_EQ(0, std::memcmp(palette.data(), d->getPalette(), palette.size()));

    // allocNewRawImage replaces size and format and copies the source rows.
    unsigned char rows[3 * 2 * 3];
    for (int i = 0; i < 18; ++i)
        rows[i] = (unsigned char)(100 + i);
    copy->allocNewRawImage(render::Image2D::RGB, 3, 2, rows);
    EXPECT_EQ(3, copy->getWidth());
    EXPECT_EQ(0, std::memcmp(rows, copy->getPixels(), sizeof rows));
    // A size past the pool's 32-bit requests is refused before any allocation.
    int live = core.pool().getLiveAllocations();
    EXPECT_THROW(copy->allocNewRawImage(render::Image2D::RGBA, 40000, 40000, nullptr),
                 core::MemoryManagerException);
    EXPECT_EQ(live, core.pool().getLiveAllocations());
    EXPECT_EQ(3, copy->getWidth()); // unchanged
}

// A file system with a temporary folder mounted as the root.
class FileBackedImageTest : public testsupport::CoreTest {
protected:
    render::Image2D* loadNamed(const char* name, Results& result) {
        render::Loader::load(core::String(name), nullptr, result);
        EXPECT_EQ(1, result.size());
        return static_cast<render::Image2D*>(result[0].get());
    }
    testsupport::MountedTempDir dir;
};

TEST_F(FileBackedImageTest, NamedImageDecodesOnFirstUseAndReloadsAfterADrop) {
    std::string png = testsupport::pngSuiteFile("basn2c08.png");
    dir.write("tex/rgb.png", png);
    pngref::Image expected;
    std::string why;
    ASSERT_TRUE(pngref::decode(std::vector<unsigned char>(png.begin(), png.end()), expected, why)) << why;
    Results result;
    render::Image2D* image = loadNamed("tex/rgb.png", result);
    EXPECT_TRUE(image->isRestorable());
    EXPECT_FALSE(image->hasPixels()) << "a named image is decoded on first use, not at load";
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), image->getPixels(), expected.pixels.size()));
    image->freeAllocatadBufferIfRestorable();
    EXPECT_FALSE(image->hasPixels());
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), image->getPixels(), expected.pixels.size()));

    // A duplicate of a dropped image decodes its own copy.
    image->freeAllocatadBufferIfRestorable();
    core::Ref<render::Object3D> dup = image->duplicate();
    render::Image2D* d = static_cast<render::Image2D*>(dup.get());
    EXPECT_TRUE(d->hasPixels());
    EXPECT_EQ(core::String("tex/rgb.png"), d->getPath());
    EXPECT_EQ(0, std::memcmp(expected.pixels.data(), d->getPixels(), expected.pixels.size()));

    // Only the header is read at load time: a named file that is corrupt past
    // its header loads, and fails when its pixels are asked for.
    dir.write("cut.png", png.substr(0, 100));
    Results cut;
    render::Image2D* broken = loadNamed("cut.png", cut);
    testsupport::StderrCapture err;
    EXPECT_THROW(broken->getPixels(), core::IOException);
    EXPECT_FALSE(broken->hasPixels());
    EXPECT_NE(std::string::npos, err.finish().find("Could not read enought stream data"));
}

TEST_F(FileBackedImageTest, ChangedOrMissingFileFailsToRestore) {
    dir.write("a.png", testsupport::pngSuiteFile("basn2c08.png"));
    Results result;
    render::Image2D* image = loadNamed("a.png", result);
    int live = core.pool().getLiveAllocations();
    testsupport::StderrCapture err;
    // Same name but another size (1 x 1) or format (RGBA), no PNG at all, or gone:
    // never decoded into the old buffer.
    const std::string replacements[] = {testsupport::pngSuiteFile("s01n3p01.png"),
                                        testsupport::pngSuiteFile("basn6a08.png"), std::string(64, 'x'), ""};
    for (const std::string& bytes : replacements) {
        if (bytes.empty())
            std::remove(dir.file("a.png").c_str());
        else
            dir.write("a.png", bytes);
        EXPECT_THROW(image->getPixels(), core::IOException);
        EXPECT_FALSE(image->hasPixels());
        EXPECT_EQ(live, core.pool().getLiveAllocations());
    }
    // Back as it was: the image recovers.
    dir.write("a.png", testsupport::pngSuiteFile("basn2c08.png"));
    EXPECT_NE(nullptr, image->getPixels());
    std::string log = err.finish();
    EXPECT_NE(std::string::npos,
              log.find("Parse error: \"PNG_Loader: \"a.png\" has changed since it was loaded"))
        << log;
}

TEST_F(FileBackedImageTest, LoadByNameErrors) {
    testsupport::StderrCapture err;
    Results result;
    try {
        render::Loader::load(core::String("missing.png"), nullptr, result);
        ADD_FAILURE() << "a missing file loaded";
    } catch (core::IOException& e) {
        EXPECT_NE(
            std::string::npos,
            std::string(e.getMessage())
                .find("Loader can not load file, because file system does not have access to read file: "
                      "\"missing.png\". Check given file name or use FileSystem::addArchive to add new "
                      "archives.\n"));
    }
    dir.write("short.png", testsupport::pngSuiteFile("basn2c08.png").substr(0, 11));
    EXPECT_THROW(render::Loader::load(core::String("short.png"), nullptr, result), core::IOException);
    EXPECT_EQ(0, result.size());
    err.finish();
}

} // namespace
