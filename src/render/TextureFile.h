// render::TextureFile: a texture from an image file (PNG) named as every
// other file the engine opens, through the file system and the generic loader.
#pragma once
#include "core/Ref.h"
#include "core/String.h"
#include "render/Texture2D.h"

namespace render {

class Graphics3D;

class TextureFile {
public:
    // A new texture holding the
    // file's image, uploaded at once so a broken file fails here rather than
    // at the first draw. Any failure throws Morva3DException whose message is
    // "Can not load \"<path>\": " followed by the loader's own message; nothing
    // is kept. A full pool fails as core::MemoryManagerException unchanged.
    static core::Ref<Texture2D> load(Graphics3D& g, const core::String& path);
};

} // namespace render
