// Fuzz target: PNG bytes through render::Loader as a stream without a name
// (decoded at once), as a script or a scene's image reference would load them.
// A load either gives one RGB or RGBA image of the size its header states, or
// fails with one of the engine's exceptions; either way, once the results are
// released, the pool must be exactly as before.
#include "FuzzEngine.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include "render/Object3D.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::startEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::startEngine();
    if (size > 0x7FFFFFF) return -1;
    const char* what = "fuzz_png";
    fuzzsupport::PoolState before = fuzzsupport::poolState();
    {
        core::Vector<core::Ref<render::Object3D>> result;
        core::Ref<core::MemoryStream> stream = M3D_NEW core::MemoryStream(data, (int)size, true);
        bool loaded = false;
        try {
            render::Loader::load(stream.get(), result, nullptr, core::String());
            loaded = true;
        } catch (const Morva3DException&) {
        }
        if (loaded) {
            if (result.size() != 1) fuzzsupport::fault(what, "a load gave other than one image");
            render::Image2D* image = static_cast<render::Image2D*>(result[0].get());
            int bpp = image->getFormat() == render::Image2D::RGB ? 3 : image->getFormat() == render::Image2D::RGBA ? 4 : 0;
            if (bpp == 0) fuzzsupport::fault(what, "an image neither RGB nor RGBA");
            if (image->getWidth() < 1 || image->getHeight() < 1 ||
                (long long)image->getWidth() * image->getHeight() * bpp != image->getBufferSize())
                fuzzsupport::fault(what, "the pixel buffer does not match the image's size");
            // Every pixel byte is there to be read (the sanitizer sees a short buffer).
            const unsigned char* pixels = image->getPixels();
            volatile unsigned char sink = pixels[0];
            sink = pixels[image->getBufferSize() - 1];
            (void)sink;
        }
    }
    fuzzsupport::requireSamePool(before, what);
    return 0;
}
