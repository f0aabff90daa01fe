#include "render/Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "render/Appearance.h"
#include "render/Background.h"
#include "render/Batcher.h"
#include "render/Camera.h"
#include "render/Font2DBitmap.h"
#include "render/Light.h"
#include "render/RenderTarget.h"
#include "render/Text3D.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include <cstdio>
#include "render/IndexBuffer.h"
#include "render/Mesh.h"
#include "render/VertexBuffer.h"
#include <cmath>
#include <cstring>
#include "render/Image2D.h"
#include "render/Texture2D.h"

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
// One stretch of the background along an axis: geometry from g0 to g1 in
// image pixels, texture coordinates t0 to t1 (0..1 = the image).
struct Span {
    float g0, g1, t0, t1;
};

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The spans of one axis for an image `size` pixels long seen through the crop
// [from, from + length). BORDER shows the image once. REPEAT on a
// power-of-two size is one span whose texture coordinates run past 0..1
// (the texture repeats); other sizes would repeat the texture's padding, so
// they get one span per repetition, at most MAX_TILES. Sets `repeat` when
// the texture must wrap on this axis.
const int MAX_TILES = 128;
int backgroundSpans(int size, int from, int length, int mode, Span* out, bool& repeat) {
    float s = (float)size;
    repeat = false;
    if (mode != Background::REPEAT) {
        out[0] = {0.0f, s, 0.0f, 1.0f};
        return 1;
    }
    double first = std::floor((double)from / size), last = std::ceil(((double)from + length) / size);
    if (isPowerOfTwo(size) || last - first > MAX_TILES) {
        repeat = true;
        out[0] = {(float)from, (float)from + (float)length, (float)from / s, ((float)from + (float)length) / s};
        return 1;
    }
    int n = 0;
    for (double k = first; k < last; ++k) {
        double a = k * size, b = a + size;
        if (a < from) a = from;
        if (b > (double)from + length) b = (double)from + length;
        if (b <= a) continue;
        out[n++] = {(float)a, (float)b, (float)(a / size - k), (float)(b / size - k)};
    }
    return n;
}

// One quad per pair of spans, in image pixels, into the 2D polygon.
void fillBackgroundQuads(VertexBuffer* vb, IndexBuffer* ib, const Span* xs, int nx, const Span* ys, int ny) {
    core::Vector<float> p, t;
    core::Vector<unsigned short> idx;
    p.resize(nx * ny * 12);
    t.resize(nx * ny * 8);
    idx.resize(nx * ny * 6);
    int q = 0;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i, ++q) {
            const Span& x = xs[i];
            const Span& y = ys[j];
            // Corners counter-clockwise on screen: image y grows downwards.
            const float corner[4][4] = {
                {x.g0, y.g1, x.t0, y.t1}, {x.g1, y.g1, x.t1, y.t1}, {x.g1, y.g0, x.t1, y.t0}, {x.g0, y.g0, x.t0, y.t0}};
            for (int k = 0; k < 4; ++k) {
                p[q * 12 + k * 3] = corner[k][0];
                p[q * 12 + k * 3 + 1] = corner[k][1];
                p[q * 12 + k * 3 + 2] = 0.0f;
                t[q * 8 + k * 2] = corner[k][2];
                t[q * 8 + k * 2 + 1] = corner[k][3];
            }
            static const int order[6] = {0, 1, 2, 0, 2, 3};
            for (int k = 0; k < 6; ++k) idx[q * 6 + k] = (unsigned short)(q * 4 + order[k]);
        }
    vb->getPositions()->set(0, nx * ny * 4, p.data());
    vb->getTexCoords(0)->array->set(0, nx * ny * 4, t.data());
    ib->setIndices(idx.data(), idx.size());
}
} // namespace

