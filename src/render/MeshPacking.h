// render::packQuadMesh: turns a quad mesh (float positions and vertex
// normals, quads of four vertex indices) into render objects: a vertex
// buffer with 16-bit positions (a per-mesh scale and bias map the bounding
// box into about ±30000), unit float normals and opaque white colours, and a
// triangle list. This is the conversion behind the script's mesh builder.
#pragma once
#include "render/IndexBuffer.h"
#include "render/VertexBuffer.h"

namespace render {

class Graphics3D;

struct PackedMesh {
    core::Ref<VertexBuffer> vertices;
    core::Ref<TriangleListArray> triangles;
};

// `positions` and `normals` hold 3 floats per vertex, `quads` 4 indices per
// quad. Quad (a, b, c, d) becomes the triangles (c, b, a) and (c, a, d).
// An empty mesh (no vertices or no quads) gives null objects. More than
// 65536 vertices raise the engine assertion "Max 65536 vertices supported!"
// (indices are 16-bit). Quads that name a vertex outside the mesh raise
// Graphics3DException, since they would draw from outside the buffer.
PackedMesh packQuadMesh(Graphics3D& g, const float* positions, const float* normals, int vertexCount,
                        const int* quads, int quadCount);

} // namespace render
