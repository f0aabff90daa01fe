// slm::vec3: three f32 components, a plain value type.
// Operations are component-wise unless stated. Nothing is guarded: unit() of
// a zero vector yields non-finite components, as IEEE division gives them.
#pragma once
#include <cmath>

namespace slm {

struct vec3 {
    float x, y, z;

    vec3() : x(0.0f), y(0.0f), z(0.0f) {}
    vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    // Splat: all three components equal s.
    explicit vec3(float s) : x(s), y(s), z(s) {}

    // 0 = x, 1 = y, 2 = z; unchecked.
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }

    vec3& operator+=(const vec3& b) { x += b.x; y += b.y; z += b.z; return *this; }
    vec3& operator-=(const vec3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
    vec3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
};

inline vec3 operator+(const vec3& a, const vec3& b) { return vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline vec3 operator-(const vec3& a, const vec3& b) { return vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline vec3 operator-(const vec3& a) { return vec3(-a.x, -a.y, -a.z); }
inline vec3 operator*(const vec3& a, float s) { return vec3(a.x * s, a.y * s, a.z * s); }
inline vec3 operator*(float s, const vec3& a) { return a * s; }
// Exact comparison of all components.
inline bool operator==(const vec3& a, const vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const vec3& a, const vec3& b) { return !(a == b); }

inline float dot(const vec3& a, const vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3 cross(const vec3& a, const vec3& b) {
    return vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline float length_squared(const vec3& a) { return dot(a, a); }
inline float length(const vec3& a) { return std::sqrt(dot(a, a)); }
// a × (1 / length(a)); a zero vector gives non-finite components.
inline vec3 unit(const vec3& a) { return a * (1.0f / length(a)); }
inline vec3 lerp(const vec3& a, const vec3& b, float t) { return a + (b - a) * t; }
inline float distance(const vec3& a, const vec3& b) { return length(a - b); }

} // namespace slm
