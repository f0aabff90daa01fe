// render::CompositingMode: how a submesh's fragments are combined with the
// frame: blending, alpha threshold, depth test / write / function, colour and
// alpha writes and a depth offset. Every setter that changes a value adds one
// to the modification counter, which the renderer compares to re-apply only
// what changed.
#pragma once
#include "render/Object3D.h"

namespace render {

class CompositingMode : public Object3D {
public:
    enum { ALPHA = 64, ALPHA_ADD = 65, MODULATE = 66, MODULATE_X2 = 67, REPLACE = 68 };

    CompositingMode();
    virtual Object3D* duplicate() const;

    void setBlending(int mode) { change(m_blending, mode); }
    int getBlending() const { return m_blending; }
    void setAlphaThreshold(float t) { change(m_alphaThreshold, t); }
    float getAlphaThreshold() const { return m_alphaThreshold; }
    void setDepthOffset(float factor, float units) {
        change(m_depthOffsetFactor, factor);
        change(m_depthOffsetUnits, units);
    }
    float getDepthOffsetFactor() const { return m_depthOffsetFactor; }
    float getDepthOffsetUnits() const { return m_depthOffsetUnits; }
    void setDepthTestEnable(bool on) { change(m_depthTest, on); }
    bool isDepthTestEnabled() const { return m_depthTest; }
    void setDepthWriteEnable(bool on) { change(m_depthWrite, on); }
    bool isDepthWriteEnabled() const { return m_depthWrite; }
    void setColorWriteEnable(bool on) { change(m_colorWrite, on); }
    bool isColorWriteEnabled() const { return m_colorWrite; }
    void setAlphaWriteEnable(bool on) { change(m_alphaWrite, on); }
    bool isAlphaWriteEnabled() const { return m_alphaWrite; }
    // GL comparison enum (GL_LEQUAL by default).
    void setDepthFunc(int func) { change(m_depthFunc, func); }
    int getDepthFunc() const { return m_depthFunc; }
    void setAlphaFunc(int func) { change(m_alphaFunc, func); }
    int getAlphaFunc() const { return m_alphaFunc; }
    // -1 = none; any other value keeps the draw from binding the colour array.
    void setColorValue(int argb) { change(m_colorValue, argb); }
    int getColorValue() const { return m_colorValue; }

    int getModificationCounter() const { return m_modifications; }

private:
    CompositingMode(const CompositingMode& other);
    template <typename T> void change(T& field, T value) {
        if (field == value) return;
        field = value;
        ++m_modifications;
    }

    float m_alphaThreshold;
    float m_depthOffsetFactor;
    float m_depthOffsetUnits;
    int m_modifications;
    int m_colorValue;
    int m_alphaFunc;
    int m_depthFunc;
    bool m_depthTest;
    bool m_depthWrite;
    bool m_colorWrite;
    bool m_alphaWrite;
    int m_blending;
};

} // namespace render
