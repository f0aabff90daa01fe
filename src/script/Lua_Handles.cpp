// The check behind the handle metatables' guard (Lua_Ffi.lua): only a
// genuine handle record may carry a handle metatable, because the FFI-bound
// frame commands know a handle by its metatable alone.
#include "script/Lua_Handles.h"
#include "script/Lua_Sources.h"

namespace {

size_t recordSize(int type) {
    switch (type) {
    case SCRIPT_TYPE_APPEARANCE: return sizeof(Lua_Appearance);
    case SCRIPT_TYPE_CAMERA: return sizeof(Lua_Camera);
    case SCRIPT_TYPE_MESH: return sizeof(Lua_Mesh);
    case SCRIPT_TYPE_SHADER: return sizeof(Lua_Shader);
    case SCRIPT_TYPE_TEXTURE: return sizeof(Lua_Texture);
    default: return 0;
    }
}

} // namespace

int luaIsHandle(lua_State* L) {
    int type = (int)lua_tointeger(L, 2);
    size_t size = recordSize(type);
    const ScriptUserData* data =
        lua_type(L, 1) == LUA_TUSERDATA ? static_cast<const ScriptUserData*>(lua_touserdata(L, 1)) : nullptr;
    lua_pushboolean(L, size > 0 && data && lua_objlen(L, 1) >= size && data->type == type);
    return 1;
}
