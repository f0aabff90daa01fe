// OGLES2_Graphics3D: the GL side of shaders and programs. Shader and
// ShaderProgram keep the names and the engine-side state (texts, locations,
// uniform caches); every GL call they need is made here: compiling and
// linking with the driver's messages logged, locations, validation,
// deletion, and uniform uploads through the program-in-use cache.
#include "render/OGLES2_Graphics3D.h"
#include "core/DebugLog.h"
#include "core/MemoryManager.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/GLCallCounters.h"
#include <cstring>

namespace render {

static const unsigned LOG_SHADER = 0x2000;

namespace {
// The driver's info log of a shader or program, logged at error level after
// `prefix`; `minLength` is the shortest length worth logging.
template <typename GetLength, typename GetText>
void logInfo(const char* prefix, int minLength, bool clip, GetLength getLength, GetText getText) {
    GLint length = 0;
    M3D_GL(Query, getLength(&length));
    if (length < minLength) return;
    char* info = static_cast<char*>(core::memoryManager().hwMemAlloc(length + 1, M3D_HERE));
    M3D_GL(Query, getText(length, info));
    info[length] = 0;
    if (clip && std::strlen(info) > 900) std::strcpy(info + 897, "..\n");
    core::log(0x1, "%s : %s\n", prefix, info);
    core::memoryManager().hwMemFree(info, M3D_HERE);
}
} // namespace

bool OGLES2_Graphics3D::shadersAvailable() { return pglCreateShader && pglShaderSource && pglCompileShader; }

unsigned OGLES2_Graphics3D::createShader(ShaderStage stage, const char* kindName) {
    unsigned name = M3D_GL(Object, pglCreateShader(stage == VERTEX_STAGE ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER));
    GLenum err = M3D_GL(Query, glGetError());
    if (err != 0) core::log(0x1, "OpenGL Shader ERROR : code = %d (0x%X)\n", (int)err, (unsigned)err);
    core::log(LOG_SHADER, "%s : create shader ID %d\n", kindName, (int)name);
    return name;
}

bool OGLES2_Graphics3D::compileShader(unsigned name, const char* text) {
    const GLchar* sources[1] = {text};
    M3D_GL(Object, pglShaderSource(name, 1, sources, nullptr));
    core::log(LOG_SHADER, "Check shader errors:\n");
    M3D_GL(Object, pglCompileShader(name));
    GLint ok = 0;
    M3D_GL(Query, pglGetShaderiv(name, GL_COMPILE_STATUS, &ok));
    if (ok) return true;
    logInfo(
        "ShaderError", 2, true, [&](GLint* n) { pglGetShaderiv(name, GL_INFO_LOG_LENGTH, n); },
        [&](GLint n, char* out) { pglGetShaderInfoLog(name, n, nullptr, out); });
    deleteShader(name);
    return false;
}

void OGLES2_Graphics3D::deleteShader(unsigned name) { M3D_GL(Object, pglDeleteShader(name)); }

unsigned OGLES2_Graphics3D::linkProgram(unsigned vertexShader, unsigned fragmentShader) {
    unsigned name = M3D_GL(Object, pglCreateProgram());
    M3D_GL(Object, pglAttachShader(name, vertexShader));
    M3D_GL(Object, pglAttachShader(name, fragmentShader));
    core::log(LOG_SHADER, "Shader : link shader program ID : %d\n", (int)name);
    M3D_GL(Object, pglLinkProgram(name));
    GLint ok = 0;
    M3D_GL(Query, pglGetProgramiv(name, GL_LINK_STATUS, &ok));
    if (ok) return name;
    logInfo(
        "Linker ShaderProgramError", 2, false, [&](GLint* n) { pglGetProgramiv(name, GL_INFO_LOG_LENGTH, n); },
        [&](GLint n, char* out) { pglGetProgramInfoLog(name, n, nullptr, out); });
    M3D_GL(Object, pglDeleteProgram(name));
    return 0;
}

void OGLES2_Graphics3D::detachShader(unsigned program, unsigned shader) {
    M3D_GL(Object, pglDetachShader(program, shader));
}

void OGLES2_Graphics3D::deleteProgram(unsigned program) { M3D_GL(Object, pglDeleteProgram(program)); }

int OGLES2_Graphics3D::uniformLocation(unsigned program, const char* name) {
    return M3D_GL(Query, pglGetUniformLocation(program, name));
}

int OGLES2_Graphics3D::attribLocation(unsigned program, const char* name) {
    return M3D_GL(Query, pglGetAttribLocation(program, name));
}

void OGLES2_Graphics3D::validateProgram(unsigned program) {
    M3D_GL(Query, pglValidateProgram(program));
    GLint status = 0;
    M3D_GL(Query, pglGetProgramiv(program, GL_VALIDATE_STATUS, &status));
}

// A uniform belongs to a program: the program is made current through the
// cache (and stays current: the next draw's useProgram switches only if it
// needs another one).
void OGLES2_Graphics3D::uploadUniform(unsigned program, int location, int v) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniform1i(location, v));
    countUniformUpload();
}

void OGLES2_Graphics3D::uploadUniform(unsigned program, int location, float v) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniform1f(location, v));
    countUniformUpload();
}

void OGLES2_Graphics3D::uploadUniform(unsigned program, int location, const slm::vec3& v) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniform3f(location, v.x, v.y, v.z));
    countUniformUpload();
}

void OGLES2_Graphics3D::uploadUniform(unsigned program, int location, const slm::vec4& v) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniform4f(location, v.x, v.y, v.z, v.w));
    countUniformUpload();
}

void OGLES2_Graphics3D::uploadUniform(unsigned program, int location, const slm::mat4& m) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniformMatrix4fv(location, 1, GL_FALSE, m.m));
    countUniformUpload();
}

void OGLES2_Graphics3D::uploadUniformArray(unsigned program, int location, int count, const float* values) {
    bindProgram(program);
    M3D_GL(Uniform, pglUniform1fv(location, count, values));
    countUniformUpload();
}

} // namespace render
