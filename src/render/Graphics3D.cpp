// Graphics3D: frame control (targets, clearing, batch flushing, camera and
// viewport), the texture list and the buffer-object registry. The background
// image is drawn in Graphics3DBackground.cpp, screen text and the statistics
// overlay in Graphics3DText.cpp, lights in Graphics3DLights.cpp, and the
// renderer and device resets in Graphics3DReset.cpp.
#include "render/Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/Time.h"
#include "render/Background.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/IndexBuffer.h"
#include "render/Light.h"
#include "render/Mesh.h"
#include "render/RenderTarget.h"
#include "render/Text3D.h"
#include "render/Texture2D.h"
#include "render/VertexBuffer.h"
#include <cstring>

namespace render {

static const unsigned LOG_G3D = 0x1000;

Graphics3D::Graphics3D(int type)
    : m_type(type), m_display(nullptr), m_lightingEnabled(true), m_recreateContext(false), m_targetBound(false),
      m_presented(false), m_textCursor(0.0f, 20.0f, 0.0f, 1.0f), m_textureMatrixCount(0), m_defaultLightIndex(-1), m_lightCount(0), m_target(nullptr),
      m_lastSecondMs(0), m_framesThisSecond(0), m_fps(0), m_scope(-1) {
    std::memset(&m_caps, 0, sizeof m_caps);
    for (int i = 0; i < 4; ++i) m_viewport[i] = 0;
    for (int i = 0; i < 8; ++i) m_polygonKey[i] = -1;
}

Graphics3D::~Graphics3D() {
    releaseTextObjects();
    m_camera.release();
    m_defaultAppearance.release();
    m_default2DPolygon.release();
    detachAllTextures();
    detachAllBuffers();
}

void Graphics3D::releaseTextObjects() {
    m_overlayText.release();
    m_defaultBatcher.release();
    m_textBatcher.release();
    m_imageBatcher.release();
    m_batchers.clear();
    m_romFont.release();
    m_whiteTexture.release();
    m_defaultLight.release();
}

void Graphics3D::detachAllTextures() {
    for (int i = m_textures.size() - 1; i >= 0; --i) m_textures[i]->detachGraphics();
    m_textures.clear();
}

void Graphics3D::removeTexture(Texture2D* texture) {
    for (int i = 0; i < m_textures.size(); ++i) {
        if (m_textures[i] != texture) continue;
        for (int k = i + 1; k < m_textures.size(); ++k) m_textures[k - 1] = m_textures[k];
        m_textures.resize(m_textures.size() - 1);
        return;
    }
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
    if (m_target) {
        bindTargetFramebuffer();
        Texture2D* t = m_target->getTexture();
        if (t) setViewportGL(0, 0, t->getAllocatedWidth(), t->getAllocatedHeight());
    }
}

void Graphics3D::releaseTarget() {
    if (!m_target) {
        if (m_config.flags[GraphicsConfig::STATISTICS_OVERLAY]) drawStatisticsOverlay();
        m_stats.triangles = m_stats.cameraSets = m_stats.buffersUsed = 0;
        m_stats.drawCalls = m_stats.lines = m_stats.uniformUploads = 0;
        m_textCursor = slm::vec4(0.0f, 20.0f, 0.0f, 1.0f);
        countFrame(HAL::getTimeMs());
    }
    flush();
    unbindFramebuffer();
    if (m_target) setViewportGL(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
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
    // What the batchers held belongs to the frame just cleared. They are
    // emptied before the image is drawn so that an image that fails to
    // upload leaves them empty too.
    clearBatchers();
    if (background && background->getImage()) drawBackgroundImage(background);
}

namespace {
template <typename F>
void eachBatcher(Batcher* a, Batcher* b, Batcher* c, const core::Vector<core::Ref<Batcher>>& rest, F f) {
    if (a) f(a);
    if (b) f(b);
    if (c) f(c);
    for (int i = 0; i < rest.size(); ++i)
        if (rest[i]) f(rest[i].get());
}
} // namespace

void Graphics3D::flush() {
    slm::mat4 identity;
    eachBatcher(m_defaultBatcher.get(), m_textBatcher.get(), m_imageBatcher.get(), m_batchers, [&](Batcher* b) {
        if (!b->hasItems() && !b->hasReferences()) return;
        if (b->hasItems()) {
            b->render(*this, identity, 0);
            ++m_stats.buffersUsed;
        }
        b->clear();
    });
}

void Graphics3D::clearBatchers() {
    eachBatcher(m_defaultBatcher.get(), m_textBatcher.get(), m_imageBatcher.get(), m_batchers, [](Batcher* b) {
        if (b->hasItems() || b->hasReferences()) b->clear();
    });
}

Batcher* Graphics3D::createNewBatcher(int flags) { return M3D_NEW Batcher(this, flags); }

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
