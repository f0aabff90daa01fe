#include "render/OGLES2_Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/Appearance.h"
#include "render/GLCallCounters.h"
#include "render/IndexBuffer.h"
#include "render/OGLES2_Texture2D.h"
#include "render/RenderTarget.h"
#include "render/VertexBuffer.h"
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace render {

static const unsigned LOG_G3D = 0x1000;

namespace {
slm::vec4 argbToVec4(unsigned argb) {
    return slm::vec4((float)((argb >> 16) & 0xFF) / 255.0f, (float)((argb >> 8) & 0xFF) / 255.0f,
                     (float)(argb & 0xFF) / 255.0f, (float)((argb >> 24) & 0xFF) / 255.0f);
}
slm::vec4 rgbToVec4(unsigned argb) {
    slm::vec4 v = argbToVec4(argb);
    v.w = 1.0f;
    return v;
}
// Translation by bias, scaled by `scale` unless it is exactly 1.
slm::mat4 decodeMatrix(const float* bias, float scale) {
    slm::mat4 m = slm::translation(slm::vec3(bias[0], bias[1], bias[2]));
    if (scale != 1.0f) m = m * slm::scale(scale);
    return m;
}
} // namespace

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
    if (m_contextCreated) {

        M3D_GL(UseProgram, pglUseProgram(0));
        m_programInUse = 0;
    }
    // GL objects go while their context still exists.
    m_currentProgram.release();
    m_forcedProgram.release();
    m_defaultProgram.release();
    m_defaultAppearance.release();
    m_camera.release();
    for (int i = 0; i < m_programs.size(); ++i) m_programs[i]->detachGraphics();
    m_programs.clear();
    detachAllBuffers();
    if (m_contextCreated) destroyContext();
}

