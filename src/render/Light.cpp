#include "render/Light.h"
#include <cmath>

namespace render {

Light::Light()
    : m_color(0xFFFFFFu), m_intensity(1.0f), m_attenuation{1.0f, 0.0f, 0.0f}, m_spotAngle(45.0f),
      m_spotExponent(0.0f), m_mode(DIRECTIONAL) {}

Object3D* Light::duplicate() const { return M3D_NEW Light(*this); }

void Light::getBounds(float min[3], float max[3], const slm::mat4* transform) {
    if (m_mode == AMBIENT || m_mode == DIRECTIONAL) {
        for (int i = 0; i < 3; ++i) {
            min[i] = -3.4028235e38f;
            max[i] = 3.4028235e38f;
        }
        return;
    }
    float r = std::fabs(m_intensity);
    for (int i = 0; i < 3; ++i) {
        min[i] = -r;
        max[i] = r;
    }
    if (!transform) return;
    float lo[3] = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f}, hi[3] = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
    for (int c = 0; c < 8; ++c) {
        slm::vec4 p = *transform * slm::vec4(c & 1 ? r : -r, c & 2 ? r : -r, c & 4 ? r : -r, 1.0f);
        const float v[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i) {
            if (v[i] < lo[i]) lo[i] = v[i];
            if (v[i] > hi[i]) hi[i] = v[i];
        }
    }
    for (int i = 0; i < 3; ++i) {
        min[i] = lo[i];
        max[i] = hi[i];
    }
}

LightConfig Light::toLightConfig(const slm::mat4& world) const {
    LightConfig c;
    c.matrix = world;
    float rgb[4] = {(float)((m_color >> 16) & 0xFF) / 255.0f * m_intensity,
                    (float)((m_color >> 8) & 0xFF) / 255.0f * m_intensity, (float)(m_color & 0xFF) / 255.0f * m_intensity,
                    1.0f};
    // Position of the node and the direction of its -z axis, in world space.
    c.position[0] = world.m[12];
    c.position[1] = world.m[13];
    c.position[2] = world.m[14];
    c.position[3] = 1.0f;
    float d[3] = {-world.m[8], -world.m[9], -world.m[10]};
    float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len > 0.0f) {
        for (float& v : d) v /= len;
    } else {
        d[0] = d[1] = 0.0f;
        d[2] = -1.0f;
    }
    for (int i = 0; i < 3; ++i) c.direction[i] = c.spotDirection[i] = d[i];
    c.direction[3] = c.spotDirection[3] = 0.0f;
    c.spotCutoff = 180.0f;
    c.spotExponent = 0.0f;
    c.type = m_mode;
    auto copy = [&](float* to) {
        for (int i = 0; i < 4; ++i) to[i] = rgb[i];
    };
    switch (m_mode) {
    case AMBIENT:
        copy(c.ambient);
        break;
    case DIRECTIONAL:
        copy(c.diffuse);
        copy(c.specular);
        break;
    case OMNI:
        copy(c.diffuse);
        copy(c.specular);
        for (int i = 0; i < 3; ++i) c.attenuation[i] = m_attenuation[i];
        break;
    case SPOT:
        copy(c.diffuse);
        for (int i = 0; i < 3; ++i) c.attenuation[i] = m_attenuation[i];
        c.spotCutoff = m_spotAngle;
        c.spotExponent = m_spotExponent;
        break;
    default:
        break;
    }
    return c;
}

} // namespace render
