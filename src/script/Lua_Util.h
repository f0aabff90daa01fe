// Lua_Util: the conventions every script function follows, and the one
// boundary between engine C++ and the Lua virtual machine.
//
// How to write a script family (one file per family, e.g. Lua_Math.cpp):
//
//   struct Lua_Camera { int32_t type; render::Camera* camera; };   // type id first
//
//   static int camera_set_perspective(lua_State* L) {
//       luaCheckArgCount(L, 5, 5);                    // "Expected 5 - 5 arguments!"
//       Lua_Camera* c = luaCheckUserData<Lua_Camera>(L, 1, SCRIPT_TYPE_CAMERA);
//       float fov = (float)luaL_checknumber(L, 2);    // Lua API calls stay OUTSIDE luaGuard
//       ...
//       luaGuard(L, [&] { c->camera->setPerspective(fov, aspect, n, f); });  // engine calls inside
//       return 0;
//   }
//   static const luaL_Reg CAMERA_METHODS[] = {{"__gc", camera_gc}, {nullptr, nullptr}};
//   static const luaL_Reg CAMERA_FUNCTIONS[] = {{"camera_create", camera_create}, ..., {nullptr, nullptr}};
//   static const LuaFamily CAMERA_FAMILY = {"META_Camera", CAMERA_METHODS, nullptr, CAMERA_FUNCTIONS};
//   void registerLuaCamera(ScriptState* holder) { luaRegisterFamily(holder, CAMERA_FAMILY); }
//
// and add the register function in its place in Lua_Library.cpp (the one list
// of families in registration order).
//
// Rules:
// - luaGuard runs engine code; a Morva3DException, a failed assertion
//   (Assert_Exception) or any other C++ exception it throws (of any type) ends the script
//   call as a Lua error carrying the message. The Lua error is raised after the
//   catch block has ended, so no C++ exception ever unwinds through LuaJIT
//   frames and no longjmp skips a destructor. Never call a Lua API function that
//   can raise an error (luaL_check*, lua_error, ...) inside the guarded body.
// - Object-holding userdata keep one reference per counted object: build the
//   payload with a constructor that takes the references (e.g. core::Ref members)
//   and register luaGcUserData<T> as "__gc"; it runs the payload's destructor.
// - Value userdata (ids 0-3) and the mesh-builder record need no "__gc".
// - vec3, vec4 and mat4 values are not userdata but FFI cdata (Lua_Ffi.h):
//   read and make them only through luaCheckVector3/4, luaCheckMatrix and
//   luaPushVector3/4, luaPushMatrix below.
// - The frame commands and the math family are Lua functions calling C entry
//   points through the FFI (Lua_Ffi.h); an entry point runs its engine code in
//   luaFfiGuard, which turns every exception into a status for the Lua side.
#pragma once
#include "core/AssertionSites.h"
#include "core/Exceptions.h"
#include "slm/slm.h"
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <lua.hpp>

class Script_Instance;

// The state holder: the owning script host and its Lua state (null while none exists).
struct ScriptState {
    Script_Instance* owner;
    lua_State* L;
};

// Type ids of script userdata; the first 32-bit field of every userdata block.
enum ScriptTypeId {
    SCRIPT_TYPE_VECTOR3 = 0,
    SCRIPT_TYPE_VECTOR4 = 1,
    SCRIPT_TYPE_MATRIX = 2,
    SCRIPT_TYPE_QUATERNION = 3,
    SCRIPT_TYPE_APPEARANCE = 4,
    SCRIPT_TYPE_CAMERA = 5,
    SCRIPT_TYPE_MESH = 6,
    SCRIPT_TYPE_MESH_BUILDER = 7,
    SCRIPT_TYPE_SHADER = 8,
    SCRIPT_TYPE_TEXTURE = 9,
    SCRIPT_TYPE_SCENE = 10,
    SCRIPT_TYPE_OBJECT = 11,
    SCRIPT_TYPE_COUNT = 12
};

