#include "render/Shader.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "render/OGLES2_Graphics3D.h"
#include <cstring>

namespace render {

static const unsigned LOG_SHADER = 0x2000;

const char* Shader::vertexHeader() {
    return "precision mediump float;\n"
           "precision lowp int;\n"
           "#define MAX_LIGHTS            8\n"
           "#define AMBIENT_LIGHT        128.0\n"
           "#define DIRECTIONAL_LIGHT    129.0\n"
           "#define OMNI_LIGHT            130.0\n"
           "#define SPOT_LIGHT            131.0\n"
           "#define EXPONENTIAL_FOG        80.0\n"
           "#define LINEAR_FOG            81.0\n"
           "#define SHADER_FOG_ENABLED       0 \n"
           "#define SHADER_TEXTURING_ENABLED 1 \n"
           "#define SHADER_TEXTURE0_ENABLED  2 \n"
           "#define SHADER_TEXTURE1_ENABLED  3 \n"
           "#define SHADER_TEXTURE2_ENABLED  4 \n"
           "#define SHADER_TEXTURE3_ENABLED  5 \n"
           "#define SHADER_LIGHTS_ENABLED    6 \n"
           "#define SHADER_VERTEXARRAY_COLOR_EXISTS 7 \n"
           "#define SHADER_MATERIAL_VERTEXCOLOR_TRACKING 8 \n"
           "#define SHADER_POINT_SPRITE_ENABLED 9\n"
           "#define SHADER_TABLE_SIZE 10\n"
           "// ATTRIBUTES\n"
           "attribute vec2    m3g_texcoord0;\n"
           "attribute vec2    m3g_texcoord1;\n"
           "attribute vec2    m3g_texcoord2;\n"
           "attribute vec2    m3g_texcoord3;\n"
           "attribute vec3    m3g_position;\n"
           "attribute vec3    m3g_normal;\n"
           "attribute vec4    m3g_color;\n"
           "// UNIFORMS\n"
           "uniform float\t m3g_featuresFlags[SHADER_TABLE_SIZE];\n"
           "uniform mat4    m3g_modelViewProjectionMatrix;\n"
           "uniform mat4    m3g_modelViewMatrix;\n"
           "uniform mat4    m3g_textureMatrix0;\n"
           "uniform mat4    m3g_textureMatrix1;\n"
           "uniform mat4    m3g_textureMatrix2;\n"
           "uniform mat4    m3g_textureMatrix3;\n"
           "uniform mat4    m3g_normalMatrix;\n"
           "uniform vec4    m3g_vertexColor;\n"
           "// LIGHT RELEATED UNIFORMS\n"
           "uniform float   m3g_lightType[MAX_LIGHTS];\n"
           "uniform vec3    m3g_lightDirection[MAX_LIGHTS];\n"
           "uniform mat4    m3g_lightMatrix[MAX_LIGHTS];\n"
           "uniform vec4    m3g_lightAmbient[MAX_LIGHTS];\n"
           "uniform vec4    m3g_lightDiffuse[MAX_LIGHTS];\n"
           "uniform vec4    m3g_lightSpecular[MAX_LIGHTS];\n"
           "uniform vec4    m3g_lightSpotDirection[MAX_LIGHTS];\n"
           "uniform float    m3g_lightConstantAttenuation[MAX_LIGHTS];\n"
           "uniform float    m3g_lightLinearAttenuation[MAX_LIGHTS];\n"
           "uniform float    m3g_lightQuadraticAttenuation[MAX_LIGHTS];\n"
           "uniform float    m3g_lightSpotCutoff[MAX_LIGHTS];\n"
           "uniform float    m3g_lightSpotExponent[MAX_LIGHTS];\n"
           "// MATERIAL RELEATED UNIFORMS\n"
           "uniform vec4    m3g_materialAmbient;\n"
           "uniform vec4    m3g_materialDiffuse;\n"
           "uniform vec4    m3g_materialSpecular;\n"
           "uniform vec4    m3g_materialEmissive;\n"
           "uniform float   m3g_materialShininess;\n"
           "// FOG RELEATED UNIFORMS\n"
           "uniform float    m3g_fogMode;\n"
           "uniform float    m3g_fogDensity;\n"
           "uniform float    m3g_fogNearDistance;\n"
           "uniform float    m3g_fogFarDistance;\n"
           "// GLOBAL VARIABLES\n"
           "vec4    AmbientLight;\n"
           "vec4    DiffuseLight;\n"
           "vec4    SpecularLight;\n"
           "vec4    M3Gposition; \n"
           "vec3    M3Gnormal;\n"
           "// VARYING - Output of vertex shader\n"
           "varying vec2    m3g_out_texcoord[4];\n"
           "varying vec4    m3g_out_vColor;\n"
           "varying float   m3g_out_fogFactor;\n"
           "varying vec4    m3g_out_specularIntensity;\n";
}

const char* Shader::fragmentHeader() {
    return "precision mediump float;\n"
           "precision lowp int;\n"
           "uniform sampler2D    m3g_texture0;\n"
           "uniform sampler2D    m3g_texture1;\n"
           "uniform sampler2D    m3g_texture2;\n"
           "uniform sampler2D    m3g_texture3;\n"
           "uniform float        m3g_textureBlendingMode0;\n"
           "uniform float        m3g_textureBlendingMode1;\n"
           "uniform float        m3g_textureBlendingMode2;\n"
           "uniform float        m3g_textureBlendingMode3;\n"
           "uniform vec4        m3g_textureBlendColor0;\n"
           "uniform vec4        m3g_textureBlendColor1;\n"
           "uniform vec4        m3g_textureBlendColor2;\n"
           "uniform vec4        m3g_textureBlendColor3;\n"
           "uniform float        m3g_alphaTreshold;\n"
           "uniform vec4        m3g_fogColor;\n"
           "varying vec2        m3g_out_texcoord[4];\n"
           "varying vec4        m3g_out_vColor;\n"
           "varying float        m3g_out_fogFactor;\n"
           "varying vec4        m3g_out_specularIntensity;\n";
}

const char* Shader::defaultVertexBody() {
    return "varying highp vec2 texcoord0;\n"
           "void main()                                \n"
           "{                                          \n"
           "    if (m3g_featuresFlags[SHADER_VERTEXARRAY_COLOR_EXISTS] == 1.0)\n"
           "    {\n"
           "        // Vertex color needs to be converted from 0-255 scale to 0-1f scale\n"
           "        m3g_out_vColor = m3g_color * 0.003921568627451;\n"
           "    }\n"
           "    else\n"
           "    {\n"
           "        // Use default vertex color value\n"
           "        m3g_out_vColor = m3g_vertexColor;\n"
           "    }\n"
           "   texcoord0 = vec2( m3g_textureMatrix0 * vec4(m3g_texcoord0,0, 1.0) );     \n"
           "   gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);\n"
           "} \n"
           " \n";
}

const char* Shader::defaultFragmentBody() {
    return "varying highp vec2 texcoord0;\n"
           "void main()                                \n"
           "{                                          \n"
           "\tgl_FragColor = (texture2D(m3g_texture0, texcoord0)*m3g_out_vColor);\n"
           "} \n"
           " \n";
}

void Shader::stripPrecision(char* text) {
    static const char* const qualifiers[] = {"highp", "lowp", "mediump"};
    for (const char* q : qualifiers) {
        size_t n = std::strlen(q);
        for (char* p = std::strstr(text, q); p; p = std::strstr(p + 1, q)) {
            // One blank replaces the word; the rest of the text moves up.
            *p = ' ';
            std::memmove(p + 1, p + n, std::strlen(p + n) + 1);
        }
    }
    for (char* p = std::strstr(text, "precision "); p; p = std::strstr(p, "precision ")) {
        while (*p && *p != ';') {
            if (*p != '\n') *p = ' ';
            ++p;
        }
        if (*p == ';') *p++ = ' ';
    }
}

Shader::Shader(unsigned stage, const char* kindName, const char* header, const core::String& source)
    : m_flags(0), m_source(source), m_glName(0) {
    compile(stage, kindName, header);
}

Shader::Shader(const Shader& other, unsigned stage, const char* kindName, const char* header)
    : Object3D(other), m_flags(other.m_flags), m_source(other.m_source), m_glName(0) {
    compile(stage, kindName, header);
}

Shader::~Shader() {
    if (m_glName != 0) {
        core::log(LOG_SHADER, "Shader : delete shader ID %d\n", (int)m_glName);
        OGLES2_Graphics3D::deleteShader(m_glName);
    }
}

void Shader::compile(unsigned stage, const char* kindName, const char* header) {
    if (!OGLES2_Graphics3D::shadersAvailable()) {
        core::log(0x1, "ShaderError : %s\n", "OpenGL 2.0 shader functions are missing (no GL context)");
        throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "Shader error compiling failed");
    }
    m_glName = OGLES2_Graphics3D::createShader((OGLES2_Graphics3D::ShaderStage)stage, kindName);

