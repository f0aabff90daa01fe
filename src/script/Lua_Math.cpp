// Script math: vec3*, vec4* and mat4* functions over value userdata, with
// operators and method lookup through the metatables. All arithmetic is slm's.
#include "script/Lua_Math.h"
#include "script/Lua_Library.h"

// ---- shared helpers ----

namespace {
// A vector record's value, and a value written into a new record's block.
slm::vec3 valueOf(const Lua_Vector3* u) { return slm::vec3(u->x, u->y, u->z); }
slm::vec4 valueOf(const Lua_Vector4* u) { return slm::vec4(u->x, u->y, u->z, u->w); }

void store(void* block, const slm::vec3& v) {
    Lua_Vector3* u = static_cast<Lua_Vector3*>(block);
    u->x = v.x;
    u->y = v.y;
    u->z = v.z;
}

void store(void* block, const slm::vec4& v) {
    Lua_Vector4* u = static_cast<Lua_Vector4*>(block);
    u->x = v.x;
    u->y = v.y;
    u->z = v.z;
    u->w = v.w;
}
} // namespace

void luaPushVector3(lua_State* L, const slm::vec3& v) {
    store(luaNewValueOfType(L, SCRIPT_TYPE_VECTOR3, sizeof(Lua_Vector3)), v);
}

void luaPushVector4(lua_State* L, const slm::vec4& v) {
    store(luaNewValueOfType(L, SCRIPT_TYPE_VECTOR4, sizeof(Lua_Vector4)), v);
}

void luaPushMatrix(lua_State* L, const slm::mat4& m) {
    static_cast<Lua_Matrix*>(luaNewValueOfType(L, SCRIPT_TYPE_MATRIX, sizeof(Lua_Matrix)))->m = m;
}

slm::vec3 luaCheckVector3(lua_State* L, int index) {
    return valueOf(luaCheckUserData<Lua_Vector3>(L, index, SCRIPT_TYPE_VECTOR3));
}

slm::vec4 luaCheckVector4(lua_State* L, int index) {
    return valueOf(luaCheckUserData<Lua_Vector4>(L, index, SCRIPT_TYPE_VECTOR4));
}

slm::mat4 luaCheckMatrix(lua_State* L, int index) {
    return luaCheckUserData<Lua_Matrix>(L, index, SCRIPT_TYPE_MATRIX)->m;
}

namespace {

// The matrix is read in place: the argument keeps its block alive for the call.
const slm::mat4& argMatrix(lua_State* L, int index) {
    return luaCheckUserData<Lua_Matrix>(L, index, SCRIPT_TYPE_MATRIX)->m;
}

float checkFloat(lua_State* L, int index) { return (float)luaL_checknumber(L, index); }

// Scaling takes (vector, factor) or (factor, vector): `a * 2` and `2 * a`.
bool factorFirst(lua_State* L) { return lua_type(L, 1) == LUA_TNUMBER; }

// ---- vec3 ----

int vec3(lua_State* L) {
    int n = luaCheckArgCount(L, 0, 3);
    float c[3] = {0, 0, 0};
    for (int i = 0; i < n; ++i) c[i] = checkFloat(L, i + 1);
    luaPushVector3(L, slm::vec3(c[0], c[1], c[2]));
    return 1;
}

int vec3_x(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector3(L, 1).x);
    return 1;
}

int vec3_y(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector3(L, 1).y);
    return 1;
}

int vec3_z(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector3(L, 1).z);
    return 1;
}

int vec3_add(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector3(L, luaCheckVector3(L, 1) + luaCheckVector3(L, 2));
    return 1;
}

int vec3_sub(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector3(L, luaCheckVector3(L, 1) - luaCheckVector3(L, 2));
    return 1;
}

int vec3_neg(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, -luaCheckVector3(L, 1));
    return 1;
}

int vec3_scale(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    bool first = factorFirst(L);
    slm::vec3 v = luaCheckVector3(L, first ? 2 : 1);
    float s = checkFloat(L, first ? 1 : 2);
    luaPushVector3(L, v * s);
    return 1;
}

int vec3_dot(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    lua_pushnumber(L, slm::dot(luaCheckVector3(L, 1), luaCheckVector3(L, 2)));
    return 1;
}

