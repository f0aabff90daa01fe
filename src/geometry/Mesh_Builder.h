// Mesh_Builder: the fixed-capacity quad mesh edited by the modelling
// operations (geometry/Modelling.h). All storage is inline, so a builder is
// one block of about 14 MB that never allocates; the script wrapper keeps it
// inside its userdata.
//
// Quad q is valid for q < nq, vertex i for i < nv; every corner of a valid
// quad names a valid vertex. A quad's corner order fixes its orientation: its
// normal is the sum over its edges of cross(p[k+1], p[k]), which points out
// of a solid whose faces run clockwise seen from outside. Vertices are never
// removed; a vertex may be left unused.
#pragma once
#include <cstdint>

// Capacity of every builder array (vertices and quads alike).
constexpr uint32_t MAXSIZE = 250000;

struct Mesh_Builder {
    uint32_t nv;                   // vertices in use
    uint32_t nq;                   // quads in use
    uint32_t quads[MAXSIZE][4];    // corner vertex indices, in corner order
    float verts[MAXSIZE][3];       // positions
    float vnorm[MAXSIZE][3];       // per-vertex normal sums (setnorm)
    float qnorm[MAXSIZE][3];       // per-quad normals (setnorm), not normalised
    uint32_t sel[MAXSIZE];         // per-quad selection: 0 = no, 1 = yes
};
