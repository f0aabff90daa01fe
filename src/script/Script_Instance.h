// Script_Instance: the host of the application's Lua virtual machine.
//
// It owns a state holder (ScriptState) whose Lua state is created with the
// whole script library (createState), runs the start script "Bootstrap"
// (runBootstrap) and calls global script functions with a signature string
// (call). Scripts are read from Data/<name>.lua through the engine's file system.
//
// Script errors never escape as C++ exceptions: they are Lua errors, reported
// in the log by runBootstrap and call, which answer normally.
#pragma once
#include "script/Lua_Util.h"

class Script_Instance {
public:
    Script_Instance();
    // Closes the Lua state if there is one and frees the holder.
    virtual ~Script_Instance();
    Script_Instance(const Script_Instance&) = delete;
    Script_Instance& operator=(const Script_Instance&) = delete;

    // Registers the owner's own functions; called after the library, on every new state.
    virtual void registerFunctions() = 0;

    ScriptState* getHolder() const { return m_holder; }
    lua_State* getState() const { return m_holder->L; }

    // Creates the state with every script family when the holder has none.
    static void createState(ScriptState* holder);
    // Closes the holder's state (running every __gc); no state: nothing.
    static void closeState(ScriptState* holder);
    // Creates the state if needed, loads "Bootstrap" and runs it. A load or run
    // error is logged as "LUA ERROR: %s" and the state stays as far as it got.
    static void runBootstrap(ScriptState* holder);
    // Compiles Data/<name>.lua and leaves the chunk on the stack (true), or an
    // error message: Lua's compile message naming the path, or
    // "Lua module not found: Data/<name>.lua" (false).
    static bool loadModule(const char* name, lua_State* L);

    // Calls the global function `name`. The signature lists argument letters,
    // optionally '>' and result letters: b (int -> boolean / bool*), d (double),
    // f (double promoted from float / float*), i (int), s (const char*, arguments
    // only). The variable arguments are the argument values, then one pointer per
    // result. Answers false (result pointers untouched) when there is no state,
    // the call failed (logged "Error running function '%s': %s") or the signature
    // or a result could not be used (logged as an error). Makes no heap
    // allocation of its own.
    static bool call(Script_Instance* instance, const char* name, const char* signature, ...);

private:
    ScriptState* m_holder;
};