int vec3_cross(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector3(L, slm::cross(luaCheckVector3(L, 1), luaCheckVector3(L, 2)));
    return 1;
}

int vec3_len(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, slm::length(luaCheckVector3(L, 1)));
    return 1;
}

int vec3_norm(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, slm::length_squared(luaCheckVector3(L, 1)));
    return 1;
}

int vec3_unit(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, slm::unit(luaCheckVector3(L, 1)));
    return 1;
}

int vec3_lerp(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    luaPushVector3(L, slm::lerp(luaCheckVector3(L, 1), luaCheckVector3(L, 2), checkFloat(L, 3)));
    return 1;
}

int vec3_distance(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    lua_pushnumber(L, slm::distance(luaCheckVector3(L, 1), luaCheckVector3(L, 2)));
    return 1;
}

// ---- vec4 ----

int vec4(lua_State* L) {
    int n = luaCheckArgCount(L, 0, 4);
    float c[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) c[i] = checkFloat(L, i + 1);
    luaPushVector4(L, slm::vec4(c[0], c[1], c[2], c[3]));
    return 1;
}

int vec4_from_vec3(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector4(L, slm::vec4(luaCheckVector3(L, 1), checkFloat(L, 2)));
    return 1;
}

int vec4_x(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector4(L, 1).x);
    return 1;
}

int vec4_y(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector4(L, 1).y);
    return 1;
}

int vec4_z(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector4(L, 1).z);
    return 1;
}

int vec4_w(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, luaCheckVector4(L, 1).w);
    return 1;
}

int vec4_xyz(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, luaCheckVector4(L, 1).xyz());
    return 1;
}

int vec4_add(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector4(L, luaCheckVector4(L, 1) + luaCheckVector4(L, 2));
    return 1;
}

int vec4_sub(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushVector4(L, luaCheckVector4(L, 1) - luaCheckVector4(L, 2));
    return 1;
}

int vec4_neg(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector4(L, -luaCheckVector4(L, 1));
    return 1;
}

int vec4_scale(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    bool first = factorFirst(L);
    slm::vec4 v = luaCheckVector4(L, first ? 2 : 1);
    float s = checkFloat(L, first ? 1 : 2);
    luaPushVector4(L, v * s);
    return 1;
}

int vec4_dot(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    lua_pushnumber(L, slm::dot(luaCheckVector4(L, 1), luaCheckVector4(L, 2)));
    return 1;
}

int vec4_len(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, slm::length(luaCheckVector4(L, 1)));
    return 1;
}

int vec4_norm(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, slm::length_squared(luaCheckVector4(L, 1)));
    return 1;
}

int vec4_unit(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector4(L, slm::unit(luaCheckVector4(L, 1)));
    return 1;
}

int vec4_lerp(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    luaPushVector4(L, slm::lerp(luaCheckVector4(L, 1), luaCheckVector4(L, 2), checkFloat(L, 3)));
    return 1;
}

int vec4_distance(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    lua_pushnumber(L, slm::distance(luaCheckVector4(L, 1), luaCheckVector4(L, 2)));
    return 1;
}

// ---- mat4 ----

int mat4_idn(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    luaPushMatrix(L, slm::identity());
    return 1;
}

int mat4_build(lua_State* L) {
    luaCheckArgCount(L, 4, 4);
    luaPushMatrix(L, slm::from_columns(luaCheckVector4(L, 1), luaCheckVector4(L, 2), luaCheckVector4(L, 3),
                                       luaCheckVector4(L, 4)));
    return 1;
}

int mat4_from_quat(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    const Lua_Quaternion* q = luaCheckUserData<Lua_Quaternion>(L, 1, SCRIPT_TYPE_QUATERNION);
    luaPushMatrix(L, slm::from_quat(slm::quat(q->x, q->y, q->z, q->w)));
    return 1;
}

int mat4_axis_angle(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushMatrix(L, slm::axis_angle(luaCheckVector3(L, 1), checkFloat(L, 2)));
    return 1;
}

int mat4_get_col(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    const slm::mat4& m = argMatrix(L, 1);
    lua_Integer col = luaL_checkinteger(L, 2);
    luaAssert(L, col >= 1 && col <= 4, assertion::MATRIX_COLUMN);
    luaPushVector4(L, slm::column(m, (int)col - 1));
    return 1;
}