void OGLES2_Graphics3D::invalidateStateCache() {
    m_clearColor = 0;
    m_clearColorKnown = false;
    m_depthFunc = m_depthMask = m_depthTest = -1;
    m_colorWrite = m_alphaWrite = -1;
    m_polygonOffset = -1;
    m_cullEnabled = m_cullFace = m_frontFace = -1;
    m_lineWidth = -1.0f;
    m_blendEnabled = m_blendSrc = m_blendDst = -1;
    m_stencilEnabled = m_texture2DEnabled = -1;
    m_activeTexture = -1;
    for (int i = 0; i < TEXTURE_BINDINGS; ++i) m_textureBindings[i] = -1;
    m_arrayBuffer = m_elementBuffer = -1;
    m_depthRangeKnown = false;
    m_enabledAttribs = 0;
    m_enabledAttribsKnown = false;
    for (int i = 0; i < MAX_ATTRIBS; ++i) m_attribs[i].known = false;
    m_lastMaterial = nullptr;
    m_lastPolygonMode = nullptr;
    m_lastCompositingMode = nullptr;
    m_lastAppearance = nullptr;
    m_lastMaterialCounter = m_lastPolygonModeCounter = m_lastCompositingModeCounter = -1;
    m_lastMaterialProgram = m_lastCompositingProgram = 0;
    // The program in use is the one cache without an "unknown" value: the
    // programs compare their names with it, so it is put in a known state.
    m_programInUse = 0;
    m_currentProgram.release();
    if (m_contextCreated && pglUseProgram) M3D_GL(UseProgram, pglUseProgram(0));
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
    // The default program's GL objects die with the context: delete them
    // while it is current, so the next context builds its own from the text.
    if (m_contextCreated) {
        m_currentProgram.release();
        m_defaultProgram.release();
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
        if (m_depthFunc != GL_LEQUAL) {
            M3D_GL(DepthFunc, glDepthFunc(GL_LEQUAL));
            m_depthFunc = GL_LEQUAL;
        }
        setWinding(168);
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

void OGLES2_Graphics3D::forgetProgram(unsigned name) {
    if (m_programInUse == name) {
        // Deleting the program in use leaves GL on it until another is
        // chosen; point GL at none so the cache and GL agree.
        M3D_GL(UseProgram, pglUseProgram(0));
        m_programInUse = 0;
    }
    if (m_lastMaterialProgram == name) m_lastMaterialProgram = 0;
    if (m_lastCompositingProgram == name) m_lastCompositingProgram = 0;
}

void OGLES2_Graphics3D::setShaderProgram(ShaderProgram* program) {
    m_forcedProgram = program;
    if (!program) {
        m_currentProgram.release();
        if (m_programInUse != 0) M3D_GL(UseProgram, pglUseProgram(0));
        m_programInUse = 0;
    }
}

void OGLES2_Graphics3D::useProgram(ShaderProgram* program) {
    if (program->getGLName() != m_programInUse) {
        M3D_GL(UseProgram, pglUseProgram(program->getGLName()));
        m_programInUse = program->getGLName();
        resetTextureBindings();
    }
    if (m_currentProgram.get() != program) m_currentProgram = program;
}

// ---- simple state ----

void OGLES2_Graphics3D::enableCap(unsigned cap, int& cache, bool on) {
    if (cache == (on ? 1 : 0)) return;
    if (on)
        M3D_GL(Enable, glEnable(cap));
    else
        M3D_GL(Enable, glDisable(cap));
    cache = on ? 1 : 0;
}

void OGLES2_Graphics3D::setDepthRange(float zNear, float zFar) {
    if (m_depthRangeKnown && zNear == m_depthNear && zFar == m_depthFar) return;
    m_depthNear = zNear;
    m_depthFar = zFar;
    m_depthRangeKnown = true;
    M3D_GL(DepthRange, glDepthRange(zNear, zFar));
}

void OGLES2_Graphics3D::setViewportGL(int x, int y, int width, int height) {
    M3D_GL(Viewport, glViewport(x, y, width, height));
}

void OGLES2_Graphics3D::clearBuffers(unsigned argb, bool depth, bool color) {
    if (!m_contextCreated) return;
    if (!m_clearColorKnown || argb != m_clearColor) {
        m_clearColor = argb;
        m_clearColorKnown = true;
        slm::vec4 c = argbToVec4(argb);
        M3D_GL(ClearColor, glClearColor(c.x, c.y, c.z, c.w));
    }
    GLbitfield mask = GL_STENCIL_BUFFER_BIT;
    if (depth) mask |= GL_DEPTH_BUFFER_BIT;
    if (color) mask |= GL_COLOR_BUFFER_BIT;
    // glClear honours the depth mask: with writes off the depth clear would
    // do nothing, so they are switched on around it (also when the cache
    // does not know the mask, after invalidateStateCache).
    bool switchMask = depth && m_depthMask != 1;
    if (switchMask) M3D_GL(DepthMask, glDepthMask(GL_TRUE));
    M3D_GL(Clear, glClear(mask));
    if (switchMask && m_depthMask == 0)
        M3D_GL(DepthMask, glDepthMask(GL_FALSE));
    else if (switchMask)
        m_depthMask = 1;
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

void OGLES2_Graphics3D::bindTextureForUpdate(unsigned name) {
    selectTextureUnit(0);
    if (m_textureBindings[0] == (int)name) return;
    M3D_GL(BindTexture, glBindTexture(GL_TEXTURE_2D, name));
    m_textureBindings[0] = (int)name;
}

void OGLES2_Graphics3D::forgetTexture(unsigned name) {
    for (int i = 0; i < TEXTURE_BINDINGS; ++i)
        if (m_textureBindings[i] == (int)name) m_textureBindings[i] = -1;
}

void OGLES2_Graphics3D::setFog(Fog* fog) {
    m_features[FEATURE_FOG] = fog ? 1.0f : 0.0f;
    ShaderProgram* p = m_currentProgram.get();
    if (!fog || !p) return;
    p->setUniform(p->getLocation(ShaderProgram::FOG_MODE), (float)fog->getMode());
    p->setUniform(p->getLocation(ShaderProgram::FOG_COLOR), rgbToVec4(fog->getColor()));
    p->setUniform(p->getLocation(ShaderProgram::FOG_DENSITY), fog->getDensity());
    p->setUniform(p->getLocation(ShaderProgram::FOG_NEAR), fog->getNearDistance());
    p->setUniform(p->getLocation(ShaderProgram::FOG_FAR), fog->getFarDistance());
}

void OGLES2_Graphics3D::setTextureBlend(Texture2D* texture, int unit) {
    ShaderProgram* p = m_currentProgram.get();
    if (!p || !texture || unit < 0 || unit >= TEXTURE_UNITS) return;
    p->setUniform(p->getLocation(ShaderProgram::TEXTURE_BLENDING_MODE0 + unit), (float)texture->getBlending());
    p->setUniform(p->getLocation(ShaderProgram::TEXTURE_BLEND_COLOR0 + unit), argbToVec4(texture->getBlendColor()));
}

void OGLES2_Graphics3D::unbindFramebuffer() {
    if (pglBindFramebufferEXT) M3D_GL(Framebuffer, pglBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0));
}

void OGLES2_Graphics3D::setLight(const LightConfig* light) {
    if (!light) {
        for (int i = 0; i < MAX_LIGHTS; ++i) m_lightSlots[i].type = 0;
    } else if (light->index >= 0 && light->index < MAX_LIGHTS) {
        m_lightSlots[light->index] = *light;
    }
    ++m_lightsVersion;
}

void OGLES2_Graphics3D::onCameraChanged() { m_viewProjection = m_projection * m_view; }

void OGLES2_Graphics3D::copyFramebufferToTexture(unsigned name, int, int width, int height) {
    resetTextureBindings();
    selectTextureUnit(0);
    M3D_GL(BindTexture, glBindTexture(GL_TEXTURE_2D, name));
    M3D_GL(Framebuffer, glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height));
}

void OGLES2_Graphics3D::resetTextureBindings() {
    for (int i = 0; i < TEXTURE_BINDINGS; ++i) m_textureBindings[i] = -1;
}

void OGLES2_Graphics3D::selectTextureUnit(int unit) {
    if (unit == m_activeTexture) return;
    M3D_GL(ActiveTexture, pglActiveTexture(GL_TEXTURE0 + unit));
    if (pglClientActiveTexture) M3D_GL(ActiveTexture, pglClientActiveTexture(GL_TEXTURE0 + unit));
    m_activeTexture = unit;
}

// ---- the draw ----

// Steps 7 to 11 of a draw: points every attribute the program reads at the
// vertex buffer's regions and builds the position and texture decode matrices.
void OGLES2_Graphics3D::bindVertexArrays(VertexBuffer* vb, Appearance* appearance, ShaderProgram* program) {
    // 7. positions
    if (VertexArray* positions = vb->getPositions()) {
        m_positionDecode = decodeMatrix(vb->getPositionBias(), vb->getPositionScale());
        setPositions(positions, vb->getPositionRegion().offset);
    }
    // 8. colours
    CompositingMode* cm = appearance && appearance->getCompositingMode()
                              ? appearance->getCompositingMode()
                              : (m_defaultAppearance ? m_defaultAppearance->getCompositingMode() : nullptr);
    VertexArray* colors = vb->getColors();
    bool bindColors = colors && m_config.flags[GraphicsConfig::VERTEX_COLORS] && (!lightingOn() || m_lightCount == 0);
    if (bindColors && cm && cm->getColorValue() != -1) {
        // A compositing colour value keeps the colour attribute as it was.
        int location = program->getLocation(ShaderProgram::COLOR);
        if (location >= 0 && location < MAX_ATTRIBS && (m_enabledAttribs & (1u << location)))
            m_drawAttribs |= 1u << location;
    } else {
        setColors(bindColors ? colors : nullptr, vb->getDefaultColor(), vb->getColorRegion().offset);
    }
    // 9. normals
    setNormals(vb->getNormals(), vb->getNormalRegion().offset);
    // 10. texture coordinates
    for (int unit = 0; unit < m_caps.numTextureUnits && unit < TEXTURE_UNITS; ++unit) {
        VertexBuffer::TexCoordContainer* t = vb->getTexCoords(unit);
        if (t && t->array && m_config.flags[GraphicsConfig::TEXTURING]) {
            m_textureMatrices[unit] = decodeMatrix(t->bias, t->scale);
            setTexCoords(unit, t->array.get(), t->region.offset);
        }
    }
    // 11. custom attributes
    for (int i = 0; i < vb->getAttributeCount(); ++i) {
        VertexBuffer::AttributeStorage* a = vb->getAttribute(i);
        if (!a->array) continue;
        int location = program->getShaderAttribID(a->name);
        attribPointer(location, a->array->getComponentCount(),
                      (unsigned)glTypeForComponentSize(a->array->getComponentSize()), false, a->region.offset);
    }
}

void OGLES2_Graphics3D::renderSubmesh(VertexBuffer* vb, IndexBuffer* ib, Appearance* appearance,
                                      const slm::mat4& transform, int) {
    if (!vb || !ib || !m_contextCreated) return;
    // 1. vertex data
    vb->prepare(*this);
    bindVBO(vb->getVBO(), true);
    // 2.
    resetDrawState();
    // 3. program: forced, else the appearance's, else the default
    ShaderProgram* program = m_forcedProgram.get();
    if (program) {
        program->validate();
    } else {
        program = appearance && appearance->getShaderProgram() ? appearance->getShaderProgram() : m_defaultProgram.get();
    }
    if (!program || program->getGLName() == 0) return;
    useProgram(program);
    // 5.
    m_model = transform;
    // 6. the default light when the scene has none of its own, then dirty slots
    addDefaultLightIfNeeded();
    sendDirtyLights();
    // 7-11. positions, colours, normals, texture coordinates, custom attributes
    bindVertexArrays(vb, appearance, program);
    syncAttribArrays();
    // 12. point sprites
    if (ib->getPrimitiveType() == IndexBuffer::POINT_SPRITES) {
        m_textureMatrixCount = 1;
        m_features[FEATURE_TEXTURING] = 1.0f;
        m_features[FEATURE_POINT_SPRITE] = 1.0f;
    }
    // 13.
    applyAppearance(appearance);
    // 14.
    uploadMatrices();
    // 15.
    uploadLights();
    // 16.
    program->setFeatures(program->getLocation(ShaderProgram::FEATURES_FLAGS), m_features);
    // 17.
    drawIndexed(ib);
}

bool OGLES2_Graphics3D::lightingOn() const {
    return m_config.flags[GraphicsConfig::LIGHTING_ALLOWED] && m_lightingEnabled;
}

void OGLES2_Graphics3D::sendDirtyLights() {
    if (!lightingOn()) return;
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        LightConfig& c = m_lightConfigs[i];
        if (!c.dirty || c.index < 0 || c.index >= MAX_LIGHTS) continue;
        setLight(&c);
        c.dirty = 0;
    }
}

