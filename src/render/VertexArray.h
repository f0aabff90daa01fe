// render::VertexArray: one per-vertex attribute (positions, normals, colours,
// texture coordinates or a custom attribute) of 2, 3 or 4 components, each a
// signed byte (1), a signed short (2) or a float (4). Writing data bumps the
// modification counter, which vertex buffers compare to re-upload only the
// arrays that changed. Writing past the last vertex grows the array.
#pragma once
#include "render/Object3D.h"

namespace render {

class VertexArray : public Object3D {
public:
    // Throws Graphics3DException for a component count outside 2..4, a
    // component size other than 1, 2 or 4, or a negative vertex count.
    VertexArray(int vertexCount, int componentCount, int componentSize);
    virtual Object3D* duplicate() const;

    int getVertexCount() const;
    int getComponentCount() const { return m_componentCount; }
    int getComponentSize() const { return m_componentSize; }
    int getModificationCounter() const { return m_modifications; }

    // Write `count` vertices from `firstVertex` on; the element type must
    // match the component size (else Graphics3DException). Negative ranges
    // are refused the same way.
    void set(int firstVertex, int count, const float* values);
    void set(int firstVertex, int count, const short* values);
    void set(int firstVertex, int count, const signed char* values);
    // Read vertices as floats (any component size, converted by value).
    void get(int firstVertex, int count, float* out) const;

    // The raw elements (vertex count × components × component size bytes).
    const void* data() const;
    // The elements for writing in place (null when the component size
    // differs); call markChanged() after writing so buffers re-upload.
    short* editShorts() { return m_componentSize == 2 ? m_shorts.data() : nullptr; }
    float* editFloats() { return m_componentSize == 4 ? m_floats.data() : nullptr; }
    signed char* editBytes() { return m_componentSize == 1 ? m_bytes.data() : nullptr; }
    void markChanged() { touched(); }
    int byteSize() const { return getVertexCount() * m_componentCount * m_componentSize; }

    // Bytes become shorts with the same (sign-extended) values.
    void convertBytesToShorts();

    // Per-axis minimum and maximum of the first three components.
    void getBounds(float min[3], float max[3]);

private:
    VertexArray(const VertexArray& other);
    void checkWrite(int firstVertex, int count, int size);
    void touched() {
        ++m_modifications;
        m_boundsDirty = true;
        m_vboDirty = true;
    }

    float m_min[3], m_max[3];
    float m_inverseComponentCount;
    int m_componentCount;
    int m_componentSize;
    int m_modifications;
    bool m_boundsDirty;
    bool m_vboDirty;
    bool m_copied;
    core::Vector<float> m_floats;
    core::Vector<short> m_shorts;
    core::Vector<signed char> m_bytes;
};

} // namespace render
