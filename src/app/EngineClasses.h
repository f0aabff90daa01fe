// The engine's start-up and shut-down: the engine globals and what they own.
#pragma once

struct EngineConfig;

// Creates, in order, the engine globals, the input state, the debug log (with
// its level mask), the memory manager with its pool and the display list,
// logging one START: line per step. Null means the engine defaults.
void initEngineClasses(const EngineConfig* config);

// Removes everything initEngineClasses made, in reverse order, the debug log last.
void deInitEngineClasses();
