#include "render/MeshPacking.h"
#include "core/AssertionSites.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "render/Graphics3D.h"
#include <cmath>

namespace render {

PackedMesh packQuadMesh(Graphics3D& g, const float* positions, const float* normals, int vertexCount,
                        const int* quads, int quadCount) {
    PackedMesh out;
    if (vertexCount <= 0 || quadCount <= 0) return out;
    if (vertexCount > 65536)
        core::assertFailure(assertion::MESH_VERTEX_LIMIT);
    for (int i = 0; i < quadCount * 4; ++i)
        if (quads[i] < 0 || quads[i] >= vertexCount)
            throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "Mesh builder: a quad names a missing vertex");

    // Bounding box, centre and the scale that maps the largest extent to ±30000.
    float lo[3] = {99999.0f, 99999.0f, 99999.0f}, hi[3] = {-99999.0f, -99999.0f, -99999.0f};
    for (int i = 0; i < vertexCount; ++i)
        for (int a = 0; a < 3; ++a) {
            float v = positions[3 * i + a];
            if (v < lo[a]) lo[a] = v;
            if (v > hi[a]) hi[a] = v;
        }
    float centre[3];
    float size = 0.0f;
    for (int a = 0; a < 3; ++a) {
        centre[a] = (lo[a] + hi[a]) * 0.5f;
        if (hi[a] - lo[a] > size) size = hi[a] - lo[a];
    }
    if (size < 0.01f) size = 0.01f;
    float scale = (float)((double)size * 0.5 * 3.3333333333333335e-5);

    core::Vector<short> packed;
    core::Vector<float> unitNormals;
    core::Vector<signed char> white;
    packed.resize(vertexCount * 3);
    unitNormals.resize(vertexCount * 3);
    white.resize(vertexCount * 4, (signed char)-1);
    for (int i = 0; i < vertexCount; ++i) {
        const float* n = normals + 3 * i;
        float inv = 1.0f / std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int a = 0; a < 3; ++a) {
            packed[3 * i + a] = (short)((positions[3 * i + a] - centre[a]) / scale);
            unitNormals[3 * i + a] = n[a] * inv;
        }
    }
    core::Ref<VertexArray> p(M3D_NEW VertexArray(vertexCount, 3, 2));
    core::Ref<VertexArray> nrm(M3D_NEW VertexArray(vertexCount, 3, 4));
    core::Ref<VertexArray> col(M3D_NEW VertexArray(vertexCount, 4, 1));
    p->set(0, vertexCount, packed.data());
    nrm->set(0, vertexCount, unitNormals.data());
    col->set(0, vertexCount, white.data());

    out.vertices = g.createNewVertexBuffer(VertexBuffer::STATIC);
    out.vertices->setPositions(p.get(), scale, centre);
    out.vertices->setNormals(nrm.get());
    out.vertices->setColors(col.get());

    core::Vector<unsigned short> indices;
    indices.resize(quadCount * 6);
    for (int q = 0; q < quadCount; ++q) {
        unsigned short a = (unsigned short)quads[4 * q], b = (unsigned short)quads[4 * q + 1],
                       c = (unsigned short)quads[4 * q + 2], d = (unsigned short)quads[4 * q + 3];
        unsigned short* t = indices.data() + 6 * q;
        t[0] = c;
        t[1] = b;
        t[2] = a;
        t[3] = c;
        t[4] = a;
        t[5] = d;
    }
    out.triangles = M3D_NEW TriangleListArray(indices.data(), indices.size());
    return out;
}

} // namespace render
