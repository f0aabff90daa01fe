// EngineConfig: the engine's configuration record, filled with the engine
// defaults and then with the application's choices (createFramework) before
// the engine starts. The command line is its only outside input.
#pragma once
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "hal/sdl/Display.h"

struct EngineConfig {
    const char* memoryPoolName = "MemoryManager";
    MemAllocHook allocateHook = nullptr; // the memory manager's four hooks (null: use the pool)
    MemFreeHook freeHook = nullptr;
    MemAllocHook poolAllocateHook = nullptr;
    MemFreeHook poolReleaseHook = nullptr;
    int reserved = 0;
    int memoryPoolSize = 10240000;
    HAL::DisplayConfig display;
    // The renderer's GraphicsConfig joins here with the renderer (statistics overlay off).
    short desktopWidth = 0; // the primary screen, read by the entry point
    short desktopHeight = 0;
    int reserved2[2] = {0, 0};
    // Command-line tokens to the last flag: the part copied into the engine globals.
    core::EngineGlobals::Config engine;
};
