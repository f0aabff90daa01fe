#include "render/SkinnedMesh.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include <cmath>
#include <cstring>
#include <type_traits>

namespace render {

namespace {

void fail(const char* message) { throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, message); }

// Four floats as one register: a column of a bone matrix, a position. The
// compiler maps the arithmetic onto the machine's vector instructions (or
// plain code where there are none); this is what keeps skinning at the
// speed of a hand-vectorised loop.
typedef float f4 __attribute__((vector_size(16)));
typedef int i4 __attribute__((vector_size(16)));

inline f4 load4(const float* p) {
    f4 r;
    std::memcpy(&r, p, sizeof r);
    return r;
}

// Below this the positions are all (close to) zero: there is no range to
// quantise into, and 32767 / m would overflow.
const float TINY = 1e-30f;

// The path of child indices from `root` down to `node`; -1 when `node` is
// not below `root` (or deeper than the buffer).
int pathFrom(const Node* root, const Node* node, int* path, int max) {
    int depth = 0;
    while (node && node != root) {
        const Group* parent = dynamic_cast<const Group*>(node->getParent());
        if (!parent || depth == max) return -1;
        int index = -1;
        for (int i = 0; i < parent->getChildCount(); ++i)
            if (parent->getChild(i) == node) index = i;
        if (index < 0) return -1;
        path[depth++] = index;
        node = parent;
    }
    if (node != root) return -1;
    for (int i = 0; i < depth / 2; ++i) {
        int t = path[i];
        path[i] = path[depth - 1 - i];
        path[depth - 1 - i] = t;
    }
    return depth;
}

} // namespace

SkinnedMesh::SkinnedMesh(VertexBuffer* vertices, IndexBuffer* const* submeshes, Appearance* const* appearances,
                         int count, Group* skeleton)
    : Mesh(vertices, submeshes, appearances, count), m_lastAnimateTime(-2147483647 - 1), m_vertexCount(0),
      m_skinCount(0), m_restPositionScale(1.0f), m_quantisationFactor(1.0f), m_bindingsChanged(true), m_bindingsFinite(true) {
    setUp(vertices, skeleton);
}

SkinnedMesh::SkinnedMesh(const SkinnedMesh& o)
    : Mesh(o), m_boneMatrices(o.m_boneMatrices), m_restPositions(o.m_restPositions),
      m_skinnedPositions(o.m_skinnedPositions), m_vertexWeights(o.m_vertexWeights),
      m_inverseBindMatrices(o.m_inverseBindMatrices), m_transforms(o.m_transforms), m_lastAnimateTime(-2147483647 - 1),
      m_vertexCount(o.m_vertexCount), m_skinCount(0), m_restPositionScale(o.m_restPositionScale),
      m_restPositionBias(o.m_restPositionBias), m_quantisationFactor(o.m_quantisationFactor), m_bindingsChanged(true),
      m_bindingsFinite(true) {
    // Skinning writes into the drawn positions, so the copy needs arrays of
    // its own, and bones of its own skeleton.
    m_vertexBuffer = static_cast<VertexBuffer*>(o.m_vertexBuffer->duplicate());
    setVertexBuffer(m_vertexBuffer.get());
    m_vertexBuffer->setBufferMode(VertexBuffer::DYNAMIC);
    m_positionArray = m_vertexBuffer->getPositions();
    m_restPositionArray = static_cast<VertexArray*>(o.m_restPositionArray->duplicate());
    m_skeleton = static_cast<Group*>(o.m_skeleton->duplicate());
    m_skeleton->setParent(this);
    int path[256];
    for (int b = 0; b < o.m_bones.size(); ++b) {
        Node* bone = m_skeleton.get();
        int depth = pathFrom(o.m_skeleton.get(), o.m_bones[b].get(), path, 256);
        for (int d = 0; d < depth && bone; ++d) {
            Group* g = dynamic_cast<Group*>(bone);
            bone = g ? g->getChild(path[d]) : nullptr;
        }
        m_bones.append(core::Ref<Node>(bone ? bone : m_skeleton.get()));
    }
}

SkinnedMesh::~SkinnedMesh() {
    if (m_skeleton && m_skeleton->getParent() == this) m_skeleton->setParent(nullptr);
}

Object3D* SkinnedMesh::duplicate() const { return M3D_NEW SkinnedMesh(*this); }

