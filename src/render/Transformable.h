// render::Transformable: an object with a local transformation made of a
// translation, an orientation (quaternion), a scale and a generic matrix.
// The composite C = T · R · S · M (column vectors: the generic matrix acts
// first, the translation last) is cached and rebuilt only after a change.
#pragma once
#include "render/Object3D.h"
#include "slm/mat4.h"
#include "slm/quat.h"
#include "slm/vec3.h"

namespace render {

class Transformable : public Object3D {
public:
    // Each setter marks the composite dirty and the transform changed, unless
    // the new value equals the stored one.
    void setTranslation(const slm::vec3& t);
    void translate(const slm::vec3& d) { setTranslation(m_translation + d); }
    void setScale(const slm::vec3& s);
    void setOrientation(const slm::quat& q);
    void setTransform(const slm::mat4& generic);

    const slm::vec3& getTranslation() const { return m_translation; }
    const slm::vec3& getScale() const { return m_scale; }
    const slm::quat& getOrientation() const { return m_orientation; }
    const slm::mat4& getTransform() const { return m_generic; }

    const slm::mat4& getCompositeTransform();

    bool isTransformChanged() const { return m_transformChanged; }
    void clearTransformChanged() { m_transformChanged = false; }

protected:
    Transformable();
    // Copies the transformation; the flags start as after construction.
    Transformable(const Transformable& other);

private:
    void changed() {
        m_compositeDirty = true;
        m_transformChanged = true;
    }

    slm::vec3 m_translation;
    slm::vec3 m_scale;
    slm::quat m_orientation;
    slm::mat4 m_generic;
    slm::mat4 m_composite;
    bool m_compositeDirty;
    bool m_transformChanged;
};

} // namespace render
