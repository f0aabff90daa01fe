#include "render/Mesh.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "render/Graphics3D.h"
#include "slm/ray.h"

namespace render {

Mesh::Mesh(VertexBuffer* vertices, IndexBuffer* const* submeshes, Appearance* const* appearances, int count)
    : m_vertexBuffer(vertices) {
    for (int i = 0; i < count; ++i) {
        m_indexBuffers.append(core::Ref<IndexBuffer>(submeshes ? submeshes[i] : nullptr));
        m_appearances.append(core::Ref<Appearance>(appearances ? appearances[i] : nullptr));
    }
}

Mesh::Mesh(VertexBuffer* vertices, IndexBuffer* submesh, Appearance* appearance) : Mesh(vertices, &submesh, &appearance, 1) {}

Mesh::Mesh(const Mesh& o)
    : Node(o), m_vertexBuffer(o.m_vertexBuffer), m_indexBuffers(o.m_indexBuffers), m_appearances(o.m_appearances) {}

Object3D* Mesh::duplicate() const { return M3D_NEW Mesh(*this); }

IndexBuffer* Mesh::getIndexBuffer(int i) const {
    return i >= 0 && i < m_indexBuffers.size() ? m_indexBuffers[i].get() : nullptr;
}

Appearance* Mesh::getAppearance(int i) const {
    return i >= 0 && i < m_appearances.size() ? m_appearances[i].get() : nullptr;
}

void Mesh::setAppearance(int i, Appearance* a) {
    if (i >= 0 && i < m_appearances.size()) m_appearances[i] = a;
}

void Mesh::render(Graphics3D& g, const slm::mat4& transform, int) {
    if (!isRenderingEnabled() || !m_vertexBuffer) return;
    for (int i = 0; i < m_indexBuffers.size(); ++i) {
        if (!m_indexBuffers[i]) continue;
        g.setScope(getScope());
        if (m_vertexBuffer->getVertexCount() > 0)
            g.renderSubmesh(m_vertexBuffer.get(), m_indexBuffers[i].get(), m_appearances[i].get(), transform,
                            getScope());
    }
}

void Mesh::releaseResources() {
    core::EngineGlobals* globals = core::engineGlobals();
    if (!m_vertexBuffer || (globals && !globals->config.releaseImagesAfterUpload)) return;
    Graphics3D* g = globals ? globals->graphics : nullptr;
    if (g) m_vertexBuffer->prepare(*g);
    m_vertexBuffer->freePackedCopy();
    for (int i = 0; i < m_indexBuffers.size(); ++i)
        if (m_indexBuffers[i]) m_indexBuffers[i]->markRebuild();
}

void Mesh::getBounds(float min[3], float max[3], const slm::mat4* transform) {
    VertexArray* positions = m_vertexBuffer ? m_vertexBuffer->getPositions() : nullptr;
    if (!positions || positions->getVertexCount() == 0) {
        for (int a = 0; a < 3; ++a) min[a] = max[a] = 0.0f;
        return;
    }
    float lo[3], hi[3];
    positions->getBounds(lo, hi);
    float s = m_vertexBuffer->getPositionScale();
    const float* b = m_vertexBuffer->getPositionBias();
    for (int a = 0; a < 3; ++a) {
        float p = lo[a] * s + b[a], q = hi[a] * s + b[a];
        lo[a] = p < q ? p : q;
        hi[a] = p < q ? q : p;
    }
    if (!transform) {
        for (int a = 0; a < 3; ++a) {
            min[a] = lo[a];
            max[a] = hi[a];
        }
        return;
    }
    for (int c = 0; c < 8; ++c) {
        slm::vec3 corner((c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2]);
        slm::vec3 w = slm::transform_point(*transform, corner);
        for (int a = 0; a < 3; ++a) {
            if (c == 0 || w[a] < min[a]) min[a] = w[a];
            if (c == 0 || w[a] > max[a]) max[a] = w[a];
        }
    }
}

bool Mesh::isVisible(Graphics3D*, const slm::mat4&, int) { return isRenderingEnabled(); }

bool Mesh::pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D*,
                const slm::mat4& transform, PickResult* result, int flags) {
    if (!isPickingEnabled() || (getScope() & scopeMask) == 0 || !m_vertexBuffer) return false;
    // Into local space: the ray's end point goes through the same inverse.
    slm::mat4 inverse = slm::inverse(transform);
    slm::vec3 o = slm::transform_point(inverse, origin);
    slm::vec3 d = slm::transform_point(inverse, origin + direction) - o;
    if (flags & PICK_BOX_ONLY) return pickBox(o, d, transform, result, flags);
    return pickTriangles(o, d, transform, result, flags);
}