void SkinnedMesh::setUp(VertexBuffer* vertices, Group* skeleton) {
    if (!skeleton) fail("SkinnedMesh: the skeleton is null");
    if (skeleton->getParent()) fail("SkinnedMesh: the skeleton already has a parent");
    VertexArray* positions = vertices ? vertices->getPositions() : nullptr;
    if (!positions || positions->getComponentSize() != 2)
        fail("SkinnedMesh: the vertex buffer needs a 16-bit position array");
    m_skeleton = skeleton;
    skeleton->setParent(this);

    m_vertexBuffer = vertices;
    vertices->setBufferMode(VertexBuffer::DYNAMIC);
    m_restPositionScale = vertices->getPositionScale();
    const float* bias = vertices->getPositionBias();
    m_restPositionBias = slm::vec3(bias[0], bias[1], bias[2]);
    m_positionArray = positions;

    m_vertexCount = positions->getVertexCount();
    int components = positions->getComponentCount();
    m_restPositionArray = M3D_NEW VertexArray(m_vertexCount, components, 2);
    const short* data = static_cast<const short*>(positions->data());
    m_restPositionArray->set(0, m_vertexCount, data);

    m_restPositions.resize(m_vertexCount);
    int largest = 0;
    for (int v = 0; v < m_vertexCount; ++v) {
        const short* p = data + v * components;
        float c[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < components && k < 3; ++k) {
            c[k] = (float)p[k];
            int a = p[k] < 0 ? -p[k] : p[k];
            if (a > largest) largest = a;
        }
        m_restPositions[v] = slm::vec4(c[0] * m_restPositionScale + m_restPositionBias.x,
                                       c[1] * m_restPositionScale + m_restPositionBias.y,
                                       c[2] * m_restPositionScale + m_restPositionBias.z, 1.0f);
    }
    m_quantisationFactor = largest > 0 ? 32767.0f / (float)largest : 1.0f;
    m_skinnedPositions = m_restPositions;
    m_vertexWeights.resize(m_vertexCount);
}

bool SkinnedMesh::boneTransform(Node* bone, slm::mat4& out) const {
    if (bone == m_skeleton.get()) {
        out = m_skeleton->getCompositeTransform();
        return true;
    }
    slm::mat4 m;
    Node* n = bone;
    while (n && n != m_skeleton.get()) {
        m = n->getCompositeTransform() * m;
        n = n->getParent();
    }
    if (!n) return false;
    out = m;
    return true;
}

int SkinnedMesh::boneIndex(Node* bone) const {
    for (int i = 0; i < m_bones.size(); ++i)
        if (m_bones[i].get() == bone) return i;
    return -1;
}

void SkinnedMesh::addTransform(Node* bone, int weight, int firstVertex, int vertexCount) {
    if (!bone) fail("SkinnedMesh: addTransform with a null bone");
    if (firstVertex < 0 || vertexCount < 0 || firstVertex > m_vertexCount - vertexCount)
        fail("SkinnedMesh: addTransform with a vertex range outside the mesh");
    slm::mat4 t;
    if (!boneTransform(bone, t)) fail("SkinnedMesh: addTransform with a bone outside the skeleton");
    slm::mat4 inverse = slm::inverse(t);
    int index = boneIndex(bone);
    if (index < 0) {
        index = m_bones.size();
        m_bones.append(core::Ref<Node>(bone));
        m_inverseBindMatrices.append(inverse);
        m_boneMatrices.append(t);
        for (int i = 0; i < 2; ++i)
            core::log(core::LOG_RENDERER, "(skeleton : %d) add bone %d \n", m_skeleton->getUserID(), bone->getUserID());
    }
    for (int v = firstVertex; v < firstVertex + vertexCount; ++v) {
        WeightInfo w;
        w.position = inverse * m_restPositions[v];
        w.bone = index;
        w.weight = (float)weight;
        m_vertexWeights[v].append(w);
    }
    Transform record;
    record.bone = index;
    record.weight = weight;
    record.firstVertex = firstVertex;
    record.vertexCount = vertexCount;
    m_transforms.append(record);
    m_bindingsChanged = true;
}

int SkinnedMesh::getBoneVertices(Node* bone, core::Vector<BoneVertex>& out) const {
    int index = bone ? boneIndex(bone) : -1;
    if (index < 0) {
        int id = bone ? bone->getUserID() : 0;
        core::log(core::LOG_RENDERER, "Object3D: getUserID = %d\n", id);
        core::log(core::LOG_WARNING, "SkinnedMesh does not include this bone! (ID : %d)\n", id);
        return 0;
    }
    for (int v = 0; v < m_vertexCount; ++v) {
        const core::Vector<WeightInfo>& bindings = m_vertexWeights[v];
        float total = 0.0f;
        for (int k = 0; k < bindings.size(); ++k) total += bindings[k].weight;
        for (int k = 0; k < bindings.size(); ++k) {
            if (bindings[k].bone != index) continue;
            BoneVertex e;
            e.weight = (int)bindings[k].weight;
            e.vertex = v;
            e.count = 1;
            e.share = total != 0.0f ? bindings[k].weight / total : 0.0f;
            e.boneIndex = index;
            out.append(e);
        }
    }
    return out.size();
}