// The light uniforms go to a program only when the light slots changed since
// it last received them (the lights version); the flag is set every draw.
void OGLES2_Graphics3D::uploadLights() {
    if (!lightingOn()) {
        m_features[FEATURE_LIGHTS] = 0.0f;
        return;
    }
    bool any = false;
    for (int i = 0; i < MAX_LIGHTS; ++i)
        if (m_lightSlots[i].type != 0) any = true;
    m_features[FEATURE_LIGHTS] = any ? 1.0f : 0.0f;
    ShaderProgram* p = m_currentProgram.get();
    if (!p || p->getLightsVersion() == m_lightsVersion) return;
    p->setLightsVersion(m_lightsVersion);
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        const LightConfig& c = m_lightSlots[i];
        auto loc = [&](int field) { return p->getLocation(ShaderProgram::LIGHT_BASE + 20 * i + field); };
        // Fields of a light group: 1 type, 2 matrix, 3 direction, 4 diffuse,
        // 5 specular, 6 ambient, 7 spot direction, 8-10 attenuation, 11 cutoff, 12 exponent.
        if (c.type == 0) {
            p->setUniform(loc(1), 0.0f);
            continue;
        }
        p->setUniform(loc(3), slm::vec3(c.direction[0], c.direction[1], c.direction[2]));
        p->setUniform(loc(4), slm::vec4(c.diffuse[0], c.diffuse[1], c.diffuse[2], c.diffuse[3]));
        p->setUniform(loc(6), slm::vec4(c.ambient[0], c.ambient[1], c.ambient[2], c.ambient[3]));
        p->setUniform(loc(11), c.spotCutoff);
        p->setUniform(loc(12), c.spotExponent);
        p->setUniform(loc(8), c.attenuation[0]);
        p->setUniform(loc(9), c.attenuation[1]);
        p->setUniform(loc(10), c.attenuation[2]);
        p->setUniform(loc(1), (float)c.type);
        if (c.type == 131)
            p->setUniform(loc(7), slm::vec4(c.spotDirection[0], c.spotDirection[1], c.spotDirection[2], c.spotDirection[3]));
        else if (c.type == 130)
            p->setUniform(loc(2), c.matrix);
    }
}

