#include "render/CompositingMode.h"

namespace render {

CompositingMode::CompositingMode()
    : m_alphaThreshold(0.0f), m_depthOffsetFactor(0.0f), m_depthOffsetUnits(0.0f), m_modifications(0),
      m_colorValue(-1), m_alphaFunc(0x206), m_depthFunc(0x203), m_depthTest(true), m_depthWrite(true),
      m_colorWrite(true), m_alphaWrite(true), m_blending(REPLACE) {}

// The copy starts from the defaults and takes every field through its
// setter, so its counter says how many fields differ from the defaults.
CompositingMode::CompositingMode(const CompositingMode& o)
    : Object3D(o), m_alphaThreshold(0.0f), m_depthOffsetFactor(0.0f), m_depthOffsetUnits(0.0f), m_modifications(0),
      m_colorValue(-1), m_alphaFunc(0x206), m_depthFunc(0x203), m_depthTest(true), m_depthWrite(true),
      m_colorWrite(true), m_alphaWrite(true), m_blending(REPLACE) {
    setBlending(o.m_blending);
    setAlphaThreshold(o.m_alphaThreshold);
    setDepthOffset(o.m_depthOffsetFactor, o.m_depthOffsetUnits);
    setDepthTestEnable(o.m_depthTest);
    setDepthWriteEnable(o.m_depthWrite);
    setColorWriteEnable(o.m_colorWrite);
    setAlphaWriteEnable(o.m_alphaWrite);
    setDepthFunc(o.m_depthFunc);
    setAlphaFunc(o.m_alphaFunc);
    setColorValue(o.m_colorValue);
}

Object3D* CompositingMode::duplicate() const { return M3D_NEW CompositingMode(*this); }

} // namespace render
