// The binding conventions shared by every script family: argument counts,
// typed userdata, registration, and the C++ -> Lua error boundary.
#include "script/Lua_Util.h"
#include "core/DebugLog.h"
#include "script/Lua_Ffi.h"
#include "script/Lua_Sources.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

const char* const SCRIPT_METATABLE_NAMES[SCRIPT_TYPE_COUNT] = {
    "META_Vector3",    "META_Vector4", "META_Matrix", "META_Quaternion", "META_Appearance",
    "META_Camera",     "META_Mesh",    "META_Mesh_Builder", "META_Shader", "META_Texture",
    "META_Scene",      "META_Object",
};

void luaArgCountError(lua_State* L, int min, int max) {
    char message[64];
    std::snprintf(message, sizeof message, "Expected %d - %d arguments!", min, max);
    luaL_argerror(L, max, message);
    std::abort(); // luaL_argerror does not return
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
    } catch (...) {
        // Whatever else is thrown must not unwind through LuaJIT frames either.
        copyMessage(message, size, "Unknown C++ exception");
    }
    return false;
}

namespace {
// The message handler of the host's protected calls: a string message gets
// the stack traceback (every Lua frame's file:line) appended; any other
// error value is passed on unchanged.
int appendTraceback(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    if (!message) return 1;
    luaL_traceback(L, L, message, 1);
    return 1;
}
} // namespace

int luaProtectedCall(lua_State* L, int argCount, int resultCount) {
    int handler = lua_gettop(L) - argCount;
    lua_pushcfunction(L, appendTraceback);
    lua_insert(L, handler);
    int status = lua_pcall(L, argCount, resultCount, handler);
    lua_remove(L, handler);
    return status;
}

namespace {
// The message of the last failed FFI entry point. One Lua state runs at a
// time on the one thread, and the Lua side copies it out right after the call.
char g_ffiError[Assert_Exception::MAX_MESSAGE] = "";
} // namespace

int luaFfiGuarded(void* context, void (*fn)(void*)) {
    return luaRunGuarded(context, fn, g_ffiError, sizeof g_ffiError) ? 0 : -1;
}

extern "C" const char* pelloran_error(void) { return g_ffiError; }

