// Lua_Shader: the shader family. shader_create links GLSL source texts
// (not file names) into a program through the renderer; shader_set sets one
// uniform from a number, a vec3, a vec4 or a mat4 (through the FFI, see
// Lua_Shader.lua). The program caches every uniform per location, so setting
// an unchanged value costs no GL call.
#include "core/String.h"
#include "render/Graphics3D.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Ffi.h"

namespace {

int shader_create(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    const char* vertexSource = luaL_checklstring(L, 1, nullptr);
    const char* fragmentSource = luaL_checklstring(L, 2, nullptr);
    render::Graphics3D* g = luaCheckGraphics(L);
    core::Ref<render::ShaderProgram> program;
    luaGuard(L, [&] {
        core::Ref<render::VertexShader> vs(M3D_NEW render::VertexShader(core::String(vertexSource)));
        core::Ref<render::FragmentShader> fs(M3D_NEW render::FragmentShader(core::String(fragmentSource)));
        program = g->createNewShaderProgram(vs.get(), fs.get(), false);
    });
    Lua_Shader* handle = luaPushUserData<Lua_Shader>(L, SCRIPT_TYPE_SHADER);
    handle->program = program;
    return 1;
}

// A handle on the renderer's standard program (lit, textured, fogged; see
// render::StandardProgram). Every call gives a new handle on the one program.
int shader_standard(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    render::Graphics3D* g = luaCheckGraphics(L);
    core::Ref<render::ShaderProgram> program;
    luaGuard(L, [&] {
        program = g->getStandardProgram();
        if (!program) throw render::ShaderException("UNKNOWN", "UNKNOWN", 0, "The renderer has no standard program");
    });
    Lua_Shader* handle = luaPushUserData<Lua_Shader>(L, SCRIPT_TYPE_SHADER);
    handle->program = program;
    return 1;
}

const luaL_Reg SHADER_METHODS[] = {{"__gc", luaGcUserData<Lua_Shader>}, {nullptr, nullptr}};
// shader_set is a Lua function (Lua_Shader.lua) over pelloran_shader_set.
const luaL_Reg SHADER_FUNCTIONS[] = {
    {"shader_create", shader_create}, {"shader_standard", shader_standard}, {nullptr, nullptr}};
const LuaFamily SHADER_FAMILY = {"META_Shader", SHADER_METHODS, nullptr, SHADER_FUNCTIONS};

} // namespace

extern "C" PELLORAN_FFI_EXPORT int pelloran_shader_set(void* handle, const char* name, int kind, const float* v) {
    Lua_Shader* s = static_cast<Lua_Shader*>(handle);
    if (s->type != SCRIPT_TYPE_SHADER) return 1;
    render::ShaderProgram* program = s->program.get();
    if (!program) return 0;
    return luaFfiGuard([&] {
        int location = program->getShaderUniformID(core::String(name));
        switch (kind) {
        case 1: program->setUniform(location, v[0]); break;
        case 3: program->setUniform(location, slm::vec3(v[0], v[1], v[2])); break;
        case 4: program->setUniform(location, slm::vec4(v[0], v[1], v[2], v[3])); break;
        default: program->setUniform(location, slm::mat4(v)); break;
        }
    });
}

void registerLuaShader(ScriptState* holder) {
    luaRegisterFamily(holder, SHADER_FAMILY);
    if (!holder || !holder->L) return;
    luaPushFfiKit(holder->L);
    luaRunEmbedded(holder->L, "Lua_Shader", 1, 0);
}
