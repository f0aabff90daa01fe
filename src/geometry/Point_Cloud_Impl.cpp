#include "geometry/Point_Cloud_Impl.h"
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

inline float coordinate(const Kd_Entry& e, int axis) {
    // x, y and z are consecutive floats at the start of the entry.
    float v;
    std::memcpy(&v, reinterpret_cast<const char*>(&e) + axis * sizeof(float), sizeof v);
    return v;
}
static_assert(offsetof(Kd_Entry, y) == 4 && offsetof(Kd_Entry, z) == 8, "Kd_Entry layout");

template <int AXIS> struct Axis_Less {
    bool operator()(const Kd_Entry& a, const Kd_Entry& b) const {
        return coordinate(a, AXIS) < coordinate(b, AXIS);
    }
};

// Puts the median of [first, last) on `axis` at `mid`, the points at or
// below it before and those at or above it after. A full sort would order
// both halves too, but each half is reordered on the next axis anyway, so
// the tree comes out the same for distinct coordinates at a fraction of the
// cost (ties may land on either side, as with any unstable sort).
void partitionAt(Kd_Entry* first, Kd_Entry* mid, Kd_Entry* last, int axis) {
    if (axis == 0)
        std::nth_element(first, mid, last, Axis_Less<0>());
    else if (axis == 1)
        std::nth_element(first, mid, last, Axis_Less<1>());
    else
        std::nth_element(first, mid, last, Axis_Less<2>());
}

} // namespace

Point_Cloud_Impl::Point_Cloud_Impl(const Mesh_Builder* mb) : radius(0.0f) {
    if (!mb || mb->nv == 0) return;
    uint32_t count = mb->nv < MAX_POINTS ? mb->nv : MAX_POINTS;
    entries.resize((int)count);
    for (uint32_t i = 0; i < count; ++i) {
        Kd_Entry& e = entries[(int)i];
        e.x = mb->verts[i][0];
        e.y = mb->verts[i][1];
        e.z = mb->verts[i][2];
        e.first = e.second = Kd_Entry::NONE;
        float r = std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z);
        if (r > radius) radius = r;
    }
    build(0, count, 0);
}

Point_Cloud_Impl::~Point_Cloud_Impl() {}

uint16_t Point_Cloud_Impl::build(uint32_t start, uint32_t end, int axis) {
    if (start >= end) return Kd_Entry::NONE;
    Kd_Entry* e = entries.data();
    uint32_t mid = (start + end) / 2;
    partitionAt(e + start, e + mid, e + end, axis);
    // The median moves to `start`; the points at or below it follow it.
    Kd_Entry median = e[mid];
    std::memmove(e + start + 1, e + start, (mid - start) * sizeof(Kd_Entry));
    e[start] = median;
    int next = axis == 2 ? 0 : axis + 1;
    uint16_t first = build(start + 1, mid + 1, next);
    uint16_t second = build(mid + 1, end, next);
    e[start].first = first;
    e[start].second = second;
    return (uint16_t)start;
}

const Kd_Entry* Point_Cloud_Impl::nearest(const float* q) const {
    if (entries.size() == 0) return nullptr;
    // The search of each node runs: its near side (the side of the query)
    // completely, then the node itself, then its far side when the splitting
    // plane is no farther than the best distance so far. The pending nodes
    // wait on a stack as deep as the tree (at most 17 levels for 65534
    // points) instead of in nested calls.
    struct Pending {
        uint32_t node;
        int axis;
        float d;
    };
    Pending stack[64];
    int depth = 0;
    const Kd_Entry* e = entries.data();
    uint32_t best = Kd_Entry::NONE;
    float bestDistance = 1e8f;
    double bestSquared = 1e16;
    uint32_t node = 0;
    int axis = 0;
    for (;;) {
        while (node != Kd_Entry::NONE) {
            const Kd_Entry& n = e[node];
            float d = coordinate(n, axis) - q[axis];
            stack[depth].node = node;
            stack[depth].axis = axis;
            stack[depth].d = d;
            ++depth;
            node = d > 0 ? n.first : n.second;
            axis = axis == 2 ? 0 : axis + 1;
        }
        if (depth == 0) break;
        const Pending& p = stack[--depth];
        const Kd_Entry& n = e[p.node];
        float dx = n.x - q[0], dy = n.y - q[1], dz = n.z - q[2];
        float d2 = dx * dx + dy * dy + dz * dz;
        // sqrt is monotonic, so a squared distance at or above the square of
        // the best distance (exact in double) can never win; only candidates
        // pay for the root.
        if ((double)d2 < bestSquared) {
            float dist = std::sqrt(d2);
            if (dist < bestDistance) {
                best = p.node;
                bestDistance = dist;
                bestSquared = (double)dist * (double)dist;
            }
        }
        if (std::fabs(p.d) <= bestDistance) {
            node = p.d > 0 ? n.second : n.first;
            axis = p.axis == 2 ? 0 : p.axis + 1;
        }
    }
    return best == Kd_Entry::NONE ? nullptr : &e[best];
}
