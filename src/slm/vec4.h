// slm::vec4: four f32 components, a plain value type (points carry w = 1,
// directions w = 0). Operations are component-wise over all four components.
#pragma once
#include "slm/vec3.h"
#include <cmath>

namespace slm {

struct vec4 {
    float x, y, z, w;

    vec4() : x(0.0f), y(0.0f), z(0.0f), w(0.0f) {}
    vec4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    vec4(const vec3& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}
    // Splat: all four components equal s.
    explicit vec4(float s) : x(s), y(s), z(s), w(s) {}

    // 0 = x … 3 = w; unchecked.
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }
    vec3 xyz() const { return vec3(x, y, z); }

    vec4& operator+=(const vec4& b) { x += b.x; y += b.y; z += b.z; w += b.w; return *this; }
    vec4& operator-=(const vec4& b) { x -= b.x; y -= b.y; z -= b.z; w -= b.w; return *this; }
    vec4& operator*=(float s) { x *= s; y *= s; z *= s; w *= s; return *this; }
};

inline vec4 operator+(const vec4& a, const vec4& b) { return vec4(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w); }
inline vec4 operator-(const vec4& a, const vec4& b) { return vec4(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w); }
inline vec4 operator-(const vec4& a) { return vec4(-a.x, -a.y, -a.z, -a.w); }
inline vec4 operator*(const vec4& a, float s) { return vec4(a.x * s, a.y * s, a.z * s, a.w * s); }
inline vec4 operator*(float s, const vec4& a) { return a * s; }
inline bool operator==(const vec4& a, const vec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }
inline bool operator!=(const vec4& a, const vec4& b) { return !(a == b); }

inline float dot(const vec4& a, const vec4& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline float length_squared(const vec4& a) { return dot(a, a); }
inline float length(const vec4& a) { return std::sqrt(dot(a, a)); }
inline vec4 unit(const vec4& a) { return a * (1.0f / length(a)); }
inline vec4 lerp(const vec4& a, const vec4& b, float t) { return a + (b - a) * t; }
inline float distance(const vec4& a, const vec4& b) { return length(a - b); }

} // namespace slm
