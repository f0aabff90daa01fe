// Fuzz target: M3G bytes through render::Loader as a stream without a name.
// A load gives its roots or fails with an engine exception; either way the
// pool must then be exactly as before. A scene that loads is written (raw or
// zlib, by the input's last byte) and loaded again: the writer may refuse what
// the format cannot hold, but a file it writes must load, to as many roots.
#include "FuzzEngine.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/M3G_Writer.h"
#include <cstdio>
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
        } catch (const Morva3DException&) {
        }
        for (int i = 0; i < result.size(); ++i)
            if (!result[i]) fuzzsupport::fault(what, "a load gave a null root");
        if (result.size() > 0) {
            core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
            bool written = false;
            try {
                core::Ref<render::M3G_Writer> writer = M3D_NEW render::M3G_Writer();
                for (int i = 0; i < result.size(); ++i)
                    writer->add(result[i].get());
                writer->write(out.get(), (data[size - 1] & 1) != 0);
                written = true;
            } catch (const Morva3DException&) {
            }
            if (written) {
                core::Vector<core::Ref<render::Object3D>> again;
                core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(out->data(), out->size(), true);
                try {
                    render::Loader::load(in.get(), again, nullptr, core::String());
                } catch (const Morva3DException& e) {
                    std::fprintf(stderr, "the written file fails to load: %s\n", e.getMessage());
                    fuzzsupport::fault(what, "the writer wrote a file the loader refuses");
                }
                if (again.size() != result.size())
                    fuzzsupport::fault(what, "a written scene loads to other roots");
            }
        }
    }
    fuzzsupport::requireSamePool(before, what);
    return 0;
}
