#include "render/Texture2D.h"
#include "core/EngineGlobals.h"

namespace render {

Texture2D::Texture2D(Graphics3D* owner, int kind, int format)
    : m_owner(owner), m_blendColor(0), m_width(-1), m_height(-1), m_format(format), m_allocWidth(-1),
      m_allocHeight(-1), m_framebuffer(-1), m_depthBuffer(-1), m_blending(FUNC_MODULATE), m_wrapS(WRAP_REPEAT),
      m_wrapT(WRAP_REPEAT), m_levelFilter(kind == KIND_RENDER_TARGET ? FILTER_BASE_LEVEL : FILTER_LINEAR),
      m_imageFilter(kind == KIND_RENDER_TARGET ? FILTER_NEAREST : FILTER_LINEAR), m_kind(kind) {}

Texture2D::Texture2D(const Texture2D& o)
    : Transformable(o), m_owner(o.m_owner), m_blendColor(o.m_blendColor), m_width(-1), m_height(-1),
      m_format(o.m_format), m_allocWidth(-1), m_allocHeight(-1), m_framebuffer(-1), m_depthBuffer(-1),
      m_blending(o.m_blending), m_wrapS(o.m_wrapS), m_wrapT(o.m_wrapT), m_levelFilter(o.m_levelFilter),
      m_imageFilter(o.m_imageFilter), m_kind(o.m_kind) {}

int Texture2D::nextPowerOfTwo(int n) {
    for (int bit = 0; bit < 31; ++bit)
        if ((1 << bit) >= n) return 1 << bit;
    return 0;
}

static bool releaseImages() {
    core::EngineGlobals* globals = core::engineGlobals();
    return globals && globals->config.releaseImagesAfterUpload;
}

void Texture2D::setImage(Image2D* image) {
    if (!image) {
        if (releaseImages()) m_image = nullptr;
        return;
    }
    m_width = image->getWidth();
    m_height = image->getHeight();
    m_allocWidth = nextPowerOfTwo(m_width);
    m_allocHeight = nextPowerOfTwo(m_height);
    if (m_allocWidth != m_width || m_allocHeight != m_height) {
        float sx = m_allocWidth > 0 ? (float)m_width / (float)m_allocWidth : 1.0f;
        float sy = m_allocHeight > 0 ? (float)m_height / (float)m_allocHeight : 1.0f;
        setScale(slm::vec3(sx, sy, 1.0f));
    }
    uploadImage(image);
    if (releaseImages()) image->freeAllocatadBufferIfRestorable();
}

void Texture2D::setWrapping(int s, int t) {
    m_wrapS = s;
    m_wrapT = t;
    applyWrapping();
}

void Texture2D::setFiltering(int levelFilter, int imageFilter) {
    int oldLevel = m_levelFilter, oldImage = m_imageFilter;
    m_levelFilter = levelFilter;
    m_imageFilter = imageFilter;
    try {
        applyFiltering();
    } catch (...) {
        // A refused pair leaves the texture as it was.
        m_levelFilter = oldLevel;
        m_imageFilter = oldImage;
        throw;
    }
}

void Texture2D::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_image) out.append(m_image.get());
}

} // namespace render
