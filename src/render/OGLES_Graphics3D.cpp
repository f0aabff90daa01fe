#include "render/OGLES_Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/sdl/Display.h"

namespace render {

OGLES_Graphics3D::OGLES_Graphics3D(int type) : Graphics3D(type) {}

OGLES_Graphics3D::~OGLES_Graphics3D() {}

// The overlay text node is made here once the text classes exist.
void OGLES_Graphics3D::configClass() {}

void OGLES_Graphics3D::setGraphics3DDefaults() {
    static const bool flagDefaults[6] = {true, false, true, true, true, false};
    for (int i = 0; i < 6; ++i) m_caps.flags[i] = flagDefaults[i];
    m_caps.maxLights = MAX_LIGHTS;
    m_caps.maxTextureDimension = 256;
    m_caps.maxSpriteCropDimension = 2147483647;
    m_caps.maxTransformsPerVertex = 2;
    m_caps.numTextureUnits = 1;
    if (!m_display) {
        core::log(core::LOG_RENDERER, "OGLES_Graphics3D created without functionality\n");
        return;
    }
    queryCapabilities();
    core::log(core::LOG_RENDERER, "OpenGLES : maxViewportWidth     = %d\n", m_caps.maxViewportWidth);
    core::log(core::LOG_RENDERER, "OpenGLES : maxViewportHeight    = %d\n", m_caps.maxViewportHeight);
    core::log(core::LOG_RENDERER, "OpenGLES : maxViewportDimension = %d\n", m_caps.maxViewportDimension);
    core::log(core::LOG_RENDERER, "OpenGLES : maxTextureDimension  = %d\n", m_caps.maxTextureDimension);
    resetLights();
    setDefaults();
    core::log(core::LOG_RENDERER, "Graphics3D: setGraphics3DDefaults\n");
    setViewport(m_display->getWidth(), m_display->getHeight());
    setDepthRange(0.0f, 1.0f);
}

} // namespace render
