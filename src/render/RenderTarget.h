// render::RenderTarget: what Graphics3D::bindTarget draws into besides the
// window: a render-target texture (kind 1) with its framebuffer object.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "render/Texture2D.h"

namespace render {

class RenderTarget : public core::Object {
public:
    explicit RenderTarget(Texture2D* texture) : m_texture(texture) {}
    Texture2D* getTexture() const { return m_texture.get(); }

private:
    core::Ref<Texture2D> m_texture;
};

} // namespace render
