#include "hal/sdl/GLEntryPoints.h"
#include "core/DebugLog.h"
#include <cstring>

#define M3D_GL_DEFINE(Type, Name) Type p##Name = nullptr;
M3D_GL_ENTRY_POINTS(M3D_GL_DEFINE)
#undef M3D_GL_DEFINE

namespace HAL {
namespace {

// The name without a trailing EXT or ARB ("glMapBufferARB" -> "glMapBuffer").
void coreName(const char* name, char* out, size_t size) {
    std::strncpy(out, name, size - 1);
    out[size - 1] = 0;
    size_t n = std::strlen(out);
    if (n > 3 && (std::strcmp(out + n - 3, "EXT") == 0 || std::strcmp(out + n - 3, "ARB") == 0)) out[n - 3] = 0;
}

void* resolve(void* (*getProcAddress)(const char*), const char* name, int& missing) {
    void* p = getProcAddress(name);
    char plain[64];
    coreName(name, plain, sizeof plain);
    if (!p && std::strcmp(plain, name) != 0) p = getProcAddress(plain);
    if (!p) {
        core::log(core::LOG_WARNING, " can not load %s function\n", plain);
        ++missing;
    }
    return p;
}

} // namespace

int loadGLEntryPoints(void* (*getProcAddress)(const char* name)) {
    int missing = 0;
#define M3D_GL_RESOLVE(Type, Name) p##Name = reinterpret_cast<Type>(resolve(getProcAddress, #Name, missing));
    M3D_GL_ENTRY_POINTS(M3D_GL_RESOLVE)
#undef M3D_GL_RESOLVE
    return missing;
}

} // namespace HAL