extern "C" void pelloran_report_assert(const char* expression, const char* message, const char* source, int line) {
    copyMessage(g_ffiError, sizeof g_ffiError, message);
    try {
        core::assertFailure(expression, message, source, line);
    } catch (const Assert_Exception& e) {
        copyMessage(g_ffiError, sizeof g_ffiError, e.getMessage());
    } catch (...) {
        // Reporting failed (no memory for the log line): the message stands.
    }
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

// The metatables of one Lua state (shared by its coroutines), found by the
// address of its registry table. Type checks compare a userdata's metatable
// with these by address, and new userdata fetch theirs by an integer registry
// key: no metatable name is hashed or looked up on those paths. A state that
// is not in the table (more states than slots) takes the lookup by name,
// which gives the same answers.
struct TypeTables {
    const void* registry;                      // null: a free slot
    const void* metatables[SCRIPT_TYPE_COUNT]; // null: none registered for the type
    int refs[SCRIPT_TYPE_COUNT];               // registry keys of the same tables
};

const int STATE_SLOTS = 8;
TypeTables g_states[STATE_SLOTS];
TypeTables* g_lastState = nullptr;
int g_nextSlot = 0;
// Its address marks a registry whose state has a slot (see tablesForRegistration).
char g_slotMarker;

TypeTables* tablesOf(lua_State* L) {
    const void* registry = lua_topointer(L, LUA_REGISTRYINDEX);
    if (g_lastState && g_lastState->registry == registry) return g_lastState;
    for (TypeTables& t : g_states) {
        if (t.registry == registry) {
            g_lastState = &t;
            return &t;
        }
    }
    return nullptr;
}

void resetSlot(TypeTables& t, const void* registry) {
    t.registry = registry;
    for (int i = 0; i < SCRIPT_TYPE_COUNT; ++i) {
        t.metatables[i] = nullptr;
        t.refs[i] = LUA_NOREF;
    }
}

// The slot of the registering state, null when it has none. A state without
// the marker in its registry is new and gets a slot, even when a closed state
// left one under the same address: that slot starts over. A state that lost
// its slot to newer states keeps the lookup by name.
TypeTables* tablesForRegistration(lua_State* L) {
    lua_pushlightuserdata(L, &g_slotMarker);
    lua_rawget(L, LUA_REGISTRYINDEX);
    bool known = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    if (known) return tablesOf(L);
    lua_pushlightuserdata(L, &g_slotMarker);
    lua_pushboolean(L, 1);
    lua_rawset(L, LUA_REGISTRYINDEX);
    TypeTables* t = tablesOf(L);
    for (int i = 0; !t && i < STATE_SLOTS; ++i)
        if (!g_states[i].registry) t = &g_states[i];
    if (!t) {
        // Every slot taken: the oldest goes back to the lookup by name.
        t = &g_states[g_nextSlot];
        g_nextSlot = (g_nextSlot + 1) % STATE_SLOTS;
    }
    resetSlot(*t, lua_topointer(L, LUA_REGISTRYINDEX));
    g_lastState = t;
    return t;
}

int typeOfMetatableName(const char* name) {
    for (int type = 0; type < SCRIPT_TYPE_COUNT; ++type)
        if (std::strcmp(SCRIPT_METATABLE_NAMES[type], name) == 0) return type;
    return -1;
}

// The registered metatable of `type` compared with the one on top of the
// stack, by name: the path of states without a slot.
bool sameAsRegisteredByName(lua_State* L, const void* metatable, int type) {
    luaL_getmetatable(L, SCRIPT_METATABLE_NAMES[type]);
    const void* registered = lua_istable(L, -1) ? lua_topointer(L, -1) : nullptr;
    lua_pop(L, 1);
    return registered == metatable;
}

// Whether the userdata at `index`, already known to be a full block with our
// type id `type`, carries the metatable its type asks for: the one registered
// for the type (or none when none is registered). An object-holding record
// keeps engine pointers, so a block that only looks like one (another
// library's, or one given another metatable) must never be read as one. Value
// records (vectors, matrices, quaternions) hold only numbers: their type id
// and length are enough, and a value whose metatable a script replaced still
// reads as the value it is.
bool hasTypeMetatable(lua_State* L, int index, int type) {
    if (luaIsValueType(type) || type < 0 || type >= SCRIPT_TYPE_COUNT) return true;
    const void* metatable = nullptr;
    if (lua_getmetatable(L, index)) {
        metatable = lua_topointer(L, -1);
        lua_pop(L, 1);
    }
    // The metatable remembered for the type in the slot used last settles it
    // without finding the state: a live table has its own address, so no
    // table of another live state can equal it (closed states are forgotten).
    if (metatable && g_lastState && g_lastState->metatables[type] == metatable) return true;
    const TypeTables* t = tablesOf(L);
    if (t) return t->metatables[type] == metatable;
    return sameAsRegisteredByName(L, metatable, type);
}

// For a value at `index` that lua_touserdata answered: a light userdata has
// length 0, so a length of at least the record's size alone tells a full
// block that can be read that far (no separate type query).
inline bool longEnough(lua_State* L, int index, size_t size) {
    return lua_objlen(L, index) >= (size > sizeof(ScriptUserData) ? size : sizeof(ScriptUserData));
}

// A failed userdata check: reported and raised, never returns. Kept out of
// line so the checks that pass carry none of its stack frame.
[[noreturn, gnu::noinline, gnu::cold]] void userDataCheckFailed(lua_State* L, const void* data) {
    luaAssert(L, data != 0, assertion::USERDATA_MISSING);
    luaAssert(L, false, assertion::USERDATA_WRONG_TYPE);
    std::abort(); // luaAssert raised above
}

// What a failed check reports as the checked value: null ("Expected a lua
// user data!") unless the value is a userdata or a cdata (a math value or
// another library's): those are of the wrong type.
const void* checkedValue(lua_State* L, int index, const void* data) {
    if (data) return data;
    return lua_type(L, index) == LUA_TCDATA_VALUE ? &g_slotMarker : nullptr;
}

} // namespace

ScriptUserData* luaCheckUserDataOfType(lua_State* L, int index, int type, size_t size) {
    ScriptUserData* data = static_cast<ScriptUserData*>(lua_touserdata(L, index));
    if (data && longEnough(L, index, size) && data->type == type && hasTypeMetatable(L, index, type)) return data;
    userDataCheckFailed(L, checkedValue(L, index, data));
}

// ---- math values ----

namespace {
char g_kitKey; // its address keys the state's binding kit in the registry
} // namespace

