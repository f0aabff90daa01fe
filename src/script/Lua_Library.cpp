// The registration order of the script library. Each family adds its register
// function in its own slot below (slots are kept apart by comment lines so
// that families added on different branches merge without touching each other).
#include "script/Lua_Library.h"
#include "script/Lua_Util.h"

void registerScriptLibrary(ScriptState* holder) {
    // base: print, loadownmodule
    registerLuaBase(holder);
    // appearance (with the BLEND_* constants)

    // audio
    registerLuaAudio(holder);

    // camera

    // math
    registerLuaMath(holder);

    // mesh

    // mesh builder
    registerLuaMeshBuilder(holder);

    // render

    // shader

    // texture

    // (the application's own functions follow: Script_Instance::registerFunctions)
}
