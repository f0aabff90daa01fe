#include "render/MorphingMesh.h"
#include "core/Exceptions.h"
#include <cmath>

namespace render {

namespace {

void fail(const char* message) { throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, message); }

VertexArray* arrayOf(const VertexBuffer* vb, int kind) {
    return kind == 0 ? vb->getPositions() : kind == 1 ? vb->getNormals() : vb->getColors();
}

// Colour bytes are unsigned (0 … 255) although the array stores them signed.
void readValues(const VertexArray* a, int kind, float* out) {
    int n = a->getVertexCount();
    a->get(0, n, out);
    if (kind == 2 && a->getComponentSize() == 1)
        for (int i = 0; i < n * a->getComponentCount(); ++i)
            if (out[i] < 0.0f) out[i] += 256.0f;
}

} // namespace

MorphingMesh::MorphingMesh(VertexBuffer* base, VertexBuffer* const* targets, int targetCount,
                           IndexBuffer* const* submeshes, Appearance* const* appearances, int count)
    : Mesh(base, submeshes, appearances, count), m_base(base), m_blendCount(0) {
    if (!base) fail("MorphingMesh: the base vertex buffer is null");
    for (int t = 0; t < targetCount; ++t) {
        VertexBuffer* target = targets ? targets[t] : nullptr;
        if (!target) fail("MorphingMesh: a morph target is null");
        for (int kind = 0; kind < 3; ++kind) {
            VertexArray* a = arrayOf(target, kind);
            VertexArray* b = arrayOf(base, kind);
            if (a && b && (a->getVertexCount() != b->getVertexCount() || a->getComponentCount() != b->getComponentCount()))
                fail("MorphingMesh: a morph target's arrays do not match the base's vertex and component counts");
        }
        m_targets.append(core::Ref<VertexBuffer>(target));
    }
    m_weights.resize(targetCount, 0.0f);
    build();
}

MorphingMesh::MorphingMesh(const MorphingMesh& o)
    : Mesh(o), m_base(o.m_base), m_weights(o.m_weights), m_targets(o.m_targets), m_blendCount(0) {
    build();
    blend();
}

MorphingMesh::~MorphingMesh() {}

Object3D* MorphingMesh::duplicate() const { return M3D_NEW MorphingMesh(*this); }

// The drawn buffer: an array of its own for each kind a target carries,
// the base's arrays for everything else.
void MorphingMesh::build() {
    VertexBuffer* b = m_base.get();
    m_morphed = M3D_NEW VertexBuffer(VertexBuffer::DYNAMIC);
    VertexArray* own[3] = {nullptr, nullptr, nullptr};
    for (int kind = 0; kind < 3; ++kind) {
        VertexArray* baseArray = arrayOf(b, kind);
        bool carried = false;
        for (int t = 0; t < m_targets.size(); ++t)
            if (arrayOf(m_targets[t].get(), kind)) carried = true;
        own[kind] = baseArray && carried ? static_cast<VertexArray*>(baseArray->duplicate()) : baseArray;
    }
    m_morphed->setPositions(own[0], b->getPositionScale(), b->getPositionBias());
    m_morphed->setNormals(own[1]);
    m_morphed->setColors(own[2]);
    for (int u = 0; u < b->getTexCoordUnitCount(); ++u)
        if (VertexBuffer::TexCoordContainer* tc = b->getTexCoords(u))
            m_morphed->setTexCoords(u, tc->array.get(), tc->scale, tc->bias);
    for (int i = 0; i < b->getAttributeCount(); ++i)
        m_morphed->addAttribute(b->getAttribute(i)->name, b->getAttribute(i)->array.get());
    m_morphed->setDefaultColor(b->getDefaultColor());
    setVertexBuffer(m_morphed.get());
}

void MorphingMesh::setWeights(const float* weights, int count) {
    if (!weights) return;
    bool changed = false;
    for (int i = 0; i < count && i < m_weights.size(); ++i) {
        if (m_weights[i] != weights[i]) changed = true;
        m_weights[i] = weights[i];
    }
    if (changed) blend();
}

int MorphingMesh::getWeights(float* weights, int count) const {
    for (int i = 0; i < count && i < m_weights.size(); ++i) weights[i] = m_weights[i];
    return m_weights.size();
}

void MorphingMesh::blend() {
    for (int kind = 0; kind < 3; ++kind) blendArray(kind);
    ++m_blendCount;
}

void MorphingMesh::blendArray(int kind) {
    VertexArray* baseArray = arrayOf(m_base.get(), kind);
    VertexArray* out = arrayOf(m_morphed.get(), kind);
    if (!baseArray || !out || out == baseArray) return;
    int n = baseArray->getVertexCount() * baseArray->getComponentCount();
    if (out->getVertexCount() * out->getComponentCount() != n) return;
    m_scratch.resize(3 * n);
    float* base = m_scratch.data();
    float* sum = base + n;
    float* target = sum + n;
    readValues(baseArray, kind, base);
    for (int i = 0; i < n; ++i) sum[i] = base[i];
    for (int t = 0; t < m_targets.size(); ++t) {
        float w = m_weights[t];
        VertexArray* a = arrayOf(m_targets[t].get(), kind);
        if (!a || w == 0.0f || a->getVertexCount() * a->getComponentCount() != n) continue;
        readValues(a, kind, target);
        for (int i = 0; i < n; ++i) sum[i] += w * (target[i] - base[i]);
    }

    // Back into the array's own element type, rounded and kept in its range
    // (weights outside [0, 1] may overshoot it; NaN weights give the low end).
    float lo = -32768.0f, hi = 32767.0f;
    if (out->getComponentSize() == 1) {
        lo = kind == 2 ? 0.0f : -128.0f;
        hi = kind == 2 ? 255.0f : 127.0f;
    }
    if (float* f = out->editFloats()) {
        for (int i = 0; i < n; ++i) f[i] = sum[i];
    } else if (short* sh = out->editShorts()) {
        for (int i = 0; i < n; ++i) {
            float v = std::floor(sum[i] + 0.5f);
            sh[i] = (short)(v > lo ? (v < hi ? v : hi) : lo);
        }
    } else if (signed char* b = out->editBytes()) {
        for (int i = 0; i < n; ++i) {
            float v = std::floor(sum[i] + 0.5f);
            int k = (int)(v > lo ? (v < hi ? v : hi) : lo);
            b[i] = (signed char)(unsigned char)(k & 0xFF);
        }
    }
    out->markChanged();
}

void MorphingMesh::appendReferences(core::Vector<Object3D*>& out) const {
    Mesh::appendReferences(out);
    if (m_base) out.append(m_base.get());
    for (int t = 0; t < m_targets.size(); ++t)
        if (m_targets[t]) out.append(m_targets[t].get());
}

} // namespace render
