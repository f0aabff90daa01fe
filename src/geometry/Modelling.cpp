// The modelling kernel: vector helpers, mesh primitives and the 32
// operations. Subdivision (smooth, smoothFits) is in Subdivision.cpp.
#include "geometry/Modelling.h"
#include "core/DebugLog.h"
#include "geometry/Command_Log.h"
#include <cmath>
#include <cstring>

int32_t picked_quad = -1;

namespace {

// Scratch shared by the operations (module state, never allocated): the old
// quads an extrusion sets aside, and per-vertex marks (always left all zero
// after use).
uint32_t scratch_quads[MAXSIZE][4];
uint8_t vertex_mark[MAXSIZE];

const float cubedat_verts[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                   {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const int8_t cubedat_faces[6][4] = {{0, 1, 2, 3}, {3, 2, 6, 7}, {7, 6, 5, 4},
                                    {1, 0, 4, 5}, {0, 3, 7, 4}, {2, 1, 5, 6}};

uint64_t selectedQuadCount(const Mesh_Builder* mb) {
    uint64_t n = 0;
    for (uint32_t q = 0; q < mb->nq; ++q) n += mb->sel[q] != 0;
    return n;
}

// Marks every vertex used by a selected quad (vselect for all vertices at
// once: one pass over the quads instead of one per vertex).
void markSelectedVertices(const Mesh_Builder* mb, uint8_t value) {
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (mb->sel[q] == 0) continue;
        for (int k = 0; k < 4; ++k) {
            uint32_t c = mb->quads[q][k];
            if (c < MAXSIZE) vertex_mark[c] = value;
        }
    }
}

} // namespace

// ---- vector helpers ----

void maths1(const float* a, const float* b, float* out) {
    out[0] = a[0] + b[0];
    out[1] = a[1] + b[1];
    out[2] = a[2] + b[2];
}

void maths3(const float* a, const float* b, float* out) {
    out[0] = a[0] * b[0];
    out[1] = a[1] * b[1];
    out[2] = a[2] * b[2];
}

void maths4(const float* a, float s, const float* b, float* out) {
    out[0] = a[0] * s + b[0];
    out[1] = a[1] * s + b[1];
    out[2] = a[2] * s + b[2];
}

void maths7(const float* src, float* dst) {
    float x = src[0], y = src[1], z = src[2];
    dst[0] = x;
    dst[1] = y;
    dst[2] = z;
}

void maths8(const float* a, const float* b, float t, float* out) {
    float u = 1.0f - t;
    out[0] = a[0] * u + b[0] * t;
    out[1] = a[1] * u + b[1] * t;
    out[2] = a[2] * u + b[2] * t;
}

void maths9(float* v, float s) {
    v[0] *= s;
    v[1] *= s;
    v[2] *= s;
}

void maths11(const float* a, const float* b, float* acc) {
    // Read everything first: acc may alias a or b.
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    acc[0] += x;
    acc[1] += y;
    acc[2] += z;
}

// ---- mesh primitives ----

int vinq(uint32_t v, const uint32_t* quad) {
    return (quad[0] == v || quad[1] == v || quad[2] == v || quad[3] == v) ? 1 : 0;
}

void addQ(Mesh_Builder* mb, uint32_t i0, uint32_t i1, uint32_t i2, uint32_t i3, uint32_t flag) {
    uint32_t* q = mb->quads[mb->nq];
    q[0] = i0;
    q[1] = i1;
    q[2] = i2;
    q[3] = i3;
    mb->sel[mb->nq] = flag;
    mb->nq += 1;
}

void delquad(Mesh_Builder* mb, uint32_t first, uint32_t count) {
    if (count == 0 || first >= mb->nq) return;
    if (count > mb->nq - first) count = mb->nq - first;
    uint32_t tail = mb->nq - first - count;
    std::memmove(mb->quads[first], mb->quads[first + count], tail * sizeof mb->quads[0]);
    std::memmove(mb->sel + first, mb->sel + first + count, tail * sizeof mb->sel[0]);
    mb->nq -= count;
}

int adjquad(const Mesh_Builder* mb, uint32_t qa, uint32_t qb) {
    int n = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) n += mb->quads[qa][i] == mb->quads[qb][j];
    return n;
}

void selrang(Mesh_Builder* mb, uint32_t from, uint32_t to, uint32_t value) {
    if (to >= MAXSIZE) to = MAXSIZE - 1;
    for (uint64_t q = from; q <= to; ++q) mb->sel[q] = value;
}

void selinvr(Mesh_Builder* mb) {
    for (uint32_t q = 0; q < mb->nq; ++q) mb->sel[q] = mb->sel[q] == 0 ? 1 : 0;
}

