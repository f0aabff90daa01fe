// Lua_Scene: the scene family. scene_load reads an M3G file into a Scene
// handle holding its root objects; scene_info describes what they reach,
// scene_animate and scene_render play and draw them, scene_find gives one
// object by user ID as an Object handle, which the node_* functions move and
// hide. The work is render::Scene's; these bindings check and convert.
#include "render/Graphics3D.h"
#include "render/Node.h"
#include "render/Scene.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Math.h"
#include <cstring>

namespace {

render::Scene* checkScene(lua_State* L, int index) {
    return luaCheckUserData<Lua_Scene>(L, index, SCRIPT_TYPE_SCENE)->scene.get();
}

// The node of an Object handle; any other object is a script error.
render::Node* checkNode(lua_State* L, int index) {
    render::Object3D* o = luaCheckUserData<Lua_Object>(L, index, SCRIPT_TYPE_OBJECT)->object.get();
    render::Node* node = dynamic_cast<render::Node*>(o);
    if (!node) luaRaiseError(L, "the object is not a node");
    return node;
}

int scene_load(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    const char* path = luaL_checklstring(L, 1, nullptr);
    core::Ref<render::Scene> scene;
    luaGuard(L, [&] { scene = render::Scene::load(core::String(path)); });
    Lua_Scene* handle = luaPushUserData<Lua_Scene>(L, SCRIPT_TYPE_SCENE);
    handle->scene = scene;
    return 1;
}

// { roots, objects, duration, <M3G class name> = count, ... }
int scene_info(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    render::Scene* scene = checkScene(L, 1);
    core::Vector<render::Object3D*> all;
    int duration = 0;
    luaGuard(L, [&] {
        scene->collect(all);
        duration = scene->getLongestDuration();
    });
    lua_createtable(L, 0, 8);
    lua_pushinteger(L, scene->getRootCount());
    lua_setfield(L, -2, "roots");
    lua_pushinteger(L, all.size());
    lua_setfield(L, -2, "objects");
    lua_pushinteger(L, duration);
    lua_setfield(L, -2, "duration");
    for (int i = 0; i < all.size(); ++i) {
        const char* name = render::Scene::className(all[i]);
        if (!name) continue;
        lua_getfield(L, -1, name);
        lua_Integer n = lua_tointeger(L, -1);
        lua_pop(L, 1);
        lua_pushinteger(L, n + 1);
        lua_setfield(L, -2, name);
    }
    return 1;
}

int scene_animate(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    render::Scene* scene = checkScene(L, 1);
    int time = (int)luaL_checknumber(L, 2);
    luaGuard(L, [&] { scene->animate(time); });
    return 0;
}

// Drawn with the standard program unless the script forced one; the lights
// the scene brought are dropped afterwards, so later draws of the frame see
// the renderer as before.
int scene_render(lua_State* L) {
    int n = luaCheckArgCount(L, 1, 2);
    render::Scene* scene = checkScene(L, 1);
    slm::mat4 m = n == 2 ? luaCheckMatrix(L, 2) : slm::mat4();
    render::Graphics3D* g = luaCheckGraphics(L);
    if (!g->isTargetBound()) luaRaiseError(L, "scene_render outside a frame (call render_bind_target first)");
    luaGuard(L, [&] {
        bool standard = g->getShaderProgram() == nullptr;
        if (standard) g->setShaderProgram(g->getStandardProgram());
        try {
            scene->render(*g, m);
        } catch (...) {
            if (standard) g->setShaderProgram(nullptr);
            g->resetLights();
            throw;
        }
        if (standard) g->setShaderProgram(nullptr);
        g->resetLights();
    });
    return 0;
}

int scene_find(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    render::Scene* scene = checkScene(L, 1);
    int id = (int)luaL_checkinteger(L, 2);
    core::Ref<render::Object3D> found;
    luaGuard(L, [&] { found = scene->find(id); });
    if (!found) {
        lua_pushnil(L);
        return 1;
    }
    Lua_Object* handle = luaPushUserData<Lua_Object>(L, SCRIPT_TYPE_OBJECT);
    handle->object = found;
    return 1;
}

int node_get_transform(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    render::Node* node = checkNode(L, 1);
    slm::mat4 m;
    luaGuard(L, [&] { m = node->getCompositeTransform(); });
    luaPushMatrix(L, m);
    return 1;
}

int node_set_transform(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    render::Node* node = checkNode(L, 1);
    slm::mat4 m = luaCheckMatrix(L, 2);
    luaGuard(L, [&] {
        node->setTranslation(slm::vec3(0.0f, 0.0f, 0.0f));
        node->setOrientation(slm::quat());
        node->setScale(slm::vec3(1.0f, 1.0f, 1.0f));
        node->setTransform(m);
    });
    return 0;
}

int node_get_visible(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    render::Node* node = checkNode(L, 1);
    lua_pushboolean(L, node->isRenderingEnabled());
    return 1;
}

int node_set_visible(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    render::Node* node = checkNode(L, 1);
    bool visible = lua_toboolean(L, 2) != 0;
    luaGuard(L, [&] { node->setRenderingEnable(visible); });
    return 0;
}

const luaL_Reg SCENE_METHODS[] = {{"__gc", luaGcUserData<Lua_Scene>}, {nullptr, nullptr}};
const luaL_Reg SCENE_FUNCTIONS[] = {{"scene_load", scene_load},     {"scene_info", scene_info},
                                    {"scene_animate", scene_animate}, {"scene_render", scene_render},
                                    {"scene_find", scene_find},     {nullptr, nullptr}};
const LuaFamily SCENE_FAMILY = {"META_Scene", SCENE_METHODS, nullptr, SCENE_FUNCTIONS};

const luaL_Reg OBJECT_METHODS[] = {{"__gc", luaGcUserData<Lua_Object>}, {nullptr, nullptr}};
const luaL_Reg OBJECT_FUNCTIONS[] = {{"node_get_transform", node_get_transform},
                                     {"node_set_transform", node_set_transform},
                                     {"node_get_visible", node_get_visible},
                                     {"node_set_visible", node_set_visible},
                                     {nullptr, nullptr}};
const LuaFamily OBJECT_FAMILY = {"META_Object", OBJECT_METHODS, nullptr, OBJECT_FUNCTIONS};

} // namespace

void registerLuaScene(ScriptState* holder) {
    luaRegisterFamily(holder, SCENE_FAMILY);
    luaRegisterFamily(holder, OBJECT_FAMILY);
}