    // Only text shaders are made today; a path source would be read through
    // the file system here.
    const char* text = m_source.c_str();
    if (core::logEnabled(LOG_SHADER)) {
        core::log(LOG_SHADER, "** Load shader from ROM\n");
        core::log(LOG_SHADER, "%s", text);
        core::log(LOG_SHADER, "**Shader Code END**\n");
        core::log(LOG_SHADER, "Shader : compile shader ID %d\n", (int)m_glName);
    }

    size_t headerLength = std::strlen(header);
    size_t textLength = std::strlen(text);
    size_t total = headerLength + 1 + textLength + 1;
    char* assembled = static_cast<char*>(core::memoryManager().hwMemAlloc((int)total, M3D_HERE));
    std::memcpy(assembled, header, headerLength);
    assembled[headerLength] = '\n';
    std::memcpy(assembled + headerLength + 1, text, textLength + 1);
    stripPrecision(assembled);
    bool compiled = OGLES2_Graphics3D::compileShader(m_glName, assembled);
    core::memoryManager().hwMemFree(assembled, M3D_HERE);
    if (!compiled) {
        m_glName = 0;
        throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "Shader error compiling failed");
    }
    core::log(LOG_SHADER, "Shader : shader ID %d compiled\n", (int)m_glName);
}

VertexShader::VertexShader(const core::String& source)
    : Shader(OGLES2_Graphics3D::VERTEX_STAGE, "VertexShader", vertexHeader(), source) {}
VertexShader::VertexShader(const VertexShader& other)
    : Shader(other, OGLES2_Graphics3D::VERTEX_STAGE, "VertexShader", vertexHeader()) {}
Object3D* VertexShader::duplicate() const { return M3D_NEW VertexShader(*this); }

FragmentShader::FragmentShader(const core::String& source)
    : Shader(OGLES2_Graphics3D::FRAGMENT_STAGE, "FragmentShader", fragmentHeader(), source) {}
FragmentShader::FragmentShader(const FragmentShader& other)
    : Shader(other, OGLES2_Graphics3D::FRAGMENT_STAGE, "FragmentShader", fragmentHeader()) {}
Object3D* FragmentShader::duplicate() const { return M3D_NEW FragmentShader(*this); }

} // namespace render