int mat4_get_x_axis(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, slm::column(argMatrix(L, 1), 0).xyz());
    return 1;
}

int mat4_get_y_axis(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, slm::column(argMatrix(L, 1), 1).xyz());
    return 1;
}

int mat4_get_z_axis(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, slm::column(argMatrix(L, 1), 2).xyz());
    return 1;
}

int mat4_get_trn(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushVector3(L, slm::column(argMatrix(L, 1), 3).xyz());
    return 1;
}

int mat4_mul(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    luaPushMatrix(L, slm::multiply(argMatrix(L, 1), argMatrix(L, 2)));
    return 1;
}

int mat4_inv(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::inverse(argMatrix(L, 1)));
    return 1;
}

int mat4_transpose(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::transpose(argMatrix(L, 1)));
    return 1;
}

int mat4_det(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    lua_pushnumber(L, slm::determinant(argMatrix(L, 1)));
    return 1;
}

int pushProjection(lua_State* L, bool perspective, float h) {
    luaCheckArgCount(L, 4, 4);
    float a = checkFloat(L, 1), b = checkFloat(L, 2), n = checkFloat(L, 3), f = checkFloat(L, 4);
    luaPushMatrix(L, perspective ? slm::perspective(a, b, n, f, h) : slm::orthographic(a, b, n, f, h));
    return 1;
}

int mat4_proj_fov_lh(lua_State* L) { return pushProjection(L, true, -1.0f); }
int mat4_proj_fov(lua_State* L) { return pushProjection(L, true, 1.0f); }
int mat4_proj_ortho_lh(lua_State* L) { return pushProjection(L, false, -1.0f); }
int mat4_proj_ortho(lua_State* L) { return pushProjection(L, false, 1.0f); }

int mat4_translation(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::translation(luaCheckVector3(L, 1)));
    return 1;
}

int mat4_rot_x(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::rotation_x(checkFloat(L, 1)));
    return 1;
}

int mat4_rot_y(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::rotation_y(checkFloat(L, 1)));
    return 1;
}

int mat4_rot_z(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::rotation_z(checkFloat(L, 1)));
    return 1;
}

int mat4_rot_xyz(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    float ax = checkFloat(L, 1), ay = checkFloat(L, 2), az = checkFloat(L, 3);
    // X is applied first.
    luaPushMatrix(L, slm::rotation_z(az) * slm::rotation_y(ay) * slm::rotation_x(ax));
    return 1;
}

int mat4_scale(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaPushMatrix(L, slm::scale(checkFloat(L, 1)));
    return 1;
}

int mat4_look_at(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    luaPushMatrix(L, slm::look_at(luaCheckVector3(L, 1), luaCheckVector3(L, 2), luaCheckVector3(L, 3)));
    return 1;
}

int mat4_target_at(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    luaPushMatrix(L, slm::target_at(luaCheckVector3(L, 1), luaCheckVector3(L, 2), luaCheckVector3(L, 3)));
    return 1;
}

// ---- metamethods ----

// __index with a number key reads a component (or a matrix column); with a
// string key it answers the function of that name from upvalue 1 (a table
// filled at registration with the very function values of the globals), so
// v:len() works; other strings are script errors.
int lookupMethod(lua_State* L, const char* family) {
    const char* key = luaL_checkstring(L, 2);
    lua_pushvalue(L, 2);
    lua_rawget(L, lua_upvalueindex(1));
    if (lua_isnil(L, -1)) return luaL_error(L, "%s function '%s' not found!", family, key);
    return 1;
}

int vec3_index(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    if (lua_type(L, 2) == LUA_TNUMBER) {
        const Lua_Vector3* v = luaCheckUserData<Lua_Vector3>(L, 1, SCRIPT_TYPE_VECTOR3);
        lua_Integer idx = luaL_checkinteger(L, 2);
        luaAssert(L, idx >= 1 && idx <= 3, assertion::VECTOR3_INDEX);
        const float c[3] = {v->x, v->y, v->z};
        lua_pushnumber(L, c[idx - 1]);
        return 1;
    }
    return lookupMethod(L, "Vec3");
}

