// Script math: the registration of the Lua half (Lua_Math.lua), the entry
// points it calls for the operations it leaves to slm, and mat4_from_quat,
// which takes a quaternion userdata and so stays a C function.
#include "script/Lua_Math.h"
#include "core/DebugLog.h"
#include "script/Lua_Ffi.h"
#include "script/Lua_Library.h"
#include <cstring>

namespace {

const slm::mat4& matrixOf(const pelloran_mat4* m) { return *reinterpret_cast<const slm::mat4*>(m); }
slm::vec3 vectorOf(const pelloran_vec3* v) { return slm::vec3(v->_x, v->_y, v->_z); }
void store(pelloran_mat4* out, const slm::mat4& m) { std::memcpy(static_cast<void*>(out), m.m, sizeof m.m); }

static_assert(sizeof(slm::mat4) == sizeof(pelloran_mat4), "a script matrix is an slm::mat4");

int mat4_from_quat(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    const Lua_Quaternion* q = luaCheckUserData<Lua_Quaternion>(L, 1, SCRIPT_TYPE_QUATERNION);
    luaPushMatrix(L, slm::from_quat(slm::quat(q->x, q->y, q->z, q->w)));
    return 1;
}

} // namespace

// The operations below only compute: nothing in them throws.
extern "C" {

PELLORAN_FFI_EXPORT void pelloran_mat4_inverse(pelloran_mat4* out, const pelloran_mat4* m) {
    store(out, slm::inverse(matrixOf(m)));
}

PELLORAN_FFI_EXPORT float pelloran_mat4_determinant(const pelloran_mat4* m) { return slm::determinant(matrixOf(m)); }

PELLORAN_FFI_EXPORT void pelloran_mat4_axis_angle(pelloran_mat4* out, const pelloran_vec3* axis, float angle) {
    store(out, slm::axis_angle(vectorOf(axis), angle));
}

PELLORAN_FFI_EXPORT void pelloran_mat4_projection(pelloran_mat4* out, int perspective, float a, float b,
                                                  float zNear, float zFar, float h) {
    store(out, perspective ? slm::perspective(a, b, zNear, zFar, h) : slm::orthographic(a, b, zNear, zFar, h));
}

PELLORAN_FFI_EXPORT void pelloran_mat4_look_at(pelloran_mat4* out, const pelloran_vec3* eye,
                                               const pelloran_vec3* target, const pelloran_vec3* up, int object) {
    slm::vec3 e = vectorOf(eye), t = vectorOf(target), u = vectorOf(up);
    store(out, object ? slm::target_at(e, t, u) : slm::look_at(e, t, u));
}

} // extern "C"

void registerLuaMath(ScriptState* holder) {
    if (!holder || !holder->L) return;
    lua_State* L = holder->L;
    // The chunk answers the function that sets the globals in their order.
    luaPushFfiKit(L);
    luaRunEmbedded(L, "Lua_Math", 1, 1);
    if (lua_isfunction(L, -1)) {
        lua_pushcfunction(L, mat4_from_quat);
        if (lua_pcall(L, 1, 0, 0) == 0) return;
        core::log(0x1, "LUA ERROR: %s\n", lua_tostring(L, -1));
    }
    lua_pop(L, 1);
}
