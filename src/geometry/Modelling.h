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

// The command codes: each operation's index in `functio`, recorded in the
// command log. Fixed: a recorded log means its codes, so a code never moves.
enum Modelling_Command : uint8_t {
    CMD_SCALE1 = 0,
    CMD_SCALE2 = 1,
    CMD_SCALE3 = 2,
    CMD_SCALE4 = 3,
    CMD_SCALE5 = 4,
    CMD_SCALE6 = 5,
    CMD_SCALE7 = 6,
    CMD_SCALE8 = 7,
    CMD_SCALECE = 8,
    CMD_TRANS1 = 9,
    CMD_TRANS2 = 10,
    CMD_TRANS3 = 11,
    CMD_TRANS4 = 12,
    CMD_TRANS5 = 13,
    CMD_TRANS6 = 14,
    CMD_TRANSN = 15,
    CMD_ROTATE1 = 16,
    CMD_ROTATE2 = 17,
    CMD_ROTATE3 = 18,
    CMD_SELECT1 = 19,
    CMD_SELECT2 = 20,
    CMD_SELECT3 = 21,
    CMD_SELECT4 = 22,
    CMD_SELECT5 = 23,
    CMD_SELECT6 = 24,
    CMD_SELECT7 = 25,
    CMD_SELECT8 = 26,
    CMD_SUBD = 27,
    CMD_SMOOOTH = 28,
    CMD_ADDQUAD = 29,
    CMD_DELQUAD = 30,
    CMD_ADDCUBE = 31,
};

// ---- the operations, in command-code order ----
void scale1(Mesh_Builder* mb, float v);
void scale2(Mesh_Builder* mb, float v);
void scale3(Mesh_Builder* mb, float v);
void scale4(Mesh_Builder* mb, float v);
void scale5(Mesh_Builder* mb, float v);
void scale6(Mesh_Builder* mb, float v);
void scale7(Mesh_Builder* mb, float v);
void scale8(Mesh_Builder* mb, float v);
void scalece(Mesh_Builder* mb, float v);
void trans1(Mesh_Builder* mb, float v);
void trans2(Mesh_Builder* mb, float v);
void trans3(Mesh_Builder* mb, float v);
void trans4(Mesh_Builder* mb, float v);
void trans5(Mesh_Builder* mb, float v);
void trans6(Mesh_Builder* mb, float v);
void transn(Mesh_Builder* mb, float v);
void rotate1(Mesh_Builder* mb, float v);
void rotate2(Mesh_Builder* mb, float v);
void rotate3(Mesh_Builder* mb, float v);
void select1(Mesh_Builder* mb, float v);
void select2(Mesh_Builder* mb, float v);
void select3(Mesh_Builder* mb, float v);
void select4(Mesh_Builder* mb, float v);
void select5(Mesh_Builder* mb, float v);
void select6(Mesh_Builder* mb, float v);
void select7(Mesh_Builder* mb, float v);
void select8(Mesh_Builder* mb, float v);
void subd(Mesh_Builder* mb, float v);
void smoooth(Mesh_Builder* mb, float v);
void addquad(Mesh_Builder* mb, float v);
void delQuad(Mesh_Builder* mb, float v);
void addcube(Mesh_Builder* mb, float v);

typedef void (*Modelling_Operation)(Mesh_Builder* mb, float value);
const int MODELLING_OPERATION_COUNT = 32;
// The operations in command-code order.
extern const Modelling_Operation functio[MODELLING_OPERATION_COUNT];
