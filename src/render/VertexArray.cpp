#include "render/VertexArray.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include <cmath>
#include <cstring>

namespace render {

VertexArray::VertexArray(int vertexCount, int componentCount, int componentSize)
    : m_inverseComponentCount(0.0f), m_componentCount(componentCount), m_componentSize(componentSize),
      m_modifications(1), m_boundsDirty(true), m_vboDirty(true), m_copied(false) {
    if (componentCount < 2 || componentCount > 4 || vertexCount < 0 ||
        (componentSize != 1 && componentSize != 2 && componentSize != 4))
        throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "VertexArray: illegal vertex count or component format");
    m_inverseComponentCount = 1.0f / (float)componentCount;
    int n = vertexCount * componentCount;
    if (componentSize == 1) m_bytes.resize(n, 0);
    if (componentSize == 2) m_shorts.resize(n, 0);
    if (componentSize == 4) m_floats.resize(n, 0.0f);
    for (int i = 0; i < 3; ++i) m_min[i] = m_max[i] = 0.0f;
}

VertexArray::VertexArray(const VertexArray& o)
    : Object3D(o), m_inverseComponentCount(o.m_inverseComponentCount), m_componentCount(o.m_componentCount),
      m_componentSize(o.m_componentSize), m_modifications(o.m_modifications), m_boundsDirty(true),
      m_vboDirty(true), m_copied(true), m_floats(o.m_floats), m_shorts(o.m_shorts), m_bytes(o.m_bytes) {
    for (int i = 0; i < 3; ++i) {
        m_min[i] = o.m_min[i];
        m_max[i] = o.m_max[i];
    }
}

Object3D* VertexArray::duplicate() const { return M3D_NEW VertexArray(*this); }

int VertexArray::getVertexCount() const {
    int elements = m_componentSize == 1 ? m_bytes.size() : m_componentSize == 2 ? m_shorts.size() : m_floats.size();
    return (int)std::lround((double)elements * (double)m_inverseComponentCount);
}

const void* VertexArray::data() const {
    if (m_componentSize == 1) return m_bytes.data();
    if (m_componentSize == 2) return m_shorts.data();
    return m_floats.data();
}

void VertexArray::checkWrite(int firstVertex, int count, int size) {
    if (size != m_componentSize || firstVertex < 0 || count < 0)
        throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "VertexArray: illegal set arguments");
}

template <typename T> static void writeInto(core::Vector<T>& v, int first, int count, const T* values) {
    int end = first + count;
    if (end > v.size()) v.resize(end, T());
    std::memcpy(v.data() + first, values, sizeof(T) * (size_t)count);
}

void VertexArray::set(int firstVertex, int count, const float* values) {
    checkWrite(firstVertex, count, 4);
    writeInto(m_floats, firstVertex * m_componentCount, count * m_componentCount, values);
    touched();
}

void VertexArray::set(int firstVertex, int count, const short* values) {
    checkWrite(firstVertex, count, 2);
    writeInto(m_shorts, firstVertex * m_componentCount, count * m_componentCount, values);
    touched();
}

void VertexArray::set(int firstVertex, int count, const signed char* values) {
    checkWrite(firstVertex, count, 1);
    writeInto(m_bytes, firstVertex * m_componentCount, count * m_componentCount, values);
    touched();
}

void VertexArray::get(int firstVertex, int count, float* out) const {
    int vertices = getVertexCount();
    if (firstVertex < 0 || count < 0 || firstVertex + count > vertices) return;
    int begin = firstVertex * m_componentCount;
    int n = count * m_componentCount;
    for (int i = 0; i < n; ++i) {
        int k = begin + i;
        out[i] = m_componentSize == 1 ? (float)m_bytes[k] : m_componentSize == 2 ? (float)m_shorts[k] : m_floats[k];
    }
}

void VertexArray::convertBytesToShorts() {
    if (m_componentSize != 1) return;
    core::log(core::LOG_RENDERER, "VertexBuffer : convert byte array to short array\n");
    m_shorts.resize(m_bytes.size());
    for (int i = 0; i < m_bytes.size(); ++i) m_shorts[i] = (short)m_bytes[i];
    m_bytes.clear();
    m_componentSize = 2;
    touched();
}

void VertexArray::getBounds(float min[3], float max[3]) {
    if (m_boundsDirty && m_componentCount < 4) {
        int vertices = getVertexCount();
        float v[4];
        for (int i = 0; i < vertices; ++i) {
            get(i, 1, v);
            if (m_componentCount == 2) v[2] = 0.0f;
            for (int a = 0; a < 3; ++a) {
                if (i == 0 || v[a] < m_min[a]) m_min[a] = v[a];
                if (i == 0 || v[a] > m_max[a]) m_max[a] = v[a];
            }
        }
        m_boundsDirty = false;
    }
    for (int a = 0; a < 3; ++a) {
        min[a] = m_min[a];
        max[a] = m_max[a];
    }
}

} // namespace render
