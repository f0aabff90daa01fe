// The whole script library: every family's register function, and the one
// function that registers them all in their fixed order.
#pragma once

struct ScriptState;
namespace HAL {
class Input;
}

// Registers every family into the holder's state, in registration order.
void registerScriptLibrary(ScriptState* holder);

// One register function per family file (Lua_<Family>.cpp).
void registerLuaBase(ScriptState* holder); // print, loadownmodule
void registerLuaAppearance(ScriptState* holder); // appearance_*, BLEND_*
void registerLuaAudio(ScriptState* holder); // audio_load_sound, audio_play_sound, audio_play_stream
void registerLuaCamera(ScriptState* holder);     // camera_*
void registerLuaMath(ScriptState* holder);        // vec3*, vec4*, mat4* and their metatables
void registerLuaMesh(ScriptState* holder);       // mesh_create, mesh_test_sphere, mesh_get_radius
void registerLuaMeshBuilder(ScriptState* holder); // mesh_builder_*
void registerLuaRender(ScriptState* holder);     // render_*
void registerLuaScene(ScriptState* holder);      // scene_*, node_*
void registerLuaShader(ScriptState* holder);     // shader_create, shader_set, shader_standard
void registerLuaTexture(ScriptState* holder);    // texture_create, texture_load

// The application's own functions, registered by the application after the
// library (screen_width, screen_height, mouse_read reading `mouse`, which
// must outlive the state).
void registerLuaApplication(ScriptState* holder, int screenWidth, int screenHeight, HAL::Input* mouse);
