// slm::mat4 constructors and operations. Everything works on the 16 floats
// directly, in the column-major storage order described in mat4.h.
#include "slm/mat4.h"
#include <cmath>

namespace slm {

namespace {

// The cosine and sine of the rotations are taken in double and rounded once:
// script code computing a rotation (in doubles, as Lua does) then gets the
// very same floats as the engine.
float cosine(float angle) { return (float)std::cos((double)angle); }
float sine(float angle) { return (float)std::sin((double)angle); }

mat4 zero() {
    mat4 r;
    for (float& e : r.m) e = 0.0f;
    return r;
}

// The camera frame shared by look_at and target_at: Z points from the target
// back to the eye, X = up × Z, Y = Z × X.
void cameraAxes(const vec3& eye, const vec3& target, const vec3& up, vec3& x, vec3& y, vec3& z) {
    z = unit(eye - target);
    x = unit(cross(up, z));
    y = cross(z, x);
}

} // namespace

mat4::mat4() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}

mat4::mat4(const float* columnMajor) {
    for (int i = 0; i < 16; ++i) m[i] = columnMajor[i];
}

mat4 diagonal(float d) {
    mat4 r = zero();
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = d;
    return r;
}

mat4 identity() { return diagonal(1.0f); }

mat4 from_columns(const vec4& c0, const vec4& c1, const vec4& c2, const vec4& c3) {
    mat4 r;
    const vec4* cols[4] = {&c0, &c1, &c2, &c3};
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 4; ++k) r.m[4 * c + k] = (*cols[c])[k];
    }
    return r;
}

mat4 translation(const vec3& t) {
    mat4 r = identity();
    r.m[12] = t.x;
    r.m[13] = t.y;
    r.m[14] = t.z;
    return r;
}

mat4 scale(float s) {
    mat4 r = diagonal(s);
    r.m[15] = 1.0f;
    return r;
}

mat4 scale(const vec3& s) {
    mat4 r = zero();
    r.m[0] = s.x;
    r.m[5] = s.y;
    r.m[10] = s.z;
    r.m[15] = 1.0f;
    return r;
}

mat4 rotation_x(float angle) {
    float c = cosine(angle), s = sine(angle);
    mat4 r = zero();
    r.m[0] = 1.0f;
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    r.m[15] = 1.0f;
    return r;
}

mat4 rotation_y(float angle) {
    float c = cosine(angle), s = sine(angle);
    mat4 r = zero();
    r.m[0] = c;
    r.m[2] = -s;
    r.m[5] = 1.0f;
    r.m[8] = s;
    r.m[10] = c;
    r.m[15] = 1.0f;
    return r;
}

mat4 rotation_z(float angle) {
    float c = cosine(angle), s = sine(angle);
    mat4 r = zero();
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    r.m[10] = 1.0f;
    r.m[15] = 1.0f;
    return r;
}

mat4 axis_angle(const vec3& axis, float angle) {
    vec3 a = unit(axis);
    float x = a.x, y = a.y, z = a.z;
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    mat4 r = zero();
    r.m[0] = c + t * x * x;
    r.m[1] = t * x * y + s * z;
    r.m[2] = t * x * z - s * y;
    r.m[4] = t * x * y - s * z;
    r.m[5] = c + t * y * y;
    r.m[6] = t * y * z + s * x;
    r.m[8] = t * x * z + s * y;
    r.m[9] = t * y * z - s * x;
    r.m[10] = c + t * z * z;
    r.m[15] = 1.0f;
    return r;
}

mat4 from_quat(const quat& q) {
    float x = q.x, y = q.y, z = q.z, w = q.w;
    float xx = x * x, yy = y * y, zz = z * z, ww = w * w;
    // Dividing by the squared norm makes any non-zero quaternion a rotation.
    float n = 1.0f / (xx + yy + zz + ww);
    float n2 = 2.0f * n;
    mat4 r = zero();
    r.m[0] = n * (xx - yy - zz + ww);
    r.m[5] = n * (ww + yy - xx - zz);
    r.m[10] = n * (ww + zz - xx - yy);
    r.m[1] = n2 * (x * y + w * z);
    r.m[4] = n2 * (x * y - w * z);
    r.m[2] = n2 * (x * z - w * y);
    r.m[8] = n2 * (x * z + w * y);
    r.m[6] = n2 * (y * z + w * x);
    r.m[9] = n2 * (y * z - w * x);
    r.m[15] = 1.0f;
    return r;
}

mat4 perspective(float fov, float aspect, float zNear, float zFar, float h) {
    float f = 1.0f / std::tan(fov * 0.5f);
    float a = zFar / ((zNear - zFar) * h);
    mat4 r = zero();
    r.m[0] = f / aspect;
    r.m[5] = f;
    r.m[10] = a;
    r.m[11] = -h;
    r.m[14] = a * zNear * h;
    return r;
}

mat4 orthographic(float width, float height, float zNear, float zFar, float h) {
    float k = 1.0f / ((zNear - zFar) * h);
    mat4 r = zero();
    r.m[0] = 2.0f / width;
    r.m[5] = 2.0f / height;
    r.m[10] = k;
    r.m[14] = k * zNear * h;
    r.m[15] = 1.0f;
    return r;
}

