// PNG images through render::Loader: the PNG suite against an independent
// decode, corrupt and damaged files, parse errors, log handling and libpng
// warnings; Image2D's buffers and file-backed images (deferred decode,
// reload, files changed under them).
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "core/IOException.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include "PngReference.h"
#include "TestStreams.h"
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <random>
#include <string>
#include <vector>

using teststreams::BytesStream;
using pngref::putBe32;
using teststreams::readFile;

namespace {

const std::string SUITE = testsupport::pngSuite();
typedef core::Vector<core::Ref<render::Object3D>> Results;

// The suite's images, corrupt ones (named x...) included.
std::vector<std::string> suiteFiles() {
    std::vector<std::string> names;
    if (DIR* d = opendir(SUITE.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0 && n != "PngSuite.png")
                names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Loads bytes as an unnamed stream (decoded at once); the message of the
// parse error, or "" on success.
std::string loadBytes(const std::vector<unsigned char>& bytes, Results& result) {
    core::Ref<BytesStream> s = new BytesStream(bytes);
    try {
        render::Loader::load(s.get(), result, nullptr, core::String());
    } catch (core::IOException& e) {
        return e.getMessage();
    }
    return "";
}

class PngLoaderTest : public testsupport::CoreTest {
protected:
    std::vector<unsigned char> png = readFile(SUITE + "basn2c08.png");
};

// Each file twice: decoded at once from a stream, and loaded by name from
// the suite's folder, which reads the header and decodes on first use.
// Corrupt files fail both ways, by name with the header or with the pixels.
TEST_F(PngLoaderTest, EverySuiteImageMatchesAnIndependentDecodeAndEveryCorruptOneFails) {
    std::vector<std::string> names = suiteFiles();
    ASSERT_GT(names.size(), 155u) << "PNG suite not found in " << SUITE;
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(SUITE.c_str(), false), "");
    testsupport::StderrCapture err;
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        std::vector<unsigned char> bytes = readFile(SUITE + n);
        int live = core.pool().getLiveAllocations();
        if (n[0] == 'x') {
            Results result;
            EXPECT_NE("", loadBytes(bytes, result)) << "corrupt file loaded";
            EXPECT_THROW(
                {
                    render::Loader::load(core::String(n.c_str()), nullptr, result);
                    static_cast<render::Image2D*>(result[0].get())->getPixels();
                },
                core::IOException);
        } else {
            pngref::Image expected;
            std::string why;
            ASSERT_TRUE(pngref::decode(bytes, expected, why)) << why;
            for (bool byName : {false, true}) {
                Results result;
                if (byName)
                    render::Loader::load(core::String(n.c_str()), nullptr, result);
                else
                    ASSERT_EQ("", loadBytes(bytes, result));
                render::Image2D* image = static_cast<render::Image2D*>(result[0].get());
                EXPECT_EQ(expected.channels == 4 ? render::Image2D::RGBA : render::Image2D::RGB,
                          image->getFormat());
                EXPECT_EQ(expected.width, image->getWidth());
                EXPECT_EQ(expected.height, image->getHeight());
                const unsigned char* got = image->getPixels();
                ASSERT_EQ((int)expected.pixels.size(), image->getBufferSize());
                size_t same = 0;
                while (same < expected.pixels.size() && got[same] == expected.pixels[same])
                    ++same;
                EXPECT_EQ(expected.pixels.size(), same)
                    << "first differing byte" << (byName ? " (by name)" : "");
            }
        }
        EXPECT_EQ(live, core.pool().getLiveAllocations()) << "pool blocks leaked";
    }
    EXPECT_NE(std::string::npos, err.finish().find("Parse error: \""));
    EXPECT_TRUE(core.pool().validate());
    core::FileSystem::destroy();
}

TEST_F(PngLoaderTest, ErrorsWarningsAndTheQuietLogWindow) {
    testsupport::StderrCapture err;
    Results result;
    // Shorter than 12 bytes, even with a PNG signature.
    EXPECT_EQ("IO Name: . Message: Too small file!",
              loadBytes(std::vector<unsigned char>(png.begin(), png.begin() + 11), result));
    EXPECT_EQ("IO Name: . Message: Unsupported file format\n",
              loadBytes(std::vector<unsigned char>(12, 'a'), result));
    // A truncated image: libpng runs out of data.
    std::string message =
        loadBytes(std::vector<unsigned char>(png.begin(), png.begin() + png.size() / 2), result);
    EXPECT_NE(std::string::npos, message.find("Could not read enought stream data")) << message;
    // A stream that throws in the middle of the image data.
    core::Ref<BytesStream> failing = new BytesStream(png);
    failing->failAfter = (int)png.size() - 40;
    EXPECT_THROW(render::Loader::load(failing.get(), result, nullptr, core::String()), core::IOException);
    // A broken critical chunk: libpng's own text.
    std::vector<unsigned char> badCrc = png;
    badCrc[8 + 4 + 4 + 13] ^= 0xFF; // the IHDR CRC
    EXPECT_NE(std::string::npos, loadBytes(badCrc, result).find("IHDR: CRC error"));

    // The loader is usable again afterwards.
    ASSERT_EQ("", loadBytes(png, result));
    EXPECT_EQ(1, result.size());
    std::string log = err.finish();
    EXPECT_NE(std::string::npos, log.find(" ERROR  |Parse error: \"Too small file!\"")) << log;

    // An sRGB chunk with an undefined rendering intent: libpng 1.6 warns.
    std::vector<unsigned char> odd = png;
    const unsigned char srgb[13] = {0, 0, 0, 1, 's', 'R', 'G', 'B', 9};
    odd.insert(odd.begin() + 8 + 25, srgb, srgb + 13); // after the header chunk
    pngref::fixChecksums(odd);
    Results warned, plain;
    testsupport::StderrCapture warnings;
    EXPECT_EQ("", loadBytes(odd, warned));
    log = warnings.finish();
    EXPECT_NE(std::string::npos, log.find("WARNING |PNG_Loader: warning in")) << log;
    EXPECT_EQ(1, core.log().getWarningCount());
    ASSERT_EQ("", loadBytes(png, plain));
    render::Image2D* a = static_cast<render::Image2D*>(warned[0].get());
    render::Image2D* b = static_cast<render::Image2D*>(plain[0].get());
    EXPECT_EQ(0, std::memcmp(a->getPixels(), b->getPixels(), (size_t)a->getBufferSize()));

    // The stream's own tracing stays quiet while it loads; the mask comes back.
    core.log().setLevelMask(0xF);
    testsupport::StderrCapture traced;
    core::Ref<BytesStream> s = new BytesStream(png, "traced.png");
    s->traceReads = true;
    render::Loader::load(s.get(), plain, nullptr, core::String());
    log = traced.finish();
    EXPECT_EQ(std::string::npos, log.find("BytesStream: read")) << log;
    EXPECT_NE(std::string::npos, log.find("Loader loading stream: \"traced.png\"")) << log;
    EXPECT_NE(std::string::npos, log.find("Stream \"traced.png\" loaded okay in ")) << log;
    EXPECT_EQ(0xFu, core.log().getLevelMask());

    // A failed load puts the mask back as well, and logs no time.
    core.log().setLevelMask(0xC);
    testsupport::StderrCapture failed;
    EXPECT_NE("", loadBytes(std::vector<unsigned char>(12, 'a'), plain));
    EXPECT_EQ(std::string::npos, failed.finish().find("loaded okay"));
    EXPECT_EQ(0xFu, core.log().getLevelMask()); // errors and warnings come back on
    core.log().setLevelMask(0);
}

// Random bytes of each suite file changed, with the checksums made right again
// so that they reach the decoder, and now and then a header that declares a
// huge image: each load gives an image, a parse error or (larger than the
// pool) a full pool, and leaves nothing allocated.
TEST_F(PngLoaderTest, DamagedSuiteFilesLoadOrFailWithoutLeaking) {
    testsupport::StderrCapture err;
    std::mt19937 next(20261207);
    const uint32_t sides[] = {0, 1, 30000, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
    int outcomes[3] = {0, 0, 0}; // loaded, parse error, pool full
    for (const std::string& n : suiteFiles()) {
        std::vector<unsigned char> original = readFile(SUITE + n);
        for (int k = 0; k < 8; ++k) {
            std::vector<unsigned char> bytes = original;
            for (int f = 1 + (int)(next() % 4); f > 0; --f) {
                size_t i = 8 + next() % (bytes.size() - 8);
                bytes[i] = (unsigned char)(k & 1 ? next() : bytes[i] ^ (1u << (next() % 8)));
            }
            if (k % 4 == 0) {
                putBe32(&bytes[16], sides[next() % 6]);
                putBe32(&bytes[20], sides[next() % 6]);
            }
            pngref::fixChecksums(bytes);
            int live = core.pool().getLiveAllocations();
            try {
                Results result;
                ++outcomes[loadBytes(bytes, result).empty() ? 0 : 1];
            } catch (core::MemoryManagerException&) {
                ++outcomes[2];
            }
            ASSERT_EQ(live, core.pool().getLiveAllocations()) << n << " #" << k << ": pool blocks leaked";
        }
    }
    err.finish();
    EXPECT_TRUE(core.pool().validate());
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[1], outcomes[0]);
    EXPECT_GT(outcomes[2], 0);
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

TEST_F(FileBackedImageTest, MemoryImagesKeepTheirPixelsNamedOnesDecodeOnFirstUseAndReload) {
    unsigned char px[2 * 2 * 4] = {1};
    core::Ref<render::Image2D> copy = M3D_NEW render::Image2D(render::Image2D::RGBA, 2, 2, px);
    px[0] = 99; // the image holds its own copy
    EXPECT_EQ(1, copy->getPixels()[0]);
    // An image made in memory cannot be reloaded, so it keeps its pixels.
    copy->freeAllocatadBufferIfRestorable();
    EXPECT_TRUE(copy->hasPixels());

    // Palettised (one index byte per pixel, 256 palette entries): a
    // duplicate owns copies of both.
    unsigned char indices[6] = {0, 1, 2, 3, 4, 255};
    std::vector<unsigned char> palette(256 * 3, 7);
    core::Ref<render::Image2D> indexed =
        M3D_NEW render::Image2D(render::Image2D::RGB, 3, 2, indices, palette.data());
    core::Ref<render::Object3D> indexedCopy = indexed->duplicate();
    render::Image2D* ic = static_cast<render::Image2D*>(indexedCopy.get());
    EXPECT_EQ(0, std::memcmp(indices, ic->getPixels(), 6));
    EXPECT_NE(indexed->getPalette(), ic->getPalette());
    EXPECT_EQ(0, std::memcmp(palette.data(), ic->getPalette(), palette.size()));
    // A size past the pool's 32-bit requests is refused before any allocation.
    int live = core.pool().getLiveAllocations();
    EXPECT_THROW(copy->allocNewRawImage(render::Image2D::RGBA, 40000, 40000, nullptr),
                 core::MemoryManagerException);
    EXPECT_EQ(live, core.pool().getLiveAllocations());
    EXPECT_EQ(2, copy->getWidth()); // unchanged

    // A named image is decoded on first use, and again after a drop.
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
}

TEST_F(FileBackedImageTest, ChangedOrMissingFileFailsToRestoreOrToLoad) {
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
    // Back as it was: the image recovers.
    dir.write("a.png", testsupport::pngSuiteFile("basn2c08.png"));
    EXPECT_NE(nullptr, image->getPixels());
    std::string log = err.finish();
    EXPECT_NE(std::string::npos,
              log.find("Parse error: \"PNG_Loader: \"a.png\" has changed since it was loaded"))
        << log;
}

} // namespace
