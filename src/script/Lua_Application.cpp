// Script family of the application: the window size as two integer globals
// and `mouse_read`, bound to the application's mouse handle.
#include "hal/sdl/Input.h"
#include "hal/sdl/InputState.h"
#include "script/Lua_Library.h"
#include "script/Lua_Util.h"

namespace {

// mouse_read() -> x, y (0 … 1 across the window's client area), left, right.
int mouse_read(lua_State* L, int argCount, void* object) {
    if (argCount != 0) luaL_argerror(L, 1, "0 arguments expected!");
    HAL::Input* mouse = static_cast<HAL::Input*>(object);
    float x = 0, y = 0, left = 0, right = 0;
    luaGuard(L, [&] {
        x = mouse->getAxisState(HAL::MOUSE_X);
        y = mouse->getAxisState(HAL::MOUSE_Y);
        left = mouse->getAxisState(HAL::MOUSE_LEFT);
        right = mouse->getAxisState(HAL::MOUSE_RIGHT);
    });
    lua_pushnumber(L, x);
    lua_pushnumber(L, y);
    lua_pushboolean(L, left > 0.0f);
    lua_pushboolean(L, right > 0.0f);
    return 4;
}

} // namespace

void registerLuaApplication(ScriptState* holder, int screenWidth, int screenHeight, HAL::Input* mouse) {
    lua_State* L = holder ? holder->L : nullptr;
    if (!L) return;
    lua_pushinteger(L, screenWidth);
    lua_setfield(L, LUA_GLOBALSINDEX, "screen_width");
    lua_pushinteger(L, screenHeight);
    lua_setfield(L, LUA_GLOBALSINDEX, "screen_height");
    luaRegisterBound(holder, "mouse_read", mouse, mouse_read);
}
