// The Lua sources built into the library (src/script/*.lua, embedded at build
// time by embed_lua.cmake) and the C declarations the FFI is given (the
// marked block of Lua_Ffi.h, copied by the same step).
#pragma once
#include <cstddef>
#include <lua.hpp>

struct LuaEmbeddedSource {
    const char* name; // the file name without ".lua"; null ends the list
    const char* text;
    size_t size;
};

extern const LuaEmbeddedSource LUA_EMBEDDED_SOURCES[];
extern const char LUA_FFI_DECLARATIONS[];

// Whether argument 1 is a full userdata holding a whole handle record of
// the type id in argument 2 (Lua_Handles.h). A lua_CFunction answering a boolean.
int luaIsHandle(lua_State* L);
