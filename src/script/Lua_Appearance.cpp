// Lua_Appearance: the appearance family and the BLEND_* constants. An
// Appearance handle holds an appearance with its own compositing mode, so
// scripts set blending per appearance.
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"

namespace {

int appearance_create(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    core::Ref<render::Appearance> appearance;
    render::CompositingMode* compositing = nullptr;
    luaGuard(L, [&] {
        appearance = M3D_NEW render::Appearance();
        compositing = M3D_NEW render::CompositingMode();
        appearance->setCompositingMode(compositing);
    });
    Lua_Appearance* handle = luaPushUserData<Lua_Appearance>(L, SCRIPT_TYPE_APPEARANCE);
    handle->appearance = appearance;
    handle->compositing = compositing;
    return 1;
}

int appearance_set_shader(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    Lua_Appearance* a = luaCheckUserData<Lua_Appearance>(L, 1, SCRIPT_TYPE_APPEARANCE);
    Lua_Shader* s = luaCheckUserData<Lua_Shader>(L, 2, SCRIPT_TYPE_SHADER);
    if (a->appearance) a->appearance->setShaderProgram(s->program.get());
    return 0;
}

// The compositing mode counts a modification only when the mode changes.
int appearance_set_blending(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    Lua_Appearance* a = luaCheckUserData<Lua_Appearance>(L, 1, SCRIPT_TYPE_APPEARANCE);
    int mode = (int)luaL_checkinteger(L, 2);
    if (a->compositing) a->compositing->setBlending(mode);
    return 0;
}

const luaL_Reg APPEARANCE_METHODS[] = {{"__gc", luaGcUserData<Lua_Appearance>}, {nullptr, nullptr}};
// 64-68 are the compositing modes the renderer blends with; 69-72 are kept
// on the appearance and leave the previous blend function in force.
const LuaConstant BLEND_CONSTANTS[] = {{"BLEND_ALPHA", 64},        {"BLEND_ALPHA_ADD", 65},
                                       {"BLEND_ALPHA_DARKEN", 70}, {"BLEND_ALPHA_PREMULTIPLIED", 71},
                                       {"BLEND_MODULATE", 66},     {"BLEND_MODULATE_X2", 67},
                                       {"BLEND_REPLACE", 68},      {"BLEND_MODULATE_INV", 72},
                                       {"BLEND_ADD", 69},          {nullptr, 0}};
const luaL_Reg APPEARANCE_FUNCTIONS[] = {{"appearance_create", appearance_create},
                                         {"appearance_set_shader", appearance_set_shader},
                                         {"appearance_set_blending", appearance_set_blending},
                                         {nullptr, nullptr}};
const LuaFamily APPEARANCE_FAMILY = {"META_Appearance", APPEARANCE_METHODS, BLEND_CONSTANTS,
                                     APPEARANCE_FUNCTIONS};

} // namespace

void registerLuaAppearance(ScriptState* holder) {
    luaRegisterFamily(holder, APPEARANCE_FAMILY);
}
