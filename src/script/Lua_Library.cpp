// The registration order of the script library. Each family adds its register
// function in its own slot below (slots are kept apart by comment lines so
// that families added on different branches merge without touching each other).
#include "script/Lua_Library.h"
#include "script/Lua_Util.h"

void registerScriptLibrary(ScriptState* holder) {
    // base: print, loadownmodule
    registerLuaBase(holder);
    // appearance (with the BLEND_* constants)
    registerLuaAppearance(holder);

    // audio
    registerLuaAudio(holder);

    // camera
    registerLuaCamera(holder);

    // math
    registerLuaMath(holder);

    // mesh
    registerLuaMesh(holder);

    // mesh builder
    registerLuaMeshBuilder(holder);

    // render
    registerLuaRender(holder);

    // scene
    registerLuaScene(holder);

    // shader
    registerLuaShader(holder);

    // texture
    registerLuaTexture(holder);

    // (the application's own functions follow: Script_Instance::registerFunctions)
}
