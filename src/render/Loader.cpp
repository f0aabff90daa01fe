// render::Loader: content recognition and the quiet-log window around a load.
// Builds on core::FileSystem, the debug log, HAL::getTimeMs and the format
// loaders (PNG_Loader; the M3G loader).
#include "render/Loader.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "core/Stream.h"
#include "hal/Time.h"
#include "render/M3G_Loader.h"
#include "render/Object3D.h"
#include "render/PNG_Loader.h"
#include <png.h>
#include <cstring>

namespace render {

const unsigned char Loader::M3G_IDENTIFIER[12] = {0xAB, 0x4A, 0x53, 0x52, 0x31, 0x38,
                                                  0x34, 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};

namespace {

// Keeps the debug log at errors and warnings for the lifetime of one load and
// puts the caller's mask back afterwards, also when the load throws (a failed
// load must not leave the caller's trace levels switched off).
class QuietLog {
public:
    QuietLog() : m_log(core::engineGlobals() ? core::engineGlobals()->log : nullptr), m_saved(0) {
        if (m_log) {
            m_saved = m_log->getLevelMask();
            m_log->setLevelMask(0x3);
        }
    }
    ~QuietLog() {
        // A silent log stays silent; any other comes back with errors and warnings on.
        if (m_log) m_log->setLevelMask(m_saved == 0 ? 0 : (m_saved | core::LOG_ALWAYS));
    }

private:
    core::DebugLog* m_log;
    unsigned m_saved;
};

} // namespace

void Loader::parseError(const char* text) {
    core::log(core::LOG_ERROR, "Parse error: \"%s\"\n", text);
    throw core::IOException(text, core::String());
}

void Loader::load(const core::String& name, void* context, core::Vector<core::Ref<Object3D>>& result) {
    if (!core::FileSystem::get()->exists(name, 0)) {
        core::String text;
        text.format("Loader can not load file, because file system does not have access to read file: \"%s\". "
                    "Check given file name or use FileSystem::addArchive to add new archives.\n",
                    name.c_str());
        parseError(text.c_str());
    }
    core::Ref<core::Stream> stream = core::FileSystem::get()->openFile(name, 0);
    core::StreamCloser closer(stream.get());
    load(stream.get(), result, context, name);
}

void Loader::load(core::Stream* stream, core::Vector<core::Ref<Object3D>>& result, void* context,
                  const core::String& name) {
    unsigned start = HAL::getTimeMs();
    core::String streamName = stream->getName();
    core::log(core::LOG_SCRIPT, "\nLoader loading stream: \"%s\"\n", streamName.c_str());
    {
        QuietLog quiet;
        result.clear();
        unsigned char head[12];
        if (stream->available() < 12 || stream->peek(head, 12) < 12) parseError("Too small file!");
        if (std::memcmp(head, M3G_IDENTIFIER, 12) == 0) {
            loadM3G(stream, result, context, name);
        } else {
            if (png_sig_cmp(head, 0, 8) != 0) parseError("Unsupported file format\n");
            core::Ref<PNG_Loader> png = M3D_NEW PNG_Loader(&result, name.isEmpty() ? streamName : name);
            if (name.isEmpty())
                png->load(stream);
            else
                png->load(name);
        }
    }
    core::log(core::LOG_SCRIPT, "Stream \"%s\" loaded okay in %.3f s.\n", streamName.c_str(),
              (double)(HAL::getTimeMs() - start) * 0.001);
}

void Loader::loadM3G(core::Stream* stream, core::Vector<core::Ref<Object3D>>& result, void* context,
                     const core::String&) {
    core::Ref<M3G_Loader> loader = M3D_NEW M3G_Loader(context);
    loader->load(stream, result);
}

} // namespace render