void OGLES2_Graphics3D::applyAppearance(Appearance* appearance) {
    Appearance* def = m_defaultAppearance.get();
    auto pick = [&](auto get) { return appearance && (appearance->*get)() ? (appearance->*get)() : (def ? (def->*get)() : nullptr); };
    Material* material = pick(&Appearance::getMaterial);
    PolygonMode* polygonMode = pick(&Appearance::getPolygonMode);
    CompositingMode* compositing = pick(&Appearance::getCompositingMode);
    unsigned program = m_programInUse;

    // Components are compared every draw: an appearance that stays the same
    // may still have had a component changed since the last draw. Uniform
    // state (material, alpha threshold) is also re-sent to a new program,
    // whose own caches filter what it already has.
    if (material && (material != m_lastMaterial || material->getModificationCounter() != m_lastMaterialCounter ||
                     program != m_lastMaterialProgram)) {
        setMaterial(material);
        m_lastMaterial = material;
        m_lastMaterialCounter = material->getModificationCounter();
        m_lastMaterialProgram = program;
    }
    m_features[FEATURE_MATERIAL_TRACKING] = material && material->isVertexColorTrackingEnabled() ? 1.0f : 0.0f;
    if (polygonMode &&
        (polygonMode != m_lastPolygonMode || polygonMode->getModificationCounter() != m_lastPolygonModeCounter)) {
        applyPolygonMode(polygonMode);
        m_lastPolygonMode = polygonMode;
        m_lastPolygonModeCounter = polygonMode->getModificationCounter();
    }
    if (compositing && (compositing != m_lastCompositingMode ||
                        compositing->getModificationCounter() != m_lastCompositingModeCounter ||
                        program != m_lastCompositingProgram)) {
        applyCompositingMode(compositing);
        m_lastCompositingMode = compositing;
        m_lastCompositingModeCounter = compositing->getModificationCounter();
        m_lastCompositingProgram = program;
    }
    // Fog: the program's uniform cache keeps unchanged values from GL.
    setFog(appearance ? appearance->getFog() : nullptr);
    if (m_config.flags[GraphicsConfig::TEXTURING]) {
        for (int unit = 0; unit < m_caps.numTextureUnits && unit < TEXTURE_UNITS; ++unit) {
            Texture2D* t = appearance ? appearance->getTexture(unit) : nullptr;
            if (!t) {
                bindTexture(unit, 0);
                continue;
            }
            int w = t->getWidth(), h = t->getHeight();
            if (w > 0 && h > 0) m_pointSize = (float)(w < h ? w : h);
            m_textureMatrices[unit] = t->getCompositeTransform() * m_textureMatrices[unit];
            if (unit >= m_textureMatrixCount) m_textureMatrixCount = unit + 1;
            bindTexture(unit, t->getGLName());
            setTextureBlend(t, unit);
        }
    }
    m_lastAppearance = appearance;
}

