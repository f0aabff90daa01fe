// slm::quat: a rotation quaternion, vector part (x, y, z) first, scalar w last.
// The default value is the identity rotation (0, 0, 0, 1). Rotations are
// right-handed, angles in radians. from_quat (mat4.h) turns one into a matrix.
#pragma once
#include "slm/vec3.h"
#include <cmath>

namespace slm {

struct quat {
    float x, y, z, w;

    quat() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    // 0 = x … 3 = w; unchecked.
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }
};

// An angle in radians about an axis, as to_axis_angle answers it.
struct angle_axis {
    float angle;
    vec3 axis;
};

inline bool operator==(const quat& a, const quat& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }
inline bool operator!=(const quat& a, const quat& b) { return !(a == b); }

// Dot product over all four components.
inline float dot(const quat& a, const quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline float length(const quat& q) { return std::sqrt(dot(q, q)); }
// q × (1 / length(q)); the zero quaternion gives non-finite components.
inline quat unit(const quat& q) {
    float n = 1.0f / length(q);
    return quat(q.x * n, q.y * n, q.z * n, q.w * n);
}

// The Hamilton product a·b: the rotation b followed by the rotation a.
quat multiply(const quat& a, const quat& b);
inline quat operator*(const quat& a, const quat& b) { return multiply(a, b); }

// The unit quaternion rotating by `angle` radians about `axis` (normalised
// here). An axis shorter than SMALLEST_NORMAL gives the identity.
quat axis_angle_quat(const vec3& axis, float angle);

// Spherical interpolation from q1 (t = 0) to q2 (t = 1). No sign flip is
// applied: when dot(q1, q2) < 0 the longer arc is taken. When the two are
// (numerically) equal or opposite, so that sin θ underflows, q1 is returned.
quat slerp(const quat& q1, const quat& q2, float t);

// angle = 2·acos(w) in radians; the axis is (x, y, z) / sqrt(1 − w²), or
// (x, y, z) unchanged when that root is not above SMALLEST_NORMAL (no
// rotation). Meant for unit quaternions; w is clamped into [−1, 1] so that a
// unit quaternion whose w rounded just past 1 still gives angle 0.
angle_axis to_axis_angle(const quat& q);

} // namespace slm
