// render::Loader: the one entry that turns a file or a stream into engine
// objects. It tells the content by its first bytes (the M3G identifier or the
// PNG signature), quiets the debug log to errors and warnings while the format
// loader runs, and logs the load time at level 0x4.
//
// A PNG from a named file is not decoded here: the image reads its pixels on
// first use. A PNG from a stream without a name (memory) is decoded at once.
// Every failure of the file is a parse error: logged "Parse error: ..." and
// thrown as core::IOException. An image larger than the pool can hold fails
// as every allocation does, with core::MemoryManagerException. A failed PNG
// load may leave partial results in the list; a failed M3G load appends
// nothing (render::M3G_Loader).
#pragma once
#include "core/Ref.h"
#include "core/String.h"
#include "core/Vector.h"

namespace core {
class Stream;
}

namespace render {
class Object3D;

class Loader {
public:
    // The 12 identifying bytes of an M3G file.
    static const unsigned char M3G_IDENTIFIER[12];

    // Loads the named file through the file system (the stream is closed again
    // whatever happens). `context` goes unchanged to the format loader.
    static void load(const core::String& name, void* context, core::Vector<core::Ref<Object3D>>& result);
    // Loads from the stream's position. `result` is emptied first, then gets
    // the loaded root objects. `name` may be empty for streams from memory.
    static void load(core::Stream* stream, core::Vector<core::Ref<Object3D>>& result, void* context,
                     const core::String& name);

    // Logs "Parse error: "<text>"" as an error and throws core::IOException
    // (text, empty name).
    [[noreturn]] static void parseError(const char* text);

private:
    static void loadM3G(core::Stream* stream, core::Vector<core::Ref<Object3D>>& result, void* context,
                        const core::String& name);
};

} // namespace render
