// The binding conventions shared by every script family: argument counts,
// typed userdata, registration, and the C++ -> Lua error boundary.
#include "script/Lua_Util.h"
#include "core/DebugLog.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

const char* const SCRIPT_METATABLE_NAMES[SCRIPT_TYPE_COUNT] = {
    "META_Vector3",    "META_Vector4", "META_Matrix", "META_Quaternion", "META_Appearance",
    "META_Camera",     "META_Mesh",    "META_Mesh_Builder", "META_Shader", "META_Texture",
};

int luaCheckArgCount(lua_State* L, int min, int max) {
    int n = lua_gettop(L);
    if (n < min || n > max) {
        char message[64];
        std::snprintf(message, sizeof message, "Expected %d - %d arguments!", min, max);
        luaL_argerror(L, max, message);
    }
    return n;
}

namespace {

void copyMessage(char* out, int size, const char* text) {
    std::snprintf(out, (size_t)size, "%s", text ? text : "");
}

} // namespace

bool luaRunGuarded(void* context, void (*fn)(void*), char* message, int size) {
    // Only engine code runs in here (never a Lua call that may raise), so
    // every exception caught below is a C++ one.
    try {
        fn(context);
        return true;
    } catch (const Morva3DException& e) {
        copyMessage(message, size, e.getMessage());
    } catch (const Assert_Exception& e) {
        copyMessage(message, size, e.getMessage());
    } catch (core::StringIndexOutOfBoundsException*& e) {
        delete e;
        copyMessage(message, size, "String index out of bounds");
    } catch (core::UnsupportedCharacterSetException*& e) {
        delete e;
        copyMessage(message, size, "Unsupported character set");
    } catch (const core::StringIndexOutOfBoundsException&) {
        copyMessage(message, size, "String index out of bounds");
    } catch (const core::UnsupportedCharacterSetException&) {
        copyMessage(message, size, "Unsupported character set");
    } catch (const std::exception& e) {
        copyMessage(message, size, e.what());
    }
    return false;
}

void luaRaiseError(lua_State* L, const char* message) {
    // Prefixed with the calling script's position, as luaL_error does.
    luaL_where(L, 1);
    lua_pushstring(L, message);
    lua_concat(L, 2);
    lua_error(L);
    // lua_error does not return; this keeps [[noreturn]] honest for the compiler.
    std::abort();
}

void luaAssert(lua_State* L, bool condition, const char* expression, const char* message, const char* source,
               int line) {
    if (condition) return;
    char text[Assert_Exception::MAX_MESSAGE];
    bool reported = false;
    try {
        core::assertFailure(expression, message, source, line);
    } catch (const Assert_Exception& e) {
        copyMessage(text, sizeof text, e.getMessage());
        reported = true;
    }
    if (!reported) copyMessage(text, sizeof text, message);
    luaRaiseError(L, text);
}

namespace {

// Whether the userdata at `index` is a block of ours of `type`: a full
// userdata large enough for the type id, carrying that id and the metatable
// registered for the type (or none when none is registered). Blocks of other
// libraries (io files, newproxy) fail here instead of being read as ours.
bool isUserDataOfType(lua_State* L, int index, int type) {
    if (lua_type(L, index) != LUA_TUSERDATA || lua_objlen(L, index) < sizeof(ScriptUserData)) return false;
    if (static_cast<ScriptUserData*>(lua_touserdata(L, index))->type != type) return false;
    if (type < 0 || type >= SCRIPT_TYPE_COUNT) return true;
    if (!lua_getmetatable(L, index)) lua_pushnil(L);
    luaL_getmetatable(L, SCRIPT_METATABLE_NAMES[type]);
    bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same;
}

} // namespace

ScriptUserData* luaCheckUserDataOfType(lua_State* L, int index, int type) {
    ScriptUserData* data = static_cast<ScriptUserData*>(lua_touserdata(L, index));
    luaAssert(L, data != 0, "data != 0", "Expected a lua user data!", "Lua_Util", 33);
    luaAssert(L, isUserDataOfType(L, index, type), "data->type == type", "Lua user data is of wrong type!",
              "Lua_Util", 34);
    return data;
}

void* luaNewUserDataOfType(lua_State* L, int type, size_t size) {
    void* block = lua_newuserdata(L, size);
    std::memset(block, 0, size);
    static_cast<ScriptUserData*>(block)->type = type;
    if (type >= 0 && type < SCRIPT_TYPE_COUNT) {
        luaL_getmetatable(L, SCRIPT_METATABLE_NAMES[type]);
        if (lua_istable(L, -1)) {
            lua_setmetatable(L, -2);
        } else {
            lua_pop(L, 1); // no metatable of that name: the block carries none
        }
    }
    return block;
}

void luaRegisterFamily(ScriptState* holder, const LuaFamily& family) {
    if (!holder || !holder->L) return;
    lua_State* L = holder->L;
    if (family.metatable) {
        luaL_newmetatable(L, family.metatable);
        if (family.methods) luaL_register(L, nullptr, family.methods);
        lua_pop(L, 1);
    }
    if (family.constants) {
        for (const LuaConstant* c = family.constants; c->name; ++c) {
            lua_pushinteger(L, c->value);
            lua_setfield(L, LUA_GLOBALSINDEX, c->name);
        }
    }
    if (family.functions) {
        for (const luaL_Reg* f = family.functions; f->name; ++f) {
            lua_pushcclosure(L, f->func, 0);
            lua_setfield(L, LUA_GLOBALSINDEX, f->name);
        }
    }
}

namespace {

// The shared trampoline of bound functions: upvalue 1 is the object, upvalue 2 the handler.
int boundTrampoline(lua_State* L) {
    void* object = lua_touserdata(L, lua_upvalueindex(1));
    LuaBoundHandler handler = reinterpret_cast<LuaBoundHandler>(lua_touserdata(L, lua_upvalueindex(2)));
    return handler(L, lua_gettop(L), object);
}

} // namespace

void luaRegisterBound(ScriptState* holder, const char* name, void* object, LuaBoundHandler handler) {
    if (!holder || !holder->L) return;
    lua_State* L = holder->L;
    lua_pushlightuserdata(L, object);
    lua_pushlightuserdata(L, reinterpret_cast<void*>(handler));
    lua_pushcclosure(L, boundTrampoline, 2);
    lua_setfield(L, LUA_GLOBALSINDEX, name);
}
