// Lua_Render: the frame commands. A frame in global_render is
//   render_bind_target() render_clear() render_set_camera(cam, m)
//   ... render_set_shader / render_mesh ...
//   render_release_target()   -- flushes, drops the forced program, presents
// or, into a texture, render_to_texture(tex) ... render_release_target()
// (which then does not present).
// Every function acts on the engine's current renderer.
#include "core/String.h"
#include "render/Graphics3D.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Math.h"
#include <cstring>

namespace {

int render_bind_target(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] { g->bindTarget(nullptr); });
    return 0;
}

// A frame into the texture's render target; render_release_target ends it
// without presenting. What was batched for the previous target is drawn there
// first.
int render_to_texture(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Lua_Texture* t = luaCheckUserData<Lua_Texture>(L, 1, SCRIPT_TYPE_TEXTURE);
    render::RenderTarget* target = t->target.get();
    if (!target) luaRaiseError(L, "the texture has no render target (make it with texture_create(w, h, true))");
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] {
        g->flush();
        g->bindTarget(target);
    });
    return 0;
}

int render_release_target(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] {
        g->flush();
        g->setShaderProgram(nullptr);
        g->releaseTarget();
    });
    return 0;
}

int render_clear(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] { g->clear(nullptr); });
    return 0;
}

int render_flush(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] { g->flush(); });
    return 0;
}

// The camera's own transform is replaced (and marked changed) only when the
// matrix differs, so a still camera does not count as moved every frame.
int render_set_camera(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    Lua_Camera* c = luaCheckUserData<Lua_Camera>(L, 1, SCRIPT_TYPE_CAMERA);
    slm::mat4 m = luaCheckMatrix(L, 2);
    render::Graphics3D* g = luaCheckGraphics(L);
    render::Camera* camera = c->camera.get();
    luaGuard(L, [&] {
        if (camera) {
            const float* own = camera->getTransform().m;
            for (int i = 0; i < 16; ++i) {
                if (own[i] != m.m[i]) {
                    camera->setTransform(m);
                    break;
                }
            }
        }
        g->setCamera(camera, m);
    });
    return 0;
}

int render_set_shader(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    render::ShaderProgram* program = nullptr;
    if (!lua_isnil(L, 1)) program = luaCheckUserData<Lua_Shader>(L, 1, SCRIPT_TYPE_SHADER)->program.get();
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] { g->setShaderProgram(program); });
    return 0;
}

// An empty handle, or one whose vertex buffer holds no vertex, draws nothing.
int render_mesh(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    Lua_Mesh* mesh = luaCheckUserData<Lua_Mesh>(L, 1, SCRIPT_TYPE_MESH);
    slm::mat4 m = luaCheckMatrix(L, 2);
    Lua_Appearance* a = luaCheckUserData<Lua_Appearance>(L, 3, SCRIPT_TYPE_APPEARANCE);
    render::VertexBuffer* vb = mesh->vertices.get();
    render::TriangleListArray* ib = mesh->triangles.get();
    if (!vb || !ib || vb->getVertexCount() < 1) return 0;
    render::Graphics3D* g = luaCheckGraphics(L);
    render::Appearance* appearance = a->appearance.get();
    luaGuard(L, [&] {
        g->setScope(0xFFFF);
        g->renderSubmesh(vb, ib, appearance, m, -1);
    });
    return 0;
}

// A line into the renderer's default batcher, drawn at the next flush.
int render_line(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    slm::vec3 from = luaCheckVector3(L, 1);
    slm::vec3 to = luaCheckVector3(L, 2);
    unsigned argb = (unsigned)luaL_checkinteger(L, 3);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] { g->renderLine(from, to, argb); });
    return 0;
}

// World-space text under the current camera. Texts stop at the string
// format's limit of 2047 characters: a longer text is cut there (nothing is
// written past the limit).
const size_t MAX_TEXT = 2047;

int render_text(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    size_t length = 0;
    const char* text = luaL_checklstring(L, 1, &length);
    slm::mat4 m = luaCheckMatrix(L, 2);
    render::Graphics3D* g = luaCheckGraphics(L);
    luaGuard(L, [&] {
        if (length <= MAX_TEXT) {
            g->renderText(core::String(text), true, m);
            return;
        }
        char cut[MAX_TEXT + 1];
        std::memcpy(cut, text, MAX_TEXT);
        cut[MAX_TEXT] = 0;
        g->renderText(core::String(cut), true, m);
    });
    return 0;
}

// A texture's image as a quad in the batcher, drawn at the next flush.
int render_image(lua_State* L) {
    int n = luaCheckArgCount(L, 2, 3);
    Lua_Texture* t = luaCheckUserData<Lua_Texture>(L, 1, SCRIPT_TYPE_TEXTURE);
    slm::mat4 m = luaCheckMatrix(L, 2);
    unsigned argb = n == 3 ? (unsigned)luaL_checkinteger(L, 3) : 0xFFFFFFFFu;
    render::Graphics3D* g = luaCheckGraphics(L);
    render::Texture2D* texture = t->texture.get();
    luaGuard(L, [&] { g->renderImage(texture, m, argb); });
    return 0;
}

const luaL_Reg RENDER_FUNCTIONS[] = {{"render_bind_target", render_bind_target},
                                     {"render_to_texture", render_to_texture},
                                     {"render_release_target", render_release_target},
                                     {"render_clear", render_clear},
                                     {"render_flush", render_flush},
                                     {"render_set_camera", render_set_camera},
                                     {"render_set_shader", render_set_shader},
                                     {"render_mesh", render_mesh},
                                     {"render_line", render_line},
                                     {"render_text", render_text},
                                     {"render_image", render_image},
                                     {nullptr, nullptr}};
const LuaFamily RENDER_FAMILY = {nullptr, nullptr, nullptr, RENDER_FUNCTIONS};

} // namespace

void registerLuaRender(ScriptState* holder) {
    luaRegisterFamily(holder, RENDER_FAMILY);
}
