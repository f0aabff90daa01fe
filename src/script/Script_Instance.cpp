#include "script/Script_Instance.h"
#include "core/DebugLog.h"
#include "core/IOException.h"
#include "core/MemoryManager.h"
#include "core/String.h"
#include "core/Vector.h"
#include "script/Lua_Library.h"
#include <cstdarg>
#include <cstdio>
#include <new>

#include "core/FileSystem.h"
#include "core/Stream.h"

namespace {

const int READ_BLOCK = 1024;

// Reads the whole file through the engine's file system in 1024-byte blocks.
// Throws core::IOException when the file cannot be opened or read.
void readScript(const core::String& path, core::Vector<char>& out) {
    core::Ref<core::Stream> stream = core::FileSystem::get()->openFile(path, 0);
    char block[READ_BLOCK];
    int remaining = stream->available();
    while (remaining > 0) {
        int want = remaining < READ_BLOCK ? remaining : READ_BLOCK;
        int got = stream->read(block, want);
        if (got <= 0) break;
        int at = out.size();
        out.resize(at + got);
        for (int i = 0; i < got; ++i) out[at + i] = block[i];
        remaining -= got;
        if (got < READ_BLOCK) break;
    }
    stream->close();
}

} // namespace

Script_Instance::Script_Instance() : m_holder(nullptr) {
    void* block = core::memoryManager().hwMemAlloc((int)sizeof(ScriptState), M3D_HERE);
    m_holder = new (block) ScriptState();
    m_holder->owner = this;
    m_holder->L = nullptr;
}

Script_Instance::~Script_Instance() {
    closeState(m_holder);
    core::memoryManager().hwMemFree(m_holder, M3D_HERE);
    m_holder = nullptr;
}

void Script_Instance::createState(ScriptState* holder) {
    if (!holder || holder->L) return;
    holder->L = luaL_newstate();
    if (!holder->L) {
        core::log(0x1, "LUA ERROR: %s\n", "cannot create a Lua state");
        return;
    }
    luaL_openlibs(holder->L);
    registerScriptLibrary(holder);
    if (holder->owner) holder->owner->registerFunctions();
}

void Script_Instance::closeState(ScriptState* holder) {
    if (!holder || !holder->L) return;
    lua_State* L = holder->L;
    holder->L = nullptr;
    luaForgetState(L);
    lua_close(L);
}

bool Script_Instance::loadModule(const char* name, lua_State* L) {
    // Every C++ object lives inside the try block and is gone before Lua can
    // raise anything; luaL_loadbuffer reports through its status, never raises.
    enum { LOADED, MISSING, NO_MEMORY } outcome = LOADED;
    int status = 0;
    char reason[Assert_Exception::MAX_MESSAGE] = "";
    try {
        core::String path("Data/");
        path += name;
        path += ".lua";
        core::log(0x4, "Running file: %s\n", path.c_str());
        core::Vector<char> buffer;
        readScript(path, buffer);
        status = luaL_loadbuffer(L, buffer.size() ? buffer.data() : "", (size_t)buffer.size(), path.c_str());
    } catch (const core::MemoryManagerException& e) {
        // The file may well exist: say what really went wrong.
        outcome = NO_MEMORY;
        std::snprintf(reason, sizeof reason, "%s", e.getMessage());
    } catch (const Morva3DException&) {
        outcome = MISSING; // not found or unreadable (logged where it was raised)
    }
    if (outcome == MISSING) {
        lua_pushfstring(L, "Lua module not found: Data/%s.lua", name);
        return false;
    }
    if (outcome == NO_MEMORY) {
        lua_pushfstring(L, "Lua module could not be loaded: Data/%s.lua (%s)", name, reason);
        return false;
    }
    return status == 0;
}

void Script_Instance::runBootstrap(ScriptState* holder) {
    if (!holder) return;
    createState(holder);
    lua_State* L = holder->L;
    if (!L) return;
    bool ok = loadModule("Bootstrap", L);
    if (ok) ok = luaProtectedCall(L, 0, 0) == 0;
    if (!ok) {
        const char* text = lua_tostring(L, -1);
        core::log(0x1, "LUA ERROR: %s\n", text ? text : "<unknown>");
        lua_pop(L, 1);
    }
}

bool Script_Instance::call(Script_Instance* instance, const char* name, const char* signature, ...) {
    lua_State* L = instance ? instance->getState() : nullptr;
    if (!L) return false;
    int base = lua_gettop(L);
    va_list args;
    va_start(args, signature);
    lua_getfield(L, LUA_GLOBALSINDEX, name);
    const char* s = signature;
    int argCount = 0;
    for (; *s && *s != '>'; ++s) {
        switch (*s) {
        case 'b': lua_pushboolean(L, va_arg(args, int) != 0); break;
        case 'd':
        case 'f': lua_pushnumber(L, va_arg(args, double)); break;
        case 'i': lua_pushinteger(L, va_arg(args, int)); break;
        case 's': lua_pushstring(L, va_arg(args, const char*)); break;
        default:
            // No protected call is active here, so this is reported, not raised.
            core::log(0x1, "Unknown function call data type '%c' (function: %s)!\n", *s, name);
            lua_settop(L, base);
            va_end(args);
            return false;
        }
        if (!lua_checkstack(L, 1)) {
            core::log(0x1, "Too many arguments!\n");
            lua_settop(L, base);
            va_end(args);
            return false;
        }
        ++argCount;
    }
    if (*s == '>') ++s;
    const char* results = s;
    int resultCount = 0;
    while (results[resultCount]) ++resultCount;

    if (luaProtectedCall(L, argCount, resultCount) != 0) {
        const char* text = lua_tostring(L, -1);
        core::log(0x4, "Error running function '%s': %s\n", name, text ? text : "<unknown>");
        lua_settop(L, base);
        va_end(args);
        return false;
    }

    // Check every result before writing any, so a failure leaves the pointers untouched.
    for (int r = 0; r < resultCount; ++r) {
        int index = -resultCount + r;
        char letter = results[r];
        const char* problem = nullptr;
        if (letter == 's') {
            problem = "Strings cannot be return valus for a generic lua call!";
        } else if (letter == 'd' || letter == 'f' || letter == 'i') {
            if (!lua_isnumber(L, index)) problem = "number expected";
        } else if (letter != 'b') {
            core::log(0x1, "Unknown function result data type '%c' (function: %s)!\n", letter, name);
            lua_settop(L, base);
            va_end(args);
            return false;
        }
        if (problem) {
            core::log(0x1, "Error running function '%s': %s (result %d)\n", name, problem, r + 1);
            lua_settop(L, base);
            va_end(args);
            return false;
        }
    }
    for (int r = 0; r < resultCount; ++r) {
        int index = -resultCount + r;
        switch (results[r]) {
        case 'b': *va_arg(args, bool*) = lua_toboolean(L, index) != 0; break;
        case 'd': *va_arg(args, double*) = lua_tonumber(L, index); break;
        case 'f': *va_arg(args, float*) = (float)lua_tonumber(L, index); break;
        case 'i': *va_arg(args, int*) = (int)lua_tointeger(L, index); break;
        }
    }
    lua_settop(L, base);
    va_end(args);
    return true;
}
