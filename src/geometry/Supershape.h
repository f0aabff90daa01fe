// Supershapes: closed quad meshes whose radius follows the superformula
// (Gielis) along the longitude and along the latitude.
#pragma once
#include "geometry/Mesh_Builder.h"

// One superformula: r(t) = (|cos(m t/4) / a|^n2 + |sin(m t/4) / b|^n3)^(-1/n1).
// a = b = 1, m = 0, n1 = n2 = n3 = 1 gives r = 1 everywhere.
struct Superformula {
    float a, b, m, n1, n2, n3;
    float radius(float t) const;
};

// Appends a supershape of ptsLong points around and ptsLat rows from pole to
// pole: ptsLong * (ptsLat - 1) + 2 vertices (a single vertex at each pole)
// and ptsLong * ptsLat quads whose normals point outward on convex shapes;
// the quads touching a pole repeat it as two corners. Selection flags of the
// new quads are not written. Nothing happens when ptsLong or ptsLat < 1.
// Capacity is checked before every row of vertices and of quads: a row that
// would reach MAXSIZE fails the engine assertion (core::assertFailure, which
// throws Assert_Exception) and the rows made before it stay.
void addSupershape(Mesh_Builder* mb, int ptsLong, int ptsLat, const Superformula& longitude,
                   const Superformula& latitude);