void OGLES2_Graphics3D::applyPolygonMode(PolygonMode* p) {
    setCulling(p->getCulling());
    setShading(p->getShading());
    setTwoSidedLighting(p->isTwoSidedLightingEnabled());
    setPerspectiveCorrection(p->isPerspectiveCorrectionEnabled());
    if (p->isLocalCameraLightingEnabled()) core::log(LOG_G3D, "LocalCameraLighting does not provide functionality\n");
    setWinding(p->getWinding());
    setLineWidth(p->getLineWidth());
}

void OGLES2_Graphics3D::applyCompositingMode(CompositingMode* c) {
    setBlending(c->getBlending());
    setColorMaskAndOffset(c->getDepthOffsetFactor(), c->getDepthOffsetUnits(), c->isColorWriteEnabled(),
                          c->isAlphaWriteEnabled());
    setDepth(c->isDepthWriteEnabled(), c->isDepthTestEnabled(), c->getDepthFunc());
    setAlphaThreshold(c->getAlphaThreshold());
    setStencil(false, 0, 0, 0, 0, 0, 0);
}

void OGLES2_Graphics3D::setMaterial(Material* m) {
    ShaderProgram* p = m_currentProgram.get();
    if (!p || !m) return;
    if (!m->isVertexColorTrackingEnabled()) {
        m_features[FEATURE_MATERIAL_TRACKING] = 0.0f;
        p->setUniform(p->getLocation(ShaderProgram::MATERIAL_AMBIENT), rgbToVec4(m->getAmbient()));
        p->setUniform(p->getLocation(ShaderProgram::MATERIAL_DIFFUSE), argbToVec4(m->getDiffuse()));
    } else {
        p->setUniform(p->getLocation(ShaderProgram::MATERIAL_AMBIENT), slm::vec4(0.2f, 0.2f, 0.2f, 1.0f));
        p->setUniform(p->getLocation(ShaderProgram::MATERIAL_DIFFUSE), slm::vec4(0.8f, 0.2f, 0.2f, 1.0f));
        m_features[FEATURE_MATERIAL_TRACKING] = 1.0f;
    }
    p->setUniform(p->getLocation(ShaderProgram::MATERIAL_EMISSIVE), rgbToVec4(m->getEmissive()));
    p->setUniform(p->getLocation(ShaderProgram::MATERIAL_SPECULAR), rgbToVec4(m->getSpecular()));
    p->setUniform(p->getLocation(ShaderProgram::MATERIAL_SHININESS), m->getShininess());
}