// lua_type of an FFI cdata value (LuaJIT's own type tag beside the Lua 5.1 ones).
const int LUA_TCDATA_VALUE = 10;

// "META_Vector3" ... "META_Object", indexed by type id.
extern const char* const SCRIPT_METATABLE_NAMES[SCRIPT_TYPE_COUNT];

// The common head of every userdata block.
struct ScriptUserData {
    int32_t type;
};

// ---- argument checks ------------------------------------------------------

// Raises the argument error for argument `max` with "Expected min - max arguments!"
// unless the number of arguments lies in min ... max. Returns the count.
[[noreturn]] void luaArgCountError(lua_State* L, int min, int max);
inline int luaCheckArgCount(lua_State* L, int min, int max) {
    int n = lua_gettop(L);
    if (n < min || n > max) luaArgCountError(L, min, max);
    return n;
}

// Value records (ids 0-3: vectors, matrices, quaternions) hold only numbers;
// every other record holds references to engine objects.
inline bool luaIsValueType(int type) { return type >= 0 && type < SCRIPT_TYPE_APPEARANCE; }

// The userdata at `index`, checked through the assertion reporter: not a userdata
// fails "data != 0" ("Expected a lua user data!"); anything but a block of ours
// of `type` at least `size` bytes long fails "data->type == type" ("Lua user
// data is of wrong type!"): another type id, a light or too short userdata,
// and for object-holding types also a block without the type's registered
// metatable. Either failure is logged as an assertion and raised as a Lua
// error with that message. The stack is left as it was.
ScriptUserData* luaCheckUserDataOfType(lua_State* L, int index, int type, size_t size);

template <typename T> T* luaCheckUserData(lua_State* L, int index, int type) {
    return reinterpret_cast<T*>(luaCheckUserDataOfType(L, index, type, sizeof(T)));
}

// ---- math values ----------------------------------------------------------

// The vector or matrix at `index`. Anything else fails as luaCheckUserData
// fails: "Expected a lua user data!" for a value that is neither a userdata nor
// a cdata, "Lua user data is of wrong type!" for the rest (other values, other
// libraries' cdata, cdata of a foreign struct however alike).
slm::vec3 luaCheckVector3(lua_State* L, int index);
slm::vec4 luaCheckVector4(lua_State* L, int index);
slm::mat4 luaCheckMatrix(lua_State* L, int index);

// Pushes a new value.
void luaPushVector3(lua_State* L, const slm::vec3& v);
void luaPushVector4(lua_State* L, const slm::vec4& v);
void luaPushMatrix(lua_State* L, const slm::mat4& m);

// The type id of the math value at `index` (SCRIPT_TYPE_VECTOR3, _VECTOR4 or
// _MATRIX) with its floats copied to `out` (room for 16); -1 for anything else.
int luaReadValue(lua_State* L, int index, float* out);

// ---- the FFI binding kit --------------------------------------------------

// Pushes the state's binding kit (Lua_Ffi.lua), made on first use.
void luaPushFfiKit(lua_State* L);

// Runs the embedded Lua source `name` with the `nargs` values on top of the
// stack as its arguments, leaving `nresults` results. A source that fails is
// a fault of the build: logged as an error, nils left in place of results.
void luaRunEmbedded(lua_State* L, const char* name, int nargs, int nresults);

// ---- making userdata ------------------------------------------------------

// A new userdata block of `size` bytes with its type id set and the registered
// metatable of its type attached (none when no metatable of that name exists).
// The block is left on the stack; the bytes after the type id are zeroed.
void* luaNewUserDataOfType(lua_State* L, int type, size_t size);

// The same for values whose every byte the caller writes: nothing is zeroed.
void* luaNewValueOfType(lua_State* L, int type, size_t size);

// Attaches the registered metatable of `type` to the userdata on top of the
// stack (nothing when none is registered).
void luaSetTypeMetatable(lua_State* L, int type);

