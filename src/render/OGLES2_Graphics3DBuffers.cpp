// OGLES2_Graphics3D: buffer objects (creation, in-place update
// through a mapped buffer, re-creation past the allocated size, deletion)
// and the vertex attribute bindings with their caches.
#include "core/DebugLog.h"
#include "hal/sdl/GLEntryPoints.h"
#include "render/ArgbColor.h"
#include "render/GLCallCounters.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/VertexArray.h"
#include <cstring>

namespace render {

// ---- buffer objects ----

static unsigned targetOf(int kind) {
    return (kind == VBOHandle::STATIC_INDEX || kind == VBOHandle::DYNAMIC_INDEX) ? GL_ELEMENT_ARRAY_BUFFER
                                                                                 : GL_ARRAY_BUFFER;
}

void OGLES2_Graphics3D::bindBuffer(unsigned target, int name) {
    int& cache = target == GL_ARRAY_BUFFER ? m_arrayBuffer : m_elementBuffer;
    if (cache == name) return;
    M3D_GL(BindBuffer, pglBindBuffer(target, (GLuint)name));
    cache = name;
}

void OGLES2_Graphics3D::createVBO(VBOHandle& out, int kind, const void* data, int size) {
    bool dynamic = kind == VBOHandle::DYNAMIC_VERTEX || kind == VBOHandle::DYNAMIC_INDEX;
    int allocated = size + (dynamic ? m_config.spareAmount : 0);
    unsigned target = targetOf(kind);
    GLuint name = 0;
    M3D_GL(Object, pglGenBuffers(1, &name));
    bindBuffer(target, (int)name);
    M3D_GL(BufferData, pglBufferData(target, allocated, nullptr, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW));
    if (size > 0 && data) M3D_GL(BufferData, pglBufferSubDataARB(target, 0, size, data));
    bindBuffer(target, 0);
    if (dynamic)
        ++m_stats.dynamicVBOs;
    else
        ++m_stats.staticVBOs;
    m_stats.vboBytes += allocated;
    out.name = (int)name;
    out.kind = kind;
    out.size = allocated;
    out.updates = 0;
}

void OGLES2_Graphics3D::updateVBO(VBOHandle& handle, int offset, const void* data, int size) {
    if (handle.name == -1 || size <= 0 || offset < 0) return;
    ++handle.updates;
    if (offset + size > handle.size) {
        VBOHandle fresh;
        createVBO(fresh, handle.kind, data, offset + size);
        fresh.updates = handle.updates;
        deleteVBO(handle);
        ++m_stats.vboResizes;
        handle = fresh;
        return;
    }
    unsigned target = targetOf(handle.kind);
    bindBuffer(target, handle.name);
    void* mapped = M3D_GL(MapBuffer, pglMapBufferARB(target, GL_WRITE_ONLY));
    const char* source = static_cast<const char*>(data) + offset;
    if (mapped) {
        std::memcpy(static_cast<char*>(mapped) + offset, source, (size_t)size);
        M3D_GL(MapBuffer, pglUnmapBufferARB(target));
    } else {
        // A driver that refuses the mapping still takes the bytes this way.
        M3D_GL(BufferData, pglBufferSubDataARB(target, offset, size, source));
    }
    bindBuffer(target, 0);
}

void OGLES2_Graphics3D::deleteVBO(VBOHandle& handle) {
    if (handle.name != -1) {
        m_stats.vboBytes -= handle.size;
        if (handle.isDynamic())
            --m_stats.dynamicVBOs;
        else
            --m_stats.staticVBOs;
        GLuint name = (GLuint)handle.name;
        M3D_GL(Object, pglDeleteBuffers(1, &name));
        // GL unbinds a deleted buffer and will hand its name out again.
        if (m_arrayBuffer == handle.name) m_arrayBuffer = 0;
        if (m_elementBuffer == handle.name) m_elementBuffer = 0;
        for (int i = 0; i < MAX_ATTRIBS; ++i)
            if (m_attribs[i].known && m_attribs[i].buffer == handle.name) m_attribs[i].known = false;
    }
    handle.size = 0;
    handle.name = -1;
}

void OGLES2_Graphics3D::bindVBO(const VBOHandle& handle, bool bind) {
    bindBuffer(targetOf(handle.kind), bind ? handle.name : 0);
}

// ---- vertex attributes ----

int OGLES2_Graphics3D::glTypeForComponentSize(int bytes) {
    if (bytes == 1) return GL_BYTE;
    if (bytes == 2) return GL_SHORT;
    if (bytes == 4) return GL_FLOAT;
    return 0;
}

void OGLES2_Graphics3D::attribPointer(int location, int size, unsigned type, bool normalized, int offset) {
    if (location < 0) return;
    m_drawAttribs |= 1u << location;
    if (location < MAX_ATTRIBS) {
        AttribState& a = m_attribs[location];
        if (a.known && a.buffer == m_arrayBuffer && a.size == size && a.type == type && a.normalized == normalized &&
            a.offset == offset)
            return;
        a.known = true;
        a.buffer = m_arrayBuffer;
        a.size = size;
        a.type = type;
        a.normalized = normalized;
        a.offset = offset;
    }
    M3D_GL(AttribPointer, pglVertexAttribPointer((GLuint)location, size, type, normalized ? GL_TRUE : GL_FALSE, 0,
                                                 reinterpret_cast<const void*>((size_t)offset)));
}

// Enables exactly the attribute arrays this draw pointed, disabling those a
// previous draw left on (they could read past this draw's buffer).
void OGLES2_Graphics3D::syncAttribArrays() {
    unsigned want = m_drawAttribs;
    unsigned have = m_enabledAttribsKnown ? m_enabledAttribs : ~want;
    unsigned diff = want ^ have;
    for (int i = 0; i < MAX_ATTRIBS && diff; ++i) {
        unsigned bit = 1u << i;
        if (!(diff & bit)) continue;
        if (want & bit)
            M3D_GL(AttribEnable, pglEnableVertexAttribArray((GLuint)i));
        else
            M3D_GL(AttribEnable, pglDisableVertexAttribArray((GLuint)i));
        diff &= ~bit;
    }
    m_enabledAttribs = want;
    m_enabledAttribsKnown = true;
}

void OGLES2_Graphics3D::setPositions(VertexArray* array, int offset) {
    if (!array || !m_currentProgram) return;
    attribPointer(m_currentProgram->getLocation(ShaderProgram::POSITION), array->getComponentCount(),
                  (unsigned)glTypeForComponentSize(array->getComponentSize()), false, offset);
}

void OGLES2_Graphics3D::setColors(VertexArray* array, unsigned defaultColor, int offset) {
    if (!m_currentProgram) return;
    if (array) {
        // Colours are unsigned bytes whatever the array says; the shader scales them by 1/255.
        unsigned type = array->getComponentSize() == 1 ? GL_UNSIGNED_BYTE
                                                       : (unsigned)glTypeForComponentSize(array->getComponentSize());
        attribPointer(m_currentProgram->getLocation(ShaderProgram::COLOR), array->getComponentCount(), type, false,
                      offset);
        m_features[FEATURE_VERTEX_COLORS] = 1.0f;
    } else {
        setVertexColor(defaultColor);
        m_features[FEATURE_VERTEX_COLORS] = 0.0f;
    }
}

void OGLES2_Graphics3D::setNormals(VertexArray* array, int offset) {
    if (!array || !m_currentProgram) return;
    attribPointer(m_currentProgram->getLocation(ShaderProgram::NORMAL), array->getComponentCount(),
                  (unsigned)glTypeForComponentSize(array->getComponentSize()), true, offset);
}

void OGLES2_Graphics3D::setTexCoords(int unit, VertexArray* array, int offset) {
    if (!array || !m_currentProgram) return;
    enableCap(GL_TEXTURE_2D, m_texture2DEnabled, true);
    m_features[FEATURE_TEXTURING] = 1.0f;
    attribPointer(m_currentProgram->getLocation(ShaderProgram::TEXCOORD0 + unit), array->getComponentCount(),
                  (unsigned)glTypeForComponentSize(array->getComponentSize()), false, offset);
    ++m_textureMatrixCount;
}

void OGLES2_Graphics3D::setVertexColor(unsigned argb) {
    if (m_currentProgram) m_currentProgram->setUniform(m_currentProgram->getLocation(ShaderProgram::VERTEX_COLOR), argbToVec4(argb));
}

void OGLES2_Graphics3D::resetDrawState() {
    m_positionDecode = slm::mat4();
    for (int i = 0; i < TEXTURE_UNITS; ++i) m_textureMatrices[i] = slm::mat4();
    m_textureMatrixCount = 0;
    for (int i = 0; i < FEATURE_COUNT; ++i) m_features[i] = 0.0f;
    m_drawAttribs = 0;
}

} // namespace render
