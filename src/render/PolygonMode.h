// render::PolygonMode: culling, winding, shading, line width and the lighting
// switches of a submesh. Setters that change a value add one to the
// modification counter.
#pragma once
#include "render/Object3D.h"

namespace render {

class PolygonMode : public Object3D {
public:
    enum { CULL_BACK = 160, CULL_FRONT = 161, CULL_NONE = 162 };
    enum { SHADE_FLAT = 164, SHADE_SMOOTH = 165 };
    enum { WINDING_CCW = 168, WINDING_CW = 169 };

    PolygonMode()
        : m_modifications(0), m_lineWidth(1.0f), m_culling(CULL_BACK), m_shading(SHADE_SMOOTH),
          m_winding(WINDING_CCW), m_perspectiveCorrection(false), m_localCameraLighting(false),
          m_twoSidedLighting(false) {}
    virtual Object3D* duplicate() const { return M3D_NEW PolygonMode(*this); }

    void setCulling(int mode) { change(m_culling, mode); }
    int getCulling() const { return m_culling; }
    void setShading(int mode) { change(m_shading, mode); }
    int getShading() const { return m_shading; }
    void setWinding(int mode) { change(m_winding, mode); }
    int getWinding() const { return m_winding; }
    void setLineWidth(float w) { change(m_lineWidth, w); }
    float getLineWidth() const { return m_lineWidth; }
    void setPerspectiveCorrectionEnable(bool on) { change(m_perspectiveCorrection, on); }
    bool isPerspectiveCorrectionEnabled() const { return m_perspectiveCorrection; }
    void setLocalCameraLightingEnable(bool on) { change(m_localCameraLighting, on); }
    bool isLocalCameraLightingEnabled() const { return m_localCameraLighting; }
    void setTwoSidedLightingEnable(bool on) { change(m_twoSidedLighting, on); }
    bool isTwoSidedLightingEnabled() const { return m_twoSidedLighting; }

    int getModificationCounter() const { return m_modifications; }

private:
    PolygonMode(const PolygonMode& o) = default;
    template <typename T> void change(T& field, T value) {
        if (field == value) return;
        field = value;
        ++m_modifications;
    }

    int m_modifications;
    float m_lineWidth;
    int m_culling;
    int m_shading;
    int m_winding;
    bool m_perspectiveCorrection;
    bool m_localCameraLighting;
    bool m_twoSidedLighting;
};

} // namespace render