void SkinnedMesh::flattenBindings() {
    m_flatStart.resize(m_vertexCount + 1);
    int total = 0;
    for (int v = 0; v < m_vertexCount; ++v) total += m_vertexWeights[v].size();
    m_flatBindings.resize(total);
    m_flatInverseTotal.resize(m_vertexCount);
    m_unboundVertices.clear();
    m_uniformBindings = m_vertexCount > 0 ? m_vertexWeights[0].size() : -1;
    int at = 0;
    m_bindingsFinite = true;
    for (int v = 0; v < m_vertexCount; ++v) {
        m_flatStart[v] = at;
        const core::Vector<WeightInfo>& bindings = m_vertexWeights[v];
        if (bindings.size() != m_uniformBindings) m_uniformBindings = -1;
        // Summed in the order skinning used to sum them, so the blend is
        // the same to the bit.
        float weights = 0.0f;
        for (int k = 0; k < bindings.size(); ++k) {
            const WeightInfo& w = bindings[k];
            if (!std::isfinite(w.position.x) || !std::isfinite(w.position.y) || !std::isfinite(w.position.z) ||
                !std::isfinite(w.position.w) || !std::isfinite(w.weight))
                m_bindingsFinite = false;
            m_flatBindings[at++] = w;
            weights += w.weight;
        }
        if (weights == 0.0f) m_unboundVertices.append(v);
        m_flatInverseTotal[v] = weights != 0.0f ? 1.0f / weights : 0.0f;
    }
    m_flatStart[m_vertexCount] = at;
    m_bindingsChanged = false;
}

void SkinnedMesh::animate(int time) {
    if (time == m_lastAnimateTime) return;
    Object3D::animate(time);
    skin();
    m_lastAnimateTime = time;
}

