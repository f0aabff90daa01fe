// Script math: vec3, vec4 and mat4 values are FFI cdata of the structs in
// Lua_Ffi.h, made and combined by Lua functions (Lua_Math.lua). C++ code
// reads and makes them only through the helpers of Lua_Util.h
// (luaCheckVector3, luaCheckMatrix, luaPushMatrix, ...). Quaternions stay
// userdata: a type id followed by four floats.
#pragma once
#include "script/Lua_Util.h"

struct Lua_Quaternion {
    int32_t type; // SCRIPT_TYPE_QUATERNION
    float x, y, z, w;
};