void OGLES2_Graphics3D::setAlphaThreshold(float threshold) {
    if (m_currentProgram) m_currentProgram->setUniform(m_currentProgram->getLocation(ShaderProgram::ALPHA_THRESHOLD), threshold);
}

void OGLES2_Graphics3D::setShading(int) {}
void OGLES2_Graphics3D::setTwoSidedLighting(bool) {}
void OGLES2_Graphics3D::setPerspectiveCorrection(bool) {}

void OGLES2_Graphics3D::setCulling(int mode) {
    if (mode == 160 || mode == 161) {
        enableCap(GL_CULL_FACE, m_cullEnabled, true);
        int face = mode == 160 ? GL_BACK : GL_FRONT;
        if (m_cullFace != face) {
            M3D_GL(CullFace, glCullFace((GLenum)face));
            m_cullFace = face;
        }
    } else if (mode == 162) {
        enableCap(GL_CULL_FACE, m_cullEnabled, false);
    }
}

void OGLES2_Graphics3D::setWinding(int mode) {
    int face = mode == 168 ? GL_CCW : mode == 169 ? GL_CW : -1;
    if (face == -1 || face == m_frontFace) return;
    M3D_GL(FrontFace, glFrontFace((GLenum)face));
    m_frontFace = face;
}

void OGLES2_Graphics3D::setLineWidth(float width) {
    if (width == m_lineWidth) return;
    M3D_GL(LineWidth, glLineWidth(width));
    m_lineWidth = width;
}

void OGLES2_Graphics3D::setBlending(int mode) {
    enableCap(GL_BLEND, m_blendEnabled, true);
    int src, dst;
    switch (mode) {
    case 64: src = GL_SRC_ALPHA; dst = GL_ONE_MINUS_SRC_ALPHA; break;
    case 65: src = GL_SRC_ALPHA; dst = GL_ONE; break;
    case 66: src = GL_DST_COLOR; dst = GL_ZERO; break;
    case 67: src = GL_DST_COLOR; dst = GL_SRC_COLOR; break;
    case 68: src = GL_ONE; dst = GL_ZERO; break;
    default: return; // unknown modes keep the previous function
    }
    if (src == m_blendSrc && dst == m_blendDst) return;
    M3D_GL(BlendFunc, glBlendFunc((GLenum)src, (GLenum)dst));
    m_blendSrc = src;
    m_blendDst = dst;
}

void OGLES2_Graphics3D::setColorMaskAndOffset(float factor, float units, bool colorWrite, bool alphaWrite) {
    if (m_colorWrite != (colorWrite ? 1 : 0) || m_alphaWrite != (alphaWrite ? 1 : 0)) {
        GLboolean c = colorWrite ? GL_TRUE : GL_FALSE;
        M3D_GL(ColorMask, glColorMask(c, c, c, alphaWrite ? GL_TRUE : GL_FALSE));
        m_colorWrite = colorWrite ? 1 : 0;
        m_alphaWrite = alphaWrite ? 1 : 0;
    }
    if (factor == 0.0f || units == 0.0f) {
        if (m_polygonOffset != 0) {
            M3D_GL(PolygonOffset, glDisable(GL_POLYGON_OFFSET_FILL));
            m_polygonOffset = 0;
        }
    } else if (m_polygonOffset != 1) {
        M3D_GL(PolygonOffset, glEnable(GL_POLYGON_OFFSET_FILL));
        M3D_GL(PolygonOffset, glPolygonOffset(factor, units));
        m_polygonOffset = 1;
    }
}

