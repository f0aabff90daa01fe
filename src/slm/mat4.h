// slm::mat4: a 4×4 f32 matrix, column-major: element (row r, column c) is
// m[4c + r] and column c is m[4c .. 4c+3]. Matrices multiply column vectors:
// a point p transforms as M·(p, 1), the translation of an affine matrix is
// m[12], m[13], m[14], and A·B applies B first, then A.
// Rotations are right-handed (counter-clockwise looking down the axis towards
// the origin), angles in radians. Cameras look down their local −Z axis; the
// projections map view depth to [0, 1] (0 at the near plane, 1 at the far).
// Nothing here allocates or reports errors; degenerate input (a singular
// matrix, a zero axis, parallel up and view vectors) yields non-finite values.
#pragma once
#include "slm/quat.h"
#include "slm/vec3.h"
#include "slm/vec4.h"

namespace slm {

struct mat4 {
    float m[16];

    // The identity.
    mat4();
    // From 16 floats in storage (column-major) order.
    explicit mat4(const float* columnMajor);

    float& operator[](int i) { return m[i]; }
    const float& operator[](int i) const { return m[i]; }
    // Element at row r, column c (0-based); unchecked.
    float& operator()(int r, int c) { return m[4 * c + r]; }
    const float& operator()(int r, int c) const { return m[4 * c + r]; }
};

// ---- constructors (elements not named are 0) ----

// m[0] = m[5] = m[10] = m[15] = d.
mat4 diagonal(float d);
mat4 identity();
// Columns c0..c3 in order.
mat4 from_columns(const vec4& c0, const vec4& c1, const vec4& c2, const vec4& c3);
// Column c (0-based, unchecked).
inline vec4 column(const mat4& a, int c) { return vec4(a.m[4 * c], a.m[4 * c + 1], a.m[4 * c + 2], a.m[4 * c + 3]); }
// The identity with m[12..14] = t.
mat4 translation(const vec3& t);
// Uniform scale: diagonal(s) with m[15] = 1.
mat4 scale(float s);
// Per-axis scale: m[0], m[5], m[10] = s.x, s.y, s.z, m[15] = 1.
mat4 scale(const vec3& s);
mat4 rotation_x(float angle);
mat4 rotation_y(float angle);
mat4 rotation_z(float angle);
// Rotation by `angle` about `axis`, normalised here (Rodrigues' formula).
mat4 axis_angle(const vec3& axis, float angle);
// The rotation of q; a non-unit quaternion is normalised by 1 / |q|².
mat4 from_quat(const quat& q);
// Perspective projection: fov is the vertical field of view in radians,
// aspect = width / height, h = +1 for right-handed view space (looking down
// −Z, clip w = −z) and −1 for left-handed (looking down +Z, clip w = z).
// Depth maps to 0 at the near plane and 1 at the far plane.
mat4 perspective(float fov, float aspect, float zNear, float zFar, float h);
// Orthographic projection of a width × height view box centred on the axis,
// depth 0 at the near plane and 1 at the far plane; h as for perspective.
mat4 orthographic(float width, float height, float zNear, float zFar, float h);
// The view matrix of a camera at eye looking at target (the camera looks
// along its −Z axis, up in the Y–Z plane). eye = target or up parallel to the
// view direction gives non-finite elements.
mat4 look_at(const vec3& eye, const vec3& target, const vec3& up);
// The object-to-world matrix of an object at position whose −Z axis faces
// target: the inverse of look_at for the same arguments.
mat4 target_at(const vec3& position, const vec3& target, const vec3& up);

// ---- operations ----

// A·B: (A·B)[4c + r] = Σk A[4k + r]·B[4c + k]; B acts first.
mat4 multiply(const mat4& a, const mat4& b);
inline mat4 operator*(const mat4& a, const mat4& b) { return multiply(a, b); }

// M·v.
inline vec4 transform(const mat4& a, const vec4& v) {
    const float* m = a.m;
    return vec4(m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
                m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
                m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
                m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w);
}
inline vec4 operator*(const mat4& a, const vec4& v) { return transform(a, v); }
// The x, y, z of M·(p, 1) (no division by w).
inline vec3 transform_point(const mat4& a, const vec3& p) { return transform(a, vec4(p, 1.0f)).xyz(); }
// The x, y, z of M·(d, 0): translation does not apply.
inline vec3 transform_direction(const mat4& a, const vec3& d) { return transform(a, vec4(d, 0.0f)).xyz(); }

// Every element × s.
mat4 scale_elements(const mat4& a, float s);
mat4 transpose(const mat4& a);
// Cofactor expansion along the first column.
float determinant(const mat4& a);
// adjugate(M) × (1 / det(M)). No test for a singular matrix: det = 0 gives
// non-finite elements.
mat4 inverse(const mat4& a);
// Exact comparison of all 16 elements in storage order.
bool equal(const mat4& a, const mat4& b);
inline bool not_equal(const mat4& a, const mat4& b) { return !equal(a, b); }
inline bool operator==(const mat4& a, const mat4& b) { return equal(a, b); }
inline bool operator!=(const mat4& a, const mat4& b) { return !equal(a, b); }

} // namespace slm