void SkinnedMesh::skin() {
    if (m_bindingsChanged) flattenBindings();
    // With finite bone matrices and bindings every blended position is
    // finite unless it overflows, which the range below shows as infinity;
    // only then is each vertex checked (a singular bind pose, a NaN scale).
    bool finite = m_bindingsFinite;
    for (int b = 0; b < m_bones.size(); ++b) {
        slm::mat4 t;
        // A bone taken out of the skeleton since keeps its last transform.
        if (boneTransform(m_bones[b].get(), t)) m_boneMatrices[b] = t;
        for (int e = 0; e < 16; ++e) finite = finite && std::isfinite(m_boneMatrices[b].m[e]);
    }
    const slm::mat4* bones = m_boneMatrices.data();
    const WeightInfo* bindings = m_flatBindings.data();
    const int* start = m_flatStart.data();
    const slm::vec4* rest = m_restPositions.data();
    slm::vec4* out = m_skinnedPositions.data();
    // The running maximum of |x|, |y|, |z| (and w, which is 1), lane by lane.
    const i4 signMask = {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    f4 largest4 = {0.0f, 0.0f, 0.0f, 0.0f};
    // Two copies of the loop: the per-vertex finiteness check only where
    // an input is not finite.
    auto blendAll = [&](auto checked) {
        for (int v = 0; v < m_vertexCount; ++v) {
            f4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
            float total = 0.0f;
            for (int k = start[v], end = start[v + 1]; k < end; ++k) {
                const float* m = bones[bindings[k].bone].m;
                const slm::vec4& b = bindings[k].position;
                float w = bindings[k].weight;
                sum += (load4(m) * b.x + load4(m + 4) * b.y + load4(m + 8) * b.z + load4(m + 12) * b.w) * w;
                total += w;
            }
            f4 p = sum * (1.0f / total);
            // Nothing moves an unbound vertex (total weight 0: p is 0/0).
            if (total == 0.0f || (checked && !(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]))))
                p = load4(&rest[v].x);
            std::memcpy(&out[v].x, &p, sizeof p);
            f4 a = (f4)((i4)p & signMask);
            largest4 = a > largest4 ? a : largest4;
        }
    };
    // The common case: every vertex has the same number of bindings, all
    // finite. No per-vertex start, no branch; the unbound vertices are put
    // back to rest afterwards.
    const float* inverseTotal = m_flatInverseTotal.data();
    auto blendUniform = [&](auto perVertex) {
        const int count = perVertex;
        const WeightInfo* b = bindings;
        float* __restrict o = reinterpret_cast<float*>(out);
        for (int v = 0; v < m_vertexCount; ++v, b += count) {
            f4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
            for (int k = 0; k < count; ++k) {
                const float* m = bones[b[k].bone].m;
                const slm::vec4& p = b[k].position;
                sum += (load4(m) * p.x + load4(m + 4) * p.y + load4(m + 8) * p.z + load4(m + 12) * p.w) * b[k].weight;
            }
            f4 p = sum * inverseTotal[v];
            std::memcpy(o + 4 * v, &p, sizeof p);
            f4 a = (f4)((i4)p & signMask);
            largest4 = a > largest4 ? a : largest4;
        }
        for (int i = 0; i < m_unboundVertices.size(); ++i) {
            int v = m_unboundVertices[i];
            f4 p = load4(&rest[v].x);
            std::memcpy(o + 4 * v, &p, sizeof p);
            f4 a = (f4)((i4)p & signMask);
            largest4 = a > largest4 ? a : largest4;
        }
    };
    if (finite && m_uniformBindings == 2)
        blendUniform(std::integral_constant<int, 2>());
    else if (finite && m_uniformBindings == 1)
        blendUniform(std::integral_constant<int, 1>());
    else if (finite && m_uniformBindings > 2)
        blendUniform(m_uniformBindings);
    else if (finite)
        blendAll(std::false_type());
    else
        blendAll(std::true_type());
    float largest = largest4[0] > largest4[1] ? largest4[0] : largest4[1];
    largest = largest4[2] > largest ? largest4[2] : largest;
    if (!std::isfinite(largest)) {
        // Overflow: such vertices keep their rest positions rather than
        // taking the range of all the others.
        largest = 0.0f;
        for (int v = 0; v < m_vertexCount; ++v) {
            slm::vec4& p = out[v];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) p = rest[v];
            float a = std::fmax(std::fabs(p.x), std::fmax(std::fabs(p.y), std::fabs(p.z)));
            largest = a > largest ? a : largest;
        }
    }

    float q = largest > TINY ? 32767.0f / largest : 1.0f;
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    m_vertexBuffer->setPositionScaleBias(1.0f / q, zero);
    int components = m_positionArray->getComponentCount();
    short* shorts = m_positionArray->editShorts();
    if (shorts && m_positionArray->getVertexCount() >= m_vertexCount) {
        // The clamps keep the conversion defined for values a rounding step
        // past the range (and for a NaN that overflowed into a sum).
        auto quantise = [q](float c) {
            float f = c * q;
            f = f < 32767.0f ? f : 32767.0f;
            f = f > -32767.0f ? f : -32767.0f;
            return (short)f;
        };
        if (components == 3) {
            const f4 hi = {32767.0f, 32767.0f, 32767.0f, 32767.0f}, lo = -hi;
            for (int v = 0; v < m_vertexCount; ++v) {
                f4 f = load4(&out[v].x) * q;
                f = f < hi ? f : hi;
                f = f > lo ? f : lo;
                i4 i = __builtin_convertvector(f, i4);
                shorts[3 * v] = (short)i[0];
                shorts[3 * v + 1] = (short)i[1];
                shorts[3 * v + 2] = (short)i[2];
            }
        } else {
            for (int v = 0; v < m_vertexCount; ++v)
                for (int k = 0; k < 3 && k < components; ++k) shorts[v * components + k] = quantise((&out[v].x)[k]);
        }
        m_positionArray->markChanged();
    }
    ++m_skinCount;
}

void SkinnedMesh::render(Graphics3D& g, const slm::mat4& transform, int flags) {
    Mesh::render(g, transform, flags);
    if (m_skeleton) m_skeleton->render(g, transform, flags);
}

bool SkinnedMesh::pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                       const slm::mat4& transform, PickResult* result, int flags) {
    bool hit = Mesh::pick(scopeMask, origin, direction, g, transform, result, flags);
    if (m_skeleton && m_skeleton->pick(scopeMask, origin, direction, g, transform, result, flags)) hit = true;
    return hit;
}

void SkinnedMesh::appendReferences(core::Vector<Object3D*>& out) const {
    Mesh::appendReferences(out);
    if (m_skeleton) out.append(m_skeleton.get());
}

} // namespace render
