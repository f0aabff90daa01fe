// Subdivision with a replaceable edge-point search. The kernel's smooth()
// finds the edge points a pass shares between neighbouring quads through a
// hash of positions; a different search (a plain scan, say) can be run
// through the same pass to check that both give the same mesh.
#pragma once
#include "geometry/Mesh_Builder.h"
#include <cstdint>

// The contract every search of a pass keeps: a face point is always
// appended; an edge point reuses the lowest vertex made in this pass (face
// points included) with exactly its position, else it is appended. Both
// answer the vertex and whether it is new.
class Edge_Point_Search {
public:
    virtual ~Edge_Point_Search() {}
    // A pass over `quads` quads starts; the builder holds the old vertices.
    virtual void begin(const Mesh_Builder* mb, uint32_t quads) = 0;
    // Face point `f` was appended.
    virtual void facePoint(Mesh_Builder* mb, uint32_t f) = 0;
    // The vertex for edge point `e`, appended when new (*made set then).
    virtual uint32_t edgePoint(Mesh_Builder* mb, const float* e, bool* made) = 0;
};

// One pass of smooth(mb, mode) with `search` finding the edge points; refused
// (false, logged, nothing changed) as smooth() refuses when it would not fit.
bool smoothWith(Mesh_Builder* mb, int mode, Edge_Point_Search& search);
