// Graphics3D: the eight light slots filled during a frame, and the default
// light added when a scene brings none of its own.
#include "render/Graphics3D.h"
#include "core/DebugLog.h"
#include "render/Light.h"

namespace render {

static const unsigned LOG_G3D = 0x1000;

void Graphics3D::resetLights() {
    core::log(LOG_G3D, "resetLights\n");
    m_defaultLightIndex = -1;
    m_lightCount = 0;
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        m_lightConfigs[i].dirty = 0;
        m_lightConfigs[i].enabled = 0;
        m_lightConfigs[i].index = -1;
    }
    setLight(nullptr);
}

int Graphics3D::addLightConfig(const LightConfig& light) {
    if (m_lightCount >= MAX_LIGHTS) return -1;
    int index = m_lightCount++;
    m_lightConfigs[index] = light;
    m_lightConfigs[index].index = index;
    m_lightConfigs[index].dirty = 1;
    m_lightConfigs[index].enabled = 1;
    return index;
}

int Graphics3D::addLight(Light* light, const slm::mat4& transform) {
    if (!light) return -1;
    if (!m_lightingEnabled) {
        resetLights();
        return -1;
    }
    if (!light->isRenderingEnabled()) return -1;
    return addLightConfig(light->toLightConfig(transform));
}

void Graphics3D::addDefaultLightIfNeeded() {
    if (!m_config.flags[GraphicsConfig::LIGHTING_ALLOWED] || !m_lightingEnabled) return;
    if (!m_config.flags[GraphicsConfig::DEFAULT_LIGHT] || !m_defaultLight || m_defaultLightIndex >= 0) return;
    bool onlyAmbient = m_lightCount == 1 && m_lightConfigs[0].type == 128;
    if (m_lightCount != 0 && !onlyAmbient) return;
    m_defaultLightIndex = addLight(m_defaultLight.get(), m_defaultLight->getCompositeTransform());
}

} // namespace render
