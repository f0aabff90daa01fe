#include "render/IndexBuffer.h"
#include "render/Graphics3D.h"
#include <cstring>

namespace render {

IndexBuffer::IndexBuffer(int primitiveType, const unsigned short* indices, int count, int mode)
    : m_owner(nullptr), m_primitiveType(primitiveType), m_mode(mode == DYNAMIC ? DYNAMIC : STATIC),
      m_explicitCount(0), m_dirty(true), m_rebuild(false) {
    setIndices(indices, count);
}

// The copy has the indices and primitive but no GL buffer and no owner.
IndexBuffer::IndexBuffer(const IndexBuffer& o)
    : Object3D(o), m_indices(o.m_indices), m_owner(nullptr), m_primitiveType(o.m_primitiveType), m_mode(o.m_mode),
      m_explicitCount(o.m_explicitCount), m_dirty(true), m_rebuild(false) {}

IndexBuffer::~IndexBuffer() {
    if (m_owner) m_owner->unregisterIndexBuffer(this, m_vbo, true);
}

Object3D* IndexBuffer::duplicate() const { return M3D_NEW IndexBuffer(*this); }

void IndexBuffer::setIndices(const unsigned short* indices, int count) {
    if (count < 0 || !indices) count = 0;
    m_indices.resize(count);
    if (count > 0) std::memcpy(m_indices.data(), indices, sizeof(unsigned short) * (size_t)count);
    m_dirty = true;
}

int IndexBuffer::getDrawCount() const {
    int n = m_indices.size();
    return m_explicitCount > 0 && m_explicitCount < n ? m_explicitCount : n;
}

void IndexBuffer::prepare() {
    if (!m_owner || !m_dirty) return;
    int bytes = m_indices.size() * 2;
    if (m_vbo.name == -1)
        m_owner->registerIndexBuffer(this, m_mode == DYNAMIC ? VBOHandle::DYNAMIC_INDEX : VBOHandle::STATIC_INDEX,
                                     m_indices.data(), bytes, m_vbo);
    else
        m_owner->updateVBO(m_vbo, 0, m_indices.data(), bytes);
    m_dirty = false;
    m_rebuild = false;
}

void IndexBuffer::releaseVBO(bool deleteGL) {
    m_dirty = true;
    if (m_owner) m_owner->unregisterIndexBuffer(this, m_vbo, deleteGL);
    m_vbo = VBOHandle();
}

void IndexBuffer::detachGraphics() {
    m_vbo = VBOHandle();
    m_owner = nullptr;
    m_dirty = true;
}

TriangleListArray* TriangleListArray::convertTriangleStripArrayToTriangleListArray(const IndexBuffer* strip) {
    core::Vector<unsigned short> out;
    if (strip) {
        const core::Vector<unsigned short>& s = strip->getIndices();
        int n = strip->getDrawCount() - 2;
        for (int i = 0; i < n; ++i) {
            unsigned short a = s[i], b = s[i + 1], c = s[i + 2];
            if (a == b || b == c || a == c) continue;
            if (i % 2 == 0) {
                out.append(a);
                out.append(b);
                out.append(c);
            } else {
                out.append(c);
                out.append(b);
                out.append(a);
            }
        }
    }
    return M3D_NEW TriangleListArray(out.data(), out.size(), strip ? strip->getBufferMode() : STATIC);
}

} // namespace render