Mesh* Graphics3D::create2DPolygonWithDefaultAppearance() {
    core::Ref<VertexBuffer> vb(createNewVertexBuffer(VertexBuffer::DYNAMIC));
    vb->setPositions(M3D_NEW VertexArray(4, 3, 4), 1.0f, nullptr);
    vb->setTexCoords(0, M3D_NEW VertexArray(4, 2, 4), 1.0f, nullptr);
    vb->setDefaultColor(0xFFFFFFFFu);
    static const unsigned short quad[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<IndexBuffer> ib(M3D_NEW IndexBuffer(IndexBuffer::TRIANGLES, quad, 6, IndexBuffer::DYNAMIC));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    PolygonMode* p = M3D_NEW PolygonMode();
    p->setCulling(PolygonMode::CULL_NONE);
    a->setPolygonMode(p);
    CompositingMode* c = M3D_NEW CompositingMode();
    c->setBlending(CompositingMode::ALPHA);
    c->setDepthTestEnable(false);
    c->setDepthWriteEnable(false);
    a->setCompositingMode(c);
    for (int i = 0; i < 8; ++i) m_polygonKey[i] = -1;
    return createMesh(vb.get(), ib.get(), a.get());
}

void Graphics3D::drawBackgroundImage(Background* background) {
    Image2D* image = background->getImage();
    int cw = background->getCropWidth(), ch = background->getCropHeight();
    if (!m_default2DPolygon || !image || cw <= 0 || ch <= 0 || image->getWidth() <= 0 || image->getHeight() <= 0)
        return;
    // An image that cannot be uploaded (a file-backed one whose file went
    // away) throws to the caller of clear.
    Texture2D* texture = background->getImageTexture(*this);
    if (!texture || texture->getGLName() == 0) return;
    int w = image->getWidth(), h = image->getHeight();
    int cx = background->getCropX(), cy = background->getCropY();
    int mx = background->getImageModeX(), my = background->getImageModeY();
    Span xs[MAX_TILES + 1], ys[MAX_TILES + 1];
    bool repeatX, repeatY;
    int nx = backgroundSpans(w, cx, cw, mx, xs, repeatX);
    int ny = backgroundSpans(h, cy, ch, my, ys, repeatY);
    if (nx == 0 || ny == 0) return;
    int wrapS = repeatX ? Texture2D::WRAP_REPEAT : Texture2D::WRAP_CLAMP;
    int wrapT = repeatY ? Texture2D::WRAP_REPEAT : Texture2D::WRAP_CLAMP;
    if (texture->getWrappingS() != wrapS || texture->getWrappingT() != wrapT) texture->setWrapping(wrapS, wrapT);

    VertexBuffer* vb = m_default2DPolygon->getVertexBuffer();
    IndexBuffer* ib = m_default2DPolygon->getIndexBuffer(0);
    // The vertices only change with the image size, the crop or the modes.
    const int key[8] = {w, h, cx, cy, cw, ch, mx, my};
    if (std::memcmp(key, m_polygonKey, sizeof key) != 0) {
        std::memcpy(m_polygonKey, key, sizeof key);
        fillBackgroundQuads(vb, ib, xs, nx, ys, ny);
    }

    // Image pixels to clip space: the crop rectangle fills the viewport, the
    // image's first row at the top.
    slm::mat4 place;
    place.m[0] = 2.0f / (float)cw;
    place.m[5] = -2.0f / (float)ch;
    place.m[12] = -1.0f - 2.0f * (float)cx / (float)cw;
    place.m[13] = 1.0f + 2.0f * (float)cy / (float)ch;

    // Drawn under an identity camera with lighting off; the scene's camera
    // comes back untouched (and is not counted as set again).
    core::Ref<Camera> savedCamera = m_camera;
    slm::mat4 savedTransform = m_cameraTransform, savedView = m_view, savedProjection = m_projection;
    bool lighting = m_lightingEnabled;
    m_cameraTransform = m_view = m_projection = slm::mat4();
    m_lightingEnabled = false;
    Appearance* a = m_default2DPolygon->getAppearance(0);
    a->setTexture(0, texture);
    renderSubmesh(vb, ib, a, place, 0xFFFF);
    a->setTexture(0, nullptr);
    m_lightingEnabled = lighting;
    m_camera = savedCamera;
    m_cameraTransform = savedTransform;
    m_view = savedView;
    m_projection = savedProjection;
}

namespace {
template <typename F> void eachBatcher(Batcher* a, Batcher* b, const core::Vector<core::Ref<Batcher>>& rest, F f) {
    if (a) f(a);
    if (b) f(b);
    for (int i = 0; i < rest.size(); ++i)
        if (rest[i]) f(rest[i].get());
}
} // namespace

void Graphics3D::flush() {
    slm::mat4 identity;
    eachBatcher(m_defaultBatcher.get(), m_textBatcher.get(), m_batchers, [&](Batcher* b) {
        if (!b->hasItems() && !b->hasReferences()) return;
        if (b->hasItems()) {
            b->render(*this, identity, 0);
            ++m_stats.buffersUsed;
        }
        b->clear();
    });
}

void Graphics3D::clearBatchers() {
    eachBatcher(m_defaultBatcher.get(), m_textBatcher.get(), m_batchers, [](Batcher* b) {
        if (b->hasItems() || b->hasReferences()) b->clear();
    });
}

Batcher* Graphics3D::createNewBatcher(int flags) { return M3D_NEW Batcher(this, flags); }

void Graphics3D::renderLine(const slm::vec3& from, const slm::vec3& to, unsigned argb) {
    if (m_defaultBatcher) m_defaultBatcher->addLine(from, to, argb);
}

void Graphics3D::renderText(const core::String& text, bool world, const slm::mat4& transform) {
    if (!m_overlayText || !m_romFont || !m_textBatcher) return;
    m_overlayText->setText(text);
    if (world) {
        m_overlayText->render(*this, transform, 0xFFFF);
        return;
    }
    // Screen mode: pixels from the top-left corner, drawn now under an
    // identity camera so that the camera in use does not move it.
    core::Ref<Camera> saved = m_camera;
    slm::mat4 savedTransform = m_cameraTransform;
    bool lighting = m_lightingEnabled;
    // What the batcher collected under the scene camera goes out first.
    if (m_textBatcher->hasItems()) {
        m_textBatcher->render(*this, slm::mat4(), 0);
        ++m_stats.buffersUsed;
        m_textBatcher->clear();
    }
    setCamera(nullptr, slm::mat4());
    m_lightingEnabled = false;
    float w = m_viewport[2] > 0 ? (float)m_viewport[2] : 1.0f;
    float h = m_viewport[3] > 0 ? (float)m_viewport[3] : 1.0f;
    slm::mat4 place = slm::translation(slm::vec3(-1.0f + 2.0f * m_textCursor.x / w, 1.0f - 2.0f * m_textCursor.y / h, 0.0f)) *
                      slm::scale(slm::vec3(2.0f / w, 2.0f / h, 1.0f));
    m_overlayText->render(*this, place, 0xFFFF);
    if (m_textBatcher->hasItems()) {
        m_textBatcher->render(*this, slm::mat4(), 0);
        ++m_stats.buffersUsed;
    }
    m_textBatcher->clear();
    int lines = 1;
    for (int i = 0; i < text.length(); ++i)
        if (text.c_str()[i] == 10) ++lines;
    float lineHeight = (float)m_romFont->getLineHeight() * m_overlayText->getLayoutScaleY();
    m_textCursor.y += (lineHeight < 0 ? -lineHeight : lineHeight) * (float)lines;
    m_lightingEnabled = lighting;
    m_camera = saved;
    setCamera(saved.get(), savedTransform);
}

core::String Graphics3D::composeStatistics() const {
    core::String out;
    char line[256];
    auto add = [&](int n) {
        if (n > 0) out += line;
    };
    if (m_type == TYPE_OPENGL_ES_2) add(std::snprintf(line, sizeof line, "SHADER UNIFORMS : %d\n", m_stats.uniformUploads));
    core::EngineGlobals* globals = core::engineGlobals();
    MemoryManager* mm = globals ? globals->memoryManager : nullptr;
    if (mm && !mm->isDisabled()) {
        long long pool = mm->getUsableSize() > 0 ? mm->getUsableSize() : 1;
        add(std::snprintf(line, sizeof line, "VBODYN/STA/SIZE/RESIZECOUNT : %i/%i/%i/%i\n", m_stats.dynamicVBOs,
                          m_stats.staticVBOs, m_stats.vboBytes, m_stats.vboResizes));
        add(std::snprintf(line, sizeof line, "ALLOC BLKS/CNT  : %d/%d\n", mm->getLiveAllocations(),
                          mm->getTotalAllocations()));
        add(std::snprintf(line, sizeof line, "MEMORY PEAK     : %i BYTES : %i PERCENT\n", mm->getPeakUsedBytes(),
                          (int)(mm->getPeakUsedBytes() * 100LL / pool)));
        add(std::snprintf(line, sizeof line, "MEMORY USED     : %i / %d BYTES : %i PERCENT\n", mm->getUsedBytes(),
                          mm->getUsableSize(), (int)(mm->getUsedBytes() * 100LL / pool)));
    } else {
        add(std::snprintf(line, sizeof line, "MEMORY MANAGER DISABLED\n"));
    }
    add(std::snprintf(line, sizeof line, "DRAW CALLS      : %i\n", m_stats.drawCalls));
    add(std::snprintf(line, sizeof line, "FPS             : %i\n", m_fps));
    add(std::snprintf(line, sizeof line, "CAMERA POSITION : %.2f %.2f %.2f\n", m_cameraTransform.m[12],
                      m_cameraTransform.m[13], m_cameraTransform.m[14]));
    add(std::snprintf(line, sizeof line, "LIGHTS COUNT    : %i\n", m_lightCount));
    add(std::snprintf(line, sizeof line, "CAMERA SET COUNT: %i\n", m_stats.cameraSets));
    add(std::snprintf(line, sizeof line, "TRIANGLES/LINES : %i/%i\n", m_stats.triangles, m_stats.lines));
    add(std::snprintf(line, sizeof line, "BUFFERS USED    : %i/%i\n", m_stats.buffersUsed, m_stats.batchersCreated));
    add(std::snprintf(line, sizeof line, "GRAPHICS3D      : %s (%s) (%s)\n", getTypeName(), "Apr 14 2011",
                      "MORVA3D_1_26_20110412"));
    return out;
}

void Graphics3D::drawStatisticsOverlay() {
    if (!m_romFont || !m_overlayText) return;
    core::String text = composeStatistics();
    int lines = 0;
    for (int i = 0; i < text.length(); ++i)
        if (text.c_str()[i] == 10) ++lines;
    m_textCursor.y += (float)m_romFont->getLineHeight() * (float)(lines + 7);
    renderText(text, false);
}

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
