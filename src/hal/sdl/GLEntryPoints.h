// The OpenGL 2.0, buffer-object and framebuffer-object entry points the
// renderer calls through pointers. They are resolved once a context is
// current (HAL::Display::loadGLFunctions); OpenGL 1.1 functions are linked
// directly. Only the renderer's GL back end calls these.
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

namespace HAL {

// Resolves every entry point with `getProcAddress`; a name it cannot find is
// tried without its EXT/ARB suffix, then logged as a warning
// (" can not load glMapBuffer function"). Returns the number still missing.
int loadGLEntryPoints(void* (*getProcAddress)(const char* name));

} // namespace HAL

// The pointer table. Each entry is named after its GL function with a "p"
// prefix so that it never clashes with a linked symbol.
#define M3D_GL_ENTRY_POINTS(X)                                                                     \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                                     \
    X(PFNGLUSEPROGRAMPROC, glUseProgram)                                                           \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                                           \
    X(PFNGLGETATTRIBLOCATIONPROC, glGetAttribLocation)                                             \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                                     \
    X(PFNGLUNIFORM1IVPROC, glUniform1iv)                                                           \
    X(PFNGLUNIFORM1IPROC, glUniform1i)                                                             \
    X(PFNGLUNIFORM1FVPROC, glUniform1fv)                                                           \
    X(PFNGLUNIFORM1FPROC, glUniform1f)                                                             \
    X(PFNGLUNIFORM2FPROC, glUniform2f)                                                             \
    X(PFNGLUNIFORM3FPROC, glUniform3f)                                                             \
    X(PFNGLUNIFORM4FPROC, glUniform4f)                                                             \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv)                                               \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)                                 \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)                                         \
    X(PFNGLBINDBUFFERPROC, glBindBuffer)                                                           \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray)                               \
    X(PFNGLBUFFERDATAPROC, glBufferData)                                                           \
    X(PFNGLGENBUFFERSPROC, glGenBuffers)                                                           \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                                                     \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                                     \
    X(PFNGLDETACHSHADERPROC, glDetachShader)                                                       \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                                             \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                                       \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                                         \
    X(PFNGLVALIDATEPROGRAMPROC, glValidateProgram)                                                 \
    X(PFNGLISPROGRAMPROC, glIsProgram)                                                             \
    X(PFNGLATTACHSHADERPROC, glAttachShader)                                                       \
    X(PFNGLISSHADERPROC, glIsShader)                                                               \
    X(PFNGLGENERATEMIPMAPPROC, glGenerateMipmap)                                                   \
    X(PFNGLCREATESHADERPROC, glCreateShader)                                                       \
    X(PFNGLDELETESHADERPROC, glDeleteShader)                                                       \
    X(PFNGLSHADERSOURCEPROC, glShaderSource)                                                       \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                                         \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                                               \
    X(PFNGLCOMPILESHADERPROC, glCompileShader)                                                     \
    X(PFNGLCLIENTACTIVETEXTUREARBPROC, glClientActiveTexture)                                       \
    X(PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT)                                     \
    X(PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT)                                           \
    X(PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT)                                           \
    X(PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT)                                 \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                                   \
    X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                                               \
    X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                                               \
    X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)                                         \
    X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)                                         \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)                                 \
    X(PFNGLBUFFERSUBDATAARBPROC, glBufferSubDataARB)                                               \
    X(PFNGLMAPBUFFERARBPROC, glMapBufferARB)                                                       \
    X(PFNGLUNMAPBUFFERARBPROC, glUnmapBufferARB)

#define M3D_GL_DECLARE(Type, Name) extern Type p##Name;
M3D_GL_ENTRY_POINTS(M3D_GL_DECLARE)
#undef M3D_GL_DECLARE
