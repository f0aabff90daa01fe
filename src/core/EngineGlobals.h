// EngineGlobals: the one record every engine part reaches its shared services
// through (debug log, memory manager, file system, current renderer, input
// state, display list). Created by the engine start-up, freed at shut-down;
// the pointer is null while no engine runs.
#pragma once

class MemoryManager;

namespace core {
class DebugLog;
class FileSystem;
class Object;
template <typename T> class Morva3dAllocator;
template <typename T, typename A> class Vector;

struct EngineGlobals {
    // The part of the engine configuration the running engine reads back
    // (command-line tokens to the last flag).
    struct Config {
        const char* tokens[10] = {};
        float fixedUpdateStep = 0.0f;
        float minimumFrameTime = 0.0f;
        int tokenCount = 0;
        int debugLevelMask = 12;
        int sleepTimeMs = 100;
        bool newNodesRenderFlag4 = false;
        bool consoleWindowWanted = true;
        bool releaseImagesAfterUpload = true;
    } config;
    DebugLog* log = nullptr;
    MemoryManager* memoryManager = nullptr;
    // Services of the layers above core, held here so that one record
    // reaches them all. Core does not know their types: each is read through
    // its own layer's accessor (render::currentGraphics, HAL::inputState,
    // HAL::displayList) and set by the start-up that creates it.
    void* graphics = nullptr; // the current renderer
    void* input = nullptr;    // the input state record
    void* displays = nullptr; // the list of live displays
    Object* owned = nullptr;
    FileSystem* fileSystem = nullptr;
};

namespace detail {
extern EngineGlobals* runningEngine;
}
// Inline: the memory pool asks on every allocation whether tracing is on.
inline EngineGlobals* engineGlobals() { return detail::runningEngine; }
void setEngineGlobals(EngineGlobals* g);

} // namespace core
