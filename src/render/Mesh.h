// render::Mesh: a scene node that draws one vertex buffer with a list of
// submeshes, each an index buffer with its appearance. Holds references to
// all of them; a duplicate shares them.
#pragma once
#include "render/Appearance.h"
#include "render/IndexBuffer.h"
#include "render/Node.h"
#include "render/VertexBuffer.h"

namespace render {

class Mesh : public Node {
public:
    // Pick flags.
    enum { PICK_INSIDE_BOX_IS_HIT = 1, PICK_BOX_ONLY = 2, PICK_FIRST_HIT = 4 };

    // `count` index buffers and as many appearances (an appearance may be null).
    Mesh(VertexBuffer* vertices, IndexBuffer* const* submeshes, Appearance* const* appearances, int count);
    Mesh(VertexBuffer* vertices, IndexBuffer* submesh, Appearance* appearance);
    virtual Object3D* duplicate() const;

    VertexBuffer* getVertexBuffer() const { return m_vertexBuffer.get(); }
    int getSubmeshCount() const { return m_indexBuffers.size(); }
    IndexBuffer* getIndexBuffer(int i) const;
    Appearance* getAppearance(int i) const;
    void setAppearance(int i, Appearance* a);

    // Local bounds of the positions (scale and bias applied); transformed
    // corners' bounds when `transform` is given. Zero when there are no positions.
    virtual void getBounds(float min[3], float max[3], const slm::mat4* transform);
    // Draws every submesh with `transform` as the world transform.
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);
    // Packs the vertex buffer and drops its CPU copy; index buffers rebuild on the next draw.
    virtual void releaseResources();
    // Ray test against the triangles (or, with PICK_BOX_ONLY, the bounding box).
    virtual bool pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                      const slm::mat4& transform, PickResult* result, int flags);
    virtual bool isVisible(Graphics3D* g, const slm::mat4& transform, int flags);

protected:
    // Shares the vertex buffer, the index buffers and the appearances.
    Mesh(const Mesh& other);
    // Replaces the buffer that is drawn (for classes that draw a derived one).
    void setVertexBuffer(VertexBuffer* vertices) { m_vertexBuffer = vertices; }
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    bool pickTriangles(const slm::vec3& o, const slm::vec3& d, const slm::mat4& transform, PickResult* result,
                       int flags);
    bool pickBox(const slm::vec3& o, const slm::vec3& d, const slm::mat4& transform, PickResult* result, int flags);

    core::Ref<VertexBuffer> m_vertexBuffer;
    core::Vector<core::Ref<IndexBuffer>> m_indexBuffers;
    core::Vector<core::Ref<Appearance>> m_appearances;
};

} // namespace render
