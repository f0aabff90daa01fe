// render::Fog: linear or exponential fog of an appearance. Every change
// counts in the modification counter so the renderer re-sends only changes.
#pragma once
#include "render/Object3D.h"

namespace render {

class Fog : public Object3D {
public:
    enum { EXPONENTIAL = 80, LINEAR = 81 };

    Fog() : m_counter(0), m_color(0), m_density(1.0f), m_near(0.0f), m_far(1.0f), m_mode(LINEAR) {}
    virtual Object3D* duplicate() const { return M3D_NEW Fog(*this); }

    void setMode(int mode) { change(m_mode, mode); }
    int getMode() const { return m_mode; }
    void setColor(unsigned rgb) { change(m_color, rgb & 0xFFFFFFu); }
    unsigned getColor() const { return m_color; }
    void setDensity(float d) { change(m_density, d); }
    float getDensity() const { return m_density; }
    void setLinear(float nearDistance, float farDistance) {
        change(m_near, nearDistance);
        change(m_far, farDistance);
    }
    float getNearDistance() const { return m_near; }
    float getFarDistance() const { return m_far; }
    int getModificationCounter() const { return m_counter; }

private:
    Fog(const Fog& o) = default;
    template <typename T> void change(T& field, T value) {
        if (field == value) return;
        field = value;
        ++m_counter;
    }

    int m_counter;
    unsigned m_color;
    float m_density, m_near, m_far;
    int m_mode;
};

} // namespace render
