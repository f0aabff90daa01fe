#include "render/ShaderProgram.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/GLCallCounters.h"
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
        M3D_GL(Object, pglDetachShader(m_glName, m_vertexShader->getGLName()));
    }
    if (m_fragmentShader) {
        core::log(LOG_SHADER, "detach fragment shader : %d\n", (int)m_fragmentShader->getGLName());
        M3D_GL(Object, pglDetachShader(m_glName, m_fragmentShader->getGLName()));
    }
    m_vertexShader.release();
    m_fragmentShader.release();
    core::log(LOG_SHADER, "delete shader program  : %d\n", (int)m_glName);
    M3D_GL(Object, pglDeleteProgram(m_glName));
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
    m_glName = M3D_GL(Object, pglCreateProgram());
    M3D_GL(Object, pglAttachShader(m_glName, m_vertexShader->getGLName()));
    M3D_GL(Object, pglAttachShader(m_glName, m_fragmentShader->getGLName()));
    core::log(LOG_SHADER, "Shader : link shader program ID : %d\n", (int)m_glName);

    M3D_GL(Object, pglLinkProgram(m_glName));
    GLint ok = 0;
    M3D_GL(Query, pglGetProgramiv(m_glName, GL_LINK_STATUS, &ok));
    if (!ok) {
        GLint length = 0;
        M3D_GL(Query, pglGetProgramiv(m_glName, GL_INFO_LOG_LENGTH, &length));
        if (length > 1) {
            char* info = static_cast<char*>(core::memoryManager().hwMemAlloc(length + 1, M3D_HERE));
            M3D_GL(Query, pglGetProgramInfoLog(m_glName, length, nullptr, info));
            info[length] = 0;
            core::log(0x1, "Linker ShaderProgramError : %s\n", info);
            core::memoryManager().hwMemFree(info, M3D_HERE);
        }
        M3D_GL(Object, pglDeleteProgram(m_glName));
        m_glName = 0;
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
    int location = M3D_GL(Query, pglGetUniformLocation(m_glName, name.c_str()));
    core::log(LOG_SHADER, "getShaderUniformID %s = %d\n", name.c_str(), location);
    return location;
}

int ShaderProgram::getShaderAttribID(const core::String& name) const {
    if (m_glName == 0) return -1;
    int location = M3D_GL(Query, pglGetAttribLocation(m_glName, name.c_str()));
    core::log(LOG_SHADER, "getShaderAttribID %s = %d\n", name.c_str(), location);
    return location;
}

void ShaderProgram::validate() const {
    if (!m_validate || m_glName == 0) return;
    core::log(LOG_SHADER, "ShaderProgram validation is enabled (slower)\n");
    M3D_GL(Query, pglValidateProgram(m_glName));
    GLint status = 0;
    M3D_GL(Query, pglGetProgramiv(m_glName, GL_VALIDATE_STATUS, &status));
}

// Uploads through `u` with this program current, restoring the program the
// renderer had in use afterwards; counts one uniform upload.
template <typename Upload> void ShaderProgram::upload(Upload u) {
    validate();
    unsigned inUse = m_owner ? m_owner->getProgramInUse() : 0;
    if (inUse != m_glName) {
        M3D_GL(UseProgram, pglUseProgram(m_glName));
        u();
        M3D_GL(UseProgram, pglUseProgram(inUse));
    } else {
        u();
    }
    if (m_owner) m_owner->countUniformUpload();
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
bool sameFloat(const float& a, const float& b) { return a == b; }
bool sameVec4(const slm::vec4& a, const slm::vec4& b) { return a == b; }
bool sameMat4(const slm::mat4& a, const slm::mat4& b) { return slm::equal(a, b); }
} // namespace

void ShaderProgram::setUniform(int location, float v) {
    if (location < 0 || cacheHit(m_floatCache, m_floatKnown, location, v, sameFloat)) return;
    upload([&] { M3D_GL(Uniform, pglUniform1f(location, v)); });
}

void ShaderProgram::setUniform(int location, const slm::vec3& v) {
    if (location < 0 || cacheHit(m_vectorCache, m_vectorKnown, location, slm::vec4(v, 0.0f), sameVec4)) return;
    upload([&] { M3D_GL(Uniform, pglUniform3f(location, v.x, v.y, v.z)); });
}

void ShaderProgram::setUniform(int location, const slm::vec4& v) {
    if (location < 0 || cacheHit(m_vectorCache, m_vectorKnown, location, v, sameVec4)) return;
    upload([&] { M3D_GL(Uniform, pglUniform4f(location, v.x, v.y, v.z, v.w)); });
}

void ShaderProgram::setUniform(int location, const slm::mat4& m) {
    if (location < 0 || cacheHit(m_matrixCache, m_matrixKnown, location, m, sameMat4)) return;
    upload([&] { M3D_GL(Uniform, pglUniformMatrix4fv(location, 1, GL_FALSE, m.m)); });
}

void ShaderProgram::setFeatures(int location, const float* flags) {
    if (location < 0) return;
    if (m_featuresKnown && std::memcmp(m_features, flags, sizeof m_features) == 0) return;
    std::memcpy(m_features, flags, sizeof m_features);
    m_featuresKnown = true;
    upload([&] { M3D_GL(Uniform, pglUniform1fv(location, FEATURE_COUNT, flags)); });
}

void ShaderProgram::setSampler(int unit, int location, unsigned name) {
    if (location < 0 || !m_owner) return;
    unsigned inUse = m_owner->getProgramInUse();
    if (m_owner->getTextureBinding(unit) != (int)name || inUse != m_glName) {
        if (inUse != m_glName) m_owner->resetTextureBindings();
        m_owner->setTextureBinding(unit, (int)name);
        m_owner->selectTextureUnit(unit);
        M3D_GL(BindTexture, glBindTexture(GL_TEXTURE_2D, name));
        if (inUse != m_glName) M3D_GL(UseProgram, pglUseProgram(m_glName));
        M3D_GL(Uniform, pglUniform1i(location, unit));
        if (inUse != m_glName) M3D_GL(UseProgram, pglUseProgram(inUse));
    }
    m_owner->countUniformUpload();
}

} // namespace render
