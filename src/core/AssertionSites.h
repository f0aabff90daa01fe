// The engine's fixed assertion reports: expression, message, source tag and
// line of each check whose report scripts and logs see. They are not this
// code's own file names and line numbers: the log lines ("File: Lua_Util",
// "Line: 33") and the script errors carrying the messages are what users
// and their tools already match on, so each report keeps its values wherever
// its check lives, and is defined once, here. (The checks made in the script
// families written in Lua carry theirs in their .lua files.)
#pragma once

struct AssertionSite {
    const char* expression;
    const char* message;
    const char* source;
    int line;
};

namespace assertion {
// Script argument checks.
constexpr AssertionSite USERDATA_MISSING = {"data != 0", "Expected a lua user data!", "Lua_Util", 33};
constexpr AssertionSite USERDATA_WRONG_TYPE = {"data->type == type", "Lua user data is of wrong type!", "Lua_Util",
                                               34};
// Mesh building.
constexpr AssertionSite SUPERSHAPE_VERTICES = {"(mb->nv + pts_long) < MAXSIZE", "Generating too many vertices!",
                                               "Lua_Mesh_Builder", 137};
constexpr AssertionSite SUPERSHAPE_QUADS = {"(mb->nq + pts_long) < MAXSIZE", "Generating too many quads!",
                                            "Lua_Mesh_Builder", 181};
constexpr AssertionSite MESH_VERTEX_LIMIT = {"mb->nv <= 65536", "Max 65536 vertices supported!", "Lua_Mesh_Builder",
                                             284};
// Audio.
constexpr AssertionSite AUDIO_CALL_FAILED = {"false", "false", "Audio_System", 61};
constexpr AssertionSite AUDIO_SECOND_SYSTEM = {"g_glob_audio_system == 0", "g_glob_audio_system == 0",
                                               "Audio_System", 293};
constexpr AssertionSite AUDIO_SYSTEM_REPLACED = {"g_glob_audio_system == this", "g_glob_audio_system == this",
                                                 "Audio_System", 299};
constexpr AssertionSite AUDIO_NO_SYSTEM = {"g_glob_audio_system != 0", "g_glob_audio_system != 0", "Audio_System",
                                           305};
} // namespace assertion
