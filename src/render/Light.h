// render::Light: a scene node that lights meshes: ambient, directional
// (along the node's -z axis), omni (from the node's position, attenuated)
// or spot. Graphics3D::addLight turns it into a LightConfig slot record.
#pragma once
#include "render/Graphics3D.h"
#include "render/Node.h"

namespace render {

class Light : public Node {
public:
    enum { AMBIENT = 128, DIRECTIONAL = 129, OMNI = 130, SPOT = 131 };

    Light();
    virtual Object3D* duplicate() const;

    void setColor(unsigned rgb) { m_color = rgb & 0xFFFFFFu; }
    unsigned getColor() const { return m_color; }
    void setIntensity(float i) { m_intensity = i; }
    float getIntensity() const { return m_intensity; }
    void setAttenuation(float constant, float linear, float quadratic) {
        m_attenuation[0] = constant;
        m_attenuation[1] = linear;
        m_attenuation[2] = quadratic;
    }
    float getConstantAttenuation() const { return m_attenuation[0]; }
    float getLinearAttenuation() const { return m_attenuation[1]; }
    float getQuadraticAttenuation() const { return m_attenuation[2]; }
    void setSpotAngle(float degrees) { m_spotAngle = degrees; }
    float getSpotAngle() const { return m_spotAngle; }
    void setSpotExponent(float e) { m_spotExponent = e; }
    float getSpotExponent() const { return m_spotExponent; }
    void setMode(int mode) { m_mode = mode; }
    int getMode() const { return m_mode; }

    // Ambient and directional lights reach everywhere; omni and spot lights
    // report ±intensity on each axis (transformed when `transform` is given).
    virtual void getBounds(float min[3], float max[3], const slm::mat4* transform);

    // The slot record for this light with `world` as its world transform:
    // colour x intensity in the mode's terms, world-space position of the
    // node and direction of its -z axis, attenuation and spot values.
    LightConfig toLightConfig(const slm::mat4& world) const;

private:
    Light(const Light& o) = default;

    unsigned m_color;
    float m_intensity;
    float m_attenuation[3];
    float m_spotAngle;
    float m_spotExponent;
    int m_mode;
};

} // namespace render
