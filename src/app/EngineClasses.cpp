#include "app/EngineClasses.h"
#include "app/EngineConfig.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"
#include "core/Vector.h"
#include "hal/Console.h"
#include "hal/PoolMemory.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/InputState.h"
#include "hal/sdl/SdlMessageBox.h"
#include <cstdlib>
#include <ctime>

namespace {

// The pool's memory when the configuration names no hooks of its own: the
// platform's huge-page block, kept here to give back after the manager goes.
void* g_poolMemory = nullptr;

void* allocateDefaultPool(int size) {
    g_poolMemory = HAL::allocatePoolMemory(size);
    return g_poolMemory;
}

} // namespace

void initEngineClasses(const EngineConfig* config) {
    EngineConfig defaults;
    if (!config) config = &defaults;
    std::srand((unsigned)std::time(nullptr));
    HAL::setSecondsPerTick(-1.0f);
    HAL::initTimer();

    core::EngineGlobals* g = new core::EngineGlobals();
    core::setEngineGlobals(g);

    HAL::InputState* input = new HAL::InputState();
    input->desktopWidth = config->desktopWidth;
    input->desktopHeight = config->desktopHeight;
    input->reserved[0] = config->reserved2[0];
    input->reserved[1] = config->reserved2[1];
    g->input = input;

    g->log = new core::DebugLog();
    // Notices for the user (the modelling log's overflow messages) open a
    // real message box from here on.
    HAL::installSdlMessageBox();
    int configured = config->engine.debugLevelMask;
    if (config->engine.consoleWindowWanted) {
        // Standard error is the console: there is nothing to open.
        if (HAL::createConsoleWindow()) {
            core::log(core::LOG_PLATFORM, "HAL::createConsoleWindow ok\n");
        } else {
            core::log(core::LOG_WARNING, "HAL::createConsoleWindow failed\n");
        }
    }
    g->log->setLevelMask(config->engine.consoleWindowWanted && configured != 0 ? (unsigned)configured | core::LOG_ALWAYS : 0u);

    core::log(core::LOG_STARTUP, "START: debug initialized : ok\n");
    g->config = config->engine;
    core::log(core::LOG_STARTUP, "START: system initialized : ok\n");

    MemoryManagerConfig mc;
    mc.name = config->memoryPoolName;
    mc.poolSize = config->memoryPoolSize;
    mc.allocateHook = config->allocateHook;
    mc.freeHook = config->freeHook;
    mc.poolAllocateHook = config->poolAllocateHook;
    mc.poolReleaseHook = config->poolReleaseHook;
    if (!mc.allocateHook && !mc.poolAllocateHook) {
        mc.poolAllocateHook = allocateDefaultPool;
        mc.poolMemoryZeroed = true; // a fresh mapping, or calloc where none could be made
    }
    g->memoryManager = new MemoryManager(mc);
    core::log(core::LOG_STARTUP, "START: memory initialized : ok\n");

    g->displays = M3D_NEW core::Vector<HAL::Display*>();
    core::log(core::LOG_STARTUP, "START: dummy Graphics3D object initialized : ok\n");
    core::log(core::LOG_FRAMEWORK, "configure memory manager : %s (%d bytes)\n", mc.name, mc.poolSize);
    core::log(core::LOG_STARTUP, "START: initEngineClasses : ok\n");
}

void deInitEngineClasses() {
    core::EngineGlobals* g = core::engineGlobals();
    if (!g) return;
    core::log(core::LOG_STARTUP, "STOP: deInitEngineClasses\n");
    // The further reference and the current renderer's leftovers belong to
    // parts this application does not keep there.
    if (g->log) g->log->setOutputFile();
    core::FileSystem::destroy();
    if (g->owned) {
        delete g->owned;
        g->owned = nullptr;
    }
    delete HAL::displayList();
    g->displays = nullptr;
    delete HAL::inputState();
    g->input = nullptr;
    if (g->memoryManager && g->memoryManager->getMonitorUsers() != 0)
        core::log(core::LOG_MEMORY_MONITOR, "MORVA3D_MONITOR_ALLOC_AND_DEALLOC_USERS flag is disabled\n");
    delete g->memoryManager;
    g->memoryManager = nullptr;
    HAL::releasePoolMemory(g_poolMemory);
    g_poolMemory = nullptr;
    if (g->log) g->log->setOutputFile();
    delete g->log;
    g->log = nullptr;
    core::setEngineGlobals(nullptr);
    delete g;
}
