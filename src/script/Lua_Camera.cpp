// Lua_Camera: the camera family. A new camera has an identity transform and
// a generic identity projection until the script gives it one.
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"

namespace {

int camera_create(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    Lua_Camera* handle = luaPushUserData<Lua_Camera>(L, SCRIPT_TYPE_CAMERA);
    core::Ref<render::Camera> camera;
    luaGuard(L, [&] { camera = M3D_NEW render::Camera(); });
    handle->camera = camera;
    return 1;
}

int camera_set_perspective(lua_State* L) {
    luaCheckArgCount(L, 5, 5);
    Lua_Camera* c = luaCheckUserData<Lua_Camera>(L, 1, SCRIPT_TYPE_CAMERA);
    float fovy = (float)luaL_checknumber(L, 2);
    float aspect = (float)luaL_checknumber(L, 3);
    float zNear = (float)luaL_checknumber(L, 4);
    float zFar = (float)luaL_checknumber(L, 5);
    render::Camera* camera = c->camera.get();
    if (camera) luaGuard(L, [&] { camera->setPerspective(fovy, aspect, zNear, zFar); });
    return 0;
}

// (left, right, bottom, top, near, far)
int camera_set_ortho(lua_State* L) {
    luaCheckArgCount(L, 7, 7);
    Lua_Camera* c = luaCheckUserData<Lua_Camera>(L, 1, SCRIPT_TYPE_CAMERA);
    float v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = (float)luaL_checknumber(L, i + 2);
    render::Camera* camera = c->camera.get();
    if (camera) luaGuard(L, [&] { camera->setScreen(v[0], v[1], v[2], v[3], v[4], v[5]); });
    return 0;
}

const luaL_Reg CAMERA_METHODS[] = {{"__gc", luaGcUserData<Lua_Camera>}, {nullptr, nullptr}};
const luaL_Reg CAMERA_FUNCTIONS[] = {{"camera_create", camera_create},
                                     {"camera_set_perspective", camera_set_perspective},
                                     {"camera_set_ortho", camera_set_ortho},
                                     {nullptr, nullptr}};
const LuaFamily CAMERA_FAMILY = {"META_Camera", CAMERA_METHODS, nullptr, CAMERA_FUNCTIONS};

} // namespace

void registerLuaCamera(ScriptState* holder) {
    luaRegisterFamily(holder, CAMERA_FAMILY);
}
