#include "render/OGLES2_Texture2D.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/GLCallCounters.h"
#include "render/OGLES2_Graphics3D.h"

namespace render {

OGLES2_Texture2D::OGLES2_Texture2D(OGLES2_Graphics3D* owner, int kind, int format)
    : Texture2D(owner, kind, format), m_name(0) {}

OGLES2_Graphics3D* OGLES2_Texture2D::g3d() const { return static_cast<OGLES2_Graphics3D*>(m_owner); }

OGLES2_Texture2D::~OGLES2_Texture2D() {
    if (g3d() && g3d()->hasContext()) {
        if (m_name) {
            g3d()->forgetTexture(m_name);
            M3D_GL(Object, glDeleteTextures(1, &m_name));
        }
        if (m_framebuffer > 0 && pglDeleteFramebuffersEXT) {
            GLuint fb = (GLuint)m_framebuffer;
            M3D_GL(Object, pglDeleteFramebuffersEXT(1, &fb));
        }
        if (m_depthBuffer > 0 && pglDeleteRenderbuffers) {
            GLuint rb = (GLuint)m_depthBuffer;
            M3D_GL(Object, pglDeleteRenderbuffers(1, &rb));
        }
    }
    if (g3d()) g3d()->removeTexture(this);
}

Object3D* OGLES2_Texture2D::duplicate() const {
    if (!g3d()) return nullptr;
    Texture2D* copy = g3d()->createNewTexture(m_kind, m_format, m_width, m_height);
    copy->setWrapping(m_wrapS, m_wrapT);
    copy->setFiltering(m_levelFilter, m_imageFilter);
    copy->setBlending(m_blending);
    copy->setBlendColor(m_blendColor);
    if (m_image) {
        core::Ref<Object3D> image(m_image->duplicate());
        copy->setImage(static_cast<Image2D*>(image.get()));
    }
    return copy;
}

unsigned OGLES2_Texture2D::glFormat(int format) {
    switch (format) {
    case Image2D::ALPHA: return GL_ALPHA;
    case Image2D::LUMINANCE: return GL_LUMINANCE;
    case Image2D::LUMINANCE_ALPHA: return GL_LUMINANCE_ALPHA;
    case Image2D::RGB: return GL_RGB;
    case Image2D::RGBA: return GL_RGBA;
    default: throw Morva3DException("Image2D format is not supported in OGLES2_Texture2D!");
    }
}

void OGLES2_Texture2D::bind() {
    if (m_name && g3d()) g3d()->bindTextureForUpdate(m_name);
}

void OGLES2_Texture2D::createGLTexture(const unsigned char* pixels, int width, int height) {
    unsigned format = glFormat(m_format);
    if (m_name) {
        g3d()->forgetTexture(m_name);
        M3D_GL(Object, glDeleteTextures(1, &m_name));
        m_name = 0;
    }
    M3D_GL(Object, glGenTextures(1, &m_name));
    bind();
    if (m_allocWidth <= 0 || m_allocHeight <= 0) return;
    if (pixels && m_allocWidth == width && m_allocHeight == height) {
        // Image rows are tightly packed: a 2-pixel RGB or luminance row is
        // not a multiple of 4 bytes, and GL's default alignment would read
        // past the buffer.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        M3D_GL(Object, glTexImage2D(GL_TEXTURE_2D, 0, (GLint)format, m_allocWidth, m_allocHeight, 0, format,
                                    GL_UNSIGNED_BYTE, pixels));
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    } else {
        M3D_GL(Object, glTexImage2D(GL_TEXTURE_2D, 0, (GLint)format, m_allocWidth, m_allocHeight, 0, format,
                                    GL_UNSIGNED_BYTE, nullptr));
        if (pixels) {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            M3D_GL(Object, glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels));
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        }
    }
    applyWrapping();
    applyFiltering();
    generateMipmaps();
}

void OGLES2_Texture2D::allocate(int width, int height) {
    m_width = width;
    m_height = height;
    m_allocWidth = nextPowerOfTwo(width);
    m_allocHeight = nextPowerOfTwo(height);
    if (g3d() && g3d()->hasContext()) createGLTexture(nullptr, width, height);
}

