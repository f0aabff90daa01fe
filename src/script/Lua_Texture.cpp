// Lua_Texture: the texture family. texture_create makes an RGBA texture of
// the renderer's kind, and with a true third argument also a render target on
// it (render_to_texture draws into it); texture_load makes one from a PNG
// file. render_image draws either kind.
#include "render/Graphics3D.h"
#include "render/RenderTarget.h"
#include "render/Texture2D.h"
#include "render/TextureFile.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"

namespace {

int texture_create(lua_State* L) {
    int n = luaCheckArgCount(L, 2, 3);
    int width = (int)luaL_checkinteger(L, 1);
    int height = (int)luaL_checkinteger(L, 2);
    bool withTarget = n == 3 && lua_toboolean(L, 3);
    render::Graphics3D* g = luaCheckGraphics(L);
    core::Ref<render::Texture2D> texture;
    core::Ref<render::RenderTarget> target;
    luaGuard(L, [&] {
        texture = g->createNewTexture(1, 100, width, height);
        if (withTarget) target = M3D_NEW render::RenderTarget(texture.get());
    });
    Lua_Texture* handle = luaPushUserData<Lua_Texture>(L, SCRIPT_TYPE_TEXTURE);
    handle->texture = texture;
    handle->target = target;
    return 1;
}

// A missing or broken file is a script error naming the path, with the
// loader's message after it.
int texture_load(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    const char* path = luaL_checklstring(L, 1, nullptr);
    render::Graphics3D* g = luaCheckGraphics(L);
    core::Ref<render::Texture2D> texture;
    luaGuard(L, [&] { texture = render::TextureFile::load(*g, core::String(path)); });
    Lua_Texture* handle = luaPushUserData<Lua_Texture>(L, SCRIPT_TYPE_TEXTURE);
    handle->texture = texture;
    return 1;
}

const luaL_Reg TEXTURE_METHODS[] = {{"__gc", luaGcUserData<Lua_Texture>}, {nullptr, nullptr}};
const luaL_Reg TEXTURE_FUNCTIONS[] = {
    {"texture_create", texture_create}, {"texture_load", texture_load}, {nullptr, nullptr}};
const LuaFamily TEXTURE_FAMILY = {"META_Texture", TEXTURE_METHODS, nullptr, TEXTURE_FUNCTIONS};

} // namespace

void registerLuaTexture(ScriptState* holder) {
    luaRegisterFamily(holder, TEXTURE_FAMILY);
}