// Constructs T (whose first member is the int32_t type id) in a new userdata;
// the constructor arguments follow. T's constructor must not throw: take the
// references after every engine operation that can fail has succeeded.
template <typename T, typename... Args> T* luaPushUserData(lua_State* L, int type, Args&&... args) {
    void* block = luaNewUserDataOfType(L, type, sizeof(T));
    T* value = new (block) T(static_cast<Args&&>(args)...);
    value->type = type;
    return value;
}

// "__gc" metamethod for userdata built with luaPushUserData: runs ~T once.
template <typename T> int luaGcUserData(lua_State* L) {
    T* value = static_cast<T*>(lua_touserdata(L, 1));
    if (value && reinterpret_cast<ScriptUserData*>(value)->type >= 0) {
        value->~T();
        reinterpret_cast<ScriptUserData*>(value)->type = -1; // never twice
    }
    return 0;
}

// ---- the exception boundary -----------------------------------------------

// Runs fn(context) inside the engine's catch clauses. Answers true when it
// returned normally; otherwise false with the exception's message in `message`.
bool luaRunGuarded(void* context, void (*fn)(void*), char* message, int size);

// lua_pcall of the function below `argCount` arguments, with a message
// handler that appends the stack traceback to a string error message. The
// host's calls into scripts go through here, so every script error it logs
// says where it came from. Returns lua_pcall's status; the stack is as
// lua_pcall leaves it.
int luaProtectedCall(lua_State* L, int argCount, int resultCount);

// Raises a Lua error: the calling script position followed by `message`; never returns.
[[noreturn]] void luaRaiseError(lua_State* L, const char* message);

// Runs `body` (engine code only); see the rules at the top. On success returns
// normally; on an exception raises a Lua error carrying its message and does
// not return.
template <typename F> void luaGuard(lua_State* L, F&& body) {
    typedef typename std::remove_reference<F>::type Body;
    char message[Assert_Exception::MAX_MESSAGE];
    Body* context = &body;
    if (luaRunGuarded(context, [](void* b) { (*static_cast<Body*>(b))(); }, message, sizeof message)) return;
    luaRaiseError(L, message);
}

// For FFI entry points: runs fn(context) guarded. 0 when it returned normally;
// -1 when it threw, with the message kept for pelloran_error().
int luaFfiGuarded(void* context, void (*fn)(void*));
template <typename F> int luaFfiGuard(F&& body) {
    typedef typename std::remove_reference<F>::type Body;
    Body* context = &body;
    return luaFfiGuarded(context, [](void* b) { (*static_cast<Body*>(b))(); });
}

// Reports a failed check through the assertion reporter (logged as
// "ASSERT FAILURE!" with expression, message, source and line) and raises it
// as a Lua error carrying `message`. Does nothing when `condition` holds.
void luaAssert(lua_State* L, bool condition, const char* expression, const char* message, const char* source,
               int line);
inline void luaAssert(lua_State* L, bool condition, const AssertionSite& site) {
    luaAssert(L, condition, site.expression, site.message, site.source, site.line);
}

// ---- registration ---------------------------------------------------------

struct LuaConstant {
    const char* name; // null ends a list
    int value;
};

// One script family: an optional metatable with its methods, then integer
// constants and plain functions set as globals, registered in that order.
struct LuaFamily {
    const char* metatable;        // null: no metatable
    const luaL_Reg* methods;      // null-terminated; may be null
    const LuaConstant* constants; // null-terminated; may be null
    const luaL_Reg* functions;    // null-terminated; may be null
};

// Registers a family into the holder's state; does nothing without a state.
// The metatables of the type ids are remembered per state by address, so that
// type checks and new userdata never look them up by name.
void luaRegisterFamily(ScriptState* holder, const LuaFamily& family);

// Drops what luaRegisterFamily remembered about the state; call it before lua_close.
void luaForgetState(lua_State* L);

// A function bound to an engine object: gets the argument count and the object.
typedef int (*LuaBoundHandler)(lua_State* L, int argCount, void* object);

// Registers global `name` as a closure of the shared trampoline over (object, handler).
void luaRegisterBound(ScriptState* holder, const char* name, void* object, LuaBoundHandler handler);