int vec4_index(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    if (lua_type(L, 2) == LUA_TNUMBER) {
        const Lua_Vector4* v = luaCheckUserData<Lua_Vector4>(L, 1, SCRIPT_TYPE_VECTOR4);
        lua_Integer idx = luaL_checkinteger(L, 2);
        luaAssert(L, idx >= 1 && idx <= 4, assertion::VECTOR4_INDEX);
        const float c[4] = {v->x, v->y, v->z, v->w};
        lua_pushnumber(L, c[idx - 1]);
        return 1;
    }
    return lookupMethod(L, "Vec4");
}

int mat4_index(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    if (lua_type(L, 2) == LUA_TNUMBER) {
        const slm::mat4& m = argMatrix(L, 1);
        lua_Integer idx = luaL_checkinteger(L, 2);
        luaAssert(L, idx >= 1 && idx <= 4, assertion::MATRIX_INDEX);
        luaPushVector4(L, slm::column(m, (int)idx - 1));
        return 1;
    }
    return lookupMethod(L, "Mat4");
}

int vec3_tostring(lua_State* L) {
    slm::vec3 v = luaCheckVector3(L, 1);
    lua_pushfstring(L, "[%f, %f, %f]", (double)v.x, (double)v.y, (double)v.z);
    return 1;
}

int vec4_tostring(lua_State* L) {
    slm::vec4 v = luaCheckVector4(L, 1);
    lua_pushfstring(L, "[%f, %f, %f, %f]", (double)v.x, (double)v.y, (double)v.z, (double)v.w);
    return 1;
}

int mat4_tostring(lua_State* L) {
    const slm::mat4& matrix = argMatrix(L, 1);
    const float* m = matrix.m;
    lua_pushfstring(L, "[[%f, %f, %f, %f], [%f, %f, %f, %f], [%f, %f, %f, %f], [%f, %f, %f, %f]]", (double)m[0],
                    (double)m[1], (double)m[2], (double)m[3], (double)m[4], (double)m[5], (double)m[6],
                    (double)m[7], (double)m[8], (double)m[9], (double)m[10], (double)m[11], (double)m[12],
                    (double)m[13], (double)m[14], (double)m[15]);
    return 1;
}

// LuaJIT passes the operand of unary minus twice; negation takes the first.
int vec3_unm(lua_State* L) {
    lua_settop(L, 1);
    return vec3_neg(L);
}

int vec4_unm(lua_State* L) {
    lua_settop(L, 1);
    return vec4_neg(L);
}

// ---- registration ----

const luaL_Reg VECTOR3_METHODS[] = {{"__add", vec3_add},   {"__sub", vec3_sub},
                                    {"__unm", vec3_unm},   {"__mul", vec3_scale},
                                    {"__index", vec3_index}, {"__tostring", vec3_tostring},
                                    {nullptr, nullptr}};
const luaL_Reg VECTOR4_METHODS[] = {{"__add", vec4_add},   {"__sub", vec4_sub},
                                    {"__unm", vec4_unm},   {"__mul", vec4_scale},
                                    {"__index", vec4_index}, {"__tostring", vec4_tostring},
                                    {nullptr, nullptr}};
const luaL_Reg MATRIX_METHODS[] = {
    {"__mul", mat4_mul}, {"__index", mat4_index}, {"__tostring", mat4_tostring}, {nullptr, nullptr}};

