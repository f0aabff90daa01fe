// Lua_Render: the frame commands. A frame in global_render is
//   render_bind_target() render_clear() render_set_camera(cam, m)
//   ... render_set_shader / render_mesh ...
//   render_release_target()   -- flushes, drops the forced program, presents
// or, into a texture, render_to_texture(tex) ... render_release_target()
// (which then does not present).
// Every function acts on the engine's current renderer. The per-frame
// commands (camera, shader, mesh, line, text) are Lua functions
// (Lua_Render.lua) over the FFI entry points at the end of this file.
#include "core/EngineGlobals.h"
#include "core/String.h"
#include "render/Graphics3D.h"
#include "script/Lua_Ffi.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
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

// World-space text stops at the string format's limit of 2047 characters:
// a longer text is cut there (nothing is written past the limit).
const size_t MAX_TEXT = 2047;

render::Graphics3D* currentGraphics() {
    core::EngineGlobals* globals = core::engineGlobals();
    return globals ? globals->graphics : nullptr;
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

// The status of an entry point that needs the renderer and has none.
int noRenderer() {
    return luaFfiGuard([] { throw Morva3DException("No renderer: the engine has no current Graphics3D"); });
}

const slm::mat4& matrixAt(const float* m) { return *reinterpret_cast<const slm::mat4*>(m); }

// The per-frame commands are Lua functions (Lua_Render.lua) over the entry
// points below; these four stay C functions.
const luaL_Reg RENDER_FUNCTIONS[] = {{"render_bind_target", render_bind_target},
                                     {"render_to_texture", render_to_texture},
                                     {"render_release_target", render_release_target},
                                     {"render_clear", render_clear},
                                     {"render_flush", render_flush},
                                     {"render_image", render_image},
                                     {nullptr, nullptr}};
const LuaFamily RENDER_FAMILY = {nullptr, nullptr, nullptr, RENDER_FUNCTIONS};

} // namespace

extern "C" {

// The camera's own transform is replaced (and marked changed) only when the
// matrix differs, so a still camera does not count as moved every frame.
PELLORAN_FFI_EXPORT int pelloran_render_set_camera(void* handle, const float* m) {
    Lua_Camera* c = static_cast<Lua_Camera*>(handle);
    if (c->type != SCRIPT_TYPE_CAMERA) return 1;
    render::Graphics3D* g = currentGraphics();
    if (!g) return noRenderer();
    render::Camera* camera = c->camera.get();
    const slm::mat4& transform = matrixAt(m);
    return luaFfiGuard([&] {
        if (camera) {
            const float* own = camera->getTransform().m;
            for (int i = 0; i < 16; ++i) {
                if (own[i] != transform.m[i]) {
                    camera->setTransform(transform);
                    break;
                }
            }
        }
        g->setCamera(camera, transform);
    });
}

// A null handle (nil in the script) removes the forced program.
PELLORAN_FFI_EXPORT int pelloran_render_set_shader(void* handle) {
    Lua_Shader* s = static_cast<Lua_Shader*>(handle);
    if (s && s->type != SCRIPT_TYPE_SHADER) return 1;
    render::ShaderProgram* program = s ? s->program.get() : nullptr;
    render::Graphics3D* g = currentGraphics();
    if (!g) return noRenderer();
    return luaFfiGuard([&] { g->setShaderProgram(program); });
}

// An empty handle, or one whose vertex buffer holds no vertex, draws nothing.
PELLORAN_FFI_EXPORT int pelloran_render_mesh(void* meshHandle, void* appearanceHandle, const float* m) {
    Lua_Mesh* mesh = static_cast<Lua_Mesh*>(meshHandle);
    Lua_Appearance* a = static_cast<Lua_Appearance*>(appearanceHandle);
    if (mesh->type != SCRIPT_TYPE_MESH) return 1;
    if (a->type != SCRIPT_TYPE_APPEARANCE) return 3;
    render::VertexBuffer* vb = mesh->vertices.get();
    render::TriangleListArray* ib = mesh->triangles.get();
    if (!vb || !ib || vb->getVertexCount() < 1) return 0;
    render::Graphics3D* g = currentGraphics();
    if (!g) return noRenderer();
    render::Appearance* appearance = a->appearance.get();
    const slm::mat4& transform = matrixAt(m);
    return luaFfiGuard([&] {
        g->setScope(0xFFFF);
        g->renderSubmesh(vb, ib, appearance, transform, -1);
    });
}

// A line into the renderer's default batcher, drawn at the next flush. The
// colour arrives as the script's number and is read as luaL_checkinteger
// reads it (truncated to an integer, then its low 32 bits).
PELLORAN_FFI_EXPORT int pelloran_render_line(float x0, float y0, float z0, float x1, float y1, float z1,
                                             double argb) {
    render::Graphics3D* g = currentGraphics();
    if (!g) return noRenderer();
    int64_t whole = argb > -9.2e18 && argb < 9.2e18 ? (int64_t)argb : INT64_MIN;
    unsigned colour = (unsigned)(uint64_t)whole;
    slm::vec3 from(x0, y0, z0), to(x1, y1, z1);
    return luaFfiGuard([&] { g->renderLine(from, to, colour); });
}

PELLORAN_FFI_EXPORT int pelloran_render_text(const char* text, size_t length, const float* m) {
    render::Graphics3D* g = currentGraphics();
    if (!g) return noRenderer();
    const slm::mat4& transform = matrixAt(m);
    return luaFfiGuard([&] {
        if (length <= MAX_TEXT) {
            g->renderText(core::String(text), true, transform);
            return;
        }
        char cut[MAX_TEXT + 1];
        std::memcpy(cut, text, MAX_TEXT);
        cut[MAX_TEXT] = 0;
        g->renderText(core::String(cut), true, transform);
    });
}

} // extern "C"

void registerLuaRender(ScriptState* holder) {
    luaRegisterFamily(holder, RENDER_FAMILY);
    if (!holder || !holder->L) return;
    luaPushFfiKit(holder->L);
    luaRunEmbedded(holder->L, "Lua_Render", 1, 0);
}