void luaPushFfiKit(lua_State* L) {
    lua_pushlightuserdata(L, &g_kitKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (!lua_isnil(L, -1)) return;
    lua_pop(L, 1);
    lua_pushstring(L, LUA_FFI_DECLARATIONS);
    lua_pushcfunction(L, luaIsHandle);
    lua_pushvalue(L, LUA_REGISTRYINDEX);
    luaRunEmbedded(L, "Lua_Ffi", 3, 1);
    lua_pushlightuserdata(L, &g_kitKey);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

void luaRunEmbedded(lua_State* L, const char* name, int nargs, int nresults) {
    const LuaEmbeddedSource* source = LUA_EMBEDDED_SOURCES;
    while (source->name && std::strcmp(source->name, name) != 0) ++source;
    char chunk[64];
    std::snprintf(chunk, sizeof chunk, "=%s", name);
    int status = source->name ? luaL_loadbuffer(L, source->text, source->size, chunk) : LUA_ERRFILE;
    if (status == 0) {
        lua_insert(L, -nargs - 1);
        status = luaProtectedCall(L, nargs, nresults);
        if (status == 0) return;
    } else {
        lua_pop(L, nargs);
        if (!source->name) lua_pushfstring(L, "no embedded source %s", name);
    }
    core::log(core::LOG_ERROR, "LUA ERROR: %s\n", lua_tostring(L, -1) ? lua_tostring(L, -1) : "<unknown>");
    lua_pop(L, 1);
    for (int i = 0; i < nresults; ++i) lua_pushnil(L);
}

int luaReadValue(lua_State* L, int index, float* out) {
    if (lua_type(L, index) != LUA_TCDATA_VALUE) return -1;
    if (index < 0 && index > LUA_REGISTRYINDEX) index = lua_gettop(L) + index + 1;
    luaPushFfiKit(L);
    lua_getfield(L, -1, "read");
    lua_pushvalue(L, index);
    lua_pushlightuserdata(L, out);
    lua_call(L, 2, 1);
    int type = (int)lua_tointeger(L, -1);
    lua_pop(L, 2);
    return type;
}

namespace {

// The floats of the value at `index` of type `type`, or the failed check.
void checkValue(lua_State* L, int index, int type, float* out) {
    if (luaReadValue(L, index, out) == type) return;
    userDataCheckFailed(L, checkedValue(L, index, lua_touserdata(L, index)));
}

void pushValue(lua_State* L, int type, const float* value) {
    luaPushFfiKit(L);
    lua_getfield(L, -1, "make");
    lua_pushinteger(L, type);
    lua_pushlightuserdata(L, const_cast<float*>(value));
    lua_call(L, 2, 1);
    lua_remove(L, -2);
}

} // namespace

slm::vec3 luaCheckVector3(lua_State* L, int index) {
    float v[16];
    checkValue(L, index, SCRIPT_TYPE_VECTOR3, v);
    return slm::vec3(v[0], v[1], v[2]);
}

slm::vec4 luaCheckVector4(lua_State* L, int index) {
    float v[16];
    checkValue(L, index, SCRIPT_TYPE_VECTOR4, v);
    return slm::vec4(v[0], v[1], v[2], v[3]);
}

slm::mat4 luaCheckMatrix(lua_State* L, int index) {
    float v[16];
    checkValue(L, index, SCRIPT_TYPE_MATRIX, v);
    return slm::mat4(v);
}

void luaPushVector3(lua_State* L, const slm::vec3& v) {
    const float value[3] = {v.x, v.y, v.z};
    pushValue(L, SCRIPT_TYPE_VECTOR3, value);
}

void luaPushVector4(lua_State* L, const slm::vec4& v) {
    const float value[4] = {v.x, v.y, v.z, v.w};
    pushValue(L, SCRIPT_TYPE_VECTOR4, value);
}

void luaPushMatrix(lua_State* L, const slm::mat4& m) { pushValue(L, SCRIPT_TYPE_MATRIX, m.m); }

void luaSetTypeMetatable(lua_State* L, int type) {
    if (type < 0 || type >= SCRIPT_TYPE_COUNT) return;
    const TypeTables* t = tablesOf(L);
    if (t) {
        if (t->refs[type] == LUA_NOREF) return; // none registered: the block carries none
        lua_rawgeti(L, LUA_REGISTRYINDEX, t->refs[type]);
    } else {
        luaL_getmetatable(L, SCRIPT_METATABLE_NAMES[type]);
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1); // no metatable of that name: the block carries none
            return;
        }
    }
    lua_setmetatable(L, -2);
}

void* luaNewUserDataOfType(lua_State* L, int type, size_t size) {
    void* block = lua_newuserdata(L, size);
    std::memset(block, 0, size);
    static_cast<ScriptUserData*>(block)->type = type;
    luaSetTypeMetatable(L, type);
    return block;
}

void* luaNewValueOfType(lua_State* L, int type, size_t size) {
    void* block = lua_newuserdata(L, size);
    static_cast<ScriptUserData*>(block)->type = type;
    luaSetTypeMetatable(L, type);
    return block;
}

void luaForgetState(lua_State* L) {
    if (!L) return;
    TypeTables* t = tablesOf(L);
    if (!t) return;
    resetSlot(*t, nullptr);
    if (g_lastState == t) g_lastState = nullptr;
}

void luaRegisterFamily(ScriptState* holder, const LuaFamily& family) {
    if (!holder || !holder->L) return;
    lua_State* L = holder->L;
    if (family.metatable) {
        luaL_newmetatable(L, family.metatable);
        if (family.methods) luaL_register(L, nullptr, family.methods);
        int type = typeOfMetatableName(family.metatable);
        TypeTables* t = tablesForRegistration(L);
        if (t && type >= 0 && t->metatables[type] != lua_topointer(L, -1)) {
            t->metatables[type] = lua_topointer(L, -1);
            lua_pushvalue(L, -1);
            t->refs[type] = luaL_ref(L, LUA_REGISTRYINDEX);
        }
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