const luaL_Reg MATH_FUNCTIONS[] = {
    {"vec3", vec3},
    {"vec3_x", vec3_x},
    {"vec3_y", vec3_y},
    {"vec3_z", vec3_z},
    {"vec3_add", vec3_add},
    {"vec3_sub", vec3_sub},
    {"vec3_neg", vec3_neg},
    {"vec3_scale", vec3_scale},
    {"vec3_dot", vec3_dot},
    {"vec3_cross", vec3_cross},
    {"vec3_len", vec3_len},
    {"vec3_norm", vec3_norm},
    {"vec3_unit", vec3_unit},
    {"vec3_lerp", vec3_lerp},
    {"vec3_distance", vec3_distance},
    {"vec4", vec4},
    {"vec4_from_vec3", vec4_from_vec3},
    {"vec4_x", vec4_x},
    {"vec4_y", vec4_y},
    {"vec4_z", vec4_z},
    {"vec4_w", vec4_w},
    {"vec4_xyz", vec4_xyz},
    {"vec4_add", vec4_add},
    {"vec4_sub", vec4_sub},
    {"vec4_neg", vec4_neg},
    {"vec4_scale", vec4_scale},
    {"vec4_dot", vec4_dot},
    {"vec4_len", vec4_len},
    {"vec4_norm", vec4_norm},
    {"vec4_unit", vec4_unit},
    {"vec4_lerp", vec4_lerp},
    {"vec4_distance", vec4_distance},
    {"mat4_idn", mat4_idn},
    {"mat4_build", mat4_build},
    {"mat4_from_quat", mat4_from_quat},
    {"mat4_axis_angle", mat4_axis_angle},
    {"mat4_get_col", mat4_get_col},
    {"mat4_get_x_axis", mat4_get_x_axis},
    {"mat4_get_y_axis", mat4_get_y_axis},
    {"mat4_get_z_axis", mat4_get_z_axis},
    {"mat4_get_trn", mat4_get_trn},
    {"mat4_mul", mat4_mul},
    {"mat4_inv", mat4_inv},
    {"mat4_transpose", mat4_transpose},
    {"mat4_det", mat4_det},
    {"mat4_proj_fov_lh", mat4_proj_fov_lh},
    {"mat4_proj_fov", mat4_proj_fov},
    {"mat4_proj_ortho_lh", mat4_proj_ortho_lh},
    {"mat4_proj_ortho", mat4_proj_ortho},
    {"mat4_translation", mat4_translation},
    {"mat4_rot_x", mat4_rot_x},
    {"mat4_rot_y", mat4_rot_y},
    {"mat4_rot_z", mat4_rot_z},
    {"mat4_rot_xyz", mat4_rot_xyz},
    {"mat4_scale", mat4_scale},
    {"mat4_look_at", mat4_look_at},
    {"mat4_target_at", mat4_target_at},
    {nullptr, nullptr}};

const LuaFamily VECTOR3_FAMILY = {"META_Vector3", VECTOR3_METHODS, nullptr, nullptr};
const LuaFamily VECTOR4_FAMILY = {"META_Vector4", VECTOR4_METHODS, nullptr, nullptr};
const LuaFamily MATRIX_FAMILY = {"META_Matrix", MATRIX_METHODS, nullptr, MATH_FUNCTIONS};

// Gives a metatable's __index its method table: each short name maps to the
// global function `prefix` + name as registered just before.
void attachMethods(lua_State* L, const char* metatable, const char* prefix, const char* const* names,
                   lua_CFunction index) {
    luaL_getmetatable(L, metatable);
    lua_newtable(L);
    for (const char* const* n = names; *n; ++n) {
        lua_pushstring(L, prefix);
        lua_pushstring(L, *n);
        lua_concat(L, 2);
        lua_rawget(L, LUA_GLOBALSINDEX);
        lua_setfield(L, -2, *n);
    }
    lua_pushcclosure(L, index, 1);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
}

const char* const VECTOR3_METHOD_NAMES[] = {"x",   "y",   "z",    "unit",     "len", "dot",
                                            "cross", "lerp", "distance", "norm", nullptr};
const char* const VECTOR4_METHOD_NAMES[] = {"x",   "y",   "z",    "w",        "xyz", "unit",
                                            "len", "dot", "lerp", "distance", "norm", nullptr};
const char* const MATRIX_METHOD_NAMES[] = {"inv", nullptr};

} // namespace

void registerLuaMath(ScriptState* holder) {
    luaRegisterFamily(holder, VECTOR3_FAMILY);
    luaRegisterFamily(holder, VECTOR4_FAMILY);
    luaRegisterFamily(holder, MATRIX_FAMILY);
    if (!holder || !holder->L) return;
    attachMethods(holder->L, "META_Vector3", "vec3_", VECTOR3_METHOD_NAMES, vec3_index);
    attachMethods(holder->L, "META_Vector4", "vec4_", VECTOR4_METHOD_NAMES, vec4_index);
    attachMethods(holder->L, "META_Matrix", "mat4_", MATRIX_METHOD_NAMES, mat4_index);
}
