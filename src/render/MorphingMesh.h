// render::MorphingMesh: a mesh drawn as its base vertex buffer blended with
// morph targets: for each array the targets carry (positions, normals,
// colours) the drawn value is base + Σ wᵢ · (targetᵢ − base). Targets are
// read in the base's units (their own position scale and bias are not
// used); a target without an array contributes nothing to it. The blend is
// recomputed only when a weight changes; with all weights 0 the base is
// drawn unchanged. The MORPH_WEIGHTS animation property sets the weights,
// one component per target.
//
// The mesh holds the base buffer, the targets and its own buffer of blended
// arrays, which is the one drawn and returned by getVertexBuffer (arrays
// no target carries are shared with the base).
#pragma once
#include "render/Mesh.h"

namespace render {

class MorphingMesh : public Mesh {
public:
    // `targetCount` targets. Throws Graphics3DException for a null base or
    // target, or a target array whose vertex or component count differs
    // from the base's.
    MorphingMesh(VertexBuffer* base, VertexBuffer* const* targets, int targetCount, IndexBuffer* const* submeshes,
                 Appearance* const* appearances, int count);
    virtual ~MorphingMesh();
    // Shares the base and the targets, copies the weights, blends into a
    // buffer of its own.
    virtual Object3D* duplicate() const;

    VertexBuffer* getBaseVertexBuffer() const { return m_base.get(); }
    int getMorphTargetCount() const { return m_targets.size(); }
    VertexBuffer* getMorphTarget(int i) const { return i >= 0 && i < m_targets.size() ? m_targets[i].get() : nullptr; }

    // Sets the first min(count, target count) weights (the others keep
    // theirs) and blends again when one changed.
    void setWeights(const float* weights, int count);
    // Copies min(count, target count) weights; returns the target count.
    int getWeights(float* weights, int count) const;
    // How many times the arrays were blended (for diagnostics and tests).
    int getBlendCount() const { return m_blendCount; }

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    MorphingMesh(const MorphingMesh& other);
    void build();
    void blend();
    // Blends one kind of array (0 positions, 1 normals, 2 colours).
    void blendArray(int kind);

    core::Ref<VertexBuffer> m_base;
    core::Vector<float> m_weights;
    core::Vector<core::Ref<VertexBuffer>> m_targets;
    core::Ref<VertexBuffer> m_morphed;
    core::Vector<float> m_scratch;
    int m_blendCount;
};

} // namespace render
