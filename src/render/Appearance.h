// render::Appearance: the surface of a submesh as shareable components:
// compositing mode, polygon mode, material and an optional shader program.
// A null component means "use the renderer's default appearance's one".
// (Fog and texture layers join with their classes.)
#pragma once
#include "render/CompositingMode.h"
#include "render/Material.h"
#include "render/PolygonMode.h"
#include "render/ShaderProgram.h"

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
    ShaderProgram* getShaderProgram() const { return m_shaderProgram.get(); }
    void setShaderProgram(ShaderProgram* p) { m_shaderProgram = p; }
    int getLayer() const { return m_layer; }
    void setLayer(int layer) { m_layer = layer; }

private:
    Appearance(const Appearance& other);

    core::Ref<CompositingMode> m_compositingMode;
    core::Ref<Material> m_material;
    core::Ref<PolygonMode> m_polygonMode;
    core::Ref<ShaderProgram> m_shaderProgram;
    int m_layer;
};

} // namespace render