bool Mesh::pickTriangles(const slm::vec3& o, const slm::vec3& d, const slm::mat4& transform, PickResult* result,
                         int flags) {
    VertexArray* positions = m_vertexBuffer->getPositions();
    if (!positions) return false;
    int vertexCount = positions->getVertexCount();
    int components = positions->getComponentCount();
    float s = m_vertexBuffer->getPositionScale();
    const float* b = m_vertexBuffer->getPositionBias();
    auto vertex = [&](int i) {
        float v[4] = {0, 0, 0, 0};
        positions->get(i, 1, v);
        if (components == 2) v[2] = 0.0f;
        return slm::vec3(v[0] * s + b[0], v[1] * s + b[1], v[2] * s + b[2]);
    };
    bool hit = false;
    float best = result ? result->distance : 3.4028235e38f;
    for (int m = 0; m < m_indexBuffers.size(); ++m) {
        IndexBuffer* ib = m_indexBuffers[m].get();
        if (!ib || (ib->getPrimitiveType() != IndexBuffer::TRIANGLES &&
                    ib->getPrimitiveType() != IndexBuffer::TRIANGLE_STRIP))
            continue;
        const core::Vector<unsigned short>& idx = ib->getIndices();
        int n = ib->getDrawCount();
        bool strip = ib->getPrimitiveType() == IndexBuffer::TRIANGLE_STRIP;
        int triangles = strip ? n - 2 : n / 3;
        for (int t = 0; t < triangles; ++t) {
            int i0 = strip ? t : 3 * t;
            int a = idx[i0], bb = idx[i0 + 1], c = idx[i0 + 2];
            if (a >= vertexCount || bb >= vertexCount || c >= vertexCount) continue;
            float dist = 0.0f;
            if (!slm::segment_triangle(o, d, vertex(a), vertex(bb), vertex(c), &dist) || dist >= best) continue;
            best = dist;
            hit = true;
            core::log(0x1000, "pick hit (polygon)\n");
            if (result) {
                result->distance = dist;
                result->point = slm::transform_point(transform, o + d * dist);
                result->node = this;
                result->submesh = m;
            }
            if (flags & PICK_FIRST_HIT) return true;
        }
    }
    return hit;
}

bool Mesh::pickBox(const slm::vec3& o, const slm::vec3& d, const slm::mat4& transform, PickResult* result,
                   int flags) {
    float lo[3], hi[3];
    getBounds(lo, hi, nullptr);
    bool inside = true;
    for (int a = 0; a < 3; ++a)
        if (!(o[a] > lo[a] && o[a] < hi[a])) inside = false;
    if (inside && (flags & PICK_INSIDE_BOX_IS_HIT)) {
        if (result) {
            result->distance = 0.0f;
            result->point = slm::transform_point(transform, o);
            result->node = this;
            result->submesh = -1;
        }
        return true;
    }
    // The nearest of the 12 face triangles.
    slm::vec3 c[8];
    for (int k = 0; k < 8; ++k) c[k] = slm::vec3((k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2]);
    static const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                     {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 3, 7}, {1, 7, 5}};
    float best = result ? result->distance : 3.4028235e38f;
    bool hit = false;
    for (const auto& f : faces) {
        float dist = 0.0f;
        if (slm::segment_triangle(o, d, c[f[0]], c[f[1]], c[f[2]], &dist) && dist < best) {
            best = dist;
            hit = true;
        }
    }
    if (hit) {
        core::log(0x1000, "pick hit (box only)\n");
        core::log(0x1000, "pick distance : %.2f \n", best);
        if (result) {
            result->distance = best;
            result->point = slm::transform_point(transform, o + d * best);
            result->node = this;
            result->submesh = -1;
        }
    }
    return hit;
}

void Mesh::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_vertexBuffer) out.append(m_vertexBuffer.get());
    for (int i = 0; i < m_indexBuffers.size(); ++i) {
        if (m_indexBuffers[i]) out.append(m_indexBuffers[i].get());
        if (m_appearances[i]) out.append(m_appearances[i].get());
    }
}

} // namespace render
