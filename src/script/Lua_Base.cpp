// The base family: print (into the debug log) and loadownmodule.
#include "core/DebugLog.h"
#include "core/Vector.h"
#include "script/Lua_Library.h"
#include "script/Lua_Util.h"
#include "script/Script_Instance.h"

namespace {

struct Append {
    core::Vector<char>* line;
    const char* text;
    size_t n;
};

void appendBytes(void* context) {
    Append* a = static_cast<Append*>(context);
    int at = a->line->size();
    a->line->resize(at + (int)a->n);
    for (size_t i = 0; i < a->n; ++i) (*a->line)[at + (int)i] = a->text[i];
}

// print(...): the arguments through tostring, separated by blanks, as one
// "LUA: " log line (level 4). The line is built in the engine's pool.
int print(lua_State* L) {
    int n = lua_gettop(L);
    char message[Assert_Exception::MAX_MESSAGE];
    core::Vector<char>* line = nullptr;
    bool ok = luaRunGuarded(&line, [](void* p) { *static_cast<core::Vector<char>**>(p) = M3D_NEW core::Vector<char>(); },
                            message, sizeof message);
    for (int i = 1; ok && i <= n; ++i) {
        if (i > 1) {
            Append blank = {line, " ", 1};
            ok = luaRunGuarded(&blank, appendBytes, message, sizeof message);
        }
        lua_getfield(L, LUA_GLOBALSINDEX, "tostring");
        lua_pushvalue(L, i);
        lua_pcall(L, 1, 1, 0);
        size_t length = 0;
        const char* text = lua_isstring(L, -1) ? lua_tolstring(L, -1, &length) : nullptr;
        if (ok && text && length > 0) {
            Append a = {line, text, length};
            ok = luaRunGuarded(&a, appendBytes, message, sizeof message);
        }
        lua_pop(L, 1);
    }
    if (ok) {
        Append end = {line, "", 1};
        ok = luaRunGuarded(&end, appendBytes, message, sizeof message);
    }
    if (ok) core::log(core::LOG_SCRIPT, "LUA: %s\n", line->data());
    delete line;
    // Raised only once the line is freed and no C++ handler is active.
    if (!ok) luaRaiseError(L, message);
    return 0;
}

// loadownmodule(name): the compiled chunk of Data/<name>.lua (not run), or an error message.
int loadownmodule(lua_State* L) {
    if (lua_gettop(L) != 1) luaL_argerror(L, 1, "Invalid argument count!");
    const char* name = lua_tostring(L, 1);
    Script_Instance::loadModule(name ? name : "", L);
    return 1;
}

const luaL_Reg BASE_FUNCTIONS[] = {{"print", print}, {"loadownmodule", loadownmodule}, {nullptr, nullptr}};
const LuaFamily BASE_FAMILY = {nullptr, nullptr, nullptr, BASE_FUNCTIONS};

} // namespace

void registerLuaBase(ScriptState* holder) { luaRegisterFamily(holder, BASE_FAMILY); }
