// render::Appearance: the surface of a submesh as shareable components:
// compositing mode, polygon mode, material and an optional shader program.
// A null component means "use the renderer's default appearance's one".
// Texture layers: up to four, the list grows when a texture is set at an index.
#pragma once
#include "render/CompositingMode.h"
#include "render/Fog.h"
#include "render/Material.h"
#include "render/PolygonMode.h"
#include "render/ShaderProgram.h"
#include "render/Texture2D.h"

namespace render {

class Appearance : public Object3D {
public:
    Appearance() : m_layer(0) {}
    virtual Object3D* duplicate() const;

    CompositingMode* getCompositingMode() const { return m_compositingMode.get(); }
    void setCompositingMode(CompositingMode* c) { m_compositingMode = c; }
    PolygonMode* getPolygonMode() const { return m_polygonMode.get(); }
    void setPolygonMode(PolygonMode* p) { m_polygonMode = p; }
    Material* getMaterial() const { return m_material.get(); }
    void setMaterial(Material* m) { m_material = m; }
    Fog* getFog() const { return m_fog.get(); }
    void setFog(Fog* f) { m_fog = f; }
    ShaderProgram* getShaderProgram() const { return m_shaderProgram.get(); }
    void setShaderProgram(ShaderProgram* p) { m_shaderProgram = p; }
    // Grows the texture list to index + 1 when needed; negative indices are ignored.
    void setTexture(int index, Texture2D* texture);
    // Null beyond the end.
    Texture2D* getTexture(int index) const {
        return index >= 0 && index < m_textures.size() ? m_textures[index].get() : nullptr;
    }
    int getTextureCount() const { return m_textures.size(); }
    int getLayer() const { return m_layer; }
    void setLayer(int layer) { m_layer = layer; }

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    Appearance(const Appearance& other);

    core::Ref<CompositingMode> m_compositingMode;
    core::Ref<Fog> m_fog;
    core::Ref<Material> m_material;
    core::Ref<PolygonMode> m_polygonMode;
    core::Ref<ShaderProgram> m_shaderProgram;
    core::Vector<core::Ref<Texture2D>> m_textures;
    int m_layer;
};

} // namespace render