void expands(Mesh_Builder* mb, uint32_t keep) {
    // Sources are the quads whose flag has bit 0 set; a quad with flag 0 that
    // shares a corner index with any source is reached. Marking the sources'
    // corners first gives the same answer as comparing every source with
    // every quad, in one pass.
    for (uint32_t s = 0; s < mb->nq; ++s) {
        if ((mb->sel[s] & 1) == 0) continue;
        for (int k = 0; k < 4; ++k)
            if (mb->quads[s][k] < MAXSIZE) vertex_mark[mb->quads[s][k]] = 1;
    }
    for (uint32_t t = 0; t < mb->nq; ++t) {
        if (mb->sel[t] != 0) continue;
        const uint32_t* c = mb->quads[t];
        for (int k = 0; k < 4; ++k) {
            if (c[k] < MAXSIZE && vertex_mark[c[k]]) {
                mb->sel[t] = 2;
                break;
            }
        }
    }
    for (uint32_t s = 0; s < mb->nq; ++s) {
        if ((mb->sel[s] & 1) == 0) continue;
        for (int k = 0; k < 4; ++k)
            if (mb->quads[s][k] < MAXSIZE) vertex_mark[mb->quads[s][k]] = 0;
    }
    for (uint32_t q = 0; q < mb->nq; ++q) {
        uint32_t f = mb->sel[q];
        mb->sel[q] = f == 1 ? keep : (f == 0 ? 0 : 1);
    }
}

uint32_t dupvert(const Mesh_Builder* mb, const float* p, uint32_t start) {
    for (uint32_t i = start; i < mb->nv; ++i) {
        const float* v = mb->verts[i];
        if (v[0] == p[0] && v[1] == p[1] && v[2] == p[2]) return i;
    }
    return mb->nv;
}

uint32_t addvert(Mesh_Builder* mb, const float* p, uint32_t start) {
    uint32_t i = dupvert(mb, p, start);
    maths7(p, mb->verts[i]);
    if (i == mb->nv) mb->nv += 1;
    return i;
}

void centroi(const Mesh_Builder* mb, uint32_t q, float* out) { quadCentroid(mb, mb->quads[q], out); }

void quadCentroid(const Mesh_Builder* mb, const uint32_t* corners, float* out) {
    float sum[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k) maths1(sum, mb->verts[corners[k]], sum);
    maths9(sum, 0.25f);
    maths7(sum, out);
}

int vselect(const Mesh_Builder* mb, uint32_t v) {
    for (uint32_t q = 0; q < mb->nq; ++q)
        if (mb->sel[q] != 0 && vinq(v, mb->quads[q])) return 1;
    return 0;
}

void scaleob(Mesh_Builder* mb, const float* s, int all) {
    if (!all) markSelectedVertices(mb, 1);
    for (uint32_t i = 0; i < mb->nv; ++i)
        if (all || vertex_mark[i]) maths3(mb->verts[i], s, mb->verts[i]);
    if (!all) markSelectedVertices(mb, 0);
}

void transob(Mesh_Builder* mb, const float* t, int mode) {
    if (mode) markSelectedVertices(mb, 1);
    for (uint32_t i = 0; i < mb->nv; ++i)
        if (!mode || vertex_mark[i]) maths1(mb->verts[i], t, mb->verts[i]);
    if (mode) markSelectedVertices(mb, 0);
}

void rotobj(Mesh_Builder* mb, float a, int axis) {
    float theta = a * 22.5f * 0.017453279f;
    float cs = std::cos(theta);
    float sn = std::sin(theta);
    markSelectedVertices(mb, 1);
    for (uint32_t i = 0; i < mb->nv; ++i) {
        if (!vertex_mark[i]) continue;
        float* p = mb->verts[i];
        float x = p[0], y = p[1], z = p[2];
        if (axis == 0) {
            p[1] = y * cs - z * sn;
            p[2] = y * sn + z * cs;
        } else if (axis == 1) {
            p[0] = x * cs + z * sn;
            p[2] = z * cs - x * sn;
        } else if (axis == 2) {
            p[0] = x * cs - y * sn;
            p[1] = x * sn + y * cs;
        }
    }
    markSelectedVertices(mb, 0);
}

