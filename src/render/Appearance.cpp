#include "render/Appearance.h"
#include "core/DebugLog.h"

namespace render {

namespace {
template <typename T> T* duplicateOf(const core::Ref<T>& p) {
    return p ? static_cast<T*>(p->duplicate()) : nullptr;
}
} // namespace

Appearance::Appearance(const Appearance& o)
    : Object3D(o), m_compositingMode(duplicateOf(o.m_compositingMode)), m_fog(duplicateOf(o.m_fog)), m_material(duplicateOf(o.m_material)),
      m_polygonMode(duplicateOf(o.m_polygonMode)), m_shaderProgram(duplicateOf(o.m_shaderProgram)),
      m_layer(o.m_layer) {
    for (int i = 0; i < o.m_textures.size(); ++i) {
        Texture2D* t = o.m_textures[i].get();
        if (t && t->getImage()) {
            core::Ref<Object3D> copy(t->duplicate());
            setTexture(i, static_cast<Texture2D*>(copy.get()));
        } else {
            if (t)
                core::log(0x1000, "can not duplicate Texture2D because source texture does not have an image. We use "
                                  "original texture.");
            setTexture(i, t);
        }
    }
}

void Appearance::setTexture(int index, Texture2D* texture) {
    if (index < 0) return;
    if (index >= m_textures.size()) m_textures.resize(index + 1);
    m_textures[index] = texture;
}

Object3D* Appearance::duplicate() const { return M3D_NEW Appearance(*this); }

void Appearance::appendReferences(core::Vector<Object3D*>& out) const {
    Object3D* parts[5] = {m_compositingMode.get(), m_fog.get(), m_material.get(), m_polygonMode.get(),
                          m_shaderProgram.get()};
    for (Object3D* p : parts)
        if (p) out.append(p);
    for (int i = 0; i < m_textures.size(); ++i)
        if (m_textures[i]) out.append(m_textures[i].get());
}

} // namespace render
