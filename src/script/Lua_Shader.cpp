// Lua_Shader: the shader family. shader_create links GLSL source texts
// (not file names) into a program through the renderer; shader_set sets one
// uniform from a number, a vec3, a vec4 or a mat4. The program caches every
// uniform per location, so setting an unchanged value costs no GL call.
#include "core/String.h"
#include "render/Graphics3D.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Math.h"

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

int shader_set(lua_State* L) {
    luaCheckArgCount(L, 3, 3);
    Lua_Shader* s = luaCheckUserData<Lua_Shader>(L, 1, SCRIPT_TYPE_SHADER);
    const char* name = luaL_checklstring(L, 2, nullptr);
    render::ShaderProgram* program = s->program.get();
    if (!program) return 0;
    int location = -1;
    luaGuard(L, [&] { location = program->getShaderUniformID(core::String(name)); });
    if (lua_type(L, 3) == LUA_TNUMBER) {
        float v = (float)lua_tonumber(L, 3);
        luaGuard(L, [&] { program->setUniform(location, v); });
        return 0;
    }
    const ScriptUserData* data = static_cast<const ScriptUserData*>(lua_touserdata(L, 3));
    luaAssert(L, data != 0, "data != 0", "Expected a lua user data!", "Lua_Util", 45);
    switch (luaUserDataType(L, 3, SCRIPT_TYPE_VECTOR3, SCRIPT_TYPE_MATRIX)) {
    case SCRIPT_TYPE_VECTOR3: {
        const Lua_Vector3* v = reinterpret_cast<const Lua_Vector3*>(data);
        slm::vec3 value(v->x, v->y, v->z);
        luaGuard(L, [&] { program->setUniform(location, value); });
        return 0;
    }
    case SCRIPT_TYPE_VECTOR4: {
        const Lua_Vector4* v = reinterpret_cast<const Lua_Vector4*>(data);
        slm::vec4 value(v->x, v->y, v->z, v->w);
        luaGuard(L, [&] { program->setUniform(location, value); });
        return 0;
    }
    case SCRIPT_TYPE_MATRIX: {
        slm::mat4 value;
        for (int i = 0; i < 16; ++i)
            value.m[i] = reinterpret_cast<const Lua_Matrix*>(data)->m[i];
        luaGuard(L, [&] { program->setUniform(location, value); });
        return 0;
    }
    default:
        luaAssert(L, false, "false", "Unsupported lua data type!", "Lua_Shader", 73);
        return 0;
    }
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
const luaL_Reg SHADER_FUNCTIONS[] = {
    {"shader_create", shader_create}, {"shader_set", shader_set}, {"shader_standard", shader_standard}, {nullptr, nullptr}};
const LuaFamily SHADER_FAMILY = {"META_Shader", SHADER_METHODS, nullptr, SHADER_FUNCTIONS};

} // namespace

void registerLuaShader(ScriptState* holder) {
    luaRegisterFamily(holder, SHADER_FAMILY);
}
