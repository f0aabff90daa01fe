// The math value userdata shared by the script families: 3- and 4-component
// vectors, 4x4 matrices (column-major) and quaternions, each a type id
// followed by plain floats. Results are always new userdata with the type's
// metatable; nothing modifies its arguments.
#pragma once
#include "script/Lua_Util.h"
#include "slm/slm.h"

struct Lua_Vector3 {
    int32_t type; // SCRIPT_TYPE_VECTOR3
    float x, y, z;
};

struct Lua_Vector4 {
    int32_t type; // SCRIPT_TYPE_VECTOR4
    float x, y, z, w;
};

struct Lua_Matrix {
    int32_t type; // SCRIPT_TYPE_MATRIX
    slm::mat4 m;  // 16 floats; read and written in place, never constructed
};

struct Lua_Quaternion {
    int32_t type; // SCRIPT_TYPE_QUATERNION
    float x, y, z, w;
};

// The blocks are the type id followed by the slm value, nothing else.
static_assert(sizeof(Lua_Vector3) == 4 + sizeof(slm::vec3), "vec3 record");
static_assert(sizeof(Lua_Vector4) == 4 + sizeof(slm::vec4), "vec4 record");
static_assert(sizeof(Lua_Matrix) == 4 + sizeof(slm::mat4), "matrix record");

// Pushes a new value userdata.
void luaPushVector3(lua_State* L, const slm::vec3& v);
void luaPushVector4(lua_State* L, const slm::vec4& v);
void luaPushMatrix(lua_State* L, const slm::mat4& m);

// The value at `index`, checked as in luaCheckUserData (script errors on a
// non-userdata or another type).
slm::vec3 luaCheckVector3(lua_State* L, int index);
slm::vec4 luaCheckVector4(lua_State* L, int index);
slm::mat4 luaCheckMatrix(lua_State* L, int index);
