// render::Material: the colours (ARGB) and shininess a lit surface reflects,
// and whether the vertex colours stand in for the ambient and diffuse ones.
// Setters that change a value add one to the modification counter.
#pragma once
#include "render/Object3D.h"

namespace render {

class Material : public Object3D {
public:
    Material()
        : m_ambient(0x00333333u), m_diffuse(0xFFCCCCCCu), m_emissive(0), m_specular(0), m_shininess(0.0f),
          m_vertexColorTracking(false), m_modifications(0) {}
    virtual Object3D* duplicate() const { return M3D_NEW Material(*this); }

    void setAmbient(unsigned argb) { change(m_ambient, argb); }
    unsigned getAmbient() const { return m_ambient; }
    void setDiffuse(unsigned argb) { change(m_diffuse, argb); }
    unsigned getDiffuse() const { return m_diffuse; }
    void setEmissive(unsigned argb) { change(m_emissive, argb); }
    unsigned getEmissive() const { return m_emissive; }
    void setSpecular(unsigned argb) { change(m_specular, argb); }
    unsigned getSpecular() const { return m_specular; }
    void setShininess(float s) { change(m_shininess, s); }
    float getShininess() const { return m_shininess; }
    void setVertexColorTrackingEnable(bool on) { change(m_vertexColorTracking, on); }
    bool isVertexColorTrackingEnabled() const { return m_vertexColorTracking; }

    int getModificationCounter() const { return m_modifications; }

private:
    Material(const Material& o) = default;
    template <typename T> void change(T& field, T value) {
        if (field == value) return;
        field = value;
        ++m_modifications;
    }

    unsigned m_ambient;
    unsigned m_diffuse;
    unsigned m_emissive;
    unsigned m_specular;
    float m_shininess;
    bool m_vertexColorTracking;
    int m_modifications;
};

} // namespace render