void OGLES2_Graphics3D::setDepth(bool write, bool test, int func) {
    if (func != m_depthFunc) {
        M3D_GL(DepthFunc, glDepthFunc((GLenum)func));
        m_depthFunc = func;
    }
    if (m_depthMask != (write ? 1 : 0)) {
        M3D_GL(DepthMask, glDepthMask(write ? GL_TRUE : GL_FALSE));
        m_depthMask = write ? 1 : 0;
    }
    enableCap(GL_DEPTH_TEST, m_depthTest, test);
}

void OGLES2_Graphics3D::setStencil(bool enable, int func, int ref, unsigned mask, int sfail, int zfail, int zpass) {
    if (!enable) {
        enableCap(GL_STENCIL_TEST, m_stencilEnabled, false);
        return;
    }
    enableCap(GL_STENCIL_TEST, m_stencilEnabled, true);
    M3D_GL(Stencil, glStencilFunc((GLenum)func, ref, mask));
    M3D_GL(Stencil, glStencilOp((GLenum)sfail, (GLenum)zfail, (GLenum)zpass));
}

void OGLES2_Graphics3D::bindTexture(int unit, unsigned name) {
    if (unit < 0 || unit >= TEXTURE_BINDINGS) return;
    if (unit < 4) m_features[FEATURE_TEXTURE0 + unit] = name >= 1 ? 1.0f : 0.0f;
    if (m_textureBindings[unit] == (int)name) return;
    if (m_currentProgram) {
        m_currentProgram->setSampler(unit, m_currentProgram->getLocation(ShaderProgram::TEXTURE0 + unit), name);
    } else {
        selectTextureUnit(unit);
        M3D_GL(BindTexture, glBindTexture(GL_TEXTURE_2D, name));
        m_textureBindings[unit] = (int)name;
    }
}

void OGLES2_Graphics3D::uploadMatrices() {
    ShaderProgram* p = m_currentProgram.get();
    if (!p) return;
    for (int n = 0; n < m_textureMatrixCount && n < TEXTURE_UNITS; ++n)
        p->setUniform(p->getLocation(ShaderProgram::TEXTURE_MATRIX0 + n), m_textureMatrices[n]);
    slm::mat4 modelDecode = m_model * m_positionDecode;
    p->setUniform(p->getLocation(ShaderProgram::MODEL_VIEW_PROJECTION), m_viewProjection * modelDecode);
    p->setUniform(p->getLocation(ShaderProgram::MODEL_VIEW), m_positionDecode);
    int normalLocation = p->getLocation(ShaderProgram::NORMAL_MATRIX);
    if (normalLocation >= 0) {
        slm::mat4 normal = m_view * modelDecode;
        normal.m[12] = normal.m[13] = normal.m[14] = 0.0f;
        p->setUniform(normalLocation, normal);
    }
}

void OGLES2_Graphics3D::drawIndexed(IndexBuffer* ib) {
    if (!ib->getOwner()) ib->setOwner(this);
    ib->prepare();
    bindVBO(ib->getVBO(), true);
    int n = ib->getDrawCount();
    ++m_stats.drawCalls;
    if (n <= 0) return;
    switch (ib->getPrimitiveType()) {
    case IndexBuffer::TRIANGLE_STRIP:
        M3D_GL(Draw, glDrawElements(GL_TRIANGLE_STRIP, n, GL_UNSIGNED_SHORT, nullptr));
        m_stats.triangles += n - 2;
        break;
    case IndexBuffer::TRIANGLES:
        M3D_GL(Draw, glDrawElements(GL_TRIANGLES, n, GL_UNSIGNED_SHORT, nullptr));
        m_stats.triangles += n / 3;
        break;
    case IndexBuffer::LINES:
        M3D_GL(Draw, glDrawElements(GL_LINES, n, GL_UNSIGNED_SHORT, nullptr));
        m_stats.lines += n / 2;
        break;
    case IndexBuffer::POINT_SPRITES:
        enableCap(GL_TEXTURE_2D, m_texture2DEnabled, true);
        M3D_GL(Enable, glEnable(GL_POINT_SPRITE));
        M3D_GL(TexEnv, glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 1.0f));
        M3D_GL(PointSize, glPointSize(m_pointSize));
        M3D_GL(Draw, glDrawElements(GL_POINTS, n, GL_UNSIGNED_SHORT, nullptr));
        M3D_GL(TexEnv, glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 0.0f));
        M3D_GL(Enable, glDisable(GL_POINT_SPRITE));
        m_stats.triangles += n;
        break;
    default:
        break;
    }
}

} // namespace render
