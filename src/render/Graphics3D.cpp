#include "render/Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "render/Appearance.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/IndexBuffer.h"
#include "render/Mesh.h"
#include "render/VertexBuffer.h"
#include <cstring>

namespace render {

static const unsigned LOG_G3D = 0x1000;

Graphics3D::Graphics3D(int type)
    : m_type(type), m_display(nullptr), m_lightingEnabled(true), m_recreateContext(false), m_targetBound(false),
      m_presented(false), m_textureMatrixCount(0), m_defaultLightIndex(-1), m_lightCount(0), m_target(nullptr),
      m_lastSecondMs(0), m_framesThisSecond(0), m_fps(0), m_scope(-1) {
    std::memset(&m_caps, 0, sizeof m_caps);
    for (int i = 0; i < 4; ++i) m_viewport[i] = 0;
}

Graphics3D::~Graphics3D() {
    m_camera.release();
    m_defaultAppearance.release();
    detachAllBuffers();
}

const char* Graphics3D::getTypeName() const {
    if (m_type == TYPE_OPENGL_ES_1) return "OPENGL";
    if (m_type == TYPE_OPENGL_ES_2) return "OPENGL SHADERS";
    return "UNKNOWN";
}

void Graphics3D::detachAllBuffers() {
    if (m_stats.dynamicVBOs + m_stats.staticVBOs != 0 || m_stats.vboBytes != 0)
        core::log(LOG_G3D, "Graphics3D destructor : VBO has data (%d / %d)\n", m_stats.dynamicVBOs + m_stats.staticVBOs,
                  m_stats.vboBytes);
    // The buffers outlive the renderer only as CPU data: they must not call
    // back into it later.
    for (int i = m_vertexOwners.size() - 1; i >= 0; --i) m_vertexOwners[i]->detachGraphics();
    for (int i = m_indexOwners.size() - 1; i >= 0; --i) m_indexOwners[i]->detachGraphics();
    m_vertexOwners.clear();
    m_indexOwners.clear();
}

void Graphics3D::bindTarget(RenderTarget* target) {
    m_target = nullptr;
    makeCurrent();
    m_targetBound = true;
    m_target = target;
    if (m_target) bindTargetFramebuffer();
}

void Graphics3D::releaseTarget() {
    if (!m_target) {
        // The statistics overlay is drawn here once the text classes exist;
        // without it only the per-frame counters are reset.
        m_stats.triangles = m_stats.cameraSets = m_stats.buffersUsed = 0;
        m_stats.drawCalls = m_stats.lines = m_stats.uniformUploads = 0;
        countFrame(HAL::getTimeMs());
    }
    flush();
    unbindFramebuffer();
    if (!m_target) {
        if (m_presentListener) m_presentListener(this, m_presentContext);
        present();
        m_presented = true;
    }
    m_target = nullptr;
    m_targetBound = false;
}

void Graphics3D::countFrame(unsigned nowMs) {
    ++m_framesThisSecond;
    bool fpsLogging = m_config.flags[GraphicsConfig::FPS_LOGGING] != 0;
    bool overlay = m_config.flags[GraphicsConfig::STATISTICS_OVERLAY] != 0;
    if ((fpsLogging || overlay) && nowMs - m_lastSecondMs >= 1000u) {
        m_lastSecondMs = nowMs;
        m_fps = m_framesThisSecond;
        m_framesThisSecond = 0;
        if (fpsLogging) core::log(LOG_G3D, "FPS : %d\n", m_fps);
    }
}

void Graphics3D::clear(Background* background) {
    if (!background)
        clearBuffers(0, true, true);
    else
        clearBuffers(background->getColor(), background->isDepthClearEnabled(), background->isColorClearEnabled());
    // The background image and the batchers' discard join with their classes.
}

void Graphics3D::flush() {}

void Graphics3D::setCamera(Camera* camera, const slm::mat4& transform) {
    if (camera != m_camera.get()) flush();
    m_camera = camera;
    if (camera) {
        m_cameraTransform = transform;
        m_view = slm::inverse(transform);
        m_projection = camera->getProjectionMatrix();
        onCameraChanged();
        for (int i = 0; i < MAX_LIGHTS; ++i) m_lightConfigs[i].dirty = 1;
    } else {
        m_cameraTransform = slm::mat4();
        m_view = slm::mat4();
        m_projection = slm::mat4();
        onCameraChanged();
    }
    ++m_stats.cameraSets;
}

void Graphics3D::setViewport(int width, int height) {
    core::log(LOG_G3D, "setViewport : %d %d %d %d (max : %d %d)\n", 0, 0, width, height, m_caps.maxViewportWidth,
              m_caps.maxViewportHeight);
    if (width == m_viewport[2] && height == m_viewport[3] && m_viewport[0] == 0 && m_viewport[1] == 0) return;
    m_viewport[0] = m_viewport[1] = 0;
    m_viewport[2] = width;
    m_viewport[3] = height;
    setViewportGL(0, 0, width, height);
}

void Graphics3D::getViewport(int out[4]) const {
    for (int i = 0; i < 4; ++i) out[i] = m_viewport[i];
}

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

void Graphics3D::resetGraphics3D(int mode) {
    if (mode != 1) {
        // A lighter reset (the window changed size): the viewport follows the display.
        if (m_display) setViewport(m_display->getWidth(), m_display->getHeight());
        return;
    }
    m_camera.release();
    m_defaultAppearance.release();
    if (m_recreateContext) destroyContext();
    createContext();
    m_recreateContext = true;
    // The first second of frames is counted from now.
    m_lastSecondMs = HAL::getTimeMs();
    m_framesThisSecond = 0;
    setGraphics3DDefaults();
    configClass();
    if (m_display) setViewport(m_display->getWidth(), m_display->getHeight());
    Appearance* a = M3D_NEW Appearance();
    m_defaultAppearance = a;
    a->setPolygonMode(M3D_NEW PolygonMode());
    a->setCompositingMode(M3D_NEW CompositingMode());
    a->setMaterial(M3D_NEW Material());
    if (m_display) setViewport(m_display->getWidth(), m_display->getHeight());
}

void Graphics3D::releaseDeviceResources(bool canDelete) {
    for (int i = m_indexOwners.size() - 1; i >= 0; --i) {
        if (i >= m_indexOwners.size()) continue;
        m_indexOwners[i]->releaseVBO(canDelete);
    }
    for (int i = m_vertexOwners.size() - 1; i >= 0; --i) {
        if (i >= m_vertexOwners.size()) continue;
        m_vertexOwners[i]->releaseVBO(canDelete);
    }
    if (!canDelete) m_stats.dynamicVBOs = m_stats.staticVBOs = m_stats.vboBytes = m_stats.vboResizes = 0;
}

void Graphics3D::restoreDeviceResources() {
    // Textures re-upload from their images here once they exist; vertex and
    // index buffers re-pack on their next draw.
}

void Graphics3D::resetDevice(bool canDelete) {
    releaseDeviceResources(canDelete);
    restoreDeviceResources();
}

VertexBuffer* Graphics3D::createNewVertexBuffer(int mode) { return M3D_NEW VertexBuffer(mode); }

Mesh* Graphics3D::createMesh(VertexBuffer* vb, IndexBuffer* ib, Appearance* appearance) {
    return M3D_NEW Mesh(vb, ib, appearance);
}

template <typename T> static void addOnce(core::Vector<T*>& list, T* owner) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i] == owner) return;
    list.append(owner);
}

