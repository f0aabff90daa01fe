// Fuzz target: M3G bytes through render::Loader as a stream without a name,
// as a script loads a scene from memory. A load either gives its root
// objects or fails with one of the engine's exceptions; either way, once the
// results are released, the pool must be exactly as before.
#include "FuzzEngine.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/Object3D.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::startEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::startEngine();
    if (size > 0x7FFFFFF) return -1;
    const char* what = "fuzz_m3g";
    fuzzsupport::PoolState before = fuzzsupport::poolState();
    {
        core::Vector<core::Ref<render::Object3D>> result;
        core::Ref<core::MemoryStream> stream = M3D_NEW core::MemoryStream(data, (int)size, true);
        try {
            render::Loader::load(stream.get(), result, nullptr, core::String());
            for (int i = 0; i < result.size(); ++i)
                if (!result[i]) fuzzsupport::fault(what, "a load gave a null root");
        } catch (const Morva3DException&) {
        }
    }
    fuzzsupport::requireSamePool(before, what);
    return 0;
}
