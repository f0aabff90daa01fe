#include "render/Transformable.h"

namespace render {

Transformable::Transformable()
    : m_translation(0.0f, 0.0f, 0.0f), m_scale(1.0f, 1.0f, 1.0f), m_orientation(0.0f, 0.0f, 0.0f, 1.0f),
      m_compositeDirty(true), m_transformChanged(false) {}

Transformable::Transformable(const Transformable& other)
    : Object3D(other), m_translation(other.m_translation), m_scale(other.m_scale),
      m_orientation(other.m_orientation), m_generic(other.m_generic), m_composite(other.m_composite),
      m_compositeDirty(true), m_transformChanged(false) {}

void Transformable::setTranslation(const slm::vec3& t) {
    if (t == m_translation) return;
    m_translation = t;
    changed();
}

void Transformable::setScale(const slm::vec3& s) {
    if (s == m_scale) return;
    m_scale = s;
    changed();
}

void Transformable::setOrientation(const slm::quat& q) {
    if (q == m_orientation) return;
    m_orientation = q;
    changed();
}

void Transformable::setTransform(const slm::mat4& generic) {
    if (slm::equal(generic, m_generic)) return;
    m_generic = generic;
    changed();
}

const slm::mat4& Transformable::getCompositeTransform() {
    if (m_compositeDirty) {
        m_composite = slm::translation(m_translation) * slm::from_quat(m_orientation) * slm::scale(m_scale) *
                      m_generic;
        m_compositeDirty = false;
    }
    return m_composite;
}

} // namespace render