mat4 look_at(const vec3& eye, const vec3& target, const vec3& up) {
    vec3 x, y, z;
    cameraAxes(eye, target, up, x, y, z);
    mat4 r;
    r.m[0] = x.x;
    r.m[4] = x.y;
    r.m[8] = x.z;
    r.m[1] = y.x;
    r.m[5] = y.y;
    r.m[9] = y.z;
    r.m[2] = z.x;
    r.m[6] = z.y;
    r.m[10] = z.z;
    r.m[3] = r.m[7] = r.m[11] = 0.0f;
    r.m[12] = -dot(x, eye);
    r.m[13] = -dot(y, eye);
    r.m[14] = -dot(z, eye);
    r.m[15] = 1.0f;
    return r;
}

mat4 target_at(const vec3& position, const vec3& target, const vec3& up) {
    vec3 x, y, z;
    cameraAxes(position, target, up, x, y, z);
    return from_columns(vec4(x, 0.0f), vec4(y, 0.0f), vec4(z, 0.0f), vec4(position, 1.0f));
}

mat4 multiply(const mat4& a, const mat4& b) {
    // Column c of the product is A's columns weighted by column c of B. Each
    // element is summed in double and rounded once: more exact than float
    // sums, and the very bits the script math (which computes in doubles)
    // gets for the same product. The inner loop runs down a column, so it
    // maps onto vector registers.
    mat4 r;
    for (int c = 0; c < 4; ++c) {
        const double b0 = b.m[4 * c], b1 = b.m[4 * c + 1], b2 = b.m[4 * c + 2], b3 = b.m[4 * c + 3];
        for (int row = 0; row < 4; ++row) {
            r.m[4 * c + row] = (float)((double)a.m[row] * b0 + (double)a.m[4 + row] * b1 +
                                       (double)a.m[8 + row] * b2 + (double)a.m[12 + row] * b3);
        }
    }
    return r;
}

mat4 scale_elements(const mat4& a, float s) {
    mat4 r;
    for (int i = 0; i < 16; ++i) r.m[i] = a.m[i] * s;
    return r;
}

mat4 transpose(const mat4& a) {
    mat4 r;
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) r.m[4 * c + row] = a.m[4 * row + c];
    }
    return r;
}

float determinant(const mat4& a) {
    const float* m = a.m;
    // 2×2 minors of the lower half (rows 2 and 3 in storage order).
    float m10_15 = m[10] * m[15] - m[14] * m[11];
    float m9_15 = m[9] * m[15] - m[13] * m[11];
    float m9_14 = m[9] * m[14] - m[13] * m[10];
    float m8_15 = m[8] * m[15] - m[12] * m[11];
    float m8_14 = m[8] * m[14] - m[12] * m[10];
    float m8_13 = m[8] * m[13] - m[12] * m[9];
    return m[0] * (m[5] * m10_15 - m[6] * m9_15 + m[7] * m9_14) -
           m[1] * (m[4] * m10_15 - m[6] * m8_15 + m[7] * m8_14) +
           m[2] * (m[4] * m9_15 - m[5] * m8_15 + m[7] * m8_13) -
           m[3] * (m[4] * m9_14 - m[5] * m8_14 + m[6] * m8_13);
}

mat4 inverse(const mat4& a) {
    const float* m = a.m;
    // The adjugate: inv[i] is the cofactor of element (i mod 4, i div 4)
    // transposed, built from shared 2×2 minors of columns 0-1 and 2-3.
    float s0 = m[0] * m[5] - m[4] * m[1];
    float s1 = m[0] * m[6] - m[4] * m[2];
    float s2 = m[0] * m[7] - m[4] * m[3];
    float s3 = m[1] * m[6] - m[5] * m[2];
    float s4 = m[1] * m[7] - m[5] * m[3];
    float s5 = m[2] * m[7] - m[6] * m[3];
    float c5 = m[10] * m[15] - m[14] * m[11];
    float c4 = m[9] * m[15] - m[13] * m[11];
    float c3 = m[9] * m[14] - m[13] * m[10];
    float c2 = m[8] * m[15] - m[12] * m[11];
    float c1 = m[8] * m[14] - m[12] * m[10];
    float c0 = m[8] * m[13] - m[12] * m[9];

    mat4 r;
    r.m[0] = m[5] * c5 - m[6] * c4 + m[7] * c3;
    r.m[1] = -m[1] * c5 + m[2] * c4 - m[3] * c3;
    r.m[2] = m[13] * s5 - m[14] * s4 + m[15] * s3;
    r.m[3] = -m[9] * s5 + m[10] * s4 - m[11] * s3;
    r.m[4] = -m[4] * c5 + m[6] * c2 - m[7] * c1;
    r.m[5] = m[0] * c5 - m[2] * c2 + m[3] * c1;
    r.m[6] = -m[12] * s5 + m[14] * s2 - m[15] * s1;
    r.m[7] = m[8] * s5 - m[10] * s2 + m[11] * s1;
    r.m[8] = m[4] * c4 - m[5] * c2 + m[7] * c0;
    r.m[9] = -m[0] * c4 + m[1] * c2 - m[3] * c0;
    r.m[10] = m[12] * s4 - m[13] * s2 + m[15] * s0;
    r.m[11] = -m[8] * s4 + m[9] * s2 - m[11] * s0;
    r.m[12] = -m[4] * c3 + m[5] * c1 - m[6] * c0;
    r.m[13] = m[0] * c3 - m[1] * c1 + m[2] * c0;
    r.m[14] = -m[12] * s3 + m[13] * s1 - m[14] * s0;
    r.m[15] = m[8] * s3 - m[9] * s1 + m[10] * s0;
    return scale_elements(r, 1.0f / determinant(a));
}

bool equal(const mat4& a, const mat4& b) {
    for (int i = 0; i < 16; ++i) {
        if (a.m[i] != b.m[i]) return false;
    }
    return true;
}

} // namespace slm
