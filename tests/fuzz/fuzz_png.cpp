// Fuzz target: PNG bytes through render::Loader, as a stream without a name
// (decoded at once) or, for one input in four (by its last byte), as a named
// file whose image decodes its pixels on first use. For half the inputs the
// chunk checksums are made right first, so that changed bytes get past
// libpng's checksum test into the decoder. A load gives one whole RGB or RGBA
// image or fails with an engine exception; either way the pool must then be
// exactly as before.
#include "FuzzEngine.h"
#include "core/Archive.h"
#include "core/Exceptions.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "core/MemoryStream.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include "render/Object3D.h"
#include "render/PngReference.h"
#include <vector>

namespace {

const char* WHAT = "fuzz_png";
const char* FILE_NAME = "fuzz-input.png";

// Serves the current input as the one file FILE_NAME.
class InputArchive : public core::Archive {
public:
    const uint8_t* data = nullptr;
    size_t size = 0;
    core::Ref<core::Stream> openFile(const core::String& name, int openFlags) override {
        if (!exists(name, openFlags)) throw core::IOException("File not found!", name);
        return core::Ref<core::Stream>(M3D_NEW core::MemoryStream(data, (int)size, true));
    }
    bool exists(const core::String& name, int openFlags) override {
        return openFlags == OPEN_READ && data && name == core::String(FILE_NAME);
    }
    core::String getName() override { return core::String("fuzz input"); }
};

InputArchive* g_archive = nullptr;

// The image a load gave must be whole: its buffer matches its size and format.
void checkImage(core::Vector<core::Ref<render::Object3D>>& result) {
    if (result.size() != 1) fuzzsupport::fault(WHAT, "a load gave other than one image");
    render::Image2D* image = static_cast<render::Image2D*>(result[0].get());
    int bpp = image->getFormat() == render::Image2D::RGB    ? 3
              : image->getFormat() == render::Image2D::RGBA ? 4
                                                            : 0;
    if (bpp == 0) fuzzsupport::fault(WHAT, "an image neither RGB nor RGBA");
    if (image->getWidth() < 1 || image->getHeight() < 1 ||
        (long long)image->getWidth() * image->getHeight() * bpp != image->getBufferSize())
        fuzzsupport::fault(WHAT, "the pixel buffer does not match the image's size");
    // For a named file this decodes the pixels; every byte is there to be read.
    const unsigned char* pixels = image->getPixels();
    if (!pixels) fuzzsupport::fault(WHAT, "a loaded image has no pixels");
    volatile unsigned char sink = pixels[0];
    sink = pixels[image->getBufferSize() - 1];
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::startEngine();
    if (!g_archive) {
        g_archive = M3D_NEW InputArchive();
        core::FileSystem::get()->addArchive(g_archive, core::String(""));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LLVMFuzzerInitialize(nullptr, nullptr);
    if (size > 0x7FFFFFF) return -1;
    bool named = size > 0 && (data[size - 1] & 3) == 0;
    std::vector<uint8_t> fixed;
    if (size > 0 && (data[size - 1] & 4)) {
        fixed.assign(data, data + size);
        pngref::fixChecksums(fixed);
        data = fixed.data();
    }
    fuzzsupport::PoolState before = fuzzsupport::poolState();
    {
        core::Vector<core::Ref<render::Object3D>> result;
        try {
            if (named) {
                g_archive->data = data;
                g_archive->size = size;
                render::Loader::load(core::String(FILE_NAME), nullptr, result);
            } else {
                core::Ref<core::MemoryStream> stream = M3D_NEW core::MemoryStream(data, (int)size, true);
                render::Loader::load(stream.get(), result, nullptr, core::String());
            }
            checkImage(result);
        } catch (const Morva3DException&) {
        }
        g_archive->data = nullptr;
    }
    fuzzsupport::requireSamePool(before, WHAT);
    return 0;
}