void axissel(Mesh_Builder* mb, int axis) {
    if (picked_quad < 0 || (uint32_t)picked_quad >= mb->nq || axis < 0 || axis > 2) return;
    float lo = 1e6f, hi = -1e6f;
    for (int k = 0; k < 4; ++k) {
        float v = mb->verts[mb->quads[picked_quad][k]][axis];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    for (uint32_t q = 0; q < mb->nq; ++q) {
        float c[3];
        centroi(mb, q, c);
        if (lo <= c[axis] && c[axis] <= hi) mb->sel[q] = 1;
    }
}

void setnorm(Mesh_Builder* mb) {
    std::memset(mb->vnorm, 0, mb->nv * sizeof mb->vnorm[0]);
    std::memset(mb->qnorm, 0, mb->nq * sizeof mb->qnorm[0]);
    for (uint32_t q = 0; q < mb->nq; ++q) {
        const uint32_t* c = mb->quads[q];
        float* n = mb->qnorm[q];
        for (int k = 0; k < 4; ++k) maths11(mb->verts[c[(k + 1) & 3]], mb->verts[c[k]], n);
        for (int k = 0; k < 4; ++k) maths1(mb->vnorm[c[k]], n, mb->vnorm[c[k]]);
    }
}

void transformVertices(Mesh_Builder* mb, const float* m) {
    float c[16];
    std::memcpy(c, m, sizeof c); // m may point into memory the loop writes
    for (uint32_t i = 0; i < mb->nv; ++i) {
        float* p = mb->verts[i];
        float x = p[0], y = p[1], z = p[2];
        p[0] = c[0] * x + c[4] * y + c[8] * z + c[12];
        p[1] = c[1] * x + c[5] * y + c[9] * z + c[13];
        p[2] = c[2] * x + c[6] * y + c[10] * z + c[14];
    }
}

// ---- capacity ----

bool addcubeFits(const Mesh_Builder* mb) { return mb->nv + 8 <= MAXSIZE && mb->nq + 6 <= MAXSIZE; }

bool addquadFits(const Mesh_Builder* mb) {
    uint64_t s = selectedQuadCount(mb);
    return mb->nv + 4 * s <= MAXSIZE && mb->nq + 4 * s <= MAXSIZE;
}

// ---- the operations ----

namespace {
void scaleOp(Mesh_Builder* mb, uint8_t code, float x, float y, float z, int all, float v) {
    const float s[3] = {x, y, z};
    scaleob(mb, s, all);
    unpacko(code, v);
}
void transOp(Mesh_Builder* mb, uint8_t code, float x, float y, float z, int mode, float v) {
    const float t[3] = {x, y, z};
    transob(mb, t, mode);
    unpacko(code, v);
}
} // namespace

void scale1(Mesh_Builder* mb, float v) { scaleOp(mb, 0, v, 1, 1, 1, v); }
void scale2(Mesh_Builder* mb, float v) { scaleOp(mb, 1, 1, v, 1, 1, v); }
void scale3(Mesh_Builder* mb, float v) { scaleOp(mb, 2, 1, 1, v, 1, v); }
void scale4(Mesh_Builder* mb, float v) { scaleOp(mb, 3, v, v, v, 1, v); }
void scale5(Mesh_Builder* mb, float v) { scaleOp(mb, 4, v, 1, 1, 0, v); }
void scale6(Mesh_Builder* mb, float v) { scaleOp(mb, 5, 1, v, 1, 0, v); }
void scale7(Mesh_Builder* mb, float v) { scaleOp(mb, 6, 1, 1, v, 0, v); }
void scale8(Mesh_Builder* mb, float v) { scaleOp(mb, 7, v, v, v, 0, v); }

void scalece(Mesh_Builder* mb, float v) {
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (mb->sel[q] == 0) continue;
        float c[3];
        centroi(mb, q, c);
        for (int k = 0; k < 4; ++k) {
            float* p = mb->verts[mb->quads[q][k]];
            maths8(c, p, v, p);
        }
    }
    unpacko(8, v);
}

void trans1(Mesh_Builder* mb, float v) { transOp(mb, 9, v, 0, 0, 0, v); }
void trans2(Mesh_Builder* mb, float v) { transOp(mb, 10, 0, v, 0, 0, v); }
void trans3(Mesh_Builder* mb, float v) { transOp(mb, 11, 0, 0, v, 0, v); }
void trans4(Mesh_Builder* mb, float v) { transOp(mb, 12, v, 0, 0, 1, v); }
void trans5(Mesh_Builder* mb, float v) { transOp(mb, 13, 0, v, 0, 1, v); }
void trans6(Mesh_Builder* mb, float v) { transOp(mb, 14, 0, 0, v, 1, v); }

void transn(Mesh_Builder* mb, float v) {
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (mb->sel[q] == 0) continue;
        for (int k = 0; k < 4; ++k) {
            float* p = mb->verts[mb->quads[q][k]];
            maths4(mb->qnorm[q], v, p, p);
        }
    }
    unpacko(15, v);
}

void rotate1(Mesh_Builder* mb, float v) {
    rotobj(mb, v, 0);
    unpacko(16, v);
}
void rotate2(Mesh_Builder* mb, float v) {
    rotobj(mb, v, 1);
    unpacko(17, v);
}
void rotate3(Mesh_Builder* mb, float v) {
    rotobj(mb, v, 2);
    unpacko(18, v);
}

