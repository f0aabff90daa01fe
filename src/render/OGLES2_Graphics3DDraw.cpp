// OGLES2_Graphics3D: the draw sequence of one submesh (program, lights,
// vertex attributes, appearance, matrices, the draw call) and the uniform
// state it uploads.
#include "render/OGLES2_Graphics3D.h"
#include "core/DebugLog.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/Appearance.h"
#include "render/ArgbColor.h"
#include "render/GLCallCounters.h"
#include "render/IndexBuffer.h"
#include "render/VertexBuffer.h"

namespace render {

static const unsigned LOG_G3D = 0x1000;

namespace {
// Translation by bias, scaled by `scale` unless it is exactly 1.
slm::mat4 decodeMatrix(const float* bias, float scale) {
    slm::mat4 m = slm::translation(slm::vec3(bias[0], bias[1], bias[2]));
    if (scale != 1.0f) m = m * slm::scale(scale);
    return m;
}
} // namespace

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

void OGLES2_Graphics3D::setLight(const LightConfig* light) {
    if (!light) {
        for (int i = 0; i < MAX_LIGHTS; ++i) m_lightSlots[i].type = 0;
    } else if (light->index >= 0 && light->index < MAX_LIGHTS) {
        m_lightSlots[light->index] = *light;
    }
    ++m_lightsVersion;
}

void OGLES2_Graphics3D::onCameraChanged() { m_viewProjection = m_projection * m_view; }

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
        // A spot light has a position too: without its matrix a program
        // could not tell where the cone starts.
        if (c.type == 130 || c.type == 131) p->setUniform(loc(2), c.matrix);
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
                // An empty unit samples the 1 x 1 white texture: a program
                // that multiplies by every unit (the default one does, by
                // unit 0) then shows the colours unchanged, where an unbound
                // unit would sample black. The unit's feature flag stays 0.
                Texture2D* white = m_whiteTexture.get();
                bindTexture(unit, white ? white->getGLName() : 0);
                m_features[FEATURE_TEXTURE0 + unit] = 0.0f;
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

void OGLES2_Graphics3D::uploadMatrices() {
    ShaderProgram* p = m_currentProgram.get();
    if (!p) return;
    for (int n = 0; n < m_textureMatrixCount && n < TEXTURE_UNITS; ++n)
        p->setUniform(p->getLocation(ShaderProgram::TEXTURE_MATRIX0 + n), m_textureMatrices[n]);
    slm::mat4 modelDecode = m_model * m_positionDecode;
    p->setUniform(p->getLocation(ShaderProgram::MODEL_VIEW_PROJECTION), m_viewProjection * modelDecode);
    p->setUniform(p->getLocation(ShaderProgram::MODEL_VIEW), m_positionDecode);
    // Programs that light in eye space (the standard one) take the world and
    // view matrices apart; the others do not declare them and skip both.
    p->setUniform(p->getLocation(ShaderProgram::WORLD_MATRIX), modelDecode);
    p->setUniform(p->getLocation(ShaderProgram::VIEW_MATRIX), m_view);
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
    setPointSprites(ib->getPrimitiveType() == IndexBuffer::POINT_SPRITES, m_pointSize);
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
        M3D_GL(Draw, glDrawElements(GL_POINTS, n, GL_UNSIGNED_SHORT, nullptr));
        m_stats.triangles += n;
        break;
    default:
        break;
    }
}

} // namespace render
