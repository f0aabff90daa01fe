// render::PNG_Loader: PNG images into render::Image2D, on libpng behind the
// engine's core::Stream.
//
// Every image comes out as 8-bit RGB (format 99) or RGBA (100): palettes are
// expanded, grey becomes RGB, 16-bit samples keep their high byte, and an alpha
// channel survives only when the file's colour type has one (a transparency
// chunk alone does not make an RGBA image).
// Failures are parse errors: logged "Parse error: ..." and thrown as
// core::IOException; libpng warnings are logged at level 0x2 and the load goes on.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "core/String.h"
#include "core/Vector.h"

namespace core {
class Stream;
}

namespace render {
class Object3D;
class Image2D;

class PNG_Loader : public core::Object {
public:
    // `result` receives the loaded image; it must outlive the loader.
    PNG_Loader(core::Vector<core::Ref<Object3D>>* result, const core::String& streamName);
    virtual ~PNG_Loader();

    // Immediate form: decodes the whole image from the stream (positioned at the
    // signature) and appends it to the result list.
    void load(core::Stream* stream);
    // File-backed form: reads only the header of the named file (through the
    // file system) and appends an image that decodes its pixels on first use.
    void load(const core::String& name);

    // Decodes a file-backed image's file into its pixel buffer, which the image
    // has allocated. A file whose size or format no longer matches the image
    // is a parse error, and so is any decoding failure; the buffer may then be
    // partly written.
    static void restore(Image2D* image);

private:
    core::Vector<core::Ref<Object3D>>* m_result;
    core::String m_name;
};

} // namespace render