void select1(Mesh_Builder* mb, float) {
    if (mb->nq > 0) selrang(mb, 0, mb->nq - 1, 1);
    unpacko(19, 0.0f);
}
void select2(Mesh_Builder* mb, float) {
    if (mb->nq > 0) selrang(mb, 0, mb->nq - 1, 0);
    picked_quad = -1;
    unpacko(20, 0.0f);
}
void select3(Mesh_Builder* mb, float) {
    selinvr(mb);
    picked_quad = -1;
    unpacko(21, 0.0f);
}
void select4(Mesh_Builder* mb, float) {
    expands(mb, 1);
    unpacko(22, 0.0f);
}
void select5(Mesh_Builder* mb, float) {
    expands(mb, 0);
    unpacko(23, 0.0f);
}
void select6(Mesh_Builder* mb, float) {
    axissel(mb, 0);
    unpacko(24, 0.0f);
}
void select7(Mesh_Builder* mb, float) {
    axissel(mb, 1);
    unpacko(25, 0.0f);
}
void select8(Mesh_Builder* mb, float) {
    axissel(mb, 2);
    unpacko(26, 0.0f);
}

void subd(Mesh_Builder* mb, float) {
    if (smooth(mb, 0)) unpacko(27, 0.0f);
}
void smoooth(Mesh_Builder* mb, float) {
    if (smooth(mb, 1)) unpacko(28, 0.0f);
}

void addquad(Mesh_Builder* mb, float) {
    if (!addquadFits(mb)) {
        core::log(0x1, "Extrusion refused: the selected quads would exceed the capacity of %u\n",
                  (unsigned)MAXSIZE);
        return;
    }
    // Each selected quad is replaced by a selected cap on four new vertices
    // and four unselected side walls, appended after the remaining quads in
    // the order of the quads they replace. The selected quads are set aside
    // first, then the others close ranks, then the new quads are appended:
    // the same result as removing them one by one, in linear time.
    uint32_t taken = 0, kept = 0;
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (mb->sel[q] != 0) {
            std::memcpy(scratch_quads[taken++], mb->quads[q], sizeof mb->quads[0]);
        } else {
            if (kept != q) {
                std::memcpy(mb->quads[kept], mb->quads[q], sizeof mb->quads[0]);
                mb->sel[kept] = 0;
            }
            ++kept;
        }
    }
    mb->nq = kept;
    for (uint32_t s = 0; s < taken; ++s) {
        const uint32_t* c = scratch_quads[s];
        uint32_t d[4];
        for (int k = 0; k < 4; ++k) d[k] = addvert(mb, mb->verts[c[k]], mb->nv);
        addQ(mb, d[0], d[1], d[2], d[3], 1);
        for (int k = 0; k < 4; ++k) addQ(mb, d[k], c[k], c[(k + 1) & 3], d[(k + 1) & 3], 0);
    }
    unpacko(29, 0.0f);
}

void delQuad(Mesh_Builder* mb, float) {
    // Stable removal of every selected quad; vertices stay.
    uint32_t kept = 0;
    for (uint32_t q = 0; q < mb->nq; ++q) {
        if (mb->sel[q] != 0) continue;
        if (kept != q) {
            std::memcpy(mb->quads[kept], mb->quads[q], sizeof mb->quads[0]);
            mb->sel[kept] = mb->sel[q];
        }
        ++kept;
    }
    mb->nq = kept;
    unpacko(30, 0.0f);
}

void addcube(Mesh_Builder* mb, float) {
    if (!addcubeFits(mb)) {
        core::log(0x1, "Cube refused: %u vertices and %u quads leave no room for 8 and 6 more\n",
                  (unsigned)mb->nv, (unsigned)mb->nq);
        return;
    }
    uint32_t base = mb->nv;
    for (int i = 0; i < 8; ++i) maths7(cubedat_verts[i], mb->verts[base + i]);
    for (int f = 0; f < 6; ++f) {
        const int8_t* c = cubedat_faces[f];
        addQ(mb, base + c[0], base + c[1], base + c[2], base + c[3], 1);
    }
    mb->nv += 8;
    unpacko(31, 0.0f);
}

const Modelling_Operation functio[MODELLING_OPERATION_COUNT] = {
    scale1,  scale2,  scale3,  scale4,  scale5,  scale6,  scale7,  scale8,  scalece, trans1,  trans2,
    trans3,  trans4,  trans5,  trans6,  transn,  rotate1, rotate2, rotate3, select1, select2, select3,
    select4, select5, select6, select7, select8, subd,    smoooth, addquad, delQuad, addcube};

