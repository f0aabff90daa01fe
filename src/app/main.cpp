// Entry point. Brings the engine core up, reports it, and takes it down again.
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "core/String.h"
#include "hal/Time.h"
#include <cstdio>

int main(int, char**) {
    core::EngineGlobals* globals = new core::EngineGlobals();
    core::setEngineGlobals(globals);
    globals->log = new core::DebugLog();
    globals->log->setLevelMask(globals->config.debugLevelMask | 0x3);
    core::log(0x8, "START: debug initialized : ok\n");
    int rc = 0;
    try {
        HAL::initTimer();
        MemoryManagerConfig mc;
        globals->memoryManager = new MemoryManager(mc);
        core::log(0x8, "START: memory initialized : ok\n");
        core::log(0x8, "configure memory manager : %s (%d bytes)\n", mc.name, mc.poolSize);
        {
            core::String title("Pelloran");
            core::log(0x4, "%s: engine core up (%d of %d pool bytes in use)\n", title.c_str(),
                      globals->memoryManager->getUsedBytes(), globals->memoryManager->getUsableSize());
        }
    } catch (Morva3DException& e) {
        core::log(0x1, "INIT ERROR : %s FILE : %s LINE : %d\n", e.getMessage(), e.getFile(), e.getLine());
        rc = 1;
    }
    core::log(0x8, "STOP: memory manager\n");
    delete globals->memoryManager;
    globals->memoryManager = nullptr;
    globals->log->setOutputFile();
    delete globals->log;
    core::setEngineGlobals(nullptr);
    delete globals;
    return rc;
}