template <typename T> static void removeKeepingOrder(core::Vector<T*>& list, T* owner) {
    for (int i = 0; i < list.size(); ++i) {
        if (list[i] != owner) continue;
        for (int j = i + 1; j < list.size(); ++j) list[j - 1] = list[j];
        list.resize(list.size() - 1);
        return;
    }
}

void Graphics3D::registerVertexBuffer(VertexBuffer* owner, int kind, const void* data, int size, VBOHandle& out) {
    addOnce(m_vertexOwners, owner);
    createVBO(out, kind, data, size);
}

void Graphics3D::registerIndexBuffer(IndexBuffer* owner, int kind, const void* data, int size, VBOHandle& out) {
    addOnce(m_indexOwners, owner);
    createVBO(out, kind, data, size);
}

void Graphics3D::unregisterVertexBuffer(VertexBuffer* owner, VBOHandle& handle, bool deleteGL) {
    removeKeepingOrder(m_vertexOwners, owner);
    if (handle.name != -1) {
        if (deleteGL)
            deleteVBO(handle);
        else
            handle = VBOHandle();
    }
}

void Graphics3D::unregisterIndexBuffer(IndexBuffer* owner, VBOHandle& handle, bool deleteGL) {
    removeKeepingOrder(m_indexOwners, owner);
    if (handle.name != -1) {
        if (deleteGL)
            deleteVBO(handle);
        else
            handle = VBOHandle();
    }
}

} // namespace render