void OGLES2_Texture2D::uploadImage(Image2D* image) {
    if (!g3d() || !g3d()->hasContext()) {
        m_image = image;
        return;
    }
    GLint maxSize = 0;
    M3D_GL(Query, glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize));
    core::log(core::LOG_RENDERER, "OpenGLES1_Texture2D : max texture size  = %d\n", maxSize);
    m_image = image;
    if (image) {
        glFormat(image->getFormat()); // refuse unsupported formats before touching GL
        m_format = image->getFormat();
    }
    const unsigned char* pixels = image ? image->getPixels() : nullptr;
    createGLTexture(pixels, image ? image->getWidth() : m_width, image ? image->getHeight() : m_height);
}

void OGLES2_Texture2D::generateMipmaps() {
    if (m_kind != KIND_TEXTURE || !m_name || !pglGenerateMipmap) return;
    bind();
    M3D_GL(Object, pglGenerateMipmap(GL_TEXTURE_2D));
}

void OGLES2_Texture2D::applyWrapping() {
    if (!m_name) return;
    bind();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, m_wrapS == WRAP_REPEAT ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, m_wrapT == WRAP_REPEAT ? GL_REPEAT : GL_CLAMP_TO_EDGE);
}

void OGLES2_Texture2D::applyFiltering() {
    GLint minFilter, magFilter;
    bool nearest = m_imageFilter == FILTER_NEAREST;
    switch (m_levelFilter) {
    case FILTER_BASE_LEVEL:
        minFilter = magFilter = nearest ? GL_NEAREST : GL_LINEAR;
        break;
    case FILTER_LINEAR:
        minFilter = nearest ? GL_NEAREST_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_LINEAR;
        magFilter = GL_LINEAR;
        break;
    case FILTER_NEAREST:
        minFilter = nearest ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_NEAREST;
        magFilter = GL_NEAREST;
        break;
    default:
        throw Morva3DException("You sure have some weird Filtering modes...");
    }
    if (!m_name) return;
    bind();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
}

void OGLES2_Texture2D::updateRegion(Image2D* image, int x, int y) {
    if (!image || !m_name) return;
    unsigned format = glFormat(m_format);
    const unsigned char* pixels = image->getPixels();
    if (!pixels) return;
    bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    M3D_GL(Object, glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, image->getWidth(), image->getHeight(), format,
                                   GL_UNSIGNED_BYTE, pixels));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void OGLES2_Texture2D::bindAsRenderTarget() {
    if (!m_name || !pglGenFramebuffersEXT || !pglGenRenderbuffers) return;
    if (m_framebuffer < 0) {
        GLuint fb = 0, rb = 0;
        M3D_GL(Framebuffer, pglGenFramebuffersEXT(1, &fb));
        M3D_GL(Framebuffer, pglBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb));
        M3D_GL(Framebuffer, pglGenRenderbuffers(1, &rb));
        M3D_GL(Framebuffer, pglBindRenderbuffer(GL_RENDERBUFFER, rb));
        M3D_GL(Framebuffer, pglRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, m_allocWidth, m_allocHeight));
        M3D_GL(Framebuffer, pglFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                                       m_name, 0));
        M3D_GL(Framebuffer, pglFramebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER, rb));
        m_framebuffer = (int)fb;
        m_depthBuffer = (int)rb;
        // A render target has no mipmaps: sample its base level only.
        m_imageFilter = m_levelFilter;
        m_levelFilter = FILTER_BASE_LEVEL;
        applyFiltering();
        GLenum err = glGetError();
        if (err != GL_NO_ERROR) core::log(core::LOG_RENDERER, "OpenGL ERROR (Texture2D): code = %d (0x%X)\n", err, err);
    }
    M3D_GL(Framebuffer, pglBindFramebufferEXT(GL_FRAMEBUFFER_EXT, (GLuint)m_framebuffer));
    M3D_GL(Framebuffer, pglBindRenderbuffer(GL_RENDERBUFFER, (GLuint)m_depthBuffer));
}

void OGLES2_Texture2D::releaseGL(bool deleteGL) {
    if (m_name && deleteGL && g3d() && g3d()->hasContext()) {
        g3d()->forgetTexture(m_name);
        M3D_GL(Object, glDeleteTextures(1, &m_name));
    }
    m_name = 0;
    // The framebuffer objects belong to the lost context as well.
    m_framebuffer = m_depthBuffer = -1;
}

void OGLES2_Texture2D::restore() {
    if (m_image) {
        setImage(m_image.get());
    } else if (m_kind == KIND_RENDER_TARGET && m_width > 0 && m_height > 0) {
        allocate(m_width, m_height);
    }
}

} // namespace render
