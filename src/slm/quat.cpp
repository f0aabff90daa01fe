// slm::quat operations: product, axis-angle conversions and slerp.
#include "slm/quat.h"
#include "slm/scalar.h"
#include <cmath>

namespace slm {

quat multiply(const quat& a, const quat& b) {
    return quat(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
}

quat axis_angle_quat(const vec3& axis, float angle) {
    float len = length(axis);
    if (!(len > SMALLEST_NORMAL)) return quat();
    float s = std::sin(angle * 0.5f) / len;
    return quat(axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f));
}

quat slerp(const quat& q1, const quat& q2, float t) {
    float d = dot(q1, q2);
    // Rounding can push the dot of two unit quaternions just past ±1, where
    // acos has no value.
    if (d > 1.0f) d = 1.0f;
    if (d < -1.0f) d = -1.0f;
    float theta = std::acos(d);
    float sinTheta = std::sin(theta);
    if (!(sinTheta >= SMALLEST_NORMAL)) return q1;
    float a = std::sin((1.0f - t) * theta) / sinTheta;
    float b = std::sin(t * theta) / sinTheta;
    return quat(q1.x * a + q2.x * b, q1.y * a + q2.y * b, q1.z * a + q2.z * b, q1.w * a + q2.w * b);
}

angle_axis to_axis_angle(const quat& q) {
    // A normalised quaternion's w can round to just above 1 (or below −1);
    // without the clamp acos and the root would turn a null rotation into NaN.
    float w = q.w;
    if (w > 1.0f) w = 1.0f;
    if (w < -1.0f) w = -1.0f;
    angle_axis r;
    r.angle = 2.0f * std::acos(w);
    float s = std::sqrt(1.0f - w * w);
    if (s > SMALLEST_NORMAL) {
        r.axis = vec3(q.x / s, q.y / s, q.z / s);
    } else {
        r.axis = vec3(q.x, q.y, q.z);
    }
    return r;
}

} // namespace slm
