#include "render/Appearance.h"

namespace render {

namespace {
template <typename T> T* duplicateOf(const core::Ref<T>& p) {
    return p ? static_cast<T*>(p->duplicate()) : nullptr;
}
} // namespace

Appearance::Appearance(const Appearance& o)
    : Object3D(o), m_compositingMode(duplicateOf(o.m_compositingMode)), m_material(duplicateOf(o.m_material)),
      m_polygonMode(duplicateOf(o.m_polygonMode)), m_shaderProgram(duplicateOf(o.m_shaderProgram)),
      m_layer(o.m_layer) {}

Object3D* Appearance::duplicate() const { return M3D_NEW Appearance(*this); }

} // namespace render
