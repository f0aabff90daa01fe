// OGLES2_Graphics3D: the GL state cache. Every setter compares with the
// cached value and calls GL only on a change; -1 (or a "known" flag) marks a
// value the cache does not know, after a new context.
#include "render/OGLES2_Graphics3D.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/ArgbColor.h"
#include "render/CompositingMode.h"
#include "render/GLCallCounters.h"
#include "render/PolygonMode.h"
#include <cstring>

namespace render {

void OGLES2_Graphics3D::invalidateStateCache() {
    m_clearColor = 0;
    m_clearColorKnown = false;
    m_depthFunc = m_depthMask = m_depthTest = -1;
    m_colorWrite = m_alphaWrite = -1;
    m_polygonOffset = -1;
    m_offsetFactor = m_offsetUnits = 0.0f;
    m_stencilKnown = false;
    m_stencilFunc = m_stencilRef = m_stencilFail = m_stencilZFail = m_stencilZPass = -1;
    m_stencilMask = 0;
    m_pointSpriteEnabled = -1;
    m_pointSizeSet = -1.0f;
    m_viewportKnown = false;
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

void OGLES2_Graphics3D::bindProgram(unsigned name) {
    if (name == m_programInUse) return;
    M3D_GL(UseProgram, pglUseProgram(name));
    m_programInUse = name;
}

void OGLES2_Graphics3D::forgetProgram(unsigned name) {
    // Deleting the program in use leaves GL on it until another is chosen;
    // point GL at none so the cache and GL agree.
    if (m_programInUse == name) bindProgram(0);
    if (m_lastMaterialProgram == name) m_lastMaterialProgram = 0;
    if (m_lastCompositingProgram == name) m_lastCompositingProgram = 0;
}

void OGLES2_Graphics3D::setShaderProgram(ShaderProgram* program) {
    m_forcedProgram = program;
    if (!program) {
        m_currentProgram.release();
        bindProgram(0);
    }
}

// Texture bindings belong to the units, not to the program: they stay valid
// across a switch (each program's samplers are cached by the program).
void OGLES2_Graphics3D::useProgram(ShaderProgram* program) {
    bindProgram(program->getGLName());
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
    const int v[4] = {x, y, width, height};
    if (m_viewportKnown && std::memcmp(v, m_viewportGL, sizeof v) == 0) return;
    std::memcpy(m_viewportGL, v, sizeof v);
    m_viewportKnown = true;
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
    // do nothing, so they are switched on around it (and stay on when the
    // cache did not know the mask, after invalidateStateCache).
    bool restoreOff = depth && m_depthMask == 0;
    if (depth) setDepthMask(true);
    M3D_GL(Clear, glClear(mask));
    if (restoreOff) setDepthMask(false);
}

// The texture's own calls that follow act on the active unit: unit 0 is
// selected even when the name is bound there already.
void OGLES2_Graphics3D::bindTextureForUpdate(unsigned name) {
    selectTextureUnit(0);
    bindTextureUnit(0, name);
}

void OGLES2_Graphics3D::bindTextureUnit(int unit, unsigned name) {
    if (m_textureBindings[unit] == (int)name) return;
    selectTextureUnit(unit);
    M3D_GL(BindTexture, glBindTexture(GL_TEXTURE_2D, name));
    m_textureBindings[unit] = (int)name;
}

void OGLES2_Graphics3D::forgetTexture(unsigned name) {
    for (int i = 0; i < TEXTURE_BINDINGS; ++i)
        if (m_textureBindings[i] == (int)name) m_textureBindings[i] = -1;
}

void OGLES2_Graphics3D::selectTextureUnit(int unit) {
    if (unit == m_activeTexture) return;
    M3D_GL(ActiveTexture, pglActiveTexture(GL_TEXTURE0 + unit));
    if (pglClientActiveTexture) M3D_GL(ActiveTexture, pglClientActiveTexture(GL_TEXTURE0 + unit));
    m_activeTexture = unit;
}

void OGLES2_Graphics3D::setShading(int) {}
void OGLES2_Graphics3D::setTwoSidedLighting(bool) {}
void OGLES2_Graphics3D::setPerspectiveCorrection(bool) {}

void OGLES2_Graphics3D::setCulling(int mode) {
    if (mode == PolygonMode::CULL_BACK || mode == PolygonMode::CULL_FRONT) {
        enableCap(GL_CULL_FACE, m_cullEnabled, true);
        int face = mode == PolygonMode::CULL_BACK ? GL_BACK : GL_FRONT;
        if (m_cullFace != face) {
            M3D_GL(CullFace, glCullFace((GLenum)face));
            m_cullFace = face;
        }
    } else if (mode == PolygonMode::CULL_NONE) {
        enableCap(GL_CULL_FACE, m_cullEnabled, false);
    }
}

void OGLES2_Graphics3D::setWinding(int mode) {
    int face = mode == PolygonMode::WINDING_CCW ? GL_CCW : mode == PolygonMode::WINDING_CW ? GL_CW : -1;
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
    case CompositingMode::ALPHA: src = GL_SRC_ALPHA; dst = GL_ONE_MINUS_SRC_ALPHA; break;
    case CompositingMode::ALPHA_ADD: src = GL_SRC_ALPHA; dst = GL_ONE; break;
    case CompositingMode::MODULATE: src = GL_DST_COLOR; dst = GL_ZERO; break;
    case CompositingMode::MODULATE_X2: src = GL_DST_COLOR; dst = GL_SRC_COLOR; break;
    case CompositingMode::REPLACE: src = GL_ONE; dst = GL_ZERO; break;
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
    // Offset is on only when both factor and units are non-zero; the pair
    // is compared as well, so a new pair reaches GL while offset stays on.
    bool on = factor != 0.0f && units != 0.0f;
    if (m_polygonOffset != (on ? 1 : 0)) {
        if (on)
            M3D_GL(PolygonOffset, glEnable(GL_POLYGON_OFFSET_FILL));
        else
            M3D_GL(PolygonOffset, glDisable(GL_POLYGON_OFFSET_FILL));
    }
    if (on && (m_polygonOffset != 1 || factor != m_offsetFactor || units != m_offsetUnits)) {
        M3D_GL(PolygonOffset, glPolygonOffset(factor, units));
        m_offsetFactor = factor;
        m_offsetUnits = units;
    }
    m_polygonOffset = on ? 1 : 0;
}

void OGLES2_Graphics3D::setDepthFunc(int func) {
    if (func == m_depthFunc) return;
    M3D_GL(DepthFunc, glDepthFunc((GLenum)func));
    m_depthFunc = func;
}

void OGLES2_Graphics3D::setDepthMask(bool write) {
    if (m_depthMask == (write ? 1 : 0)) return;
    M3D_GL(DepthMask, glDepthMask(write ? GL_TRUE : GL_FALSE));
    m_depthMask = write ? 1 : 0;
}

void OGLES2_Graphics3D::setDepth(bool write, bool test, int func) {
    setDepthFunc(func);
    setDepthMask(write);
    enableCap(GL_DEPTH_TEST, m_depthTest, test);
}

void OGLES2_Graphics3D::setStencil(bool enable, int func, int ref, unsigned mask, int sfail, int zfail, int zpass) {
    if (!enable) {
        enableCap(GL_STENCIL_TEST, m_stencilEnabled, false);
        return;
    }
    enableCap(GL_STENCIL_TEST, m_stencilEnabled, true);
    if (!m_stencilKnown || func != m_stencilFunc || ref != m_stencilRef || mask != m_stencilMask) {
        M3D_GL(Stencil, glStencilFunc((GLenum)func, ref, mask));
        m_stencilFunc = func;
        m_stencilRef = ref;
        m_stencilMask = mask;
    }
    if (!m_stencilKnown || sfail != m_stencilFail || zfail != m_stencilZFail || zpass != m_stencilZPass) {
        M3D_GL(Stencil, glStencilOp((GLenum)sfail, (GLenum)zfail, (GLenum)zpass));
        m_stencilFail = sfail;
        m_stencilZFail = zfail;
        m_stencilZPass = zpass;
    }
    m_stencilKnown = true;
}

// Coordinate replacement is state of the active texture unit: sprites
// replace the coordinates of unit 0, which the sprite shaders sample.
void OGLES2_Graphics3D::setPointSprites(bool on, float size) {
    if (m_pointSpriteEnabled != (on ? 1 : 0)) {
        selectTextureUnit(0);
        if (on) {
            M3D_GL(Enable, glEnable(GL_POINT_SPRITE));
            M3D_GL(TexEnv, glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 1.0f));
        } else {
            M3D_GL(TexEnv, glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 0.0f));
            M3D_GL(Enable, glDisable(GL_POINT_SPRITE));
        }
        m_pointSpriteEnabled = on ? 1 : 0;
    }
    if (on && size != m_pointSizeSet) {
        M3D_GL(PointSize, glPointSize(size));
        m_pointSizeSet = size;
    }
}

void OGLES2_Graphics3D::bindTexture(int unit, unsigned name) {
    if (unit < 0 || unit >= TEXTURE_BINDINGS) return;
    if (unit < 4) m_features[FEATURE_TEXTURE0 + unit] = name >= 1 ? 1.0f : 0.0f;
    if (m_currentProgram) m_currentProgram->setSampler(m_currentProgram->getLocation(ShaderProgram::TEXTURE0 + unit), unit);
    bindTextureUnit(unit, name);
}

} // namespace render
