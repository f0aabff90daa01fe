// Lua_Ffi: the C entry points that the script bindings reach through
// LuaJIT's FFI, and the value types they share with Lua.
//
// The block between the two marker lines is plain C: the build copies it
// verbatim into the ffi.cdef of every Lua state (Lua_Ffi.lua), so C++ and
// Lua always see the same declarations. Keep it free of preprocessor lines,
// C++ and comments other than // lines.
//
// Conventions of the entry points:
// - Handles arrive as the payload pointer of their Lua userdata (the FFI
//   passes a full userdata to a void* parameter that way); the Lua side has
//   already checked the argument count and each handle's metatable. The
//   entry points check the type id in the payload again and answer the
//   1-based position of a handle that is not of its type.
// - 0 means done. -1 means an engine exception or failed assertion ended the
//   operation; pelloran_error() then holds its message, which the Lua side
//   raises as an ordinary script error. No C++ exception leaves an entry point.
// - Matrices are 16 floats, column-major; `m` may point into scratch memory
//   owned by the Lua state, read only during the call.
#pragma once
#include <cstddef>
#include <cstdint>

#define PELLORAN_FFI_EXPORT __attribute__((visibility("default")))

extern "C" {
#pragma GCC visibility push(default)
// ffi-declarations-begin
// Values never change once made, so their fields are const.
typedef struct pelloran_vec3 { const float _x, _y, _z; } pelloran_vec3;
typedef struct pelloran_vec4 { const float _x, _y, _z, _w; } pelloran_vec4;
typedef struct pelloran_mat4 {
  const float _m0, _m1, _m2, _m3, _m4, _m5, _m6, _m7, _m8, _m9, _m10, _m11, _m12, _m13, _m14, _m15;
} pelloran_mat4;

// The message of the last failed entry point (empty before any failure).
const char* pelloran_error(void);
// Reports a failed check through the assertion reporter (the "ASSERT
// FAILURE!" lines); pelloran_error() then holds the text to raise.
void pelloran_report_assert(const char* expression, const char* message, const char* source, int line);

int pelloran_render_set_camera(void* camera, const float* m);
int pelloran_render_set_shader(void* shader);
int pelloran_render_mesh(void* mesh, void* appearance, const float* m);
int pelloran_render_line(float x0, float y0, float z0, float x1, float y1, float z1, double argb);
int pelloran_render_text(const char* text, size_t length, const float* m);
// kind: 1 a number, 3 a vec3, 4 a vec4, 16 a matrix; `v` holds that many floats.
int pelloran_shader_set(void* shader, const char* name, int kind, const float* v);

// Math that scripts call seldom enough to leave to the engine's slm code.
void pelloran_mat4_inverse(pelloran_mat4* out, const pelloran_mat4* m);
float pelloran_mat4_determinant(const pelloran_mat4* m);
void pelloran_mat4_axis_angle(pelloran_mat4* out, const pelloran_vec3* axis, float angle);
void pelloran_mat4_projection(pelloran_mat4* out, int perspective, float a, float b, float zNear, float zFar,
                              float h);
void pelloran_mat4_look_at(pelloran_mat4* out, const pelloran_vec3* eye, const pelloran_vec3* target,
                           const pelloran_vec3* up, int object);
// ffi-declarations-end
#pragma GCC visibility pop
}

static_assert(sizeof(pelloran_vec3) == 12 && sizeof(pelloran_vec4) == 16 && sizeof(pelloran_mat4) == 64,
              "script math values are packed floats");
