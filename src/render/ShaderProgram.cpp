#include "render/ShaderProgram.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "render/OGLES2_Graphics3D.h"
#include <cstdio>
#include <cstring>

namespace render {

static const unsigned LOG_SHADER = 0x2000;

ShaderProgram::ShaderProgram(Graphics3D* graphics, VertexShader* vs, FragmentShader* fs, bool validate)
    : m_vertexShader(vs), m_fragmentShader(fs), m_glName(0), m_lightsVersion(-1), m_validate(validate),
      m_owner(dynamic_cast<OGLES2_Graphics3D*>(graphics)), m_featuresKnown(false) {
    if (!m_owner) {
        core::log(0x2, "Can not create a shader because Graphics3D is OGLES 1.x\n");
        return;
    }
    m_owner->addProgram(this);
    try {
        link();
    } catch (...) {
        m_owner->removeProgram(this);
        throw;
    }
}

ShaderProgram::ShaderProgram(const ShaderProgram& other)
    : Object3D(other), m_glName(0), m_lightsVersion(-1), m_validate(other.m_validate), m_owner(other.m_owner),
      m_featuresKnown(false) {
    if (other.m_vertexShader) m_vertexShader = static_cast<VertexShader*>(other.m_vertexShader->duplicate());
    if (other.m_fragmentShader)
        m_fragmentShader = static_cast<FragmentShader*>(other.m_fragmentShader->duplicate());
    if (!m_owner) return;
    m_owner->addProgram(this);
    try {
        link();
    } catch (...) {
        m_owner->removeProgram(this);
        throw;
    }
}

Object3D* ShaderProgram::duplicate() const { return M3D_NEW ShaderProgram(*this); }

ShaderProgram::~ShaderProgram() {
    if (m_owner) m_owner->removeProgram(this);
    if (m_glName == 0) return;
    if (m_vertexShader) {
        core::log(LOG_SHADER, "detach vertex shader   : %d\n", (int)m_vertexShader->getGLName());
        OGLES2_Graphics3D::detachShader(m_glName, m_vertexShader->getGLName());
    }
    if (m_fragmentShader) {
        core::log(LOG_SHADER, "detach fragment shader : %d\n", (int)m_fragmentShader->getGLName());
        OGLES2_Graphics3D::detachShader(m_glName, m_fragmentShader->getGLName());
    }
    m_vertexShader.release();
    m_fragmentShader.release();
    core::log(LOG_SHADER, "delete shader program  : %d\n", (int)m_glName);
    OGLES2_Graphics3D::deleteProgram(m_glName);
    // GL reuses names: the renderer must not believe a later program with
    // this name is already in use.
    if (m_owner) m_owner->forgetProgram(m_glName);
}

void ShaderProgram::link() {
    if (!m_vertexShader || !m_fragmentShader || !m_owner->hasContext()) {
        core::log(0x1, "Linker ShaderProgramError : %s\n",
                  m_owner->hasContext() ? "a shader is missing" : "no OpenGL context");
        m_vertexShader.release();
        m_fragmentShader.release();
        throw ShaderException("UNKNOWN", "UNKNOWN", 0, "ShaderProgram error linking failed");
    }
    m_glName = OGLES2_Graphics3D::linkProgram(m_vertexShader->getGLName(), m_fragmentShader->getGLName());
    if (m_glName == 0) {
        m_vertexShader.release();
        m_fragmentShader.release();
        throw ShaderException("UNKNOWN", "UNKNOWN", 0, "ShaderProgram error linking failed");
    }
    resolveLocations();
}

void ShaderProgram::resolveLocations() {
    m_locations.resize(LOCATION_COUNT, -1);
    static const char* const attributes[] = {"m3g_position", "m3g_normal", "m3g_texcoord0",
                                             "m3g_texcoord1", "m3g_texcoord2", "m3g_texcoord3"};
    for (int i = 0; i < 6; ++i) m_locations[i] = getShaderAttribID(attributes[i]);
    m_locations[COLOR] = getShaderAttribID("m3g_color");
    static const struct {
        int index;
        const char* name;
    } uniforms[] = {{FEATURES_FLAGS, "m3g_featuresFlags"},
                    {TEXTURE0, "m3g_texture0"},
                    {TEXTURE0 + 1, "m3g_texture1"},
                    {TEXTURE0 + 2, "m3g_texture2"},
                    {TEXTURE0 + 3, "m3g_texture3"},
                    {MODEL_VIEW_PROJECTION, "m3g_modelViewProjectionMatrix"},
                    {MODEL_VIEW, "m3g_modelViewMatrix"},
                    {TEXTURE_MATRIX0, "m3g_textureMatrix0"},
                    {TEXTURE_MATRIX0 + 1, "m3g_textureMatrix1"},
                    {TEXTURE_MATRIX0 + 2, "m3g_textureMatrix2"},
                    {TEXTURE_MATRIX0 + 3, "m3g_textureMatrix3"},
                    {NORMAL_MATRIX, "m3g_normalMatrix"},
                    {VERTEX_COLOR, "m3g_vertexColor"},
                    {ALPHA_THRESHOLD, "m3g_alphaTreshold"},
                    {TEXTURE_BLENDING_MODE0, "m3g_textureBlendingMode0"},
                    {TEXTURE_BLENDING_MODE0 + 1, "m3g_textureBlendingMode1"},
                    {TEXTURE_BLENDING_MODE0 + 2, "m3g_textureBlendingMode2"},
                    {TEXTURE_BLENDING_MODE0 + 3, "m3g_textureBlendingMode3"},
                    {TEXTURE_BLEND_COLOR0, "m3g_textureBlendColor0"},
                    {TEXTURE_BLEND_COLOR0 + 1, "m3g_textureBlendColor1"},
                    {TEXTURE_BLEND_COLOR0 + 2, "m3g_textureBlendColor2"},
                    {TEXTURE_BLEND_COLOR0 + 3, "m3g_textureBlendColor3"},
                    {MATERIAL_SHININESS, "m3g_materialShininess"},
                    {MATERIAL_AMBIENT, "m3g_materialAmbient"},
                    {MATERIAL_DIFFUSE, "m3g_materialDiffuse"},
                    {MATERIAL_SPECULAR, "m3g_materialSpecular"},
                    {MATERIAL_EMISSIVE, "m3g_materialEmissive"},
                    {FOG_MODE, "m3g_fogMode"},
                    {FOG_COLOR, "m3g_fogColor"},
                    {FOG_DENSITY, "m3g_fogDensity"},
                    {FOG_NEAR, "m3g_fogNearDistance"},
                    {FOG_FAR, "m3g_fogFarDistance"},
                    {WORLD_MATRIX, "m3g_worldMatrix"},
                    {VIEW_MATRIX, "m3g_viewMatrix"}};
    for (const auto& u : uniforms) m_locations[u.index] = getShaderUniformID(u.name);
    static const char* const lightFields[] = {
        "m3g_lightType[%d]",          "m3g_lightMatrix[%d]",           "m3g_lightDirection[%d]",
        "m3g_lightDiffuse[%d]",       "m3g_lightSpecular[%d]",         "m3g_lightAmbient[%d]",
        "m3g_lightSpotDirection[%d]", "m3g_lightConstantAttenuation[%d]", "m3g_lightLinearAttenuation[%d]",
        "m3g_lightQuadraticAttenuation[%d]", "m3g_lightSpotCutoff[%d]", "m3g_lightSpotExponent[%d]"};
    for (int i = 0; i < 8; ++i) {
        for (int f = 0; f < 12; ++f) {
            char name[64];
            std::snprintf(name, sizeof name, lightFields[f], i);
            m_locations[LIGHT_BASE + 20 * i + f + 1] = getShaderUniformID(name);
        }
    }
}

int ShaderProgram::getShaderUniformID(const core::String& name) const {
    if (m_glName == 0) return -1;
    int location = OGLES2_Graphics3D::uniformLocation(m_glName, name.c_str());
    core::log(LOG_SHADER, "getShaderUniformID %s = %d\n", name.c_str(), location);
    return location;
}

int ShaderProgram::getShaderAttribID(const core::String& name) const {
    if (m_glName == 0) return -1;
    int location = OGLES2_Graphics3D::attribLocation(m_glName, name.c_str());
    core::log(LOG_SHADER, "getShaderAttribID %s = %d\n", name.c_str(), location);
    return location;
}

void ShaderProgram::validate() const {
    if (!m_validate || m_glName == 0) return;
    core::log(LOG_SHADER, "ShaderProgram validation is enabled (slower)\n");
    OGLES2_Graphics3D::validateProgram(m_glName);
}

// Validates (when asked to) and uploads through the renderer, which makes
// this program current; without a renderer there is no context to upload to.
template <typename T> void ShaderProgram::upload(int location, const T& value) {
    if (!m_owner) return;
    validate();
    m_owner->uploadUniform(m_glName, location, value);
}

template <typename T>
bool ShaderProgram::cacheHit(core::Vector<T>& cache, core::Vector<char>& known, int location, const T& value,
                             bool (*same)(const T&, const T&)) {
    if (location >= cache.size()) {
        cache.resize(location + 1);
        known.resize(location + 1, 0);
    }
    if (known[location] && same(cache[location], value)) return true;
    cache[location] = value;
    known[location] = 1;
    return false;
}

namespace {
bool sameInt(const int& a, const int& b) { return a == b; }
bool sameFloat(const float& a, const float& b) { return a == b; }
bool sameVec4(const slm::vec4& a, const slm::vec4& b) { return a == b; }
bool sameMat4(const slm::mat4& a, const slm::mat4& b) { return slm::equal(a, b); }
} // namespace

void ShaderProgram::setUniform(int location, float v) {
    if (location < 0 || cacheHit(m_floatCache, m_floatKnown, location, v, sameFloat)) return;
    upload(location, v);
}

void ShaderProgram::setUniform(int location, const slm::vec3& v) {
    if (location < 0 || cacheHit(m_vectorCache, m_vectorKnown, location, slm::vec4(v, 0.0f), sameVec4)) return;
    upload(location, v);
}

void ShaderProgram::setUniform(int location, const slm::vec4& v) {
    if (location < 0 || cacheHit(m_vectorCache, m_vectorKnown, location, v, sameVec4)) return;
    upload(location, v);
}

void ShaderProgram::setUniform(int location, const slm::mat4& m) {
    if (location < 0 || cacheHit(m_matrixCache, m_matrixKnown, location, m, sameMat4)) return;
    upload(location, m);
}

void ShaderProgram::setFeatures(int location, const float* flags) {
    if (location < 0) return;
    if (m_featuresKnown && std::memcmp(m_features, flags, sizeof m_features) == 0) return;
    std::memcpy(m_features, flags, sizeof m_features);
    m_featuresKnown = true;
    if (!m_owner) return;
    validate();
    m_owner->uploadUniformArray(m_glName, location, FEATURE_COUNT, flags);
}

void ShaderProgram::setSampler(int location, int unit) {
    if (location < 0 || cacheHit(m_intCache, m_intKnown, location, unit, sameInt)) return;
    upload(location, unit);
}

} // namespace render
