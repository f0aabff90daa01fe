// OGLES2_Graphics3D: the context's life cycle (creation, loss, destruction),
// capability queries, the GL defaults, the program and texture factories and
// the render-target framebuffer. The state cache is in
// OGLES2_Graphics3DState.cpp, the draw sequence in OGLES2_Graphics3DDraw.cpp,
// buffer objects and attributes in OGLES2_Graphics3DBuffers.cpp.
#include "render/OGLES2_Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/GLCallCounters.h"
#include "render/OGLES2_Texture2D.h"
#include "render/PolygonMode.h"
#include "render/RenderTarget.h"
#include "render/StandardProgram.h"
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace render {

static const unsigned LOG_G3D = 0x1000;

OGLES2_Graphics3D::OGLES2_Graphics3D()
    : OGLES_Graphics3D(TYPE_OPENGL_ES_2), m_programInUse(0), m_pointSize(1.0f), m_lightsVersion(0),
      m_contextCreated(false) {
    for (int i = 0; i < FEATURE_COUNT; ++i) m_features[i] = 0.0f;
    invalidateStateCache();
}

OGLES2_Graphics3D::~OGLES2_Graphics3D() {
    if (m_contextCreated) makeCurrent();
    // Batchers, font and overlay hold textures and buffers: they go first.
    releaseTextObjects();
    detachAllTextures();
    if (m_contextCreated) bindProgram(0);
    // GL objects go while their context still exists.
    m_currentProgram.release();
    m_forcedProgram.release();
    m_defaultProgram.release();
    m_standardProgram.release();
    m_defaultAppearance.release();
    m_camera.release();
    for (int i = 0; i < m_programs.size(); ++i) m_programs[i]->detachGraphics();
    m_programs.clear();
    detachAllBuffers();
    if (m_contextCreated) destroyContext();
}

// ---- context ----

bool OGLES2_Graphics3D::readPixels(int width, int height, unsigned char* rgba) {
    if (!m_display || !m_display->getGLContext() || width <= 0 || height <= 0) return false;
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    } // earlier errors are not this read's
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return glGetError() == GL_NO_ERROR;
}

void OGLES2_Graphics3D::present() {
    if (m_config.present)
        m_config.present();
    else if (m_display)
        m_display->swapBuffers();
}

bool OGLES2_Graphics3D::makeCurrent() {
    if (m_config.makeCurrent) return m_config.makeCurrent();
    return m_display ? m_display->makeCurrent() : false;
}

namespace {
// A software GL driver allocates its per-draw vertex storage with malloc and
// frees it after the draw: for a big batch (thousands of glyph quads) that
// is megabytes every frame. With the C library's default trim threshold the
// freed top of the heap goes back to the system after each draw and the next
// draw faults every page in again, which costs several times the draw
// itself. Keeping up to 32 MiB of freed heap ends that churn.
void keepDriverScratchMemory() {
#if defined(__GLIBC__) && defined(M_TRIM_THRESHOLD)
    static bool done = false;
    if (done) return;
    done = true;
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
#endif
}
} // namespace

bool OGLES2_Graphics3D::createContext() {
    keepDriverScratchMemory();
    bool ok = false;
    if (m_config.createContext) {
        ok = m_config.createContext();
    } else if (m_display) {
        ok = m_display->createGLContext();
        if (ok) m_display->loadGLFunctions();
    }
    m_contextCreated = ok;
    invalidateStateCache();
    return ok;
}

void OGLES2_Graphics3D::destroyContext() {
    // The default and standard programs' GL objects die with the context:
    // delete them while it is current, so the next context builds its own
    // from the text.
    if (m_contextCreated) {
        m_currentProgram.release();
        m_defaultProgram.release();
        m_standardProgram.release();
    }
    if (m_config.destroyContext)
        m_config.destroyContext();
    else if (m_display)
        m_display->deleteGLContext();
    m_contextCreated = false;
    invalidateStateCache();
}

bool OGLES2_Graphics3D::queryDisplay(int what) { return m_config.queryDisplay ? m_config.queryDisplay(what) : true; }

