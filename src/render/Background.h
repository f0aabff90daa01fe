// render::Background: what a frame is cleared with: a colour and the two
// clear switches. (The background image and its crop and repeat modes come
// with the texture classes.)
#pragma once
#include "render/Object3D.h"

namespace render {

class Background : public Object3D {
public:
    Background() : m_color(0), m_depthClearEnabled(true), m_colorClearEnabled(true) {}
    virtual Object3D* duplicate() const { return M3D_NEW Background(*this); }

    unsigned getColor() const { return m_color; }
    void setColor(unsigned argb) { m_color = argb; }
    bool isDepthClearEnabled() const { return m_depthClearEnabled; }
    void setDepthClearEnable(bool on) { m_depthClearEnabled = on; }
    bool isColorClearEnabled() const { return m_colorClearEnabled; }
    void setColorClearEnable(bool on) { m_colorClearEnabled = on; }

private:
    Background(const Background& o) = default;

    unsigned m_color;
    bool m_depthClearEnabled;
    bool m_colorClearEnabled;
};

} // namespace render
