#include "render/TextureFile.h"
#include "core/Exceptions.h"
#include "render/Graphics3D.h"
#include "render/Image2D.h"
#include "render/Loader.h"

namespace render {

core::Ref<Texture2D> TextureFile::load(Graphics3D& g, const core::String& path) {
    core::String failure;
    try {
        core::Vector<core::Ref<Object3D>> loaded;
        Loader::load(path, nullptr, loaded);
        Image2D* image = loaded.size() == 1 ? dynamic_cast<Image2D*>(loaded[0].get()) : nullptr;
        if (!image) throw Morva3DException("UNKNOWN", "UNKNOWN", 0, "the file holds no single image");
        core::Ref<Texture2D> texture = g.createNewTexture(Texture2D::KIND_TEXTURE, image->getFormat(), 0, 0);
        // The pixels are decoded here (a file-backed image reads them on first use).
        image->getPixels();
        texture->setImage(image);
        return texture;
    } catch (const core::MemoryManagerException&) {
        throw;
    } catch (const Morva3DException& e) {
        failure.format("Can not load \"%s\": %s", path.c_str(), e.getMessage());
    }
    throw Morva3DException("UNKNOWN", "UNKNOWN", 0, failure.c_str());
}

} // namespace render