void OGLES2_Graphics3D::queryCapabilities() {
    GLint dims[2] = {0, 0};
    M3D_GL(Query, glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims));
    m_caps.maxViewportWidth = dims[0];
    m_caps.maxViewportHeight = dims[1];
    m_caps.maxViewportDimension = dims[0] < dims[1] ? dims[0] : dims[1];
    m_caps.numTextureUnits = TEXTURE_UNITS;
    for (int i = 0; i < TEXTURE_UNITS; ++i) m_textureMatrices[i] = slm::mat4();
    GLint maxTexture = 0;
    M3D_GL(Query, glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture));
    m_caps.maxTextureDimension = maxTexture;
    GLfloat range[2] = {1.0f, 1.0f};
    M3D_GL(Query, glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, range));
    m_caps.pointSizeMin = range[0];
    m_caps.pointSizeMax = range[1];
}

void OGLES2_Graphics3D::setDefaults() {
    if (!m_contextCreated) {
        // Without a context there is nothing to set up or compile; every
        // draw and clear is skipped until a reset brings one.
        core::log(0x1, "Graphics3D: no OpenGL context, drawing is switched off\n");
        return;
    }
    if (m_display) {
        M3D_GL(ClearDepth, glClearDepth(1.0));
        setLineWidth(1.0f);
        setDepthFunc(GL_LEQUAL);
        setWinding(PolygonMode::WINDING_CCW);
    }
    createDefaultShaderProgram();
    if (m_activeTexture > 0) selectTextureUnit(0);
}

void OGLES2_Graphics3D::createDefaultShaderProgram() {
    core::log(LOG_G3D, "createDefaultShaderProgram\n");
    core::Ref<VertexShader> vs;
    core::Ref<FragmentShader> fs;
    if (m_forcedProgram) {
        vs = m_forcedProgram->getVertexShader();
        fs = m_forcedProgram->getFragmentShader();
    } else if (m_defaultProgram) {
        vs = m_defaultProgram->getVertexShader();
        fs = m_defaultProgram->getFragmentShader();
    } else {
        vs = M3D_NEW VertexShader(Shader::defaultVertexBody());
        fs = M3D_NEW FragmentShader(Shader::defaultFragmentBody());
    }
    m_defaultProgram = createNewShaderProgram(vs.get(), fs.get(), false);
}

ShaderProgram* OGLES2_Graphics3D::getStandardProgram() {
    // Linked on first use: a program costs start-up time on a software
    // renderer, and most scripts draw with their own.
    if (!m_standardProgram && m_contextCreated) {
        core::Ref<VertexShader> vs(M3D_NEW VertexShader(core::String(StandardProgram::vertexBody())));
        core::Ref<FragmentShader> fs(M3D_NEW FragmentShader(core::String(StandardProgram::fragmentBody())));
        m_standardProgram = createNewShaderProgram(vs.get(), fs.get(), false);
    }
    return m_standardProgram.get();
}

ShaderProgram* OGLES2_Graphics3D::createNewShaderProgram(VertexShader* vs, FragmentShader* fs, bool validate) {
    return M3D_NEW ShaderProgram(this, vs, fs, validate);
}

void OGLES2_Graphics3D::addProgram(ShaderProgram* p) { m_programs.append(p); }

void OGLES2_Graphics3D::removeProgram(ShaderProgram* p) {
    for (int i = 0; i < m_programs.size(); ++i) {
        if (m_programs[i] != p) continue;
        for (int j = i + 1; j < m_programs.size(); ++j) m_programs[j - 1] = m_programs[j];
        m_programs.resize(m_programs.size() - 1);
        return;
    }
}

void OGLES2_Graphics3D::bindTargetFramebuffer() {
    Texture2D* t = m_target ? m_target->getTexture() : nullptr;
    if (!t || !m_contextCreated) return;
    if (t->getGLName() == 0 && t->getAllocatedWidth() > 0 && t->getAllocatedHeight() > 0) t->restore();
    t->bindAsRenderTarget();
}

Texture2D* OGLES2_Graphics3D::createNewTexture(int kind, int format, int width, int height) {
    OGLES2_Texture2D* t = M3D_NEW OGLES2_Texture2D(this, kind, format);
    if (width >= 1 && height >= 1) {
        try {
            t->allocate(width, height);
        } catch (...) {
            delete t;
            throw;
        }
    }
    addTexture(t);
    return t;
}

void OGLES2_Graphics3D::unbindFramebuffer() {
    if (pglBindFramebufferEXT) M3D_GL(Framebuffer, pglBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0));
}

void OGLES2_Graphics3D::copyFramebufferToTexture(unsigned name, int, int width, int height) {
    bindTextureForUpdate(name);
    M3D_GL(Framebuffer, glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height));
}

} // namespace render
