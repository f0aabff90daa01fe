// Lua_Audio: the audio family. Each function takes one file name (relative
// to the working directory) and hands it to the process-wide audio system.
#include "audio/Audio_System.h"
#include "script/Lua_Library.h"
#include "script/Lua_Util.h"

namespace {

// The checks every audio function makes before it touches the system.
const char* checkedFile(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    luaAssert(L, g_glob_audio_system != 0, assertion::AUDIO_NO_SYSTEM);
    return luaL_checklstring(L, 1, nullptr);
}

int audio_load_sound(lua_State* L) {
    const char* file = checkedFile(L);
    luaGuard(L, [&] { g_glob_audio_system->loadSound(file); });
    return 0;
}

int audio_play_sound(lua_State* L) {
    const char* file = checkedFile(L);
    luaGuard(L, [&] { g_glob_audio_system->playSound(file); });
    return 0;
}

int audio_play_stream(lua_State* L) {
    const char* file = checkedFile(L);
    luaGuard(L, [&] { g_glob_audio_system->playStream(file); });
    return 0;
}

const luaL_Reg AUDIO_FUNCTIONS[] = {{"audio_load_sound", audio_load_sound},
                                    {"audio_play_sound", audio_play_sound},
                                    {"audio_play_stream", audio_play_stream},
                                    {nullptr, nullptr}};

const LuaFamily AUDIO_FAMILY = {nullptr, nullptr, nullptr, AUDIO_FUNCTIONS};

} // namespace

void registerLuaAudio(ScriptState* holder) { luaRegisterFamily(holder, AUDIO_FAMILY); }
