// render::IndexBuffer: 16-bit vertex indices and the primitive they form,
// uploaded into one GL element buffer by the first draw (the drawing
// Graphics3D becomes its owner) and again after every change of the indices.
// The subclasses fix the primitive: TriangleStripArray, TriangleListArray,
// LineListArray.
#pragma once
#include "render/Object3D.h"
#include "render/VBOHandle.h"

namespace render {

class Graphics3D;

class IndexBuffer : public Object3D {
public:
    enum { TRIANGLE_STRIP = 1, TRIANGLES = 2, LINES = 3, POINT_SPRITES = 4 };
    enum { STATIC = 0, DYNAMIC = 1 };

    IndexBuffer(int primitiveType, const unsigned short* indices, int count, int mode = STATIC);
    virtual ~IndexBuffer();
    virtual Object3D* duplicate() const;

    int getPrimitiveType() const { return m_primitiveType; }
    int getBufferMode() const { return m_mode; }
    const core::Vector<unsigned short>& getIndices() const { return m_indices; }
    void setIndices(const unsigned short* indices, int count);
    int getIndexCount() const { return m_indices.size(); }
    // Limits the number of indices drawn; 0 = all. Clamped to 0 .. index count.
    void setExplicitCount(int n) { m_explicitCount = n < 0 ? 0 : n; }
    int getExplicitCount() const { return m_explicitCount; }
    // The number of indices a draw uses.
    int getDrawCount() const;

    Graphics3D* getOwner() const { return m_owner; }
    void setOwner(Graphics3D* g) { m_owner = g; }
    // Uploads the indices when they changed since the last upload.
    void prepare();
    const VBOHandle& getVBO() const { return m_vbo; }
    bool isDirty() const { return m_dirty; }
    void markDirty() { m_dirty = true; }
    void markRebuild() { m_rebuild = true; }

    // Device reset: drops the GL buffer (deleting it when `deleteGL`).
    void releaseVBO(bool deleteGL);
    // The owning Graphics3D is going away.
    void detachGraphics();

protected:
    IndexBuffer(const IndexBuffer& other);

private:
    core::Vector<unsigned short> m_indices;
    Graphics3D* m_owner;
    int m_primitiveType;
    int m_mode;
    VBOHandle m_vbo;
    int m_explicitCount;
    bool m_dirty;
    bool m_rebuild;
};

class TriangleStripArray : public IndexBuffer {
public:
    TriangleStripArray(const unsigned short* indices, int count, int mode = STATIC)
        : IndexBuffer(TRIANGLE_STRIP, indices, count, mode) {}
    virtual Object3D* duplicate() const { return M3D_NEW TriangleStripArray(*this); }

private:
    TriangleStripArray(const TriangleStripArray& o) = default;
};

class TriangleListArray : public IndexBuffer {
public:
    TriangleListArray(const unsigned short* indices, int count, int mode = STATIC)
        : IndexBuffer(TRIANGLES, indices, count, mode) {}
    virtual Object3D* duplicate() const { return M3D_NEW TriangleListArray(*this); }

    // A new triangle list with the strip's triangles, all of one winding
    // (odd triangles are reversed); triangles with a repeated index are dropped.
    static TriangleListArray* convertTriangleStripArrayToTriangleListArray(const IndexBuffer* strip);

private:
    TriangleListArray(const TriangleListArray& o) = default;
};

class LineListArray : public IndexBuffer {
public:
    LineListArray(const unsigned short* indices, int count, int mode = STATIC)
        : IndexBuffer(LINES, indices, count, mode) {}
    virtual Object3D* duplicate() const { return M3D_NEW LineListArray(*this); }

private:
    LineListArray(const LineListArray& o) = default;
};

} // namespace render
