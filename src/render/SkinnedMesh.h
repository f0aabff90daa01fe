// render::SkinnedMesh: a mesh whose positions follow a skeleton of nodes.
// Each vertex is bound to bones with weights (addTransform); whenever the
// mesh is animated to a new time the blended positions are computed on the
// CPU and written back, quantised to 16 bits, into the position array the
// mesh draws (its scale becomes 1 / quantisation, its bias 0).
//
// A bone's transform is taken relative to the skeleton: the composites from
// the skeleton's child down to the bone (the skeleton's own composite when
// the bone is the skeleton). A vertex lands at Σ wᵢ · Bᵢ · Bᵢ₀⁻¹ · rest / Σ wᵢ,
// with B₀ a bone's transform when it was first bound; a vertex whose total
// weight is 0 keeps its rest position.
//
// The mesh holds the skeleton (whose parent it becomes) and every bone. The
// position array must hold 16-bit (or byte, converted) components.
#pragma once
#include "render/Group.h"
#include "render/Mesh.h"
#include "slm/vec4.h"

namespace render {

class SkinnedMesh : public Mesh {
public:
    struct WeightInfo {
        slm::vec4 position; // the rest position in the bone's space
        int bone = 0;       // index into the bone list
        float weight = 0.0f;
    };

    // One binding of a bone as getBoneVertices reports it.
    struct BoneVertex {
        int weight = 0;               // the binding's weight, truncated
        int vertex = 0;               // vertex index
        int count = 1;                // vertices in the entry (always 1)
        float share = 0.0f;           // the weight over the vertex's total weight (0 when that is 0)
        int boneIndex = 0;            // the bone's index in the mesh's bone list
    };

    // One addTransform call as made (for saving the bindings again).
    struct Transform {
        int bone = 0; // index into the bone list
        int weight = 0;
        int firstVertex = 0;
        int vertexCount = 0;
    };

    // Throws Graphics3DException for a null skeleton or vertex buffer, or
    // for positions that are missing or not 16-bit.
    SkinnedMesh(VertexBuffer* vertices, IndexBuffer* const* submeshes, Appearance* const* appearances, int count,
                Group* skeleton);
    virtual ~SkinnedMesh();
    // A copy with its own vertex buffer and skeleton (both duplicated) and
    // the same bindings, mapped onto the copied skeleton's nodes.
    virtual Object3D* duplicate() const;

    Group* getSkeleton() const { return m_skeleton.get(); }

    // Binds vertices first … first + count - 1 to `bone`, a node of the
    // skeleton (the skeleton itself included). The bone's current
    // transform becomes its bind pose when it is bound for the first time.
    // Throws Graphics3DException for a null bone, a node outside the
    // skeleton, or a vertex range outside the mesh.
    void addTransform(Node* bone, int weight, int firstVertex, int vertexCount);
    // Appends one entry per binding of `bone`, in vertex order, and returns
    // the list's size; 0 (and a warning) for a bone the mesh does not hold.
    int getBoneVertices(Node* bone, core::Vector<BoneVertex>& out) const;

    int getBoneCount() const { return m_bones.size(); }
    Node* getBone(int i) const { return i >= 0 && i < m_bones.size() ? m_bones[i].get() : nullptr; }
    int getTransformCount() const { return m_transforms.size(); }
    const Transform& getTransform(int i) const { return m_transforms[i]; }
    const core::Vector<WeightInfo>& getVertexWeights(int vertex) const { return m_vertexWeights[vertex]; }
    int getVertexCount() const { return m_vertexCount; }
    // The positions of the last skinning (w = 1), in the vertex buffer's
    // units as set up; the rest positions before the first.
    const slm::vec4* getSkinnedPositions() const { return m_skinnedPositions.data(); }
    // How many times the positions were recomputed (for diagnostics and tests).
    int getSkinCount() const { return m_skinCount; }

    // At a time different from the last one: animates (tracks, references,
    // the skeleton), then skins. The same time again does nothing.
    virtual void animate(int time);
    // The mesh, then the skeleton under the same transform (nodes attached
    // to bones are drawn where the bones are).
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);
    virtual bool pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                      const slm::mat4& transform, PickResult* result, int flags);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    SkinnedMesh(const SkinnedMesh& other);
    void setUp(VertexBuffer* vertices, Group* skeleton);
    // The bone's transform relative to the skeleton; false when `bone` is
    // not inside the skeleton.
    bool boneTransform(Node* bone, slm::mat4& out) const;
    int boneIndex(Node* bone) const;
    void skin();
    void flattenBindings();

    core::Ref<Group> m_skeleton;
    core::Ref<VertexArray> m_restPositionArray;
    core::Ref<VertexBuffer> m_vertexBuffer;
    core::Ref<VertexArray> m_positionArray;
    core::Vector<slm::mat4> m_boneMatrices;
    core::Vector<slm::vec4> m_restPositions;
    core::Vector<slm::vec4> m_skinnedPositions;
    core::Vector<core::Vector<WeightInfo>> m_vertexWeights;
    core::Vector<core::Ref<Node>> m_bones;
    core::Vector<slm::mat4> m_inverseBindMatrices;
    core::Vector<Transform> m_transforms;
    // The bindings laid out flat for skinning: per vertex its first binding
    // in m_flatBindings (vertexCount + 1 entries). Rebuilt after addTransform.
    core::Vector<int> m_flatStart;
    core::Vector<WeightInfo> m_flatBindings;
    // Per vertex 1 / (sum of its weights), 0 for a vertex whose weights sum
    // to 0; those vertices are listed in m_unboundVertices and keep their
    // rest positions.
    core::Vector<float> m_flatInverseTotal;
    core::Vector<int> m_unboundVertices;
    // The number of bindings of every vertex when all have the same number
    // (the bindings then sit at v * m_uniformBindings), else -1.
    int m_uniformBindings = -1;
    int m_lastAnimateTime;
    int m_vertexCount;
    int m_skinCount;
    float m_restPositionScale;
    slm::vec3 m_restPositionBias;
    float m_quantisationFactor;
    bool m_bindingsChanged;
    bool m_bindingsFinite; // every flattened position and weight is finite
};

} // namespace render
