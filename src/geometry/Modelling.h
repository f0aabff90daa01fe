// The modelling kernel: small editing operations on a Mesh_Builder.
//
// Every operation is a plain function over a builder passed by pointer. The
// 32 operations of `functio` each have a command code (their index) and
// report themselves once, after their edit, to the command log
// (geometry/Command_Log.h) with their one parameter (0 for those without).
//
// Nothing here allocates. The operations that add geometry (addcube, addquad,
// smooth) refuse to run, leaving the builder and the log untouched and
// logging an error, when the result would not fit in MAXSIZE vertices or
// quads; callers that want to report the refusal ask the *Fits predicates
// first. Operations must not run concurrently, even on different builders:
// the scratch arrays and `picked_quad` are shared module state.
#pragma once
#include "geometry/Mesh_Builder.h"
#include <cstdint>

// ---- vector helpers on 3-float arrays (arguments may alias) ----
void maths1(const float* a, const float* b, float* out);                // out = a + b
void maths3(const float* a, const float* b, float* out);                // out = a * b per component
void maths4(const float* a, float s, const float* b, float* out);       // out = a*s + b
void maths7(const float* src, float* dst);                              // dst = src
void maths8(const float* a, const float* b, float t, float* out);       // out = a*(1-t) + b*t
void maths9(float* v, float s);                                         // v *= s
void maths11(const float* a, const float* b, float* acc);               // acc += cross(a, b)

// ---- mesh primitives (no command code, not recorded) ----
int vinq(uint32_t v, const uint32_t* quad);                             // 1 if v is a corner
void addQ(Mesh_Builder* mb, uint32_t i0, uint32_t i1, uint32_t i2, uint32_t i3, uint32_t flag);
void delquad(Mesh_Builder* mb, uint32_t first, uint32_t count);
int adjquad(const Mesh_Builder* mb, uint32_t qa, uint32_t qb);          // shared-corner pairs (of 16)
void selrang(Mesh_Builder* mb, uint32_t from, uint32_t to, uint32_t value);
void selinvr(Mesh_Builder* mb);
void expands(Mesh_Builder* mb, uint32_t keep);                          // grow by one ring
uint32_t dupvert(const Mesh_Builder* mb, const float* p, uint32_t start);
uint32_t addvert(Mesh_Builder* mb, const float* p, uint32_t start);
void centroi(const Mesh_Builder* mb, uint32_t q, float* out);
void quadCentroid(const Mesh_Builder* mb, const uint32_t* corners, float* out); // of four corners
int vselect(const Mesh_Builder* mb, uint32_t v);                        // used by a selected quad
void scaleob(Mesh_Builder* mb, const float* s, int all);
void transob(Mesh_Builder* mb, const float* t, int mode);
void rotobj(Mesh_Builder* mb, float a, int axis);                      // a in units of 22.5 degrees
void axissel(Mesh_Builder* mb, int axis);
bool smooth(Mesh_Builder* mb, int mode);                                // 0 subdivide, 1 Catmull-Clark; false when refused
void setnorm(Mesh_Builder* mb);

// Replaces every vertex p by the first three components of M·(p, 1), M a
// column-major 4x4 matrix (the fourth row is ignored). Not recorded.
void transformVertices(Mesh_Builder* mb, const float* m);

// Capacity predicates: whether the operation's result fits in MAXSIZE.
bool addcubeFits(const Mesh_Builder* mb);
bool addquadFits(const Mesh_Builder* mb);
bool smoothFits(const Mesh_Builder* mb, int mode);

// Index of the reference quad of axis selection; -1 for none (the start).
extern int32_t picked_quad;

// ---- the operations, by command code ----
void scale1(Mesh_Builder* mb, float v);   // 0
void scale2(Mesh_Builder* mb, float v);   // 1
void scale3(Mesh_Builder* mb, float v);   // 2
void scale4(Mesh_Builder* mb, float v);   // 3
void scale5(Mesh_Builder* mb, float v);   // 4
void scale6(Mesh_Builder* mb, float v);   // 5
void scale7(Mesh_Builder* mb, float v);   // 6
void scale8(Mesh_Builder* mb, float v);   // 7
void scalece(Mesh_Builder* mb, float v);  // 8
void trans1(Mesh_Builder* mb, float v);   // 9
void trans2(Mesh_Builder* mb, float v);   // 10
void trans3(Mesh_Builder* mb, float v);   // 11
void trans4(Mesh_Builder* mb, float v);   // 12
void trans5(Mesh_Builder* mb, float v);   // 13
void trans6(Mesh_Builder* mb, float v);   // 14
void transn(Mesh_Builder* mb, float v);   // 15
void rotate1(Mesh_Builder* mb, float v);  // 16
void rotate2(Mesh_Builder* mb, float v);  // 17
void rotate3(Mesh_Builder* mb, float v);  // 18
void select1(Mesh_Builder* mb, float v);  // 19
void select2(Mesh_Builder* mb, float v);  // 20
void select3(Mesh_Builder* mb, float v);  // 21
void select4(Mesh_Builder* mb, float v);  // 22
void select5(Mesh_Builder* mb, float v);  // 23
void select6(Mesh_Builder* mb, float v);  // 24
void select7(Mesh_Builder* mb, float v);  // 25
void select8(Mesh_Builder* mb, float v);  // 26
void subd(Mesh_Builder* mb, float v);     // 27
void smoooth(Mesh_Builder* mb, float v);  // 28
void addquad(Mesh_Builder* mb, float v);  // 29
void delQuad(Mesh_Builder* mb, float v);  // 30
void addcube(Mesh_Builder* mb, float v);  // 31

typedef void (*Modelling_Operation)(Mesh_Builder* mb, float value);
const int MODELLING_OPERATION_COUNT = 32;
// The operations in command-code order.
extern const Modelling_Operation functio[MODELLING_OPERATION_COUNT];
