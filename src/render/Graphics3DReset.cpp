// Graphics3D: the renderer reset (context, defaults, default objects, ROM
// font, batchers) and the lost-device reset of textures and buffers.
#include "render/Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Image2D.h"
#include "render/IndexBuffer.h"
#include "render/Light.h"
#include "render/Mesh.h"
#include "render/Text3D.h"
#include "render/Texture2D.h"
#include "render/VertexBuffer.h"

namespace render {

static const unsigned LOG_G3D = 0x1000;

void Graphics3D::resetGraphics3D(int mode) {
    if (mode != 1) {
        // A lighter reset (the window changed size): the viewport follows the display.
        if (m_display) setViewport(m_display->getWidth(), m_display->getHeight());
        return;
    }
    releaseTextObjects();
    m_camera.release();
    m_defaultAppearance.release();
    m_default2DPolygon.release();
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
    m_default2DPolygon = create2DPolygonWithDefaultAppearance();
    // The ROM font and the batchers.
    try {
        m_romFont = Font2DBitmap::createROMFont(this);
    } catch (...) {
        core::log(LOG_G3D, "Graphics3D: the ROM font could not be created\n");
    }
    m_overlayText = M3D_NEW Text3D(core::String(), m_romFont.get());
    {
        static const unsigned char white[4] = {255, 255, 255, 255};
        core::Ref<Image2D> image(M3D_NEW Image2D(Image2D::RGBA, 1, 1, white));
        m_whiteTexture = createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, -1, -1);
        m_whiteTexture->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
        m_whiteTexture->setImage(image.get());
    }
    int flags = (m_config.flags[GraphicsConfig::BATCH_DEPTH_WRITE] ? Batcher::DEPTH_WRITE : 0) |
                (m_config.flags[GraphicsConfig::BATCH_DEPTH_TEST] ? Batcher::DEPTH_TEST : 0) |
                (m_config.flags[GraphicsConfig::BATCH_TEXCOORDS] ? Batcher::TEXCOORDS : 0) |
                (m_config.flags[GraphicsConfig::BATCH_COLORS] ? Batcher::COLORS : 0);
    for (int i = 0; i < m_config.batcherCount; ++i) m_batchers.append(core::Ref<Batcher>(createNewBatcher(flags)));
    m_defaultBatcher = createNewBatcher(flags);
    // Text needs texture coordinates whatever the configured flags say.
    m_textBatcher = createNewBatcher(flags | Batcher::TEXCOORDS | Batcher::COLORS);
    m_textCursor = slm::vec4(0.0f, 20.0f, 0.0f, 1.0f);
    if (m_config.flags[GraphicsConfig::DEFAULT_LIGHT] && m_config.flags[GraphicsConfig::LIGHTING_ALLOWED])
        m_defaultLight = M3D_NEW Light();
    if (m_display) setViewport(m_display->getWidth(), m_display->getHeight());
}

void Graphics3D::releaseDeviceResources(bool canDelete) {
    for (int i = 0; i < m_textures.size(); ++i) m_textures[i]->releaseGL(canDelete);
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
    // Vertex and index buffers re-pack on their next draw; textures re-upload now.
    for (int i = 0; i < m_textures.size(); ++i) {
        Texture2D* t = m_textures[i];
        if (t->getGLName() != 0) continue;
        t->restore();
        if (t->getGLName() == 0)
            core::log(LOG_G3D, "Graphics3D resetDevice failed because it can not reset Texture2D (Image2D is missing)");
    }
}

void Graphics3D::resetDevice(bool canDelete) {
    releaseDeviceResources(canDelete);
    restoreDeviceResources();
}

} // namespace render
